#include "Archive/ZipRecords.h"

namespace ZipRecords {

std::optional<EndOfCentralDirRecord> EndOfCentralDirRecord::parse(std::span<const uint8_t> bytes) {
  namespace O = EndOfCentralDir;
  if (bytes.size() < O::Size || getU32(&bytes[O::Signature]) != EndCentralDirSig) return std::nullopt;
  const uint8_t* p = bytes.data();
  EndOfCentralDirRecord r;
  r.ThisDiskNo = getU16(p + O::ThisDiskNo);
  r.CentralDiskNo = getU16(p + O::CentralDiskNo);
  r.CentralEntriesOnDisk = getU16(p + O::CentralEntriesOnDisk);
  r.TotalEntries = getU16(p + O::TotalEntries);
  r.CentralSize = getU32(p + O::CentralSize);
  r.CentralOffset = getU32(p + O::CentralOffset);
  r.ZipCommentLen = getU16(p + O::ZipCommentLen);
  return r;
}

void EndOfCentralDirRecord::write(std::span<uint8_t, EndOfCentralDir::Size> out) const {
  namespace O = EndOfCentralDir;
  uint8_t* p = out.data();
  putU32(p + O::Signature, EndCentralDirSig);
  putU16(p + O::ThisDiskNo, ThisDiskNo);
  putU16(p + O::CentralDiskNo, CentralDiskNo);
  putU16(p + O::CentralEntriesOnDisk, CentralEntriesOnDisk);
  putU16(p + O::TotalEntries, TotalEntries);
  putU32(p + O::CentralSize, CentralSize);
  putU32(p + O::CentralOffset, CentralOffset);
  putU16(p + O::ZipCommentLen, ZipCommentLen);
}

std::optional<CentralHeaderFields> CentralHeaderFields::parse(std::span<const uint8_t> bytes) {
  namespace O = CentralHeader;
  if (bytes.size() < O::Size || getU32(&bytes[O::Signature]) != CentralFileHeaderSig) return std::nullopt;
  const uint8_t* p = bytes.data();
  CentralHeaderFields f;
  f.MadeByVersion = p[O::MadeByVersion];
  f.HostVersionNo = p[O::HostVersionNo];
  f.VersionNeeded = getU16(p + O::VersionNeeded);
  f.Flag = getU16(p + O::Flag);
  f.CompressionMethod = getU16(p + O::CompressionMethod);
  f.DateTime =
      static_cast<uint32_t>(getU16(p + O::ModTime)) | (static_cast<uint32_t>(getU16(p + O::ModDate)) << 16);
  f.CRC32 = getU32(p + O::CRC32);
  f.CompressedSize = getU32(p + O::CompressedSize);
  f.UncompressedSize = getU32(p + O::UncompressedSize);
  f.FileNameLength = getU16(p + O::FileNameLength);
  f.ExtraFieldLength = getU16(p + O::ExtraFieldLength);
  f.FileCommentLen = getU16(p + O::FileCommentLen);
  f.StartOnDisk = getU16(p + O::StartOnDisk);
  f.IntFileAttrib = getU16(p + O::IntFileAttrib);
  f.ExtFileAttrib = getU32(p + O::ExtFileAttrib);
  f.RelOffLocalHdr = getU32(p + O::RelOffLocalHdr);
  return f;
}

void CentralHeaderFields::write(std::span<uint8_t, CentralHeader::Size> out) const {
  namespace O = CentralHeader;
  uint8_t* p = out.data();
  putU32(p + O::Signature, CentralFileHeaderSig);
  p[O::MadeByVersion] = MadeByVersion;
  p[O::HostVersionNo] = HostVersionNo;
  putU16(p + O::VersionNeeded, VersionNeeded);
  putU16(p + O::Flag, Flag);
  putU16(p + O::CompressionMethod, CompressionMethod);
  putU16(p + O::ModTime, static_cast<uint16_t>(DateTime));
  putU16(p + O::ModDate, static_cast<uint16_t>(DateTime >> 16));
  putU32(p + O::CRC32, CRC32);
  putU32(p + O::CompressedSize, CompressedSize);
  putU32(p + O::UncompressedSize, UncompressedSize);
  putU16(p + O::FileNameLength, FileNameLength);
  putU16(p + O::ExtraFieldLength, ExtraFieldLength);
  putU16(p + O::FileCommentLen, FileCommentLen);
  putU16(p + O::StartOnDisk, StartOnDisk);
  putU16(p + O::IntFileAttrib, IntFileAttrib);
  putU32(p + O::ExtFileAttrib, ExtFileAttrib);
  putU32(p + O::RelOffLocalHdr, RelOffLocalHdr);
}

} // namespace ZipRecords
