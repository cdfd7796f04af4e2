// Dialogs for tests: each expected dialog with its text and the answer to give, in order.
// A dialog nobody expected, or one whose text differs, is a failure: it is reported to
// the failure handler (a test passes one that fails the test) and gets the safe answer.
#pragma once

#include "Platform/Dialogs/Dialogs.h"

#include <deque>
#include <functional>

namespace kv::platform {

class ScriptedDialogs : public DialogService {
public:
  using FailureHandler = std::function<void(const std::string&)>;
  explicit ScriptedDialogs(FailureHandler onFailure = {}) : onFailure_(std::move(onFailure)) {}

  // Expected texts compare whole; a caption, when given, too.
  ScriptedDialogs& expectMessageBox(std::string text, int answer, std::optional<std::string> caption = {});
  ScriptedDialogs& expectMessageDialog(std::string text, TModalResult answer);
  ScriptedDialogs& expectPassword(std::string prompt, PasswordReply reply);
  ScriptedDialogs& expectFileDialog(std::string title, std::optional<std::string> answer);
  ScriptedDialogs& expectExceptionBox(std::string message);

  int messageBox(const MessageBoxRequest& request) override;
  TModalResult messageDialog(const MessageDialogRequest& request) override;
  PasswordReply password(const PasswordRequest& request) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  void exceptionBox(const std::string& caption, const std::string& message) override;

  // Every expected dialog was shown and nothing unexpected happened.
  bool done() const { return expected_.empty() && failures_.empty(); }
  size_t pending() const { return expected_.size(); }
  const std::vector<std::string>& failures() const { return failures_; }
  // Every dialog shown, as "kind: text", in order.
  const std::vector<std::string>& shown() const { return shown_; }

private:
  enum class Kind { MessageBox, MessageDialog, Password, FileDialog, ExceptionBox };
  struct Expected {
    Kind kind;
    std::string text;
    std::optional<std::string> caption;
    int answer = 0;
    PasswordReply reply;
    std::optional<std::string> file;
  };
  // The next expectation when it matches, else nothing (and a failure is recorded).
  std::optional<Expected> take(Kind kind, const std::string& text, const std::string& caption);
  void fail(const std::string& why);

  FailureHandler onFailure_;
  std::deque<Expected> expected_;
  std::vector<std::string> failures_;
  std::vector<std::string> shown_;
};

} // namespace kv::platform
