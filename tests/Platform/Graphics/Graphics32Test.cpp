#include "Platform/Graphics/Graphics32.h"
#include "Platform/Graphics/Fonts.h"

#include "PixelPicture.h"

#include <gtest/gtest.h>

using namespace kv::platform;
using namespace kv::platform::Graphics32;
using kvtest::picture;
using kvtest::rows;

namespace {
constexpr TColor32 W = 0xFFFFFFFF, K = 0xFF000000;
const std::map<TColor32, char> kLegend = {{W, '.'}, {K, '#'}};
} // namespace

TEST(Graphics32Test, ColoursConvertBetweenTheTwoEncodings) {
  struct Case {
    TColor win;
    TColor32 raster;
  };
  const Case toRaster[] = {
      {0x000000FF, 0xFFFF0000}, // clRed
      {0x00008000, 0xFF008000}, // clGreen
      {0x00C0C0C0, 0xFFC0C0C0},  {0x00123456, 0xFF563412},
      {clBtnFace, 0xFFC0C0C0}, // system colours take the classic palette
      {clBtnShadow, 0xFF808080}, {clBtnHighlight, 0xFFFFFFFF},
      {clHighlight, 0xFF000080}, {clWindow, 0xFFFFFFFF},
      {clInfoBk, 0xFFFFFFE1},
  };
  for (const Case& c : toRaster)
    EXPECT_EQ(Color32(c.win), c.raster) << std::hex << c.win;
  const Case toWin[] = {{0x000000FF, 0xFFFF0000}, {0x00FF0000, 0x200000FF}, {0x00563412, 0x00123456}};
  for (const Case& c : toWin)
    EXPECT_EQ(WinColor(c.raster), c.win) << std::hex << c.raster;
}

TEST(Graphics32Test, BitmapOperationsFollowTheRasterRules) {
  TBitmap32 b(6, 4);
  EXPECT_EQ(b.Width(), 6);
  EXPECT_EQ(b.PixelS(0, 0), 0u); // new bitmaps are transparent black
  b.Clear(W);
  b.FillRectS(-2, -2, 2, 2, K);
  b.FrameRectS(3, 1, 6, 4, K);
  b.LineS(0, 3, 3, 3, K, false);
  EXPECT_EQ(picture(b.raster(), kLegend), rows({"##....", "##.###", "...#.#", "######"}));
  b.FillRectTS(0, 0, 1, 1, 0x80FFFFFF); // half white over black: 128
  EXPECT_EQ(b.PixelS(0, 0), 0xFF808080u);
  b.LineS(5, 0, 5, 0, K, true);
  EXPECT_EQ(b.PixelS(5, 0), K);
}

TEST(Graphics32Test, TextIsPlacedByItsTopLeftCornerAndTurnsWithTheFont) {
  TBitmap32 b(12, 10);
  b.Clear(W);
  b.Font.Name = kBoxFaceName;
  b.Font.Height = -8; // cell 8, advance 4, glyph columns 0..2
  b.Font.Color = clBlack;
  EXPECT_EQ(b.TextWidth("AB"), 8);
  EXPECT_EQ(b.TextHeight("AB"), 8);
  b.Textout(2, 1, "AB");
  EXPECT_EQ(picture(b.raster(), kLegend),
            rows({"............", "..###.###...", "..###.###...", "..###.###...", "..###.###...",
                  "..###.###...", "..###.###...", "..###.###...", "..###.###...", "............"}));

  // A font turned by 900 from elsewhere: the text runs upward from (2, 9), its top to the left.
  const HFONT rotated = CreateFontA(8, 0, 900, 0, 400, 0, 0, 0, 1, 0, 0, 2, 0x30, kBoxFaceName);
  TBitmap32 up(12, 10);
  up.Clear(W);
  {
    TBitmap32Font& f = up.Font;
    f.SetHandle(rotated);
    EXPECT_EQ(f.Handle(), rotated);
    EXPECT_EQ(f.Escapement, 900);
  }
  up.Textout(2, 9, "A");
  EXPECT_EQ(picture(up.raster(), kLegend),
            rows({"............", "............", "............", "............", "............",
                  "............", "..########..", "..########..", "..########..", "............"}));
  up.Font.Height = -10; // a property change gives the font a handle of its own
  EXPECT_NE(up.Font.Handle(), rotated);
  EXPECT_TRUE(DeleteObject(rotated)); // still the creator's to delete

  TBitmap32 tinted(4, 8);
  tinted.Clear(W);
  tinted.Font = b.Font;
  tinted.RenderText(0, 0, "A", 0, 0x80000000); // half black
  EXPECT_EQ(tinted.PixelS(0, 0), 0xFF7F7F7Fu);
  EXPECT_EQ(tinted.PixelS(3, 0), W);
}

TEST(Graphics32Test, DrawToCopiesOpaquelyAndClips) {
  TBitmap32 src(2, 2);
  src.Clear(0x20FF0000);
  src.SetPixelS(1, 1, 0xFF00FF00);
  TBitmap32 dst(3, 3);
  dst.Clear(W);
  src.DrawTo(dst, 2, 2);
  EXPECT_EQ(dst.PixelS(2, 2), 0x20FF0000u); // no blending
  EXPECT_EQ(dst.PixelS(1, 1), W);
  src.DrawTo(dst, -1, -1);
  EXPECT_EQ(dst.PixelS(0, 0), 0xFF00FF00u);
}

TEST(Graphics32Test, QuarterTurnsMovePixelsExactly) {
  // The date strip: label bitmap L (w wide, h high) turned by 90 degrees about
  // (w/2 - 1, w/2 - 1) into S (h wide, w high): L(x, y) lands on S(y, w - 2 - x).
  for (int w : {6, 7, 20}) {
    const int h = 9;
    TBitmap32 label(w, h), strip(h, w);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        label.SetPixelS(x, y, argb(255, x, y, 0x55));
    TAffineTransformation t;
    t.SetSrcRect(FloatRect(0, 0, float(w), float(h)));
    t.Clear();
    t.Rotate(w / 2.0f - 1, w / 2.0f - 1, 90);
    Transform(strip, label, t);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w - 1; ++x)
        ASSERT_EQ(strip.PixelS(y, w - 2 - x), label.PixelS(x, y)) << "w " << w << " at " << x << "," << y;
    // Column w - 1 of L would land on row -1; row w - 1 of S is left as it was.
    for (int y = 0; y < h; ++y)
      EXPECT_EQ(strip.PixelS(y, w - 1), 0u) << y;
  }
  // Any turn keeps its centre pixel.
  TBitmap32 src(9, 9), dst(9, 9);
  src.Clear(W);
  src.SetPixelS(4, 4, K);
  TAffineTransformation t;
  t.Rotate(4, 4, 33);
  Transform(dst, src, t);
  EXPECT_EQ(dst.PixelS(4, 4), K);
}
