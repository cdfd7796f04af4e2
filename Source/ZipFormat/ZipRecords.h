// The zip records the archive component and the engines read and write: signatures, the fixed
// part of each record by field offset, and decoding from bytes. All fields are little-endian;
// a record is never read by laying a struct over a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace ZipRecords {

inline constexpr uint32_t LocalFileHeaderSig = 0x04034B50;
inline constexpr uint32_t CentralFileHeaderSig = 0x02014B50;
inline constexpr uint32_t EndCentralDirSig = 0x06054B50;
// The data descriptor's signature, also the marker in front of a spanned set's first part.
inline constexpr uint32_t ExtLocalSig = 0x08074B50;
// The Zip64 end record and the locator that follows it, just in front of the end record.
inline constexpr uint32_t Zip64EndSig = 0x06064B50, Zip64LocatorSig = 0x07064B50;

namespace LocalHeader {
inline constexpr size_t Size = 30;
inline constexpr size_t Signature = 0, VersionNeeded = 4, Flag = 6, CompressionMethod = 8, ModTime = 10,
                        ModDate = 12, CRC32 = 14, CompressedSize = 18, UncompressedSize = 22,
                        FileNameLength = 26, ExtraFieldLength = 28;
} // namespace LocalHeader

namespace DataDescriptor {
inline constexpr size_t Size = 16;
inline constexpr size_t Signature = 0, CRC32 = 4, CompressedSize = 8, UncompressedSize = 12;
} // namespace DataDescriptor

namespace CentralHeader {
inline constexpr size_t Size = 46;
inline constexpr size_t Signature = 0, MadeByVersion = 4, HostVersionNo = 5, VersionNeeded = 6, Flag = 8,
                        CompressionMethod = 10, ModTime = 12, ModDate = 14, CRC32 = 16, CompressedSize = 20,
                        UncompressedSize = 24, FileNameLength = 28, ExtraFieldLength = 30,
                        FileCommentLen = 32, StartOnDisk = 34, IntFileAttrib = 36, ExtFileAttrib = 38,
                        RelOffLocalHdr = 42;
} // namespace CentralHeader

namespace EndOfCentralDir {
inline constexpr size_t Size = 22;
inline constexpr size_t Signature = 0, ThisDiskNo = 4, CentralDiskNo = 6, CentralEntriesOnDisk = 8,
                        TotalEntries = 10, CentralSize = 12, CentralOffset = 16, ZipCommentLen = 20;
} // namespace EndOfCentralDir

// General purpose flag bits.
inline constexpr uint16_t FlagEncrypted = 0x0001, FlagDataDescriptor = 0x0008, FlagStrongEncryption = 0x0040;
// The member's name and comment are UTF-8, whichever host wrote them.
inline constexpr uint16_t FlagUtf8 = 0x0800;
// Compression methods.
inline constexpr uint16_t MethodStored = 0, MethodDeflated = 8;
// Host systems: those whose names are in the OEM code page, and Unix.
inline constexpr uint8_t HostFAT = 0, HostUnix = 3, HostHPFS = 6, HostNTFS = 11;

inline uint16_t getU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t getU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t getU64(const uint8_t* p) { return getU32(p) | (uint64_t{getU32(p + 4)} << 32); }
inline void putU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct EndOfCentralDirRecord {
  uint16_t ThisDiskNo = 0;
  uint16_t CentralDiskNo = 0;
  uint16_t CentralEntriesOnDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t CentralSize = 0;
  uint32_t CentralOffset = 0;
  uint16_t ZipCommentLen = 0;

  // Nothing when the bytes are too few or do not carry the signature.
  static std::optional<EndOfCentralDirRecord> parse(std::span<const uint8_t> bytes);
  void write(std::span<uint8_t, EndOfCentralDir::Size> out) const;
};

// The 42 bytes of a central header after its signature, field by field.
struct CentralHeaderFields {
  uint8_t MadeByVersion = 0;
  uint8_t HostVersionNo = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flag = 0;
  uint16_t CompressionMethod = 0;
  uint32_t DateTime = 0; // DOS time in the low half, DOS date in the high half
  uint32_t CRC32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t FileCommentLen = 0;
  uint16_t StartOnDisk = 0;
  uint16_t IntFileAttrib = 0;
  uint32_t ExtFileAttrib = 0;
  uint32_t RelOffLocalHdr = 0;

  // Nothing when the bytes are too few or do not carry the central header signature.
  static std::optional<CentralHeaderFields> parse(std::span<const uint8_t> bytes);
  // The 46 bytes of the header, signature first.
  void write(std::span<uint8_t, CentralHeader::Size> out) const;
  // Bytes of the variable part that follows the fixed one.
  size_t variableLength() const { return size_t{FileNameLength} + ExtraFieldLength + FileCommentLen; }
};

// Reads Count bytes at a position of the file into Out; false when they are not all there.
using ReadAtFn = std::function<bool(int64_t Pos, uint8_t* Out, size_t Count)>;

// The bytes that a Zip64 end record and its locator take just in front of the end record at
// EndPos; 0 when none stand there. Writers put them there also in small archives whose end
// record holds every figure (Info-ZIP does for a member read from a pipe), and the central
// directory then ends where the Zip64 record begins, not where the end record does.
inline int64_t zip64TrailerLength(const ReadAtFn& ReadAt, int64_t EndPos) {
  constexpr int64_t locatorSize = 20, recordSize = 56, recordHead = 12;
  uint8_t locator[locatorSize];
  if (EndPos < locatorSize || !ReadAt(EndPos - locatorSize, locator, sizeof locator) ||
      getU32(locator) != Zip64LocatorSig)
    return 0;
  const int64_t recordEnd = EndPos - locatorSize;
  // Where the locator says the record starts; or, where data in front of the archive moved
  // it, the place of a record without extensible data just in front of the locator. Either
  // counts only when the record's own size ends it at the locator.
  const uint64_t stored = getU64(locator + 8);
  const int64_t places[] = {stored <= static_cast<uint64_t>(recordEnd) ? static_cast<int64_t>(stored) : -1,
                            recordEnd - recordSize};
  for (const int64_t at : places) {
    uint8_t head[recordHead];
    if (at < 0 || recordEnd - at < recordSize || !ReadAt(at, head, sizeof head)) continue;
    if (getU32(head) == Zip64EndSig && getU64(head + 4) == static_cast<uint64_t>(recordEnd - at - recordHead))
      return EndPos - at;
  }
  return 0;
}

// An end record with a count at 0xFFFF or a size or offset at 0xFFFFFFFF, with a Zip64
// locator in front of it, holds that figure only in the Zip64 end record, which this system
// does not read. Taken as it stands, the figure would drop every member past the 65,535th
// without a word; so every reader refuses such an archive, with this one message.
bool needsZip64(const EndOfCentralDirRecord& Eoc, const ReadAtFn& ReadAt, int64_t EndPos);
inline constexpr const char* Zip64RefusedText =
    "Archives beyond 65,535 members or 4 GB (Zip64) are not supported: this one is refused, as reading "
    "its end record alone would leave members out";

} // namespace ZipRecords
