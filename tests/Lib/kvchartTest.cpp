#include "kvchart.h"

#include "../Platform/Graphics/PdfWords.h"
#include "../Platform/Graphics/PixelPicture.h"
#include "ExportTable.h"
#include "Platform/Graphics/Fonts.h"
#include "Platform/Graphics/Printer.h"
#include "Platform/Graphics/RecordingDC.h"
#include "TestSupport.h"

#include <bit>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

using namespace kvchart;
using namespace kv::platform;
using kvtest::rows;

namespace {

constexpr TColor32 W = 0xFFFFFFFF, K = 0xFF000000, R = 0xFFFF0000, G = 0xFF008000, S = 0xFFC0C0C0,
                   Y = 0xFFFFFF00, B = 0xFF0000FF, O = 0xFF123456;
const std::map<TColor32, char> kLegend = {{W, '.'}, {K, '#'}, {R, 'r'}, {G, 'G'}, {S, 's'},
                                          {Y, 'y'}, {B, 'b'}, {O, 'o'}, {0, '_'}};

std::string pic(const TBitmap32& b) { return kvtest::picture(b.raster(), kLegend); }

// One column of the bitmap from row `from` to row `to` (inclusive), top to bottom.
std::string column(const TBitmap32& b, int x, int from, int to) {
  std::string out;
  for (int y = from; y <= to; ++y) {
    auto it = kLegend.find(b.PixelS(x, y));
    out += it == kLegend.end() ? '?' : it->second;
  }
  return out;
}

std::string row(const TBitmap32& b, int y) {
  std::string out;
  for (int x = 0; x < b.Width(); ++x) {
    auto it = kLegend.find(b.PixelS(x, y));
    out += it == kLegend.end() ? '?' : it->second;
  }
  return out;
}

// A chart font of the box face: every character a solid box, cell |height| pixels high.
struct BoxFont {
  TFont font;
  explicit BoxFont(int height) {
    font.SetName(kBoxFaceName);
    font.SetHeight(height);
  }
};

// Numbers in the C locale: '.' for decimals and no thousands separator.
struct DateChartPrintC : ::testing::Test {
  kvtest::ScopedEnv lcAll{"LC_ALL", "C"};
};

} // namespace

// ---- scale and mapping ----

