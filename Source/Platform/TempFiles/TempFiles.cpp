#include "Platform/TempFiles/TempFiles.h"

#include "Platform/Paths/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace kv::platform {

std::string systemTempDir() {
  const char* env = std::getenv("TMPDIR");
  if (env && *env && directoryExists(env)) return includeTrailingPathDelimiter(env);
  return "/tmp/";
}

namespace {
std::string randomPart() {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[10];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    got += static_cast<size_t>(n);
  }
  std::string s;
  for (unsigned char b : bytes)
    s += alphabet[b % 62];
  return s;
}
} // namespace

std::optional<TempFile> createTempFile(const std::string& dir, const std::string& prefix,
                                       const std::string& ext) {
  const std::string base = includeTrailingPathDelimiter(dir.empty() ? systemTempDir() : dir);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string r = randomPart();
    if (r.empty()) return std::nullopt;
    const std::string name = base + prefix + r + ext;
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) return TempFile{name, fd};
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

} // namespace kv::platform
