// Spreading a finished archive over volumes: part files side by side on a fixed drive,
// one part per labelled disk on a removable one. Every part is written under a temporary
// name beside its own and takes its name only once it is complete (on a fixed drive:
// once the whole set is), so a failed or cancelled write never costs the previous backup.
// Pending window messages run at every write and prompt, so the owner's windows stay alive.
#include "Archive/ZavOzeriz.h"
#include "Archive/ZavOzerizSpan.h"
#include "Archive/ZipMessages.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Dialogs/MessageBoxes.h"
#include "Platform/Files/Files.h"
#include "Platform/Paths/Paths.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Volumes/Volumes.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <new>
#include <random>
#include <system_error>

namespace ZavOzeriz {

using namespace ZipMessages;
using namespace ZipRecords;
namespace pf = kv::platform;
namespace fs = std::filesystem;

namespace {

// An unused name beside Name: ".KorvBak001.zip.1a2b3c4d.tmp".
std::string nameBeside(const std::string& Name) {
  static std::mt19937 random{std::random_device{}()};
  const std::string dir = pf::extractFilePath(Name), file = pf::extractFileName(Name);
  for (int i = 0; i < 64; ++i) {
    char hex[12];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random()));
    const std::string candidate = dir + "." + file + "." + hex + ".tmp";
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
  }
  return {};
}

int numberOr(const std::string& Text, int Fallback) {
  if (Text.empty()) return Fallback;
  for (char c : Text)
    if (c < '0' || c > '9') return Fallback;
  return std::stoi(Text);
}

} // namespace

// ---- volume numbers and labels

int TZavOzeriz::spanLabelNumber() const {
  return FVolumeLabelText.size() > 8 ? numberOr(FVolumeLabelText.substr(8, 3), 1) : 1;
}

// The highest volume a set can have: three digits of part numbers and labels, two in
// the .zNN names.
int TZavOzeriz::lastSpanDisk() const {
  const bool numbered = FSpanOnFixedDrive || FSpanOptions.Contains(SpanOptsEnum::spNoVolumeName);
  return numbered && FSpanOptions.Contains(SpanOptsEnum::spCompatName) ? 98 : 998;
}

// ---- parts

void TZavOzeriz::discardOpenPart() {
  if (SpanOutHandle != pf::InvalidFile) pf::fileClose(SpanOutHandle);
  SpanOutHandle = pf::InvalidFile;
  if (!openPart_.temp.empty()) pf::deleteFile(openPart_.temp);
  openPart_ = {};
}

// A part that is complete: on a removable disk it takes its name at once, as the disk is
// about to leave the drive; on a fixed drive it waits for the rest of the set.
void TZavOzeriz::closeSpanPart() {
  pf::fileSetDate(SpanOutHandle, FSpanDateStamp);
  pf::fileClose(SpanOutHandle);
  SpanOutHandle = pf::InvalidFile;
  SpanPart part = std::move(openPart_);
  openPart_ = {};
  if (FSpanOnFixedDrive) {
    finishedParts_.push_back(std::move(part));
    return;
  }
  if (!pf::replaceFile(part.temp, part.final)) {
    pf::deleteFile(part.temp);
    throw EZavOzeriz::CreateResDisp(DS_CreationOutputFileFailed, true);
  }
}

void TZavOzeriz::finishSpanParts(const std::string& lastName) {
  if (SpanOutHandle != pf::InvalidFile) {
    pf::fileSetDate(SpanOutHandle, FSpanDateStamp);
    pf::fileClose(SpanOutHandle);
    SpanOutHandle = pf::InvalidFile;
    openPart_.final = lastName;
    finishedParts_.push_back(std::move(openPart_));
    openPart_ = {};
  }
  while (!finishedParts_.empty()) {
    const SpanPart part = finishedParts_.front();
    if (!pf::replaceFile(part.temp, part.final)) {
      const bool last = finishedParts_.size() == 1;
      throw pf::Exception(last ? "Could not rename last file in set" : "Could not rename file " + part.final);
    }
    finishedParts_.erase(finishedParts_.begin());
  }
}

