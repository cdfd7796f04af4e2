// The flow graph: a day-by-day control chart of one or more graphs against limits and
// targets, one column per calendar day, painted onto the host's 32-bit bitmap. Days without
// data between days with data are filled in by linear interpolation before painting.
// Order of use: create, set the destination rectangle, colours, limits and flags, add graphs
// and their samples, Tidy, then RePaint as often as needed.
#pragma once

#include "KVLibExport.h"
#include "Platform/Graphics/GdiObjects.h"
#include "Platform/Graphics/Graphics32.h"
#include "Platform/Rtl/Contnrs.h"
#include "Platform/Rtl/TypInfo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace uKVFlowGraph {

using kv::platform::HFONT;
using kv::platform::TColor32;
using kv::platform::TDateTime;
using kv::platform::TObjectList;
using kv::platform::TRect;
using kv::platform::Graphics32::TBitmap32;

enum class TFlowGraphLimit : std::uint8_t { fgUpper, fgUpperTarget, fgLowerTarget, fgLower };
KV_ENUM_NAMES(TFlowGraphLimit, "fgUpper", "fgUpperTarget", "fgLowerTarget", "fgLower")
inline constexpr auto fgUpper = TFlowGraphLimit::fgUpper;
inline constexpr auto fgUpperTarget = TFlowGraphLimit::fgUpperTarget;
inline constexpr auto fgLowerTarget = TFlowGraphLimit::fgLowerTarget;
inline constexpr auto fgLower = TFlowGraphLimit::fgLower;
using TFlowGraphLimitSet = kv::platform::TSet<TFlowGraphLimit, std::uint8_t>;

// One day of one graph.
class KVLIB_API TFlowGraphSample : public kv::platform::TObject {
public:
  // Date loses its time of day.
  TFlowGraphSample(TDateTime Date, double Value, bool Interpolated);
  // An invisible day holding the value 0.
  explicit TFlowGraphSample(TDateTime Date);
  std::string ClassName() const override { return "TFlowGraphSample"; }

  void Add(double Value);
  // 0.0 for an index outside the values.
  double GetValues(int32_t Index) const;
  void SetVisible(bool Value);

  TDateTime Date = 0;
  std::vector<double> Values;
  int32_t Count = 0;
  double Average = 0;
  double Max = 0;
  double Min = 0;
  bool Interpolated = false;
  bool Visible = true;
};

// The days of one graph.
class KVLIB_API TFlowGraphSampleList : public kv::platform::TObject {
public:
  TFlowGraphSampleList();
  ~TFlowGraphSampleList() override;
  TFlowGraphSampleList(const TFlowGraphSampleList&) = delete;
  TFlowGraphSampleList& operator=(const TFlowGraphSampleList&) = delete;
  std::string ClassName() const override { return "TFlowGraphSampleList"; }

  // Merges Value into the sample whose date equals Date exactly, or starts a new one.
  void Add(TDateTime Date, double Value, bool Visible);
  void Clear();
  int32_t GetCount() const;
  TFlowGraphSample* Item(int32_t Index) const { return static_cast<TFlowGraphSample*>(Items->Get(Index)); }
  // The sample of a day on a list with one sample per day; nullptr outside MinDate..MaxDate.
  // EListError when the list is not like that and the position falls outside it.
  TFlowGraphSample* GetItems(TDateTime Date) const;
  // The write side of the indexed property; it changes nothing.
  void SetItems(TDateTime Date, TFlowGraphSample* Sample);
  // Sorts, then fills every gap between two days with interpolated days. EOutOfMemory,
  // with the list sorted and nothing added, when the gaps span more days than the calendar has.
  void Normalize();
  void Sort();

  TDateTime MinDate = 2147483647.0;
  TDateTime MaxDate = 0.0;
  double MinValue = 2147483647.0;
  double MaxValue = 0.0;
  TObjectList* Items = nullptr;
};

