#include "uKVFlowGraph.h"

#include "ChartFormat.h"
#include "Platform/Rtl/Rounding.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace uKVFlowGraph {

namespace {

using namespace kv::platform;

// Days from 0001-01-01 to 9999-12-31: no two dates lie further apart than this.
constexpr double kCalendarDays = 3652059.0;

int compareDates(void* item1, void* item2) {
  const auto* a = static_cast<TFlowGraphSample*>(item1);
  const auto* b = static_cast<TFlowGraphSample*>(item2);
  if (!a || !b) return 0;
  if (a->Date < b->Date) return -1;
  if (a->Date > b->Date) return 1;
  return 0;
}

// Calls f(i, x) for the columns i of first..last whose x = colX(i) lies within lo..hi,
// where x never decreases as i grows; of several columns on one pixel only the first.
// The searches halve their way to the next column, so a day step far below a pixel (or
// zero) costs a few steps per pixel column instead of one per day.
template <class X, class F>
void visitColumns(int64_t first, int64_t last, int64_t lo, int64_t hi, X colX, F f) {
  // The smallest i of from..last with colX(i) >= bound, or last + 1.
  auto firstAtLeast = [&](int64_t from, int64_t bound) {
    if (from > last) return last + 1;
    if (colX(from) >= bound) return from;
    int64_t below = from, above, step = 1;
    for (;;) {
      above = below + step;
      if (above > last) {
        above = last + 1;
        break;
      }
      if (colX(above) >= bound) break;
      below = above;
      step *= 2;
    }
    while (above - below > 1) {
      const int64_t mid = below + (above - below) / 2;
      (colX(mid) >= bound ? above : below) = mid;
    }
    return above;
  };
  for (int64_t i = firstAtLeast(first, lo); i <= last;) {
    const int64_t x = colX(i);
    if (x > hi) break;
    f(i, x);
    i = firstAtLeast(i + 1, x + 1);
  }
}

// The same for any sign of the day step: with a negative step x falls as i grows.
template <class X, class F>
void visitColumnsAnyWay(double step, int64_t first, int64_t last, int64_t lo, int64_t hi, X colX, F f) {
  if (step >= 0 || std::isnan(step))
    visitColumns(first, last, lo, hi, colX, f);
  else
    visitColumns(
        first, last, -hi, -lo, [&](int64_t i) { return -colX(i); }, [&](int64_t i, int64_t x) { f(i, -x); });
}

} // namespace

// ---- TFlowGraphSample ----

TFlowGraphSample::TFlowGraphSample(TDateTime ADate, double Value, bool AInterpolated)
    : Date(std::trunc(ADate)), Values{Value}, Count(1), Average(Value), Max(Value), Min(Value),
      Interpolated(AInterpolated), Visible(true) {}

TFlowGraphSample::TFlowGraphSample(TDateTime ADate) : TFlowGraphSample(ADate, 0.0, false) { Visible = false; }

void TFlowGraphSample::Add(double Value) {
  Values.push_back(Value);
  Count = int32_t(Values.size());
  double sum = 0;
  for (const double v : Values) {
    Min = std::min(v, Min);
    Max = std::max(v, Max);
    sum += v;
  }
  Average = sum / Count;
}

double TFlowGraphSample::GetValues(int32_t Index) const {
  if (Index < 0 || std::size_t(Index) >= Values.size()) return 0.0;
  return Values[std::size_t(Index)];
}

void TFlowGraphSample::SetVisible(bool Value) { Visible = Value; }

// ---- TFlowGraphSampleList ----

TFlowGraphSampleList::TFlowGraphSampleList() : Items(new TObjectList(true)) {}

TFlowGraphSampleList::~TFlowGraphSampleList() { delete Items; }

void TFlowGraphSampleList::Add(TDateTime Date, double Value, bool Visible) {
  TFlowGraphSample* match = nullptr;
  for (int32_t i = 0; i < Items->Count() && !match; ++i)
    if (TFlowGraphSample* s = Item(i); s && s->Date == Date) match = s;
  if (match) {
    match->Add(Value);
  } else {
    auto* sample = new TFlowGraphSample(Date, Value, false);
    sample->Visible = Visible;
    Items->Add(sample);
    MinDate = std::min(Date, MinDate);
    MaxDate = std::max(Date, MaxDate);
  }
  MinValue = std::min(Value, MinValue);
  MaxValue = std::max(Value, MaxValue);
}

void TFlowGraphSampleList::Clear() {
  Items->Clear();
  MinDate = 2147483647.0;
  MaxDate = 0.0;
  MinValue = 2147483647.0;
  MaxValue = 0.0;
}

