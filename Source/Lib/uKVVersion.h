// The four numbers of a file's "FileVersion" string.
#pragma once

#include <string>

namespace uKVVersion {

// Major, Minor, Release and Build from the FileVersion text of the file's first
// translation ("1.2.3.45"); each number that cannot be read stays -1.
void MdGetVersion(const std::string& FileName, int& Major, int& Minor, int& Release, int& Build);

} // namespace uKVVersion
