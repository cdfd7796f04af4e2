// The desktop's own file chooser standing in for the open and save dialogs while the GTK
// presenter shows the program's windows.
#pragma once

#include "Platform/Dialogs/Dialogs.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kv::platform {

// Whether the desktop's file chooser can be shown (the GTK presenter is in use).
bool DesktopFileChooserAvailable();

// Shows the open or save chooser for the request, modal over the active window; the chosen
// file, or nothing when the user cancelled (or there is no desktop).
std::optional<std::string> ChooseFileOnDesktop(const FileDialogRequest& Request);

// ---- the rules the chooser follows, apart for tests

// "Zip files|*.zip|All files|*.*": names with their patterns (a ';' separates patterns).
std::vector<std::pair<std::string, std::vector<std::string>>> ParseFileFilter(const std::string& Filter);
// A pattern that matches names regardless of case, as the dialogs did ("*.zip" matches
// "A.ZIP"); "*.*" stands for every file, with or without a dot.
std::string CaseInsensitivePattern(const std::string& Pattern);
// The name with ".Ext" added when its last part has no extension and Ext is given.
std::string WithDefaultExtension(const std::string& Path, const std::string& Ext);

} // namespace kv::platform
