// What a conversion costs besides its tags: a one-shape movie converted again
// and again, and the shared corpus converted in one process, each with the
// work files in memory (the default budget) and all on disk (budget 0). The
// documents and the work folder go to the temporary folder on disk.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "support/corpus.h"
#include "support/swf_writer.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "fla/work_folder.h"

namespace {

namespace fs = std::filesystem;
using tovrani::WorkFolder;
using tovrani::bench::Folder;
using tovrani::test::SwfBytes;
using tovrani::test::SwfWriter;

// One frame: a red square placed once.
std::vector<uint8_t> OneShapeMovie() {
  SwfWriter w(8);
  SwfBytes shape;
  shape.u16(1).rect(0, 2000, 0, 2000);
  shape.u8(1).u8(0x00).u8(0xFF).u8(0x00).u8(0x00);
  shape.u8(0);
  shape.ubits(1, 4).ubits(0, 4);
  shape.ubits(0, 1).ubits(0b00101, 5).ubits(12, 5).sbits(0, 12).sbits(0, 12).ubits(1, 1);
  const int32_t sides[4][2] = {{2000, 0}, {0, 2000}, {-2000, 0}, {0, -2000}};
  for (const auto& d : sides) {
    shape.ubits(1, 1).ubits(1, 1).ubits(12 - 2, 4).ubits(0, 1);
    shape.ubits(d[0] == 0 ? 1 : 0, 1).sbits(d[0] == 0 ? d[1] : d[0], 12);
  }
  shape.ubits(0, 6).align();
  w.tag(2, shape.data());
  SwfBytes place;
  place.u8(0x06).u16(1).u16(1).matrix(0, 0);
  w.tag(26, place.data());
  w.showFrame();
  w.end();
  return w.build(false);
}

// Converts every source to out/N.fla in one process, as the program does.
bool ConvertAll(tovrani::ConverterContext& ctx, const std::vector<std::string>& sources,
                const fs::path& out) {
  size_t n = 0;
  tovrani::SwfFileRequest request;
  request.saveDialog = [&](const std::string&, std::string& chosen) {
    chosen = (out / (std::to_string(n++) + ".fla")).string();
    return true;
  };
  return ConvertSwfFiles(ctx, sources, 0, 0, request).size() == sources.size();
}

struct BudgetScope {
  explicit BudgetScope(int64_t bytes) { WorkFolder::SetMemoryBudget(uint64_t(bytes)); }
  ~BudgetScope() { WorkFolder::SetMemoryBudget(WorkFolder::kDefaultMemoryBudget); }
};

// Converts the movie once per iteration, as the program does. With `fresh`
// each conversion writes a document of its own, as for a batch of movies;
// otherwise each one replaces the last.
void ConvertEachIteration(benchmark::State& state, const std::vector<uint8_t>& bytes, bool fresh) {
  Folder dir;
  const std::string movie = (dir.path() / "movie.swf").string();
  std::ofstream(movie, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               std::streamsize(bytes.size()));
  tovrani::ShellServices shell;
  tovrani::ConverterContext ctx;
  ctx.m_pShell = &shell;
  size_t n = 0;
  tovrani::SwfFileRequest request;
  request.saveDialog = [&](const std::string&, std::string& chosen) {
    chosen = (dir.path() / ((fresh ? std::to_string(n++) : std::string("movie")) + ".fla")).string();
    return true;
  };
  for (auto _ : state) {
    const auto outcomes = ConvertSwfFiles(ctx, {movie}, 0, 0, request);
    if (outcomes.size() != 1 || outcomes[0].result != 0) {
      state.SkipWithError("the movie did not convert");
      break;
    }
  }
}

void BM_FixedCostOneShape(benchmark::State& state) {
  BudgetScope budget(state.range(0));
  // Replacing the last document would add the removal of two files to every
  // conversion.
  ConvertEachIteration(state, OneShapeMovie(), true);
}
BENCHMARK(BM_FixedCostOneShape)
    ->Arg(0)
    ->Arg(int64_t(WorkFolder::kDefaultMemoryBudget))
    ->Unit(benchmark::kMillisecond);

void BM_CorpusBatch(benchmark::State& state) {
  BudgetScope budget(state.range(0));
  std::vector<std::string> sources;
  for (const tovrani::test::CorpusMovie& movie : tovrani::test::CorpusMovies()) sources.push_back(movie.path.string());
  if (sources.empty()) {
    state.SkipWithError("no corpus");
    return;
  }
  Folder out;
  tovrani::ShellServices shell;
  tovrani::ConverterContext ctx;
  ctx.m_pShell = &shell;
  for (auto _ : state) {
    if (!ConvertAll(ctx, sources, out.path())) {
      state.SkipWithError("the batch stopped early");
      break;
    }
  }
  state.counters["movies"] = double(sources.size());
}
BENCHMARK(BM_CorpusBatch)
    ->Arg(0)
    ->Arg(int64_t(WorkFolder::kDefaultMemoryBudget))
    ->Unit(benchmark::kMillisecond);

// The corpus with both import options on, so every shape and static text
// adds a movie to its document set: with `reconvert` each iteration
// converts over the documents the last one left (the commit then moves the
// previous set aside and flushes the new one), otherwise into a fresh
// folder. The output is on disk.
void BM_CorpusBatchImports(benchmark::State& state) {
  const bool reconvert = state.range(0) != 0;
  std::vector<std::string> sources;
  for (const tovrani::test::CorpusMovie& movie : tovrani::test::CorpusMovies()) sources.push_back(movie.path.string());
  if (sources.empty()) {
    state.SkipWithError("no corpus");
    return;
  }
  tovrani::ShellServices shell;
  tovrani::ConverterContext ctx;
  ctx.m_pShell = &shell;
  ctx.options.shapeJsflImport = 1;
  ctx.options.textJsflImport = 1;
  auto out = std::make_unique<Folder>();
  if (reconvert && !ConvertAll(ctx, sources, out->path())) state.SkipWithError("the batch stopped early");
  for (auto _ : state) {
    if (!reconvert) {
      state.PauseTiming();
      out = std::make_unique<Folder>();
      state.ResumeTiming();
    }
    if (!ConvertAll(ctx, sources, out->path())) {
      state.SkipWithError("the batch stopped early");
      break;
    }
  }
  state.counters["movies"] = double(sources.size());
}
BENCHMARK(BM_CorpusBatchImports)->ArgName("reconvert")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A long timeline: 100 depths moved in every frame. Its page work file
// outgrows what doubling can give in memory well before 6,000 frames; the
// time per frame must stay flat past that point.
void BM_LongTimeline(benchmark::State& state) {
  const uint16_t frames = uint16_t(state.range(0));
  ConvertEachIteration(state, tovrani::test::MovedSquaresMovie(100, frames), false);
  state.counters["per_frame"] = benchmark::Counter(
      double(frames), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LongTimeline)->Arg(1500)->Arg(3000)->Arg(6000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
