#include "Platform/Files/Files.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv::platform {

namespace {

bool takeShareLock(int fd, uint32_t mode) {
  const uint32_t share = mode & 0x70;
  int op = 0;
  if (share == fmShareExclusive)
    op = LOCK_EX;
  else if (share == fmShareDenyWrite || share == fmShareDenyRead)
    op = LOCK_SH;
  else
    return true;
  while (flock(fd, op | LOCK_NB) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Days from 1899-12-30 to 1970-01-01.
constexpr double UnixEpochDays = 25569.0;

} // namespace

FileHandle fileOpen(const std::string& name, uint32_t mode) {
  int flags = O_CLOEXEC;
  switch (mode & 0x3) {
  case fmOpenWrite:
    flags |= O_WRONLY;
    break;
  case fmOpenReadWrite:
    flags |= O_RDWR;
    break;
  default:
    flags |= O_RDONLY;
    break;
  }
  int fd;
  do {
    fd = ::open(name.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return InvalidFile;
  struct stat st {};
  // A directory opens for reading on Linux, never on the system this stands in for.
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || !takeShareLock(fd, mode)) {
    ::close(fd);
    return InvalidFile;
  }
  return fd;
}

FileHandle fileCreate(const std::string& name) {
  int fd;
  do {
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return InvalidFile;
  // Truncate only once we hold the file, so a reader that has it open keeps its bytes; and only
  // a file that has bytes: ext4 takes a truncation to nothing for a file about to be rewritten
  // and writes all of it out when it is closed.
  struct stat st {};
  if (!takeShareLock(fd, fmShareExclusive) || fstat(fd, &st) != 0 ||
      (st.st_size > 0 && ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return InvalidFile;
  }
  return fd;
}

void fileClose(FileHandle handle) {
  if (handle >= 0) ::close(handle);
}

namespace {
// Moves count bytes with read or write in pieces, again after a signal: the count moved,
// less at the end of the file, or -1 when the first piece fails.
template <class Byte, class Op> int64_t transferAll(FileHandle handle, Byte* p, int64_t count, Op op) {
  if (handle < 0 || count < 0) return -1;
  int64_t done = 0;
  while (done < count) {
    const size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, INT_MAX / 2));
    const ssize_t n = op(handle, p + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}
} // namespace

int64_t fileRead(FileHandle handle, void* buffer, int64_t count) {
  return transferAll(handle, static_cast<unsigned char*>(buffer), count, ::read);
}

int64_t fileWrite(FileHandle handle, const void* buffer, int64_t count) {
  return transferAll(handle, static_cast<const unsigned char*>(buffer), count, ::write);
}

int64_t fileSeek(FileHandle handle, int64_t offset, int origin) {
  if (handle < 0) return -1;
  const int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  const off_t r = ::lseek(handle, static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

bool fileReadAt(FileHandle handle, int64_t offset, void* buffer, int64_t count) {
  return offset >= 0 && fileSeek(handle, offset, 0) == offset && fileRead(handle, buffer, count) == count;
}

int64_t fileLength(FileHandle handle) {
  struct stat st {};
  if (handle < 0 || fstat(handle, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool fileExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t fileSizeByName(const std::string& name) {
  struct stat st {};
  if (name.empty() || ::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

namespace {
// A file date (the DOS date in the high half, the time in the low half) from its fields; a
// year before 1980 gives the earliest date there is, 1980-01-01.
int32_t packFileDate(const struct tm& tm) {
  const int year = tm.tm_year + 1900;
  if (year < 1980) return (1 << 21) | (1 << 16);
  const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return static_cast<int32_t>((date << 16) | time);
}

struct tm unpackFileDate(int32_t fileDate) {
  const uint32_t v = static_cast<uint32_t>(fileDate);
  const uint32_t date = v >> 16, time = v & 0xFFFF;
  struct tm tm {};
  tm.tm_year = static_cast<int>((date >> 9) + 80);
  tm.tm_mon = static_cast<int>(((date >> 5) & 0xF)) - 1;
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
  return tm;
}

int32_t unixToFileDate(time_t t) {
  struct tm tm {};
  localtime_r(&t, &tm);
  return packFileDate(tm);
}
} // namespace

int32_t dateTimeToFileDate(TDateTime value) {
  const double days = std::floor(value);
  const time_t t = static_cast<time_t>(std::llround((days - UnixEpochDays) * 86400.0));
  struct tm tm {};
  gmtime_r(&t, &tm); // the day number itself is local; only split it into fields here
  double frac = value - days;
  int secs = static_cast<int>(std::llround(frac * 86400.0));
  if (secs >= 86400) secs = 86399;
  if (tm.tm_year + 1900 > 2107) return -1;
  tm.tm_hour = secs / 3600;
  tm.tm_min = (secs / 60) % 60;
  tm.tm_sec = secs % 60;
  return packFileDate(tm);
}

TDateTime fileDateToDateTime(int32_t fileDate) {
  struct tm tm = unpackFileDate(fileDate);
  const double secs = tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec;
  tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  const time_t t = timegm(&tm);
  const double days = static_cast<double>(t) / 86400.0 + UnixEpochDays;
  return days + secs / 86400.0;
}

int32_t fileAge(const std::string& name) {
  struct stat st {};
  if (name.empty() || ::stat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return unixToFileDate(st.st_mtime);
}

int32_t fileGetDate(FileHandle handle) {
  struct stat st {};
  if (handle < 0 || fstat(handle, &st) != 0) return -1;
  return unixToFileDate(st.st_mtime);
}

int fileSetDate(FileHandle handle, int32_t fileDate) {
  struct tm tm = unpackFileDate(fileDate);
  tm.tm_isdst = -1;
  const time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1)) return EINVAL;
  struct timespec ts[2];
  ts[0].tv_sec = ts[1].tv_sec = t;
  ts[0].tv_nsec = ts[1].tv_nsec = 0;
  return futimens(handle, ts) == 0 ? 0 : errno;
}

int fileGetAttr(const std::string& name) {
  struct stat st {};
  if (name.empty() || ::lstat(name.c_str(), &st) != 0) return -1;
  if (S_ISLNK(st.st_mode) && ::stat(name.c_str(), &st) != 0) return -1;
  int attr = 0;
  if (S_ISDIR(st.st_mode))
    attr |= faDirectory;
  else
    attr |= faArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attr |= faReadOnly;
  std::string base = name;
  while (base.size() > 1 && base.back() == '/')
    base.pop_back();
  const auto slash = base.find_last_of('/');
  const std::string leaf = slash == std::string::npos ? base : base.substr(slash + 1);
  if (leaf.size() > 1 && leaf[0] == '.' && leaf != "..") attr |= faHidden;
  return attr;
}

bool deleteFile(const std::string& name) {
  struct stat st {};
  if (name.empty() || ::lstat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(name.c_str()) == 0;
}

bool renameFile(const std::string& oldName, const std::string& newName) {
  // Windows refuses to rename onto an existing file; keep that, callers rely on it.
  struct stat st {};
  if (::lstat(newName.c_str(), &st) == 0) return false;
  return ::rename(oldName.c_str(), newName.c_str()) == 0;
}

bool replaceFile(const std::string& from, const std::string& to) {
  // Renaming over a file makes ext4 write the new file's data out before the rename returns
  // (its safeguard for programs that do not sync), which takes as long as writing the file
  // took. Swapping the two names is as atomic and leaves the writing to the system's pace;
  // the older file, now under the other name, goes afterwards.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool removeDir(const std::string& name) { return !name.empty() && ::rmdir(name.c_str()) == 0; }

std::string getCurrentDir() {
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

} // namespace kv::platform
