#include "Platform/Graphics/Raster.h"

#include "PixelPicture.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

using namespace kv::platform;
using kvtest::picture;
using kvtest::rows;

namespace {
constexpr TColor32 W = 0xFFFFFFFF, K = 0xFF000000, R = 0xFFFF0000, B = 0xFF0000FF;
const std::map<TColor32, char> kLegend = {{0, '.'}, {W, '.'}, {K, '#'}, {R, 'r'}, {B, 'b'}};

template <class F> double seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
} // namespace

TEST(RasterTest, RectanglesExcludeTheirRightAndBottomEdgesAndClip) {
  struct Case {
    IRect rect;
    std::vector<std::string> expected;
  };
  const std::int64_t far = std::int64_t(1) << 40;
  const Case cases[] = {
      {{1, 1, 4, 3}, {"......", ".###..", ".###..", "......", "......"}},
      {{4, 3, 1, 1}, {"......", "......", "......", "......", "......"}}, // inverted: nothing
      {{2, 2, 2, 5}, {"......", "......", "......", "......", "......"}}, // empty
      {{-far, -far, far, 2}, {"######", "######", "......", "......", "......"}},
      {{-3, 4, 2, 99}, {"......", "......", "......", "......", "##...."}},
  };
  for (const Case& c : cases) {
    Raster r(6, 5, W);
    r.fillRect(c.rect, K);
    EXPECT_EQ(picture(r, kLegend), rows(c.expected)) << c.rect.left << "," << c.rect.top;
  }
  Raster r(6, 5, W);
  const IRect clip{2, 0, 4, 5};
  r.fillRect({0, 1, 6, 3}, K, &clip);
  EXPECT_EQ(picture(r, kLegend), rows({"......", "..##..", "..##..", "......", "......"}));
}

TEST(RasterTest, BlendingRoundsEveryChannelToNearest) {
  struct Case {
    TColor32 dst, src, expected;
  };
  const Case cases[] = {
      // a = $20 over white: red and green 255 * 223 / 255 = 223, blue stays 255.
      {0xFFFFFFFF, 0x200000FF, 0xFFDFDFFF},
      // a = $80 red over blue: red 255 * 128 / 255 = 128, blue 255 * 127 / 255 = 127.
      {0xFF0000FF, 0x80FF0000, 0xFF80007F},
      {0xFF123456, 0x00FFFFFF, 0xFF123456}, // alpha 0 changes nothing
      {0xFF123456, 0xFFABCDEF, 0xFFABCDEF}, // alpha 255 replaces
      {0x00000000, 0x80FF0000, 0x80FF0000}, // over transparent: the source
      // Translucent over translucent: alpha .502 + .502 * .498 = .752 -> 192; red .502 / .752 -> 170;
      // blue .502 * .498 / .752 -> 85.
      {0x800000FF, 0x80FF0000, 0xC0AA0055},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(blendOver(c.dst, c.src), c.expected) << std::hex << c.dst << " " << c.src;
    Raster r(2, 1, c.dst);
    r.blendRect({0, 0, 1, 1}, c.src);
    EXPECT_EQ(r.pixel(0, 0), c.expected);
    EXPECT_EQ(r.pixel(1, 0), c.dst);
  }
}

TEST(RasterTest, FramesAndRuns) {
  Raster r(6, 5, W);
  r.frameRect({1, 1, 5, 4}, K);
  EXPECT_EQ(picture(r, kLegend), rows({"......", ".####.", ".#..#.", ".####.", "......"}));
  Raster thin(4, 3, W);
  thin.frameRect({1, 0, 2, 3}, K); // one pixel wide: one column
  EXPECT_EQ(picture(thin, kLegend), rows({".#..", ".#..", ".#.."}));
  Raster runs(5, 3, W);
  runs.hLine(3, 1, 0, K); // inclusive, either order
  runs.vLine(4, 2, -7, R);
  EXPECT_EQ(picture(runs, kLegend), rows({".###r", "....r", "....r"}));
}

