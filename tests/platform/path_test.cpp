#include "platform/path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace tovrani {
namespace {

using fill_detail::FixPoint;
using fill_detail::kFixOne;
using Polygons = std::vector<std::vector<FixPoint>>;

// Whether the point (x, y), on the 1/16 grid, lies at or right of edge
// a-b (a above b), exactly.
bool AtOrRight(FixPoint a, FixPoint b, int64_t x, int64_t y) {
  return (x - a.x) * (b.y - a.y) >= (y - a.y) * (b.x - a.x);
}

// Even-odd point-in-polygon: an edge counts when it spans the point's y
// half-open and passes at or left of the point.
bool InsideEvenOdd(const Polygons& polygons, int64_t px, int64_t py) {
  const int64_t x = px * kFixOne, y = py * kFixOne;
  bool inside = false;
  for (const auto& poly : polygons) {
    for (size_t i = 0; i < poly.size(); ++i) {
      FixPoint a = poly[i], b = poly[(i + 1) % poly.size()];
      if (a.y > b.y) std::swap(a, b);
      if (y >= a.y && y < b.y && AtOrRight(a, b, x, y)) inside = !inside;
    }
  }
  return inside;
}

// Random figures of lines, some open (closed by their chord just the same),
// with repeated and axis-aligned vertices; also the exact polygons.
Path RandomPolygons(std::mt19937& rng, int extent, int max_vertices, Polygons& exact) {
  std::uniform_int_distribution<int> coord(-extent / 2, extent / 2), vertices(3, max_vertices);
  Path path;
  exact.assign(1 + rng() % 3, {});
  for (auto& poly : exact) {
    const int n = vertices(rng);
    IntPoint p{coord(rng), coord(rng)};
    for (int i = 0; i < n; ++i) {
      if (i % 5 == 2) {
        p.x = coord(rng);
      } else if (i % 5 != 4) {
        p = {coord(rng), coord(rng)};
      }
      i == 0 ? path.MoveTo(p) : path.LineTo(p);
      poly.push_back({p.x * kFixOne, p.y * kFixOne});
    }
    if (rng() % 2) path.CloseFigure();
  }
  return path;
}

// Compares every pixel of the square of the given extent around 0,0 with
// the same even-odd rule, row by row: each edge's first pixel at or right
// of it is found from a floating estimate and settled exactly.
void ExpectFillMatches(const Path& path, const Polygons& exact, int extent) {
  Region region;
  ASSERT_NE(path.ToRegion(region), RegionKind::kError);
  ASSERT_TRUE(pixman_region32_selfcheck(const_cast<pixman_region32_t*>(region.raw())));
  int64_t count = 0;
  std::vector<int64_t> firsts;
  for (int py = -extent / 2 - 1; py <= extent / 2 + 1; ++py) {
    const int64_t y = py * kFixOne;
    firsts.clear();
    for (const auto& poly : exact) {
      for (size_t i = 0; i < poly.size(); ++i) {
        FixPoint a = poly[i], b = poly[(i + 1) % poly.size()];
        if (a.y > b.y) std::swap(a, b);
        if (y < a.y || y >= b.y) continue;
        const double cx = (a.x + double(y - a.y) * (b.x - a.x) / (b.y - a.y)) / kFixOne;
        int64_t first = int64_t(std::floor(cx)) - 2;
        while (!AtOrRight(a, b, first * kFixOne, y)) ++first;
        ASSERT_FALSE(AtOrRight(a, b, (first - 1) * kFixOne, y));
        firsts.push_back(first);
      }
    }
    std::sort(firsts.begin(), firsts.end());
    size_t k = 0;
    for (int px = -extent / 2 - 1; px <= extent / 2 + 1; ++px) {
      while (k < firsts.size() && firsts[k] <= px) ++k;
      const bool expected = k % 2 == 1;
      count += expected;
      if (region.Contains(px, py) != expected)
        FAIL() << px << "," << py << " should be " << expected;
    }
  }
  EXPECT_EQ(region.Area(), count);
}

TEST(PathFill, MatchesExactEvenOddAtEveryPixel) {
  std::mt19937 rng(7);
  Polygons exact;
  for (int i = 0; i < 60; ++i) ExpectFillMatches(RandomPolygons(rng, 120, 12, exact), exact, 120);
  for (int i = 0; i < 3; ++i) ExpectFillMatches(RandomPolygons(rng, 2000, 9, exact), exact, 2000);
  // Hundreds of edges crossing within each row.
  for (int i = 0; i < 5; ++i) ExpectFillMatches(RandomPolygons(rng, 150, 400, exact), exact, 150);
}

double DistanceToPolyline(const std::vector<FixPoint>& pts, double x, double y) {
  double best = 1e300;
  for (size_t i = 0; i + 1 < pts.size(); ++i) {
    const double ax = double(pts[i].x) / kFixOne, ay = double(pts[i].y) / kFixOne;
    const double dx = double(pts[i + 1].x) / kFixOne - ax, dy = double(pts[i + 1].y) / kFixOne - ay;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0;
    best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
  }
  return best;
}

TEST(PathFill, CurvesMatchTheirFlatteningWhichStaysWithinAQuarterUnit) {
  std::mt19937 rng(10);
  for (int extent : {20, 300, 2000, 200000}) {
    std::uniform_int_distribution<int> coord(-extent / 2, extent / 2);
    for (int iter = 0; iter < (extent > 1000 ? 2 : 8); ++iter) {
      Path path;
      std::vector<std::array<IntPoint, 4>> cubics;
      IntPoint cur{coord(rng), coord(rng)};
      path.MoveTo(cur);
      for (int piece = 0; piece < 3; ++piece) {
        const IntPoint c1{coord(rng), coord(rng)}, c2{coord(rng), coord(rng)},
            p3{coord(rng), coord(rng)};
        cubics.push_back({cur, c1, c2, p3});
        path.BezierTo(c1, c2, p3);
        cur = p3;
      }
      if (iter % 2) path.CloseFigure();
      std::vector<fill_detail::Polyline> lines;
      ASSERT_TRUE(fill_detail::FlattenPath(path, fill_detail::kMaxFillPoints, lines));
      ASSERT_EQ(lines.size(), 1u);
      const std::vector<FixPoint>& pts = lines[0].points;
      EXPECT_EQ(pts.front(), (FixPoint{cubics[0][0].x * kFixOne, cubics[0][0].y * kFixOne}));
      EXPECT_EQ(pts.back(), (FixPoint{cur.x * kFixOne, cur.y * kFixOne}));
      // Each piece alone: every point of the curve lies near its polyline.
      for (const auto& [p0, c1, c2, p3] : cubics) {
        Path one;
        one.MoveTo(p0);
        one.BezierTo(c1, c2, p3);
        std::vector<fill_detail::Polyline> piece;
        ASSERT_TRUE(fill_detail::FlattenPath(one, fill_detail::kMaxFillPoints, piece));
        const int samples = 4 * int(piece[0].points.size());
        for (int k = 0; k <= samples; ++k) {
          const double t = double(k) / samples, u = 1 - t;
          const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
          ASSERT_LT(DistanceToPolyline(piece[0].points, a * p0.x + b * c1.x + c * c2.x + d * p3.x,
                                       a * p0.y + b * c1.y + c * c2.y + d * p3.y),
                    0.25)
              << "extent " << extent << " t " << t;
        }
      }
      if (extent <= 2000) ExpectFillMatches(path, {pts}, extent);
    }
  }
}

TEST(PathFill, LargeCoordinatesStayExact) {
  std::mt19937 rng(8);
  std::uniform_int_distribution<int> coord(-100000, 100000);
  Polygons exact;
  for (int iter = 0; iter < 10; ++iter) {
    const Path path = RandomPolygons(rng, 200000, 10, exact);
    Region region;
    ASSERT_NE(path.ToRegion(region), RegionKind::kError);
    for (int k = 0; k < 20000; ++k) {
      const int x = coord(rng), y = coord(rng);
      ASSERT_EQ(region.Contains(x, y), InsideEvenOdd(exact, x, y)) << x << "," << y;
    }
  }
}

TEST(PathFill, RectanglePathGivesTheRectangleRegion) {
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> coord(-100000, 100000);
  for (int iter = 0; iter < 200; ++iter) {
    int l = coord(rng), r = coord(rng), t = coord(rng), b = coord(rng);
    if (iter % 3 == 0) r = l + 1 + iter % 5, b = t + 1 + iter % 7;
    Path path;
    path.MoveTo(l, t);
    if (iter % 2) {
      path.LineTo(r, t), path.LineTo(r, b), path.LineTo(l, b);
    } else {
      path.LineTo(l, b), path.LineTo(r, b), path.LineTo(r, t);
    }
    if (iter % 4 < 2) path.CloseFigure();
    Region region;
    path.ToRegion(region);
    EXPECT_EQ(region, Region(l, t, r, b)) << l << "," << t << "," << r << "," << b;
  }
}

TEST(PathFill, FigureRulesAndFailures) {
  Region region;
  Path path;
  path.MoveTo(0, 0);
  path.MoveTo(5, 5);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kEmpty);
  EXPECT_TRUE(path.empty());
  // After a close the next line starts at the figure's start; the shared
  // diagonal cancels out.
  path.LineTo(10, 5), path.LineTo(10, 10), path.CloseFigure();
  path.LineTo(10, 10), path.LineTo(5, 10);
  ASSERT_EQ(path.figures().size(), 2u);
  EXPECT_EQ(path.figures()[1].start, (IntPoint{5, 5}));
  EXPECT_EQ(path.ToRegion(region), RegionKind::kSimple);
  EXPECT_EQ(region, Region(5, 5, 10, 10));
  path.Clear();
  path.MoveTo(0, 0), path.LineTo(Path::kMaxCoord + 1, 0), path.LineTo(0, 10);
  region = Region(0, 0, 1, 1);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kError);
  EXPECT_TRUE(region.IsEmpty());
  path.Clear();
  path.MoveTo(0, 0), path.BezierTo({INT32_MIN, 0}, {0, INT32_MAX}, {5, 5});
  EXPECT_EQ(path.ToRegion(region), RegionKind::kError);
  // Shapes far beyond real ones end within the work budget: a huge
  // triangle fails, a huge rectangle coalesces into one band.
  const int m = Path::kMaxCoord;
  path.Clear();
  path.MoveTo(-m, -m), path.LineTo(m, m), path.LineTo(-m, m);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kError);
  path.Clear();
  path.MoveTo(-m, -m), path.LineTo(m, -m), path.LineTo(m, m), path.LineTo(-m, m);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kSimple);
  EXPECT_EQ(region, Region(-m, -m, m, m));
}

TEST(PathFill, HostileCoordinatesFailCleanly) {
  // Around and beyond the coordinate limit: no overflow, no endless work.
  std::mt19937 rng(13);
  std::uniform_int_distribution<int> coord(-(Path::kMaxCoord + 8), Path::kMaxCoord + 8);
  for (int iter = 0; iter < 6; ++iter) {
    Path path;
    path.MoveTo(coord(rng), coord(rng));
    for (int i = 0; i < 3; ++i) {
      path.LineTo(coord(rng), coord(rng));
      path.BezierTo({coord(rng), coord(rng)}, {coord(rng), coord(rng)}, {coord(rng), coord(rng)});
    }
    Region region;
    if (path.ToRegion(region) != RegionKind::kError) {
      const IntRect box = region.Box();
      EXPECT_GE(box.left, -Path::kMaxCoord);
      EXPECT_LE(box.bottom, Path::kMaxCoord);
    }
  }
}

}  // namespace
}  // namespace tovrani
