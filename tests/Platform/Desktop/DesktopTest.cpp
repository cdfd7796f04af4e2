// The desktop presenter on a real X server: a virtual one (Xvfb) that the test starts on a free
// display and stops. The demo program shows its form there; xdotool clicks and types like a
// user, screenshots show what is on the screen, and the program's own lines show what its
// controls received. Every wait has a time limit.
#include "DesktopTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using kvtest::desktop::Child;
using kvtest::desktop::Screenshot;
using kvtest::desktop::screenshotOf;
using kvtest::desktop::VirtualDisplay;
using kvtest::desktop::waitUntil;

bool haveLine(const std::string& output, const std::string& line) {
  std::istringstream in(output);
  for (std::string l; std::getline(in, l);)
    if (l == line) return true;
  return false;
}

class DesktopTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "import", "convert"})
      if (!kvtest::haveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    display_ = std::make_unique<VirtualDisplay>(dir_ / "xvfb.log", "800x600x24");
    ASSERT_TRUE(display_->ready()) << "Xvfb did not start: " << kvtest::readFile(dir_ / "xvfb.log");
  }

  // The demo's file choosers start in `folder`.
  void startDemo(const std::string& folder = "") {
    std::vector<std::string> argv{KV_DESKTOP_DEMO};
    if (!folder.empty()) argv.push_back(folder);
    ASSERT_TRUE(
        demo_.start(argv, kvtest::desktop::gtkProgramEnvironment(display_->name()), dir_ / "demo.out"));
  }
  // Waits for the demo's window, gives its type box the keyboard and returns the window's id.
  std::string showAndFocus() {
    const auto found = x("xdotool search --sync --name '^Korvalis desktop$'");
    if (found.exitCode != 0) return std::string();
    const std::string window = found.out.substr(0, found.out.find('\n'));
    x("xdotool mousemove 240 175 click 1");
    expectLine("focus box");
    x("xdotool windowfocus --sync " + window);
    return window;
  }
  std::string output() const { return kvtest::readFile(dir_ / "demo.out"); }
  // Waits for the program to print `line`.
  void expectLine(const std::string& line) {
    EXPECT_TRUE(waitUntil([&] { return haveLine(output(), line); }, 40s))
        << "no line \"" << line << "\" in:\n"
        << output();
  }
  kvtest::CommandResult x(const std::string& command) {
    return kvtest::run("DISPLAY=" + display_->name() + " timeout 20 " + command);
  }
  Screenshot screenshot() { return screenshotOf(display_->name(), dir_ / "screen.png"); }
  // Takes screenshots until the pixel has the colour (the window repaints on its own time).
  void expectPixel(int x, int y, uint32_t want, const std::string& what) {
    uint32_t got = 0;
    const bool ok = waitUntil(
        [&] {
          got = screenshot().at(x, y);
          return got == want;
        },
        10s);
    char text[64];
    std::snprintf(text, sizeof text, "%06X instead of %06X", got, want);
    EXPECT_TRUE(ok) << what << " at " << x << "," << y << ": " << text;
  }

  kvtest::TempDir dir_{"kvdesktop"};
  std::unique_ptr<VirtualDisplay> display_;
  Child demo_;
};

// The form is 340 x 240 at (40, 40) with a single frame: 3 pixels of frame and a caption of
// 19 pixels put its client area at (43, 62), 334 x 215. Without a window manager nothing is
// drawn around it. The swatch is at client (20, 20), 80 x 50; the second swatch at (120, 20);
// the type box at (20, 90), 200 x 30.
constexpr uint32_t red = 0xFF0000, blue = 0x0000FF, lime = 0x00FF00, yellow = 0xFFFF00, white = 0xFFFFFF;

