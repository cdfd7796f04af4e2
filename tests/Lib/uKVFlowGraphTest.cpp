#include "uKVFlowGraph.h"

#include "ExportTable.h"
#include "Platform/Graphics/Fonts.h"
#include "Platform/Rtl/SysUtils.h"
#include "TestSupport.h"

#include <bit>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

using namespace uKVFlowGraph;
using namespace kv::platform;

namespace {

constexpr TColor32 BG = 0xFFFFFFFF, COL = 0xFF0000FF, GRP = 0xFF00FF00, INT = 0xFFFF0000, GRID = 0xFF808080,
                   TXT = 0xFF000000;

// A flow graph on its own bitmap, with the box face in place of the rotated face so that
// text lands on known pixels (cell 12, advance 6; still turned by 90 degrees).
struct Fixture {
  TBitmap32 bmp;
  TFlowGraph fg;
  Fixture(int w, int h, TRect dest) : bmp(w, h), fg(&bmp, dest) {
    bmp.Clear(BG);
    bmp.Font.Name = kBoxFaceName;
    fg.SetBackgroundColor(BG);
    fg.SetTextColor(TXT);
    fg.SetGridColor(GRID);
  }
  TGraph* graph() {
    if (fg.Graphs->Count() == 0) {
      fg.AddGraph();
      fg.GetGraph(0)->SetColor(COL);
      fg.GetGraph(0)->SetGroupColor(GRP);
      fg.GetGraph(0)->SetInterpolatedColor(INT);
    }
    return fg.GetGraph(0);
  }
  TColor32 at(int x, int y) const { return bmp.PixelS(x, y); }
  // Both limits shown, the scale running from 0 to 10.
  void limitsZeroToTen() {
    fg.SetVisibleLimits({fgUpper, fgLower});
    fg.SetUpperLimit(10);
    fg.SetLowerLimit(0);
  }
};

} // namespace

TEST(FlowGraphSamples, ValuesMergeIntoTheirExactDay) {
  TFlowGraphSampleList list;
  list.Add(100, 2, true);
  list.Add(100, 4, true);
  list.Add(100.5, 9, false); // not the same date: a second sample, also on day 100
  ASSERT_EQ(list.GetCount(), 2);
  const TFlowGraphSample* day = list.Item(0);
  EXPECT_EQ(day->Count, 2);
  EXPECT_DOUBLE_EQ(day->Average, 3);
  EXPECT_DOUBLE_EQ(day->Min, 2);
  EXPECT_DOUBLE_EQ(day->Max, 4);
  EXPECT_DOUBLE_EQ(list.Item(1)->Date, 100.0);
  EXPECT_FALSE(list.Item(1)->Visible);
  EXPECT_DOUBLE_EQ(list.MinDate, 100);
  EXPECT_DOUBLE_EQ(list.MaxDate, 100.5);
  EXPECT_DOUBLE_EQ(list.MinValue, 2);
  EXPECT_DOUBLE_EQ(list.MaxValue, 9);
  EXPECT_DOUBLE_EQ(day->GetValues(1), 4);
  EXPECT_DOUBLE_EQ(day->GetValues(2), 0.0);

  TFlowGraphSampleList negative; // the running extremes start at 0 and 2147483647
  negative.Add(5, -3, true);
  EXPECT_DOUBLE_EQ(negative.MaxValue, 0.0);
  negative.Clear();
  negative.Add(7, 11, true);
  EXPECT_DOUBLE_EQ(negative.MinValue, 11);
  EXPECT_DOUBLE_EQ(negative.MaxValue, 11);
  EXPECT_DOUBLE_EQ(negative.MinDate, 7);
  EXPECT_EQ(negative.GetCount(), 1);

  const TFlowGraphSample blank(100.75);
  EXPECT_DOUBLE_EQ(blank.Date, 100);
  EXPECT_FALSE(blank.Visible);
  EXPECT_FALSE(blank.Interpolated);
}

