#include "Platform/Database/AliasFile.h"

#include "Platform/Rtl/Classes.h"

#include <fstream>

namespace kv::platform {

namespace {

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

} // namespace

std::optional<std::vector<std::string>> readAliasParams(const std::filesystem::path& file,
                                                        const std::string& alias) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::optional<std::vector<std::string>> params;
  bool inside = false;
  std::string line;
  bool firstLine = true;
  while (std::getline(in, line)) {
    if (firstLine && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    firstLine = false;
    const std::string text = trim(line);
    if (text.empty() || text[0] == ';' || text[0] == '#') continue;
    if (text.front() == '[' && text.back() == ']') {
      if (params) break; // the alias's section has ended
      inside = SameText(trim(text.substr(1, text.size() - 2)), alias);
      if (inside) params.emplace();
      continue;
    }
    if (!inside) continue;
    const auto eq = text.find('=');
    if (eq == std::string::npos) continue;
    params->push_back(trim(text.substr(0, eq)) + "=" + trim(text.substr(eq + 1)));
  }
  return params;
}

std::string paramValue(const std::vector<std::string>& params, const std::string& name) {
  for (const auto& line : params) {
    const auto eq = line.find('=');
    if (eq != std::string::npos && SameText(line.substr(0, eq), name)) return line.substr(eq + 1);
  }
  return {};
}

} // namespace kv::platform
