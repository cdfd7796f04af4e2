// The self-extractor's stub program, run as a user runs it: built by an Add onto a new
// "setup.exe" with the settings the programs' forms store, checked by the peers, started
// without a display, with its header's options, and with hostile, damaged and cut-short files.
#include "ArchiveTestSupport.h"

#include "Archive/ZavOzeriz.h"
#include "Platform/Rtl/Streaming.h"
#include "Platform/Rtl/TypInfo.h"

#include <filesystem>
#include <random>
#include <set>

using namespace ZavOzeriz;
using namespace archivetest;
namespace fs = std::filesystem;
namespace pf = kv::platform;

namespace {

// The form that holds the component, as the programs' forms hold theirs.
class TStubHost : public pf::TComponent {
  KV_CLASS_INFO(TStubHost)
public:
  using pf::TComponent::TComponent;
  TZavOzeriz* Zip = nullptr;
};

const pf::TClassInfo& TStubHost::StaticClassInfo() {
  static const pf::TClassInfo info =
      pf::TClassBuilder<TStubHost, pf::TComponent>("TStubHost").Field("Zip", &TStubHost::Zip).Build();
  return info;
}

fs::path stub() { return kvtest::buildDir() / "bin" / "DAZUDus.BIN"; }

#ifdef KV_SANITIZED_BUILD
// The sanitizers make the stub ten times its size, too large for 7-Zip to look behind.
constexpr bool kSevenZip = false;
#else
constexpr bool kSevenZip = true;
#endif

// The settings both programs' forms store, and a test's own lines after them.
std::unique_ptr<TStubHost> storedZip(const std::string& extra = {}) {
  auto host = std::make_unique<TStubHost>(nullptr);
  pf::ReadComponentText(*host,
                        "object Host: TStubHost\n"
                        "  object Zip: TZavOzeriz\n"
                        "    SFXCaption = 'Self-extracting Archive'\n"
                        "    SFXOverWriteMode = OvrConfirm\n"
                        "    SFXPath = 'ZavSFX.bin'\n" +
                            extra +
                            "  end\n"
                            "end\n",
                        "Host.kfm");
  TZavOzeriz& zip = *host->Zip;
  zip.SetUnattended(true);
  zip.SetHowToDelete(DeleteOpts::htdFinal);
  zip.SetDLLDirectory(KV_REAL_ENGINE_DIR);
  return host;
}

// Adds the whole tree below `src` to a new `exe`; the message of a failure, else empty.
std::string addTree(TZavOzeriz& zip, const fs::path& src, const fs::path& exe) {
  zip.SetZipFileName(exe.string());
  zip.SetAddOptions({AddOptsEnum::AddDirNames, AddOptsEnum::AddRecurseDirs});
  zip.SetRootDir(src.string());
  zip.GetFSpecArgs().Add("*.*");
  return zip.Add() == 0 ? std::string() : zip.LastMessage() + " (" + std::to_string(zip.ErrCode()) + ")";
}

// Runs a self-extractor from `dir` with neither display nor the build's library paths (unless
// `env` names a display), inside `wrapper` when given.
kvtest::CommandResult runStub(const fs::path& exe, const std::string& args, const fs::path& dir,
                              const std::string& env = {}, const std::string& wrapper = {}) {
  return kvtest::run("cd " + kvtest::shellQuote(dir.string()) + " && " + wrapper +
                     " env -i PATH=/usr/bin:/bin " + env + " " + kvtest::shellQuote(exe.string()) + " " +
                     args);
}

std::string diffR(const fs::path& a, const fs::path& b) {
  const auto r =
      kvtest::run("diff -r " + kvtest::shellQuote(a.string()) + " " + kvtest::shellQuote(b.string()));
  return r.exitCode == 0 ? std::string() : r.out + r.err;
}

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s)
    c = static_cast<char>(gen());
  return s;
}

void makeScript(const fs::path& path, const std::string& body) {
  kvtest::writeFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                  fs::perm_options::add);
}

} // namespace

