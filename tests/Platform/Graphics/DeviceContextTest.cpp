#include "Platform/Graphics/DeviceContext.h"
#include "Platform/Graphics/RecordingDC.h"

#include "PixelPicture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>

using namespace kv::platform;
using kvtest::picture;
using kvtest::rows;

namespace {

constexpr TColor32 W = 0xFFFFFFFF, K = 0xFF000000, R = 0xFFFF0000, G = 0xFF808080, S = 0xFFC0C0C0;
const std::map<TColor32, char> kLegend = {{W, '.'}, {K, '#'}, {R, 'r'}, {G, 'g'}, {S, 's'}};

struct Canvas {
  Raster raster;
  RasterDC dc;
  Canvas(int w, int h, TColor32 fill = W) : raster(w, h, fill), dc(raster) {}
  std::string pic() const { return picture(raster, kLegend); }
};

// Selects an object for the scope and deletes it afterwards.
struct Selected {
  DeviceContext& dc;
  HGDIOBJ object, previous;
  Selected(DeviceContext& d, HGDIOBJ o) : dc(d), object(o), previous(d.SelectObject(o)) {}
  ~Selected() {
    dc.SelectObject(previous);
    DeleteObject(object);
  }
};

HFONT boxFont(int height, int escapement = 0) {
  return CreateFontA(height, 0, escapement, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, kBoxFaceName);
}

} // namespace

TEST(DeviceContextTest, LineToLeavesOutItsEndPixelAndPensHaveStylesAndWidths) {
  {
    Canvas c(7, 5);
    Selected pen(c.dc, CreatePen(PS_SOLID, 1, clRed));
    c.dc.MoveToEx(1, 1, nullptr);
    c.dc.LineTo(5, 1);
    c.dc.LineTo(5, 4);
    EXPECT_EQ(c.pic(),
              rows({".......", ".rrrrr.", ".....r.", ".....r.", "......."})); // (5,1) starts the second line
  }
  struct Case {
    int style, width, bkMode;
    std::vector<std::string> expected; // rows 0..3 of a line from (1, 1) to (6, 1)
  };
  const Case cases[] = {
      {PS_SOLID, 3, OPAQUE, {".#####", ".#####", ".#####", "......"}}, // rows 0..2 around row 1
      {PS_SOLID, 2, OPAQUE, {"......", ".#####", ".#####", "......"}}, // rows 1..2
      {PS_NULL, 1, OPAQUE, {"......", "......", "......", "......"}},
  };
  for (const Case& k : cases) {
    Canvas c(6, 4);
    c.dc.SetBkMode(k.bkMode);
    Selected pen(c.dc, CreatePen(k.style, k.width, clBlack));
    c.dc.MoveToEx(1, 1, nullptr);
    c.dc.LineTo(6, 1);
    EXPECT_EQ(c.pic(), rows(k.expected)) << k.style << "/" << k.width;
  }
}

TEST(DeviceContextTest, DashedAndDottedPensRunOnAcrossLineToAndFillGapsWhenOpaque) {
  struct Case {
    int style, bkMode;
    std::string expected; // 30 pixels of row 0 over grey
  };
  const Case cases[] = {
      // dash: 18 on, 6 off
      {PS_DASH, TRANSPARENT, "##################gggggg######"},
      {PS_DASH, OPAQUE, "##################......######"},
      // dot: 3 on, 3 off
      {PS_DOT, TRANSPARENT, "###ggg###ggg###ggg###ggg###ggg"},
  };
  for (const Case& k : cases) {
    Canvas c(30, 1, G);
    c.dc.SetBkMode(k.bkMode);
    Selected pen(c.dc, CreatePen(k.style, 1, clBlack));
    c.dc.MoveToEx(0, 0, nullptr);
    c.dc.LineTo(10, 0); // the pattern continues at the joint
    c.dc.LineTo(30, 0);
    EXPECT_EQ(c.pic(), k.expected + "\n") << k.style;
  }
  Canvas c(12, 1, G);
  c.dc.SetBkMode(TRANSPARENT);
  Selected pen(c.dc, CreatePen(PS_DOT, 1, clBlack));
  c.dc.MoveToEx(0, 0, nullptr);
  c.dc.LineTo(4, 0);
  c.dc.MoveToEx(4, 0, nullptr); // a move starts the pattern afresh
  c.dc.LineTo(12, 0);
  EXPECT_EQ(c.pic(), "###g###ggg##\n");
}

