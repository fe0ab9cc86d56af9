// Speed of writing a shape with a problem into its page as a stack of
// objects: the corpus shapes that take that road, 50 overlapping stroked
// fills of 2,000 edges, and a shape that spends the per-call budget.
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

// Builds each object into a page stream of its own, as the gate does with
// "Heuristic Problem Search" off.
void BuildIntoPages(benchmark::State& state, const std::vector<CapturedObject>& objects,
                    uint64_t budget = 0) {
  if (objects.empty()) {
    state.SkipWithError("corpus movie absent (set TOVRANI_SHARED_DIR)");
    return;
  }
  size_t stacked = 0, flagged = 0;
  for (auto _ : state) {
    for (const CapturedObject& o : objects) {
      state.PauseTiming();
      ConverterContext ctx;
      ctx.options.heuristicProblemSearch = 0;
      if (budget) ctx.m_nBuildShapeBudget = budget;
      std::FILE* page = std::tmpfile();
      // A page head's worth of bytes, then the object's style tables.
      const std::vector<uint8_t> head(100, 0);
      std::fwrite(head.data(), 1, head.size(), page);
      ctx.m_nShapeHeadPos = head.size();
      std::fwrite(o.styleBlob.data(), 1, o.styleBlob.size(), page);
      ShapeBlock block = o.block;
      size_t countField = 0;
      g_bVectorizationProblem = 0;
      state.ResumeTiming();
      AnalyzeFillOverlaps(ctx, block, o.singleSided, o.styleBlob, page, countField, &o.styles);
      state.PauseTiming();
      stacked += block.length == 0;
      flagged += g_bVectorizationProblem;
      std::fclose(page);
      state.ResumeTiming();
    }
  }
  g_bVectorizationProblem = 0;
  state.counters["objects"] = double(objects.size());
  state.counters["stacked"] = double(stacked);
  state.counters["flagged"] = double(flagged);
}

void BM_CorrectRaceShape(benchmark::State& state) {
  BuildIntoPages(state, bench::ShapeObjectsOf(bench::CorpusPath("shumway/examples/racing/race.swf"),
                                              uint16_t(state.range(0))));
}
BENCHMARK(BM_CorrectRaceShape)->Arg(8)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CorrectHitTestShape(benchmark::State& state) {
  BuildIntoPages(state, bench::ShapeObjectsOf(
                            bench::CorpusPath("ruffle/tests/tests/swfs/avm1/movieclip_hittest_shapeflag/test.swf"),
                            uint16_t(state.range(0))));
}
BENCHMARK(BM_CorrectHitTestShape)->Arg(9)->Arg(19)->Unit(benchmark::kMillisecond)->Iterations(1);

// 50 stroked 40-gons of 50 fills, each over its neighbours.
CapturedObject FiftyStrokedFills() {
  CapturedObject o;
  ByteWriter blob;
  blob.PutU16(50);
  for (int i = 0; i < 50; ++i) {
    ByteWriter f;
    FillStyle fill;
    fill.colour = 0xFF000000u | uint32_t(i * 5000);
    EncodeFillStyle(f, fill, 0);
    o.styles.fills.push_back(f.bytes());
    blob.PutBytes(f.bytes());
  }
  ByteWriter l;
  LineStyle line;
  line.width = 20;
  EncodeLineStyle(l, line, 0);
  o.styles.lines.push_back(l.bytes());
  blob.PutU16(1);
  blob.PutBytes(l.bytes());
  o.styleBlob = blob.bytes();
  ByteWriter edges;
  uint32_t records = 0;
  int64_t penX = 0, penY = 0;
  for (int i = 0; i < 50; ++i) {
    const double cx = (i % 10) * 3000.0, cy = (i / 10) * 3000.0, r = 2600;
    for (int k = 0; k < 40; ++k) {
      const double a0 = 2 * M_PI * k / 40, a1 = 2 * M_PI * (k + 1) / 40;
      const int64_t x0 = std::llround(cx + r * std::cos(a0)) * 256, y0 = std::llround(cy + r * std::sin(a0)) * 256;
      const int64_t x1 = std::llround(cx + r * std::cos(a1)) * 256, y1 = std::llround(cy + r * std::sin(a1)) * 256;
      ShapeEdge rec;
      rec.hasStyles = k == 0;
      rec.line = 1;
      rec.fill1 = uint8_t(i + 1);
      rec.hasMove = penX != x0 || penY != y0;
      rec.move = {x0 - penX, y0 - penY};
      rec.anchor = {x1 - x0, y1 - y0};
      EncodeShapeEdge(edges, rec);
      penX = x1;
      penY = y1;
      ++records;
    }
  }
  o.block = ShapeBlock(edges.bytes(), records);
  o.singleSided = 0;
  return o;
}

void BM_FiftyStrokedFills2000Edges(benchmark::State& state) {
  BuildIntoPages(state, {FiftyStrokedFills()});
}
BENCHMARK(BM_FiftyStrokedFills2000Edges)->Unit(benchmark::kMillisecond)->Iterations(1);

// 20,000 small squares and one stroke across them all: a turn per square,
// each looking at every region, until the per-call budget is spent and the
// page goes back as it came.
CapturedObject ManySquaresAndAStroke() {
  CapturedObject o;
  ByteWriter blob, f, l;
  FillStyle fill;
  fill.colour = 0xFF0000FFu;
  EncodeFillStyle(f, fill, 0);
  LineStyle line;
  line.width = 20;
  EncodeLineStyle(l, line, 0);
  o.styles.fills = {f.bytes()};
  o.styles.lines = {l.bytes()};
  blob.PutU16(1);
  blob.PutBytes(f.bytes());
  blob.PutU16(1);
  blob.PutBytes(l.bytes());
  o.styleBlob = blob.bytes();
  ByteWriter edges;
  uint32_t records = 0;
  int64_t penX = 0, penY = 0;
  auto edge = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool styles, uint8_t ln, uint8_t fl) {
    ShapeEdge rec;
    rec.hasStyles = styles;
    rec.line = ln;
    rec.fill1 = fl;
    rec.hasMove = penX != x0 || penY != y0;
    rec.move = {x0 - penX, y0 - penY};
    rec.anchor = {x1 - x0, y1 - y0};
    EncodeShapeEdge(edges, rec);
    penX = x1;
    penY = y1;
    ++records;
  };
  constexpr int64_t S = 40 * 256, G = 60 * 256;
  for (int i = 0; i < 20000; ++i) {
    const int64_t x = (i % 200) * G, y = (i / 200) * G;
    edge(x, y, x + S, y, i == 0, 0, 1);
    edge(x + S, y, x + S, y + S, false, 0, 1);
    edge(x + S, y + S, x, y + S, false, 0, 1);
    edge(x, y + S, x, y, false, 0, 1);
  }
  edge(-G, G / 2, 200 * G, G / 2, true, 1, 0);
  o.block = ShapeBlock(edges.bytes(), records);
  return o;
}

void BM_CorrectionSpendsTheBudget(benchmark::State& state) {
  BuildIntoPages(state, {ManySquaresAndAStroke()});
}
BENCHMARK(BM_CorrectionSpendsTheBudget)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tovrani
