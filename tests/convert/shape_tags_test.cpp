#include "convert/shape_tags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "fla/work_files.h"
#include "shape/shape_test_support.h"
#include "convert/converter_context.h"
#include "fla/work_folder.h"
#include "convert/tag_loop.h"
#include "support/shape_coverage.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

std::vector<uint8_t> Triangle(uint16_t id, size_t padTo = 0) {
  SwfBytes b;
  b.u16(id).rect(0, 100, 0, 100).u8(1).u8(0).u8(1).u8(2).u8(3).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(100, 0).Straight(0, 100).Straight(-100, -100).End();
  std::vector<uint8_t> body = b.data();
  if (body.size() < padTo) body.resize(padTo, 0);
  return body;
}

class ShapeTagHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.create());
    ctx().m_pWorkFolder = &folder;
  }
  ConverterContext& ctx() { return files.ctx; }
  test::WorkFiles files;
  WorkFolder folder;
};

TEST_F(ShapeTagHandler, EachShapeBecomesTheSymbolOfItsRow) {
  HandleShapeTag(ctx(), 2, Triangle(9));
  HandleShapeTag(ctx(), 22, Triangle(11));
  EXPECT_EQ(ctx().m_nStreams, 2u);
  EXPECT_EQ(ctx().m_nSymbolStreams, 2u);
  EXPECT_EQ(ctx().m_pStreamItemNo.at(0), 9);
  EXPECT_EQ(ctx().m_pStreamItemNo.at(1), 11);
  EXPECT_EQ(ctx().m_pStreamId.at(1), 2);
  EXPECT_GT(ctx().m_pStreamSize.at(1), 0u);
  EXPECT_EQ(ctx().m_nWriterError, 0);
  EXPECT_FALSE(test::WorkFileThere(folder, "fill"));
}

TEST_F(ShapeTagHandler, TheId65535ShapeOf219BytesIsLeftOut) {
  HandleShapeTag(ctx(), 2, Triangle(0xFFFF, 219));
  EXPECT_EQ(ctx().m_nStreams, 0u);
  HandleShapeTag(ctx(), 2, Triangle(0xFFFF, 220));
  EXPECT_EQ(ctx().m_nStreams, 1u);
}

TEST_F(ShapeTagHandler, AWorkFileThatCannotBeOpenedLeavesTheShapeOut) {
  // The first "fill" cannot be made: every work file goes to disk, and it may not.
  bool refused = false;
  test::WorkBudgetScope onDisk(0, [&](const std::string& name) {
    if (name != "fill" || refused) return true;
    return refused = true, false;
  });
  folder.create();
  HandleShapeTag(ctx(), 2, Triangle(9));
  EXPECT_EQ(ctx().m_nStreams, 0u);
  EXPECT_EQ(ctx().m_nBigStreamList, 0u);
  EXPECT_EQ(ctx().m_nWriterError, 0);
  HandleShapeTag(ctx(), 2, Triangle(10));  // the next shape is converted again
  EXPECT_EQ(ctx().m_nStreams, 1u);
}

}  // namespace
}  // namespace tovrani

namespace tovrani {
namespace {

using test::MorphBody;
using test::ShapeRecords;
using test::SwfBytes;

// A closed staircase of `steps` steps of `size` twips: 2 * steps + 2 edges.
void Staircase(ShapeRecords& r, int steps, int size, bool withStyles) {
  if (withStyles) r.Change(std::pair(0, 0), std::nullopt, 1u, 1u);
  for (int i = 0; i < steps; ++i) r.Straight(size, 0).Straight(0, size);
  r.Straight(-steps * size, 0).Straight(0, -steps * size);
}

// A morph of one solid fill and one line (tag 84: the line filled with a
// gradient whose end stops differ from its start stops).
std::vector<uint8_t> MorphTag(uint16_t id, uint16_t tag, int steps) {
  SwfBytes s;
  s.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000);
  s.u8(1).u16(20).u16(60);
  if (tag == 84) {
    s.u8(0x08).u8(0).u8(0x10).matrix(0, 0).matrix(0, 0).u8(2);
    s.u8(0).u32(0xFF111111).u8(0).u32(0xFF222222);
    s.u8(255).u32(0xFF333333).u8(255).u32(0xFF444444);
  } else {
    s.u32(0xFF000000).u32(0xFFFFFFFF);
  }
  const auto body = MorphBody(tag, s.data(), [&](ShapeRecords& r) { Staircase(r, steps, 2, true); },
                              [&](ShapeRecords& r) { Staircase(r, steps, 3, false); });
  std::vector<uint8_t> out = SwfBytes().u16(id).data();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

bool Contains(const std::vector<uint8_t>& hay, uint32_t colour) {
  const uint8_t b[4] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), uint8_t(colour >> 24)};
  return std::search(hay.begin(), hay.end(), b, b + 4) != hay.end();
}

class MorphTagHandler : public ShapeTagHandler {
 protected:
  // The placed page of a stream row, read back from the container's work files.
  std::vector<uint8_t> Page(uint32_t row) {
    const uint32_t size = ctx().m_pStreamSize.at(row), start = ctx().m_pStreamStart.at(row);
    const bool regular = size >= kMiniStreamCutoff;
    std::FILE* f = regular ? ctx().m_pBigSectorFile : ctx().m_pMiniStreamFile;
    std::vector<uint8_t> all = test::WorkFiles::Contents(f);
    const size_t at = size_t(start) * (regular ? kSectorSize : kMiniSectorSize);
    if (at + size > all.size()) return {};
    return {all.begin() + long(at), all.begin() + long(at + size)};
  }
};

