// Files by handle, the way the class library's file routines work with them: open with
// an access and a sharing mode, read, write, seek with 64-bit positions, file dates in
// the DOS packed form and the Windows-like attributes the archive code asks about.
#pragma once

#include "Platform/Rtl/SysUtils.h"

#include <cstdint>
#include <string>

namespace kv::platform {

using FileHandle = int;
inline constexpr FileHandle InvalidFile = -1;

// Access in the low bits, sharing in bits 4 to 6, as the class library's fm* values.
inline constexpr uint32_t fmOpenRead = 0x00, fmOpenWrite = 0x01, fmOpenReadWrite = 0x02;
inline constexpr uint32_t fmShareCompat = 0x00, fmShareExclusive = 0x10, fmShareDenyWrite = 0x20,
                          fmShareDenyRead = 0x30, fmShareDenyNone = 0x40;

// Sharing is kept with advisory locks held for as long as the handle is open:
// exclusive takes an exclusive lock, deny-read and deny-write a shared one, compat and
// deny-none none. Two handles whose locks conflict cannot both be open; the second open fails.
FileHandle fileOpen(const std::string& name, uint32_t mode);
// Creates or truncates a file for writing (mode 0644 before the umask), exclusively shared.
FileHandle fileCreate(const std::string& name);
void fileClose(FileHandle handle);

// Read or write up to count bytes (fewer only at the end of the file or on an error);
// -1 on an error before any byte moved.
int64_t fileRead(FileHandle handle, void* buffer, int64_t count);
int64_t fileWrite(FileHandle handle, const void* buffer, int64_t count);
// Origin 0 from the start, 1 from the current position, 2 from the end; the new
// position, or -1 when it would be negative or the handle cannot seek.
int64_t fileSeek(FileHandle handle, int64_t offset, int origin);
// Reads exactly count bytes from offset on, leaving the position after them; false when the
// offset cannot be reached or the bytes are not all there.
bool fileReadAt(FileHandle handle, int64_t offset, void* buffer, int64_t count);
// Length of the open file, -1 on an error.
int64_t fileLength(FileHandle handle);

// A regular file (or a link to one) of that name exists.
bool fileExists(const std::string& name);
bool directoryExists(const std::string& name);
// Length of the named file, -1 when there is none.
int64_t fileSizeByName(const std::string& name);

// DOS packed date and time: time in the low 16 bits, date in the high 16 bits, local time.
int32_t dateTimeToFileDate(TDateTime value);
TDateTime fileDateToDateTime(int32_t fileDate);
// The named file's modification time as DOS date and time, -1 when there is no such file.
int32_t fileAge(const std::string& name);
int32_t fileGetDate(FileHandle handle);
// 0 on success, else the system's error number.
int fileSetDate(FileHandle handle, int32_t fileDate);

// Windows-like attributes: read-only when nobody may write it, hidden for dot names,
// directory, archive for every regular file; -1 when there is no such file.
inline constexpr int faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faVolumeID = 0x08,
                     faDirectory = 0x10, faArchive = 0x20;
int fileGetAttr(const std::string& name);

bool deleteFile(const std::string& name);
bool renameFile(const std::string& oldName, const std::string& newName);
// Puts the file from under the name to in one step, replacing a file of that name.
bool replaceFile(const std::string& from, const std::string& to);
bool removeDir(const std::string& name);
std::string getCurrentDir();

} // namespace kv::platform
