#include "Platform/Ui/WindowDialogs.h"

#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Ui/CommonDialogs.h"
#include "Platform/Ui/GtkFileChooser.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kv::platform {

namespace fs = std::filesystem;
using namespace classic;

// ---- the icon

const TClassInfo& TMessageIcon::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TMessageIcon, TGraphicControl>("TMessageIcon").Build();
  return info;
}

TMessageIcon::TMessageIcon(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(0, 0, 32, 32); }

void TMessageIcon::Paint() {
  TCanvas& c = Canvas();
  auto bar = [&](int x0, int y0, int x1, int y1, TColor color) {
    c.Brush().SetColor(color);
    c.FillRect(TRect{x0, y0, x1, y1});
  };
  switch (Kind) {
  case TMessageIconKind::miError:
    // A red disc with a white cross.
    c.Pen().SetColor(clMaroon);
    c.Brush().SetColor(clRed);
    c.Ellipse(0, 0, 32, 32);
    c.Pen().SetColor(clWhite);
    for (int d = -1; d <= 1; ++d) {
      c.MoveTo(9 + d, 9);
      c.LineTo(23 + d, 23);
      c.MoveTo(22 + d, 9);
      c.LineTo(8 + d, 23);
    }
    break;
  case TMessageIconKind::miWarning:
    // A yellow triangle with a black outline and an exclamation mark.
    for (int y = 2; y < 30; ++y) {
      const int half = (y - 2) / 2 + 1;
      bar(16 - half, y, 16 + half, y + 1, clYellow);
      c.SetPixel(16 - half, y, clBlack);
      c.SetPixel(16 + half - 1, y, clBlack);
    }
    bar(1, 29, 31, 30, clBlack);
    bar(15, 10, 17, 22, clBlack);
    bar(15, 24, 17, 27, clBlack);
    break;
  case TMessageIconKind::miInformation:
  case TMessageIconKind::miQuestion:
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clWhite);
    c.Ellipse(0, 0, 32, 32);
    if (Kind == TMessageIconKind::miInformation) {
      bar(14, 6, 18, 10, clBlue);
      bar(14, 12, 18, 26, clBlue);
      bar(12, 24, 20, 26, clBlue);
    } else {
      bar(11, 7, 21, 9, clBlue);
      bar(19, 9, 21, 15, clBlue);
      bar(15, 15, 21, 17, clBlue);
      bar(15, 17, 17, 20, clBlue);
      bar(15, 22, 17, 25, clBlue);
      bar(11, 9, 13, 12, clBlue);
    }
    break;
  default:
    break;
  }
}

// ---- message forms

const TClassInfo& TMessageForm::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TMessageForm, TForm>("TMessageForm").Build();
  return info;
}

TMessageForm* CreateMessageForm(const std::string& Text, const std::string& Caption, TMessageIconKind Icon,
                                const std::vector<MessageButton>& Buttons, int DefaultIndex,
                                int CancelIndex) {
  auto* form = TCustomForm::CreateNew<TMessageForm>(nullptr);
  form->SetBorderStyle(TBorderStyle::bsDialog);
  form->SetPosition(TPosition::poScreenCenter);
  form->SetCaption(Caption);
  const int margin = 16, bw = 75, bh = 25, gap = 8;
  int textLeft = margin;
  if (Icon != TMessageIconKind::miNone) {
    form->Icon = new TMessageIcon(form);
    form->Icon->Kind = Icon;
    form->Icon->SetBounds(margin, margin, 32, 32);
    form->Icon->SetParent(form);
    textLeft = margin + 32 + margin;
  }
  // Long texts wrap at three quarters of the screen, as wide as they need otherwise.
  const int maxText = std::max(200, GetSystemMetrics(SM_CXSCREEN) * 3 / 4 - textLeft - margin);
  const auto lines = WrapText(form->Font(), Text, maxText);
  int textWidth = 0;
  for (const auto& l : lines)
    textWidth = std::max(textWidth, MeasureText(form->Font(), l).cx);
  const int textHeight = LineHeight(form->Font()) * static_cast<int>(lines.size());
  form->Message = new TLabel(form);
  form->Message->SetShowAccelChar(false);
  form->Message->SetAutoSize(false);
  form->Message->SetWordWrap(true);
  form->Message->SetBounds(textLeft, margin, textWidth + 1, textHeight);
  form->Message->SetCaption(Text);
  form->Message->SetParent(form);
  const int n = static_cast<int>(Buttons.size());
  const int rowWidth = n * bw + std::max(0, n - 1) * gap;
  const int clientWidth = std::max({textLeft + textWidth + margin, rowWidth + 2 * margin, 120});
  const int top = std::max(margin + textHeight, Icon != TMessageIconKind::miNone ? margin + 32 : 0) + margin;
  form->SetClientSize(clientWidth, top + bh + 12);
  int x = (clientWidth - rowWidth) / 2;
  for (int i = 0; i < n; ++i) {
    auto* b = new TButton(form);
    b->SetCaption(Buttons[static_cast<size_t>(i)].caption);
    b->SetModalResult(Buttons[static_cast<size_t>(i)].result);
    b->SetBounds(x, top, bw, bh);
    b->SetParent(form);
    b->SetDefault(i == DefaultIndex);
    b->SetCancel(i == CancelIndex);
    form->Buttons.push_back(b);
    x += bw + gap;
  }
  if (DefaultIndex >= 0 && DefaultIndex < n)
    form->SetActiveControl(form->Buttons[static_cast<size_t>(DefaultIndex)]);
  return form;
}

