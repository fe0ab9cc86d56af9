// The outline of one retraced problem area as a flat list of move-to,
// line-to and quadratic curve-to records, with the whole-list operations the
// shape builder applies before encoding it as edge records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/path.h"
#include "platform/region.h"

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

  // Writes the records (device units relative to `box`'s top-left corner)
  // as edge records of a fresh shape object from buffer[writePos] on,
  // growing the buffer as needed: the pen starts at (0, 0), move-tos merge
  // into the next edge, and every outline opens with the style change that
  // puts fill style 1 on its inside (the other side for a hole). Counts the
  // records written and leaves the pen after the last one.
  void EncodeRecordsAsEdges(const IntRect& box, std::vector<uint8_t>& buffer, size_t& writePos,
                            uint32_t& recordCount, IntPoint& pen) const;

  // Test seam: every outline takes its side from its orientation.
  bool m_bNoSideProbes = false;
};

// Appends one shape-unit delta of an edge record in its smallest form (the
// form goes to the flags byte's move, control or anchor bits). A move's
// form-3 value is floored, a control's or anchor's truncated toward 0.
// Returns the form, 1 to 3.
uint8_t PutEdgeDelta(std::vector<uint8_t>& buffer, size_t& pos, int64_t x, int64_t y, bool move);

// Direction of (dx, dy) in degrees: above -270 and at most 90; a vertical
// or zero vector gives +90 when dy > 0, else -90.
double DirectionAngle(double dx, double dy);

}  // namespace tovrani
