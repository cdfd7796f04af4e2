// Pixel tables for the drawing tests: a raster written as rows of characters, one per pixel,
// so that an expected picture can be drawn by hand in the test.
#pragma once

#include "Platform/Graphics/Raster.h"

#include <map>
#include <string>
#include <vector>

namespace kvtest {

inline std::string picture(const kv::platform::Raster& r,
                           const std::map<kv::platform::TColor32, char>& legend) {
  std::string out;
  for (int y = 0; y < r.height(); ++y) {
    for (int x = 0; x < r.width(); ++x) {
      auto it = legend.find(r.pixel(x, y));
      out += it == legend.end() ? '?' : it->second;
    }
    out += '\n';
  }
  return out;
}

inline std::string rows(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines)
    out += l + '\n';
  return out;
}

} // namespace kvtest
