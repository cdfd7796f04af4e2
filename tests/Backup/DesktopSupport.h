// The programs on a real (virtual) X display: an Xvfb of the test's own on a free display
// number, the program started in the background with that display, xdotool to find, click and
// close its windows, and screenshots read back as pixels. Every wait has a time limit; the
// server and the program are stopped when their objects go.
#pragma once

#include "DesktopTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace desktoptest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kvtest::desktop::Child;
using kvtest::desktop::screenshotOf;
using kvtest::desktop::Screenshot;
using kvtest::desktop::VirtualDisplay;
using kvtest::desktop::waitUntil;

// A window's place and size as xdotool reports them.
struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
  bool valid = false;
};

inline Geometry parseGeometry(const std::string& text) {
  Geometry g;
  const auto p = text.find("Position: "), s = text.find("Geometry: ");
  if (p == std::string::npos || s == std::string::npos) return g;
  g.valid = std::sscanf(text.c_str() + p, "Position: %d,%d", &g.x, &g.y) == 2 &&
            std::sscanf(text.c_str() + s, "Geometry: %dx%d", &g.width, &g.height) == 2;
  return g;
}

// The test's display with a program on it. Skips only where there is no Xvfb.
class DesktopFixture : public ::testing::Test {
protected:
  void SetUp() override {
    if (!kvtest::haveTool("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"xdotool", "import", "convert"})
      ASSERT_TRUE(kvtest::haveTool(tool)) << tool << " is not installed";
    display_ = std::make_unique<VirtualDisplay>(dir_ / "xvfb.log", "1024x768x24");
    ASSERT_TRUE(display_->ready()) << "Xvfb did not start: " << kvtest::readFile(dir_ / "xvfb.log");
  }

  // Starts the program on the display, with the given settings folder; GTK keeps its
  // settings in memory, as there is no session bus to store them.
  void startProgram(const std::vector<std::string>& argv, const fs::path& configDir) {
    ASSERT_TRUE(program_.start(argv,
                               {{"DISPLAY", display_->name()},
                                {"WAYLAND_DISPLAY", ""},
                                {"GDK_BACKEND", "x11"},
                                {"GSETTINGS_BACKEND", "memory"},
                                {"NO_AT_BRIDGE", "1"},
                                {"KV_CONFIG_DIR", configDir.string()}},
                               dir_ / "program.out"));
  }
  std::string output() const { return kvtest::readFile(dir_ / "program.out"); }

  kvtest::CommandResult x(const std::string& command) {
    return kvtest::run("DISPLAY=" + display_->name() + " timeout 20 " + command);
  }
  // The id of the first window whose title is exactly `title`, waiting for it up to 20 s;
  // "" when none came.
  std::string findWindow(const std::string& title) {
    const auto found = x("xdotool search --sync --name " + kvtest::shellQuote("^" + title + "$"));
    if (found.exitCode != 0) return std::string();
    return found.out.substr(0, found.out.find('\n'));
  }
  bool windowExists(const std::string& title) {
    return x("xdotool search --name " + kvtest::shellQuote("^" + title + "$")).exitCode == 0;
  }
  Geometry geometry(const std::string& window) {
    return parseGeometry(x("xdotool getwindowgeometry " + window).out);
  }
  void clickAt(int sx, int sy) {
    x("xdotool mousemove " + std::to_string(sx) + " " + std::to_string(sy) + " click 1");
  }

  // The whole screen; the PNG stays in the test's folder under `name` for a look at it.
  Screenshot screenshot(const std::string& name = "screen") {
    return screenshotOf(display_->name(), dir_ / (name + ".png"));
  }

  kvtest::TempDir dir_{"kvdesktop"};
  std::unique_ptr<VirtualDisplay> display_;
  Child program_;
};

} // namespace desktoptest