// Parts of the older set numbered beyond the new set's last part would pass for parts of
// the new one: they go once the new set has its names. Only parts that carry the older
// set's date stamp are taken; the numbering stops at the first gap.
void TZavOzeriz::removeOlderPartsBeyond() {
  if (!olderSetStamp_) return;
  const bool compat = FSpanOptions.Contains(SpanOptsEnum::spCompatName);
  const int last = FCurrentDisk, lastBefore = FLastDisk;
  const pf::ScopeExit restore([&] {
    FCurrentDisk = last;
    FLastDisk = lastBefore;
  });
  // With .zNN names the new last part took the target's name, so its .zNN name is an
  // older part's.
  FLastDisk = -1;
  for (int disk = compat ? last : last + 1; disk <= lastSpanDisk(); ++disk) {
    FCurrentDisk = disk;
    std::string name = FSpanOutName;
    SpanPartName(name, false);
    if (!pf::fileExists(name) || pf::fileAge(name) != *olderSetStamp_) break;
    pf::deleteFile(name);
  }
}

void TZavOzeriz::discardSpanParts() {
  discardOpenPart();
  for (const auto& part : finishedParts_)
    pf::deleteFile(part.temp);
  finishedParts_.clear();
}

// The volume has too little room: the operator may put in another disk or give up.
void TZavOzeriz::askForSpace(const std::string& partName) {
  if (FUnattended) throw spanError(DS_UnattendedSpan);
  if (OnStatusDisk) {
    const int n = FSpanOptions.Contains(SpanOptsEnum::spNoVolumeName) ? FCurrentDisk + 1 : spanLabelNumber();
    FDiskAction = TZipDiskAction::zdaOk;
    FDiskStatus = TZipDiskStatus{TZipDiskStatusEnum::zdsNotEnoughSpace};
    OnStatusDisk(this, n, partName, FDiskStatus, FDiskAction);
    if (FDiskAction == TZipDiskAction::zdaCancel) throw spanError(DS_Canceled, false);
  } else {
    const int answer =
        pf::messageBox(LoadZipStr(DS_DiskHasEnoughFree, "This disk has not enough free space available"),
                       std::string(), pf::mb::RETRYCANCEL | pf::mb::ICONERROR);
    if (answer == 0) throw spanError(DS_NoMemoryForBox);
    if (answer != pf::id::RETRY) throw spanError(DS_Canceled, false);
  }
  FPartBytesWritten = 0;
  FNewDiskWanted = true;
}

// An older file of the part's name is on the volume: true when the operator lets it be
// overwritten, false when another disk is to be put in; cancelling raises.
bool TZavOzeriz::mayOverwritePart(const std::string& partName, bool numbered) {
  const int n = numbered ? FCurrentDisk + 1 : spanLabelNumber();
  // A nightly run writes into the name it used the night before: the older set goes, as
  // its parts only take their names once the new set is complete.
  if (FUnattended && FSpanOnFixedDrive) return true;
  if (FUnattended) throw spanError(DS_UnattendedSpan);
  FDiskStatus = {};
  std::string text;
  if (pf::fileAge(partName) == FSpanDateStamp && n - 1 < FCurrentDisk) {
    text = FormatZipText(LoadZipStr(DS_ATTENTIONPreviousDiskNo, "Overwrite previous disk no %d"),
                         {std::to_string(n)});
    FDiskStatus.Include(TZipDiskStatusEnum::zdsPreviousDisk);
  } else {
    text = FormatZipText(LoadZipStr(DS_ThereAlreadyFileNDo, "Overwrite previous file %s"), {partName});
    FDiskStatus.Include(TZipDiskStatusEnum::zdsSameFileName);
  }
  FDiskStatus.Include(FVolumeSize != FVolumeFree ? TZipDiskStatusEnum::zdsHasFiles
                                                 : TZipDiskStatusEnum::zdsEmpty);
  enum { Overwrite, Another, Cancel } choice;
  if (OnStatusDisk) {
    FDiskAction = TZipDiskAction::zdaOk;
    OnStatusDisk(this, n, partName, FDiskStatus, FDiskAction);
    choice = FDiskAction == TZipDiskAction::zdaReject   ? Another
             : FDiskAction == TZipDiskAction::zdaCancel ? Cancel
                                                        : Overwrite;
  } else {
    const int answer =
        pf::messageBox(text, "Confirm", pf::mb::YESNOCANCEL | pf::mb::ICONWARNING | pf::mb::DEFBUTTON2);
    choice = answer == pf::id::YES ? Overwrite : answer == pf::id::NO ? Another : Cancel;
  }
  if (choice == Cancel) throw spanError(DS_Canceled, false);
  return choice == Overwrite;
}

