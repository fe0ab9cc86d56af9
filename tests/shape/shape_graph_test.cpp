// The shape builder's graph: reading records into points and twin edges,
// joining straight edges, and the twin invariant after every step, also on
// random blocks.
#include <gtest/gtest.h>

#include <random>

#include "convert/converter_context.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/shape_builder.h"
#include "shape/shape_test_support.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;
using Outcome = ShapeBuilder::Outcome;

constexpr int64_t D = 256;

struct Built {
  ConverterContext ctx;
  ShapeBlock block;
  std::unique_ptr<ShapeBuilder> b;
  Outcome outcome = Outcome::kGoOn;
};

// Runs the builder's steps up to `steps` (1 read, 2 join, 3 marks, 4
// tracing), checking the graph after each.
std::unique_ptr<Built> Steps(const EdgeWriter& w, int steps) {
  auto r = std::make_unique<Built>();
  r->block = w.Block();
  r->b = std::make_unique<ShapeBuilder>(r->ctx, r->block, std::span<const uint8_t>(), nullptr);
  ShapeBuilder& b = *r->b;
  for (int s = 1; s <= steps && r->outcome == Outcome::kGoOn; ++s) {
    if (s == 1) r->outcome = b.Read();
    if (s == 2) r->outcome = b.JoinStraightEdges();
    if (s == 3) b.MarkSides();
    if (s == 4) r->outcome = b.TraceOutlines();
    EXPECT_EQ(b.graph.CheckInvariant(), "") << "after step " << s;
  }
  return r;
}

const PointEdge* EdgeBetween(ShapeGraph& g, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                             int n = 0) {
  auto p = g.FindPoint(int32_t(x0), int32_t(y0));
  if (!p) return nullptr;
  for (const PointEdge& e : g.points[*p].edges)
    if (e.endX == x1 && e.endY == y1 && n-- == 0) return &e;
  return nullptr;
}

size_t EdgeCount(const ShapeGraph& g) {
  size_t n = 0;
  for (const ShapePoint& p : g.points) n += p.edges.size();
  return n / 2;
}

TEST(ShapeGraph, ReadingMergesRepeatedEdgesAndKeepsDistinctCurves) {
  // A straight edge given twice, the second time backwards with other
  // bytes; two curves between the same points; a style change without a
  // move; a straight self-loop (skipped, its bytes still holding) and a
  // curved one (kept).
  EdgeWriter w;
  w.Run(0, 0, Style{1, 2, 0}).Line(100 * D, 0);
  w.Run(100 * D, 0, Style{0, 3, 4}).Line(0, 0);
  w.Run(0, 50 * D, Style{0, 0, 1}).Curve(50 * D, 80 * D, 100 * D, 50 * D);
  w.Curve(50 * D, 20 * D, 0, 50 * D);
  w.Line(0, 50 * D, Style{2, 0, 0});
  w.Line(0, 90 * D);
  w.Curve(20 * D, 100 * D, 0, 90 * D);
  auto r = Steps(w, 1);
  ShapeGraph& g = r->b->graph;
  ASSERT_EQ(r->outcome, Outcome::kGoOn);
  EXPECT_EQ(g.pointCount(), 5u);
  EXPECT_EQ(EdgeCount(g), 5u);
  const PointEdge* e = EdgeBetween(g, 0, 0, 100 * D, 0);
  ASSERT_TRUE(e);
  // Backwards: fill 0 of the later record lands in slot 2, fill 1 in 1.
  EXPECT_EQ(std::vector<int>(e->style, e->style + 3), (std::vector<int>{1, 4, 3}));
  EXPECT_EQ(std::vector<uint32_t>(e->ordinal, e->ordinal + 3), (std::vector<uint32_t>{0, 1, 1}));
  ASSERT_TRUE(EdgeBetween(g, 0, 50 * D, 100 * D, 50 * D, 1));
  // The edge after the skipped loop starts at the pen with its bytes.
  const PointEdge* down = EdgeBetween(g, 0, 50 * D, 0, 90 * D);
  ASSERT_TRUE(down);
  EXPECT_EQ(down->style[0], 2);
  EXPECT_EQ(down->ordinal[0], 5u);
  const PointEdge* loop = EdgeBetween(g, 0, 90 * D, 0, 90 * D);
  ASSERT_TRUE(loop);
  EXPECT_TRUE(loop->curved);
}

