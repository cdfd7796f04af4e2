#include "Platform/Files/Files.h"
#include "Platform/Paths/Paths.h"
#include "Platform/TempFiles/TempFiles.h"
#include "Platform/Trash/Trash.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kv::platform;

TEST(Files, SharingModesKeepOthersOut) {
  kvtest::TempDir dir;
  const std::string f = (dir / "a.zip").string();
  kvtest::writeFile(f, "0123456789");
  const FileHandle reader = fileOpen(f, fmOpenRead | fmShareDenyWrite);
  ASSERT_NE(reader, InvalidFile);
  EXPECT_EQ(fileCreate(f), InvalidFile); // a writer cannot take a file a reader denies
  const FileHandle second = fileOpen(f, fmOpenRead | fmShareDenyWrite);
  EXPECT_NE(second, InvalidFile); // readers share
  EXPECT_EQ(fileOpen(f, fmOpenRead | fmShareExclusive), InvalidFile);
  fileClose(second);
  EXPECT_EQ(fileSeek(reader, -1, 0), -1);
  EXPECT_EQ(fileSeek(reader, 4, 0), 4);
  char buf[16];
  EXPECT_EQ(fileRead(reader, buf, 16), 6);
  EXPECT_EQ(fileLength(reader), 10);
  fileClose(reader);
  EXPECT_EQ(kvtest::readFile(f), "0123456789"); // the refused create truncated nothing
  const FileHandle writer = fileCreate(f);      // once nobody holds it, creating empties it
  ASSERT_NE(writer, InvalidFile);
  EXPECT_EQ(fileLength(writer), 0);
  fileClose(writer);
  EXPECT_EQ(fileOpen((dir / "none").string(), fmOpenRead), InvalidFile);
  EXPECT_EQ(fileOpen(dir.str(), fmOpenRead), InvalidFile); // a directory is no file
}

// A finished file takes its name in one step, over an older file or not.
TEST(Files, ReplacingPutsTheNewFileUnderTheNameAndLeavesNothingElse) {
  for (const bool older : {true, false}) {
    SCOPED_TRACE(older ? "over an older file" : "under a free name");
    kvtest::TempDir dir;
    const std::string from = (dir / ".part.tmp").string(), to = (dir / "part.zip").string();
    kvtest::writeFile(from, "new");
    if (older) kvtest::writeFile(to, "older and longer");
    ASSERT_TRUE(replaceFile(from, to));
    EXPECT_EQ(kvtest::readFile(to), "new");
    EXPECT_FALSE(fileExists(from));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  }
  kvtest::TempDir dir;
  EXPECT_FALSE(replaceFile((dir / "none").string(), (dir / "part.zip").string()));
  EXPECT_FALSE(fileExists((dir / "part.zip").string()));
}

TEST(Files, DosDatesRoundTripToTheTwoSeconds) {
  kvtest::TempDir dir;
  const std::string f = (dir / "d.txt").string();
  kvtest::writeFile(f, "x");
  const FileHandle h = fileOpen(f, fmOpenReadWrite);
  const int32_t stamp = (((2021 - 1980) << 9 | 7 << 5 | 14) << 16) | (13 << 11 | 45 << 5 | 30 / 2);
  EXPECT_EQ(fileSetDate(h, stamp), 0);
  EXPECT_EQ(fileGetDate(h), stamp);
  fileClose(h);
  EXPECT_EQ(fileAge(f), stamp);
  EXPECT_EQ(fileAge((dir / "none").string()), -1);
  // 2021-07-14 13:45:30 by hand: 44391 days after 1899-12-30.
  EXPECT_NEAR(fileDateToDateTime(stamp), 44391 + (13 * 3600 + 45 * 60 + 30) / 86400.0, 1e-9);
  EXPECT_EQ(dateTimeToFileDate(44391 + (13 * 3600 + 45 * 60 + 30) / 86400.0), stamp);
  EXPECT_EQ(fileGetAttr(f) & (faArchive | faDirectory), faArchive);
  EXPECT_TRUE(fileGetAttr(dir.str()) & faDirectory);
  kvtest::writeFile(dir / ".hidden", "");
  EXPECT_TRUE(fileGetAttr((dir / ".hidden").string()) & faHidden);
}

TEST(Paths, NameParts) {
  struct Row {
    const char *name, *path, *dir, *file, *ext;
  };
  const Row rows[] = {
      {"/srv/save/KorvBak.zip", "/srv/save/", "/srv/save", "KorvBak.zip", ".zip"},
      {"KorvBak", "", "", "KorvBak", ""},
      {"/a.b/c", "/a.b/", "/a.b", "c", ""},
      {"/x.zip", "/", "/", "x.zip", ".zip"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(extractFilePath(r.name), r.path) << r.name;
    EXPECT_EQ(extractFileDir(r.name), r.dir) << r.name;
    EXPECT_EQ(extractFileName(r.name), r.file) << r.name;
    EXPECT_EQ(extractFileExt(r.name), r.ext) << r.name;
  }
  EXPECT_EQ(changeFileExt("/a.b/c", ".zip"), "/a.b/c.zip");
  EXPECT_EQ(changeFileExt("/a/c.z01", ".zip"), "/a/c.zip");
  EXPECT_EQ(expandFileName("/a/./b/../c//d"), "/a/c/d");
  EXPECT_EQ(expandFileName("/.."), "/");
  EXPECT_EQ(expandFileName("x"), getCurrentDir() + "/x");
}

TEST(TempFiles, CreatedExclusivelyForTheUserAlone) {
  kvtest::TempDir dir;
  auto a = createTempFile(dir.str(), "zip", ".zip");
  auto b = createTempFile(dir.str(), "zip", ".zip");
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->name, b->name);
  struct stat st {};
  ASSERT_EQ(stat(a->name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  fileClose(a->handle);
  fileClose(b->handle);
  EXPECT_FALSE(createTempFile((dir / "missing").string(), "zip", ".zip"));
}

TEST(Trash, FailureLeavesTheFileInPlace) {
  kvtest::TempDir dir;
  // A trash that cannot be made (a plain file stands where it would go).
  kvtest::writeFile(dir / "blocker", "");
  kvtest::ScopedEnv data("XDG_DATA_HOME", (dir / "blocker").string());
  kvtest::writeFile(dir / "keep.txt", "still here");
  EXPECT_NE(moveToTrash((dir / "keep.txt").string()), 0);
  EXPECT_EQ(kvtest::readFile(dir / "keep.txt"), "still here");
  EXPECT_NE(moveToTrash((dir / "none.txt").string()), 0);
}

TEST(Trash, SameNameTwiceKeepsBoth) {
  kvtest::TempDir dir;
  kvtest::ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
  for (const char* text : {"one", "two"}) {
    kvtest::writeFile(dir / "f.txt", text);
    EXPECT_EQ(moveToTrash((dir / "f.txt").string()), 0);
  }
  EXPECT_EQ(kvtest::readFile(dir / "data/Trash/files/f.txt"), "one");
  EXPECT_EQ(kvtest::readFile(dir / "data/Trash/files/f.txt.2"), "two");
  const std::string info = kvtest::readFile(dir / "data/Trash/info/f.txt.2.trashinfo");
  EXPECT_NE(info.find("[Trash Info]\nPath=" + (dir / "f.txt").string() + "\nDeletionDate="),
            std::string::npos);
}