TEST_F(DesktopTest, TheFormShowsOnTheDisplayAndRealInputReachesItsControls) {
  startDemo();
  const auto found = x("xdotool search --sync --name '^Korvalis desktop$'");
  ASSERT_EQ(found.exitCode, 0) << "the window did not appear:\n" << output();
  const std::string window = found.out.substr(0, found.out.find('\n'));
  expectLine("desktop");
  expectLine("shown");

  const auto geometry = x("xdotool getwindowgeometry " + window).out;
  EXPECT_NE(geometry.find("Position: 43,62"), std::string::npos) << geometry;
  EXPECT_NE(geometry.find("Geometry: 334x215"), std::string::npos) << geometry;

  expectPixel(103, 107, red, "the swatch");
  expectPixel(203, 107, lime, "the second swatch");
  expectPixel(200, 175, yellow, "the type box");
  expectPixel(300, 250, white, "the form");
  expectPixel(63, 82, red, "the swatch's top left pixel");
  expectPixel(62, 81, white, "the form next to it");

  // A left click at the swatch's centre (client 40, 25) turns it blue; a right click is seen
  // at the same place.
  x("xdotool mousemove 103 107 click 1");
  expectLine("mousedown swatch 0 40 25");
  expectLine("click swatch blue");
  expectPixel(103, 107, blue, "the clicked swatch");
  x("xdotool click 3");
  expectLine("mousedown swatch 1 40 25");

  // Two quick clicks are a double click.
  x("xdotool mousemove 203 107 click --repeat 2 --delay 80 1");
  expectLine("dblclick twice");

  // A click gives the type box the focus; typed keys arrive with their virtual-key codes and
  // characters, and the box shows the text.
  x("xdotool mousemove 240 175 click 1");
  expectLine("focus box");
  x("xdotool windowfocus --sync " + window);
  x("xdotool type --delay 40 'Hi z1!'");
  expectLine("text Hi z1!");
  for (const char* key : {"keydown 16", "keydown 72", "keydown 73", "keydown 32", "keydown 90", "keydown 49"})
    expectLine(key);
  int dark = 0;
  waitUntil(
      [&] {
        const Screenshot shot = screenshot();
        dark = 0;
        for (int y = 152; y < 182; ++y)
          for (int px = 63; px < 140; ++px)
            if ((shot.at(px, y) & 0xFFFFFF) < 0x404040) ++dark;
        return dark > 30;
      },
      10s);
  EXPECT_GT(dark, 30) << "no text in the type box";

  // The wheel goes to the focused control.
  x("xdotool click 4");
  expectLine("wheel 120");
  x("xdotool click 5");
  expectLine("wheel -120");

  // Escape closes the form, which ends the program.
  x("xdotool key Escape");
  expectLine("closed");
  EXPECT_EQ(demo_.wait(15s), 0) << output();
  expectLine("exit");
  EXPECT_FALSE(haveLine(output(), "timeout"));
  EXPECT_NE(x("xdotool search --name '^Korvalis desktop$'").exitCode, 0) << "the window stayed";
}

// Another client may destroy the window (a desktop's kill, xdotool windowclose) while the
// program is drawing on it and changing its cursor: for the program that is a close request,
// never a reason to die on the window system's errors.
TEST_F(DesktopTest, AWindowDestroyedWhileItIsDrawnOnClosesTheForm) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(demo_.start({KV_DESKTOP_DEMO, "--busy"},
                            kvtest::desktop::gtkProgramEnvironment(display_->name()), dir_ / "demo.out"));
    const auto found = x("xdotool search --sync --name '^Korvalis desktop$'");
    ASSERT_EQ(found.exitCode, 0) << "the window did not appear:\n" << output();
    expectLine("shown");
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * round));
    x("xdotool windowclose " + found.out.substr(0, found.out.find('\n')));
    EXPECT_EQ(demo_.wait(15s), 0) << output();
    EXPECT_TRUE(haveLine(output(), "closed")) << output();
  }
}

