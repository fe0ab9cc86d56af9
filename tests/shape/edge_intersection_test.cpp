// Crossing tests of two edges: segments, a curve against a segment, two
// curves, and the analytic test from a common point.
#include <gtest/gtest.h>

#include <random>

#include "shape/geometry/edge_intersection.h"
#include "shape/geometry/quadratic_sample.h"

namespace tovrani {
namespace {

TEST(EdgeIntersection, Segments) {
  struct Case {
    const char* name;
    std::array<int32_t, 8> args;  // start A, start B, end A, end B
    bool meet;
  } cases[] = {
      {"X", {0, 0, 10, 0, 10, 10, 0, 10}, true},
      {"TouchingBoxes", {0, 0, 10, 10, 10, 10, 20, 0}, false},
      {"CollinearSameWay", {0, 0, 5, 5, 10, 10, 15, 15}, true},
      {"CollinearOpposite", {0, 0, 15, 15, 10, 10, 5, 5}, false},
      {"VerticalAgainstHorizontal", {5, 0, 0, 5, 5, 10, 10, 5}, true},
      {"ParallelOneUnitApart", {0, 0, 0, 1, 100, 50, 100, 51}, false},
      {"MeetAtTheEndOfTheRange", {0, 0, 5, 10, 10, 10, 15, 0}, true},
      {"Apart", {0, 0, 0, 10, 10, 1, 10, 12}, false},
      {"FarOut", {-(1 << 30), 0, (1 << 30) - 1, 0, (1 << 30) - 1, 1, -(1 << 30), 1}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto& a = c.args;
    EXPECT_EQ(IntersectSegments(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]), c.meet);
  }
}

TEST(EdgeIntersection, DrawingDivisor) {
  struct Case {
    int64_t w, h;
    int32_t d;
  } cases[] = {{128, 128 * 79, 1},     {128, 128 * 80, 2},       {128, 128 * 327679, 64},
               {128, 128 * 327680, 128}, {600000, 600000, 128}};
  for (const Case& c : cases) EXPECT_EQ(DrawingDivisor(c.w, c.h), c.d) << c.w << " x " << c.h;
}

TEST(EdgeIntersection, CurvesAgainstEdges) {
  struct Case {
    const char* name;
    // e1, e2, s1, s2, c1dx, c2dx, c1dy, c2dy, mode
    std::array<int32_t, 12> args;
    uint8_t mode;
    bool meet;
  } cases[] = {
      // Straight (64000, 25600) -> x inside the curve's area, or out through it.
      {"InsideTheArea", {192000, 25600, 256000, 0, 64000, 25600, 0, 0, 0, 128000, 0, 256000}, 0, false},
      {"OutThroughTheCurve", {300000, 25600, 256000, 0, 64000, 25600, 0, 0, 0, 128000, 0, 256000}, 0, true},
      {"Mode10AsMode0", {300000, 25600, 256000, 0, 64000, 25600, 0, 0, 0, 128000, 0, 256000}, 10, true},
      {"CurveFirst", {256000, 0, 300000, 25600, 0, 0, 64000, 25600, 128000, 0, 256000, 0}, 1, true},
      {"TwoCurvesSameControl", {100, 0, 100, 0, 0, 0, 0, 0, 50, 50, 80, 80}, 2, false},
      {"TwoCurvesCrossing", {1000, 0, 1000, 400, 0, 0, 0, 400, 500, 500, 800, -800}, 2, true},
      {"TouchingBoxes", {100, 100, 200, 0, 0, 0, 100, 100, 0, 50, 0, -50}, 0, false},
      // From a common point: the curve's slopes against the edge.
      {"CommonPointCurveFirstMirrored", {100, 0, 100, -100, 0, 0, 0, 0, 50, 0, -50, 0}, 1, false},
      {"CommonPointOutsideTheArea", {256000, 0, 1000, 300000, 0, 0, 0, 0, 128000, 0, 256000, 0}, 1, false},
      {"CommonPointBackThroughTheCurve", {256000, 0, 300000, 0, 0, 0, 0, 0, 128000, 0, 256000, 0}, 1, false},
      {"CommonPointAcrossTheCurve", {256000, 0, 200000, 200000, 0, 0, 0, 0, 128000, 0, 256000, 0}, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto& a = c.args;
    ShapeGeometry geo;
    EXPECT_EQ(IntersectEdges(geo, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9],
                             a[10], a[11], c.mode),
              c.meet);
  }
}

TEST(EdgeIntersection, CurveMeetsSegmentAndSampling) {
  std::vector<double> out(6);
  SampleQuadratic(out, 3, 0, 0, 10, 10, 20, 0, 0.0, 1.0);
  EXPECT_EQ(out, (std::vector<double>{20, 0, 10, 5, 0, 0}));
  struct Case {
    int32_t lx1, ly1;
    bool meet;
  } cases[] = {{300, 0, true}, {60, 0, false}, {67, 0, true}, {50, 100, false}};
  for (const Case& c : cases)
    EXPECT_EQ(CurveMeetsSegment(0, 0, 100, -100, 50, 100, 0, 0, c.lx1, c.ly1), c.meet) << c.lx1;
}

// Random coordinates up to the range limits: answers, no overflow, and
// the segment test does not depend on which segment comes first.
TEST(EdgeIntersection, RandomCoordinatesAtTheLimits) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int32_t> v(-(1 << 30), 1 << 30), small(-3, 3);
  for (int i = 0; i < 3000; ++i) {
    std::array<int32_t, 8> a;
    for (int32_t& x : a) x = i % 2 ? v(rng) : small(rng);
    EXPECT_EQ(IntersectSegments(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]),
              IntersectSegments(a[2], a[3], a[0], a[1], a[6], a[7], a[4], a[5]));
    if (i % 30 == 0) {
      // Huge drawings spend the budget and answer false.
      ShapeGeometry geo;
      geo.budget = 1 << 16;
      IntersectEdges(geo, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], small(rng) * 1000,
                     v(rng) / 4, small(rng) * 1000, v(rng) / 4, uint8_t(i % 3));
    }
  }
}

}  // namespace
}  // namespace tovrani