// The room the new part may take: the volume's free space, with that of the older part it
// replaces (see writePart), less what is to be kept free, at most the largest part size.
void TZavOzeriz::measurePartRoom(const std::string& replaces) {
  ReadDiskFree(1);
  if (!replaces.empty() && FVolumeFree != UnknownSize)
    FVolumeFree += static_cast<uint64_t>(std::max<int64_t>(pf::fileSizeByName(replaces), 0));
  uint64_t keep = FKeepFreeOnAllDisks;
  if (FCurrentDisk == 0 && FKeepFreeOnDisk1 > 0) keep += static_cast<uint64_t>(FKeepFreeOnDisk1);
  FVolumeFree = FVolumeFree > keep ? FVolumeFree - keep : 0;
  if (FMaxVolumeSize > 0 && static_cast<uint64_t>(FMaxVolumeSize) < FVolumeFree)
    FVolumeFree = static_cast<uint64_t>(FMaxVolumeSize);
}

void TZavOzeriz::openSpanPart() {
  const bool noVolumeName = FSpanOptions.Contains(SpanOptsEnum::spNoVolumeName);
  for (;;) {
    // Part numbers and labels have three digits (two in .zNN names): a set that needs
    // more volumes does not fit the volumes it is given.
    if (FCurrentDisk > lastSpanDisk()) throw spanError(DS_DiskHasEnoughFree);
    FSpanOnFixedDrive = DriveIsFixed(FSpanDrive);
    PromptForDisk(true);
    const bool numbered = FSpanOnFixedDrive || noVolumeName;
    std::string partName = FSpanOutName;
    if (numbered) SpanPartName(partName, false);

    if (!FSpanOnFixedDrive && FSpanOptions.Contains(SpanOptsEnum::spWipeFiles) &&
        (!OnGetNextDisk || FDiskAction == TZipDiskAction::zdaErase)) {
      FVolumeLabelText =
          noVolumeName ? "ZipSet_" + std::to_string(FCurrentDisk + 1) : SpanVolumeLabel(FCurrentDisk);
      const int r = ClearDisk();
      if (r == -2) throw spanError(DS_Canceled, false);
      if (r == -1) throw spanError(DS_Canceled, true);
    }

    std::string replaces; // an older part the operator agreed to overwrite on this disk
    if (pf::fileExists(partName)) {
      if (!mayOverwritePart(partName, numbered)) {
        FPartBytesWritten = 0;
        FNewDiskWanted = true;
        continue;
      }
      replaces = partName;
      if (FCurrentDisk == 0 && numbered) olderSetStamp_ = pf::fileAge(partName);
    }

    // The older file of this name stays untouched until the new part is complete.
    openPart_ = {nameBeside(partName), partName, replaces};
    SpanOutHandle = openPart_.temp.empty() ? pf::InvalidFile : pf::fileCreate(openPart_.temp);
    if (SpanOutHandle == pf::InvalidFile) {
      openPart_ = {};
      throw spanError(DS_CreationOutputFileFailed);
    }
    FPartBytesWritten = 0;

    measurePartRoom(replaces);
    // A volume that takes no byte at all is never worth a part, whatever the minimum says.
    const uint64_t least = FMinFreeVolumeSize > 1 ? static_cast<uint64_t>(FMinFreeVolumeSize) : 1;
    if (FVolumeFree < least) {
      discardOpenPart();
      askForSpace(partName);
      continue;
    }

    if (!FSpanOnFixedDrive && !noVolumeName) {
      FVolumeLabelText = SpanVolumeLabel(FCurrentDisk);
      if (!pf::volumes().setLabel(FSpanDrive, FVolumeLabelText)) {
        reportVolumeRefusal();
        throw spanError(DS_VolumeLabelCouldSet);
      }
    }
    return;
  }
}

// The volume service's own words on a refused label or format, beside the component's
// message, so that the operator learns why.
void TZavOzeriz::reportVolumeRefusal() {
  const std::string why = pf::volumes().lastFailure();
  if (!why.empty() && OnMessage) OnMessage(this, 0, why);
}

