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
#include "Platform/TempFiles/TempFiles.h"
#include "Platform/Volumes/Volumes.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

namespace ZavOzeriz {

using namespace ZipMessages;
using namespace ZipRecords;
namespace pf = kv::platform;
namespace fs = std::filesystem;

namespace {
EZavOzeriz joinError(int Ident) { return EZavOzeriz::CreateResDisp(Ident, true); }
} // namespace

bool TZavOzeriz::atInputPartEnd() const {
  const int64_t pos = pf::fileSeek(FSpanInHandle, 0, 1);
  return pos >= 0 && pos >= pf::fileLength(FSpanInHandle);
}

void TZavOzeriz::nextInputPart(int ErrorId) {
  if (FCurrentDisk >= FLastDisk) throw joinError(ErrorId);
  SwitchInputDisk(FCurrentDisk + 1);
}

void TZavOzeriz::readAcross(void* Buffer, int64_t Len, int ErrorId) {
  auto* p = static_cast<uint8_t*>(Buffer);
  while (Len > 0) {
    const int64_t got = pf::fileRead(FSpanInHandle, p, Len);
    if (got < 0) throw joinError(ErrorId);
    p += got;
    Len -= got;
    if (Len > 0) {
      if (!atInputPartEnd()) throw joinError(ErrorId);
      nextInputPart(ErrorId);
    }
  }
}

void TZavOzeriz::skipAcross(int64_t Len, int ErrorId) {
  while (Len > 0) {
    const int64_t pos = pf::fileSeek(FSpanInHandle, 0, 1);
    const int64_t left = pf::fileLength(FSpanInHandle) - pos;
    if (pos < 0 || left < 0) throw joinError(DS_FailedSeek);
    if (left == 0) {
      nextInputPart(ErrorId);
      continue;
    }
    const int64_t step = std::min(left, Len);
    if (pf::fileSeek(FSpanInHandle, pos + step, 0) != pos + step) throw joinError(DS_FailedSeek);
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
  if (pf::fileSeek(FSpanInHandle, Offset, 0) != Offset) throw joinError(DS_FailedSeek);
}

void TZavOzeriz::writeJoined(const void* Buffer, int64_t Len, int ErrorId) {
  WriteChecked(Buffer, Len, ErrorId);
  FJoinedSize += Len;
}

void TZavOzeriz::CopyAcrossDisks(int64_t Len, int ErrorId) {
  FCopyBuffer.resize(SpanCopyBufferSize);
  while (Len > 0) {
    // A long copy keeps the owner's windows alive.
    pf::processMessages();
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

void TZavOzeriz::joinSet(const EndOfCentralDirRecord& eoc, int64_t eocOffset) {
  if (eoc.CentralDiskNo != FCurrentDisk) SwitchInputDisk(eoc.CentralDiskNo);
  if (pf::fileSeek(FSpanInHandle, eoc.CentralOffset, 0) != static_cast<int64_t>(eoc.CentralOffset))
    throw joinError(DS_FailedSeek);

  // First pass: the directory, for every member's length and the place of its local header.
  TMZipDataList list(eoc.TotalEntries);
  uint8_t hdr[CentralHeader::Size];
  std::vector<uint8_t> name;
  uint64_t totalSize = 0;
  for (int i = 0; i < list.Count(); ++i) {
    readAcross(hdr, CentralHeader::Size, DS_CEHBadRead);
    const auto fields = CentralHeaderFields::parse(hdr);
    if (!fields) throw joinError(DS_CEHWrongSig);
    name.resize(fields->FileNameLength);
    readAcross(name.data(), fields->FileNameLength, DS_CENameLen);
    ZipDataItem& item = list.ItemAt(i);
    item.NameLength = fields->FileNameLength;
    item.Name.assign(name.begin(), name.end());
    item.CdCompressedSize = fields->CompressedSize;
    item.CdCRC32 = fields->CRC32;
    item.SourceDisk = fields->StartOnDisk;
    item.SourceOffset = fields->RelOffLocalHdr;
    totalSize += fields->variableLength() + fields->CompressedSize;
    skipAcross(fields->ExtraFieldLength + fields->FileCommentLen, DS_CEHBadRead);
  }
  list.IndexPlaces();

  // Second pass: the local entries, from the first volume on.
  SwitchInputDisk(0);
  SpanProgress = true;
  OnProgress(this, ProgressType::TotalFiles2Process, std::string(), static_cast<uint32_t>(list.Count()));
  OnProgress(this, ProgressType::TotalSize2Process, std::string(), static_cast<uint32_t>(totalSize));
  uint8_t marker[4];
  readAcross(marker, 4, DS_ReadingExtendedLocalSignature);
  if (getU32(marker) != ExtLocalSig) throw joinError(DS_ReadingExtendedLocalSignature);

  const std::string copying = LoadZipStr(GE_Copying, "Copying: ");
  uint8_t local[LocalHeader::Size];
  const size_t locals = list.Places().size();
  for (size_t k = 0; k < locals; ++k) {
    // A header that begins a volume is found on that volume, not at the end of the last.
    if (atInputPartEnd() && FCurrentDisk < FLastDisk) nextInputPart(DS_ReadingLocalHeader);
    const int disk = FCurrentDisk;
    const int64_t offset = pf::fileSeek(FSpanInHandle, 0, 1);
    readAcross(local, LocalHeader::Size, DS_ReadingLocalHeader);
    if (getU32(local) != LocalFileHeaderSig) throw joinError(DS_LocalHeaderSignatureWrong);
    const uint16_t nameLen = getU16(local + LocalHeader::FileNameLength);
    const uint16_t extraLen = getU16(local + LocalHeader::ExtraFieldLength);
    const uint16_t flag = getU16(local + LocalHeader::Flag);
    name.resize(nameLen);
    readAcross(name.data(), nameLen, DS_ReadingLocalFileName);
    const std::vector<int>& members = list.AtPlace(static_cast<uint16_t>(disk), offset);
    if (members.empty()) throw joinError(DS_LocalHeaderFoundInternal);
    if (FJoinedSize > UINT32_MAX) throw joinError(DS_WritingLocalHeader);
    for (int m : members) {
      ZipDataItem& item = list.ItemAt(m);
      item.DiskNumber = 0;
      item.LocalOffset = FJoinedSize;
    }
    const ZipDataItem& first = list.ItemAt(members.front());
    const std::string shown(name.begin(), name.end());
    if (OnMessage) OnMessage(this, 0, copying + SlashToBackslash(shown));
    const uint32_t localSize = getU32(local + LocalHeader::CompressedSize);
    const int64_t dataLen = localSize != 0 ? localSize : first.CdCompressedSize;
    const bool descriptor = (flag & FlagDataDescriptor) != 0;
    const int64_t size = static_cast<int64_t>(LocalHeader::Size) + nameLen + extraLen + dataLen +
                         (descriptor ? static_cast<int64_t>(DataDescriptor::Size) : 0);
    OnProgress(this, ProgressType::NewFile, shown, static_cast<uint32_t>(size));

    writeJoined(local, LocalHeader::Size, DS_WritingLocalHeader);
    writeJoined(name.data(), nameLen, DS_WritingLocalHeader);
    CopyAcrossDisks(extraLen, DS_ReadingLocalExtraField);
    CopyAcrossDisks(dataLen, DS_ReadingZippedData);
    if (descriptor) {
      uint8_t dd[DataDescriptor::Size];
      readAcross(dd, 4, DS_ReadingWritingDataDescriptor);
      size_t have = 4;
      if (getU32(dd) == ExtLocalSig && first.CdCRC32 == ExtLocalSig) {
        readAcross(dd + 4, 4, DS_ReadingWritingDataDescriptor);
        have = 8;
      }
      const int len = DataDescriptorLength(dd, have, first.CdCRC32);
      if (len == 0) throw joinError(DS_ReadingWritingDataDescriptor);
      readAcross(dd + have, len - static_cast<int64_t>(have), DS_ReadingWritingDataDescriptor);
      writeJoined(dd, len, DS_ReadingWritingDataDescriptor);
    }
  }

  // Third pass: the directory again, pointing into the joined file.
  SpanProgress = false;
  moveInputTo(eoc.CentralDiskNo, eoc.CentralOffset);
  const int64_t centralOffset = FJoinedSize;
  for (int i = 0; i < list.Count(); ++i) {
    readAcross(hdr, CentralHeader::Size, DS_CEHBadRead);
    const auto fields = CentralHeaderFields::parse(hdr);
    if (!fields) throw joinError(DS_CEHWrongSig);
    name.resize(fields->FileNameLength);
    readAcross(name.data(), fields->FileNameLength, DS_CENameLen);
    const ZipDataItem& item = list.ItemAt(i);
    putU16(hdr + CentralHeader::StartOnDisk, 0);
    putU32(hdr + CentralHeader::RelOffLocalHdr, static_cast<uint32_t>(item.LocalOffset));
    writeJoined(hdr, CentralHeader::Size, DS_WritingCentralHeader);
    writeJoined(name.data(), fields->FileNameLength, DS_WritingCentralHeader);
    CopyAcrossDisks(fields->ExtraFieldLength, DS_ReadingCentralExtraField);
    CopyAcrossDisks(fields->FileCommentLen, DS_CECommentLen);
  }

  if (centralOffset > UINT32_MAX) throw joinError(DS_WritingEndCentralDirectory);
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
  FJoinedSize = 0;
  StartWaitCursor();

  std::string outName;
  bool created = false;
  struct Cleanup {
    TZavOzeriz& z;
    bool& created;
    std::string& outName;
    int result = -9; // until the join is known to have succeeded
    ~Cleanup() {
      z.OnProgress(&z, ProgressType::EndOfBatch, std::string(), 0);
      z.SpanProgress = false;
      z.closeInput();
      if (created) {
        pf::fileSetDate(z.SpanOutHandle, z.FSpanDateStamp);
        pf::fileClose(z.SpanOutHandle);
        z.SpanOutHandle = pf::InvalidFile;
        if (result != 0) pf::deleteFile(outName);
      }
      z.FSpanReadBusy = false;
      z.StopWaitCursor();
    }
  };

  int result = 0;
  {
    Cleanup cleanup{*this, created, outName};
    try {
      const bool named = !pf::extractFileName(OutFileName).empty();
      if (named) {
        outName = pf::changeFileExt(OutFileName, ".zip");
      } else {
        // The joined copy can hold a whole database: it is created at once, exclusively
        // and for this user alone, and kept open, so no name is ever free for another
        // program to put a file or link in its place.
        auto file = pf::createTempFile(tempDirectory(), "zip", ".zip");
        if (!file) throw joinError(DS_TemporaryFileCouldCreated);
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
        if (namesPartOfSet(outName, FLastDisk)) throw joinError(DS_CreationOutputFileFailed);
        EraseFile(outName, FHowToDelete);
        SpanOutHandle = pf::fileCreate(outName);
        if (SpanOutHandle == pf::InvalidFile) throw joinError(DS_CreationOutputFileFailed);
        created = true;
      }
      FSpanDateStamp = pf::fileGetDate(FSpanInHandle);
      joinSet(eoc, eocOffset);
    } catch (const EZavOzeriz& e) {
      result = -7;
      ReportZipError(e);
    } catch (const std::bad_alloc&) {
      result = -8;
      ShowZipMessage(GE_NoMemory);
    } catch (const pf::EOutOfMemory&) {
      result = -8;
      ShowZipMessage(GE_NoMemory);
    } catch (const std::exception& e) {
      result = -9;
      ShowZipMessage(DS_UnknownCopyError, e.what());
    }
    cleanup.result = result;
  }
  OutFileName = result == 0 ? outName : std::string();
  return result;
}

} // namespace ZavOzeriz
