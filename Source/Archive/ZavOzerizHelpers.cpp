// The component's file, path and drive helpers, and the volume steps that directory
// reading needs to reach the part of a spanned set that holds the central directory.
#include "Archive/ZavOzeriz.h"

#include "Archive/ZipMessages.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Dialogs/MessageBoxes.h"
#include "Platform/Paths/Paths.h"
#include "Platform/TempFiles/TempFiles.h"
#include "Platform/Trash/Trash.h"
#include "Platform/Volumes/Volumes.h"

#include <cerrno>

namespace ZavOzeriz {

using namespace ZipMessages;
namespace pf = kv::platform;

int TZavOzeriz::EraseFile(const std::string& FileName, DeleteOpts HowToDelete) {
  std::string name = FileName;
  if (pf::extractFilePath(name).empty()) name = pf::joinPath(pf::getCurrentDir(), name);
  if (!pf::fileExists(name)) return -1;
  if (HowToDelete == DeleteOpts::htdAllowUndo) return pf::moveToTrash(name);
  return pf::deleteFile(name) ? 0 : errno;
}

std::string TZavOzeriz::tempDirectory() {
  if (FTempDir.empty()) return pf::systemTempDir();
  FTempDir = AddTrailingBackslash(FTempDir);
  return FTempDir;
}

std::string TZavOzeriz::MakeTempFileName(std::string Prefix, std::string Extension) {
  if (Prefix.empty()) Prefix = "zip";
  if (Extension.empty()) Extension = ".zip";
  const std::string dir = tempDirectory();
  // The name is reserved by creating it exclusively, with a part nobody can guess, so
  // no other program can have put a file of that name in our way; the caller creates it
  // again itself.
  auto file = pf::createTempFile(dir, Prefix.substr(0, 3), Extension);
  if (!file) return {};
  pf::fileClose(file->handle);
  pf::deleteFile(file->name);
  return file->name;
}

std::string TZavOzeriz::PathConcat(const std::string& Dir, const std::string& Name) {
  std::string result = Dir;
  if (!Dir.empty() && !Name.empty()) {
    const bool a = Dir.back() == pf::PathDelim, b = Name.front() == pf::PathDelim;
    if (a && b)
      result.pop_back();
    else if (!a && !b)
      result += pf::PathDelim;
  }
  return result + Name;
}

std::string TZavOzeriz::AddTrailingBackslash(const std::string& Path) {
  if (Path.empty() || Path.back() == pf::PathDelim) return Path;
  return Path + pf::PathDelim;
}

std::string TZavOzeriz::SlashToBackslash(const std::string& Name) {
  std::string out = Name;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

void TZavOzeriz::ReadDiskFree(int Which) {
  uint64_t free = UnknownSize, total = UnknownSize;
  if (auto space = pf::volumes().space(FSpanDrive)) {
    free = space->freeBytes;
    total = space->totalBytes;
  }
  if (Which & 1) FVolumeFree = free;
  if (Which & 2) FVolumeSize = total;
}

bool TZavOzeriz::CheckDrive() {
  FVolumeSize = FVolumeFree = 0;
  FVolumeLabelText.clear();
  // There are no drive letters: the drive is the root of a mounted volume, so a root
  // that is not an absolute path is no drive, and one that no volume holds is not defined.
  if (FSpanDrive.empty() || FSpanDrive[0] != pf::PathDelim)
    throw EZavOzeriz::CreateResFmtStr(DS_NotAValidDrive, FSpanDrive);
  if (!FSpanOnFixedDrive) {
    // The disk put in may be mounted elsewhere than the last one; an empty drive is not ready.
    const auto now = pf::volumes().volumeInDrive(FSpanDrive);
    if (!now) return false;
    followDrive(*now);
  }
  const pf::DriveType type = pf::volumes().driveType(FSpanDrive);
  if (type == pf::DriveType::NoRootDir) throw EZavOzeriz::CreateResFmtStr(DS_DriveNotDefined, FSpanDrive);
  const bool network = type == pf::DriveType::Remote;
  if (!FSpanOnFixedDrive) {
    auto label = pf::volumes().label(FSpanDrive);
    if (!label) return FAddOptions.Contains(AddOptsEnum::AddDiskSpanErase); // no readable medium
    FVolumeLabelText = *label;
  }
  ReadDiskFree(3);
  return network || FVolumeSize != UnknownSize;
}

// Names on the volume that was in the drive now name the same places on the one that is.
void TZavOzeriz::followDrive(const std::string& Root) {
  if (Root == FSpanDrive) return;
  for (std::string* name : {&FSpanInName, &FSpanOutName})
    if (name->starts_with(FSpanDrive)) *name = Root + name->substr(FSpanDrive.size());
  FSpanDrive = Root;
}

void TZavOzeriz::WriteChecked(const void* Buffer, int64_t Count, int MessageId) {
  if (pf::fileWrite(SpanOutHandle, Buffer, Count) != Count) throw EZavOzeriz::CreateResDisp(MessageId, true);
  if (SpanProgress)
    OnProgress(this, ProgressType::ProgressUpdate, std::string(), static_cast<uint32_t>(Count));
}

bool TZavOzeriz::DriveIsFixed(const std::string& Root) const {
  const auto t = pf::volumes().driveType(Root);
  return t == pf::DriveType::Fixed || t == pf::DriveType::Remote || t == pf::DriveType::RamDisk;
}

namespace {
// The three digits of a volume number: the 2nd to 4th characters of Disk + 1001.
std::string volumeDigits(int Disk) { return std::to_string(Disk + 1001).substr(1, 3); }
} // namespace

void TZavOzeriz::SpanPartName(std::string& Name, bool Replace) const {
  if (FSpanOptions.Contains(SpanOptsEnum::spCompatName)) {
    Name = pf::changeFileExt(Name, FCurrentDisk == FLastDisk
                                       ? std::string(".zip")
                                       : ".z" + std::to_string(FCurrentDisk + 101).substr(1, 2));
    return;
  }
  if (Replace) {
    const std::string ext = pf::extractFileExt(Name);
    const std::string base = Name.substr(0, Name.size() - ext.size());
    Name = (base.size() >= 3 ? base.substr(0, base.size() - 3) : std::string()) + ext;
  }
  Name = NumberedPartName(Name, FCurrentDisk);
}

std::string NumberedPartName(const std::string& Name, int Disk) {
  const std::string ext = pf::extractFileExt(Name);
  return Name.substr(0, Name.size() - ext.size()) + volumeDigits(Disk) + ext;
}

bool TZavOzeriz::CheckVolumeLabel() {
  if (!FSpanOnFixedDrive && FVolumeLabelText == "PKBACK# " + volumeDigits(FCurrentDisk)) return true;
  std::string name = FSpanInName;
  SpanPartName(name, true);
  if (FSpanOnFixedDrive) {
    FSpanInName = name;
    return true;
  }
  // A wrong disk in the drive must not change the name the right one holds its part under.
  if (!pf::fileExists(name)) return false;
  FSpanInName = name;
  return true;
}

void TZavOzeriz::PromptForDisk(bool Estimate) {
  FSpanOnFixedDrive = DriveIsFixed(FSpanDrive);
  if (FSpanOnFixedDrive) {
    FNewDiskWanted = false;
    return;
  }
  // The owner's windows are brought up to date before the operator is asked.
  pf::processMessages();
  int answer = pf::id::OK;
  uint32_t style = pf::mb::OKCANCEL;
  while ((answer == pf::id::OK && !CheckDrive()) || FNewDiskWanted) {
    if (FUnattended) throw EZavOzeriz::CreateResDisp(DS_UnattendedSpan, true);
    std::string text;
    if (FCurrentDisk < 0) {
      text = LoadZipStr(DS_InsertLastDisk, "Please insert last disk in set");
      style |= pf::mb::ICONERROR;
    } else if (Estimate) {
      int64_t usable =
          static_cast<int64_t>(FVolumeSize == UnknownSize ? 0 : FVolumeSize) - FKeepFreeOnAllDisks;
      if (FMaxVolumeSize != 0 && FMaxVolumeSize < usable) usable = FMaxVolumeSize;
      FLastDisk = FCurrentDisk;
      if (usable > 0) {
        const auto q =
            static_cast<int64_t>((static_cast<double>(FSpanInputSize) + 4 + FKeepFreeOnDisk1) / usable);
        if (q > FLastDisk) FLastDisk = static_cast<int>(q);
        text = FormatZipText(LoadZipStr(DS_InsertVolume, "Please insert disk volume %.1d of %.1d"),
                             {std::to_string(FCurrentDisk + 1), std::to_string(FLastDisk + 1)});
      } else {
        text = FormatZipText(LoadZipStr(DS_InsertAVolume, "Please insert disk volume %.1d"),
                             {std::to_string(FCurrentDisk + 1)});
      }
    } else {
      text = FormatZipText(LoadZipStr(DS_InsertVolume, "Please insert disk volume %.1d of %.1d"),
                           {std::to_string(FCurrentDisk + 1), std::to_string(FLastDisk + 1)});
    }
    text += FormatZipText(LoadZipStr(DS_InDrive, "\r\nin drive: %s"), {FSpanDrive});
    if (OnGetNextDisk) {
      bool abortAction = false;
      // The drive is the root of the volume here; its first character would say nothing.
      OnGetNextDisk(this, FCurrentDisk + 1, FLastDisk + 1, FSpanDrive, abortAction);
      answer = abortAction ? pf::id::ABORT : pf::id::OK;
    } else {
      answer = pf::messageBox(text, std::string(), style);
    }
    FNewDiskWanted = false;
  }
  if (answer == 0) throw EZavOzeriz::CreateResDisp(DS_NoMemoryForBox, true);
  if (answer != pf::id::OK) throw EZavOzeriz::CreateResDisp(DS_Canceled, false);
}

void TZavOzeriz::SwitchInputDisk(int Disk) {
  closeInput();
  FCurrentDisk = Disk;
  for (;;) {
    do {
      FNewDiskWanted = true;
      PromptForDisk(false);
    } while (!CheckVolumeLabel());
    FSpanInHandle = pf::fileOpen(FSpanInName, pf::fmOpenRead | pf::fmShareDenyWrite);
    if (FSpanInHandle != pf::InvalidFile) return;
    if (FSpanOnFixedDrive) throw EZavOzeriz::CreateResDisp(DS_NoInFile, true);
    ShowZipMessage(DS_NoInFile);
  }
}

void TZavOzeriz::closeInput() {
  if (FSpanInHandle != pf::InvalidFile) pf::fileClose(FSpanInHandle);
  FSpanInHandle = pf::InvalidFile;
}

void TZavOzeriz::seekInput(int64_t Offset, int ErrorId) {
  if (Offset < 0 || pf::fileSeek(FSpanInHandle, Offset, 0) != Offset)
    throw EZavOzeriz::CreateResDisp(ErrorId, true);
}

} // namespace ZavOzeriz
