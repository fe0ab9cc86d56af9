// The static texts of the real movies of ../shared/corpus on each road: the
// document reads back whole, every page walks clean, the script parses, and
// every text becomes a small movie, glyph instances or a text record.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/jsfl_script.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace tovrani {
namespace {

namespace fs = std::filesystem;

class StaticTextCorpus : public ::testing::TestWithParam<int> {};

TEST_P(StaticTextCorpus, EveryTextConvertsOnTheRoadChosen) {
  const auto corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t movies = 0;
  for (const test::CorpusMovie& movie : corpus) {
    if (!movie.has("DefineText")) continue;
    SCOPED_TRACE(movie.name);
    test::TempDir dir;
    ConverterContext ctx;
    test::RecordingShell shell;
    shell.answerYes = true;
    ctx.m_pShell = &shell;
    ctx.options.textJsflImport = GetParam() == 0;
    ctx.options.textToTextfields = GetParam() == 2;
    ctx.options.askMissingFonts = 1;
    const std::string fla = dir.file("out.fla");
    const std::string script = DeriveDocumentPaths(ctx, fla);
    ASSERT_TRUE(WriteJsflHeader(script));
    const uint32_t r = ConvertMovie(ctx, movie.path.string(), fla, 0);
    if (!movie.problems.empty() || r != kResultDone) continue;
    ++movies;
    ASSERT_EQ(script, fla + ".jsfl");
    test::ExpectReadableDocument(fla);
    if (GetParam() == 0) {
      size_t files = 0;
      if (fs::exists(ctx.m_strStaticTextFolder))
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(ctx.m_strStaticTextFolder)) ++files;
      EXPECT_GT(files, 0u);
    }
  }
  EXPECT_GT(movies, 0u);
}

INSTANTIATE_TEST_SUITE_P(Roads, StaticTextCorpus, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace tovrani
