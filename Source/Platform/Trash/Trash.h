// Deleting with the chance to undo: files go to the desktop's trash (the freedesktop.org
// trash layout), never silently deleted for good when the trash cannot take them.
#pragma once

#include <string>

namespace kv::platform {

// The home trash folder: $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
std::string homeTrashDir();

// Moves the file into the trash of its volume (the home trash when the file lives on the
// same file system, else the volume's own .Trash/$uid or .Trash-$uid), with its info
// record. 0 on success, else the system's error number; on failure the file is untouched.
int moveToTrash(const std::string& fileName);

} // namespace kv::platform
