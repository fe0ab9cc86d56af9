// Traced outlines as pixel regions, on the real geometry layer: which
// regions a fill gives, their orientation probe, overlap confirmation and
// bands over the stroker's limit.
#include <gtest/gtest.h>

#include "convert/converter_context.h"
#include "platform/path_widen.h"
#include "shape/builder/shape_builder.h"
#include "shape/shape_test_support.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;

constexpr int64_t D = 256;
const Style kF1{0, 0, 1}, kF0{0, 1, 0};

struct Traced {
  ConverterContext ctx;
  ShapeBlock block;
  std::unique_ptr<ShapeBuilder> b;
};

std::unique_ptr<Traced> Trace(const EdgeWriter& w) {
  auto t = std::make_unique<Traced>();
  t->block = w.Block();
  t->b = std::make_unique<ShapeBuilder>(t->ctx, t->block, std::span<const uint8_t>(), nullptr);
  ShapeBuilder& b = *t->b;
  EXPECT_EQ(b.Read(), ShapeBuilder::Outcome::kGoOn);
  EXPECT_EQ(b.JoinStraightEdges(), ShapeBuilder::Outcome::kGoOn);
  b.MarkSides();
  EXPECT_EQ(b.TraceOutlines(), ShapeBuilder::Outcome::kGoOn);
  EXPECT_EQ(b.graph.CheckInvariant(), "");
  return t;
}

std::vector<std::pair<int64_t, int64_t>> Square(int64_t x, int64_t y, int64_t s) {
  return {{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}};
}

// The closed regions (those left with an outline) as (steps, kind, probe).
std::vector<std::tuple<uint32_t, int, uint32_t>> Closed(const ShapeBuilder& b) {
  std::vector<std::tuple<uint32_t, int, uint32_t>> out;
  for (const auto& r : b.regions)
    if (!r->joined && r->HasContour()) out.push_back({r->contours[0].count(), r->kind, r->probe});
  return out;
}

TEST(ShapeRegions, FillsTraceIntoOrientedClosedRegions) {
  using V = std::vector<std::tuple<uint32_t, int, uint32_t>>;
  const int64_t big = 100000 * D;
  struct Case {
    const char* name;
    EdgeWriter w;
    V closed;
  };
  std::vector<Case> cases;
  {
    EdgeWriter w;  // clockwise on screen, fill inside
    w.Polygon(Square(-big, -big, 2 * big), kF1);
    cases.push_back({"Square", w, V{{4, 1, 0}}});
  }
  {
    EdgeWriter w;  // a hole of the same fill: its outline runs the other way
    w.Polygon(Square(-big, -big, 2 * big), kF1);
    w.Polygon({{-50 * D, -50 * D}, {-50 * D, 50 * D}, {50 * D, 50 * D}, {50 * D, -50 * D}}, kF1);
    cases.push_back({"Hole", w, V{{4, 1, 0}, {4, 1, 1}}});
  }
  {
    EdgeWriter w;  // a chord with the fill on both sides: one region per half
    w.Polygon(Square(0, 0, 100 * D), kF1);
    w.Run(0, 0, Style{0, 1, 1}).Line(100 * D, 100 * D);
    cases.push_back({"Chord", w, V{{3, 1, 0}, {3, 16, 0}}});
  }
  {
    EdgeWriter w;  // the fill on the outside of the outline
    w.Polygon(Square(0, 0, 100 * D), kF0);
    cases.push_back({"FillOutside", w, V{{4, 16, 1}}});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto t = Trace(c.w);
    EXPECT_EQ(Closed(*t->b), c.closed);
    // Every side traced once: nothing pending on any entry or twin.
    for (const ShapePoint& p : t->b->graph.points)
      for (const PointEdge& e : p.edges) EXPECT_EQ(e.pending, 0);
  }
}

TEST(ShapeRegions, OverlapIsConfirmedOnlyBeyondSharedBorders) {
  struct Case {
    const char* name;
    int64_t secondX;
    bool overlap;
  } cases[] = {{"SharedEdge", 100, false}, {"Overlapping", 50, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EdgeWriter w;
    w.Polygon(Square(0, 0, 100 * D), kF1).Polygon(Square(c.secondX * D, 0, 100 * D), Style{0, 0, 2});
    auto t = Trace(w);
    ASSERT_EQ(t->b->regions.size(), 2u);
    const ShapeRegion &a = *t->b->regions[0], &b = *t->b->regions[1];
    // Where the two faces with their borders meet.
    Region nearA, nearB, overlap;
    Region::Combine(nearA, a.area, a.outline, CombineMode::kOr);
    Region::Combine(nearB, b.area, b.outline, CombineMode::kOr);
    Region::Combine(overlap, nearA, nearB, CombineMode::kAnd);
    EXPECT_FALSE(overlap.IsEmpty());
    EXPECT_EQ(a.ConfirmOverlap(b, overlap), c.overlap);
  }
}

TEST(ShapeRegions, BandsOverTheStrokersLimitAreUnitedPieces) {
  // A saw-tooth contour with more points than one widening takes.
  ShapeGraph g;
  const uint32_t n = 70000;
  std::vector<uint32_t> pts;
  for (uint32_t i = 0; i < n; ++i)
    pts.push_back(g.FindOrAddPoint(int32_t(i) * 256, int32_t(i % 2) * 512));
  Contour c;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t e = g.AddEdge(pts[i], pts[(i + 1) % n], PointEdge{});
    c.Append(pts[i], e);
  }
  const Path path = ContourPath(c, g.points);
  Region whole;
  ASSERT_EQ(WidenPathToRegion(path, 1, whole), RegionKind::kError);
  ShapeGeometry geo;
  Region band;
  ASSERT_TRUE(geo.Band(path, band));
  std::vector<IntRect> rects;
  for (uint32_t i = 0; i < n; ++i) {
    Path seg;
    const ShapePoint &p = g.points[pts[i]], &q = g.points[pts[(i + 1) % n]];
    seg.MoveTo(p.x / 256, p.y / 256);
    seg.LineTo(q.x / 256, q.y / 256);
    Region r;
    ASSERT_NE(WidenPathToRegion(seg, 1, r), RegionKind::kError);
    for (const IntRect& rect : r.Rects()) rects.push_back(rect);
  }
  Region expected;
  ASSERT_NE(expected.SetRects(rects), RegionKind::kError);
  EXPECT_TRUE(band == expected);
}

}  // namespace
}  // namespace tovrani
