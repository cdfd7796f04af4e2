// The zip engine, loaded as the archive component loads it. What it writes is checked by peers:
// Info-ZIP's unzip, 7-Zip and Python's zipfile.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

namespace {

using namespace enginetest;

void setMtime(const fs::path& path, time_t when) {
  struct utimbuf times {
    when, when
  };
  ASSERT_EQ(utime(path.c_str(), &times), 0);
}

// A small tree of mixed files: text, random, empty, one already compressed, in subdirectories.
void makeMixedTree(const fs::path& root) {
  fs::create_directories(root / "sub" / "deeper");
  writeFile(root / "readme.txt", textBytes(20000, 1));
  writeFile(root / "noext", textBytes(3000, 2));
  writeFile(root / "random.bin", randomBytes(70000, 3));
  writeFile(root / "empty.dat", "");
  writeFile(root / "picture.gif", randomBytes(5000, 4));
  writeFile(root / "sub" / "table.DB", textBytes(40000, 5));
  writeFile(root / "sub" / "deeper" / "notes.txt", textBytes(100, 6));
}

// Python compares every member with the file of the same relative path and prints the names.
std::string pythonVerify(const fs::path& archive, const fs::path& root, const std::string& password = "") {
  return python("import zipfile,sys,os\n"
                "z=zipfile.ZipFile(" +
                shellQuote(archive.string()) + ")\n" +
                (password.empty() ? "" : "z.setpassword(" + shellQuote(password) + ".encode())\n") +
                "assert z.testzip() is None\n"
                "for i in z.infolist():\n"
                "  if i.is_dir(): continue\n"
                "  d=z.read(i)\n"
                "  assert d==open(os.path.join(" +
                shellQuote(root.string()) +
                ",i.filename),'rb').read(), i.filename\n"
                "print(' '.join(sorted(i.filename for i in z.infolist())))\n");
}

// Packs every file below root, named relative to it.
ZipOptions wholeTree(const fs::path& root) {
  ZipOptions o;
  o.specs = {"*.*"};
  o.rootDir = root.string();
  o.recurse = true;
  return o;
}

std::string names(const fs::path& archive) {
  return python("import zipfile\nprint(' '.join(sorted(zipfile.ZipFile(" + shellQuote(archive.string()) +
                ").namelist())))");
}

TEST(VizIvi, PeersAcceptWhatItWrites) {
  const struct {
    const char* label;
    int level;
    std::string suffixes;
  } rows[] = {{"level 9", 9, ""}, {"level 1", 1, ""}, {"stored", 0, ""}, {"store suffixes", 6, ".gif:.txt"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    TempDir dir;
    makeMixedTree(dir / "in");
    // A memo file of pictures with text memos between them: mostly random, yet it packs.
    std::string memos;
    for (uint32_t block = 0; block < 24; ++block)
      memos += randomBytes(48 << 10, 100 + block) + textBytes(16 << 10, 200 + block);
    writeFile(dir / "in" / "memos.MB", memos);
    const auto archive = dir / "out.zip";
    Recorder rec;
    ZipOptions o = wholeTree(dir / "in");
    o.level = row.level;
    o.storeSuffixes = row.suffixes;
    EXPECT_EQ(runZip(archive.string(), o, rec), 8);
    EXPECT_TRUE(rec.errorCodes().empty());
    EXPECT_EQ(run("unzip -tq " + shellQuote(archive.string())).exitCode, 0);
    ASSERT_TRUE(haveTool("7z")) << "7z missing";
    EXPECT_EQ(run("7z t " + shellQuote(archive.string())).exitCode, 0);
    EXPECT_EQ(
        pythonVerify(archive, dir / "in"),
        "empty.dat memos.MB noext picture.gif random.bin readme.txt sub/deeper/notes.txt sub/table.DB\n");
    const std::string methods = python("import zipfile\nz=zipfile.ZipFile(" + shellQuote(archive.string()) +
                                       ")\nprint(' '.join(str(z.getinfo(n).compress_type) for n in "
                                       "['readme.txt','picture.gif','random.bin','memos.MB']))");
    // Random data never grows: it is stored when deflating does not make it smaller.
    if (row.level == 0)
      EXPECT_EQ(methods, "0 0 0 0\n");
    else if (!row.suffixes.empty())
      EXPECT_EQ(methods, "0 0 0 8\n");
    else
      EXPECT_EQ(methods, "8 0 0 8\n");
    // The texts pack as small as Info-ZIP's zip packs them at the same level, within 1 %.
    if (row.suffixes.empty() && row.level > 0) {
      const auto peer = dir / "peer.zip";
      ASSERT_EQ(run("cd " + shellQuote((dir / "in").string()) + " && zip -qr -" + std::to_string(row.level) +
                    " " + shellQuote(peer.string()) + " .")
                    .exitCode,
                0);
      auto packedTexts = [&](const fs::path& zip) {
        return std::stod(python(
            "import zipfile\nz=zipfile.ZipFile(" + shellQuote(zip.string()) +
            ")\nprint(sum(z.getinfo(n).compress_size for n in ['readme.txt','sub/table.DB','memos.MB']))"));
      };
      EXPECT_LE(packedTexts(archive), packedTexts(peer) * 1.01);
    }
  }
}

TEST(VizIvi, EncryptedArchivesOpenWithPeers) {
  const std::string longPassword(100, 'k');
  const struct {
    const char* label;
    std::string password;
  } rows[] = {{"short", "Brotkorb719"},
              {"100 characters, no cut", longPassword + "Z"},
              {"non-ASCII", "Gr\xc3\xbc\xc3\x9f"
                            "e"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    TempDir dir;
    makeMixedTree(dir / "in");
    const auto archive = dir / "secret.zip";
    Recorder rec;
    ZipOptions o = wholeTree(dir / "in");
    o.encrypt = true;
    o.password = row.password;
    ASSERT_EQ(runZip(archive.string(), o, rec), 7);
    EXPECT_TRUE(rec.of(zcaPassword).empty());
    EXPECT_EQ(run("unzip -tq -P " + shellQuote(row.password) + " " + shellQuote(archive.string())).exitCode,
              0);
    EXPECT_NE(run("unzip -tq -P wrong " + shellQuote(archive.string())).exitCode, 0);
    ASSERT_TRUE(haveTool("7z")) << "7z missing";
    EXPECT_EQ(run("7z x -y -p" + shellQuote(row.password) + " -o" + shellQuote((dir / "7z").string()) + " " +
                  shellQuote(archive.string()))
                  .exitCode,
              0);
    EXPECT_EQ(treeOf(dir / "7z"), treeOf(dir / "in"));
    pythonVerify(archive, dir / "in", row.password);
  }
}

TEST(VizIvi, LargeMembersAreStreamedAndStillReadable) {
  TempDir dir;
  fs::create_directories(dir / "in");
  writeFile(dir / "in" / "big.txt", textBytes(50u << 20, 7));
  writeFile(dir / "in" / "big.bin", randomBytes(49u << 20, 8));
  const auto archive = dir / "big.zip";
  Recorder rec;
  ZipOptions o;
  o.specs = {(dir / "in" / "*.*").string()};
  o.dirNames = false;
  o.level = 1;
  o.encrypt = true;
  o.password = "streamed";
  ASSERT_EQ(runZip(archive.string(), o, rec), 2);
  EXPECT_EQ(run("unzip -tq -P streamed " + shellQuote(archive.string())).exitCode, 0);
  EXPECT_EQ(run("7z t -pstreamed " + shellQuote(archive.string())).exitCode, 0);
  EXPECT_EQ(python("import zipfile\nz=zipfile.ZipFile(" + shellQuote(archive.string()) +
                   ")\nprint(z.getinfo('big.bin').compress_type, z.getinfo('big.txt').compress_type)"),
            "0 8\n");
  // Deflated in pieces on the workers, the text packs as one stream of Python's zlib does.
  const auto packed = python("import zipfile,zlib\n"
                             "c=zlib.compressobj(1,zlib.DEFLATED,-15)\n"
                             "d=open(" +
                             shellQuote((dir / "in" / "big.txt").string()) +
                             ",'rb').read()\n"
                             "print(zipfile.ZipFile(" +
                             shellQuote(archive.string()) +
                             ").getinfo('big.txt').compress_size - 12, len(c.compress(d)+c.flush()))");
  const auto space = packed.find(' ');
  EXPECT_LE(std::stod(packed.substr(0, space)), std::stod(packed.substr(space + 1)) * 1.01) << packed;
  EXPECT_LT(fs::file_size(archive), (50u << 20) + (49u << 20));

  // Cancelled while pieces of the text are still being deflated: the archive stays as it was.
  const std::string before = kvtest::readFile(archive);
  Recorder cancelling;
  bool inText = false;
  int pieces = 0;
  cancelling.reply = [&](CallbackRecord& r) {
    if (r.ActionCode == zcaNewFile) inText = std::string(r.Text) == "big.txt";
    return (inText && r.ActionCode == zcaProgress && ++pieces == 3) ? -1 : 0;
  };
  EXPECT_EQ(runZip(archive.string(), o, cancelling), 0);
  EXPECT_EQ(cancelling.errorCodes().back(), zeAbort);
  EXPECT_EQ(kvtest::readFile(archive), before);
}

TEST(VizIvi, FilesTooLargeWithout64BitExtensionsAreRefused) {
  TempDir dir;
  fs::create_directories(dir / "in");
  writeFile(dir / "in" / "small.txt", "small");
  writeFile(dir / "in" / "huge.img", "");
  fs::resize_file(dir / "in" / "huge.img", 0x100000000ull); // sparse, nothing is read
  const auto archive = dir / "limits.zip";
  Recorder rec;
  ZipOptions o;
  o.specs = {(dir / "in" / "*.*").string()};
  o.dirNames = false;
  EXPECT_EQ(runZip(archive.string(), o, rec), 1);
  EXPECT_EQ(rec.errorCodes(), std::vector<int32_t>{zeUnsupported});
  EXPECT_EQ(names(archive), "small.txt\n");
}

TEST(VizIvi, SpecificationsMatchAsOnWindows) {
  const struct {
    const char* label;
    std::vector<std::string> specs;
    bool recurse;
    bool hidden;
    std::vector<std::string> exclusions;
    const char* expected;
  } rows[] = {
      {"*.* takes names without extension", {"*.*"}, false, false, {}, "LANG.DB noext readme.txt\n"},
      {"case does not matter", {"*.db"}, true, false, {}, "LANG.DB sub/table.Db\n"},
      {"explicit name in another case", {"lang.db"}, false, false, {}, "LANG.DB\n"},
      {"recursion", {"*.txt"}, true, false, {}, "readme.txt sub/x.txt\n"},
      {"hidden files on request", {"*"}, false, true, {}, ".hidden LANG.DB noext readme.txt\n"},
      {"exclusions by name", {"*.*"}, true, false, {"*.TXT"}, "LANG.DB noext sub/table.Db\n"},
      {"exclusions by path", {"*.*"}, true, false, {"sub/*"}, "LANG.DB noext readme.txt\n"},
      {"a directory stands for its files", {"sub"}, false, false, {}, "sub/table.Db sub/x.txt\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    TempDir dir;
    fs::create_directories(dir / "in" / "sub");
    writeFile(dir / "in" / "LANG.DB", "lang");
    writeFile(dir / "in" / "noext", "n");
    writeFile(dir / "in" / "readme.txt", "r");
    writeFile(dir / "in" / ".hidden", "h");
    writeFile(dir / "in" / "sub" / "table.Db", "t");
    writeFile(dir / "in" / "sub" / "x.txt", "x");
    const auto archive = dir / "m.zip";
    Recorder rec;
    ZipOptions o;
    o.specs = row.specs;
    o.rootDir = (dir / "in").string();
    o.recurse = row.recurse;
    o.hidden = row.hidden;
    o.exclusions = row.exclusions;
    EXPECT_GT(runZip(archive.string(), o, rec), 0);
    EXPECT_EQ(names(archive), row.expected);
  }
}

TEST(VizIvi, NamesAreUtf8FlaggedOrOem) {
  TempDir dir;
  fs::create_directories(dir / "in");
  const std::string name = "Gr\xc3\xbc\xc3\x9f"
                           "e \xc3\x84rger.txt"; // Grüße Ärger.txt
  writeFile(dir / "in" / name, "content");
  for (bool oem : {false, true}) {
    SCOPED_TRACE(oem ? "OEM" : "UTF-8");
    const auto archive = dir / (oem ? "oem.zip" : "utf8.zip");
    Recorder rec;
    ZipOptions o;
    o.specs = {(dir / "in" / "*.txt").string()};
    o.dirNames = false;
    o.oem = oem;
    ASSERT_EQ(runZip(archive.string(), o, rec), 1);
    // Python shows names without the flag in CP437; the bytes must be the CP850 ones.
    const std::string check = python("import zipfile\ni=zipfile.ZipFile(" + shellQuote(archive.string()) +
                                     ").infolist()[0]\n"
                                     "n='Gr\\u00fc\\u00dfe \\u00c4rger.txt'\n"
                                     "if i.flag_bits & 0x800: print('utf8', i.filename==n)\n"
                                     "else: print('oem', i.filename.encode('cp437')==n.encode('cp850'))");
    EXPECT_EQ(check, oem ? "oem True\n" : "utf8 True\n");
  }
}

TEST(VizIvi, NothingMatchedIsAnErrorAndWritesNothing) {
  TempDir dir;
  const auto archive = dir / "none.zip";
  Recorder rec;
  ZipOptions o;
  o.specs = {(dir / "*.nothing").string()};
  EXPECT_EQ(runZip(archive.string(), o, rec), 0);
  EXPECT_EQ(rec.errorCodes(), std::vector<int32_t>{zeNothingToDo});
  EXPECT_FALSE(fs::exists(archive));
}

TEST(VizIvi, AnExistingArchiveSurvivesACancelledOrFailedAdd) {
  TempDir dir;
  makeMixedTree(dir / "in");
  const auto archive = dir / "keep.zip";
  {
    Recorder rec;
    ZipOptions o;
    o.specs = {(dir / "in" / "*.txt").string()};
    o.dirNames = false;
    ASSERT_EQ(runZip(archive.string(), o, rec), 1);
  }
  const std::string before = kvtest::readFile(archive);

  // Cancelled at the second file.
  Recorder rec;
  int newFiles = 0;
  rec.reply = [&](CallbackRecord& r) { return (r.ActionCode == zcaNewFile && ++newFiles == 2) ? -1 : 0; };
  ZipOptions o = wholeTree(dir / "in");
  o.move = true;
  EXPECT_EQ(runZip(archive.string(), o, rec), 0);
  EXPECT_EQ(rec.errorCodes().back(), zeAbort);
  EXPECT_EQ(kvtest::readFile(archive), before);
  EXPECT_TRUE(fs::exists(dir / "in" / "readme.txt")); // a cancelled move deletes nothing
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
    ++entries;
  EXPECT_EQ(entries, 2u); // the archive and the input folder: no temporary file left

  // A target that is no zip archive is left alone.
  writeFile(dir / "notzip.zip", "this is no archive at all, just some text");
  Recorder rec2;
  EXPECT_EQ(runZip((dir / "notzip.zip").string(), o, rec2), 0);
  EXPECT_EQ(rec2.errorCodes(), std::vector<int32_t>{zeArchiveRead});
  EXPECT_EQ(kvtest::readFile(dir / "notzip.zip"), "this is no archive at all, just some text");
}

TEST(VizIvi, FreshenAndUpdateReplaceOnlyOlderMembers) {
  for (bool update : {false, true}) {
    SCOPED_TRACE(update ? "update" : "freshen");
    TempDir dir;
    fs::create_directories(dir / "in");
    writeFile(dir / "in" / "a.txt", "old a");
    writeFile(dir / "in" / "b.txt", "old b");
    setMtime(dir / "in" / "a.txt", 1000000000);
    setMtime(dir / "in" / "b.txt", 1000000000);
    const auto archive = dir / "f.zip";
    ZipOptions o;
    o.specs = {"*.txt"};
    o.rootDir = (dir / "in").string();
    Recorder first;
    ASSERT_EQ(runZip(archive.string(), o, first), 2);
    writeFile(dir / "in" / "a.txt", "new a");
    setMtime(dir / "in" / "a.txt", 1100000000);
    writeFile(dir / "in" / "c.txt", "new c");
    o.freshen = !update;
    o.update = update;
    Recorder rec;
    EXPECT_EQ(runZip(archive.string(), o, rec), update ? 2 : 1);
    EXPECT_EQ(python("import zipfile\nz=zipfile.ZipFile(" + shellQuote(archive.string()) +
                     ")\nprint(' '.join(n+'='+z.read(n).decode() for n in z.namelist()))"),
              update ? "a.txt=new a b.txt=old b c.txt=new c\n" : "a.txt=new a b.txt=old b\n");
  }
}

// An old member is the one of the same name as text, whether it was stored in the OEM code
// page or marked UTF-8: an update replaces it, and its comment is kept in the new encoding.
// Python reads the result (unmarked names and comments in code page 437, which agrees with
// code page 850 on these letters).
TEST(VizIvi, OldMembersAreFoundByTheirNameAsText) {
  const struct {
    const char* label;
    bool oldOem, newOem;
  } rows[] = {{"OEM names updated in UTF-8", true, false}, {"UTF-8 names updated in OEM", false, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    TempDir dir;
    fs::create_directories(dir / "in");
    writeFile(dir / "in" / "Grüße.txt", "old");
    setMtime(dir / "in" / "Grüße.txt", 1000000000);
    const auto archive = dir / "u.zip";
    ZipOptions o;
    o.specs = {"*.txt"};
    o.rootDir = (dir / "in").string();
    o.oem = row.oldOem;
    Recorder first;
    first.reply = [](CallbackRecord& r) {
      if (r.ActionCode == zcaFileComment) {
        replyText(r, "für Ä");
        r.ErrorCode = 1;
      }
      return 0;
    };
    ASSERT_EQ(runZip(archive.string(), o, first), 1);
    writeFile(dir / "in" / "Grüße.txt", "new");
    setMtime(dir / "in" / "Grüße.txt", 1100000000);
    o.oem = row.newOem;
    o.update = true;
    Recorder rec;
    ASSERT_EQ(runZip(archive.string(), o, rec), 1);
    EXPECT_EQ(rec.of(zcaFileComment).at(0).comment, "für Ä");
    EXPECT_EQ(
        python("import zipfile\nz=zipfile.ZipFile(" + shellQuote(archive.string()) +
               ")\nfor i in z.infolist():\n"
               "  print(i.filename, z.read(i).decode(), i.comment.decode('utf-8' if i.flag_bits & 0x800 "
               "else 'cp437'))"),
        "Grüße.txt new für Ä\n");
  }
}

// The moved files go once the archive is written: to the trash when the caller allows an undo
// (each with the trash's record of where it came from), else for good.
TEST(VizIvi, MoveDeletesTheFilesOnlyAfterTheArchiveIsWritten) {
  for (bool allowUndo : {false, true}) {
    SCOPED_TRACE(allowUndo ? "to the trash" : "for good");
    TempDir dir;
    kvtest::ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
    makeMixedTree(dir / "in");
    const auto archive = dir / "moved.zip";
    Recorder rec;
    ZipOptions o;
    o.specs = {(dir / "in" / "*.*").string()};
    o.dirNames = false;
    o.move = true;
    o.allowUndo = allowUndo;
    ASSERT_EQ(runZip(archive.string(), o, rec), 5);
    EXPECT_TRUE(rec.errorCodes().empty());
    EXPECT_EQ(run("unzip -tq " + shellQuote(archive.string())).exitCode, 0);
    for (const char* gone : {"readme.txt", "noext", "random.bin", "empty.dat", "picture.gif"}) {
      EXPECT_FALSE(fs::exists(dir / "in" / gone)) << gone;
      const auto trashed = dir / "data" / "Trash" / "files" / gone;
      EXPECT_EQ(fs::exists(trashed), allowUndo) << gone;
      if (!allowUndo) continue;
      const std::string info =
          kvtest::readFile(dir / "data" / "Trash" / "info" / (std::string(gone) + ".trashinfo"));
      EXPECT_NE(info.find("\nPath=" + (dir / "in" / gone).string() + "\n"), std::string::npos) << info;
    }
    if (allowUndo) {
      EXPECT_EQ(kvtest::readFile(dir / "data" / "Trash" / "files" / "readme.txt"), textBytes(20000, 1));
    }
    EXPECT_TRUE(fs::exists(dir / "in" / "sub" / "table.DB"));
  }
}

TEST(VizIvi, AStubInFrontOfAnEmptyArchiveIsKept) {
  TempDir dir;
  makeMixedTree(dir / "in");
  const auto archive = dir / "Setup.exe";
  std::string stub = "MZ" + randomBytes(3000, 9);
  std::string empty = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  writeFile(archive, stub + empty);
  Recorder rec;
  ZipOptions o;
  o.specs = {(dir / "in" / "*.txt").string()};
  o.dirNames = false;
  ASSERT_EQ(runZip(archive.string(), o, rec), 1);
  EXPECT_EQ(kvtest::readFile(archive).substr(0, stub.size()), stub);
  const auto test = run("unzip -t " + shellQuote(archive.string()));
  EXPECT_EQ(test.exitCode, 0) << test.out;
  pythonVerify(archive, dir / "in");
}

TEST(VizIvi, CallbacksArriveInMemberOrderOnTheCallingThread) {
  TempDir dir;
  fs::create_directories(dir / "in");
  for (int i = 0; i < 40; ++i)
    writeFile(dir / "in" / ("f" + std::to_string(100 + i) + ".txt"), textBytes(5000 + i * 997, i));
  const auto archive = dir / "order.zip";
  Recorder rec;
  ZipOptions o;
  o.specs = {"*.txt"};
  o.rootDir = (dir / "in").string();
  ASSERT_EQ(runZip(archive.string(), o, rec), 40);
  for (const auto& c : rec.calls) {
    EXPECT_EQ(c.thread, std::this_thread::get_id());
    EXPECT_TRUE(c.isZip);
  }
  ASSERT_EQ(rec.of(zcaTotalFiles).size(), 1u);
  EXPECT_EQ(rec.of(zcaTotalFiles)[0].size, 40);
  // Every new file is followed by its progress before the next file begins.
  std::vector<std::string> started;
  int open = 0;
  for (const auto& c : rec.calls) {
    if (c.action == zcaNewFile) {
      EXPECT_EQ(open, 0);
      open = 1;
      started.push_back(c.text);
    } else if (c.action == zcaProgress) {
      EXPECT_EQ(open, 1);
      open = 0;
    }
  }
  std::string joined;
  for (const auto& s : started)
    joined += (joined.empty() ? "" : " ") + s;
  EXPECT_EQ(joined + "\n", python("import zipfile\nprint(' '.join(zipfile.ZipFile(" +
                                  shellQuote(archive.string()) + ").namelist()))"));
  EXPECT_EQ(rec.calls.back().action, zcaEndOfBatch);
}

TEST(VizIvi, APasswordIsAskedForOnceWhenNoneIsGiven) {
  TempDir dir;
  makeMixedTree(dir / "in");
  // "=" answers with the name the request carries: a password like any other. An empty
  // answer writes nothing back, as a caller that does not answer.
  const struct {
    const char* label;
    std::string answer;
    int32_t added;
  } rows[] = {{"answered", "asked-for", 5}, {"answered with the member name", "=", 5}, {"refused", "", 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const auto archive = dir / (std::string(row.label) + ".zip");
    Recorder rec;
    std::string given = row.answer;
    rec.reply = [&](CallbackRecord& r) {
      if (r.ActionCode == zcaPassword && !row.answer.empty()) {
        if (row.answer == "=") given = r.Text;
        replyText(r, given);
        r.ErrorCode = 1;
      }
      return 0;
    };
    ZipOptions o;
    o.specs = {(dir / "in" / "*.*").string()};
    o.dirNames = false;
    o.encrypt = true;
    EXPECT_EQ(runZip(archive.string(), o, rec), row.added);
    ASSERT_EQ(rec.of(zcaPassword).size(), 1u);
    EXPECT_EQ(rec.of(zcaPassword)[0].code & 1, 1);
    if (row.added)
      pythonVerify(archive, dir / "in", given);
    else
      EXPECT_FALSE(fs::exists(archive));
  }
}

TEST(VizIvi, DatesNamesAndCommentsFromTheCaller) {
  TempDir dir;
  fs::create_directories(dir / "in");
  writeFile(dir / "in" / "old.txt", "old");
  writeFile(dir / "in" / "new.txt", "new");
  setMtime(dir / "in" / "old.txt", 978350400); // 2001-01-01
  const auto archive = dir / "c.zip";
  Recorder rec;
  rec.reply = [](CallbackRecord& r) {
    if (r.ActionCode == zcaNewName && std::string(r.Text) == "new.txt") {
      replyText(r, "renamed\\new.txt");
      r.ErrorCode = 1;
    }
    if (r.ActionCode == zcaFileComment) {
      replyText(r, "note");
      r.ErrorCode = 1;
    }
    return 0;
  };
  ZipOptions o;
  o.specs = {"*.txt"};
  o.rootDir = (dir / "in").string();
  o.fromDate = "06 15 10"; // files from 2010-06-15 on
  o.comment = "archive comment";
  ASSERT_EQ(runZip(archive.string(), o, rec), 1);
  EXPECT_EQ(python("import zipfile\nz=zipfile.ZipFile(" + shellQuote(archive.string()) +
                   ")\ni=z.infolist()[0]\nprint(i.filename, i.comment.decode(), z.comment.decode())"),
            "renamed/new.txt note archive comment\n");
}

} // namespace
