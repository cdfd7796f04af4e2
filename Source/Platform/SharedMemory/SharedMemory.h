// Named shared memory that lives as long as some process holds it, as the Windows file mappings
// backed by the paging file do. POSIX shared memory outlives its processes, so the block carries
// a lock held by every process that has it open: a block that nobody holds any more (its last
// holder died without closing it) counts as absent and is taken over afresh.
//
// Names are scoped to the user, as Windows scopes them to the session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kv::platform {

class SharedMemoryView;

class SharedMemory {
public:
  // Creates the block, or opens it when a living process holds it already (AlreadyExisted).
  // A new block is Size bytes of zeros. nullptr when the platform cannot give one.
  static std::unique_ptr<SharedMemory> CreateOrOpen(const std::string& Name, std::size_t Size);
  ~SharedMemory(); // the last holder removes the name
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  bool AlreadyExisted() const { return existed_; }
  // The block's size as it is now (another program may have made it with another size).
  std::size_t Size() const;
  // A read-write view of the first Size bytes; nullptr when the block is smaller than that.
  std::unique_ptr<SharedMemoryView> Map(std::size_t Size);

  // The platform's name of the object (for tests and diagnostics).
  const std::string& SystemName() const { return systemName_; }
  static std::string SystemNameFor(const std::string& Name);

private:
  SharedMemory(int fd, std::string systemName, bool existed);
  int fd_;
  std::string systemName_;
  bool existed_;
};

class SharedMemoryView {
public:
  ~SharedMemoryView();
  SharedMemoryView(const SharedMemoryView&) = delete;
  SharedMemoryView& operator=(const SharedMemoryView&) = delete;
  std::uint8_t* Data() { return data_; }
  std::size_t Size() const { return size_; }

private:
  friend class SharedMemory;
  SharedMemoryView(std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t* data_;
  std::size_t size_;
};

} // namespace kv::platform
