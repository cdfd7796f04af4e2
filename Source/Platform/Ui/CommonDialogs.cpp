#include "Platform/Ui/CommonDialogs.h"

#include "Platform/Dialogs/MessageBoxes.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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
  const std::string ext = DefaultExt.substr(std::min(DefaultExt.find_first_not_of('.'), DefaultExt.size()));
  if (ext.empty() || FileName.empty()) return FileName;
  const auto slash = FileName.find_last_of('/');
  const std::string base = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
  if (base.empty() || base.find('.') != std::string::npos) return FileName;
  return FileName + "." + ext;
}

namespace {
std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}
} // namespace

std::vector<std::string> FilePatterns(const std::string& Patterns) {
  std::vector<std::string> out;
  for (const std::string& p : split(Patterns, ';')) {
    const size_t a = p.find_first_not_of(" \t");
    if (a != std::string::npos) out.push_back(p.substr(a, p.find_last_not_of(" \t") - a + 1));
  }
  return out;
}

std::vector<std::pair<std::string, std::vector<std::string>>> ParseFileFilter(const std::string& Filter) {
  std::vector<std::pair<std::string, std::vector<std::string>>> filters;
  if (Filter.empty()) return filters;
  const std::vector<std::string> parts = split(Filter, '|');
  for (size_t i = 0; i + 1 < parts.size(); i += 2)
    if (auto patterns = FilePatterns(parts[i + 1]); !patterns.empty())
      filters.emplace_back(parts[i], std::move(patterns));
  return filters;
}

ChosenFileCheck CheckChosenFile(const FileDialogRequest& Request, const std::string& Path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (Request.pathMustExist && !fs::is_directory(fs::path(Path).parent_path(), ec))
    return {ChosenFileCheck::Refuse,
            Path + "\nPath does not exist.\nPlease verify the correct path was given."};
  const bool exists = fs::exists(Path, ec);
  if (Request.fileMustExist && !exists)
    return {ChosenFileCheck::Refuse,
            Path + "\nFile not found.\nPlease verify the correct file name was given."};
  if (Request.save && Request.overwritePrompt && exists)
    return {ChosenFileCheck::AskReplace, Path + " already exists.\nDo you want to replace it?"};
  return {};
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
