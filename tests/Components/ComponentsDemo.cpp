// A stored form of the component library on the desktop: the program loads the form file it is
// given, adds a drop-down field placed with SetBounds and holding a value too long for it, shows
// the form and prints where each window's client area lies on the screen and, whenever they
// change, where the scrolling windows' bars stand, so that a test can drive it with real input.
// Without a display it runs headless and ends at once.
//
//   kvcomponentsdemo FORMFILE
#include "DropDownListView.h"
#include "KVGeneralPurposeWindow.h"
#include "KVWindow.h"

#include "Platform/Rtl/Streaming.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/GtkPresenter.h"

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

using namespace kv::platform;

namespace {

void say(const std::string& line) { std::cout << line << std::endl; }

// The positions of a window's two bars, in its own units.
std::string positions(TComponent* c) {
  if (auto* w = dynamic_cast<KVWindow::TKVWindow*>(c))
    return std::to_string(w->GetXPos()) + " " + std::to_string(w->GetYPos());
  if (auto* g = dynamic_cast<TScrollingWinControl*>(c))
    return std::to_string(g->HorzScrollBar().Position()) + " " +
           std::to_string(g->VertScrollBar().Position());
  return "";
}

} // namespace

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  if (argc < 2) {
    say("usage: kvcomponentsdemo FORMFILE");
    return 2;
  }
  std::ifstream in(argv[1]);
  std::stringstream text;
  text << in.rdbuf();
  const bool desktop = UseDesktopIfAvailable();
  Application().Initialize();

  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  Application().SetMainForm(form);
  ReadComponentText(*form, text.str(), argv[1]);
  form->SetCaption("Korvalis components");
  auto* pick = new DropDownListView::TDropDownListView(form);
  pick->SetName("Pick");
  pick->SetParent(form);
  pick->SetBounds(320, 170, 150, 21);
  pick->SetText("Dichte bei zwanzig Grad 1,25 g/ml");
  pick->SetSelStart(static_cast<int>(pick->Text().size()));
  form->Show();
  for (const char* name : {"Chart", "Lines", "Sheet", "Pick"})
    if (auto* c = dynamic_cast<TControl*>(form->FindComponent(name))) {
      const TPoint p = c->ClientToScreen(TPoint{0, 0});
      say(std::string("at ") + name + " " + std::to_string(p.X) + " " + std::to_string(p.Y));
    }

  std::map<std::string, std::string> shown;
  auto* watch = new TTimer(form);
  watch->SetInterval(50);
  watch->OnTimer.Bind([&](TObject*) {
    for (const char* name : {"Chart", "Lines", "Sheet"}) {
      const std::string now = positions(form->FindComponent(name));
      if (shown[name] != now) say(std::string("pos ") + name + " " + (shown[name] = now));
    }
  });
  // On the desktop the program never outlives a test that lost track of it.
  auto* guard = new TTimer(form);
  guard->SetInterval(60000);
  guard->SetEnabled(desktop);
  guard->OnTimer.Bind([](TObject*) {
    say("timeout");
    Application().Terminate();
  });
  say(desktop ? "desktop" : "headless");
  if (desktop) Application().Run();
  return 0;
}
