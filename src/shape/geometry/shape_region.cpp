#include "shape/geometry/shape_region.h"

#include <algorithm>
#include <limits>

#include "platform/path_widen.h"

namespace tovrani {

namespace {

int32_t Device(int64_t v) { return int32_t(v / 256); }

// The twin of a step: the same edge walked the other way.
void TwinStep(std::span<const ShapePoint> points, uint32_t p, uint32_t e, uint32_t& tp,
              uint32_t& te) {
  const PointEdge& edge = points[p].edges[e];
  tp = edge.otherPoint;
  te = edge.twin;
}

uint64_t StepKey(uint32_t p, uint32_t e) { return uint64_t(p) << 32 | e; }

// Widens segments [lo, hi) of one figure as an open figure; halves the
// range while the stroker refuses it (round caps and joins make the union
// of the pieces the same pixels).
bool WidenPieces(ShapeGeometry& geo, const Path::Figure& f, size_t lo, size_t hi, int pen,
                 Region& out) {
  Path piece;
  piece.MoveTo(lo == 0 ? f.start : f.segments[lo - 1].end);
  for (size_t i = lo; i < hi; ++i) {
    const Path::Segment& s = f.segments[i];
    if (s.kind == Path::SegmentKind::kCubic)
      piece.BezierTo(s.c1, s.c2, s.end);
    else
      piece.LineTo(s.end);
  }
  if (geo.Widen(piece, pen, out)) return true;
  if (geo.failed || hi - lo < 2) return false;
  const size_t mid = lo + (hi - lo) / 2;
  Region second;
  if (!WidenPieces(geo, f, lo, mid, pen, out) || !WidenPieces(geo, f, mid, hi, pen, second))
    return false;
  return Region::Combine(out, out, second, CombineMode::kOr) != RegionKind::kError;
}

}  // namespace

bool ShapeGeometry::Fill(const Path& path, Region& out) {
  if (TryFill(path, out) == RegionKind::kError) failed = true;
  return !failed;
}

RegionKind ShapeGeometry::TryFill(const Path& path, Region& out) {
  out.Clear();
  if (failed) return RegionKind::kError;
  const uint64_t limit = FillLimit(), before = memory.Now();
  FillWork work{limit, 0, memory.Room(limit)};
  const RegionKind kind = path.ToRegion(out, work);
  // A fill over the limit was refused before its rows were walked; this
  // charge then fails as well.
  if (!Charge(work.spent + memory.Owed(before + work.held))) {
    out.Clear();
    return RegionKind::kError;
  }
  return kind;
}

bool ShapeGeometry::Widen(const Path& path, int penWidth, Region& out) {
  out.Clear();
  const uint64_t limit = FillLimit(), before = memory.Now();
  FillWork work{limit, 0, memory.Room(limit)};
  const RegionKind kind = WidenPathToRegion(path, penWidth, out, &work);
  if (!Charge(work.spent + memory.Owed(before + work.held))) {
    out.Clear();
    return false;
  }
  return kind != RegionKind::kError;
}

bool ShapeGeometry::Band(const Path& path, Region& out, int penWidth) {
  out.Clear();
  if (failed) return false;
  if (Widen(path, penWidth, out)) return true;
  if (failed) return false;
  // Over the stroker's limit: the figures widened piece by piece, the
  // closing chord as a segment of its own.
  for (const Path::Figure& f : path.figures()) {
    Path::Figure open = f;
    if (f.closed && !f.segments.empty() && !(f.segments.back().end == f.start))
      open.segments.push_back({Path::SegmentKind::kLine, {}, {}, f.start});
    Region band;
    if (!WidenPieces(*this, open, 0, open.segments.size(), penWidth, band) ||
        Region::Combine(out, out, band, CombineMode::kOr) == RegionKind::kError) {
      out.Clear();
      failed = true;
      return false;
    }
  }
  return true;
}

Path ContourPath(const Contour& contour, std::span<const ShapePoint> points) {
  Path path;
  if (contour.points.empty()) return path;
  const ShapePoint& first = points[contour.points[0]];
  path.MoveTo(Device(first.x), Device(first.y));
  for (uint32_t i = 0; i < contour.count(); ++i) {
    const ShapePoint& p = points[contour.points[i]];
    const PointEdge& e = p.edges[contour.edges[i]];
    const IntPoint end{Device(e.endX), Device(e.endY)};
    if (e.curved) {
      // Quadratic to cubic in shape units, each control point then divided.
      const int64_t cx = e.controlDx, cy = e.controlDy;
      const int64_t ax = int64_t(e.endX) - p.x, ay = int64_t(e.endY) - p.y;
      const IntPoint c1{Device(p.x + 2 * cx / 3), Device(p.y + 2 * cy / 3)};
      const IntPoint c2{Device(p.x + cx + (ax - cx) / 3), Device(p.y + cy + (ay - cy) / 3)};
      path.BezierTo(c1, c2, end);
    } else {
      path.LineTo(end);
    }
  }
  path.CloseFigure();
  return path;
}

void ShapeRegion::AddContour(uint32_t n, const uint32_t* pointIndexes, const uint32_t* edgeIndexes,
                             std::span<const ShapePoint> points) {
  Contour c;
  c.points.assign(pointIndexes, pointIndexes + n);
  c.edges.assign(edgeIndexes, edgeIndexes + n);
  for (uint32_t p : c.points) {
    minX = std::min(minX, Device(points[p].x));
    maxX = std::max(maxX, Device(points[p].x));
    minY = std::min(minY, Device(points[p].y));
    maxY = std::max(maxY, Device(points[p].y));
  }
  contours.push_back(std::move(c));
  if (contours.size() == 1) Touched();
}

void ShapeRegion::AppendContour(const ShapeRegion& other, std::span<ShapePoint> points,
                                uint32_t regionIndex) {
  if (!other.HasContour()) return;
  const Contour& add = other.contours[0];
  if (contours.empty()) {
    contours.emplace_back();
    kind = other.kind;
    style = other.style;
    joined = 1;
    // A region without a contour (perhaps cleared, which marks it taken)
    // has no order of its own: it takes that of what it now holds, or the
    // correction would never pick it.
    order = other.order;
  }
  Contour& first = contours[0];
  for (uint32_t i = 0; i < add.count(); ++i) {
    const uint32_t p = add.points[i], e = add.edges[i];
    first.Append(p, e);
    PointEdge& edge = points[p].edges[e];
    PointEdge& twin = points[edge.otherPoint].edges[edge.twin];
    if (kind == kFill0Side) {
      edge.regionFill0 = regionIndex;
      twin.regionFill1 = regionIndex;
    } else {
      edge.regionFill1 = regionIndex;
      twin.regionFill0 = regionIndex;
    }
  }
  order = std::max(order, other.order);
  Touched();
}

void ShapeRegion::JoinContours(const ShapeRegion& a, const ShapeRegion& b,
                               std::span<const ShapePoint> points) {
  Contour joinedContour;
  if (a.HasContour()) {
    const Contour& ca = a.contours[0];
    for (uint32_t i = ca.count(); i-- > 0;) {
      uint32_t tp, te;
      TwinStep(points, ca.points[i], ca.edges[i], tp, te);
      joinedContour.Append(tp, te);
    }
  }
  if (b.HasContour()) {
    const Contour& cb = b.contours[0];
    joinedContour.points.insert(joinedContour.points.end(), cb.points.begin(), cb.points.end());
    joinedContour.edges.insert(joinedContour.edges.end(), cb.edges.begin(), cb.edges.end());
  }
  contours.clear();
  contours.push_back(std::move(joinedContour));
  kind = b.kind;
  style = a.style;
  order = std::max(a.order, b.order);
  joined = 1;
  Touched();
}

void ShapeRegion::SetStyle(std::span<ShapePoint> points, uint8_t newStyle) {
  style = newStyle;
  if (!HasContour()) return;
  const int slot = kind == kFill0Side ? 1 : 2;
  const Contour& c = contours[0];
  for (uint32_t i = 0; i < c.count(); ++i) {
    PointEdge& edge = points[c.points[i]].edges[c.edges[i]];
    edge.style[slot] = newStyle;
    points[edge.otherPoint].edges[edge.twin].style[MirrorSlot(slot)] = newStyle;
  }
}

void ShapeRegion::SetLink(int32_t slot, uint32_t regionIndex) {
  if (slot < 0)
    links.push_back(regionIndex);
  else if (size_t(slot) < links.size())
    links[size_t(slot)] = regionIndex;
}

void ShapeRegion::Clear() {
  contours.clear();
  links.clear();
  DeleteRegions();
  order = kClearedOrder;
  Touched();
}

void ShapeRegion::ClearAll() { Clear(); }

void ShapeRegion::DeleteRegions() {
  area.Clear();
  outline.Clear();
}

const std::unordered_set<uint32_t>& ShapeRegion::PointSet() const {
  if (!pointSetValid_) {
    pointSet_.clear();
    if (HasContour()) pointSet_.insert(contours[0].points.begin(), contours[0].points.end());
    pointSetValid_ = true;
  }
  return pointSet_;
}

bool ShapeRegion::HasPointIndex(uint32_t point) const { return PointSet().count(point) != 0; }

IntPoint ShapeRegion::GetStartPoint(std::span<const ShapePoint> points) const {
  if (!HasContour() || contours[0].points.empty()) return {};
  const ShapePoint& p = points[contours[0].points[0]];
  return {p.x, p.y};
}

IntPoint ShapeRegion::GetEndPoint(std::span<const ShapePoint> points) const {
  if (!HasContour() || contours[0].points.empty()) return {};
  const Contour& c = contours[0];
  const PointEdge& e = points[c.points.back()].edges[c.edges.back()];
  return {e.endX, e.endY};
}

bool ShapeRegion::IsReverseOf(const ShapeRegion& other, std::span<const ShapePoint> points) const {
  if (!HasContour() || !other.HasContour()) return false;
  const Contour &a = contours[0], &b = other.contours[0];
  if (a.count() != b.count()) return false;
  const uint32_t n = a.count();
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t tp, te;
    TwinStep(points, b.points[n - 1 - k], b.edges[n - 1 - k], tp, te);
    if (a.points[k] != tp || a.edges[k] != te) return false;
  }
  return true;
}

