#include "Platform/Graphics/Fonts.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kv::platform;

namespace {
LOGFONTA font(const std::string& face, int height, int weight = 400) {
  LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  setFaceName(lf, face);
  return lf;
}
} // namespace

TEST(FontsTest, Utf8DecodingReplacesBrokenBytes) {
  struct Case {
    std::string text;
    std::u32string expected;
  };
  const Case cases[] = {
      {"Ab", U"Ab"},
      {"\xC3\xA4\xE2\x82\xAC", U"\u00E4\u20AC"},
      {"\xF0\x9F\x98\x80", U"\U0001F600"},
      {"a\xFF"
       "b",
       U"a\uFFFD"
       "b"},
      {"\xC3", U"\uFFFD"},                     // cut short
      {"\xC0\x80", U"\uFFFD\uFFFD"},           // overlong
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"}, // surrogate
  };
  for (const Case& c : cases)
    EXPECT_EQ(decodeUtf8(c.text), c.expected) << c.text;
}

TEST(FontsTest, TheBoxFaceHasFixedCells) {
  struct Case {
    int height, cell, ascent, advance;
  };
  const Case cases[] = {{-8, 8, 6, 4}, {8, 8, 6, 4}, {0, 12, 9, 6}, {-13, 13, 10, 6}, {1, 1, 1, 1}};
  for (const Case& c : cases) {
    const auto f = ResolvedFont::resolve(font("korvalis box", c.height)); // names compare without case
    ASSERT_TRUE(f->isBox());
    EXPECT_EQ(f->metrics().height, c.cell) << c.height;
    EXPECT_EQ(f->metrics().ascent, c.ascent) << c.height;
    EXPECT_EQ(f->textWidth("abc"), 3 * c.advance) << c.height;
  }
  const CoverageMask m = ResolvedFont::resolve(font(kBoxFaceName, -4))->render("a b");
  ASSERT_EQ(m.width, 6);
  ASSERT_EQ(m.height, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(m.at(x, y), x == 0 || x == 4 ? 255 : 0) << x << "," << y;
}

TEST(FontsTest, FaceNamesResolveToInstalledFacesWithDejaVuAsFallback) {
  for (const char* name : {"Ms Sans Serife", "Arial", "No Such Face At All", "", "DejaVu Sans"}) {
    const auto f = ResolvedFont::resolve(font(name, -11));
    EXPECT_FALSE(f->isBox()) << name;
    EXPECT_TRUE(std::filesystem::exists(f->file())) << name << ": " << f->file();
    EXPECT_GT(f->textWidth("Hello"), 10) << name;
    EXPECT_GT(f->metrics().height, 10) << name;
    EXPECT_LT(f->metrics().height, 20) << name;
  }
  const auto dejavu = ResolvedFont::resolve(font("DejaVu Sans", -11));
  EXPECT_NE(dejavu->file().find("DejaVuSans"), std::string::npos);
  const auto bold = ResolvedFont::resolve(font("DejaVu Sans", -11, 700));
  EXPECT_NE(bold->file(), dejavu->file());
  // A positive height is the cell height.
  EXPECT_EQ(ResolvedFont::resolve(font("DejaVu Sans", 20))->metrics().height, 20);
  // Absurd heights are capped instead of exhausting memory.
  EXPECT_LE(ResolvedFont::resolve(font("DejaVu Sans", -2000000000))->emPixels(), 4096);
}

TEST(FontsTest, OutlineGlyphsAreAntiAliasedCoverage) {
  const auto f = ResolvedFont::resolve(font("DejaVu Sans", -40));
  const CoverageMask m = f->render("O");
  int partial = 0, full = 0;
  for (std::uint8_t v : m.data)
    partial += v > 0 && v < 255, full += v == 255;
  EXPECT_GT(partial, 10);
  EXPECT_GT(full, 10);
  // The ink lies within the cell between the top and the baseline.
  int top = m.height, bottom = -1;
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      if (m.at(x, y)) top = std::min(top, y - m.originY), bottom = std::max(bottom, y - m.originY);
  EXPECT_GE(top, 0);
  EXPECT_LE(bottom, f->metrics().ascent);
}
