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

namespace {

// The desktop's default is ~/Desktop whether or not it exists (as xdg-user-dir and GLib have
// it); the others fall back to the home folder unless their English-named folder is there.
std::string userDir(const std::string& key, const std::string& englishName) {
  const std::string variable = "XDG_" + key + "_DIR";
  if (std::string dir = environment(variable.c_str()); !dir.empty()) return withoutTrailingSeparators(dir);
  const std::string home = homeFolder();
  if (const std::string config = configHome(); !config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
      if (std::string dir = userDirValue(line, variable, home); !dir.empty())
        return withoutTrailingSeparators(dir);
    }
  }
  if (home.empty()) return {};
  std::error_code ec;
  if (key == "DESKTOP" || std::filesystem::is_directory(home + "/" + englishName, ec))
    return home + "/" + englishName;
  return home;
}

// A base directory: the variable when it is an absolute path (the XDG base directory rules
// ignore relative ones), else the default below the home folder.
std::string baseDir(const char* variable, const char* belowHome) {
  if (std::string dir = environment(variable); !dir.empty() && dir[0] == '/')
    return withoutTrailingSeparators(dir);
  const std::string home = homeFolder();
  return home.empty() ? std::string() : home + belowHome;
}

// The first absolute folder of a colon-separated list, or the default when it has none.
std::string firstOfList(const char* variable, const char* fallback) {
  const std::string list = environment(variable);
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start && list[start] == '/') return withoutTrailingSeparators(list.substr(start, end - start));
    start = end + 1;
  }
  return fallback;
}

} // namespace

std::string desktopFolder() { return userDir("DESKTOP", "Desktop"); }
std::string documentsFolder() { return userDir("DOCUMENTS", "Documents"); }
std::string musicFolder() { return userDir("MUSIC", "Music"); }
std::string picturesFolder() { return userDir("PICTURES", "Pictures"); }
std::string videosFolder() { return userDir("VIDEOS", "Videos"); }
std::string templatesFolder() { return userDir("TEMPLATES", "Templates"); }
std::string publicFolder() { return userDir("PUBLICSHARE", "Public"); }

std::string configHome() { return baseDir("XDG_CONFIG_HOME", "/.config"); }
std::string dataHome() { return baseDir("XDG_DATA_HOME", "/.local/share"); }
std::string cacheHome() { return baseDir("XDG_CACHE_HOME", "/.cache"); }
std::string systemDataFolder() { return firstOfList("XDG_DATA_DIRS", "/usr/local/share"); }
std::string systemConfigFolder() { return firstOfList("XDG_CONFIG_DIRS", "/etc/xdg"); }

std::string tempFolder() {
  if (std::string dir = environment("TMPDIR"); !dir.empty()) return withoutTrailingSeparators(dir);
  return "/tmp";
}

std::string programsFolder() { return "/opt"; }
std::string localLibraryFolder() { return "/usr/local/lib"; }
std::string systemLibraryFolder() { return "/usr/lib"; }
std::string systemSettingsFolder() { return "/etc"; }

} // namespace kv::platform