namespace {
TModalResult runModal(TCustomForm* form) {
  const ScopeExit freeForm([form] { TComponent::Free(form); });
  return form->ShowModal();
}

TMessageIconKind iconOf(uint32_t flags) {
  switch (flags & mb::IconMask) {
  case mb::ICONERROR:
    return TMessageIconKind::miError;
  case mb::ICONQUESTION:
    return TMessageIconKind::miQuestion;
  case mb::ICONWARNING:
    return TMessageIconKind::miWarning;
  case mb::ICONINFORMATION:
    return TMessageIconKind::miInformation;
  default:
    return TMessageIconKind::miNone;
  }
}

std::string appTitle() { return Application().Title(); }

PasswordDialogRunner& passwordRunner() {
  static PasswordDialogRunner r;
  return r;
}
} // namespace

void SetPasswordDialogRunner(PasswordDialogRunner Runner) { passwordRunner() = std::move(Runner); }

int WindowDialogs::messageBox(const MessageBoxRequest& Request) {
  // Buttons of each type with the ids they answer.
  std::vector<MessageButton> buttons;
  switch (Request.flags & mb::TypeMask) {
  case mb::OKCANCEL:
    buttons = {{"OK", id::OK}, {"Cancel", id::CANCEL}};
    break;
  case mb::ABORTRETRYIGNORE:
    buttons = {{"&Abort", id::ABORT}, {"&Retry", id::RETRY}, {"&Ignore", id::IGNORE}};
    break;
  case mb::YESNOCANCEL:
    buttons = {{"&Yes", id::YES}, {"&No", id::NO}, {"Cancel", id::CANCEL}};
    break;
  case mb::YESNO:
    buttons = {{"&Yes", id::YES}, {"&No", id::NO}};
    break;
  case mb::RETRYCANCEL:
    buttons = {{"&Retry", id::RETRY}, {"Cancel", id::CANCEL}};
    break;
  default:
    buttons = {{"OK", id::OK}};
    break;
  }
  const int n = static_cast<int>(buttons.size());
  const int def = std::min(n - 1, static_cast<int>((Request.flags & mb::DefMask) >> 8));
  int cancel = -1;
  for (int i = 0; i < n; ++i)
    if (buttons[static_cast<size_t>(i)].result == id::CANCEL) cancel = i;
  if (n == 1) cancel = 0;
  TMessageForm* form = CreateMessageForm(Request.text, Request.caption.empty() ? appTitle() : Request.caption,
                                         iconOf(Request.flags), buttons, def, cancel);
  const TModalResult r = runModal(form);
  for (const auto& b : buttons)
    if (b.result == r && r != mrNone) return r;
  // Closed without a button: what Escape would have given, else the safe answer.
  return cancel >= 0 ? buttons[static_cast<size_t>(cancel)].result : safeMessageBoxAnswer(Request.flags);
}

