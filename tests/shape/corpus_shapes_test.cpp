// Every DefineShape of the real movies beside the project, also inside
// sprites, becomes a shape page that the structural check and the page
// walker accept at the movie's own level.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "fla/work_files.h"
#include "support/independent_readers.h"
#include "support/recording_shell.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "platform/id_range_list.h"
#include "shape/decode/define_shape.h"
#include "shape/shape_test_support.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/page_walker.h"
#include "support/shape_coverage.h"
#include "support/temp_dir.h"
#include "swf/swf_reader.h"

namespace tovrani {
namespace {

namespace fs = std::filesystem;

using test::MovieTags;

void CollectShapes(std::span<const uint8_t> tags,
                   std::vector<std::pair<uint16_t, std::vector<uint8_t>>>& out, int depth = 0) {
  SwfReader r(tags);
  TagHeader h;
  while (r.tagHeader(h) && h.code != 0) {
    if (h.length > r.remaining()) break;
    std::span<const uint8_t> body = r.take(h.length);
    if ((h.code == 2 || h.code == 22 || h.code == 32 || h.code == 83) && body.size() > 2)
      out.push_back({h.code, std::vector<uint8_t>(body.begin() + 2, body.end())});
    if (h.code == 39 && body.size() > 4 && depth < 4)
      CollectShapes(body.subspan(4), out, depth + 1);
  }
}

TEST(CorpusShapes, EveryDefineShapeBecomesAWellFormedPage) {
  const auto corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t shapes = 0;
  for (const test::CorpusMovie& movie : corpus) {
    const std::vector<uint8_t> file = test::ReadFileBytes(movie.path.string());
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> found;
    CollectShapes(MovieTags(file), found);
    for (const auto& [code, body] : found) {
      ConverterContext ctx;
      ctx.m_nFlaFormat = file[3] < 7 ? 0 : file[3] == 7 ? 1 : 2;
      ctx.m_bShapesOn = 1;
      std::FILE* f = std::tmpfile();
      ASSERT_TRUE(f);
      ASSERT_TRUE(BuildShapePage(ctx, code, body, f, 5).ok);
      const std::vector<uint8_t> page = test::WorkFiles::Contents(f);
      std::fclose(f);
      ASSERT_TRUE(test::CheckShapePage(page, ctx.m_nFlaFormat, 5))
          << movie.path << " tag " << code;
      ASSERT_TRUE(test::PageWalksClean(page)) << movie.path;
      ++shapes;
    }
  }
  EXPECT_GT(shapes, 100u);
}

// Every DefineShape through the analysis: its objects draw what the decoded
// ones draw, except where a rewrite that changes the drawing was logged.
TEST(CorpusShapes, TheAnalysisKeepsWhatEachShapeDraws) {
  const auto corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t compared = 0, rewritten = 0;
  for (const test::CorpusMovie& movie : corpus) {
    const std::vector<uint8_t> file = test::ReadFileBytes(movie.path.string());
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> found;
    CollectShapes(MovieTags(file), found);
    const uint8_t level = file[3] < 7 ? 0 : file[3] == 7 ? 1 : 2;
    for (const auto& [code, body] : found) {
      auto page = [&](bool analyse, std::vector<uint8_t>* lossy) {
        ConverterContext ctx;
        ctx.m_nFlaFormat = level;
        ctx.m_bShapesOn = 1;
        ctx.options.noProblemSearch = analyse ? 0 : 1;
        ctx.m_pLossyRewriteLog = lossy;
        std::FILE* f = std::tmpfile();
        EXPECT_TRUE(f && BuildShapePage(ctx, code, body, f, 5).ok);
        std::vector<uint8_t> bytes = f ? test::WorkFiles::Contents(f) : std::vector<uint8_t>();
        if (f) std::fclose(f);
        return bytes;
      };
      std::vector<uint8_t> lossy;
      const std::vector<uint8_t> decoded = page(false, nullptr), analysed = page(true, &lossy);
      ASSERT_TRUE(test::CheckShapePage(analysed, level, 5)) << movie.path;
      const auto before = test::ShapeObjects(decoded, level), after = test::ShapeObjects(analysed, level);
      ASSERT_EQ(before.size(), after.size()) << movie.path;
      rewritten += decoded != analysed;
      if (!lossy.empty()) continue;
      for (size_t i = 0; i < before.size(); ++i) {
        const auto diff = test::CoverageDifference(test::CoverageOf(before[i].edges, &before[i].styles),
                                                   test::CoverageOf(after[i].edges, &after[i].styles));
        EXPECT_TRUE(diff.empty()) << movie.path << " object " << i << ": " << diff.begin()->first;
      }
      ++compared;
    }
  }
  EXPECT_GT(compared, 100u);
  EXPECT_GT(rewritten, 0u);
}

// The format level a movie converts at, from its version byte.
uint8_t FlaLevelOf(const test::CorpusMovie& movie) {
  const std::vector<uint8_t> file = test::ReadFileBytes(movie.path.string());
  return file.size() < 4 || file[3] < 7 ? 0 : file[3] == 7 ? 1 : 2;
}

// Whole conversions in the other problem-search modes.
TEST(CorpusShapes, MoviesConvertInEveryProblemSearchMode) {
  const auto corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  for (int mode = 0; mode < 3; ++mode) {
    size_t movies = 0;
    for (const test::CorpusMovie& movie : corpus) {
      ConverterContext ctx;
      test::RecordingShell shell;
      ctx.m_pShell = &shell;
      if (mode == 0) ctx.options.heuristicProblemSearch = 0;
      if (mode == 1) ctx.options.noProblemSearch = 1;
      if (mode == 2) {
        ctx.options.exactProblemSearch = 1;
        AddIdRangesFromText("1,3,5-9", ctx.m_shapeIdRanges);
      }
      if (ConvertMovie(ctx, movie.path.string(), dir.file("out.fla"), 0) != kResultDone) continue;
      std::map<std::string, std::vector<uint8_t>> streams;
      ASSERT_TRUE(test::ReadCompoundFile(dir.file("out.fla"), streams)) << movie.path;
      const uint8_t level = FlaLevelOf(movie);
      for (const auto& [name, page] : streams)
        if (name == "Page 1" || name.rfind("Symbol ", 0) == 0) {
          EXPECT_TRUE(test::PageWalksClean(page, test::ShapeEdgeSpans(page, level)))
              << movie.path << " " << name;
        }
      ++movies;
    }
    EXPECT_GT(movies, 10u) << mode;
  }
}

}  // namespace
}  // namespace tovrani
