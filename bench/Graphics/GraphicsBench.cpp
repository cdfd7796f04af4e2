// Fills, blends and lines on a 1920x1080 bitmap: our raster against Cairo's image surface doing
// the same operations in the same run. The "MPix/s" counter is megapixels written per second.
#include "Platform/Graphics/Raster.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdlib>
#include <random>
#include <vector>

using namespace kv::platform;

namespace {

constexpr int kW = 1920, kH = 1080;

struct Segment {
  int x1, y1, x2, y2;
};

const std::vector<Segment>& segments() {
  static const std::vector<Segment> s = [] {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> x(0, kW - 1), y(0, kH - 1);
    std::vector<Segment> out(2000);
    for (auto& seg : out)
      seg = {x(rng), y(rng), x(rng), y(rng)};
    return out;
  }();
  return s;
}

double segmentPixels() {
  double n = 0;
  for (const auto& s : segments())
    n += std::max(std::abs(s.x2 - s.x1), std::abs(s.y2 - s.y1));
  return n;
}

void report(benchmark::State& state, double pixelsPerIteration) {
  state.counters["MPix/s"] =
      benchmark::Counter(pixelsPerIteration * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

struct CairoImage {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surface);
  CairoImage() {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
  }
  ~CairoImage() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
};

void RasterFill(benchmark::State& state) {
  Raster r(kW, kH, 0xFFFFFFFF);
  TColor32 c = 0xFF102030;
  for (auto _ : state) {
    r.fillRect({0, 0, kW, kH}, c ^= 0x00010101);
    benchmark::DoNotOptimize(r.row(0));
  }
  report(state, double(kW) * kH);
}

void CairoFill(benchmark::State& state) {
  CairoImage img;
  cairo_set_operator(img.cr, CAIRO_OPERATOR_SOURCE);
  double g = 0;
  for (auto _ : state) {
    cairo_set_source_rgb(img.cr, 0.1, g = 1 - g, 0.2);
    cairo_rectangle(img.cr, 0, 0, kW, kH);
    cairo_fill(img.cr);
    cairo_surface_flush(img.surface);
  }
  report(state, double(kW) * kH);
}

void RasterBlend(benchmark::State& state) {
  Raster r(kW, kH, 0xFFFFFFFF);
  for (auto _ : state) {
    r.blendRect({0, 0, kW, kH}, 0x80FF4020);
    benchmark::DoNotOptimize(r.row(0));
  }
  report(state, double(kW) * kH);
}

void CairoBlend(benchmark::State& state) {
  CairoImage img;
  for (auto _ : state) {
    cairo_set_source_rgba(img.cr, 1.0, 0.25, 0.125, 0.5);
    cairo_rectangle(img.cr, 0, 0, kW, kH);
    cairo_fill(img.cr);
    cairo_surface_flush(img.surface);
  }
  report(state, double(kW) * kH);
}

// The plain and the smoothed line runs differ only in the one switch, so each side has one body.
void rasterLines(benchmark::State& state, bool smooth) {
  Raster r(kW, kH, 0xFFFFFFFF);
  for (auto _ : state) {
    for (const auto& s : segments()) {
      if (smooth)
        r.lineAA(s.x1, s.y1, s.x2, s.y2, 0xFF000000, false);
      else
        r.line(s.x1, s.y1, s.x2, s.y2, 0xFF000000, false);
    }
    benchmark::DoNotOptimize(r.row(0));
  }
  report(state, segmentPixels());
}

void cairoLines(benchmark::State& state, bool smooth) {
  CairoImage img;
  if (!smooth) cairo_set_antialias(img.cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(img.cr, 1);
  cairo_set_source_rgb(img.cr, 0, 0, 0);
  for (auto _ : state) {
    for (const auto& s : segments()) {
      cairo_move_to(img.cr, s.x1 + 0.5, s.y1 + 0.5);
      cairo_line_to(img.cr, s.x2 + 0.5, s.y2 + 0.5);
      cairo_stroke(img.cr);
    }
    cairo_surface_flush(img.surface);
  }
  report(state, segmentPixels());
}

void RasterLines(benchmark::State& state) { rasterLines(state, false); }
void CairoLines(benchmark::State& state) { cairoLines(state, false); }
void RasterLinesAA(benchmark::State& state) { rasterLines(state, true); }
void CairoLinesAA(benchmark::State& state) { cairoLines(state, true); }

} // namespace

BENCHMARK(RasterFill)->Unit(benchmark::kMillisecond);
BENCHMARK(CairoFill)->Unit(benchmark::kMillisecond);
BENCHMARK(RasterBlend)->Unit(benchmark::kMillisecond);
BENCHMARK(CairoBlend)->Unit(benchmark::kMillisecond);
BENCHMARK(RasterLines)->Unit(benchmark::kMillisecond);
BENCHMARK(CairoLines)->Unit(benchmark::kMillisecond);
BENCHMARK(RasterLinesAA)->Unit(benchmark::kMillisecond);
BENCHMARK(CairoLinesAA)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
