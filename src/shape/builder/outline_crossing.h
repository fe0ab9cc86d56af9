// Yes-or-no questions about whole outlines, each answered by running the
// pairwise edge intersection tests over pairs of its elements: does a
// retraced path cross itself, does a region's outline, does the chord that
// would close it, does it cross or lie on an edge of another point table.
// Each answers true at the first conflicting pair.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "shape/builder/path_record_list.h"
#include "shape/geometry/shape_point.h"
#include "shape/geometry/shape_region.h"

namespace tovrani {

struct CrossPoint {
  int64_t x = 0, y = 0;
  bool operator==(const CrossPoint&) const = default;
};

// The pairwise tests the questions run, in shape units: two straight
// segments A and B (arguments in the order start A, start B, end A, end B),
// or two edges of which one or both are curves (end A, end B, start A,
// start B, the control offsets from their starts as x of A, x of B, y of A,
// y of B, and the pair mode: 0 straight A and curved B, 1 curved A and
// straight B, 2 both curved).
class EdgePairTests {
 public:
  virtual ~EdgePairTests() = default;
  virtual bool Segments(CrossPoint startA, CrossPoint startB, CrossPoint endA, CrossPoint endB) = 0;
  virtual bool Edges(CrossPoint endA, CrossPoint endB, CrossPoint startA, CrossPoint startB,
                     int64_t controlXA, int64_t controlXB, int64_t controlYA, int64_t controlYB,
                     int mode) = 0;
};

// The geometry layer's edge intersection tests behind the questions.
// Coordinates beyond 32 bits cannot be tested and count as no crossing, as
// a failed region operation does.
class IntersectionTests : public EdgePairTests {
 public:
  explicit IntersectionTests(ShapeGeometry& geo) : geo_(geo) {}
  bool Segments(CrossPoint startA, CrossPoint startB, CrossPoint endA, CrossPoint endB) override;
  bool Edges(CrossPoint endA, CrossPoint endB, CrossPoint startA, CrossPoint startB,
             int64_t controlXA, int64_t controlXB, int64_t controlYA, int64_t controlYB,
             int mode) override;

 private:
  ShapeGeometry& geo_;
};

// Cleans the traced path in place (out-and-back outlines, zero-length
// records, degenerate curves as line-tos), then tells whether one of its
// outlines passes through itself or another. Outlines that only touch, at a
// point or along a shared border, do not cross: traced outlines bound pixel
// areas, which meet at corners and borders.
bool TracedPathCrosses(PathRecordList& list);
// The region's first contour against itself, and against the chord from
// its end back to its start.
bool ContourCrossesItself(EdgePairTests& tests, const ShapeRegion& region,
                          std::span<const ShapePoint> points);
bool ClosingChordCrosses(EdgePairTests& tests, const ShapeRegion& region,
                         std::span<const ShapePoint> points);
// The region's first contour, or one element of a contour, against every
// edge of a second point table (each edge once). A straight element lying
// on a straight edge from a shared end point counts as crossing it; a
// curved element that is the edge itself or its reverse is passed over.
// `skip`, when given, passes over the elements it answers true for (a step
// from a point along one of its edges), as if they were not in the contour.
using ContourStepFilter = std::function<bool(const ShapePoint& from, const PointEdge& edge)>;
bool ContourCrossesEdges(EdgePairTests& tests, const ShapeRegion& region,
                         std::span<const ShapePoint> points, std::span<const ShapePoint> otherPoints,
                         const ContourStepFilter& skip = {});
bool ContourStepCrossesEdges(EdgePairTests& tests, const Contour& contour, uint32_t element,
                             std::span<const ShapePoint> points,
                             std::span<const ShapePoint> otherPoints);

}  // namespace tovrani
