#include "Platform/PeFiles/VersionBlock.h"

#include "Platform/Rtl/Classes.h"

#include <vector>

namespace kv::platform {

namespace {

uint16_t u16(std::span<const uint8_t> b, size_t off) {
  return static_cast<uint16_t>(b[off] | b[off + 1] << 8);
}

size_t align4(size_t n) { return (n + 3) & ~size_t{3}; }

// One node of the block: header (length, value length, type), key, value, children.
struct Node {
  size_t start = 0, end = 0; // end is cut to the parent's end
  std::string key;           // UTF-8
  size_t valueStart = 0, valueEnd = 0;
  bool isText = false;
  size_t childrenStart = 0;
};

std::optional<Node> nodeAt(std::span<const uint8_t> block, size_t start, size_t limit) {
  if (start > limit || limit - start < 6) return std::nullopt;
  const uint16_t length = u16(block, start);
  if (length < 6) return std::nullopt;
  Node n;
  n.start = start;
  n.end = std::min(limit, start + length);
  const uint16_t valueLength = u16(block, start + 2);
  n.isText = u16(block, start + 4) == 1;
  size_t p = start + 6;
  while (p + 1 < n.end && u16(block, p) != 0)
    p += 2;
  n.key = versionText(block.subspan(start + 6, p - (start + 6)));
  p += 2; // the key's terminating zero
  n.valueStart = std::min(align4(p), n.end);
  const size_t valueBytes = n.isText ? size_t{valueLength} * 2 : valueLength;
  n.valueEnd = std::min(n.end, n.valueStart + valueBytes);
  n.childrenStart = std::min(align4(n.valueEnd), n.end);
  return n;
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

} // namespace

std::string versionText(std::span<const uint8_t> bytes) {
  std::string out;
  const size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    const uint32_t u = u16(bytes, 2 * i);
    if (u == 0) break;
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
      const uint32_t low = u16(bytes, 2 * i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    appendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u); // a lone surrogate
  }
  return out;
}

std::optional<VersionValue> queryVersionValue(std::span<const uint8_t> block, std::string_view subBlock) {
  auto node = nodeAt(block, 0, block.size());
  if (!node) return std::nullopt;
  // The path's parts, empty ones (leading, doubled or trailing '\') skipped.
  std::vector<std::string_view> parts;
  for (size_t start = 0; start <= subBlock.size();) {
    size_t end = subBlock.find('\\', start);
    if (end == std::string_view::npos) end = subBlock.size();
    if (end > start) parts.push_back(subBlock.substr(start, end - start));
    start = end + 1;
  }
  for (const auto part : parts) {
    std::optional<Node> found;
    size_t at = node->childrenStart;
    while (auto child = nodeAt(block, at, node->end)) {
      if (SameText(child->key, std::string(part))) {
        found = child;
        break;
      }
      const size_t next = align4(child->end);
      if (next <= at) break;
      at = next;
    }
    if (!found) return std::nullopt;
    node = found;
  }
  VersionValue v;
  v.value = block.subspan(node->valueStart, node->valueEnd - node->valueStart);
  v.tail = block.subspan(node->valueStart, node->end - node->valueStart);
  v.isText = node->isText;
  return v;
}

} // namespace kv::platform
