// Every DefineShape of the real movies beside the project, also inside
// sprites, becomes a shape page that the structural check and the page
// walker accept at the movie's own level.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "fla/file_helpers.h"
#include "fla/work_files.h"
#include "support/independent_readers.h"
#include "support/recording_shell.h"
#include "convert/engine.h"
#include "shape/decode/define_shape.h"
#include "shape/shape_test_support.h"
#include "support/page_walker.h"
#include "support/temp_dir.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"

namespace tovrani {
namespace {

namespace fs = std::filesystem;

// The movie's tags after the header, inflated when compressed; empty when
// the file is no FWS or CWS movie.
std::vector<uint8_t> MovieTags(const std::vector<uint8_t>& file) {
  if (file.size() < 8 || file[1] != 'W' || file[2] != 'S') return {};
  std::vector<uint8_t> body(file.begin() + 8, file.end());
  if (file[0] == 'C') {
    InflateZlibToVector(std::span(file).subspan(8), 64u << 20, body);
  } else if (file[0] != 'F') {
    return {};
  }
  SwfReader r(body);
  SwfRect frame;
  ReadSwfRect(r, frame);
  r.skip(4);
  if (!r.ok()) return {};
  return std::vector<uint8_t>(body.begin() + long(r.pos()), body.end());
}

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
  const fs::path corpus = fs::path(TOVRANI_SHARED_DIR) / "corpus";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus";
  size_t shapes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".swf") continue;
    const std::vector<uint8_t> file = test::ReadFileBytes(entry.path().string());
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
          << entry.path() << " tag " << code;
      ASSERT_TRUE(test::PageWalksClean(page)) << entry.path();
      ++shapes;
    }
  }
  EXPECT_GT(shapes, 100u);
}

// Whole conversions: every shape of the main movie is a symbol page of the
// document that walks clean, and so does the scene that places them.
TEST(CorpusShapes, MoviesGiveASymbolPagePerShape) {
  const fs::path corpus = fs::path(TOVRANI_SHARED_DIR) / "corpus";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  size_t movies = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".swf") continue;
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> found;
    CollectShapes(MovieTags(test::ReadFileBytes(entry.path().string())), found, 4);
    if (found.empty()) continue;
    ConverterContext ctx;
    test::RecordingShell shell;
    ctx.m_pShell = &shell;
    if (ConvertMovie(ctx, entry.path().string(), dir.file("out.fla"), 0) != kResultDone) continue;
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(test::ReadCompoundFile(dir.file("out.fla"), streams)) << entry.path();
    size_t symbols = 0;
    for (const auto& [name, page] : streams) {
      if (name != "Page 1" && name.rfind("Symbol ", 0) != 0) continue;
      EXPECT_TRUE(test::PageWalksClean(page)) << entry.path() << " " << name;
      symbols += name != "Page 1";
    }
    EXPECT_GE(symbols, found.size()) << entry.path();
    ++movies;
  }
  EXPECT_GT(movies, 10u);
}

}  // namespace
}  // namespace tovrani
