// The analysis of traced regions (joins, seams, nesting, outlines inside
// one fill) and the region-pair stage of the problem search.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "convert/converter_context.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/shape_builder.h"
#include "shape/shape_test_support.h"
#include "support/recording_shell.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;
using Outcome = ShapeBuilder::Outcome;

constexpr int64_t D = 256;
const std::vector<uint8_t> kBlob = {0};  // any style blob: the region stage runs

struct Built {
  ConverterContext ctx;
  ShapeBlock block;
  std::unique_ptr<ShapeBuilder> b;
};

// Read (and, with `trace`, traced into regions) as BuildShape does.
std::unique_ptr<Built> Make(const EdgeWriter& w, bool trace, bool blob = false) {
  auto s = std::make_unique<Built>();
  s->block = w.Block();
  s->b = std::make_unique<ShapeBuilder>(s->ctx, s->block,
                                        blob ? std::span<const uint8_t>(kBlob)
                                             : std::span<const uint8_t>(),
                                        nullptr);
  EXPECT_EQ(s->b->Read(), Outcome::kGoOn);
  if (trace) {
    EXPECT_EQ(s->b->JoinStraightEdges(), Outcome::kGoOn);
    s->b->MarkSides();
    EXPECT_EQ(s->b->TraceOutlines(), Outcome::kGoOn);
  }
  return s;
}

// The step from (x0, y0) to (x1, y1) in device units.
std::pair<uint32_t, uint32_t> Step(ShapeBuilder& b, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  const uint32_t p = *b.graph.FindPoint(int32_t(x0 * D), int32_t(y0 * D));
  const uint32_t q = *b.graph.FindPoint(int32_t(x1 * D), int32_t(y1 * D));
  const auto& edges = b.graph.points[p].edges;
  for (uint32_t e = 0; e < edges.size(); ++e)
    if (edges[e].otherPoint == q) return {p, e};
  ADD_FAILURE() << "no edge";
  return {p, 0};
}

// An open region traced by hand along the given corners.
uint32_t OpenRegion(ShapeBuilder& b, uint8_t kind, const std::vector<std::pair<int64_t, int64_t>>& at) {
  std::vector<uint32_t> pts, edges;
  for (size_t k = 0; k + 1 < at.size(); ++k) {
    const auto [p, e] = Step(b, at[k].first, at[k].second, at[k + 1].first, at[k + 1].second);
    pts.push_back(p);
    edges.push_back(e);
  }
  const uint32_t index = uint32_t(b.regions.size());
  auto r = std::make_unique<ShapeRegion>();
  ShapeRegion one;
  one.kind = kind;
  one.style = 1;
  one.AddContour(uint32_t(pts.size()), pts.data(), edges.data(), b.graph.span());
  r->AppendContour(one, b.graph.span(), index);
  r->BuildRegions(b.geo, b.graph.span(), kind, 1, index);
  b.regions.push_back(std::move(r));
  return index;
}

// Every contour runs on: step k ends where step k + 1 starts.
::testing::AssertionResult Connected(const ShapeBuilder& b) {
  for (size_t r = 0; r < b.regions.size(); ++r)
    for (const Contour& c : b.regions[r]->contours)
      for (uint32_t k = 0; k + 1 < c.count(); ++k)
        if (b.graph.points[c.points[k]].edges[c.edges[k]].otherPoint != c.points[k + 1])
          return ::testing::AssertionFailure() << "region " << r << " breaks after step " << k;
  return ::testing::AssertionSuccess();
}

size_t Uses(const ShapeBuilder& b, uint32_t region, std::pair<uint32_t, uint32_t> step) {
  const ShapePoint& p = b.graph.points[step.first];
  const PointEdge& e = p.edges[step.second];
  size_t n = 0;
  for (const Contour& c : b.regions[region]->contours)
    for (uint32_t k = 0; k < c.count(); ++k)
      n += (c.points[k] == step.first && c.edges[k] == step.second) ||
           (c.points[k] == e.otherPoint && c.edges[k] == e.twin);
  return n;
}

