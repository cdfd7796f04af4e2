// Joining a spanned set back into one ordinary archive, volume by volume: the central
// directory first (to learn every member's length and place), then the local entries of
// the first volume onwards, then the directory again with offsets into the joined file.
// Every read goes on to the next volume where a part ends, so a record split between
// two parts is read whole.
#include "Archive/ZavOzeriz.h"
#include "Archive/ZavOzerizSpan.h"
#include "Archive/ZipMessages.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Paths/Paths.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/TempFiles/TempFiles.h"
#include "Platform/Volumes/Volumes.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <new>
#include <system_error>

namespace ZavOzeriz {

using namespace ZipMessages;
using namespace ZipRecords;
namespace pf = kv::platform;
namespace fs = std::filesystem;

bool TZavOzeriz::atInputPartEnd() const {
  const int64_t pos = pf::fileSeek(FSpanInHandle, 0, 1);
  return pos >= 0 && pos >= pf::fileLength(FSpanInHandle);
}

void TZavOzeriz::nextInputPart(int ErrorId) {
  if (FCurrentDisk >= FLastDisk) throw spanError(ErrorId);
  SwitchInputDisk(FCurrentDisk + 1);
}

void TZavOzeriz::readAcross(void* Buffer, int64_t Len, int ErrorId) {
  auto* p = static_cast<uint8_t*>(Buffer);
  while (Len > 0) {
    const int64_t got = pf::fileRead(FSpanInHandle, p, Len);
    if (got < 0) throw spanError(ErrorId);
    p += got;
    Len -= got;
    if (Len > 0) {
      if (!atInputPartEnd()) throw spanError(ErrorId);
      nextInputPart(ErrorId);
    }
  }
}

void TZavOzeriz::skipAcross(int64_t Len, int ErrorId) {
  while (Len > 0) {
    const int64_t pos = pf::fileSeek(FSpanInHandle, 0, 1);
    const int64_t left = pf::fileLength(FSpanInHandle) - pos;
    if (pos < 0 || left < 0) throw spanError(DS_FailedSeek);
    if (left == 0) {
      nextInputPart(ErrorId);
      continue;
    }
    const int64_t step = std::min(left, Len);
    seekInput(pos + step, DS_FailedSeek);
    Len -= step;
  }
}

// Reading on where the last read ended, unless the wanted place is elsewhere; the start of
// the next volume counts as the end of this one, so no volume is asked for twice.
void TZavOzeriz::moveInputTo(int Disk, int64_t Offset) {
  const int64_t pos = pf::fileSeek(FSpanInHandle, 0, 1);
  if (Disk == FCurrentDisk && pos == Offset) return;
  if (Disk == FCurrentDisk + 1 && Offset == 0 && atInputPartEnd()) {
    SwitchInputDisk(Disk);
    return;
  }
  if (Disk != FCurrentDisk) SwitchInputDisk(Disk);
  seekInput(Offset, DS_FailedSeek);
}

void TZavOzeriz::writeJoined(const void* Buffer, int64_t Len, int ErrorId) {
  WriteChecked(Buffer, Len, ErrorId);
  joinedSize_ += Len;
}

void TZavOzeriz::CopyAcrossDisks(int64_t Len, int ErrorId) {
  FCopyBuffer.resize(SpanCopyBufferSize);
  while (Len > 0) {
    // A long copy keeps the owner's windows alive.
    messages_.letMessagesRun();
    const int64_t n = std::min<int64_t>(Len, SpanCopyBufferSize);
    readAcross(FCopyBuffer.data(), n, ErrorId);
    writeJoined(FCopyBuffer.data(), n, ErrorId);
    Len -= n;
  }
}

// Whether Name is the input or, with numbered names, one of the other parts of the set:
// the joined file must never be written over the set it is made from.
bool TZavOzeriz::namesPartOfSet(const std::string& Name, int LastPart) {
  std::error_code ec;
  if (!fs::exists(Name, ec)) return false;
  auto same = [&](const std::string& part) {
    std::error_code e;
    return fs::exists(part, e) && fs::equivalent(Name, part, e);
  };
  if (same(FSpanInName)) return true;
  if (!FSpanOnFixedDrive && !FSpanOptions.Contains(SpanOptsEnum::spNoVolumeName)) return false;
  const int saved = FCurrentDisk;
  bool found = false;
  for (int disk = 0; disk <= LastPart && !found; ++disk) {
    FCurrentDisk = disk;
    std::string part = FSpanInName;
    SpanPartName(part, true);
    found = same(part);
  }
  FCurrentDisk = saved;
  return found;
}

// The work list from the set's directory: every member's name, length and the volume and
// offset of its local header; TotalSize counts what the members' copies take.
TMZipDataList TZavOzeriz::collectSetPlaces(const EndOfCentralDirRecord& eoc, uint64_t& TotalSize) {
  if (eoc.CentralDiskNo != FCurrentDisk) SwitchInputDisk(eoc.CentralDiskNo);
  seekInput(eoc.CentralOffset, DS_FailedSeek);
  TMZipDataList list(eoc.TotalEntries);
  TotalSize = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const CentralEntry entry = readCentralEntry(std::bind_front(&TZavOzeriz::readAcross, this));
    list.ItemAt(i) = workItem(entry, entry.fields.StartOnDisk, entry.fields.RelOffLocalHdr);
    TotalSize += entry.fields.variableLength() + entry.fields.CompressedSize;
    skipAcross(entry.fields.ExtraFieldLength + entry.fields.FileCommentLen, DS_CEHBadRead);
  }
  list.IndexPlaces();
  return list;
}

