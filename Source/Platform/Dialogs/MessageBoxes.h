// The message boxes of the system: the Windows-style box with flags, and the class
// library's ShowMessage (the application title as caption, one OK button).
#pragma once

#include "Platform/Dialogs/Dialogs.h"

namespace kv::platform {

// Returns the id:: of the pressed button; an empty caption is the application title.
int messageBox(const std::string& text, const std::string& caption, uint32_t flags);
void showMessage(const std::string& text);

} // namespace kv::platform