bool ShapeRegion::SharesEdge(const ShapeRegion& other, std::span<const ShapePoint> points) const {
  if (!HasContour() || !other.HasContour()) return false;
  std::unordered_set<uint64_t> steps;
  const Contour& b = other.contours[0];
  for (uint32_t i = 0; i < b.count(); ++i) steps.insert(StepKey(b.points[i], b.edges[i]));
  const Contour& a = contours[0];
  for (uint32_t i = 0; i < a.count(); ++i) {
    uint32_t tp, te;
    TwinStep(points, a.points[i], a.edges[i], tp, te);
    if (steps.count(StepKey(a.points[i], a.edges[i])) || steps.count(StepKey(tp, te))) return true;
  }
  return false;
}

int32_t ShapeRegion::MatchesReversedRun(const ShapeRegion& other,
                                        std::span<const ShapePoint> points) const {
  if (!HasContour() || !other.HasContour()) return 0;
  const Contour &j = contours[0], &i = other.contours[0];
  int32_t n = 0;
  if (kind != other.kind) {
    while (uint32_t(n) < j.count() && uint32_t(n) < i.count() && j.points[n] == i.points[n] &&
           j.edges[n] == i.edges[n])
      ++n;
    return n;
  }
  while (uint32_t(n) < j.count() && uint32_t(n) < i.count()) {
    uint32_t tp, te;
    TwinStep(points, i.points[n], i.edges[n], tp, te);
    const uint32_t k = j.count() - 1 - uint32_t(n);
    if (j.points[k] != tp || j.edges[k] != te) break;
    ++n;
  }
  return n;
}

