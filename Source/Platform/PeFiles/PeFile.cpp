#include "Platform/PeFiles/PeFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

namespace kv::platform {

namespace {

// A version resource is sized by 16-bit lengths; anything much larger is not one.
constexpr uint32_t kMaxVersionResource = 1u << 20;
constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kVsVersionInfoId = 1;

using SpanSource = SpanByteSource;

class FileSource : public ByteSource {
public:
  explicit FileSource(const std::filesystem::path& path) : in_(path, std::ios::binary) {
    std::error_code ec;
    if (in_ && std::filesystem::is_regular_file(path, ec)) {
      const auto n = std::filesystem::file_size(path, ec);
      if (!ec) size_ = n;
    }
  }
  uint64_t size() const override { return size_; }
  bool read(uint64_t offset, void* out, size_t length) const override {
    if (offset > size_ || length > size_ - offset) return false;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(static_cast<char*>(out), static_cast<std::streamsize>(length));
    return in_.gcount() == static_cast<std::streamsize>(length);
  }

private:
  mutable std::ifstream in_;
  uint64_t size_ = 0;
};

struct Reader {
  const ByteSource& src;
  std::optional<uint16_t> u16(uint64_t off) const {
    uint8_t b[2];
    if (!src.read(off, b, 2)) return std::nullopt;
    return static_cast<uint16_t>(b[0] | b[1] << 8);
  }
  std::optional<uint32_t> u32(uint64_t off) const {
    uint8_t b[4];
    if (!src.read(off, b, 4)) return std::nullopt;
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  }
};

struct Section {
  std::string name;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

class Image {
public:
  explicit Image(const ByteSource& src) : r_{src} {}

  // Reads the headers; false when the bytes are not a PE image.
  bool open() {
    const auto mz = r_.u16(0);
    if (!mz || *mz != 0x5A4D) return false;
    const auto lfanew = r_.u32(0x3C);
    if (!lfanew) return false;
    const uint64_t pe = *lfanew;
    const auto sig = r_.u32(pe);
    if (!sig || *sig != 0x00004550) return false;
    const auto sections = r_.u16(pe + 6);
    const auto optionalSize = r_.u16(pe + 20);
    if (!sections || !optionalSize) return false;
    const uint64_t opt = pe + 24;
    const auto magic = r_.u16(opt);
    if (!magic) return false;
    uint64_t countAt = 0, dirsAt = 0;
    if (*magic == 0x10B) {
      countAt = 92, dirsAt = 96;
    } else if (*magic == 0x20B) {
      countAt = 108, dirsAt = 112;
    } else {
      return false;
    }
    const auto dirCount = r_.u32(opt + countAt);
    if (!dirCount) return false;
    // The resource directory is entry 2; it has to lie inside the optional header.
    constexpr uint64_t kResourceEntry = 2;
    if (*dirCount <= kResourceEntry || dirsAt + (kResourceEntry + 1) * 8 > *optionalSize) return true;
    const auto rva = r_.u32(opt + dirsAt + kResourceEntry * 8);
    if (!rva) return false;
    resourceRva_ = *rva;
    const uint64_t table = opt + *optionalSize;
    for (uint32_t i = 0; i < *sections; ++i) {
      const uint64_t at = table + uint64_t{i} * 40;
      const auto va = r_.u32(at + 12), rawSize = r_.u32(at + 16), rawOffset = r_.u32(at + 20);
      if (!va || !rawSize || !rawOffset) break; // a section table cut short: keep what was read
      char name[8];
      if (!r_.src.read(at, name, sizeof name)) break;
      sections_.push_back({std::string(name, strnlen(name, sizeof name)), *va, *rawSize, *rawOffset});
    }
    return true;
  }

  uint32_t resourceRva() const { return resourceRva_; }
  const std::vector<Section>& sections() const { return sections_; }
  const Section* sectionNamed(const std::string& name) const {
    for (const auto& s : sections_)
      if (s.name == name) return &s;
    return nullptr;
  }

  // The file offset of `length` bytes at `rva`, all inside one section's data in the file.
  std::optional<uint64_t> offsetOf(uint64_t rva, uint64_t length) const {
    for (const auto& s : sections_) {
      if (rva < s.virtualAddress) continue;
      const uint64_t inside = rva - s.virtualAddress;
      if (inside > s.rawSize || length > s.rawSize - inside) continue;
      const uint64_t off = uint64_t{s.rawOffset} + inside;
      if (off > r_.src.size() || length > r_.src.size() - off) return std::nullopt;
      return off;
    }
    return std::nullopt;
  }

