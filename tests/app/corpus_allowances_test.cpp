// What the real movies of the corpus take of their allowances: nothing is
// refused, with the program's defaults, with both import options, with the
// shape builder on and with motion tweens approximated, and each movie
// would still convert whole with a quarter of every per-byte rate (the
// rates are at least four times what real movies use).
#include <gtest/gtest.h>

#include <functional>

#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "support/corpus.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

struct Mode {
  const char* name;
  std::function<void(ConverterContext&)> set;
};

TEST(CorpusAllowances, RealMoviesUseAQuarterOfTheirRatesAtMost) {
  const auto movies = CorpusMovies();
  if (movies.empty()) GTEST_SKIP() << "no corpus";
  const Mode modes[] = {
      {"defaults", [](ConverterContext&) {}},
      {"import", [](ConverterContext& ctx) { ctx.options.shapeJsflImport = ctx.options.textJsflImport = 1; }},
      {"exact search", [](ConverterContext& ctx) { ctx.options.exactProblemSearch = 1; }},
      {"no heuristic search", [](ConverterContext& ctx) { ctx.options.heuristicProblemSearch = 0; }},
      {"motion tweens",
       [](ConverterContext& ctx) { ctx.options.approximateMotionTweens = ctx.options.approximateEasing = 1; }},
  };
  for (const Mode& mode : modes) {
    for (const CorpusMovie& movie : movies) {
      if (!movie.sound()) continue;
      SCOPED_TRACE(std::string(mode.name) + ": " + movie.name);
      TempDir dir;
      RecordingShell shell;
      ConverterContext ctx;
      ctx.m_pShell = &shell;
      mode.set(ctx);
      SwfFileRequest request;
      request.saveDialog = [&](const std::string&, std::string& chosen) {
        chosen = dir.file("out.fla");
        return true;
      };
      const auto outcomes = ConvertSwfFiles(ctx, {movie.path.string()}, 0, 0, request);
      ASSERT_EQ(outcomes.size(), 1u);
      if (outcomes[0].result != 0) continue;  // a movie the converter refuses as a whole
      for (const auto& [name, allowance] : Allowances(ctx.m_budget)) {
        EXPECT_EQ(allowance->refusals(), 0u) << name;
        EXPECT_LE(allowance->used(), allowance->fixed() + (allowance->given() - allowance->fixed()) / 4)
            << name << ": " << allowance->used() << " of " << allowance->given();
      }
    }
  }
}

}  // namespace
}  // namespace tovrani::test
