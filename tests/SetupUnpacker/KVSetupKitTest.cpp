// The built program as an installation step runs it: no display, no terminal, a private
// settings folder. Archives come from the peers (bsdtar, zip, 7z, Python's zipfile); what
// was extracted is compared with its source by diff.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kvtest::shellQuote;

// The password the program's form stores for its archives.
const char* const BuiltInPassword = "Brotkorb719";
const char* const GeneralError = "General installation error.";

fs::path program() { return kvtest::buildDir() / "bin" / "KVSetupKit"; }

kvtest::CommandResult runSetupKit(const fs::path& exe, const std::vector<std::string>& args,
                                  const fs::path& configDir) {
  std::string line = "env -u DISPLAY -u WAYLAND_DISPLAY KV_CONFIG_DIR=" + shellQuote(configDir.string()) +
                     " " + shellQuote(exe.string());
  for (const auto& a : args)
    line += " " + shellQuote(a);
  return kvtest::run(line);
}

kvtest::CommandResult runSetupKit(const std::vector<std::string>& args, const fs::path& configDir) {
  return runSetupKit(program(), args, configDir);
}

void mustRun(const std::string& commandLine) {
  const auto r = kvtest::run(commandLine);
  ASSERT_EQ(r.exitCode, 0) << commandLine << "\n" << r.out << r.err;
}

// A source tree with nested folders: an empty file, text that packs well, bytes that do
// not, a name with spaces and an empty folder's sibling four levels down.
void makeSourceTree(const fs::path& dir) {
  fs::create_directories(dir / "a" / "b" / "c" / "d");
  fs::create_directories(dir / "docs");
  kvtest::writeFile(dir / "readme.txt", "Korvalis setup\n");
  kvtest::writeFile(dir / "empty.dat", "");
  std::string text;
  for (int i = 0; i < 5000; ++i)
    text += "line " + std::to_string(i) + " of the packed text\n";
  kvtest::writeFile(dir / "a" / "packed.txt", text);
  std::string noise(70000, '\0');
  uint32_t seed = 4711;
  for (auto& c : noise) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 24);
  }
  kvtest::writeFile(dir / "a" / "b" / "noise.bin", noise);
  kvtest::writeFile(dir / "a" / "b" / "c" / "d" / "deep.cfg", "[deep]\nvalue=1\n");
  kvtest::writeFile(dir / "docs" / "name with spaces.txt", "spaces\n");
}

// Every regular file below dir, relative to it.
std::set<std::string> filesBelow(const fs::path& dir) {
  std::set<std::string> files;
  if (!fs::exists(dir)) return files;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it)
    if (!it->is_directory()) files.insert(fs::relative(it->path(), dir).string());
  return files;
}

class KVSetupKitTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(program())) << program();
    makeSourceTree(src());
  }
  fs::path src() const { return work / "src"; }
  fs::path config() const { return work / "config"; }

  kvtest::TempDir work{"kvsetupkit"};
};

// ---- archives of every peer, with the built-in password, recreate the tree ----------------

struct PeerArchive {
  const char* peer;
  std::string (*command)(const fs::path& src, const fs::path& archive);
};

std::string bsdtarZip(const fs::path& src, const fs::path& archive) {
  return "cd " + shellQuote(src.string()) +
         " && bsdtar --format zip --options zip:encryption=zipcrypt --passphrase " + BuiltInPassword +
         " -cf " + shellQuote(archive.string()) + " .";
}
std::string infoZip(const fs::path& src, const fs::path& archive) {
  return "cd " + shellQuote(src.string()) + " && zip -q -r -P " + BuiltInPassword + " " +
         shellQuote(archive.string()) + " .";
}
std::string sevenZip(const fs::path& src, const fs::path& archive) {
  return "cd " + shellQuote(src.string()) + " && 7z a -bd -y -tzip -p" + BuiltInPassword +
         " -mem=ZipCrypto " + shellQuote(archive.string()) + " readme.txt empty.dat a docs >/dev/null";
}

