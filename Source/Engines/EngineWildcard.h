// File specifications matched the way the system's users know from Windows: without regard to
// case, "*" for any run of characters, "?" for one character, and "*.*" matching every name,
// also one without an extension.
#pragma once

#include <string_view>

namespace kv::engine {

bool hasWildcards(std::string_view pattern);
// Matches a whole name (a file name, or a member name with '/' separators, which "*" crosses).
bool wildcardMatch(std::string_view pattern, std::string_view name);

} // namespace kv::engine
