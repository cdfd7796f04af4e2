// The program as a nightly job runs it: KVBackup -BACKUP FILE without a display, on a sample
// database, checked with Python's zipfile, unzip, kvreg and flock.
#include "Archive/ZavOzeriz.h"
#include "BackupTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using namespace backuptest;

class KVBackupRun : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(kvtest::haveTool("unzip"));
    makeSampleDatabase(db());
    writeAliases(config(), db().string());
    fs::create_directories(out());
  }

  fs::path db() const { return t / "db"; }
  fs::path out() const { return t / "out"; }
  fs::path config() const { return t / "config"; }

  // Runs the program without a display and without a terminal.
  kvtest::CommandResult backup(const std::string& args, const std::string& extraEnv = {}) {
    return kvtest::run(
        "env -u DISPLAY -u WAYLAND_DISPLAY KV_CONFIG_DIR=" + kvtest::shellQuote(config().string()) +
        " KV_NOW='2004-12-24 17:05:09' KV_SHORT_DATE_FORMAT=dd/mm/yyyy KV_DATE_SEPARATOR=. "
        "KV_LONG_TIME_FORMAT=hh:nn:ss " +
        extraEnv + " " + kvtest::shellQuote((kvtest::buildDir() / "bin" / "KVBackup").string()) + " " + args);
  }
  std::string remembered(const std::string& name) {
    return kvtest::run("KV_CONFIG_DIR=" + kvtest::shellQuote(config().string()) + " " +
                       kvtest::shellQuote((kvtest::buildDir() / "bin" / "kvreg").string()) +
                       " get '\\Software\\Dolvane\\Korvalis30\\BR' " + name)
        .out;
  }

  kvtest::TempDir t{"kvbackup"};
};

TEST_F(KVBackupRun, AnUnattendedBackupPacksExactlyTheFolderIntoTheFirstPart) {
  // Every file of the folder, whatever its name, and nothing of its subfolders.
  kvtest::writeFile(db() / ".hidden", "a dot file");
  kvtest::writeFile(db() / "with space.txt", "a blank in the name");
  fs::create_directories(db() / "sub" / ".deeper");
  kvtest::writeFile(db() / "sub" / "inner.txt", "in a subfolder");
  const auto r = backup("-BACKUP " + kvtest::shellQuote((out() / "KorvBak.zip").string()));
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");

  // The marker: short date, blank, long time, CR LF, from the injected clock and formats. The
  // clock starts at 17:05:09 and moves only while the program waits: the timer's one second.
  EXPECT_EQ(kvtest::readFile(db() / "kvbak"), "24.12.2004 17:05:10\r\n");

  // One part, numbered before the extension; no file under the plain name.
  EXPECT_EQ(filesIn(out()), (std::vector<std::string>{"KorvBak001.zip"}));
  const fs::path archive = out() / "KorvBak001.zip";
  EXPECT_EQ(kvtest::run("unzip -tq " + kvtest::shellQuote(archive.string())).exitCode, 0);
  // Every file of the folder, the marker included, under its bare name and with its bytes.
  const auto listing = peerMembers(archive);
  std::vector<std::string> names;
  for (const auto& [name, bytes] : listing) {
    names.push_back(name);
    EXPECT_EQ(bytes, kvtest::readFile(db() / name)) << name;
  }
  EXPECT_EQ(names, filesIn(db()));
  for (const char* name : {"kvbak", ".hidden", "with space.txt"})
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;

  EXPECT_EQ(remembered("BackupFile"), (out() / "KorvBak.zip").string() + "\n");
  // The log, in order, on standard output.
  const std::vector<std::string> log = lines(r.out);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 4),
            (std::vector<std::string>{"Try to exclusivly access the database...", "Ok", "Creating backup...",
                                      db().string()}));
  EXPECT_EQ(log.back(), "Ok");
  // The sample's long texts are packed with their table.
  EXPECT_NE(std::find(names.begin(), names.end(), "LANG.MB"), names.end());
}

