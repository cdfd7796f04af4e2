// KVSetupKit: the setup unpacker. An installation step runs
//
//   KVSetupKit ANY ARCHIVE TARGET
//
// and every member of the password-protected ARCHIVE is extracted below TARGET (created
// when missing, with the archive's folders). The first argument belongs to the caller and
// is not used. An empty argument ends the argument list, as the command-line rules of the
// original platform have it.
//
// The form stays off screen; the only windows are the archive component's message boxes
// and the error dialog for a wrong command line. Without a display their texts go to
// standard error and every question gets its safe answer (Cancel or No), so nothing waits.
//
// Exit codes: 0 every member was extracted; 1 the extraction failed or was incomplete (the
// archive could not be read, the unzip engine is missing, a password was wrong, a member
// was refused); 2 the command line was not the three arguments.
#include "uMainForm.h"

#include "Platform/Dialogs/ConsoleDialogs.h"
#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/GtkPresenter.h"

#include <cstdio>
#include <exception>
#include <memory>

using namespace kv::platform;

namespace {

int run(int argc, char** argv) {
  int count = 1;
  while (count < argc && argv[count][0] != '\0')
    ++count;
  SetCommandLine(count, argv);
  // With a display the message boxes are real windows; the form itself stays off screen.
  // Nobody may be asked when there is none (or it cannot be reached), not even on a
  // terminal: an installer that started us is waiting for the end.
  if (!UseDesktopIfAvailable()) setDialogs(std::make_unique<NonInteractiveDialogs>());

  RegisterFormResource("TForm1", uMainForm::Form1Text, uMainForm::Form1FileName);
  Application().Initialize();
  Application().SetTitle("KVSetupKit");
  Application().CreateForm(uMainForm::Form1);
  Application().Run();
  const int exitCode = uMainForm::Form1 ? uMainForm::Form1->ExitCode() : uMainForm::ExitFailed;
  // A member the engine refused (an unsafe name, a wrong password) is reported only to the
  // component's message event, which this form leaves unbound; the installer's log gets
  // at least the outcome.
  if (exitCode == uMainForm::ExitFailed)
    std::fprintf(stderr, "KVSetupKit: the archive was not extracted completely.\n");
  // The form and its component go while the window system is still there; left to the
  // end of the process, their windows would be destroyed after it.
  uMainForm::Form1 = nullptr;
  ResetApplication();
  return exitCode;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "KVSetupKit: %s\n", e.what());
    return uMainForm::ExitFailed;
  }
}
