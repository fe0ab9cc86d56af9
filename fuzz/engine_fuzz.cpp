// libFuzzer target: the whole engine on arbitrary bytes as a movie. Every
// input must end in a result code with no sanitizer report, no leak and no
// hang. The last byte picks the problem-search mode, so that every road of
// the shapes is taken: the defaults, "Heuristic Problem Search" off, "No
// Problem Search" on, "Exact Problem Search / Vectorization" on with some
// shape ids listed. Seeds: fuzz/seeds/engine/ (small movies whose last
// byte, after the end tag, picks "Heuristic Problem Search" off).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "convert/converter_context.h"
#include "convert/engine.h"
#include "platform/id_range_list.h"

namespace {

// Inputs up to this size take the user's shape budget in the mode that
// writes shapes with problems as stacks.
constexpr size_t kShortInput = 1024;

std::filesystem::path FuzzFolder() {
  static std::filesystem::path dir = [] {
    std::string base = (std::filesystem::temp_directory_path() / "tovrani-fuzz-XXXXXX").string();
    if (!mkdtemp(base.data())) std::abort();
    return std::filesystem::path(base);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = (FuzzFolder() / "in.swf").string();
  const std::string output = (FuzzFolder() / "out.fla").string();
  std::FILE* f = std::fopen(input.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  tovrani::ShellServices shell;
  tovrani::ConverterContext ctx;
  ctx.m_pShell = &shell;
  // A far smaller work budget per shape than a user gets: instrumented code
  // runs many times slower, and what needs covering here is the budget's
  // road, not a long search. Short inputs with "Heuristic Problem Search"
  // off keep the user's budget: with the small one no shape ever gets as
  // far as retracing a region, and a short movie holds only small shapes.
  const uint64_t userBudget = ctx.m_nBuildShapeBudget;
  ctx.m_nBuildShapeBudget = 1 << 18;
  switch (size ? data[size - 1] % 4 : 0) {
    case 1:
      ctx.options.heuristicProblemSearch = 0;
      if (size <= kShortInput) ctx.m_nBuildShapeBudget = userBudget;
      break;
    case 2:
      ctx.options.noProblemSearch = 1;
      break;
    case 3:
      ctx.options.exactProblemSearch = 1;
      tovrani::AddIdRangesFromText("1,3-5", ctx.m_shapeIdRanges);
      break;
    default:
      break;
  }
  tovrani::g_pConverter = &ctx;
  tovrani::ConvertMovie(ctx, input, output, 0);
  tovrani::g_pConverter = nullptr;
  std::error_code ec;
  std::filesystem::remove(output, ec);
  std::filesystem::remove(output + ".jsfl", ec);
  return 0;
}
