#include "kvchart.h"

#include "ChartFormat.h"
#include "Platform/Rtl/Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>

namespace kvchart {

namespace {

using namespace kv::platform;
namespace g32 = kv::platform::Graphics32;
using ChartFormat::formatDate;
using ChartFormat::formatNumber;

TSize textExtent(HDC dc, const std::string& text) {
  TSize size;
  GetTextExtentPointA(dc, text.c_str(), int(text.size()), &size);
  return size;
}

void textOut(HDC dc, int x, int y, const std::string& text) {
  TextOutA(dc, x, y, text.c_str(), int(text.size()));
}

void segment(HDC dc, int x1, int y1, int x2, int y2) {
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}

} // namespace

// ---- TChartLine ----

TChartLine::TChartLine() = default;

TChartLine::~TChartLine() { dropPen(); }

void TChartLine::dropPen() {
  if (!PenHeld) return;
  kv::platform::DeleteObject(Pen);
  Pen = 0;
  PenHeld = false;
}

HPEN TChartLine::GetPen() {
  if (!PenHeld) {
    Pen = kv::platform::CreatePen(kv::platform::PS_SOLID, Width, Color);
    PenHeld = Pen != 0;
  }
  return Pen;
}

void TChartLine::SetPen(HPEN Value) {
  dropPen();
  // Adopting no pen leaves none held, so the next GetPen makes one again.
  Pen = Value;
  PenHeld = Value != 0;
}

void TChartLine::SetColor(TColor Value) {
  Color = Value;
  Color32 = g32::Color32(Value);
  dropPen();
}

void TChartLine::SetColor32(TColor32 Value) {
  Color32 = Value;
  Color = g32::WinColor(Value);
  dropPen();
}

void TChartLine::SetWidth(int32_t Value) {
  Width = Value;
  dropPen();
}

void TChartLine::SetStyle(TChartLineStyle Value) { Style = Value; }

// ---- TChartSample ----

TChartSample::TChartSample(TDateTime ADate, double Value)
    : Min(Value), Average(Value), Max(Value), ValueCount(1), Values{Value}, Date(ADate) {}

void TChartSample::AddValue(double Value) {
  Values.push_back(Value);
  ValueCount = int32_t(Values.size());
  Calc();
}

void TChartSample::Calc() {
  Average = 0;
  Max = -2147483647.0;
  Min = 2147483647.0;
  for (const double v : Values) {
    if (v > Max) Max = v;
    if (v < Min) Min = v;
    Average += v;
  }
  if (ValueCount != 0) Average /= ValueCount;
}

double TChartSample::GetValues(int32_t Index) const {
  if (Index < 0 || Index >= ValueCount || std::size_t(Index) >= Values.size()) return 0.0;
  return Values[std::size_t(Index)];
}

void TChartSample::SetValues(int32_t Index, double Value) {
  if (Index >= 0 && Index < ValueCount && std::size_t(Index) < Values.size())
    Values[std::size_t(Index)] = Value;
  Calc();
}

void TChartSample::SetDate(TDateTime Value) { Date = Value; }

// ---- TChartGraph ----

TChartGraph::TChartGraph() : TObjectList(true), GraphPen(new TChartLine) {}

TChartGraph::~TChartGraph() {
  Clear();
  delete GraphPen;
}

void TChartGraph::fold(const TChartSample& s) {
  if (s.Date > MaxDate) MaxDate = s.Date;
  if (s.Date < MinDate) MinDate = s.Date;
  if (s.Average > MaxValue) MaxValue = s.Average;
  if (s.Average < MinValue) MinValue = s.Average;
}

void TChartGraph::AddSample(TChartSample* ASample) {
  if (!ASample) return;
  Add(ASample);
  fold(*ASample);
}

TChartSample* TChartGraph::FindSample(TDateTime ADate) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (TChartSample* s = Sample(i); s && s->Date == ADate) return s;
  return nullptr;
}