// The local entries from the first volume on, each found where the set's directory says;
// the members' places in the joined file go into the work list.
void TZavOzeriz::joinMembers(TMZipDataList& list) {
  const auto read = std::bind_front(&TZavOzeriz::readAcross, this);
  uint8_t marker[4];
  read(marker, 4, DS_ReadingExtendedLocalSignature);
  if (getU32(marker) != ExtLocalSig) throw spanError(DS_ReadingExtendedLocalSignature);

  const std::string copying = LoadZipStr(GE_Copying, "Copying: ");
  const size_t locals = list.Places().size();
  for (size_t k = 0; k < locals; ++k) {
    // A header that begins a volume is found on that volume, not at the end of the last.
    if (atInputPartEnd() && FCurrentDisk < FLastDisk) nextInputPart(DS_ReadingLocalHeader);
    const int disk = FCurrentDisk;
    const int64_t offset = pf::fileSeek(FSpanInHandle, 0, 1);
    const LocalEntry local = readLocalEntry(read);
    const std::vector<int>& members = list.AtPlace(static_cast<uint16_t>(disk), offset);
    if (members.empty()) throw spanError(DS_LocalHeaderFoundInternal);
    if (joinedSize_ > UINT32_MAX) throw spanError(DS_WritingLocalHeader);
    for (int m : members) {
      ZipDataItem& item = list.ItemAt(m);
      item.DiskNumber = 0;
      item.LocalOffset = joinedSize_;
    }
    const ZipDataItem& first = list.ItemAt(members.front());
    if (OnMessage) OnMessage(this, 0, copying + SlashToBackslash(local.name));
    const int64_t dataLen = local.dataLength(first.CdCompressedSize);
    const int64_t size = local.headLength() + dataLen +
                         (local.hasDescriptor() ? static_cast<int64_t>(DataDescriptor::Size) : 0);
    OnProgress(this, ProgressType::NewFile, local.name, static_cast<uint32_t>(size));

    writeJoined(local.header, LocalHeader::Size, DS_WritingLocalHeader);
    writeJoined(local.name.data(), local.nameLength, DS_WritingLocalHeader);
    CopyAcrossDisks(local.extraLength, DS_ReadingLocalExtraField);
    CopyAcrossDisks(dataLen, DS_ReadingZippedData);
    if (local.hasDescriptor()) {
      uint8_t dd[DataDescriptor::Size];
      read(dd, 4, DS_ReadingWritingDataDescriptor);
      size_t have = 4;
      if (getU32(dd) == ExtLocalSig && first.CdCRC32 == ExtLocalSig) {
        read(dd + 4, 4, DS_ReadingWritingDataDescriptor);
        have = 8;
      }
      const int len = DataDescriptorLength(dd, have, first.CdCRC32);
      if (len == 0) throw spanError(DS_ReadingWritingDataDescriptor);
      read(dd + have, len - static_cast<int64_t>(have), DS_ReadingWritingDataDescriptor);
      writeJoined(dd, len, DS_ReadingWritingDataDescriptor);
    }
  }
}

// The set's directory again, pointing into the joined file, then the end record of one
// file and the archive comment.
void TZavOzeriz::joinDirectory(const TMZipDataList& list, const EndOfCentralDirRecord& eoc,
                               int64_t eocOffset) {
  moveInputTo(eoc.CentralDiskNo, eoc.CentralOffset);
  const int64_t centralOffset = joinedSize_;
  for (int i = 0; i < list.Count(); ++i) {
    const CentralEntry entry = readCentralEntry(std::bind_front(&TZavOzeriz::readAcross, this));
    const auto header = entry.headerAt(0, static_cast<uint32_t>(list.ItemAt(i).LocalOffset));
    writeJoined(header.data(), CentralHeader::Size, DS_WritingCentralHeader);
    writeJoined(entry.name.data(), entry.fields.FileNameLength, DS_WritingCentralHeader);
    CopyAcrossDisks(entry.fields.ExtraFieldLength, DS_ReadingCentralExtraField);
    CopyAcrossDisks(entry.fields.FileCommentLen, DS_CECommentLen);
  }

  if (centralOffset > UINT32_MAX) throw spanError(DS_WritingEndCentralDirectory);
  EndOfCentralDirRecord out = eoc;
  out.ThisDiskNo = 0;
  out.CentralDiskNo = 0;
  // One file now holds the whole directory.
  out.CentralEntriesOnDisk = eoc.TotalEntries;
  out.CentralOffset = static_cast<uint32_t>(centralOffset);
  uint8_t record[EndOfCentralDir::Size];
  out.write(record);
  writeJoined(record, EndOfCentralDir::Size, DS_WritingEndCentralDirectory);
  moveInputTo(eoc.ThisDiskNo, eocOffset + static_cast<int64_t>(EndOfCentralDir::Size));
  CopyAcrossDisks(eoc.ZipCommentLen, DS_ReadingArchiveComment);
}

