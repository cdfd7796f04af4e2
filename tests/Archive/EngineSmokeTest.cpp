// The real engines through the component: files packed by the zip engine run, listed back
// by the component's own directory reading, checked by a peer and unpacked again.
#include "EngineLinkTestSupport.h"

using namespace ZavOzeriz;
using namespace archivetest;
using namespace enginelinktest;

namespace {

std::vector<std::string> names(const TZavOzeriz& zip) {
  std::vector<std::string> out;
  for (int i = 0; i < zip.ZipContents().Count(); ++i)
    out.push_back(zip.ZipContents()[i].FileName);
  return out;
}

} // namespace

TEST(EngineSmoke, PackTwoFilesListThemBackAndUnpack) {
  kvtest::TempDir tmp;
  kvtest::writeFile(tmp / "in" / "CONFIG.DB", std::string(5000, 'c'));
  kvtest::writeFile(tmp / "in" / "kvbak", "01.02.2024 10:00:00\r\n");
  const std::string archive = (tmp / "KorvBak.zip").string();

  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(realEngineDir().string());
  Recorder rec(zip);
  std::vector<std::string> newFiles;
  zip.OnProgress.Bind([&](pf::TObject*, ProgressType t, const std::string& n, uint32_t) {
    if (t == ProgressType::NewFile) newFiles.push_back(n);
  });
  MessageLoopCounter loop;
  zip.GetFSpecArgs().Add((tmp / "in" / "CONFIG.DB").string());
  zip.GetFSpecArgs().Add((tmp / "in" / "kvbak").string());
  ASSERT_TRUE(zip.RunVizIvi(archive));
  EXPECT_EQ(zip.SuccessCount(), 2);
  EXPECT_EQ(zip.GetFSpecArgs().Count(), 0);
  EXPECT_FALSE(zip.VizIviLoaded());
  EXPECT_GT(loop.count, 0); // the program got its turn during the run
  EXPECT_FALSE(newFiles.empty());

  zip.SetZipFileName(archive);
  EXPECT_EQ(zip.ErrCode(), 0);
  EXPECT_EQ(names(zip), (std::vector<std::string>{"CONFIG.DB", "kvbak"}));

  ASSERT_TRUE(kvtest::haveTool("unzip")) << "unzip missing";
  const auto peer = kvtest::run("unzip -t " + kvtest::shellQuote(archive));
  EXPECT_EQ(peer.exitCode, 0) << peer.out << peer.err;

  zip.SetExtrBaseDir((tmp / "out").string());
  fs::create_directories(tmp / "out");
  ASSERT_TRUE(zip.RunRozIze(archive));
  EXPECT_EQ(zip.SuccessCount(), 2);
  EXPECT_EQ(kvtest::readFile(tmp / "out" / "CONFIG.DB"), std::string(5000, 'c'));
  EXPECT_EQ(kvtest::readFile(tmp / "out" / "kvbak"), "01.02.2024 10:00:00\r\n");
}

// A long password opens what it encrypted: both engines get it whole, and a peer agrees.
TEST(EngineSmoke, ALongPasswordOpensItsOwnArchive) {
  kvtest::TempDir tmp;
  kvtest::writeFile(tmp / "in" / "secret.txt", "the plans\n");
  const std::string archive = (tmp / "s.zip").string();
  const std::string password = std::string(90, 'x') + "-tail";

  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(realEngineDir().string());
  zip.SetPassword(password);
  zip.SetAddOptions({AddOptsEnum::AddEncrypt});
  Recorder rec(zip);
  zip.GetFSpecArgs().Add((tmp / "in" / "secret.txt").string());
  ASSERT_TRUE(zip.RunVizIvi(archive));
  ASSERT_EQ(zip.SuccessCount(), 1);
  zip.SetZipFileName(archive);
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_TRUE(zip.ZipContents()[0].Encrypted);

  // Python's zipfile opens it with the whole password and refuses the first 80 characters.
  const std::string py = kvtest::systemPython();
  const auto peer = kvtest::run(
      py + " -c " +
      kvtest::shellQuote("import sys, zipfile\n"
                         "z = zipfile.ZipFile(sys.argv[1])\n"
                         "print(z.read('secret.txt', pwd=sys.argv[2].encode()).decode(), end='')\n"
                         "try:\n"
                         "    z.read('secret.txt', pwd=sys.argv[2][:80].encode())\n"
                         "    print('cut opened')\n"
                         "except Exception:\n"
                         "    print('cut refused')\n") +
      " " + kvtest::shellQuote(archive) + " " + kvtest::shellQuote(password));
  EXPECT_EQ(peer.exitCode, 0) << peer.err;
  EXPECT_EQ(peer.out, "the plans\ncut refused\n");

  zip.SetExtrBaseDir((tmp / "out").string());
  fs::create_directories(tmp / "out");
  ASSERT_TRUE(zip.RunRozIze(archive));
  EXPECT_EQ(zip.SuccessCount(), 1);
  EXPECT_EQ(kvtest::readFile(tmp / "out" / "secret.txt"), "the plans\n");
}

// No password given: the engine asks through the callback, the prompt answers, and the
// extract side's prompt gets the same password through.
TEST(EngineSmoke, PasswordsAskedThroughThePrompts) {
  kvtest::TempDir tmp;
  kvtest::writeFile(tmp / "in" / "a.txt", "alpha\n");
  const std::string archive = (tmp / "p.zip").string();
  ScriptedDialogsScope dialogs;
  dialogs->expectPassword("Enter Password ", {pf::mrOk, "Sesame"});
  dialogs->expectPassword("Confirm Password ", {pf::mrOk, "Sesame"});
  dialogs->expectPassword("Enter Password ", {pf::mrOk, "Sesame"});
  TZavOzeriz zip(nullptr);
  zip.SetDLLDirectory(realEngineDir().string());
  zip.SetAddOptions({AddOptsEnum::AddEncrypt});
  zip.GetFSpecArgs().Add((tmp / "in" / "a.txt").string());
  ASSERT_TRUE(zip.RunVizIvi(archive));
  ASSERT_EQ(zip.SuccessCount(), 1);
  zip.SetExtrBaseDir((tmp / "out").string());
  fs::create_directories(tmp / "out");
  ASSERT_TRUE(zip.RunRozIze(archive));
  EXPECT_EQ(zip.SuccessCount(), 1);
  EXPECT_EQ(kvtest::readFile(tmp / "out" / "a.txt"), "alpha\n");
}
