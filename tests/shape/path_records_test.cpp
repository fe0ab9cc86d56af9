// Path record lists and the cubic-to-quadratic conversion that fills them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "shape/builder/cubic_to_quadratic.h"
#include "shape/builder/path_record_list.h"

namespace tovrani {

void PrintTo(const PathRecord& r, std::ostream* os) {
  *os << "{" << r.kind << ", " << r.controlX << ", " << r.controlY << ", " << r.anchorX << ", "
      << r.anchorY << "}";
}

namespace {

using R = PathRecord;
constexpr int32_t M = kPathMoveTo, L = kPathLineTo, C = kPathCurveTo;

TEST(PathRecordList, ScaleAndRoundRoundsHalfUpAndKeepsNonCurveControls) {
  PathRecordList list;
  list.Append(M, 0, 0, 3, -3);
  list.Append(L, 7, 7, 5, 1);
  list.Append(C, 3, -3, -5, 0);
  list.ScaleAndRound(0.5);
  EXPECT_EQ(list.records, (std::vector<R>{{M, 0, 0, 2, -1}, {L, 7, 7, 3, 1}, {C, 2, -1, -2, 0}}));
}

TEST(PathRecordList, SimplifyStraightensFlatAndTurningBackCurves) {
  struct Case {
    R curve;
    int32_t kind;
  } cases[] = {
      {{C, 5, 5, 10, 10}, L},   // d = 0
      {{C, 10, 0, 5, 0}, L},    // turns straight back: d = 180
      {{C, 10, 0, 10, 10}, C},  // d = 90
      {{C, 0, 0, 10, 10}, C},   // control on the start: -90 against 90
  };
  for (const Case& c : cases) {
    PathRecordList list;
    list.records = {c.curve};
    list.Simplify();
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.records[0].kind, c.kind) << c.curve.controlX << "," << c.curve.anchorX;
  }
}

TEST(PathRecordList, SimplifyRemovesOutAndBackLines) {
  struct Case {
    std::vector<R> in, out;
  } cases[] = {
      // the whole outline goes, with its move-to
      {{{M, 0, 0, 5, 5}, {L, 0, 0, 9, 9}, {L, 0, 0, 5, 5}, {M, 0, 0, 20, 20}, {L, 0, 0, 30, 20}},
       {{M, 0, 0, 20, 20}, {L, 0, 0, 30, 20}}},
      {{{M, 0, 0, 5, 5}, {L, 0, 0, 9, 9}, {L, 0, 0, 5, 5}}, {}},
      // no record before: the pair starts at (0, 0)
      {{{L, 0, 0, 4, 4}, {L, 0, 0, 0, 0}, {L, 0, 0, 3, 0}}, {{L, 0, 0, 3, 0}}},
      // a spike inside an outline goes, and so does the one it uncovers
      {{{M, 0, 0, 0, 0}, {L, 0, 0, 8, 0}, {L, 0, 0, 9, 0}, {L, 0, 0, 10, 0}, {L, 0, 0, 9, 0},
        {L, 0, 0, 8, 0}, {L, 0, 0, 8, 8}},
       {{M, 0, 0, 0, 0}, {L, 0, 0, 8, 0}, {L, 0, 0, 8, 8}}},
  };
  for (const Case& c : cases) {
    PathRecordList list;
    list.records = c.in;
    list.Simplify();
    EXPECT_EQ(list.records, c.out);
  }
}

TEST(CubicToQuadratic, StraightRaisedAndDegenerateCubics) {
  struct Case {
    R start;
    int32_t c[6];
    std::vector<R> out;
  } cases[] = {
      {{M, 0, 0, 0, 0}, {10, 0, 20, 0, 30, 0}, {{L, 0, 0, 30, 0}}},
      // exactly the quadratic with control (30, 60)
      {{M, 0, 0, 0, 0}, {20, 40, 40, 40, 60, 0}, {{C, 30, 60, 60, 0}}},
      // P1 = P0: Q1 = P2 although the first corner is no bend at all
      {{M, 0, 0, 0, 0}, {0, 0, -5, 15, 10, 10}, {{C, -5, 15, 10, 10}}},
      {{M, 0, 0, 10, 7}, {10, 4, 10, 4, 7, 4}, {{C, 10, 5, 10, 4}, {C, 9, 4, 7, 4}}},
  };
  for (const Case& c : cases) {
    PathRecordList list;
    list.records = {c.start};
    const int32_t n = AppendCubicAsQuadratics(list, c.c[0], c.c[1], c.c[2], c.c[3], c.c[4], c.c[5]);
    EXPECT_EQ(n, int32_t(c.out.size()));
    EXPECT_EQ(std::vector<R>(list.records.begin() + 1, list.records.end()), c.out) << c.c[0];
  }
}

TEST(CubicToQuadratic, RoundsHalfUpAndEndsADoublingBackCubic) {
  PathRecordList list;
  CubicFit fit;
  EXPECT_EQ(FitCubicPiece(list, CubicPiece{{0, 0, 0, 0, -2.5f, 7.5f, -4.5f, 9.5f}}, fit), 1);
  EXPECT_EQ(list.records, (std::vector<R>{{C, -2, 8, -4, 10}}));

  list.records = {{M, 0, 0, 0, 0}};
  const int32_t n = AppendCubicAsQuadratics(list, 20, 0, 20, 0, 10, 0);
  EXPECT_EQ(n, list.count() - 1);
  EXPECT_LT(n, 200);
  EXPECT_EQ(list.records.back().anchorX, 10);
  EXPECT_EQ(list.records.back().anchorY, 0);

  // Beyond float precision the halves need not shrink: the halvings are
  // bounded, and the chain still ends at the end point.
  list.records = {{M, 0, 0, -389331906, 512740222}};
  const int32_t far = AppendCubicAsQuadratics(list, 2088533116, 0, 0, 0, 0, 0);
  EXPECT_LE(far, 2 * kMaxCubicHalvings + 3);
  EXPECT_EQ(list.records.back().anchorX, 0);
  EXPECT_EQ(list.records.back().anchorY, 0);
}


TEST(CubicToQuadratic, NoQuadraticLeavesOrReachesItsEndsBackwards) {
  // Each bends one way and then the other, running on in x and y alike (so
  // the cubic stays within the box of its ends): cut at the computed
  // parameters, a piece's end tangents meet behind its start, and the
  // quadratic through that point would set off the wrong way, hooking out
  // of the box by most of a pixel.
  struct Case {
    std::array<int32_t, 8> p;
  } cases[] = {
      {{15, 11, 15, 10, 16, 8, 16, 6}},
      {{13, 13, 12, 13, 9, 12, 7, 12}},
  };
  for (const Case& c : cases) {
    PathRecordList list;
    list.records = {{M, 0, 0, c.p[0], c.p[1]}};
    AppendCubicAsQuadratics(list, c.p[2], c.p[3], c.p[4], c.p[5], c.p[6], c.p[7]);
    const int32_t minX = std::min(c.p[0], c.p[6]), maxX = std::max(c.p[0], c.p[6]);
    const int32_t minY = std::min(c.p[1], c.p[7]), maxY = std::max(c.p[1], c.p[7]);
    auto inside = [&](int32_t x, int32_t y) { return x >= minX && x <= maxX && y >= minY && y <= maxY; };
    // A quadratic lies within the triangle of its points.
    for (const R& r : list.records) {
      EXPECT_TRUE(inside(r.anchorX, r.anchorY)) << c.p[0] << "," << c.p[1];
      if (r.kind == C) {
        EXPECT_TRUE(inside(r.controlX, r.controlY)) << c.p[0] << "," << c.p[1];
      }
    }
    EXPECT_EQ(list.records.back().anchorX, c.p[6]);
    EXPECT_EQ(list.records.back().anchorY, c.p[7]);
  }
}

// Dense points of a cubic or a quadratic (the quadratic's middle point
// doubled), and the largest distance from any point of one set to the
// nearest of the other.
using Dense = std::vector<std::array<double, 2>>;
Dense DenseCurve(std::array<double, 8> p, int n) {
  Dense out;
  for (int i = 0; i <= n; ++i) {
    const double t = double(i) / n, u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    out.push_back({a * p[0] + b * p[2] + c * p[4] + d * p[6], a * p[1] + b * p[3] + c * p[5] + d * p[7]});
  }
  return out;
}
Dense DenseQuadratic(double x0, double y0, const R& r, int n) {
  // The cubic with both controls two thirds of the way to the control.
  const double cx = r.controlX, cy = r.controlY;
  return DenseCurve({x0, y0, x0 + 2 * (cx - x0) / 3, y0 + 2 * (cy - y0) / 3,
                     r.anchorX + 2 * (cx - r.anchorX) / 3, r.anchorY + 2 * (cy - r.anchorY) / 3,
                     double(r.anchorX), double(r.anchorY)},
                    n);
}
double FarthestFrom(const Dense& a, const Dense& b) {
  double worst = 0;
  for (const auto& p : a) {
    double best = std::numeric_limits<double>::infinity();
    for (const auto& q : b) best = std::min(best, std::hypot(p[0] - q[0], p[1] - q[1]));
    worst = std::max(worst, best);
  }
  return worst;
}

TEST(CubicToQuadratic, EveryQuadraticStaysWithinAPixelOfItsCubic) {
  // Records are rounded to whole pixels: half a pixel in x and y at each of
  // a quadratic's points moves it by at most that much.
  const double kAllowed = 1.0 + std::sqrt(0.5);
  struct Case {
    const char* what;
    std::array<int32_t, 8> p;
    size_t minRecords, maxRecords;
  } cases[] = {
      // Out to x = 75 and back: its end tangents meet behind the start, at
      // (-75, 15); one quadratic through that point bulges the other way.
      {"out and back", {0, 0, 100, -20, 100, 50, 0, 30}, 2, 64},
      {"long hairpin", {0, 0, 400, 0, 400, 6, 0, 6}, 2, 64},
      {"plain arc", {0, 0, 13, 13, 27, 13, 40, 0}, 1, 1},
      {"quarter circle", {10, 0, 10, 6, 6, 10, 0, 10}, 1, 1},
  };
  for (const Case& c : cases) {
    PathRecordList list;
    list.records = {{M, 0, 0, c.p[0], c.p[1]}};
    const int32_t n = AppendCubicAsQuadratics(list, c.p[2], c.p[3], c.p[4], c.p[5], c.p[6], c.p[7]);
    EXPECT_GE(size_t(n), c.minRecords) << c.what;
    EXPECT_LE(size_t(n), c.maxRecords) << c.what;
    const Dense cubic = DenseCurve({double(c.p[0]), double(c.p[1]), double(c.p[2]), double(c.p[3]),
                                    double(c.p[4]), double(c.p[5]), double(c.p[6]), double(c.p[7])},
                                   4000);
    Dense chain;
    for (size_t i = 1; i < list.records.size(); ++i) {
      const R& r = list.records[i];
      const R& prev = list.records[i - 1];
      Dense piece;
      if (r.kind == C) {
        piece = DenseQuadratic(prev.anchorX, prev.anchorY, r, 512);
      } else {
        for (int k = 0; k <= 512; ++k)
          piece.push_back({prev.anchorX + (r.anchorX - prev.anchorX) * k / 512.0,
                           prev.anchorY + (r.anchorY - prev.anchorY) * k / 512.0});
      }
      EXPECT_LE(FarthestFrom(piece, cubic), kAllowed) << c.what << ", record " << i;
      chain.insert(chain.end(), piece.begin(), piece.end());
    }
    // ... and together they follow the whole cubic.
    EXPECT_LE(FarthestFrom(DenseCurve({double(c.p[0]), double(c.p[1]), double(c.p[2]), double(c.p[3]),
                                       double(c.p[4]), double(c.p[5]), double(c.p[6]), double(c.p[7])},
                                      200),
                           chain),
              kAllowed)
        << c.what;
    EXPECT_EQ(list.records.back().anchorX, c.p[6]);
    EXPECT_EQ(list.records.back().anchorY, c.p[7]);
  }
}

}  // namespace
}  // namespace tovrani
