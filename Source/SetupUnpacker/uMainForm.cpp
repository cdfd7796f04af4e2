#include "uMainForm.h"

#include "Platform/Dialogs/Dialogs.h"
#include "Platform/Paths/Paths.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Rtl/SysUtils.h"
#include "Platform/Rtl/TypInfo.h"

#include <exception>

namespace uMainForm {

using namespace kv::platform;

TForm1* Form1 = nullptr;

const TClassInfo& TForm1::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TForm1, TForm>("TForm1")
                                     .Field("Zip", &TForm1::Zip)
                                     .Field("Timer1", &TForm1::Timer1)
                                     .Method("FormCreate", &TForm1::FormCreate)
                                     .Method("FormShow", &TForm1::FormShow)
                                     .Method("Timer1Timer", &TForm1::Timer1Timer)
                                     .Build();
  return info;
}

int TForm1::ExitCode() const {
  switch (FOutcome) {
  case TSetupOutcome::soExtracted:
    return ExitExtracted;
  case TSetupOutcome::soWrongArguments:
    return ExitWrongArguments;
  case TSetupOutcome::soNotRun:
  case TSetupOutcome::soFailed:
    break;
  }
  return ExitFailed;
}

void TForm1::FormCreate(TObject*) {
  // The form only carries the work; the user sees the component's boxes, never the form.
  SetBounds(-100, -100, 80, 80);
}

void TForm1::FormShow(TObject*) { Timer1->SetEnabled(true); }

void TForm1::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  // However the work below ends, the program ends with it: an installer waiting on a
  // program without a visible window would wait for ever.
  const ScopeExit endProgram([] { Application().Terminate(); });
  // A run that stops half-way is a failure until it has shown otherwise.
  FOutcome = TSetupOutcome::soFailed;
  try {
    BringToFront();
    if (ParamCount() != 3) {
      MessageDialogRequest request;
      request.text = GeneralErrorText;
      request.type = TMsgDlgType::mtError;
      request.buttons = {TMsgDlgBtn::mbOK};
      dialogs().messageDialog(request);
      FOutcome = TSetupOutcome::soWrongArguments;
      return;
    }
    FInstaller = ParamStr(1);
    FArchiveName = ParamStr(2);
    FTargetDir = ParamStr(3);
    extractArchive();
  } catch (const std::exception& e) {
    // Nothing of the component lets an exception through; what still comes (memory
    // running out) is shown in the standard box, and the run counts as failed.
    FOutcome = TSetupOutcome::soFailed;
    Application().HandleException(e);
  } catch (...) {
    FOutcome = TSetupOutcome::soFailed;
    Application().ShowException(Exception("The installation stopped on an unexpected failure"));
  }
}

void TForm1::extractArchive() {
  // The command-line rules leave no empty third argument.
  if (FTargetDir.back() != PathDelim) FTargetDir += PathDelim;
  Zip->SetZipFileName(FArchiveName);
  TStringList specs;
  specs.Add("*.*");
  Zip->SetFSpecArgs(specs);
  Zip->SetExtrBaseDir(FTargetDir);
  const int result = Zip->Extract();
  // The component has shown what went wrong; the caller still has to learn of it. Only a
  // clean run that extracted each listed member is a success: a member refused for its
  // name, its password or its data leaves the count short.
  const int members = Zip->Count();
  if (result == 0 && members > 0 && Zip->SuccessCount() == members) FOutcome = TSetupOutcome::soExtracted;
}

} // namespace uMainForm
