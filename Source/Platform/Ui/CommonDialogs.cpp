#include "Platform/Ui/CommonDialogs.h"

#include "Platform/Dialogs/MessageBoxes.h"

namespace kv::platform {

const TClassInfo& TOpenDialog::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TOpenDialog, TComponent>("TOpenDialog")
          .Str("DefaultExt", &TOpenDialog::DefaultExt, &TOpenDialog::SetDefaultExt, std::string())
          .Str("FileName", &TOpenDialog::FileName, &TOpenDialog::SetFileName, std::string())
          .Str("Filter", &TOpenDialog::Filter, &TOpenDialog::SetFilter, std::string())
          .Int("FilterIndex", &TOpenDialog::FilterIndex, &TOpenDialog::SetFilterIndex, 1)
          .Str("InitialDir", &TOpenDialog::InitialDir, &TOpenDialog::SetInitialDir, std::string())
          .Set<TOpenOption>("Options", &TOpenDialog::Options, &TOpenDialog::SetOptions,
                            TOpenOptions{TOpenOption::ofHideReadOnly, TOpenOption::ofEnableSizing})
          .Str("Title", &TOpenDialog::Title, &TOpenDialog::SetTitle, std::string())
          .Event("OnClose", &TOpenDialog::OnClose)
          .Event("OnShow", &TOpenDialog::OnShow)
          .Build();
  return info;
}

const TClassInfo& TSaveDialog::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TSaveDialog, TOpenDialog>("TSaveDialog").Build();
  return info;
}

std::string AddDefaultExt(const std::string& FileName, const std::string& DefaultExt) {
  if (DefaultExt.empty() || FileName.empty()) return FileName;
  const auto slash = FileName.find_last_of('/');
  const std::string base = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
  if (base.empty() || base.find('.') != std::string::npos) return FileName;
  return FileName + (DefaultExt[0] == '.' ? DefaultExt : "." + DefaultExt);
}

bool TOpenDialog::Execute() {
  FileDialogRequest r;
  r.save = isSave();
  r.title = title_;
  r.filter = filter_;
  r.filterIndex = filterIndex_;
  r.defaultExt = defaultExt_;
  r.initialDir = initialDir_;
  r.fileName = fileName_;
  r.overwritePrompt = options_.Contains(TOpenOption::ofOverwritePrompt);
  r.fileMustExist = options_.Contains(TOpenOption::ofFileMustExist);
  r.pathMustExist = options_.Contains(TOpenOption::ofPathMustExist) || r.fileMustExist;
  OnShow(this);
  const std::optional<std::string> chosen = dialogs().fileDialog(r);
  OnClose(this);
  if (!chosen) return false;
  fileName_ = AddDefaultExt(*chosen, defaultExt_);
  return true;
}

TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
  MessageDialogRequest r;
  r.text = Msg;
  r.type = DlgType;
  r.buttons = Buttons;
  r.helpContext = HelpCtx;
  return dialogs().messageDialog(r);
}

void ShowMessage(const std::string& Msg) { showMessage(Msg); }

void RegisterDialogComponents() {
  RegisterClasses({&TOpenDialog::StaticClassInfo(), &TSaveDialog::StaticClassInfo()});
}

} // namespace kv::platform
