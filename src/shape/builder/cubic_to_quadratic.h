// Cubic Béziers from the tracer turned into chains of quadratic curve-to
// records (line-tos where a piece's end tangents are parallel): the cubic
// is cut at its inflection parameters, and every piece takes the quadratic
// whose control point is where its end tangents meet, or is halved.
//
// A fit is taken only when the quadratic (or the chord) stays within one
// raster pixel of the piece at every sampled point, sampled at 17 even
// parameters of each and measured both ways (a sample that is not a number
// rejects the fit). The distance between the two midpoints alone lets far
// too much through: the end tangents of a piece that runs out and comes
// back can meet behind its start, and the quadratic through that point
// bulges to the other side. Nor is a quadratic taken whose control point
// lies behind the piece's start or beyond its end along the piece's own
// tangents: it would set off, or arrive, going backwards. Such a piece
// becomes its chord when that is close enough, else it is halved.
#pragma once

#include <cstdint>

#include "shape/builder/path_record_list.h"

namespace tovrani {

// P0, P1, P2, P3 as x, y pairs.
struct CubicPiece {
  float p[8] = {};
};
// Q0, Q1, Q2 as x, y pairs.
struct QuadraticPiece {
  float q[6] = {};
};

// The part of `source` from parameter 0 to 1 - t (Head) or from 1 - t to 1
// (Tail); `dest` may be `source`.
void SplitCubicHead(CubicPiece& dest, const CubicPiece& source, float t);
void SplitCubicTail(CubicPiece& dest, const CubicPiece& source, float t);
void CubicMidpoint(const CubicPiece& piece, float& x, float& y);
void QuadraticMidpoint(const QuadraticPiece& quad, float& x, float& y);
float ManhattanDistance(float x1, float y1, float x2, float y2);

// The fit's tolerance in raster pixels, and the parameter steps sampled.
constexpr float kFitTolerance = 1.0f;
// The closest a retrace fits its outlines where the first fit crosses.
constexpr float kFinestFitTolerance = 0.125f;
constexpr int kFitSamples = 16;

// Halving gives up at this depth, or after this many halvings of one
// cubic (at coordinates beyond float precision the halves need not shrink,
// and every one of them may be halved again), and appends the piece as a
// line-to to its end.
constexpr int kMaxCubicHalving = 64;
constexpr int kMaxCubicHalvings = 4096;

// Appends the cubic from the list's last anchor ((0, 0) on an empty list)
// through (x1, y1) and (x2, y2) to (x3, y3), each piece within `tolerance`
// (in the list's units) of it; returns the records appended.
int32_t AppendCubicAsQuadratics(PathRecordList& list, int32_t x1, int32_t y1, int32_t x2,
                                int32_t y2, int32_t x3, int32_t y3,
                                float tolerance = kFitTolerance);

// How far a cubic's fitting has gone: the depth of the piece at hand and
// the halvings still allowed; and how close each piece must stay.
struct CubicFit {
  int depth = 0;
  int halvingsLeft = kMaxCubicHalvings;
  float tolerance = kFitTolerance;
};
int32_t FitCubicPiece(PathRecordList& list, const CubicPiece& piece, CubicFit& fit);
int32_t FitCubicHalves(PathRecordList& list, const CubicPiece& piece, CubicFit& fit);

}  // namespace tovrani
