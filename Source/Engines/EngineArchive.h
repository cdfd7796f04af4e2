// The zip records the engines read and write: local and central headers, the data descriptor and
// the end of central directory record, and the directory of an existing archive.
#pragma once

#include "ZipFormat/ZipRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::engine {

// The record format's values under the engines' names; the format itself is ZipRecords'.
constexpr uint32_t kLocalHeaderSignature = ZipRecords::LocalFileHeaderSig;
constexpr uint32_t kCentralHeaderSignature = ZipRecords::CentralFileHeaderSig;
constexpr uint32_t kEndOfCentralDirSignature = ZipRecords::EndCentralDirSig;
constexpr uint32_t kDataDescriptorSignature = ZipRecords::ExtLocalSig; // also the spanned-set marker
constexpr size_t kLocalHeaderSize = ZipRecords::LocalHeader::Size;
constexpr size_t kCentralHeaderSize = ZipRecords::CentralHeader::Size;
constexpr size_t kEndOfCentralDirSize = ZipRecords::EndOfCentralDir::Size;
constexpr uint64_t kMax32 = 0xFFFFFFFFull;

constexpr uint16_t kFlagEncrypted = ZipRecords::FlagEncrypted;
constexpr uint16_t kFlagDataDescriptor = ZipRecords::FlagDataDescriptor;
constexpr uint16_t kFlagStrongEncryption = ZipRecords::FlagStrongEncryption;
constexpr uint16_t kFlagUtf8 = ZipRecords::FlagUtf8;
constexpr uint16_t kMethodStored = ZipRecords::MethodStored;
constexpr uint16_t kMethodDeflated = ZipRecords::MethodDeflated;

constexpr uint8_t kHostFat = ZipRecords::HostFAT;
constexpr uint8_t kHostUnix = ZipRecords::HostUnix;
constexpr uint8_t kHostHpfs = ZipRecords::HostHPFS;
constexpr uint8_t kHostNtfs = ZipRecords::HostNTFS;

using ZipRecords::getU16;
using ZipRecords::getU32;
void put16(std::string& out, uint16_t v);
void put32(std::string& out, uint32_t v);

// The fields a member's local and central headers both carry, in the order both carry them.
struct MemberFields {
  uint16_t versionNeeded = 20;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
};

// One member as its central header describes it; offsets already count from the file's start.
struct CentralEntry : MemberFields {
  uint8_t versionMadeBy = 20;
  uint8_t hostSystem = kHostUnix;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint16_t diskStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  uint64_t localHeaderOffset = 0;
  std::string name;    // as stored (bytes)
  std::string extra;   // central extra field
  std::string comment; // as stored

  std::string encode() const; // the central header with its variable parts
  // The name and the comment as text of this platform: as stored when flagged UTF-8, from the OEM
  // code page when a DOS-family host wrote them, otherwise as stored; in the name, '/' also for
  // the '\' that DOS tools write.
  std::string textName() const;
  std::string textComment() const;
  // The Unix modification time of an extended-timestamp extra field, when the field has one.
  std::optional<int64_t> unixModTime() const;
};

struct ArchiveDirectory {
  std::vector<CentralEntry> entries;
  std::string comment;
  uint64_t dataStart = 0;    // offset of the first local header (what lies before is a stub or marker)
  uint64_t centralStart = 0; // where the central directory was found
};

// Reads the directory of an archive; on failure returns nothing and an explanation in error.
// Spanned sets over several volumes and 64-bit archives are refused, a stub or marker in front of
// the data and offsets counting from the archive part are taken as they come.
std::optional<ArchiveDirectory> readArchiveDirectory(int fd, std::string& error, bool& unsupported);

// The offset of a member's data and, for a member with a data descriptor, the descriptor's length.
struct LocalLayout {
  uint64_t dataOffset = 0;
  uint64_t headerLength = 0;
};
std::optional<LocalLayout> readLocalLayout(int fd, const CentralEntry& entry, uint64_t fileSize);
// Length of the data descriptor that follows a member's data (0, 12 or 16).
uint64_t dataDescriptorLength(int fd, const CentralEntry& entry, uint64_t dataEnd, uint64_t fileSize);

struct LocalHeader : MemberFields {
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  std::string name;
  std::string extra;
  std::string encode() const;
};

std::string encodeEndOfCentralDir(uint16_t entries, uint32_t centralSize, uint32_t centralOffset,
                                  const std::string& comment);
std::string encodeDataDescriptor(uint32_t crc, uint32_t compressedSize, uint32_t uncompressedSize);
// The extended-timestamp extra field with the modification time only.
std::string encodeTimestampExtra(int64_t mtime);

} // namespace kv::engine
