#include "uMainForm.h"

#include "uFolderHelpers.h"

#include "Archive/ZipMessages.h"
#include "Platform/Files/Files.h"
#include "Platform/Paths/Paths.h"
#include "Platform/Registry/Registry.h"
#include "Platform/Rtl/ScopeExit.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <system_error>

namespace uMainForm {

using namespace kv::platform;
namespace fs = std::filesystem;

TMainForm* MainForm = nullptr;

namespace {

const char* const kInstanceText =
    "Probably there is an instance of Korvalis running. Please close all running Korvalis processes.";
const char* const kNotABackupText = "This file is not an Korvalis backup file.";
const char* const kRestoreQuestion =
    "Do you really want to restore the database?\n\nALL DATA OF AN EXISTING DATABASE WILL BE LOST!";

// Raised to leave an action whose failure has been shown already.
[[noreturn]] void silentFailure() { throw Exception(std::string()); }

// The member name as the file it becomes when unpacked without directories.
std::string plainName(const std::string& memberName) {
  const auto cut = memberName.find_last_of("\\/");
  return cut == std::string::npos ? memberName : memberName.substr(cut + 1);
}

// A hidden folder of its own inside the database directory: its files move into the
// directory by renaming on the same file system, and a restore needs no rights outside the
// directory. A backup leaves it out, as it packs no folders.
fs::path makeStagingFolder(const fs::path& databaseDir) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = databaseDir / (".restore-" + IntToHex(random() & 0xFFFFFF, 6));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) return candidate;
    if (ec && ec != std::errc::file_exists)
      throw EInOutError("Cannot create the folder " + candidate.string() + ": " + ec.message());
  }
  throw EInOutError("Cannot create a restore folder in " + databaseDir.string());
}

// The file of the database directory that Name stands for: the one of that name, else
// one whose name differs only in case, else a new one of that name.
fs::path targetFor(const fs::path& dir, const std::string& name) {
  if (fs::exists(dir / name)) return dir / name;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.is_regular_file() && SameText(entry.path().filename().string(), name)) return entry.path();
  return dir / name;
}

// The error text of a backup that stops at tables it cannot read, one line each.
std::string unreadableText(const std::vector<std::string>& tables) {
  std::string text = "No backup was made: these tables of the database cannot be read.\n";
  for (const auto& table : tables)
    text += "\n" + table;
  return text + "\n\nRepair them, or restore the database from a good backup.";
}

// The file a restore reads for the name given. A backup on a fixed disk is written as
// numbered parts (KorvBak001.zip, KorvBak002.zip, ...) while the name given is remembered; when
// no file has that name, the last part of the set written under it holds the set's directory.
std::string backupSetOf(const std::string& name) {
  if (name.empty() || fileExists(name)) return name;
  std::string last = name;
  for (int disk = 0; disk < 999; ++disk) {
    const std::string candidate = ZavOzeriz::NumberedPartName(name, disk);
    if (!fileExists(candidate)) break;
    last = candidate;
  }
  return last;
}

} // namespace

TMainForm::TMainForm(TComponent* AOwner) : TForm(AOwner) {}

TMainForm::~TMainForm() {
  releaseTables();
  if (MainForm == this) MainForm = nullptr;
}

int TMainForm::ExitCode() const {
  switch (lastOutcome_) {
  case TActionOutcome::aoNone:
  case TActionOutcome::aoDone:
    return 0;
  case TActionOutcome::aoFailed:
    return 1;
  case TActionOutcome::aoRefused:
    return 2;
  }
  return 1;
}

// ---- start and the remembered names

void TMainForm::FormShow(TObject*) {
  TRegistry reg;
  reg.OpenKey(RegistryKey, true);
  if (reg.ValueExists("BackupFile"))
    BackupFileEdit->SetText(reg.ReadString("BackupFile"));
  else
    BackupFileEdit->SetText(uFolderHelpers::GetFolderPath(30) + "KorvBak.zip");
  if (reg.ValueExists("RestoreFile"))
    RestoreFileEdit->SetText(reg.ReadString("RestoreFile"));
  else
    RestoreFileEdit->SetText(BackupFileEdit->Text());
  reg.CloseKey();
  if (ParamCount() >= 1) AutoTimer->SetEnabled(true);
}

