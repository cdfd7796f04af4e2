// The setup unpacker's one form. It never shows itself on screen: it holds the archive
// component and a one-shot timer that, once the message loop runs, extracts the archive
// named on the command line into the target directory and ends the program.
#pragma once

#include "Archive/ZavOzeriz.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"

#include <string>

namespace uMainForm {

using kv::platform::TComponent;
using kv::platform::TForm;
using kv::platform::TObject;
using kv::platform::TTimer;
using ZavOzeriz::TZavOzeriz;

// The text of the dialog shown when the command line is not the three arguments.
inline constexpr const char* GeneralErrorText = "General installation error.";

// How the run ended; the program's exit code tells it to the calling installer.
enum class TSetupOutcome {
  soNotRun,         // the timer never fired
  soExtracted,      // every member of the archive was extracted
  soFailed,         // the archive could not be read, or not every member was extracted
  soWrongArguments, // not exactly three arguments
};

// Exit codes of the program.
inline constexpr int ExitExtracted = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitWrongArguments = 2;

class TForm1 : public TForm {
  KV_CLASS_INFO(TForm1)
public:
  using TForm::TForm;

  // ---- components of the form file
  TZavOzeriz* Zip = nullptr;
  TTimer* Timer1 = nullptr;

  // ---- handlers of the form file
  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void Timer1Timer(TObject* Sender);

  // The three command-line arguments as the timer took them; the first is the calling
  // installer's business and is kept only.
  const std::string& Installer() const { return FInstaller; }
  const std::string& ArchiveName() const { return FArchiveName; }
  const std::string& TargetDir() const { return FTargetDir; }

  TSetupOutcome Outcome() const { return FOutcome; }
  int ExitCode() const;

private:
  void extractArchive();

  std::string FInstaller;
  std::string FArchiveName;
  std::string FTargetDir;
  TSetupOutcome FOutcome = TSetupOutcome::soNotRun;
};

// The form of the program (the application owns it).
extern TForm1* Form1;

// The form file's text, compiled into the program.
extern const char* const Form1Text;
// The name the form file is known by in messages about it.
inline constexpr const char* Form1FileName = "uMainForm.kfm";

} // namespace uMainForm