// A disk that runs out of room while the older part this one replaces is still on it gets
// that part's room: the operator (or the unattended run) agreed to overwrite it, and it has
// to go now for the new one to fit. On a fixed drive the older set is of no use once one of
// its parts is gone, so the older parts already replaced go too, and none goes unless the
// rest of the new set fits then: a backup too large for the disk leaves the older one whole.
// Any other failed write fails the part.
void TZavOzeriz::writePart(const uint8_t* p, int64_t n) {
  if (pf::fileWrite(SpanOutHandle, p, n) == n) return;
  const auto space = pf::volumes().space(FSpanDrive);
  if (!openPart_.replaces.empty() && space && space->freeBytes < static_cast<uint64_t>(n) &&
      makeRoomOfOlderParts(space->freeBytes, n) &&
      pf::fileSeek(SpanOutHandle, FPartBytesWritten, 0) == FPartBytesWritten &&
      pf::fileWrite(SpanOutHandle, p, n) == n)
    return;
  throw spanError(DS_WriteOutputFile);
}

bool TZavOzeriz::makeRoomOfOlderParts(uint64_t freeBytes, int64_t n) {
  std::vector<std::string*> older{&openPart_.replaces};
  if (FSpanOnFixedDrive) {
    for (auto& part : finishedParts_)
      if (!part.replaces.empty()) older.push_back(&part.replaces);
    uint64_t room = freeBytes;
    for (const std::string* name : older)
      room += static_cast<uint64_t>(std::max<int64_t>(pf::fileSizeByName(*name), 0));
    // What is still to come: the input not yet read, and this block.
    const int64_t read = pf::fileSeek(FSpanInHandle, 0, 1);
    const int64_t rest = static_cast<int64_t>(FSpanInputSize) - std::max<int64_t>(read, 0) + n;
    if (static_cast<uint64_t>(std::max<int64_t>(rest, 0)) > room) return false;
  }
  bool freed = false;
  for (std::string* name : older)
    if (pf::deleteFile(*name)) {
      name->clear();
      freed = true;
    }
  return freed;
}

void TZavOzeriz::WriteSplit(const void* Buffer, int64_t Len, int64_t MinContiguous) {
  const auto* p = static_cast<const uint8_t*>(Buffer);
  messages_.letMessagesRun();
  for (;;) {
    // A run the owner cancelled stops at its next write.
    if (FCancel) throw spanError(DS_Canceled, false);
    if (SpanOutHandle == pf::InvalidFile) openSpanPart();
    if (MinContiguous > 0 && static_cast<uint64_t>(MinContiguous) > FVolumeFree) {
      if (FPartBytesWritten == 0) {
        // Nothing is on this part yet, so another part like it cannot take the block either:
        // on a fixed drive, or with every volume capped below it, the set cannot be written.
        if (FSpanOnFixedDrive || (FMaxVolumeSize > 0 && MinContiguous > FMaxVolumeSize))
          throw spanError(DS_DiskHasEnoughFree);
        const std::string partName = openPart_.final;
        discardOpenPart();
        askForSpace(partName);
        continue;
      }
      closeSpanPart();
      FPartBytesWritten = 0;
      FNewDiskWanted = true;
      ++FCurrentDisk;
      continue;
    }
    const int64_t n = static_cast<uint64_t>(Len) < FVolumeFree ? Len : static_cast<int64_t>(FVolumeFree);
    if (n > 0) {
      writePart(p, n);
      if (SpanProgress)
        OnProgress(this, ProgressType::ProgressUpdate, std::string(), static_cast<uint32_t>(n));
    }
    FPartBytesWritten += n;
    FVolumeFree -= static_cast<uint64_t>(n);
    if (n == Len) return;
    closeSpanPart();
    FVolumeFree = 0;
    FPartBytesWritten = 0;
    ++FCurrentDisk;
    FNewDiskWanted = true;
    p += n;
    Len -= n;
  }
}

void TZavOzeriz::CopyChunked(int64_t Len, int ErrorId) {
  FCopyBuffer.resize(SpanCopyBufferSize);
  while (Len > 0) {
    const int64_t n = std::min<int64_t>(Len, SpanCopyBufferSize);
    readInput(FCopyBuffer.data(), n, ErrorId);
    WriteSplit(FCopyBuffer.data(), n, 0);
    Len -= n;
  }
}

// ---- preparing a removable volume