TEST(SfxStub, NeedsNothingButTheCLibraryAndLiesBesideProgramsAndEngines) {
  ASSERT_TRUE(fs::exists(stub()));
  EXPECT_EQ(kvtest::readFile(stub()), kvtest::readFile(kvtest::buildDir() / "lib" / "DAZUDus.BIN"));
#ifdef KV_SANITIZED_BUILD
  GTEST_SKIP() << "the sanitizers' run-time is a shared library of its own";
#else
  const auto r = kvtest::run("readelf -d " + kvtest::shellQuote(stub().string()));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::set<std::string> needed;
  for (size_t at = r.out.find("(NEEDED)"); at != std::string::npos; at = r.out.find("(NEEDED)", at + 1)) {
    const size_t open = r.out.find('[', at), close = r.out.find(']', at);
    needed.insert(r.out.substr(open + 1, close - open - 1));
  }
  EXPECT_EQ(needed, (std::set<std::string>{"libc.so.6", "ld-linux-x86-64.so.2"}));
#endif
}

TEST(SfxStub, AnAddOntoANewSetupExeExtractsTheTreeByteForByte) {
  kvtest::TempDir tmp;
  const fs::path src = tmp / "src";
  kvtest::writeFile(src / "Grüße" / "Übersicht für Jörg.txt", "Grüße aus Köln\n");
  kvtest::writeFile(src / "sub" / "deeper" / "notes.txt", std::string(5000, 'n'));
  kvtest::writeFile(src / "random.bin", randomBytes(200 * 1024, 17));
  kvtest::writeFile(src / "empty.txt", "");
  auto host = storedZip();
  TZavOzeriz& zip = *host->Zip;
  ASSERT_EQ(addTree(zip, src, tmp / "setup.exe"), "");
  EXPECT_EQ(zip.Count(), 4);
  // The stub program of the build is the one in front of the archive.
  const std::string exe = kvtest::readFile(tmp / "setup.exe");
  EXPECT_EQ(exe.substr(0, fs::file_size(stub())), kvtest::readFile(stub()));
  EXPECT_EQ(peersAccept((tmp / "setup.exe").string(), 4, {}, kSevenZip), "");

  const auto r = runStub(tmp / "setup.exe", "-d out", tmp.path());
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(diffR(src, tmp / "out"), "");
  EXPECT_NE(r.err.find("4 files extracted to out."), std::string::npos) << r.err;

  // Turned back, it is the plain archive: from its first byte, with the same members.
  ASSERT_EQ(zip.GetSFXSlave()->ConvertToZIP(&zip), 0) << zip.LastMessage();
  EXPECT_FALSE(fs::exists(tmp / "setup.exe"));
  EXPECT_EQ(kvtest::readFile(tmp / "setup.zip").substr(0, 4), std::string("PK\x03\x04", 4));
  EXPECT_EQ(peersAccept((tmp / "setup.zip").string(), 4), "");
  ASSERT_EQ(kvtest::run("unzip -q -d " + kvtest::shellQuote((tmp / "plain").string()) + " " +
                        kvtest::shellQuote((tmp / "setup.zip").string()))
                .exitCode,
            0);
  EXPECT_EQ(diffR(src, tmp / "plain"), "");
}

