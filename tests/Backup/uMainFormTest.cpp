// The main form in-process and headless: the stored form, the remembered names, the timer
// of the command line, both actions with their checks, and the progress handler.
#include "uMainForm.h"

#include "BackupTestSupport.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Dialogs/Dialogs.h"
#include "Platform/Registry/Registry.h"
#include "Platform/Ui/Compose.h"
#include "Platform/Ui/RasterSurface.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <unistd.h>

using namespace kv::platform;
using namespace uMainForm;
using namespace backuptest;

namespace {

// Records every dialog and answers it by a rule of the test (default: the safe answer).
class RecordingDialogs : public DialogService {
public:
  std::vector<std::string> shown;
  std::function<TModalResult(const MessageDialogRequest&)> onDialog;
  std::function<int(const MessageBoxRequest&)> onBox;
  std::function<std::optional<std::string>(const FileDialogRequest&)> onFile;
  std::vector<FileDialogRequest> fileRequests;

  int messageBox(const MessageBoxRequest& r) override {
    shown.push_back("box: " + r.text);
    return onBox ? onBox(r) : safeMessageBoxAnswer(r.flags);
  }
  TModalResult messageDialog(const MessageDialogRequest& r) override {
    shown.push_back("dialog: " + r.text);
    return onDialog ? onDialog(r) : safeMessageDialogAnswer(r.buttons);
  }
  PasswordReply password(const PasswordRequest& r) override {
    shown.push_back("password: " + r.prompt);
    return {};
  }
  std::optional<std::string> fileDialog(const FileDialogRequest& r) override {
    fileRequests.push_back(r);
    return onFile ? onFile(r) : std::nullopt;
  }
  void exceptionBox(const std::string&, const std::string& message) override {
    shown.push_back("exception: " + message);
  }
};

const char* const kInstance =
    "dialog: Probably there is an instance of Korvalis running. Please close all running Korvalis processes.";
const char* const kNotABackup = "dialog: This file is not an Korvalis backup file.";
const char* const kQuestion =
    "dialog: Do you really want to restore the database?\n\nALL DATA OF AN EXISTING DATABASE WILL BE LOST!";

std::vector<std::string> memoLines(TMemo* memo) {
  std::vector<std::string> out;
  for (int i = 0; i < memo->Lines().Count(); ++i)
    out.push_back(memo->Lines()[i]);
  return out;
}

class MainFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    ResetApplication();
    oldClock =
        setClock(std::make_unique<VirtualClock>(EncodeDate(2004, 12, 24) + EncodeTime(17, 5, 9, 0), 0));
    oldSettings = FormatSettings();
    TFormatSettings fs = oldSettings;
    fs.ShortDateFormat = "dd/mm/yyyy";
    fs.DateSeparator = '.';
    fs.LongTimeFormat = "hh:nn:ss";
    SetFormatSettings(fs);
    auto d = std::make_unique<RecordingDialogs>();
    dialogs = d.get();
    setDialogs(std::move(d));
    auto p = std::make_unique<HeadlessPresenter>();
    presenter = p.get();
    Application().SetPresenter(std::move(p));
    Application().Initialize();
    makeSampleDatabase(db());
    writeAliases(t.path(), db().string());
    fs::create_directories(t / "Docs");
    RegisterFormResource("TMainForm", MainFormText, "uMainForm.kfm");
    setArgs({"KVBackup"});
  }
  void TearDown() override {
    ResetApplication();
    setDialogs(nullptr);
    setClock(std::move(oldClock));
    SetFormatSettings(oldSettings);
    setProcessMessagesHook({});
  }

  fs::path db() const { return t / "db"; }
  void setArgs(std::vector<std::string> args) {
    argStore = std::move(args);
    argv.clear();
    for (auto& a : argStore)
      argv.push_back(a.c_str());
    SetCommandLine(static_cast<int>(argv.size()), argv.data());
  }
  TMainForm& showForm() {
    Application().CreateForm(MainForm);
    MainForm->Show();
    return *MainForm;
  }
  void remember(const std::string& name, const std::string& value) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(RegistryKey, true));
    reg.WriteString(name, value);
  }
  std::optional<std::string> remembered(const std::string& name) {
    TRegistry reg;
    if (!reg.OpenKey(RegistryKey, false) || !reg.ValueExists(name)) return std::nullopt;
    return reg.ReadString(name);
  }
  // A backup archive of the sample database under the given member names (bytes of the
  // database files named alike regardless of case; "kvbak" a marker).
  void archiveOf(const fs::path& archive, const std::vector<std::string>& names) {
    std::vector<std::pair<std::string, std::string>> members;
    for (const auto& n : names) {
      std::string bytes = "24.12.2004 17:05:09\r\n";
      for (const auto& f : filesIn(db()))
        if (SameText(f, fs::path(n).filename().string())) bytes = "restored " + kvtest::readFile(db() / f);
      members.emplace_back(n, bytes);
    }
    peerWriteArchive(archive, members);
  }

  kvtest::TempDir t{"kvmainform"};
  kvtest::ScopedEnv configDir{"KV_CONFIG_DIR", t.str()};
  kvtest::ScopedEnv documents{"XDG_DOCUMENTS_DIR", (t / "Docs").string()};
  RecordingDialogs* dialogs = nullptr;
  HeadlessPresenter* presenter = nullptr;
  std::unique_ptr<Clock> oldClock;
  TFormatSettings oldSettings;
  std::vector<std::string> argStore;
  std::vector<const char*> argv;
};

} // namespace