TEST(DeviceContextTest, RectanglesFollowTheOnePixelRules) {
  struct Case {
    HPEN pen;
    HBRUSH brush;
    int l, t, r, b;
    std::vector<std::string> expected;
  };
  const HPEN black = GetStockObject(BLACK_PEN), none = GetStockObject(NULL_PEN);
  const HBRUSH red = CreateSolidBrush(clRed), clear = GetStockObject(NULL_BRUSH);
  const Case cases[] = {
      {black, red, 1, 1, 5, 4, {"......", ".####.", ".#rr#.", ".####.", "......"}},
      // the null pen: one pixel less on the right and at the bottom
      {none, red, 1, 1, 5, 4, {"......", ".rrr..", ".rrr..", "......", "......"}},
      {black, clear, 1, 1, 5, 4, {"......", ".####.", ".#..#.", ".####.", "......"}},
      {black, red, 5, 4, 1, 1, {"......", ".####.", ".#rr#.", ".####.", "......"}}, // normalised
      {black, red, 2, 1, 2, 4, {"......", "......", "......", "......", "......"}}, // empty
      {black, red, 2, 1, 3, 4, {"......", "..#...", "..#...", "..#...", "......"}}, // one column
  };
  for (const Case& k : cases) {
    Canvas c(6, 5);
    c.dc.SelectObject(k.pen);
    c.dc.SelectObject(k.brush);
    c.dc.Rectangle(k.l, k.t, k.r, k.b);
    EXPECT_EQ(c.pic(), rows(k.expected)) << k.l << "," << k.t << "," << k.r << "," << k.b;
  }
  DeleteObject(red);
  // A dashed outline walks round the rectangle.
  Canvas c(10, 3, G);
  c.dc.SetBkMode(TRANSPARENT);
  c.dc.SelectObject(GetStockObject(NULL_BRUSH));
  Selected dot(c.dc, CreatePen(PS_DOT, 1, clBlack));
  c.dc.Rectangle(0, 0, 10, 3);
  // top 0..8 (steps 0..8), right 9 from row 0 to 1 (steps 9, 10), bottom 9..1 (11..19), left 0 row 2..1 (20,
  // 21)
  EXPECT_EQ(c.pic(), rows({"###ggg###g", "gggggggggg", "###ggg###g"}));
}

TEST(DeviceContextTest, FillRectUsesTheBrushOnlyAndSystemColourBrushes) {
  Canvas c(5, 4);
  c.dc.SelectObject(GetStockObject(BLACK_PEN));
  EXPECT_TRUE(c.dc.FillRect({1, 1, 4, 3}, HBRUSH(COLOR_BTNFACE + 1)));
  EXPECT_EQ(c.pic(), rows({".....", ".sss.", ".sss.", "....."}));
  EXPECT_FALSE(c.dc.FillRect({0, 0, 5, 4}, 0xDEAD)); // no such brush: nothing
  EXPECT_EQ(c.raster.pixel(0, 0), W);
}

TEST(DeviceContextTest, EllipsesCoverThePixelsWhoseCentresLieInside) {
  // Box (0,0)-(4,4): centre (2, 2), radius 2. Row centres 0.5 and 1.5 lie 1.5 and 0.5 from the
  // centre: half widths 1.32 and 1.94 give columns 1..2 and 0..3; the radius-1 inside holds
  // columns 1..2 of rows 1 and 2 only.
  Canvas c(5, 5);
  const HBRUSH red = CreateSolidBrush(clRed);
  c.dc.SelectObject(red);
  c.dc.Ellipse(0, 0, 4, 4);
  EXPECT_EQ(c.pic(), rows({".##..", "#rr#.", "#rr#.", ".##..", "....."}));
  Canvas n(5, 5);
  n.dc.SelectObject(red);
  n.dc.SelectObject(GetStockObject(NULL_PEN));
  n.dc.Ellipse(0, 0, 5, 5); // null pen: the box (0,0)-(4,4)
  EXPECT_EQ(n.pic(), rows({".rr..", "rrrr.", "rrrr.", ".rr..", "....."}));
  DeleteObject(red);
}

