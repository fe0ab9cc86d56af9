// The real movies of ../shared/corpus run through the engine to a result
// code; the well-formed FWS and CWS ones reach the finish.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/corpus.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"
#include "convert/engine.h"

namespace tovrani {
namespace {


TEST(EngineCorpusTest, EveryMovieRunsToAResult) {
  const auto corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  int movies = 0;
  for (const test::CorpusMovie& movie : corpus) {
    SCOPED_TRACE(movie.name);
    ConverterContext ctx;
    test::RecordingShell shell;
    ctx.m_pShell = &shell;
    EngineServices services;
    bool finished = false;
    services.finish = [&](ConverterContext&) { finished = true; return uint32_t(kResultDone); };
    auto start = std::chrono::steady_clock::now();
    uint32_t r = ConvertMovie(ctx, movie.path.string(), dir.file("out.fla"), 0, services);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    if (movie.signature == "ZWS") {
      EXPECT_EQ(r, kResultNotSwf);
    }
    if (movie.sound()) {
      EXPECT_EQ(r, kResultDone);
      EXPECT_TRUE(finished);
    }
    ++movies;
  }
  EXPECT_GT(movies, 0);
}

}  // namespace
}  // namespace tovrani
