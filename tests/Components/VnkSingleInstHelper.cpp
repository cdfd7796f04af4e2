// A program with a single-instance guard on its main form, for the guard's tests.
//   VnkSingleInstHelper [--desktop] plain|handler [stopfile]
// prints one line: "FIRST <instance> <desktop window>" when it is the first, "TERMINATED" when
// the guard ended it, "HANDLER <instance> none|front|refused" when its handler was told of the
// first (no window, or what SetForegroundWindow made of the window handed over). A first
// instance given a stop file runs until that file appears; with --desktop it shows its form,
// "Guarded <program name>", on the display and runs until the form is closed.
#include "VnkSingleInst.h"

#include "Platform/Ui/Forms.h"
#include "Platform/Ui/GtkPresenter.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace kv::platform;

namespace {
// Gives the name back as a program does when its form goes.
int leave(VnkSingleInst::TVarnekSingleInstance* guard) {
  std::fflush(stdout);
  kv::platform::TComponent::Free(guard);
  return 0;
}
} // namespace

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool desktop = !args.empty() && args[0] == "--desktop";
  if (desktop) {
    args.erase(args.begin());
    if (!UseDesktopIfAvailable()) return 2;
  }
  Application().Initialize();
  auto* form = TForm::CreateNew<TForm>(&Application());
  form->SetCaption("Guarded " + std::filesystem::path(argv[0]).filename().string());
  form->SetBounds(100, 100, 300, 200);
  auto* guard = new VnkSingleInst::TVarnekSingleInstance(form);
  bool handled = false;
  if (!args.empty() && args[0] == "handler")
    guard->OnAlreadyRunning.Bind([&](TObject*, uint32_t inst, HWND wnd) {
      const char* front = !wnd ? "none" : SetForegroundWindow(wnd) ? "front" : "refused";
      std::printf("HANDLER %u %s\n", inst, front);
      handled = true;
    });
  guard->Loaded();
  if (handled) return leave(guard);
  if (Application().Terminated()) {
    std::printf("TERMINATED\n");
    return leave(guard);
  }
  const uint64_t window = GetPresenter()->desktopWindowId(form->Handle());
  std::printf("FIRST %u %llu\n", VnkSingleInst::ModuleInstance(), static_cast<unsigned long long>(window));
  std::fflush(stdout);
  if (desktop) {
    Application().SetMainForm(form);
    Application().Run();
  } else if (args.size() > 1) {
    for (int i = 0; i < 1500 && !std::filesystem::exists(args[1]); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return leave(guard);
}
