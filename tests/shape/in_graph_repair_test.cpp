// Shapes that are only analysed (no style blob) and have a problem: what
// the repaired graph keeps, and the near-coincident edges such shapes lose.
#include <gtest/gtest.h>

#include "convert/converter_context.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/path_record_list.h"
#include "shape/builder/shape_builder.h"
#include "shape/shape_test_support.h"
#include "support/shape_coverage.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;

constexpr int64_t D = 256;

std::vector<std::pair<int64_t, int64_t>> Square(int64_t x, int64_t y, int64_t s) {
  return {{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}};
}

struct Repaired {
  ShapeBlock block;
  bool flag = false;
  std::vector<DecodedEdge> records;
};

Repaired Repair(const EdgeWriter& w) {
  ConverterContext ctx;
  ShapeBlock block = w.Block();
  g_bVectorizationProblem = 0;
  size_t countField = 0;
  BuildShape(ctx, block, {}, nullptr, countField, nullptr);
  Repaired r{block, g_bVectorizationProblem != 0, {}};
  g_bVectorizationProblem = 0;
  size_t pos = 0;
  DecodedEdge e;
  while (ReadEdgeRecord(r.block.counted(), pos, e)) r.records.push_back(e);
  EXPECT_EQ(r.records.size(), r.block.recordCount);
  return r;
}

// The drawing of `w` with only the given pieces.
test::ShapeCoverage Drawing(const EdgeWriter& w) { return test::CoverageOf(w.bytes()); }

void ExpectDraws(const Repaired& r, const EdgeWriter& expected) {
  const auto diff = test::CoverageDifference(test::CoverageOf(r.block.counted()), Drawing(expected));
  EXPECT_TRUE(diff.empty()) << diff.begin()->first << " differs in " << diff.begin()->second;
}

TEST(InGraphRepair, KeepsRegionsThatNeitherCrossNorPartlyCoverWhatIsKept) {
  {
    // Of two partly overlapping squares the first stays.
    EdgeWriter w, kept;
    w.Polygon(Square(0, 0, 60 * D), Style{0, 0, 1}).Polygon(Square(30 * D, 30 * D, 60 * D), Style{0, 0, 2});
    kept.Polygon(Square(0, 0, 60 * D), Style{0, 0, 1});
    const Repaired r = Repair(w);
    EXPECT_FALSE(r.flag);
    EXPECT_EQ(r.records.size(), 4u);
    ExpectDraws(r, kept);
  }
  {
    // Two squares on one border, and a stroke crossing one of them: the
    // border edge is kept once with both fills, the stroke goes.
    EdgeWriter w, kept;
    w.Polygon(Square(0, 0, 60 * D), Style{0, 0, 1}).Polygon(Square(60 * D, 0, 60 * D), Style{0, 0, 2});
    w.Run(30 * D, -10 * D, Style{1, 0, 0}).Line(30 * D, 10 * D);
    kept.Polygon(Square(0, 0, 60 * D), Style{0, 0, 1}).Polygon(Square(60 * D, 0, 60 * D), Style{0, 0, 2});
    const Repaired r = Repair(w);
    EXPECT_EQ(r.records.size(), 7u);
    int bothSides = 0;
    uint8_t f0 = 0, f1 = 0;
    for (const DecodedEdge& e : r.records) {
      if (e.hasStyles) f0 = e.fill0, f1 = e.fill1;
      bothSides += f0 && f1;
    }
    EXPECT_EQ(bothSides, 1);
    ExpectDraws(r, kept);
  }
}

TEST(InGraphRepair, LooseStrokesOutsideOrTouchingStayThoseInsideGo) {
  const Style line{1, 0, 0};
  EdgeWriter w, kept;
  for (EdgeWriter* x : {&w, &kept}) {
    x->Polygon(Square(0, 0, 60 * D), Style{0, 0, 1});
    x->Run(100 * D, 100 * D, line).Line(150 * D, 100 * D);  // outside
    x->Run(60 * D, 60 * D, line).Line(100 * D, 90 * D);     // leaves the fill's corner
  }
  w.Run(20 * D, 30 * D, line).Line(40 * D, 30 * D);  // inside the fill
  w.Run(30 * D, -10 * D, line).Line(30 * D, 10 * D);  // crosses the fill's edge
  const Repaired r = Repair(w);
  EXPECT_EQ(r.records.size(), 6u);
  ExpectDraws(r, kept);
}

