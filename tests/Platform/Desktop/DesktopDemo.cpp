// A small program on the class library that shows one form on the desktop and prints every
// event its controls see, one line each, so that a test can drive it with real input and
// check what arrived. Without a display it runs headless: the form shows, nothing can happen,
// and the program ends.
//
//   kvdesktopdemo [FOLDER]            custom-painted blocks and a type box (F2, F3: file choosers)
//   kvdesktopdemo --controls          a page control with edits and buttons
//   kvdesktopdemo --busy              the blocks, repainted and the cursor changed without pause
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/GtkFileChooser.h"
#include "Platform/Ui/GtkPresenter.h"
#include "Platform/Ui/StdCtrls.h"

#include <iostream>
#include <string>

using namespace kv::platform;

namespace {

void say(const std::string& line) { std::cout << line << std::endl; }

std::string folder; // where the file choosers start (the first argument)

// F2 asks for an archive to open, F3 for a name to save one under.
void chooseFile(bool save) {
  FileDialogRequest r;
  r.save = save;
  r.title = save ? "Save archive" : "Open archive";
  r.filter = "Zip files|*.zip|All files|*.*";
  r.defaultExt = "zip";
  r.initialDir = folder;
  r.fileName = save ? "KorvBak" : "";
  if (!DesktopFileChooserAvailable()) {
    say("no file chooser");
    return;
  }
  const auto chosen = ChooseFileOnDesktop(r);
  say(chosen ? "chosen " + *chosen : "cancelled");
}

// A coloured block: a click turns it from red to blue and back.
class TSwatch : public TCustomControl {
  KV_CLASS_INFO(TSwatch)
public:
  explicit TSwatch(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle(ControlStyle() + TControlStyle{csDoubleClicks});
  }
  std::string Name;

protected:
  void Click() override {
    TCustomControl::Click();
    SetColor(Color() == clRed ? clBlue : clRed);
    say("click " + Name + (Color() == clBlue ? " blue" : " red"));
  }
  void DblClick() override {
    TCustomControl::DblClick();
    say("dblclick " + Name);
  }
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TCustomControl::MouseDown(Button, Shift, X, Y);
    say("mousedown " + Name + " " + std::to_string(static_cast<int>(Button)) + " " + std::to_string(X) + " " +
        std::to_string(Y));
  }
};
const TClassInfo& TSwatch::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TSwatch, TCustomControl>("TSwatch").Build();
  return info;
}

// A box that takes the keyboard and shows what was typed; Escape closes the form.
class TTypeBox : public TCustomControl {
  KV_CLASS_INFO(TTypeBox)
public:
  using TCustomControl::TCustomControl;
  std::string Text;

  void Dispatch(TMessage& Message) override {
    if (Message.Msg == WM_MOUSEWHEEL) say("wheel " + std::to_string(hiWord(Message.WParam)));
    if (Message.Msg == WM_SETFOCUS) say("focus box");
    TCustomControl::Dispatch(Message);
  }

protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TCustomControl::MouseDown(Button, Shift, X, Y);
    SetFocus();
  }
  void KeyDown(uint16_t& Key, TShiftState Shift) override {
    say("keydown " + std::to_string(Key));
    if (Key == VK_F2 || Key == VK_F3) {
      chooseFile(Key == VK_F3);
      return;
    }
    if (Key == VK_ESCAPE) {
      if (auto* form = dynamic_cast<TCustomForm*>(Owner())) form->Close();
      return;
    }
    TCustomControl::KeyDown(Key, Shift);
  }
  void KeyPress(char& Key) override {
    TCustomControl::KeyPress(Key);
    if (static_cast<unsigned char>(Key) < 0x20) return;
    Text += Key;
    say("text " + Text);
    Invalidate();
  }
  void Paint() override {
    Canvas().Font().SetColor(clBlack);
    Canvas().TextOut(4, 6, Text);
  }
};
const TClassInfo& TTypeBox::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TTypeBox, TCustomControl>("TTypeBox").Build();
  return info;
}

// Prints where the centre of a control lies on the screen, for the test to click there.
void sayPlace(const std::string& name, TControl* control, TRect part) {
  TPoint centre{(part.Left + part.Right) / 2, (part.Top + part.Bottom) / 2};
  centre = control->ClientToScreen(centre);
  say("at " + name + " " + std::to_string(centre.X) + " " + std::to_string(centre.Y));
}

