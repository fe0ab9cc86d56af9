// Whether two edges of a shape cross or lie on each other anywhere but at
// an end point they share. Coordinates are absolute shape units (1/256
// twip), y downwards; a curve is given by its start, end and control
// offset (control point minus start).
#pragma once

#include <cstdint>

#include "shape/geometry/shape_region.h"

namespace tovrani {

// Segment A runs from (a1x, a1y) to (a2x, a2y), B from (b1x, b1y) to
// (b2x, b2y); the arguments come as start of A, start of B, end of A, end
// of B. Boxes that only touch are apart; collinear overlapping segments
// meet only when they run the same way.
bool IntersectSegments(int32_t a1x, int32_t a1y, int32_t b1x, int32_t b1y, int32_t a2x,
                       int32_t a2y, int32_t b2x, int32_t b2y);

// Edge pair modes: the first edge straight and the second a curve, the
// first a curve and the second straight, two curves (10, 11, 12 the same).
constexpr uint8_t kStraightCurve = 0;
constexpr uint8_t kCurveStraight = 1;
constexpr uint8_t kTwoCurves = 2;

// Edge 1 runs from S1 to E1 with control offset (c1dx, c1dy), edge 2 from
// S2 to E2; true for a crossing or overlap beyond a shared end point. A
// failed region operation (also a spent budget, which sets geo.failed)
// answers false.
bool IntersectEdges(ShapeGeometry& geo, int32_t e1x, int32_t e1y, int32_t e2x, int32_t e2y,
                    int32_t s1x, int32_t s1y, int32_t s2x, int32_t s2y, int32_t c1dx, int32_t c2dx,
                    int32_t c1dy, int32_t c2dy, uint8_t mode);

// The power of two (1 to 128) by which the region method divides the
// coordinates of edges whose common box is w by h shape units.
int32_t DrawingDivisor(int64_t w, int64_t h);

// Whether the curve (x0, y0) -> control (cx, cy) -> (x2, y2), which starts
// where the segment starts, comes back to the segment's line within the
// segment's reach.
bool CurveMeetsSegment(int32_t x0, int32_t y0, int32_t cx, int32_t cy, int32_t x2, int32_t y2,
                       int32_t lx0, int32_t ly0, int32_t lx1, int32_t ly1);

}  // namespace tovrani
