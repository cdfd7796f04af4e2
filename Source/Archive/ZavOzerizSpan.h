// What writing a spanned set and joining one back share: their failures, the reading of
// the records they copy, the work list of the members being copied, the volume label and
// the data descriptor rule.
#pragma once

#include "Archive/ZavOzeriz.h"
#include "Archive/ZipMessages.h"
#include "Platform/Rtl/SysUtils.h"
#include "ZipFormat/ZipRecords.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ZavOzeriz {

// Bytes moved per read and write while copying between volumes.
inline constexpr int64_t SpanCopyBufferSize = 10240;

// A failure of a copy between volumes: a message of the table, shown unless told otherwise.
inline EZavOzeriz spanError(int Ident, bool Display = true) {
  return EZavOzeriz::CreateResDisp(Ident, Display);
}

// The copiers read their input through Read(Buffer, Len, ErrorId), which raises ErrorId when
// the bytes are not there: the writer within its one file, the joiner across the volumes.

// One central header as the copiers read it: its fields (written out again with the
// member's new place) and the name as stored.
struct CentralEntry {
  ZipRecords::CentralHeaderFields fields;
  std::string name;
  // The fixed part again, pointing at the member's local header in the copy.
  std::array<uint8_t, ZipRecords::CentralHeader::Size> headerAt(uint16_t Disk, uint32_t Offset) const {
    ZipRecords::CentralHeaderFields placed = fields;
    placed.StartOnDisk = Disk;
    placed.RelOffLocalHdr = Offset;
    std::array<uint8_t, ZipRecords::CentralHeader::Size> header;
    placed.write(header);
    return header;
  }
};

template <class Read> CentralEntry readCentralEntry(Read&& read) {
  using namespace ZipMessages;
  uint8_t header[ZipRecords::CentralHeader::Size];
  read(header, ZipRecords::CentralHeader::Size, DS_CEHBadRead);
  const auto fields = ZipRecords::CentralHeaderFields::parse(header);
  if (!fields) throw spanError(DS_CEHWrongSig);
  CentralEntry entry{*fields, std::string(fields->FileNameLength, '\0')};
  read(entry.name.data(), fields->FileNameLength, DS_CENameLen);
  return entry;
}

// One local header as the copiers read it: the fixed part as stored, the fields they use and
// the name.
struct LocalEntry {
  uint8_t header[ZipRecords::LocalHeader::Size];
  uint16_t flag;
  uint32_t compressedSize;
  uint16_t nameLength, extraLength;
  std::string name;
  bool hasDescriptor() const { return (flag & ZipRecords::FlagDataDescriptor) != 0; }
  // A member written with a data descriptor may carry 0 in its local size: its length is
  // the central header's.
  int64_t dataLength(uint32_t CentralSize) const {
    return compressedSize != 0 ? compressedSize : CentralSize;
  }
  // Header, name and extra field: the bytes that always land on one volume.
  int64_t headLength() const {
    return static_cast<int64_t>(ZipRecords::LocalHeader::Size) + nameLength + extraLength;
  }
};

template <class Read> LocalEntry readLocalEntry(Read&& read) {
  using namespace ZipMessages;
  using namespace ZipRecords;
  LocalEntry entry;
  read(entry.header, LocalHeader::Size, DS_ReadingLocalHeader);
  if (getU32(entry.header) != LocalFileHeaderSig) throw spanError(DS_LocalHeaderSignatureWrong);
  entry.flag = getU16(entry.header + LocalHeader::Flag);
  entry.compressedSize = getU32(entry.header + LocalHeader::CompressedSize);
  entry.nameLength = getU16(entry.header + LocalHeader::FileNameLength);
  entry.extraLength = getU16(entry.header + LocalHeader::ExtraFieldLength);
  entry.name.resize(entry.nameLength);
  read(entry.name.data(), entry.nameLength, DS_ReadingLocalFileName);
  return entry;
}