void TZavOzeriz::joinSet(const EndOfCentralDirRecord& eoc, int64_t eocOffset) {
  uint64_t totalSize = 0;
  TMZipDataList list = collectSetPlaces(eoc, totalSize);
  SwitchInputDisk(0);
  SpanProgress = true;
  OnProgress(this, ProgressType::TotalFiles2Process, std::string(), static_cast<uint32_t>(list.Count()));
  OnProgress(this, ProgressType::TotalSize2Process, std::string(), static_cast<uint32_t>(totalSize));
  joinMembers(list);
  SpanProgress = false;
  joinDirectory(list, eoc, eocOffset);
}

// Finds the set's end record, then creates the joined file and joins the set into it.
void TZavOzeriz::joinInto(const std::string& OutFileName, std::string& outName, bool& created) {
  const bool named = !pf::extractFileName(OutFileName).empty();
  if (named) {
    outName = pf::changeFileExt(OutFileName, ".zip");
  } else {
    // The joined copy can hold a whole database: it is created at once, exclusively
    // and for this user alone, and kept open, so no name is ever free for another
    // program to put a file or link in its place.
    auto file = pf::createTempFile(tempDirectory(), "zip", ".zip");
    if (!file) throw spanError(DS_TemporaryFileCouldCreated);
    outName = file->name;
    SpanOutHandle = file->handle;
    created = true;
  }
  CheckDrive();

  EndOfCentralDirRecord eoc;
  if (FSpanOnFixedDrive || FSpanOptions.Contains(SpanOptsEnum::spNoVolumeName)) {
    ReadEOC(eoc, true);
  } else {
    FNewDiskWanted = false;
    while (!ReadEOC(eoc, false)) {
      // The disk in the drive is not the last one: ask for it every time.
      FNewDiskWanted = true;
      PromptForDisk(false);
    }
  }
  const int64_t eocOffset = FEOCOffset;
  FLastDisk = eoc.ThisDiskNo;
  FCurrentDisk = FLastDisk;

  if (named) {
    if (namesPartOfSet(outName, FLastDisk)) throw spanError(DS_CreationOutputFileFailed);
    EraseFile(outName, FHowToDelete);
    SpanOutHandle = pf::fileCreate(outName);
    if (SpanOutHandle == pf::InvalidFile) throw spanError(DS_CreationOutputFileFailed);
    created = true;
  }
  FSpanDateStamp = pf::fileGetDate(FSpanInHandle);
  joinSet(eoc, eocOffset);
}

int TZavOzeriz::ReadSpan(const std::string& InFileName, std::string& OutFileName) {
  FSpanReadBusy = true;
  FSpanDrive = pf::volumes().volumeRoot(pf::expandFileName(InFileName));
  FSpanOnFixedDrive = DriveIsFixed(FSpanDrive);
  FCurrentDisk = -1;
  FLastDisk = -1; // unknown until the last part is found
  FNewDiskWanted = false;
  SpanProgress = false;
  closeInput();
  FSpanInName = InFileName;
  joinedSize_ = 0;
  messages_.restart();
  StartWaitCursor();

  std::string outName;
  bool created = false;
  int result = -9; // until the join is known to have succeeded
  const pf::ScopeExit cleanUp([&] {
    SpanProgress = false;
    closeInput();
    if (created) {
      pf::fileSetDate(SpanOutHandle, FSpanDateStamp);
      pf::fileClose(SpanOutHandle);
      SpanOutHandle = pf::InvalidFile;
      if (result != 0) pf::deleteFile(outName);
    }
    FSpanReadBusy = false;
    StopWaitCursor();
  });
  try {
    joinInto(OutFileName, outName, created);
    result = 0;
  } catch (const std::exception&) {
    result = reportCopyFailure(std::current_exception());
  }
  OnProgress(this, ProgressType::EndOfBatch, std::string(), 0);
  OutFileName = result == 0 ? outName : std::string();
  return result;
}

} // namespace ZavOzeriz