TEST(RasterTest, LinesStepAlongTheLongerAxisAndLeaveOutTheEndPixel) {
  struct Case {
    std::int64_t x1, y1, x2, y2;
    bool end;
    std::vector<std::string> expected;
  };
  // (0,0)-(4,2): offsets round(i * 2 / 4) with halves away from the start: 0, 1, 1, 2.
  const Case cases[] = {
      {0, 0, 4, 2, false, {"#.....", ".##...", "...#..", "......"}},
      {0, 0, 4, 2, true, {"#.....", ".##...", "...##.", "......"}},
      {4, 2, 0, 0, false, {".#....", "..##..", "....#.", "......"}},
      {2, 0, 2, 3, false, {"..#...", "..#...", "..#...", "......"}},
      {2, 0, 2, 3, true, {"..#...", "..#...", "..#...", "..#..."}},
      {1, 1, 1, 1, false, {"......", "......", "......", "......"}},
      {1, 1, 1, 1, true, {"......", ".#....", "......", "......"}},
      {5, 3, 0, 3, false, {"......", "......", "......", ".#####"}},
  };
  for (const Case& c : cases) {
    Raster r(6, 4, W);
    r.line(c.x1, c.y1, c.x2, c.y2, K, c.end);
    EXPECT_EQ(picture(r, kLegend), rows(c.expected)) << c.x1 << "," << c.y1 << "-" << c.x2 << "," << c.y2;
  }
}

TEST(RasterTest, LinesWithFarEndPointsFinishAtOnce) {
  const std::int64_t big = std::int64_t(1) << 30;
  Raster r(10, 10, W);
  const double took = seconds([&] {
    r.line(-big, -big, big, big, K, true);
    r.lineAA(-big, big, big, -big, R, true);
    r.line(std::numeric_limits<int>::min(), 5, std::numeric_limits<int>::max(), 5, B, false);
    r.lineF(-1e30f, 7, 1e30f, 7, B, true);
    r.lineF(std::nanf(""), 0, 5, 5, K, true);
    r.lineF(0, 0, INFINITY, 3, K, true);
    r.line(big, big, big + 5, big + 9, K, true); // entirely outside
  });
  EXPECT_LT(took, 0.5);
  for (int i = 0; i < 10; ++i) {
    if (i != 0 && i != 5 && i != 7) {
      EXPECT_EQ(r.pixel(i, i), K) << i;
    }
    EXPECT_EQ(r.pixel(i, 5), B) << i;
    EXPECT_EQ(r.pixel(i, 7), B) << i;
  }
  // The anti-aliased diagonal from (-2^30, 2^30) to (2^30, -2^30) runs through (x, -x): of the
  // raster it touches (0, 0) only, drawn after the first diagonal.
  EXPECT_EQ(r.pixel(0, 0), R);
}

TEST(RasterTest, AntiAliasedLinesSplitEachStepByDistance) {
  // (0,0)-(4,1) in black over white: step i lies i/4 below row 0, coverage 255 - 64i' of row 0
  // (64 = round(255/4), 128, 191), blended: 255 - coverage.
  const std::vector<std::vector<unsigned>> expected = {{0x00, 0x40, 0x80, 0xBF, 0xFF},
                                                       {0xFF, 0xBF, 0x7F, 0x40, 0xFF}};
  auto check = [&](const Raster& r, const char* what) {
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 5; ++x) {
        const unsigned g = expected[std::size_t(y)][std::size_t(x)];
        EXPECT_EQ(r.pixel(x, y), argb(255, g, g, g)) << what << " at " << x << "," << y;
      }
  };
  Raster a(5, 2, W);
  a.lineAA(0, 0, 4, 1, K, false);
  check(a, "LineAS");
  Raster f(5, 2, W);
  f.lineF(0.0, 0.0, 4.0, 1.0, K, false);
  check(f, "LineFS");
  // Axis-parallel anti-aliased lines are plain lines.
  Raster h(5, 2, W);
  h.lineAA(0, 1, 4, 1, K, true);
  EXPECT_EQ(picture(h, kLegend), rows({".....", "#####"}));
  // Half-pixel ends round to even: 0.5 -> 0 and 3.5 -> 4; the line at y 0.5 halves every step.
  Raster half(5, 2, W);
  half.lineF(0.5, 0.5, 3.5, 0.5, K, false);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(half.pixel(x, 0), 0xFF808080u) << x;
    EXPECT_EQ(half.pixel(x, 1), 0xFF7F7F7Fu) << x;
  }
  EXPECT_EQ(half.pixel(4, 0), W);
}