size_t InLineEdges(const ShapeBuilder& b, std::pair<uint32_t, uint32_t> step) {
  const PointEdge& e = b.graph.points[step.first].edges[step.second];
  size_t n = 0;
  for (uint32_t k = 0; k < b.lineEdges.count(); ++k)
    n += (b.lineEdges.points[k] == step.first && b.lineEdges.edges[k] == step.second) ||
         (b.lineEdges.points[k] == e.otherPoint && b.lineEdges.edges[k] == e.twin);
  return n;
}

TEST(RegionAnalysis, EachLaterLoopRestartsTheSubBarAndRedrawsThePane) {
  EdgeWriter w;
  w.Polygon({{0, 0}, {10 * D, 0}, {10 * D, 10 * D}, {0, 10 * D}}, Style{0, 0, 1});
  w.Polygon({{20 * D, 0}, {30 * D, 0}, {30 * D, 10 * D}, {20 * D, 10 * D}}, Style{0, 0, 1});
  auto s = Make(w, true);
  test::RecordingShell shell;
  shell.recordProgress = true;
  s->ctx.m_pShell = &shell;
  const size_t n = s->b->regions.size();
  ASSERT_GT(n, 0u);
  ASSERT_EQ(s->b->AnalyseRegions(), Outcome::kGoOn);
  std::vector<std::string> expected = {"action adding shape -> analyzing vector data...",
                                       "begin 0 " + std::to_string(n)};
  for (int loop = 0; loop < 4; ++loop) {
    if (loop > 0) expected.insert(expected.end(), {"step 0", "redraw"});
    for (size_t i = 0; i < n; ++i) expected.push_back("step " + std::to_string(i));
  }
  EXPECT_EQ(shell.progress, expected);
}

TEST(RegionAnalysis, AHoleOfTheSameFillIsCutOutLinkedAndOrderedDeeper) {
  EdgeWriter w;
  w.Polygon({{0, 0}, {100 * D, 0}, {100 * D, 100 * D}, {0, 100 * D}}, Style{0, 0, 1});
  w.Polygon({{30 * D, 30 * D}, {70 * D, 30 * D}, {70 * D, 70 * D}, {30 * D, 70 * D}}, Style{0, 1, 0});
  for (bool touching : {false, true}) {
    SCOPED_TRACE(touching ? "touching boxes" : "strictly inside");
    auto s = Make(w, true);
    ShapeBuilder& b = *s->b;
    ASSERT_EQ(b.regions.size(), 2u);
    const uint32_t outer = b.regions[0]->probe == 0 ? 0 : 1, hole = 1 - outer;
    ASSERT_EQ(b.regions[outer]->probe, 0u);
    ASSERT_NE(b.regions[hole]->probe, 0u);
    // Boxes with one side in common are never nested.
    if (touching) b.regions[outer]->box.top = b.regions[hole]->box.top;
    const int64_t before = b.regions[outer]->area.Area();
    ASSERT_EQ(b.AnalyseRegions(), Outcome::kGoOn);
    const ShapeRegion &o = *b.regions[outer], &h = *b.regions[hole];
    if (touching) {
      EXPECT_EQ(o.area.Area(), before);
      EXPECT_TRUE(o.links.empty());
      EXPECT_EQ(h.order, o.order);
    } else {
      EXPECT_EQ(o.area.Area(), 100 * 100 - 40 * 40);
      EXPECT_EQ(o.links, std::vector<uint32_t>{hole});
      EXPECT_EQ(h.order, o.order + 1);
    }
    EXPECT_TRUE(Connected(b));
  }
}

