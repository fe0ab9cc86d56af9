// The edge-pair stage of the problem search and the turning around of
// regions traced with their fill outside.
#include <gtest/gtest.h>

#include <random>

#include "convert/converter_context.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/shape_builder.h"
#include "shape/geometry/edge_intersection.h"
#include "shape/shape_test_support.h"
#include "support/recording_shell.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;
using Outcome = ShapeBuilder::Outcome;

constexpr int64_t D = 256;

struct Searched {
  ConverterContext ctx;
  ShapeBlock block;
  std::unique_ptr<ShapeBuilder> b;
  Outcome outcome = Outcome::kGoOn;
  bool problem = false;
};

std::unique_ptr<Searched> Search(const EdgeWriter& w) {
  auto s = std::make_unique<Searched>();
  s->block = w.Block();
  s->b = std::make_unique<ShapeBuilder>(s->ctx, s->block, std::span<const uint8_t>(), nullptr);
  ShapeBuilder& b = *s->b;
  s->outcome = b.Read();
  if (s->outcome == Outcome::kGoOn) s->outcome = b.JoinStraightEdges();
  if (s->outcome == Outcome::kGoOn) {
    b.MarkSides();
    s->outcome = b.TraceOutlines();
  }
  if (s->outcome == Outcome::kGoOn) s->outcome = b.SearchEdgeProblems(s->problem);
  return s;
}

// The Part's double loop, unpruned: the reference for the sweep.
bool PlainLoops(ShapeBuilder& b) {
  ShapeGraph& g = b.graph;
  const int64_t count = g.pointCount();
  for (int64_t i = 0; i + 3 < count; ++i)
    for (const PointEdge& e : g.points[size_t(i)].edges) {
      if (e.otherPoint <= i) continue;
      const bool separating = e.style[1] != e.style[2];
      const ShapePoint& pi = g.points[size_t(i)];
      for (int64_t j = i; j < count; ++j) {
        if (!e.curved && j == e.otherPoint) continue;
        const ShapePoint& pj = g.points[size_t(j)];
        for (const PointEdge& f : pj.edges) {
          if (f.otherPoint <= j) continue;
          if (!separating && f.style[1] == e.style[1] && f.style[2] == e.style[1]) continue;
          bool hit;
          if (e.curved || f.curved) {
            hit = IntersectEdges(b.geo, e.endX, e.endY, f.endX, f.endY, pi.x, pi.y, pj.x, pj.y,
                                 e.curved ? e.controlDx : 0, f.controlDx,
                                 e.curved ? e.controlDy : 0, f.controlDy,
                                 e.curved ? (f.curved ? kTwoCurves : kCurveStraight) : kStraightCurve);
          } else {
            if (j == i || f.otherPoint == i || f.otherPoint == e.otherPoint) continue;
            hit = IntersectSegments(pj.x, pj.y, pi.x, pi.y, f.endX, f.endY, e.endX, e.endY);
          }
          if (hit) return true;
        }
      }
    }
  return false;
}

