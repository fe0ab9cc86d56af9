#include "platform/path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace tovrani {
namespace {

using Polygon = std::vector<IntPoint>;

// Even-odd point-in-polygon with exact integer arithmetic: an edge counts
// when it spans the point's y half-open and passes at or left of it.
bool InsideEvenOdd(const std::vector<Polygon>& polygons, int64_t x, int64_t y) {
  bool inside = false;
  for (const Polygon& poly : polygons) {
    for (size_t i = 0; i < poly.size(); ++i) {
      IntPoint a = poly[i], b = poly[(i + 1) % poly.size()];
      if (a.y == b.y) continue;
      if (a.y > b.y) std::swap(a, b);
      if (y < a.y || y >= b.y) continue;
      if ((x - a.x) * (int64_t{b.y} - a.y) >= (y - a.y) * (int64_t{b.x} - a.x)) inside = !inside;
    }
  }
  return inside;
}

Path PathOf(const std::vector<Polygon>& polygons, std::mt19937& rng) {
  Path path;
  for (const Polygon& poly : polygons) {
    path.MoveTo(poly[0]);
    for (size_t i = 1; i < poly.size(); ++i) path.LineTo(poly[i]);
    // Open figures are closed by their chord just the same.
    if (rng() % 2) path.CloseFigure();
  }
  return path;
}

std::vector<Polygon> RandomPolygons(std::mt19937& rng, int extent, int max_vertices) {
  std::uniform_int_distribution<int> coord(-extent / 2, extent / 2);
  std::uniform_int_distribution<int> figures(1, 3), vertices(3, max_vertices);
  std::vector<Polygon> out(figures(rng));
  for (Polygon& p : out) {
    const int n = vertices(rng);
    for (int i = 0; i < n; ++i) p.push_back({coord(rng), coord(rng)});
    // Some axis-aligned and repeated vertices.
    if (n > 4) {
      p[2].y = p[1].y;
      p[4] = p[3];
    }
  }
  return out;
}

void ExpectFillMatchesReference(const std::vector<Polygon>& polygons, std::mt19937& rng) {
  Region region;
  ASSERT_NE(PathOf(polygons, rng).ToRegion(region), RegionKind::kError);
  ASSERT_TRUE(pixman_region32_selfcheck(const_cast<pixman_region32_t*>(region.raw())));
  int lo_x = INT32_MAX, lo_y = INT32_MAX, hi_x = INT32_MIN, hi_y = INT32_MIN;
  for (const Polygon& p : polygons) {
    for (IntPoint q : p) {
      lo_x = std::min(lo_x, q.x), hi_x = std::max(hi_x, q.x);
      lo_y = std::min(lo_y, q.y), hi_y = std::max(hi_y, q.y);
    }
  }
  int64_t count = 0;
  for (int y = lo_y - 1; y <= hi_y + 1; ++y) {
    for (int x = lo_x - 1; x <= hi_x + 1; ++x) {
      const bool expected = InsideEvenOdd(polygons, x, y);
      count += expected;
      if (region.Contains(x, y) != expected) {
        FAIL() << "pixel " << x << "," << y << " expected " << expected;
      }
    }
  }
  EXPECT_EQ(region.Area(), count);
}

TEST(PathFill, MatchesExactEvenOddAtEveryPixel) {
  std::mt19937 rng(7);
  for (int i = 0; i < 60; ++i) ExpectFillMatchesReference(RandomPolygons(rng, 120, 12), rng);
  for (int i = 0; i < 3; ++i) ExpectFillMatchesReference(RandomPolygons(rng, 2000, 9), rng);
  // Hundreds of edges crossing within each row.
  for (int i = 0; i < 5; ++i) ExpectFillMatchesReference(RandomPolygons(rng, 150, 400), rng);
}

TEST(PathFill, LargeCoordinatesStayExact) {
  std::mt19937 rng(8);
  std::uniform_int_distribution<int> coord(-100000, 100000);
  for (int iter = 0; iter < 10; ++iter) {
    const std::vector<Polygon> polygons = RandomPolygons(rng, 200000, 10);
    Region region;
    ASSERT_NE(PathOf(polygons, rng).ToRegion(region), RegionKind::kError);
    for (int k = 0; k < 20000; ++k) {
      const int x = coord(rng), y = coord(rng);
      ASSERT_EQ(region.Contains(x, y), InsideEvenOdd(polygons, x, y)) << x << "," << y;
    }
  }
}

TEST(PathFill, RectanglePathGivesTheRectangleRegion) {
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> coord(-100000, 100000);
  for (int iter = 0; iter < 200; ++iter) {
    int l = coord(rng), r = coord(rng), t = coord(rng), b = coord(rng);
    if (iter % 3 == 0) r = l + 1 + iter % 5, b = t + 1 + iter % 7;  // small ones too
    const bool clockwise = iter % 2 == 0;
    Path path;
    path.MoveTo(l, t);
    if (clockwise) {
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

// Reference for curved paths: a very fine polyline in floating point.
struct FinePath {
  std::vector<std::vector<std::pair<double, double>>> loops;
};

FinePath RandomCurves(std::mt19937& rng, int extent, Path& path) {
  std::uniform_int_distribution<int> coord(-extent / 2, extent / 2), pieces(1, 4);
  FinePath fine;
  const int figures = 1 + rng() % 2;
  for (int f = 0; f < figures; ++f) {
    IntPoint cur{coord(rng), coord(rng)};
    path.MoveTo(cur);
    auto& loop = fine.loops.emplace_back();
    loop.push_back({double(cur.x), double(cur.y)});
    const int n = pieces(rng);
    for (int i = 0; i < n; ++i) {
      IntPoint c1{coord(rng), coord(rng)}, c2{coord(rng), coord(rng)}, e{coord(rng), coord(rng)};
      if (rng() % 4 == 0) {
        path.LineTo(e);
        loop.push_back({double(e.x), double(e.y)});
      } else {
        path.BezierTo(c1, c2, e);
        for (int k = 1; k <= 20000; ++k) {
          const double t = k / 20000.0, u = 1 - t;
          loop.push_back(
              {u * u * u * cur.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * e.x,
               u * u * u * cur.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * e.y});
        }
      }
      cur = e;
    }
    path.CloseFigure();
  }
  return fine;
}

TEST(PathFill, CurvesMatchAFineReferenceAwayFromTheOutline) {
  std::mt19937 rng(10);
  for (int iter = 0; iter < 8; ++iter) {
    const int extent = iter < 2 ? 2000 : 300;
    Path path;
    const FinePath fine = RandomCurves(rng, extent, path);
    Region region;
    ASSERT_NE(path.ToRegion(region), RegionKind::kError);
    const int lo = -extent / 2 - 2, size = extent + 5;
    // Pixels within a unit of the outline may go either way.
    std::vector<bool> near(size_t(size) * size, false);
    std::vector<std::vector<double>> crossings(size);
    for (const auto& loop : fine.loops) {
      for (size_t i = 0; i < loop.size(); ++i) {
        auto [ax, ay] = loop[i];
        auto [bx, by] = loop[(i + 1) % loop.size()];
        const int steps = 1 + int(std::hypot(bx - ax, by - ay) * 4);
        for (int s = 0; s <= steps; ++s) {
          const double x = ax + (bx - ax) * s / steps, y = ay + (by - ay) * s / steps;
          for (int py = int(std::floor(y)) - 1; py <= int(std::ceil(y)) + 1; ++py)
            for (int px = int(std::floor(x)) - 1; px <= int(std::ceil(x)) + 1; ++px)
              if (px >= lo && py >= lo && px < lo + size && py < lo + size)
                near[size_t(py - lo) * size + (px - lo)] = true;
        }
        if (ay == by) continue;
        for (int py = int(std::ceil(std::min(ay, by))); py < std::max(ay, by); ++py) {
          if (py >= lo && py < lo + size) {
            crossings[py - lo].push_back(ax + (bx - ax) * (py - ay) / (by - ay));
          }
        }
      }
    }
    int checked = 0;
    for (int py = lo; py < lo + size; ++py) {
      std::vector<double>& c = crossings[py - lo];
      std::sort(c.begin(), c.end());
      size_t k = 0;
      for (int px = lo; px < lo + size; ++px) {
        while (k < c.size() && c[k] <= px) ++k;
        if (near[size_t(py - lo) * size + (px - lo)]) continue;
        ++checked;
        ASSERT_EQ(region.Contains(px, py), k % 2 == 1) << px << "," << py << " iter " << iter;
      }
    }
    EXPECT_GT(checked, size * size / 2);
  }
}

TEST(PathFill, CubicsAreFlattenedWithinAQuarterUnit) {
  std::mt19937 rng(11);
  for (int extent : {20, 2000, 200000}) {
    std::uniform_int_distribution<int> coord(-extent / 2, extent / 2);
    for (int iter = 0; iter < 10; ++iter) {
      const IntPoint p0{coord(rng), coord(rng)}, c1{coord(rng), coord(rng)},
          c2{coord(rng), coord(rng)}, p3{coord(rng), coord(rng)};
      Path path;
      path.MoveTo(p0);
      path.BezierTo(c1, c2, p3);
      std::vector<fill_detail::Polyline> lines;
      ASSERT_TRUE(fill_detail::FlattenPath(path, fill_detail::kMaxFillPoints, lines));
      ASSERT_EQ(lines.size(), 1u);
      std::vector<std::pair<double, double>> pts;
      for (const fill_detail::FixPoint& q : lines[0].points) {
        pts.push_back({double(q.x) / fill_detail::kFixOne, double(q.y) / fill_detail::kFixOne});
      }
      ASSERT_EQ(pts.front(), std::make_pair(double(p0.x), double(p0.y)));
      ASSERT_EQ(pts.back(), std::make_pair(double(p3.x), double(p3.y)));
      // Every point of the curve lies near the polyline.
      const int samples = 8 * int(pts.size());
      for (int k = 0; k <= samples; ++k) {
        const double t = double(k) / samples, u = 1 - t;
        const double x =
            u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x;
        const double y =
            u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y;
        double best = 1e300;
        for (size_t i = 0; i + 1 < pts.size(); ++i) {
          const auto [ax, ay] = pts[i];
          const auto [bx, by] = pts[i + 1];
          const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
          const double w =
              len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0;
          best = std::min(best, std::hypot(x - ax - w * dx, y - ay - w * dy));
        }
        ASSERT_LT(best, 0.25) << "extent " << extent << " t " << t;
      }
    }
  }
}

TEST(PathFill, FigureRulesAndFailures) {
  Region region;
  Path path;
  path.MoveTo(0, 0);
  path.MoveTo(5, 5);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kEmpty);
  EXPECT_TRUE(path.empty());
  // After a close the next line starts at the figure's start.
  path.LineTo(10, 5);
  path.LineTo(10, 10);
  path.CloseFigure();
  path.LineTo(10, 10);
  path.LineTo(5, 10);
  EXPECT_EQ(path.figures().size(), 2u);
  EXPECT_EQ(path.figures()[1].start, (IntPoint{5, 5}));
  EXPECT_EQ(path.ToRegion(region), RegionKind::kSimple);
  EXPECT_EQ(region.Area(), 25);
  EXPECT_EQ(region.Box(), (IntRect{5, 5, 10, 10}));
  // A square traced twice cancels out.
  path.Clear();
  for (int twice = 0; twice < 2; ++twice) {
    path.MoveTo(0, 0), path.LineTo(8, 0), path.LineTo(8, 8), path.LineTo(0, 8);
  }
  EXPECT_EQ(path.ToRegion(region), RegionKind::kEmpty);
  // Out-of-range coordinates fail cleanly.
  path.Clear();
  path.MoveTo(0, 0), path.LineTo(Path::kMaxCoord + 1, 0), path.LineTo(0, 10);
  region = Region(0, 0, 1, 1);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kError);
  EXPECT_TRUE(region.IsEmpty());
  path.Clear();
  path.MoveTo(0, 0), path.BezierTo({INT32_MIN, 0}, {0, INT32_MAX}, {5, 5});
  EXPECT_EQ(path.ToRegion(region), RegionKind::kError);
}

TEST(PathFill, HugeShapesEndWithinTheBudget) {
  const int m = Path::kMaxCoord;
  Path path;
  path.MoveTo(-m, -m), path.LineTo(m, m), path.LineTo(-m, m), path.CloseFigure();
  Region region;
  EXPECT_EQ(path.ToRegion(region), RegionKind::kError);
  // A rectangle that large coalesces into one band and succeeds.
  path.Clear();
  path.MoveTo(-m, -m), path.LineTo(m, -m), path.LineTo(m, m), path.LineTo(-m, m);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kSimple);
  EXPECT_EQ(region, Region(-m, -m, m, m));
}

}  // namespace
}  // namespace tovrani