// One member of the archive being spread or joined.
struct ZipDataItem {
  uint16_t DiskNumber = 0;       // volume that holds the copied local header
  int64_t LocalOffset = 0;       // its offset within that volume's part
  uint16_t NameLength = 0;       // length of the name as stored
  std::string Name;              // as stored in the archive, not converted
  uint32_t CdCompressedSize = 0; // from the central header
  uint32_t CdCRC32 = 0;          // from the central header, to tell a data descriptor's form
  // Where the central header says the member's local header lies in the source. Members
  // are matched by this place, never by name: two members may share a name, or differ
  // only in case.
  uint16_t SourceDisk = 0;
  int64_t SourceOffset = 0;
};

// The work record of a member from its central header, whose local header lies at that
// place of the source.
inline ZipDataItem workItem(const CentralEntry& Entry, uint16_t SourceDisk, int64_t SourceOffset) {
  ZipDataItem item;
  item.NameLength = Entry.fields.FileNameLength;
  item.Name = Entry.name;
  item.CdCompressedSize = Entry.fields.CompressedSize;
  item.CdCRC32 = Entry.fields.CRC32;
  item.SourceDisk = SourceDisk;
  item.SourceOffset = SourceOffset;
  return item;
}

// The work list: one record per central header, in central directory order.
class TMZipDataList {
public:
  explicit TMZipDataList(int Count) : items_(Count > 0 ? static_cast<size_t>(Count) : 0) {}
  int Count() const { return static_cast<int>(items_.size()); }
  ZipDataItem& ItemAt(int Index) {
    return const_cast<ZipDataItem&>(static_cast<const TMZipDataList&>(*this).ItemAt(Index));
  }
  const ZipDataItem& ItemAt(int Index) const {
    if (Index < 0) throw kv::platform::EListError("List index out of bounds (" + std::to_string(Index) + ")");
    if (Index >= Count())
      throw kv::platform::Exception("Index (" + std::to_string(Index) + ") outside range 1.." +
                                    std::to_string(Count() - 1));
    return items_[static_cast<size_t>(Index)];
  }
  // Call once every record's source place is filled in.
  void IndexPlaces() {
    places_.clear();
    for (int i = 0; i < Count(); ++i)
      places_[{items_[i].SourceDisk, items_[i].SourceOffset}].push_back(i);
  }
  // The members whose local header lies at that place (several when central headers
  // share one); empty when none does.
  const std::vector<int>& AtPlace(uint16_t Disk, int64_t Offset) const {
    static const std::vector<int> none;
    auto it = places_.find({Disk, Offset});
    return it == places_.end() ? none : it->second;
  }
  // The distinct places of local headers, in file order.
  std::vector<std::pair<uint16_t, int64_t>> Places() const {
    std::vector<std::pair<uint16_t, int64_t>> out;
    for (const auto& [place, members] : places_)
      out.push_back(place);
    return out;
  }

private:
  std::vector<ZipDataItem> items_;
  std::map<std::pair<uint16_t, int64_t>, std::vector<int>> places_;
};

// "PKBACK# " and the three digits of the volume (PKBACK# 001 for volume 0).
inline std::string SpanVolumeLabel(int Disk) { return "PKBACK# " + std::to_string(Disk + 1001).substr(1, 3); }

// The length of a member's data descriptor from its first bytes (at least 4, 8 when the
// first four are the signature): 16 with its signature, 12 without; 0 when the bytes are
// neither. A CRC that happens to equal the signature is told apart by the next field.
inline int DataDescriptorLength(const uint8_t* Bytes, size_t Have, uint32_t CRC) {
  using namespace ZipRecords;
  const uint32_t first = getU32(Bytes);
  if (first == ExtLocalSig) {
    if (CRC != ExtLocalSig) return 16;
    if (Have < 8) return 0;
    return getU32(Bytes + 4) == CRC ? 16 : 12;
  }
  return first == CRC ? 12 : 0;
}

} // namespace ZavOzeriz
