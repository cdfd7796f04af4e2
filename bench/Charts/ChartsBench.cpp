// Painting and printing long series: the work of both charts grows with the number of days.
#include "kvchart.h"
#include "uKVFlowGraph.h"

#include "Platform/Graphics/RecordingDC.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace kv::platform;
using kv::platform::Graphics32::TBitmap32;

void fillChart(kvchart::TDateChart& chart, int days) {
  chart.SetBounds(Rect(0, 0, 1200, 600));
  chart.SetXStep(1200.0 / days);
  chart.SetXStartValue(40000);
  chart.SetDrawXGrid(true);
  chart.SetPaintPoints(true);
  for (int d = 1; d <= days; ++d)
    chart.AddSample(40000 + d, 50 + 40 * std::sin(d / 50.0));
  chart.RecalcLimits();
}

void DateChartAddSamples(benchmark::State& state) {
  for (auto _ : state) {
    kvchart::TDateChart chart;
    fillChart(chart, int(state.range(0)));
    benchmark::DoNotOptimize(chart.MaxValue);
  }
}
BENCHMARK(DateChartAddSamples)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void DateChartPaint(benchmark::State& state) {
  kvchart::TDateChart chart;
  fillChart(chart, int(state.range(0)));
  TBitmap32 bitmap(1200, 600);
  for (auto _ : state)
    chart.Paint(&bitmap);
}
BENCHMARK(DateChartPaint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void DateChartPrint(benchmark::State& state) {
  kvchart::TDateChart chart;
  fillChart(chart, int(state.range(0)));
  DeviceCaps caps;
  caps.widthPx = 1200, caps.heightPx = 600;
  RecordingDC dc(caps);
  dc.setLogging(false);
  for (auto _ : state)
    chart.Print(dc.Handle());
}
BENCHMARK(DateChartPrint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void FlowGraphTidyAndPaint(benchmark::State& state) {
  const int days = int(state.range(0));
  TBitmap32 bitmap(1200, 600);
  for (auto _ : state) {
    uKVFlowGraph::TFlowGraph fg(&bitmap, Rect(0, 0, 1200, 600));
    fg.SetYAxisPos(60);
    fg.SetXAxisDecriptionVisible(true);
    fg.SetShowGrid(true);
    fg.AddGraph();
    // Every other day, two values a day: the gaps are filled and every day has a spread.
    for (int d = 0; d < days; d += 2) {
      fg.GetGraph(0)->Samples->Add(40000 + d, 50 + 40 * std::sin(d / 50.0), true);
      fg.GetGraph(0)->Samples->Add(40000 + d, 52 + 40 * std::sin(d / 50.0), true);
    }
    fg.Tidy();
    fg.SetXStep(1140.0 / days);
    fg.RePaint();
  }
}
BENCHMARK(FlowGraphTidyAndPaint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