TEST(DeviceContextTest, ClipRegionsAreInDevicePixelsAndTheOriginMovesOnlyTheDrawing) {
  Canvas c(7, 7);
  const HBRUSH black = GetStockObject(BLACK_BRUSH);
  const HRGN region = CreateRectRgn(2, 2, 5, 5);
  EXPECT_EQ(c.dc.SelectClipRgn(region), SIMPLEREGION);
  DeleteObject(region); // the context keeps its own copy
  EXPECT_EQ(c.dc.ExcludeClipRect(3, 3, 4, 4), COMPLEXREGION);
  c.dc.FillRect({0, 0, 7, 7}, black);
  EXPECT_EQ(c.pic(), rows({".......", ".......", "..###..", "..#.#..", "..###..", ".......", "......."}));
  c.dc.SelectClipRgn(0);
  c.dc.FillRect({6, 6, 7, 7}, black);
  EXPECT_EQ(c.raster.pixel(6, 6), K);

  // The chart's way: window origin (10, 10), clip rectangle R in logical units less the origin.
  Canvas o(7, 7);
  TPoint old;
  o.dc.SetWindowOrgEx(10, 10, &old);
  EXPECT_EQ(old, (TPoint{0, 0}));
  TPoint org;
  o.dc.GetWindowOrgEx(&org);
  const HRGN clip = CreateRectRgn(12 - org.X, 12 - org.Y, 15 - org.X, 15 - org.Y);
  o.dc.SelectClipRgn(clip);
  DeleteObject(clip);
  TRect box;
  EXPECT_EQ(o.dc.GetClipBox(&box), SIMPLEREGION);
  EXPECT_EQ(box, (TRect{12, 12, 15, 15}));
  o.dc.ExcludeClipRect(13, 12, 14, 15); // logical units
  o.dc.FillRect({0, 0, 100, 100}, black);
  EXPECT_EQ(o.pic(), rows({".......", ".......", "..#.#..", "..#.#..", "..#.#..", ".......", "......."}));
  EXPECT_EQ(o.dc.SelectClipRgn(0xBAD), RGN_ERROR);
}

TEST(DeviceContextTest, TextIsPlacedByItsAlignment) {
  // The box face at height -8: cell 8, ascent 6, advance 4, each glyph 3 columns wide.
  struct Case {
    unsigned align;
    int x, y;
    int left, top; // expected top left corner of the first glyph
  };
  const Case cases[] = {
      {TA_LEFT | TA_TOP, 10, 10, 10, 10},
      {TA_CENTER | TA_BASELINE, 20, 20, 16, 14}, // x - 8 / 2, y - ascent
      {TA_RIGHT | TA_BOTTOM, 20, 20, 12, 12},    // x - 8, y - 8
  };
  for (const Case& k : cases) {
    Canvas c(30, 30);
    c.dc.SetBkMode(TRANSPARENT);
    Selected font(c.dc, boxFont(-8));
    c.dc.SetTextAlign(k.align);
    c.dc.TextOut(k.x, k.y, "AB");
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 30; ++x) {
        const int dx = x - k.left, dy = y - k.top;
        const bool ink = dy >= 0 && dy < 8 && ((dx >= 0 && dx < 3) || (dx >= 4 && dx < 7));
        ASSERT_EQ(c.raster.pixel(x, y), ink ? K : W) << "align " << k.align << " at " << x << "," << y;
      }
  }
  Canvas c(10, 8);
  Selected font(c.dc, boxFont(-8));
  TSize size;
  c.dc.GetTextExtentPoint("ABC", &size);
  EXPECT_EQ(size, (TSize{12, 8}));
  TEXTMETRIC tm;
  c.dc.GetTextMetrics(&tm);
  EXPECT_EQ(tm.tmHeight, 8);
  EXPECT_EQ(tm.tmAscent, 6);
  EXPECT_EQ(tm.tmDescent, 2);
  // Opaque background fills the cells, the space's included.
  c.dc.SetBkColor(clRed);
  c.dc.TextOut(0, 0, "A ");
  EXPECT_EQ(picture(c.raster, kLegend).substr(0, 11), "###rrrrr..\n");
}

