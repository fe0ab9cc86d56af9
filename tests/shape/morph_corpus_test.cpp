// Every DefineMorphShape and DefineMorphShape2 of the real movies beside the
// project, also inside sprites, on both roads: a complete entry or a clean
// refusal, and on the exact road two pages the checks accept.
#include <gtest/gtest.h>

#include "fla/work_files.h"
#include "fla/work_folder.h"
#include "shape/decode/morph_shape.h"
#include "shape/shape_test_support.h"
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
};

void CollectMorphs(std::span<const uint8_t> tags, std::vector<MorphTag>& out, int depth = 0) {
  SwfReader r(tags);
  TagHeader h;
  while (r.tagHeader(h) && h.code != 0) {
    if (h.length > r.remaining()) break;
    std::span<const uint8_t> body = r.take(h.length);
    if ((h.code == 46 || h.code == 84) && body.size() > 2)
      out.push_back({h.code, std::vector<uint8_t>(body.begin() + 2, body.end())});
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

}  // namespace
}  // namespace tovrani