// Two squares of one fill side by side; their common side B-E carries the
// fill on both sides.
EdgeWriter TwoSquares() {
  EdgeWriter w;
  w.Polygon({{0, 0}, {50 * D, 0}, {100 * D, 0}, {100 * D, 100 * D}, {50 * D, 100 * D}, {0, 100 * D}},
            Style{0, 0, 1});
  w.Run(50 * D, 0, Style{0, 1, 1}).Line(50 * D, 100 * D);
  return w;
}

// Of two regions joined, the one left holding the contour.
uint32_t Survivor(const ShapeBuilder& b, uint32_t a, uint32_t c) {
  EXPECT_NE(b.regions[a]->HasContour(), b.regions[c]->HasContour());
  EXPECT_EQ(b.regions[b.regions[a]->HasContour() ? a : c]->contours.size(), 1u);
  return b.regions[a]->HasContour() ? a : c;
}

TEST(RegionAnalysis, OpenOutlinesOfOneFillAreJoinedAndSeamsLeaveThem) {
  {
    // Traced from opposite sides, from one point: one walked back, then
    // the other.
    auto s = Make(TwoSquares(), false);
    ShapeBuilder& b = *s->b;
    const uint32_t j = OpenRegion(b, kFill1Side, {{0, 0}, {50, 0}, {100, 0}, {100, 100}});
    const uint32_t i = OpenRegion(b, kFill0Side, {{0, 0}, {0, 100}, {50, 100}, {100, 100}, {100, 0}});
    ASSERT_EQ(b.AnalyseRegions(), Outcome::kGoOn);
    const Contour& c = b.regions[Survivor(b, i, j)]->contours[0];
    // The region that holds the join is one still to be written.
    EXPECT_EQ(b.regions[Survivor(b, i, j)]->order, 0);
    ASSERT_EQ(c.count(), 7u);
    EXPECT_EQ(std::make_pair(c.points[0], c.edges[0]), Step(b, 100, 0, 100, 100));
    EXPECT_EQ(std::make_pair(c.points[3], c.edges[3]), Step(b, 0, 100, 0, 0));
    EXPECT_EQ(std::make_pair(c.points[4], c.edges[4]), Step(b, 0, 0, 50, 0));
    EXPECT_TRUE(Connected(b));
  }
  struct Seam {
    const char* name;
    uint8_t kinds[2];
    std::vector<std::pair<int64_t, int64_t>> halves[2];
  } seams[] = {
      // The same side: one comes back down the seam the other goes up.
      {"SameSide", {kFill1Side, kFill1Side},
       {{{0, 100}, {0, 0}, {50, 0}, {50, 100}}, {{50, 100}, {50, 0}, {100, 0}, {100, 100}}}},
      // Opposite sides, both leaving along the seam.
      {"OppositeSides", {kFill1Side, kFill0Side},
       {{{50, 0}, {50, 100}, {0, 100}, {0, 0}}, {{50, 0}, {50, 100}, {100, 100}, {100, 0}}}},
  };
  for (const Seam& seam : seams) {
    SCOPED_TRACE(seam.name);
    auto s = Make(TwoSquares(), false);
    ShapeBuilder& b = *s->b;
    const uint32_t j = OpenRegion(b, seam.kinds[0], seam.halves[0]);
    const uint32_t i = OpenRegion(b, seam.kinds[1], seam.halves[1]);
    const auto edge = Step(b, 50, 0, 50, 100);
    ASSERT_EQ(b.AnalyseRegions(), Outcome::kGoOn);
    const uint32_t kept = Survivor(b, i, j);
    EXPECT_EQ(b.regions[kept]->contours[0].count(), 4u);
    EXPECT_EQ(b.regions[kept]->order, 0);
    EXPECT_EQ(Uses(b, kept, edge), 0u);
    EXPECT_EQ(InLineEdges(b, edge), 1u);
    EXPECT_TRUE(Connected(b));
  }
}

