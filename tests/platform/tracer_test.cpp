#include "platform/tracer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "platform/path.h"

namespace tovrani {
namespace {

// Signed area by the shoelace formula over a fine flattening.
double SignedArea(const TracedOutline& o) {
  double twice = 0;
  TracePoint cur = o.start;
  auto edge = [&twice, &cur](TracePoint p) {
    twice += cur.x * p.y - p.x * cur.y;
    cur = p;
  };
  for (const TracedSegment& s : o.segments) {
    if (s.kind == TracedSegment::Kind::kLine) {
      edge(s.end);
      continue;
    }
    const TracePoint p0 = cur;
    for (int k = 1; k <= 64; ++k) {
      const double t = k / 64.0, u = 1 - t;
      edge(
          {u * u * u * p0.x + 3 * u * u * t * s.c1.x + 3 * u * t * t * s.c2.x + t * t * t * s.end.x,
           u * u * u * p0.y + 3 * u * u * t * s.c1.y + 3 * u * t * t * s.c2.y +
               t * t * t * s.end.y});
    }
  }
  return twice / 2;
}

void ExpectClosed(const TracedOutline& o) {
  ASSERT_FALSE(o.segments.empty());
  EXPECT_NEAR(o.segments.back().end.x, o.start.x, 1e-9);
  EXPECT_NEAR(o.segments.back().end.y, o.start.y, 1e-9);
}

// Area enclosed by all outlines, holes subtracted.
double NetArea(const std::vector<TracedOutline>& outlines) {
  double area = 0;
  for (const TracedOutline& o : outlines) {
    const double a = std::abs(SignedArea(o));
    area += o.hole ? -a : a;
  }
  return area;
}

Raster Disc(int size, double cx, double cy, double outer, double inner = -1) {
  Raster r;
  r.Resize(size, size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      r.Set(x, y, d <= outer && d > inner);
    }
  }
  return r;
}

TEST(Raster, FillCountAndBounds) {
  Raster r;
  EXPECT_FALSE(r.Resize(-1, 5));
  EXPECT_FALSE(r.Resize(1 << 14, 1 << 14));
  EXPECT_EQ(r.width(), 0);
  ASSERT_TRUE(r.Resize(20, 10));
  Region region(-5, -5, 4, 3);
  Region::Combine(region, region, Region(15, 8, 40, 40), CombineMode::kOr);
  r.Fill(region);
  EXPECT_EQ(r.Count(), 4 * 3 + 5 * 2);
  EXPECT_TRUE(r.Get(0, 0));
  EXPECT_TRUE(r.Get(19, 9));
  EXPECT_FALSE(r.Get(4, 0));
  EXPECT_FALSE(r.Get(20, 9));
  r.Set(-1, 0, true);
  r.Set(10, 10, true);
  r.Set(4, 0, true);
  EXPECT_EQ(r.Count(), 23);
}

TEST(Tracer, SquareDiscAndRingAreas) {
  Raster square;
  square.Resize(60, 40);
  Path p;
  p.MoveTo(10, 5), p.LineTo(40, 5), p.LineTo(40, 25), p.LineTo(10, 25);
  Region region;
  p.ToRegion(region);
  square.Fill(region);
  for (int level : {4, 16, 30}) {
    std::vector<TracedOutline> out;
    ASSERT_EQ(TraceRaster(square, level, false, out), TraceStatus::kOk);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_FALSE(out[0].hole);
    ExpectClosed(out[0]);
    EXPECT_NEAR(std::abs(SignedArea(out[0])), 600, 12) << level;
    // Raster coordinates, not flipped: rows 5 to 25 of 40.
    double top = 1e9, bottom = -1e9;
    for (const TracedSegment& s : out[0].segments) {
      top = std::min(top, s.end.y), bottom = std::max(bottom, s.end.y);
    }
    EXPECT_NEAR(top, 5, 0.5);
    EXPECT_NEAR(bottom, 25, 0.5);
  }

  const Raster disc = Disc(100, 50, 50, 40);
  const Raster ring = Disc(100, 50, 50, 40, 20);
  for (int level : {4, 20, 28, 30}) {
    for (bool closer : {false, true}) {
      std::vector<TracedOutline> out;
      ASSERT_EQ(TraceRaster(disc, level, closer, out), TraceStatus::kOk);
      ASSERT_EQ(out.size(), 1u);
      EXPECT_NEAR(NetArea(out), double(disc.Count()), 0.02 * disc.Count()) << level;

      ASSERT_EQ(TraceRaster(ring, level, closer, out), TraceStatus::kOk);
      ASSERT_EQ(out.size(), 2u);
      EXPECT_FALSE(out[0].hole);
      EXPECT_TRUE(out[1].hole);
      for (const TracedOutline& o : out) ExpectClosed(o);
      // Outer outlines run clockwise with y down, holes the other way.
      EXPECT_GT(SignedArea(out[0]), 0);
      EXPECT_LT(SignedArea(out[1]), 0);
      EXPECT_NEAR(NetArea(out), double(ring.Count()), 0.02 * ring.Count()) << level;
    }
  }
}

TEST(Tracer, NestingOrderIsOutlineThenWhatItEncloses) {
  // Two rings side by side, the first with an island in its hole.
  Raster r;
  r.Resize(120, 60);
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 120; ++x) {
      const double d1 = std::hypot(x + 0.5 - 30, y + 0.5 - 30);
      const double d2 = std::hypot(x + 0.5 - 90, y + 0.5 - 30);
      r.Set(x, y, (d1 <= 25 && d1 > 15) || d1 <= 8 || (d2 <= 25 && d2 > 15));
    }
  }
  std::vector<TracedOutline> out;
  ASSERT_EQ(TraceRaster(r, 10, false, out), TraceStatus::kOk);
  ASSERT_EQ(out.size(), 5u);
  std::vector<bool> holes;
  for (const TracedOutline& o : out) holes.push_back(o.hole);
  // Whichever ring comes first, each outer outline is followed by its hole.
  EXPECT_FALSE(holes[0]);
  EXPECT_TRUE(holes[1]);
  const bool island_ring_first = out[0].start.x < 60;
  if (island_ring_first) {
    EXPECT_EQ(holes, (std::vector<bool>{false, true, false, false, true}));
  } else {
    EXPECT_EQ(holes, (std::vector<bool>{false, true, false, true, false}));
  }
  EXPECT_NEAR(NetArea(out), double(r.Count()), 0.02 * r.Count());
}