int32_t TFlowGraphSampleList::GetCount() const { return Items->Count(); }

TFlowGraphSample* TFlowGraphSampleList::GetItems(TDateTime Date) const {
  if (!(Date >= MinDate && Date <= MaxDate)) return nullptr;
  const double index = std::trunc(Date) - std::trunc(MinDate);
  return Item(saturate(int64_t(std::clamp(index, -1.0e15, 1.0e15))));
}

void TFlowGraphSampleList::SetItems(TDateTime, TFlowGraphSample*) {}

void TFlowGraphSampleList::Sort() { Items->Sort(compareDates); }

void TFlowGraphSampleList::Normalize() {
  Sort();
  const int32_t n = Items->Count();
  if (n <= 1) return;
  // Count the days to fill first: a gap of millions of days is no data a chart can show,
  // and filling it would take all the memory there is.
  double missing = 0;
  for (int32_t i = 1; i < n; ++i) {
    const double gap = std::trunc(Item(i)->Date) - std::trunc(Item(i - 1)->Date);
    if (gap > 1) missing += gap - 1;
  }
  if (missing > kCalendarDays)
    throw EOutOfMemory("Too many days to fill between the samples of a flow graph");
  for (int32_t i = 1; i < n; ++i) {
    const TFlowGraphSample* previous = Item(i - 1);
    const TFlowGraphSample* current = Item(i);
    const double gap = std::trunc(current->Date) - std::trunc(previous->Date);
    if (!(gap > 1)) continue;
    const double step = (current->Average - previous->Average) / gap;
    double v = previous->Average;
    const auto days = int64_t(gap);
    for (int64_t k = 1; k <= days - 1; ++k) {
      v = v + step;
      Items->Add(new TFlowGraphSample(previous->Date + double(k), v, true));
    }
  }
  Sort();
}

// ---- TGraph ----

TGraph::TGraph() : Samples(new TFlowGraphSampleList) {}

TGraph::~TGraph() { delete Samples; }

void TGraph::SetColor(TColor32 Value) { Color = Value; }
void TGraph::SetGroupColor(TColor32 Value) { GroupColor = Value; }
void TGraph::SetInterpolatedColor(TColor32 Value) { InterpolatedColor = Value; }

// ---- TFlowGraph ----

TFlowGraph::TFlowGraph(TBitmap32* ADestBmp, const TRect& ADestRect)
    : DestBmp(ADestBmp), DestRect(ADestRect), Graphs(new TObjectList(true)) {
  FontHandle =
      CreateFontA(12, 0, 900, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_MODERN, "Arial");
  if (DestBmp) DestBmp->Font.SetHandle(FontHandle);
}

TFlowGraph::~TFlowGraph() {
  delete Graphs;
  DeleteObject(FontHandle);
}

void TFlowGraph::AddGraph() { Graphs->Add(new TGraph); }

TGraph* TFlowGraph::GetGraph(int32_t Index) const { return static_cast<TGraph*>(Graphs->Get(Index)); }

void TFlowGraph::Tidy() {
  MinDate = 2147483647.0;
  MaxDate = 0.0;
  MinValue = 2147483647.0;
  MaxValue = 0.0;
  for (int32_t i = 0; i < Graphs->Count(); ++i) {
    TFlowGraphSampleList* samples = GetGraph(i)->Samples;
    samples->Normalize();
    MinDate = std::min(samples->MinDate, MinDate);
    MaxDate = std::max(samples->MaxDate, MaxDate);
    MinValue = std::min(samples->MinValue, MinValue);
    MaxValue = std::max(samples->MaxValue, MaxValue);
  }
  XPos = MinDate;
  ReCalcYScale();
  ReCalcXScale();
}

void TFlowGraph::ReCalcRect() {
  PlotRect = DestRect;
  PlotRect.Left = saturate(int64_t(PlotRect.Left) + YAxisPos);
  PlotRect.Top = saturate(int64_t(PlotRect.Top) + 5);
  PlotRect.Bottom = saturate(int64_t(PlotRect.Bottom) - (XAxisDecriptionVisible ? 50 : 5));
  PlotRect.Right = saturate(int64_t(PlotRect.Right) - 5);
  PlotHeight = saturate(int64_t(PlotRect.Bottom) - PlotRect.Top);
}

void TFlowGraph::ReCalcXScale() {
  XCount = saturate(int64_t{RoundToInt(double(int64_t(PlotRect.Right) - PlotRect.Left) / XStep)} + 1);
}