TEST(RegionAnalysis, OpenBoundaryOutlinesJoinEndToEnd) {
  // Two halves of the square's boundary on the same side: one new region,
  // closed, and the halves cleared.
  EdgeWriter w;
  w.Polygon({{0, 0}, {100 * D, 0}, {100 * D, 100 * D}, {0, 100 * D}}, Style{0, 0, 1});
  auto s = Make(w, false);
  ShapeBuilder& b = *s->b;
  const uint32_t i = OpenRegion(b, kFill1Side, {{0, 0}, {100, 0}, {100, 100}});
  const uint32_t j = OpenRegion(b, kFill1Side, {{100, 100}, {0, 100}, {0, 0}});
  ASSERT_EQ(b.AnalyseRegions(), Outcome::kGoOn);
  ASSERT_EQ(b.regions.size(), 3u);
  EXPECT_FALSE(b.regions[i]->HasContour());
  EXPECT_FALSE(b.regions[j]->HasContour());
  const ShapeRegion& made = *b.regions[2];
  ASSERT_TRUE(made.HasContour());
  EXPECT_EQ(made.contours[0].count(), 4u);
  EXPECT_EQ(made.joined, 0);
  EXPECT_TRUE(b.joinedRegionsFlag);
  EXPECT_TRUE(Connected(b));

  // One half alone finds no partner; its chord-closed figure has an
  // interior.
  auto t = Make(w, false);
  OpenRegion(*t->b, kFill1Side, {{0, 0}, {100, 0}, {100, 100}});
  ASSERT_EQ(t->b->AnalyseRegions(), Outcome::kGoOn);
  EXPECT_FALSE(t->b->joinedRegionsFlag);
  EXPECT_TRUE(t->b->interiorFoundFlag);
}

TEST(RegionAnalysis, AnOutlineInsideOneFillStaysOnlyBesideAnOpenRegion) {
  for (bool farSideOpen : {false, true}) {
    SCOPED_TRACE(farSideOpen ? "open far side" : "nothing on the far side");
    auto s = Make(TwoSquares(), false);
    ShapeBuilder& b = *s->b;
    const uint32_t inner = OpenRegion(b, kFill1Side, {{50, 0}, {50, 100}});
    if (farSideOpen) {
      const uint32_t far = OpenRegion(b, kFill0Side, {{0, 0}, {0, 100}});
      const auto [p, e] = Step(b, 50, 0, 50, 100);
      b.graph.points[p].edges[e].regionFill0 = far;
    }
    ASSERT_EQ(b.AnalyseRegions(), Outcome::kGoOn);
    const ShapeRegion& r = *b.regions[inner];
    EXPECT_EQ(r.HasContour(), farSideOpen);
    if (farSideOpen) {
      EXPECT_EQ(r.border, 1);
      // The area is now the outline's band: a thin strip along x = 50.
      EXPECT_LE(r.box.right - r.box.left, 3);
      EXPECT_GE(r.box.bottom - r.box.top, 100);
    }
  }
}

TEST(RegionAnalysis, CancelAndBudgetStopEveryLoop) {
  test::RecordingShell shell;
  auto s = Make(TwoSquares(), true);
  s->ctx.m_pShell = &shell;
  s->ctx.m_bCancel = 1;
  EXPECT_EQ(s->b->AnalyseRegions(), Outcome::kLeave);

  auto t = Make(TwoSquares(), false);
  for (int k = 0; k < 40; ++k) OpenRegion(*t->b, kFill1Side, {{0, 0}, {50, 0}, {100, 0}, {100, 100}});
  t->b->geo.budget = 20;
  EXPECT_EQ(t->b->AnalyseRegions(), Outcome::kAbandon);
}

