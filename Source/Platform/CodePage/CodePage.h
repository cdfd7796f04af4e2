// The OEM code page (CP850) of names that DOS and OS/2 hosts wrote into archives, to and
// from the system's ANSI code page, which is UTF-8 here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kv::platform {

// Unicode code point of one OEM byte.
char32_t oemToUnicode(uint8_t oem);
// Each byte below 0x80 is copied; each other byte becomes its character in UTF-8.
std::string oemToAnsi(std::string_view oem);
// UTF-8 to OEM; characters CP850 lacks, and bytes that are not well-formed UTF-8 (overlong forms
// and surrogates included), become the replacement ('?' by default).
std::string ansiToOem(std::string_view ansi, char replacement = '?');
// True when the bytes are well-formed UTF-8 (ASCII included).
bool isValidUtf8(std::string_view text);
bool isAscii(std::string_view text);

} // namespace kv::platform
