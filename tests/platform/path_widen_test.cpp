#include "platform/path_widen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tovrani {
namespace {

using FinePolyline = std::vector<std::pair<double, double>>;

double DistanceToPolyline(const FinePolyline& line, double x, double y) {
  double best = std::hypot(x - line[0].first, y - line[0].second);
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    const auto [ax, ay] = line[i];
    const auto [bx, by] = line[i + 1];
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
  }
  return best;
}

// Every pixel clearly inside half the pen's width of the path is in the
// band, every pixel clearly outside is not.
void ExpectBand(const Path& path, const FinePolyline& fine, int pen) {
  Region band;
  ASSERT_NE(WidenPathToRegion(path, pen, band), RegionKind::kError);
  const IntRect box = band.Box();
  double lo_x = 1e9, lo_y = 1e9, hi_x = -1e9, hi_y = -1e9;
  for (auto [x, y] : fine) {
    lo_x = std::min(lo_x, x), hi_x = std::max(hi_x, x);
    lo_y = std::min(lo_y, y), hi_y = std::max(hi_y, y);
  }
  EXPECT_GE(box.left, std::floor(lo_x - pen));
  EXPECT_LE(box.right, std::ceil(hi_x + pen) + 1);
  const double half = pen / 2.0;
  for (int y = int(lo_y) - pen - 2; y <= int(hi_y) + pen + 2; ++y) {
    for (int x = int(lo_x) - pen - 2; x <= int(hi_x) + pen + 2; ++x) {
      const double d = DistanceToPolyline(fine, x, y);
      if (d < half - 0.3) {
        ASSERT_TRUE(band.Contains(x, y)) << x << "," << y << " d=" << d;
      } else if (d > half + 0.3) {
        ASSERT_FALSE(band.Contains(x, y)) << x << "," << y << " d=" << d;
      }
    }
  }
}

TEST(PathWiden, StraightLinesCoverExactlyThePenWidth) {
  for (int pen : {1, 2}) {
    Path path;
    path.MoveTo(10, 20), path.LineTo(110, 20);
    Region band;
    WidenPathToRegion(path, pen, band);
    for (int x = 12; x < 108; ++x) {
      int rows = 0;
      for (int y = 10; y < 30; ++y) rows += band.Contains(x, y);
      EXPECT_EQ(rows, pen) << x;
      EXPECT_TRUE(band.Contains(x, 20));
    }
    path.Clear();
    path.MoveTo(-40, 90), path.LineTo(-40, -10);
    WidenPathToRegion(path, pen, band);
    for (int y = -8; y < 88; ++y) {
      int columns = 0;
      for (int x = -50; x < -30; ++x) columns += band.Contains(x, y);
      EXPECT_EQ(columns, pen) << y;
    }
    ExpectBand(path, {{-40, 90}, {-40, -10}}, pen);
  }
}

TEST(PathWiden, DiagonalAndCurvedPathsStayWithinTheBand) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> coord(-60, 60);
  for (int pen : {1, 2}) {
    Path path;
    path.MoveTo(0, 0), path.LineTo(50, 50), path.LineTo(90, 10);
    ExpectBand(path, {{0, 0}, {50, 50}, {90, 10}}, pen);
    for (int iter = 0; iter < 8; ++iter) {
      path.Clear();
      IntPoint p0{coord(rng), coord(rng)}, c1{coord(rng), coord(rng)}, c2{coord(rng), coord(rng)},
          p3{coord(rng), coord(rng)};
      path.MoveTo(p0);
      path.BezierTo(c1, c2, p3);
      FinePolyline fine;
      for (int k = 0; k <= 500; ++k) {
        const double t = k / 500.0, u = 1 - t;
        fine.push_back(
            {u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x,
             u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y});
      }
      ExpectBand(path, fine, pen);
    }
  }
}

TEST(PathWiden, ClosedContoursGiveARingNotTheInside) {
  for (int pen : {1, 2}) {
    Path path;
    path.MoveTo(0, 0), path.LineTo(100, 0), path.LineTo(100, 60), path.LineTo(0, 60);
    path.CloseFigure();
    ExpectBand(path, {{0, 0}, {100, 0}, {100, 60}, {0, 60}, {0, 0}}, pen);
    Region band;
    WidenPathToRegion(path, pen, band);
    EXPECT_FALSE(band.Contains(50, 30));
    EXPECT_NEAR(double(band.Area()), 320.0 * pen, 8.0 * pen);
    // The same outline left open has no left side.
    Path open;
    open.MoveTo(0, 0), open.LineTo(100, 0), open.LineTo(100, 60), open.LineTo(0, 60);
    WidenPathToRegion(open, pen, band);
    EXPECT_FALSE(band.Contains(0, 30));
    // A circle of cubics.
    path.Clear();
    path.MoveTo(200, 100);
    path.BezierTo({200, 155}, {155, 200}, {100, 200});
    path.BezierTo({45, 200}, {0, 155}, {0, 100});
    path.BezierTo({0, 45}, {45, 0}, {100, 0});
    path.BezierTo({155, 0}, {200, 45}, {200, 100});
    path.CloseFigure();
    WidenPathToRegion(path, pen, band);
    Region inner;
    Region::Combine(inner, band, Region(10, 10, 190, 190), CombineMode::kAnd);
    Region core(35, 35, 165, 165);
    Region::Combine(core, core, inner, CombineMode::kAnd);
    EXPECT_TRUE(core.IsEmpty());
    EXPECT_NEAR(double(band.Area()), 2 * 3.14159 * 100 * pen, 0.05 * 628 * pen);
  }
}

TEST(PathWiden, DegenerateInputs) {
  Path path;
  Region band;
  path.MoveTo(5, 5);
  EXPECT_EQ(WidenPathToRegion(path, 2, band), RegionKind::kEmpty);
  // A zero-length line leaves a dot of the pen's size.
  path.LineTo(5, 5);
  EXPECT_NE(WidenPathToRegion(path, 2, band), RegionKind::kError);
  EXPECT_TRUE(band.Contains(5, 5));
  EXPECT_LE(band.Area(), 4);
  // A thinner pen than one unit draws like a one-unit pen.
  path.Clear();
  path.MoveTo(0, 0), path.LineTo(30, 0);
  Region thin, one;
  WidenPathToRegion(path, 0, thin);
  WidenPathToRegion(path, 1, one);
  EXPECT_EQ(thin, one);
  EXPECT_EQ(WidenPathToRegion(path, kMaxPenWidth + 1, band), RegionKind::kError);
  path.LineTo(Path::kMaxCoord + 1, 0);
  EXPECT_EQ(WidenPathToRegion(path, 1, band), RegionKind::kError);
  EXPECT_TRUE(band.IsEmpty());
  // Beyond the work budget the widening fails instead of taking gigabytes;
  // filling the same path is still fine.
  path.Clear();
  path.MoveTo(0, 0);
  for (int i = 1; i <= 70000; ++i) path.LineTo(i, (i % 2) * 3);
  EXPECT_EQ(WidenPathToRegion(path, 1, band), RegionKind::kError);
  EXPECT_NE(path.ToRegion(band), RegionKind::kError);
}

}  // namespace
}  // namespace tovrani
