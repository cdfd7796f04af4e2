#include "uFolderHelpers.h"

#include "Platform/Folders/SpecialFolders.h"

#include <array>

namespace uFolderHelpers {

namespace {

// Published shell folder ids used below.
constexpr std::uint16_t CSIDL_PERSONAL = 5;
constexpr std::uint16_t CSIDL_SYSTEM = 37;
constexpr std::uint16_t CSIDL_PROGRAM_FILES = 38;
constexpr std::uint16_t CSIDL_WINDOWS = 36;
constexpr std::uint16_t CSIDL_PROFILE = 40;

constexpr std::uint8_t kSystemDirectory = 41;
constexpr std::uint8_t kTempDirectory = 43;
constexpr std::uint8_t kWindowsDirectory = 45;

constexpr std::array<std::uint16_t, 46> kCSIDLOfKind = {
    48,                  // 0 admin tools
    26,                  // 1 application data
    10,                  // 2 recycle bin
    47,                  // 3 common admin tools
    35,                  // 4 common application data
    25,                  // 5 common desktop
    46,                  // 6 common documents
    31,                  // 7 common favorites
    53,                  // 8 common music
    54,                  // 9 common pictures
    43,                  // 10 common program files
    23,                  // 11 common programs
    22,                  // 12 common start menu
    24,                  // 13 common startup
    45,                  // 14 common templates
    55,                  // 15 common video
    3,                   // 16 control panel
    33,                  // 17 cookies
    0,                   // 18 desktop
    17,                  // 19 my computer
    6,                   // 20 favorites
    20,                  // 21 fonts
    34,                  // 22 history
    32,                  // 23 internet cache
    28,                  // 24 local application data
    13,                  // 25 my music
    39,                  // 26 my pictures
    14,                  // 27 my video
    19,                  // 28 network neighbourhood folder
    18,                  // 29 network
    CSIDL_PERSONAL,      // 30 my documents
    4,                   // 31 printers
    27,                  // 32 printer links
    CSIDL_PROFILE,       // 33 user profile
    CSIDL_PROGRAM_FILES, // 34 program files
    42,                  // 35 program files (x86)
    2,                   // 36 programs
    8,                   // 37 recent
    9,                   // 38 send to
    11,                  // 39 start menu
    7,                   // 40 startup
    CSIDL_SYSTEM,        // 41 system directory, answered directly
    41,                  // 42 system (x86)
    CSIDL_PROGRAM_FILES, // 43 temporary directory, answered directly
    21,                  // 44 templates
    CSIDL_WINDOWS,       // 45 Windows directory, answered directly
};

// The folders a Linux desktop has; every other shell folder is unknown here.
std::string shellFolder(std::uint16_t csidl) {
  switch (csidl) {
  case CSIDL_PERSONAL:
    return kv::platform::documentsFolder();
  case CSIDL_PROFILE:
    return kv::platform::homeFolder();
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
  case kWindowsDirectory:
    break; // no such directory on Linux
  default:
    path = shellFolder(FolderKindToCSIDL(Kind));
    break;
  }
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

} // namespace uFolderHelpers