TEST(ProblemSearch, EdgePairs) {
  const Style same{0, 1, 1}, sides{0, 1, 2};
  struct Case {
    const char* name;
    EdgeWriter w;
    bool problem;
  };
  std::vector<Case> cases;
  auto x = [](Style first, Style second) {
    EdgeWriter w;  // an X plus two far points, so both edges get tested
    w.Run(0, 0, first).Line(100 * D, 100 * D);
    w.Run(100 * D, 0, second).Line(0, 100 * D);
    w.Run(500 * D, 500 * D, Style{1, 0, 0}).Line(600 * D, 500 * D).Line(500 * D, 600 * D);
    return w;
  };
  cases.push_back({"XInsideOneFill", x(same, same), false});
  cases.push_back({"XWithSides", x(same, sides), true});
  {
    // Two edges from one point along one line: never tested together.
    EdgeWriter w;
    w.Run(0, 0, sides).Line(100 * D, 0);
    w.Run(0, 0).Line(200 * D, 0);
    w.Run(500 * D, 500 * D, Style{1, 0, 0}).Line(600 * D, 500 * D).Line(500 * D, 600 * D);
    cases.push_back({"SharedEndOnly", w, false});
  }
  {
    EdgeWriter w;  // a curve through a straight edge
    w.Run(0, 0, sides).Curve(50 * D, 100 * D, 100 * D, 0);
    w.Run(0, 20 * D).Line(100 * D, 20 * D);
    w.Run(500 * D, 500 * D, Style{1, 0, 0}).Line(600 * D, 500 * D);
    cases.push_back({"CurveThroughLine", w, true});
  }
  {
    EdgeWriter w;  // the same with the straight edge at the lower points
    w.Run(0, 20 * D, sides).Line(100 * D, 20 * D);
    w.Run(0, 0).Curve(50 * D, 100 * D, 100 * D, 0);
    w.Run(500 * D, 500 * D, Style{1, 0, 0}).Line(600 * D, 500 * D);
    cases.push_back({"LineThroughCurve", w, true});
  }
  {
    EdgeWriter w;  // two points
    w.Run(0, 0, sides).Line(100 * D, 0);
    cases.push_back({"TwoPoints", w, false});
  }
  {
    EdgeWriter w;  // three points, crossing curves
    w.Run(0, 0, sides).Curve(50 * D, 100 * D, 100 * D, 0).Curve(50 * D, -50 * D, 0, 0);
    cases.push_back({"ThreePoints", w, false});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = Search(c.w);
    ASSERT_EQ(s->outcome, Outcome::kGoOn);
    EXPECT_EQ(s->problem, c.problem);
    EXPECT_EQ(PlainLoops(*s->b), c.problem);
  }
}

TEST(ProblemSearch, TheSweepAnswersAsThePlainLoops) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coord(-6, 6), pick(0, 9), st(0, 2);
  int problems = 0;
  for (int round = 0; round < 80; ++round) {
    SCOPED_TRACE(round);
    EdgeWriter w;
    const int n = 4 + int(rng() % 14);
    for (int i = 0; i < n; ++i) {
      const int kind = pick(rng);
      std::optional<Style> s;
      if (kind < 3) s = Style{uint8_t(st(rng)), uint8_t(st(rng)), uint8_t(st(rng))};
      if (kind == 0) w.Run(coord(rng) * 30 * D, coord(rng) * 30 * D, s);
      const int64_t x = coord(rng) * 30 * D, y = coord(rng) * 30 * D;
      if (kind < 7)
        w.Line(x, y, s);
      else
        w.Curve(coord(rng) * 30 * D, coord(rng) * 30 * D, x, y, s);
    }
    auto s = Search(w);
    if (s->outcome != Outcome::kGoOn) continue;
    EXPECT_EQ(s->problem, PlainLoops(*s->b));
    problems += s->problem;
  }
  EXPECT_GT(problems, 5);
}

TEST(ProblemSearch, FillsOutsideAreTurnedAroundAndCancelLeavesTheBlock) {
  EdgeWriter w;
  w.Polygon({{0, 0}, {100 * D, 0}, {100 * D, 100 * D}, {0, 100 * D}}, Style{0, 1, 0});
  auto s = Search(w);
  ASSERT_FALSE(s->problem);
  s->b->TurnRegionsAround();
  for (const auto& r : s->b->regions) {
    EXPECT_EQ(r->probe, 0u);
    EXPECT_EQ(r->kind, kFill1Side);
  }
  EXPECT_EQ(s->b->graph.CheckInvariant(), "");

  // A cancel before the first edge of the search: nothing is rebuilt.
  EdgeWriter x;
  x.Run(0, 0, Style{0, 1, 2}).Line(100 * D, 100 * D).Line(100 * D, 0).Line(0, 100 * D).Line(0, 0);
  ConverterContext ctx;
  test::RecordingShell shell;
  ctx.m_pShell = &shell;
  ShapeBlock block = x.Block();
  const ShapeBlock before = block;
  ctx.m_bCancel = 1;
  size_t countField = 0;
  BuildShape(ctx, block, {}, nullptr, countField, nullptr);
  EXPECT_EQ(block.bytes, before.bytes);
  EXPECT_EQ(block.length, before.length);
  EXPECT_EQ(block.recordCount, before.recordCount);
}

}  // namespace
}  // namespace tovrani
