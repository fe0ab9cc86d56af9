// Painting and tracing a problem area again: raster sizes, what is painted,
// and the records that come back.
#include "shape/builder/retrace_region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "convert/converter_context.h"
#include "platform/path.h"
#include "platform/path_widen.h"
#include "support/shape_coverage.h"

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
  ShapeRegion region;
  region.area = LWithHole();
  region.box = {100, 200, 140, 240};
  PathRecordList list, again;
  ASSERT_EQ(RetraceRegion(ctx, list, region, {}, 4), 1);
  ASSERT_EQ(RetraceRegion(ctx, again, region, {}, 4), 1);
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
  region.box = {5, 5, 5, 9};
  EXPECT_EQ(RetraceRegion(ctx, empty, region, {}, 4), -1);
  EXPECT_EQ(empty.count(), 0);
}


using Polygon = std::vector<IntPoint>;

Polygon RegularPolygon(int32_t cx, int32_t cy, double r, int n) {
  Polygon p;
  for (int i = 0; i < n; ++i)
    p.push_back({int32_t(std::lround(cx + r * std::cos(6.283185307179586 * i / n))),
                 int32_t(std::lround(cy + r * std::sin(6.283185307179586 * i / n)))});
  return p;
}

Polygon Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }

Path PolygonPath(const std::vector<Polygon>& polygons) {
  Path path;
  for (const Polygon& p : polygons) {
    path.MoveTo(p[0]);
    for (size_t i = 1; i < p.size(); ++i) path.LineTo(p[i]);
    path.CloseFigure();
  }
  return path;
}

Region Fill(const std::vector<Polygon>& polygons) {
  Region r;
  EXPECT_NE(PolygonPath(polygons).ToRegion(r), RegionKind::kError);
  return r;
}

Region Band(const std::vector<Polygon>& polygons) {
  Region r;
  EXPECT_NE(WidenPathToRegion(PolygonPath(polygons), 2, r), RegionKind::kError);
  return r;
}

// What the encoded records fill with fill style 1.
Region Drawn(const PathRecordList& list, const IntRect& box) {
  ShapeOutput out;
  uint32_t count = 0;
  ShapeGeometry unbounded;
  EXPECT_TRUE(list.EncodeRecordsAsEdges(box, out, count, unbounded));
  std::vector<uint8_t> bytes = out.bytes.bytes();
  bytes.push_back(0);  // the end byte
  const test::ShapeCoverage c = test::CoverageOf(bytes);
  EXPECT_TRUE(c.ok) << count << " records";
  const auto it = c.fills.find({0xEE, 1});
  return it == c.fills.end() ? Region() : it->second;
}

// The retrace may differ from what it should draw by at most as many
// pixels as the 2-unit band along that outline holds.
bool WithinBand(const Region& drawn, const Region& expected, const Region& band) {
  Region x, y;
  Region::Combine(x, drawn, expected, CombineMode::kDiff);
  Region::Combine(y, expected, drawn, CombineMode::kDiff);
  return x.Area() + y.Area() <= band.Area();
}

// The polygon as graph points, each with the one edge to the next, and a
// region whose first contour runs along them.
std::vector<ShapePoint> Points(const Polygon& p, ShapeRegion& region) {
  std::vector<ShapePoint> points(p.size());
  region.contours.assign(1, Contour{});
  for (uint32_t i = 0; i < p.size(); ++i) {
    const IntPoint b = p[(i + 1) % p.size()];
    points[i].x = p[i].x * 256, points[i].y = p[i].y * 256;
    PointEdge e;
    e.endX = b.x * 256, e.endY = b.y * 256, e.otherPoint = uint32_t((i + 1) % p.size());
    points[i].edges.push_back(e);
    region.contours[0].Append(i, 0);
  }
  return points;
}

struct Shape {
  const char* name;
  std::vector<Polygon> polygons;  // the first is the region's first contour
};