TEST(SfxStub, TheHeadersOptionsBehaveAsStored) {
  struct Case {
    const char* name;
    std::string lines;    // stored with the component
    const char* existing; // a.txt in the target before the run, or nullptr
    std::string args;     // empty: the default folder, which is out
    int exitCode;
    const char* aTxt; // a.txt afterwards, or nullptr when it is not there
    std::string ran;  // what the command wrote, empty when it did not run
    const char* said; // on standard error
    const char* notSaid;
  };
  const Case cases[] = {
      {"the command runs in the target folder",
       "SFXCommandLine = 'install.sh \"with blank\"'\n"
       "SFXOptions = [SFXAutoRun]\n",
       nullptr, "-d out", 0, "new", "out with blank\n", "", "Not run"},
      {"nobody confirms the command",
       "SFXCommandLine = 'install.sh'\nSFXOptions = [SFXAutoRun, SFXAskCmdLine]\n", nullptr, "-d out", 0,
       "new", "", "Not run, as nobody could confirm it: install.sh", ""},
      {"a command that cannot start", "SFXCommandLine = 'no-such-program'\nSFXOptions = [SFXAutoRun]\n",
       nullptr, "-d out", 1, "new", "", "Cannot start no-such-program", ""},
      {"without SFXAutoRun the command waits", "SFXCommandLine = 'install.sh'\n", nullptr, "-d out", 0, "new",
       "", "", "Cannot start"},
      {"always overwrite", "SFXOverWriteMode = OvrAlways\n", "old", "-d out", 0, "new", "", "", "unchanged"},
      {"never overwrite", "SFXOverWriteMode = OvrNever\n", "old", "-d out", 0, "old", "",
       "1 existing file left unchanged.", ""},
      {"ask, and nobody is there", "", "old", "-d out", 0, "old", "", "a.txt already exists.", ""},
      {"the default folder", "SFXDefaultDir = 'out'\n", nullptr, "", 0, "new", "",
       "2 files extracted to out.", ""},
      {"a default folder from a drive's root is below the home folder", "SFXDefaultDir = '\\out'\n", nullptr,
       "", 0, "new", "", "", ""},
      {"a start question with no one to answer",
       "SFXDefaultDir = 'out'\nSFXMessage = #2'Install the demo?'\n", nullptr, "", 3, nullptr, "",
       "Install the demo?", "extracted"},
      {"a start notice", "SFXDefaultDir = 'out'\nSFXMessage = 'Welcome'\n", nullptr, "", 0, "new", "",
       "Welcome", ""},
      {"-d asks nothing at the start", "SFXMessage = #1'Go on?'\n", nullptr, "-d out", 0, "new", "", "",
       "Go on?"},
      {"no success message", "SFXOptions = [SFXNoSuccessMsg]\n", nullptr, "-d out", 0, "new", "", "",
       "extracted"},
  };
  kvtest::TempDir tmp;
  const fs::path src = tmp / "src";
  kvtest::writeFile(src / "a.txt", "new");
  // What the command writes: the name of the folder it runs in and its argument.
  makeScript(src / "install.sh", "echo \"$(basename \"$PWD\") $1\" > ran.txt\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = tmp / c.name;
    fs::create_directories(dir);
    auto host = storedZip(c.lines);
    ASSERT_EQ(addTree(*host->Zip, src, dir / "setup.exe"), "");
    if (c.existing) kvtest::writeFile(dir / "out" / "a.txt", c.existing);
    const auto r = runStub(dir / "setup.exe", c.args, dir, "HOME=" + kvtest::shellQuote(dir.string()));
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.aTxt) {
      EXPECT_EQ(kvtest::readFile(dir / "out" / "a.txt"), c.aTxt);
    } else {
      EXPECT_FALSE(fs::exists(dir / "out"));
    }
    if (c.ran.empty()) {
      EXPECT_FALSE(fs::exists(dir / "out" / "ran.txt"));
    } else {
      EXPECT_EQ(kvtest::readFile(dir / "out" / "ran.txt"), c.ran);
    }
    if (*c.said) {
      EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
    if (*c.notSaid) {
      EXPECT_EQ(r.err.find(c.notSaid), std::string::npos) << r.err;
    }
  }
}

