// Path record lists and the cubic-to-quadratic conversion that fills them.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tovrani
