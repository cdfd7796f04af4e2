// The user's and the system's special folders as Linux knows them: the XDG user directories
// (user-dirs.dirs) and base directories. Each answers its path without a trailing separator,
// or "" when the system has no such folder for the user.
#pragma once

#include <string>

namespace kv::platform {

// $HOME, else the home directory of the user's account.
std::string homeFolder();

// The XDG user directories: $XDG_<KEY>_DIR, else XDG_<KEY>_DIR of
// $XDG_CONFIG_HOME/user-dirs.dirs (~/.config/user-dirs.dirs), else ~/<English name> when it
// exists (the desktop's always), else the home folder.
std::string desktopFolder();   // DESKTOP, ~/Desktop
std::string documentsFolder(); // DOCUMENTS, ~/Documents
std::string musicFolder();     // MUSIC, ~/Music
std::string picturesFolder();  // PICTURES, ~/Pictures
std::string videosFolder();    // VIDEOS, ~/Videos
std::string templatesFolder(); // TEMPLATES, ~/Templates
std::string publicFolder();    // PUBLICSHARE, ~/Public: what the desktop shares with other users

// The XDG base directories: the variable when it holds an absolute path, else the default.
std::string configHome(); // $XDG_CONFIG_HOME, ~/.config
std::string dataHome();   // $XDG_DATA_HOME, ~/.local/share
std::string cacheHome();  // $XDG_CACHE_HOME, ~/.cache
// The first absolute folder of $XDG_DATA_DIRS (/usr/local/share) and of $XDG_CONFIG_DIRS (/etc/xdg).
std::string systemDataFolder();
std::string systemConfigFolder();

// $TMPDIR when set, else /tmp.
std::string tempFolder();

// The fixed folders of the file-system hierarchy that stand in for Windows' program and
// system folders (the README's folder table lists which is which).
std::string programsFolder();       // /opt: add-on programs, one folder each, as in Program Files
std::string localLibraryFolder();   // /usr/local/lib: what locally installed programs share
std::string systemLibraryFolder();  // /usr/lib: the system's shared libraries
std::string systemSettingsFolder(); // /etc: the system's settings files

} // namespace kv::platform
