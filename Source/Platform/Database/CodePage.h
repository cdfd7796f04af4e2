// Text in a Paradox table is stored in the code page its header names; the rest of the
// system speaks UTF-8. These converters sit at that boundary and nowhere else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

class CodePageConverter {
public:
  // A code page the system cannot convert is treated as Windows-1252, the code page
  // of the tables the product writes.
  explicit CodePageConverter(int codePage);
  ~CodePageConverter();
  CodePageConverter(const CodePageConverter&) = delete;
  CodePageConverter& operator=(const CodePageConverter&) = delete;

  // Bytes the code page leaves undefined come through as the Latin-1 character of the
  // same number, so nothing read is lost.
  std::string toUtf8(std::string_view stored);
  // nullopt when the text is not UTF-8 or holds a character the code page lacks.
  std::optional<std::string> fromUtf8(std::string_view text);

private:
  void* toUtf8_;
  void* fromUtf8_;
};

} // namespace kv::platform