bool ShapeRegion::HitTest(int32_t x, int32_t y) const {
  return area.Contains(x, y) || (x < INT32_MAX && y < INT32_MAX && area.Contains(x + 1, y + 1));
}

uint32_t ShapeRegion::BuildRegions(ShapeGeometry& geo, std::span<ShapePoint> points,
                                   uint8_t sideBit, uint8_t, uint32_t regionIndex) {
  index = regionIndex;
  DeleteRegions();
  if (!HasContour()) return 0;
  const Contour& c = contours[0];
  const Path path = ContourPath(c, points);
  if (!geo.Fill(path, area) || !geo.Band(path, outline)) return 0;
  box = area.Box();
  const PointEdge& last = points[c.points.back()].edges[c.edges.back()];
  joined = last.otherPoint != c.points[0] ? 1 : 0;
  // Each physical side is traced once: the side on this entry, and the
  // same side seen from the twin.
  const uint8_t mirrored = MirrorSide(sideBit);
  for (uint32_t i = 0; i < c.count(); ++i) {
    PointEdge& edge = points[c.points[i]].edges[c.edges[i]];
    edge.pending &= uint8_t(~sideBit);
    points[edge.otherPoint].edges[edge.twin].pending &= uint8_t(~mirrored);
  }
  if (!joined && !TestInterior(geo, points, 0)) {
    if (geo.failed) return 0;
    Clear();
    joined = 1;
  }
  return 1;
}