// Random shapes on a small grid (points repeat, outlines stay open, fills
// meet in every way) traced and analysed: every outline runs on, every
// link names a region cut out of its holder one level deeper, and no edge
// enters the line-edge list twice.
TEST(RegionAnalysis, RandomShapesKeepOutlinesWhole) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> coord(-4, 4), pick(0, 9), st(0, 2);
  int joined = 0, seams = 0;
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE(round);
    EdgeWriter w;
    const int n = 3 + int(rng() % 30);
    for (int i = 0; i < n; ++i) {
      const int64_t x = coord(rng) * 20 * D, y = coord(rng) * 20 * D;
      const int kind = pick(rng);
      std::optional<Style> s;
      if (kind < 3) s = Style{uint8_t(st(rng)), uint8_t(st(rng)), uint8_t(st(rng))};
      if (kind == 0) w.Run(coord(rng) * 20 * D, coord(rng) * 20 * D, s);
      if (kind < 7)
        w.Line(x, y, s);
      else
        w.Curve(coord(rng) * 20 * D, coord(rng) * 20 * D, x, y, s);
    }
    auto s = Make(w, true, true);
    ShapeBuilder& b = *s->b;
    const uint32_t linesBefore = b.lineEdges.count();
    const Outcome o = b.AnalyseRegions();
    seams += b.lineEdges.count() - linesBefore;
    ASSERT_NE(o, Outcome::kLeave);
    if (o != Outcome::kGoOn) continue;
    EXPECT_EQ(b.graph.CheckInvariant(), "");
    EXPECT_TRUE(Connected(b));
    for (size_t r = 0; r < b.regions.size(); ++r)
      for (uint32_t l : b.regions[r]->links) {
        ASSERT_LT(l, b.regions.size());
        EXPECT_NE(b.regions[l]->probe, 0u);
        EXPECT_GT(b.regions[l]->order, b.regions[r]->order);
      }
    std::set<std::pair<uint32_t, uint32_t>> seen;
    for (uint32_t k = 0; k < b.lineEdges.count(); ++k) {
      const uint32_t p = b.lineEdges.points[k], e = b.lineEdges.edges[k];
      ASSERT_LT(p, b.graph.pointCount());
      ASSERT_LT(e, b.graph.points[p].edges.size());
      const PointEdge& edge = b.graph.points[p].edges[e];
      EXPECT_TRUE(seen.insert(std::min(std::pair(p, e), std::pair(edge.otherPoint, edge.twin))).second);
    }
    joined += b.joinedRegionsFlag;
    bool problem = false;
    if (b.SearchEdgeProblems(problem) == Outcome::kGoOn && !problem) {
      EXPECT_NE(b.SearchRegionProblems(problem), Outcome::kLeave);
    }
  }
  // Both joins and seams occur on such shapes.
  EXPECT_GT(joined, 0);
  EXPECT_GT(seams, 0);
}

// Concentric rings of one fill with big diamond borders: every pair of
// rings is combined, and what a pair costs grows with the rows of its
// regions. A budget that covers the tracing and a few units per pair, but
// not the rows, abandons the shape and leaves it as it came.
TEST(RegionAnalysis, PairWorkIsChargedByTheSizeOfTheRegions) {
  EdgeWriter w;
  for (int k = 0; k < 20; ++k) {
    const int64_t outer = (3000 - k * 100) * D, inner = outer - 50 * D;
    w.Polygon({{0, -outer}, {outer, 0}, {0, outer}, {-outer, 0}}, Style{0, 0, 1});
    w.Polygon({{0, -inner}, {-inner, 0}, {0, inner}, {inner, 0}}, Style{0, 0, 1});
  }
  auto s = Make(w, true, true);
  const uint64_t traced = s->ctx.m_nBuildShapeBudget - s->b->geo.budget;
  for (uint64_t extra : {uint64_t{10000}, uint64_t{1} << 26}) {
    SCOPED_TRACE(extra);
    ConverterContext ctx;
    ctx.m_nBuildShapeBudget = traced + extra;
    ShapeBlock block = w.Block();
    const ShapeBlock before = block;
    size_t countField = 0;
    g_bVectorizationProblem = 0;
    BuildShape(ctx, block, kBlob, nullptr, countField, nullptr);
    const bool abandoned = extra < 100000;
    EXPECT_EQ(g_bVectorizationProblem, abandoned ? 1 : 0);
    if (abandoned) {
      EXPECT_EQ(block.bytes, before.bytes);
      EXPECT_EQ(block.recordCount, before.recordCount);
    } else {
      EXPECT_NE(block.bytes, before.bytes);
    }
  }
  g_bVectorizationProblem = 0;
}