void TMainForm::AutoTimerTimer(TObject*) {
  AutoTimer->SetEnabled(false);
  if (ParamCount() < 1 || UpperCase(ParamStr(1)) != "-BACKUP") return;
  // The program ends after this one run, however the backup ends.
  const ScopeExit terminate([] { Application().Terminate(); });
  if (ParamCount() < 2 || ParamStr(2).empty()) {
    // Packing into no name can only fail; the remembered name stays as it is.
    lastOutcome_ = TActionOutcome::aoRefused;
    MessageDlg("No backup file given: start the program with -BACKUP and the name of the backup file.",
               TMsgDlgType::mtError, {TMsgDlgBtn::mbOK}, 0);
    return;
  }
  BackupFileEdit->SetText(ParamStr(2));
  // Nobody answers a nightly job: the older set of the name goes without a question.
  Zip->SetUnattended(true);
  BackupDatabase(BackupFileEdit->Text());
}

// ---- browse and start buttons

void TMainForm::Button1Click(TObject*) {
  SaveDialog1->SetInitialDir(extractFilePath(BackupFileEdit->Text()));
  SaveDialog1->SetFileName(extractFileName(BackupFileEdit->Text()));
  if (SaveDialog1->Execute()) BackupFileEdit->SetText(SaveDialog1->FileName());
}

void TMainForm::Button3Click(TObject*) {
  OpenDialog1->SetInitialDir(extractFilePath(RestoreFileEdit->Text()));
  OpenDialog1->SetFileName(extractFileName(RestoreFileEdit->Text()));
  if (OpenDialog1->Execute()) RestoreFileEdit->SetText(OpenDialog1->FileName());
}

void TMainForm::Button2Click(TObject*) { BackupDatabase(BackupFileEdit->Text()); }

void TMainForm::Button4Click(TObject*) { RestoreDatabase(RestoreFileEdit->Text()); }

// ---- the component's reports

void TMainForm::ZipMessage(TObject*, int, const std::string& Message) { log(BackupMemo, Message); }

void TMainForm::ZipProgress(TObject*, ProgressType ProgrType, const std::string&, uint32_t FileSize) {
  if (!progressBar_) return;
  switch (ProgrType) {
  case ProgressType::TotalSize2Process:
    progressBar_->SetPosition(1);
    progressTotal_ = static_cast<int32_t>(FileSize);
    progressBar_->SetMax(static_cast<int>(FileSize));
    progressSum_ = 0;
    break;
  case ProgressType::ProgressUpdate:
    progressSum_ = static_cast<int32_t>(static_cast<uint32_t>(progressSum_) + FileSize);
    if (progressTotal_ != 0) progressBar_->SetPosition(progressSum_);
    break;
  default:
    break;
  }
}

// ---- helpers of the actions

void TMainForm::log(TMemo* Memo, const std::string& Line) {
  Memo->Lines().Add(Line);
  if (LogEcho) LogEcho(Line);
}

void TMainForm::refuse(TMemo* Memo, const std::string& Text) {
  MessageDlg(Text, TMsgDlgType::mtError, {TMsgDlgBtn::mbOK}, 0);
  log(Memo, "Error.");
  silentFailure();
}

std::string TMainForm::databaseDirectory(TMemo* Memo) {
  TStringList params;
  try {
    Session().GetAliasParams(DatabaseAlias, params);
  } catch (const Exception& e) {
    refuse(Memo, e.Message());
  }
  const std::string path = params.Values("PATH");
  if (path.empty())
    refuse(Memo, std::string("The database alias ") + DatabaseAlias + " names no directory (PATH).");
  if (!directoryExists(path))
    refuse(Memo, "The database directory " + path + " of the alias " + DatabaseAlias +
                     " does not exist or is not a directory.");
  return excludeTrailingPathDelimiter(path);
}