int32_t ShapeRegion::RebuildRegions(ShapeGeometry& geo, std::span<const ShapePoint> points,
                                    uint32_t regionIndex) {
  index = regionIndex;
  DeleteRegions();
  drawOffset = {};
  if (!HasContour()) return 0;
  const Path path = ContourPath(contours[0], points);
  if (!geo.Fill(path, area) || !geo.Band(path, outline)) return 0;
  box = area.Box();
  interiorBox = outline.Box();
  return 1;
}

int32_t ShapeRegion::BuildOutlineRegion(ShapeGeometry& geo, std::span<const ShapePoint> points) {
  area.Clear();
  if (HasContour() && !geo.Band(ContourPath(contours[0], points), area)) return 0;
  box = interiorBox = area.Box();
  return 1;
}

uint8_t ShapeRegion::AddContourRegion(ShapeGeometry& geo, std::span<const ShapePoint> points) {
  if (contours.empty()) return 0;
  if (contours.size() == 1) {
    confirmed = geo.Fill(ContourPath(contours[0], points), area) ? 1 : 0;
    return confirmed;
  }
  // A later contour replaces the outline only when it is a strict part of
  // the area, so regrowing from it always shrinks and the search ends.
  Region r, common;
  if (geo.Fill(ContourPath(contours.back(), points), r) &&
      Region::Combine(common, r, area, CombineMode::kAnd) != RegionKind::kError && common == r &&
      !(r == area)) {
    contours.front() = std::move(contours.back());
    contours.resize(1);
    area = std::move(r);
    Touched();
    confirmed = 1;
    return 1;
  }
  contours.resize(contours.size() - 1);
  confirmed = 0;
  return 0;
}

uint8_t ShapeRegion::TestInterior(ShapeGeometry& geo, std::span<const ShapePoint> points, uint8_t) {
  Region inner;
  if (Region::Combine(inner, area, outline, CombineMode::kDiff) == RegionKind::kError) {
    geo.failed = true;
    return 0;
  }
  if (inner.IsEmpty()) return 0;
  interiorBox = inner.Box();
  ProbeInterior(points);
  return 1;
}

void ShapeRegion::ProbeInterior(std::span<const ShapePoint> points) {
  // Six times the signed area, exact in 128 bits; curves add their bulge.
  __int128 s = 0;
  if (HasContour()) {
    const Contour& c = contours[0];
    auto step = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
      s += __int128(3) * (__int128(x0) * y1 - __int128(x1) * y0);
    };
    for (uint32_t i = 0; i < c.count(); ++i) {
      const ShapePoint& p = points[c.points[i]];
      const PointEdge& e = p.edges[c.edges[i]];
      step(p.x, p.y, e.endX, e.endY);
      if (e.curved) {
        const int64_t cx = int64_t(p.x) + e.controlDx, cy = int64_t(p.y) + e.controlDy;
        s += __int128(2) * (__int128(cx - p.x) * (int64_t(e.endY) - p.y) -
                            __int128(cy - p.y) * (int64_t(e.endX) - p.x));
      }
    }
    if (c.count()) {
      const PointEdge& last = points[c.points.back()].edges[c.edges.back()];
      const ShapePoint& first = points[c.points[0]];
      step(last.endX, last.endY, first.x, first.y);
    }
  }
  probe = ((kind == kFill1Side && s > 0) || (kind == kFill0Side && s < 0)) ? 0 : 1;
}

void ShapeRegion::SubtractRegion(const ShapeRegion& other) {
  Region::Combine(area, area, other.area, CombineMode::kDiff);
}

void ShapeRegion::UniteRegion(const ShapeRegion& other) {
  Region::Combine(area, area, other.area, CombineMode::kOr);
}

bool ShapeRegion::ConfirmOverlap(const ShapeRegion& other, const Region& overlap) const {
  Region borders, rest;
  if (Region::Combine(borders, outline, other.outline, CombineMode::kOr) == RegionKind::kError ||
      Region::Combine(rest, overlap, borders, CombineMode::kDiff) == RegionKind::kError)
    return false;
  return !rest.IsEmpty();
}

bool ShapeRegion::ConfirmOverlapLinked(const ShapeRegion& other, const ShapeRegion& linked,
                                       const Region& overlap) const {
  Region borders, rest;
  if (Region::Combine(borders, linked.outline, outline, CombineMode::kOr) == RegionKind::kError ||
      Region::Combine(borders, borders, other.outline, CombineMode::kOr) == RegionKind::kError ||
      Region::Combine(rest, overlap, linked.area, CombineMode::kDiff) == RegionKind::kError ||
      Region::Combine(rest, rest, borders, CombineMode::kDiff) == RegionKind::kError)
    return false;
  return !rest.IsEmpty();
}

}  // namespace tovrani