TEST(ShapeGraph, FurtherObjectsReadIntoOneGraph) {
  // Three objects: a triangle, a line from one of its corners, and two
  // edges through points of both earlier objects. Every object's pen
  // starts at (0, 0).
  for (uint8_t level : {0, 2}) {
    SCOPED_TRACE(int(level));
    EdgeWriter w;
    w.Run(0, 0, Style{0, 1, 0}).Line(10 * D, 0).Line(0, 10 * D).Line(0, 0);
    w.Bytes(test::FurtherObjectHead(level));
    w.Run(10 * D, 0, Style{1, 0, 0}).Line(10 * D, 10 * D);
    w.Bytes(test::FurtherObjectHead(level));
    w.Run(10 * D, 10 * D, Style{0, 0, 1}).Line(0, 10 * D).Line(10 * D, 0);
    Built r;
    r.ctx.m_nFlaFormat = level;
    r.block = w.Block();
    ShapeBuilder b(r.ctx, r.block, {}, nullptr);
    ASSERT_EQ(b.Read(), Outcome::kGoOn);
    EXPECT_TRUE(b.furtherObjects);
    EXPECT_EQ(b.graph.CheckInvariant(), "");
    EXPECT_EQ(b.graph.pointCount(), 4u);
    EXPECT_EQ(EdgeCount(b.graph), 5u);
    // The diagonal, drawn in the first object and backwards in the third,
    // is one edge; the third object's record, ordinal 5 counted across
    // the objects, set its fill last.
    const PointEdge* diagonal = EdgeBetween(b.graph, 10 * D, 0, 0, 10 * D);
    ASSERT_TRUE(diagonal);
    EXPECT_EQ(diagonal->style[1], 1);
    EXPECT_EQ(diagonal->style[2], 0);
    EXPECT_EQ(diagonal->ordinal[1], 5u);
  }
  // A 0 byte that opens no object leaves the block.
  EdgeWriter bad;
  bad.Run(0, 0, Style{0, 1, 0}).Line(10 * D, 0).Line(0, 10 * D).Line(0, 0);
  bad.Bytes({0, 1, 2, 3});
  Built r;
  r.block = bad.Block();
  ShapeBuilder b(r.ctx, r.block, {}, nullptr);
  EXPECT_EQ(b.Read(), Outcome::kLeave);
}

TEST(ShapeGraph, FurtherObjectsAndHostileValuesLeaveTheBlock) {
  EdgeWriter further;
  further.Run(0, 0, Style{0, 1, 0}).Line(10 * D, 0).Line(0, 10 * D).Line(0, 0);
  further.Bytes({0});
  further.Bytes(test::FurtherObjectHead(0));
  further.Run(0, 0, Style{0, 1, 0}).Line(10 * D, 0).Line(0, 10 * D).Line(0, 0);
  EdgeWriter huge;
  huge.Run(0, 0, Style{0, 1, 0}).Line(int64_t(1) << 30, 0).Line(0, 10 * D).Line(0, 0);
  // Each point and delta within the limit, but the control point beyond it:
  // the end's view of the curve would not fit 32 bits.
  constexpr int64_t L = (int64_t(1) << 30) - 1;
  EdgeWriter farControl;
  farControl.Run(L, 0, Style{0, 1, 0}).Curve(2 * L, 10 * D, -L, 0).Line(L, 0);
  EdgeWriter cut;
  cut.Run(0, 0, Style{0, 1, 0}).Line(10 * D, 0).Line(0, 10 * D).Line(0, 0);
  struct Case {
    const char* name;
    EdgeWriter w;
    size_t keep;
    bool flag;
  } cases[] = {{"FurtherObject", further, 0, false},
               {"BeyondTheCoordinateLimit", huge, 0, true},
               {"AControlPointBeyondTheLimit", farControl, 0, true},
               {"CutShort", cut, 3, true}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConverterContext ctx;
    ShapeBlock block = c.w.Block();
    if (c.keep) block.length -= uint32_t(c.keep);
    const ShapeBlock before = block;
    g_bVectorizationProblem = 0;
    size_t countField = 0;
    BuildShape(ctx, block, {}, nullptr, countField, nullptr);
    EXPECT_EQ(block.bytes, before.bytes);
    EXPECT_EQ(block.length, before.length);
    EXPECT_EQ(block.recordCount, before.recordCount);
    EXPECT_EQ(g_bVectorizationProblem, c.flag ? 1 : 0);
  }
  g_bVectorizationProblem = 0;
  // The builder's own read stops there too, before any edge is added.
  EXPECT_EQ(Steps(farControl, 1)->outcome, Outcome::kAbandon);
}

