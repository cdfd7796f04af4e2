#include "uFolderHelpers.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace uFolderHelpers;

TEST(FolderKindToCSIDL, FollowsTheKindTable) {
  // Kind -> CSIDL as the folder kinds are defined, written out by hand; 41, 43 and 45 are
  // answered by system calls and carry CSIDL_SYSTEM, CSIDL_PROGRAM_FILES and CSIDL_WINDOWS.
  const std::uint16_t expected[46] = {48, 26, 10, 47, 35, 25, 46, 31, 53, 54, 43, 23, 22, 24, 45, 55,
                                      3,  33, 0,  17, 6,  20, 34, 32, 28, 13, 39, 14, 19, 18, 5,  4,
                                      27, 40, 38, 42, 2,  8,  9,  11, 7,  37, 41, 38, 21, 36};
  for (int kind = 0; kind < 46; ++kind)
    EXPECT_EQ(FolderKindToCSIDL(kind), expected[kind]) << "kind " << kind;
  for (int kind : {46, 100, 200, 255})
    EXPECT_EQ(FolderKindToCSIDL(kind), 38) << "kind " << kind;
}

namespace {

struct FolderEnv {
  kvtest::TempDir home{"kvhome"};
  kvtest::ScopedEnv homeEnv{"HOME", home.str()};
  kvtest::ScopedEnv noDocs{"XDG_DOCUMENTS_DIR"};
  kvtest::ScopedEnv noDesktop{"XDG_DESKTOP_DIR"}, noMusic{"XDG_MUSIC_DIR"}, noPictures{"XDG_PICTURES_DIR"},
      noVideos{"XDG_VIDEOS_DIR"}, noTemplates{"XDG_TEMPLATES_DIR"}, noPublic{"XDG_PUBLICSHARE_DIR"};
  kvtest::ScopedEnv config{"XDG_CONFIG_HOME", (home / "cfg").string()};
};

} // namespace

