#include "EngineArchive.h"

#include "EngineFiles.h"
#include "Platform/CodePage/CodePage.h"
#include "ZipFormat/ZipRecords.h"

#include <algorithm>
#include <sys/stat.h>

namespace kv::engine {

void put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

namespace {

// From the version needed to the extra field's length, both headers are the same field by field.
void putMemberFields(std::string& out, const MemberFields& f, uint32_t compressedSize,
                     uint32_t uncompressedSize, const std::string& name, const std::string& extra) {
  put16(out, f.versionNeeded);
  put16(out, f.flags);
  put16(out, f.method);
  put16(out, f.dosTime);
  put16(out, f.dosDate);
  put32(out, f.crc);
  put32(out, compressedSize);
  put32(out, uncompressedSize);
  put16(out, static_cast<uint16_t>(name.size()));
  put16(out, static_cast<uint16_t>(extra.size()));
}

} // namespace

std::string CentralEntry::encode() const {
  std::string out;
  out.reserve(kCentralHeaderSize + name.size() + extra.size() + comment.size());
  put32(out, kCentralHeaderSignature);
  out += static_cast<char>(versionMadeBy);
  out += static_cast<char>(hostSystem);
  putMemberFields(out, *this, static_cast<uint32_t>(compressedSize), static_cast<uint32_t>(uncompressedSize),
                  name, extra);
  put16(out, static_cast<uint16_t>(comment.size()));
  put16(out, diskStart);
  put16(out, internalAttributes);
  put32(out, externalAttributes);
  put32(out, static_cast<uint32_t>(localHeaderOffset));
  out += name;
  out += extra;
  out += comment;
  return out;
}

namespace {

// Bytes of the entry's name or comment as text of this platform.
std::string entryText(const CentralEntry& e, const std::string& bytes) {
  const bool oem = !(e.flags & kFlagUtf8) && (e.hostSystem == kHostFat || e.hostSystem == kHostHpfs ||
                                              (e.hostSystem == kHostNtfs && e.versionMadeBy == 50));
  return oem ? kv::platform::oemToAnsi(bytes) : bytes;
}

} // namespace

std::string CentralEntry::textName() const {
  std::string text = entryText(*this, name);
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

std::string CentralEntry::textComment() const { return entryText(*this, comment); }

std::optional<int64_t> CentralEntry::unixModTime() const {
  const auto* p = reinterpret_cast<const uint8_t*>(extra.data());
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const uint16_t id = getU16(p + pos);
    const uint16_t length = getU16(p + pos + 2);
    if (pos + 4 + length > extra.size()) break;
    if (id == 0x5455 && length >= 5 && (p[pos + 4] & 1)) return static_cast<int32_t>(getU32(p + pos + 5));
    pos += 4 + length;
  }
  return std::nullopt;
}

std::string LocalHeader::encode() const {
  std::string out;
  out.reserve(kLocalHeaderSize + name.size() + extra.size());
  put32(out, kLocalHeaderSignature);
  putMemberFields(out, *this, compressedSize, uncompressedSize, name, extra);
  out += name;
  out += extra;
  return out;
}

std::string encodeEndOfCentralDir(uint16_t entries, uint32_t centralSize, uint32_t centralOffset,
                                  const std::string& comment) {
  std::string out;
  put32(out, kEndOfCentralDirSignature);
  put16(out, 0);
  put16(out, 0);
  put16(out, entries);
  put16(out, entries);
  put32(out, centralSize);
  put32(out, centralOffset);
  put16(out, static_cast<uint16_t>(comment.size()));
  out += comment;
  return out;
}

std::string encodeDataDescriptor(uint32_t crc, uint32_t compressedSize, uint32_t uncompressedSize) {
  std::string out;
  put32(out, kDataDescriptorSignature);
  put32(out, crc);
  put32(out, compressedSize);
  put32(out, uncompressedSize);
  return out;
}

std::string encodeTimestampExtra(int64_t mtime) {
  std::string out;
  put16(out, 0x5455);
  put16(out, 5);
  out += static_cast<char>(1);
  put32(out, static_cast<uint32_t>(std::clamp<int64_t>(mtime, INT32_MIN, INT32_MAX)));
  return out;
}

std::optional<ArchiveDirectory> readArchiveDirectory(int fd, std::string& error, bool& unsupported) {
  unsupported = false;
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    error = "cannot read the archive";
    return std::nullopt;
  }
  const auto fileSize = static_cast<uint64_t>(st.st_size);
  if (fileSize < kEndOfCentralDirSize) {
    error = "not a zip archive";
    return std::nullopt;
  }
  const uint64_t tailSize = std::min<uint64_t>(fileSize, 65535 + kEndOfCentralDirSize);
  const uint64_t tailStart = fileSize - tailSize;
  std::vector<uint8_t> tail(tailSize);
  if (!preadAll(fd, tail.data(), tail.size(), tailStart)) {
    error = "cannot read the end of the archive";
    return std::nullopt;
  }

