#include "Platform/Database/CodePage.h"

#include <cerrno>
#include <iconv.h>

namespace kv::platform {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

iconv_t openConverter(int codePage, bool toUtf8) {
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = toUtf8 ? iconv_open("UTF-8", name.c_str()) : iconv_open(name.c_str(), "UTF-8");
  if (cd == kNoConverter) cd = toUtf8 ? iconv_open("UTF-8", "CP1252") : iconv_open("CP1252", "UTF-8");
  return cd;
}

void appendLatin1(std::string& out, unsigned char byte) {
  if (byte < 0x80) {
    out += static_cast<char>(byte);
  } else {
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
  }
}

// Runs one conversion; returns false at the first byte sequence the converter refuses,
// leaving `in` pointing at it.
bool convert(iconv_t cd, const char*& in, size_t& inLeft, std::string& out) {
  char buffer[512];
  while (inLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t rc = iconv(cd, const_cast<char**>(&in), &inLeft, &dst, &dstLeft);
    out.append(buffer, dst);
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
  }
  return true;
}

} // namespace

CodePageConverter::CodePageConverter(int codePage)
    : toUtf8_(openConverter(codePage, true)), fromUtf8_(openConverter(codePage, false)) {}

CodePageConverter::~CodePageConverter() {
  if (static_cast<iconv_t>(toUtf8_) != kNoConverter) iconv_close(static_cast<iconv_t>(toUtf8_));
  if (static_cast<iconv_t>(fromUtf8_) != kNoConverter) iconv_close(static_cast<iconv_t>(fromUtf8_));
}

std::string CodePageConverter::toUtf8(std::string_view stored) {
  std::string out;
  const auto cd = static_cast<iconv_t>(toUtf8_);
  const char* in = stored.data();
  size_t inLeft = stored.size();
  if (cd == kNoConverter) {
    for (unsigned char c : stored)
      appendLatin1(out, c);
    return out;
  }
  while (!convert(cd, in, inLeft, out)) {
    appendLatin1(out, static_cast<unsigned char>(*in));
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::optional<std::string> CodePageConverter::fromUtf8(std::string_view text) {
  const auto cd = static_cast<iconv_t>(fromUtf8_);
  if (cd == kNoConverter) return std::nullopt;
  std::string out;
  const char* in = text.data();
  size_t inLeft = text.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (!convert(cd, in, inLeft, out)) return std::nullopt;
  return out;
}

} // namespace kv::platform