TEST(DateChartScale, RecalcLimitsFollowsTheScaleTypeTable) {
  struct Case {
    const char* what;
    TDCScaleType type;
    double upper, lower, target, overhang;
    double yScale, centre;
    int32_t yOffset;
  };
  // Bounds (0, 0, 400, 300), default border: plot height 280; averages 10 and 20.
  const Case cases[] = {
      {"data bounds", dcsMaxValues, 0, 0, 0, 0.1, 280.0 / 12, 15, 210},
      {"both limits", dcsBothLimits, 30, 0, 10, 0.1, 280.0 / 36, 10, -62},
      {"top limit", dcsTopLimit, 30, 0, 0, 0.1, 280.0 / 24, 20, 93},
      {"bottom limit", dcsBottomLimit, 0, 0, 0, 0.1, 280.0 / 24, 10, -23},
      {"equal limits", dcsBothLimits, 5, 5, 5, 0.1, 280.0 / 1.2, 5, 1027}, // nearest(4.4 * 233.33)
      {"overhang eating the range", dcsMaxValues, 0, 0, 0, -0.5, 1.0, 15, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TDateChart chart;
    chart.SetBounds(Rect(0, 0, 400, 300));
    chart.AddSample(45000, 10);
    chart.AddSample(45001, 20);
    chart.SetScaleType(c.type);
    chart.SetUpperLimitValue(c.upper);
    chart.SetLowerLimitValue(c.lower);
    chart.SetTargetValue(c.target);
    chart.SetScaleOverhang(c.overhang);
    chart.RecalcLimits();
    EXPECT_NEAR(chart.YScale, c.yScale, 1e-9);
    EXPECT_DOUBLE_EQ(chart.CenterYValue, c.centre);
    EXPECT_EQ(chart.YOffset, c.yOffset);
    EXPECT_DOUBLE_EQ(chart.MaxValue, 20);
    EXPECT_DOUBLE_EQ(chart.MinValue, 10);
    EXPECT_DOUBLE_EQ(chart.MinDate, 45000);
    EXPECT_DOUBLE_EQ(chart.MaxDate, 45001);
  }
}

TEST(DateChartScale, ValuesMapToRowsAndBack) {
  TDateChart chart;
  chart.SetBounds(Rect(0, 0, 400, 300));
  chart.AddSample(45000, 10);
  chart.AddSample(45001, 20);
  chart.RecalcLimits();
  const std::pair<double, int32_t> rowsOfValues[] = {{21, 0}, {20, 23}, {15, 140}, {10, 257}, {9, 280}};
  for (auto [value, y] : rowsOfValues) {
    EXPECT_EQ(chart.yPix(value), y) << value;
    EXPECT_NEAR(chart.yValueAt(999, y), value, 0.05) << value; // rows are whole pixels
  }
  // Extra stretch about the centre: 20 moves to 25, one pixel row being 1/23.33 of a unit.
  chart.SetCustYScale(2.0);
  EXPECT_EQ(chart.yPix(20), 280 - 583 + 210); // nearest(25 * 23.333) = 583
  EXPECT_EQ(chart.yPix(15), 140);

  TDateChart limits;
  limits.SetBounds(Rect(0, 0, 400, 300));
  limits.SetScaleType(dcsBothLimits);
  limits.SetUpperLimitValue(30);
  limits.SetLowerLimitValue(0);
  limits.SetTargetValue(10);
  limits.RecalcLimits();
  EXPECT_EQ(limits.yPix(30), -15); // above the plot
  EXPECT_EQ(limits.yPix(10), 140);
  EXPECT_EQ(limits.yPix(0), 218);
}

TEST(DateChartScale, DatesMapToColumnsAndBack) {
  TDateChart chart; // XStep 13, Border.Left 50, Bounds.Left 0
  chart.SetXStartValue(45000);
  struct Case {
    double custX, date;
    int32_t x;
  };
  const Case cases[] = {
      {1, 45000, 50},   {1, 45003, 89},   {1, 44999, 37},
      {2, 45003, 128},  {1, 45000.5, 56}, // 56.5: halves go to the even neighbour
      {1, 45001.5, 70},                   // 69.5
  };
  for (const Case& c : cases) {
    chart.SetCustXScale(c.custX);
    EXPECT_EQ(chart.xPix(c.date), c.x) << c.date << " x" << c.custX;
    EXPECT_NEAR(chart.xValueAt(c.x, -1), c.date, 0.6 / 13) << c.date;
  }
  chart.SetBounds(Rect(100, 0, 400, 300));
  chart.SetCustXScale(1);
  EXPECT_EQ(chart.xPix(45003), 189);

  // Divisions that fail give the documented fallbacks instead of an exception.
  chart.SetXStep(0);
  EXPECT_DOUBLE_EQ(chart.xValueAt(60, 0), kFirstJanuary1900);
  chart.SetXStep(13);
  chart.SetCustXScale(0);
  EXPECT_DOUBLE_EQ(chart.xValueAt(60, 0), kFirstJanuary1900);

  TDateChart fresh; // YScale 1.0 before any RecalcLimits
  fresh.SetBounds(Rect(0, 0, 400, 300));
  EXPECT_DOUBLE_EQ(fresh.yValueAt(0, 80), 200);
  fresh.SetCustYScale(0);
  EXPECT_DOUBLE_EQ(fresh.yValueAt(0, 80), 0.0);
}

TEST(DateChartScale, ChartWithoutSamplesKeepsTheStartingBoundsAndFarValuesSaturate) {
  TDateChart chart;
  chart.SetBounds(Rect(0, 0, 400, 300));
  chart.RecalcLimits();
  EXPECT_DOUBLE_EQ(chart.MaxValue, -2147483647.0);
  EXPECT_DOUBLE_EQ(chart.MinValue, 2147483647.0);
  EXPECT_DOUBLE_EQ(chart.MaxDate, 2.0);      // 1 January 1900
  EXPECT_DOUBLE_EQ(chart.MinDate, 401769.0); // 1 January 3000
  EXPECT_EQ(chart.xPix(1e300), INT32_MAX);
  EXPECT_EQ(chart.xPix(-1e300), INT32_MIN);
  EXPECT_EQ(chart.xPix(std::nan("")), 0);

  chart.SetScaleType(static_cast<TDCScaleType>(7)); // no such type: the scale stays
  chart.YScale = 5;
  chart.YOffset = 9;
  chart.RecalcLimits();
  EXPECT_DOUBLE_EQ(chart.YScale, 5);
  EXPECT_EQ(chart.YOffset, 9);
}

// ---- data ----

TEST(DateChartData, SamplesMergeByExactDateAndBoundsUseAverages) {
  TDateChart chart;
  chart.AddSample(45000, 4);
  chart.AddSample(45000, 6);
  chart.AddSample(45000.25, 1); // another time of day: another sample
  chart.AddSample(-1, 45000, 7);
  chart.AddSample(1, 45000, 7); // no graph 1: ignored
  TChartGraph* g = chart.Graph(0);
  ASSERT_EQ(g->Count(), 2);
  const TChartSample* s = g->Sample(0);
  EXPECT_EQ(s->ValueCount, 2);
  EXPECT_DOUBLE_EQ(s->Min, 4);
  EXPECT_DOUBLE_EQ(s->Max, 6);
  EXPECT_DOUBLE_EQ(s->Average, 5);
  // Samples added through the chart are not folded into the graph until RecalcLimits.
  EXPECT_DOUBLE_EQ(g->MaxValue, -2147483647.0);

  EXPECT_EQ(chart.AddGraph("second"), 1);
  chart.AddSample(1, 45002, 0);
  chart.AddSample(1, 45002, 100);
  chart.RecalcLimits();
  EXPECT_DOUBLE_EQ(chart.Graph(1)->MaxValue, 50);
  EXPECT_DOUBLE_EQ(chart.Graph(1)->MinValue, 50);
  EXPECT_DOUBLE_EQ(chart.MaxValue, 50);
  EXPECT_DOUBLE_EQ(chart.MinValue, 1);
  EXPECT_DOUBLE_EQ(chart.MaxDate, 45002);
  EXPECT_EQ(chart.Graph(1)->Title, "second");

  TChartGraph own;
  own.AddSample(new TChartSample(45010, 3)); // folded at once
  EXPECT_DOUBLE_EQ(own.MaxValue, 3);
  EXPECT_DOUBLE_EQ(own.MinDate, 45010);
  EXPECT_EQ(own.FindSample(45010), own.Sample(0));
  EXPECT_EQ(own.FindSample(45010.5), nullptr);
}

TEST(DateChartData, SampleValuesOutsideTheArrayAreHarmless) {
  TChartSample s(45000, 3);
  s.AddValue(9);
  EXPECT_DOUBLE_EQ(s.GetValues(1), 9);
  EXPECT_DOUBLE_EQ(s.GetValues(2), 0.0);
  EXPECT_DOUBLE_EQ(s.GetValues(-1), 0.0);
  s.Values[0] = 1; // changed behind the statistics' back
  s.SetValues(5, 100);
  EXPECT_EQ(s.ValueCount, 2);
  EXPECT_DOUBLE_EQ(s.Average, 5); // recomputed although nothing was stored
  s.SetValues(1, 3);
  EXPECT_DOUBLE_EQ(s.Max, 3);
  EXPECT_DOUBLE_EQ(s.Min, 1);
}

TEST(DateChartData, ClearKeepsPensFontAndPropertiesAndLeavesOneGraph) {
  TDateChart chart;
  BoxFont box(-9);
  chart.SetFont(&box.font);
  TChartLine* axis = chart.AxisPen;
  chart.SetXStep(7);
  chart.SetTitle("t");
  chart.AddGraph("x");
  chart.AddSample(1, 45000, 2);
  chart.RecalcLimits();
  chart.Clear();
  EXPECT_EQ(chart.Graphs->Count(), 1);
  EXPECT_EQ(chart.Graph(0)->Count(), 0);
  EXPECT_EQ(chart.Graph(0)->Title, "");
  EXPECT_EQ(chart.AxisPen, axis);
  EXPECT_EQ(chart.Font, &box.font);
  EXPECT_DOUBLE_EQ(chart.XStep, 7);
  EXPECT_EQ(chart.Title, "t");
  EXPECT_DOUBLE_EQ(chart.MaxValue, -2147483647.0);
  EXPECT_DOUBLE_EQ(chart.MinDate, kFirstJanuary3000);
}

TEST(DateChartData, DefaultsOfANewChart) {
  TDateChart chart;
  EXPECT_EQ(chart.Font->Name(), "Ms Sans Serife");
  EXPECT_EQ(chart.Font->Size(), 8);
  EXPECT_EQ(chart.GridPen->Color, 0x00C0C0C0);
  EXPECT_EQ(chart.GridPen->Color32, 0xFFC0C0C0u);
  EXPECT_EQ(chart.LimitPen->Color32, 0xFFFF0000u);
  EXPECT_EQ(chart.TargetPen->Color32, 0xFF008000u);
  EXPECT_EQ(chart.AxisPen->Color32, 0xFF000000u);
  EXPECT_EQ(chart.Border, Rect(50, 0, 0, 20));
  EXPECT_TRUE(chart.Limits.Contains(clUpper) && chart.Limits.Contains(clLower));
  EXPECT_EQ(chart.CurrentMarkColor, 0x200000FFu);
  EXPECT_EQ(chart.Graphs->Count(), 1);
}

// ---- lines and pens ----

TEST(ChartLine, PenIsMadeOnceAndDroppedWhenColourOrWidthChange) {
  const std::size_t before = liveGdiObjects();
  {
    TChartLine line;
    EXPECT_EQ(line.Pen, 0u);
    const HPEN pen = line.GetPen();
    EXPECT_EQ(line.GetPen(), pen);
    EXPECT_EQ(liveGdiObjects(), before + 1);
    ASSERT_TRUE(penOf(pen));
    EXPECT_EQ(penOf(pen)->lopnColor, 0);

    line.SetColor(0x00112233);
    EXPECT_EQ(line.Color32, 0xFF332211u);
    EXPECT_EQ(line.Pen, 0u);
    EXPECT_FALSE(line.PenHeld);
    EXPECT_EQ(liveGdiObjects(), before);

    line.SetColor32(0x80AABBCC); // alpha dropped
    EXPECT_EQ(line.Color, 0x00CCBBAA);
    line.SetWidth(3);
    const HPEN wide = line.GetPen();
    EXPECT_EQ(penOf(wide)->lopnWidth.X, 3);
    EXPECT_EQ(penOf(wide)->lopnColor, 0x00CCBBAA);
    line.SetStyle(lsSolid); // the pen stays
    EXPECT_EQ(line.Pen, wide);

    const HPEN adopted = CreatePen(PS_DOT, 1, clRed);
    line.SetPen(adopted); // the held pen goes, the adopted one is the line's now
    EXPECT_FALSE(penOf(wide));
    EXPECT_EQ(line.GetPen(), adopted);
    line.SetWidth(1);
    EXPECT_FALSE(penOf(adopted));
    line.GetPen();
  }
  EXPECT_EQ(liveGdiObjects(), before);
}

TEST(ChartLine, ReplacedPensStayTheCallersAndSharedOnesAreFreedOnce) {
  TChartLine* previous = nullptr;
  {
    TDateChart chart;
    previous = chart.AxisPen;
    chart.SetAxisPen(new TChartLine);
    auto* shared = new TChartLine;
    // The lines the setters replace are ours from now on.
    std::unique_ptr<TChartLine> grid(chart.GridPen), limit(chart.LimitPen);
    chart.SetGridPen(shared);
    chart.SetLimitPen(shared);
    chart.SetTargetPen(nullptr); // ignored
    EXPECT_NE(chart.TargetPen, nullptr);
    chart.SetFont(nullptr);
    EXPECT_NE(chart.Font, nullptr);
  }
  previous->SetColor(clRed); // still alive and ours
  delete previous;
}

// ---- painting ----

namespace {

// A 26 x 20 plot without a border, scaled 0 to 10 (target 5, not painted), a day every 10
// pixels from day 100, the first graph in blue.
void setUpDayPlot(TDateChart& chart, BoxFont& box) {
  chart.SetFont(&box.font);
  chart.SetBounds(Rect(0, 0, 26, 20));
  chart.SetBorder(Rect(0, 0, 0, 0));
  chart.SetScaleType(dcsBothLimits);
  chart.SetUpperLimitValue(10);
  chart.SetLowerLimitValue(0);
  chart.SetTargetValue(5);
  chart.SetPaintTarget(false);
  chart.SetXStep(10);
  chart.SetXStartValue(100);
  chart.Graph(0)->GraphPen->SetColor(clBlue);
}

} // namespace

TEST(DateChartPaint, ChartWithoutSamplesDrawsBackgroundsAxesAndLinesOnly) {
  TDateChart chart;
  BoxFont box(-8);
  chart.SetFont(&box.font);
  chart.SetBounds(Rect(0, 0, 20, 12));
  chart.SetBorder(Rect(4, 0, 0, 3)); // plot (4, 0, 20, 9)
  chart.SetGraphBGColor(0x0000FFFF);
  chart.SetScaleType(dcsBothLimits);
  chart.SetUpperLimitValue(8);
  chart.SetLowerLimitValue(3);
  chart.SetTargetValue(5);
  chart.SetXStartValue(45000); // the band over CurrentX 0 lies far to the left
  chart.SetDrawTitle(false);
  chart.RecalcLimits(); // range 6, YScale 1.5, YOffset 3: rows 0, 8 and 4
  TBitmap32 b(22, 13);
  b.Clear(O);
  chart.Paint(&b);
  EXPECT_EQ(pic(b), rows({"....rrrrrrrrrrrrrrrroo", "....#yyyyyyyyyyyyyyyoo", "....#yyyyyyyyyyyyyyyoo",
                          "....#yyyyyyyyyyyyyyyoo", "....GGGGGGGGGGGGGGGGoo", "....#yyyyyyyyyyyyyyyoo",
                          "....#yyyyyyyyyyyyyyyoo", "....#yyyyyyyyyyyyyyyoo", "....rrrrrrrrrrrrrrrroo",
                          "....################oo", "....................oo", "....................oo",
                          "oooooooooooooooooooooo"}));
  EXPECT_EQ(b.Font.Name, kBoxFaceName); // the bitmap keeps the chart font
}

TEST(DateChartPaint, AverageLinesAndPointsAreDrawnInTheGraphColour) {
  TDateChart chart;
  BoxFont box(-8);
  setUpDayPlot(chart, box);
  chart.SetGraphBGColor(0x0000FFFF);
  chart.SetPaintPoints(true);
  chart.AddSample(101, 5);
  chart.AddSample(102, 5);
  chart.RecalcLimits(); // YScale 20/12, YOffset -2: rows 1 (10), 18 (0), 10 (5); days at x 10 and 20
  TBitmap32 b(26, 20);
  chart.Paint(&b);
  const std::string plain = "#yyyyyyyyyyyyyyyyyyyyyyyyy", limit(26, 'r');
  const std::string squares = "#yyyyyyybbbbyyyyyybbbbyyyy", centre = "#yyyyyyybbbbbbbbbbbbbbyyyy";
  EXPECT_EQ(pic(b), rows({plain,  limit,   plain, plain, plain, plain, plain, plain, squares, squares,
                          centre, squares, plain, plain, plain, plain, plain, plain, limit,   plain}));
}

TEST(DateChartPaint, MinimumMaximumBarsIncludingTheLastSample) {
  TDateChart chart;
  BoxFont box(-8);
  setUpDayPlot(chart, box);
  chart.SetPaintAverage(false);
  chart.AddSample(101, 8);
  chart.AddSample(101, 2); // max row 5, min row 15
  chart.AddSample(102, 6);
  chart.AddSample(102, 4); // max row 8, min row 11
  chart.RecalcLimits();
  TBitmap32 b(26, 20);
  chart.Paint(&b);
  // Rows 5..14 the bar (it ends before the minimum row), row 15 the start of the minimum line.
  EXPECT_EQ(column(b, 10, 4, 16), ".bbbbbbbbbbb.");
  EXPECT_EQ(column(b, 20, 7, 12), ".bbb.."); // the last sample's bar, rows 8..10
}

TEST(DateChartPaint, MarginFillsRemoveWhatLiesOutsideThePlot) {
  TDateChart chart;
  BoxFont box(-8);
  chart.SetFont(&box.font);
  chart.SetBounds(Rect(0, 0, 40, 20));
  chart.SetBorder(Rect(10, 2, 3, 4)); // plot (10, 2, 37, 16)
  chart.SetXStep(10);
  chart.SetXStartValue(100);
  chart.SetPaintPoints(true);
  chart.SetDrawXDescription(false);
  chart.Graph(0)->GraphPen->SetColor(clBlue);
  chart.AddSample(98, 1); // left of the plot: no line, points wiped by the margin
  chart.AddSample(99, 5);
  chart.AddSample(105, 3); // right of the plot
  chart.RecalcLimits();
  TBitmap32 b(40, 20);
  chart.Paint(&b);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool margin = x < 10 || x > 37 || y < 2 || y > 16;
      const bool labelArea = x < 10; // value labels are drawn left of the axis afterwards
      if (margin && !labelArea) {
        EXPECT_EQ(b.PixelS(x, y), W) << x << "," << y;
      }
    }
  }
  // The line from day 99 to day 105 crosses the plot.
  bool blue = false;
  for (int x = 11; x < 37; ++x)
    for (int y = 2; y < 16; ++y)
      blue |= (b.PixelS(x, y) & 0xFF) > 0x80 && (b.PixelS(x, y) >> 16 & 0xFF) < 0x80;
  EXPECT_TRUE(blue);
}

