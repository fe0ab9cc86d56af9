#include "shape/builder/retrace_region.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/path.h"
#include "platform/tracer.h"
#include "shape/builder/cubic_to_quadratic.h"
#include "shape/builder/outline_crossing.h"

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

namespace {

// The traced outlines as path records. `unit` is the record unit in raster
// pixels: 1 fits in raster pixels and scales the records back when the
// raster was scaled; a scaled raster's 1 / scale fits in device units at
// once. Every cubic is fitted within `tolerance` raster pixels.
void AppendTracedOutlines(PathRecordList& list, const std::vector<TracedOutline>& outlines,
                          const RetraceSize& size, double unit, float tolerance) {
  auto at = [unit](double v) { return RoundHalfUp(v * unit); };
  for (const TracedOutline& outline : outlines) {
    list.Append(kPathMoveTo, 0, 0, at(outline.start.x), at(outline.start.y));
    for (const TracedSegment& s : outline.segments) {
      if (s.kind == TracedSegment::Kind::kLine)
        list.Append(kPathLineTo, 0, 0, at(s.end.x), at(s.end.y));
      else
        AppendCubicAsQuadratics(list, at(s.c1.x), at(s.c1.y), at(s.c2.x), at(s.c2.y), at(s.end.x),
                                at(s.end.y), float(tolerance * unit));
    }
  }
  if (size.scaled && unit == 1.0) list.ScaleAndRound(1.0 / size.scale);
}

}  // namespace

int TraceRetraceRaster(ShapeContext& ctx, PathRecordList& list, const Raster& raster,
                       const RetraceSize& size, int smoothingLevel, bool* crosses,
                       ShapeGeometry* geo) {
  const bool closer = ctx.m_pOptCloserVectorization && *ctx.m_pOptCloserVectorization;
  // The pixels were paid for with the raster; what a boundary of many
  // corners adds is paid here, before the tracer spends it.
  if (geo && !geo->Charge(TraceCornerWork(raster))) return 0;
  std::vector<TracedOutline> outlines;
  if (TraceRaster(raster, smoothingLevel, closer, outlines) != TraceStatus::kOk) return 0;
  PathRecordList fitted;
  AppendTracedOutlines(fitted, outlines, size, 1.0, kFitTolerance);
  // Each fitted piece may stray up to the tolerance, and its points up to
  // half a raster pixel, towards an outline that runs beside it: where two
  // outlines run a pixel or two apart (across a gap, a neck or a hole of a
  // pixel) their fits can cross although the traced outlines do not. Such
  // a trace is fitted again more closely: a raster scaled down has its
  // points rounded to device units rather than to its own coarser pixels,
  // and the tolerance is halved each time. When no fit comes out clean the
  // trace itself crosses, and the first fit stands.
  // The test cleans the list it judges, which changes nothing it draws.
  bool crossing = TracedPathCrosses(fitted);
  if (crossing) {
    const double unit = size.scaled && size.scale < 1.0 ? 1.0 / size.scale : 1.0;
    for (float tolerance = unit > 1.0 ? kFitTolerance : kFitTolerance / 2;
         tolerance >= kFinestFitTolerance; tolerance /= 2) {
      PathRecordList refit;
      AppendTracedOutlines(refit, outlines, size, unit, tolerance);
      // Priced as the caller prices the test of the list it gets back.
      const uint64_t n = refit.records.size();
      if (geo && !geo->Charge(n * n / 16 + 1)) return 0;
      if (!TracedPathCrosses(refit)) {
        fitted = std::move(refit);
        crossing = false;
        break;
      }
    }
  }
  list.records.insert(list.records.end(), fitted.records.begin(), fitted.records.end());
  if (crosses) *crosses = crossing;
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

bool PaintRetraceContour(Raster& raster, const RetraceSize& size, const IntRect& box,
                         const std::vector<RetraceStep>& steps, ShapeGeometry* geo) {
  if (!raster.Resize(size.width, size.height)) return false;
  auto map = [&](int64_t device, int32_t origin) {
    const double v = std::floor(double(device - origin) * size.scale + 0.5);
    return int32_t(std::clamp(v, -double(Path::kMaxCoord) - 1, double(Path::kMaxCoord) + 1));
  };
  auto point = [&](int64_t x, int64_t y) { return IntPoint{map(x, box.left), map(y, box.top)}; };
  Path path;
  if (steps.empty()) return true;
  path.MoveTo(point(steps[0].x0 / 256, steps[0].y0 / 256));
  for (const RetraceStep& s : steps) {
    if (!s.curved) {
      path.LineTo(point(s.x1 / 256, s.y1 / 256));
      continue;
    }
    const IntPoint c1 = point(s.x0 / 256 + ((2 * s.controlDx) / 256) / 3,
                              s.y0 / 256 + ((2 * s.controlDy) / 256) / 3);
    const IntPoint c2 = point((s.x0 + s.controlDx) / 256 + ((s.x1 - s.x0 - s.controlDx) / 256) / 3,
                              (s.y0 + s.controlDy) / 256 + ((s.y1 - s.y0 - s.controlDy) / 256) / 3);
    path.BezierTo(c1, c2, point(s.x1 / 256, s.y1 / 256));
  }
  path.CloseFigure();
  Region region;
  // Every row each step crosses, as many times as the retrace is repeated.
  const RegionKind kind = geo ? geo->TryFill(path, region) : path.ToRegion(region);
  if (kind == RegionKind::kError) return false;
  raster.Fill(region);
  return true;
}

int RetraceRegion(ShapeContext& ctx, PathRecordList& list, const ShapeRegion& region,
                  std::span<const ShapePoint> points, int smoothingLevel, bool* crosses,
                  ShapeGeometry* geo) {
  const IntRect& box = region.box;
  RetraceSize size;
  // A box without area would ask for an empty raster.
  if (!SizeRetraceRaster(ctx, int64_t{box.right} - box.left, int64_t{box.bottom} - box.top, size))
    return -1;
  Raster raster;
  if (!size.scaled) {
    if (!PaintRetraceArea(raster, size, box, region.area)) return -1;
  } else {
    std::vector<RetraceStep> steps;
    if (const Contour* c = region.First()) {
      for (uint32_t k = 0; k < c->count(); ++k) {
        const uint32_t p = c->points[k], e = c->edges[k];
        if (p >= points.size() || e >= points[p].edges.size()) return -1;
        const PointEdge& edge = points[p].edges[e];
        steps.push_back({points[p].x, points[p].y, edge.endX, edge.endY, edge.controlDx,
                         edge.controlDy, edge.curved != 0});
      }
    }
    if (!PaintRetraceContour(raster, size, box, steps, geo)) return -1;
  }
  return TraceRetraceRaster(ctx, list, raster, size, smoothingLevel, crosses, geo);
}

}  // namespace tovrani
