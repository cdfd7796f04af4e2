// The desktop's own file chooser standing in for the open and save dialogs while the GTK
// presenter shows the program's windows.
#pragma once

#include "Platform/Dialogs/Dialogs.h"

#include <optional>
#include <string>

namespace kv::platform {

// Whether the desktop's file chooser can be shown (the GTK presenter is in use).
bool DesktopFileChooserAvailable();

// Shows the open or save chooser for the request, modal over the active window; the chosen
// file (with the default extension), or nothing when the user cancelled (or there is no
// desktop). A name that the request's options refuse keeps the chooser open.
std::optional<std::string> ChooseFileOnDesktop(const FileDialogRequest& Request);

// A pattern of the chooser that matches names regardless of case, as the dialogs did ("*.zip"
// matches "A.ZIP"); "*.*" stands for every file, with or without a dot.
std::string CaseInsensitivePattern(const std::string& Pattern);

} // namespace kv::platform
