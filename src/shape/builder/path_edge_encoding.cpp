// Path records to edge records: shape-unit deltas from the pen, the inside
// of every outline found by probing its region, the smallest form of every
// delta.
#include <algorithm>

#include "platform/path.h"
#include "platform/region.h"
#include "shape/builder/path_record_list.h"
#include "shape/decode/encoded_shape.h"

namespace tovrani {
namespace {

// Absolute device coordinates are kept within this so that every shape-unit
// position and delta fits 32 bits.
constexpr int64_t kMaxDeviceCoord = (int64_t{1} << 22) - 1;

struct Point64 {
  int64_t x = 0, y = 0;
  bool operator==(const Point64&) const = default;
};

Point64 Anchor(const std::vector<PathRecord>& r, size_t i) {
  return i == 0 ? Point64{} : Point64{r[i - 1].anchorX, r[i - 1].anchorY};
}

int Sign(int64_t v) { return (v > 0) - (v < 0); }

// The records of the outline that starts at `first`: up to a move-to, or
// up to the first record back at `start` when another record follows it.
size_t OutlineEnd(const std::vector<PathRecord>& r, size_t first, Point64 start) {
  size_t i = first;
  for (; i < r.size(); ++i) {
    if (r[i].kind == kPathMoveTo) return i;
    if (Point64{r[i].anchorX, r[i].anchorY} == start && i + 1 < r.size()) return i + 1;
  }
  return i;
}

// The outline as a region, coordinates times `scale` before the curve
// arithmetic (the inner points of a quadratic drawn as a cubic), its fill
// charged to `work`.
RegionKind OutlineRegion(const std::vector<PathRecord>& r, size_t first, size_t end, Point64 start,
                         int64_t scale, ShapeGeometry& work, Region& out) {
  auto fits = [](int64_t v) { return v >= -Path::kMaxCoord && v <= Path::kMaxCoord; };
  auto pt = [&](int64_t x, int64_t y) { return IntPoint{int32_t(x), int32_t(y)}; };
  Path path;
  Point64 prev{start.x * scale, start.y * scale};
  if (!fits(prev.x) || !fits(prev.y)) return RegionKind::kError;
  path.MoveTo(pt(prev.x, prev.y));
  for (size_t i = first; i < end; ++i) {
    const Point64 a{r[i].anchorX * scale, r[i].anchorY * scale};
    const Point64 k{r[i].controlX * scale, r[i].controlY * scale};
    if (!fits(a.x) || !fits(a.y) || !fits(k.x) || !fits(k.y)) return RegionKind::kError;
    if (r[i].kind == kPathCurveTo) {
      // Each difference is taken in device units, then scaled, then divided.
      const int64_t sx = prev.x / scale, sy = prev.y / scale;
      const int64_t kx = r[i].controlX, ky = r[i].controlY, ax = r[i].anchorX, ay = r[i].anchorY;
      path.BezierTo(pt(sx * scale + (2 * (kx - sx)) * scale / 3, sy * scale + (2 * (ky - sy)) * scale / 3),
                    pt(kx * scale + (ax - kx) * scale / 3, ky * scale + (ay - ky) * scale / 3),
                    pt(a.x, a.y));
    } else {
      path.LineTo(pt(a.x, a.y));
    }
    prev = a;
  }
  path.CloseFigure();
  return work.TryFill(path, out);
}

// +1 when exactly p+ lies inside, -1 when exactly p- does, for the first
// leg (from `first` on, at probe distances 1 to 10) that decides.
int ProbeSide(const std::vector<PathRecord>& r, size_t first, Point64 start, int64_t scale,
              const Region& region) {
  for (int64_t d = 1; d <= 10; ++d) {
    for (size_t i = first; i < r.size(); ++i) {
      const Point64 p0 = Anchor(r, i);
      const Point64 p{p0.x * scale, p0.y * scale};
      const bool line = r[i].kind == kPathLineTo;
      const int64_t dx = ((line ? r[i].anchorX : r[i].controlX) - p0.x) * scale;
      const int64_t dy = ((line ? r[i].anchorY : r[i].controlY) - p0.y) * scale;
      Point64 plus, minus;
      if (dx == 0 && dy == 0) {
        plus = {p.x + d, p.y};
        minus = {p.x - d, p.y};
      } else {
        const Point64 m{p.x + dx / 2, p.y + dy / 2};
        const int sx = Sign(-dy), sy = Sign(dx);
        plus = {m.x + d * sx, m.y + d * sy};
        minus = {m.x - d * sx, m.y - d * sy};
      }
      auto inside = [&](Point64 q) {
        return q.x >= INT32_MIN && q.x <= INT32_MAX && q.y >= INT32_MIN && q.y <= INT32_MAX &&
               region.Contains(int32_t(q.x), int32_t(q.y));
      };
      const bool in = inside(plus), out = inside(minus);
      if (in != out) return (dx == 0 && dy == 0) || in ? 1 : -1;
      if (Point64{r[i].anchorX, r[i].anchorY} == start && i + 1 < r.size()) break;
    }
  }
  return 0;
}

// The side a closed outline's own turning gives: clockwise on screen (y
// down, positive shoelace sum of its anchors) is +1.
int OrientationSide(const std::vector<PathRecord>& r, size_t first, size_t end, Point64 start) {
  __int128 sum = 0;
  Point64 prev = start;
  for (size_t i = first; i <= end; ++i) {
    const Point64 a = i < end ? Point64{r[i].anchorX, r[i].anchorY} : start;
    sum += __int128{prev.x} * a.y - __int128{a.x} * prev.y;
    prev = a;
  }
  return (sum > 0) - (sum < 0);
}

}  // namespace

bool PathRecordList::EncodeRecordsAsEdges(const IntRect& box, ShapeOutput& out,
                                          uint32_t& recordCount, ShapeGeometry& work) const {
  recordCount = 0;
  // The geometry's copy, kept within reach of 32-bit shape units.
  std::vector<PathRecord> geo = records;
  const auto clampX = [&](int32_t& v) {
    v = int32_t(std::clamp<int64_t>(v, -kMaxDeviceCoord - box.left, kMaxDeviceCoord - box.left));
  };
  const auto clampY = [&](int32_t& v) {
    v = int32_t(std::clamp<int64_t>(v, -kMaxDeviceCoord - box.top, kMaxDeviceCoord - box.top));
  };
  for (PathRecord& g : geo) clampX(g.controlX), clampY(g.controlY), clampX(g.anchorX), clampY(g.anchorY);

  // The records begin a fresh shape object.
  out.penX = out.penY = 0;
  const auto shape = [&](int32_t v, int32_t origin) { return (int64_t{v} + origin) * 256; };
  Region accumulated;
  bool firstOutline = true;
  int lastSide = 0;
  for (size_t i = 0; i < geo.size(); ++i) {
    ShapeEdge rec;
    const int64_t startX = out.penX, startY = out.penY;
    while (geo[i].kind == kPathMoveTo) {
      if (i + 1 == geo.size()) {  // a trailing move-to starts no edge
        out.penX = startX, out.penY = startY;
        return out.bytes.size() <= ShapeOutput::kMaxBytes;
      }
      out.penX = shape(geo[i].anchorX, box.left);
      out.penY = shape(geo[i].anchorY, box.top);
      ++i;
    }
    rec.move = {out.penX - startX, out.penY - startY};
    rec.hasMove = rec.move.x || rec.move.y;
    const PathRecord& g = geo[i];
    rec.curved = g.kind == kPathCurveTo;
    rec.control = {shape(g.controlX, box.left) - out.penX, shape(g.controlY, box.top) - out.penY};
    rec.anchor = {shape(g.anchorX, box.left) - out.penX, shape(g.anchorY, box.top) - out.penY};

    if (rec.hasMove || recordCount == 0) {
      const Point64 start = Anchor(geo, i);
      const size_t end = OutlineEnd(geo, i, start);
      Region outline;
      int side = 0;
      bool hole = false;
      if (OutlineRegion(geo, i, end, start, 1, work, outline) != RegionKind::kError) {
        const IntRect b = outline.Box();
        if (firstOutline) {
          accumulated = outline;
        } else if (b.right > b.left && b.bottom > b.top) {
          // Each outline is set against all before it: without this charge
          // outlines of many rectangles would cost the square of their count.
          if (!work.Charge(accumulated.RectCount() + outline.RectCount() + 1)) return false;
          Region overlap;
          const RegionKind k = Region::Combine(overlap, accumulated, outline, CombineMode::kAnd);
          if (k != RegionKind::kError && k != RegionKind::kEmpty && overlap == outline) {
            hole = true;
            Region::Combine(accumulated, accumulated, outline, CombineMode::kDiff);
          } else {
            Region::Combine(accumulated, accumulated, outline, CombineMode::kOr);
          }
        }
        const int64_t w = b.right - b.left, h = b.bottom - b.top;
        const int64_t scale = (w >= 10 && h >= 10) || w >= 100 || h >= 100 ? 1 : 256;
        if (scale != 1 && OutlineRegion(geo, i, end, start, scale, work, outline) == RegionKind::kError)
          outline.Clear();
        if (!noSideProbes) side = ProbeSide(geo, i, start, scale, outline);
      }
      if (work.failed) return false;
      firstOutline = false;
      // Probes that find no inside would leave the outline without a fill.
      if (side == 0) side = OrientationSide(geo, i, end, start);
      if (hole) side = -side;
      if (side != 0 && side != lastSide) {
        rec.hasStyles = true;
        rec.fill0 = side < 0;
        rec.fill1 = side > 0;
        out.style[0] = 0, out.style[1] = rec.fill0, out.style[2] = rec.fill1;
        lastSide = side;
      }
    }
    // The pen follows the exact deltas, not what form 3 keeps of them.
    EncodeShapeEdge(out.bytes, rec);
    out.penX += rec.anchor.x;
    out.penY += rec.anchor.y;
    ++recordCount;
    ++out.records;
    if (out.bytes.size() > ShapeOutput::kMaxBytes) return false;
  }
  return true;
}

bool PathRecordList::EncodeAsEdges(ShapeOutput& out, uint32_t& recordCount,
                                   const ShapeRegion& region, std::span<ShapePoint> points,
                                   uint8_t fillSide, ShapeGeometry& work) const {
  const bool ok = EncodeRecordsAsEdges(region.box, out, recordCount, work);
  if (work.failed) return false;
  const Contour* contour = region.First();
  // Nothing written: the region keeps its fill and is written another way.
  if (recordCount == 0 || !contour || (fillSide != 1 && fillSide != 2)) return ok;
  for (uint32_t k = 0; k < contour->count(); ++k) {
    const uint32_t p = contour->points[k], e = contour->edges[k];
    if (p >= points.size() || e >= points[p].edges.size()) continue;
    PointEdge& edge = points[p].edges[e];
    edge.style[fillSide] = 0;
    if (edge.otherPoint < points.size() && edge.twin < points[edge.otherPoint].edges.size())
      points[edge.otherPoint].edges[edge.twin].style[3 - fillSide] = 0;
  }
  return ok;
}

}  // namespace tovrani
