// The date chart: value series over days with target and limit lines, painted onto a
// 32-bit bitmap for the screen or printed onto a device context. Hosts read the public
// fields directly and change them through the Set... operations; none of the setters
// recalculates the scale, so a host calls RecalcLimits after changing data or geometry.
#pragma once

#include "KVLibExport.h"
#include "Platform/Graphics/DeviceContext.h"
#include "Platform/Graphics/Graphics32.h"
#include "Platform/Rtl/Contnrs.h"
#include "Platform/Ui/Graphics.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kvchart {

using kv::platform::HDC;
using kv::platform::HPEN;
using kv::platform::TColor;
using kv::platform::TColor32;
using kv::platform::TDateTime;
using kv::platform::TFont;
using kv::platform::TObjectList;
using kv::platform::TRect;
using kv::platform::Graphics32::TBitmap32;

enum class TDCScaleType : std::uint8_t { dcsMaxValues, dcsTopLimit, dcsBottomLimit, dcsBothLimits };
KV_ENUM_NAMES(TDCScaleType, "dcsMaxValues", "dcsTopLimit", "dcsBottomLimit", "dcsBothLimits")
inline constexpr auto dcsMaxValues = TDCScaleType::dcsMaxValues;
inline constexpr auto dcsTopLimit = TDCScaleType::dcsTopLimit;
inline constexpr auto dcsBottomLimit = TDCScaleType::dcsBottomLimit;
inline constexpr auto dcsBothLimits = TDCScaleType::dcsBothLimits;

enum class TChartLineStyle : std::uint8_t { lsSolid };
KV_ENUM_NAMES(TChartLineStyle, "lsSolid")
inline constexpr auto lsSolid = TChartLineStyle::lsSolid;

enum class TChartLimit : std::uint8_t { clUpper, clLower };
KV_ENUM_NAMES(TChartLimit, "clUpper", "clLower")
inline constexpr auto clUpper = TChartLimit::clUpper;
inline constexpr auto clLower = TChartLimit::clLower;
using TChartLimits = kv::platform::TSet<TChartLimit, std::uint8_t>;

// Dates that stand for "no date yet" in the running bounds.
inline constexpr TDateTime kFirstJanuary1900 = 2.0;
inline constexpr TDateTime kFirstJanuary3000 = 401769.0;

// A line's colour in both encodings and, for printing, a GDI pen made on demand.
class KVLIB_API TChartLine : public kv::platform::TObject {
public:
  TChartLine();
  ~TChartLine() override;
  TChartLine(const TChartLine&) = delete;
  TChartLine& operator=(const TChartLine&) = delete;
  std::string ClassName() const override { return "TChartLine"; }

  // The held pen, created solid in Width and Color when none is held.
  HPEN GetPen();
  // Adopts Value (the line deletes it later) after deleting the held pen.
  void SetPen(HPEN Value);
  void SetColor(TColor Value);
  void SetColor32(TColor32 Value);
  void SetWidth(int32_t Value);
  void SetStyle(TChartLineStyle Value);

  int32_t Width = 1;
  TChartLineStyle Style = lsSolid;
  TColor32 Color32 = 0xFF000000u;
  TColor Color = 0;
  HPEN Pen = 0;
  bool PenHeld = false;

private:
  KVLIB_LOCAL void dropPen();
};

// The values of one day of a graph with their extremes and mean.
class KVLIB_API TChartSample : public kv::platform::TObject {
public:
  TChartSample(TDateTime Date, double Value);
  std::string ClassName() const override { return "TChartSample"; }

  void AddValue(double Value);
  void Calc();
  // 0.0 outside the values.
  double GetValues(int32_t Index) const;
  // Stores only inside the values; the statistics are recomputed either way.
  void SetValues(int32_t Index, double Value);
  void SetDate(TDateTime Value);

  double Min = 0;
  double Average = 0;
  double Max = 0;
  int32_t ValueCount = 0;
  std::vector<double> Values;
  TDateTime Date = 0;
};

// One series: an owning list of samples (TChartSample) in the order they were added.
class KVLIB_API TChartGraph : public TObjectList {
public:
  TChartGraph();
  ~TChartGraph() override;
  std::string ClassName() const override { return "TChartGraph"; }

  TChartSample* Sample(int32_t Index) const { return static_cast<TChartSample*>(Get(Index)); }
  // Appends Sample (the graph owns it) and folds it into the bounds.
  void AddSample(TChartSample* Sample);
  // The first sample whose date equals Date exactly, or nullptr.
  TChartSample* FindSample(TDateTime Date) const;
  void RecalcLimits();
  // Takes ownership of Value; the previous line stays the caller's. A nil line is ignored.
  void SetGraphPen(TChartLine* Value);
  void SetTitle(const std::string& Value);

  double MaxValue = -2147483647.0;
  double MinValue = 2147483647.0;
  TDateTime MaxDate = kFirstJanuary1900;
  TDateTime MinDate = kFirstJanuary3000;
  std::string Title;
  TChartLine* GraphPen = nullptr;

private:
  KVLIB_LOCAL void fold(const TChartSample& sample);
};