TEST_F(KVBackupRun, ATableHeldByAnotherProgramStopsTheBackupBeforeAnythingIsWritten) {
  ASSERT_TRUE(kvtest::haveTool("flock"));
  kvtest::writeFile(db() / "kvbak", "old marker\r\n");
  SharedLockHolder holder(db() / "CONFIG.DB");
  ASSERT_TRUE(holder.holding());

  const auto r = backup("-BACKUP " + kvtest::shellQuote((out() / "KorvBak.zip").string()));
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("Probably there is an instance of Korvalis running. Please close all running Korvalis "
                       "processes."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{"Try to exclusivly access the database...", "Error."}));
  EXPECT_EQ(kvtest::readFile(db() / "kvbak"), "old marker\r\n");
  EXPECT_TRUE(filesIn(out()).empty());
  EXPECT_EQ(remembered("BackupFile"), "");
}

// A backup of a table that cannot be read would fail the day it is restored: the run stops and
// says which table and what is wrong with it.
TEST_F(KVBackupRun, TablesThatCannotBeReadStopTheBackupAndAreNamed) {
  kvtest::writeFile(db() / "kvbak", "old marker\r\n");
  const std::string lang = kvtest::readFile(db() / "LANG.DB");
  kvtest::writeFile(db() / "LANG.DB", lang.substr(0, lang.size() / 2));
  kvtest::writeFile(db() / "LDEF.DB", "");
  // A table under a password other than the product's.
  ASSERT_EQ(kvtest::run(kvtest::shellQuote((kvtest::buildDir() / "bin" / "kvmkdemo").string()) + " " +
                        kvtest::shellQuote((t / "other").string()) + " --password another")
                .exitCode,
            0);
  fs::copy_file(t / "other" / "CONFIG.DB", db() / "OTHER.DB");

  const auto r = backup("-BACKUP " + kvtest::shellQuote((out() / "KorvBak.zip").string()));
  EXPECT_EQ(r.exitCode, 1);
  for (const char* said : {"LANG.DB is damaged", "LDEF.DB is an empty file", "OTHER.DB is encrypted"})
    EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
  EXPECT_EQ(r.err.find("Probably there is an instance"), std::string::npos) << r.err;
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{"Try to exclusivly access the database...", "Error."}));
  EXPECT_EQ(kvtest::readFile(db() / "kvbak"), "old marker\r\n");
  EXPECT_TRUE(filesIn(out()).empty());
  EXPECT_EQ(remembered("BackupFile"), "");
}

