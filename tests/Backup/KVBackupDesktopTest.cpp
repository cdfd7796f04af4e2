// The program as an operator uses it: KVBackup without arguments on a (virtual) desktop, with
// remembered names prepared by kvreg and a sample database; xdotool clicks the tabs and the
// start button and closes the window, screenshots show what is on the screen.
#include "uMainForm.h"

#include "BackupTestSupport.h"
#include "DesktopSupport.h"
#include "Platform/Dialogs/ScriptedDialogs.h"
#include "Platform/Ui/GtkPresenter.h"
#include "Platform/Ui/RasterSurface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

namespace {

using namespace backuptest;
using namespace desktoptest;

const char* const kTitle = "Korvalis database backup/restore";

// Places on the form's client area (the GTK window shows exactly that, 482 x 260): the pages'
// client area starts at (4, 24), so the edit at (8, 24) of its page is at (12, 48), the start
// button at (12, 88), the panel's bar at (20, 128) and its memo at (20, 152). The tabs are the
// row above the pages.
struct Area {
  int x0, y0, x1, y1;
};
constexpr Area kBackupTab{2, 2, 55, 20}, kRestoreTab{57, 2, 110, 20};
constexpr Area kEditText{16, 51, 360, 66};
constexpr Area kStartButton{12, 88, 149, 113}, kBrowseButton{372, 46, 461, 71};
constexpr Area kBar{21, 130, 460, 142};
constexpr Area kMemo{22, 154, 440, 220};
constexpr Area kEmptyPage{160, 120, 470, 250};

constexpr uint32_t face = 0xC0C0C0, white = 0xFFFFFF, navy = 0x000080;
bool dark(uint32_t c) { return ((c >> 16) & 0xFF) < 0x40 && ((c >> 8) & 0xFF) < 0x40 && (c & 0xFF) < 0x40; }

class KVBackupDesktop : public DesktopFixture {
protected:
  void SetUp() override {
    DesktopFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    makeSampleDatabase(db());
    writeAliases(config(), db().string());
    fs::create_directories(out());
    kvreg("set '\\Software\\Dolvane\\Korvalis30\\BR' BackupFile " + kvtest::shellQuote(backupName()));
    kvreg("set '\\Software\\Dolvane\\Korvalis30\\BR' RestoreFile " +
          kvtest::shellQuote((out() / "Old.zip").string()));
  }

  fs::path db() const { return t / "db"; }
  fs::path out() const { return t / "out"; }
  fs::path config() const { return t / "config"; }
  std::string backupName() const { return (out() / "KorvBak.zip").string(); }
  kvtest::CommandResult kvreg(const std::string& args) {
    auto r = kvtest::run("KV_CONFIG_DIR=" + kvtest::shellQuote(config().string()) + " " +
                         kvtest::shellQuote((kvtest::buildDir() / "bin" / "kvreg").string()) + " " + args);
    EXPECT_EQ(r.exitCode, 0) << args << r.err;
    return r;
  }

  // Starts the program and finds its window; its client area's place on the screen.
  Geometry startForm() {
    startProgram({(kvtest::buildDir() / "bin" / "KVBackup").string()}, config());
    window = findWindow(kTitle);
    if (window.empty()) return Geometry{};
    return geometry(window);
  }
  int countIn(const Screenshot& s, const Area& a, const std::function<bool(uint32_t)>& is) const {
    return s.count(at.x + a.x0, at.y + a.y0, at.x + a.x1, at.y + a.y1, is);
  }
  std::vector<uint32_t> pixelsOf(const Screenshot& s, const Area& a) const {
    return s.pixels(at.x + a.x0, at.y + a.y0, at.x + a.x1, at.y + a.y1);
  }
  void click(const Area& a) { clickAt(at.x + (a.x0 + a.x1) / 2, at.y + (a.y0 + a.y1) / 2); }
  // Takes screenshots until `done` holds for one (the window repaints in its own time).
  Screenshot screenUntil(const std::function<bool(const Screenshot&)>& done) {
    Screenshot shot;
    waitUntil(
        [&] {
          shot = screenshot();
          return done(shot);
        },
        15s);
    return shot;
  }