TEST_F(KVSetupKitTest, PeerArchivesWithTheBuiltInPasswordRecreateTheTree) {
  const PeerArchive peers[] = {{"bsdtar", bsdtarZip}, {"zip", infoZip}, {"7z", sevenZip}};
  for (const auto& peer : peers) {
    SCOPED_TRACE(peer.peer);
    ASSERT_TRUE(kvtest::haveTool(peer.peer));
    const fs::path archive = work / (std::string(peer.peer) + ".zip");
    mustRun(peer.command(src(), archive));
    // The peer really encrypted: without the password its own reader refuses.
    EXPECT_NE(kvtest::run("unzip -t -P wrong " + shellQuote(archive.string())).exitCode, 0);

    // A target that does not exist yet, named without a trailing separator, and one given
    // with one: both get exactly the tree.
    for (const std::string suffix : {"", "/"}) {
      SCOPED_TRACE("target suffix '" + suffix + "'");
      const fs::path target = work / (std::string(peer.peer) + "-target" + (suffix.empty() ? "1" : "2"));
      const auto r = runSetupKit({"x", archive.string(), target.string() + suffix}, config());
      EXPECT_EQ(r.exitCode, 0) << r.err;
      const auto diff =
          kvtest::run("diff -r " + shellQuote(src().string()) + " " + shellQuote(target.string()));
      EXPECT_EQ(diff.exitCode, 0) << diff.out << diff.err;
    }
  }
}

TEST_F(KVSetupKitTest, ExistingFilesAreReplacedAndOthersKept) {
  const fs::path archive = work / "setup.zip";
  mustRun(infoZip(src(), archive));
  const fs::path target = work / "target";
  kvtest::writeFile(target / "readme.txt", "an older readme that the setup replaces\n");
  kvtest::writeFile(target / "a" / "local.ini", "kept\n");
  const auto r = runSetupKit({"installer", archive.string(), target.string()}, config());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(kvtest::readFile(target / "readme.txt"), "Korvalis setup\n");
  EXPECT_EQ(kvtest::readFile(target / "a" / "local.ini"), "kept\n");
  fs::remove(target / "a" / "local.ini");
  EXPECT_EQ(kvtest::run("diff -r " + shellQuote(src().string()) + " " + shellQuote(target.string())).exitCode,
            0);
}

// ---- a command line other than three arguments ---------------------------------------------

TEST_F(KVSetupKitTest, WrongArgumentCountsShowTheGeneralErrorAndExtractNothing) {
  const fs::path archive = work / "setup.zip";
  mustRun(infoZip(src(), archive));
  const std::string a = archive.string();
  const std::string t = (work / "target").string();
  // An empty argument ends the list: what follows it is not counted.
  const std::vector<std::vector<std::string>> rows = {
      {},                  // none
      {"x", a},            // two
      {"x", a, t, "four"}, // four
      {"x", "", t},        // an empty archive name ends the list after one
      {"x", a, ""},        // an empty target ends it after two
  };
  for (const auto& args : rows) {
    std::string shown;
    for (const auto& arg : args)
      shown += "'" + arg + "' ";
    SCOPED_TRACE(shown);
    const auto r = runSetupKit(args, config());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find(GeneralError), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(t));
  }
}

// ---- failures the caller must learn of ----------------------------------------------------

TEST_F(KVSetupKitTest, AWrongPasswordExitsNonZeroAndWritesNothingFalse) {
  const fs::path archive = work / "other.zip";
  // Written again until no member's check byte lets the built-in password through by chance.
  for (int tries = 0;; ++tries) {
    ASSERT_LT(tries, 20) << "every archive let the built-in password through";
    mustRun("cd " + shellQuote(src().string()) + " && rm -f " + shellQuote(archive.string()) +
            " && zip -q -r -P NotTheOne " + shellQuote(archive.string()) + " .");
    if (kvtest::checkBytesRefuse(archive, BuiltInPassword)) break;
  }
  const fs::path target = work / "target";
  const std::string old = "the file an earlier setup left\n";
  kvtest::writeFile(target / "readme.txt", old);
  const auto r = runSetupKit({"x", archive.string(), target.string()}, config());
  EXPECT_NE(r.exitCode, 0);
  // Nobody could be asked for another password; the question got its safe answer.
  EXPECT_NE(r.err.find("Password"), std::string::npos) << r.err;
  EXPECT_EQ(kvtest::readFile(target / "readme.txt"), old);
  EXPECT_EQ(filesBelow(target), std::set<std::string>{"readme.txt"});
}