TEST(DeviceContextTest, EscapementTurnsTextAboutItsReferencePoint) {
  Canvas c(16, 24);
  c.dc.SetBkMode(TRANSPARENT);
  Selected font(c.dc, boxFont(-8, 900));
  c.dc.TextOut(5, 20, "A"); // upward: columns 5..12, rows 19, 18, 17
  c.dc.SetTextAlign(TA_CENTER);
  c.dc.TextOut(2, 10, "A"); // centred along the run: u from -2, rows 11, 10, 9... of columns 2..9
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool first = x >= 5 && x <= 12 && y >= 17 && y <= 19;
      const bool second = x >= 2 && x <= 9 && y >= 9 && y <= 11;
      ASSERT_EQ(c.raster.pixel(x, y), first || second ? K : W) << x << "," << y;
    }
  // A half turn puts the text upside down to the left of and above the point.
  Canvas h(12, 12);
  h.dc.SetBkMode(TRANSPARENT);
  Selected down(h.dc, boxFont(-8, 1800));
  h.dc.TextOut(10, 10, "A");
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool ink = x >= 7 && x <= 9 && y >= 2 && y <= 9;
      ASSERT_EQ(h.raster.pixel(x, y), ink ? K : W) << x << "," << y;
    }
}

TEST(DeviceContextTest, DrawTextAlignsWrapsMeasuresAndClips) {
  struct Case {
    std::string text;
    TRect rect;
    unsigned flags;
    int left, top; // first glyph's corner; -1 when nothing is drawn
    int height;
    int glyphs;
  };
  const Case cases[] = {
      {"AB", {0, 0, 40, 20}, DT_CENTER | DT_VCENTER | DT_SINGLELINE, 16, 6, 8, 2},
      {"AB", {0, 0, 40, 20}, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE, 32, 12, 8, 2},
      {"AB", {0, 0, 40, 20}, DT_LEFT | DT_VCENTER, 0, 0, 8, 2}, // no single line: no centring
      {"A\nB", {0, 0, 40, 20}, DT_LEFT, 0, 0, 16, 2},
  };
  for (const Case& k : cases) {
    Canvas c(40, 20);
    c.dc.SetBkMode(TRANSPARENT);
    Selected font(c.dc, boxFont(-8));
    TRect r = k.rect;
    EXPECT_EQ(c.dc.DrawText(k.text, &r, k.flags), k.height) << k.text;
    EXPECT_EQ(c.raster.pixel(k.left, k.top), K) << k.text << " flags " << k.flags;
    EXPECT_EQ(c.raster.pixel(k.left + 3, k.top), W);
    if (k.left > 0) {
      EXPECT_EQ(c.raster.pixel(k.left - 1, k.top), W);
    }
    if (k.top > 0) {
      EXPECT_EQ(c.raster.pixel(k.left, k.top - 1), W);
    }
  }
  Canvas c(40, 40);
  c.dc.SetBkMode(TRANSPARENT);
  Selected font(c.dc, boxFont(-8));
  TRect r{0, 0, 40, 40};
  EXPECT_EQ(c.dc.DrawText("A\nBBB", &r, DT_CALCRECT), 16);
  EXPECT_EQ(r, (TRect{0, 0, 12, 16}));
  EXPECT_EQ(c.raster.pixel(0, 0), W); // measuring draws nothing
  r = {0, 0, 12, 40};
  EXPECT_EQ(c.dc.DrawText("AB CD", &r, DT_WORDBREAK | DT_CALCRECT), 16); // "AB" / "CD"
  r = {0, 0, 40, 40};
  EXPECT_EQ(c.dc.DrawText("&A&&", &r, DT_CALCRECT | DT_SINGLELINE), 8);
  EXPECT_EQ(r.Right, 8); // "A&"
  r = {0, 0, 40, 40};
  c.dc.DrawText("&A&&", &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(r.Right, 16);
  // The prefix underline lies one row below the baseline under the whole advance of its
  // character: on the box face's last row, where it also fills the gap column of "Y".
  r = {0, 20, 40, 40};
  c.dc.DrawText("x&Y", &r, DT_SINGLELINE);
  for (int x = 0; x < 12; ++x)
    EXPECT_EQ(c.raster.pixel(x, 27), x < 3 || (x >= 4 && x < 8) ? K : W) << x;
  EXPECT_EQ(c.raster.pixel(7, 26), W);
  // Clipped to the rectangle unless DT_NOCLIP.
  Canvas clip(20, 10);
  clip.dc.SetBkMode(TRANSPARENT);
  Selected f2(clip.dc, boxFont(-8));
  TRect narrow{0, 0, 5, 8};
  clip.dc.DrawText("AB", &narrow, DT_SINGLELINE);
  EXPECT_EQ(clip.raster.pixel(4, 0), K);
  EXPECT_EQ(clip.raster.pixel(5, 0), W);
  TRect loose{10, 0, 15, 8};
  clip.dc.DrawText("AB", &loose, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_EQ(clip.raster.pixel(15, 0), K);
}

TEST(DeviceContextTest, Frame3DCornersBelongToTheirColours) {
  Canvas c(4, 3, K);
  TRect r{0, 0, 4, 3};
  Frame3D(c.dc, r, clWhite, clGray, 1);
  EXPECT_EQ(c.pic(), rows({"...g", ".##g", "gggg"}));
  EXPECT_EQ(r, (TRect{1, 1, 3, 2}));
  Canvas two(6, 6, K);
  TRect r2{0, 0, 6, 6};
  const std::size_t before = liveGdiObjects();
  Frame3D(two.dc, r2, clBtnHighlight, clBtnShadow, 2);
  EXPECT_EQ(liveGdiObjects(), before); // its brushes are gone again
  EXPECT_EQ(two.pic(), rows({".....g", "....gg", "..##gg", "..##gg", ".ggggg", "gggggg"}));
  // A dock panel's grip strip 100 pixels wide: the right edge of its frame is column 99.
  Canvas strip(100, 7, K);
  TRect s{0, 1, 100, 6};
  Frame3D(strip.dc, s, clBtnHighlight, clBtnShadow, 1);
  EXPECT_EQ(strip.raster.pixel(99, 3), G);
  EXPECT_EQ(strip.raster.pixel(0, 3), W);
  EXPECT_EQ(strip.raster.pixel(5, 1), W);
  EXPECT_EQ(strip.raster.pixel(5, 5), G);
  EXPECT_EQ(strip.raster.pixel(5, 0), K);
}

TEST(DeviceContextTest, PixelsStretchesMappingModeAndDeviceCaps) {
  Canvas c(6, 4);
  EXPECT_EQ(c.dc.SetPixel(1, 1, clRed), clRed);
  EXPECT_EQ(c.dc.GetPixel(1, 1), clRed);
  EXPECT_EQ(c.dc.SetPixel(-1, 1, clRed), CLR_INVALID);
  EXPECT_EQ(c.dc.GetPixel(6, 0), CLR_INVALID);
  EXPECT_EQ(c.dc.SetPixel(2, 2, clBtnFace), TColor(0xC0C0C0));

  Raster src(2, 1);
  src.setPixel(0, 0, R);
  src.setPixel(1, 0, K);
  Canvas s(6, 1);
  s.dc.SetWindowOrgEx(-1, 0, nullptr);
  EXPECT_TRUE(s.dc.StretchBlt(0, 0, 4, 1, src, 0, 0, 2, 1));
  EXPECT_FALSE(s.dc.StretchBlt(0, 0, 0, 1, src, 0, 0, 2, 1));
  EXPECT_EQ(s.pic(), ".rr##.\n");

  // 0.1 mm per unit at 254 pixels per inch is one pixel; y grows upward.
  Raster metric(4, 4, W);
  RasterDC m(metric, 254);
  EXPECT_EQ(m.SetMapMode(MM_LOMETRIC), MM_TEXT);
  EXPECT_EQ(m.SetMapMode(99), 0);
  m.FillRect({1, -1, 3, -3}, GetStockObject(BLACK_BRUSH));
  EXPECT_EQ(picture(metric, kLegend), rows({"....", ".##.", ".##.", "...."}));

  Raster screen(96, 48);
  RasterDC d(screen);
  EXPECT_EQ(d.GetDeviceCaps(HORZRES), 96);
  EXPECT_EQ(d.GetDeviceCaps(VERTRES), 48);
  EXPECT_EQ(d.GetDeviceCaps(HORZSIZE), 25); // 25.4 mm
  EXPECT_EQ(d.GetDeviceCaps(VERTSIZE), 13); // 12.7 mm
  EXPECT_EQ(d.GetDeviceCaps(LOGPIXELSX), 96);
  EXPECT_EQ(d.GetDeviceCaps(LOGPIXELSY), 96);
  EXPECT_EQ(d.GetDeviceCaps(TECHNOLOGY), DT_RASDISPLAY);
}

TEST(DeviceContextTest, ObjectsAndHandles) {
  Canvas c(3, 1);
  const HPEN red = CreatePen(PS_SOLID, 1, clRed);
  EXPECT_EQ(GetObjectType(red), OBJ_PEN);
  EXPECT_EQ(c.dc.SelectObject(red), GetStockObject(BLACK_PEN));
  EXPECT_EQ(c.dc.GetCurrentObject(OBJ_PEN), red);
  EXPECT_TRUE(DeleteObject(red)); // deleting a selected pen leaves the context drawing with it
  EXPECT_FALSE(DeleteObject(red));
  EXPECT_EQ(GetObjectType(red), 0);
  EXPECT_EQ(c.dc.SelectObject(red), 0u); // a dead handle changes nothing
  c.dc.MoveToEx(0, 0, nullptr);
  c.dc.LineTo(3, 0);
  EXPECT_EQ(c.pic(), "rrr\n");
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH))); // stock objects stay
  EXPECT_EQ(GetObjectType(GetStockObject(WHITE_BRUSH)), OBJ_BRUSH);
  EXPECT_EQ(GetStockObject(99), 0u);
  EXPECT_EQ(CreatePen(42, 1, 0), 0u);

  LOGFONTA lf;
  setFaceName(lf, std::string(40, 'x')); // longer than the record: cut, terminated
  EXPECT_EQ(faceName(lf), std::string(31, 'x'));
  setFaceName(lf, std::string(30, 'a') + "\xC3\xA4"); // never split a character
  EXPECT_EQ(faceName(lf).size(), 30u);

  // The handle-taking forms reach the context behind the handle, and fail for others.
  const HDC dc = c.dc.Handle();
  EXPECT_EQ(DeviceContext::fromHandle(dc), &c.dc);
  EXPECT_TRUE(MoveToEx(dc, 0, 0, nullptr));
  EXPECT_EQ(SetTextAlign(dc, TA_RIGHT), 0u);
  EXPECT_EQ(GetTextAlign(dc), TA_RIGHT);
  EXPECT_FALSE(LineTo(0xFFFFFFF0, 1, 1));
  EXPECT_EQ(GetDeviceCaps(0xFFFFFFF0, HORZRES), 0);
  HDC gone;
  {
    Raster r(1, 1);
    RasterDC temp(r);
    gone = temp.Handle();
  }
  EXPECT_EQ(DeviceContext::fromHandle(gone), nullptr);
  EXPECT_FALSE(Rectangle(gone, 0, 0, 1, 1));
}

