// Painting and tracing a problem area again: raster sizes, what is painted,
// and the records that come back.
#include "shape/build/retrace_region.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "convert/converter_context.h"

namespace tovrani {
namespace {

TEST(RetraceRegion, RasterSizesAndScales) {
  struct Case {
    int64_t w, h;
    int32_t rw, rh;
    double s;
    bool scaled;
  } cases[] = {
      {256, 256, 256, 256, 1.0, false},
      {512, 512, 256, 256, 0.5, true},
      {257, 256, 257, 256, 0.998053, true},  // the ceiling keeps 257 x 256
      {30000, 2, 28672, 2, 28672.0 / 30000, true},
      {28673, 1, 28672, 1, 28672.0 / 28673, true},
  };
  ConverterContext ctx;
  for (const Case& c : cases) {
    ctx.m_nRetraceMaxPixels = 1;
    RetraceSize size;
    ASSERT_TRUE(SizeRetraceRaster(ctx, c.w, c.h, size));
    EXPECT_EQ(ctx.m_nRetraceMaxPixels, 65536);
    EXPECT_EQ(size.width, c.rw) << c.w;
    EXPECT_EQ(size.height, c.rh) << c.w;
    EXPECT_NEAR(size.scale, c.s, 1e-6) << c.w;
    EXPECT_EQ(size.scaled, c.scaled) << c.w;
  }
  ctx.m_nRetraceMaxPixels = 1;
  RetraceSize size;
  EXPECT_FALSE(SizeRetraceRaster(ctx, 0, 5, size));
  EXPECT_EQ(ctx.m_nRetraceMaxPixels, 65536);
}

// An L of 40 x 40 (the top-right quarter cut away) with a 6 x 6 hole, at
// box corner (100, 200).
Region LWithHole() {
  Region l;
  l.SetRects({{100, 200, 120, 240}, {120, 220, 140, 240}});
  Region::Combine(l, l, Region(105, 225, 111, 231), CombineMode::kDiff);
  return l;
}

TEST(RetraceRegion, UnscaledPaintsExactlyTheArea) {
  const Region area = LWithHole();
  RetraceSize size{40, 40, 1.0, false};
  Raster raster;
  ASSERT_TRUE(PaintRetraceArea(raster, size, {100, 200, 140, 240}, area));
  EXPECT_EQ(raster.Count(), area.Area());
  EXPECT_TRUE(raster.Get(0, 0));
  EXPECT_FALSE(raster.Get(39, 0));
  EXPECT_FALSE(raster.Get(5, 25));
}

TEST(RetraceRegion, TracesAnLWithAHoleIntoTwoOutlines) {
  ConverterContext ctx;
  const Region area = LWithHole();
  const IntRect box{100, 200, 140, 240};
  PathRecordList list, again;
  ASSERT_EQ(RetraceArea(ctx, list, box, area, 4), 1);
  ASSERT_EQ(RetraceArea(ctx, again, box, area, 4), 1);
  EXPECT_EQ(list.records, again.records);

  std::vector<IntRect> boxes;
  for (const PathRecord& r : list.records) {
    if (r.kind == kPathMoveTo) boxes.push_back({r.anchorX, r.anchorY, r.anchorX, r.anchorY});
    ASSERT_FALSE(boxes.empty()) << "an outline starts with a move-to";
    IntRect& b = boxes.back();
    for (int32_t x : {r.anchorX, r.kind == kPathCurveTo ? r.controlX : r.anchorX}) {
      EXPECT_TRUE(x >= 0 && x <= 40) << x;
      b.left = std::min(b.left, x), b.right = std::max(b.right, x);
    }
    for (int32_t y : {r.anchorY, r.kind == kPathCurveTo ? r.controlY : r.anchorY}) {
      EXPECT_TRUE(y >= 0 && y <= 40) << y;
      b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
    }
  }
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], (IntRect{0, 0, 40, 40}));
  EXPECT_LT(boxes[1].right - boxes[1].left, 10);

  PathRecordList empty;
  EXPECT_EQ(RetraceArea(ctx, empty, {5, 5, 5, 9}, area, 4), -1);
  EXPECT_EQ(empty.count(), 0);
}

}  // namespace
}  // namespace tovrani