bool TMainForm::TestExclusiveAccess() {
  releaseTables();
  unreadableTables_.clear();
  try {
    TStringList params;
    Session().GetAliasParams(DatabaseAlias, params);
    const std::string path = params.Values("PATH");
    TStringList names;
    Session().GetTableNames(path, "*.DB", true, false, names);
    for (int i = 0; i < names.Count(); ++i) {
      auto table = std::make_unique<TTable>();
      table->Exclusive = true;
      table->DatabaseName = DatabaseAlias;
      table->TableName = names[i];
      try {
        table->Open();
        lockedTables_.push_back(std::move(table));
        continue;
      } catch (const EDatabaseError& e) {
        // Whether another program has the table or it merely cannot be read, its lock tells.
        TableLock lock;
        switch (lock.acquire(joinPath(path, names[i]), TableLock::Mode::Exclusive)) {
        case TableLock::Result::Busy:
          throw;
        case TableLock::Result::Missing: // gone since the listing: nothing left to hold
          break;
        case TableLock::Result::Locked:
          lockedFiles_.push_back(std::move(lock));
          unreadableTables_.push_back(e.Message());
          break;
        case TableLock::Result::Failed: // cannot even be opened: there is no lock to hold
          unreadableTables_.push_back(e.Message());
          break;
        }
      }
    }
    return true;
  } catch (...) {
    releaseTables();
    return false;
  }
}

void TMainForm::releaseTables() {
  for (auto& table : lockedTables_)
    if (table) table->Close();
  lockedTables_.clear();
  lockedFiles_.clear();
}

std::string TMainForm::MarkerLine(TDateTime When) { return DateToStr(When) + " " + TimeToStr(When) + "\r\n"; }

bool TMainForm::IsBackupArchive(const std::vector<std::string>& MemberNames) {
  static const std::set<std::string> recognising = {"KVBAK", "CONFIG.DB", "MODULES.DB", "LANG.DB", "LDEF.DB"};
  std::set<std::string> found;
  for (const auto& name : MemberNames) {
    const std::string upper = UpperCase(name);
    if (recognising.count(upper)) found.insert(upper);
  }
  return found.size() == recognising.size();
}

void TMainForm::writeMarker(const std::string& Directory) {
  const std::string path = joinPath(Directory, MarkerFileName);
  const std::string line = MarkerLine(Now());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(line.data(), static_cast<std::streamsize>(line.size()));
  if (!out || !out.flush()) throw EInOutError("Cannot write the file " + path + ": " + std::strerror(errno));
}

void TMainForm::writeRegistryValue(const char* Name, const std::string& Value) {
  TRegistry reg;
  if (!reg.OpenKey(RegistryKey, true))
    throw ERegistryException(std::string("Cannot open the key ") + RegistryKey);
  reg.WriteString(Name, Value);
  reg.CloseKey();
}

// ---- the actions

// What every action opens and closes with: one action at a time, its page's log and progress
// fresh and its controls locked while it runs; the tables let go and the controls back however
// it ends, and a failure that was shown already ends it quietly.
void TMainForm::runAction(const ActionPage& Page, const std::function<void(const std::string&)>& Work) {
  // The window takes input while the engine works, and the other page stays usable; a
  // second action would take the component and the locked tables from the running one.
  if (actionRunning_ || Zip->CheckBusy()) return;
  actionRunning_ = true;
  const ScopeExit running([this] { actionRunning_ = false; });
  progressBar_ = Page.progress;
  Page.memo->Lines().Clear();
  Page.memo->Repaint();
  Page.progress->SetPosition(0);
  Page.panel->SetVisible(true);
  auto lockInput = [&Page](bool Locked) {
    Page.fileEdit->SetEnabled(!Locked);
    Page.browse->SetEnabled(!Locked);
    Page.start->SetEnabled(!Locked);
  };
  lockInput(true);
  Screen().SetCursor(crHourGlass);
  lastOutcome_ = TActionOutcome::aoFailed;
  const ScopeExit done([&] {
    releaseTables();
    lockInput(false);
    Screen().SetCursor(crDefault);
  });

  Session().AddPassword(TablePassword);
  try {
    Work(databaseDirectory(Page.memo));
    lastOutcome_ = TActionOutcome::aoDone;
  } catch (const Exception& e) {
    if (!e.Message().empty()) Application().ShowException(e);
  }
}