class KVLIB_API TDateChart : public kv::platform::TObject {
public:
  TDateChart();
  ~TDateChart() override;
  TDateChart(const TDateChart&) = delete;
  TDateChart& operator=(const TDateChart&) = delete;
  std::string ClassName() const override { return "TDateChart"; }

  virtual void Paint(TBitmap32* Bitmap);
  virtual void Print(HDC DC);

  TChartGraph* Graph(int32_t Index) const { return static_cast<TChartGraph*>(Graphs->Get(Index)); }
  // Index of the new graph.
  int32_t AddGraph(const std::string& Title);
  // Ignored for a graph index outside Graphs.
  void AddSample(int32_t GraphIndex, TDateTime Date, double Value);
  void AddSample(TDateTime Date, double Value);
  // One empty graph again; pens, font and every property stay.
  void Clear();
  void RecalcLimits();

  int32_t xPix(TDateTime Date) const;
  TDateTime xValueAt(int32_t X, int32_t Y) const;
  int32_t yPix(double Value) const;
  double yValueAt(int32_t X, int32_t Y) const;

  void SetAALevel(int32_t Value);
  void SetAxisPen(TChartLine* Value);
  void SetBGColor(TColor Value);
  void SetBorder(const TRect& Value);
  void SetBottomValue(double Value);
  void SetBounds(const TRect& Value);
  void SetCenterValue(double Value);
  void SetCenterYValue(double Value);
  void SetCurrentMarkColor(TColor32 Value);
  void SetCurrentX(TDateTime Value);
  void SetCustXScale(double Value);
  void SetCustYScale(double Value);
  void SetDataPointSize(int32_t Value);
  void SetDrawTitle(bool Value);
  void SetDrawXDescription(bool Value);
  void SetDrawXGrid(bool Value);
  // Stores the reference; the caller keeps the font. A nil font is ignored.
  void SetFont(TFont* Value);
  void SetGraphBGColor(TColor Value);
  void SetGridPen(TChartLine* Value);
  void SetLimitPen(TChartLine* Value);
  void SetLimits(TChartLimits Value);
  void SetLowerLimitValue(double Value);
  void SetPaintAverage(bool Value);
  void SetPaintPoints(bool Value);
  void SetPaintTarget(bool Value);
  void SetScaleOverhang(double Value);
  void SetScaleType(TDCScaleType Value);
  void SetTargetPen(TChartLine* Value);
  void SetTargetValue(double Value);
  void SetTitle(const std::string& Value);
  void SetTopValue(double Value);
  void SetUpperLimitValue(double Value);
  void SetXStartValue(TDateTime Value);
  void SetXStep(double Value);

  double CustYScale = 1.0;
  double CustXScale = 1.0;
  TRect Bounds{0, 0, 0, 0};
  std::string Title;
  TDCScaleType ScaleType = dcsMaxValues;
  double MaxValue = -2147483647.0;
  double MinValue = 2147483647.0;
  TDateTime MinDate = kFirstJanuary3000;
  TDateTime MaxDate = kFirstJanuary1900;
  TColor BGColor = 0x00FFFFFF;
  double TopValue = 0.0;
  double CenterValue = 0.0;
  double BottomValue = 0.0;
  TChartLine* AxisPen = nullptr;
  TChartLine* GridPen = nullptr;
  TChartLine* TargetPen = nullptr;
  TChartLine* LimitPen = nullptr;
  TRect Border{50, 0, 0, 20};
  double TargetValue = 0.0;
  bool PaintTarget = true;
  TChartLimits Limits{clUpper, clLower};
  double UpperLimitValue = 0.0;
  double LowerLimitValue = 0.0;
  TDateTime XStartValue = 0.0;
  TColor32 CurrentMarkColor = 0x200000FFu;
  TDateTime CurrentX = 0.0;
  double XStep = 13.0;
  double CenterYValue = 0.0;
  bool PaintPoints = false;
  TFont* Font = nullptr;
  int32_t AALevel = 0;
  bool DrawXDescription = true;
  bool DrawTitle = false;
  bool DrawXGrid = false;
  TColor GraphBGColor = 0x00FFFFFF;
  double ScaleOverhang = 0.1;
  int32_t DataPointSize = 2;
  bool PaintAverage = true;
  double YScale = 1.0;
  int32_t YOffset = 0;
  TObjectList* Graphs = nullptr;

private:
  KVLIB_LOCAL TRect plotRect() const;
  KVLIB_LOCAL int32_t totalSamples() const;
  KVLIB_LOCAL int32_t dayStep(int32_t minGap) const;
  KVLIB_LOCAL void paintGraph(TBitmap32& bitmap, const TChartGraph& graph, const TRect& r) const;
  KVLIB_LOCAL void paintDateStrip(TBitmap32& bitmap, const TRect& r) const;
  KVLIB_LOCAL void forEachAcross(const std::function<void(double, TChartLine&)>& across) const;
  KVLIB_LOCAL void printGraph(HDC dc, TChartGraph& graph, const TRect& r) const;
  // The rotated labels in a font `height` pixels of the device high.
  KVLIB_LOCAL void printDateLabels(HDC dc, const TRect& r, int32_t height) const;

  TFont* ownFont_ = nullptr; // the font the chart created; freed with the chart
};

} // namespace kvchart
