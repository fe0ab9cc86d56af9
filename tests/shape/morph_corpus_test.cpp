// Every DefineMorphShape and DefineMorphShape2 of the real movies beside the
// project, also inside sprites, on both roads: a complete entry or a clean
// refusal, and on the exact road two pages the checks accept; on the
// JSFL-import road, two small movies per morph.
#include <gtest/gtest.h>

#include <filesystem>

#include "fla/jsfl_script.h"
#include "fla/work_files.h"
#include "fla/work_folder.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "shape/decode/morph_shape.h"
#include "shape/decode/zero_alpha.h"
#include "shape/shape_test_support.h"
#include "support/bytes_less.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/temp_dir.h"
#include "swf/swf_reader.h"

namespace tovrani {
namespace {

struct MorphTag {
  uint16_t code = 0;
  std::vector<uint8_t> body;  // after the character id
  uint16_t id = 0;
};

void CollectMorphs(std::span<const uint8_t> tags, std::vector<MorphTag>& out, int depth = 0) {
  SwfReader r(tags);
  TagHeader h;
  while (r.tagHeader(h) && h.code != 0) {
    if (h.length > r.remaining()) break;
    std::span<const uint8_t> body = r.take(h.length);
    if ((h.code == 46 || h.code == 84) && body.size() > 2)
      out.push_back({h.code, std::vector<uint8_t>(body.begin() + 2, body.end()), uint16_t(body[0] | body[1] << 8)});
    if (h.code == 39 && body.size() > 4 && depth < 4) CollectMorphs(body.subspan(4), out, depth + 1);
  }
}

// The entry is complete: streams that read back with their counts, and a
// row for every start run and its partner.
::testing::AssertionResult Complete(const MorphShapeEntry& e, bool exact) {
  for (const ShapeBlock* half : {&e.pStartEdges, &e.pEndEdges}) {
    const auto extent = MeasureEdgeStream(half->bytes);
    if (!extent || extent->endPos != half->length || extent->records != half->recordCount)
      return ::testing::AssertionFailure() << "a half does not read back";
  }
  if (e.wStartEdgeCount != e.pStartEdges.recordCount || e.wEndEdgeCount != e.pEndEdges.recordCount)
    return ::testing::AssertionFailure() << "counts differ";
  if (exact ? !e.pSegments.empty() || e.wStartItemNo + 1 != e.wEndItemNo
            : e.wSegments == 0 || e.pSegments.size() < 2u * e.wSegments)
    return ::testing::AssertionFailure() << "runs or items out of place";
  return ::testing::AssertionSuccess();
}

TEST(CorpusMorphs, EveryMorphShapeDecodesOnBothRoads) {
  const std::vector<test::CorpusMovie> corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t morphs = 0, decoded = 0;
  for (const test::CorpusMovie& file : corpus) {
    const std::vector<uint8_t> movie = test::ReadFileBytes(file.path.string());
    if (movie.size() < 8) continue;
    std::vector<MorphTag> found;
    CollectMorphs(test::MovieTags(movie), found);
    const uint8_t level = movie[3] < 7 ? 0 : movie[3] == 7 ? 1 : 2;
    for (const MorphTag& tag : found) {
      SCOPED_TRACE(file.name);
      ++morphs;
      {
        ConverterContext ctx;
        ctx.m_nFlaFormat = level;
        MorphShapeEntry entry;
        if (ConvertMorphShapeTag(ctx, entry, tag.body, {}, tag.code)) {
          ++decoded;
          EXPECT_TRUE(Complete(entry, false));
        }
      }
      for (bool heuristic : {false, true}) {
        test::WorkFiles files;
        WorkFolder folder;
        ASSERT_TRUE(folder.create());
        ConverterContext& ctx = files.ctx;
        ctx.m_pWorkFolder = &folder;
        ctx.m_nFlaFormat = level;
        ctx.options.heuristicProblemSearch = heuristic;
        MorphShapeEntry entry;
        if (!ConvertMorphShapeTagExact(ctx, entry, tag.body, {}, tag.code)) continue;
        EXPECT_TRUE(Complete(entry, true));
        ASSERT_EQ(ctx.m_nStreams, 2u);
        for (uint32_t row = 0; row < 2; ++row) {
          const uint32_t size = ctx.m_pStreamSize.at(row), start = ctx.m_pStreamStart.at(row);
          const bool regular = size >= kMiniStreamCutoff;
          const auto all = test::WorkFiles::Contents(regular ? ctx.m_pBigSectorFile : ctx.m_pMiniStreamFile);
          const size_t at = size_t(start) * (regular ? kSectorSize : kMiniSectorSize);
          ASSERT_LE(at + size, all.size());
          const std::vector<uint8_t> page(all.begin() + long(at), all.begin() + long(at + size));
          EXPECT_TRUE(test::CheckShapePage(page, level, entry.wCharacterId));
          EXPECT_TRUE(test::PageWalksClean(page));
        }
      }
    }
  }
  EXPECT_EQ(morphs, 14u);
  EXPECT_EQ(decoded, morphs);
}

// Every corpus movie holding a morph, converted with the JSFL-import option
// on: the document set reads back and shows the movie, and each morph gives
// two import movies holding its tag (a DefineMorphShape with its zero
// alphas raised) placed at ratio 0 and 65535.
TEST(CorpusMorphs, EveryMorphShapeReachesTheImportRoad) {
  const std::vector<test::CorpusMovie> corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t morphs = 0, imported = 0, raised = 0;
  for (const test::CorpusMovie& file : corpus) {
    if (!file.has("MorphShape")) continue;
    SCOPED_TRACE(file.name);
    const std::vector<uint8_t> movie = test::ReadFileBytes(file.path.string());
    std::vector<MorphTag> found;
    CollectMorphs(test::MovieTags(movie), found);
    morphs += found.size();

    test::TempDir dir;
    ConverterContext ctx;
    const std::string fla = dir.file("out.fla");
    const std::string script = DeriveDocumentPaths(ctx, fla);
    ASSERT_TRUE(WriteJsflHeader(script));
    ctx.options.shapeJsflImport = 1;
    ASSERT_EQ(ConvertMovie(ctx, file.path.string(), fla, 0), uint32_t(kResultDone));
    EXPECT_TRUE(test::DocumentShowsMovie(movie, test::ExpectReadableDocument(fla)));

    // What each import movie of a morph holds: the tag and its placements
    // by ratio.
    std::map<std::vector<uint8_t>, std::map<uint16_t, size_t>, test::BytesLess> held;
    for (const auto& entry : std::filesystem::directory_iterator(ctx.m_strShapesFolder)) {
      const std::vector<uint8_t> tags = test::MovieTags(test::ReadFileBytes(entry.path().string()));
      SwfReader r(tags);
      TagHeader h;
      std::vector<uint8_t> morph;
      while (r.tagHeader(h) && h.code != 0 && h.length <= r.remaining()) {
        const std::span<const uint8_t> body = r.take(h.length);
        if (h.code == 46 || h.code == 84) morph.assign(body.begin(), body.end());
        if (h.code == 26 && !morph.empty() && body.size() == 8 && body[0] == 0x16)
          ++held[morph][uint16_t(body[6] | body[7] << 8)];
      }
    }
    for (const MorphTag& tag : found) {
      std::vector<uint8_t> expected = {uint8_t(tag.id), uint8_t(tag.id >> 8)};
      expected.reserve(2 + tag.body.size());
      expected.insert(expected.end(), tag.body.begin(), tag.body.end());
      if (tag.code == 46) {
        EXPECT_TRUE(FixMorphZeroAlpha(std::span(expected).subspan(2)));
        raised += !std::equal(expected.begin() + 2, expected.end(), tag.body.begin());
      }
      for (const uint16_t ratio : {0, 0xFFFF}) imported += held[expected][ratio] > 0;
    }
  }
  if (morphs == 0) GTEST_SKIP() << "no morph shape in the corpus";
  EXPECT_EQ(imported, 2 * morphs);
  EXPECT_EQ(raised, 7u);  // DefineMorphShapes of the corpus with a colour of alpha 0
}

}  // namespace
}  // namespace tovrani