int TZavOzeriz::ShellFormatDrive(uintptr_t, const std::string& Drive) {
  const std::string root = pf::includeTrailingPathDelimiter(Drive);
  auto& volumes = pf::volumes();
  if (root.empty() || volumes.volumeRoot(root) != root || volumes.driveType(root) != pf::DriveType::Removable)
    return -3;
  switch (volumes.formatVolume(root)) {
  case pf::FormatResult::Done:
    return 0;
  case pf::FormatResult::Failed:
    reportVolumeRefusal();
    return -1;
  case pf::FormatResult::Cancelled:
    return -2;
  case pf::FormatResult::Refused:
    reportVolumeRefusal();
    break;
  }
  return -3;
}

int TZavOzeriz::ClearDisk() {
  int r = -3;
  if (FSpanOptions.Contains(SpanOptsEnum::spTryFormat) && !FSpanOnFixedDrive)
    r = ShellFormatDrive(FParentWindow, FSpanDrive);
  if (r == -3) {
    const int answer = pf::messageBox("Erase " + FSpanDrive, "Confirm",
                                      pf::mb::YESNO | pf::mb::ICONWARNING | pf::mb::DEFBUTTON2);
    if (answer != pf::id::YES) return -2;
    EraseFloopy(FSpanDrive);
    r = 0;
  }
  const std::string label = FVolumeLabelText.substr(0, 11);
  if (r == 0 && !FSpanOptions.Contains(SpanOptsEnum::spNoVolumeName))
    pf::volumes().setLabel(FSpanDrive, label);
  return r;
}

namespace {
struct EraseStep {
  std::string path;
  bool directory;
};
} // namespace

void TZavOzeriz::EraseFloopy(const std::string& Dir) {
  // Only the whole of a removable volume is ever erased: the directory must be the root
  // of a volume that the provider calls removable. Links are removed, never followed,
  // and a directory that belongs to another volume mounted below is left alone.
  auto& volumes = pf::volumes();
  const std::string root = pf::includeTrailingPathDelimiter(Dir);
  if (root.empty() || volumes.volumeRoot(root) != root || volumes.driveType(root) != pf::DriveType::Removable)
    return;
  std::vector<EraseStep> order; // depth first, a directory after its contents
  auto walk = [&](auto& self, const std::string& dir) -> void {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
      entries.push_back(*it);
    for (const auto& e : entries) {
      const std::string name = e.path().filename().string();
      std::error_code sec;
      const auto status = e.symlink_status(sec);
      if (sec) continue;
      if (fs::is_directory(status)) {
        const std::string sub = dir + name + "/";
        if (volumes.volumeRoot(sub) != root) continue;
        self(self, sub);
        order.push_back({sub, true});
      } else {
        order.push_back({dir + name, false});
      }
    }
  };
  walk(walk, root);
  for (const auto& step : order) {
    std::error_code ec;
    if (step.directory) {
      TraceMessage("EraseFloopy - Removing " + step.path);
      pf::processMessages();
      fs::remove(step.path, ec);
    } else {
      TraceMessage("EraseFloopy - Deleting " + step.path);
      fs::remove(step.path, ec);
    }
  }
}

// ---- spreading one archive

void TZavOzeriz::readInput(void* Buffer, int64_t Len, int ErrorId) {
  if (pf::fileRead(FSpanInHandle, Buffer, Len) != Len) throw spanError(ErrorId);
}

// The work list from the directory: every member's name, length and the place of its local
// header. Offsets that all count from somewhere else (data was put in front of the archive
// or taken away) are read where the directory says they are, shifted by the same amount.
TMZipDataList TZavOzeriz::collectPlaces(const EndOfCentralDirRecord& eoc, int64_t centralStart) {
  const int64_t shift = centralStart - static_cast<int64_t>(eoc.CentralOffset);
  TMZipDataList list(eoc.TotalEntries);
  int64_t at = centralStart;
  seekInput(at, DS_FailedSeek);
  for (int i = 0; i < list.Count(); ++i) {
    const CentralEntry entry = readCentralEntry(std::bind_front(&TZavOzeriz::readInput, this));
    at += static_cast<int64_t>(CentralHeader::Size + entry.fields.variableLength());
    seekInput(at, DS_FailedSeek); // past the extra field and the comment
    list.ItemAt(i) = workItem(entry, 0, static_cast<int64_t>(entry.fields.RelOffLocalHdr) + shift);
  }
  list.IndexPlaces();
  return list;
}

