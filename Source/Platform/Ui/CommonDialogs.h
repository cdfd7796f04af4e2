// The class library's dialog components and calls: open and save dialogs with filter, default
// extension, options and initial folder, and the message dialogs. They ask through the dialogs
// service, so tests script them and unattended runs get the safe answers.
#pragma once

#include "Platform/Dialogs/Dialogs.h"
#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"

#include <string>
#include <utility>
#include <vector>

namespace kv::platform {

enum class TOpenOption {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing
};
KV_ENUM_NAMES(TOpenOption, "ofReadOnly", "ofOverwritePrompt", "ofHideReadOnly", "ofNoChangeDir", "ofShowHelp",
              "ofNoValidate", "ofAllowMultiSelect", "ofExtensionDifferent", "ofPathMustExist",
              "ofFileMustExist", "ofCreatePrompt", "ofShareAware", "ofNoReadOnlyReturn", "ofNoTestFileCreate",
              "ofNoNetworkButton", "ofNoLongNames", "ofOldStyleDialog", "ofNoDereferenceLinks",
              "ofEnableIncludeNotify", "ofEnableSizing")
using TOpenOptions = TSet<TOpenOption>;

class TOpenDialog : public TComponent {
  KV_CLASS_INFO(TOpenDialog)
public:
  explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
  const std::string& DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const std::string& Value) { defaultExt_ = Value; }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& Value) { fileName_ = Value; }
  const std::string& Filter() const { return filter_; }
  void SetFilter(const std::string& Value) { filter_ = Value; }
  int FilterIndex() const { return filterIndex_; }
  void SetFilterIndex(int Value) { filterIndex_ = Value; }
  const std::string& InitialDir() const { return initialDir_; }
  void SetInitialDir(const std::string& Value) { initialDir_ = Value; }
  TOpenOptions Options() const { return options_; }
  void SetOptions(TOpenOptions Value) { options_ = Value; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& Value) { title_ = Value; }
  // Shows the dialog; true with FileName set when the user chose a file.
  virtual bool Execute();
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

protected:
  virtual bool isSave() const { return false; }

private:
  std::string defaultExt_, fileName_, filter_, initialDir_, title_;
  int filterIndex_ = 1;
  TOpenOptions options_{TOpenOption::ofHideReadOnly, TOpenOption::ofEnableSizing};
};

class TSaveDialog : public TOpenDialog {
  KV_CLASS_INFO(TSaveDialog)
public:
  using TOpenDialog::TOpenDialog;

protected:
  bool isSave() const override { return true; }
};

// ---- the rules that every open and save dialog follows

// A chosen name without an extension gets the default one ("zip" or ".zip"); a dot in a folder
// name counts not.
std::string AddDefaultExt(const std::string& FileName, const std::string& DefaultExt);
// "*.DB; *.PX": the patterns of one file type, ';' between them.
std::vector<std::string> FilePatterns(const std::string& Patterns);
// "Zip files|*.zip|All files|*.*": the file types, names with their patterns; a name without
// patterns is left out.
std::vector<std::pair<std::string, std::vector<std::string>>> ParseFileFilter(const std::string& Filter);

// What a dialog does with a chosen name (its default extension on): take it, ask whether the
// existing file may be replaced (Text is the question), or refuse it (Text is the notice).
struct ChosenFileCheck {
  enum Action { Take, AskReplace, Refuse } action = Take;
  std::string text;
};
ChosenFileCheck CheckChosenFile(const FileDialogRequest& Request, const std::string& Path);

// The message dialog of the class library (mr* result).
TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
// A notice with one OK button under the application's title.
void ShowMessage(const std::string& Msg);

void RegisterDialogComponents();

} // namespace kv::platform
