// Our own reader of Windows PE files (PE32 and PE32+), as far as the version resource:
// the image's resource tree is walked to the first version resource and its bytes are
// returned, the block that the Windows version functions hand out.
//
// Every offset, size and count read from the file is checked against what the file holds;
// a file that is not PE, is cut short, has a damaged or looping resource tree or simply no
// version resource gives no block, never an exception.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace kv::platform {

// Random access to the bytes of an image (a file or a buffer).
class ByteSource {
public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly `length` bytes at `offset`; false when they are not all there.
  virtual bool read(uint64_t offset, void* out, size_t length) const = 0;
};

std::optional<std::vector<uint8_t>> findVersionResource(const ByteSource& image);
std::optional<std::vector<uint8_t>> readVersionResource(std::span<const uint8_t> image);
std::optional<std::vector<uint8_t>> readVersionResource(const std::filesystem::path& file);

} // namespace kv::platform
