#include "platform/path.h"
#include "platform/path_widen.h"

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

// Exact even-odd reference for pixel row py: the x positions where the
// inside toggles, in order. An edge spanning the row half-open toggles at
// the first whole x at or right of it; two toggles at one x cancel.
std::vector<int64_t> RowToggles(const Polygons& polygons, int64_t py) {
  const int64_t y = py * kFixOne;
  std::vector<int64_t> firsts, toggles;
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
  for (int64_t x : firsts) !toggles.empty() && toggles.back() == x ? toggles.pop_back() : toggles.push_back(x);
  return toggles;
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

// Every pixel of the rows through the square of the given extent around
// 0,0 (each row whole, every row_step-th row), and with every row the area.
void ExpectFillMatches(const Path& path, const Polygons& exact, int extent, int row_step = 1) {
  Region region;
  ASSERT_NE(path.ToRegion(region), RegionKind::kError);
  ASSERT_TRUE(pixman_region32_selfcheck(const_cast<pixman_region32_t*>(region.raw())));
  const std::vector<IntRect> rects = region.Rects();  // bands top to bottom
  int64_t area = 0;
  for (int py = -extent / 2 - 1; py <= extent / 2 + 1; py += row_step) {
    std::vector<int64_t> spans;
    auto it = std::partition_point(rects.begin(), rects.end(),
                                   [py](const IntRect& r) { return r.bottom <= py; });
    for (; it != rects.end() && it->top <= py; ++it) spans.insert(spans.end(), {it->left, it->right});
    ASSERT_EQ(spans, RowToggles(exact, py)) << "row " << py;
    for (size_t i = 0; i < spans.size(); i += 2) area += spans[i + 1] - spans[i];
  }
  if (row_step == 1) {
    EXPECT_EQ(region.Area(), area);
  }
}

TEST(PathFill, MatchesExactEvenOddAtEveryPixel) {
  std::mt19937 rng(7);
  Polygons exact;
  // Small and large self-crossing figures, hundreds of edges per row, and
  // the full range of real shapes' coordinates (a row in every 997).
  for (auto [figures, extent, vertices, row_step] :
       {std::array{200, 120, 12, 1}, std::array{6, 2000, 9, 1}, std::array{5, 150, 400, 1},
        std::array{10, 200000, 10, 997}}) {
    for (int i = 0; i < figures; ++i)
      ExpectFillMatches(RandomPolygons(rng, extent, vertices, exact), exact, extent, row_step);
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
      ExpectFillMatches(path, {lines[0].points}, extent, extent > 2000 ? 997 : 1);
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
  // Shapes at the coordinate limit: no overflow, and within the work budget
  // a huge triangle fails, a huge rectangle coalesces into one band.
  const int m = Path::kMaxCoord;
  path.Clear();
  path.MoveTo(-m, -m), path.LineTo(m, m), path.LineTo(-m, m);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kError);
  path.Clear();
  path.MoveTo(-m, -m), path.LineTo(m, -m), path.LineTo(m, m), path.LineTo(-m, m);
  EXPECT_EQ(path.ToRegion(region), RegionKind::kSimple);
  EXPECT_EQ(region, Region(-m, -m, m, m));
}

// A fill's work is its polygons' corners, the rows their edges cross and
// the sorting of the edges, known before any row is walked; below it a
// limit refuses the fill with an empty region. A widened band counts its
// pieces the same way.
TEST(PathFill, WorkCountsCornersAndEdgeRowsAndALimitRefusesFirst) {
  Path zigzag;
  zigzag.MoveTo(0, 0);
  for (int i = 1; i <= 100; ++i) zigzag.LineTo(i, i % 2 ? 1000 : 0);
  Region region;
  // Corners, two units per edge row and the sorting of the 100 edges (the
  // closing chord is flat); the first row, where they all start, may take a
  // sort of its own.
  const uint64_t cost = 101u + 2u * 100u * 1000u + SortWork(100);
  FillWork work;
  EXPECT_EQ(zigzag.ToRegion(region, work), RegionKind::kComplex);
  EXPECT_TRUE(work.spent == cost || work.spent == cost + SortWork(100)) << work.spent;
  FillWork tight{work.spent - 1};
  EXPECT_EQ(zigzag.ToRegion(region, tight), RegionKind::kError);
  EXPECT_TRUE(tight.refused() && region.IsEmpty());
  FillWork band, half;
  EXPECT_NE(WidenPathToRegion(zigzag, 1, region, &band), RegionKind::kError);
  half.limit = band.spent / 2;
  EXPECT_EQ(WidenPathToRegion(zigzag, 1, region, &half), RegionKind::kError);
  EXPECT_TRUE(half.refused() && region.IsEmpty());

  // What a fill holds is counted the same way, before it is taken: a byte
  // short of it refuses the fill (and the band), as does a limit below what
  // the path's points take.
  Region whole;
  EXPECT_EQ(zigzag.ToRegion(whole, work), RegionKind::kComplex);
  FillWork roomy{UINT64_MAX, 0, work.held}, short_by_one{UINT64_MAX, 0, work.held - 1},
      band_short{UINT64_MAX, 0, band.held - 1}, few{UINT64_MAX, 0, 50 * fill_detail::kHeldBytesPerCorner};
  EXPECT_EQ(zigzag.ToRegion(region, roomy), RegionKind::kComplex);
  EXPECT_EQ(region, whole);
  EXPECT_EQ(WidenPathToRegion(zigzag, 1, region, &band_short), RegionKind::kError);
  EXPECT_EQ(zigzag.ToRegion(region, few), RegionKind::kError);
  EXPECT_EQ(zigzag.ToRegion(region, short_by_one), RegionKind::kError);
  EXPECT_TRUE(short_by_one.refused() && band_short.refused() && few.refused() && region.IsEmpty());
}

}  // namespace
}  // namespace tovrani
