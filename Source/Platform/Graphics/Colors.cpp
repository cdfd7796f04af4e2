#include "Platform/Graphics/Colors.h"

#include <array>

namespace kv::platform {

namespace {
// The "Windows Standard" scheme: grey faces, navy captions, white windows.
constexpr std::array<TColor, 31> kClassicPalette = {
    0xC0C0C0, 0x808000, 0x800000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x800000, 0xFFFFFF, 0xC0C0C0,
    0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xDFDFDF, 0x000000,
    0xE1FFFF, 0x000000, 0xFF0000, 0xD08410, 0xB5B5B5, 0x800000, 0xC0C0C0};
} // namespace

TColor GetSysColor(int index) {
  if (index < 0 || index >= int(kClassicPalette.size())) return 0;
  return kClassicPalette[std::size_t(index)];
}

TColor ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return color & 0x00FFFFFF;
}

TColor32 toColor32(TColor color) {
  const auto c = std::uint32_t(ColorToRGB(color));
  return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

TColor fromColor32(TColor32 color) {
  return TColor(((color >> 16) & 0xFF) | (color & 0xFF00) | ((color & 0xFF) << 16));
}

} // namespace kv::platform
