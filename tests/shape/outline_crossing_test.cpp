// The outline crossing questions: which pairs reach the edge tests, in
// which mode, and what the questions answer.
#include "shape/builder/outline_crossing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "convert/converter_context.h"
#include "platform/raster.h"
#include "shape/builder/retrace_region.h"

namespace tovrani {
namespace {

using R = PathRecord;
constexpr int32_t M = kPathMoveTo, L = kPathLineTo, C = kPathCurveTo;

// The geometry layer's tests, with a log of the calls that reach them.
struct Spy : IntersectionTests {
  ShapeGeometry geo;
  std::vector<std::string> calls;

  Spy() : IntersectionTests(geo) {}
  bool Segments(CrossPoint sa, CrossPoint sb, CrossPoint ea, CrossPoint eb) override {
    calls.push_back("S");
    return IntersectionTests::Segments(sa, sb, ea, eb);
  }
  bool Edges(CrossPoint ea, CrossPoint eb, CrossPoint sa, CrossPoint sb, int64_t cxa, int64_t cxb,
             int64_t cya, int64_t cyb, int mode) override {
    calls.push_back(std::string("E").append(std::to_string(mode)));
    return IntersectionTests::Edges(ea, eb, sa, sb, cxa, cxb, cya, cyb, mode);
  }
};

// Points joined in order by edges (curved ones with a control point), each
// point's edge to the next as its first entry, and a region whose first
// contour follows them.
struct Outline {
  std::vector<ShapePoint> points;
  ShapeRegion region;

  Outline(std::vector<std::array<int32_t, 2>> xy, bool closed, std::vector<std::array<int32_t, 3>> curves = {}) {
    points.resize(xy.size());
    for (size_t i = 0; i < xy.size(); ++i) points[i].x = xy[i][0], points[i].y = xy[i][1];
    region.contours.assign(1, Contour{});
    const size_t n = closed ? xy.size() : xy.size() - 1;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t j = uint32_t((i + 1) % xy.size());
      PointEdge e;
      e.endX = xy[j][0], e.endY = xy[j][1], e.otherPoint = j;
      for (const auto& c : curves)
        if (uint32_t(c[0]) == i) e.curved = 1, e.controlDx = c[1] - xy[i][0], e.controlDy = c[2] - xy[i][1];
      points[i].edges.insert(points[i].edges.begin(), e);
      region.contours[0].Append(i, 0);
    }
  }
};

TEST(OutlineCrossing, TracedPathsAreCleanedBeforeTheyAreTested) {
  PathRecordList list;
  list.records = {{M, 0, 0, 5, 5}, {L, 0, 0, 9, 9}, {L, 0, 0, 5, 5}};
  EXPECT_FALSE(TracedPathCrosses(list));
  EXPECT_EQ(list.count(), 0);

  // A repeated anchor goes; a curve whose control is its anchor is a line.
  list.records = {{M, 0, 0, 0, 0}, {L, 0, 0, 10, 0}, {L, 0, 0, 10, 0}, {C, 10, 10, 10, 10},
                  {L, 0, 0, 0, 10}, {L, 0, 0, 0, 0}};
  EXPECT_FALSE(TracedPathCrosses(list));
  EXPECT_EQ(list.records, (std::vector<R>{{M, 0, 0, 0, 0}, {L, 0, 0, 10, 0}, {L, 10, 10, 10, 10},
                                          {L, 0, 0, 0, 10}, {L, 0, 0, 0, 0}}));
}

// Closed outlines of straight records through the given points.
PathRecordList Outlines(std::vector<std::vector<std::array<int32_t, 2>>> outlines) {
  PathRecordList list;
  for (const auto& o : outlines) {
    list.Append(M, 0, 0, o[0][0], o[0][1]);
    for (size_t i = 1; i < o.size(); ++i) list.Append(L, 0, 0, o[i][0], o[i][1]);
    list.Append(L, 0, 0, o[0][0], o[0][1]);
  }
  return list;
}

TEST(OutlineCrossing, TracedOutlinesThatOnlyTouchDoNotCross) {
  struct Case {
    const char* what;
    std::vector<std::vector<std::array<int32_t, 2>>> outlines;
    bool crosses;
  } cases[] = {
      {"bow tie", {{{0, 0}, {10, 10}, {10, 0}, {0, 10}}}, true},
      {"squares meeting at a corner", {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{10, 10}, {20, 10}, {20, 20}, {10, 20}}}, false},
      {"squares sharing part of a side", {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{10, 4}, {20, 4}, {20, 20}, {10, 20}}}, false},
      {"a corner resting on a side", {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{5, 10}, {10, 15}, {5, 20}, {0, 15}}}, false},
      {"a corner poking through a side", {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{5, 8}, {10, 15}, {5, 20}, {0, 15}}}, true},
      {"one outline touching itself at a corner", {{{0, 0}, {10, 0}, {10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}, {0, 10}}}, false},
      // Through a vertex it passes twice: a figure eight whose crossing is
      // a shared vertex.
      {"figure eight through a vertex", {{{0, 0}, {10, 10}, {20, 20}, {20, 0}, {10, 10}, {0, 20}}}, true},
      {"two loops meeting at a vertex", {{{0, 0}, {10, 10}, {20, 0}, {20, 20}, {10, 10}, {0, 20}}}, false},
      {"a corner passing through a corner", {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{10, 10}, {4, 20}, {-10, 20}, {-10, 4}}}, true},
  };
  for (Case& c : cases) {
    PathRecordList list = Outlines(c.outlines);
    EXPECT_EQ(TracedPathCrosses(list), c.crosses) << c.what;
  }
  // A curve bulging over a neighbour's side crosses it; one that only
  // reaches it does not.
  PathRecordList list = Outlines({{{0, 0}, {10, 0}, {10, 10}, {0, 10}}});
  list.Append(M, 0, 0, 20, 0);
  list.Append(C, -4, 5, 20, 10);
  list.Append(L, 0, 0, 20, 0);
  EXPECT_TRUE(TracedPathCrosses(list));
  list = Outlines({{{0, 0}, {10, 0}, {10, 10}, {0, 10}}});
  list.Append(M, 0, 0, 20, 0);
  list.Append(C, 0, 5, 20, 10);  // reaches x = 10 at its middle
  list.Append(L, 0, 0, 20, 0);
  EXPECT_FALSE(TracedPathCrosses(list));
}

