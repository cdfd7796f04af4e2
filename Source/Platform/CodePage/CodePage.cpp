#include "Platform/CodePage/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>

namespace kv::platform {

namespace {

using High = std::array<char32_t, 128>;

// The published mappings of bytes 0x80 to 0xFF. The five bytes Windows-1252 leaves undefined
// (81, 8D, 8F, 90, 9D) stand for the Latin-1 characters of their numbers, as Windows reads them.
constexpr High kCp1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152,
    0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
    0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0,
    0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD,
    0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA,
    0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4,
    0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF};
constexpr High kCp850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};
constexpr High kCp437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// The table of a single-byte code page the C library converts, or nullopt (unknown, or a byte
// that starts a longer sequence: a multi-byte code page).
std::optional<High> tableFromConverter(int codePage) {
  const std::string name = "CP" + std::to_string(codePage);
  const iconv_t cd = iconv_open("UTF-32LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  High high{};
  bool singleByte = true;
  for (int b = 0x80; b < 0x100 && singleByte; ++b) {
    char in = static_cast<char>(b);
    unsigned char out[8];
    char* inPtr = &in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (rc == static_cast<size_t>(-1) && errno == EINVAL) singleByte = false;
    high[b - 0x80] = rc == static_cast<size_t>(-1) || outLeft != sizeof out - 4
                         ? static_cast<char32_t>(b)
                         : static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
  }
  iconv_close(cd);
  if (!singleByte) return std::nullopt;
  return high;
}

} // namespace

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool nextUtf8(std::string_view s, size_t& pos, char32_t& cp) {
  const auto b0 = static_cast<uint8_t>(s[pos]);
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  }
  int length = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2;
    cp = b0 & 0x1F;
    minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3;
    cp = b0 & 0x0F;
    minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4;
    cp = b0 & 0x07;
    minimum = 0x10000;
  } else {
    ++pos;
    return false;
  }
  if (pos + length > s.size()) {
    ++pos;
    return false;
  }
  for (int i = 1; i < length; ++i) {
    const auto b = static_cast<uint8_t>(s[pos + i]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return false;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return false;
  }
  pos += length;
  return true;
}

SingleByteCodePage::SingleByteCodePage(int number, const High& high) : number_(number), high_(high) {
  for (size_t i = 0; i < high_.size(); ++i) {
    std::string bytes;
    platform::appendUtf8(bytes, high_[i]);
    utf8_[i].length = static_cast<std::uint8_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), utf8_[i].bytes);
    reverse_.emplace_back(high_[i], static_cast<std::uint8_t>(0x80 + i));
  }
  std::sort(reverse_.begin(), reverse_.end());
}

const SingleByteCodePage& SingleByteCodePage::get(int codePage) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<SingleByteCodePage>> tables;
  const std::lock_guard<std::mutex> lock(mutex);
  auto& entry = tables[codePage];
  if (!entry) {
    if (codePage == 1252 || codePage == 850 || codePage == 437)
      entry = std::make_unique<SingleByteCodePage>(codePage, codePage == 1252  ? kCp1252
                                                             : codePage == 850 ? kCp850
                                                                               : kCp437);
    else if (const auto high = codePage > 0 ? tableFromConverter(codePage) : std::nullopt)
      entry = std::make_unique<SingleByteCodePage>(codePage, *high);
    else
      entry = std::make_unique<SingleByteCodePage>(1252, kCp1252);
  }
  return *entry;
}

std::optional<std::uint8_t> SingleByteCodePage::fromUnicode(char32_t c) const {
  if (c < 0x80) return static_cast<std::uint8_t>(c);
  const auto it = std::lower_bound(reverse_.begin(), reverse_.end(), std::make_pair(c, std::uint8_t{0}));
  if (it == reverse_.end() || it->first != c) return std::nullopt;
  return it->second;
}

void SingleByteCodePage::appendUtf8(std::string& out, std::string_view bytes) const {
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(bytes[i]);
    if (b < 0x80) continue;
    out.append(bytes.data() + start, i - start);
    const Utf8& u = utf8_[b - 0x80];
    out.append(u.bytes, u.length);
    start = i + 1;
  }
  out.append(bytes.data() + start, bytes.size() - start);
}

std::string SingleByteCodePage::toUtf8(std::string_view bytes) const {
  std::string out;
  out.reserve(bytes.size());
  appendUtf8(out, bytes);
  return out;
}

std::optional<std::string> SingleByteCodePage::fromUtf8(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t c = 0;
    if (!nextUtf8(text, pos, c)) return std::nullopt;
    const auto byte = fromUnicode(c);
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
  }
  return out;
}

char32_t oemToUnicode(uint8_t oem) { return SingleByteCodePage::get(850).toUnicode(oem); }

std::string oemToAnsi(std::string_view oem) { return SingleByteCodePage::get(850).toUtf8(oem); }

std::string ansiToOem(std::string_view ansi, char replacement) {
  const SingleByteCodePage& oem = SingleByteCodePage::get(850);
  std::string out;
  out.reserve(ansi.size());
  size_t pos = 0;
  while (pos < ansi.size()) {
    char32_t c = 0;
    const auto byte = nextUtf8(ansi, pos, c) ? oem.fromUnicode(c) : std::nullopt;
    out += byte ? static_cast<char>(*byte) : replacement;
  }
  return out;
}

bool isValidUtf8(std::string_view text) {
  size_t pos = 0;
  char32_t cp = 0;
  while (pos < text.size())
    if (!nextUtf8(text, pos, cp)) return false;
  return true;
}

bool isAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  return true;
}

} // namespace kv::platform