// Every night into the same name: the older set of that name goes without a question, but
// only once the new one is complete; parts of a longer older set go with it; a run that fails
// leaves the older set as it was; a disk that holds one backup and a little takes the next.
TEST_F(KVBackupRun, NightlyRunsReplaceTheOlderSetOfTheirName) {
  const std::string target = (out() / "KorvBak.zip").string();
  auto night = [&](const std::string& extraEnv = {}) {
    return backup("-BACKUP " + kvtest::shellQuote(target), extraEnv);
  };
  // What the set holds, as Python reads it, is the folder as it is now.
  auto holdsTheFolder = [&](const fs::path& part) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : peerMembers(part)) {
      names.push_back(name);
      EXPECT_EQ(bytes, kvtest::readFile(db() / name)) << name;
    }
    EXPECT_EQ(names, filesIn(db()));
  };

  // An older backup of three parts (written with a volume cap), and a file of another kind.
  std::string photo(120000, '\0'); // does not compress: the sets have a size to split
  std::mt19937 noise(29);
  for (char& c : photo)
    c = static_cast<char>(noise());
  kvtest::writeFile(db() / "photo.bin", photo);
  kvtest::writeFile(out() / "notes.txt", "not a part");
  {
    kvtest::TempDir tmp("kvolder");
    std::vector<std::pair<std::string, std::string>> members;
    for (const auto& name : filesIn(db()))
      members.emplace_back(name, kvtest::readFile(db() / name));
    peerWriteArchive(tmp / "older.zip", members);
    ZavOzeriz::TZavOzeriz zip(nullptr);
    zip.SetMinFreeVolumeSize(1000);
    zip.SetMaxVolumeSize(static_cast<int>(fs::file_size(tmp / "older.zip") / 3 + 100));
    ASSERT_EQ(zip.WriteSpan((tmp / "older.zip").string(), target), 0) << zip.LastMessage();
  }
  ASSERT_EQ(filesIn(out()),
            (std::vector<std::string>{"KorvBak001.zip", "KorvBak002.zip", "KorvBak003.zip", "notes.txt"}));

  // Two nights, the database changing in between: each ends well and leaves exactly its set.
  for (const std::string& change : {"first night", "second night"}) {
    SCOPED_TRACE(change);
    kvtest::writeFile(db() / "notes of the day.txt", change);
    const auto r = night();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines(r.out).back(), "Ok");
    EXPECT_EQ(filesIn(out()), (std::vector<std::string>{"KorvBak001.zip", "notes.txt"}));
    EXPECT_EQ(kvtest::run("unzip -tq " + kvtest::shellQuote((out() / "KorvBak001.zip").string())).exitCode,
              0);
    holdsTheFolder(out() / "KorvBak001.zip");
    EXPECT_EQ(remembered("BackupFile"), target + "\n");
  }
  EXPECT_EQ(kvtest::readFile(out() / "notes.txt"), "not a part");

  // A disk that holds one backup and a little: a file system of that size, mounted in a mount
  // namespace of the runs' own. The next night takes the room of the older set; a backup
  // that could not fit even then fails and leaves the older set whole.
  if (geteuid() != 0) {
    std::cout << "[ SKIPPED  ] a small disk: mounting a file system needs root\n";
    return;
  }
  const fs::path disk = t / "disk";
  fs::create_directories(disk);
  const uint64_t room = (fs::file_size(out() / "KorvBak001.zip") + 24 * 1024) / 4096 * 4096;
  const std::string program = kvtest::shellQuote((kvtest::buildDir() / "bin" / "KVBackup").string());
  const std::string onDisk = kvtest::shellQuote((disk / "KorvBak.zip").string());
  const std::string part = kvtest::shellQuote((disk / "KorvBak001.zip").string());
  const std::string grow = kvtest::shellQuote((db() / "photo2.bin").string());
  const std::string script = "mount -t tmpfs -o size=" + std::to_string(room) + " none " +
                             kvtest::shellQuote(disk.string()) +
                             " || exit 9\n"
                             "export KV_CONFIG_DIR=" +
                             kvtest::shellQuote(config().string()) +
                             "\n"
                             "env -u DISPLAY -u WAYLAND_DISPLAY " +
                             program + " -BACKUP " + onDisk +
                             " >/dev/null 2>&1; echo first $?\n"
                             "env -u DISPLAY -u WAYLAND_DISPLAY " +
                             program + " -BACKUP " + onDisk +
                             " >/dev/null 2>&1; echo next $?\n"
                             "unzip -tq " +
                             part +
                             " >/dev/null; echo peer $?\n"
                             "sum1=$(md5sum < " +
                             part +
                             ")\n"
                             "head -c 60000 /dev/urandom > " +
                             grow +
                             "\n"
                             "env -u DISPLAY -u WAYLAND_DISPLAY " +
                             program + " -BACKUP " + onDisk +
                             " >/dev/null 2>&1; echo bigger $?\n"
                             "rm -f " +
                             grow +
                             "\n"
                             "[ \"$(md5sum < " +
                             part +
                             ")\" = \"$sum1\" ]; echo kept $?\n"
                             "echo files $(ls -A " +
                             kvtest::shellQuote(disk.string()) + ")\n";
  const auto r = kvtest::run("unshare -m --propagation private sh -c " + kvtest::shellQuote(script));
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{"first 0", "next 0", "peer 0", "bigger 1", "kept 0",
                                                    "files KorvBak001.zip"}))
      << r.out << r.err;
}