void TChartGraph::RecalcLimits() {
  MaxValue = -2147483647.0;
  MinValue = 2147483647.0;
  MaxDate = kFirstJanuary1900;
  MinDate = kFirstJanuary3000;
  for (int32_t i = 0; i < Count(); ++i)
    if (const TChartSample* s = Sample(i)) fold(*s);
}

void TChartGraph::SetGraphPen(TChartLine* Value) {
  if (Value) GraphPen = Value;
}

void TChartGraph::SetTitle(const std::string& Value) { Title = Value; }

// ---- TDateChart ----

TDateChart::TDateChart()
    : AxisPen(new TChartLine), GridPen(new TChartLine), TargetPen(new TChartLine), LimitPen(new TChartLine),
      Graphs(new TObjectList(true)) {
  GridPen->SetColor(0x00C0C0C0);
  TargetPen->SetColor(0x00008000);
  LimitPen->SetColor(0x000000FF);
  ownFont_ = new TFont;
  ownFont_->SetName("Ms Sans Serife");
  ownFont_->SetSize(8);
  Font = ownFont_;
  Graphs->Add(new TChartGraph);
}

TDateChart::~TDateChart() {
  delete Graphs;
  // A host may have handed one line to two of the pen setters; each line goes once.
  TChartLine* pens[] = {AxisPen, GridPen, TargetPen, LimitPen};
  for (std::size_t i = 0; i < std::size(pens); ++i)
    if (std::find(pens, pens + i, pens[i]) == pens + i) delete pens[i];
  delete ownFont_;
}

void TDateChart::SetAxisPen(TChartLine* Value) {
  if (Value) AxisPen = Value;
}
void TDateChart::SetGridPen(TChartLine* Value) {
  if (Value) GridPen = Value;
}
void TDateChart::SetLimitPen(TChartLine* Value) {
  if (Value) LimitPen = Value;
}
void TDateChart::SetTargetPen(TChartLine* Value) {
  if (Value) TargetPen = Value;
}
void TDateChart::SetFont(TFont* Value) {
  if (Value) Font = Value;
}

void TDateChart::SetAALevel(int32_t Value) { AALevel = Value; }
void TDateChart::SetBGColor(TColor Value) { BGColor = Value; }
void TDateChart::SetBorder(const TRect& Value) { Border = Value; }
void TDateChart::SetBottomValue(double Value) { BottomValue = Value; }
void TDateChart::SetBounds(const TRect& Value) { Bounds = Value; }
void TDateChart::SetCenterValue(double Value) { CenterValue = Value; }
void TDateChart::SetCenterYValue(double Value) { CenterYValue = Value; }
void TDateChart::SetCurrentMarkColor(TColor32 Value) { CurrentMarkColor = Value; }
void TDateChart::SetCurrentX(TDateTime Value) { CurrentX = Value; }
void TDateChart::SetCustXScale(double Value) { CustXScale = Value; }
void TDateChart::SetCustYScale(double Value) { CustYScale = Value; }
void TDateChart::SetDataPointSize(int32_t Value) { DataPointSize = Value; }
void TDateChart::SetDrawTitle(bool Value) { DrawTitle = Value; }
void TDateChart::SetDrawXDescription(bool Value) { DrawXDescription = Value; }
void TDateChart::SetDrawXGrid(bool Value) { DrawXGrid = Value; }
void TDateChart::SetGraphBGColor(TColor Value) { GraphBGColor = Value; }
void TDateChart::SetLimits(TChartLimits Value) { Limits = Value; }
void TDateChart::SetLowerLimitValue(double Value) { LowerLimitValue = Value; }
void TDateChart::SetPaintAverage(bool Value) { PaintAverage = Value; }
void TDateChart::SetPaintPoints(bool Value) { PaintPoints = Value; }
void TDateChart::SetPaintTarget(bool Value) { PaintTarget = Value; }
void TDateChart::SetScaleOverhang(double Value) { ScaleOverhang = Value; }
void TDateChart::SetScaleType(TDCScaleType Value) { ScaleType = Value; }
void TDateChart::SetTargetValue(double Value) { TargetValue = Value; }
void TDateChart::SetTitle(const std::string& Value) { Title = Value; }
void TDateChart::SetTopValue(double Value) { TopValue = Value; }
void TDateChart::SetUpperLimitValue(double Value) { UpperLimitValue = Value; }
void TDateChart::SetXStartValue(TDateTime Value) { XStartValue = Value; }
void TDateChart::SetXStep(double Value) { XStep = Value; }

