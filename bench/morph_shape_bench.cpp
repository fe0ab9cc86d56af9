// Speed of the morph decoders on the largest morph shape of the corpus
// (tag 46 of movieclip_hittest_shapeflag), on both roads.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/converter_context.h"
#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "fla/work_folder.h"
#include "shape/decode/morph_shape.h"
#include "shape_capture.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"

namespace tovrani {
namespace {

// The first DefineMorphShape body of the movie, after its character id.
std::vector<uint8_t> FirstMorphBody(const std::string& path) {
  std::vector<uint8_t> body;
  bench::FindMovieTag(path, [&](uint8_t, uint16_t code, std::span<const uint8_t> tag) {
    if (code != 46 || tag.size() <= 2) return false;
    body.assign(tag.begin() + 2, tag.end());
    return true;
  });
  return body;
}

const std::vector<uint8_t>& Body() {
  static const std::vector<uint8_t> body = [] {
    return FirstMorphBody(bench::CorpusPath("ruffle/tests/tests/swfs/avm1/movieclip_hittest_shapeflag/test.swf"));
  }();
  return body;
}

void BM_MorphDecode(benchmark::State& state) {
  if (Body().empty()) return state.SkipWithError("corpus movie absent (set TOVRANI_CORPUS)");
  for (auto _ : state) {
    ConverterContext ctx;
    MorphShapeEntry entry;
    benchmark::DoNotOptimize(ConvertMorphShapeTag(ctx, entry, Body(), {}, 46));
  }
  state.SetLabel(std::to_string(Body().size()) + " bytes");
}
BENCHMARK(BM_MorphDecode)->Unit(benchmark::kMillisecond);

void BM_MorphDecodeExact(benchmark::State& state) {
  if (Body().empty()) return state.SkipWithError("corpus movie absent (set TOVRANI_CORPUS)");
  WorkFolder folder;
  if (!folder.create()) return state.SkipWithError("no work folder");
  for (auto _ : state) {
    ConverterContext ctx;
    ctx.m_pWorkFolder = &folder;
    ctx.m_pBigSectorFile = std::tmpfile();
    ctx.m_pMiniStreamFile = std::tmpfile();
    ctx.m_pMediaDirFile = std::tmpfile();
    ctx.m_pSymbolDirFile = std::tmpfile();
    ResetMiniFat(ctx);
    ctx.options.heuristicProblemSearch = uint8_t(state.range(0));
    MorphShapeEntry entry;
    benchmark::DoNotOptimize(ConvertMorphShapeTagExact(ctx, entry, Body(), {}, 46));
    for (std::FILE* f : {ctx.m_pBigSectorFile, ctx.m_pMiniStreamFile, ctx.m_pMediaDirFile, ctx.m_pSymbolDirFile})
      std::fclose(f);
  }
}
BENCHMARK(BM_MorphDecodeExact)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovrani
