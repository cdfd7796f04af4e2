// Reading the archive's directory: the end of central directory record, the parts of
// spanned sets, every central header, the code-page rule for names and comments.
#include "Archive/ZavOzeriz.h"

#include "Archive/ZipMessages.h"
#include "Platform/CodePage/CodePage.h"
#include "Platform/Paths/Paths.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Volumes/Volumes.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace ZavOzeriz {

using namespace ZipMessages;
using namespace ZipRecords;
namespace pf = kv::platform;

namespace {

// Reads the central directory through one buffer instead of a system call per field:
// a directory of tens of thousands of entries is read in a few large reads.
class InputBuffer {
public:
  explicit InputBuffer(pf::FileHandle handle) : handle_(handle), buf_(256 * 1024) {}
  void reset(pf::FileHandle handle) {
    handle_ = handle;
    pos_ = len_ = 0;
  }
  // Points at the next n bytes when that many are left, else consumes what is left and fails.
  bool take(size_t n, const uint8_t*& p) {
    if (len_ - pos_ < n) {
      std::memmove(buf_.data(), buf_.data() + pos_, len_ - pos_);
      len_ -= pos_;
      pos_ = 0;
      if (buf_.size() < n) buf_.resize(n);
      while (len_ < n) {
        const int64_t got =
            pf::fileRead(handle_, buf_.data() + len_, static_cast<int64_t>(buf_.size() - len_));
        if (got <= 0) break;
        len_ += static_cast<size_t>(got);
      }
      if (len_ < n) {
        pos_ = len_;
        return false;
      }
    }
    p = buf_.data() + pos_;
    pos_ += n;
    return true;
  }

private:
  pf::FileHandle handle_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, len_ = 0;
};

// The number formed by a text, 0 when it is not one.
int numberOrZero(const std::string& s) {
  if (s.empty() || s.size() > 9) return 0;
  for (char c : s)
    if (c < '0' || c > '9') return 0;
  return std::stoi(s);
}

} // namespace

std::string TZavOzeriz::ConvertNameCodePage(const std::string& Name, bool ToOEM) const {
  // A writer that marks the entry UTF-8 says what its bytes are, so no code page applies.
  if (FEntryFlag & FlagUtf8) return Name;
  const bool convert = (FCodePage == CodePageOpts::cpAuto && FEntryHost == HostFAT) ||
                       FEntryHost == HostHPFS || (FEntryHost == HostNTFS && FEntryVersion == 50) ||
                       FCodePage == CodePageOpts::cpOEM;
  if (!convert) return Name;
  return ToOEM ? pf::ansiToOem(Name) : pf::oemToAnsi(Name);
}

// The number of the volume the input is, from its label or its name; 0 when they tell none.
int TZavOzeriz::inputVolumeNumber() const {
  if (FVolumeLabelText.starts_with("PKBACK# ")) return numberOrZero(FVolumeLabelText.substr(8, 3));
  const std::string ext = pf::extractFileExt(FSpanInName);
  if (FSpanOptions.Contains(SpanOptsEnum::spCompatName))
    return ext.size() > 2 ? numberOrZero(ext.substr(2, 2)) : 0;
  const std::string stem = pf::extractFileName(FSpanInName.substr(0, FSpanInName.size() - ext.size()));
  return stem.size() >= 3 ? numberOrZero(stem.substr(stem.size() - 3)) : 0;
}

// Searches the last 64 kB of the input, from its end backwards, for an end record that a
// comment may follow, and takes the comment; false when there is none.
bool TZavOzeriz::scanForEOC(EndOfCentralDirRecord& EOC, int64_t length) {
  const int64_t scan = std::min<int64_t>(65557, length);
  seekInput(length - scan, DS_FailedSeek);
  std::vector<uint8_t> block(static_cast<size_t>(scan));
  if (pf::fileRead(FSpanInHandle, block.data(), scan) != scan)
    throw EZavOzeriz::CreateResDisp(DS_EOCBadRead, true);
  for (int64_t i = scan - 23; i >= 0; --i) {
    const uint8_t* p = block.data() + i;
    if (p[0] != 'P' || p[1] != 'K' || p[2] != 5 || p[3] != 6) continue;
    FEOCOffset = length - scan + i;
    EOC = *EndOfCentralDirRecord::parse(std::span<const uint8_t>(p, EndOfCentralDir::Size));
    const int64_t commentEnd = FEOCOffset + 22 + EOC.ZipCommentLen;
    if (commentEnd != length) {
      // A comment said to reach past the end of the file ends at the end of the file.
      FSpanInputSize = std::min(commentEnd, length);
      bool garbage = true;
      if (commentEnd < length && length % 512 == 0 && length - commentEnd < 512) {
        garbage = !std::all_of(block.begin() + (commentEnd - (length - scan)), block.end(),
                               [](uint8_t b) { return b == 0; });
      }
      if (garbage) ShowZipMessage(LI_GarbageAtEnd);
    }
    if (EOC.ZipCommentLen > 0) {
      const int64_t from = i + 22;
      const int64_t to = std::min<int64_t>(from + EOC.ZipCommentLen, scan);
      const auto* c = reinterpret_cast<const char*>(block.data() + from);
      FZipComment.assign(c, strnlen(c, static_cast<size_t>(to - from)));
    }
    return true;
  }
  return false;
}

