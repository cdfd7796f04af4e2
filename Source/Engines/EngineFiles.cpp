#include "EngineFiles.h"

#include "EngineCrypt.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::engine {

DosDateTime toDosDateTime(time_t when) {
  struct tm local {};
  localtime_r(&when, &local);
  DosDateTime result;
  if (local.tm_year < 80) { // DOS dates begin with 1980
    result.date = (1 << 5) | 1;
    return result;
  }
  if (local.tm_year > 207) local.tm_year = 207;
  result.date =
      static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  result.time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  return result;
}

time_t fromDosDateTime(uint16_t date, uint16_t time) {
  struct tm local {};
  local.tm_year = ((date >> 9) & 0x7F) + 80;
  local.tm_mon = std::max(((date >> 5) & 0x0F) - 1, 0);
  local.tm_mday = std::max(date & 0x1F, 1);
  local.tm_hour = (time >> 11) & 0x1F;
  local.tm_min = (time >> 5) & 0x3F;
  local.tm_sec = (time & 0x1F) * 2;
  local.tm_isdst = -1;
  return mktime(&local);
}

namespace {

std::string randomSuffix() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  uint8_t bytes[12];
  if (!randomBytes(bytes, sizeof bytes)) {
    // No random source: fall back to something still unlikely to be guessed in advance.
    const auto seed = static_cast<uint64_t>(getpid()) * 6364136223846793005ull ^
                      static_cast<uint64_t>(time(nullptr)) ^ reinterpret_cast<uintptr_t>(&bytes);
    for (size_t i = 0; i < sizeof bytes; ++i)
      bytes[i] = static_cast<uint8_t>(seed >> ((i % 8) * 8));
  }
  std::string s;
  for (uint8_t b : bytes)
    s += kLetters[b % (sizeof kLetters - 1)];
  return s;
}

} // namespace

int createTempBeside(const std::string& target, std::string& tempPath) {
  const std::string dir = parentOf(target);
  const std::string leaf = leafOf(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = joinPath(dir, "." + leaf + "." + randomSuffix() + ".tmp");
    const int fd = open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

int createTempAt(int dirFd, std::string& tempName) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName = ".kvunzip." + randomSuffix() + ".tmp";
    const int fd =
        openat(dirFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool writeAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  return transferAll(size, [&](size_t done, size_t left) { return write(fd, p + done, left); });
}

bool preadAll(int fd, void* data, size_t size, uint64_t offset) {
  auto* p = static_cast<uint8_t*>(data);
  return transferAll(size, [&](size_t done, size_t left) {
    return pread(fd, p + done, left, static_cast<off_t>(offset + done));
  });
}

bool readWhole(int fd, std::vector<uint8_t>& out, size_t sizeHint) {
  out.resize(sizeHint + 1);
  size_t used = 0;
  for (;;) {
    if (used == out.size()) out.resize(out.size() * 2 + 65536);
    const ssize_t n = read(fd, out.data() + used, out.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  out.resize(used);
  return true;
}

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (name.empty()) return dir;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string leafOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string normalizePath(const std::string& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..")
        parts.pop_back();
      else if (!absolute)
        parts.push_back(part);
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '/';
    out += parts[i];
  }
  if (out.empty()) out = ".";
  return out;
}

std::string currentDirectory() {
  std::vector<char> buffer(4096);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

std::vector<std::string> listDirectory(const std::string& dir) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> handle(opendir(dir.c_str()), closedir);
  if (!handle) return names;
  while (const dirent* entry = readdir(handle.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string systemErrorText(int error) {
  char buffer[256];
  return strerror_r(error, buffer, sizeof buffer);
}

} // namespace kv::engine
