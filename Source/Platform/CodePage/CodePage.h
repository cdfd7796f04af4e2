// Legacy single-byte code pages and UTF-8, the system's ANSI code page here. A code page is one
// table: the characters of its bytes 0x80 to 0xFF (below them every code page is ASCII). Two kinds
// of text come in one: the OEM code page (CP850) of names that DOS and OS/2 hosts wrote into
// archives, and the code page a Paradox table names in its header.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv::platform {

class SingleByteCodePage {
public:
  // The table of a code page. 1252, 850 and 437 are built in; another single-byte code page that the
  // C library converts is read from its converter once. Anything else (0 for "not stated", an unknown
  // or a multi-byte code page) reads as 1252, the code page of the product's own tables.
  static const SingleByteCodePage& get(int codePage);

  // The code page the table stands for (1252 for one that fell back to it).
  int number() const { return number_; }
  // A byte the code page leaves undefined stands for the Latin-1 character of the same number, so
  // nothing read is lost and it is written back as the same byte.
  char32_t toUnicode(std::uint8_t byte) const { return byte < 0x80 ? byte : high_[byte - 0x80]; }
  std::optional<std::uint8_t> fromUnicode(char32_t c) const;

  void appendUtf8(std::string& out, std::string_view bytes) const;
  std::string toUtf8(std::string_view bytes) const;
  // nullopt when the text is not UTF-8 or holds a character the code page lacks.
  std::optional<std::string> fromUtf8(std::string_view text) const;

  SingleByteCodePage(int number, const std::array<char32_t, 128>& high);

private:
  struct Utf8 {
    std::uint8_t length;
    char bytes[3];
  };
  int number_;
  std::array<char32_t, 128> high_;
  std::array<Utf8, 128> utf8_;
  std::vector<std::pair<char32_t, std::uint8_t>> reverse_; // sorted by character
};

// Unicode code point of one OEM byte.
char32_t oemToUnicode(uint8_t oem);
// Each byte below 0x80 is copied; each other byte becomes its character in UTF-8.
std::string oemToAnsi(std::string_view oem);
// UTF-8 to OEM; characters CP850 lacks, and bytes that are not well-formed UTF-8 (overlong forms
// and surrogates included), become the replacement ('?' by default).
std::string ansiToOem(std::string_view ansi, char replacement = '?');
// Decodes the UTF-8 character at pos and moves past it; on a malformed sequence returns false and
// moves one byte on.
bool nextUtf8(std::string_view text, size_t& pos, char32_t& c);
void appendUtf8(std::string& out, char32_t c);
// True when the bytes are well-formed UTF-8 (ASCII included).
bool isValidUtf8(std::string_view text);
bool isAscii(std::string_view text);

} // namespace kv::platform