bool TZavOzeriz::ReadEOC(EndOfCentralDirRecord& EOC, bool RaiseErrors) {
  FZipComment.clear();
  bool marker = false;
  FEOCOffset = 0;

  closeInput();
  FSpanInHandle = pf::fileOpen(FSpanInName, pf::fmOpenRead | pf::fmShareDenyWrite);
  if (FSpanInHandle == pf::InvalidFile) {
    if (RaiseErrors) throw EZavOzeriz::CreateResDisp(DS_NoInFile, true);
    ShowZipMessage(DS_NoOpen);
    return false;
  }

  uint8_t head[8];
  if (pf::fileRead(FSpanInHandle, head, 8) == 8 && getU32(head) == ExtLocalSig &&
      getU32(head + 4) == LocalFileHeaderSig) {
    marker = true;
    FSpanned = true;
  }

  const int64_t length = pf::fileLength(FSpanInHandle);
  if (length >= static_cast<int64_t>(EndOfCentralDir::Size)) {
    FRealFileSize = FSpanInputSize = length;
    uint8_t tail[EndOfCentralDir::Size];
    if (pf::fileReadAt(FSpanInHandle, length - 22, tail, 22)) {
      if (auto r = EndOfCentralDirRecord::parse(tail)) {
        FEOCOffset = length - 22;
        EOC = *r;
        return true;
      }
    }
    try {
      if (scanForEOC(EOC, length)) return true;
    } catch (const pf::Exception&) { // the component's own among them
      if (RaiseErrors) throw;
      return false;
    } catch (const std::bad_alloc&) {
      if (RaiseErrors) throw;
      return false;
    }
  }

  if (!RaiseErrors) return false;
  const int volume = inputVolumeNumber();
  if (!marker) {
    if (volume == 0) throw EZavOzeriz::CreateResDisp(DS_NotAValidZip, true);
    throw EZavOzeriz::CreateResFmtInt(DS_NthInSet, volume);
  }
  if (volume == 1) throw EZavOzeriz::CreateResDisp(DS_FirstInSet, true);
  throw EZavOzeriz::CreateResDisp(DS_FirstFileInSet, true);
}

void TZavOzeriz::ReadZipDir() {
  if (IsDesigning()) return;
  // A handler that names another archive while one is read must not pull the directory away
  // under the read: the name set last is read, with its own OnDirUpdate, once the running
  // read has finished.
  if (readingDir_) {
    readDirAgain_ = true;
    return;
  }
  readingDir_ = true;
  const pf::ScopeExit done([this] { readingDir_ = false; });
  do {
    readDirAgain_ = false;
    readZipDirOnce();
  } while (readDirAgain_);
}

void TZavOzeriz::readZipDirOnce() {
  ClearZipContents();
  FRealFileSize = 0;
  FCentralDirStart = 0;
  FDataStart = 0;
  FZipComment.clear();
  FSpanned = false;
  FStructureWarning = false;
  FDroppedEntries = 0;
  FDirLastDisk = 0;
  FErrCode = 0;

  if (!pf::fileExists(FZipFileName)) {
    OnDirUpdate(this);
    return;
  }

  bool cursor = false;
  EndOfCentralDirRecord eoc;
  auto finish = [&](bool failed) {
    if (cursor) StopWaitCursor();
    closeInput();
    if (failed) {
      if (!readDirAgain_) FZipFileName.clear(); // a name set meanwhile is still to be read
      FDataStart = 0;
    } else {
      FDataStart += static_cast<uint32_t>(FCentralDirStart - static_cast<int64_t>(eoc.CentralOffset));
    }
    OnDirUpdate(this);
  };

  bool failed = false;
  try {
    try {
      StartWaitCursor();
      cursor = true;
      FSpanInName = FZipFileName;
      FSpanDrive = pf::volumes().volumeRoot(pf::expandFileName(FZipFileName));
      FSpanOnFixedDrive = DriveIsFixed(FSpanDrive);
      CheckDrive();
      ReadEOC(eoc, true);
      readDirectory(eoc);
    } catch (const EZavOzeriz& e) {
      failed = true;
      ReportZipError(e);
    } catch (const std::bad_alloc&) {
      failed = true;
      ShowZipMessage(GE_NoMemory);
    } catch (const pf::EOutOfMemory&) {
      failed = true;
      ShowZipMessage(GE_NoMemory);
    } catch (const pf::Exception& e) {
      failed = true;
      ShowZipMessage(LI_UnknownError, e.Message());
    }
  } catch (...) {
    // A handler of OnMessage that raises, or an exception from outside the class library.
    finish(true);
    throw;
  }
  finish(failed);
}

