// Dialogs without windows: on a terminal (asking on standard input) and with nobody to
// ask at all (texts to standard error, every question answered with its safe choice).
#pragma once

#include "Platform/Dialogs/Dialogs.h"

#include <cstdio>

namespace kv::platform {

class ConsoleDialogs : public DialogService {
public:
  // Reads answers from in and writes the dialogs to out (the terminal by default).
  explicit ConsoleDialogs(std::FILE* in = stdin, std::FILE* out = stderr) : in_(in), out_(out) {}
  int messageBox(const MessageBoxRequest& request) override;
  TModalResult messageDialog(const MessageDialogRequest& request) override;
  PasswordReply password(const PasswordRequest& request) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  void exceptionBox(const std::string& caption, const std::string& message) override;

private:
  std::optional<std::string> readLine(bool hidden);
  std::FILE* in_;
  std::FILE* out_;
};

class NonInteractiveDialogs : public DialogService {
public:
  explicit NonInteractiveDialogs(std::FILE* out = stderr) : out_(out) {}
  int messageBox(const MessageBoxRequest& request) override;
  TModalResult messageDialog(const MessageDialogRequest& request) override;
  PasswordReply password(const PasswordRequest& request) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  void exceptionBox(const std::string& caption, const std::string& message) override;

private:
  std::FILE* out_;
};

} // namespace kv::platform
