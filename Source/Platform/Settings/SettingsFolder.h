// The per-user settings folder that holds the registry store and the database aliases.
#pragma once

#include <filesystem>

namespace kv::platform {

// $KV_CONFIG_DIR, else $XDG_CONFIG_HOME/korvalis, else ~/.config/korvalis. Not created here.
std::filesystem::path settingsFolder();

// The settings folder, created (mode 0700) when missing.
std::filesystem::path ensureSettingsFolder();

}  // namespace kv::platform
