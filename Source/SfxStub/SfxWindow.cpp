// The self-extractor's window part: a small window of the class library (the target folder with
// a browse button, the member list when the builder asked for it, what to do with existing
// files, Extract and Close) and the class library's message boxes. The stub loads this part
// where a display is there and talks to it through the C table of SfxWindowApi.h only.
#include "SfxWindowApi.h"

#include "Platform/Dialogs/Dialogs.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/GtkPresenter.h"
#include "Platform/Ui/StdCtrls.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace sfxwindow {

using namespace kv::platform;
namespace fs = std::filesystem;

// The overwrite choices in the order the window lists them, as header bytes.
constexpr int32_t kOverwriteOrder[] = {2, 0, 1};

class TSfxForm : public TForm {
  KV_CLASS_INFO(TSfxForm)
public:
  explicit TSfxForm(TComponent* AOwner);
  void Setup(const KvSfxStart& Request);
  // Runs messages until the user decides: true for the default button, false for Close.
  bool WaitForDecision();
  // After Extract: the choices are fixed and the window shows where the work stands.
  void ShowProgress(const std::string& Name, uint64_t Done, uint64_t Total);
  // After the extraction: the command line in an edit, Run and Close.
  void AskCommand(const std::string& Directory, const std::string& Command);

  TLabel* TargetLabel = nullptr;
  TEdit* TargetEdit = nullptr;
  TButton* BrowseButton = nullptr;
  TLabel* FilesLabel = nullptr;
  TListView* FileList = nullptr;
  TRadioGroup* OverwriteGroup = nullptr;
  TLabel* StatusLabel = nullptr;
  TProgressBar* Progress = nullptr;
  TEdit* CommandEdit = nullptr;
  TButton* ExtractButton = nullptr;
  TButton* CloseButton = nullptr;
  bool StopRequested = false;

private:
  void place(TControl* Control, int X, int Y, int W, int H);
  void browse();
  void accept();
  int decision_ = 0; // 1 the default button, -1 Close
  bool working_ = false;
};

const TClassInfo& TSfxForm::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TSfxForm, TForm>("TSfxForm").Build();
  return info;
}

TSfxForm::TSfxForm(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(TBorderStyle::bsDialog);
  SetPosition(TPosition::poScreenCenter);
  TargetLabel = new TLabel(this);
  TargetLabel->SetCaption("E&xtract the files to:");
  TargetEdit = new TEdit(this);
  BrowseButton = new TButton(this);
  BrowseButton->SetCaption("&Browse...");
  FilesLabel = new TLabel(this);
  FilesLabel->SetCaption("&Files:");
  FileList = new TListView(this);
  FileList->SetViewStyle(TViewStyle::vsReport);
  FileList->SetMultiSelect(true);
  FileList->SetRowSelect(true);
  FileList->SetReadOnly(true);
  FileList->SetHideSelection(false);
  OverwriteGroup = new TRadioGroup(this);
  OverwriteGroup->SetCaption("Existing files");
  OverwriteGroup->SetColumns(3);
  for (const char* item : {"&Ask first", "&Replace", "&Keep"})
    OverwriteGroup->Items().Add(item);
  StatusLabel = new TLabel(this);
  StatusLabel->SetShowAccelChar(false);
  Progress = new TProgressBar(this);
  CommandEdit = new TEdit(this);
  CommandEdit->SetVisible(false);
  ExtractButton = new TButton(this);
  ExtractButton->SetCaption("&Extract");
  ExtractButton->SetDefault(true);
  CloseButton = new TButton(this);
  CloseButton->SetCaption("Close");
  CloseButton->SetCancel(true);
  TargetLabel->SetFocusControl(TargetEdit);

  BrowseButton->OnClick.Bind([this](TObject*) { browse(); });
  ExtractButton->OnClick.Bind([this](TObject*) { accept(); });
  CloseButton->OnClick.Bind([this](TObject*) {
    if (working_)
      StopRequested = true;
    else
      decision_ = -1;
  });
  // The window's own close box is the Close button; the window goes only when the stub says so.
  OnCloseQuery.Bind([this](TObject*, bool& CanClose) {
    CanClose = false;
    CloseButton->Click();
  });
}