TEST(ShapeGraph, StraightEdgesJoinOnlyThroughCollinearDegreeTwoPoints) {
  const Style f{0, 0, 1};
  struct Case {
    const char* name;
    EdgeWriter w;
    size_t points, edges;
  };
  std::vector<Case> cases;
  {
    // A -> P -> B along a triangle's side: P goes.
    EdgeWriter w;
    w.Run(0, 0, f).Line(50 * D, 0).Line(100 * D, 0).Line(100 * D, 100 * D).Line(0, 0);
    cases.push_back({"Collapses", w, 3, 3});
  }
  {
    // The same with A -> B drawn as well: merged into it.
    EdgeWriter w;
    w.Run(0, 0, f).Line(50 * D, 0).Line(100 * D, 0).Line(100 * D, 100 * D).Line(0, 0);
    w.Run(0, 0, Style{1, 0, 0}).Line(100 * D, 0);
    cases.push_back({"MergesIntoExisting", w, 3, 3});
  }
  {
    // Diagonal steps with equal ratios join; a right angle and curves do not.
    EdgeWriter w;
    w.Run(0, 0, f).Line(30 * D, 20 * D).Line(90 * D, 60 * D).Line(0, 60 * D).Line(0, 0);
    cases.push_back({"Diagonal", w, 3, 3});
  }
  {
    EdgeWriter w;
    w.Run(0, 0, f).Line(100 * D, 0).Line(100 * D, 100 * D).Line(0, 0);
    cases.push_back({"RightAngle", w, 3, 3});
  }
  {
    EdgeWriter w;
    w.Run(0, 0, f).Curve(25 * D, 0, 50 * D, 0).Curve(75 * D, 0, 100 * D, 0).Line(100 * D, 100 * D).Line(0, 0);
    cases.push_back({"Curves", w, 4, 4});
  }
  {
    // Fills not crossed (the fill changes at P): stays.
    EdgeWriter w;
    w.Run(0, 0, f).Line(50 * D, 0).Line(100 * D, 0, Style{0, 0, 2}).Line(100 * D, 100 * D).Line(0, 0);
    cases.push_back({"OtherStyles", w, 4, 4});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = Steps(c.w, 2);
    EXPECT_EQ(r->outcome, Outcome::kGoOn);
    EXPECT_EQ(r->b->graph.pointCount(), c.points);
    EXPECT_EQ(EdgeCount(r->b->graph), c.edges);
  }
  // The merged edge carries the fill of the joined path and the line.
  auto r = Steps(cases[1].w, 2);
  const PointEdge* e = EdgeBetween(r->b->graph, 0, 0, 100 * D, 0);
  ASSERT_TRUE(e);
  EXPECT_EQ(std::vector<int>(e->style, e->style + 3), (std::vector<int>{1, 0, 1}));
}

TEST(ShapeGraph, RemovalKeepsTwinsAlsoForLoopsAndRejectsBrokenLinks) {
  ShapeGraph g;
  const uint32_t a = g.FindOrAddPoint(0, 0), b = g.FindOrAddPoint(100, 0);
  PointEdge curve;
  curve.curved = 1;
  curve.controlDx = 30;
  curve.controlDy = 40;
  curve.style[2] = 1;
  g.AddEdge(a, b, PointEdge{});
  g.AddEdge(a, a, curve);
  g.AddEdge(b, a, curve);
  g.AddEdge(a, a, curve);
  ASSERT_EQ(g.CheckInvariant(), "");
  EXPECT_TRUE(g.RemovePair(a, 1));  // the first loop, both entries at a
  EXPECT_EQ(g.CheckInvariant(), "");
  EXPECT_EQ(g.points[a].edges.size(), 4u);
  EXPECT_TRUE(g.RemovePair(a, 0));
  EXPECT_EQ(g.CheckInvariant(), "");
  g.points[a].edges.back().otherPoint = 7;  // broken link behind the entry
  EXPECT_FALSE(g.RemoveEntry(a, 0));
  EXPECT_EQ(g.points[a].edges.size(), 3u);
}

// Random records (straight and curved, on a small grid so points repeat,
// style changes, occasional huge values) through every step: the graph
// stays consistent and every pending side is traced.
TEST(ShapeGraph, RandomBlocksKeepTheInvariant) {
  std::mt19937 rng(5);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    EdgeWriter w;
    std::uniform_int_distribution<int> coord(-4, 4), pick(0, 9), st(0, 3);
    const int n = 3 + int(rng() % 40);
    for (int i = 0; i < n; ++i) {
      const int64_t x = coord(rng) * 20 * D, y = coord(rng) * 20 * D;
      const int kind = pick(rng);
      std::optional<Style> s;
      if (kind < 3) s = Style{uint8_t(st(rng)), uint8_t(st(rng)), uint8_t(st(rng))};
      if (kind == 0) w.Run(coord(rng) * 20 * D, coord(rng) * 20 * D, s);
      if (kind < 6)
        w.Line(x, y, s);
      else
        w.Curve(coord(rng) * 20 * D, coord(rng) * 20 * D, x, y, s);
    }
    auto r = Steps(w, 4);
    if (r->outcome != Outcome::kGoOn) continue;
    for (const ShapePoint& p : r->b->graph.points)
      for (const PointEdge& e : p.edges) EXPECT_EQ(e.pending, 0);
  }
}

}  // namespace
}  // namespace tovrani