// Every local entry in file order, with its header, name and extra field on one volume;
// the members' new places go into the work list.
void TZavOzeriz::copyMembers(TMZipDataList& list) {
  const std::string copying = LoadZipStr(GE_Copying, "Copying: ");
  const auto read = std::bind_front(&TZavOzeriz::readInput, this);
  for (const auto& [disk, offset] : list.Places()) {
    seekInput(offset, DS_FailedSeek);
    const LocalEntry local = readLocalEntry(read);
    const std::vector<int>& members = list.AtPlace(disk, offset);
    const ZipDataItem& first = list.ItemAt(members.front());
    const int64_t dataLen = local.dataLength(first.CdCompressedSize);

    int descriptorLen = 0;
    uint8_t descriptor[DataDescriptor::Size] = {};
    const int64_t descriptorAt = offset + local.headLength() + dataLen;
    if (local.hasDescriptor()) {
      seekInput(descriptorAt, DS_ReadingWritingDataDescriptor);
      const int64_t got = pf::fileRead(FSpanInHandle, descriptor, DataDescriptor::Size);
      descriptorLen =
          got >= 4 ? DataDescriptorLength(descriptor, static_cast<size_t>(got), first.CdCRC32) : 0;
      if (descriptorLen == 0 || got < descriptorLen) throw spanError(DS_ReadingWritingDataDescriptor);
      seekInput(offset + static_cast<int64_t>(LocalHeader::Size) + local.nameLength, DS_FailedSeek);
    }

    if (OnMessage) OnMessage(this, 0, copying + SlashToBackslash(local.name));
    OnProgress(this, ProgressType::NewFile, local.name,
               static_cast<uint32_t>(local.headLength() + dataLen + descriptorLen));

    WriteSplit(local.header, LocalHeader::Size, local.headLength());
    for (int m : members) {
      ZipDataItem& item = list.ItemAt(m);
      item.DiskNumber = static_cast<uint16_t>(FCurrentDisk);
      item.LocalOffset = FPartBytesWritten - static_cast<int64_t>(LocalHeader::Size);
    }
    WriteSplit(local.name.data(), local.nameLength, 0);
    CopyChunked(local.extraLength, DS_ReadingLocalExtraField);
    CopyChunked(dataLen, DS_ReadingZippedData);
    if (descriptorLen > 0) {
      seekInput(descriptorAt + descriptorLen, DS_FailedSeek);
      WriteSplit(descriptor, descriptorLen, 0);
    }
  }
}

// The directory with the members' new places, then the end record numbered with the volume
// it lands on and the archive comment.
void TZavOzeriz::writeDirectory(const TMZipDataList& list, const EndOfCentralDirRecord& eoc,
                                int64_t centralStart, int64_t eocOffset) {
  const std::string central = LoadZipStr(DS_CentralDirectory, "Central directory");
  if (OnMessage) OnMessage(this, 0, LoadZipStr(GE_Copying, "Copying: ") + central);
  OnProgress(this, ProgressType::NewFile, central,
             static_cast<uint32_t>(eoc.CentralSize + EndOfCentralDir::Size + eoc.ZipCommentLen));

  seekInput(centralStart, DS_FailedSeek);
  int cdDisk = FCurrentDisk;
  int64_t cdOffset = -1;
  std::vector<int> headerDisks;
  for (int i = 0; i < list.Count(); ++i) {
    const CentralEntry entry = readCentralEntry(std::bind_front(&TZavOzeriz::readInput, this));
    const ZipDataItem& item = list.ItemAt(i);
    const auto header = entry.headerAt(item.DiskNumber, static_cast<uint32_t>(item.LocalOffset));
    WriteSplit(header.data(), CentralHeader::Size,
               static_cast<int64_t>(CentralHeader::Size + entry.fields.variableLength()));
    if (i == 0) {
      cdDisk = FCurrentDisk;
      cdOffset = FPartBytesWritten - static_cast<int64_t>(CentralHeader::Size);
    }
    headerDisks.push_back(FCurrentDisk);
    WriteSplit(entry.name.data(), entry.fields.FileNameLength, 0);
    CopyChunked(entry.fields.ExtraFieldLength, DS_ReadingCentralExtraField);
    CopyChunked(entry.fields.FileCommentLen, DS_CECommentLen);
  }

  // The end record is numbered with the volume it lands on, so that volume is settled
  // before the record is made.
  const int64_t tail = static_cast<int64_t>(EndOfCentralDir::Size) + eoc.ZipCommentLen;
  WriteSplit(nullptr, 0, tail);
  EndOfCentralDirRecord out = eoc;
  out.ThisDiskNo = static_cast<uint16_t>(FCurrentDisk);
  out.CentralDiskNo = static_cast<uint16_t>(cdOffset < 0 ? FCurrentDisk : cdDisk);
  // An empty directory starts at 0: that is what readers of a set without members expect.
  out.CentralOffset = static_cast<uint32_t>(cdOffset < 0 ? 0 : cdOffset);
  out.CentralEntriesOnDisk =
      static_cast<uint16_t>(std::count(headerDisks.begin(), headerDisks.end(), FCurrentDisk));
  uint8_t record[EndOfCentralDir::Size];
  out.write(record);
  WriteSplit(record, EndOfCentralDir::Size, tail);
  seekInput(eocOffset + static_cast<int64_t>(EndOfCentralDir::Size), DS_FailedSeek);
  CopyChunked(eoc.ZipCommentLen, DS_ReadingArchiveComment);
}