  std::optional<uint32_t> u32AtRva(uint64_t rva) const {
    const auto off = offsetOf(rva, 4);
    if (!off) return std::nullopt;
    return r_.u32(*off);
  }
  std::optional<uint16_t> u16AtRva(uint64_t rva) const {
    const auto off = offsetOf(rva, 2);
    if (!off) return std::nullopt;
    return r_.u16(*off);
  }
  bool readAtRva(uint64_t rva, void* out, size_t length) const {
    const auto off = offsetOf(rva, length);
    return off && r_.src.read(*off, out, length);
  }

private:
  Reader r_;
  uint32_t resourceRva_ = 0;
  std::vector<Section> sections_;
};

struct DirEntry {
  uint32_t name;   // high bit: a named entry
  uint32_t target; // high bit: a subdirectory; offsets relative to the resource tree
};

// The entries of one resource directory that can be read; a count larger than the
// section ends the list where the section does.
std::vector<DirEntry> entriesOf(const Image& image, uint32_t dirOffset) {
  std::vector<DirEntry> entries;
  const uint64_t base = uint64_t{image.resourceRva()} + dirOffset;
  const auto named = image.u16AtRva(base + 12), ids = image.u16AtRva(base + 14);
  if (!named || !ids) return entries;
  const uint32_t count = uint32_t{*named} + *ids;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = base + 16 + uint64_t{i} * 8;
    const auto name = image.u32AtRva(at), target = image.u32AtRva(at + 4);
    if (!name || !target) break;
    entries.push_back({*name, *target});
  }
  return entries;
}

constexpr uint32_t kHighBit = 0x80000000u;

bool isId(const DirEntry& e, uint16_t id) { return !(e.name & kHighBit) && (e.name & 0xFFFF) == id; }
bool isDirectory(const DirEntry& e) { return (e.target & kHighBit) != 0; }

} // namespace

std::optional<std::vector<uint8_t>> findVersionResource(const ByteSource& src) {
  Image image(src);
  if (!image.open() || image.resourceRva() == 0) return std::nullopt;
  // Each directory is visited once: an entry that points back up the tree ends the walk.
  std::set<uint32_t> visited{0};
  auto descend = [&](const DirEntry& e) -> std::optional<uint32_t> {
    if (!isDirectory(e)) return std::nullopt;
    const uint32_t off = e.target & ~kHighBit;
    if (!visited.insert(off).second) return std::nullopt;
    return off;
  };

  // Type level: the version resources.
  std::optional<uint32_t> typeDir;
  for (const auto& e : entriesOf(image, 0))
    if (isId(e, kRtVersion)) {
      typeDir = descend(e);
      break;
    }
  if (!typeDir) return std::nullopt;

  // Name level: the resource with id 1 (the one Windows reads), else the first one.
  const auto names = entriesOf(image, *typeDir);
  std::optional<uint32_t> nameDir;
  for (const auto& e : names)
    if (isId(e, kVsVersionInfoId) && isDirectory(e)) {
      nameDir = descend(e);
      break;
    }
  if (!nameDir)
    for (const auto& e : names)
      if (isDirectory(e)) {
        nameDir = descend(e);
        break;
      }
  if (!nameDir) return std::nullopt;

  // Language level: the first language's data entry.
  for (const auto& e : entriesOf(image, *nameDir)) {
    if (isDirectory(e)) continue;
    const uint64_t entry = uint64_t{image.resourceRva()} + e.target;
    const auto dataRva = image.u32AtRva(entry), size = image.u32AtRva(entry + 4);
    if (!dataRva || !size || *size == 0 || *size > kMaxVersionResource) return std::nullopt;
    std::vector<uint8_t> bytes(*size);
    if (!image.readAtRva(*dataRva, bytes.data(), bytes.size())) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

bool SpanByteSource::read(uint64_t offset, void* out, size_t length) const {
  if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
  if (length) std::memcpy(out, bytes_.data() + offset, length);
  return true;
}

namespace {

// An icon image is a bitmap of at most 256 x 256 pixels; anything much larger is not one.
constexpr uint32_t kMaxIconImage = 1u << 20;
constexpr uint32_t kMaxIconGroup = 6 + 14 * 0xFFFFu;

// The first language's data entry of type -> name, inside the ".rsrc" section. With no id
// the first name that is a directory is taken.
std::optional<ResourceData> rsrcData(const Image& image, const ByteSource& src, uint16_t type,
                                     std::optional<uint16_t> id) {
  if (image.resourceRva() == 0) return std::nullopt;
  const Section* rsrc = image.sectionNamed(".rsrc");
  if (!rsrc) return std::nullopt;
  const uint64_t treeRva = image.resourceRva();
  if (treeRva < rsrc->virtualAddress || treeRva - rsrc->virtualAddress >= rsrc->rawSize) return std::nullopt;

  std::optional<uint32_t> typeDir, nameDir;
  for (const auto& e : entriesOf(image, 0))
    if (isId(e, type)) {
      if (isDirectory(e)) typeDir = e.target & ~kHighBit;
      break;
    }
  if (!typeDir || *typeDir == 0) return std::nullopt;
  for (const auto& e : entriesOf(image, *typeDir)) {
    if (!isDirectory(e)) continue;
    if (id ? isId(e, *id) : true) {
      nameDir = e.target & ~kHighBit;
      break;
    }
  }
  if (!nameDir || *nameDir == 0 || *nameDir == *typeDir) return std::nullopt;
  const auto langs = entriesOf(image, *nameDir);
  if (langs.empty() || isDirectory(langs.front())) return std::nullopt;
  const uint64_t entry = treeRva + langs.front().target;
  const auto dataRva = image.u32AtRva(entry), size = image.u32AtRva(entry + 4);
  if (!dataRva || !size) return std::nullopt;
  // The data is addressed through the resource section, so it has to lie inside it.
  if (*dataRva < rsrc->virtualAddress) return std::nullopt;
  const uint64_t inside = uint64_t{*dataRva} - rsrc->virtualAddress;
  if (inside > rsrc->rawSize || *size > rsrc->rawSize - inside) return std::nullopt;
  const uint64_t off = uint64_t{rsrc->rawOffset} + inside;
  if (off > src.size() || *size > src.size() - off) return std::nullopt;
  return ResourceData{off, *size};
}

} // namespace

std::optional<ResourceData> findResourceData(const ByteSource& src, uint16_t type, uint16_t id) {
  Image image(src);
  if (!image.open() || image.sections().empty()) return std::nullopt;
  return rsrcData(image, src, type, id);
}

std::optional<std::vector<uint8_t>> readFirstIcon(const ByteSource& src) {
  Image image(src);
  if (!image.open() || image.sections().empty()) return std::nullopt;
  const auto group = rsrcData(image, src, RtGroupIcon, std::nullopt);
  if (!group || group->size < 6 || group->size > kMaxIconGroup) return std::nullopt;
  std::vector<uint8_t> dir(group->size);
  if (!src.read(group->fileOffset, dir.data(), dir.size())) return std::nullopt;
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(dir[at] | dir[at + 1] << 8); };
  if (u16(0) != 0 || u16(2) != 1) return std::nullopt;
  const size_t count = std::min<size_t>(u16(4), (dir.size() - 6) / 14);
  if (count == 0) return std::nullopt;
  // The large icon of the desktop is 32 x 32; a group without one gives its first image.
  size_t pick = 0;
  for (size_t i = 0; i < count; ++i)
    if (dir[6 + 14 * i] == 32 && dir[6 + 14 * i + 1] == 32) {
      pick = i;
      break;
    }
  const size_t at = 6 + 14 * pick;
  const auto image1 = rsrcData(image, src, RtIcon, u16(at + 12));
  if (!image1 || image1->size == 0 || image1->size > kMaxIconImage) return std::nullopt;
  std::vector<uint8_t> ico(22 + image1->size, 0);
  ico[2] = 1; // type: icon
  ico[4] = 1; // one image
  std::memcpy(&ico[6], &dir[at], 8);
  for (int i = 0; i < 4; ++i) {
    ico[14 + i] = static_cast<uint8_t>(image1->size >> (8 * i));
    ico[18 + i] = static_cast<uint8_t>(22u >> (8 * i));
  }
  if (!src.read(image1->fileOffset, &ico[22], image1->size)) return std::nullopt;
  return ico;
}

std::optional<std::vector<uint8_t>> readVersionResource(std::span<const uint8_t> image) {
  return findVersionResource(SpanSource(image));
}

std::optional<std::vector<uint8_t>> readVersionResource(const std::filesystem::path& file) {
  if (file.empty()) return std::nullopt;
  try {
    FileSource src(file);
    if (src.size() == 0) return std::nullopt;
    return findVersionResource(src);
  } catch (...) {
    return std::nullopt; // an unreadable file has no version information
  }
}

} // namespace kv::platform
