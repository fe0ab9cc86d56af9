// The shape builder's way out: the record encoding, the walk that writes
// the graph back, and what the rebuilt records draw.
#include <gtest/gtest.h>

#include <random>

#include "convert/converter_context.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/shape_builder.h"
#include "shape/shape_test_support.h"
#include "support/byte_sink.h"
#include "support/shape_coverage.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;

constexpr int64_t D = 256;

std::string HexOf(const std::vector<uint8_t>& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (uint8_t v : b) {
    s += d[v >> 4];
    s += d[v & 15];
  }
  return s;
}

TEST(ShapeEdgeEncoding, FormsFollowTheQuotientBy128) {
  struct Case {
    const char* name;
    bool hasMove;
    ShapePair move, anchor;
    const char* hex;
    ShapePair keptAnchor;
  } cases[] = {
      {"Small", false, {}, {300, -100}, "102C019CFF", {300, -100}},
      {"Form3Anchor", false, {}, {40000, 0}, "3038010000", {39936, 0}},
      {"SmallMove", true, {-200, 0}, {100, 0}, "1138FF000064000000", {100, 0}},
      {"Form3MoveFloors", true, {-40000, 0}, {100, 0}, "13C7FE000064000000", {100, 0}},
      {"MinusMove", true, {-32769, 0}, {-32769, 0}, "33FFFE000000FF0000", {-32768, 0}},
      {"Largest16Bit", false, {}, {32767, 32767}, "10FF7FFF7F", {32767, 32767}},
      {"Form3From32768", false, {}, {32768, 0}, "3000010000", {32768, 0}},
      {"Form2", false, {}, {4194304, 0}, "200000400000000000", {4194304, 0}},
      // The larger value of a pair decides its form.
      {"Form3ByY", false, {}, {32767, 32768}, "30FF000001", {32640, 32768}},
      {"Form2ByY", false, {}, {5, -4194304}, "20050000000000C0FF", {5, -4194304}},
      // One value floored as a move and truncated as an anchor.
      {"MoveFloorsAnchorTruncates", true, {-38401, 0}, {-38401, 0}, "33D3FE0000D4FE0000", {-38400, 0}},
      {"Form1Below256Quotients", true, {-25601, 0}, {-25601, 0}, "11FF9B0000FF9B0000", {-25601, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteWriter out;
    ShapeEdge rec;
    rec.hasMove = c.hasMove;
    rec.move = c.move;
    rec.anchor = c.anchor;
    const ShapeEdgeForms forms = EncodeShapeEdge(out, rec);
    EXPECT_EQ(HexOf(out.bytes()), c.hex);
    EXPECT_EQ(forms.anchor, c.keptAnchor);
  }
  // Style bytes when asked for, the control before the anchor.
  ByteWriter out;
  ShapeEdge rec;
  rec.hasStyles = true;
  rec.line = 1;
  rec.fill1 = 2;
  rec.curved = true;
  rec.control = {-32769, 5};
  rec.anchor = {10, 10};
  EncodeShapeEdge(out, rec);
  EXPECT_EQ(HexOf(out.bytes()), "DC01000200FF00000A000A00");
}

struct Rebuilt {
  ShapeBlock block;
  bool flag = false;
  std::vector<DecodedEdge> records;
};

Rebuilt Rebuild(ShapeBlock block, void (*seam)(ShapeGraph&) = nullptr) {
  ConverterContext ctx;
  ctx.m_pShapeGraphSeam = seam;
  g_bVectorizationProblem = 0;
  size_t countField = 0;
  BuildShape(ctx, block, {}, nullptr, countField, nullptr);
  Rebuilt r{block, g_bVectorizationProblem != 0, {}};
  g_bVectorizationProblem = 0;
  size_t pos = 0;
  DecodedEdge e;
  while (ReadEdgeRecord(r.block.counted(), pos, e)) r.records.push_back(e);
  EXPECT_EQ(pos, r.block.length);
  EXPECT_EQ(r.records.size(), r.block.recordCount);
  EXPECT_EQ(r.block.bytes.at(r.block.length), 0);
  return r;
}

std::vector<std::pair<int64_t, int64_t>> Square(int64_t x, int64_t y, int64_t s) {
  return {{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}};
}

TEST(ShapeRebuild, ChainsEdgesAndMovesOnlyBetweenPieces) {
  {
    // A triangle away from the origin: style change and move first only.
    EdgeWriter w;
    w.Polygon({{10 * D, 10 * D}, {60 * D, 10 * D}, {60 * D, 50 * D}}, Style{0, 0, 1});
    const Rebuilt r = Rebuild(w.Block());
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_TRUE(r.records[0].hasStyles && r.records[0].hasMove);
    EXPECT_EQ(r.records[0].moveX, 10 * D);
    for (int i : {1, 2}) EXPECT_FALSE(r.records[i].hasStyles || r.records[i].hasMove);
  }
  {
    // Two separate squares: a move, no second style change.
    EdgeWriter w;
    w.Polygon(Square(0, 0, 40 * D), Style{0, 0, 1}).Polygon(Square(100 * D, 0, 40 * D), Style{0, 0, 1});
    const Rebuilt r = Rebuild(w.Block());
    ASSERT_EQ(r.records.size(), 8u);
    int moves = 0, styles = 0;
    for (const DecodedEdge& e : r.records) {
      moves += e.hasMove;
      styles += e.hasStyles;
    }
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(styles, 1);
    EXPECT_TRUE(r.records[4].hasMove);
  }
  {
    // After the square the walk restarts at the stroke's free end T0,
    // not at its middle T1, which comes first in the table.
    EdgeWriter w;
    w.Polygon(Square(0, 0, 40 * D), Style{0, 0, 1});
    w.Run(100 * D, 0, Style{1, 0, 0}).Line(90 * D, 30 * D);
    w.Run(100 * D, 0).Line(130 * D, 20 * D);
    const Rebuilt r = Rebuild(w.Block());
    ASSERT_EQ(r.records.size(), 6u);
    EXPECT_TRUE(r.records[4].hasMove);
    EXPECT_EQ(r.records[4].moveX, 90 * D - 0);  // from the square's end at (0, 0)
    EXPECT_EQ(r.records[4].moveY, 30 * D);
    EXPECT_FALSE(r.records[5].hasMove);
  }
}

TEST(ShapeRebuild, LongerStreamGrowsTheBlockAndBrokenTwinsGiveUp) {
  // One chain A-B-D-E-B-C in the input; the walk takes B-C first (same
  // style) and needs a move back to B: one byte longer.
  const Style s1{1, 0, 0}, s2{2, 0, 0};
  EdgeWriter w;
  w.Run(10 * D, 10 * D, s1).Line(60 * D, 10 * D).Line(90 * D, 40 * D, s2).Line(60 * D, 70 * D);
  w.Line(60 * D, 10 * D).Line(110 * D, 20 * D, s1);
  ShapeBlock tight = w.Block();
  tight.bytes.resize(tight.length + 1);
  const Rebuilt r = Rebuild(tight);
  EXPECT_FALSE(r.flag);
  EXPECT_EQ(r.block.length, tight.length + 1);
  EXPECT_TRUE(test::CoverageDifference(test::CoverageOf(tight.counted()),
                                       test::CoverageOf(r.block.counted()))
                  .empty());

  const Rebuilt broken = Rebuild(tight, [](ShapeGraph& g) { g.points[0].edges[0].twin = 99; });
  EXPECT_TRUE(broken.flag);
  EXPECT_EQ(broken.block.bytes, tight.bytes);
  EXPECT_EQ(broken.block.length, tight.length);
  EXPECT_EQ(broken.block.recordCount, tight.recordCount);
}

// The edges of a graph as comparable tuples (ordinals aside).
std::multiset<std::vector<int64_t>> GraphEdges(const ShapeBlock& block) {
  ConverterContext ctx;
  ShapeBlock b = block;
  ShapeBuilder builder(ctx, b, {}, nullptr);
  EXPECT_EQ(builder.Read(), ShapeBuilder::Outcome::kGoOn);
  EXPECT_EQ(builder.JoinStraightEdges(), ShapeBuilder::Outcome::kGoOn);
  std::multiset<std::vector<int64_t>> out;
  for (const ShapePoint& p : builder.graph.points)
    for (const PointEdge& e : p.edges)
      out.insert({p.x, p.y, e.endX, e.endY, e.curved, e.controlDx, e.controlDy, e.style[0],
                  e.style[1], e.style[2]});
  return out;
}

// Generated shapes: what the rebuilt records draw is what the given ones
// drew, per style, and reading them again gives the same graph.
TEST(ShapeRebuild, CoverageAndGraphSurviveTheRebuild) {
  std::vector<std::pair<std::string, EdgeWriter>> shapes;
  const Style f1{0, 0, 1}, f2{0, 0, 2}, line{1, 0, 0};
  {
    EdgeWriter w;  // a grid of same-fill squares, negative coordinates
    for (int i = 0; i < 5; ++i)
      for (int j = 0; j < 5; ++j) w.Polygon(Square((i - 2) * 40 * D, (j - 3) * 40 * D, 40 * D), f1);
    shapes.push_back({"Grid", w});
  }
  {
    EdgeWriter w;  // a star of alternating fills around one centre
    const int n = 12;
    for (int k = 0; k < n; ++k) {
      const double a0 = 2 * M_PI * k / n, a1 = 2 * M_PI * (k + 1) / n;
      auto pt = [](double a) { return std::pair<int64_t, int64_t>{int64_t(std::lround(100 * std::cos(a))) * D, int64_t(std::lround(100 * std::sin(a))) * D}; };
      w.Polygon({{0, 0}, pt(a0), pt(a1)}, k % 2 ? f1 : f2);
    }
    shapes.push_back({"Star", w});
  }
  {
    EdgeWriter w;  // a ring: an outer square and a hole of the same fill
    w.Polygon(Square(-100 * D, -100 * D, 200 * D), f1);
    w.Polygon({{-50 * D, -50 * D}, {-50 * D, 50 * D}, {50 * D, 50 * D}, {50 * D, -50 * D}}, f1);
    shapes.push_back({"Ring", w});
  }
  {
    EdgeWriter w;  // strokes and curves
    w.Run(0, 0, line).Line(100 * D, 0).Curve(150 * D, 50 * D, 100 * D, 100 * D).Line(30 * D, 130 * D);
    w.Run(-40 * D, -40 * D, Style{0, 0, 1}).Curve(0, -90 * D, 40 * D, -40 * D).Line(0, -10 * D).Line(-40 * D, -40 * D);
    shapes.push_back({"StrokesAndCurves", w});
  }
  for (auto& [name, w] : shapes) {
    SCOPED_TRACE(name);
    const ShapeBlock in = w.Block();
    const Rebuilt r = Rebuild(in);
    EXPECT_FALSE(r.flag);
    const auto diff =
        test::CoverageDifference(test::CoverageOf(in.counted()), test::CoverageOf(r.block.counted()));
    EXPECT_TRUE(diff.empty()) << diff.begin()->first;
    EXPECT_EQ(GraphEdges(in), GraphEdges(r.block));
  }
}

}  // namespace
}  // namespace tovrani
