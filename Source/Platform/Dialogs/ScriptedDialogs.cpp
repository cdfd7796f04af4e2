#include "Platform/Dialogs/ScriptedDialogs.h"

namespace kv::platform {

namespace {
const char* kindName(int k) {
  static const char* names[] = {"message box", "message dialog", "password", "file dialog", "exception box"};
  return names[k];
}
} // namespace

ScriptedDialogs& ScriptedDialogs::expectMessageBox(std::string text, int answer,
                                                   std::optional<std::string> caption) {
  expected_.push_back({Kind::MessageBox, std::move(text), std::move(caption), answer, {}, {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectMessageDialog(std::string text, TModalResult answer) {
  expected_.push_back({Kind::MessageDialog, std::move(text), {}, answer, {}, {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectPassword(std::string prompt, PasswordReply reply) {
  expected_.push_back({Kind::Password, std::move(prompt), {}, 0, std::move(reply), {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectFileDialog(std::string title, std::optional<std::string> answer) {
  expected_.push_back({Kind::FileDialog, std::move(title), {}, 0, {}, std::move(answer)});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectExceptionBox(std::string message) {
  expected_.push_back({Kind::ExceptionBox, std::move(message), {}, 0, {}, {}});
  return *this;
}

void ScriptedDialogs::fail(const std::string& why) {
  failures_.push_back(why);
  if (onFailure_) onFailure_(why);
}

std::optional<ScriptedDialogs::Expected> ScriptedDialogs::take(Kind kind, const std::string& text,
                                                               const std::string& caption) {
  shown_.push_back(std::string(kindName(static_cast<int>(kind))) + ": " + text);
  if (expected_.empty()) {
    fail(std::string("unexpected ") + kindName(static_cast<int>(kind)) + ": \"" + text + "\"");
    return std::nullopt;
  }
  Expected e = expected_.front();
  if (e.kind != kind || e.text != text || (e.caption && *e.caption != caption)) {
    fail(std::string("expected ") + kindName(static_cast<int>(e.kind)) + " \"" + e.text + "\"" +
         (e.caption ? " captioned \"" + *e.caption + "\"" : "") + ", got " +
         kindName(static_cast<int>(kind)) + " \"" + text + "\" captioned \"" + caption + "\"");
    return std::nullopt;
  }
  expected_.pop_front();
  return e;
}

int ScriptedDialogs::messageBox(const MessageBoxRequest& r) {
  auto e = take(Kind::MessageBox, r.text, r.caption);
  return e ? e->answer : safeMessageBoxAnswer(r.flags);
}

TModalResult ScriptedDialogs::messageDialog(const MessageDialogRequest& r) {
  auto e = take(Kind::MessageDialog, r.text, r.caption);
  return e ? e->answer : safeMessageDialogAnswer(r.buttons);
}

PasswordReply ScriptedDialogs::password(const PasswordRequest& r) {
  auto e = take(Kind::Password, r.prompt, r.caption);
  return e ? e->reply : PasswordReply{mrCancel, {}};
}

std::optional<std::string> ScriptedDialogs::fileDialog(const FileDialogRequest& r) {
  auto e = take(Kind::FileDialog, r.title, {});
  return e ? e->file : std::nullopt;
}

void ScriptedDialogs::exceptionBox(const std::string& caption, const std::string& message) {
  take(Kind::ExceptionBox, message, caption);
}

} // namespace kv::platform