TEST(InGraphRepair, WithNothingAcceptableTheFirstInteriorIsForcedOrTheBlockStays) {
  {
    // One outline crossing itself: kept as the only region with an inside.
    EdgeWriter w;
    w.Polygon({{0, 0}, {80 * D, 80 * D}, {80 * D, 0}, {0, 40 * D}}, Style{0, 0, 1});
    const Repaired r = Repair(w);
    EXPECT_FALSE(r.flag);
    EXPECT_EQ(r.records.size(), 4u);
    ExpectDraws(r, w);
  }
  {
    // An X with a fill on one side of each stroke: no region, no inside.
    EdgeWriter w;
    w.Run(0, 0, Style{0, 0, 1}).Line(80 * D, 80 * D);
    w.Run(80 * D, 0, Style{0, 0, 1}).Line(0, 80 * D);
    const ShapeBlock given = w.Block();
    const Repaired r = Repair(w);
    EXPECT_EQ(r.block.bytes, given.bytes);
    EXPECT_EQ(r.block.length, given.length);
    EXPECT_EQ(r.block.recordCount, given.recordCount);
  }
}

// The graph after the clean-ups, as the builder leaves it.
ShapeGraph Cleaned(const EdgeWriter& w) {
  ConverterContext ctx;
  ShapeBlock block = w.Block();
  ShapeBuilder b(ctx, block, {}, nullptr);
  EXPECT_EQ(b.Read(), ShapeBuilder::Outcome::kGoOn);
  EXPECT_EQ(b.JoinStraightEdges(), ShapeBuilder::Outcome::kGoOn);
  EXPECT_EQ(b.RemoveNearCoincidentEdges(), ShapeBuilder::Outcome::kGoOn);
  EXPECT_EQ(b.graph.CheckInvariant(), "");
  return b.graph;
}

TEST(NearCoincidentEdges, TangentCurvesStraightenAndRepeatedDirectionsMerge) {
  EXPECT_EQ(DirectionAngle(0, 1), 90.0);
  EXPECT_NEAR(DirectionAngle(-1, 1000), -269.94, 0.01);
  {
    // A curve leaving along a straight edge (within a degree) but ending
    // elsewhere is straight afterwards; its twin too.
    EdgeWriter w;
    w.Run(0, 0, Style{1, 0, 0}).Line(100 * D, 0);
    w.Run(0, 0).Curve(50 * D, D / 2, 60 * D, 60 * D);
    const ShapeGraph g = Cleaned(w);
    int curved = 0;
    for (const ShapePoint& p : g.points)
      for (const PointEdge& e : p.edges) curved += e.curved;
    EXPECT_EQ(curved, 0);
  }
  {
    // Straight up and just beside it to the left are far apart in angle.
    EdgeWriter w;
    w.Run(0, 0, Style{1, 0, 0}).Line(0, 1000 * D);
    w.Run(0, 0).Line(-D, 1000 * D);
    EXPECT_EQ(Cleaned(w).points[0].edges.size(), 2u);
  }
  {
    // Two straight edges within a degree at both ends: the later goes...
    EdgeWriter w;
    w.Run(0, 0, Style{1, 0, 0}).Line(1000 * D, 0);
    w.Run(0, 0, Style{2, 0, 0}).Line(1000 * D, 5 * D);
    const ShapeGraph g = Cleaned(w);
    ASSERT_EQ(g.points[0].edges.size(), 1u);
    EXPECT_EQ(g.points[0].edges[0].style[0], 1);
    EXPECT_EQ(g.pointCount(), 2u);
  }
  {
    // ...unless it carries a fill and the earlier is a line only.
    EdgeWriter w;
    w.Run(0, 0, Style{1, 0, 0}).Line(1000 * D, 0);
    w.Run(0, 0, Style{0, 0, 1}).Line(1000 * D, 5 * D).Line(0, 500 * D).Line(0, 0);
    const ShapeGraph g = Cleaned(w);
    ASSERT_EQ(g.points[0].edges.size(), 2u);
    for (const PointEdge& e : g.points[0].edges) EXPECT_EQ(e.style[0], 0);
  }
}

}  // namespace
}  // namespace tovrani
