// Re-vectorising a problem area: the area is painted into a bilevel raster
// (scaled down when it is too large), traced again at a smoothing level, and
// the traced outlines become path records in device units relative to the
// area's box.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/raster.h"
#include "platform/region.h"
#include "shape/builder/path_record_list.h"
#include "shape/geometry/shape_region.h"
#include "shape/shape_context.h"

namespace tovrani {

constexpr int32_t kRetraceMaxPixels = 65536;
constexpr int32_t kRetraceMaxSide = 28672;

struct RetraceSize {
  int32_t width = 0;  // raster size
  int32_t height = 0;
  double scale = 1.0;
  bool scaled = false;
};

// The raster for a box of w x h device units; sets m_nRetraceMaxPixels.
// False for a box without area.
bool SizeRetraceRaster(ShapeContext& ctx, int64_t w, int64_t h, RetraceSize& size);

// The unscaled painting: a cleared raster of the size with the area region
// (device units) filled in, the box's top-left corner at its origin. False
// when the raster is not made.
bool PaintRetraceArea(Raster& raster, const RetraceSize& size, const IntRect& box,
                      const Region& area);

// One step of a contour in shape units: from (x0, y0) to (x1, y1), curved
// with the control point at (x0 + controlDx, y0 + controlDy).
struct RetraceStep {
  int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int64_t controlDx = 0, controlDy = 0;
  bool curved = false;
};

// The scaled painting: the contour as one closed figure, mapped into the
// raster by the size's scale (a curve as the cubic of its own integer
// inner points), filled even-odd, the fill charged to `geo` when given.
// False when the raster or the figure is not made, or `geo` gives out.
bool PaintRetraceContour(Raster& raster, const RetraceSize& size, const IntRect& box,
                         const std::vector<RetraceStep>& steps, ShapeGeometry* geo = nullptr);

// Traces the painted raster into `list` (count 0 on entry) and scales the
// result back when the raster was scaled. When the fitted outlines cross
// where the traced ones do not, the trace is fitted again more closely
// (in device units when the raster was scaled down). 1 traced (the list
// may be empty), 0 the tracer failed (list unchanged). With `crosses`
// given, a traced list comes back cleaned as `TracedPathCrosses` leaves
// it, and *crosses holds that test's answer for it. With `geo` given, the
// tracing (TraceCornerWork) and every closer fit's crossing test are
// charged to it first; 0 when it gives out (geo->failed set).
int TraceRetraceRaster(ShapeContext& ctx, PathRecordList& list, const Raster& raster,
                       const RetraceSize& size, int smoothingLevel, bool* crosses = nullptr,
                       ShapeGeometry* geo = nullptr);

// Paints the region (unscaled: its area region; scaled: its first contour
// only) and traces it at the smoothing level into `list` (count 0 on
// entry), in device units relative to the region's box. 1 traced (the list
// may be empty), 0 the tracer failed, -1 the raster was not made (an empty
// box among others); on 0 and -1 the list is unchanged. `crosses` and
// `geo` as for TraceRetraceRaster; the painting is charged to `geo` too.
// Without `geo` nothing is bounded but the raster's size (tests and tools).
int RetraceRegion(ShapeContext& ctx, PathRecordList& list, const ShapeRegion& region,
                  std::span<const ShapePoint> points, int smoothingLevel, bool* crosses = nullptr,
                  ShapeGeometry* geo = nullptr);

}  // namespace tovrani