TEST_F(KVSetupKitTest, AMissingOrUnreadableArchiveExitsNonZeroWithTheComponentsMessage) {
  kvtest::writeFile(work / "junk.zip", std::string(2000, 'J'));
  kvtest::writeFile(work / "empty.zip", "");
  struct Row {
    std::string archive;
    std::string message;
  };
  const std::vector<Row> rows = {
      {(work / "missing.zip").string(), "Error - no zip file specified!"},
      {(work / "junk.zip").string(), ""},
      {(work / "empty.zip").string(), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.archive);
    const fs::path target = work / "target";
    const auto r = runSetupKit({"x", row.archive, target.string()}, config());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(r.err.empty());
    if (!row.message.empty()) {
      EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
    EXPECT_TRUE(filesBelow(target).empty());
  }
}

TEST_F(KVSetupKitTest, AMissingEngineExitsNonZero) {
  const fs::path archive = work / "setup.zip";
  mustRun(infoZip(src(), archive));
  // The program alone, with no engine beside it nor in ../lib.
  const fs::path alone = work / "alone" / "bin" / "KVSetupKit";
  fs::create_directories(alone.parent_path());
  fs::copy_file(program(), alone);
  const fs::path target = work / "target";
  const auto r = runSetupKit(alone, {"x", archive.string(), target.string()}, config());
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("ROZIZE.DLL not found!"), std::string::npos) << r.err;
  EXPECT_TRUE(filesBelow(target).empty());
}

// ---- hostile archives ---------------------------------------------------------------------

TEST_F(KVSetupKitTest, AHostileArchiveWritesNothingOutsideTheTarget) {
  const fs::path root = work / "jail";
  const fs::path target = root / "target";
  const fs::path outside = root / "outside";
  fs::create_directories(target);
  fs::create_directories(outside);
  // A link an earlier step left in the target, pointing out of it.
  fs::create_directory_symlink(outside, target / "link");
  const fs::path archive = work / "hostile.zip";
  const std::string script =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
      "    for name in sys.argv[3:]:\n"
      "        z.writestr(zipfile.ZipInfo(name), b'escaped ' + name.encode() + b'\\n')\n"
      "    z.writestr('good.txt', b'inside\\n')\n"
      "    z.writestr('sub/also good.txt', b'inside too\\n')\n";
  kvtest::writeFile(work / "make_hostile.py", script);
  const std::vector<std::string> names = {
      "../escape1.txt", "sub/../../escape2.txt", "..\\escape3.txt", (outside / "absolute.txt").string(),
      "/escape4.txt",   "link/through-link.txt", "C:\\escape5.txt",
  };
  std::string command = kvtest::systemPython() + " " + shellQuote((work / "make_hostile.py").string()) + " " +
                        shellQuote(archive.string()) + " --";
  for (const auto& n : names)
    command += " " + shellQuote(n);
  mustRun(command);
  // The archive really holds the names as written.
  const auto listing = kvtest::run("unzip -Z1 " + shellQuote(archive.string()));
  ASSERT_NE(listing.out.find("../escape1.txt"), std::string::npos) << listing.out;

  const auto r = runSetupKit({"x", archive.string(), target.string()}, config());
  // Refused members mean not everything was extracted, and the caller's log says so.
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("not extracted completely"), std::string::npos) << r.err;
  EXPECT_TRUE(filesBelow(outside).empty());
  EXPECT_FALSE(fs::exists("/escape4.txt"));
  std::set<std::string> inJail;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    if (!it->is_directory() && !it->is_symlink()) inJail.insert(fs::relative(it->path(), root).string());
  EXPECT_EQ(inJail, (std::set<std::string>{"target/good.txt", "target/sub/also good.txt"}));
  EXPECT_EQ(kvtest::readFile(target / "good.txt"), "inside\n");
  // Nothing landed beside the work folder either.
  EXPECT_FALSE(fs::exists(work.path().parent_path() / "escape1.txt"));
  EXPECT_FALSE(fs::exists(work.path() / "escape1.txt"));
  EXPECT_FALSE(fs::exists(work.path() / "escape2.txt"));
}

} // namespace
