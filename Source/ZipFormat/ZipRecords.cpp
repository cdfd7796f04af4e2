#include "ZipFormat/ZipRecords.h"

namespace ZipRecords {

namespace {

// Reads one little-endian field as wide as the member it lands in.
struct FieldReader {
  const uint8_t* p;
  void operator()(size_t at, uint8_t& v) const { v = p[at]; }
  void operator()(size_t at, uint16_t& v) const { v = getU16(p + at); }
  void operator()(size_t at, uint32_t& v) const { v = getU32(p + at); }
};

// Writes one little-endian field as wide as the member it comes from.
struct FieldWriter {
  uint8_t* p;
  void operator()(size_t at, uint8_t v) const { p[at] = v; }
  void operator()(size_t at, uint16_t v) const { putU16(p + at, v); }
  void operator()(size_t at, uint32_t v) const { putU32(p + at, v); }
};

// Each record names its fields and their offsets once; reading and writing both walk that list,
// so the two can never disagree about the layout.
template <class Record, class Visit> void endOfCentralDirFields(Record& r, Visit&& field) {
  namespace O = EndOfCentralDir;
  field(O::ThisDiskNo, r.ThisDiskNo);
  field(O::CentralDiskNo, r.CentralDiskNo);
  field(O::CentralEntriesOnDisk, r.CentralEntriesOnDisk);
  field(O::TotalEntries, r.TotalEntries);
  field(O::CentralSize, r.CentralSize);
  field(O::CentralOffset, r.CentralOffset);
  field(O::ZipCommentLen, r.ZipCommentLen);
}

// The date and time are two fields on disk but one value here, so they are not in the list.
template <class Record, class Visit> void centralHeaderFields(Record& r, Visit&& field) {
  namespace O = CentralHeader;
  field(O::MadeByVersion, r.MadeByVersion);
  field(O::HostVersionNo, r.HostVersionNo);
  field(O::VersionNeeded, r.VersionNeeded);
  field(O::Flag, r.Flag);
  field(O::CompressionMethod, r.CompressionMethod);
  field(O::CRC32, r.CRC32);
  field(O::CompressedSize, r.CompressedSize);
  field(O::UncompressedSize, r.UncompressedSize);
  field(O::FileNameLength, r.FileNameLength);
  field(O::ExtraFieldLength, r.ExtraFieldLength);
  field(O::FileCommentLen, r.FileCommentLen);
  field(O::StartOnDisk, r.StartOnDisk);
  field(O::IntFileAttrib, r.IntFileAttrib);
  field(O::ExtFileAttrib, r.ExtFileAttrib);
  field(O::RelOffLocalHdr, r.RelOffLocalHdr);
}

} // namespace

std::optional<EndOfCentralDirRecord> EndOfCentralDirRecord::parse(std::span<const uint8_t> bytes) {
  namespace O = EndOfCentralDir;
  if (bytes.size() < O::Size || getU32(&bytes[O::Signature]) != EndCentralDirSig) return std::nullopt;
  EndOfCentralDirRecord r;
  endOfCentralDirFields(r, FieldReader{bytes.data()});
  return r;
}

void EndOfCentralDirRecord::write(std::span<uint8_t, EndOfCentralDir::Size> out) const {
  putU32(out.data() + EndOfCentralDir::Signature, EndCentralDirSig);
  endOfCentralDirFields(*this, FieldWriter{out.data()});
}

std::optional<CentralHeaderFields> CentralHeaderFields::parse(std::span<const uint8_t> bytes) {
  namespace O = CentralHeader;
  if (bytes.size() < O::Size || getU32(&bytes[O::Signature]) != CentralFileHeaderSig) return std::nullopt;
  const uint8_t* p = bytes.data();
  CentralHeaderFields f;
  centralHeaderFields(f, FieldReader{p});
  f.DateTime =
      static_cast<uint32_t>(getU16(p + O::ModTime)) | (static_cast<uint32_t>(getU16(p + O::ModDate)) << 16);
  return f;
}

void CentralHeaderFields::write(std::span<uint8_t, CentralHeader::Size> out) const {
  namespace O = CentralHeader;
  uint8_t* p = out.data();
  putU32(p + O::Signature, CentralFileHeaderSig);
  centralHeaderFields(*this, FieldWriter{p});
  putU16(p + O::ModTime, static_cast<uint16_t>(DateTime));
  putU16(p + O::ModDate, static_cast<uint16_t>(DateTime >> 16));
}

bool needsZip64(const EndOfCentralDirRecord& Eoc, const ReadAtFn& ReadAt, int64_t EndPos) {
  constexpr uint16_t max16 = 0xFFFF;
  constexpr uint32_t max32 = 0xFFFFFFFF;
  const bool figureAtMax = Eoc.ThisDiskNo == max16 || Eoc.CentralDiskNo == max16 ||
                           Eoc.CentralEntriesOnDisk == max16 || Eoc.TotalEntries == max16 ||
                           Eoc.CentralSize == max32 || Eoc.CentralOffset == max32;
  constexpr int64_t locatorSize = 20;
  uint8_t locator[4];
  return figureAtMax && EndPos >= locatorSize && ReadAt(EndPos - locatorSize, locator, sizeof locator) &&
         getU32(locator) == Zip64LocatorSig;
}

} // namespace ZipRecords