TEST(FlowGraphSamples, NormalizeFillsGapsByInterpolationAndSorts) {
  TFlowGraphSampleList list;
  list.Add(14, 3.0, true);
  list.Add(10, 1.0, true);
  list.Normalize();
  ASSERT_EQ(list.GetCount(), 5);
  const double averages[] = {1.0, 1.5, 2.0, 2.5, 3.0};
  for (int i = 0; i < 5; ++i) {
    const TFlowGraphSample* s = list.Item(i);
    EXPECT_DOUBLE_EQ(s->Date, 10 + i);
    EXPECT_DOUBLE_EQ(s->Average, averages[i]);
    EXPECT_EQ(s->Interpolated, i != 0 && i != 4);
    EXPECT_TRUE(s->Visible);
    EXPECT_EQ(list.GetItems(10 + i), s);
  }
  EXPECT_DOUBLE_EQ(list.MinDate, 10);
  EXPECT_DOUBLE_EQ(list.MaxDate, 14);
  list.Normalize();
  EXPECT_EQ(list.GetCount(), 5);

  // A value for a day that now holds an interpolated sample merges into it.
  list.Add(12, 4.0, true);
  EXPECT_EQ(list.GetItems(12)->Count, 2);
  EXPECT_DOUBLE_EQ(list.GetItems(12)->Average, 3.0);
  EXPECT_TRUE(list.GetItems(12)->Interpolated);

  EXPECT_EQ(list.GetItems(9.5), nullptr);
  EXPECT_EQ(list.GetItems(14.5), nullptr);
  TFlowGraphSampleList late;
  late.Add(100.5, 1, true);
  EXPECT_EQ(late.GetItems(100.0), nullptr);
  EXPECT_EQ(late.GetItems(100.5), late.Item(0));
}

TEST(FlowGraphSamples, LookupsOutsideTheListRaiseTheListError) {
  TFlowGraphSampleList list; // not normalised: days 1 and 5 only
  list.Add(1, 1, true);
  list.Add(5, 1, true);
  EXPECT_EQ(list.GetItems(2), list.Item(1)); // wrong day, as on any list with gaps
  EXPECT_THROW(list.GetItems(4), EListError);
  TFlowGraph fg(nullptr, Rect(0, 0, 10, 10));
  EXPECT_THROW(fg.GetGraph(0), EListError);
  list.SetItems(1, nullptr); // changes nothing
  EXPECT_EQ(list.GetCount(), 2);
}

TEST(FlowGraphSamples, AGapOfMoreDaysThanTheCalendarHasIsRefused) {
  TFlowGraphSampleList list;
  list.Add(1e9, 2, true);
  list.Add(0, 1, true);
  EXPECT_THROW(list.Normalize(), EOutOfMemory);
  ASSERT_EQ(list.GetCount(), 2); // sorted, nothing added
  EXPECT_DOUBLE_EQ(list.Item(0)->Date, 0);
  // The longest real span still fills: 0001-01-01 .. 9999-12-31 is 3652059 days.
  TFlowGraphSampleList wide;
  wide.Add(-693593, 0, true);
  wide.Add(-693593 + 10, 10, true);
  wide.Normalize();
  EXPECT_EQ(wide.GetCount(), 11);
}

TEST(FlowGraphScale, DerivationsFollowTheirTables) {
  TFlowGraph fg(nullptr, Rect(0, 0, 0, 0));
  EXPECT_EQ(fg.PlotRect, Rect(0, 0, 0, 0)); // nothing derived by the constructor
  EXPECT_EQ(fg.XCount, 0);
  fg.SetYAxisPos(40);
  fg.SetDestRect(Rect(10, 20, 210, 170));
  EXPECT_EQ(fg.PlotRect, Rect(50, 25, 205, 165));
  EXPECT_EQ(fg.PlotHeight, 140);
  EXPECT_EQ(fg.XCount, 14); // round(155 / 12) + 1
  fg.SetXAxisDecriptionVisible(true);
  EXPECT_EQ(fg.PlotRect, Rect(50, 25, 205, 120));
  EXPECT_EQ(fg.PlotHeight, 95);

  struct Case {
    int plotWidth;
    double xStep;
    int32_t xCount;
  };
  const Case columns[] = {{120, 12, 11}, {126, 12, 11}, {114, 12, 11}, {102, 12, 9}, {0, 12, 1}};
  // 10.5 and 9.5 columns: halves to even.
  for (const Case& c : columns) {
    TFlowGraph g(nullptr, Rect(0, 0, 0, 0));
    g.SetDestRect(Rect(0, 0, c.plotWidth + 5, 100));
    g.SetXStep(c.xStep);
    EXPECT_EQ(g.XCount, c.xCount) << c.plotWidth;
  }
}

