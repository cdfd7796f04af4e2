#include "Platform/SharedMemory/SharedMemory.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

namespace {

// Serialises creating, opening and closing one block between processes: a lock object beside
// it, removed by whoever releases it (a waiter that got the lock on a removed object tries anew).
class NameLock {
public:
  explicit NameLock(const std::string& name) : name_(name + ".lock") {
    for (int attempt = 0; attempt < 100; ++attempt) {
      fd_ = shm_open(name_.c_str(), O_RDWR | O_CREAT, 0600);
      if (fd_ < 0) return;
      if (flock(fd_, LOCK_EX) != 0) {
        close(fd_);
        fd_ = -1;
        return;
      }
      struct stat held {
      }, named{};
      const int probe = shm_open(name_.c_str(), O_RDONLY, 0);
      const bool same = probe >= 0 && fstat(fd_, &held) == 0 && fstat(probe, &named) == 0 &&
                        held.st_ino == named.st_ino && held.st_dev == named.st_dev;
      if (probe >= 0) close(probe);
      if (same) return;
      close(fd_);
      fd_ = -1;
    }
  }
  ~NameLock() {
    if (fd_ < 0) return;
    shm_unlink(name_.c_str());
    close(fd_);
  }
  bool held() const { return fd_ >= 0; }

private:
  std::string name_;
  int fd_ = -1;
};

} // namespace

std::string SharedMemory::SystemNameFor(const std::string& Name) {
  std::string safe;
  for (char c : Name)
    safe += (c == '/' || c == '\0') ? '_' : c;
  // Object names are file names: keep them short enough, and distinct when cut.
  if (safe.size() > 180) safe = safe.substr(0, 160) + "~" + std::to_string(std::hash<std::string>{}(Name));
  return "/kv." + std::to_string(getuid()) + "." + safe;
}

SharedMemory::SharedMemory(int fd, std::string systemName, bool existed)
    : fd_(fd), systemName_(std::move(systemName)), existed_(existed) {}

std::unique_ptr<SharedMemory> SharedMemory::CreateOrOpen(const std::string& Name, std::size_t Size) {
  const std::string sys = SystemNameFor(Name);
  const NameLock lock(sys);
  if (!lock.held()) return nullptr;

  int fd = shm_open(sys.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  bool existed = false;
  if (fd >= 0) {
    if (ftruncate(fd, static_cast<off_t>(Size)) != 0) {
      close(fd);
      shm_unlink(sys.c_str());
      return nullptr;
    }
  } else {
    if (errno != EEXIST) return nullptr;
    fd = shm_open(sys.c_str(), O_RDWR, 0);
    if (fd < 0) return nullptr;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // Nobody holds it: its process ended without closing it. It starts again as new.
      if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(Size)) != 0) {
        close(fd);
        return nullptr;
      }
    } else {
      existed = true;
    }
  }
  if (flock(fd, LOCK_SH) != 0) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<SharedMemory>(new SharedMemory(fd, sys, existed));
}

SharedMemory::~SharedMemory() {
  const NameLock lock(systemName_);
  flock(fd_, LOCK_UN);
  if (lock.held() && flock(fd_, LOCK_EX | LOCK_NB) == 0) shm_unlink(systemName_.c_str());
  close(fd_);
}

std::size_t SharedMemory::Size() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
  return static_cast<std::size_t>(st.st_size);
}

std::unique_ptr<SharedMemoryView> SharedMemory::Map(std::size_t Size) {
  // Touching pages past the object's end would kill the process, so a short block maps nothing.
  if (Size == 0 || this->Size() < Size) return nullptr;
  void* p = mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return nullptr;
  return std::unique_ptr<SharedMemoryView>(new SharedMemoryView(static_cast<std::uint8_t*>(p), Size));
}

SharedMemoryView::~SharedMemoryView() { munmap(data_, size_); }

} // namespace kv::platform