void TMainForm::BackupDatabase(const std::string&) {
  runAction({BackupMemo, BackupProgress, BackupPanel, BackupFileEdit, Button1, Button2},
            [this](const std::string& directory) {
              log(BackupMemo, "Try to exclusivly access the database...");
              if (!TestExclusiveAccess()) refuse(BackupMemo, kInstanceText);
              // A table that cannot be read would be in the archive as it is now: useless
              // for a restore, and the day it is needed nobody would know.
              if (!UnreadableTables().empty()) refuse(BackupMemo, unreadableText(UnreadableTables()));
              log(BackupMemo, "Ok");
              log(BackupMemo, "Creating backup...");
              log(BackupMemo, directory);
              writeMarker(directory);
              TStringList spec;
              spec.Add(joinPath(directory, "*.*"));
              Zip->SetFSpecArgs(spec);
              // Every file of the directory belongs in the backup, names beginning with '.' too.
              Zip->SetAddOptions(Zip->GetAddOptions().Include(ZavOzeriz::AddOptsEnum::AddHiddenFiles));
              Zip->SetZipFileName(BackupFileEdit->Text());
              // A run that packed nothing, or whose parts could not be written, is no backup.
              if (Zip->Add() != 0 || Zip->SuccessCount() <= 0) {
                log(BackupMemo, "Error.");
                silentFailure();
              }
              log(BackupMemo, "Ok");
              writeRegistryValue("BackupFile", BackupFileEdit->Text());
            });
}

void TMainForm::RestoreDatabase(const std::string&) {
  runAction({RestoreMemo, RestoreProgress, RestorePanel, RestoreFileEdit, Button3, Button4},
            [this](const std::string& directory) {
              log(RestoreMemo, "opening backup file.");
              Zip->SetFSpecArgs(TStringList());
              Zip->SetExtrBaseDir(directory);
              Zip->SetZipFileName(backupSetOf(RestoreFileEdit->Text()));
              const int listed = Zip->List();
              std::vector<std::string> names;
              for (int i = 0; i < Zip->Count(); ++i)
                names.push_back(Zip->ZipContents()[i].FileName);
              // A listing that only warned (bytes after the end record, a directory not where
              // the end record puts it) has read the whole directory, and the unpacking checks
              // every file before the database is touched.
              const bool read = listed == 0 || listed == ZipMessages::LI_ErrorInStructure ||
                                listed == ZipMessages::LI_GarbageAtEnd;
              if (!read || !IsBackupArchive(names)) refuse(RestoreMemo, kNotABackupText);
              log(RestoreMemo, "Ok");
              log(RestoreMemo, "Try to exclusivly access the database...");
              if (!TestExclusiveAccess()) refuse(RestoreMemo, kInstanceText);
              log(RestoreMemo, "Ok");
              if (MessageDlg(kRestoreQuestion, TMsgDlgType::mtConfirmation,
                             {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}, 0) == mrYes) {
                log(RestoreMemo, "Restoring database...");
                restoreThroughStaging(directory);
                log(RestoreMemo, "Ok");
              } else {
                log(RestoreMemo, "Restore canceld.");
              }
              writeRegistryValue("RestoreFile", RestoreFileEdit->Text());
            });
}