TEST(FlowGraphScale, ValueScaleAndRows) {
  TFlowGraph fg(nullptr, Rect(0, 0, 0, 0));
  fg.SetDestRect(Rect(0, 0, 200, 125)); // plot (0, 5, 195, 120), height 115
  fg.AddGraph();
  fg.GetGraph(0)->Samples->Add(100, 0, true);
  fg.GetGraph(0)->Samples->Add(101, 10, true);
  fg.Tidy();
  EXPECT_DOUBLE_EQ(fg.XPos, 100);
  EXPECT_NEAR(fg.YScale, 115.0 / 11, 1e-12);
  EXPECT_NEAR(fg.YOffset, 115, 1e-9);
  EXPECT_EQ(fg.Y2Screen(0), 115); // PlotRect.Top - 5 + PlotHeight
  EXPECT_EQ(fg.Y2Screen(10), 10); // a tenth of the range of headroom above the top
  EXPECT_EQ(fg.Y2Screen(5), 63);  // round(115 - 52.27)

  // Limits bound the scale by themselves once both are shown.
  fg.SetVisibleLimits({fgUpper, fgLower});
  EXPECT_NEAR(fg.YScale, 115.0 / 11, 1e-12); // the limits take effect at the next derivation
  fg.SetUpperLimit(50);
  fg.SetLowerLimit(-50);
  EXPECT_NEAR(fg.YScale, 115.0 / 110, 1e-12);
  EXPECT_NEAR(fg.YOffset, 115 - 50 * 115.0 / 110, 1e-9);
  const double before = fg.YScale;
  fg.SetLowerLimit(50); // no range: the scale stays
  EXPECT_DOUBLE_EQ(fg.YScale, before);
  fg.SetUpperTarget(20); // no derivation at all
  fg.SetYScale(3);
  EXPECT_DOUBLE_EQ(fg.YScale, 3);
}

TEST(FlowGraphScale, TidyOfNothingKeepsTheStartingExtremes) {
  TFlowGraph fg(nullptr, Rect(0, 0, 100, 100));
  fg.AddGraph();
  fg.Tidy();
  EXPECT_DOUBLE_EQ(fg.MinDate, 2147483647.0);
  EXPECT_DOUBLE_EQ(fg.MaxDate, 0.0);
  EXPECT_DOUBLE_EQ(fg.MaxValue, 0.0);
  EXPECT_DOUBLE_EQ(fg.MinValue, 2147483647.0);
  EXPECT_DOUBLE_EQ(fg.XPos, 2147483647.0);
}

TEST(FlowGraphPaint, TheRotatedFontIsInstalledOnTheBitmapAndDeletedWithTheGraph) {
  const std::size_t before = liveGdiObjects();
  TBitmap32 bmp(10, 10);
  {
    TFlowGraph fg(&bmp, Rect(0, 0, 10, 10));
    const auto lf = fontOf(fg.FontHandle);
    ASSERT_TRUE(lf);
    EXPECT_EQ(lf->lfHeight, 12);
    EXPECT_EQ(lf->lfEscapement, 900);
    EXPECT_EQ(lf->lfQuality, PROOF_QUALITY);
    EXPECT_EQ(lf->lfPitchAndFamily, 0x30);
    EXPECT_EQ(faceName(*lf), "Arial");
    EXPECT_EQ(bmp.Font.Escapement, 900);
    EXPECT_EQ(bmp.Font.Name, "Arial");
    EXPECT_EQ(bmp.Font.Handle(), fg.FontHandle);
    EXPECT_EQ(liveGdiObjects(), before + 1);
  }
  EXPECT_EQ(liveGdiObjects(), before);
}

