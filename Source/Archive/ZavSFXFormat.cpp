#include "Archive/ZavSFXFormat.h"

#include "Archive/MessagePace.h"
#include "Archive/ZavOzeriz.h"
#include "Archive/ZipMessages.h"
#include "Platform/PeFiles/PeFile.h"
#include "Platform/Rtl/ScopeExit.h"

#include <algorithm>

namespace ZavSFXFormat {

namespace pf = kv::platform;
using namespace ZipRecords;

namespace {

constexpr int64_t kPiece = 8192;
// The longest archive comment and the end record, plus the one byte the builder's search
// has always looked at more.
constexpr int64_t kEndSearch = 65558;
// The same for the recognising search.
constexpr int64_t kCheckSearch = 65557;
constexpr int64_t kMaxOffset = 0xFFFFFFFFll;

bool writeAll(FileHandle h, const void* buf, int64_t n) { return pf::fileWrite(h, buf, n) == n; }

// Copies the central headers on the archive's disk and the end record from In to Out,
// moving the local-header offsets of the members on that disk and the directory's offset
// by Shift.
int copyDirectory(FileHandle In, int64_t InSize, const EndRecordAt& End, int64_t Prefix, FileHandle Out,
                  int64_t Shift) {
  const auto& eoc = End.Rec;
  int64_t pos = End.DirEnd - eoc.CentralSize;
  const int64_t cdStart = pos;
  std::vector<uint8_t> var;
  for (int i = 0; i < eoc.CentralEntriesOnDisk; ++i) {
    uint8_t fixed[CentralHeader::Size];
    if (pos + static_cast<int64_t>(sizeof fixed) > End.DirEnd ||
        !pf::fileReadAt(In, pos, fixed, sizeof fixed))
      return ResNoDirectory;
    auto h = CentralHeaderFields::parse(fixed);
    if (!h) return ResNoDirectory;
    if (h->StartOnDisk == eoc.ThisDiskNo) {
      // A member's local header lies in front of the directory; one that does not would
      // come out pointing anywhere.
      if (Prefix + h->RelOffLocalHdr + static_cast<int64_t>(LocalHeader::Size) > cdStart)
        return ResNoDirectory;
      const int64_t off = int64_t{h->RelOffLocalHdr} + Shift;
      if (off < 0 || off > kMaxOffset) return ResNoDirectory;
      h->RelOffLocalHdr = static_cast<uint32_t>(off);
      h->write(fixed);
    }
    const int64_t n = static_cast<int64_t>(h->variableLength());
    if (pos + static_cast<int64_t>(sizeof fixed) + n > End.DirEnd) return ResNoDirectory;
    var.resize(static_cast<size_t>(n));
    if (pf::fileRead(In, var.data(), n) != n) return ResNoDirectory;
    if (!writeAll(Out, fixed, sizeof fixed) || !writeAll(Out, var.data(), n)) return ResWrite;
    pos += static_cast<int64_t>(sizeof fixed) + n;
  }
  uint8_t rec[EndOfCentralDir::Size];
  if (!pf::fileReadAt(In, End.Pos, rec, sizeof rec)) return ResNoDirectory;
  auto e = EndOfCentralDirRecord::parse(rec);
  if (!e) return ResNoDirectory;
  const int64_t cd = int64_t{e->CentralOffset} + Shift;
  if (cd < 0 || cd > kMaxOffset) return ResNoDirectory;
  e->CentralOffset = static_cast<uint32_t>(cd);
  // Only the counted headers are copied; a size that took in bytes after them as well would
  // send every reader of the new file to the wrong place.
  e->CentralSize = static_cast<uint32_t>(pos - cdStart);
  e->write(rec);
  if (!writeAll(Out, rec, sizeof rec)) return ResWrite;
  // The comment as far as the file holds it.
  const int64_t comment = std::min<int64_t>(e->ZipCommentLen, InSize - End.Pos - EndOfCentralDir::Size);
  if (comment > 0) {
    var.resize(static_cast<size_t>(comment));
    if (pf::fileRead(In, var.data(), comment) != comment) return ResNoDirectory;
    if (!writeAll(Out, var.data(), comment)) return ResWrite;
  }
  return ResOK;
}

// Bytes in front of the archive's first local header that its offsets do not count, and
// where its central directory starts; nothing when the end record's figures do not fit the file.
bool placeDirectory(const EndRecordAt& End, int64_t& Prefix, int64_t& CentralStart) {
  CentralStart = End.DirEnd - End.Rec.CentralSize;
  Prefix = CentralStart - End.Rec.CentralOffset;
  return CentralStart >= 0 && Prefix >= 0;
}

class HandleSource : public pf::ByteSource {
public:
  HandleSource(FileHandle h, int64_t size) : h_(h), size_(size < 0 ? 0 : static_cast<uint64_t>(size)) {}
  uint64_t size() const override { return size_; }
  bool read(uint64_t offset, void* out, size_t length) const override {
    if (offset > size_ || length > size_ - offset) return false;
    return pf::fileReadAt(h_, static_cast<int64_t>(offset), out, static_cast<int64_t>(length));
  }

private:
  FileHandle h_;
  uint64_t size_;
};

} // namespace

std::optional<OldHeader> FindOldHeader(std::span<const uint8_t> W) {
  for (size_t m = 0; m + 2 < W.size(); ++m) {
    if (W[m] != 'M' || W[m + 1] != 'P' || (W[m + 2] != 'U' && W[m + 2] != 'V')) continue;
    OldHeader h;
    h.KindV = W[m + 2] == 'V';
    auto byteAt = [&](size_t at) -> int { return at < W.size() ? W[at] : -1; };
    auto text = [&](size_t at, size_t len) {
      if (at >= W.size()) return std::string();
      return std::string(reinterpret_cast<const char*>(W.data() + at), std::min(len, W.size() - at));
    };
    const int flags = byteAt(m + 3);
    h.Flags = flags < 0 ? 0 : static_cast<uint8_t>(flags);
    if (!h.KindV) {
      const int l1 = std::max(byteAt(m + 4), 0), l2 = std::max(byteAt(m + 5), 0),
                l3 = std::max(byteAt(m + 6), 0);
      size_t at = m + 7;
      h.Caption = text(at, l1);
      h.DefaultDir = text(at += l1, l2);
      h.CommandLine = text(at += l2, l3);
    } else {
      size_t at = m + 8;
      std::string* texts[] = {&h.Caption, &h.DefaultDir, &h.CommandLine, nullptr};
      std::string message;
      for (auto* t : texts) {
        const int len = byteAt(at);
        std::string s = len < 0 ? std::string() : text(at + 1, static_cast<size_t>(len));
        at += 1 + static_cast<size_t>(std::max(len, 0));
        if (t)
          *t = std::move(s);
        else
          message = std::move(s);
      }
      h.Message = std::move(message);
    }
    return h;
  }
  return std::nullopt;
}

std::optional<EndRecordAt> FindEndRecord(FileHandle In, int64_t Size) {
  if (Size < static_cast<int64_t>(EndOfCentralDir::Size)) return std::nullopt;
  uint8_t last[EndOfCentralDir::Size];
  if (!pf::fileReadAt(In, Size - EndOfCentralDir::Size, last, sizeof last)) return std::nullopt;
  std::optional<EndRecordAt> found;
  if (auto r = EndOfCentralDirRecord::parse(last)) {
    found = EndRecordAt{Size - static_cast<int64_t>(EndOfCentralDir::Size), *r};
  } else {
    const int64_t n = std::min(Size, kEndSearch);
    std::vector<uint8_t> w(static_cast<size_t>(n));
    if (!pf::fileReadAt(In, Size - n, w.data(), n)) return std::nullopt;
    for (size_t i = 0; i + EndOfCentralDir::Size <= w.size(); ++i) {
      auto r = EndOfCentralDirRecord::parse(std::span(w).subspan(i));
      if (r && i + EndOfCentralDir::Size + r->ZipCommentLen <= w.size()) {
        found = EndRecordAt{Size - n + static_cast<int64_t>(i), *r};
        break;
      }
    }
  }
  if (!found || found->Pos == 0) return std::nullopt;
  const ReadAtFn readAt = [In](int64_t pos, uint8_t* out, size_t count) {
    return pf::fileReadAt(In, pos, out, static_cast<int64_t>(count));
  };
  found->DirEnd = found->Pos - zip64TrailerLength(readAt, found->Pos);
  found->NeedsZip64 = needsZip64(found->Rec, readAt, found->Pos);
  return found;
}

int CopyFileData(FileHandle Source, FileHandle Dest, int64_t Count) {
  try {
    std::vector<uint8_t> buf(kPiece);
    ZavOzeriz::MessagePacer messages;
    while (Count != 0) {
      const int64_t want = Count < 0 ? kPiece : std::min(Count, kPiece);
      const int64_t got = pf::fileRead(Source, buf.data(), want);
      if (got > 0 && !writeAll(Dest, buf.data(), got)) return ResWrite;
      messages.letMessagesRun();
      if (Count > 0) Count -= std::max<int64_t>(got, 0);
      if (got < want) break;
    }
    return ResOK;
  } catch (...) {
    return ResWrite;
  }
}

int WriteEmptyZip(FileHandle Out, int64_t EndPos) {
  if (EndPos < 0 || EndPos > kMaxOffset) return ResNoDirectory;
  EndOfCentralDirRecord e;
  e.CentralOffset = static_cast<uint32_t>(EndPos);
  uint8_t rec[EndOfCentralDir::Size];
  e.write(rec);
  return writeAll(Out, rec, sizeof rec) ? ResOK : ResWrite;
}

int WriteShiftedZip(FileHandle In, int64_t InSize, FileHandle Out, int64_t HeadBytes) {
  const auto end = FindEndRecord(In, InSize);
  if (!end) return ResNoDirectory;
  if (end->NeedsZip64) return ResZip64;
  int64_t prefix = 0, cdStart = 0;
  if (!placeDirectory(*end, prefix, cdStart)) return ResNoDirectory;
  const auto& eoc = end->Rec;
  // The last part of a set whose directory lies wholly on it passes the first two tests;
  // its members are on the other parts all the same.
  if (eoc.ThisDiskNo != eoc.CentralDiskNo || eoc.CentralEntriesOnDisk != eoc.TotalEntries ||
      eoc.ThisDiskNo != 0)
    return ResSpanned;
  // Everything in front of the central directory, earlier stubs included, is copied as it is.
  if (pf::fileSeek(In, 0, 0) != 0) return ResNoDirectory;
  if (const int r = CopyFileData(In, Out, cdStart); r != ResOK) return r;
  return copyDirectory(In, InSize, *end, prefix, Out, prefix + HeadBytes);
}

int WriteUnshiftedZip(FileHandle Exe, int64_t ExeSize, FileHandle Out, int64_t& Start) {
  const auto end = FindEndRecord(Exe, ExeSize);
  if (!end) return ResNoDirectory;
  if (end->NeedsZip64) return ResZip64;
  int64_t prefix = 0, cdStart = 0;
  if (!placeDirectory(*end, prefix, cdStart)) return ResNoDirectory;
  const auto& eoc = end->Rec;
  // The first local header: the smallest offset of the members on the archive's disk. An
  // archive without members starts where its directory does.
  int64_t first = eoc.CentralOffset;
  bool any = false;
  int64_t pos = cdStart;
  for (int i = 0; i < eoc.CentralEntriesOnDisk; ++i) {
    uint8_t fixed[CentralHeader::Size];
    if (pos + static_cast<int64_t>(sizeof fixed) > end->DirEnd ||
        !pf::fileReadAt(Exe, pos, fixed, sizeof fixed))
      return ResNoDirectory;
    const auto h = CentralHeaderFields::parse(fixed);
    if (!h) return ResNoDirectory;
    if (h->StartOnDisk == eoc.ThisDiskNo && (!any || h->RelOffLocalHdr < first)) {
      first = h->RelOffLocalHdr;
      any = true;
    }
    pos += static_cast<int64_t>(sizeof fixed + h->variableLength());
  }
  Start = prefix + first;
  if (Start < 0 || Start > cdStart) return ResNoDirectory;
  if (pf::fileSeek(Exe, Start, 0) != Start) return ResNoDirectory;
  const int64_t body = cdStart - Start;
  if (const int r = CopyFileData(Exe, Out, body); r != ResOK) return r;
  if (pf::fileSeek(Out, 0, 1) != body) return ResNoDirectory; // the exe ended early
  return copyDirectory(Exe, ExeSize, *end, prefix, Out, prefix - Start);
}

int IsSelfExtractingZip(FileHandle Exe, int64_t Size) {
  using ZavOzeriz::EZavOzeriz;
  using namespace ZipMessages;
  auto readOrRaise = [&](int64_t pos, void* buf, int64_t n, bool whole) {
    if (pf::fileSeek(Exe, pos, 0) != pos) throw EZavOzeriz::CreateResDisp(DS_FailedSeek, true);
    const int64_t got = pf::fileRead(Exe, buf, n);
    if (whole && got != n) throw EZavOzeriz::CreateResDisp(DS_EOCBadRead, true);
    return std::max<int64_t>(got, 0);
  };
  {
    std::vector<char> head(2048);
    const int64_t got = readOrRaise(0, head.data(), static_cast<int64_t>(head.size()), false);
    head.resize(static_cast<size_t>(got));
    for (char& c : head)
      if (c == 0) c = ' ';
    static constexpr char kInstallShield[] = "InstallShield Self-Extracting Stub program";
    if (std::search(head.begin(), head.end(), kInstallShield, kInstallShield + sizeof kInstallShield - 1) !=
        head.end())
      return 0;
  }
  if (Size < static_cast<int64_t>(EndOfCentralDir::Size)) return 0;
  uint8_t last[EndOfCentralDir::Size];
  readOrRaise(Size - EndOfCentralDir::Size, last, sizeof last, true);
  if (getU32(last) == EndCentralDirSig) return 1;
  const int64_t n = std::min(Size, kCheckSearch);
  std::vector<uint8_t> w(static_cast<size_t>(n));
  readOrRaise(Size - n, w.data(), n, true);
  auto skip = [](uint8_t b) -> size_t {
    switch (b) {
    case 0x50:
      return 3;
    case 0x4B:
      return 2;
    case 0x05:
      return 1;
    default:
      return 4;
    }
  };
  for (size_t i = 3; i < w.size();) {
    if (w[i] == 0x06 && w[i - 1] == 0x05 && w[i - 2] == 0x4B && w[i - 3] == 0x50 && w.size() - i - 1 >= 18) {
      const uint32_t cd = getU32(&w[i - 3 + EndOfCentralDir::CentralOffset]);
      uint8_t sig[4];
      if (int64_t{cd} + 4 <= Size && pf::fileReadAt(Exe, cd, sig, 4) && getU32(sig) == CentralFileHeaderSig)
        return 1;
      i += 4;
      continue;
    }
    i += skip(w[i]);
  }
  return 0;
}

std::optional<int64_t> FindStubIcon(FileHandle Exe, int64_t S) {
  const HandleSource src(Exe, S);
  const auto at = pf::findResourceData(src, pf::RtIcon, 1);
  if (!at || at->size != IconImageSize) return std::nullopt;
  return static_cast<int64_t>(at->fileOffset);
}

int ReplaceStubIcon(FileHandle Exe, int64_t S, const kv::platform::TIcon& Icon) {
  try {
    const auto at = FindStubIcon(Exe, S);
    if (!at) return ResNoIcon;
    pf::TMemoryStream saved;
    Icon.SaveToStream(saved);
    if (saved.Size() != static_cast<int64_t>(IconFileSize)) return ResIconSize;
    const bool ok = pf::fileSeek(Exe, *at, 0) == *at &&
                    writeAll(Exe, saved.Memory() + IconImageOffset, IconFileSize - IconImageOffset);
    pf::fileSeek(Exe, 0, 2);
    return ok ? ResOK : ResIconFailed;
  } catch (...) {
    return ResIconFailed;
  }
}

std::optional<std::vector<uint8_t>> ReadStubIcon(const std::string& ExeName) {
  const FileHandle h = pf::fileOpen(ExeName, pf::fmOpenRead | pf::fmShareDenyNone);
  if (h == pf::InvalidFile) return std::nullopt;
  const pf::ScopeExit close([h] { pf::fileClose(h); });
  const HandleSource src(h, pf::fileLength(h));
  return pf::readFirstIcon(src);
}

} // namespace ZavSFXFormat
