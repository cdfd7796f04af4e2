// The backup program's special-folder lookup: a one-byte folder kind, in the alphabetical
// order of the folders' names, turned into the folder's path.
#pragma once

#include <cstdint>
#include <string>

namespace uFolderHelpers {

// The shell folder id (CSIDL) of a kind; kinds above 45 mean the program files folder.
std::uint16_t FolderKindToCSIDL(std::uint8_t Kind);

// The folder's path, always ending in one separator. A kind the system has no folder for
// gives the separator alone.
std::string GetFolderPath(std::uint8_t Kind);

} // namespace uFolderHelpers
