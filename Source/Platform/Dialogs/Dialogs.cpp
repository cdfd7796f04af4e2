#include "Platform/Dialogs/Dialogs.h"

#include "Platform/Dialogs/ConsoleDialogs.h"

#include <cstdlib>
#include <unistd.h>

namespace kv::platform {

namespace {
struct Choice {
  std::unique_ptr<DialogService> service;
  DialogFactory windowFactory;
};
Choice& choice() {
  static Choice c;
  return c;
}
} // namespace

bool displayPresent() {
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

bool terminalPresent() { return ::isatty(STDIN_FILENO) != 0; }

void registerWindowDialogs(DialogFactory factory) { choice().windowFactory = std::move(factory); }

DialogService& dialogs() {
  Choice& c = choice();
  if (!c.service) {
    if (c.windowFactory && displayPresent()) c.service = c.windowFactory();
    if (!c.service && terminalPresent()) c.service = std::make_unique<ConsoleDialogs>();
    if (!c.service) c.service = std::make_unique<NonInteractiveDialogs>();
  }
  return *c.service;
}

std::unique_ptr<DialogService> setDialogs(std::unique_ptr<DialogService> service) {
  auto old = std::move(choice().service);
  choice().service = std::move(service); // null: choose again at the next use
  return old;
}

int safeMessageBoxAnswer(uint32_t flags) {
  switch (flags & mb::TypeMask) {
  case mb::OKCANCEL:
  case mb::YESNOCANCEL:
  case mb::RETRYCANCEL:
    return id::CANCEL;
  case mb::YESNO:
    return id::NO;
  case mb::ABORTRETRYIGNORE:
    return id::ABORT;
  default:
    return id::OK;
  }
}

TModalResult safeMessageDialogAnswer(const TMsgDlgButtons& buttons) {
  using B = TMsgDlgBtn;
  if (buttons.Contains(B::mbCancel)) return mrCancel;
  if (buttons.Contains(B::mbNo)) return mrNo;
  if (buttons.Contains(B::mbNoToAll)) return mrNoToAll;
  if (buttons.Contains(B::mbAbort)) return mrAbort;
  if (buttons.Contains(B::mbOK)) return mrOk;
  if (buttons.Contains(B::mbIgnore)) return mrIgnore;
  return mrCancel;
}

} // namespace kv::platform
