#include "platform/path.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "support/curve_math.h"

namespace tovrani {
namespace {

using fill_detail::FixPoint;
using fill_detail::kFixOne;
using Polygons = std::vector<std::vector<FixPoint>>;

// Whether the point (x, y), on the 1/16 grid, lies at or right of edge a-b
// (a above b), exactly.
bool AtOrRight(FixPoint a, FixPoint b, int64_t x, int64_t y) {
  return (x - a.x) * (b.y - a.y) >= (y - a.y) * (b.x - a.x);
}

// Exact even-odd reference for pixel row py: for each edge spanning the row
// half-open, the first whole x at or right of it, sorted. Pixel px is inside
// when an odd number of these are at or left of it.
std::vector<int64_t> RowCrossings(const Polygons& polygons, int64_t py) {
  const int64_t y = py * kFixOne;
  std::vector<int64_t> firsts;
  for (const auto& poly : polygons) {
    for (size_t i = 0; i < poly.size(); ++i) {
      FixPoint a = poly[i], b = poly[(i + 1) % poly.size()];
      if (a.y > b.y) std::swap(a, b);
      if (y < a.y || y >= b.y) continue;
      int64_t x = int64_t((a.x + double(y - a.y) * (b.x - a.x) / (b.y - a.y)) / kFixOne);
      while (AtOrRight(a, b, (x - 1) * kFixOne, y)) --x;
      while (!AtOrRight(a, b, x * kFixOne, y)) ++x;
      firsts.push_back(x);
    }
  }
  std::sort(firsts.begin(), firsts.end());
  return firsts;
}

// Random figures of lines, some open (closed by their chord just the same),
// with repeated and axis-aligned vertices; also the exact polygons.
Path RandomPolygons(std::mt19937& rng, int extent, int max_vertices, Polygons& exact) {
  std::uniform_int_distribution<int> coord(-extent / 2, extent / 2), vertices(3, max_vertices);
  Path path;
  exact.assign(1 + rng() % 3, {});
  for (auto& poly : exact) {
    const int n = vertices(rng);
    IntPoint p;
    for (int i = 0; i < n; ++i) {
      if (i % 5 != 4) p = {coord(rng), i % 5 == 2 ? p.y : coord(rng)};  // else repeated
      i == 0 ? path.MoveTo(p) : path.LineTo(p);
      poly.push_back({p.x * kFixOne, p.y * kFixOne});
    }
    if (rng() % 2) path.CloseFigure();
  }
  return path;
}

// Every pixel of the square of the given extent around 0,0, and the area.
void ExpectFillMatches(const Path& path, const Polygons& exact, int extent) {
  Region region;
  ASSERT_NE(path.ToRegion(region), RegionKind::kError);
  ASSERT_TRUE(pixman_region32_selfcheck(const_cast<pixman_region32_t*>(region.raw())));
  int64_t count = 0;
  for (int py = -extent / 2 - 1; py <= extent / 2 + 1; ++py) {
    const std::vector<int64_t> firsts = RowCrossings(exact, py);
    size_t k = 0;
    for (int px = -extent / 2 - 1; px <= extent / 2 + 1; ++px) {
      while (k < firsts.size() && firsts[k] <= px) ++k;
      count += k % 2;
      if (region.Contains(px, py) != (k % 2 == 1)) FAIL() << px << "," << py;
    }
  }
  EXPECT_EQ(region.Area(), count);
}

TEST(PathFill, MatchesExactEvenOddAtEveryPixel) {
  std::mt19937 rng(7);
  Polygons exact;
  // Small and large self-crossing figures, then hundreds of edges per row.
  for (auto [figures, extent, vertices] :
       {std::array{60, 120, 12}, std::array{3, 2000, 9}, std::array{5, 150, 400}}) {
    for (int i = 0; i < figures; ++i)
      ExpectFillMatches(RandomPolygons(rng, extent, vertices, exact), exact, extent);
  }
  // Coordinates of real shapes' full range, sampled.
  std::uniform_int_distribution<int> coord(-100000, 100000);
  for (int iter = 0; iter < 10; ++iter) {
    const Path path = RandomPolygons(rng, 200000, 10, exact);
    Region region;
    ASSERT_NE(path.ToRegion(region), RegionKind::kError);
    for (int k = 0; k < 20000; ++k) {
      const int x = coord(rng), y = coord(rng);
      const std::vector<int64_t> firsts = RowCrossings(exact, y);
      const auto left = std::upper_bound(firsts.begin(), firsts.end(), x) - firsts.begin();
      ASSERT_EQ(region.Contains(x, y), left % 2 == 1) << x << "," << y;
    }
  }
}

TEST(PathFill, CurvesMatchTheirFlatteningWhichStaysWithinAQuarterUnit) {
  std::mt19937 rng(10);
  for (int extent : {20, 300, 2000, 200000}) {
    std::uniform_int_distribution<int> coord(-extent / 2, extent / 2);
    const auto point = [&] { return IntPoint{coord(rng), coord(rng)}; };
    for (int iter = 0; iter < (extent > 1000 ? 2 : 8); ++iter) {
      Path path;
      path.MoveTo(point());
      for (int piece = 0; piece < 3; ++piece) path.BezierTo(point(), point(), point());
      if (iter % 2) path.CloseFigure();
      std::vector<fill_detail::Polyline> lines;
      ASSERT_TRUE(fill_detail::FlattenPath(path, fill_detail::kMaxFillPoints, lines));
      ASSERT_EQ(lines.size(), 1u);
      std::vector<test::FinePoint> fine;
      for (FixPoint p : lines[0].points) fine.push_back({double(p.x) / kFixOne, double(p.y) / kFixOne});
      // Every piece's ends are on the polyline exactly, every curve point near it.
      IntPoint from = path.figures()[0].start;
      EXPECT_EQ(fine.front(), test::FinePoint(from.x, from.y));
      for (const Path::Segment& s : path.figures()[0].segments) {
        EXPECT_NE(std::find(fine.begin(), fine.end(), test::FinePoint(s.end.x, s.end.y)), fine.end());
        for (int k = 0; k <= 4000; ++k) {
          const auto [x, y] = test::CubicAt(from, s.c1, s.c2, s.end, k / 4000.0);
          ASSERT_LT(test::DistanceToPolyline(fine, x, y), 0.25) << extent;
        }
        from = s.end;
      }
      if (extent <= 2000) ExpectFillMatches(path, {lines[0].points}, extent);
    }
  }
}

TEST(PathFill, RectanglePathGivesTheRectangleRegion) {
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> coord(-100000, 100000);
  for (int iter = 0; iter < 200; ++iter) {
    int l = coord(rng), r = coord(rng), t = coord(rng), b = coord(rng);
    if (iter % 3 == 0) r = l + 1 + iter % 5, b = t + 1 + iter % 7;
    const bool clockwise = iter % 2;  // with y down
    Path path;
    path.MoveTo(l, t), path.LineTo(clockwise ? r : l, clockwise ? t : b), path.LineTo(r, b);
    path.LineTo(clockwise ? l : r, clockwise ? b : t);
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
  // After a close the next line starts at the figure's start; the shared
  // diagonal cancels out.
  path.LineTo(10, 5), path.LineTo(10, 10), path.CloseFigure();
  path.LineTo(10, 10), path.LineTo(5, 10);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kSimple);
  EXPECT_EQ(region, Region(5, 5, 10, 10));
  // Out of range: an error and an empty region.
  path.Clear();
  path.MoveTo(0, 0), path.LineTo(Path::kMaxCoord + 1, 0), path.LineTo(0, 10);
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
  // Around and beyond the coordinate limit: no overflow, no endless work.
  std::mt19937 rng(13);
  Polygons exact;
  for (int iter = 0; iter < 6; ++iter) {
    path = RandomPolygons(rng, 2 * m + 16, 7, exact);
    path.BezierTo({m, -m}, {-m, m}, {m / 2, m});
    if (path.ToRegion(region) == RegionKind::kError) continue;
    EXPECT_TRUE(region.Box().left >= -m && region.Box().bottom <= m);
  }
}

}  // namespace
}  // namespace tovrani
