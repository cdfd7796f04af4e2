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
    const uint16_t id = get16(p + pos);
    const uint16_t length = get16(p + pos + 2);
    if (pos + 4 + length > extra.size()) break;
    if (id == 0x5455 && length >= 5 && (p[pos + 4] & 1)) return static_cast<int32_t>(get32(p + pos + 5));
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

  for (uint64_t i = tailSize - kEndOfCentralDirSize + 1; i-- > 0;) {
    const uint8_t* e = tail.data() + i;
    if (get32(e) != kEndOfCentralDirSignature) continue;
    const uint64_t eocdPos = tailStart + i;
    const uint16_t thisDisk = get16(e + 4), centralDisk = get16(e + 6);
    const uint16_t entriesHere = get16(e + 8), totalEntries = get16(e + 10);
    const uint32_t centralSize = get32(e + 12), centralOffset = get32(e + 16);
    const uint16_t commentLength = get16(e + 20);
    if (centralSize > eocdPos) continue; // not a real end record: keep looking further back

    uint64_t directoryEnd = eocdPos;
    if (eocdPos >= 20) {
      uint8_t locator[4];
      if (preadAll(fd, locator, 4, eocdPos - 20) && get32(locator) == kZip64LocatorSignature) {
        // Writers put a Zip64 end record in front of the end record also where the end record
        // holds every figure (Info-ZIP does for a member read from a pipe); the directory then
        // ends where that record begins. Figures that only the Zip64 record holds are not read.
        const int64_t trailer = ZipRecords::zip64TrailerLength(
            [fd](int64_t pos, uint8_t* out, size_t count) { return preadAll(fd, out, count, pos); },
            static_cast<int64_t>(eocdPos));
        if (trailer == 0 || centralSize == kMax32 || centralOffset == kMax32 || totalEntries == 0xFFFF ||
            static_cast<uint64_t>(trailer) + centralSize > eocdPos) {
          unsupported = true;
          error = "64-bit (Zip64) archives are not supported";
          return std::nullopt;
        }
        directoryEnd = eocdPos - static_cast<uint64_t>(trailer);
      }
    }
    if (thisDisk != 0 || centralDisk != 0 || entriesHere != totalEntries) {
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
      if (central.size() - pos < kCentralHeaderSize ||
          get32(central.data() + pos) != kCentralHeaderSignature) {
        error = "a central header is damaged";
        return std::nullopt;
      }
      const uint8_t* h = central.data() + pos;
      CentralEntry entry;
      entry.versionMadeBy = h[4];
      entry.hostSystem = h[5];
      entry.versionNeeded = get16(h + 6);
      entry.flags = get16(h + 8);
      entry.method = get16(h + 10);
      entry.dosTime = get16(h + 12);
      entry.dosDate = get16(h + 14);
      entry.crc = get32(h + 16);
      entry.compressedSize = get32(h + 20);
      entry.uncompressedSize = get32(h + 24);
      const uint16_t nameLength = get16(h + 28), extraLength = get16(h + 30), commentLen = get16(h + 32);
      entry.diskStart = get16(h + 34);
      entry.internalAttributes = get16(h + 36);
      entry.externalAttributes = get32(h + 38);
      const uint32_t storedOffset = get32(h + 42);
      const size_t variable = size_t{nameLength} + extraLength + commentLen;
      if (central.size() - pos - kCentralHeaderSize < variable) {
        error = "a central header is damaged";
        return std::nullopt;
      }
      if (entry.compressedSize == kMax32 || entry.uncompressedSize == kMax32 || storedOffset == kMax32) {
        unsupported = true;
        error = "64-bit (Zip64) members are not supported";
        return std::nullopt;
      }
      const char* v = reinterpret_cast<const char*>(h + kCentralHeaderSize);
      entry.name.assign(v, nameLength);
      entry.extra.assign(v + nameLength, extraLength);
      entry.comment.assign(v + nameLength + extraLength, commentLen);
      entry.localHeaderOffset = storedOffset + shift;
      if (entry.localHeaderOffset >= dir.centralStart) {
        error = "a member lies outside the archive data";
        return std::nullopt;
      }
      dir.dataStart = std::min(dir.dataStart, entry.localHeaderOffset);
      pos += kCentralHeaderSize + variable;
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
  if (get32(h) != kLocalHeaderSignature) return std::nullopt;
  LocalLayout layout;
  layout.headerLength = kLocalHeaderSize + get16(h + 26) + get16(h + 28);
  layout.dataOffset = entry.localHeaderOffset + layout.headerLength;
  if (layout.dataOffset + entry.compressedSize > fileSize) return std::nullopt;
  return layout;
}

uint64_t dataDescriptorLength(int fd, const CentralEntry& entry, uint64_t dataEnd, uint64_t fileSize) {
  if (!(entry.flags & kFlagDataDescriptor)) return 0;
  uint8_t d[4];
  if (dataEnd + 16 <= fileSize && preadAll(fd, d, 4, dataEnd) && get32(d) == kDataDescriptorSignature)
    return 16;
  return dataEnd + 12 <= fileSize ? 12 : 0;
}

} // namespace kv::engine
