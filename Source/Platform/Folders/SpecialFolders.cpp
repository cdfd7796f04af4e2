#include "Platform/Folders/SpecialFolders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace kv::platform {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string withoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

// One XDG_..._DIR="..." line of user-dirs.dirs: the value is an absolute path or starts
// with $HOME; \" and \\ are escapes. Anything else is not a usable folder.
std::string userDirValue(const std::string& line, const std::string& key, const std::string& home) {
  std::string text = line;
  const auto start = text.find_first_not_of(" \t");
  if (start == std::string::npos || text.compare(start, key.size(), key) != 0) return {};
  auto pos = text.find_first_not_of(" \t", start + key.size());
  if (pos == std::string::npos || text[pos] != '=') return {};
  pos = text.find_first_not_of(" \t", pos + 1);
  if (pos == std::string::npos || text[pos] != '"') return {};
  std::string value;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      value += text[++i];
    } else if (text[i] == '"') {
      if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
        return home.empty() ? std::string() : home + value.substr(5);
      return value.rfind('/', 0) == 0 ? value : std::string();
    } else {
      value += text[i];
    }
  }
  return {};
}

} // namespace

std::string homeFolder() {
  if (std::string home = environment("HOME"); !home.empty()) return withoutTrailingSeparators(home);
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir)
    return withoutTrailingSeparators(pw->pw_dir);
  return {};
}

std::string documentsFolder() {
  if (std::string dir = environment("XDG_DOCUMENTS_DIR"); !dir.empty()) return withoutTrailingSeparators(dir);
  const std::string home = homeFolder();
  std::string config = environment("XDG_CONFIG_HOME");
  if (config.empty() && !home.empty()) config = home + "/.config";
  if (!config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
      if (std::string dir = userDirValue(line, "XDG_DOCUMENTS_DIR", home); !dir.empty())
        return withoutTrailingSeparators(dir);
    }
  }
  if (home.empty()) return {};
  std::error_code ec;
  if (std::filesystem::is_directory(home + "/Documents", ec)) return home + "/Documents";
  return home;
}

std::string tempFolder() {
  if (std::string dir = environment("TMPDIR"); !dir.empty()) return withoutTrailingSeparators(dir);
  return "/tmp";
}

} // namespace kv::platform