  std::string registryValue(const std::string& name) {
    std::string v = kvreg("get '\\Software\\Dolvane\\Korvalis30\\BR' " + name).out;
    while (!v.empty() && (v.back() == '\n' || v.back() == '\r'))
      v.pop_back();
    return v;
  }
  // Waits for the desktop's chooser titled `title`, answers it with the keys, and waits for it to go.
  void answerChooser(const std::string& title, const std::vector<std::string>& keys) {
    ASSERT_FALSE(findWindow(title).empty()) << "no chooser \"" << title << "\":\n" << output();
    std::string shot = "chooser-" + title;
    std::replace(shot.begin(), shot.end(), ' ', '-');
    ASSERT_TRUE(waitUntil([&] { return kvtest::desktop::chooserShowsSelection(screenshot(shot)); }, 15s))
        << "the chooser shows nothing selected";
    for (const std::string& k : keys)
      x(k);
    EXPECT_TRUE(waitUntil([&] { return !windowExists(title); }, 15s)) << "the chooser stayed";
  }

  kvtest::TempDir t{"kvbackupdesk"};
  std::string window;
  Geometry at;
};

TEST_F(KVBackupDesktop, TheFormShowsItsPagesAndABackupStartedWithItsButton) {
  at = startForm();
  ASSERT_TRUE(at.valid) << "the window did not appear:\n" << output();
  // The client area as stored, centred on the 1024 x 768 screen (the frame is the desktop's).
  EXPECT_EQ(at.width, 482);
  EXPECT_EQ(at.height, 260);
  EXPECT_NEAR(at.x + at.width / 2, 512, 10);
  EXPECT_NEAR(at.y + at.height / 2, 384, 20);

  // The Backup page: both tab captions, the remembered name in the edit, no log panel yet.
  Screenshot shot = screenUntil([&](const Screenshot& s) { return countIn(s, kEditText, dark) > 100; });
  EXPECT_EQ(shot.at(5, 5), 0x000000u) << "the screen outside the window";
  EXPECT_GT(countIn(shot, kBackupTab, dark), 30);
  EXPECT_GT(countIn(shot, kRestoreTab, dark), 30);
  EXPECT_GT(countIn(shot, kEditText, dark), 100);
  EXPECT_GT(countIn(shot, kEditText, [](uint32_t c) { return c == white; }), 3000);
  EXPECT_GT(countIn(shot, kStartButton, dark), 50);
  EXPECT_EQ(countIn(shot, kEmptyPage, [](uint32_t c) { return c != face; }), 0);
  const auto backupEdit = pixelsOf(shot, kEditText), backupButton = pixelsOf(shot, kStartButton);

  // The Restore page: its own remembered name and button; then back.
  click(kRestoreTab);
  shot = screenUntil([&](const Screenshot& s) { return pixelsOf(s, kEditText) != backupEdit; });
  EXPECT_NE(pixelsOf(shot, kEditText), backupEdit) << "the Restore page did not come";
  EXPECT_GT(countIn(shot, kEditText, dark), 50);
  EXPECT_NE(pixelsOf(shot, kStartButton), backupButton);
  click(kBackupTab);
  shot = screenUntil([&](const Screenshot& s) { return pixelsOf(s, kEditText) == backupEdit; });
  EXPECT_EQ(pixelsOf(shot, kStartButton), backupButton) << "the Backup page did not come back";

  // "Start backup": the archive is written, the panel shows a full bar and the log.
  click(kStartButton);
  const fs::path archive = out() / "KorvBak001.zip";
  ASSERT_TRUE(waitUntil([&] { return fs::exists(archive); }, 30s)) << output();
  // The edit takes input again a moment after the bar and the log are drawn.
  shot = screenUntil([&](const Screenshot& s) {
    return countIn(s, kBar, [](uint32_t c) { return c == navy; }) > 2000 && countIn(s, kMemo, dark) > 300 &&
           pixelsOf(s, kEditText) == backupEdit;
  });
  screenshot("after-backup");
  EXPECT_GT(countIn(shot, kBar, [](uint32_t c) { return c == navy; }), 2000);
  EXPECT_GT(countIn(shot, kMemo, dark), 300);
  EXPECT_GT(countIn(shot, kMemo, [](uint32_t c) { return c == white; }), 5000);
  // The edit and the buttons take input again: the name is black, not grey.
  EXPECT_EQ(pixelsOf(shot, kEditText), backupEdit);

  // The desktop closes the window; the program ends by itself.
  x("xdotool windowclose " + window);
  const auto code = program_.wait(15s);
  ASSERT_TRUE(code.has_value()) << "the program did not end:\n" << output();
  EXPECT_EQ(*code, 0) << output();
  EXPECT_FALSE(windowExists(kTitle));

  EXPECT_EQ(kvtest::run("unzip -tq " + kvtest::shellQuote(archive.string())).exitCode, 0);
  std::vector<std::string> names;
  for (const auto& [name, bytes] : peerMembers(archive)) {
    names.push_back(name);
    EXPECT_EQ(bytes, kvtest::readFile(db() / name)) << name;
  }
  EXPECT_EQ(names, filesIn(db()));
}

// The Browse buttons open the desktop's file chooser in the folder of the page's file, showing
// the form's file types; what is chosen there goes into the page's edit, and the page's action
// takes it from there.
TEST_F(KVBackupDesktop, BrowseChoosesTheFileWithTheDesktopsFileChooser) {
  kvtest::writeFile(out() / "A-notes.txt", ""); // listed first of all, but of another type
  at = startForm();
  ASSERT_TRUE(at.valid) << "the window did not appear:\n" << output();
  Screenshot shot = screenUntil([&](const Screenshot& s) { return countIn(s, kEditText, dark) > 100; });

  // Backup: a name typed in the save chooser gets the default extension "zip".
  click(kBrowseButton);
  answerChooser("Save As", {"xdotool key ctrl+a", "xdotool type --delay 20 Nightly", "xdotool key Return"});
  const auto nightly = pixelsOf(
      screenUntil([&](const Screenshot& s) { return pixelsOf(s, kEditText) != pixelsOf(shot, kEditText); }),
      kEditText);
  click(kStartButton);
  const fs::path archive = out() / "Nightly001.zip";
  ASSERT_TRUE(waitUntil([&] { return fs::exists(archive); }, 30s)) << output();
  EXPECT_TRUE(waitUntil([&] { return registryValue("BackupFile") == (out() / "Nightly.zip").string(); }, 15s))
      << registryValue("BackupFile");
  // The backup has ended when its page takes input again: the name black, not grey.
  screenUntil([&](const Screenshot& s) { return pixelsOf(s, kEditText) == nightly; });

  // Restore: the open chooser lists the zip files of the remembered name's folder; the first
  // of them is the archive just written (without the filter it would be the notes).
  click(kRestoreTab);
  shot = screenUntil([&](const Screenshot& s) {
    return pixelsOf(s, kEditText) != nightly && countIn(s, kEditText, dark) > 50;
  });
  ASSERT_NE(pixelsOf(shot, kEditText), nightly) << "the Restore page did not come";
  click(kBrowseButton);
  answerChooser("Open", {"xdotool key Home", "xdotool key Return"});
  click(kStartButton);
  // The restore asks before it overwrites the database; declined, it remembers the archive.
  const std::string confirm = findWindow("Confirm");
  ASSERT_FALSE(confirm.empty()) << "no question:\n" << output();
  x("xdotool key Escape");
  EXPECT_TRUE(waitUntil([&] { return registryValue("RestoreFile") == archive.string(); }, 15s))
      << registryValue("RestoreFile");

  x("xdotool windowclose " + window);
  const auto code = program_.wait(15s);
  ASSERT_TRUE(code.has_value()) << output();
  EXPECT_EQ(*code, 0) << output();
}

// With a display the program's dialogs are windows on it that wait for the operator.
TEST_F(KVBackupDesktop, TheInstanceDialogIsAWindowThatWaitsForTheOperator) {
  ASSERT_TRUE(kvtest::haveTool("flock"));
  SharedLockHolder holder(db() / "CONFIG.DB");
  ASSERT_TRUE(holder.holding());
  at = startForm();
  ASSERT_TRUE(at.valid) << "the window did not appear:\n" << output();
  screenUntil([&](const Screenshot& s) { return countIn(s, kEditText, dark) > 100; });
  click(kStartButton);
  const std::string dialog = findWindow("Error");
  ASSERT_FALSE(dialog.empty()) << "no error dialog:\n" << output();
  const Geometry box = geometry(dialog);
  // The dialog waits: no answer comes by itself, and the backup's inputs stay disabled.
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(windowExists("Error"));
  EXPECT_FALSE(program_.wait(0ms).has_value());
  const Screenshot shot = screenshot("dialog");
  EXPECT_GT(shot.count(box.x, box.y, box.x + box.width, box.y + box.height, dark), 200)
      << "the dialog's text";

  x("xdotool windowfocus --sync " + dialog);
  x("xdotool key Return");
  EXPECT_TRUE(waitUntil([&] { return !windowExists("Error"); }, 10s));
  EXPECT_TRUE(fs::is_empty(out()));

  x("xdotool windowclose " + window);
  const auto code = program_.wait(15s);
  ASSERT_TRUE(code.has_value()) << output();
  EXPECT_EQ(*code, 0) << output();
}

// The day the restore exists for: one table cut short, one empty. The Restore page offers the
// name the nightly job was given; the set written under it restores the database.
TEST_F(KVBackupDesktop, ADamagedDatabaseIsRestoredFromTheBackupUnderItsRememberedName) {
  const auto made =
      kvtest::run("env -u DISPLAY -u WAYLAND_DISPLAY KV_CONFIG_DIR=" + kvtest::shellQuote(config().string()) +
                  " " + kvtest::shellQuote((kvtest::buildDir() / "bin" / "KVBackup").string()) + " -BACKUP " +
                  kvtest::shellQuote(backupName()));
  ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
  ASSERT_EQ(filesIn(out()), std::vector<std::string>{"KorvBak001.zip"});
  kvreg("set '\\Software\\Dolvane\\Korvalis30\\BR' RestoreFile " + kvtest::shellQuote(backupName()));
  std::map<std::string, std::string> good;
  for (const auto& n : filesIn(db()))
    good[n] = kvtest::readFile(db() / n);
  kvtest::writeFile(db() / "LANG.DB", good["LANG.DB"].substr(0, good["LANG.DB"].size() / 2));
  kvtest::writeFile(db() / "LDEF.DB", "");

  at = startForm();
  ASSERT_TRUE(at.valid) << "the window did not appear:\n" << output();
  Screenshot shot = screenUntil([&](const Screenshot& s) { return countIn(s, kEditText, dark) > 100; });
  const auto backupButton = pixelsOf(shot, kStartButton);
  click(kRestoreTab);
  screenUntil([&](const Screenshot& s) { return pixelsOf(s, kStartButton) != backupButton; });
  click(kStartButton);
  const std::string confirm = findWindow("Confirm");
  ASSERT_FALSE(confirm.empty()) << "no question:\n" << output();
  x("xdotool windowfocus --sync " + confirm);
  x("xdotool key Return"); // Yes
  const auto restored = [&] {
    for (const auto& [n, bytes] : good)
      if (kvtest::readFile(db() / n) != bytes) return false;
    return true;
  };
  EXPECT_TRUE(waitUntil(restored, 30s)) << output();
  screenUntil([&](const Screenshot& s) { return countIn(s, kMemo, dark) > 300; });
  screenshot("after-restore");
  EXPECT_FALSE(windowExists("Error"));

  x("xdotool windowclose " + window);
  const auto code = program_.wait(15s);
  ASSERT_TRUE(code.has_value()) << output();
  EXPECT_EQ(*code, 0) << output();
  EXPECT_EQ(registryValue("RestoreFile"), backupName());
}

namespace pf = kv::platform;

// The form in this process, on the display, with its backup spread over parts of a slow
// fixed disk: the window must keep repainting while the parts are written, long after the
// engine is done. Its bar then follows the copying.
class MainFormOnDesktop : public KVBackupDesktop {
protected:
  void SetUp() override {
    KVBackupDesktop::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"DISPLAY", display_->name()},
                                                          {"GDK_BACKEND", "x11"},
                                                          {"GSETTINGS_BACKEND", "memory"},
                                                          {"NO_AT_BRIDGE", "1"},
                                                          {"KV_CONFIG_DIR", config().string()}})
      env_.push_back(std::make_unique<kvtest::ScopedEnv>(name, value));
    env_.push_back(std::make_unique<kvtest::ScopedEnv>("WAYLAND_DISPLAY"));
    pf::ResetApplication();
    pf::setDialogs(
        std::make_unique<pf::ScriptedDialogs>([](const std::string& why) { ADD_FAILURE() << why; }));
    ASSERT_TRUE(pf::UseDesktopIfAvailable());
    pf::Application().Initialize();
    pf::RegisterFormResource("TMainForm", uMainForm::MainFormText, "uMainForm.kfm");
    const char* argv[] = {"KVBackup"};
    pf::SetCommandLine(1, argv);
  }
  void TearDown() override {
    pf::ResetApplication();
    pf::setDialogs(nullptr);
    pf::SetSurfaceFactory(nullptr);
    KVBackupDesktop::TearDown();
  }
  std::vector<std::unique_ptr<kvtest::ScopedEnv>> env_;
};

