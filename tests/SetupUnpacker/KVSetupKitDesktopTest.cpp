// The setup unpacker on a (virtual) desktop: its form stays off the screen, the message boxes
// are windows on it that wait for the operator, and a good run ends by itself.
#include "DesktopSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace desktoptest;
using kvtest::shellQuote;

class KVSetupKitDesktop : public DesktopFixture {
protected:
  void start(const std::vector<std::string>& args) {
    std::vector<std::string> argv{(kvtest::buildDir() / "bin" / "KVSetupKit").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    startProgram(argv, dir_ / "config");
  }
  // The form's window is there but lies wholly outside the 1024 x 768 screen.
  void expectFormOffScreen() {
    const std::string form = findWindow("Form1");
    ASSERT_FALSE(form.empty()) << output();
    const Geometry g = geometry(form);
    ASSERT_TRUE(g.valid);
    EXPECT_TRUE(g.x + g.width <= 0 || g.y + g.height <= 0 || g.x >= 1024 || g.y >= 768)
        << g.x << "," << g.y << " " << g.width << "x" << g.height;
  }
};

TEST_F(KVSetupKitDesktop, AWrongCommandLineShowsTheErrorBoxUntilTheOperatorAnswers) {
  start({"x", (dir_ / "setup.zip").string()});
  const std::string dialog = findWindow("Error");
  ASSERT_FALSE(dialog.empty()) << "no error box:\n" << output();
  expectFormOffScreen();
  // The box waits; it is the only thing on the screen.
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(program_.wait(0ms).has_value());
  const Geometry box = geometry(dialog);
  const Screenshot shot = screenshot();
  ASSERT_GT(shot.width, 0);
  auto dark = [](uint32_t c) { return c < 0x404040; };
  EXPECT_GT(shot.count(box.x, box.y, box.x + box.width, box.y + box.height, dark), 100) << "the box's text";
  EXPECT_GT(shot.count(box.x, box.y, box.x + box.width, box.y + box.height,
                       [](uint32_t c) { return c == 0xC0C0C0; }),
            box.width * box.height / 2);
  const int lit = shot.count(0, 0, shot.width, shot.height, [](uint32_t c) { return c != 0; });
  EXPECT_LE(lit, box.width * box.height) << "something besides the box is on the screen";

  x("xdotool windowfocus --sync " + dialog);
  x("xdotool key Return");
  const auto code = program_.wait(15s);
  ASSERT_TRUE(code.has_value()) << "the program did not end:\n" << output();
  EXPECT_EQ(*code, 2);
  EXPECT_FALSE(windowExists("Error"));
}

TEST_F(KVSetupKitDesktop, AGoodRunExtractsWithoutAWindowOnTheScreenAndEnds) {
  ASSERT_TRUE(kvtest::haveTool("zip"));
  const fs::path src = dir_ / "src";
  kvtest::writeFile(src / "readme.txt", "Korvalis setup\n");
  kvtest::writeFile(src / "bin" / "tool.cfg", "[tool]\n");
  const fs::path archive = dir_ / "setup.zip";
  ASSERT_EQ(kvtest::run("cd " + shellQuote(src.string()) + " && zip -q -r -P Brotkorb719 " +
                        shellQuote(archive.string()) + " .")
                .exitCode,
            0);
  const fs::path target = dir_ / "target";
  start({"installer", archive.string(), target.string()});
  // Nothing comes on the screen while it works (the form lies outside it).
  std::optional<int> code;
  int shots = 0, lit = 0;
  waitUntil(
      [&] {
        const Screenshot shot = screenshot();
        if (shot.width > 0) ++shots;
        lit += shot.count(0, 0, shot.width, shot.height, [](uint32_t c) { return c != 0; });
        code = program_.wait(0ms);
        return code.has_value();
      },
      20s);
  ASSERT_TRUE(code.has_value()) << "the program did not end:\n" << output();
  EXPECT_GT(shots, 0);
  EXPECT_EQ(lit, 0) << "something came on the screen";
  EXPECT_EQ(*code, 0) << output();
  const auto diff = kvtest::run("diff -r " + shellQuote(src.string()) + " " + shellQuote(target.string()));
  EXPECT_EQ(diff.exitCode, 0) << diff.out << diff.err;
}

} // namespace
