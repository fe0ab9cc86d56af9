#include "platform/path_widen.h"

#include <gtest/gtest.h>

#include <random>

#include "support/curve_math.h"

namespace tovrani {
namespace {

using test::FinePoint;

// Every pixel clearly within half the pen's width of the drawn line is in
// the band, every pixel clearly beyond it is not, none lies farther out.
void ExpectBand(const Path& path, const std::vector<FinePoint>& drawn, int pen) {
  Region band;
  ASSERT_NE(WidenPathToRegion(path, pen, band), RegionKind::kError);
  int lo_x = INT32_MAX, lo_y = INT32_MAX, hi_x = INT32_MIN, hi_y = INT32_MIN;
  for (auto [x, y] : drawn) {
    lo_x = std::min(lo_x, int(std::floor(x))), hi_x = std::max(hi_x, int(std::ceil(x)));
    lo_y = std::min(lo_y, int(std::floor(y))), hi_y = std::max(hi_y, int(std::ceil(y)));
  }
  Region near(lo_x - pen - 2, lo_y - pen - 2, hi_x + pen + 3, hi_y + pen + 3);
  EXPECT_EQ(Region::Combine(near, band, near, CombineMode::kDiff), RegionKind::kEmpty);
  for (int y = lo_y - pen - 2; y <= hi_y + pen + 2; ++y) {
    for (int x = lo_x - pen - 2; x <= hi_x + pen + 2; ++x) {
      const double d = test::DistanceToPolyline(drawn, x, y);
      if (std::abs(d - pen / 2.0) <= 0.3) continue;
      ASSERT_EQ(band.Contains(x, y), d < pen / 2.0) << x << "," << y << " d=" << d;
    }
  }
}

TEST(PathWiden, BandsOfLinesCurvesAndClosedContours) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> coord(-60, 60);
  for (int pen : {1, 2}) {
    SCOPED_TRACE(pen);
    // Away from the caps, horizontal and vertical lines cover exactly the
    // pen's width: one rectangle 96 long and pen wide.
    for (auto [from, to, middle] :
         {std::tuple{IntPoint{10, 20}, IntPoint{110, 20}, Region(12, 0, 108, 40)},
          std::tuple{IntPoint{-40, 90}, IntPoint{-40, -10}, Region(-60, -8, -20, 88)}}) {
      Path path;
      Region band;
      path.MoveTo(from), path.LineTo(to);
      ExpectBand(path, {{from.x, from.y}, {to.x, to.y}}, pen);
      WidenPathToRegion(path, pen, band);
      EXPECT_EQ(Region::Combine(middle, middle, band, CombineMode::kAnd), RegionKind::kSimple);
      EXPECT_EQ(middle.Area(), 96 * pen);
    }
    // Diagonals; an open outline has no closing side, a closed one is a ring
    // with nothing inside.
    Path path;
    path.MoveTo(0, 0), path.LineTo(50, 50), path.LineTo(90, 10);
    ExpectBand(path, {{0, 0}, {50, 50}, {90, 10}}, pen);
    path.Clear();
    path.MoveTo(0, 0), path.LineTo(100, 0), path.LineTo(100, 60), path.LineTo(0, 60);
    ExpectBand(path, {{0, 0}, {100, 0}, {100, 60}, {0, 60}}, pen);
    path.CloseFigure();
    ExpectBand(path, {{0, 0}, {100, 0}, {100, 60}, {0, 60}, {0, 0}}, pen);
    for (int iter = 0; iter < 8; ++iter) {
      path.Clear();
      const IntPoint p0{coord(rng), coord(rng)}, c1{coord(rng), coord(rng)},
          c2{coord(rng), coord(rng)}, p3{coord(rng), coord(rng)};
      path.MoveTo(p0);
      path.BezierTo(c1, c2, p3);
      std::vector<FinePoint> drawn;
      for (int k = 0; k <= 500; ++k) drawn.push_back(test::CubicAt(p0, c1, c2, p3, k / 500.0));
      ExpectBand(path, drawn, pen);
    }
    // A circle of cubics, radius 100: a ring of its length.
    path.Clear();
    path.MoveTo(200, 100);
    path.BezierTo({200, 155}, {155, 200}, {100, 200});
    path.BezierTo({45, 200}, {0, 155}, {0, 100});
    path.BezierTo({0, 45}, {45, 0}, {100, 0});
    path.BezierTo({155, 0}, {200, 45}, {200, 100});
    path.CloseFigure();
    Region band, core(35, 35, 165, 165);
    WidenPathToRegion(path, pen, band);
    EXPECT_EQ(Region::Combine(core, core, band, CombineMode::kAnd), RegionKind::kEmpty);
    EXPECT_NEAR(double(band.Area()), 2 * 3.14159 * 100 * pen, 0.05 * 628 * pen);
  }
}

TEST(PathWiden, DegenerateInputsAndLimits) {
  Path path;
  Region band;
  path.MoveTo(5, 5);
  EXPECT_EQ(WidenPathToRegion(path, 2, band), RegionKind::kEmpty);
  // A zero-length line leaves a dot of the pen's size.
  path.LineTo(5, 5);
  EXPECT_NE(WidenPathToRegion(path, 2, band), RegionKind::kError);
  EXPECT_TRUE(band.Contains(5, 5) && band.Area() <= 4);
  // A pen thinner than one unit draws like a one-unit pen; too wide a pen fails.
  path.Clear();
  path.MoveTo(0, 0), path.LineTo(30, 0);
  Region one;
  WidenPathToRegion(path, 1, one);
  WidenPathToRegion(path, 0, band);
  EXPECT_EQ(band, one);
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