TEST_F(MainFormTest, TheStoredFormHoldsEveryComponentInItsPlace) {
  TMainForm& f = showForm();
  EXPECT_EQ(f.Caption(), "Korvalis database backup/restore");
  EXPECT_EQ(f.BorderStyle(), TBorderStyle::bsDialog);
  EXPECT_EQ(f.ClientWidth(), 482);
  EXPECT_EQ(f.ClientHeight(), 260);
  EXPECT_EQ(f.Position(), TPosition::poScreenCenter);
  EXPECT_EQ(f.Font().Name(), "MS Sans Serif");
  EXPECT_EQ(f.Font().Height(), -11);
  EXPECT_EQ(f.OnShow.HandlerName(), "FormShow");
  EXPECT_EQ(f.PageControl1->Align(), TAlign::alClient);
  EXPECT_EQ(f.PageControl1->ActivePage(), f.BackupSheet);
  EXPECT_EQ(f.BackupSheet->Caption(), "Backup");
  EXPECT_EQ(f.RestoreSheet->Caption(), "Restore");

  struct Place {
    TControl* control;
    TWinControl* parent;
    int left, top, width, height; // -1: not stored
    const char* caption;
  };
  // The two sheets are laid out alike; only their controls and the start button's caption differ.
  struct Sheet {
    TWinControl *page, *panel;
    TControl *label, *fileEdit, *browse, *start, *progress, *memo;
    const char* startCaption;
  };
  const Sheet sheets[] = {
      {f.BackupSheet, f.BackupPanel, f.Label1, f.BackupFileEdit, f.Button1, f.Button2, f.BackupProgress,
       f.BackupMemo, "Start backup"},
      {f.RestoreSheet, f.RestorePanel, f.Label2, f.RestoreFileEdit, f.Button3, f.Button4, f.RestoreProgress,
       f.RestoreMemo, "Start restore"},
  };
  for (const Sheet& sheet : sheets) {
    const Place places[] = {
        {sheet.label, sheet.page, 8, 8, -1, -1, "Name of backup file"},
        {sheet.fileEdit, sheet.page, 8, 24, 353, -1, ""},
        {sheet.browse, sheet.page, 368, 22, 89, 25, "Browse..."},
        {sheet.start, sheet.page, 8, 64, 137, 25, sheet.startCaption},
        {sheet.panel, sheet.page, 8, 96, 457, 129, nullptr},
        {sheet.progress, sheet.panel, 8, 8, 441, 16, nullptr},
        {sheet.memo, sheet.panel, 8, 32, 441, 89, nullptr},
    };
    for (const auto& p : places) {
      ASSERT_NE(p.control, nullptr);
      SCOPED_TRACE(p.control->Name());
      EXPECT_EQ(p.control->Parent(), p.parent);
      EXPECT_EQ(p.control->Left(), p.left);
      EXPECT_EQ(p.control->Top(), p.top);
      if (p.width >= 0) {
        EXPECT_EQ(p.control->Width(), p.width);
      }
      if (p.height >= 0) {
        EXPECT_EQ(p.control->Height(), p.height);
      }
      if (p.caption && *p.caption) {
        EXPECT_EQ(p.control->Caption(), p.caption);
      }
    }
  }
  EXPECT_EQ(f.Button1->OnClick.HandlerName(), "Button1Click");
  EXPECT_EQ(f.Button2->OnClick.HandlerName(), "Button2Click");
  EXPECT_EQ(f.Button3->OnClick.HandlerName(), "Button3Click");
  EXPECT_EQ(f.Button4->OnClick.HandlerName(), "Button4Click");
  for (TPanel* panel : {f.BackupPanel, f.RestorePanel}) {
    EXPECT_FALSE(panel->Visible());
    EXPECT_EQ(panel->BevelOuter(), TPanelBevel::bvLowered);
  }
  for (TProgressBar* bar : {f.BackupProgress, f.RestoreProgress}) {
    EXPECT_EQ(bar->Min(), 0);
    EXPECT_EQ(bar->Max(), 100);
  }
  for (TMemo* memo : {f.BackupMemo, f.RestoreMemo}) {
    EXPECT_TRUE(memo->ReadOnly());
    EXPECT_EQ(memo->ScrollBars(), TScrollStyle::ssBoth);
  }
  const char* filter = "Komprimierte ZIP-Datei|*.zip|Alle Dateien|*.*";
  EXPECT_EQ(f.SaveDialog1->DefaultExt(), "zip");
  EXPECT_EQ(f.SaveDialog1->Filter(), filter);
  EXPECT_EQ(f.SaveDialog1->Options(),
            (TOpenOptions{TOpenOption::ofOverwritePrompt, TOpenOption::ofHideReadOnly,
                          TOpenOption::ofNoChangeDir, TOpenOption::ofPathMustExist,
                          TOpenOption::ofNoReadOnlyReturn, TOpenOption::ofEnableSizing}));
  EXPECT_EQ(f.OpenDialog1->DefaultExt(), "zip");
  EXPECT_EQ(f.OpenDialog1->Filter(), filter);
  EXPECT_EQ(f.OpenDialog1->Options(),
            (TOpenOptions{TOpenOption::ofHideReadOnly, TOpenOption::ofNoChangeDir,
                          TOpenOption::ofFileMustExist, TOpenOption::ofEnableSizing}));
  EXPECT_FALSE(f.AutoTimer->Enabled());
  EXPECT_EQ(f.AutoTimer->Interval(), 1000u);
  EXPECT_EQ(f.AutoTimer->OnTimer.HandlerName(), "AutoTimerTimer");
  ASSERT_NE(f.Zip, nullptr);
  EXPECT_EQ(f.Zip->GetAddOptions(), ZavOzeriz::AddOpts{ZavOzeriz::AddOptsEnum::AddDiskSpan});
  EXPECT_EQ(f.Zip->GetExtrOptions(), ZavOzeriz::ExtrOpts{ZavOzeriz::ExtrOptsEnum::ExtrOverWrite});
  EXPECT_EQ(f.Zip->GetSFXPath(), "ZavSFX.bin");
  EXPECT_EQ(f.Zip->OnProgress.HandlerName(), "ZipProgress");
  EXPECT_EQ(f.Zip->OnMessage.HandlerName(), "ZipMessage");
}

