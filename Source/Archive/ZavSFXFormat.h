// The layout of a self-extracting archive: the stub program, a header block telling the
// stub its caption, directory, command line, message and options, an 8-byte trailer that
// finds the header from the archive's side (both in ZavSFXHeader.h), and a zip archive whose
// offsets count from the start of the whole executable. Here are the older header kinds, the
// moving of an archive's offsets in both directions, the recognising of such a file and the
// stub's icon image.
//
// Every length and offset read from a file is checked against the file before it is used:
// a damaged or hostile file gives an error result, never a read outside what it holds.
#pragma once

#include "Archive/ZavSFXHeader.h"
#include "Platform/Files/Files.h"
#include "Platform/Rtl/Icons.h"
#include "ZipFormat/ZipRecords.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ZavSFXFormat {

using kv::platform::FileHandle;

// Flags of the older header kinds ("MPU", "MPV").
namespace OldFlag {
inline constexpr uint8_t AskCmdLine = 0x01, AskFiles = 0x02, HideOverWriteBox = 0x04, Always = 0x08,
                         Never = 0x10, NoCheckSize = 0x20, AutoRun = 0x40, NoSuccessMsg = 0x80;
}
// How far in front of the zip data the older kinds are looked for.
inline constexpr int64_t OldHeaderWindow = 1032;

// The stub's replaceable icon: a 32 x 32 image with 16 colours, and the icon file it comes from.
inline constexpr uint32_t IconImageSize = 744;
inline constexpr size_t IconFileSize = 766, IconImageOffset = 22;

// Results shared with the builder.
inline constexpr int ResOK = 0, ResCreate = -1, ResWrite = -2, ResOpen = -3, ResRefused = -9, ResNoIcon = -10,
                     ResIconFailed = -11, ResIconSize = -12, ResSpanned = -101, ResNoDirectory = -102;
// Inside the builder only: the archive's figures stand in Zip64 records (ZipRecords::needsZip64);
// the builder says so and answers -9.
inline constexpr int ResZip64 = -103;

// An older header found in the bytes in front of the zip data. Texts that would run past
// those bytes are cut where they end.
struct OldHeader {
  bool KindV = false;
  uint8_t Flags = 0;
  std::string Caption, DefaultDir, CommandLine;
  std::optional<std::string> Message; // kind V only
};
std::optional<OldHeader> FindOldHeader(std::span<const uint8_t> Window);

// ---- the zip piece

struct EndRecordAt {
  int64_t Pos = 0;
  ZipRecords::EndOfCentralDirRecord Rec;
  // Where the central directory ends: the end record, or a Zip64 end record in front of it.
  int64_t DirEnd = 0;
  bool NeedsZip64 = false;
};
// The end record as the builder finds it: the last 22 bytes, or the first one in the last
// 65558 bytes whose comment ends within the file. Nothing when there is none or it is at 0.
std::optional<EndRecordAt> FindEndRecord(FileHandle In, int64_t Size);

// Copies Count bytes (to the end when negative) from the current positions in pieces of
// 8192, letting waiting window messages run after each; stops early at the end of Source.
// 0, or -2 for a short write or an exception.
int CopyFileData(FileHandle Source, FileHandle Dest, int64_t Count);

// Writes the zip piece of a new empty archive whose end record is at EndPos (S + H + 8).
int WriteEmptyZip(FileHandle Out, int64_t EndPos);
// Writes archive In (of InSize bytes) behind HeadBytes bytes (stub, header and trailer)
// already in Out, its offsets moved to count from Out's start. 0, -101, -102 or -2.
int WriteShiftedZip(FileHandle In, int64_t InSize, FileHandle Out, int64_t HeadBytes);
// Writes the zip part of executable Exe to Out with its offsets counting from Out's start;
// Start comes back as the position of its first local header in Exe. 0, -102 or -2.
int WriteUnshiftedZip(FileHandle Exe, int64_t ExeSize, FileHandle Out, int64_t& Start);

// Whether the file is a self-extracting zip (1) or not (0). A failed seek raises EZavOzeriz
// 11008, a short read of the searched bytes 11011.
int IsSelfExtractingZip(FileHandle Exe, int64_t Size);

// ---- the stub's icon

// Where the replaceable icon image of the first S bytes of Exe lies; nothing when those
// bytes are no PE image, have no sections, no ".rsrc" section or no 744-byte icon 1.
std::optional<int64_t> FindStubIcon(FileHandle Exe, int64_t S);
// Puts the icon's image over the stub's in Exe and leaves the position at the end:
// 0, -10 (no replaceable icon), -12 (not a 766-byte icon file) or -11 (an exception).
int ReplaceStubIcon(FileHandle Exe, int64_t S, const kv::platform::TIcon& Icon);
// The executable's first icon as an icon file; nothing when it has none.
std::optional<std::vector<uint8_t>> ReadStubIcon(const std::string& ExeName);

} // namespace ZavSFXFormat