std::vector<double> Signature(const std::vector<TracedOutline>& outlines) {
  std::vector<double> out;
  for (const TracedOutline& o : outlines) {
    for (const TracedSegment& s : o.segments) {
      out.insert(out.end(), {double(s.kind), s.c1.x, s.c2.y, s.end.x, s.end.y});
    }
  }
  return out;
}

TEST(Tracer, SmoothingLevelsChangeTheResult) {
  // A jagged blob: a star with a noisy rim.
  Raster r;
  r.Resize(120, 120);
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 120; ++x) {
      const double a = std::atan2(y - 60.0, x - 60.0);
      const double radius = 35 + 15 * std::cos(7 * a) + 3 * std::sin(23 * a);
      r.Set(x, y, std::hypot(x - 60.0, y - 60.0) < radius);
    }
  }
  std::set<std::vector<double>> distinct;
  const std::vector<int> levels = {4, 8, 12, 16, 20, 24, 28, 29, 30};
  std::vector<TracedOutline> out;
  for (int level : levels) {
    ASSERT_EQ(TraceRaster(r, level, false, out), TraceStatus::kOk);
    distinct.insert(Signature(out));
    EXPECT_NEAR(NetArea(out), double(r.Count()), 0.03 * r.Count()) << level;
  }
  EXPECT_EQ(distinct.size(), levels.size());
  // "Closer" keeps more corners at the ordinary levels.
  ASSERT_EQ(TraceRaster(r, 12, true, out), TraceStatus::kOk);
  EXPECT_EQ(distinct.count(Signature(out)), 0u);
}

TEST(Tracer, AnyRasterGivesOutlinesOrAClearRefusal) {
  std::vector<TracedOutline> out(3);
  Raster r;
  EXPECT_EQ(TraceRaster(r, 4, false, out), TraceStatus::kOk);
  EXPECT_TRUE(out.empty());
  r.Resize(30, 20);
  EXPECT_EQ(TraceRaster(r, 4, false, out), TraceStatus::kOk);
  EXPECT_TRUE(out.empty());
  r.Fill(Region(0, 0, 30, 20));
  ASSERT_EQ(TraceRaster(r, 4, false, out), TraceStatus::kOk);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_NEAR(std::abs(SignedArea(out[0])), 600, 12);
  // Single pixels and a checkerboard: nothing is dropped.
  r.Resize(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) r.Set(x, y, (x + y) % 2 == 0);
  ASSERT_EQ(TraceRaster(r, 30, false, out), TraceStatus::kOk);
  EXPECT_FALSE(out.empty());
  for (const TracedOutline& o : out) ExpectClosed(o);
  r.Resize(5, 5);
  r.Set(2, 2, true);
  ASSERT_EQ(TraceRaster(r, 4, false, out), TraceStatus::kOk);
  EXPECT_EQ(out.size(), 1u);
  // Extreme levels are clamped, not rejected.
  EXPECT_EQ(TraceRaster(r, -5, true, out), TraceStatus::kOk);
  EXPECT_EQ(TraceRaster(r, 1000, false, out), TraceStatus::kOk);
  // Too much outline is refused the same way every time.
  r.Resize(2048, 2048);
  for (int y = 0; y < 2048; ++y)
    for (int x = 0; x < 2048; ++x) r.Set(x, y, (x + y) % 2 == 0);
  out.resize(2);
  EXPECT_EQ(TraceRaster(r, 4, false, out), TraceStatus::kBudgetExceeded);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace tovrani
