// File services of the engines: DOS dates, temporary files beside their target, whole-file
// reads and writes that survive short transfers, and directory listings.
#pragma once

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kv::engine {

// DOS date and time (local time, two-second steps), as the zip records hold them.
struct DosDateTime {
  uint16_t time = 0;
  uint16_t date = 0;
  uint32_t packed() const { return (static_cast<uint32_t>(date) << 16) | time; }
};
DosDateTime toDosDateTime(time_t when);
time_t fromDosDateTime(uint16_t date, uint16_t time);

// A new file for writing in the same directory as target, created with O_EXCL and mode 0600
// under an unpredictable name. Returns the descriptor (or -1) and the name in tempPath.
int createTempBeside(const std::string& target, std::string& tempPath);
// The same inside an open directory: the new name (no directory part) comes back in tempName.
int createTempAt(int dirFd, std::string& tempName);

// Moves size bytes in steps: step(done, left) moves at most left bytes from offset done on and
// answers how many it moved, or -1 with errno set. A step a signal interrupted is taken again;
// false when a step fails or moves nothing (the end of a file).
template <class Step> bool transferAll(size_t size, Step step) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = step(done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool writeAll(int fd, const void* data, size_t size);
bool preadAll(int fd, void* data, size_t size, uint64_t offset);
// Reads from the current position to the end of the file; false on a read error.
bool readWhole(int fd, std::vector<uint8_t>& out, size_t sizeHint);

std::string joinPath(const std::string& dir, const std::string& name);
std::string parentOf(const std::string& path);
std::string leafOf(const std::string& path);
// Removes "." and empty components and resolves ".." lexically; keeps a leading '/'.
std::string normalizePath(const std::string& path);
std::string currentDirectory();

// Names in a directory (without "." and ".."), sorted bytewise; empty when it cannot be read.
std::vector<std::string> listDirectory(const std::string& dir);

std::string systemErrorText(int error);

} // namespace kv::engine