// The archive is unpacked into a folder of its own first and checked there; only a
// complete unpacking replaces the database files, so a failed one leaves the database as
// it was. Files of the database directory that the archive does not hold stay.
void TMainForm::restoreThroughStaging(const std::string& Directory) {
  const fs::path dir(Directory);
  const fs::path staging = makeStagingFolder(dir);
  const ScopeExit cleanUp([&staging] {
    std::error_code ec;
    fs::remove_all(staging, ec);
  });

  struct Member {
    std::string name;
    uint32_t size;
  };
  std::vector<Member> members;
  for (int i = 0; i < Zip->Count(); ++i)
    members.push_back({plainName(Zip->ZipContents()[i].FileName), Zip->ZipContents()[i].UncompressedSize});

  Zip->SetFSpecArgs(TStringList());
  Zip->SetExtrBaseDir(staging.string());
  // A set of several parts is joined in there as well: on the database's own disk, within
  // its rights, and gone with the folder.
  const std::string tempDir = Zip->GetTempDir();
  Zip->SetTempDir(staging.string());
  const int extracted = Zip->Extract();
  Zip->SetTempDir(tempDir);
  Zip->SetExtrBaseDir(Directory);
  bool complete = extracted == 0;
  for (const auto& m : members) {
    if (!complete) break;
    if (m.name.empty()) continue; // a directory entry
    std::error_code ec;
    const fs::path file = staging / m.name;
    complete = fs::is_regular_file(file, ec) && fs::file_size(file, ec) == m.size;
  }
  if (!complete) {
    log(RestoreMemo, "Error.");
    silentFailure();
  }

  std::vector<fs::path> unpacked;
  for (const auto& entry : fs::directory_iterator(staging))
    if (entry.is_regular_file()) unpacked.push_back(entry.path());
  std::sort(unpacked.begin(), unpacked.end());
  for (const auto& file : unpacked) {
    const fs::path target = targetFor(dir, file.filename().string());
    std::error_code ec;
    fs::rename(file, target, ec);
    if (ec) {
      // Another file system after all: copy beside the target, then put it in place at once.
      const fs::path beside = dir / ("." + file.filename().string() + ".restore");
      fs::copy_file(file, beside, fs::copy_options::overwrite_existing, ec);
      if (!ec) fs::rename(beside, target, ec);
      if (ec) {
        fs::remove(beside, ec);
        log(RestoreMemo, "Error.");
        throw EInOutError("Cannot replace " + target.string() + ": " + ec.message());
      }
    }
  }
}

// ---- the published table

const TClassInfo& TMainForm::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TMainForm, TForm>("TMainForm")
                                     .Field("PageControl1", &TMainForm::PageControl1)
                                     .Field("BackupSheet", &TMainForm::BackupSheet)
                                     .Field("Label1", &TMainForm::Label1)
                                     .Field("BackupFileEdit", &TMainForm::BackupFileEdit)
                                     .Field("Button1", &TMainForm::Button1)
                                     .Field("Button2", &TMainForm::Button2)
                                     .Field("BackupPanel", &TMainForm::BackupPanel)
                                     .Field("BackupProgress", &TMainForm::BackupProgress)
                                     .Field("BackupMemo", &TMainForm::BackupMemo)
                                     .Field("RestoreSheet", &TMainForm::RestoreSheet)
                                     .Field("Label2", &TMainForm::Label2)
                                     .Field("RestoreFileEdit", &TMainForm::RestoreFileEdit)
                                     .Field("Button3", &TMainForm::Button3)
                                     .Field("Button4", &TMainForm::Button4)
                                     .Field("RestorePanel", &TMainForm::RestorePanel)
                                     .Field("RestoreProgress", &TMainForm::RestoreProgress)
                                     .Field("RestoreMemo", &TMainForm::RestoreMemo)
                                     .Field("SaveDialog1", &TMainForm::SaveDialog1)
                                     .Field("OpenDialog1", &TMainForm::OpenDialog1)
                                     .Field("AutoTimer", &TMainForm::AutoTimer)
                                     .Field("Zip", &TMainForm::Zip)
                                     .Method("FormShow", &TMainForm::FormShow)
                                     .Method("Button1Click", &TMainForm::Button1Click)
                                     .Method("Button2Click", &TMainForm::Button2Click)
                                     .Method("Button3Click", &TMainForm::Button3Click)
                                     .Method("Button4Click", &TMainForm::Button4Click)
                                     .Method("AutoTimerTimer", &TMainForm::AutoTimerTimer)
                                     .Method("ZipMessage", &TMainForm::ZipMessage)
                                     .Method("ZipProgress", &TMainForm::ZipProgress)
                                     .Build();
  return info;
}

} // namespace uMainForm