TModalResult WindowDialogs::messageDialog(const MessageDialogRequest& Request) {
  using B = TMsgDlgBtn;
  static const struct {
    B button;
    const char* caption;
    TModalResult result;
  } order[] = {{B::mbYes, "&Yes", mrYes},
               {B::mbNo, "&No", mrNo},
               {B::mbOK, "OK", mrOk},
               {B::mbCancel, "Cancel", mrCancel},
               {B::mbAbort, "&Abort", mrAbort},
               {B::mbRetry, "&Retry", mrRetry},
               {B::mbIgnore, "&Ignore", mrIgnore},
               {B::mbAll, "&All", mrAll},
               {B::mbNoToAll, "N&o to All", mrNoToAll},
               {B::mbYesToAll, "Yes to &All", mrYesToAll},
               {B::mbHelp, "&Help", mrNone}};
  std::vector<MessageButton> buttons;
  int def = -1, cancel = -1;
  for (const auto& o : order)
    if (Request.buttons.Contains(o.button)) buttons.push_back({o.caption, o.result});
  if (buttons.empty()) buttons.push_back({"OK", mrOk});
  auto indexOf = [&](TModalResult r) {
    for (size_t i = 0; i < buttons.size(); ++i)
      if (buttons[i].result == r) return static_cast<int>(i);
    return -1;
  };
  def = indexOf(mrOk) >= 0 ? indexOf(mrOk) : indexOf(mrYes) >= 0 ? indexOf(mrYes) : 0;
  cancel = indexOf(mrCancel) >= 0 ? indexOf(mrCancel) : indexOf(mrNo) >= 0 ? indexOf(mrNo) : indexOf(mrOk);
  std::string caption = Request.caption;
  // A dialog of a kind shows its icon and, without a caption of its own, the kind's name; a custom
  // one the application's title.
  struct Kind {
    TMsgDlgType type;
    TMessageIconKind icon;
    const char* caption;
  };
  static const Kind kinds[] = {{TMsgDlgType::mtWarning, TMessageIconKind::miWarning, "Warning"},
                               {TMsgDlgType::mtError, TMessageIconKind::miError, "Error"},
                               {TMsgDlgType::mtInformation, TMessageIconKind::miInformation, "Information"},
                               {TMsgDlgType::mtConfirmation, TMessageIconKind::miQuestion, "Confirm"}};
  const Kind* kind = nullptr;
  for (const Kind& k : kinds)
    if (k.type == Request.type) kind = &k;
  const TMessageIconKind icon = kind ? kind->icon : TMessageIconKind::miNone;
  if (caption.empty()) caption = kind ? kind->caption : appTitle();
  TMessageForm* form = CreateMessageForm(Request.text, caption, icon, buttons, def, cancel);
  const TModalResult r = runModal(form);
  return r == mrNone ? mrCancel : r;
}

void WindowDialogs::exceptionBox(const std::string& Caption, const std::string& Message) {
  messageBox({Message, Caption, mb::OK | mb::ICONERROR});
}

PasswordReply WindowDialogs::password(const PasswordRequest& Request) {
  if (passwordRunner()) return passwordRunner()(Request);
  // Without the system's own form: the prompt, a hidden entry and the asked buttons.
  static const TModalResult results[] = {mrOk, mrCancel, mrNoToAll, mrAbort};
  std::vector<MessageButton> buttons;
  const int bits = (Request.buttons | 1) & 0xF;
  size_t k = 0;
  for (int i = 0; i < 4; ++i)
    if (bits & (1 << i)) {
      const std::string caption = k < Request.buttonCaptions.size() ? Request.buttonCaptions[k] : "OK";
      buttons.push_back({caption, results[i]});
      ++k;
    }
  TMessageForm* form = CreateMessageForm(Request.prompt, Request.caption, TMessageIconKind::miNone, buttons,
                                         0, buttons.size() > 1 ? 1 : 0);
  auto* edit = new TEdit(form);
  edit->SetPasswordChar('*');
  edit->SetMaxLength(static_cast<int>(Request.maxLength));
  const int top = form->Message->Top() + form->Message->Height() + 8;
  edit->SetBounds(16, top, std::max(120, form->ClientWidth() - 32), 21);
  edit->SetParent(form);
  for (TButton* b : form->Buttons)
    b->SetTop(b->Top() + 29);
  form->SetClientHeight(form->ClientHeight() + 29);
  form->SetActiveControl(edit);
  PasswordReply reply;
  const ScopeExit freeForm([form] { TComponent::Free(form); });
  reply.result = form->ShowModal();
  if (reply.result == mrNone) reply.result = mrCancel;
  if (reply.result == mrOk) reply.text = edit->Text();
  return reply;
}