// Rows for values 0..10 on a plot (10, 5, 95, 125): round(120 - v * 120 / 11).
TEST(FlowGraphPaint, ADayWithSeveralValuesShowsItsSpreadAndEachValue) {
  for (const bool one : {false, true}) {
    SCOPED_TRACE(one ? "one value" : "spread");
    Fixture f(100, 130, Rect(0, 0, 100, 130));
    f.fg.SetYAxisPos(10);
    f.limitsZeroToTen();
    f.fg.SetShow1Value(one);
    TFlowGraphSampleList* s = f.graph()->Samples;
    for (double v : {1.0, 2.0, 6.0})
      s->Add(100, v, true); // rows 109, 98, 55; average 3 at row 87
    s->Add(101, 3, true);
    f.fg.Tidy();
    f.fg.DrawGraph(0);
    EXPECT_EQ(f.at(15, 87), COL); // the connecting line meets the average's row
    if (!one) {
      EXPECT_EQ(f.at(10, 100), GRP);
      EXPECT_EQ(f.at(10, 70), GRP);
      EXPECT_EQ(f.at(8, 107), COL); // the frame around 1.0: rows 107..110, columns 8..11
      EXPECT_EQ(f.at(8, 108), COL);
      EXPECT_EQ(f.at(9, 108), BG);
      EXPECT_EQ(f.at(8, 53), COL); // around 6.0
      EXPECT_EQ(f.at(8, 85), BG);  // no frame around the average
    } else {
      EXPECT_EQ(f.at(10, 100), BG);
      EXPECT_EQ(f.at(8, 85), COL);
      EXPECT_EQ(f.at(8, 107), BG);
    }
  }
}

TEST(FlowGraphPaint, InterpolatedAndInvisibleDaysAndTheMissingPreviousPoint) {
  Fixture f(100, 130, Rect(0, 0, 100, 130));
  f.fg.SetYAxisPos(10);
  f.limitsZeroToTen();
  TFlowGraphSampleList* s = f.graph()->Samples;
  s->Add(100, 2, true); // row 98 at columns 10, 22, 34, 46, 58, 70, 82
  s->Add(103, 2, true);
  s->Add(104, 2, true);
  s->Add(105, 2, false);
  s->Add(106, 2, true);
  f.fg.Tidy();
  f.fg.DrawGraph(0);
  EXPECT_EQ(f.at(16, 98), INT); // into and out of the interpolated days 101 and 102
  EXPECT_EQ(f.at(40, 98), INT);
  EXPECT_EQ(f.at(20, 96), BG); // no frame on an interpolated day
  EXPECT_EQ(f.at(52, 98), COL);
  EXPECT_EQ(f.at(64, 98), COL); // across the invisible day 105 at x 70 ...
  EXPECT_EQ(f.at(68, 96), BG);  // ... which gets no frame
  EXPECT_EQ(f.at(68, 98), COL);
  EXPECT_EQ(f.at(80, 96), COL); // frame of day 106

  // Column 0 at x 0: a previous point on column 0 starts no line.
  Fixture g(60, 130, Rect(0, 0, 60, 130));
  g.fg.SetDestRect(Rect(0, 0, 60, 130));
  g.limitsZeroToTen();
  g.graph()->Samples->Add(100, 2, true);
  g.graph()->Samples->Add(101, 2, true);
  g.fg.Tidy();
  g.fg.DrawGraph(0);
  EXPECT_EQ(g.at(6, 98), BG);
  EXPECT_EQ(g.at(1, 96), COL); // the frames are there
  EXPECT_EQ(g.at(13, 96), COL);
}

TEST(FlowGraphPaint, GridLimitsLabelsAndDateLabels) {
  Fixture f(160, 100, Rect(0, 0, 130, 100));
  f.fg.SetYAxisPos(10);
  f.fg.SetDestRect(Rect(0, 0, 130, 100)); // plot (10, 5, 125, 95): 115 wide
  f.fg.SetXStep(11.5);                    // XCount 11
  f.fg.SetShowGrid(true);
  f.fg.SetAxisColor(0xFF000001);
  f.fg.SetTargetColor(0xFF000002);
  f.graph()->Samples->Add(45000, 1, true);
  f.fg.Tidy();
  f.fg.SetXStep(11.5); // Tidy re-derived the columns; keep 11
  ASSERT_EQ(f.fg.XCount, 11);
  f.fg.RePaint();
  // Grid lines at round(i * 11.5 + 10) for i = 1..10, halves to even.
  std::string row;
  for (int x = 0; x < 130; ++x)
    row += f.at(x, 6) == GRID ? 'g' : f.at(x, 6) == 0xFF000001 ? 'a' : '.';
  std::string expected(130, '.');
  expected[10] = 'a';
  for (int x : {22, 33, 44, 56, 68, 79, 90, 102, 114, 125})
    expected[std::size_t(x)] = 'g';
  EXPECT_EQ(row, expected);
  // The target line (never set: 0) at the value's row, from two pixels left of the axis.
  const int y = f.fg.Y2Screen(0);
  EXPECT_EQ(f.at(20, y), 0xFF000002u);
  EXPECT_EQ(f.at(125, y), 0xFF000002u);

  f.fg.SetXAxisDecriptionVisible(true);
  f.fg.RePaint();
  // Label i stands right of x = round(i * 11.5) + 6, upward from row 93; label 12 (i = 11)
  // lies past the chart at 132..143, and there is no thirteenth.
  EXPECT_EQ(f.at(137, 90), TXT);
  EXPECT_EQ(f.at(149, 90), BG);
  EXPECT_EQ(f.at(8, 90), TXT); // label 1 at x 6
}