// Two squares joined by a bridge of pixels that meet only at their
// corners, running down to the right or down to the left.
struct Bridged {
  int side, bridge;
  bool leftward;
  int width() const { return 2 * side + bridge + 8; }
  std::vector<IntRect> Pixels() const {
    std::vector<IntRect> pixels;
    auto set = [&](int32_t x, int32_t y) {
      if (leftward) x = width() - 1 - x;
      pixels.push_back({x, y, x + 1, y + 1});
    };
    for (int32_t y = 0; y < side; ++y)
      for (int32_t x = 0; x < side; ++x) {
        set(x + 2, y + 2);
        set(x + 2 + side + bridge, y + 2 + side + bridge);
      }
    for (int32_t k = 0; k < bridge; ++k) set(2 + side + k, 2 + side + k);
    return pixels;
  }
};

// Whatever the smoothing level, the retraced outlines touch where the
// pixels do and never cross: the tracer keeps them apart, and so must the
// fit of its curves. Where the bridge is one pixel wide the outlines touch;
// two or three wide, they run a pixel or less apart through it, which
// quadratics fitted within a pixel and rounded to whole pixels can cross.
TEST(OutlineCrossing, RetracedSquaresJoinedDiagonallyDoNotCross) {
  std::vector<Bridged> cases;
  for (int side : {4, 8, 10})
    for (int bridge = 1; bridge <= 3; ++bridge)
      for (bool leftward : {false, true}) cases.push_back({side, bridge, leftward});
  cases.push_back({5, 4, false});
  cases.push_back({6, 4, true});
  ConverterContext ctx;
  for (const Bridged& c : cases) {
    ShapeRegion region;
    ASSERT_NE(region.area.SetRects(c.Pixels()), RegionKind::kError);
    region.box = {0, 0, c.width(), c.width()};
    for (int level = 4; level <= 30; ++level) {
      PathRecordList list;
      bool crosses = true;
      ASSERT_EQ(RetraceRegion(ctx, list, region, {}, level, &crosses), 1);
      // The retrace's own answer is the test's, on a list already cleaned.
      PathRecordList judged = list;
      EXPECT_FALSE(TracedPathCrosses(judged)) << "side " << c.side << ", bridge " << c.bridge
                                              << (c.leftward ? " leftward" : "") << ", level " << level;
      EXPECT_FALSE(crosses);
      EXPECT_EQ(judged.records, list.records);
    }
  }
}

// A one-pixel hole beside a corner of a diagonal border. At the raster's
// own pixels the smoothed border cuts the corner through the hole's pixel;
// a raster scaled down by 4 is written in device units, four to its pixel,
// and there the outlines stay apart as the tracer drew them.
TEST(OutlineCrossing, ARetraceScaledDownIsFittedInDeviceUnits) {
  const char* rows[] = {
      "###.....",
      "####....",
      "#####...",
      "#######.",
      "######.#",
      "########",
      "########",
      "########",
  };
  Raster raster;
  ASSERT_TRUE(raster.Resize(12, 12));
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) raster.Set(x + 2, y + 2, rows[y][x] == '#');
  ConverterContext ctx;
  PathRecordList list;
  ASSERT_EQ(TraceRetraceRaster(ctx, list, raster, RetraceSize{12, 12, 0.25, true}, 4), 1);
  EXPECT_FALSE(TracedPathCrosses(list));
  // Both outlines are there: the outer one and the hole.
  EXPECT_EQ(std::count_if(list.records.begin(), list.records.end(),
                          [](const R& r) { return r.kind == M; }),
            2);
}

