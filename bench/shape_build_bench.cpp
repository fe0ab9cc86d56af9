// Speed of the shape builder: the largest DefineShapes of the corpus, a
// generated grid of 10,000 edges, a 2,000-point star, and a shape that
// spends the whole per-call work budget.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "convert/converter_context.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/fill_overlap.h"
#include "shape/builder/shape_builder.h"
#include "shape_capture.h"

namespace tovrani {
namespace {

using bench::CapturedObject;

// Builds every object as the gate does with "Heuristic Problem Search" off.
void BuildAll(benchmark::State& state, const std::vector<CapturedObject>& objects) {
  if (objects.empty()) {
    state.SkipWithError("corpus movie absent (set TOVRANI_SHARED_DIR)");
    return;
  }
  size_t abandoned = 0;
  for (auto _ : state) {
    for (const CapturedObject& o : objects) {
      ConverterContext ctx;
      ctx.options.heuristicProblemSearch = 0;
      ShapeBlock block = o.block;
      size_t countField = 0;
      g_bVectorizationProblem = 0;
      AnalyzeFillOverlaps(ctx, block, o.singleSided, o.styleBlob, nullptr, countField, &o.styles);
      abandoned += g_bVectorizationProblem;
      benchmark::DoNotOptimize(block.length);
    }
  }
  g_bVectorizationProblem = 0;
  state.counters["objects"] = double(objects.size());
  state.counters["abandoned"] = double(abandoned);
}

void BM_CorpusHitTestShape19(benchmark::State& state) {
  BuildAll(state, bench::ShapeObjectsOf(
                      bench::CorpusPath("ruffle/tests/tests/swfs/avm1/movieclip_hittest_shapeflag/test.swf"), 19));
}
BENCHMARK(BM_CorpusHitTestShape19)->Unit(benchmark::kMillisecond);

void BM_CorpusHitTestShape9(benchmark::State& state) {
  BuildAll(state, bench::ShapeObjectsOf(
                      bench::CorpusPath("ruffle/tests/tests/swfs/avm1/movieclip_hittest_shapeflag/test.swf"), 9));
}
BENCHMARK(BM_CorpusHitTestShape9)->Unit(benchmark::kMillisecond);

void BM_CorpusRaceShape8(benchmark::State& state) {
  BuildAll(state, bench::ShapeObjectsOf(bench::CorpusPath("shumway/examples/racing/race.swf"), 8));
}
BENCHMARK(BM_CorpusRaceShape8)->Unit(benchmark::kMillisecond);

// Encoded records from absolute points (1/256 twip), every pair in form 2.
class Records {
 public:
  void Polygon(const std::vector<std::pair<int64_t, int64_t>>& pts, uint8_t fill1, uint8_t fill0 = 0) {
    for (size_t i = 0; i < pts.size(); ++i) {
      const auto [x, y] = pts[i];
      const auto [nx, ny] = pts[(i + 1) % pts.size()];
      if (i == 0) {
        out_.push_back(0xC0 | 0x02 | 0x20);
        out_.insert(out_.end(), {0, fill0, fill1});
        Pair(x - penX_, y - penY_);
      } else {
        out_.push_back(0x20);
      }
      Pair(nx - x, ny - y);
      penX_ = nx;
      penY_ = ny;
      ++records_;
    }
  }
  ShapeBlock Block() const { return ShapeBlock(out_, records_); }