int32_t TDateChart::AddGraph(const std::string& ATitle) {
  auto* graph = new TChartGraph;
  graph->Title = ATitle;
  return Graphs->Add(graph);
}

void TDateChart::AddSample(int32_t GraphIndex, TDateTime Date, double Value) {
  if (GraphIndex < 0 || GraphIndex >= Graphs->Count()) return;
  TChartGraph* graph = Graph(GraphIndex);
  if (TChartSample* s = graph->FindSample(Date))
    s->AddValue(Value);
  else
    graph->Add(new TChartSample(Date, Value));
}

void TDateChart::AddSample(TDateTime Date, double Value) { AddSample(0, Date, Value); }

void TDateChart::Clear() {
  MaxValue = -2147483647.0;
  MinValue = 2147483647.0;
  MinDate = kFirstJanuary3000;
  MaxDate = kFirstJanuary1900;
  delete Graphs;
  Graphs = new TObjectList(true);
  Graphs->Add(new TChartGraph);
}

void TDateChart::RecalcLimits() {
  MaxValue = -2147483647.0;
  MinValue = 2147483647.0;
  MaxDate = kFirstJanuary1900;
  MinDate = kFirstJanuary3000;
  for (int32_t i = 0; i < Graphs->Count(); ++i) {
    TChartGraph* graph = Graph(i);
    if (!graph) continue;
    graph->RecalcLimits();
    if (graph->MaxDate > MaxDate) MaxDate = graph->MaxDate;
    if (graph->MinDate < MinDate) MinDate = graph->MinDate;
    if (graph->MaxValue > MaxValue) MaxValue = graph->MaxValue;
    if (graph->MinValue < MinValue) MinValue = graph->MinValue;
  }
  double top, bottom, centre;
  switch (ScaleType) {
  case dcsMaxValues:
    top = MaxValue, bottom = MinValue, centre = (top + bottom) / 2;
    break;
  case dcsTopLimit:
    top = UpperLimitValue, bottom = MinValue, centre = (top + bottom) / 2;
    break;
  case dcsBottomLimit:
    top = MaxValue, bottom = LowerLimitValue, centre = (top + bottom) / 2;
    break;
  case dcsBothLimits:
    top = UpperLimitValue, bottom = LowerLimitValue, centre = TargetValue;
    break;
  default:
    return;
  }
  double range = top - bottom;
  if (std::fabs(range) < 0.00001) range = 1.0;
  const double t = range * ScaleOverhang;
  range = 2.0 * t + range;
  const TRect r = plotRect();
  YScale = double(int64_t(r.Bottom) - r.Top) / range;
  if (!std::isfinite(YScale)) YScale = 1.0;
  CenterYValue = centre;
  YOffset = RoundToInt((CenterYValue - range / 2) * YScale);
}

TRect TDateChart::plotRect() const {
  return {saturate(int64_t(Bounds.Left) + Border.Left), saturate(int64_t(Bounds.Top) + Border.Top),
          saturate(int64_t(Bounds.Right) - Border.Right), saturate(int64_t(Bounds.Bottom) - Border.Bottom)};
}

int32_t TDateChart::xPix(TDateTime Date) const {
  const double s = XStartValue;
  const double d = s + (Date - s) * CustXScale;
  return RoundToInt((d - s) * XStep + double(int64_t(Bounds.Left) + Border.Left));
}

