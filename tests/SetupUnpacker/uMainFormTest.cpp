// The form as its form file makes it, and the timer's run inside this process on a virtual
// clock: the stored settings the extraction relies on, the target's one trailing
// separator, the error dialog's kind, and an exception that escapes the work.
#include "uMainForm.h"
#include "TestSupport.h"

#include "HeadlessApplication.h"
#include "Platform/Dialogs/ScriptedDialogs.h"
#include "Platform/Rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>

namespace {

namespace fs = std::filesystem;
using namespace kv::platform;
using namespace uMainForm;
using ZavOzeriz::ExtrOpts;
using ZavOzeriz::ExtrOptsEnum;

// Scripted dialogs that also keep the kind and buttons of each message dialog.
class RecordingDialogs : public ScriptedDialogs {
public:
  using ScriptedDialogs::ScriptedDialogs;
  TModalResult messageDialog(const MessageDialogRequest& request) override {
    requests.push_back(request);
    return ScriptedDialogs::messageDialog(request);
  }
  std::vector<MessageDialogRequest> requests;
};

class uMainFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    ResetApplication();
    previousClock_ = setClock(std::make_unique<VirtualClock>(45000.0, 0));
    auto d = std::make_unique<RecordingDialogs>([](const std::string& why) { ADD_FAILURE() << why; });
    dialog = d.get();
    previousDialogs_ = setDialogs(std::move(d));
    Application().SetPresenter(std::make_unique<HeadlessPresenter>());
    Application().Initialize();
    RegisterFormResource("TForm1", Form1Text, Form1FileName);
  }
  void TearDown() override {
    Form1 = nullptr;
    ResetApplication();
    setDialogs(std::move(previousDialogs_));
    setClock(std::move(previousClock_));
    SetCommandLine(0, nullptr);
  }
  void commandLine(std::vector<std::string> args) {
    args.insert(args.begin(), "KVSetupKit");
    std::vector<const char*> argv;
    for (const auto& a : args)
      argv.push_back(a.c_str());
    SetCommandLine(static_cast<int>(argv.size()), argv.data());
  }
  // Creates the form and runs the message loop until the program would end.
  void runProgram(const std::function<void()>& beforeRun = {}) {
    Application().CreateForm(Form1);
    ASSERT_NE(Form1, nullptr);
    if (beforeRun) beforeRun();
    Application().Run();
    EXPECT_TRUE(Application().Terminated());
  }
  void makeArchive(const fs::path& archive) {
    kvtest::writeFile(work / "src" / "sub" / "one.txt", "one\n");
    const auto r = kvtest::run("cd " + kvtest::shellQuote((work / "src").string()) +
                               " && zip -q -r -P Brotkorb719 " + kvtest::shellQuote(archive.string()) + " .");
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  kvtest::TempDir work{"kvsetupform"};
  RecordingDialogs* dialog = nullptr;

private:
  std::unique_ptr<Clock> previousClock_;
  std::unique_ptr<DialogService> previousDialogs_;
};

TEST_F(uMainFormTest, TheFormFileMakesTheOffScreenFormWithItsComponentAndTimer) {
  commandLine({"x"});
  Application().CreateForm(Form1);
  ASSERT_NE(Form1, nullptr);
  EXPECT_EQ(Form1->Caption(), "Form1");
  EXPECT_EQ(Form1->Font().Name(), "MS Sans Serif");
  EXPECT_EQ(Form1->Font().Height(), -11);
  // FormCreate has moved it off screen, over the stored 768 x 520 at 345, 165.
  EXPECT_EQ(Form1->Left(), -100);
  EXPECT_EQ(Form1->Top(), -100);
  EXPECT_EQ(Form1->Width(), 80);
  EXPECT_EQ(Form1->Height(), 80);

  ASSERT_NE(Form1->Zip, nullptr);
  EXPECT_EQ(Form1->Zip->GetExtrOptions(),
            (ExtrOpts{ExtrOptsEnum::ExtrDirNames, ExtrOptsEnum::ExtrOverWrite}));
  EXPECT_EQ(Form1->Zip->GetPassword(), "Brotkorb719");
  EXPECT_EQ(Form1->Zip->GetSFXPath(), "ZavSFX.bin");
  EXPECT_TRUE(Form1->Zip->GetAddOptions().Empty());
  EXPECT_FALSE(Form1->Zip->GetUnattended());
  EXPECT_FALSE(Form1->Zip->OnMessage.Assigned());
  EXPECT_FALSE(Form1->Zip->OnProgress.Assigned());
  EXPECT_EQ(Form1->Zip->GetPasswordReqCount(), 1u);

  ASSERT_NE(Form1->Timer1, nullptr);
  EXPECT_FALSE(Form1->Timer1->Enabled());
  EXPECT_EQ(Form1->Timer1->Interval(), 1000u);
  EXPECT_EQ(Form1->Timer1->OnTimer.HandlerName(), "Timer1Timer");
  EXPECT_EQ(Form1->OnShow.HandlerName(), "FormShow");
  EXPECT_EQ(Form1->Outcome(), TSetupOutcome::soNotRun);
}