TEST_F(MainFormTest, TheEditsShowTheRememberedNamesOrTheDocumentsFolder) {
  const std::string docs = (t / "Docs").string() + "/KorvBak.zip";
  struct Case {
    std::optional<std::string> backup, restore;
    std::string shownBackup, shownRestore;
  } cases[] = {
      {std::nullopt, std::nullopt, docs, docs},
      {"/srv/save/Db.zip", std::nullopt, "/srv/save/Db.zip", "/srv/save/Db.zip"},
      {"/srv/save/Db.zip", "/media/usb/Old.zip", "/srv/save/Db.zip", "/media/usb/Old.zip"},
      {std::nullopt, "/media/usb/Old.zip", docs, "/media/usb/Old.zip"},
  };
  for (const auto& c : cases) {
    ResetApplication();
    fs::remove_all(t / "registry");
    if (c.backup) remember("BackupFile", *c.backup);
    if (c.restore) remember("RestoreFile", *c.restore);
    TMainForm& f = showForm();
    EXPECT_EQ(f.BackupFileEdit->Text(), c.shownBackup);
    EXPECT_EQ(f.RestoreFileEdit->Text(), c.shownRestore);
    EXPECT_FALSE(f.AutoTimer->Enabled()); // no arguments
  }
}

TEST_F(MainFormTest, AnUnknownArgumentLetsTheTimerFireOnceAndChangesNothing) {
  setArgs({"KVBackup", "foo"});
  TMainForm& f = showForm();
  EXPECT_TRUE(f.AutoTimer->Enabled());
  Application().ProcessMessages();
  presenter->after(1500, [] {});
  Application().HandleMessage();
  Application().ProcessMessages();
  EXPECT_FALSE(f.AutoTimer->Enabled());
  EXPECT_FALSE(Application().Terminated());
  EXPECT_FALSE(f.BackupPanel->Visible());
  EXPECT_FALSE(fs::exists(db() / "kvbak"));
}

TEST_F(MainFormTest, TheBackupButtonRunsTheBackupWithItsControlsDisabledAndTheTablesLocked) {
  remember("BackupFile", (t / "KorvBak.zip").string());
  TMainForm& f = showForm();
  int calls = 0;
  bool disabled = true, locked = true;
  setProcessMessagesHook([&] {
    if (calls++ > 0) return; // looking once is enough, and keeps the run short
    disabled = !f.BackupFileEdit->Enabled() && !f.Button1->Enabled() && !f.Button2->Enabled();
    locked =
        kvtest::run("flock -n -s " + kvtest::shellQuote((db() / "CONFIG.DB").string()) + " true").exitCode !=
        0;
  });
  f.Button2->Click();
  EXPECT_GT(calls, 0);
  EXPECT_TRUE(disabled);
  EXPECT_TRUE(locked);
  EXPECT_TRUE(f.BackupFileEdit->Enabled() && f.Button1->Enabled() && f.Button2->Enabled());
  EXPECT_TRUE(f.BackupPanel->Visible());
  EXPECT_EQ(dialogs->shown, std::vector<std::string>{});
  // After the run nobody is locked out any more.
  EXPECT_EQ(
      kvtest::run("flock -n -x " + kvtest::shellQuote((db() / "CONFIG.DB").string()) + " true").exitCode, 0);

  const auto log = memoLines(f.BackupMemo);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 4),
            (std::vector<std::string>{"Try to exclusivly access the database...", "Ok", "Creating backup...",
                                      db().string()}));
  EXPECT_EQ(log.back(), "Ok");
  EXPECT_GT(f.BackupProgress->Max(), 0);
  EXPECT_EQ(f.BackupProgress->Position(), f.BackupProgress->Max());
  EXPECT_EQ(kvtest::readFile(db() / "kvbak"), "24.12.2004 17:05:09\r\n");
  EXPECT_EQ(remembered("BackupFile"), (t / "KorvBak.zip").string());
  EXPECT_EQ(f.LastOutcome(), TActionOutcome::aoDone);
  std::vector<std::string> names;
  for (const auto& m : peerMembers(t / "KorvBak001.zip"))
    names.push_back(m.first);
  EXPECT_EQ(names, filesIn(db()));
}