TDateTime TDateChart::xValueAt(int32_t X, int32_t) const {
  const double s = XStartValue;
  const double t = double(int64_t(X) - Bounds.Left - Border.Left) / XStep + s;
  const double result = (t - s) / CustXScale + s;
  return std::isfinite(t) && std::isfinite(result) ? result : kFirstJanuary1900;
}

int32_t TDateChart::yPix(double Value) const {
  const double c = CenterYValue;
  const double v = c + (Value - c) * CustYScale;
  return saturate(int64_t(Bounds.Bottom) - Border.Bottom - RoundToInt(v * YScale) + YOffset);
}

double TDateChart::yValueAt(int32_t, int32_t Y) const {
  const double c = CenterYValue;
  const double t = double(int64_t(Bounds.Bottom) - Border.Bottom + YOffset - Y) / YScale;
  const double result = (t - c) / CustYScale + c;
  return std::isfinite(t) && std::isfinite(result) ? result : 0.0;
}

int32_t TDateChart::totalSamples() const {
  int64_t total = 0;
  for (int32_t i = 0; i < Graphs->Count(); ++i)
    if (const TChartGraph* graph = Graph(i)) total += graph->Count();
  return saturate(total);
}

// The smallest number of days whose pixel distance from the first date reaches minGap.
// The distance never shrinks as the step grows, so a doubling search followed by halving
// finds the same step as counting up one by one, without counting for ever when a day is
// no pixel wide. 0: no step reaches the gap (days of no width, or of negative width).
int32_t TDateChart::dayStep(int32_t minGap) const {
  const double dayWidth = XStep * CustXScale;
  if (!(dayWidth > 0.0) || !std::isfinite(dayWidth)) return 0;
  const double d0 = XStartValue + 1;
  const int64_t x0 = xPix(d0);
  auto enough = [&](int64_t step) { return int64_t(xPix(d0 + double(step))) - x0 >= minGap; };
  constexpr int64_t kMaxStep = std::numeric_limits<int32_t>::max();
  int64_t lo = 1;
  if (enough(lo)) return 1;
  int64_t hi = 2;
  while (!enough(hi)) {
    if (hi >= kMaxStep) return 0;
    lo = hi;
    hi = std::min(hi * 2, kMaxStep);
  }
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    (enough(mid) ? hi : lo) = mid;
  }
  return int32_t(hi);
}

