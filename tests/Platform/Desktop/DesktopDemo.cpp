// A small program on the class library that shows one form on the desktop and prints every
// event its controls see, one line each, so that a test can drive it with real input and
// check what arrived. Without a display it runs headless: the form shows, nothing can happen,
// and the program ends.
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/GtkPresenter.h"

#include <iostream>
#include <string>

using namespace kv::platform;

namespace {

void say(const std::string& line) { std::cout << line << std::endl; }

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

} // namespace

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  const bool desktop = UseDesktopIfAvailable();
  say(desktop ? "desktop" : "headless");
  Application().Initialize();

  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  Application().SetMainForm(form);
  form->SetBorderStyle(TBorderStyle::bsSingle);
  form->SetCaption("Korvalis desktop");
  form->SetBounds(40, 40, 340, 240);
  form->SetColor(clWhite);
  form->OnClose.Bind([](TObject*, TCloseAction&) { say("closed"); });

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

  // On the desktop the program never outlives a test that lost track of it.
  auto* guard = new TTimer(form);
  guard->SetInterval(30000);
  guard->SetEnabled(desktop);
  guard->OnTimer.Bind([](TObject*) {
    say("timeout");
    Application().Terminate();
  });

  form->OnShow.Bind([](TObject*) { say("shown"); });
  Application().Run();
  say("exit");
  return 0;
}