  const ZipRecords::ReadAtFn readAt = [fd](int64_t pos, uint8_t* out, size_t count) {
    return preadAll(fd, out, count, static_cast<uint64_t>(pos));
  };
  for (uint64_t i = tailSize - kEndOfCentralDirSize + 1; i-- > 0;) {
    const uint8_t* e = tail.data() + i;
    const auto eoc = ZipRecords::EndOfCentralDirRecord::parse({e, kEndOfCentralDirSize});
    if (!eoc) continue;
    const uint64_t eocdPos = tailStart + i;
    const uint16_t totalEntries = eoc->TotalEntries, commentLength = eoc->ZipCommentLen;
    const uint32_t centralSize = eoc->CentralSize, centralOffset = eoc->CentralOffset;
    if (ZipRecords::needsZip64(*eoc, readAt, static_cast<int64_t>(eocdPos))) {
      unsupported = true;
      error = ZipRecords::Zip64RefusedText;
      return std::nullopt;
    }
    // Writers put a Zip64 end record in front of the end record also where the end record
    // holds every figure (Info-ZIP does for a member read from a pipe); the directory then
    // ends where that record begins.
    const uint64_t directoryEnd =
        eocdPos -
        static_cast<uint64_t>(ZipRecords::zip64TrailerLength(readAt, static_cast<int64_t>(eocdPos)));
    if (centralSize > directoryEnd) continue; // not a real end record: keep looking further back
    if (eoc->ThisDiskNo != 0 || eoc->CentralDiskNo != 0 || eoc->CentralEntriesOnDisk != totalEntries) {
      unsupported = true;
      error = "the archive is part of a set spread over several volumes";
      return std::nullopt;
    }

    ArchiveDirectory dir;
    const uint64_t commentAvailable =
        std::min<uint64_t>(commentLength, fileSize - eocdPos - kEndOfCentralDirSize);
    dir.comment.assign(reinterpret_cast<const char*>(e + kEndOfCentralDirSize), commentAvailable);
    dir.centralStart = directoryEnd - centralSize;
    if (centralOffset > dir.centralStart) {
      error = "the central directory lies outside the archive";
      return std::nullopt;
    }
    const uint64_t shift = dir.centralStart - centralOffset;

    std::vector<uint8_t> central(centralSize);
    if (centralSize && !preadAll(fd, central.data(), central.size(), dir.centralStart)) {
      error = "cannot read the central directory";
      return std::nullopt;
    }
    size_t pos = 0;
    dir.dataStart = dir.centralStart;
    for (unsigned n = 0; n < totalEntries; ++n) {
      const auto h = ZipRecords::CentralHeaderFields::parse(std::span(central).subspan(pos));
      if (!h || central.size() - pos - kCentralHeaderSize < h->variableLength()) {
        error = "a central header is damaged";
        return std::nullopt;
      }
      CentralEntry entry;
      entry.versionMadeBy = h->MadeByVersion;
      entry.hostSystem = h->HostVersionNo;
      entry.versionNeeded = h->VersionNeeded;
      entry.flags = h->Flag;
      entry.method = h->CompressionMethod;
      entry.dosTime = static_cast<uint16_t>(h->DateTime);
      entry.dosDate = static_cast<uint16_t>(h->DateTime >> 16);
      entry.crc = h->CRC32;
      entry.compressedSize = h->CompressedSize;
      entry.uncompressedSize = h->UncompressedSize;
      entry.diskStart = h->StartOnDisk;
      entry.internalAttributes = h->IntFileAttrib;
      entry.externalAttributes = h->ExtFileAttrib;
      if (h->CompressedSize == kMax32 || h->UncompressedSize == kMax32 || h->RelOffLocalHdr == kMax32) {
        unsupported = true;
        error = "64-bit (Zip64) members are not supported";
        return std::nullopt;
      }
      const char* v = reinterpret_cast<const char*>(central.data() + pos + kCentralHeaderSize);
      entry.name.assign(v, h->FileNameLength);
      entry.extra.assign(v + h->FileNameLength, h->ExtraFieldLength);
      entry.comment.assign(v + h->FileNameLength + h->ExtraFieldLength, h->FileCommentLen);
      entry.localHeaderOffset = h->RelOffLocalHdr + shift;
      if (entry.localHeaderOffset >= dir.centralStart) {
        error = "a member lies outside the archive data";
        return std::nullopt;
      }
      dir.dataStart = std::min(dir.dataStart, entry.localHeaderOffset);
      pos += kCentralHeaderSize + h->variableLength();
      dir.entries.push_back(std::move(entry));
    }
    return dir;
  }
  error = "not a zip archive";
  return std::nullopt;
}

std::optional<LocalLayout> readLocalLayout(int fd, const CentralEntry& entry, uint64_t fileSize) {
  uint8_t h[kLocalHeaderSize];
  if (entry.localHeaderOffset + kLocalHeaderSize > fileSize) return std::nullopt;
  if (!preadAll(fd, h, sizeof h, entry.localHeaderOffset)) return std::nullopt;
  if (getU32(h) != kLocalHeaderSignature) return std::nullopt;
  LocalLayout layout;
  layout.headerLength = kLocalHeaderSize + getU16(h + 26) + getU16(h + 28);
  layout.dataOffset = entry.localHeaderOffset + layout.headerLength;
  if (layout.dataOffset + entry.compressedSize > fileSize) return std::nullopt;
  return layout;
}

uint64_t dataDescriptorLength(int fd, const CentralEntry& entry, uint64_t dataEnd, uint64_t fileSize) {
  if (!(entry.flags & kFlagDataDescriptor)) return 0;
  uint8_t d[4];
  if (dataEnd + 16 <= fileSize && preadAll(fd, d, 4, dataEnd) && getU32(d) == kDataDescriptorSignature)
    return 16;
  return dataEnd + 12 <= fileSize ? 12 : 0;
}

} // namespace kv::engine