void TZavOzeriz::readDirectory(EndOfCentralDirRecord& eoc) {
  const auto readInput = [this](int64_t pos, uint8_t* out, size_t count) {
    return pf::fileReadAt(FSpanInHandle, pos, out, static_cast<int64_t>(count));
  };
  // Before anything is read or warned about: the directory's true figures are elsewhere.
  if (needsZip64(eoc, readInput, FEOCOffset)) throw EZavOzeriz::withText(DS_NotAValidZip, Zip64RefusedText);
  FLastDisk = eoc.ThisDiskNo;
  if (FLastDisk > 0) FSpanned = true;
  FCurrentDisk = FLastDisk;

  if (eoc.ThisDiskNo == eoc.CentralDiskNo) {
    // The directory ends where the end record begins, or a Zip64 end record in front of it.
    FCentralDirStart =
        FEOCOffset - zip64TrailerLength(readInput, FEOCOffset) - static_cast<int64_t>(eoc.CentralSize);
  } else {
    SwitchInputDisk(eoc.CentralDiskNo);
    FSpanInputSize = pf::fileLength(FSpanInHandle);
    FCentralDirStart = eoc.CentralOffset;
  }

  FDataStart =
      FSpanInputSize == 22 ? 0 : static_cast<uint32_t>(std::min<int64_t>(FSpanInputSize, UINT32_MAX));
  // An empty directory has no place to be wrong about: a spanned set without members
  // stores 0 behind its span marker.
  if (eoc.CentralOffset != FCentralDirStart && eoc.TotalEntries > 0) {
    FStructureWarning = true;
    ShowZipMessage(LI_ErrorInStructure);
  }

  // A directory said to start before the file does cannot be reached.
  seekInput(FCentralDirStart, LI_SeekError);

  InputBuffer in(FSpanInHandle);
  const uint8_t* p = nullptr;
  for (int seqNo = 1; seqNo <= eoc.TotalEntries; ++seqNo) {
    if (!in.take(CentralHeader::Size, p)) {
      if (FCurrentDisk >= FLastDisk) throw EZavOzeriz::CreateResDisp(DS_CEHBadRead, true);
      SwitchInputDisk(FCurrentDisk + 1);
      in.reset(FSpanInHandle);
      if (!in.take(CentralHeader::Size, p)) throw EZavOzeriz::CreateResDisp(DS_CEHBadRead, true);
    }
    auto fields = CentralHeaderFields::parse(std::span<const uint8_t>(p, CentralHeader::Size));
    if (!fields) throw EZavOzeriz::CreateResDisp(DS_CEHWrongSig, true);

    auto entry = std::make_unique<ZipDirEntry>();
    static_cast<CentralHeaderFields&>(*entry) = *fields;
    if (!in.take(fields->FileNameLength, p)) throw EZavOzeriz::CreateResDisp(DS_CENameLen, true);
    FEntryVersion = fields->MadeByVersion;
    FEntryHost = fields->HostVersionNo;
    FEntryFlag = fields->Flag;
    entry->FileName = SlashToBackslash(
        ConvertNameCodePage(std::string(reinterpret_cast<const char*>(p), fields->FileNameLength), false));
    entry->Encrypted = (fields->Flag & FlagEncrypted) != 0;

    if (fields->ExtraFieldLength > 0) {
      if (!in.take(fields->ExtraFieldLength, p)) throw EZavOzeriz::CreateResDisp(LI_SeekError, true);
      entry->ExtraData.assign(p, p + fields->ExtraFieldLength);
    }
    if (fields->FileCommentLen > 0) {
      if (!in.take(fields->FileCommentLen, p)) throw EZavOzeriz::CreateResDisp(DS_CECommentLen, true);
      entry->FileComment =
          ConvertNameCodePage(std::string(reinterpret_cast<const char*>(p), fields->FileCommentLen), false);
    }

    const auto cut = entry->FileName.find_last_of("\\:");
    const bool hasFilePart =
        cut == std::string::npos ? !entry->FileName.empty() : cut + 1 < entry->FileName.size();
    const uint32_t localOffset = entry->RelOffLocalHdr;
    if (FUseDirOnlyEntries || hasFilePart) {
      const ZipDirEntry* kept = entry.get();
      FZipContents.Add(std::move(entry));
      if (OnNewName) OnNewName(this, seqNo, *kept);
    } else {
      ++FDroppedEntries;
    }
    if (localOffset < FDataStart) FDataStart = localOffset;
  }
  FLastDisk = eoc.ThisDiskNo;
  FDirLastDisk = FLastDisk;
}

} // namespace ZavOzeriz