class KVLIB_API TGraph : public kv::platform::TObject {
public:
  TGraph();
  ~TGraph() override;
  TGraph(const TGraph&) = delete;
  TGraph& operator=(const TGraph&) = delete;
  std::string ClassName() const override { return "TGraph"; }

  void SetColor(TColor32 Value);
  void SetGroupColor(TColor32 Value);
  void SetInterpolatedColor(TColor32 Value);

  TColor32 Color = 0;
  TColor32 InterpolatedColor = 0;
  TColor32 GroupColor = 0;
  TFlowGraphSampleList* Samples = nullptr;
};

class KVLIB_API TFlowGraph : public kv::platform::TObject {
public:
  // Installs the rotated label font on DestBmp; the bitmap stays the caller's.
  TFlowGraph(TBitmap32* DestBmp, const TRect& DestRect);
  ~TFlowGraph() override;
  TFlowGraph(const TFlowGraph&) = delete;
  TFlowGraph& operator=(const TFlowGraph&) = delete;
  std::string ClassName() const override { return "TFlowGraph"; }

  void AddGraph();
  // EListError for an index outside Graphs.
  TGraph* GetGraph(int32_t Index) const;
  void Tidy();
  void ReCalcRect();
  void ReCalcXScale();
  void ReCalcYScale();
  int32_t Y2Screen(double Value) const;

  void RePaint();
  void DrawLimits();
  void DrawGraph(int32_t Index);
  void DrawAxisDescription();
  void RRenderText(int32_t X, int32_t Y, const std::string& Text, TColor32 Color);

  void SetDestRect(const TRect& Value);
  void SetYAxisPos(int32_t Value);
  void SetXAxisDecriptionVisible(bool Value);
  void SetVisibleLimits(TFlowGraphLimitSet Value);
  void SetUpperLimit(double Value);
  void SetLowerLimit(double Value);
  void SetTarget(double Value);
  void SetLowerTarget(double Value);
  void SetUpperTarget(double Value);
  void SetXStep(double Value);
  void SetXPos(TDateTime Value);
  void SetYScale(double Value);
  void SetDestBmp(TBitmap32* Value);
  void SetAALevel(int32_t Value);
  void SetBackgroundColor(TColor32 Value);
  void SetGridColor(TColor32 Value);
  void SetTextColor(TColor32 Value);
  void SetLimitColor(TColor32 Value);
  void SetAxisColor(TColor32 Value);
  void SetTargetColor(TColor32 Value);
  void SetShowGrid(bool Value);
  void SetShow1Value(bool Value);
  void SetYAxisCaption(const std::string& Value);

  TBitmap32* DestBmp = nullptr;
  TRect DestRect{0, 0, 0, 0};
  TRect PlotRect{0, 0, 0, 0};
  double YScale = 0.0;
  TDateTime MinDate = 2147483647.0;
  TDateTime MaxDate = 0.0;
  double MinValue = 2147483647.0;
  double MaxValue = 0.0;
  int32_t PlotHeight = 0;
  double YOffset = 0.0;
  double UpperLimit = 0.0;
  double LowerLimit = 0.0;
  double Target = 0.0;
  double UpperTarget = 0.0;
  double LowerTarget = 0.0;
  TFlowGraphLimitSet VisibleLimits;
  TColor32 BackgroundColor = 0;
  TColor32 GridColor = 0;
  int32_t AALevel = 0;
  TColor32 TextColor = 0;
  TColor32 LimitColor = 0;
  TColor32 AxisColor = 0;
  HFONT FontHandle = 0;
  double XStep = 12.0;
  TColor32 TargetColor = 0;
  TDateTime XPos = 0.0;
  int32_t XCount = 0;
  int32_t YAxisPos = 0;
  bool XAxisDecriptionVisible = false;
  TObjectList* Graphs = nullptr;
  bool ShowGrid = false;
  bool Show1Value = false;
  std::string YAxisCaption;

private:
  KVLIB_LOCAL int64_t columnX(int64_t Index) const;
};

} // namespace uKVFlowGraph
