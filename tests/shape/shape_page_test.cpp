#include "shape/decode/shape_page.h"

#include <gtest/gtest.h>

#include "fla/stream_placement.h"
#include "fla/work_files.h"
#include "shape/decode/define_shape.h"
#include "shape/shape_test_support.h"

namespace tovrani {
namespace {

// Small pages go to the mini stream, large ones to regular sectors tagged
// in the big-stream list; the counters stay the caller's.
TEST(ShapePagePlacement, SmallPagesGoToTheMiniStreamAndLargeOnesToTheSectors) {
  test::WorkFiles w;
  w.ctx.m_bShapesOn = 1;
  for (uint32_t row : {4u, 5u}) {
    test::SwfBytes b;  // a solid-filled zigzag
    b.rect(0, 100, 0, 100).u8(1).u8(0).u8(9).u8(9).u8(9).u8(0).u8(0x10);
    test::ShapeRecords r{b, 1, 0};
    r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
    for (int i = 0; i < (row == 4 ? 3 : 900); ++i) r.Straight(100, (i & 1) ? 100 : -100);
    r.End();
    w.ctx.m_nStreams = row;
    std::FILE* f = std::tmpfile();
    BuildShapePage(w.ctx, 2, b.data(), f, 3);
    const std::vector<uint8_t> page = test::WorkFiles::Contents(f);
    ASSERT_TRUE(test::CheckShapePage(page, 0, 3));
    ASSERT_EQ(page.size() >= kMiniStreamCutoff, row == 5);
    ASSERT_TRUE(PlaceShapePage(w.ctx, f));
    std::fclose(f);
    EXPECT_EQ(w.ctx.m_pStreamSize.at(row), page.size());
    EXPECT_EQ(w.ctx.m_nStreams, row);
    EXPECT_EQ(w.ctx.m_wCurSymbolId, 1);
    EXPECT_EQ(w.ctx.m_nSymbolStreams, 0u);
    EXPECT_EQ(w.ctx.m_nBigStreamList, row - 3);
    if (row == 4) {
      EXPECT_EQ(w.ctx.m_pStreamStart.at(4), 0u);
      EXPECT_EQ(w.ctx.m_pBigStreamList.at(0), 0u);
    } else {
      EXPECT_EQ(w.ctx.m_pBigStreamList.at(1), 5u + kSymbolStreamTag);
      const std::vector<uint8_t> sectors = test::WorkFiles::Contents(w.ctx.m_pBigSectorFile);
      const size_t start = size_t(w.ctx.m_pStreamStart.at(5)) * kSectorSize;
      ASSERT_GE(sectors.size(), start + page.size());
      EXPECT_TRUE(std::equal(page.begin(), page.end(), sectors.begin() + long(start)));
    }
  }
}

}  // namespace
}  // namespace tovrani
