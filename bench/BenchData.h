// Data the benchmarks generate: texts like the database's logs and tables, and bytes that do
// not compress.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace benchdata {

inline void writeBytes(const std::filesystem::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline std::string textData(size_t size, std::mt19937& rng) {
  static const char* words[] = {"Korvalis", "density", "backup", "table",  "value", "module",
                                "language", "error",   "chart",  "series", "week",  "day",
                                "print",    "record",  "serial", "holiday"};
  std::string s;
  s.reserve(size + 64);
  while (s.size() < size) {
    s += words[rng() % 16];
    s += (rng() % 9 == 0) ? "\n" : " ";
    if (rng() % 5 == 0) s += std::to_string(rng() % 100000) + " ";
  }
  s.resize(size);
  return s;
}

inline std::string randomData(size_t size, std::mt19937& rng) {
  std::string s(size, '\0');
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const uint32_t v = rng();
    std::memcpy(&s[i], &v, 4);
  }
  return s;
}

} // namespace benchdata
