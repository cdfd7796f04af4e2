// A program with a single-instance guard on its main form, for the guard's tests.
//   VnkSingleInstHelper plain|handler [stopfile]
// prints one line: "FIRST <instance> <window>" when it is the first, "TERMINATED" when the guard
// ended it, "HANDLER <instance> <window>" when its handler was told of the first; a first
// instance given a stop file then runs until that file appears.
#include "VnkSingleInst.h"

#include "Platform/Ui/Forms.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

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
  Application().Initialize();
  auto* form = TForm::CreateNew<TForm>(&Application());
  auto* guard = new VnkSingleInst::TVarnekSingleInstance(form);
  bool handled = false;
  if (argc > 1 && std::string(argv[1]) == "handler")
    guard->OnAlreadyRunning.Bind([&](TObject*, uint32_t inst, HWND wnd) {
      std::printf("HANDLER %u %llu\n", inst, static_cast<unsigned long long>(wnd));
      handled = true;
    });
  guard->Loaded();
  if (handled) return leave(guard);
  if (Application().Terminated()) {
    std::printf("TERMINATED\n");
    return leave(guard);
  }
  std::printf("FIRST %u %llu\n", VnkSingleInst::ModuleInstance(),
              static_cast<unsigned long long>(form->Handle()));
  std::fflush(stdout);
  if (argc > 2)
    for (int i = 0; i < 1500 && !std::filesystem::exists(argv[2]); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return leave(guard);
}