// The whole picture on a bitmap filled beforehand with a colour that nothing paints, every kind
// of line in a colour of its own. By hand: DestRect (10, 0, 190, 187) with the y axis 60 in and
// the date labels shown gives the plot (70, 5, 185, 137), 132 high; limits 10 and 0 give 12
// pixels a unit and the row of v is 132 - 12 v; XStep 12 gives 11 columns at x = 70 + 12 i.
TEST(FlowGraphPaint, RePaintPixelTable) {
  constexpr TColor32 FILL = 0xFF123456, AXIS = 0xFF000001, LIMIT = 0xFFFF8000, TARGET = 0xFF00C000,
                     GB = 0xFFFF00FF, GC = 0xFF00FFFF, GCG = 0xFF804000;
  struct Config {
    const char* what;
    TFlowGraphLimitSet limits;
    TColor32 upper, upperTarget, lowerTarget; // at the rows of 10, 7 and 3
  };
  const Config configs[] = {
      {"upper target", {fgUpper, fgLower, fgUpperTarget}, LIMIT, TARGET, BG},
      {"lower target", {fgUpper, fgLower, fgLowerTarget}, LIMIT, BG, TARGET},
      // The largest value is 10 too, so the scale stays.
      {"no upper limit, no targets", {fgLower}, BG, BG, BG},
  };
  for (const auto& c : configs) {
    SCOPED_TRACE(c.what);
    Fixture f(200, 200, Rect(10, 0, 190, 187));
    f.bmp.Clear(FILL);
    f.fg.SetYAxisPos(60);
    f.fg.SetXAxisDecriptionVisible(true);
    f.fg.SetShowGrid(true);
    f.fg.SetAxisColor(AXIS);
    f.fg.SetLimitColor(LIMIT);
    f.fg.SetTargetColor(TARGET);
    f.fg.SetVisibleLimits(c.limits);
    f.fg.SetUpperLimit(10);
    f.fg.SetLowerLimit(0);
    f.fg.SetTarget(5);
    f.fg.SetUpperTarget(7);
    f.fg.SetLowerTarget(3);
    f.fg.SetYAxisCaption("ABC");
    // Two graphs on the same points (the later one paints over the earlier), and a third
    // with one day of three values, the lowest of them below the plot.
    const double day = EncodeDate(2024, 3, 7);
    for (const TColor32 colour : {COL, GB}) {
      f.fg.AddGraph();
      TGraph* g = f.fg.GetGraph(f.fg.Graphs->Count() - 1);
      g->SetColor(colour);
      g->Samples->Add(day, 1, true);
      g->Samples->Add(day + 1, 1, true);
    }
    f.fg.AddGraph();
    TGraph* spread = f.fg.GetGraph(2);
    spread->SetColor(GC);
    spread->SetGroupColor(GCG);
    for (const double v : {-2.75, 2.75, 10.0})
      spread->Samples->Add(day + 6, v, true);
    f.fg.Tidy();
    ASSERT_EQ(f.fg.XCount, 11);
    f.fg.RePaint();

    struct Pixel {
      int x, y;
      TColor32 colour;
      const char* what;
    };
    const Pixel pixels[] = {
        {5, 30, FILL, "left of DestRect"},
        {195, 30, FILL, "right of DestRect"},
        {100, 190, FILL, "below DestRect"},
        {100, 30, BG, "the background inside DestRect"},
        {70, 100, AXIS, "the y axis"},
        {94, 30, GRID, "the grid line of column 2"},
        {93, 30, BG, "beside it"},
        {100, 12, c.upper, "the upper limit"},
        {100, 132, LIMIT, "the lower limit"},
        {100, 72, TARGET, "the target"},
        {100, 48, c.upperTarget, "the upper target"},
        {100, 96, c.lowerTarget, "the lower target"},
        {76, 120, GB, "the second graph's line over the first's"},
        {68, 118, GB, "the second graph's frame over the first's"},
        {142, 50, GCG, "the spread of day 7 in the plot"},
        {142, 162, BG, "the spread and frame below the plot, cleared with the label band"},
        {142, 185, BG, "the label band under the labels"},
        // Label 3 (10.03.24) at x 102, upward from row 180: eight boxes of 5 rows (the first
        // 175 to 179), a row apart; so row 162 above lies between two boxes.
        {107, 179, TXT, "the label's first character"},
        {107, 134, TXT, "the label's eighth character: the year's last digit"},
        {107, 130, BG, "nothing after it"},
        // The caption "ABC" at the bitmap's (2, 66 + 9), upward (rows 58 to 74), left of DestRect.
        {7, 74, TXT, "the caption's first character"},
        {7, 58, TXT, "the caption's last character"},
        {7, 75, FILL, "below the caption"},
        {7, 57, FILL, "above the caption"},
    };
    for (const auto& p : pixels)
      EXPECT_EQ(f.at(p.x, p.y), p.colour) << p.what << " at " << p.x << "," << p.y;
  }
}

