// Queries on a version block (the bytes of a version resource), as the Windows version
// query answers them: "\" for the fixed block, "\VarFileInfo\Translation" for the list of
// translations, "\StringFileInfo\<translation>\<key>" for one string. Path parts compare
// without regard to case. The block's texts are UTF-16; versionText() gives them as UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kv::platform {

struct VersionValue {
  std::span<const uint8_t> value; // the value as its header sizes it (cut at the end of its node)
  std::span<const uint8_t> tail;  // from the value's start to the end of its node, for texts
  bool isText = false;            // the node says its value is text
};

std::optional<VersionValue> queryVersionValue(std::span<const uint8_t> block, std::string_view subBlock);

// The UTF-16LE text at the start of `bytes` up to its terminating zero (or the end), as UTF-8.
std::string versionText(std::span<const uint8_t> bytes);

} // namespace kv::platform
