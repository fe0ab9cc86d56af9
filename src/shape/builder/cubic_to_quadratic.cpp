#include "shape/builder/cubic_to_quadratic.h"

#include <cmath>

namespace tovrani {
namespace {

// t * earlier + (1 - t) * later, for x and y.
void Blend(float* p, int into, int earlier, int later, float t) {
  p[2 * into] = t * p[2 * earlier] + (1 - t) * p[2 * later];
  p[2 * into + 1] = t * p[2 * earlier + 1] + (1 - t) * p[2 * later + 1];
}

// The distance between the midpoints above which a fit is not even
// sampled.
constexpr float kMidpointTolerance = 10000.0f;

// The points of a curve at kFitSamples + 1 even parameters.
struct Samples {
  float x[kFitSamples + 1], y[kFitSamples + 1];
};

Samples SampleCubic(const float* p) {
  Samples s;
  for (int i = 0; i <= kFitSamples; ++i) {
    const float t = float(i) / kFitSamples, u = 1 - t;
    const float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    s.x[i] = a * p[0] + b * p[2] + c * p[4] + d * p[6];
    s.y[i] = a * p[1] + b * p[3] + c * p[5] + d * p[7];
  }
  return s;
}

Samples SampleQuadratic(const float* q) {
  Samples s;
  for (int i = 0; i <= kFitSamples; ++i) {
    const float t = float(i) / kFitSamples, u = 1 - t;
    const float a = u * u, b = 2 * u * t, c = t * t;
    s.x[i] = a * q[0] + b * q[2] + c * q[4];
    s.y[i] = a * q[1] + b * q[3] + c * q[5];
  }
  return s;
}

// Squared distance from (x, y) to the chord from point i to point i + 1.
float ChordDistance2(const Samples& s, int i, float x, float y) {
  const float ax = s.x[i], ay = s.y[i], dx = s.x[i + 1] - ax, dy = s.y[i + 1] - ay;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0;
  t = t < 0 ? 0 : t > 1 ? 1 : t;
  const float ex = ax + t * dx - x, ey = ay + t * dy - y;
  return ex * ex + ey * ey;
}

// Every sample of `a` lies within the tolerance of the chain of `b`'s samples.
bool SamplesNear(const Samples& a, const Samples& b, float tolerance) {
  const float tol2 = tolerance * tolerance;
  for (int i = 0; i <= kFitSamples; ++i) {
    bool near = false;
    for (int j = 0; j < kFitSamples && !near; ++j) near = ChordDistance2(b, j, a.x[i], a.y[i]) <= tol2;
    if (!near) return false;
  }
  return true;
}

// The fit stays within the tolerance of the piece: each curve's samples
// near the other's (both ways, so that neither a bulge of the quadratic nor
// a part of the cubic it skips goes unseen). A comparison that is not a
// number rejects the fit.
bool FitsPiece(const float* piece, const float* quad, float tolerance) {
  const Samples c = SampleCubic(piece), q = SampleQuadratic(quad);
  return SamplesNear(c, q, tolerance) && SamplesNear(q, c, tolerance);
}

}  // namespace

void SplitCubicHead(CubicPiece& dest, const CubicPiece& source, float t) {
  if (&dest != &source) dest = source;
  float* p = dest.p;
  Blend(p, 3, 2, 3, t), Blend(p, 2, 1, 2, t), Blend(p, 1, 0, 1, t);
  Blend(p, 3, 2, 3, t), Blend(p, 2, 1, 2, t);
  Blend(p, 3, 2, 3, t);
}

void SplitCubicTail(CubicPiece& dest, const CubicPiece& source, float t) {
  if (&dest != &source) dest = source;
  float* p = dest.p;
  Blend(p, 0, 0, 1, t), Blend(p, 1, 1, 2, t), Blend(p, 2, 2, 3, t);
  Blend(p, 0, 0, 1, t), Blend(p, 1, 1, 2, t);
  Blend(p, 0, 0, 1, t);
}

void CubicMidpoint(const CubicPiece& c, float& x, float& y) {
  x = (c.p[0] + 3 * c.p[2] + 3 * c.p[4] + c.p[6]) / 8;
  y = (c.p[1] + 3 * c.p[3] + 3 * c.p[5] + c.p[7]) / 8;
}

void QuadraticMidpoint(const QuadraticPiece& q, float& x, float& y) {
  x = (q.q[0] + 2 * q.q[2] + q.q[4]) / 4;
  y = (q.q[1] + 2 * q.q[3] + q.q[5]) / 4;
}

float ManhattanDistance(float x1, float y1, float x2, float y2) {
  return std::fabs(x1 - x2) + std::fabs(y1 - y2);
}

int32_t FitCubicHalves(PathRecordList& list, const CubicPiece& piece, CubicFit& fit) {
  --fit.halvingsLeft;
  ++fit.depth;
  CubicPiece half;
  SplitCubicHead(half, piece, 0.5f);
  int32_t n = FitCubicPiece(list, half, fit);
  SplitCubicTail(half, piece, 0.5f);
  n += FitCubicPiece(list, half, fit);
  --fit.depth;
  return n;
}

int32_t FitCubicPiece(PathRecordList& list, const CubicPiece& piece, CubicFit& fit) {
  const float* p = piece.p;
  const float x0 = p[0], y0 = p[1], x1 = p[2], y1 = p[3], x2 = p[4], y2 = p[5], x3 = p[6], y3 = p[7];
  if (fit.depth >= kMaxCubicHalving || fit.halvingsLeft <= 0) {
    list.Append(kPathLineTo, 0, 0, RoundHalfUp(x3), RoundHalfUp(y3));
    return 1;
  }
  QuadraticPiece q;
  if (x1 == x0 && y1 == y0) {
    q = {{x0, y0, x2, y2, x3, y3}};
  } else if (x3 == x2 && y3 == y2) {
    q = {{x0, y0, x1, y1, x3, y3}};
  } else {
    // Only a control polygon that bends by less than 90 degrees at both
    // controls is approximated directly.
    if (!((x0 - x1) * (x2 - x1) + (y0 - y1) * (y2 - y1) < 0)) return FitCubicHalves(list, piece, fit);
    if (!((x1 - x2) * (x3 - x2) + (y1 - y2) * (y3 - y2) < 0)) return FitCubicHalves(list, piece, fit);
    // The chord, when it is close enough; else the halves.
    auto chordOrHalves = [&]() {
      const float chord[6] = {x0, y0, (x0 + x3) / 2, (y0 + y3) / 2, x3, y3};
      if (!FitsPiece(p, chord, fit.tolerance)) return FitCubicHalves(list, piece, fit);
      list.Append(kPathLineTo, 0, 0, RoundHalfUp(x3), RoundHalfUp(y3));
      return int32_t{1};
    };
    const float det = (y0 - y1) * (x3 - x2) - (x0 - x1) * (y3 - y2);
    if (det == 0) return chordOrHalves();  // parallel end tangents
    const float c1 = x1 * y0 - x0 * y1;
    const float c2 = x2 * y3 - x3 * y2;
    const float qx = ((x3 - x2) * c1 + (x1 - x0) * c2) / det;
    const float qy = ((y3 - y2) * c1 + (y1 - y0) * c2) / det;
    // End tangents that meet behind the start or beyond the end (a piece
    // that bends one way and then the other) give a quadratic that leaves
    // its start, or reaches its end, going backwards: a hook of up to the
    // tolerance on the wrong side of the piece, where the outline of a
    // neighbouring area may run a pixel away.
    if (!((qx - x0) * (x1 - x0) + (qy - y0) * (y1 - y0) >= 0 &&
          (qx - x3) * (x2 - x3) + (qy - y3) * (y2 - y3) >= 0))
      return chordOrHalves();
    q = {{x0, y0, qx, qy, x3, y3}};
  }
  // The midpoints first: a cheap test that only rejects gross misses.
  float cx, cy, qmx, qmy;
  CubicMidpoint(piece, cx, cy);
  QuadraticMidpoint(q, qmx, qmy);
  if (ManhattanDistance(cx, cy, qmx, qmy) > kMidpointTolerance || !FitsPiece(p, q.q, fit.tolerance))
    return FitCubicHalves(list, piece, fit);
  list.Append(kPathCurveTo, RoundHalfUp(q.q[2]), RoundHalfUp(q.q[3]), RoundHalfUp(q.q[4]),
              RoundHalfUp(q.q[5]));
  return 1;
}

int32_t AppendCubicAsQuadratics(PathRecordList& list, int32_t x1, int32_t y1, int32_t x2,
                                int32_t y2, int32_t x3, int32_t y3, float tolerance) {
  const int64_t x0 = list.records.empty() ? 0 : list.records.back().anchorX;
  const int64_t y0 = list.records.empty() ? 0 : list.records.back().anchorY;
  const int64_t ax = -x0 + 3 * int64_t{x1} - 3 * int64_t{x2} + x3;
  const int64_t ay = -y0 + 3 * int64_t{y1} - 3 * int64_t{y2} + y3;
  const int64_t bx = x0 - 2 * int64_t{x1} + x2, by = y0 - 2 * int64_t{y1} + y2;
  const int64_t cx = x1 - x0, cy = y1 - y0;
  // The products are exact in 128 bits for any 32-bit input; within the
  // raster's range they are the 64-bit values.
  using Wide = __int128;
  const double k2 = double(6 * (Wide{bx} * ay - Wide{by} * ax));
  const double k1 = double(6 * (Wide{cx} * ay - Wide{cy} * ax));
  const double k0 = double(2 * (Wide{cx} * by - Wide{cy} * bx));
  const double disc = k1 * k1 - 4 * k2 * k0;
  float t1 = 0, t2 = 1;
  if (k2 != 0) {
    if (disc > 0) {
      const double root = std::sqrt(disc);
      t1 = float((-k1 - root) / (2 * k2));
      t2 = float((-k1 + root) / (2 * k2));
      if (k2 < 0) std::swap(t1, t2);
    } else if (disc == 0) {
      t1 = float(-k1 / (2 * k2));
    }
  }
  CubicPiece piece{{float(x0), float(y0), float(x1), float(y1), float(x2), float(y2), float(x3),
                    float(y3)}};
  int32_t n = 0;
  CubicFit fit;
  fit.tolerance = tolerance;
  CubicPiece head;
  if (t1 > 0 && t1 < 1) {
    SplitCubicHead(head, piece, t1);
    n += FitCubicPiece(list, head, fit);
    SplitCubicTail(piece, piece, t1);
    t2 = (t2 - t1) / (1 - t1);
  }
  if (t2 > 0 && t2 < 1) {
    SplitCubicHead(head, piece, t2);
    n += FitCubicPiece(list, head, fit);
    SplitCubicTail(piece, piece, t2);
  }
  return n + FitCubicPiece(list, piece, fit);
}

}  // namespace tovrani
