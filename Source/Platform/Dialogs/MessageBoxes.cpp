#include "Platform/Dialogs/MessageBoxes.h"

#include "Platform/AppInfo/AppInfo.h"

namespace kv::platform {

int messageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  return dialogs().messageBox({text, caption.empty() ? application().title() : caption, flags});
}

void showMessage(const std::string& text) { dialogs().messageBox({text, application().title(), mb::OK}); }

} // namespace kv::platform