namespace {

// Walks the dates from the first label day by `step` while their column lies left of
// `right` (and, for labels, while the date has not passed `last`), handing over those whose
// column lies within lo..hi, where the target can show them. Columns grow with the date, so
// the walk jumps straight to the first date inside the window and stops at its end: a chart
// whose plot reaches far beyond the target costs no more than one that fits it. The cap ends
// walks whose dates stop moving (a start date so large that adding days changes nothing).
template <class Chart, class F>
void walkDays(const Chart& chart, int32_t step, int32_t right, const TDateTime* last, int64_t lo, int64_t hi,
              F&& f) {
  const double d0 = chart.XStartValue + 1;
  auto dateAt = [&](int64_t k) { return d0 + double(k) * double(step); };
  auto xAt = [&](int64_t k) { return int64_t(chart.xPix(dateAt(k))); };
  int64_t k = 0;
  if (xAt(0) < lo) {
    constexpr int64_t kFar = int64_t(1) << 40;
    int64_t below = 0, above = 1;
    while (xAt(above) < lo) {
      if (above >= kFar) return;
      below = above;
      above *= 2;
    }
    while (above - below > 1) {
      const int64_t mid = below + (above - below) / 2;
      (xAt(mid) < lo ? below : above) = mid;
    }
    k = above;
  }
  const int64_t end = std::min<int64_t>(right, hi + 1);
  const int64_t cap = 2 * std::max<int64_t>(0, end - std::max(xAt(k), lo)) + 16;
  for (int64_t n = 0; n < cap; ++n, ++k) {
    const double d = dateAt(k);
    const int64_t x = chart.xPix(d);
    if (x >= end || (last && !(d <= *last))) break;
    f(d, int32_t(x));
  }
}

// One step of a graph from a sample to the next, in pixels: with averages y1 and y2 are the
// averages; otherwise top1 and top2 are the maxima and y1 and y2 the minima of the bars.
struct GraphStep {
  int32_t x1, x2, top1, top2, y1, y2;
  bool last;    // the step to the graph's last sample
  bool visible; // the step meets the columns of the plot
};

// Hands every step between two samples of the graph to f, for the screen and the printer alike.
template <class Chart, class Graph, class F>
void forEachStep(const Chart& chart, const Graph& graph, const TRect& r, F&& f) {
  const int32_t n = graph.Count();
  for (int32_t i = 0; i + 1 < n; ++i) {
    const TChartSample* s1 = graph.Sample(i);
    const TChartSample* s2 = graph.Sample(i + 1);
    if (!s1 || !s2) continue;
    GraphStep step{};
    step.last = i == n - 2;
    step.x1 = chart.xPix(s1->Date);
    step.x2 = chart.xPix(s2->Date);
    step.visible = (step.x1 >= r.Left && step.x1 <= r.Right) || (step.x2 >= r.Left && step.x2 <= r.Right) ||
                   (step.x1 <= r.Left && step.x2 >= r.Right);
    if (chart.PaintAverage) {
      step.y1 = chart.yPix(s1->Average);
      step.y2 = chart.yPix(s2->Average);
    } else {
      step.top1 = chart.yPix(s1->Max);
      step.top2 = chart.yPix(s2->Max);
      step.y1 = chart.yPix(s1->Min);
      step.y2 = chart.yPix(s2->Min);
    }
    f(step);
  }
}

} // namespace

// The lines across the plot, painted and printed alike: the upper limit (else the grid line of
// the highest value), the lower limit (else the lowest), and the target when it is shown.
void TDateChart::forEachAcross(const std::function<void(double, TChartLine&)>& across) const {
  if (Limits.Contains(clUpper))
    across(UpperLimitValue, *LimitPen);
  else
    across(MaxValue, *GridPen);
  if (Limits.Contains(clLower))
    across(LowerLimitValue, *LimitPen);
  else
    across(MinValue, *GridPen);
  if (PaintTarget) across(TargetValue, *TargetPen);
}