TEST_F(KVBackupRun, BackupWithoutAFileNameIsRefusedAndTheRememberedNameStays) {
  ASSERT_EQ(kvtest::run("KV_CONFIG_DIR=" + kvtest::shellQuote(config().string()) + " " +
                        kvtest::shellQuote((kvtest::buildDir() / "bin" / "kvreg").string()) +
                        " set '\\Software\\Dolvane\\Korvalis30\\BR' BackupFile /srv/save/Nightly.zip")
                .exitCode,
            0);
  for (const char* args : {"-BACKUP", "-BACKUP ''"}) {
    const auto r = backup(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_NE(r.err.find("-BACKUP and the name of the backup file"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(db() / "kvbak"));
    EXPECT_EQ(remembered("BackupFile"), "/srv/save/Nightly.zip\n");
  }
}

TEST_F(KVBackupRun, AnAliasWithoutAUsableDirectoryIsRefusedBeforeAnythingIsPacked) {
  kvtest::writeFile(t / "plainfile", "x");
  struct Case {
    std::string aliases;
    std::string said;
  } cases[] = {
      {"[Korv3]\nPATH=\n", "names no directory"},
      {"[Korv3]\nDRIVER=PARADOX\n", "names no directory"},
      {"[Korv3]\nPATH=" + (t / "nowhere").string() + "\n", "does not exist or is not a directory"},
      {"[Korv3]\nPATH=" + (t / "plainfile").string() + "\n", "does not exist or is not a directory"},
      {"[Other]\nPATH=" + db().string() + "\n", "Korv3"},
  };
  for (const auto& c : cases) {
    kvtest::writeFile(config() / "aliases.ini", c.aliases);
    const auto r = backup("-BACKUP " + kvtest::shellQuote((out() / "KorvBak.zip").string()));
    EXPECT_EQ(r.exitCode, 1) << c.aliases;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << c.aliases << r.err;
    EXPECT_EQ(lines(r.out), std::vector<std::string>{"Error."}) << c.aliases;
    EXPECT_TRUE(filesIn(out()).empty()) << c.aliases;
    EXPECT_FALSE(fs::exists(db() / "kvbak"));
  }
}

TEST_F(KVBackupRun, WithoutADisplayTheFormIsNotOffered) {
  const auto r = backup("foo");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("no display"), std::string::npos);
  EXPECT_EQ(backup("", "KV_NOW=yesterday").exitCode, 2);
}

} // namespace

namespace {

// A display that nobody serves is no display: the nightly job still runs, nothing waits.
TEST_F(KVBackupRun, ADisplayThatCannotBeReachedKeepsTheProgramNonInteractive) {
  const std::string unreachable = "DISPLAY=:65000 GDK_BACKEND=x11";
  kvtest::CommandResult r;
  {
    // The instance message goes to standard error instead of a window that nobody closes.
    ASSERT_TRUE(kvtest::haveTool("flock"));
    SharedLockHolder holder(db() / "CONFIG.DB");
    ASSERT_TRUE(holder.holding());
    r = backup("-BACKUP " + kvtest::shellQuote((out() / "KorvBak.zip").string()), unreachable);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("Probably there is an instance of Korvalis running."), std::string::npos) << r.err;
    EXPECT_TRUE(filesIn(out()).empty());
  }
  r = backup("-BACKUP " + kvtest::shellQuote((out() / "KorvBak.zip").string()), unreachable);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(filesIn(out()), (std::vector<std::string>{"KorvBak001.zip"}));
  EXPECT_EQ(backup("", unreachable).exitCode, 2);
}

} // namespace
