#include "uKVVersion.h"

#include "Platform/PeFiles/PeFile.h"
#include "Platform/PeFiles/VersionBlock.h"
#include "Platform/Rtl/SysUtils.h"

#include <cstdio>
#include <optional>

namespace uKVVersion {

namespace {

// The class library's integer conversion (decimal, or hexadecimal after '$' or "0x"), but
// with blanks before the number only, as version numbers have always been read here: the
// class library also takes tabs, and blanks after the number. No value when it is not one.
std::optional<int> strToInt(const std::string& s) {
  int32_t value = 0;
  if (s.find('\t') != std::string::npos || (!s.empty() && s.back() == ' ') ||
      !kv::platform::TryStrToInt(s, value))
    return std::nullopt;
  return value;
}

std::string fileVersionText(std::span<const uint8_t> block) {
  const auto translation = kv::platform::queryVersionValue(block, "\\VarFileInfo\\Translation");
  if (!translation || translation->value.size() < 4) return "< Error retrieving translation info >";
  const auto& v = translation->value;
  char id[16];
  std::snprintf(id, sizeof id, "%.4X%.4X", static_cast<unsigned>(v[0] | v[1] << 8),
                static_cast<unsigned>(v[2] | v[3] << 8));
  const auto value =
      kv::platform::queryVersionValue(block, std::string("\\StringFileInfo\\") + id + "\\FileVersion");
  if (!value) return "< Error retrieving string version info >";
  std::string text = kv::platform::versionText(value->tail);
  if (text.empty()) return "< No Version Info >";
  return text;
}

} // namespace

void MdGetVersion(const std::string& FileName, int& Major, int& Minor, int& Release, int& Build) {
  Major = Minor = Release = Build = -1;
  std::optional<std::vector<uint8_t>> block;
  try {
    block = kv::platform::readVersionResource(std::filesystem::path(FileName));
  } catch (...) {
    return;
  }
  if (!block || block->empty()) return;
  std::string text = fileVersionText(*block);
  // Each of the first three numbers ends at a point; whatever follows the third point is the build.
  int* const leading[] = {&Major, &Minor, &Release};
  for (int* number : leading) {
    const size_t p = text.find('.');
    const auto value = strToInt(p == std::string::npos ? std::string() : text.substr(0, p));
    if (!value) return;
    *number = *value;
    text.erase(0, p + 1);
  }
  if (const auto value = strToInt(text)) Build = *value;
}

} // namespace uKVVersion