void TDateChart::Paint(TBitmap32* Bitmap) {
  if (!Bitmap) return;
  TBitmap32& b = *Bitmap;
  // A bitmap has the screen's resolution.
  b.Font.Assign(logFontOf(Font->InfoAt(96)), Font->Color());
  const TRect r = plotRect();

  b.FillRectS(Bounds.Left, Bounds.Top, Bounds.Right, Bounds.Bottom, g32::Color32(BGColor));
  b.FillRectS(r.Left, r.Top, r.Right, r.Bottom, g32::Color32(GraphBGColor));

  b.LineS(r.Left, r.Top, r.Left, r.Bottom, AxisPen->Color32, false);
  b.LineS(r.Left, r.Bottom, r.Right, r.Bottom, AxisPen->Color32, false);

  forEachAcross([&](double value, TChartLine& line) {
    const int32_t y = yPix(value);
    b.LineS(r.Left, y, r.Right, y, line.Color32, false);
  });

  const int32_t total = totalSamples();
  if (total > 0 && DrawXGrid) {
    if (const int32_t step = dayStep(b.TextHeight("01.01.")))
      walkDays(*this, step, r.Right, nullptr, 0, int64_t(b.Width()) - 1,
               [&](TDateTime, int32_t x) { b.LineS(x, r.Top, x, r.Bottom, GridPen->Color32, false); });
  }

  for (int32_t i = 0; i < Graphs->Count(); ++i)
    if (const TChartGraph* graph = Graph(i)) paintGraph(b, *graph, r);

  b.FillRectTS(xPix(CurrentX - 0.5), r.Top, xPix(CurrentX + 0.5), r.Bottom, CurrentMarkColor);

  const TColor32 bg = g32::Color32(BGColor);
  auto fillBottom = [&] {
    if (Border.Bottom > 0)
      b.FillRectS(Bounds.Left, saturate(int64_t(r.Bottom) + 1), Bounds.Right, Bounds.Bottom, bg);
  };
  auto fillTop = [&] {
    if (Border.Top > 0) b.FillRectS(Bounds.Left, Bounds.Top, Bounds.Right, r.Top, bg);
  };
  if (Border.Left > 0) b.FillRectS(Bounds.Left, Bounds.Top, r.Left, Bounds.Bottom, bg);
  if (Border.Right > 0)
    b.FillRectS(saturate(int64_t(r.Right) + 1), Bounds.Top, Bounds.Right, Bounds.Bottom, bg);
  fillBottom();
  fillTop();

  if (total > 0) {
    auto label = [&](double value) {
      const std::string text = formatNumber(value);
      const int64_t x = int64_t(r.Left) - 4 - b.TextWidth(text);
      b.Textout(saturate(x), saturate(int64_t(yPix(value)) - b.TextHeight(text) / 2), text);
    };
    if (PaintTarget) label(TargetValue);
    label(Limits.Contains(clUpper) ? UpperLimitValue : MaxValue);
    label(Limits.Contains(clLower) ? LowerLimitValue : MinValue);
    fillBottom();
    fillTop();
    if (DrawXDescription) paintDateStrip(b, r);
  }

  if (DrawTitle) b.Textout(2, 2, Title);
}

void TDateChart::paintGraph(TBitmap32& b, const TChartGraph& graph, const TRect& r) const {
  const int32_t n = graph.Count();
  if (n < 2) return;
  const TColor32 c = graph.GraphPen->Color32;
  const int64_t d = DataPointSize;
  auto point = [&](int32_t x, int32_t y) {
    b.FillRectS(saturate(x - d), saturate(y - d), saturate(x + d), saturate(y + d), c);
  };
  auto line = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    b.LineFS(float(x1), float(y1), float(x2), float(y2), c, false);
  };
  forEachStep(*this, graph, r, [&](const GraphStep& s) {
    if (PaintAverage) {
      if (s.visible) line(s.x1, s.y1, s.x2, s.y2);
      if (PaintPoints) {
        point(s.x1, s.y1);
        if (s.last) point(s.x2, s.y2);
      }
      return;
    }
    if (s.visible) line(s.x1, s.top1, s.x2, s.top2);
    if (PaintPoints) {
      point(s.x1, s.top1);
      if (s.last) point(s.x2, s.top2);
    }
    if (s.visible) {
      line(s.x1, s.y1, s.x2, s.y2);
      line(s.x1, s.top1, s.x1, s.y1);
      // The last sample gets its bar too, not only its points.
      if (s.last) line(s.x2, s.top2, s.x2, s.y2);
    }
    if (PaintPoints) {
      point(s.x1, s.y1);
      if (s.last) point(s.x2, s.y2);
    }
  });
}

