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

// ByteSource over bytes in memory; the bytes must outlive it.
class SpanByteSource : public ByteSource {
public:
  explicit SpanByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool read(uint64_t offset, void* out, size_t length) const override;

private:
  std::span<const uint8_t> bytes_;
};

// Where the data of one resource lies in the file.
struct ResourceData {
  uint64_t fileOffset = 0;
  uint32_t size = 0;
};

// Resource types the icon code looks for.
inline constexpr uint16_t RtIcon = 3, RtGroupIcon = 14;

// The data entry at resource type -> identifier -> first language (named entries are
// skipped), in an image whose resource tree lies in the section named ".rsrc" and whose
// data lies in that section too. Nothing when the image is not PE, has no sections, no
// such section, no such entry, or when any part lies outside the file.
std::optional<ResourceData> findResourceData(const ByteSource& image, uint16_t type, uint16_t id);

// The image's first icon (its first group icon, the image nearest to 32 x 32 pixels) as an
// icon file of that one image: the 6-byte directory, one 16-byte entry, the image bytes.
std::optional<std::vector<uint8_t>> readFirstIcon(const ByteSource& image);
std::optional<std::vector<uint8_t>> readVersionResource(std::span<const uint8_t> image);
std::optional<std::vector<uint8_t>> readVersionResource(const std::filesystem::path& file);

} // namespace kv::platform
