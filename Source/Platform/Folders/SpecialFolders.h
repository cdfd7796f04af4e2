// The user's and the system's special folders as Linux knows them. Each answers its path
// without a trailing separator, or "" when the system has no such folder for the user.
#pragma once

#include <string>

namespace kv::platform {

// $HOME, else the home directory of the user's account.
std::string homeFolder();

// The XDG documents folder: $XDG_DOCUMENTS_DIR, else XDG_DOCUMENTS_DIR of
// $XDG_CONFIG_HOME/user-dirs.dirs (~/.config/user-dirs.dirs), else ~/Documents when it exists,
// else the home folder.
std::string documentsFolder();

// $TMPDIR when set, else /tmp.
std::string tempFolder();

} // namespace kv::platform