TEST_F(MainFormOnDesktop, TheWindowRepaintsWhileASpannedBackupIsWritten) {
  // A megabyte that does not pack smaller: about a hundred pieces to copy.
  std::string noise(1 << 20, '\0');
  std::mt19937 random(7);
  for (char& c : noise)
    c = static_cast<char>(random());
  kvtest::writeFile(db() / "NOISE.BIN", noise);

  pf::Application().CreateForm(uMainForm::MainForm);
  uMainForm::TMainForm& f = *uMainForm::MainForm;
  f.Show();
  // The window comes on the screen while this process lets GTK run.
  ASSERT_TRUE(waitUntil(
      [&] {
        pf::Application().ProcessMessages();
        return windowExists(kTitle);
      },
      15s));
  window = findWindow(kTitle);
  ASSERT_FALSE(window.empty());
  at = geometry(window);
  ASSERT_TRUE(at.valid);
  f.Zip->SetMaxVolumeSize(300000);

  // The part of the bar drawn filled, along its middle row.
  auto filled = [&](const Screenshot& shot) {
    const int y = at.y + (kBar.y0 + kBar.y1) / 2;
    return double(
               shot.count(at.x + kBar.x0, y, at.x + kBar.x1, y + 1, [](uint32_t c) { return c == navy; })) /
           (kBar.x1 - kBar.x0);
  };
  struct Sample {
    double written, shown; // of the bar's maximum, and of its width on the screen
  };
  std::vector<Sample> samples;
  int pieces = 0;
  const auto formProgress = f.Zip->OnProgress;
  f.Zip->OnProgress.Bind(
      [&](pf::TObject* sender, ZavOzeriz::ProgressType type, const std::string& name, uint32_t size) {
        formProgress(sender, type, name, size);
        if (type != ZavOzeriz::ProgressType::ProgressUpdate || !f.Zip->SpanWriteBusy()) return;
        // A slow disk: every piece takes its time. Nothing here lets messages run.
        std::this_thread::sleep_for(15ms);
        if (++pieces % 12 != 0) return;
        samples.push_back({double(f.BackupProgress->Position()) / f.BackupProgress->Max(),
                           filled(screenshot("during" + std::to_string(samples.size())))});
      });
  f.Button2->Click();
  EXPECT_EQ(f.BackupMemo->Lines()[f.BackupMemo->Lines().Count() - 1], "Ok");
  EXPECT_TRUE(fs::exists(out() / "KorvBak004.zip"));

  // What a full bar shows, once the window has caught up.
  pf::Application().ProcessMessages();
  const double full = filled(screenUntil([&](const Screenshot& shot) { return filled(shot) > 0.5; }));
  ASSERT_GT(full, 0.5);
  ASSERT_GE(samples.size(), 5u);
  // On a busy machine the screen may show what the window drew a sample earlier, never older: a
  // frozen window shows the same bar all along.
  for (size_t i = 1; i < samples.size(); ++i) {
    const double shown = samples[i].shown / full;
    EXPECT_TRUE(std::abs(shown - samples[i].written) < 0.1 || std::abs(shown - samples[i - 1].written) < 0.1)
        << "the screen showed " << shown << " of the bar at " << samples[i].written;
  }
  const auto least = std::min_element(samples.begin(), samples.end(),
                                      [](const Sample& a, const Sample& b) { return a.shown < b.shown; });
  EXPECT_GT((samples.back().shown - least->shown) / full, 0.5);
}

} // namespace