void TFlowGraph::ReCalcYScale() {
  const double top = VisibleLimits.Contains(fgUpper) ? UpperLimit : MaxValue;
  const double bottom = VisibleLimits.Contains(fgLower) ? LowerLimit : MinValue;
  const double range = (top - bottom) * 1.1;
  if (range != 0) YScale = PlotHeight / range;
  YOffset = range * YScale + bottom * YScale;
}

int32_t TFlowGraph::Y2Screen(double Value) const {
  return saturate(int64_t{RoundToInt(YOffset - Value * YScale)} + PlotRect.Top - 5);
}

int64_t TFlowGraph::columnX(int64_t Index) const {
  return int64_t{RoundToInt(double(Index) * XStep)} + DestRect.Left + YAxisPos;
}

void TFlowGraph::SetDestRect(const TRect& Value) {
  DestRect = Value;
  ReCalcRect();
  ReCalcYScale();
  ReCalcXScale();
}

void TFlowGraph::SetYAxisPos(int32_t Value) {
  YAxisPos = Value;
  ReCalcRect();
  ReCalcXScale();
}

void TFlowGraph::SetXAxisDecriptionVisible(bool Value) {
  XAxisDecriptionVisible = Value;
  ReCalcRect();
  ReCalcYScale();
}

void TFlowGraph::SetVisibleLimits(TFlowGraphLimitSet Value) {
  VisibleLimits = Value;
  ReCalcRect();
}

void TFlowGraph::SetUpperLimit(double Value) {
  UpperLimit = Value;
  ReCalcYScale();
}

void TFlowGraph::SetLowerLimit(double Value) {
  LowerLimit = Value;
  ReCalcYScale();
}

void TFlowGraph::SetTarget(double Value) {
  Target = Value;
  ReCalcYScale();
}

void TFlowGraph::SetLowerTarget(double Value) {
  LowerTarget = Value;
  ReCalcYScale();
}

void TFlowGraph::SetXStep(double Value) {
  XStep = Value;
  ReCalcXScale();
}

void TFlowGraph::SetXPos(TDateTime Value) {
  XPos = Value;
  ReCalcXScale();
}

void TFlowGraph::SetUpperTarget(double Value) { UpperTarget = Value; }
void TFlowGraph::SetYScale(double Value) { YScale = Value; }
void TFlowGraph::SetDestBmp(TBitmap32* Value) { DestBmp = Value; }
void TFlowGraph::SetAALevel(int32_t Value) { AALevel = Value; }
void TFlowGraph::SetBackgroundColor(TColor32 Value) { BackgroundColor = Value; }
void TFlowGraph::SetGridColor(TColor32 Value) { GridColor = Value; }
void TFlowGraph::SetTextColor(TColor32 Value) { TextColor = Value; }
void TFlowGraph::SetLimitColor(TColor32 Value) { LimitColor = Value; }
void TFlowGraph::SetAxisColor(TColor32 Value) { AxisColor = Value; }
void TFlowGraph::SetTargetColor(TColor32 Value) { TargetColor = Value; }
void TFlowGraph::SetShowGrid(bool Value) { ShowGrid = Value; }
void TFlowGraph::SetShow1Value(bool Value) { Show1Value = Value; }
void TFlowGraph::SetYAxisCaption(const std::string& Value) { YAxisCaption = Value; }

// ---- painting ----

void TFlowGraph::RePaint() {
  if (!DestBmp) return;
  TBitmap32& b = *DestBmp;
  b.FillRectS(DestRect.Left, DestRect.Top, DestRect.Right, DestRect.Bottom, BackgroundColor);
  if (ShowGrid) {
    const int64_t base = int64_t(DestRect.Left) + YAxisPos;
    const int32_t top = saturate(int64_t(PlotRect.Top) - 5), bottom = saturate(int64_t(PlotRect.Bottom) + 5);
    // Only the columns on the bitmap can show a line.
    visitColumnsAnyWay(
        XStep, 1, int64_t(XCount) - 1, 0, int64_t(b.Width()) - 1,
        [&](int64_t i) { return int64_t{RoundToInt(double(i) * XStep + double(base))}; },
        [&](int64_t, int64_t x) { b.LineAS(int(x), top, int(x), bottom, GridColor, true); });
  }
  DrawLimits();
  for (int32_t i = 0; i < Graphs->Count(); ++i)
    DrawGraph(i);
  if (XAxisDecriptionVisible) DrawAxisDescription();
}

