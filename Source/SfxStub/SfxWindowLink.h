// The stub's side of its window part: loading the part it carries inside itself, and a dialogs
// service whose boxes are the part's windows.
#pragma once

#include "SfxWindowApi.h"

#include "Platform/Dialogs/Dialogs.h"

#include <memory>
#include <string>

namespace sfxstub {

class WindowPart {
public:
  // The part with the display open; nullptr when it cannot be had (no GTK on this machine, no
  // display to reach), with the reason in `why`.
  static std::unique_ptr<WindowPart> open(std::string& why);
  ~WindowPart();
  WindowPart(const WindowPart&) = delete;
  WindowPart& operator=(const WindowPart&) = delete;

  const KvSfxWindow& calls() const { return table_; }
  // Message boxes and the password prompt as windows of the part.
  std::unique_ptr<kv::platform::DialogService> dialogs() const;

private:
  WindowPart() = default;
  KvSfxWindow table_{};
};

} // namespace sfxstub