// The backup program's kind of form: two pages, each with a file edit and a button.
void buildControlsForm(TForm* form) {
  form->SetCaption("Korvalis controls");
  form->SetBounds(40, 40, 420, 300);
  auto* pages = new TPageControl(form);
  pages->SetBounds(8, 8, 300, 200);
  pages->SetParent(form);
  struct Page {
    const char* caption;
    const char* button;
  };
  std::vector<TTabSheet*> sheets;
  for (const Page& p : {Page{"Backup", "Start"}, Page{"Restore", "Restore"}}) {
    auto* sheet = new TTabSheet(form);
    sheet->SetCaption(p.caption);
    sheet->SetPageControl(pages);
    auto* edit = new TEdit(form);
    edit->SetBounds(8, 8, 200, 21);
    edit->SetParent(sheet);
    const std::string name = p.caption;
    edit->OnChange.Bind([edit, name](TObject*) { say("edit " + name + " " + edit->Text()); });
    auto* button = new TButton(form);
    button->SetCaption(p.button);
    button->SetBounds(8, 40, 80, 25);
    button->SetParent(sheet);
    const std::string label = p.button;
    button->OnClick.Bind([edit, label](TObject*) { say("click " + label + " " + edit->Text()); });
    sheets.push_back(sheet);
  }
  pages->SetActivePage(sheets[0]);
  pages->OnChange.Bind([pages](TObject*) {
    say("page " + std::to_string(pages->ActivePageIndex()) + " " + pages->ActivePage()->Caption());
  });
  auto* close = new TButton(form);
  close->SetCaption("Close");
  close->SetBounds(320, 8, 80, 25);
  close->SetParent(form);
  close->OnClick.Bind([form](TObject*) { form->Close(); });

  form->OnShow.Bind([pages, close](TObject*) {
    say("shown");
    for (int i = 0; i < pages->PageCount(); ++i)
      sayPlace("tab" + std::to_string(i), pages, pages->TabRect(i));
    // The pages lie on top of each other: the controls of both are at the same places.
    TTabSheet* first = pages->Pages(0);
    sayPlace("edit", first->Controls(0), first->Controls(0)->ClientRect());
    sayPlace("button", first->Controls(1), first->Controls(1)->ClientRect());
    sayPlace("close", close, close->ClientRect());
  });
}

} // namespace

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  const bool controls = argc > 1 && std::string(argv[1]) == "--controls";
  const bool busy = argc > 1 && std::string(argv[1]) == "--busy";
  if (argc > 1 && !controls && !busy) folder = argv[1];
  const bool desktop = UseDesktopIfAvailable();
  say(desktop ? "desktop" : "headless");
  Application().Initialize();

  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  Application().SetMainForm(form);
  form->SetBorderStyle(TBorderStyle::bsSingle);
  form->OnClose.Bind([](TObject*, TCloseAction&) { say("closed"); });
  // On the desktop the program never outlives a test that lost track of it.
  auto* guard = new TTimer(form);
  guard->SetInterval(60000);
  guard->SetEnabled(desktop);
  guard->OnTimer.Bind([](TObject*) {
    say("timeout");
    Application().Terminate();
  });
  if (controls) {
    buildControlsForm(form);
    Application().Run();
    say("exit");
    return 0;
  }
  form->SetCaption("Korvalis desktop");
  form->SetBounds(40, 40, 340, 240);
  form->SetColor(clWhite);

  auto* swatch = new TSwatch(form);
  swatch->Name = "swatch";
  swatch->SetBounds(20, 20, 80, 50);
  swatch->SetColor(clRed);
  swatch->SetParent(form);

  auto* twice = new TSwatch(form);
  twice->Name = "twice";
  twice->SetBounds(120, 20, 80, 50);
  twice->SetColor(clLime);
  twice->SetParent(form);

  auto* box = new TTypeBox(form);
  box->SetBounds(20, 90, 200, 30);
  box->SetColor(clYellow);
  box->SetParent(form);

  form->OnShow.Bind([](TObject*) { say("shown"); });
  if (busy) {
    // As a program at work keeps the window system busy: whenever the desktop takes the window
    // away, requests about it are on their way.
    auto* work = new TTimer(form);
    work->SetInterval(1);
    work->OnTimer.Bind([swatch](TObject*) {
      swatch->SetColor(swatch->Color() == clRed ? clBlue : clRed);
      swatch->Repaint();
      Screen().SetCursor(Screen().Cursor() == crHourGlass ? crDefault : crHourGlass);
    });
  }
  Application().Run();
  say("exit");
  return 0;
}