// Every shape at scale k (the L at twice that once scaled, so that its box
// too is too large for an unscaled raster).
std::vector<Shape> Shapes(int32_t k) {
  const int32_t x = 1000, y = -700;  // the box is not at the origin
  const int32_t lk = k == 1 ? 1 : 2 * k;
  return {
      {"disc", {RegularPolygon(x + 60 * k, y + 60 * k, 50.0 * k, 48)}},
      {"L with hole",
       {{{x, y}, {x + 20 * lk, y}, {x + 20 * lk, y + 20 * lk}, {x + 40 * lk, y + 20 * lk},
         {x + 40 * lk, y + 40 * lk}, {x, y + 40 * lk}},
        Rect(x + 5 * lk, y + 25 * lk, x + 11 * lk, y + 31 * lk)}},
      {"ring", {RegularPolygon(x + 70 * k, y + 70 * k, 60.0 * k, 40),
                RegularPolygon(x + 70 * k, y + 70 * k, 30.0 * k, 40)}},
      {"two islands", {Rect(x, y, x + 30 * k, y + 30 * k), Rect(x + 60 * k, y + 40 * k, x + 90 * k, y + 60 * k)}},
      {"thin diagonal bar", {{{x, y + 4 * k}, {x + 4 * k, y}, {x + 150 * k, y + 146 * k}, {x + 146 * k, y + 150 * k}}}},
  };
}

TEST(RetraceRegion, TheEncodedRetraceCoversTheArea) {
  ConverterContext ctx;
  for (int32_t k : {1, 4}) {  // 4: the box is too large and the raster scaled
    for (const Shape& s : Shapes(k)) {
      const Region area = Fill(s.polygons);
      const IntRect box = area.Box();
      RetraceSize size;
      ASSERT_TRUE(SizeRetraceRaster(ctx, box.right - box.left, box.bottom - box.top, size));
      ASSERT_EQ(size.scaled, k != 1) << s.name;
      const std::vector<Polygon> painted =
          size.scaled ? std::vector<Polygon>{s.polygons[0]} : s.polygons;
      const Region expected = Fill(painted), band = Band(painted);
      ShapeRegion region;
      const std::vector<ShapePoint> points = Points(s.polygons[0], region);
      region.area = area;
      region.box = box;
      for (int level : {4, 30}) {
        PathRecordList list;
        ASSERT_EQ(RetraceRegion(ctx, list, region, points, level), 1);
        const Region drawn = Drawn(list, box);
        EXPECT_TRUE(WithinBand(drawn, expected, band)) << s.name << " k " << k << " level " << level;
        if (k != 1) continue;
        // Unscaled, the holes stay open.
        for (size_t h = 1; h < s.polygons.size(); ++h) {
          Region deep = Fill({s.polygons[h]}), overlap;
          Region::Combine(deep, deep, band, CombineMode::kDiff);
          Region::Combine(overlap, deep, expected, CombineMode::kAnd);
          if (!overlap.IsEmpty()) continue;  // an island, not a hole
          EXPECT_EQ(Region::Combine(overlap, deep, drawn, CombineMode::kAnd), RegionKind::kEmpty) << s.name;
        }
        if (level != 4 || std::string(s.name) == "thin diagonal bar") continue;
        // What the comparison catches: a shift, and a flip of what is not symmetric.
        Region shifted = drawn, flipped;
        shifted.Translate(8, 0);
        EXPECT_FALSE(WithinBand(shifted, expected, band)) << s.name;
        std::vector<IntRect> rects = drawn.Rects();
        const int32_t sum = box.top + box.bottom;
        for (IntRect& r : rects) r = {r.left, sum - r.bottom, r.right, sum - r.top};
        flipped.SetRects(rects);
        if (std::string(s.name) == "L with hole" || std::string(s.name) == "two islands") {
          EXPECT_FALSE(WithinBand(flipped, expected, band)) << s.name;
        }
      }
    }
  }
}
}  // namespace
}  // namespace tovrani