TEST(GetFolderPath, DocumentsFolderFollowsTheUserDirs) {
  struct Case {
    const char* name;
    const char* envValue; // XDG_DOCUMENTS_DIR, nullptr for unset
    const char* userDirs; // contents of user-dirs.dirs, nullptr for no file
    bool makeDocuments;   // create ~/Documents
    std::string expected; // "~" stands for the home folder
  };
  const Case cases[] = {
      {"environment", "/srv/papers", nullptr, true, "/srv/papers/"},
      {"environment with separator", "/srv/papers/", nullptr, false, "/srv/papers/"},
      {"user-dirs relative to home", nullptr,
       "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", true,
       "~/Dokumente/"},
      {"user-dirs absolute", nullptr, "XDG_DOCUMENTS_DIR=\"/data/docs\"\n", true, "/data/docs/"},
      {"user-dirs escaped quote", nullptr, "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", false,
       "~/My \"Docs\"/"},
      {"user-dirs relative path is ignored", nullptr, "XDG_DOCUMENTS_DIR=\"docs\"\n", true, "~/Documents/"},
      {"user-dirs without the key", nullptr, "XDG_MUSIC_DIR=\"$HOME/Music\"\n", true, "~/Documents/"},
      {"Documents folder", nullptr, nullptr, true, "~/Documents/"},
      {"home folder", nullptr, nullptr, false, "~/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FolderEnv env;
    std::optional<kvtest::ScopedEnv> docs;
    if (c.envValue) docs.emplace("XDG_DOCUMENTS_DIR", c.envValue);
    if (c.userDirs) {
      std::filesystem::create_directories(env.home / "cfg");
      kvtest::writeFile(env.home / "cfg" / "user-dirs.dirs", c.userDirs);
    }
    if (c.makeDocuments) std::filesystem::create_directory(env.home / "Documents");
    std::string expected = c.expected;
    if (expected[0] == '~') expected = env.home.str() + expected.substr(1);
    EXPECT_EQ(GetFolderPath(30), expected);
  }
}

TEST(GetFolderPath, UserDirsDefaultToTheConfigFolderInHome) {
  FolderEnv env;
  kvtest::ScopedEnv noConfig("XDG_CONFIG_HOME");
  std::filesystem::create_directories(env.home / ".config");
  kvtest::writeFile(env.home / ".config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n");
  EXPECT_EQ(GetFolderPath(30), env.home.str() + "/Papiere/");
}

TEST(GetFolderPath, TemporaryAndHomeFolders) {
  FolderEnv env;
  {
    kvtest::ScopedEnv tmp("TMPDIR", "/var/tmp/kv");
    EXPECT_EQ(GetFolderPath(43), "/var/tmp/kv/");
  }
  {
    kvtest::ScopedEnv tmp("TMPDIR", "/var/tmp/kv//");
    EXPECT_EQ(GetFolderPath(43), "/var/tmp/kv/");
  }
  {
    kvtest::ScopedEnv tmp("TMPDIR");
    EXPECT_EQ(GetFolderPath(43), "/tmp/");
  }
  EXPECT_EQ(GetFolderPath(33), env.home.str() + "/");
  kvtest::ScopedEnv slashHome("HOME", env.home.str() + "/");
  EXPECT_EQ(GetFolderPath(33), env.home.str() + "/");
}

// Every kind with a Linux folder resolves to it: the user directories as xdg-user-dir reads
// the same user-dirs.dirs, the base directories as the XDG base directory rules define them
// (relative entries ignored), and the program and system kinds to the folders of the
// file-system hierarchy that the README's table gives (/opt for program files, any kind above
// 45 among them; /usr/local/lib for the common program files; /usr/lib for the system folders;
// /etc for the Windows folder), written out here.
TEST(GetFolderPath, KindsWithALinuxFolderResolveToIt) {
  FolderEnv env;
  const std::string h = env.home.str();
  std::filesystem::create_directories(env.home / "cfg");
  kvtest::writeFile(env.home / "cfg" / "user-dirs.dirs",
                    "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                    "XDG_MUSIC_DIR=\"/srv/Musik\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
                    "XDG_VIDEOS_DIR=\"$HOME/Videos\"\nXDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n"
                    "XDG_PUBLICSHARE_DIR=\"$HOME/Oeffentlich\"\n");
  struct Row {
    int kind;
    const char* userDir; // the key xdg-user-dir answers for, or nullptr
    std::string expected;
  };
  {
    kvtest::ScopedEnv data("XDG_DATA_HOME", h + "/data");
    kvtest::ScopedEnv cache("XDG_CACHE_HOME", h + "/cache/");
    kvtest::ScopedEnv dataDirs("XDG_DATA_DIRS", "share:/opt/share/:/usr/share");
    kvtest::ScopedEnv configDirs("XDG_CONFIG_DIRS", "/etc/kvxdg");
    const Row rows[] = {
        {18, "DESKTOP", ""},
        {25, "MUSIC", ""},
        {26, "PICTURES", ""},
        {27, "VIDEOS", ""},
        {30, "DOCUMENTS", ""},
        {44, "TEMPLATES", ""},
        {6, "PUBLICSHARE", ""},
        {8, "PUBLICSHARE", ""},
        {9, "PUBLICSHARE", ""},
        {15, "PUBLICSHARE", ""},
        {1, nullptr, h + "/cfg/"},
        {24, nullptr, h + "/data/"},
        {23, nullptr, h + "/cache/"},
        {21, nullptr, h + "/data/fonts/"},
        {36, nullptr, h + "/data/applications/"},
        {39, nullptr, h + "/data/applications/"},
        {40, nullptr, h + "/cfg/autostart/"},
        {33, nullptr, h + "/"},
        {4, nullptr, "/opt/share/"},
        {11, nullptr, "/opt/share/applications/"},
        {12, nullptr, "/opt/share/applications/"},
        {13, nullptr, "/etc/kvxdg/autostart/"},
    };
    for (const auto& row : rows) {
      std::string expected = row.expected;
      if (row.userDir) {
        const auto peer = kvtest::run("xdg-user-dir " + std::string(row.userDir));
        ASSERT_EQ(peer.exitCode, 0) << peer.err;
        expected = peer.out.substr(0, peer.out.find('\n')) + "/";
      }
      EXPECT_EQ(GetFolderPath(static_cast<std::uint8_t>(row.kind)), expected) << "kind " << row.kind;
    }
  }
  // The defaults, where the variables are unset or relative; without user-dirs.dirs the
  // desktop is ~/Desktop all the same.
  std::filesystem::remove(env.home / "cfg" / "user-dirs.dirs");
  const auto desktop = kvtest::run("xdg-user-dir DESKTOP");
  EXPECT_EQ(GetFolderPath(18), desktop.out.substr(0, desktop.out.find('\n')) + "/");
  kvtest::ScopedEnv noConfig("XDG_CONFIG_HOME", "cfg");
  kvtest::ScopedEnv noData("XDG_DATA_HOME");
  kvtest::ScopedEnv noCache("XDG_CACHE_HOME");
  kvtest::ScopedEnv noDataDirs("XDG_DATA_DIRS");
  kvtest::ScopedEnv noConfigDirs("XDG_CONFIG_DIRS");
  const Row defaults[] = {
      {1, nullptr, h + "/.config/"},
      {24, nullptr, h + "/.local/share/"},
      {23, nullptr, h + "/.cache/"},
      {40, nullptr, h + "/.config/autostart/"},
      {4, nullptr, "/usr/local/share/"},
      {13, nullptr, "/etc/xdg/autostart/"},
      {34, nullptr, "/opt/"},
      {35, nullptr, "/opt/"},
      {46, nullptr, "/opt/"},
      {200, nullptr, "/opt/"},
      {10, nullptr, "/usr/local/lib/"},
      {41, nullptr, "/usr/lib/"},
      {42, nullptr, "/usr/lib/"},
      {45, nullptr, "/etc/"},
  };
  for (const auto& row : defaults)
    EXPECT_EQ(GetFolderPath(static_cast<std::uint8_t>(row.kind)), row.expected) << "kind " << row.kind;
}

TEST(GetFolderPath, KindsWithoutALinuxFolderGiveTheSeparatorAlone) {
  FolderEnv env;
  // Virtual folders (recycle bin, control panel, my computer, network, printers) and the
  // folders of Windows' own shell that Linux desktops do not keep.
  for (int kind : {0, 2, 3, 5, 7, 14, 16, 17, 19, 20, 22, 28, 29, 31, 32, 37, 38})
    EXPECT_EQ(GetFolderPath(kind), "/") << "kind " << kind;
}
