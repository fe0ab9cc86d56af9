// Speed of the problem-area retrace: painting, tracing and encoding one
// region of the raster's full size, once per smoothing level, and the 27
// levels of one region's retry loop.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "convert/converter_context.h"
#include "platform/path.h"
#include "shape/builder/path_record_list.h"
#include "shape/builder/retrace_region.h"

namespace tovrani {
namespace {

// A 256 x 256 disc with a grid of 25 round holes and a notched rim.
ShapeRegion RegionWithHoles() {
  Path path;
  for (int i = 0; i < 96; ++i) {
    const double a = 2 * std::numbers::pi * i / 96, r = i % 2 ? 120 : 127;
    const IntPoint q{int(std::lround(128 + r * std::cos(a))), int(std::lround(128 + r * std::sin(a)))};
    i == 0 ? path.MoveTo(q) : path.LineTo(q);
  }
  path.CloseFigure();
  for (int hy = 0; hy < 5; ++hy)
    for (int hx = 0; hx < 5; ++hx)
      for (int i = 0; i < 16; ++i) {
        const double a = 2 * std::numbers::pi * i / 16;
        const IntPoint q{int(std::lround(68 + 30 * hx + 8 * std::cos(a))),
                         int(std::lround(68 + 30 * hy + 8 * std::sin(a)))};
        i == 0 ? path.MoveTo(q) : path.LineTo(q);
      }
  path.CloseFigure();
  ShapeRegion region;
  path.ToRegion(region.area);
  region.box = {0, 0, 256, 256};
  return region;
}

void RetraceAndEncode(ConverterContext& ctx, const ShapeRegion& region, int level) {
  PathRecordList list;
  if (RetraceRegion(ctx, list, region, {}, level) != 1) std::abort();
  ShapeOutput out;
  uint32_t count = 0;
  ShapeGeometry unbounded;
  list.EncodeRecordsAsEdges(region.box, out, count, unbounded);
  benchmark::DoNotOptimize(out.bytes.size());
}

void BM_RetraceAndEncode(benchmark::State& state) {
  ConverterContext ctx;
  const ShapeRegion region = RegionWithHoles();
  for (auto _ : state) RetraceAndEncode(ctx, region, int(state.range(0)));
}
BENCHMARK(BM_RetraceAndEncode)->Arg(4)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_RetraceAllLevels(benchmark::State& state) {
  ConverterContext ctx;
  const ShapeRegion region = RegionWithHoles();
  for (auto _ : state)
    for (int level = 4; level <= 30; ++level) RetraceAndEncode(ctx, region, level);
}
BENCHMARK(BM_RetraceAllLevels)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovrani
