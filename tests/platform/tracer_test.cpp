#include "platform/tracer.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "support/curve_math.h"

namespace tovrani {
namespace {

// Shoelace area over a fine flattening; lines are cubics with their ends as controls.
double SignedArea(const TracedOutline& o) {
  double twice = 0;
  TracePoint cur = o.start;
  for (const TracedSegment& s : o.segments) {
    const TracePoint from = cur;
    const bool line = s.kind == TracedSegment::Kind::kLine;
    for (int k = 1; k <= 64; ++k) {
      const auto [x, y] = test::CubicAt(from, line ? from : s.c1, line ? s.end : s.c2, s.end, k / 64.0);
      twice += cur.x * y - x * cur.y;
      cur = {x, y};
    }
  }
  return twice / 2;
}

// Traces and checks what holds for every outline: closed, outer outlines
// clockwise with y down (positive area), holes the other way.
std::vector<TracedOutline> Trace(const Raster& r, int level, bool closer = false) {
  std::vector<TracedOutline> out(2);
  EXPECT_EQ(TraceRaster(r, level, closer, out), TraceStatus::kOk);
  for (const TracedOutline& o : out) {
    const TracePoint end = o.segments.empty() ? TracePoint{1e9, 1e9} : o.segments.back().end;
    EXPECT_LT(std::hypot(end.x - o.start.x, end.y - o.start.y), 1e-9) << "open outline";
    EXPECT_EQ(SignedArea(o) > 0, !o.hole);
  }
  return out;
}

// Area enclosed by all outlines, holes subtracted, against the pixel count.
void ExpectArea(const std::vector<TracedOutline>& outlines, const Raster& r, double tolerance) {
  double area = 0;
  for (const TracedOutline& o : outlines) area += SignedArea(o);
  EXPECT_NEAR(area, double(r.Count()), tolerance * r.Count());
}

// Sets the pixels whose centres pass the test.
Raster Paint(int w, int h, const std::function<bool(double, double)>& on) {
  Raster r;
  r.Resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) r.Set(x, y, on(x + 0.5, y + 0.5));
  return r;
}

TEST(Raster, FillCountAndBounds) {
  Raster r;
  EXPECT_FALSE(r.Resize(-1, 5) || r.Resize(1 << 14, 1 << 14) || r.width() != 0);
  ASSERT_TRUE(r.Resize(20, 10));
  // Only what lies inside is filled or set.
  Region region(-5, -5, 4, 3);
  Region::Combine(region, region, Region(15, 8, 40, 40), CombineMode::kOr);
  r.Fill(region);
  EXPECT_EQ(r.Count(), 4 * 3 + 5 * 2);
  EXPECT_TRUE(r.Get(19, 9) && !r.Get(4, 0) && !r.Get(20, 9));
  r.Set(-1, 0, true), r.Set(10, 10, true), r.Set(4, 0, true);
  EXPECT_EQ(r.Count(), 23);
}

TEST(Tracer, SquareDiscAndRingAreas) {
  Raster square;
  square.Resize(60, 40);
  square.Fill(Region(10, 5, 40, 25));
  const Raster disc = Paint(100, 100, [](double x, double y) { return std::hypot(x - 50, y - 50) <= 40; });
  // Two rings, the first with an island in its hole.
  const Raster rings = Paint(120, 60, [](double x, double y) {
    const double d1 = std::hypot(x - 30, y - 30), d2 = std::hypot(x - 90, y - 30);
    return (d1 <= 25 && d1 > 15) || d1 <= 8 || (d2 <= 25 && d2 > 15);
  });
  for (int level : {4, 16, 28, 30}) {
    for (bool closer : {false, true}) {
      SCOPED_TRACE(level);
      std::vector<TracedOutline> out = Trace(square, level, closer);
      ASSERT_EQ(out.size(), 1u);
      ExpectArea(out, square, 0.02);
      // Raster coordinates, not flipped: rows 5 to 25 of 40.
      double top = 1e9, bottom = -1e9;
      for (const TracedSegment& s : out[0].segments) top = std::min(top, s.end.y), bottom = std::max(bottom, s.end.y);
      EXPECT_TRUE(std::abs(top - 5) < 0.5 && std::abs(bottom - 25) < 0.5) << top << " " << bottom;
      out = Trace(disc, level, closer);
      ASSERT_EQ(out.size(), 1u);
      ExpectArea(out, disc, 0.02);
      // Whichever ring comes first, each outline is followed by its hole,
      // then by what the hole holds.
      out = Trace(rings, level, closer);
      std::vector<bool> holes;
      for (const TracedOutline& o : out) holes.push_back(o.hole);
      const bool island_ring_first = !out.empty() && out[0].start.x < 60;
      EXPECT_EQ(holes, (island_ring_first ? std::vector<bool>{false, true, false, false, true}
                                          : std::vector<bool>{false, true, false, true, false}));
      ExpectArea(out, rings, 0.02);
    }
  }
}

TEST(Tracer, SmoothingLevelsChangeTheResult) {
  // A jagged blob: a star with a noisy rim.
  const Raster r = Paint(120, 120, [](double x, double y) {
    const double a = std::atan2(y - 60, x - 60);
    return std::hypot(x - 60, y - 60) < 35 + 15 * std::cos(7 * a) + 3 * std::sin(23 * a);
  });
  const auto signature = [](const std::vector<TracedOutline>& outlines) {
    std::vector<double> out;
    for (const TracedOutline& o : outlines)
      for (const TracedSegment& s : o.segments) out.insert(out.end(), {double(s.kind), s.c1.x, s.end.y});
    return out;
  };
  std::set<std::vector<double>> distinct;
  const std::vector<int> levels = {4, 8, 12, 16, 20, 24, 28, 29, 30};
  for (int level : levels) {
    const std::vector<TracedOutline> out = Trace(r, level);
    distinct.insert(signature(out));
    ExpectArea(out, r, 0.03);
  }
  EXPECT_EQ(distinct.size(), levels.size());
  // "Closer" keeps more corners at the ordinary levels.
  EXPECT_EQ(distinct.count(signature(Trace(r, 12, true))), 0u);
}

TEST(Tracer, AnyRasterGivesOutlinesOrAClearRefusal) {
  Raster r;
  EXPECT_TRUE(Trace(r, 4).empty());
  r.Resize(30, 20);
  EXPECT_TRUE(Trace(r, 4).empty());
  r.Fill(Region(0, 0, 30, 20));  // touching every border
  ExpectArea(Trace(r, 4), r, 0.02);
  // Single pixels and a checkerboard: nothing is dropped.
  r = Paint(64, 64, [](double x, double y) { return int(x + y) % 2 == 1; });
  EXPECT_FALSE(Trace(r, 30).empty());
  r.Resize(5, 5);
  r.Set(2, 2, true);
  EXPECT_EQ(Trace(r, 4).size(), 1u);
  // Extreme levels are clamped, not rejected.
  EXPECT_EQ(Trace(r, -5, true).size(), 1u);
  EXPECT_EQ(Trace(r, 1000).size(), 1u);
  // Too much outline is refused the same way every time.
  r = Paint(2048, 2048, [](double x, double y) { return int(x + y) % 2 == 1; });
  std::vector<TracedOutline> out(2);
  EXPECT_EQ(TraceRaster(r, 4, false, out), TraceStatus::kBudgetExceeded);
  EXPECT_TRUE(out.empty());
}

// Tracing is priced before it starts by the square of each group's
// corners: a row of one-pixel teeth on a bar is one group and costs the
// square of all its corners, the same teeth apart cost each their own, and
// pixels that meet only at a corner count as one group.
TEST(Tracer, CornerWorkIsTheSquareOfEachGroupsCorners) {
  Raster empty;
  EXPECT_EQ(TraceCornerWork(empty), 0u);
  const int teeth = 50;
  const Raster comb = Paint(2 * teeth + 1, 2, [](double x, double y) { return y < 1 || int(x) % 2 == 1; });
  const Raster apart = Paint(2 * teeth + 1, 2, [](double x, double y) { return y > 1 && int(x) % 2 == 1; });
  // The bar's four corners and each tooth's four.
  EXPECT_EQ(TraceCornerWork(comb), uint64_t(4 + 4 * teeth) * (4 + 4 * teeth));
  EXPECT_EQ(TraceCornerWork(apart), uint64_t(teeth) * 16);
  Raster diagonal;
  diagonal.Resize(3, 3);
  for (int i = 0; i < 3; ++i) diagonal.Set(i, i, true);
  EXPECT_EQ(TraceCornerWork(diagonal), 12u * 12u);
}

}  // namespace
}  // namespace tovrani
