// Bitmap tracing: turns the set pixels of a bilevel raster into closed
// outlines of lines and cubic Béziers (potrace underneath).
//
// Coordinates are raster coordinates as they come: x to the right, y in the
// raster's row direction (no flip), pixel (x, y) covering the unit square
// from (x, y) to (x + 1, y + 1). Every outline is closed (its last segment
// ends at its start). An outer outline comes before its holes, and a hole
// before the outlines nested inside it. Outer outlines run clockwise as seen
// with y pointing down (positive shoelace area), holes counter-clockwise.
// Isolated single pixels are kept.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/raster.h"

namespace tovrani {

struct TracePoint {
  double x = 0;
  double y = 0;
};

struct TracedSegment {
  enum class Kind : uint8_t { kLine, kCubic };
  Kind kind = Kind::kLine;
  TracePoint c1;  // cubic control points; unused for lines
  TracePoint c2;
  TracePoint end;
};

struct TracedOutline {
  TracePoint start;
  std::vector<TracedSegment> segments;
  bool hole = false;  // bounds an unset area inside a set one
};

enum class TraceStatus {
  kOk,
  kBudgetExceeded,  // too much outline to trace; nothing returned
  kFailed,          // the tracer itself failed; nothing returned
};

// Tracer settings for one smoothing level.
struct TraceSettings {
  int corner_surround = 4;    // how local the corner decision is (1..4)
  double alphamax = 1.0;      // corner threshold: lower keeps more corners
  double opttolerance = 0.2;  // how freely neighbouring curves are merged
};

// The schedule of smoothing levels (4 to 30 in use; others are clamped to
// 1..30). A higher level smooths more: the corner threshold and the curve
// merging tolerance grow with the level. Levels 28, 29 and 30 narrow the
// corner decision to 3, 2 and 1 (of 4) neighbours, and "closer" narrows it
// to 1 at every level; the corner threshold is scaled by that fraction, so
// those levels keep more corners:
//   alphamax     = min(4/3, 0.45 + 0.03 * level) * corner_surround / 4
//   opttolerance = 0.05 * level
TraceSettings TraceSettingsForLevel(int smoothing_level, bool closer);

// What tracing the raster costs beyond its passes over the pixels, known
// before it is traced: for every group of set pixels joined at an edge or a
// corner, the square of the corners its boundaries turn at. The tracer's
// search for straight runs walks, from every point, the corners of the run
// it starts; a boundary whose corners all lie along one line (a row of
// one-pixel teeth, pixels joined corner to corner in a zigzag) makes that
// the square of its corners, seconds for 8,000 teeth.
uint64_t TraceCornerWork(const Raster& raster);

// Traces the raster. Tracing is bounded by a work budget measured on the
// raster itself (its area and the length of all pixel boundaries), so the
// outcome depends only on the input.
TraceStatus TraceRaster(const Raster& raster, int smoothing_level, bool closer,
                        std::vector<TracedOutline>& out);

}  // namespace tovrani
