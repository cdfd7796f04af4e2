#include "Platform/Trash/Trash.h"

#include "Platform/Paths/Paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

std::string homeTrashDir() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data == '/') return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/") + "/.local/share/Trash";
}

namespace {

bool makeDirs(const std::string& path, mode_t mode) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string parent = extractFileDir(excludeTrailingPathDelimiter(path));
  if (!parent.empty() && parent != path && !makeDirs(parent, mode)) return false;
  return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

dev_t deviceOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_dev : static_cast<dev_t>(-1);
}

// The mount point that holds path: the highest ancestor on the same device.
std::string topDirOf(const std::string& path) {
  const dev_t dev = deviceOf(extractFileDir(path));
  std::string dir = extractFileDir(path);
  while (dir != "/") {
    const std::string parent = extractFileDir(dir);
    if (deviceOf(parent) != dev) break;
    dir = parent;
  }
  return dir;
}

std::string percentEncode(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
      out += static_cast<char>(c);
    else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

// Chooses the trash folder for a file, creating it when needed; also says what the
// info record's Path is relative to (empty: absolute).
bool trashFor(const std::string& file, std::string& trash, std::string& relativeTo) {
  const std::string home = homeTrashDir();
  const std::string homeParent = extractFileDir(home);
  makeDirs(homeParent, 0700);
  if (deviceOf(homeParent) == deviceOf(extractFileDir(file))) {
    trash = home;
    relativeTo.clear();
    return makeDirs(home + "/files", 0700) && makeDirs(home + "/info", 0700);
  }
  const std::string top = topDirOf(file);
  const std::string uid = std::to_string(::getuid());
  const std::string shared = joinPath(top, ".Trash");
  struct stat st {};
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    trash = shared + "/" + uid;
    if (makeDirs(trash + "/files", 0700) && makeDirs(trash + "/info", 0700)) {
      relativeTo = top;
      return true;
    }
  }
  trash = joinPath(top, ".Trash-" + uid);
  if (::lstat(trash.c_str(), &st) == 0 && (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())) return false;
  relativeTo = top;
  return makeDirs(trash, 0700) && makeDirs(trash + "/files", 0700) && makeDirs(trash + "/info", 0700);
}

} // namespace

int moveToTrash(const std::string& fileName) {
  const std::string file = expandFileName(fileName);
  struct stat st {};
  if (::lstat(file.c_str(), &st) != 0) return errno;
  std::string trash, relativeTo;
  if (!trashFor(file, trash, relativeTo)) return errno ? errno : EACCES;

  std::string path = file;
  if (!relativeTo.empty()) {
    const std::string top = includeTrailingPathDelimiter(relativeTo);
    if (path.starts_with(top)) path = path.substr(top.size());
  }
  char date[32];
  const time_t now = time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
  const std::string info = "[Trash Info]\nPath=" + percentEncode(path) + "\nDeletionDate=" + date + "\n";

  const std::string base = extractFileName(file);
  for (int n = 1; n < 10000; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string infoName = trash + "/info/" + name + ".trashinfo";
    // The info record is created exclusively first: it reserves the name in files/.
    const int fd = ::open(infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    const bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
    ::close(fd);
    const std::string target = trash + "/files/" + name;
    if (!written) {
      ::unlink(infoName.c_str());
      return EIO;
    }
    if (::access(target.c_str(), F_OK) == 0) { // a stray file without its record
      ::unlink(infoName.c_str());
      continue;
    }
    if (::rename(file.c_str(), target.c_str()) == 0) return 0;
    const int err = errno;
    ::unlink(infoName.c_str());
    return err;
  }
  return EEXIST;
}

} // namespace kv::platform