// Fill 1 as a frame around fill 2 (edges between them carry both), or
// fill 2 drawn on top of a plain fill-1 square (no hole in it).
EdgeWriter Nested(bool holeCut) {
  EdgeWriter w;
  w.Polygon({{0, 0}, {100 * D, 0}, {100 * D, 100 * D}, {0, 100 * D}}, Style{0, 0, 1});
  w.Polygon({{30 * D, 30 * D}, {70 * D, 30 * D}, {70 * D, 70 * D}, {30 * D, 70 * D}},
            Style{0, uint8_t(holeCut ? 1 : 0), 2});
  return w;
}

TEST(RegionPairs, OverlappingFillsAreAProblemOnlyWithAStyleBlob) {
  struct Case {
    const char* name;
    EdgeWriter w;
    bool problem;
  };
  std::vector<Case> cases;
  cases.push_back({"FillOnTopOfFill", Nested(false), true});
  cases.push_back({"FrameAroundFill", Nested(true), false});
  {
    EdgeWriter w;  // two squares of two fills sharing a side
    w.Polygon({{0, 0}, {50 * D, 0}, {50 * D, 100 * D}, {0, 100 * D}}, Style{0, 0, 1});
    w.Polygon({{50 * D, 0}, {100 * D, 0}, {100 * D, 100 * D}, {50 * D, 100 * D}}, Style{0, 0, 2});
    cases.push_back({"SideBySide", w, false});
  }
  {
    EdgeWriter w;  // fill 2 inside a hole of the fill-1 square
    w.Polygon({{0, 0}, {100 * D, 0}, {100 * D, 100 * D}, {0, 100 * D}}, Style{0, 0, 1});
    w.Polygon({{20 * D, 20 * D}, {80 * D, 20 * D}, {80 * D, 80 * D}, {20 * D, 80 * D}}, Style{0, 1, 0});
    w.Polygon({{40 * D, 40 * D}, {60 * D, 40 * D}, {60 * D, 60 * D}, {40 * D, 60 * D}}, Style{0, 0, 2});
    cases.push_back({"InsideAHole", w, false});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = Make(c.w, true, true);
    ShapeBuilder& b = *s->b;
    ASSERT_EQ(b.AnalyseRegions(), Outcome::kGoOn);
    bool problem = true;
    ASSERT_EQ(b.SearchEdgeProblems(problem), Outcome::kGoOn);
    EXPECT_FALSE(problem);
    ASSERT_EQ(b.SearchRegionProblems(problem), Outcome::kGoOn);
    EXPECT_EQ(problem, c.problem);

    // Through BuildShape: without a style blob every one is rebuilt; with
    // one, a problem leaves the block as it came.
    for (bool blob : {false, true}) {
      ConverterContext ctx;
      static int rebuilt;
      rebuilt = 0;
      ctx.m_pShapeGraphSeam = [](ShapeGraph&) { ++rebuilt; };
      ShapeBlock block = c.w.Block();
      const ShapeBlock before = block;
      size_t countField = 0;
      BuildShape(ctx, block, blob ? std::span<const uint8_t>(kBlob) : std::span<const uint8_t>(),
                 nullptr, countField, nullptr);
      const bool leftAsCame = blob && c.problem;
      EXPECT_EQ(rebuilt, leftAsCame ? 0 : 1) << blob;
      if (leftAsCame) {
        EXPECT_EQ(block.bytes, before.bytes);
        EXPECT_EQ(block.recordCount, before.recordCount);
      }
    }
  }
}

}  // namespace
}  // namespace tovrani
