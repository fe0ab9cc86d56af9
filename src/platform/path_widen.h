// Widening a path with a round pen: the pixels within half the pen's width
// of any drawn segment (round caps and joins), sampled and half-open as in
// the filler. The band never fills the inside of a closed figure.
#pragma once

#include "platform/path.h"
#include "platform/region.h"

namespace tovrani {

// Pen widths below 1 count as 1 (a thin pen still covers one pixel row);
// widths above kMaxPenWidth fail. Open figures are stroked as drawn (no
// chord), closed figures including their closing line. kError (and an
// empty region) on out-of-range coordinates or an exhausted work budget;
// with a work record, the band's fill is charged to it (see FillWork).
constexpr int kMaxPenWidth = 64;
RegionKind WidenPathToRegion(const Path& path, int pen_width, Region& out,
                             FillWork* work = nullptr);

}  // namespace tovrani