// What lies above the plot goes with the top margin: a limit line there without samples (no
// labels, so the first fills are the only ones), and with samples the part of a value label above
// the plot, cut by the fills after the labels. By hand: Bounds (0, 0, 60, 40) and Border
// (20, 12, 4, 10) give the plot (20, 12, 56, 30), 18 high; limits 10 and 0 about the target 0 give
// the range 12, YScale 1.5, YOffset -9 and the row of v 21 - nearest(1.5 v): 10 at row 6, above
// the plot; 16/3 (the largest value when the upper limit is not shown) at row 13.
TEST(DateChartPaint, TopMarginFillsPixelTable) {
  kvtest::ScopedEnv lc("LC_ALL", "C");
  struct Pixel {
    int x, y;
    TColor32 colour;
    const char* what;
  };
  struct Case {
    const char* what;
    bool samples;
    std::vector<Pixel> pixels;
  };
  const Case cases[] = {
      {"no samples",
       false,
       {{40, 6, W, "the upper limit line above the plot"},
        {40, 12, Y, "the plot's top row"},
        {40, 21, G, "the target line over the lower limit line"},
        {19, 21, W, "left of the plot"}}},
      // "5.33" centred on row 13: 16 wide, ending 4 left of the axis, rows 9 to 16.
      {"samples",
       true,
       {{1, 11, W, "the label's part above the plot"},
        {1, 12, K, "the label's part beside the plot"},
        {1, 16, K, "the label's last row"},
        {3, 12, W, "between its first two characters"},
        {30, 11, W, "the point's part above the plot"},
        {30, 12, B, "the point's part in the plot"},
        {40, 13, S, "the upper line at the largest value"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TDateChart chart;
    BoxFont box(-8);
    chart.SetFont(&box.font);
    chart.SetBounds(Rect(0, 0, 60, 40));
    chart.SetBorder(Rect(20, 12, 4, 10));
    chart.SetGraphBGColor(0x0000FFFF);
    chart.SetScaleType(dcsBothLimits);
    chart.SetUpperLimitValue(10);
    chart.SetLowerLimitValue(0);
    chart.SetTargetValue(0);
    chart.SetXStep(10);
    chart.SetXStartValue(100);
    chart.SetDrawTitle(false);
    chart.SetDrawXDescription(false);
    chart.SetPaintPoints(true);
    chart.Graph(0)->GraphPen->SetColor(clBlue);
    if (c.samples) {
      chart.SetLimits({clLower});
      chart.AddSample(101, 16.0 / 3); // at x 30
      chart.AddSample(102, 2);
    }
    chart.RecalcLimits();
    TBitmap32 b(60, 40);
    b.Clear(O);
    chart.Paint(&b);
    for (const auto& p : c.pixels)
      EXPECT_EQ(b.PixelS(p.x, p.y), p.colour) << p.what << " at " << p.x << "," << p.y;
  }
}

TEST(DateChartPaint, DateStripHoldsUprightLabelsAndTheBandContinuesOverThem) {
  TDateChart chart;
  BoxFont box(-8); // cell 8, advance 4: gap nearest(32 / 5) = 6, half 3
  chart.SetFont(&box.font);
  chart.SetBounds(Rect(0, 0, 60, 40));
  chart.SetBorder(Rect(0, 0, 0, 30)); // plot (0, 0, 60, 10), strip rows 11..40
  chart.SetXStartValue(45000);
  for (int d = 1; d <= 6; ++d)
    chart.AddSample(45000 + d, 5);
  chart.SetCurrentX(45002);
  chart.RecalcLimits();
  TBitmap32 b(60, 41);
  b.Clear(O);
  chart.Paint(&b);
  // Day 45001 lies at x 13: its label covers columns 10..17; the six boxes of "16.03." stand
  // upright, the first one at the bottom (strip rows 24..26), the last one at the top.
  const std::string upright = "....###.###.###.###.###.###.._";
  for (int x = 10; x <= 17; ++x)
    EXPECT_EQ(column(b, x, 11, 40), upright) << x;
  EXPECT_EQ(column(b, 9, 11, 40), std::string(29, '.') + "_");
  EXPECT_EQ(column(b, 18, 11, 40), std::string(29, '.') + "_");
  // The band over 45002 (columns 20..31) runs from the axis row to the bottom of the chart.
  EXPECT_EQ(b.PixelS(21, 12), 0xFFDFDFFFu); // white under 1/8 blue
  EXPECT_EQ(b.PixelS(25, 15), 0xFF000020u); // a label box of day 45002 under the band
  EXPECT_EQ(b.PixelS(19, 12), W);
  EXPECT_EQ(b.PixelS(32, 12), W);
  EXPECT_EQ(b.PixelS(25, 40), 0u);         // the band stops at Bounds.Bottom
  EXPECT_EQ(b.PixelS(25, 3), 0xFFDFDFFFu); // and over the plot
}

TEST(DateChartPaint, LabelsStopAtTheLastDateAndGridLinesAtTheRightEdge) {
  TDateChart chart;
  BoxFont box(-13); // text height 13: labels need 10 pixels, grid lines 13
  chart.SetFont(&box.font);
  chart.SetBounds(Rect(0, 0, 60, 40));
  chart.SetBorder(Rect(0, 0, 0, 30));
  chart.SetXStep(5); // labels every second day, grid lines every third
  chart.SetXStartValue(45000);
  chart.SetDrawXGrid(true);
  for (int d = 1; d <= 3; ++d)
    chart.AddSample(45000 + d, 5);
  chart.RecalcLimits();
  TBitmap32 b(60, 41);
  chart.Paint(&b);
  std::string grid(60, '.');
  grid[0] = '#';
  for (int x : {5, 20, 35, 50})
    grid[std::size_t(x)] = 's';
  EXPECT_EQ(row(b, 2), grid);
  // The bottom row of the first boxes (strip row 26): labels of days 1 and 3 only, at
  // columns 0..12 and 10..22; day 5 is past the last date.
  EXPECT_EQ(row(b, 37), std::string(23, '#') + std::string(37, '.'));
}

TEST(DateChartPaint, TitleStaysAtTheBitmapCornerAndValueLabelsEndLeftOfTheAxis) {
  kvtest::ScopedEnv lc("LC_ALL", "C");
  TDateChart chart;
  BoxFont box(-8);
  chart.SetFont(&box.font);
  chart.SetBounds(Rect(30, 20, 90, 60)); // plot (80, 20, 90, 40)
  chart.SetDrawTitle(true);
  chart.SetTitle("T");
  chart.SetDrawXDescription(false);
  chart.SetPaintTarget(false);
  chart.SetLimits({});
  chart.AddSample(45000, 5);
  chart.RecalcLimits(); // one value: range 1.2, centre 5: the value's row 30
  TBitmap32 b(100, 70);
  chart.Paint(&b);
  EXPECT_EQ(column(b, 2, 1, 11), "_########__"); // the title's box, rows 2..9, outside Bounds
  // "5.00" is 16 pixels wide: it ends at column 75 and is centred on row 30 (rows 26..33).
  EXPECT_EQ(row(b, 28).substr(58, 20), "..###.###.###.###...");
  EXPECT_EQ(column(b, 60, 24, 35), "..########..");
}

TEST(DateChartPaint, DegenerateScalesAndFarCoordinatesNeitherHangNorAllocate) {
  struct Case {
    const char* what;
    double xStep, custX, start;
    TRect bounds, border;
  };
  const Case cases[] = {
      {"zero step", 0, 1, 45000, Rect(0, 0, 200, 100), Rect(50, 0, 0, 20)},
      {"negative step", -13, 1, 45000, Rect(0, 0, 200, 100), Rect(50, 0, 0, 20)},
      {"zero stretch", 13, 0, 45000, Rect(0, 0, 200, 100), Rect(50, 0, 0, 20)},
      {"tiny step", 1e-300, 1, 45000, Rect(0, 0, 200, 100), Rect(50, 0, 0, 20)},
      {"huge start date", 13, 1, 1e300, Rect(0, 0, 200, 100), Rect(50, 0, 0, 20)},
      {"no-number step", std::nan(""), 1, 45000, Rect(0, 0, 200, 100), Rect(50, 0, 0, 20)},
      {"far bounds", 13, 1, 45000, Rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), Rect(50, 0, 0, 20)},
      {"huge bottom border", 13, 1, 45000, Rect(0, 0, 200, 100), Rect(50, 0, 0, 1000000000)},
      {"negative bottom border", 13, 1, 45000, Rect(0, 0, 200, 100), Rect(50, 0, 0, -50)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TDateChart chart;
    chart.SetXStep(c.xStep);
    chart.SetCustXScale(c.custX);
    chart.SetXStartValue(c.start);
    chart.SetBounds(c.bounds);
    chart.SetBorder(c.border);
    chart.SetDrawXGrid(true);
    chart.SetPaintPoints(true);
    for (int d = 1; d <= 5; ++d)
      chart.AddSample(45000 + d, d);
    chart.RecalcLimits();
    const auto t0 = std::chrono::steady_clock::now();
    TBitmap32 b(200, 120);
    chart.Paint(&b);
    DeviceCaps caps;
    caps.widthPx = 300, caps.heightPx = 200;
    RecordingDC dc(caps);
    chart.Print(dc.Handle());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  }
  TDateChart chart;
  chart.Paint(nullptr); // nothing to draw on
}

// ---- printing ----

namespace {

// A 200 x 100 chart in the box font of 10 (cell 10, advance 5), the plot (50, 0, 200, 80),
// days from 45000.
void setUpPrintChart(TDateChart& chart, BoxFont& box) {
  chart.SetFont(&box.font);
  chart.SetBounds(Rect(0, 0, 200, 100));
  chart.SetXStartValue(45000);
}

} // namespace

TEST_F(DateChartPrintC, PrintDrawsTheReducedChartInThisOrder) {
  TDateChart chart;
  BoxFont box(-10);
  setUpPrintChart(chart, box);
  chart.SetPaintPoints(true);
  chart.AddSample(45001, 10);
  chart.AddSample(45002, 20);
  chart.RecalcLimits(); // YScale 80/12, YOffset 60: 10 at row 73, 20 at row 7, 0 at row 140
  RecordingDC dc;
  const HGDIOBJ pen = dc.GetCurrentObject(OBJ_PEN), font = dc.GetCurrentObject(OBJ_FONT);
  chart.Print(dc.Handle());
  const std::string chartFont = "SelectObject(font:\"Korvalis Box\",-10,esc 0,weight 400)";
  const std::string black = "SelectObject(pen:solid,1,$00000000)",
                    red = "SelectObject(pen:solid,1,$000000FF)";
  const std::vector<std::string> expected = {
      chartFont, black, "MoveToEx(50,0)", "LineTo(50,80)", "MoveToEx(50,80)", "LineTo(200,80)", // axes
      red, "MoveToEx(50,140)", "LineTo(200,140)",                                   // upper limit 0
      red, "MoveToEx(50,140)", "LineTo(200,140)",                                   // lower limit 0
      "SelectObject(pen:solid,1,$00008000)", "MoveToEx(50,140)", "LineTo(200,140)", // target 0
      "SelectObject(font:\"Korvalis Box\",10,esc 900,weight 400)", "SetTextAlign(2)",
      // gap 10, half 5, a blank is 5 wide; days at x 63 and 76
      "TextOut(58,85,\"16.03.\")", "TextOut(71,85,\"17.03.\")", chartFont, "SetTextAlign(0)",
      "SelectClipRgn(region:50,0,200,80)", black, "MoveToEx(63,73)", "LineTo(76,7)", "Ellipse(61,71,65,75)",
      "Ellipse(74,5,78,9)", "SelectClipRgn(none)",
      // value labels: "0.00 " is 25 wide, 10 high
      "SetTextAlign(0)", "TextOut(21,135,\"0.00 \")", "TextOut(21,135,\"0.00 \")",
      "TextOut(21,135,\"0.00 \")", "SetTextAlign(0)", "SelectObject(" + RecordingDC::describe(pen) + ")",
      "SelectObject(" + RecordingDC::describe(font) + ")"};
  EXPECT_EQ(dc.log(), expected);

  // The clip region is in device units: a window origin moves it the other way.
  dc.SetWindowOrgEx(7, -3, nullptr);
  dc.clearLog();
  chart.Print(dc.Handle());
  const auto clips = dc.calls("SelectClipRgn");
  EXPECT_EQ(clips, (std::vector<std::string>{"SelectClipRgn(region:43,3,193,83)", "SelectClipRgn(none)"}));
}

TEST_F(DateChartPrintC, PrintLabelsAndGridNeedTwoSamplesInTheFirstGraph) {
  TDateChart chart;
  BoxFont box(-10);
  setUpPrintChart(chart, box);
  chart.SetDrawXGrid(true);
  chart.AddGraph("other");
  chart.AddSample(1, 45001, 1);
  chart.AddSample(1, 45002, 2);
  chart.AddSample(0, 45001, 3);
  chart.RecalcLimits();
  RecordingDC dc;
  chart.Print(dc.Handle());
  const HPEN graphPen = chart.Graph(1)->GraphPen->Pen;
  EXPECT_TRUE(dc.calls("TextOut").empty());
  EXPECT_TRUE(dc.calls("SetTextAlign").empty());
  EXPECT_EQ(dc.calls("LineTo").size(), 5u + 1u); // axes, three lines and graph 1's segment

  chart.AddSample(0, 45002, 4);
  dc.clearLog();
  chart.Print(dc.Handle());
  EXPECT_EQ(dc.calls("TextOut").size(), 2u + 3u); // two dates and three values
  // Grid: days at 63, 76, ... 193 (every day: 13 >= 10), from the top of the plot to the axis.
  const auto lines = dc.calls("LineTo");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "LineTo(63,80)"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "LineTo(193,80)"), 1);
  EXPECT_EQ(lines.size(), 5u + 11u + 2u);
  EXPECT_EQ(chart.Graph(1)->GraphPen->Pen, graphPen); // one pen for every print
}

TEST_F(DateChartPrintC, PrintedMinimumMaximumBarsAndPointsAsCircles) {
  TDateChart chart;
  BoxFont box(-10);
  setUpPrintChart(chart, box);
  chart.SetPaintAverage(false);
  chart.SetPaintPoints(true);
  chart.SetDataPointSize(3);
  chart.AddSample(45001, 10);
  chart.AddSample(45001, 14);
  chart.AddSample(45002, 20);
  chart.RecalcLimits(); // averages 12 and 20: range 9.6, YScale 80/9.6, YOffset nearest(11.2 * 8.333) = 93
  // rows: 14 -> 80 - 117 + 93 = 56; 10 -> 80 - 83 + 93 = 90; 20 -> 80 - 167 + 93 = 6
  RecordingDC dc;
  chart.Print(dc.Handle());
  const auto& log = dc.log();
  const auto clip = std::find(log.begin(), log.end(), "SelectClipRgn(region:50,0,200,80)");
  ASSERT_NE(clip, log.end());
  const std::vector<std::string> graph(clip, clip + 18);
  EXPECT_EQ(graph,
            (std::vector<std::string>{
                "SelectClipRgn(region:50,0,200,80)", "SelectObject(pen:solid,1,$00000000)", "MoveToEx(63,56)",
                "LineTo(76,6)", "MoveToEx(63,90)", "LineTo(76,6)", "MoveToEx(63,56)", "LineTo(63,90)",
                "MoveToEx(76,6)", "LineTo(76,6)", "Ellipse(60,53,66,59)", "Ellipse(73,3,79,9)",
                "Ellipse(60,87,66,93)", "Ellipse(73,3,79,9)", "SelectClipRgn(none)", "SetTextAlign(0)",
                "TextOut(21,168,\"0.00 \")", "TextOut(21,168,\"0.00 \")"}));
}

TEST(DateChartPrint, ValueLabelsUseTheSeparatorsOfTheUsersLocale) {
  if (!kvtest::haveTool("localedef")) GTEST_SKIP() << "localedef missing";
  kvtest::TempDir dir;
  const auto made =
      kvtest::run("localedef -i de_DE -f UTF-8 " + kvtest::shellQuote((dir / "de_DE.UTF-8").string()));
  if (made.exitCode != 0 && !kvtest::fs::exists(dir / "de_DE.UTF-8" / "LC_NUMERIC"))
    GTEST_SKIP() << "no German locale source: " << made.err;
  kvtest::ScopedEnv path("LOCPATH", dir.str());
  kvtest::ScopedEnv lc("LC_ALL", "de_DE.UTF-8");
  TDateChart chart;
  BoxFont box(-10);
  setUpPrintChart(chart, box);
  chart.SetTargetValue(-1234567.125); // a true half in binary: rounded away from zero
  chart.SetUpperLimitValue(0.005);    // just above a half
  chart.SetLowerLimitValue(999999.996);
  chart.AddSample(45001, 10);
  chart.AddSample(45002, 20);
  chart.RecalcLimits();
  RecordingDC dc;
#if defined(__SANITIZE_ADDRESS__)
  __lsan_disable(); // glibc's newlocale keeps a copy of LOCPATH's search path for good
#endif
  chart.Print(dc.Handle());
#if defined(__SANITIZE_ADDRESS__)
  __lsan_enable();
#endif
  std::vector<std::string> texts;
  for (const auto& call : dc.calls("TextOut"))
    texts.push_back(call.substr(call.find('"')));
  EXPECT_EQ(texts, (std::vector<std::string>{"\"16.03.\")", "\"17.03.\")", "\"-1.234.567,13 \")",
                                             "\"0,01 \")", "\"1.000.000,00 \")"}));
}

TEST(DateChartPrint, APrintedChartIsAPdfWithItsLabels) {
  if (const auto missing = kvtest::missingPdfPeer(); !missing.empty()) GTEST_SKIP() << missing << " missing";
  kvtest::ScopedEnv lc("LC_ALL", "C");
  kvtest::TempDir dir;
  Printer printer;
  printer.setOutputFile((dir / "chart.pdf").string());
  printer.BeginDoc();
  TDateChart chart;
  TFont font; // a screen font handed over, as a form's font is
  font.SetName("DejaVu Sans");
  font.SetSize(10);
  chart.SetFont(&font);
  chart.SetBounds(Rect(100, 100, 2000, 1300));
  chart.SetBorder(Rect(300, 0, 0, 250));
  chart.SetXStep(120);
  chart.SetXStartValue(45000);
  chart.SetDrawXGrid(true);
  chart.SetPaintPoints(true);
  chart.SetDataPointSize(8);
  chart.SetScaleType(dcsBothLimits);
  chart.SetTargetValue(12.5);
  chart.SetUpperLimitValue(30);
  chart.SetLowerLimitValue(2.25);
  for (int d = 1; d <= 10; ++d)
    chart.AddSample(45000 + d, 5 + d);
  chart.RecalcLimits();
  chart.Print(printer.Handle());
  printer.EndDoc();
  const auto text = kvtest::run("pdftotext -raw " + kvtest::shellQuote((dir / "chart.pdf").string()) + " -");
  ASSERT_EQ(text.exitCode, 0) << text.err;
  for (const char* label : {"12.50", "30.00", "2.25", "16.03.", "20.03.", "25.03."})
    EXPECT_NE(text.out.find(label), std::string::npos) << label << " in\n" << text.out;
  // The font's 10 points are 10 points on paper: the label's box as high as the peer's, but for
  // the font's height in whole printer pixels (42 for 41.7 at 300 dpi).
  const double peer = kvtest::peerWordHeight("DejaVu Sans", 10, "12.50");
  ASSERT_GT(peer, 0) << "pango-view's page has no word pdftotext reads";
  EXPECT_NEAR(kvtest::pdfWord(dir / "chart.pdf", "12.50").height(), peer, peer * 0.5 / 41.7);
}

// ---- the library's interface ----

TEST(DateChartExports, EveryOperationIsASymbolOfTheLibrary) {
  // Each class's operations (a name up to "(" stands for every signature), its destructor and
  // its type information; argument types where they tell overloads apart or are the point
  // (a date is a double, a 32-bit signed value an int, the font the class library's).
  const std::vector<std::string> operations = {
      "typeinfo for kvchart::TChartLine", "kvchart::TChartLine::TChartLine()",
      "kvchart::TChartLine::~TChartLine()", "kvchart::TChartLine::GetPen()", "kvchart::TChartLine::SetPen(",
      "kvchart::TChartLine::SetColor(", "kvchart::TChartLine::SetColor32(",
      "kvchart::TChartLine::SetWidth(int)", "kvchart::TChartLine::SetStyle(",
      //
      "typeinfo for kvchart::TChartSample", "kvchart::TChartSample::TChartSample(double, double)",
      "kvchart::TChartSample::~TChartSample()", "kvchart::TChartSample::AddValue(double)",
      "kvchart::TChartSample::Calc()", "kvchart::TChartSample::GetValues(int)",
      "kvchart::TChartSample::SetValues(int, double)", "kvchart::TChartSample::SetDate(double)",
      //
      "typeinfo for kvchart::TChartGraph", "kvchart::TChartGraph::TChartGraph()",
      "kvchart::TChartGraph::~TChartGraph()", "kvchart::TChartGraph::AddSample(kvchart::TChartSample*)",
      "kvchart::TChartGraph::FindSample(double)", "kvchart::TChartGraph::RecalcLimits()",
      "kvchart::TChartGraph::SetGraphPen(kvchart::TChartLine*)", "kvchart::TChartGraph::SetTitle(",
      //
      "typeinfo for kvchart::TDateChart", "kvchart::TDateChart::TDateChart()",
      "kvchart::TDateChart::~TDateChart()", "kvchart::TDateChart::Paint(", "kvchart::TDateChart::Print(",
      "kvchart::TDateChart::AddGraph(", "kvchart::TDateChart::AddSample(int, double, double)",
      "kvchart::TDateChart::AddSample(double, double)", "kvchart::TDateChart::Clear()",
      "kvchart::TDateChart::RecalcLimits()", "kvchart::TDateChart::xPix(double)",
      "kvchart::TDateChart::xValueAt(int, int)", "kvchart::TDateChart::yPix(double)",
      "kvchart::TDateChart::yValueAt(int, int)", "kvchart::TDateChart::SetAALevel(int)",
      "kvchart::TDateChart::SetAxisPen(kvchart::TChartLine*)", "kvchart::TDateChart::SetBGColor(",
      "kvchart::TDateChart::SetBorder(", "kvchart::TDateChart::SetBottomValue(double)",
      "kvchart::TDateChart::SetBounds(", "kvchart::TDateChart::SetCenterValue(double)",
      "kvchart::TDateChart::SetCenterYValue(double)", "kvchart::TDateChart::SetCurrentMarkColor(",
      "kvchart::TDateChart::SetCurrentX(double)", "kvchart::TDateChart::SetCustXScale(double)",
      "kvchart::TDateChart::SetCustYScale(double)", "kvchart::TDateChart::SetDataPointSize(int)",
      "kvchart::TDateChart::SetDrawTitle(bool)", "kvchart::TDateChart::SetDrawXDescription(bool)",
      "kvchart::TDateChart::SetDrawXGrid(bool)", "kvchart::TDateChart::SetFont(kv::platform::TFont*)",
      "kvchart::TDateChart::SetGraphBGColor(", "kvchart::TDateChart::SetGridPen(kvchart::TChartLine*)",
      "kvchart::TDateChart::SetLimitPen(kvchart::TChartLine*)", "kvchart::TDateChart::SetLimits(",
      "kvchart::TDateChart::SetLowerLimitValue(double)", "kvchart::TDateChart::SetPaintAverage(bool)",
      "kvchart::TDateChart::SetPaintPoints(bool)", "kvchart::TDateChart::SetPaintTarget(bool)",
      "kvchart::TDateChart::SetScaleOverhang(double)", "kvchart::TDateChart::SetScaleType(",
      "kvchart::TDateChart::SetTargetPen(kvchart::TChartLine*)",
      "kvchart::TDateChart::SetTargetValue(double)", "kvchart::TDateChart::SetTitle(",
      "kvchart::TDateChart::SetTopValue(double)", "kvchart::TDateChart::SetUpperLimitValue(double)",
      "kvchart::TDateChart::SetXStartValue(double)", "kvchart::TDateChart::SetXStep(double)"};
  EXPECT_TRUE(kvtest::exportedByKVLib(operations));
  // The exported types: one byte each, the set's bit 0 clUpper and bit 1 clLower, and the
  // member names a host's type information reads.
  static_assert(sizeof(TDCScaleType) == 1 && sizeof(TChartLineStyle) == 1 && sizeof(TChartLimit) == 1);
  static_assert(sizeof(TChartLimits) == 1);
  EXPECT_EQ(std::bit_cast<std::uint8_t>(TChartLimits{clLower}), 0x02);
  EXPECT_EQ(std::bit_cast<std::uint8_t>(TChartLimits{clUpper, clLower}), 0x03);
  using Names = std::vector<std::string>;
  EXPECT_EQ(kvEnumNames(TDCScaleType{}),
            (Names{"dcsMaxValues", "dcsTopLimit", "dcsBottomLimit", "dcsBothLimits"}));
  EXPECT_EQ(kvEnumNames(TChartLineStyle{}), (Names{"lsSolid"}));
  EXPECT_EQ(kvEnumNames(TChartLimit{}), (Names{"clUpper", "clLower"}));
}