TEST(FlowGraphPaint, LimitLabelsEndLeftOfTheAxisAboveTheirLine) {
  Fixture f(100, 130, Rect(0, 0, 100, 130));
  f.fg.SetYAxisPos(40);
  f.limitsZeroToTen();
  f.fg.SetTarget(5);
  f.fg.DrawLimits();
  // "5.00" is 24 pixels long: it runs upward from row y - 5 in the columns 15..26.
  const int y = f.fg.Y2Screen(5);
  EXPECT_EQ(f.at(20, y - 8), TXT);
  EXPECT_EQ(f.at(20, y - 5 - 30), BG);
  EXPECT_EQ(f.at(30, y - 8), BG);
}

TEST(FlowGraphPaint, DegenerateStepsAndCountsNeitherHangNorCrash) {
  for (const double step : {0.0, 1e-9, -12.0, std::nan(""), 1e12}) {
    SCOPED_TRACE(step);
    Fixture f(200, 150, Rect(0, 0, 200, 150));
    f.fg.SetShowGrid(true);
    f.fg.SetXAxisDecriptionVisible(true);
    for (int d = 0; d < 50; d += 3)
      f.graph()->Samples->Add(45000 + d, d % 7, true);
    f.fg.Tidy();
    f.fg.SetXStep(step);
    const auto t0 = std::chrono::steady_clock::now();
    f.fg.RePaint();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  }
  TFlowGraph none(nullptr, Rect(0, 0, 10, 10));
  none.AddGraph();
  none.RePaint(); // no bitmap: nothing to do
}

// ---- the library's interface ----

