#include "timeline/inner_symbol_page.h"

#include <gtest/gtest.h>

#include "fla/work_files.h"
#include "support/work_budget.h"
#include "timeline/inner_page_fixture.h"

namespace tovrani {
namespace {

using namespace test;

class InnerPage : public InnerPageFixture {};

INSTANTIATE_TEST_SUITE_P(Levels, InnerPage, ::testing::Values(0, 2));

// 4095 bytes go to the mini stream, 4096 to regular sectors; either way one
// symbol entry, one row and each counter up by one, and the interrupted
// page's reservation moves to the next row.
TEST_P(InnerPage, CommitsBelowAndFromTheMiniStreamCutoff) {
  for (const uint32_t size : {4095u, 4096u}) {
    reset();
    ctx.m_pStreamItemNo[0] = 77;
    ByteSink end;
    if (isNew()) WriteLayerEndNew(end, 2);
    else WriteLayerEndOld(end, 2);
    uint16_t item = 0;
    {
      InnerSymbolPage inner(ctx, InnerSymbolPage::Kind::kOneElement);
      ASSERT_TRUE(inner.ok());
      EXPECT_EQ(ctx.m_pPageStream, inner.file());
      EXPECT_EQ(ctx.m_pStreamItemNo.at(0), 1);
      PutZeros(inner.file(), size - 51 - end.bytes().size());
      ASSERT_TRUE(inner.commit(2));
      EXPECT_EQ(inner.row(), 0u);
      item = inner.itemNo();
    }
    EXPECT_EQ(item, 1);
    EXPECT_EQ(ctx.m_nStreams, 1u);
    EXPECT_EQ(ctx.m_wCurSymbolId, 2);
    EXPECT_EQ(ctx.m_nSymbolStreams, 1u);
    EXPECT_EQ(ctx.m_wNextItemNo, 2);
    EXPECT_EQ(ctx.m_pStreamSize.at(0), size);
    EXPECT_EQ(ctx.m_pStreamStart.at(0), 0u);
    EXPECT_EQ(ctx.m_pStreamItemNo.at(1), 77);
    ASSERT_EQ(ctx.m_nBigStreamList, 1u);
    const bool regular = size == 4096;
    EXPECT_EQ(ctx.m_pBigStreamList.at(0), regular ? kSymbolStreamTag : 0u);
    EXPECT_EQ(WorkFiles::Contents(ctx.m_pBigSectorFile).size(), regular ? 4096u : 0u);
    EXPECT_EQ(WorkFiles::Contents(ctx.m_pMiniStreamFile).size(), regular ? 0u : 4096u);
    if (!regular) {
      for (uint32_t i = 0; i < 63; ++i) EXPECT_EQ(ctx.m_apMiniFatBlocks[0][i], i + 1);
      EXPECT_EQ(ctx.m_apMiniFatBlocks[0][63], kEndOfChain);
    }
    const std::vector<uint8_t> dir = WorkFiles::Contents(ctx.m_pSymbolDirFile);
    ASSERT_EQ(dir.size(), 128u);
    EXPECT_BYTES(Slice(dir, 0, 18), FieldBytes("UTF-16 \"Symbol 1\"; u16 0"));
    const std::vector<uint8_t> page = stream(0);
    ASSERT_EQ(page.size(), size);
    EXPECT_BYTES(Slice(page, page.size() - end.bytes().size(), page.size()), end.bytes());
    // The head's version bytes follow the level, and a one-element page
    // opens its first frame.
    EXPECT_EQ(page[15], isNew() ? 4 : 1);
    EXPECT_EQ(page[32], isNew() ? 4 : 1);
    EXPECT_BYTES(Slice(page, 49, 51), Bytes({isNew() ? 4 : 1, 0}));
    EXPECT_FALSE(test::WorkFileThere(folder, "spInner1.tmp"));
    EXPECT_EQ(ctx.m_nInnerPageLevel, 0u);
  }
}

// Opening saves and clears the page flags; the outer page stays open where
// it was. Pages open together have files of their own, and each commits
// under the item number it took.
TEST_P(InnerPage, NestedPagesResumeTheirOuterPage) {
  std::FILE* outer = ctx.m_pPageStream;
  ctx.m_pPageWorkFile = outer;
  ctx.m_bSceneTimeline = ctx.m_bPageFlag = 1;
  g_shortLayerEndLead = 1;
  ctx.m_pStreamItemNo[0] = 9;
  const long at = std::ftell(outer);
  {
    InnerSymbolPage a(ctx, InnerSymbolPage::Kind::kGroup);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(ctx.m_bSceneTimeline, 0);
    EXPECT_EQ(ctx.m_bPageFlag, 0);
    EXPECT_TRUE(a.empty());
    PutU8(a.file(), 0xAA);
    g_shortLayerEndLead = 0;
    {
      InnerSymbolPage b(ctx, InnerSymbolPage::Kind::kOneElement);
      ASSERT_TRUE(b.ok());
      EXPECT_NE(a.file(), b.file());
      g_shortLayerEndLead = 1;
      ASSERT_TRUE(b.commit(2));
      EXPECT_EQ(b.itemNo(), 2);
      EXPECT_EQ(ctx.m_pPageStream, a.file());
      EXPECT_EQ(g_shortLayerEndLead, 0);
    }
    EXPECT_FALSE(a.empty());
    ASSERT_TRUE(a.commit(3));
    EXPECT_EQ(a.itemNo(), 1);
    EXPECT_EQ(a.row(), 1u);
  }
  EXPECT_EQ(ctx.m_pPageStream, outer);
  EXPECT_EQ(ctx.m_pPageWorkFile, outer);
  EXPECT_EQ(ctx.m_bSceneTimeline, 1);
  EXPECT_EQ(ctx.m_bPageFlag, 1);
  EXPECT_EQ(g_shortLayerEndLead, 1);
  EXPECT_EQ(std::ftell(outer), at);
  EXPECT_EQ(ctx.m_pStreamItemNo.at(0), 2);
  EXPECT_EQ(ctx.m_pStreamItemNo.at(1), 1);
  EXPECT_EQ(ctx.m_pStreamItemNo.at(2), 9);
  // The group page keeps its head open: its first layer writes the frame.
  const std::vector<uint8_t> group = stream(1);
  ASSERT_GT(group.size(), 50u);
  EXPECT_EQ(group[49], 0xAA);
}

// A page file that cannot be made fails the conversion with 44, leaves the
// outer page current and hands the reservation back.
TEST_P(InnerPage, AFileThatCannotBeMadeFailsWithOutputIncomplete) {
  // Every work file goes to disk, and this one may not.
  test::WorkBudgetScope onDisk(0, [](const std::string& name) { return name != "spInner1.tmp"; });
  ASSERT_TRUE(folder.create());
  std::FILE* outer = ctx.m_pPageStream;
  ctx.m_pStreamItemNo[0] = 5;
  {
    InnerSymbolPage inner(ctx, InnerSymbolPage::Kind::kOneElement);
    EXPECT_FALSE(inner.ok());
    EXPECT_FALSE(inner.commit(2));
  }
  EXPECT_EQ(ctx.m_nWriterError, kResultOutputIncomplete);
  EXPECT_EQ(ctx.m_pPageStream, outer);
  EXPECT_EQ(ctx.m_pStreamItemNo.at(0), 5);
  EXPECT_EQ(ctx.m_nStreams, 0u);
}

}  // namespace
}  // namespace tovrani
