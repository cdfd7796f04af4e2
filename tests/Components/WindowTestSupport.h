// Windows drawing onto recording surfaces: the tests read what they painted from the
// surface's log.
#pragma once

#include "../Platform/Ui/ControlTestSupport.h"
#include "Platform/Ui/DrawingContext.h"

#include <string>
#include <vector>

namespace kvtest {

// What one paint of a control draws on its window's recording surface.
inline std::vector<std::string> paintLog(kv::platform::TWinControl* c) {
  auto* s = static_cast<kv::platform::RecordingSurface*>(kv::platform::GetWindowSurface(c->Handle()));
  s->clearLog();
  c->Invalidate();
  kv::platform::Application().ProcessMessages();
  return s->log();
}

// A window of the class under test on a form of its own.
template <class Window> class WindowOnFormTest : public UiTest {
protected:
  WindowOnFormTest(int formWidth, int formHeight) : formWidth_(formWidth), formHeight_(formHeight) {}
  void SetUp() override {
    using namespace kv::platform;
    UiTest::SetUp();
    form = TForm::CreateNew<TForm>(&Application());
    form->SetBounds(0, 0, formWidth_, formHeight_);
    win = new Window(form);
    win->SetParent(form);
  }
  kv::platform::RecordingSurface& surface() {
    return *dynamic_cast<kv::platform::RecordingSurface*>(kv::platform::GetWindowSurface(win->Handle()));
  }
  // The lines of the surface's log that start with prefix.
  std::vector<std::string> log(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : surface().log())
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }

  kv::platform::TForm* form = nullptr;
  Window* win = nullptr;

private:
  int formWidth_, formHeight_;
};

} // namespace kvtest