TEST(FlowGraphExports, EveryOperationIsASymbolOfTheLibrary) {
  // Each class's operations (a name up to "(" stands for every signature), with the argument
  // types where they tell overloads apart (a date is a double, an Integer an int).
  const std::vector<std::string> operations = {
      "uKVFlowGraph::TFlowGraphSample::TFlowGraphSample(double, double, bool)",
      "uKVFlowGraph::TFlowGraphSample::TFlowGraphSample(double)",
      "uKVFlowGraph::TFlowGraphSample::Add(double)", "uKVFlowGraph::TFlowGraphSample::GetValues(int)",
      "uKVFlowGraph::TFlowGraphSample::SetVisible(bool)",
      //
      "uKVFlowGraph::TFlowGraphSampleList::TFlowGraphSampleList()",
      "uKVFlowGraph::TFlowGraphSampleList::~TFlowGraphSampleList()",
      "uKVFlowGraph::TFlowGraphSampleList::Add(double, double, bool)",
      "uKVFlowGraph::TFlowGraphSampleList::Clear()", "uKVFlowGraph::TFlowGraphSampleList::GetCount()",
      "uKVFlowGraph::TFlowGraphSampleList::GetItems(double)", "uKVFlowGraph::TFlowGraphSampleList::SetItems(",
      "uKVFlowGraph::TFlowGraphSampleList::Normalize()", "uKVFlowGraph::TFlowGraphSampleList::Sort()",
      //
      "uKVFlowGraph::TGraph::TGraph()", "uKVFlowGraph::TGraph::~TGraph()", "uKVFlowGraph::TGraph::SetColor(",
      "uKVFlowGraph::TGraph::SetGroupColor(", "uKVFlowGraph::TGraph::SetInterpolatedColor(",
      //
      "uKVFlowGraph::TFlowGraph::TFlowGraph(", "uKVFlowGraph::TFlowGraph::~TFlowGraph()",
      "uKVFlowGraph::TFlowGraph::AddGraph()", "uKVFlowGraph::TFlowGraph::GetGraph(int)",
      "uKVFlowGraph::TFlowGraph::Tidy()", "uKVFlowGraph::TFlowGraph::ReCalcRect()",
      "uKVFlowGraph::TFlowGraph::ReCalcXScale()", "uKVFlowGraph::TFlowGraph::ReCalcYScale()",
      "uKVFlowGraph::TFlowGraph::Y2Screen(double)", "uKVFlowGraph::TFlowGraph::RePaint()",
      "uKVFlowGraph::TFlowGraph::DrawLimits()", "uKVFlowGraph::TFlowGraph::DrawGraph(int)",
      "uKVFlowGraph::TFlowGraph::DrawAxisDescription()", "uKVFlowGraph::TFlowGraph::RRenderText(",
      "uKVFlowGraph::TFlowGraph::SetDestRect(", "uKVFlowGraph::TFlowGraph::SetYAxisPos(int)",
      "uKVFlowGraph::TFlowGraph::SetXAxisDecriptionVisible(bool)",
      "uKVFlowGraph::TFlowGraph::SetVisibleLimits(", "uKVFlowGraph::TFlowGraph::SetUpperLimit(double)",
      "uKVFlowGraph::TFlowGraph::SetLowerLimit(double)", "uKVFlowGraph::TFlowGraph::SetTarget(double)",
      "uKVFlowGraph::TFlowGraph::SetLowerTarget(double)", "uKVFlowGraph::TFlowGraph::SetUpperTarget(double)",
      "uKVFlowGraph::TFlowGraph::SetXStep(double)", "uKVFlowGraph::TFlowGraph::SetXPos(double)",
      "uKVFlowGraph::TFlowGraph::SetYScale(double)", "uKVFlowGraph::TFlowGraph::SetDestBmp(",
      "uKVFlowGraph::TFlowGraph::SetAALevel(int)", "uKVFlowGraph::TFlowGraph::SetBackgroundColor(",
      "uKVFlowGraph::TFlowGraph::SetGridColor(", "uKVFlowGraph::TFlowGraph::SetTextColor(",
      "uKVFlowGraph::TFlowGraph::SetLimitColor(", "uKVFlowGraph::TFlowGraph::SetAxisColor(",
      "uKVFlowGraph::TFlowGraph::SetTargetColor(", "uKVFlowGraph::TFlowGraph::SetShowGrid(bool)",
      "uKVFlowGraph::TFlowGraph::SetShow1Value(bool)", "uKVFlowGraph::TFlowGraph::SetYAxisCaption("};
  EXPECT_TRUE(kvtest::exportedByKVLib(operations));
  // The exported enumeration and set: one byte each, bit n for member n, and the member names.
  static_assert(sizeof(TFlowGraphLimit) == 1 && sizeof(TFlowGraphLimitSet) == 1);
  EXPECT_EQ(std::bit_cast<std::uint8_t>(TFlowGraphLimitSet{fgUpper, fgLower}), 0x09);
  EXPECT_EQ(std::bit_cast<std::uint8_t>(TFlowGraphLimitSet{fgUpperTarget, fgLowerTarget}), 0x06);
  EXPECT_EQ(kvEnumNames(TFlowGraphLimit{}),
            (std::vector<std::string>{"fgUpper", "fgUpperTarget", "fgLowerTarget", "fgLower"}));
}
