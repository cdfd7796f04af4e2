// The dialogs service in windows of our own: message boxes and message dialogs with their
// icons and buttons, the exception box, the password prompt and the open and save dialogs
// (the desktop's file chooser where the desktop presenter shows the windows, else a form of a
// folder list, a file list, a name edit and the file types). Every dialog is a form shown
// modally; what the user chose comes back as the service's answer.
#pragma once

#include "Platform/Dialogs/Dialogs.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/StdCtrls.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kv::platform {

enum class TMessageIconKind { miNone, miError, miWarning, miInformation, miQuestion };

// The picture of a message: 32 x 32 pixels.
class TMessageIcon : public TGraphicControl {
  KV_CLASS_INFO(TMessageIcon)
public:
  explicit TMessageIcon(TComponent* AOwner);
  TMessageIconKind Kind = TMessageIconKind::miNone;

protected:
  void Paint() override;
};

// A message form built in code: icon, text and a row of buttons, each with its modal result.
class TMessageForm : public TForm {
  KV_CLASS_INFO(TMessageForm)
public:
  using TForm::TForm;
  TMessageIcon* Icon = nullptr;
  TLabel* Message = nullptr;
  std::vector<TButton*> Buttons;
};
struct MessageButton {
  std::string caption;
  TModalResult result;
};
// DefaultIndex: the button that has the focus and takes Return; CancelIndex: the one Escape
// presses (-1: none).
TMessageForm* CreateMessageForm(const std::string& Text, const std::string& Caption, TMessageIconKind Icon,
                                const std::vector<MessageButton>& Buttons, int DefaultIndex, int CancelIndex);

// The open and save dialog as a form; for a folder, the folder list alone.
class TFileDialogForm : public TForm {
  KV_CLASS_INFO(TFileDialogForm)
public:
  explicit TFileDialogForm(TComponent* AOwner);
  void Setup(const FileDialogRequest& Request);
  // Shows a folder: its subfolders (and ".." above it) and its files of the chosen type.
  void SetDirectory(const std::string& Dir);
  const std::string& Directory() const { return dir_; }
  // The OK button: takes the typed name (a folder opens it, a pattern filters by it).
  void Accept();
  std::optional<std::string> Result;

  TLabel* DirLabel = nullptr;
  TListBox* DirList = nullptr;
  TListBox* FileList = nullptr;
  TLabel* FileNameLabel = nullptr;
  TEdit* FileNameEdit = nullptr;
  TLabel* FilterLabel = nullptr;
  TComboBox* FilterList = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;

private:
  void fillFiles();
  std::vector<std::string> patterns() const;
  FileDialogRequest request_;
  std::string dir_;
  std::vector<std::pair<std::string, std::vector<std::string>>> filters_; // name, patterns
  std::string typedPattern_;
};

// Whether a file name matches a pattern with * and ?, regardless of case ("*.*" matches all).
bool MatchesPattern(const std::string& Name, const std::string& Pattern);

// How the password prompt is shown when the system has a form of its own for it.
using PasswordDialogRunner = std::function<PasswordReply(const PasswordRequest&)>;
void SetPasswordDialogRunner(PasswordDialogRunner Runner);

class WindowDialogs : public DialogService {
public:
  int messageBox(const MessageBoxRequest& Request) override;
  TModalResult messageDialog(const MessageDialogRequest& Request) override;
  PasswordReply password(const PasswordRequest& Request) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& Request) override;
  void exceptionBox(const std::string& Caption, const std::string& Message) override;
};

// Offers the window dialogs to the dialogs service; they are chosen where a display is present
// and the application shows its windows on it (never with the headless presenter).
void InstallWindowDialogs();

} // namespace kv::platform
