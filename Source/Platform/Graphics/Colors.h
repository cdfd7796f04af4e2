// Colours of the drawing layer. Windows colours (TColor, $00BBGGRR, system colours with the
// top bit set) and raster colours (TColor32, $AARRGGBB, not premultiplied) meet only here.
#pragma once

#include <cstdint>

namespace kv::platform {

using TColor = std::int32_t;    // $00BBGGRR; negative values name a system colour
using TColor32 = std::uint32_t; // $AARRGGBB, alpha not premultiplied into the channels

// System colour indexes (the low byte of a system TColor).
enum SysColorIndex : int {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3,
  COLOR_MENU = 4,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_MENUTEXT = 7,
  COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9,
  COLOR_ACTIVEBORDER = 10,
  COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_INACTIVECAPTIONTEXT = 19,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
  COLOR_HOTLIGHT = 26,
  COLOR_GRADIENTACTIVECAPTION = 27,
  COLOR_GRADIENTINACTIVECAPTION = 28,
  COLOR_MENUHILIGHT = 29,
  COLOR_MENUBAR = 30
};

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
constexpr TColor sysColor(int index) { return static_cast<TColor>(0xFF000000u | unsigned(index)); }

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;
constexpr TColor clScrollBar = sysColor(COLOR_SCROLLBAR), clBackground = sysColor(COLOR_BACKGROUND),
                 clActiveCaption = sysColor(COLOR_ACTIVECAPTION),
                 clInactiveCaption = sysColor(COLOR_INACTIVECAPTION), clMenu = sysColor(COLOR_MENU),
                 clWindow = sysColor(COLOR_WINDOW), clWindowFrame = sysColor(COLOR_WINDOWFRAME),
                 clMenuText = sysColor(COLOR_MENUTEXT), clWindowText = sysColor(COLOR_WINDOWTEXT),
                 clCaptionText = sysColor(COLOR_CAPTIONTEXT), clActiveBorder = sysColor(COLOR_ACTIVEBORDER),
                 clInactiveBorder = sysColor(COLOR_INACTIVEBORDER),
                 clAppWorkSpace = sysColor(COLOR_APPWORKSPACE), clHighlight = sysColor(COLOR_HIGHLIGHT),
                 clHighlightText = sysColor(COLOR_HIGHLIGHTTEXT), clBtnFace = sysColor(COLOR_BTNFACE),
                 clBtnShadow = sysColor(COLOR_BTNSHADOW), clGrayText = sysColor(COLOR_GRAYTEXT),
                 clBtnText = sysColor(COLOR_BTNTEXT),
                 clInactiveCaptionText = sysColor(COLOR_INACTIVECAPTIONTEXT),
                 clBtnHighlight = sysColor(COLOR_BTNHIGHLIGHT), cl3DDkShadow = sysColor(COLOR_3DDKSHADOW),
                 cl3DLight = sysColor(COLOR_3DLIGHT), clInfoText = sysColor(COLOR_INFOTEXT),
                 clInfoBk = sysColor(COLOR_INFOBK);

// The classic Windows palette ($00BBGGRR) for a system colour index; black for unknown indexes.
TColor GetSysColor(int index);
// A Windows colour with system colours resolved: always $00BBGGRR.
TColor ColorToRGB(TColor color);
// The one conversion from a Windows colour to a raster colour: system colours resolved, alpha $FF.
TColor32 toColor32(TColor color);
// The Windows colour of a raster colour, alpha dropped.
TColor fromColor32(TColor32 color);

constexpr TColor RGB(int r, int g, int b) { return TColor((r & 255) | ((g & 255) << 8) | ((b & 255) << 16)); }
constexpr std::uint8_t alphaOf(TColor32 c) { return std::uint8_t(c >> 24); }
constexpr std::uint8_t redOf(TColor32 c) { return std::uint8_t(c >> 16); }
constexpr std::uint8_t greenOf(TColor32 c) { return std::uint8_t(c >> 8); }
constexpr std::uint8_t blueOf(TColor32 c) { return std::uint8_t(c); }
constexpr TColor32 argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return (TColor32(a & 255) << 24) | (TColor32(r & 255) << 16) | (TColor32(g & 255) << 8) | TColor32(b & 255);
}

} // namespace kv::platform
