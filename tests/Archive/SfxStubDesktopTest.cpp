// The self-extractor's window on a (virtual) desktop of its own: the stored caption and default
// folder on the screen, the member list to choose from, Extract on its button and Close.
#include "DesktopSupport.h"

#include "Archive/ZavOzeriz.h"

#include <gtest/gtest.h>

namespace {

using namespace desktoptest;
using namespace ZavOzeriz;

constexpr const char* kCaption = "Korvalis Demo Setup";
// Where the window has the target folder's edit (its client area, as the window shows it).
constexpr int kEditX = 12, kEditY = 30, kEditW = 326, kEditH = 21;
// A point in the member list's first row, below its column headers.
constexpr int kFirstRowX = 60, kFirstRowY = 105;

class SfxStubDesktop : public DesktopFixture {
protected:
  // A self-extractor of two files whose default folder is `target`, with the member list: added
  // by the component, or converted from what `zip -r` wrote of them and an empty folder.
  fs::path makeExe(const fs::path& target, bool fromZipR = false) {
    kvtest::writeFile(dir_ / "src" / "readme.txt", "Korvalis demo\n");
    kvtest::writeFile(dir_ / "src" / "data" / "values.db", std::string(4000, 'v'));
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    zip.SetHowToDelete(DeleteOpts::htdFinal);
    zip.SetDLLDirectory(KV_REAL_ENGINE_DIR);
    zip.SetSFXPath("ZavSFX.bin");
    zip.SetSFXCaption(kCaption);
    zip.SetSFXDefaultDir(target.string());
    zip.SetSFXOptions({SFXOptsEnum::SFXAskFiles});
    if (fromZipR) {
      fs::create_directories(dir_ / "src" / "logs");
      EXPECT_EQ(
          kvtest::run("cd " + kvtest::shellQuote((dir_ / "src").string()) + " && zip -q -r ../setup.zip .")
              .exitCode,
          0);
      zip.SetZipFileName((dir_ / "setup.zip").string());
      EXPECT_EQ(zip.GetSFXSlave()->ConvertToSFX(&zip), 0) << zip.LastMessage();
    } else {
      zip.SetZipFileName((dir_ / "setup.exe").string());
      zip.SetAddOptions({AddOptsEnum::AddDirNames, AddOptsEnum::AddRecurseDirs});
      zip.SetRootDir((dir_ / "src").string());
      zip.GetFSpecArgs().Add("*.*");
      EXPECT_EQ(zip.Add(), 0) << zip.LastMessage();
    }
    return dir_ / "setup.exe";
  }
  std::vector<std::string> windowsNamed(const std::string& title) {
    const auto found = x("xdotool search --name " + kvtest::shellQuote("^" + title + "$"));
    std::vector<std::string> ids;
    for (size_t at = 0; at < found.out.size();) {
      const size_t end = found.out.find('\n', at);
      ids.push_back(found.out.substr(at, end - at));
      at = end == std::string::npos ? found.out.size() : end + 1;
    }
    return ids;
  }
};

TEST_F(SfxStubDesktop, TheWindowShowsTheStoredCaptionAndFolderAndExtractsOnItsButton) {
  const fs::path target = dir_ / "installed here";
  startProgram({makeExe(target).string()}, dir_ / "config");
  const std::string window = findWindow(kCaption);
  ASSERT_FALSE(window.empty()) << "no window:\n" << output();
  const Geometry g = geometry(window);
  ASSERT_TRUE(g.valid);
  // The window in the classic face, the folder in its edit, the two members in the list.
  Screenshot shot;
  auto dark = [](uint32_t c) { return c < 0x404040; };
  auto navy = [](uint32_t c) { return c == 0x000080; };
  // The controls paint one after the other: the edit's text and the list's selection both.
  ASSERT_TRUE(waitUntil(
      [&] {
        shot = screenshot("window");
        return shot.count(g.x + kEditX, g.y + kEditY, g.x + kEditX + kEditW, g.y + kEditY + kEditH, dark) >
                   50 &&
               shot.count(g.x, g.y, g.x + g.width, g.y + g.height, navy) > 400;
      },
      15s))
      << output();
  EXPECT_GT(shot.count(g.x, g.y, g.x + g.width, g.y + g.height, [](uint32_t c) { return c == 0xC0C0C0; }),
            g.width * g.height / 3);
  // The folder's text fills the edit as far as its length: some 4 to 10 pixels a character.
  int right = -1;
  for (int xx = g.x + kEditX; xx < g.x + kEditX + kEditW; ++xx)
    if (shot.count(xx, g.y + kEditY, xx + 1, g.y + kEditY + kEditH, dark) > 0) right = xx - g.x - kEditX;
  const int chars = static_cast<int>(target.string().size());
  EXPECT_GE(right, std::min(4 * chars, kEditW - 10));
  EXPECT_LE(right, std::min(10 * chars, kEditW));
  // Every member chosen: two rows in the selection's navy.
  EXPECT_GT(shot.count(g.x, g.y, g.x + g.width, g.y + g.height, navy), 400);

  // A click on the first row chooses that member alone; Extract is the default button; the
  // success box follows, and its OK ends the program.
  clickAt(g.x + kFirstRowX, g.y + kFirstRowY);
  x("xdotool windowfocus --sync " + window);
  x("xdotool key Return");
  ASSERT_TRUE(waitUntil([&] { return windowsNamed(kCaption).size() == 2; }, 15s)) << output();
  EXPECT_EQ(kvtest::readFile(target / "readme.txt"), "Korvalis demo\n");
  EXPECT_FALSE(fs::exists(target / "data"));
  x("xdotool windowfocus --sync " + windowsNamed(kCaption).back());
  x("xdotool key Return");
  const auto code = program_.wait(15s);
  ASSERT_TRUE(code.has_value()) << "the program did not end:\n" << output();
  EXPECT_EQ(*code, 0) << output();
}

// A `zip -r` archive holds folder entries, an empty folder among them: with every member left
// chosen the whole archive comes out, the empty folder too, and the run counts as complete.
TEST_F(SfxStubDesktop, EveryMemberChosenExtractsEmptyFoldersToo) {
  if (!kvtest::haveTool("zip")) GTEST_SKIP() << "zip missing";
  const fs::path target = dir_ / "all here";
  startProgram({makeExe(target, true).string()}, dir_ / "config");
  const std::string window = findWindow(kCaption);
  ASSERT_FALSE(window.empty()) << "no window:\n" << output();
  x("xdotool windowfocus --sync " + window);
  x("xdotool key Return");
  ASSERT_TRUE(waitUntil([&] { return windowsNamed(kCaption).size() == 2; }, 15s)) << output();
  EXPECT_TRUE(fs::is_directory(target / "logs"));
  EXPECT_EQ(kvtest::readFile(target / "data" / "values.db"), std::string(4000, 'v'));
  x("xdotool windowfocus --sync " + windowsNamed(kCaption).back());
  x("xdotool key Return");
  const auto code = program_.wait(15s);
  ASSERT_TRUE(code.has_value()) << "the program did not end:\n" << output();
  EXPECT_EQ(*code, 0) << output();
}

TEST_F(SfxStubDesktop, CloseExtractsNothing) {
  const fs::path target = dir_ / "not here";
  startProgram({makeExe(target).string()}, dir_ / "config");
  const std::string window = findWindow(kCaption);
  ASSERT_FALSE(window.empty()) << "no window:\n" << output();
  x("xdotool windowfocus --sync " + window);
  x("xdotool key Escape");
  const auto code = program_.wait(15s);
  ASSERT_TRUE(code.has_value()) << "the program did not end:\n" << output();
  EXPECT_EQ(*code, 3);
  EXPECT_FALSE(fs::exists(target));
}

} // namespace
