#include "shape/decode/shape_page.h"

#include <gtest/gtest.h>

#include "fla/stream_placement.h"
#include "fla/work_files.h"
#include "shape/decode/define_shape.h"
#include "shape/shape_test_support.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

// A solid-filled zigzag of `edges` straight edges.
std::vector<uint8_t> ZigzagBody(int edges) {
  SwfBytes b;
  b.rect(0, 100, 0, 100).u8(1).u8(0).u8(9).u8(9).u8(9).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  for (int i = 0; i < edges; ++i) r.Straight(100, (i & 1) ? 100 : -100);
  r.End();
  return b.data();
}

std::vector<uint8_t> PageOf(test::WorkFiles& w, std::FILE* f, const std::vector<uint8_t>& body) {
  w.ctx.m_bShapesOn = 1;
  BuildShapePage(w.ctx, 2, body, f, 3);
  return test::WorkFiles::Contents(f);
}

TEST(ShapePagePlacement, SmallPagesGoToTheMiniStreamAndLargeOnesToTheSectors) {
  test::WorkFiles w;
  w.ctx.m_nStreams = 4;
  std::FILE* small = std::tmpfile();
  const std::vector<uint8_t> smallPage = PageOf(w, small, ZigzagBody(3));
  ASSERT_LT(smallPage.size(), kMiniStreamCutoff);
  ASSERT_TRUE(PlaceShapePage(w.ctx, small));
  std::fclose(small);
  EXPECT_EQ(w.ctx.m_pStreamSize.at(4), smallPage.size());
  EXPECT_EQ(w.ctx.m_pStreamStart.at(4), 0u);
  EXPECT_EQ(w.ctx.m_nBigStreamList, 1u);
  EXPECT_EQ(w.ctx.m_pBigStreamList.at(0), 0u);
  // The counters are the caller's.
  EXPECT_EQ(w.ctx.m_nStreams, 4u);
  EXPECT_EQ(w.ctx.m_wCurSymbolId, 1);
  EXPECT_EQ(w.ctx.m_nSymbolStreams, 0u);

  w.ctx.m_nStreams = 5;
  std::FILE* large = std::tmpfile();
  const std::vector<uint8_t> largePage = PageOf(w, large, ZigzagBody(900));
  ASSERT_GE(largePage.size(), kMiniStreamCutoff);
  ASSERT_TRUE(test::CheckShapePage(largePage, 0, 3));
  ASSERT_TRUE(PlaceShapePage(w.ctx, large));
  std::fclose(large);
  EXPECT_EQ(w.ctx.m_pStreamSize.at(5), largePage.size());
  EXPECT_EQ(w.ctx.m_pBigStreamList.at(1), 5u + kSymbolStreamTag);
  const std::vector<uint8_t> sectors = test::WorkFiles::Contents(w.ctx.m_pBigSectorFile);
  ASSERT_GE(sectors.size(), largePage.size());
  EXPECT_TRUE(std::equal(largePage.begin(), largePage.end(),
                         sectors.begin() + long(w.ctx.m_pStreamStart.at(5)) * kSectorSize));
}

}  // namespace
}  // namespace tovrani
