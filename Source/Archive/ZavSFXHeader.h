// The header block and the trailer of a self-extracting archive: what the stub program is
// told (caption, default directory, command line, start message, options and overwrite mode)
// and how it finds that from the archive's side. Both the builder and the stub read and write
// them here; nothing in this unit needs more than the bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ZavSFXFormat {

inline constexpr uint32_t HeaderSig = 0x01005A44;  // bytes 44 5A 00 01
inline constexpr uint32_t TrailerSig = 0x010A5A44; // bytes 44 5A 0A 01
inline constexpr size_t TrailerSize = 8;

namespace Header {
inline constexpr size_t FixedSize = 18;
inline constexpr size_t Signature = 0, Size = 4, Options = 6, OverWrite = 8, CaptionLen = 9,
                        DefaultDirLen = 10, CommandLineLen = 11, FourthLen = 12, MessageLen = 13, Style = 14;
} // namespace Header

// Option bits of the header.
inline constexpr uint16_t OptBase = 0x0100, OptAskCmdLine = 0x0001, OptAskFiles = 0x0002,
                          OptHideOverWriteBox = 0x0004, OptAutoRun = 0x0008, OptNoSuccessMsg = 0x0010;
// Overwrite byte.
inline constexpr uint8_t OverWriteAlways = 0, OverWriteNever = 1, OverWriteConfirm = 2;
// Message-box styles of the start message.
inline constexpr uint32_t StyleOK = 0, StyleOKCancelInfo = 0x41, StyleYesNoQuestion = 0x24;
// The texts' lengths are single bytes.
inline constexpr size_t MaxText = 255;

struct HeaderValues {
  uint16_t Options = OptBase;
  uint8_t OverWrite = OverWriteConfirm;
  uint32_t Style = StyleOK;
  std::string Caption, DefaultDir, CommandLine, Message;
};

// H: 18 bytes and the texts, rounded up to a multiple of 4.
uint16_t HeaderSize(const HeaderValues& V);
// The header block of H bytes. The texts must be at most MaxText bytes (std::length_error).
std::vector<uint8_t> BuildHeader(const HeaderValues& V);
std::array<uint8_t, TrailerSize> BuildTrailer(uint16_t H);

// The block size a trailer names; nothing when the bytes are no trailer.
std::optional<uint32_t> ParseTrailer(std::span<const uint8_t> Bytes);

// A header block read back. The texts are set as far as they lie inside the block, in the
// order caption, default directory, command line, message; Complete when all four were.
struct ParsedHeader {
  uint16_t Options = 0;
  uint8_t OverWrite = 0;
  uint32_t Style = 0;
  std::optional<std::string> Caption, DefaultDir, CommandLine, Message;
  bool Complete = false;
};
// Nothing when the block's signature is wrong or its size field is not its length.
std::optional<ParsedHeader> ParseHeader(std::span<const uint8_t> Block);

} // namespace ZavSFXFormat