void TZavOzeriz::spreadArchive() {
  EndOfCentralDirRecord eoc;
  ReadEOC(eoc, true);
  FSpanDateStamp = pf::fileGetDate(FSpanInHandle);
  const int64_t eocOffset = FEOCOffset;
  const int64_t centralStart = eocOffset - static_cast<int64_t>(eoc.CentralSize);
  TMZipDataList list = collectPlaces(eoc, centralStart);

  seekInput(0, DS_FailedSeek);
  uint8_t marker[4];
  putU32(marker, ExtLocalSig);
  WriteSplit(marker, 4, 0);
  SpanProgress = true;
  OnProgress(this, ProgressType::TotalFiles2Process, std::string(), static_cast<uint32_t>(list.Count()));
  OnProgress(this, ProgressType::TotalSize2Process, std::string(), static_cast<uint32_t>(FSpanInputSize));
  copyMembers(list);
  writeDirectory(list, eoc, centralStart, eocOffset);
  SpanProgress = false;
}

int TZavOzeriz::WriteSpan(const std::string& InFileName, const std::string& OutFileName) {
  FSpanWriteBusy = true;
  const pf::ScopeExit idle([this] {
    FLastDisk = FCurrentDisk;
    FSpanWriteBusy = false;
  });
  FCurrentDisk = 0;
  FVolumeFree = 0;
  FNewDiskWanted = true;
  FPartBytesWritten = 0;
  FLastDisk = -1;
  FSpanInName = InFileName;
  FSpanOutName = OutFileName;
  SpanOutHandle = pf::InvalidFile;
  SpanProgress = false;
  FDiskAction = TZipDiskAction::zdaOk;
  finishedParts_.clear();
  openPart_ = {};
  olderSetStamp_.reset();
  messages_.restart();
  FSpanDrive = pf::volumes().volumeRoot(pf::expandFileName(OutFileName));
  FSpanOnFixedDrive = DriveIsFixed(FSpanDrive);

  const bool unnamed = pf::extractFileName(OutFileName).empty();
  if (unnamed || !pf::fileExists(InFileName)) {
    ReportZipError(spanError(unnamed ? DS_CreationOutputFileFailed : DS_NoInFile));
    return -7;
  }

  // Parts that have not taken their names go, whatever ends the write.
  const pf::ScopeExit discard([this] {
    SpanProgress = false;
    discardSpanParts();
    closeInput();
  });
  std::exception_ptr failure;
  {
    StartWaitCursor();
    const pf::ScopeExit cursorBack([this] { StopWaitCursor(); });
    try {
      spreadArchive();
    } catch (const std::exception&) {
      failure = std::current_exception();
    }
  }
  // The cursor is back before a failure is shown.
  const int result = failure ? reportCopyFailure(failure) : 0;
  OnProgress(this, ProgressType::EndOfBatch, std::string(), 0);
  closeInput();
  if (result != 0) return result;

  try {
    // With .zNN names the set's last part carries the target's own name.
    const bool numbered = FSpanOnFixedDrive || FSpanOptions.Contains(SpanOptsEnum::spNoVolumeName);
    finishSpanParts(numbered && FSpanOptions.Contains(SpanOptsEnum::spCompatName) ? OutFileName
                                                                                  : openPart_.final);
    if (numbered) removeOlderPartsBeyond();
  } catch (const std::exception&) {
    return reportCopyFailure(std::current_exception());
  }
  return 0;
}

} // namespace ZavOzeriz
