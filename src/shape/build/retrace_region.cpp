#include "shape/build/retrace_region.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/tracer.h"
#include "shape/build/cubic_to_quadratic.h"

namespace tovrani {

bool SizeRetraceRaster(ShapeContext& ctx, int64_t w, int64_t h, RetraceSize& size) {
  ctx.m_nRetraceMaxPixels = kRetraceMaxPixels;
  size = RetraceSize{};
  if (w <= 0 || h <= 0) return false;
  const int64_t area = w * h;  // both below 2^32: no overflow
  if (w <= kRetraceMaxSide && h <= kRetraceMaxSide && area <= ctx.m_nRetraceMaxPixels) {
    size.width = int32_t(w);
    size.height = int32_t(h);
    return true;
  }
  size.scaled = true;
  if (area < 1024)
    size.scale = 2.0;
  else
    size.scale = std::min({double(kRetraceMaxSide) / double(w), double(kRetraceMaxSide) / double(h),
                           std::sqrt(double(ctx.m_nRetraceMaxPixels) / double(area))});
  size.width = int32_t(std::ceil(double(w) * size.scale));
  size.height = int32_t(std::ceil(double(h) * size.scale));
  return true;
}

int TraceRetraceRaster(ShapeContext& ctx, PathRecordList& list, const Raster& raster,
                       const RetraceSize& size, int smoothingLevel) {
  const bool closer = ctx.m_pOptCloserVectorization && *ctx.m_pOptCloserVectorization;
  std::vector<TracedOutline> outlines;
  if (TraceRaster(raster, smoothingLevel, closer, outlines) != TraceStatus::kOk) return 0;
  for (const TracedOutline& outline : outlines) {
    list.Append(kPathMoveTo, 0, 0, RoundHalfUp(outline.start.x), RoundHalfUp(outline.start.y));
    for (const TracedSegment& s : outline.segments) {
      if (s.kind == TracedSegment::Kind::kLine)
        list.Append(kPathLineTo, 0, 0, RoundHalfUp(s.end.x), RoundHalfUp(s.end.y));
      else
        AppendCubicAsQuadratics(list, RoundHalfUp(s.c1.x), RoundHalfUp(s.c1.y), RoundHalfUp(s.c2.x),
                                RoundHalfUp(s.c2.y), RoundHalfUp(s.end.x), RoundHalfUp(s.end.y));
    }
  }
  if (size.scaled) list.ScaleAndRound(1.0 / size.scale);
  return 1;
}

bool PaintRetraceArea(Raster& raster, const RetraceSize& size, const IntRect& box,
                      const Region& area) {
  if (!raster.Resize(size.width, size.height)) return false;
  Region moved(area);
  if (moved.Translate(-box.left, -box.top) == RegionKind::kError) return false;
  raster.Fill(moved);
  return true;
}

int RetraceArea(ShapeContext& ctx, PathRecordList& list, const IntRect& box, const Region& area,
                int smoothingLevel) {
  RetraceSize size;
  if (!SizeRetraceRaster(ctx, int64_t{box.right} - box.left, int64_t{box.bottom} - box.top, size) ||
      size.scaled)
    return -1;
  Raster raster;
  if (!PaintRetraceArea(raster, size, box, area)) return -1;
  return TraceRetraceRaster(ctx, list, raster, size, smoothingLevel);
}

}  // namespace tovrani
