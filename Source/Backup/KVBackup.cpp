// KVBackup: backs up the product database into one zip archive and restores it.
//
//   KVBackup                   the form, with its Backup and Restore pages
//   KVBackup -BACKUP FILE      one backup into FILE, then the program ends
//
// With a display the form appears and its dialogs wait for the operator. Without one (cron,
// ssh, CI) only -BACKUP runs: the log goes to standard output, the dialogs' texts to
// standard error, every question gets its safe answer, and the exit code tells the outcome:
// 0 the backup was written, 1 it failed, 2 nothing to do (no file name, no display).
//
// The regional settings that the marker line uses come from the locale; KV_SHORT_DATE_FORMAT,
// KV_LONG_TIME_FORMAT, KV_DATE_SEPARATOR and KV_TIME_SEPARATOR override them, and KV_NOW
// ("YYYY-MM-DD HH:MM:SS") sets the clock at the start and lets it move only while the program
// waits (the timer's second), so that runs can be compared byte for byte.
#include "uMainForm.h"

#include "Platform/Dialogs/ConsoleDialogs.h"
#include "Platform/Ui/GtkPresenter.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

using namespace kv::platform;

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void applyRegionalOverrides() {
  TFormatSettings settings = FormatSettings();
  bool changed = false;
  auto take = [&](const char* name, auto apply) {
    const std::string value = environment(name);
    if (value.empty()) return;
    apply(value);
    changed = true;
  };
  take("KV_SHORT_DATE_FORMAT", [&](const std::string& v) { settings.ShortDateFormat = v; });
  take("KV_LONG_TIME_FORMAT", [&](const std::string& v) { settings.LongTimeFormat = v; });
  take("KV_DATE_SEPARATOR", [&](const std::string& v) { settings.DateSeparator = v[0]; });
  take("KV_TIME_SEPARATOR", [&](const std::string& v) { settings.TimeSeparator = v[0]; });
  if (changed) SetFormatSettings(settings);
}

// False when KV_NOW is set but is no date and time.
bool applyClockOverride() {
  const std::string now = environment("KV_NOW");
  if (now.empty()) return true;
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(now.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
    return false;
  TDateTime date;
  if (!TryEncodeDate(y, mo, d, date) || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0) return false;
  setClock(std::make_unique<VirtualClock>(date + EncodeTime(h, mi, s, 0)));
  return true;
}

void printLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int run(int argc, char** argv) {
  SetCommandLine(argc, argv);
  applyRegionalOverrides();
  if (!applyClockOverride()) {
    std::fputs("KVBackup: KV_NOW must read YYYY-MM-DD HH:MM:SS\n", stderr);
    return 2;
  }
  const bool unattended = ParamCount() >= 1 && UpperCase(ParamStr(1)) == "-BACKUP";
  const bool desktop = UseDesktopIfAvailable();
  if (!desktop) {
    if (!unattended) {
      std::fputs("KVBackup: no display to show the form on; an unattended backup runs with "
                 "KVBackup -BACKUP FILE\n",
                 stderr);
      return 2;
    }
    // Nobody is there to answer: no question may wait, not even on a terminal.
    setDialogs(std::make_unique<NonInteractiveDialogs>());
  }

  RegisterFormResource("TMainForm", uMainForm::MainFormText, "uMainForm.kfm");
  Application().Initialize();
  Application().SetTitle("KVBackup");
  Application().CreateForm(uMainForm::MainForm);
  if (!desktop) uMainForm::MainForm->LogEcho = printLine;
  Application().Run();
  return unattended && uMainForm::MainForm ? uMainForm::MainForm->ExitCode() : 0;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "KVBackup: %s\n", e.what());
    return 1;
  }
}