// The desktop's file chooser stands in for the open and save dialogs: a typed path is chosen,
// the save dialog adds the default extension, Escape cancels.
TEST_F(DesktopTest, TheDesktopsFileChooserAnswersTheFileDialogs) {
  kvtest::writeFile(dir_ / "a.zip", "");
  startDemo(dir_.str());
  ASSERT_FALSE(showAndFocus().empty()) << "the window did not appear:\n" << output();

  const struct {
    const char* what;
    const char* key;   // that opens the dialog
    const char* title; // of the chooser
    std::vector<std::string> input;
    std::string line; // the demo's answer
  } steps[] = {
      {"a typed path",
       "F2",
       "Open archive",
       {"key ctrl+l", "type --delay 20 " + kvtest::shellQuote((dir_ / "a.zip").string()), "key Return"},
       "chosen " + (dir_ / "a.zip").string()},
      {"the default extension",
       "F3",
       "Save archive",
       {"key ctrl+a", "type --delay 20 backup", "key Return"},
       "chosen " + (dir_ / "backup.zip").string()},
      {"cancelled", "F2", "Open archive", {"key Escape"}, "cancelled"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    x(std::string("xdotool key ") + step.key);
    ASSERT_EQ(x("xdotool search --sync --name '^" + std::string(step.title) + "$'").exitCode, 0) << output();
    ASSERT_TRUE(waitUntil([&] { return kvtest::desktop::chooserShowsSelection(screenshot()); }, 15s))
        << "the chooser shows nothing selected";
    for (const std::string& in : step.input)
      x("xdotool " + in);
    expectLine(step.line);
  }

  x("xdotool key Escape");
  EXPECT_EQ(demo_.wait(15s), 0) << output();
}

// The standard controls on the desktop: a page control with an edit and a button on each page,
// and a close button. The program says where its controls are ("at NAME X Y").
TEST_F(DesktopTest, StandardControlsWorkWithRealClicksAndTyping) {
  startDemo("--controls");
  const auto found = x("xdotool search --sync --name '^Korvalis controls$'");
  ASSERT_EQ(found.exitCode, 0) << "the window did not appear:\n" << output();
  const std::string window = found.out.substr(0, found.out.find('\n'));
  expectLine("at close 403 82"); // client (360, 20) of a form whose client area is at (43, 62)
  std::map<std::string, std::pair<int, int>> at;
  {
    std::istringstream in(output());
    for (std::string word, name; in >> word;)
      if (word == "at" && in >> name) in >> at[name].first >> at[name].second;
  }
  for (const char* name : {"tab0", "tab1", "edit", "button", "close"})
    ASSERT_TRUE(at.count(name)) << name;
  auto click = [&](const std::string& name) {
    x("xdotool mousemove " + std::to_string(at[name].first) + " " + std::to_string(at[name].second) +
      " click 1");
  };
  // The edit is 200 x 21 and the button 80 x 25, at the same places on both pages.
  const int editLeft = at["edit"].first - 100, editTop = at["edit"].second - 10;
  const int buttonLeft = at["button"].first - 40, buttonTop = at["button"].second - 12;
  auto buttonPixels = [&](const Screenshot& shot) {
    std::vector<uint32_t> pixels;
    for (int y = buttonTop; y < buttonTop + 25; ++y)
      for (int px = buttonLeft; px < buttonLeft + 80; ++px)
        pixels.push_back(shot.at(px, y));
    return pixels;
  };
  auto darkInEdit = [&](const Screenshot& shot) {
    int dark = 0;
    for (int y = editTop + 3; y < editTop + 18; ++y)
      for (int px = editLeft + 3; px < editLeft + 80; ++px)
        if (shot.at(px, y) < 0x404040) ++dark;
    return dark;
  };
  constexpr uint32_t face = 0xC0C0C0;
  expectPixel(430, 300, face, "the form");
  expectPixel(editLeft + 190, editTop + 10, white, "the empty edit");
  EXPECT_EQ(darkInEdit(screenshot()), 0);
  const std::vector<uint32_t> startButton = buttonPixels(screenshot());

  click("tab1");
  expectLine("page 1 Restore");
  click("edit");
  x("xdotool windowfocus --sync " + window);
  x("xdotool type --delay 30 old.zip");
  expectLine("edit Restore old.zip");
  click("button");
  expectLine("click Restore old.zip");
  Screenshot shot;
  EXPECT_TRUE(waitUntil(
      [&] {
        shot = screenshot();
        return darkInEdit(shot) > 20 && buttonPixels(shot) != startButton;
      },
      10s))
      << "the Restore page with its text is not on the screen";
  EXPECT_EQ(shot.at(editLeft + 190, editTop + 10), white) << "the edit's right end";

  click("tab0");
  expectLine("page 0 Backup");
  click("edit");
  x("xdotool type --delay 30 new.zip");
  expectLine("edit Backup new.zip");
  click("button");
  expectLine("click Start new.zip");
  EXPECT_TRUE(waitUntil([&] { return darkInEdit(screenshot()) > 20; }, 10s));

  click("close");
  expectLine("closed");
  EXPECT_EQ(demo_.wait(15s), 0) << output();
}

} // namespace

// Without a display the same program runs headless: nothing can happen and it ends at once.
TEST(DesktopHeadless, WithoutADisplayTheProgramRunsHeadless) {
  const struct {
    const char* why;
    std::string env;
  } cases[] = {
      {"no display variable", "env -u DISPLAY -u WAYLAND_DISPLAY"},
      {"a display nobody serves", "env -u WAYLAND_DISPLAY DISPLAY=:65000 GDK_BACKEND=x11"},
  };
  for (const auto& c : cases) {
    const auto r = kvtest::run(c.env + " timeout 20 " + std::string(KV_DESKTOP_DEMO));
    EXPECT_EQ(r.exitCode, 0) << c.why << "\n" << r.out << r.err;
    EXPECT_EQ(r.out, "headless\nshown\nexit\n") << c.why;
  }
}