TEST_F(MorphTagHandler, ADecodedMorphIsCountedAndRegisteredARefusedOneIsNot) {
  EXPECT_EQ(ChainEntryFor(ctx(), 46, 10), 5);
  ctx().options.morphShape = 0;
  EXPECT_EQ(ChainEntryFor(ctx(), 84, 10), 0);

  std::vector<uint8_t> bad = MorphTag(4, 46, 2);
  bad[2 + 2 * SwfBytes().rect(0, 2000, 0, 2000).size() + 3] = 0x7F;  // offset past the body
  HandleMorphShapeTag(ctx(), 46, bad);
  EXPECT_EQ(ctx().m_wMorphShapes, 0);
  HandleMorphShapeTag(ctx(), 46, std::vector<uint8_t>{0x04});
  EXPECT_EQ(ctx().m_wMorphShapes, 0);
  HandleMorphShapeTag(ctx(), 46, MorphTag(9, 46, 2));
  ASSERT_EQ(ctx().m_wMorphShapes, 1);
  EXPECT_EQ(ctx().m_pMorphShapes[0].wCharacterId, 9);
  EXPECT_EQ(ctx().m_pMorphShapes[0].wSegments, 1);
  EXPECT_EQ(ctx().m_placedCharacters[9].kind, kElementMorphShape);
  EXPECT_EQ(ctx().m_placedCharacters[9].row, 0u);
  EXPECT_EQ(ctx().m_nStreams, 0u);  // this road writes no page
}

// Format level, tag, "Heuristic Problem Search".
class ExactMorphPages : public MorphTagHandler,
                        public ::testing::WithParamInterface<std::tuple<uint8_t, uint16_t, bool>> {};

TEST_P(ExactMorphPages, BothHalvesBecomeSymbolPages) {
  const auto [level, tag, heuristic] = GetParam();
  ctx().m_nFlaFormat = level;
  ctx().options.exactProblemSearch = 1;
  ctx().options.heuristicProblemSearch = heuristic;
  ctx().options.noProblemSearch = 1;  // no effect on this road
  const uint16_t symbol = ctx().m_wCurSymbolId, item = ctx().m_wNextItemNo;
  HandleMorphShapeTag(ctx(), tag, MorphTag(12, tag, 450));
  ASSERT_EQ(ctx().m_wMorphShapes, 1);
  const MorphShapeEntry& e = ctx().m_pMorphShapes[0];
  EXPECT_EQ(ctx().m_nStreams, 2u);
  EXPECT_EQ(ctx().m_nSymbolStreams, 2u);
  EXPECT_EQ(ctx().m_wCurSymbolId, symbol + 2);
  EXPECT_EQ(ctx().m_wNextItemNo, item + 2);
  EXPECT_EQ(e.wStartItemNo, item);
  EXPECT_EQ(e.wEndItemNo, item + 1);
  EXPECT_EQ(ctx().m_pStreamItemNo.at(1), item + 1);
  EXPECT_EQ(e.wSegments, 0);
  EXPECT_TRUE(e.pSegments.empty());
  EXPECT_EQ(e.wStartEdgeCount, 902);  // as decoded
  EXPECT_FALSE(test::WorkFileThere(folder, "fill"));

  for (uint32_t row = 0; row < 2; ++row) {
    SCOPED_TRACE(row);
    const std::vector<uint8_t> page = Page(row);
    ASSERT_GE(page.size(), kMiniStreamCutoff);
    EXPECT_EQ(ctx().m_pBigStreamList[row], row + kSymbolStreamTag);
    ASSERT_TRUE(test::CheckShapePage(page, level, 12));
    const auto objects = test::ShapeObjects(page, level);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_TRUE(Contains(objects[0].styles.fills[0], row ? 0xFFFF0000 : 0xFF0000FF));
    EXPECT_FALSE(Contains(objects[0].styles.fills[0], row ? 0xFF0000FF : 0xFFFF0000));
    if (level == 2 && tag == 84) {
      EXPECT_TRUE(Contains(objects[0].styles.lines[0], row ? 0xFF444444 : 0xFF333333));
      EXPECT_FALSE(Contains(objects[0].styles.lines[0], row ? 0xFF333333 : 0xFF444444));
    }
    // What the page draws is what the decoded half draws.
    const ShapeBlock& half = row ? e.pEndEdges : e.pStartEdges;
    const auto diff = test::CoverageDifference(test::CoverageOf(objects[0].edges, &objects[0].styles),
                                               test::CoverageOf(half.counted(), &objects[0].styles));
    EXPECT_TRUE(diff.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(LevelsTagsAndSearch, ExactMorphPages,
                         ::testing::Combine(::testing::Values(uint8_t{0}, uint8_t{2}),
                                            ::testing::Values(uint16_t{46}, uint16_t{84}),
                                            ::testing::Bool()));

}  // namespace
}  // namespace tovrani
