#include "Archive/ZavSFXHeader.h"

#include "ZipFormat/ZipRecords.h"

#include <cstring>
#include <stdexcept>

namespace ZavSFXFormat {

using namespace ZipRecords;

namespace {

void putText(std::vector<uint8_t>& out, size_t at, const std::string& s) {
  std::memcpy(out.data() + at, s.data(), s.size());
}

} // namespace

uint16_t HeaderSize(const HeaderValues& V) {
  const size_t n =
      Header::FixedSize + V.Caption.size() + V.DefaultDir.size() + V.CommandLine.size() + V.Message.size();
  return static_cast<uint16_t>((n + 3) & ~size_t{3});
}

std::vector<uint8_t> BuildHeader(const HeaderValues& V) {
  for (const auto* s : {&V.Caption, &V.DefaultDir, &V.CommandLine, &V.Message})
    if (s->size() > MaxText) throw std::length_error("self-extractor header text longer than 255 bytes");
  const uint16_t h = HeaderSize(V);
  std::vector<uint8_t> out(h, 0);
  putU32(&out[Header::Signature], HeaderSig);
  putU16(&out[Header::Size], h);
  putU16(&out[Header::Options], V.Options);
  out[Header::OverWrite] = V.OverWrite;
  out[Header::CaptionLen] = static_cast<uint8_t>(V.Caption.size());
  out[Header::DefaultDirLen] = static_cast<uint8_t>(V.DefaultDir.size());
  out[Header::CommandLineLen] = static_cast<uint8_t>(V.CommandLine.size());
  out[Header::FourthLen] = 0;
  out[Header::MessageLen] = static_cast<uint8_t>(V.Message.size());
  putU32(&out[Header::Style], V.Style);
  size_t at = Header::FixedSize;
  for (const auto* s : {&V.Caption, &V.DefaultDir, &V.CommandLine, &V.Message}) {
    putText(out, at, *s);
    at += s->size();
  }
  return out;
}

std::array<uint8_t, TrailerSize> BuildTrailer(uint16_t H) {
  std::array<uint8_t, TrailerSize> t{};
  putU32(&t[0], TrailerSig);
  putU32(&t[4], H);
  return t;
}

std::optional<uint32_t> ParseTrailer(std::span<const uint8_t> Bytes) {
  if (Bytes.size() < TrailerSize || getU32(&Bytes[0]) != TrailerSig) return std::nullopt;
  return getU32(&Bytes[4]);
}

std::optional<ParsedHeader> ParseHeader(std::span<const uint8_t> Block) {
  if (Block.size() < Header::FixedSize || getU32(&Block[Header::Signature]) != HeaderSig ||
      getU16(&Block[Header::Size]) != Block.size())
    return std::nullopt;
  ParsedHeader p;
  p.Options = getU16(&Block[Header::Options]);
  p.OverWrite = Block[Header::OverWrite];
  p.Style = getU32(&Block[Header::Style]);
  size_t at = Header::FixedSize;
  // Each text is taken only when it lies wholly inside the block.
  auto next = [&](size_t len, std::optional<std::string>* into) {
    if (len > Block.size() - at) return false;
    if (into) *into = std::string(reinterpret_cast<const char*>(Block.data() + at), len);
    at += len;
    return true;
  };
  p.Complete = next(Block[Header::CaptionLen], &p.Caption) &&
               next(Block[Header::DefaultDirLen], &p.DefaultDir) &&
               next(Block[Header::CommandLineLen], &p.CommandLine) &&
               next(Block[Header::FourthLen], nullptr) && next(Block[Header::MessageLen], &p.Message);
  return p;
}

} // namespace ZavSFXFormat