std::optional<std::string> WindowDialogs::fileDialog(const FileDialogRequest& Request) {
  // On the desktop its own file chooser serves; our form where there is none.
  if (DesktopFileChooserAvailable()) return ChooseFileOnDesktop(Request);
  auto* form = TCustomForm::CreateNew<TFileDialogForm>(nullptr);
  const ScopeExit freeForm([form] { TComponent::Free(form); });
  form->Setup(Request);
  if (form->ShowModal() != mrOk) return std::nullopt;
  return form->Result;
}

// ---- the file dialog

bool MatchesPattern(const std::string& Name, const std::string& Pattern) {
  if (Pattern == "*.*" || Pattern == "*") return true;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  // Iterative wildcard matching with one backtrack point.
  size_t n = 0, p = 0, star = std::string::npos, mark = 0;
  while (n < Name.size()) {
    if (p < Pattern.size() && (Pattern[p] == '?' || lower(Pattern[p]) == lower(Name[n]))) {
      ++n;
      ++p;
    } else if (p < Pattern.size() && Pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < Pattern.size() && Pattern[p] == '*')
    ++p;
  return p == Pattern.size();
}

const TClassInfo& TFileDialogForm::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TFileDialogForm, TForm>("TFileDialogForm").Build();
  return info;
}

TFileDialogForm::TFileDialogForm(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(TBorderStyle::bsDialog);
  SetPosition(TPosition::poScreenCenter);
  SetClientSize(424, 276);
  auto place = [this](auto* c, int x, int y, int w, int h) {
    c->SetBounds(x, y, w, h);
    c->SetParent(this);
    return c;
  };
  // Labels take the size of their text.
  auto label = [&](const char* text, int x, int y) {
    auto* l = new TLabel(this);
    l->SetBounds(x, y, 10, 10);
    l->SetCaption(text);
    l->SetParent(this);
    return l;
  };
  label("Look in:", 8, 8);
  DirLabel = label("", 64, 8);
  DirLabel->SetShowAccelChar(false);
  DirList = place(new TListBox(this), 8, 28, 200, 176);
  FileList = place(new TListBox(this), 216, 28, 200, 176);
  FileNameLabel = label("File &name:", 8, 216);
  FileNameEdit = place(new TEdit(this), 88, 212, 240, 21);
  FilterLabel = label("Files of &type:", 8, 244);
  FilterList = place(new TComboBox(this), 88, 240, 240, 21);
  OkButton = new TButton(this);
  OkButton->SetDefault(true);
  place(OkButton, 340, 210, 75, 25);
  CancelButton = new TButton(this);
  CancelButton->SetCaption("Cancel");
  CancelButton->SetCancel(true);
  CancelButton->SetModalResult(mrCancel);
  place(CancelButton, 340, 242, 75, 25);
  FileNameEdit->SetTabOrder(0);

  OkButton->OnClick.Bind([this](TObject*) { Accept(); });
  DirList->OnDblClick.Bind([this](TObject*) {
    const int i = DirList->ItemIndex();
    if (i < 0) return;
    const std::string name = DirList->Items().Get(i);
    SetDirectory(name == ".." ? fs::path(dir_).parent_path().string() : (fs::path(dir_) / name).string());
  });
  DirList->OnKeyPress.Bind([this](TObject*, char& key) {
    if (key == '\r') {
      DirList->OnDblClick(DirList);
      key = 0;
    }
  });
  FileList->OnClick.Bind([this](TObject*) {
    const int i = FileList->ItemIndex();
    if (i >= 0) FileNameEdit->SetText(FileList->Items().Get(i));
  });
  FileList->OnDblClick.Bind([this](TObject*) {
    const int i = FileList->ItemIndex();
    if (i < 0) return;
    FileNameEdit->SetText(FileList->Items().Get(i));
    Accept();
  });
  FilterList->OnChange.Bind([this](TObject*) {
    typedPattern_.clear();
    fillFiles();
  });
}

