// Speed of the fill overlap analysis: the largest single-sided shape of the
// corpus, a generated shape of 20,000 records, and a block that spends the
// whole default work budget.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/converter_context.h"
#include "shape/builder/fill_overlap.h"
#include "shape_capture.h"

namespace tovrani {
namespace {

using bench::CapturedObject;
using bench::ShapeObjectsOf;

void AnalyseAll(benchmark::State& state, const std::vector<CapturedObject>& objects) {
  for (auto _ : state) {
    for (const CapturedObject& o : objects) {
      ConverterContext ctx;
      ShapeBlock block = o.block;
      size_t countField = 0;
      AnalyzeFillOverlaps(ctx, block, o.singleSided, {}, nullptr, countField, nullptr);
      benchmark::DoNotOptimize(block.length);
    }
  }
}

void BM_CorpusLargestSingleSidedShape(benchmark::State& state) {
  const std::string path =
      bench::CorpusPath("shumway/examples/melon/MinimaFlatCustomColorPlayBackSeekCounterVolMute.swf");
  const std::vector<CapturedObject> objects = ShapeObjectsOf(path, 76);
  if (objects.empty()) {
    state.SkipWithError("corpus movie absent (set TOVRANI_CORPUS)");
    return;
  }
  AnalyseAll(state, objects);
  state.counters["objects"] = double(objects.size());
}
BENCHMARK(BM_CorpusLargestSingleSidedShape)->Unit(benchmark::kMillisecond);

void PutPair(std::vector<uint8_t>& out, int64_t x, int64_t y, bool wide) {
  for (int64_t v : {x, y})
    for (int i = 0; i < (wide ? 4 : 2); ++i) out.push_back(uint8_t(uint64_t(v) >> (8 * i)));
}

// Squares in a grid (device units), each a run of four records, filled and
// stroked in turn: every pair of neighbours gets its regions tested. Form-3
// pairs, or form-2 ones for `wide` squares.
ShapeBlock GeneratedShape(int squares, int64_t side, bool wide = false, bool stacked = false) {
  const int64_t unit = wide ? 256 : 2;  // a device unit as stored
  const uint8_t form = wide ? 2 : 3;
  std::vector<uint8_t> out;
  int64_t penX = 0, penY = 0;
  for (int i = 0; i < squares; ++i) {
    const int64_t x = stacked ? 0 : (i % 100) * (side + 8);
    const int64_t y = stacked ? 0 : (i / 100) * (side + 8);
    out.push_back(uint8_t(0xC0 | form | form << 4));  // styles, move and anchor
    out.push_back(i % 2 ? 1 : 0);
    out.push_back(0);
    out.push_back(i % 2 ? 0 : 1);
    PutPair(out, (x - penX) * unit, (y - penY) * unit, wide);
    PutPair(out, side * unit, 0, wide);
    const int64_t d[3][2] = {{0, side}, {-side, 0}, {0, -side}};
    for (const auto& e : d) {
      out.push_back(uint8_t(form << 4));
      PutPair(out, e[0] * unit, e[1] * unit, wide);
    }
    penX = x;
    penY = y;
  }
  return ShapeBlock(out, uint32_t(4 * squares));
}

void BM_Generated20000Records(benchmark::State& state) {
  AnalyseAll(state, {{GeneratedShape(5000, 20), 1, {}, {}}});
}
BENCHMARK(BM_Generated20000Records)->Unit(benchmark::kMillisecond);

// Squares a million units high on one spot, filled and stroked in turn:
// each pass merges two and fills a million rows per region, until the
// default budget is spent.
void BM_SpendsTheDefaultBudget(benchmark::State& state) {
  AnalyseAll(state, {{GeneratedShape(200, 1000000, true, true), 1, {}, {}}});
}
BENCHMARK(BM_SpendsTheDefaultBudget)->Unit(benchmark::kMillisecond)->Iterations(1);

// 50,000 open line runs, then pairs of a run and its repeat: every pass
// decodes the whole block to remove one repeat at its end, until the
// default budget is spent.
ShapeBlock RepeatsAtTheEnd(int runs, int repeats) {
  std::vector<uint8_t> out;
  int64_t penX = 0, penY = 0;
  auto line = [&](int64_t x) {
    out.push_back(0xF3);  // styles, move and anchor in form 3
    out.push_back(1);
    out.push_back(0);
    out.push_back(0);
    PutPair(out, (x - penX) * 2, -penY * 2, false);
    PutPair(out, 8, 0, false);
    out.push_back(0x30);
    PutPair(out, 0, 8, false);
    penX = x + 4;
    penY = 4;
  };
  uint32_t records = 0;
  for (int i = 0; i < runs; ++i, records += 2) line(int64_t(i) * 8);
  for (int i = 0; i < repeats; ++i, records += 4) {
    line(int64_t(runs + i) * 8);
    line(int64_t(runs + i) * 8);
  }
  return ShapeBlock(out, records);
}

void BM_RepeatsSpendTheDefaultBudget(benchmark::State& state) {
  AnalyseAll(state, {{RepeatsAtTheEnd(50000, 2000), 1, {}, {}}});
}
BENCHMARK(BM_RepeatsSpendTheDefaultBudget)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tovrani