// The date labels are written upright into a label bitmap (Border.Bottom wide, as high as
// the target is wide) and turned a quarter to the left into the strip below the plot: label
// point (x, y) lands on strip point (y, Border.Bottom - 2 - x). Only the strip rows that
// land on the target are made, so a huge bottom border costs no more than a small one.
void TDateChart::paintDateStrip(TBitmap32& b, const TRect& r) const {
  const int64_t w = Border.Bottom; // strip height and label bitmap width
  const int64_t stripTop = int64_t(r.Bottom) + 1;
  const int64_t syLo = std::max<int64_t>(0, -stripTop);
  const int64_t syHi = std::min<int64_t>(w, int64_t(b.Height()) - stripTop);
  // Label columns that feed the visible strip rows; column w - 1 never reaches the strip.
  const int64_t xA = std::max<int64_t>(0, w - 1 - syHi);
  const int64_t xB = std::min<int64_t>(w, w - 1 - syLo);
  if (syHi > syLo && b.Width() > 0) {
    TBitmap32 labels;
    labels.Font = b.Font;
    labels.SetSize(int(std::max<int64_t>(0, xB - xA)), b.Width());
    labels.Clear(g32::Color32(BGColor));
    const int32_t gap = RoundToInt(4.0 * labels.TextHeight("01.01.") / 5.0);
    const int32_t half = gap / 2;
    const int64_t textHeight = labels.TextHeight("01.01.");
    if (const int32_t step = dayStep(gap))
      walkDays(*this, step, r.Right, &MaxDate, int64_t(half) - textHeight, int64_t(labels.Height()) + half,
               [&](TDateTime d, int32_t x) {
                 labels.Textout(int(2 - xA), saturate(int64_t(x) - half), formatDate(d, false));
               });
    TBitmap32 strip(b.Width(), int(syHi - syLo));
    if (labels.Width() > 0 && labels.Height() > 0) {
      g32::TAffineTransformation t;
      t.SetSrcRect(g32::FloatRect(0, 0, float(labels.Width()), float(labels.Height())));
      t.Clear();
      const float centre = float(double(w - 2 - syLo - xA) / 2.0);
      t.Rotate(centre, centre, 90);
      g32::Transform(strip, labels, t);
    }
    strip.DrawTo(b, 0, int(stripTop + syLo));
  }
  if (XStartValue + 1 <= CurrentX)
    b.FillRectTS(xPix(CurrentX - 0.5), r.Bottom, xPix(CurrentX + 0.5), Bounds.Bottom, CurrentMarkColor);
}

void TDateChart::Print(HDC DC) {
  // The chart's font at the device's own resolution: its points are as large on paper as on
  // the screen.
  const LOGFONTA font = logFontOf(Font->InfoAt(GetDeviceCaps(DC, LOGPIXELSY)));
  const HFONT printFont = CreateFontIndirectA(font);
  const HGDIOBJ oldFont = SelectObject(DC, printFont);
  const TRect r = plotRect();

  const HGDIOBJ oldPen = SelectObject(DC, AxisPen->GetPen());
  segment(DC, r.Left, r.Top, r.Left, r.Bottom);
  segment(DC, r.Left, r.Bottom, r.Right, r.Bottom);

  forEachAcross([&](double value, TChartLine& line) {
    SelectObject(DC, line.GetPen());
    const int32_t y = yPix(value);
    segment(DC, r.Left, y, r.Right, y);
  });

  const bool labelled = Graphs->Count() > 0 && Graph(0) && Graph(0)->Count() >= 2;
  if (labelled) printDateLabels(DC, r, saturate(std::llabs(int64_t(font.lfHeight))));

  for (int32_t i = 0; i < Graphs->Count(); ++i)
    if (TChartGraph* graph = Graph(i)) printGraph(DC, *graph, r);

  if (labelled) {
    const unsigned oldAlign = SetTextAlign(DC, TA_LEFT | TA_TOP);
    auto label = [&](double value) {
      const std::string text = formatNumber(value) + " ";
      const TSize size = textExtent(DC, text);
      textOut(DC, saturate(int64_t(r.Left) - 4 - size.cx), saturate(int64_t(yPix(value)) - size.cy / 2),
              text);
    };
    if (PaintTarget) label(TargetValue);
    label(Limits.Contains(clUpper) ? UpperLimitValue : MaxValue);
    label(Limits.Contains(clLower) ? LowerLimitValue : MinValue);
    SetTextAlign(DC, oldAlign);
  }

  // The host gets its context back with the pen and font it had.
  if (oldPen) SelectObject(DC, oldPen);
  if (oldFont) SelectObject(DC, oldFont);
  DeleteObject(printFont);
}