TEST_F(MainFormTest, RestoreAcceptsTheFiveNamesInAnyCaseAndAsksFirst) {
  const fs::path archive = t / "Mixed.zip";
  archiveOf(archive, {"kvbak", "config.db", "Modules.DB", "LANG.DB", "ldef.db", "NEW.TXT"});
  kvtest::writeFile(db() / "LOCAL.TXT", "stays");
  const auto before = kvtest::readFile(db() / "CONFIG.DB");

  // Answered No: nothing changes, but the name is remembered.
  remember("RestoreFile", archive.string());
  TMainForm& f = showForm();
  dialogs->onDialog = [](const MessageDialogRequest&) { return mrNo; };
  f.Button4->Click();
  EXPECT_EQ(dialogs->shown, std::vector<std::string>{kQuestion});
  EXPECT_EQ(memoLines(f.RestoreMemo),
            (std::vector<std::string>{"opening backup file.", "Ok",
                                      "Try to exclusivly access the database...", "Ok", "Restore canceld."}));
  EXPECT_EQ(kvtest::readFile(db() / "CONFIG.DB"), before);
  EXPECT_EQ(remembered("RestoreFile"), archive.string());
  fs::remove_all(t / "registry");

  // Answered Yes: the archive's files replace the database's, whatever the case of their names.
  dialogs->shown.clear();
  dialogs->onDialog = [](const MessageDialogRequest&) { return mrYes; };
  f.Button4->Click();
  EXPECT_EQ(dialogs->shown, std::vector<std::string>{kQuestion});
  const auto log = memoLines(f.RestoreMemo);
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[4], "Restoring database...");
  EXPECT_EQ(log.back(), "Ok");
  EXPECT_EQ(kvtest::readFile(db() / "CONFIG.DB"), "restored " + before);
  EXPECT_EQ(kvtest::readFile(db() / "kvbak"), "24.12.2004 17:05:09\r\n");
  EXPECT_EQ(kvtest::readFile(db() / "NEW.TXT"), "24.12.2004 17:05:09\r\n");
  EXPECT_EQ(kvtest::readFile(db() / "LOCAL.TXT"), "stays");
  EXPECT_EQ(filesIn(db()),
            (std::vector<std::string>{"CONFIG.DB", "KORV3.INI", "LANG.DB", "LANG.MB", "LDEF.DB", "LOCAL.TXT",
                                      "MEASURE.DB", "MODULES.DB", "NEW.TXT", "README.TXT", "kvbak"}));
  EXPECT_EQ(remembered("RestoreFile"), archive.string());
  // Nothing but files is left in the database directory, no staging folder.
  for (const auto& e : fs::directory_iterator(db()))
    EXPECT_TRUE(e.is_regular_file()) << e.path();
}

TEST_F(MainFormTest, RestoreRefusesWhatIsNoBackup) {
  kvtest::writeFile(t / "plain.zip", "this is no zip archive at all");
  archiveOf(t / "four.zip", {"kvbak", "CONFIG.DB", "MODULES.DB", "LANG.DB"});
  archiveOf(t / "copies.zip", {"CONFIG.DB", "config.db", "Config.Db", "MODULES.DB", "LANG.DB"});
  archiveOf(t / "dirs.zip",
            {"data/kvbak", "data/CONFIG.DB", "data/MODULES.DB", "data/LANG.DB", "data/LDEF.DB"});
  const auto before = filesIn(db());
  for (const std::string name : {"plain.zip", "four.zip", "copies.zip", "dirs.zip", "missing.zip"}) {
    SCOPED_TRACE(name);
    ResetApplication();
    dialogs->shown.clear();
    remember("RestoreFile", (t / name).string());
    TMainForm& f = showForm();
    f.Button4->Click();
    ASSERT_FALSE(dialogs->shown.empty());
    EXPECT_EQ(dialogs->shown.back(), kNotABackup);
    // An archive that cannot be read is reported by the component first.
    if (name == "plain.zip") EXPECT_GE(dialogs->shown.size(), 2u);
    EXPECT_EQ(memoLines(f.RestoreMemo), (std::vector<std::string>{"opening backup file.", "Error."}));
    EXPECT_EQ(filesIn(db()), before);
    EXPECT_EQ(f.LastOutcome(), TActionOutcome::aoFailed);
    EXPECT_TRUE(f.Button4->Enabled());
  }
  fs::remove_all(t / "registry");
  EXPECT_EQ(remembered("RestoreFile"), std::nullopt);
}

TEST_F(MainFormTest, ARestoreWhoseUnpackingFailsLeavesTheDatabaseAsItWas) {
  const fs::path archive = t / "broken.zip";
  archiveOf(archive, {"kvbak", "CONFIG.DB", "MODULES.DB", "LANG.DB", "LDEF.DB"});
  // Damage the last member's data so that its check sum no longer fits.
  std::string bytes = kvtest::readFile(archive);
  const auto at = bytes.rfind("LDEF.DB", bytes.rfind("PK\x01\x02"));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 7 + 2] ^= 0x55;
  kvtest::writeFile(archive, bytes);
  std::map<std::string, std::string> before;
  for (const auto& n : filesIn(db()))
    before[n] = kvtest::readFile(db() / n);

  remember("RestoreFile", archive.string());
  TMainForm& f = showForm();
  dialogs->onDialog = [](const MessageDialogRequest&) { return mrYes; };
  f.Button4->Click();
  EXPECT_EQ(memoLines(f.RestoreMemo).back(), "Error.");
  for (const auto& [n, content] : before)
    EXPECT_EQ(kvtest::readFile(db() / n), content) << n;
  // Nothing else, no staging folder either.
  EXPECT_EQ(std::distance(fs::directory_iterator(db()), fs::directory_iterator()), before.size());
  fs::remove_all(t / "registry");
  EXPECT_EQ(remembered("RestoreFile"), std::nullopt);
}

