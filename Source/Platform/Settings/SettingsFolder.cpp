#include "Platform/Settings/SettingsFolder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace kv::platform {

namespace {
std::filesystem::path homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}
}  // namespace

std::filesystem::path settingsFolder() {
  if (const char* dir = std::getenv("KV_CONFIG_DIR"); dir && *dir) return dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::filesystem::path(xdg) / "korvalis";
  return homeFolder() / ".config" / "korvalis";
}

std::filesystem::path ensureSettingsFolder() {
  const auto dir = settingsFolder();
  std::error_code ec;
  if (std::filesystem::create_directories(dir, ec))
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
  return dir;
}

}  // namespace kv::platform