void TSfxForm::place(TControl* Control, int X, int Y, int W, int H) {
  Control->SetBounds(X, Y, W, H);
  Control->SetParent(this);
}

void TSfxForm::Setup(const KvSfxStart& Request) {
  SetCaption(Request.caption ? Request.caption : "");
  TargetEdit->SetText(Request.directory ? Request.directory : "");
  constexpr int width = 440, margin = 12, inner = width - 2 * margin;
  int y = margin;
  place(TargetLabel, margin, y, inner, 16);
  place(TargetEdit, margin, y += 18, inner - 90, 21);
  place(BrowseButton, width - margin - 82, y - 2, 82, 25);
  y += 32;
  if (Request.chooseFiles) {
    place(FilesLabel, margin, y, inner, 16);
    place(FileList, margin, y += 18, inner, 160);
    FileList->Columns().Add()->SetCaption("Name");
    FileList->Column(0)->SetWidth(inner - 94);
    TListColumn* size = FileList->Columns().Add();
    size->SetCaption("Size");
    size->SetWidth(90);
    size->SetAlignment(taRightJustify);
    FileList->Items().BeginUpdate();
    for (size_t i = 0; i < Request.memberCount; ++i) {
      TListItem* item = FileList->Items().Add();
      item->SetCaption(Request.members[i].name ? Request.members[i].name : "");
      item->SubItems().Add(std::to_string(Request.members[i].size));
      item->SetSelected(true);
    }
    FileList->Items().EndUpdate();
    y += 168;
  }
  if (Request.showOverwrite) {
    place(OverwriteGroup, margin, y, inner, 42);
    const auto* at = std::find(std::begin(kOverwriteOrder), std::end(kOverwriteOrder), Request.overwrite);
    OverwriteGroup->SetItemIndex(at == std::end(kOverwriteOrder) ? 0 : int(at - std::begin(kOverwriteOrder)));
    y += 50;
  }
  place(StatusLabel, margin, y, inner, 16);
  place(CommandEdit, margin, y + 18, inner, 21);
  place(Progress, margin, y += 20, inner, 16);
  y += 28;
  place(ExtractButton, width - margin - 166, y, 80, 25);
  place(CloseButton, width - margin - 80, y, 80, 25);
  SetClientSize(width, y + 25 + margin);
  SetActiveControl(ExtractButton);
}

bool TSfxForm::WaitForDecision() {
  decision_ = 0;
  while (decision_ == 0 && !Application().Terminated())
    Application().HandleMessage();
  return decision_ > 0;
}

void TSfxForm::accept() {
  if (working_) return;
  if (!CommandEdit->Visible()) {
    std::string target = TargetEdit->Text();
    while (!target.empty() && target.back() == ' ')
      target.pop_back();
    if (target.empty()) {
      dialogs().messageBox(
          {"Please name the folder to extract the files to.", Caption(), mb::OK | mb::ICONWARNING});
      return;
    }
    if (FileList->Parent() && FileList->SelCount() == 0) {
      dialogs().messageBox({"Please choose at least one file.", Caption(), mb::OK | mb::ICONWARNING});
      return;
    }
  }
  decision_ = 1;
}

void TSfxForm::browse() {
  FileDialogRequest request;
  request.folder = true;
  request.title = "Extract to";
  std::error_code ec;
  if (fs::is_directory(TargetEdit->Text(), ec)) request.initialDir = TargetEdit->Text();
  if (const auto chosen = dialogs().fileDialog(request)) TargetEdit->SetText(*chosen);
}

void TSfxForm::ShowProgress(const std::string& Name, uint64_t Done, uint64_t Total) {
  if (!working_) {
    working_ = true;
    for (TControl* c :
         std::initializer_list<TControl*>{TargetEdit, BrowseButton, FileList, OverwriteGroup, ExtractButton})
      c->SetEnabled(false);
    CloseButton->SetCaption("&Stop");
  }
  StatusLabel->SetCaption(Name);
  Progress->SetPosition(Total ? static_cast<int>(Done * 100 / Total) : 0);
  Application().ProcessMessages();
}

