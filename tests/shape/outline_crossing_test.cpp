// The outline crossing questions: which pairs reach the edge tests, in
// which mode, and what the questions answer over a plain model of those
// tests (exact segments, curves as 16 chords).
#include "shape/build/outline_crossing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace tovrani {
namespace {

using R = PathRecord;
constexpr int32_t M = kPathMoveTo, L = kPathLineTo, C = kPathCurveTo;

int Orient(double ax, double ay, double bx, double by, double cx, double cy) {
  const double v = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  return (v > 1e-9) - (v < -1e-9);
}

// Segments a-b and c-d meet at a point that is not a shared end, or
// overlap along a stretch.
bool Meet(double ax, double ay, double bx, double by, double cx, double cy, double dx, double dy) {
  const int o1 = Orient(ax, ay, bx, by, cx, cy), o2 = Orient(ax, ay, bx, by, dx, dy);
  const int o3 = Orient(cx, cy, dx, dy, ax, ay), o4 = Orient(cx, cy, dx, dy, bx, by);
  if (o1 == 0 && o2 == 0) {  // collinear: overlap longer than a point
    const bool horizontal = std::abs(bx - ax) >= std::abs(by - ay);
    double a0 = horizontal ? ax : ay, a1 = horizontal ? bx : by;
    double c0 = horizontal ? cx : cy, c1 = horizontal ? dx : dy;
    if (a0 > a1) std::swap(a0, a1);
    if (c0 > c1) std::swap(c0, c1);
    return std::min(a1, c1) - std::max(a0, c0) > 1e-9;
  }
  return o1 * o2 < 0 && o3 * o4 < 0;
}

struct Model : EdgePairTests {
  std::vector<std::string> calls;

  bool Segments(CrossPoint sa, CrossPoint sb, CrossPoint ea, CrossPoint eb) override {
    calls.push_back("S");
    return Meet(sa.x, sa.y, ea.x, ea.y, sb.x, sb.y, eb.x, eb.y);
  }
  bool Edges(CrossPoint ea, CrossPoint eb, CrossPoint sa, CrossPoint sb, int64_t cxa, int64_t cxb,
             int64_t cya, int64_t cyb, int mode) override {
    calls.push_back("E" + std::to_string(mode));
    const auto a = Chords(sa, ea, cxa, cya, mode != 0), b = Chords(sb, eb, cxb, cyb, mode != 1);
    for (size_t i = 0; i + 1 < a.size(); ++i)
      for (size_t j = 0; j + 1 < b.size(); ++j)
        if (Meet(a[i][0], a[i][1], a[i + 1][0], a[i + 1][1], b[j][0], b[j][1], b[j + 1][0], b[j + 1][1]))
          return true;
    return false;
  }
  static std::vector<std::array<double, 2>> Chords(CrossPoint s, CrossPoint e, int64_t cx, int64_t cy,
                                                   bool curved) {
    if (!curved) return {{double(s.x), double(s.y)}, {double(e.x), double(e.y)}};
    std::vector<std::array<double, 2>> out;
    for (int i = 0; i <= 16; ++i) {
      const double t = i / 16.0, u = 1 - t;
      out.push_back({u * u * s.x + 2 * u * t * (s.x + cx) + t * t * e.x,
                     u * u * s.y + 2 * u * t * (s.y + cy) + t * t * e.y});
    }
    return out;
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

TEST(OutlineCrossing, TracedPathsAreCleanedBeforeTheirPairsAreTested) {
  Model m;
  PathRecordList list;
  list.records = {{M, 0, 0, 5, 5}, {L, 0, 0, 9, 9}, {L, 0, 0, 5, 5}};
  EXPECT_FALSE(TracedPathCrosses(m, list));
  EXPECT_EQ(list.count(), 0);

  // A repeated anchor goes; a curve whose control is its anchor is a line.
  list.records = {{M, 0, 0, 0, 0}, {L, 0, 0, 10, 0}, {L, 0, 0, 10, 0}, {C, 10, 10, 10, 10},
                  {L, 0, 0, 0, 10}, {L, 0, 0, 0, 0}};
  EXPECT_FALSE(TracedPathCrosses(m, list));
  EXPECT_EQ(list.records, (std::vector<R>{{M, 0, 0, 0, 0}, {L, 0, 0, 10, 0}, {L, 10, 10, 10, 10},
                                          {L, 0, 0, 0, 10}, {L, 0, 0, 0, 0}}));
  EXPECT_EQ(m.calls, (std::vector<std::string>{"S", "S"}));  // the opposite sides; neighbours share a point

  // A bow tie crosses, at 256 times the scale.
  list.records = {{M, 0, 0, 0, 0}, {L, 0, 0, 10, 10}, {L, 0, 0, 10, 0}, {L, 0, 0, 0, 10}, {L, 0, 0, 0, 0}};
  EXPECT_TRUE(TracedPathCrosses(m, list));
}

TEST(OutlineCrossing, ContoursAgainstThemselvesAndTheirClosingChord) {
  ShapeGeometry geo;
  IntersectionTests real(geo);
  Model model;  // the same answers from the plain model
  for (EdgePairTests* t : {static_cast<EdgePairTests*>(&real), static_cast<EdgePairTests*>(&model)}) {
    EdgePairTests& m = *t;
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
  ShapeGeometry geo;
  IntersectionTests m(geo);
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
    Model spy;
    EXPECT_FALSE(ContourCrossesEdges(spy, o->region, o->points, other.points));
    EXPECT_TRUE(spy.calls.empty());
  }
}

}  // namespace
}  // namespace tovrani