TEST(SfxStub, HostileDamagedOrCutShortExecutablesWriteNothingOutsideTheTarget) {
  kvtest::TempDir tmp;
  // A self-extractor made by the builder from an archive that Python's zipfile wrote.
  auto fromPython = [&](const std::string& name, const std::string& members) {
    const fs::path zipName = tmp / (name + ".zip");
    const auto made = kvtest::run(kvtest::systemPython() + " -c " +
                                  kvtest::shellQuote("import sys, zipfile\n"
                                                     "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n" +
                                                     members) +
                                  " " + kvtest::shellQuote(zipName.string()));
    EXPECT_EQ(made.exitCode, 0) << made.err;
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    zip.SetHowToDelete(DeleteOpts::htdFinal);
    zip.SetSFXPath(stub().string());
    zip.SetZipFileName(zipName.string());
    EXPECT_EQ(zip.GetSFXSlave()->ConvertToSFX(&zip), 0) << zip.LastMessage();
    return tmp / (name + ".exe");
  };
  // A good one to cut and damage.
  const fs::path src = tmp / "src";
  kvtest::writeFile(src / "random.bin", randomBytes(200 * 1024, 5));
  auto host = storedZip();
  ASSERT_EQ(addTree(*host->Zip, src, tmp / "good.exe"), "");
  const std::string good = kvtest::readFile(tmp / "good.exe");
  auto variant = [&](const std::string& name, const std::string& bytes) {
    kvtest::writeFile(tmp / name, bytes);
    fs::permissions(tmp / name, fs::perms::owner_all);
    return tmp / name;
  };
  std::string damaged = good;
  damaged[fs::file_size(stub()) + 200 * 1024 / 2] ^= 0x5A; // in the middle of the stored data
  // The stub with an archive behind it, but without the settings in between.
  ASSERT_EQ(
      kvtest::run("cd " + kvtest::shellQuote(src.string()) + " && zip -q ../plain.zip random.bin").exitCode,
      0);
  const auto noHeader = kvtest::readFile(stub()) + kvtest::readFile(tmp / "plain.zip");

  struct Case {
    const char* name;
    fs::path exe;
    const char* said;
    const char* extracted; // the one file that may come out, or nullptr
  };
  const Case cases[] = {
      {"a name with ..",
       fromPython("dots", "    z.writestr('../evil.txt', 'x')\n    z.writestr('good.txt', 'g')\n"),
       "would leave the target directory", "good.txt"},
      {"an absolute name", fromPython("abs", "    z.writestr('/tmp/abs-evil.txt', 'x')\n"),
       "would leave the target directory", nullptr},
      {"a folder that is a link out", fromPython("link", "    z.writestr('sub/evil.txt', 'x')\n"),
       "is a symbolic link", nullptr},
      {"cut short", variant("cut.exe", good.substr(0, good.size() - 100)), "is damaged or incomplete",
       nullptr},
      {"damaged data", variant("damaged.exe", damaged), "random.bin", nullptr},
      {"no header", variant("noheader.exe", noHeader), "has no self-extractor settings", nullptr},
      {"the stub alone", variant("alone.exe", kvtest::readFile(stub())), "is damaged or incomplete", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path run = tmp / ("run " + std::string(c.name));
    fs::create_directories(run / "outside");
    if (std::string(c.name) == "a folder that is a link out") {
      fs::create_directories(run / "target");
      fs::create_directory_symlink("../outside", run / "target" / "sub");
    }
    const auto r = runStub(c.exe, "-d target", run);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(run / "outside"));
    EXPECT_FALSE(fs::exists(tmp / "evil.txt") || fs::exists("/tmp/abs-evil.txt"));
    std::set<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(run / "target", ec))
      out.insert(e.path().filename().string());
    out.erase("sub"); // the planted link
    EXPECT_EQ(out, c.extracted ? std::set<std::string>{c.extracted} : std::set<std::string>{});
  }
}

// Drives a program on a pseudo-terminal as a person does: waits for the password prompt and
// for the terminal to stop echoing, types the password, and reads to the end. Prints what the
// terminal showed, then "EXIT" and the exit code.
const char* const kTypePassword = R"(import os, pty, select, sys, termios, time
exe, cwd, home, password = sys.argv[1:5]
pid, fd = pty.fork()
if pid == 0:
    os.chdir(cwd)
    os.execve(exe, [exe], {'PATH': '/usr/bin:/bin', 'HOME': home})
shown, typed = b'', False
deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    if not select.select([fd], [], [], deadline - time.monotonic())[0]:
        break
    try:
        chunk = os.read(fd, 4096)
    except OSError:
        break
    if not chunk:
        break
    shown += chunk
    if not typed and b'Enter the password' in shown:
        while termios.tcgetattr(fd)[3] & termios.ECHO and time.monotonic() < deadline:
            time.sleep(0.01)
        os.write(fd, password.encode() + b'\n')
        typed = True
status = os.waitpid(pid, 0)[1]
sys.stdout.write(shown.decode('utf-8', 'replace'))
print('\nEXIT', os.waitstatus_to_exitcode(status))
)";