TEST(RasterTest, CopiesAndStretchesClipOnBothSides) {
  Raster src(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      src.setPixel(x, y, argb(255, x, y, 7));
  Raster dst(4, 3, W);
  dst.copyFrom(src, src.bounds(), -1, 1);
  EXPECT_EQ(dst.pixel(0, 1), argb(255, 1, 0, 7));
  EXPECT_EQ(dst.pixel(1, 1), argb(255, 2, 0, 7));
  EXPECT_EQ(dst.pixel(0, 2), argb(255, 1, 1, 7));
  EXPECT_EQ(dst.pixel(1, 2), argb(255, 2, 1, 7));
  EXPECT_EQ(dst.pixel(2, 1), W);
  EXPECT_EQ(dst.pixel(0, 0), W);

  // Stretch: destination pixel i of n takes source floor((2i + 1) m / 2n).
  Raster two(2, 1);
  two.setPixel(0, 0, R);
  two.setPixel(1, 0, B);
  Raster wide(4, 1, W);
  wide.stretchFrom(two, two.bounds(), {0, 0, 4, 1});
  EXPECT_EQ(picture(wide, kLegend), "rrbb\n");
  Raster four(4, 1);
  for (int x = 0; x < 4; ++x)
    four.setPixel(x, 0, x % 2 ? B : R);
  four.setPixel(3, 0, K);
  Raster narrow(2, 1, W);
  narrow.stretchFrom(four, four.bounds(), {0, 0, 2, 1}); // takes source pixels 1 and 3
  EXPECT_EQ(picture(narrow, kLegend), "b#\n");
}

TEST(RasterTest, PngFilesCarryTheExactPixels) {
  if (!kvtest::haveTool("python3")) GTEST_SKIP() << "python3 missing";
  kvtest::TempDir dir;
  Raster r(3, 2, 0x80102030);
  r.setPixel(2, 1, 0xFFFF0000);
  const auto file = dir / "pixels.png";
  ASSERT_TRUE(writePng(r, file.string()));
  // Python's zlib reads the image data independently of our writer.
  const std::string script = R"(
import sys, struct, zlib
d = open(sys.argv[1], 'rb').read()
assert d[:8] == b'\x89PNG\r\n\x1a\n'
pos, idat, ihdr = 8, b'', None
while pos < len(d):
    n, t = struct.unpack('>I4s', d[pos:pos+8]); body = d[pos+8:pos+8+n]
    assert struct.unpack('>I', d[pos+8+n:pos+12+n])[0] == zlib.crc32(t + body)
    if t == b'IHDR': ihdr = struct.unpack('>IIBBBBB', body)
    if t == b'IDAT': idat += body
    pos += 12 + n
raw = zlib.decompress(idat)
w, h = ihdr[0], ihdr[1]
print(w, h, ihdr[2], ihdr[3])
for y in range(h):
    row = raw[y*(4*w+1):(y+1)*(4*w+1)]
    print(row[0], ' '.join('%02x%02x%02x%02x' % tuple(row[1+4*x:5+4*x]) for x in range(w)))
)";
  kvtest::writeFile(dir / "check.py", script);
  const auto res =
      kvtest::run(kvtest::systemPython() + " " + (dir / "check.py").string() + " " + file.string());
  ASSERT_EQ(res.exitCode, 0) << res.err;
  EXPECT_EQ(res.out, "3 2 8 6\n0 10203080 10203080 10203080\n0 10203080 10203080 ff0000ff\n");
}
