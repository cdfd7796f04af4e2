// Member names in the OEM code page of DOS hosts (CP850), converted to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kv::engine {

// UTF-8 to CP850; a character CP850 lacks (or a byte that is not UTF-8) becomes '_'.
std::string utf8ToCp850(std::string_view utf8);
std::string cp850ToUtf8(std::string_view oem);
// True when the bytes are well-formed UTF-8 (ASCII included).
bool isValidUtf8(std::string_view text);
bool isAscii(std::string_view text);

} // namespace kv::engine