void TFileDialogForm::Setup(const FileDialogRequest& Request) {
  request_ = Request;
  SetCaption(!Request.title.empty() ? Request.title : Request.save ? "Save As" : "Open");
  OkButton->SetCaption(Request.folder ? "OK" : Request.save ? "&Save" : "&Open");
  if (Request.folder) {
    // The folders take the room of both lists; there are no files or types to choose.
    DirList->SetWidth(FileList->Left() + FileList->Width() - DirList->Left());
    FileNameLabel->SetCaption("&Folder:");
    for (TControl* c : std::initializer_list<TControl*>{FileList, FilterLabel, FilterList})
      c->SetVisible(false);
    SetClientHeight(CancelButton->Top() + CancelButton->Height() + 8);
  }
  filters_ = ParseFileFilter(Request.filter);
  if (filters_.empty()) filters_.emplace_back("All files", std::vector<std::string>{"*"});
  FilterList->Items().BeginUpdate();
  for (const auto& p : filters_)
    FilterList->Items().Add(p.first);
  FilterList->Items().EndUpdate();
  FilterList->SetItemIndex(std::clamp(Request.filterIndex - 1, 0, static_cast<int>(filters_.size()) - 1));
  // The folder: the initial one, else the file name's own, else the current one.
  fs::path file(Request.fileName);
  std::string dir = Request.initialDir;
  if (dir.empty() && file.has_parent_path()) dir = file.parent_path().string();
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) dir = fs::current_path(ec).string();
  FileNameEdit->SetText(file.filename().string());
  SetDirectory(dir);
}

std::vector<std::string> TFileDialogForm::patterns() const {
  if (!typedPattern_.empty()) return FilePatterns(typedPattern_);
  const int i = FilterList->ItemIndex();
  return i >= 0 && i < static_cast<int>(filters_.size()) ? filters_[static_cast<size_t>(i)].second
                                                         : std::vector<std::string>{"*"};
}

void TFileDialogForm::SetDirectory(const std::string& Dir) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(Dir, ec), ec);
  if (ec || !fs::is_directory(p, ec)) return;
  dir_ = p.string();
  DirLabel->SetCaption(dir_);
  std::vector<std::string> dirs;
  for (fs::directory_iterator it(p, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    if (it->is_directory(ec)) dirs.push_back(name);
  }
  std::sort(dirs.begin(), dirs.end());
  DirList->Items().BeginUpdate();
  DirList->Items().Clear();
  if (p.has_parent_path() && p != p.root_path()) DirList->Items().Add("..");
  for (const auto& d : dirs)
    DirList->Items().Add(d);
  DirList->Items().EndUpdate();
  fillFiles();
}

void TFileDialogForm::fillFiles() {
  if (request_.folder) return;
  std::error_code ec;
  const auto pats = patterns();
  std::vector<std::string> files;
  for (fs::directory_iterator it(dir_, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.' || it->is_directory(ec)) continue;
    if (std::any_of(pats.begin(), pats.end(),
                    [&](const std::string& pat) { return MatchesPattern(name, pat); }))
      files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  FileList->Items().BeginUpdate();
  FileList->Items().Clear();
  for (const auto& f : files)
    FileList->Items().Add(f);
  FileList->Items().EndUpdate();
}

void TFileDialogForm::Accept() {
  std::string name = FileNameEdit->Text();
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  while (!name.empty() && name.front() == ' ')
    name.erase(name.begin());
  if (request_.folder) {
    // The folder shown, or the one named (which need not exist yet).
    Result = name.empty() ? dir_ : (fs::path(dir_) / name).lexically_normal().string();
    SetModalResult(mrOk);
    return;
  }
  if (name.empty()) return;
  std::error_code ec;
  fs::path path = fs::path(name).is_absolute() ? fs::path(name) : fs::path(dir_) / name;
  if (fs::is_directory(path, ec)) {
    SetDirectory(path.string());
    FileNameEdit->SetText(std::string());
    return;
  }
  if (name.find_first_of("*?") != std::string::npos) {
    typedPattern_ = name;
    fillFiles();
    return;
  }
  const std::string chosen = AddDefaultExt(path.lexically_normal().string(), request_.defaultExt);
  const ChosenFileCheck check = CheckChosenFile(request_, chosen);
  if (check.action == ChosenFileCheck::Refuse) {
    dialogs().messageBox({check.text, Caption(), mb::OK | mb::ICONWARNING});
    return;
  }
  if (check.action == ChosenFileCheck::AskReplace &&
      dialogs().messageBox({check.text, Caption(), mb::YESNO | mb::ICONWARNING}) != id::YES)
    return;
  Result = chosen;
  SetModalResult(mrOk);
}

void InstallWindowDialogs() {
  registerWindowDialogs([]() -> std::unique_ptr<DialogService> {
    // Windows on a display need a presenter that shows them; the headless one shows nothing.
    if (!GetPresenter() || dynamic_cast<HeadlessPresenter*>(GetPresenter())) return nullptr;
    return std::make_unique<WindowDialogs>();
  });
}

} // namespace kv::platform