TEST(DeviceContextTest, FarCoordinatesNeverHang) {
  Canvas c(20, 20);
  const auto start = std::chrono::steady_clock::now();
  const int big = 1 << 30;
  c.dc.SetWindowOrgEx(INT_MIN, INT_MIN, nullptr); // with the origin the device values pass 2^31
  c.dc.MoveToEx(INT_MAX, INT_MAX, nullptr);
  c.dc.LineTo(-big, big);
  c.dc.SetWindowOrgEx(0, 0, nullptr);
  c.dc.MoveToEx(-big, -big, nullptr);
  c.dc.LineTo(big, big);
  c.dc.SelectObject(GetStockObject(GRAY_BRUSH));
  c.dc.Ellipse(-big, -big, big, big);
  c.dc.Rectangle(-big, -big, big, big);
  const HPEN wide = CreatePen(PS_DASH, 5, clRed);
  c.dc.SelectObject(wide);
  c.dc.MoveToEx(-big, 3, nullptr);
  c.dc.LineTo(big, 3);
  c.dc.SelectObject(GetStockObject(BLACK_PEN));
  DeleteObject(wide);
  c.dc.TextOut(INT_MIN, INT_MAX, "far away");
  TRect r{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  c.dc.DrawText("far away", &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  c.dc.StretchBlt(-big, -big, INT_MAX, INT_MAX, c.raster, 0, 0, 20, 20);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
  EXPECT_EQ(c.raster.pixel(10, 10), G); // inside the far rectangle: its brush
}

TEST(DeviceContextTest, RecorderLogsTheCallsAndDrawsThrough) {
  Canvas c(6, 4);
  RecordingDC rec(c.dc);
  const HPEN pen = CreatePen(PS_DASH, 2, clRed);
  rec.SelectObject(pen);
  rec.MoveToEx(0, 1, nullptr);
  rec.LineTo(5, 1);
  rec.SetTextAlign(TA_RIGHT | TA_TOP);
  const HFONT font = boxFont(12, 900);
  rec.SelectObject(font);
  rec.TextOut(3, 3, "ab\"c");
  const HRGN region = CreateRectRgn(1, 2, 3, 4);
  rec.SelectClipRgn(region);
  rec.SelectClipRgn(0);
  rec.Ellipse(0, 0, 4, 4);
  EXPECT_EQ(rec.log(), (std::vector<std::string>{"SelectObject(pen:dash,2,$000000FF)", "MoveToEx(0,1)",
                                                 "LineTo(5,1)", "SetTextAlign(2)",
                                                 "SelectObject(font:\"Korvalis Box\",12,esc 900,weight 400)",
                                                 "TextOut(3,3,\"ab\\\"c\")", "SelectClipRgn(region:1,2,3,4)",
                                                 "SelectClipRgn(none)", "Ellipse(0,0,4,4)"}));
  EXPECT_EQ(rec.calls("SelectClipRgn").size(), 2u);
  EXPECT_EQ(c.raster.pixel(2, 1), R); // drawn through
  TSize size;
  EXPECT_TRUE(rec.GetTextExtentPoint("abc", &size));
  EXPECT_EQ(size, (TSize{18, 12}));
  EXPECT_EQ(rec.log().size(), 9u); // queries are not logged
  c.dc.SelectObject(GetStockObject(BLACK_PEN));
  c.dc.SelectObject(GetStockObject(SYSTEM_FONT));
  DeleteObject(pen);
  DeleteObject(font);
  DeleteObject(region);

  RecordingDC alone(DeviceCaps{DT_RASPRINTER, 100, 200, 300, 300});
  alone.Rectangle(1, 2, 3, 4);
  EXPECT_EQ(alone.GetDeviceCaps(LOGPIXELSY), 300);
  EXPECT_EQ(alone.raster(), nullptr);
  EXPECT_EQ(alone.log(), std::vector<std::string>{"Rectangle(1,2,3,4)"});
}
