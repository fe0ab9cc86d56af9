// The outline of one retraced problem area as a flat list of move-to,
// line-to and quadratic curve-to records, with the whole-list operations the
// shape builder applies before encoding it as edge records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/region.h"
#include "shape/builder/shape_output.h"
#include "shape/geometry/shape_region.h"

namespace tovrani {

enum PathRecordKind : int32_t {
  kPathLineTo = 0,
  kPathCurveTo = 1,
  kPathMoveTo = 2,
};

// A record's start point is the previous record's anchor; the first record
// starts at (0, 0).
struct PathRecord {
  int32_t kind = kPathLineTo;
  int32_t controlX = 0;  // curve-to only; 0 in a move-to, kept but ignored in a line-to
  int32_t controlY = 0;
  int32_t anchorX = 0;
  int32_t anchorY = 0;

  bool operator==(const PathRecord&) const = default;
};

// floor(v + 0.5) as a 32-bit integer, clamped to its range (NaN gives 0).
int32_t RoundHalfUp(double v);

class PathRecordList {
 public:
  std::vector<PathRecord> records;

  int32_t count() const { return int32_t(records.size()); }
  void Append(int32_t kind, int32_t controlX, int32_t controlY, int32_t anchorX, int32_t anchorY) {
    records.push_back({kind, controlX, controlY, anchorX, anchorY});
  }

  // Anchors (and the control points of curve-tos) become floor(v * factor + 0.5).
  void ScaleAndRound(double factor);
  // Every curve-to becomes a line-to; its control point stays in the record.
  void CurvesToLines();
  // Nearly flat or turning-back curves become line-tos; line pairs that go
  // out and straight back are removed (with their move-to when they are
  // all of an outline).
  void Simplify();

  // Writes the records (device units relative to the region's box) as
  // the edge records of a fresh shape object at the end of `out`: the pen
  // starts at (0, 0), move-tos merge into the next edge, and every outline
  // opens with the style change that puts fill style 1 on its inside (the
  // other side for a hole). recordCount counts the records written (so do
  // out.records); out's pen and style are left after the last one. Then
  // the region's fill leaves the graph: slot fillSide (1 or 2) of every step
  // of its first contour, and the mirrored slot of each twin. The region
  // each outline is probed in is filled, and set against those before it,
  // on `work`'s budget. False once the output has grown past its limit, or
  // when `work` gives out (work.failed set; the graph is left as it was).
  bool EncodeAsEdges(ShapeOutput& out, uint32_t& recordCount, const ShapeRegion& region,
                     std::span<ShapePoint> points, uint8_t fillSide, ShapeGeometry& work) const;
  // The records alone, against a box.
  bool EncodeRecordsAsEdges(const IntRect& box, ShapeOutput& out, uint32_t& recordCount,
                            ShapeGeometry& work) const;

  // Test seam: every outline takes its side from its orientation.
  bool noSideProbes = false;
};

// Direction of (dx, dy) in degrees: above -270 and at most 90; a vertical
// or zero vector gives +90 when dy > 0, else -90.
double DirectionAngle(double dx, double dy);

}  // namespace tovrani