TEST_F(uMainFormTest, TheWorkRunsOnceASecondAfterTheFormIsShown) {
  commandLine({"x", "a.zip"});
  dialog->expectMessageDialog(GeneralErrorText, mrOk);
  uint64_t firedAt = 0;
  runProgram([&] {
    auto original = Form1->Timer1->OnTimer;
    Form1->Timer1->OnTimer.Bind([&firedAt, original](TObject* Sender) {
      firedAt = GetTickCount();
      original(Sender);
    });
  });
  EXPECT_EQ(firedAt, 1000u);
  EXPECT_FALSE(Form1->Timer1->Enabled());
  EXPECT_TRUE(dialog->done());
  // One error dialog with one OK button.
  ASSERT_EQ(dialog->requests.size(), 1u);
  EXPECT_EQ(dialog->requests[0].type, TMsgDlgType::mtError);
  EXPECT_EQ(dialog->requests[0].buttons, TMsgDlgButtons{TMsgDlgBtn::mbOK});
  EXPECT_EQ(Form1->Outcome(), TSetupOutcome::soWrongArguments);
  EXPECT_EQ(Form1->ExitCode(), ExitWrongArguments);
}

TEST_F(uMainFormTest, TheTargetGetsExactlyOneTrailingSeparator) {
  const fs::path archive = work / "setup.zip";
  makeArchive(archive);
  const std::string base = (work / "target").string();
  const std::vector<std::pair<std::string, std::string>> rows = {
      {base, base + "/"},
      {base + "/", base + "/"},
      {base + "//", base + "//"}, // only the missing one is added, nothing taken away
  };
  for (const auto& [given, expected] : rows) {
    SCOPED_TRACE(given);
    fs::remove_all(base);
    commandLine({"installer", archive.string(), given});
    runProgram();
    EXPECT_EQ(Form1->Installer(), "installer");
    EXPECT_EQ(Form1->ArchiveName(), archive.string());
    EXPECT_EQ(Form1->TargetDir(), expected);
    EXPECT_EQ(Form1->Zip->GetExtrBaseDir(), expected);
    // Every specification was consumed by the extract.
    EXPECT_EQ(Form1->Zip->GetFSpecArgs().Count(), 0);
    EXPECT_EQ(Form1->Outcome(), TSetupOutcome::soExtracted);
    EXPECT_EQ(Form1->ExitCode(), ExitExtracted);
    EXPECT_EQ(kvtest::readFile(fs::path(base) / "sub" / "one.txt"), "one\n");
    Form1 = nullptr;
    kvtest::startHeadlessApplication();
  }
}

// What the component never lets through, memory running out above all, may still come from
// a handler; it is shown in the standard box and the program ends as failed.
TEST_F(uMainFormTest, AnExceptionEscapingTheWorkIsReportedAndTheProgramStillEnds) {
  struct Row {
    const char* what;
    std::function<void()> raise;
    std::string shown;
  };
  const std::vector<Row> rows = {
      {"memory", [] { throw std::bad_alloc(); }, "std::bad_alloc."},
      {"class library", [] { throw Exception("Stream read error"); }, "Stream read error."},
      {"anything else", [] { throw 42; }, "The installation stopped on an unexpected failure."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    commandLine({"x", (work / "none.zip").string(), (work / "target").string()});
    dialog->expectExceptionBox(row.shown);
    runProgram([&] { Form1->Zip->OnDirUpdate.Bind([&](TObject*) { row.raise(); }); });
    EXPECT_TRUE(dialog->done());
    EXPECT_EQ(Form1->Outcome(), TSetupOutcome::soFailed);
    EXPECT_NE(Form1->ExitCode(), 0);
    EXPECT_FALSE(Form1->Timer1->Enabled());
    Form1 = nullptr;
    kvtest::startHeadlessApplication();
  }
}

} // namespace