void TSfxForm::AskCommand(const std::string& Directory, const std::string& Command) {
  working_ = false;
  Progress->SetVisible(false);
  StatusLabel->SetCaption("Run this command in " + Directory + ":");
  CommandEdit->SetText(Command);
  CommandEdit->SetVisible(true);
  ExtractButton->SetCaption("&Run");
  ExtractButton->SetEnabled(true);
  CloseButton->SetCaption("Close");
  SetActiveControl(CommandEdit);
}

// ---- the C table

struct Part {
  TSfxForm* form = nullptr;
  std::string directory, password, command;

  TSfxForm& window() {
    if (!form) form = TCustomForm::CreateNew<TSfxForm>(nullptr);
    return *form;
  }
};

Part& part(void* self) { return *static_cast<Part*>(self); }

// Nothing thrown in here reaches the stub: a failure answers as the safe choice would.
template <class R, class F> R guarded(R safe, F&& f) {
  try {
    return f();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
  }
  return safe;
}

int32_t start(void* self, const KvSfxStart* request, KvSfxChoice* choice) {
  return guarded<int32_t>(0, [&] {
    TSfxForm& f = part(self).window();
    Application().SetTitle(request->caption ? request->caption : "");
    f.Setup(*request);
    f.Show();
    if (!f.WaitForDecision()) return 0;
    part(self).directory = f.TargetEdit->Text();
    choice->directory = part(self).directory.c_str();
    for (size_t i = 0; i < request->memberCount && choice->chosen; ++i)
      choice->chosen[i] = !f.FileList->Parent() || f.FileList->Items().Item(int(i))->Selected();
    const int index = f.OverwriteGroup->ItemIndex();
    choice->overwrite =
        f.OverwriteGroup->Parent() && index >= 0 && index < 3 ? kOverwriteOrder[index] : request->overwrite;
    f.ShowProgress("", 0, 0);
    return 1;
  });
}

int32_t progress(void* self, const char* name, uint64_t done, uint64_t total) {
  return guarded<int32_t>(1, [&] {
    if (!part(self).form) return 1;
    part(self).form->ShowProgress(name ? name : "", done, total);
    return part(self).form->StopRequested ? 0 : 1;
  });
}

int32_t messageBox(void*, const char* text, const char* caption, uint32_t flags) {
  const MessageBoxRequest request{text ? text : "", caption ? caption : "", flags};
  return guarded<int32_t>(safeMessageBoxAnswer(flags), [&] { return dialogs().messageBox(request); });
}

const char* password(void* self, const char* caption, const char* prompt) {
  return guarded<const char*>(nullptr, [&]() -> const char* {
    PasswordRequest request;
    request.caption = caption ? caption : "";
    request.prompt = prompt ? prompt : "";
    request.buttons = 1 | 2;
    request.buttonCaptions = {"OK", "Cancel"};
    request.maxLength = 511;
    const PasswordReply reply = dialogs().password(request);
    if (reply.result != mrOk) return nullptr;
    part(self).password = reply.text;
    return part(self).password.c_str();
  });
}

const char* editCommand(void* self, const char* directory, const char* command) {
  return guarded<const char*>(nullptr, [&]() -> const char* {
    TSfxForm& f = part(self).window();
    if (!f.Visible()) return nullptr;
    f.AskCommand(directory ? directory : "", command ? command : "");
    if (!f.WaitForDecision()) return nullptr;
    part(self).command = f.CommandEdit->Text();
    return part(self).command.c_str();
  });
}

void close(void* self) {
  guarded<int>(0, [&] {
    if (part(self).form) TComponent::Free(part(self).form);
    part(self).form = nullptr;
    ResetApplication();
    return 0;
  });
}

} // namespace sfxwindow

extern "C" __attribute__((visibility("default"))) int32_t kvSfxWindowOpen(int32_t version,
                                                                          KvSfxWindow* window) {
  using namespace sfxwindow;
  return guarded<int32_t>(0, [&] {
    if (version != KV_SFX_WINDOW_VERSION || !window || !UseDesktopIfAvailable()) return 0;
    Application().Initialize();
    static Part one;
    *window = KvSfxWindow{&one, &start, &progress, &messageBox, &password, &editCommand, &close};
    return 1;
  });
}