void TDateChart::printDateLabels(HDC dc, const TRect& r, int32_t height) const {
  const HFONT rotated = CreateFontA(height, 0, 900, 0, 400, 0, 0, 0, 1, 2, 0, 2, 2, Font->Name().c_str());
  const HGDIOBJ previousFont = SelectObject(dc, rotated);
  const unsigned previousAlign = SetTextAlign(dc, TA_RIGHT | TA_TOP);
  const int32_t gap = textExtent(dc, "01.01.").cy;
  const int32_t step = dayStep(gap);
  // Only columns that can reach the device's clip box are worth a call.
  int64_t lo = std::numeric_limits<int64_t>::min() / 4, hi = std::numeric_limits<int64_t>::max() / 4;
  TRect box;
  if (const DeviceContext* c = DeviceContext::fromHandle(dc);
      c && c->GetClipBox(&box) != RGN_ERROR && box.Right > box.Left) {
    const int64_t margin = 2 * int64_t(std::abs(gap)) + 2 * int64_t(std::abs(GridPen->Width)) + 16;
    lo = int64_t(box.Left) - margin;
    hi = int64_t(box.Right) + margin;
  }
  if (DrawXDescription && step) {
    const int32_t half = gap / 2;
    const int32_t blank = textExtent(dc, " ").cx;
    walkDays(*this, step, r.Right, &MaxDate, lo, hi, [&](TDateTime d, int32_t x) {
      textOut(dc, saturate(int64_t(x) - half), saturate(int64_t(r.Bottom) + blank), formatDate(d, false));
    });
  }
  if (DrawXGrid && step) {
    SelectObject(dc, GridPen->GetPen());
    walkDays(*this, step, r.Right, nullptr, lo, hi,
             [&](TDateTime, int32_t x) { segment(dc, x, r.Top, x, r.Bottom); });
  }
  SelectObject(dc, previousFont);
  SetTextAlign(dc, previousAlign);
  DeleteObject(rotated);
}

void TDateChart::printGraph(HDC dc, TChartGraph& graph, const TRect& r) const {
  TPoint origin;
  GetWindowOrgEx(dc, &origin);
  const HRGN clip =
      CreateRectRgn(saturate(int64_t(r.Left) - origin.X), saturate(int64_t(r.Top) - origin.Y),
                    saturate(int64_t(r.Right) - origin.X), saturate(int64_t(r.Bottom) - origin.Y));
  SelectClipRgn(dc, clip);
  DeleteObject(clip);
  SelectObject(dc, graph.GraphPen->GetPen());

  const int64_t d = DataPointSize;
  auto point = [&](int32_t x, int32_t y) {
    Ellipse(dc, saturate(x - d), saturate(y - d), saturate(x + d), saturate(y + d));
  };
  forEachStep(*this, graph, r, [&](const GraphStep& s) {
    if (PaintAverage) {
      if (s.visible) segment(dc, s.x1, s.y1, s.x2, s.y2);
      if (PaintPoints) {
        point(s.x1, s.y1);
        if (s.last) point(s.x2, s.y2);
      }
      return;
    }
    if (s.visible) {
      segment(dc, s.x1, s.top1, s.x2, s.top2);
      segment(dc, s.x1, s.y1, s.x2, s.y2);
      segment(dc, s.x1, s.top1, s.x1, s.y1);
      if (s.last) segment(dc, s.x2, s.top2, s.x2, s.y2);
    }
    if (PaintPoints) {
      point(s.x1, s.top1);
      if (s.last) point(s.x2, s.top2);
      point(s.x1, s.y1);
      if (s.last) point(s.x2, s.y2);
    }
  });
  SelectClipRgn(dc, 0);
}

} // namespace kvchart
