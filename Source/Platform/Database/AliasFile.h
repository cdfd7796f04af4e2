// The alias file (aliases.ini in the settings folder): one section per database alias,
// its parameters as NAME=VALUE lines, for example
//   [Korv3]
//   PATH=/var/lib/korvalis/db
// Alias and parameter names compare without regard to case; lines starting with ';' or '#'
// are comments.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

// The parameters of `alias` as "NAME=VALUE" lines in file order, or nullopt when the file or
// the alias is missing. The first section of a name wins.
std::optional<std::vector<std::string>> readAliasParams(const std::filesystem::path& file,
                                                        const std::string& alias);

// The value of NAME in "NAME=VALUE" lines (name compared without regard to case), "" if absent.
std::string paramValue(const std::vector<std::string>& params, const std::string& name);

} // namespace kv::platform
