#include "uKVVersion.h"

#include "Platform/PeFiles/PeFile.h"
#include "Platform/PeFiles/VersionBlock.h"

#include <cstdio>
#include <optional>

namespace uKVVersion {

namespace {

// The class library's integer conversion: leading blanks, a sign, decimal digits or a
// hexadecimal number after '$' or "0x"; nothing may follow. No value when it is not one.
std::optional<int> strToInt(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ')
    ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return std::nullopt;
  long long value = 0;
  for (; i < s.size(); ++i) {
    int digit;
    const char c = s[i];
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * base + digit;
    if (value > 0x80000000ll) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 0x7FFFFFFFll) return std::nullopt;
  return static_cast<int>(value);
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
