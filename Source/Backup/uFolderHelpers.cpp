#include "uFolderHelpers.h"

#include "Platform/Folders/SpecialFolders.h"

#include <array>

namespace uFolderHelpers {

namespace {

// Published shell folder ids used below.
constexpr std::uint16_t CSIDL_DESKTOP = 0;
constexpr std::uint16_t CSIDL_PROGRAMS = 2;
constexpr std::uint16_t CSIDL_PERSONAL = 5;
constexpr std::uint16_t CSIDL_STARTUP = 7;
constexpr std::uint16_t CSIDL_STARTMENU = 11;
constexpr std::uint16_t CSIDL_MYMUSIC = 13;
constexpr std::uint16_t CSIDL_MYVIDEO = 14;
constexpr std::uint16_t CSIDL_FONTS = 20;
constexpr std::uint16_t CSIDL_TEMPLATES = 21;
constexpr std::uint16_t CSIDL_COMMON_STARTMENU = 22;
constexpr std::uint16_t CSIDL_COMMON_PROGRAMS = 23;
constexpr std::uint16_t CSIDL_COMMON_STARTUP = 24;
constexpr std::uint16_t CSIDL_APPDATA = 26;
constexpr std::uint16_t CSIDL_LOCAL_APPDATA = 28;
constexpr std::uint16_t CSIDL_INTERNET_CACHE = 32;
constexpr std::uint16_t CSIDL_COMMON_APPDATA = 35;
constexpr std::uint16_t CSIDL_WINDOWS = 36;
constexpr std::uint16_t CSIDL_SYSTEM = 37;
constexpr std::uint16_t CSIDL_PROGRAM_FILES = 38;
constexpr std::uint16_t CSIDL_MYPICTURES = 39;
constexpr std::uint16_t CSIDL_PROFILE = 40;
constexpr std::uint16_t CSIDL_SYSTEMX86 = 41;
constexpr std::uint16_t CSIDL_PROGRAM_FILESX86 = 42;
constexpr std::uint16_t CSIDL_PROGRAM_FILES_COMMON = 43;
constexpr std::uint16_t CSIDL_COMMON_DOCUMENTS = 46;
constexpr std::uint16_t CSIDL_COMMON_MUSIC = 53;
constexpr std::uint16_t CSIDL_COMMON_PICTURES = 54;
constexpr std::uint16_t CSIDL_COMMON_VIDEO = 55;

constexpr std::uint8_t kSystemDirectory = 41;
constexpr std::uint8_t kTempDirectory = 43;
constexpr std::uint8_t kWindowsDirectory = 45;

constexpr std::array<std::uint16_t, 46> kCSIDLOfKind = {
    48,                         // 0 admin tools
    CSIDL_APPDATA,              // 1 application data
    10,                         // 2 recycle bin
    47,                         // 3 common admin tools
    CSIDL_COMMON_APPDATA,       // 4 common application data
    25,                         // 5 common desktop
    CSIDL_COMMON_DOCUMENTS,     // 6 common documents
    31,                         // 7 common favorites
    CSIDL_COMMON_MUSIC,         // 8 common music
    CSIDL_COMMON_PICTURES,      // 9 common pictures
    CSIDL_PROGRAM_FILES_COMMON, // 10 common program files
    CSIDL_COMMON_PROGRAMS,      // 11 common programs
    CSIDL_COMMON_STARTMENU,     // 12 common start menu
    CSIDL_COMMON_STARTUP,       // 13 common startup
    45,                         // 14 common templates
    CSIDL_COMMON_VIDEO,         // 15 common video
    3,                          // 16 control panel
    33,                         // 17 cookies
    CSIDL_DESKTOP,              // 18 desktop
    17,                         // 19 my computer
    6,                          // 20 favorites
    CSIDL_FONTS,                // 21 fonts
    34,                         // 22 history
    CSIDL_INTERNET_CACHE,       // 23 internet cache
    CSIDL_LOCAL_APPDATA,        // 24 local application data
    CSIDL_MYMUSIC,              // 25 my music
    CSIDL_MYPICTURES,           // 26 my pictures
    CSIDL_MYVIDEO,              // 27 my video
    19,                         // 28 network neighbourhood folder
    18,                         // 29 network
    CSIDL_PERSONAL,             // 30 my documents
    4,                          // 31 printers
    27,                         // 32 printer links
    CSIDL_PROFILE,              // 33 user profile
    CSIDL_PROGRAM_FILES,        // 34 program files
    CSIDL_PROGRAM_FILESX86,     // 35 program files (x86)
    CSIDL_PROGRAMS,             // 36 programs
    8,                          // 37 recent
    9,                          // 38 send to
    CSIDL_STARTMENU,            // 39 start menu
    CSIDL_STARTUP,              // 40 startup
    CSIDL_SYSTEM,               // 41 system directory, answered directly
    CSIDL_SYSTEMX86,            // 42 system (x86)
    CSIDL_PROGRAM_FILES,        // 43 temporary directory, answered directly
    CSIDL_TEMPLATES,            // 44 templates
    CSIDL_WINDOWS,              // 45 Windows directory, answered directly
};

// The shell folders that have a Linux counterpart: an XDG or freedesktop.org folder, or a
// folder of the file-system hierarchy for the program and system folders. The others are
// unknown here: the virtual folders (no path on Windows either), and the folders of Windows'
// own shell (administrative tools, favorites, cookies, history, recent, send to, network and
// printer shortcuts, the all-users desktop and templates) that Linux desktops do not keep.
std::string shellFolder(std::uint16_t csidl) {
  namespace pf = kv::platform;
  auto below = [](const std::string& base, const char* name) { return base.empty() ? base : base + name; };
  switch (csidl) {
  case CSIDL_DESKTOP:
    return pf::desktopFolder();
  case CSIDL_PERSONAL:
    return pf::documentsFolder();
  case CSIDL_MYMUSIC:
    return pf::musicFolder();
  case CSIDL_MYPICTURES:
    return pf::picturesFolder();
  case CSIDL_MYVIDEO:
    return pf::videosFolder();
  case CSIDL_TEMPLATES:
    return pf::templatesFolder();
  case CSIDL_PROFILE:
    return pf::homeFolder();
  case CSIDL_APPDATA:
    return pf::configHome();
  case CSIDL_LOCAL_APPDATA:
    return pf::dataHome();
  case CSIDL_INTERNET_CACHE:
    return pf::cacheHome();
  case CSIDL_FONTS:
    return below(pf::dataHome(), "/fonts");
  case CSIDL_PROGRAMS:
  case CSIDL_STARTMENU:
    return below(pf::dataHome(), "/applications");
  case CSIDL_STARTUP:
    return below(pf::configHome(), "/autostart");
  case CSIDL_COMMON_APPDATA:
    return pf::systemDataFolder();
  case CSIDL_COMMON_PROGRAMS:
  case CSIDL_COMMON_STARTMENU:
    return below(pf::systemDataFolder(), "/applications");
  case CSIDL_COMMON_STARTUP:
    return below(pf::systemConfigFolder(), "/autostart");
  case CSIDL_COMMON_DOCUMENTS:
  case CSIDL_COMMON_MUSIC:
  case CSIDL_COMMON_PICTURES:
  case CSIDL_COMMON_VIDEO:
    return pf::publicFolder();
  case CSIDL_PROGRAM_FILES:
  case CSIDL_PROGRAM_FILESX86:
    return pf::programsFolder();
  case CSIDL_PROGRAM_FILES_COMMON:
    return pf::localLibraryFolder();
  case CSIDL_SYSTEMX86:
    return pf::systemLibraryFolder();
  default:
    return {};
  }
}

} // namespace

std::uint16_t FolderKindToCSIDL(std::uint8_t Kind) {
  return Kind < kCSIDLOfKind.size() ? kCSIDLOfKind[Kind] : CSIDL_PROGRAM_FILES;
}

std::string GetFolderPath(std::uint8_t Kind) {
  std::string path;
  switch (Kind) {
  case kTempDirectory:
    path = kv::platform::tempFolder();
    break;
  case kSystemDirectory:
    path = kv::platform::systemLibraryFolder();
    break;
  case kWindowsDirectory:
    // What programs looked for there were the system's settings files (win.ini and the like).
    path = kv::platform::systemSettingsFolder();
    break;
  default:
    path = shellFolder(FolderKindToCSIDL(Kind));
    break;
  }
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

} // namespace uFolderHelpers