void TFlowGraph::DrawLimits() {
  if (!DestBmp) return;
  TBitmap32& b = *DestBmp;
  b.LineAS(PlotRect.Left, saturate(int64_t(PlotRect.Top) - 5), PlotRect.Left,
           saturate(int64_t(PlotRect.Bottom) + 5), AxisColor, true);
  if (!YAxisCaption.empty()) {
    const int64_t w = b.TextWidth(YAxisCaption);
    b.Textout(2, saturate((int64_t(PlotRect.Bottom) - PlotRect.Top) / 2 + w / 2), YAxisCaption);
  }
  auto line = [&](double value, TColor32 colour) {
    const int32_t y = Y2Screen(value);
    b.LineAS(saturate(int64_t(PlotRect.Left) - 2), y, PlotRect.Right, y, colour, true);
    RRenderText(saturate(int64_t(DestRect.Left) + YAxisPos - 1), saturate(int64_t(y) - 5),
                ChartFormat::formatNumber(value, false), TextColor);
  };
  if (VisibleLimits.Contains(fgUpper)) line(UpperLimit, LimitColor);
  if (VisibleLimits.Contains(fgLower)) line(LowerLimit, LimitColor);
  line(Target, TargetColor);
  if (VisibleLimits.Contains(fgUpperTarget)) line(UpperTarget, TargetColor);
  if (VisibleLimits.Contains(fgLowerTarget)) line(LowerTarget, TargetColor);
}

void TFlowGraph::DrawGraph(int32_t Index) {
  const TGraph* g = GetGraph(Index);
  if (!DestBmp) return;
  TBitmap32& b = *DestBmp;
  const TFlowGraphSampleList& list = *g->Samples;
  // Columns whose day lies outside the list's dates find no sample and change nothing, so
  // the walk covers the list's own days (with a margin for the cut-off fractions) only.
  if (!(list.MinDate <= list.MaxDate)) return;
  const double from = std::floor(list.MinDate - XPos) - 2, to = std::ceil(list.MaxDate - XPos) + 2;
  if (std::isnan(from) || std::isnan(to)) return;
  const int64_t first = std::max<int64_t>(0, int64_t(std::clamp(from, -1.0e15, 1.0e15)));
  const int64_t last = std::min<int64_t>(int64_t(XCount) - 1, int64_t(std::clamp(to, -1.0e15, 1.0e15)));
  int64_t px = 0, py = 0;
  for (int64_t i = first; i <= last; ++i) {
    const int64_t x = columnX(i);
    const double d = std::trunc(XPos + double(i));
    const TFlowGraphSample* s = list.GetItems(d);
    if (!s) continue;
    const int32_t y = Y2Screen(s->Average);
    if (!s->Visible) continue;
    const int32_t cx = saturate(x);
    if (s->Count > 1 && !Show1Value) {
      b.LineAS(cx, Y2Screen(s->Min), cx, Y2Screen(s->Max), g->GroupColor, false);
      for (const double v : s->Values) {
        const int64_t r = Y2Screen(v);
        b.FrameRectS(saturate(x - 2), saturate(r - 2), saturate(x + 2), saturate(r + 2), g->Color);
      }
    }
    if (d != list.MinDate && i != 0 && px != 0 && py != 0) {
      const TFlowGraphSample* before = list.GetItems(d - 1);
      const TColor32 colour =
          (before && before->Interpolated) || s->Interpolated ? g->InterpolatedColor : g->Color;
      b.LineAS(saturate(px), saturate(py), cx, y, colour, false);
    }
    px = x;
    py = y;
    if ((s->Count == 1 || Show1Value) && !s->Interpolated)
      b.FrameRectS(saturate(x - 2), saturate(int64_t(y) - 2), saturate(x + 2), saturate(int64_t(y) + 2),
                   g->Color);
  }
}

void TFlowGraph::DrawAxisDescription() {
  if (!DestBmp) return;
  TBitmap32& b = *DestBmp;
  b.FillRectS(DestRect.Left, saturate(int64_t(PlotRect.Bottom) + 6), DestRect.Right, DestRect.Bottom,
              BackgroundColor);
  const int32_t y = saturate(int64_t(DestRect.Bottom) - 7);
  // A turned label stands right of its point by up to its cell height; only labels that
  // can reach the bitmap are drawn.
  const int64_t margin = 2 * int64_t(b.TextHeight("0")) + 16;
  visitColumnsAnyWay(
      XStep, 0, XCount, -margin, int64_t(b.Width()) + margin, [&](int64_t i) { return columnX(i) - 4; },
      [&](int64_t i, int64_t x) { b.Textout(int(x), y, ChartFormat::formatDate(XPos + double(i), true)); });
}

void TFlowGraph::RRenderText(int32_t X, int32_t Y, const std::string& Text, TColor32 Color) {
  if (!DestBmp) return;
  DestBmp->RenderText(saturate(int64_t(X) - DestBmp->TextWidth(Text)), Y, Text, AALevel, Color);
}

} // namespace uKVFlowGraph
