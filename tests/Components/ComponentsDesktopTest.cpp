// The stored form of three scrolling windows and a drop-down field on a real (virtual) X server:
// the demo program loads it and shows it there, screenshots show the bars and the field, and
// xdotool holds the mouse on a scroll-bar arrow like a user. Every wait has a time limit.
#include "DesktopTestSupport.h"
#include "ScrollForm.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using kvtest::desktop::Child;
using kvtest::desktop::Screenshot;
using kvtest::desktop::screenshotOf;
using kvtest::desktop::VirtualDisplay;
using kvtest::desktop::waitUntil;

constexpr uint32_t kFace = 0xC0C0C0, kWhite = 0xFFFFFF;

class ComponentsDesktopTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "import", "convert"})
      if (!kvtest::haveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    display_ = std::make_unique<VirtualDisplay>(dir_ / "xvfb.log", "800x600x24");
    ASSERT_TRUE(display_->ready()) << "Xvfb did not start: " << kvtest::readFile(dir_ / "xvfb.log");
    kvtest::writeFile(dir_ / "ScrollForm.kfm", kvtest::kScrollForm);
    ASSERT_TRUE(demo_.start({KV_COMPONENTS_DEMO, (dir_ / "ScrollForm.kfm").string()},
                            kvtest::desktop::gtkProgramEnvironment(display_->name()), dir_ / "demo.out"));
    ASSERT_TRUE(waitUntil([&] { return line("desktop").has_value(); }, 40s)) << output();
    ASSERT_EQ(x("xdotool search --sync --name '^Korvalis components$'").exitCode, 0) << output();
  }

  std::string output() const { return kvtest::readFile(dir_ / "demo.out"); }
  // The last line of the program's output that starts with `prefix`, without the prefix.
  std::optional<std::string> line(const std::string& prefix) const {
    std::optional<std::string> found;
    std::istringstream in(output());
    for (std::string l; std::getline(in, l);)
      if (l.rfind(prefix, 0) == 0) found = l.substr(prefix.size());
    return found;
  }
  // The screen point of a window's client origin, as the program reported it.
  std::pair<int, int> origin(const std::string& window) const {
    std::istringstream in(line("at " + window + " ").value_or("-1 -1"));
    int x = -1, y = -1;
    in >> x >> y;
    return {x, y};
  }
  kvtest::CommandResult x(const std::string& command) {
    return kvtest::run("DISPLAY=" + display_->name() + " timeout 20 " + command);
  }
  Screenshot screenshot() { return screenshotOf(display_->name(), dir_ / "screen.png"); }

  kvtest::TempDir dir_{"kvcomponents"};
  std::unique_ptr<VirtualDisplay> display_;
  Child demo_;
};

// A thumb is a solid face; the track around it is a checked pattern, where pixels an odd
// distance apart differ. So the face at the thumb's middle and three pixels either side along
// the bar shows the thumb there. The places, in client coordinates of each window, follow the
// classic layout: arrows as long as the bar is thick (16), the thumb track * page div (range + 1)
// long, moved by (track - thumb) * position div (range - page + 1).
TEST_F(ComponentsDesktopTest, EachWindowShowsItsBarsAtTheStoredPositions) {
  struct Thumb {
    const char* window;
    bool horizontal;
    int across, middle; // the bar's middle line, the thumb's middle along the bar
  };
  const Thumb thumbs[] = {
      // Chart, 128 square: vertical 96 * 8 div 31 = 24 at 16 + 72 * 7 div 23 = 37; horizontal
      // 96 * 16 div 41 = 37 at 16 + 59 * 25 div 25 = 75.
      {"Chart", false, 136, 37 + 12},
      {"Chart", true, 136, 75 + 18},
      // Lines, 134 square: vertical 102 * 11 div 61 = 18 at 16 + 84 * 49 div 50 = 98; horizontal
      // 102 * 13 div 51 = 26 at 16 + 76 * 20 div 38 = 56.
      {"Lines", false, 142, 98 + 9},
      {"Lines", true, 142, 56 + 13},
      // Sheet, 180 x 100 in pixels: vertical 68 * 100 div 400 = 17 at 16 + 51 * 300 div 300 = 67;
      // horizontal 148 * 180 div 600 = 44 at 16 + 104 * 150 div 420 = 53.
      {"Sheet", false, 188, 67 + 8},
      {"Sheet", true, 108, 53 + 22},
  };
  bool shown = false;
  Screenshot shot;
  // The windows paint on their own time: wait for the last thumb to show.
  waitUntil(
      [&] {
        shot = screenshot();
        const auto [ox, oy] = origin("Sheet");
        return (shown = shot.at(ox + 53 + 22, oy + 108) == kFace);
      },
      20s);
  EXPECT_TRUE(shown) << output();
  for (const Thumb& t : thumbs) {
    SCOPED_TRACE(std::string(t.window) + (t.horizontal ? " horizontal" : " vertical"));
    const auto [ox, oy] = origin(t.window);
    ASSERT_GE(ox, 0) << output();
    for (const int d : {-3, 0, 3}) {
      const int along = t.middle + d;
      EXPECT_EQ(t.horizontal ? shot.at(ox + along, oy + t.across) : shot.at(ox + t.across, oy + along), kFace)
          << d;
    }
  }
}

// Chart stands at row 7 of 23; a second on its down arrow (client 136, 120) scrolls at once,
// again after a first delay and then steadily: more than one row.
TEST_F(ComponentsDesktopTest, HoldingAScrollBarArrowForASecondScrollsMoreThanOnce) {
  ASSERT_TRUE(waitUntil([&] { return line("pos Chart ").has_value(); }, 20s)) << output();
  EXPECT_EQ(line("pos Chart "), "25 7");
  const auto [ox, oy] = origin("Chart");
  x("xdotool mousemove " + std::to_string(ox + 136) + " " + std::to_string(oy + 120) +
    " mousedown 1 sleep 1 mouseup 1");
  int row = 7;
  EXPECT_TRUE(waitUntil(
      [&] {
        std::istringstream in(line("pos Chart ").value_or("0 0"));
        int col = 0;
        in >> col >> row;
        return row >= 9;
      },
      20s))
      << output();
}

// The field is 150 wide (146 of client), its button from client 129 on; the text stops at the
// formatting rectangle's right edge, 146 - 17 - 2 = 127. The end of the value shows there, and
// nothing of it reaches the two columns before the button.
TEST_F(ComponentsDesktopTest, TheDropDownFieldShowsTheEndOfALongValueBeforeItsButton) {
  const auto [ox, oy] = origin("Pick");
  ASSERT_GE(ox, 0) << output();
  auto dark = [](uint32_t c) { return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF) < 3 * 128; };
  Screenshot shot;
  EXPECT_TRUE(waitUntil(
      [&] {
        shot = screenshot();
        return shot.count(ox + 100, oy, ox + 127, oy + 17, dark) > 0;
      },
      20s))
      << output();
  EXPECT_EQ(shot.count(ox + 127, oy, ox + 129, oy + 17, dark), 0);
  EXPECT_EQ(shot.at(ox + 128, oy + 8), kWhite);
}

} // namespace
