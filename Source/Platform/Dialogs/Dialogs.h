// Every question or notice the system puts to a person goes through this one interface.
// Implementations: scripted (tests: each expected text with its answer), console (a
// terminal on standard input), non-interactive (no display, no terminal: texts go to
// standard error and every question gets its safe answer, Cancel or No, never Yes) and,
// where a display is available, real windows of the class library.
#pragma once

#include "Platform/Rtl/Sets.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

// Message box styles and results, with the values of the Windows call they stand for.
namespace mb {
inline constexpr uint32_t OK = 0x0, OKCANCEL = 0x1, ABORTRETRYIGNORE = 0x2, YESNOCANCEL = 0x3, YESNO = 0x4,
                          RETRYCANCEL = 0x5, ICONERROR = 0x10, ICONQUESTION = 0x20, ICONWARNING = 0x30,
                          ICONINFORMATION = 0x40, DEFBUTTON1 = 0x0, DEFBUTTON2 = 0x100, DEFBUTTON3 = 0x200,
                          APPLMODAL = 0x0, SYSTEMMODAL = 0x1000, TASKMODAL = 0x2000, SETFOREGROUND = 0x10000;
inline constexpr uint32_t TypeMask = 0xF, IconMask = 0xF0, DefMask = 0xF00;
} // namespace mb
namespace id {
inline constexpr int OK = 1, CANCEL = 2, ABORT = 3, RETRY = 4, IGNORE = 5, YES = 6, NO = 7;
}

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum class TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp
};
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

// Modal results of forms and message dialogs.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                              mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  uint32_t flags = mb::OK; // mb:: type | icon | default button
};

struct MessageDialogRequest {
  std::string text;
  TMsgDlgType type = TMsgDlgType::mtInformation;
  TMsgDlgButtons buttons;
  int helpContext = 0;
  std::string caption; // empty: the type's standard caption
};

// The archive component's password prompt: OK always, plus the buttons whose bits are
// set (2 Cancel, 4 Cancel all, 8 Abort).
struct PasswordRequest {
  std::string caption;
  std::string prompt;
  int buttons = 1;
  std::vector<std::string> buttonCaptions; // in bit order, for the shown buttons
  size_t maxLength = 80;
};
struct PasswordReply {
  TModalResult result = mrCancel; // 1 OK, 2 Cancel, 9 Cancel all, 3 Abort
  std::string text;
};

struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::string filter; // "Zip files|*.zip|All files|*.*"
  int filterIndex = 1;
  std::string defaultExt;
  std::string initialDir;
  std::string fileName;
  bool overwritePrompt = false;
  bool fileMustExist = false;
  bool pathMustExist = false;
  // Choose a folder instead of a file: the answer is the folder shown, or the one named.
  bool folder = false;
};

class DialogService {
public:
  virtual ~DialogService() = default;
  // Returns the id:: of the pressed button.
  virtual int messageBox(const MessageBoxRequest& request) = 0;
  // Returns the mr* result of the pressed button.
  virtual TModalResult messageDialog(const MessageDialogRequest& request) = 0;
  virtual PasswordReply password(const PasswordRequest& request) = 0;
  // The chosen file, or nothing when cancelled.
  virtual std::optional<std::string> fileDialog(const FileDialogRequest& request) = 0;
  // The application's standard exception box (one OK button).
  virtual void exceptionBox(const std::string& caption, const std::string& message) = 0;
};

// The service in use. Chosen at first use: real windows when a display is present and
// a window implementation was registered, else console on a terminal, else non-interactive.
DialogService& dialogs();
// Replaces the service (tests, programs choosing their mode); returns the previous one.
std::unique_ptr<DialogService> setDialogs(std::unique_ptr<DialogService> service);

// The window implementation registers itself here (the class library does so when a
// display can be used); the default choice then prefers it while a display is present.
using DialogFactory = std::function<std::unique_ptr<DialogService>()>;
void registerWindowDialogs(DialogFactory factory);
// Whether $DISPLAY or $WAYLAND_DISPLAY names a display.
bool displayPresent();
// Whether standard input is a terminal someone can answer on.
bool terminalPresent();

// The answers a dialog gets when nobody can be asked: Cancel, No or Abort where the
// dialog has one (never Yes), else its only button.
int safeMessageBoxAnswer(uint32_t flags);
TModalResult safeMessageDialogAnswer(const TMsgDlgButtons& buttons);

} // namespace kv::platform
