#include "Platform/Dialogs/ConsoleDialogs.h"

#include <cctype>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kv::platform {

namespace {

struct Button {
  std::string label; // the first letter is the key
  int result;
};

std::vector<Button> boxButtons(uint32_t flags) {
  switch (flags & mb::TypeMask) {
  case mb::OKCANCEL:
    return {{"OK", id::OK}, {"Cancel", id::CANCEL}};
  case mb::ABORTRETRYIGNORE:
    return {{"Abort", id::ABORT}, {"Retry", id::RETRY}, {"Ignore", id::IGNORE}};
  case mb::YESNOCANCEL:
    return {{"Yes", id::YES}, {"No", id::NO}, {"Cancel", id::CANCEL}};
  case mb::YESNO:
    return {{"Yes", id::YES}, {"No", id::NO}};
  case mb::RETRYCANCEL:
    return {{"Retry", id::RETRY}, {"Cancel", id::CANCEL}};
  default:
    return {{"OK", id::OK}};
  }
}

std::vector<Button> dialogButtons(const TMsgDlgButtons& buttons) {
  using B = TMsgDlgBtn;
  static const std::pair<B, Button> all[] = {{B::mbYes, {"Yes", mrYes}},
                                             {B::mbNo, {"No", mrNo}},
                                             {B::mbOK, {"OK", mrOk}},
                                             {B::mbCancel, {"Cancel", mrCancel}},
                                             {B::mbAbort, {"Abort", mrAbort}},
                                             {B::mbRetry, {"Retry", mrRetry}},
                                             {B::mbIgnore, {"Ignore", mrIgnore}},
                                             {B::mbAll, {"All", mrAll}},
                                             {B::mbNoToAll, {"nO to all", mrNoToAll}},
                                             {B::mbYesToAll, {"yeS to all", mrYesToAll}}};
  std::vector<Button> out;
  for (const auto& [b, button] : all)
    if (buttons.Contains(b)) out.push_back(button);
  if (out.empty()) out.push_back({"OK", mrOk});
  return out;
}

const char* typeCaption(TMsgDlgType t) {
  switch (t) {
  case TMsgDlgType::mtWarning:
    return "Warning";
  case TMsgDlgType::mtError:
    return "Error";
  case TMsgDlgType::mtInformation:
    return "Information";
  case TMsgDlgType::mtConfirmation:
    return "Confirm";
  default:
    return "";
  }
}

// The key of a label: its first upper-case letter.
char keyOf(const std::string& label) {
  for (char c : label)
    if (std::isupper(static_cast<unsigned char>(c))) return static_cast<char>(std::tolower(c));
  return static_cast<char>(std::tolower(label[0]));
}

} // namespace

std::optional<std::string> ConsoleDialogs::readLine(bool hidden) {
  const int fd = fileno(in_);
  termios old{};
  const bool tty = hidden && ::isatty(fd) && tcgetattr(fd, &old) == 0;
  if (tty) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::string line;
  int c;
  bool any = false;
  while ((c = std::fgetc(in_)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c != '\r') line += static_cast<char>(c);
  }
  if (tty) {
    tcsetattr(fd, TCSAFLUSH, &old);
    std::fputc('\n', out_);
  }
  if (!any) return std::nullopt;
  return line;
}

namespace {
template <class Read>
int ask(std::FILE* out, const std::string& caption, const std::string& text,
        const std::vector<Button>& buttons, int safe, Read readLine) {
  if (!caption.empty()) std::fprintf(out, "[%s]\n", caption.c_str());
  std::fprintf(out, "%s\n", text.c_str());
  if (buttons.size() == 1) {
    std::fprintf(out, "(press Enter) ");
    std::fflush(out);
    readLine();
    return buttons[0].result;
  }
  for (;;) {
    for (const auto& b : buttons)
      std::fprintf(out, "%c=%s  ", keyOf(b.label), b.label.c_str());
    std::fprintf(out, "? ");
    std::fflush(out);
    const auto line = readLine();
    if (!line) return safe; // the terminal went away: nobody can answer
    std::string l;
    for (char ch : *line)
      if (!std::isspace(static_cast<unsigned char>(ch))) l += static_cast<char>(std::tolower(ch));
    for (const auto& b : buttons) {
      std::string name;
      for (char ch : b.label)
        name += static_cast<char>(std::tolower(ch));
      if (l.size() == 1 ? l[0] == keyOf(b.label) : l == name) return b.result;
    }
  }
}
} // namespace

int ConsoleDialogs::messageBox(const MessageBoxRequest& r) {
  return ask(out_, r.caption, r.text, boxButtons(r.flags), safeMessageBoxAnswer(r.flags),
             [this] { return readLine(false); });
}

TModalResult ConsoleDialogs::messageDialog(const MessageDialogRequest& r) {
  return ask(out_, r.caption.empty() ? typeCaption(r.type) : r.caption, r.text, dialogButtons(r.buttons),
             safeMessageDialogAnswer(r.buttons), [this] { return readLine(false); });
}

PasswordReply ConsoleDialogs::password(const PasswordRequest& r) {
  std::fprintf(out_, "[%s]\n%s", r.caption.c_str(), r.prompt.c_str());
  std::fflush(out_);
  const auto line = readLine(true);
  if (!line) return {mrCancel, {}};
  return {mrOk, line->substr(0, r.maxLength)};
}

std::optional<std::string> ConsoleDialogs::fileDialog(const FileDialogRequest& r) {
  std::fprintf(out_, "[%s]\n%s%s: ", r.title.c_str(), r.folder ? "Folder" : "File name",
               r.fileName.empty() ? "" : (" (" + r.fileName + ")").c_str());
  std::fflush(out_);
  const auto line = readLine(false);
  if (!line) return std::nullopt;
  if (line->empty()) {
    if (r.fileName.empty()) return std::nullopt;
    return r.fileName;
  }
  return line;
}

void ConsoleDialogs::exceptionBox(const std::string& caption, const std::string& message) {
  ask(out_, caption, message, {{"OK", id::OK}}, id::OK, [this] { return readLine(false); });
}

namespace {
// A message on one line, behind its caption when it has one.
void tell(std::FILE* out, const std::string& caption, const std::string& text) {
  std::fprintf(out, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
}
} // namespace

int NonInteractiveDialogs::messageBox(const MessageBoxRequest& r) {
  tell(out_, r.caption, r.text);
  return safeMessageBoxAnswer(r.flags);
}

TModalResult NonInteractiveDialogs::messageDialog(const MessageDialogRequest& r) {
  tell(out_, r.caption.empty() ? typeCaption(r.type) : r.caption, r.text);
  return safeMessageDialogAnswer(r.buttons);
}

PasswordReply NonInteractiveDialogs::password(const PasswordRequest& r) {
  std::fprintf(out_, "%s: %s(no one to ask, cancelled)\n", r.caption.c_str(), r.prompt.c_str());
  return {mrCancel, {}};
}

std::optional<std::string> NonInteractiveDialogs::fileDialog(const FileDialogRequest& r) {
  std::fprintf(out_, "%s (no one to ask, cancelled)\n", r.title.c_str());
  return std::nullopt;
}

void NonInteractiveDialogs::exceptionBox(const std::string& caption, const std::string& message) {
  tell(out_, caption, message);
}

} // namespace kv::platform
