// The backup program's one form: a Backup page that packs every file of the database
// directory into one zip archive, a Restore page that unpacks such an archive back, the
// remembered file names, and the command line -BACKUP NAME for unattended backups.
#pragma once

#include "Archive/ZavOzeriz.h"
#include "Platform/Database/Database.h"
#include "Platform/Database/TableLock.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/CommonDialogs.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/StdCtrls.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace uMainForm {

using kv::platform::TButton;
using kv::platform::TComponent;
using kv::platform::TEdit;
using kv::platform::TForm;
using kv::platform::TLabel;
using kv::platform::TMemo;
using kv::platform::TObject;
using kv::platform::TOpenDialog;
using kv::platform::TPageControl;
using kv::platform::TPanel;
using kv::platform::TProgressBar;
using kv::platform::TSaveDialog;
using kv::platform::TTabSheet;
using kv::platform::TTimer;
using ZavOzeriz::ProgressType;
using ZavOzeriz::TZavOzeriz;

// Where the program keeps its remembered names, under the current user.
inline constexpr const char* RegistryKey = "\\Software\\Dolvane\\Korvalis30\\BR";
// The database alias whose PATH is the database directory.
inline constexpr const char* DatabaseAlias = "Korv3";
// The password of the product's protected tables.
inline constexpr const char* TablePassword = "58k31";
// The marker member that, with four table names, makes an archive recognisable.
inline constexpr const char* MarkerFileName = "kvbak";

// How the last action ended; an unattended run ends the program with it.
enum class TActionOutcome { aoNone, aoDone, aoFailed, aoRefused };

class TMainForm : public TForm {
  KV_CLASS_INFO(TMainForm)
public:
  explicit TMainForm(TComponent* AOwner);
  ~TMainForm() override;

  // ---- components of the form file
  TPageControl* PageControl1 = nullptr;
  TTabSheet* BackupSheet = nullptr;
  TLabel* Label1 = nullptr;
  TEdit* BackupFileEdit = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;
  TPanel* BackupPanel = nullptr;
  TProgressBar* BackupProgress = nullptr;
  TMemo* BackupMemo = nullptr;
  TTabSheet* RestoreSheet = nullptr;
  TLabel* Label2 = nullptr;
  TEdit* RestoreFileEdit = nullptr;
  TButton* Button3 = nullptr;
  TButton* Button4 = nullptr;
  TPanel* RestorePanel = nullptr;
  TProgressBar* RestoreProgress = nullptr;
  TMemo* RestoreMemo = nullptr;
  TSaveDialog* SaveDialog1 = nullptr;
  TOpenDialog* OpenDialog1 = nullptr;
  TTimer* AutoTimer = nullptr;
  TZavOzeriz* Zip = nullptr;

  // ---- handlers of the form file
  void FormShow(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button4Click(TObject* Sender);
  void AutoTimerTimer(TObject* Sender);
  void ZipMessage(TObject* Sender, int ErrCode, const std::string& Message);
  void ZipProgress(TObject* Sender, ProgressType ProgrType, const std::string& Filename, uint32_t FileSize);

  // ---- the actions; each reads its file name from its page's edit when it needs it
  void BackupDatabase(const std::string& FileName);
  void RestoreDatabase(const std::string& FileName);
  // Locks every table of the database directory exclusively; false when another program
  // holds one. The locks stay until the running action ends. A table that is locked but
  // cannot be read (damaged, empty, another password) does not make it false: it is listed
  // in UnreadableTables, for a restore is what such a table needs.
  bool TestExclusiveAccess();
  // Each table the last test could lock but not read, and why, one line each.
  const std::vector<std::string>& UnreadableTables() const { return unreadableTables_; }

  // The outcome of the last action, and the exit code an unattended run ends with.
  TActionOutcome LastOutcome() const { return lastOutcome_; }
  int ExitCode() const;
  // Every log line also goes here (the program passes standard output when nobody can
  // see the form).
  std::function<void(const std::string&)> LogEcho;

  // The one line of the marker file for a moment: short date, blank, long time, CR LF.
  static std::string MarkerLine(kv::platform::TDateTime When);
  // The names an archive must hold, each at least once, to count as a backup.
  static bool IsBackupArchive(const std::vector<std::string>& MemberNames);

private:
  // The controls of one action's page.
  struct ActionPage {
    TMemo* memo;
    TProgressBar* progress;
    TPanel* panel;
    TEdit* fileEdit;
    TButton* browse;
    TButton* start;
  };
  // Runs Work with the database directory between the steps every action opens and closes with.
  void runAction(const ActionPage& Page, const std::function<void(const std::string&)>& Work);
  void log(TMemo* Memo, const std::string& Line);
  // The database directory (PATH of the alias) without a trailing separator; an alias
  // without a usable directory is refused with an error dialog and a silent exception.
  std::string databaseDirectory(TMemo* Memo);
  void refuse(TMemo* Memo, const std::string& Text);
  void releaseTables();
  void writeMarker(const std::string& Directory);
  void restoreThroughStaging(const std::string& Directory);
  void writeRegistryValue(const char* Name, const std::string& Value);

  TProgressBar* progressBar_ = nullptr;
  int32_t progressTotal_ = 0;
  int32_t progressSum_ = 0;
  TActionOutcome lastOutcome_ = TActionOutcome::aoNone;
  bool actionRunning_ = false;
  std::vector<std::unique_ptr<kv::platform::TTable>> lockedTables_;
  std::vector<kv::platform::TableLock> lockedFiles_; // the tables that could not be opened
  std::vector<std::string> unreadableTables_;
};

// The form of the program (the application owns it).
extern TMainForm* MainForm;

// The form file's text, compiled into the program.
extern const char* const MainFormText;

} // namespace uMainForm