// A listing that only warns has read the whole directory: a good backup, under the name it was
// remembered by (its one part is KorvBak001.zip), restores with bytes after its end (as copy tools
// and tapes pad a file) or in front of it (offsets that no longer fit).
TEST_F(MainFormTest, ARestoreGoesOnAfterAListingThatOnlyWarned) {
  const std::string name = (t / "KorvBak.zip").string();
  const fs::path part = t / "KorvBak001.zip";
  remember("BackupFile", name);
  remember("RestoreFile", name);
  TMainForm& f = showForm();
  f.Button2->Click();
  ASSERT_EQ(f.LastOutcome(), TActionOutcome::aoDone);
  ASSERT_FALSE(fs::exists(name));
  const std::string written = kvtest::readFile(part);
  std::map<std::string, std::string> good;
  for (const auto& n : filesIn(db()))
    good[n] = kvtest::readFile(db() / n);

  struct Case {
    std::string archive, warning;
  } cases[] = {
      {written + std::string(600, '\0'), "box: Warning - Garbage at the end of the zipfile!"},
      {std::string(1000, 'S') + written, "box: Warning - Error in zip structure!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.warning);
    kvtest::writeFile(part, c.archive);
    kvtest::writeFile(db() / "CONFIG.DB", "spoilt");
    fs::remove(db() / "LDEF.DB");
    dialogs->shown.clear();
    dialogs->onDialog = [](const MessageDialogRequest&) { return mrYes; };
    f.Button4->Click();
    // Setting the name reads the directory, and the listing reads it again.
    EXPECT_EQ(dialogs->shown, (std::vector<std::string>{c.warning, c.warning, kQuestion}));
    EXPECT_EQ(memoLines(f.RestoreMemo).back(), "Ok");
    for (const auto& [n, content] : good)
      EXPECT_EQ(kvtest::readFile(db() / n), content) << n;
    EXPECT_EQ(remembered("RestoreFile"), name);
  }
}

// Running as another user for a while, as root can: rights are then checked as for that user.
class RunningAs {
public:
  RunningAs(uid_t uid, gid_t gid) {
    groups_.resize(static_cast<size_t>(getgroups(0, nullptr)));
    groups_.resize(static_cast<size_t>(getgroups(static_cast<int>(groups_.size()), groups_.data())));
    ok_ = setgroups(0, nullptr) == 0 && setegid(gid) == 0 && seteuid(uid) == 0;
  }
  ~RunningAs() {
    EXPECT_EQ(seteuid(0), 0);
    EXPECT_EQ(setegid(0), 0);
    EXPECT_EQ(setgroups(groups_.size(), groups_.data()), 0);
  }
  bool ok() const { return ok_; }

private:
  std::vector<gid_t> groups_;
  bool ok_ = false;
};

// The database directory may be writable while the folder above it is not, nor the
// temporary folder: the restore of a set of two parts needs no rights outside the directory.
// Root writes everywhere, so as root the restore runs as "nobody".
TEST_F(MainFormTest, ARestoreNeedsNoRightsAboveTheDatabaseDirectory) {
  const fs::path parent = t / "locked", dir = parent / "db";
  fs::create_directories(parent);
  makeSampleDatabase(dir);
  writeAliases(t.path(), dir.string());
  archiveOf(t / "ok.zip", {"kvbak", "CONFIG.DB", "MODULES.DB", "LANG.DB", "LDEF.DB"});
  {
    ZavOzeriz::TZavOzeriz split(nullptr);
    split.SetMaxVolumeSize(static_cast<int>(fs::file_size(t / "ok.zip") / 2 + 100));
    split.SetMinFreeVolumeSize(1);
    ASSERT_EQ(split.WriteSpan((t / "ok.zip").string(), (t / "set.zip").string()), 0);
    ASSERT_TRUE(fs::exists(t / "set002.zip") && !fs::exists(t / "set003.zip"));
  }
  const std::string config = kvtest::readFile(dir / "CONFIG.DB");
  const std::string restored = "restored " + kvtest::readFile(db() / "CONFIG.DB");
  // The name the set was written under: no file has it, its last part holds the directory.
  remember("RestoreFile", (t / "set.zip").string());
  TMainForm& f = showForm();
  dialogs->onDialog = [](const MessageDialogRequest&) { return mrYes; };

  const bool root = geteuid() == 0;
  const passwd* nobody = getpwnam("nobody");
  if (root) {
    ASSERT_NE(nobody, nullptr);
    // The engine from a folder that user can reach, wherever the build lies.
    fs::create_directories(t / "engines");
    fs::copy_file(kvtest::buildDir() / "lib" / "librozize.so", t / "engines" / "librozize.so");
    f.Zip->SetDLLDirectory((t / "engines").string());
    fs::permissions(t.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    ASSERT_EQ(kvtest::run("chown -R nobody " + kvtest::shellQuote(t.str()) + " && chown root " +
                          kvtest::shellQuote(parent.string()))
                  .exitCode,
              0);
  }
  fs::permissions(parent, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  {
    kvtest::ScopedEnv temp("TMPDIR", parent.string());
    std::unique_ptr<RunningAs> as;
    if (root) {
      as = std::make_unique<RunningAs>(nobody->pw_uid, nobody->pw_gid);
      ASSERT_TRUE(as->ok());
    }
    ASSERT_NE(faccessat(AT_FDCWD, parent.c_str(), W_OK, AT_EACCESS), 0); // really out of bounds
    f.Button4->Click();
  }
  fs::permissions(parent, fs::perms::owner_all);
  EXPECT_EQ(memoLines(f.RestoreMemo).back(), "Ok") << ::testing::PrintToString(dialogs->shown);
  EXPECT_TRUE(kvtest::readFile(dir / "CONFIG.DB") == restored);
  EXPECT_NE(config, restored);
  std::vector<std::string> above;
  for (const auto& e : fs::directory_iterator(parent))
    above.push_back(e.path().filename().string());
  EXPECT_EQ(above, std::vector<std::string>{"db"});
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_TRUE(e.is_regular_file()) << e.path();
}

// Only another program's lock stops a restore; a table that cannot be read (cut short, empty,
// under another password) is what the restore is for.
TEST_F(MainFormTest, OnlyATableHeldByAnotherProgramStopsARestore) {
  ASSERT_TRUE(kvtest::haveTool("flock"));
  archiveOf(t / "ok.zip", {"kvbak", "CONFIG.DB", "MODULES.DB", "LANG.DB", "LDEF.DB"});
  remember("RestoreFile", (t / "ok.zip").string());
  std::map<std::string, std::string> restored;
  for (const auto& n : {"CONFIG.DB", "MODULES.DB", "LANG.DB", "LDEF.DB"})
    restored[n] = "restored " + kvtest::readFile(db() / n);
  TMainForm& f = showForm();
  {
    SharedLockHolder holder(db() / "LANG.DB");
    ASSERT_TRUE(holder.holding());
    f.Button4->Click();
    EXPECT_EQ(dialogs->shown, std::vector<std::string>{kInstance});
    EXPECT_EQ(memoLines(f.RestoreMemo),
              (std::vector<std::string>{"opening backup file.", "Ok",
                                        "Try to exclusivly access the database...", "Error."}));
  }

  const std::string lang = kvtest::readFile(db() / "LANG.DB");
  kvtest::writeFile(db() / "LANG.DB", lang.substr(0, lang.size() / 2));
  kvtest::writeFile(db() / "LDEF.DB", "");
  CreateTable(db() / "MODULES.DB", {{"n", TFieldType::ftInteger, 0}}, {{std::int64_t{1}}}, "another");
  dialogs->shown.clear();
  dialogs->onDialog = [](const MessageDialogRequest&) { return mrYes; };
  f.Button4->Click();
  EXPECT_EQ(dialogs->shown, std::vector<std::string>{kQuestion});
  EXPECT_EQ(memoLines(f.RestoreMemo).back(), "Ok");
  EXPECT_EQ(f.UnreadableTables().size(), 3u) << ::testing::PrintToString(f.UnreadableTables());
  for (const auto& [n, content] : restored)
    EXPECT_EQ(kvtest::readFile(db() / n), content) << n;
}

TEST_F(MainFormTest, TheBrowseButtonsOfferTheEditsNameAndTakeTheChoice) {
  remember("BackupFile", "/srv/save/Db.zip");
  remember("RestoreFile", "/media/usb/Old.zip");
  TMainForm& f = showForm();
  dialogs->onFile = [](const FileDialogRequest& r) -> std::optional<std::string> {
    if (r.save) return std::string("/srv/other/New.zip");
    return std::nullopt;
  };
  f.Button1->Click();
  f.Button3->Click();
  ASSERT_EQ(dialogs->fileRequests.size(), 2u);
  EXPECT_TRUE(dialogs->fileRequests[0].save);
  EXPECT_EQ(dialogs->fileRequests[0].initialDir, "/srv/save/");
  EXPECT_EQ(dialogs->fileRequests[0].fileName, "Db.zip");
  EXPECT_FALSE(dialogs->fileRequests[1].save);
  EXPECT_EQ(dialogs->fileRequests[1].initialDir, "/media/usb/");
  EXPECT_EQ(dialogs->fileRequests[1].fileName, "Old.zip");
  EXPECT_EQ(f.BackupFileEdit->Text(), "/srv/other/New.zip");
  EXPECT_EQ(f.RestoreFileEdit->Text(), "/media/usb/Old.zip"); // cancelled
}

TEST_F(MainFormTest, TheProgressHandlerFollowsTheTotalAndTheUpdates) {
  TMainForm& f = showForm();
  // A restore of a missing file is refused at once; its page's bar stays the one in use.
  f.RestoreFileEdit->SetText((t / "none.zip").string());
  f.Button4->Click();
  struct Step {
    ProgressType type;
    uint32_t size;
    int position, max;
  };
  using P = ProgressType;
  // The runs follow each other: the last starts with the total of 0 the one before left.
  const std::vector<std::vector<Step>> runs = {
      {{P::TotalSize2Process, 1000, 1, 1000},
       {P::ProgressUpdate, 300, 300, 1000},
       {P::NewFile, 5, 300, 1000},
       {P::ProgressUpdate, 700, 1000, 1000},
       {P::EndOfBatch, 0, 1000, 1000},
       // The spreading phase of the same run brings its own total and starts from zero.
       {P::TotalSize2Process, 400, 1, 400},
       {P::ProgressUpdate, 100, 100, 400}},
      // So does the next action.
      {{P::TotalSize2Process, 600, 1, 600}, {P::ProgressUpdate, 150, 150, 600}},
      // A total of 0 sets the maximum to 0 and the bar never moves afterwards.
      {{P::TotalSize2Process, 0, 0, 0}, {P::ProgressUpdate, 500, 0, 0}},
      {{P::TotalFiles2Process, 9, 0, 100}, {P::ProgressUpdate, 40, 0, 100}},
  };
  for (const auto& run : runs) {
    f.RestoreProgress->SetMax(100);
    f.RestoreProgress->SetPosition(0);
    for (const auto& s : run) {
      f.ZipProgress(f.Zip, s.type, "x", s.size);
      EXPECT_EQ(f.RestoreProgress->Position(), s.position);
      EXPECT_EQ(f.RestoreProgress->Max(), s.max);
    }
  }
  EXPECT_EQ(f.BackupProgress->Max(), 100);
}

TEST(MainFormRules, TheMarkerLineFollowsTheRegionalFormats) {
  const TFormatSettings old = FormatSettings();
  struct Case {
    const char* date;
    char dateSep;
    const char* time;
    char timeSep;
    const char* line;
  } cases[] = {
      {"dd/mm/yyyy", '.', "hh:nn:ss", ':', "24.12.2004 17:05:09\r\n"},
      {"m/d/yyyy", '/', "h:nn:ss ampm", ':', "12/24/2004 5:05:09 PM\r\n"},
      {"yyyy/mm/dd", '-', "hh.nn.ss", '.', "2004-12-24 17.05.09\r\n"},
  };
  for (const auto& c : cases) {
    TFormatSettings fs = old;
    fs.ShortDateFormat = c.date;
    fs.DateSeparator = c.dateSep;
    fs.LongTimeFormat = c.time;
    fs.TimeSeparator = c.timeSep;
    SetFormatSettings(fs);
    EXPECT_EQ(TMainForm::MarkerLine(EncodeDate(2004, 12, 24) + EncodeTime(17, 5, 9, 0)), c.line);
  }
  SetFormatSettings(old);
}

TEST(MainFormRules, ABackupHoldsEachOfTheFiveNames) {
  struct Case {
    std::vector<std::string> names;
    bool backup;
  } cases[] = {
      {{"kvbak", "config.db", "Modules.DB", "LANG.DB", "ldef.db"}, true},
      {{"KVBAK", "CONFIG.DB", "MODULES.DB", "LANG.DB", "LDEF.DB", "MEASURE.DB", "README.TXT"}, true},
      {{"CONFIG.DB", "CONFIG.DB", "CONFIG.DB", "CONFIG.DB", "CONFIG.DB"}, false},
      {{"kvbak", "kvbak", "CONFIG.DB", "MODULES.DB", "LANG.DB"}, false},
      {{"data\\kvbak", "data\\CONFIG.DB", "data\\MODULES.DB", "data\\LANG.DB", "data\\LDEF.DB"}, false},
      {{"kvbak.txt", "CONFIG.DB", "MODULES.DB", "LANG.DB", "LDEF.DB"}, false},
      {{}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TMainForm::IsBackupArchive(c.names), c.backup) << ::testing::PrintToString(c.names);
}

namespace {

// The form with real pixels, driven by clicks at screen points as a user's mouse would.
class MainFormOnScreenTest : public MainFormTest {
protected:
  void SetUp() override {
    SetSurfaceFactory(&RasterSurface::make);
    MainFormTest::SetUp();
  }
  void TearDown() override {
    MainFormTest::TearDown();
    SetSurfaceFactory(nullptr);
  }
  static void clickAt(TControl* control, TPoint client) {
    HeadlessPresenter::click(control->ClientToScreen(client));
    Application().ProcessMessages();
  }
  static TPoint centre(const TRect& r) { return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2}; }
  static void clickCentre(TControl* control) {
    clickAt(control, {control->Width() / 2, control->Height() / 2});
  }
  // The part of the form's picture that a control covers, in the picture's coordinates.
  static TRect placeOf(TControl* control) {
    TRect window;
    GetWindowRect(MainForm->Handle(), &window);
    TRect own;
    if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
      GetWindowRect(windowed->Handle(), &own); // the frame too, not only the client area
      return TRect{own.Left - window.Left, own.Top - window.Top, own.Right - window.Left,
                   own.Bottom - window.Top};
    }
    const TPoint at = control->ClientToScreen({0, 0});
    return TRect{at.X - window.Left, at.Y - window.Top, at.X - window.Left + control->Width(),
                 at.Y - window.Top + control->Height()};
  }
  static int count(const Raster& picture, const TRect& r, const std::function<bool(TColor32)>& is) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (is(picture.pixel(x, y))) ++n;
    return n;
  }
  static bool dark(TColor32 c) {
    return (c & 0xFF) < 0x40 && ((c >> 8) & 0xFF) < 0x40 && ((c >> 16) & 0xFF) < 0x40;
  }
};

} // namespace

TEST_F(MainFormOnScreenTest, ThePagesShowTheRememberedNamesAndAClickedBackupFillsTheLogAndTheBar) {
  remember("BackupFile", (t / "KorvBak.zip").string());
  remember("RestoreFile", "/media/usb/Old.zip");
  TMainForm& f = showForm();
  Application().ProcessMessages();
  EXPECT_EQ(GetWindowText(f.Handle()), "Korvalis database backup/restore");
  Raster picture = ComposeWindow(f.Handle());
  ASSERT_EQ(picture.width(), f.Width());
  ASSERT_EQ(picture.height(), f.Height());
  constexpr TColor32 face = 0xFFC0C0C0, navy = 0xFF000080, white = 0xFFFFFFFF;
  auto tab = [&](int i) {
    const TRect r = f.PageControl1->TabRect(i);
    const TRect at = placeOf(f.PageControl1);
    return TRect{at.Left + r.Left, at.Top + r.Top, at.Left + r.Right, at.Top + r.Bottom};
  };
  // Both tabs carry their captions; the Backup page shows its edit with the remembered name
  // and no log panel yet.
  EXPECT_GT(count(picture, tab(0), dark), 20);
  EXPECT_GT(count(picture, tab(1), dark), 20);
  EXPECT_GT(count(picture, placeOf(f.BackupFileEdit), dark), 100);
  EXPECT_GT(count(picture, placeOf(f.Button2), dark), 50);
  EXPECT_EQ(count(picture, placeOf(f.BackupPanel), [&](TColor32 c) { return c != face; }), 0);
  auto pixelsOf = [&](const Raster& p, const TRect& r) {
    std::vector<TColor32> out;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        out.push_back(p.pixel(x, y));
    return out;
  };
  auto inside = [](TRect r) { return TRect{r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2}; };
  const TRect editPlace = inside(placeOf(f.BackupFileEdit)), buttonPlace = placeOf(f.Button2);
  const auto backupEdit = pixelsOf(picture, editPlace), backupButton = pixelsOf(picture, buttonPlace);

  // A click on the Restore tab brings its page with its own name and button, at the same places.
  clickAt(f.PageControl1, centre(f.PageControl1->TabRect(1)));
  EXPECT_EQ(f.PageControl1->ActivePage(), f.RestoreSheet);
  picture = ComposeWindow(f.Handle());
  EXPECT_EQ(inside(placeOf(f.RestoreFileEdit)), editPlace);
  EXPECT_GT(count(picture, editPlace, dark), 100);
  EXPECT_NE(pixelsOf(picture, editPlace), backupEdit);
  EXPECT_NE(pixelsOf(picture, buttonPlace), backupButton);
  clickAt(f.PageControl1, centre(f.PageControl1->TabRect(0)));
  EXPECT_EQ(f.PageControl1->ActivePage(), f.BackupSheet);
  EXPECT_EQ(pixelsOf(ComposeWindow(f.Handle()), editPlace), backupEdit);

  // The click on "Start backup": while it runs the page's inputs are disabled (the edit's
  // text drawn grey, not black), afterwards they take input again.
  bool disabledWhileRunning = true;
  int greyText = -1, blackText = -1;
  // The run lets pending messages through while the engine works, so the screen follows.
  ProcessMessagesHook pending;
  pending = setProcessMessagesHook([&] {
    if (pending) pending();
    disabledWhileRunning = disabledWhileRunning && !f.BackupFileEdit->Enabled() && !f.Button1->Enabled() &&
                           !f.Button2->Enabled();
    const Raster during = ComposeWindow(f.Handle());
    greyText = count(during, editPlace, [](TColor32 c) { return c == 0xFF808080; });
    blackText = count(during, editPlace, dark);
  });
  clickCentre(f.Button2);
  setProcessMessagesHook(pending);
  EXPECT_TRUE(disabledWhileRunning);
  EXPECT_GT(greyText, 50);
  EXPECT_EQ(blackText, 0);
  EXPECT_TRUE(f.BackupFileEdit->Enabled() && f.Button1->Enabled() && f.Button2->Enabled());
  EXPECT_TRUE(fs::exists(t / "KorvBak001.zip"));
  EXPECT_EQ(memoLines(f.BackupMemo).back(), "Ok");
  EXPECT_EQ(f.BackupProgress->Position(), f.BackupProgress->Max());

  // The panel is there with a full bar and the log's last lines.
  Application().ProcessMessages();
  picture = ComposeWindow(f.Handle());
  EXPECT_GT(count(picture, editPlace, dark), 100);
  TRect bar = placeOf(f.BackupProgress);
  const int barArea = (bar.Right - bar.Left) * (bar.Bottom - bar.Top);
  EXPECT_GT(count(picture, bar, [&](TColor32 c) { return c == navy; }), barArea / 2);
  const TRect memo = placeOf(f.BackupMemo);
  EXPECT_GT(count(picture, memo, [&](TColor32 c) { return c == white; }), 1000);
  EXPECT_GT(count(picture, memo, dark), 300);

  // The log is longer than the memo: its vertical bar's arrows are black and point outwards,
  // the tip of the upper one on top, of the lower one at the bottom.
  auto glyphRows = [&](const TRect& button) { // inside the button's two-pixel edge
    std::vector<int> rows;
    for (int y = button.Top + 2; y < button.Bottom - 2; ++y)
      if (int n = count(picture, {button.Left + 2, y, button.Right - 2, y + 1}, dark); n > 0)
        rows.push_back(n);
    return rows;
  };
  const int barLeft = memo.Right - 2 - 16;
  const auto up = glyphRows({barLeft, memo.Top + 2, memo.Right - 2, memo.Top + 18});
  EXPECT_EQ(up, (std::vector<int>{1, 3, 5, 7}));
  const int downTop = memo.Bottom - 2 - 16 - 16; // above the horizontal bar's row
  const auto down = glyphRows({barLeft, downTop, memo.Right - 2, downTop + 16});
  EXPECT_EQ(down, (std::vector<int>{7, 5, 3, 1}));
}

// The window takes input while the engine packs: the other page can be shown, but its start
// button must not take the component or the locked tables from the running backup.
TEST_F(MainFormOnScreenTest, ARestoreClickedDuringABackupIsNotStarted) {
  remember("BackupFile", (t / "KorvBak.zip").string());
  archiveOf(t / "ok.zip", {"kvbak", "CONFIG.DB", "MODULES.DB", "LANG.DB", "LDEF.DB"});
  remember("RestoreFile", (t / "ok.zip").string());
  TMainForm& f = showForm();
  Application().ProcessMessages();
  ProcessMessagesHook pending;
  bool clicked = false, lockedAfterwards = false;
  pending = setProcessMessagesHook([&] {
    if (pending) pending();
    if (clicked) return;
    clicked = true;
    HeadlessPresenter::click(f.PageControl1->ClientToScreen(centre(f.PageControl1->TabRect(1))));
    if (pending) pending();
    HeadlessPresenter::click(f.Button4->ClientToScreen({f.Button4->Width() / 2, f.Button4->Height() / 2}));
    if (pending) pending();
    lockedAfterwards =
        kvtest::run("flock -n -s " + kvtest::shellQuote((db() / "CONFIG.DB").string()) + " true").exitCode !=
        0;
  });
  clickCentre(f.Button2);
  setProcessMessagesHook(pending);
  ASSERT_TRUE(clicked);
  EXPECT_EQ(f.PageControl1->ActivePage(), f.RestoreSheet);
  EXPECT_TRUE(lockedAfterwards);
  EXPECT_EQ(dialogs->shown, std::vector<std::string>{});
  EXPECT_FALSE(f.RestorePanel->Visible());
  EXPECT_EQ(memoLines(f.RestoreMemo), std::vector<std::string>{});
  EXPECT_EQ(memoLines(f.BackupMemo).back(), "Ok");
  EXPECT_EQ(f.LastOutcome(), TActionOutcome::aoDone);
  EXPECT_EQ(remembered("BackupFile"), (t / "KorvBak.zip").string());
  EXPECT_EQ(peerMembers(t / "KorvBak001.zip").size(), filesIn(db()).size());
  // Once the backup is over the restore starts as usual (and is answered No here).
  f.Button4->Click();
  EXPECT_EQ(dialogs->shown, std::vector<std::string>{kQuestion});
}