// A `zip -r -P` archive (folder entries, an empty folder among them) made a self-extractor whose
// default folder is stored in the Windows form.
TEST(SfxStub, APasswordIsTypedOnATerminalWithoutADisplay) {
  if (!kvtest::haveTool("zip")) GTEST_SKIP() << "zip missing";
  kvtest::TempDir tmp;
  kvtest::writeFile(tmp / "src" / "docs" / "secret.txt", "classified\n");
  kvtest::writeFile(tmp / "src" / "plain.txt", "plain\n");
  fs::create_directories(tmp / "src" / "empty");
  ASSERT_EQ(
      kvtest::run("cd " + kvtest::shellQuote((tmp / "src").string()) + " && zip -q -r -P Sesame ../s.zip .")
          .exitCode,
      0);
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetHowToDelete(DeleteOpts::htdFinal);
  zip.SetSFXPath(stub().string());
  zip.SetSFXDefaultDir("C:\\Program Files\\Korvalis");
  zip.SetZipFileName((tmp / "s.zip").string());
  ASSERT_EQ(zip.GetSFXSlave()->ConvertToSFX(&zip), 0) << zip.LastMessage();
  fs::create_directories(tmp / "home");
  fs::create_directories(tmp / "run");

  // Nobody at a terminal: nobody is asked, and the member is not extracted.
  fs::create_directories(tmp / "alone");
  const auto alone = runStub(tmp / "s.exe", "-d out", tmp / "alone");
  EXPECT_EQ(alone.exitCode, 1);
  EXPECT_NE(alone.err.find("Enter the password for docs/secret.txt"), std::string::npos) << alone.err;
  EXPECT_NE(alone.err.find("cancelled for docs/secret.txt: not extracted"), std::string::npos) << alone.err;
  EXPECT_FALSE(fs::exists(tmp / "alone" / "out" / "docs" / "secret.txt"));

  const auto typed = kvtest::run(kvtest::systemPython() + " -c " + kvtest::shellQuote(kTypePassword) + " " +
                                 kvtest::shellQuote((tmp / "s.exe").string()) + " " +
                                 kvtest::shellQuote((tmp / "run").string()) + " " +
                                 kvtest::shellQuote((tmp / "home").string()) + " Sesame");
  EXPECT_NE(typed.out.find("Enter the password for"), std::string::npos) << typed.out << typed.err;
  EXPECT_EQ(typed.out.find("Sesame"), std::string::npos) << "the password was echoed:\n" << typed.out;
  const fs::path target = tmp / "home" / "Program Files" / "Korvalis";
  EXPECT_NE(typed.out.find("2 files extracted to " + target.string() + "."), std::string::npos) << typed.out;
  EXPECT_NE(typed.out.find("\nEXIT 0\n"), std::string::npos) << typed.out;
  EXPECT_EQ(diffR(tmp / "src", target), "");
  EXPECT_TRUE(fs::is_directory(target / "empty"));
  EXPECT_TRUE(fs::is_empty(tmp / "run"));
}

TEST(SfxStub, WithoutAWindowToShowItGoesOnWithout) {
  kvtest::TempDir tmp;
  kvtest::writeFile(tmp / "src" / "a.txt", "a");
  auto host = storedZip("SFXDefaultDir = 'out'\n");
  ASSERT_EQ(addTree(*host->Zip, tmp / "src", tmp / "setup.exe"), "");
  // GTK made unreadable for the run only, where this system lets a test have a mount of its own.
  const std::string gtk = "/usr/lib/x86_64-linux-gnu/libgtk-3.so.0";
  const bool ownMounts = fs::exists(gtk) && kvtest::run("unshare -m true").exitCode == 0;
  const struct {
    const char* name;
    std::string wrapper;
    const char* said;
  } cases[] = {
      {"a display nobody answers on", "", "No window (the display cannot be reached); going on without one."},
      {"no GTK on this machine",
       "unshare -m sh -c 'mount --bind /dev/null " + gtk + " && exec \"$0\" \"$@\"'", "libgtk-3.so.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.wrapper.empty() && !ownMounts) continue;
    const fs::path dir = tmp / c.name;
    fs::create_directories(dir);
    const auto r = runStub(tmp / "setup.exe", "", dir, "DISPLAY=:9999", c.wrapper);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(kvtest::readFile(dir / "out" / "a.txt"), "a");
  }
}

TEST(SfxStub, AFolderWithTooLittleRoomIsRefusedBeforeAnythingIsWritten) {
  if (kvtest::run("unshare -m true").exitCode != 0) GTEST_SKIP() << "no mounts of a test's own here";
  kvtest::TempDir tmp;
  kvtest::writeFile(tmp / "src" / "random.bin", randomBytes(200 * 1024, 9));
  auto host = storedZip();
  ASSERT_EQ(addTree(*host->Zip, tmp / "src", tmp / "setup.exe"), "");
  fs::create_directories(tmp / "small");
  // A 64 kB file system for the run only.
  const auto r = runStub(tmp / "setup.exe", "-d small", tmp.path(), {},
                         "unshare -m sh -c 'mount -t tmpfs -o size=64k none small && exec \"$0\" \"$@\"'");
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("There is not enough room in small for the files: 204800 bytes are needed"),
            std::string::npos)
      << r.err;
}
