#include "Platform/Database/TableLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kv::platform {

TableLock::~TableLock() { release(); }

TableLock::TableLock(TableLock&& other) noexcept : fd_(other.fd_), error_(other.error_) { other.fd_ = -1; }

TableLock& TableLock::operator=(TableLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    error_ = other.error_;
    other.fd_ = -1;
  }
  return *this;
}

TableLock::Result TableLock::acquire(const std::filesystem::path& file, Mode mode, bool forWriting) {
  release();
  const int flags = forWriting ? (O_RDWR | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
  const int fd = ::open(file.c_str(), flags, 0644);
  if (fd < 0) {
    error_ = errno;
    return error_ == ENOENT ? Result::Missing : Result::Failed;
  }
  int rc;
  do {
    rc = ::flock(fd, (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    error_ = errno;
    ::close(fd);
    return error_ == EWOULDBLOCK ? Result::Busy : Result::Failed;
  }
  fd_ = fd;
  error_ = 0;
  return Result::Locked;
}

void TableLock::release() {
  if (fd_ >= 0) {
    ::close(fd_); // closing the last descriptor of the open file drops the lock
    fd_ = -1;
  }
}

} // namespace kv::platform