 private:
  void Pair(int64_t x, int64_t y) {
    for (int64_t v : {x, y})
      for (int i = 0; i < 4; ++i) out_.push_back(uint8_t(uint64_t(v) >> (8 * i)));
  }
  std::vector<uint8_t> out_;
  uint32_t records_ = 0;
  int64_t penX_ = 0, penY_ = 0;
};

constexpr int64_t D = 256;

void BM_Grid10000Edges(benchmark::State& state) {
  Records r;
  const int n = 70;  // 2 * 70 * 71 = 9,940 edges
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const int64_t x = i * 20 * D, y = j * 20 * D, s = 20 * D;
      r.Polygon({{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}}, 1);
    }
  BuildAll(state, {{r.Block(), 0, {}, {}}});
}
BENCHMARK(BM_Grid10000Edges)->Unit(benchmark::kMillisecond);

void BM_Star2000Points(benchmark::State& state) {
  Records r;
  std::vector<std::pair<int64_t, int64_t>> pts;
  for (int k = 0; k < 2000; ++k) {
    const double a = 2 * M_PI * k / 2000, radius = k % 2 ? 2000 : 5000;
    pts.push_back({std::llround(radius * std::cos(a)) * D, std::llround(radius * std::sin(a)) * D});
  }
  r.Polygon(pts, 1);
  BuildAll(state, {{r.Block(), 0, {}, {}}});
}
BENCHMARK(BM_Star2000Points)->Unit(benchmark::kMillisecond);

// Concentric squares two million device units wide, rings of one fill:
// every outline fills millions of rows until the per-call budget is spent.
void BM_SpendsThePerCallBudget(benchmark::State& state) {
  Records r;
  for (int k = 0; k < 200; ++k) {
    const int64_t h = (1000000 - k * 1000) * D;
    if (k % 2 == 0)
      r.Polygon({{-h, -h}, {h, -h}, {h, h}, {-h, h}}, 1);
    else
      r.Polygon({{-h, -h}, {-h, h}, {h, h}, {h, -h}}, 1);
  }
  BuildAll(state, {{r.Block(), 0, {}, {}}});
}
BENCHMARK(BM_SpendsThePerCallBudget)->Unit(benchmark::kMillisecond)->Iterations(1);

// Concentric rings of one fill, each a diamond with a diamond hole, tens
// of thousands of pixel rows high: every hole lies inside every larger
// ring and every pair of rings has overlapping boxes, so the region work
// spends the per-call budget (with a style blob, the region pairs too).
void BM_NestedRingsSpendThePerCallBudget(benchmark::State& state) {
  Records r;
  for (int k = 0; k < 300; ++k) {
    const int64_t outer = (30000 - k * 100) * D, inner = outer - 50 * D;
    r.Polygon({{0, -outer}, {outer, 0}, {0, outer}, {-outer, 0}}, 1);
    r.Polygon({{0, -inner}, {-inner, 0}, {0, inner}, {inner, 0}}, 1);
  }
  BuildAll(state, {{r.Block(), 0, {0}, {}}});
}
BENCHMARK(BM_NestedRingsSpendThePerCallBudget)->Unit(benchmark::kMillisecond)->Iterations(1);

// The problem search alone, on a graph read beforehand: the edge pairs,
// and with `regions` (the graph also traced and analysed, a style blob
// given) the region pairs after them.
void SearchOnly(benchmark::State& state, const ShapeBlock& input, bool regions = false) {
  size_t problems = 0, abandoned = 0;
  const std::vector<uint8_t> blob = {0};
  for (auto _ : state) {
    state.PauseTiming();
    ConverterContext ctx;
    ShapeBlock block = input;
    ShapeBuilder b(ctx, block, regions ? std::span<const uint8_t>(blob) : std::span<const uint8_t>(),
                   nullptr);
    b.Read();
    b.JoinStraightEdges();
    if (regions) {
      b.MarkSides();
      b.TraceOutlines();
      b.AnalyseRegions();
    }
    // The whole per-call budget for the search.
    b.geo = ShapeGeometry();
    b.geo.budget = ctx.m_nBuildShapeBudget;
    state.ResumeTiming();
    bool problem = false;
    ShapeBuilder::Outcome o = b.SearchEdgeProblems(problem);
    if (regions && o == ShapeBuilder::Outcome::kGoOn && !problem) o = b.SearchRegionProblems(problem);
    abandoned += o == ShapeBuilder::Outcome::kAbandon;
    problems += problem;
  }
  state.counters["problems"] = double(problems);
  state.counters["abandoned"] = double(abandoned);
}

void BM_SearchGrid5000Edges(benchmark::State& state) {
  Records r;
  const int n = 50;  // 2 * 50 * 51 = 5,100 edges
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const int64_t x = i * 20 * D, y = j * 20 * D, s = 20 * D;
      r.Polygon({{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}}, uint8_t(1 + (i + j) % 2));
    }
  SearchOnly(state, r.Block(), true);
}
BENCHMARK(BM_SearchGrid5000Edges)->Unit(benchmark::kMillisecond);

// The analysis of the traced regions of the same grid, alone.
void BM_AnalyseGrid5000Edges(benchmark::State& state) {
  Records r;
  const int n = 50;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const int64_t x = i * 20 * D, y = j * 20 * D, s = 20 * D;
      r.Polygon({{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}}, uint8_t(1 + (i + j) % 2));
    }
  const ShapeBlock input = r.Block();
  size_t regions = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ConverterContext ctx;
    ShapeBlock block = input;
    ShapeBuilder b(ctx, block, {}, nullptr);
    b.Read();
    b.JoinStraightEdges();
    b.MarkSides();
    b.TraceOutlines();
    state.ResumeTiming();
    b.AnalyseRegions();
    regions = b.regions.size();
  }
  state.counters["regions"] = double(regions);
}
BENCHMARK(BM_AnalyseGrid5000Edges)->Unit(benchmark::kMillisecond);

// 25,000 long parallel edges, each with a fill on one side, whose boxes
// all overlap: every pair is tested until the per-call budget is spent.
void BM_SearchSpendsThePerCallBudget(benchmark::State& state) {
  std::vector<uint8_t> out;
  int64_t penX = 0, penY = 0;
  auto pair = [&](int64_t x, int64_t y) {
    for (int64_t v : {x, y})
      for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint64_t(v) >> (8 * i)));
  };
  const int edges = 25000;
  for (int k = 0; k < edges; ++k) {
    const int64_t x = int64_t(k) * 4 * D, y = 0, len = 200000 * D;
    out.push_back(k == 0 ? 0xE2 : 0x22);
    if (k == 0) out.insert(out.end(), {0, 1, 0});
    pair(x - penX, y - penY);
    pair(len, len);
    penX = x + len;
    penY = len;
  }
  SearchOnly(state, ShapeBlock(out, uint32_t(edges)));
}
BENCHMARK(BM_SearchSpendsThePerCallBudget)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tovrani