TEST(OutlineCrossing, ContoursAgainstThemselvesAndTheirClosingChord) {
  Spy m;
  const Outline square({{0, 0}, {2560, 0}, {2560, 2560}, {0, 2560}}, true);
  EXPECT_FALSE(ContourCrossesItself(m, square.region, square.points));
  const Outline eight({{0, 0}, {2560, 2560}, {2560, 0}, {0, 2560}}, true);
  EXPECT_TRUE(ContourCrossesItself(m, eight.region, eight.points));

  // Open: up, a curve bulging down through the chord's line, down.
  const Outline through({{0, 0}, {0, -1000}, {3000, -1000}, {3000, 0}}, false, {{1, 1500, 3000}});
  EXPECT_TRUE(ClosingChordCrosses(m, through.region, through.points));
  const Outline above({{0, 0}, {0, -1000}, {3000, -1000}, {3000, 0}}, false, {{1, 1500, -3000}});
  EXPECT_FALSE(ClosingChordCrosses(m, above.region, above.points));
  // It meets the outline only at its two ends.
  const Outline cup({{0, 0}, {0, 1000}, {3000, 1000}, {3000, 0}}, false);
  EXPECT_FALSE(ClosingChordCrosses(m, cup.region, cup.points));
}

TEST(OutlineCrossing, ContoursAgainstTheEdgesOfAnotherTable) {
  const Outline line({{0, 0}, {5000, 0}}, false);
  struct Case {
    std::vector<std::array<int32_t, 2>> element;
    bool crosses;
  } cases[] = {
      {{{0, 0}, {5000, 0}}, true},     // the edge itself
      {{{5000, 0}, {0, 0}}, true},     // reversed
      {{{0, 0}, {2000, 0}}, true},     // on it from the shared point
      {{{0, 0}, {2000, 100}}, false},  // leaves the shared point at another angle
      {{{5000, 0}, {5000, 3000}}, false},
      {{{2000, -100}, {2000, 100}}, true},
  };
  Spy m;
  for (const Case& c : cases) {
    const Outline el(c.element, false);
    EXPECT_EQ(ContourCrossesEdges(m, el.region, el.points, line.points), c.crosses)
        << c.element[1][0] << "," << c.element[1][1];
    EXPECT_EQ(ContourStepCrossesEdges(m, el.region.contours[0], 0, el.points, line.points), c.crosses);
  }

  // A curved element that is the curved edge itself, or its reverse: skipped.
  const Outline curve({{0, 0}, {5000, 0}}, false, {{0, 2500, 2500}});
  const Outline reverse({{5000, 0}, {0, 0}}, false, {{0, 2500, 2500}});
  Outline other = curve;
  PointEdge twin = curve.points[0].edges[0];
  twin.endX = 0, twin.endY = 0, twin.otherPoint = 0, twin.twin = 0;
  twin.controlDx = -2500, twin.controlDy = 2500;
  other.points[0].edges[0].twin = 0;
  other.points[1].edges = {twin};
  for (const Outline* o : {&curve, &reverse}) {
    Spy spy;
    EXPECT_FALSE(ContourCrossesEdges(spy, o->region, o->points, other.points));
    EXPECT_TRUE(spy.calls.empty());
  }
}

TEST(OutlineCrossing, SkippedStepsOfAContourAreNeverTested) {
  // A triangle whose first side lies on the other table's edge and whose
  // second side crosses it.
  const Outline line({{0, 0}, {5000, 0}}, false);
  const Outline triangle({{0, 0}, {2000, 0}, {1000, -1000}}, true);
  const Outline crossing({{1000, -1000}, {1000, 1000}, {3000, 1000}}, true);
  auto first = [](const ShapePoint& from, const PointEdge&) { return from.x == 0 && from.y == 0; };
  auto all = [](const ShapePoint&, const PointEdge&) { return true; };
  Spy m;
  EXPECT_TRUE(ContourCrossesEdges(m, triangle.region, triangle.points, line.points));
  EXPECT_TRUE(ContourCrossesEdges(m, triangle.region, triangle.points, line.points, {}));
  // Without its first side the triangle only touches the line at a shared end point.
  m.calls.clear();
  EXPECT_FALSE(ContourCrossesEdges(m, triangle.region, triangle.points, line.points, first));
  EXPECT_EQ(m.calls, std::vector<std::string>{"S"});  // the second side; the third only shares an end point
  // The steps after a skipped one are still tested.
  EXPECT_TRUE(ContourCrossesEdges(m, crossing.region, crossing.points, line.points, first));
  m.calls.clear();
  EXPECT_FALSE(ContourCrossesEdges(m, crossing.region, crossing.points, line.points, all));
  EXPECT_TRUE(m.calls.empty());
}

}  // namespace
}  // namespace tovrani
