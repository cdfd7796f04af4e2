// Numbers stored low byte first, as the Paradox header and memo blocks keep them.
#pragma once

#include <cstdint>

namespace kv::platform::paradox {

inline std::uint16_t getLe16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}
inline std::uint32_t getLe32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}
inline void putLe16(char* p, std::uint16_t v) {
  p[0] = static_cast<char>(v);
  p[1] = static_cast<char>(v >> 8);
}
inline void putLe32(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<char>(v >> (8 * i));
}

} // namespace kv::platform::paradox
