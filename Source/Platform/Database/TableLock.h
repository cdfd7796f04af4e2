// The lock that stands for an open table: flock(2) on the table's .DB file, shared for a
// normal open and exclusive for an exclusive one, held as long as the descriptor is open.
// Other programs see it (and `flock -s TABLE.DB cmd` is seen by us); no lock file is ever
// written next to the tables.
#pragma once

#include <filesystem>

namespace kv::platform {

class TableLock {
public:
  enum class Mode { Shared, Exclusive };
  enum class Result { Locked, Busy, Missing, Failed };

  TableLock() = default;
  ~TableLock();
  TableLock(TableLock&& other) noexcept;
  TableLock& operator=(TableLock&& other) noexcept;

  // Opens the file (read-only, or read-write with `forWriting`, creating it then) and
  // takes the lock without waiting. On anything but Locked the object stays empty.
  Result acquire(const std::filesystem::path& file, Mode mode, bool forWriting = false);
  void release();

  bool held() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // errno of the last failed acquire.
  int error() const { return error_; }

private:
  int fd_ = -1;
  int error_ = 0;
};

} // namespace kv::platform
