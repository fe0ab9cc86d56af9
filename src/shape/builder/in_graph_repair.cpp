// A shape that is only analysed (no page to write objects into) and has a
// problem is repaired inside its graph: a new graph keeps the regions that
// neither cross themselves nor what is kept, nor partly cover it, and the
// strokes that stay visible; the rebuild then writes that graph. Also the
// clean-up of near-coincident edges that only such shapes get.
#include <cmath>

#include "shape/builder/outline_crossing.h"
#include "shape/builder/shape_builder.h"

namespace tovrani {

namespace {

int32_t Device(int64_t v) { return int32_t(v / 256); }

bool Overlaps(RegionKind k) { return k != RegionKind::kError && k != RegionKind::kEmpty; }

// One edge as an open path in device units (a curve as its cubic).
Path EdgePath(const ShapePoint& p, const PointEdge& e) {
  Path path;
  path.MoveTo(Device(p.x), Device(p.y));
  const IntPoint end{Device(e.endX), Device(e.endY)};
  if (e.curved) {
    const int64_t cx = e.controlDx, cy = e.controlDy;
    const int64_t ax = int64_t(e.endX) - p.x, ay = int64_t(e.endY) - p.y;
    path.BezierTo({Device(p.x + 2 * cx / 3), Device(p.y + 2 * cy / 3)},
                  {Device(p.x + cx + (ax - cx) / 3), Device(p.y + cy + (ay - cy) / 3)}, end);
  } else {
    path.LineTo(end);
  }
  return path;
}

// Builds the new graph step by step.
class RepairGraph {
 public:
  explicit RepairGraph(std::span<ShapePoint> points) : points_(points) {}

  ShapeGraph graph;
  bool any = false;
  uint32_t lastEnd = 0;  // where the last inserted step ended

  // fillSide 1 or 2 for a region's step, 0 for a loose stroke.
  void Insert(uint32_t p, uint32_t e, uint8_t fillSide) {
    const ShapePoint& from = points_[p];
    const PointEdge& E = from.edges[e];
    const uint32_t s = graph.FindOrAddPoint(from.x, from.y);
    const auto dup = graph.FindDuplicate(s, E.endX, E.endY, E.curved, E.controlDx, E.controlDy);
    if (dup) {
      PointEdge& d = graph.Edge(s, *dup);
      if (fillSide == 0) {
        graph.SetSlot(s, *dup, 0, E.style[0], E.ordinal[0]);
      } else {
        for (int slot = 0; slot < 3; ++slot)
          if (slot != 3 - fillSide && E.style[slot])
            graph.SetSlot(s, *dup, slot, E.style[slot], E.ordinal[slot]);
      }
      lastEnd = d.otherPoint;
    } else {
      PointEdge n;
      n.curved = E.curved;
      n.controlDx = E.controlDx;
      n.controlDy = E.controlDy;
      n.style[0] = E.style[0];
      n.ordinal[0] = E.ordinal[0];
      if (fillSide) {
        n.style[fillSide] = E.style[fillSide];
        n.ordinal[fillSide] = E.ordinal[fillSide];
      }
      const uint32_t q = graph.FindOrAddPoint(E.endX, E.endY);
      graph.AddEdge(s, q, n);
      lastEnd = q;
    }
    any = true;
  }

  void InsertContour(const Contour& c, uint8_t fillSide) {
    for (uint32_t k = 0; k < c.count(); ++k)
      if (c.points[k] < points_.size() && c.edges[k] < points_[c.points[k]].edges.size())
        Insert(c.points[k], c.edges[k], fillSide);
  }

 private:
  std::span<ShapePoint> points_;
};

uint8_t FillSideOf(const ShapeRegion& r) { return r.kind == kFill1Side ? 2 : 1; }

}  // namespace

ShapeBuilder::Outcome ShapeBuilder::RepairInGraph() {
  block.recordCount = 0;
  std::span<ShapePoint> points = graph.span();
  IntersectionTests tests(geo);
  RepairGraph ng(points);
  Region covered;
  bool haveCovered = false;

  // A step that is an edge of the new graph already (a border of two kept
  // regions) merges into it rather than crossing it.
  auto keptAlready = [&](const ShapePoint& from, const PointEdge& e) {
    const ShapeGraph& g = ng.graph;
    if (const auto s = g.FindPoint(from.x, from.y))
      if (g.FindDuplicate(*s, e.endX, e.endY, e.curved, e.controlDx, e.controlDy)) return true;
    if (const auto s = g.FindPoint(e.endX, e.endY)) {
      const int32_t cdx = e.curved ? int32_t(int64_t(e.controlDx) - e.anchorDx) : 0;
      const int32_t cdy = e.curved ? int32_t(int64_t(e.controlDy) - e.anchorDy) : 0;
      if (g.FindDuplicate(*s, from.x, from.y, e.curved, cdx, cdy)) return true;
    }
    return false;
  };
  auto crossesKept = [&](const ShapeRegion& r) {
    return ng.any && ContourCrossesEdges(tests, r, points, ng.graph.span(), keptAlready);
  };
  auto insertLinked = [&](const ShapeRegion& r) {
    for (uint32_t l : r.links) {
      if (l >= regions.size() || regions[l].get() == &r) continue;
      const ShapeRegion& L = *regions[l];
      if (!L.HasContour() || L.joined || ContourCrossesItself(tests, L, points) || crossesKept(L))
        continue;
      ng.InsertContour(*L.First(), FillSideOf(L));
    }
  };

  for (uint32_t e = 0; e < regions.size(); ++e) {
    const ShapeRegion& r = *regions[e];
    if (!r.HasContour() || r.probe != 0 || r.joined) continue;
    const uint64_t n = r.First()->count();
    if (!Charge(n * n / 16 + ng.graph.pointCount() + 1)) return Outcome::kAbandon;
    if (ContourCrossesItself(tests, r, points) || crossesKept(r)) continue;
    if (ng.any && haveCovered) {
      // A region lying partly over what is kept would hide part of it.
      Region common;
      if (Overlaps(Region::Combine(common, r.area, covered, CombineMode::kAnd)) &&
          !(common == r.area))
        continue;
    }
    if (haveCovered)
      Region::Combine(covered, covered, r.area, CombineMode::kOr);
    else
      covered = r.area;
    haveCovered = true;
    ng.InsertContour(*r.First(), FillSideOf(r));
    insertLinked(r);
    if (geo.failed) return Outcome::kAbandon;
  }

  if (ng.any) {
    // The loose strokes, each unless it crosses what is kept or lies in a
    // kept fill (a few pixels where it meets the fill at a kept point
    // excepted).
    Contour list;
    list.points = lineEdges.points;
    list.edges = lineEdges.edges;
    for (uint32_t i = 0; i < list.count(); ++i) {
      const uint32_t p = list.points[i], e = list.edges[i];
      if (p >= points.size() || e >= points[p].edges.size()) continue;
      if (!Charge(ng.graph.pointCount() + 1)) return Outcome::kAbandon;
      const ShapePoint& from = points[p];
      const PointEdge& edge = from.edges[e];
      if (ContourStepCrossesEdges(tests, list, i, points, ng.graph.span())) continue;
      bool accept = true;
      if (haveCovered) {
        Region stroke, common;
        if (!geo.Band(EdgePath(from, edge), stroke)) return Outcome::kAbandon;
        const RegionKind k = Region::Combine(common, stroke, covered, CombineMode::kAnd);
        if (Overlaps(k)) {
          const bool atKeptPoint = ng.graph.FindPoint(from.x, from.y).has_value() ||
                                   ng.graph.FindPoint(edge.endX, edge.endY).has_value();
          const int64_t a = stroke.Area(), b = common.Area();
          accept = !(common == stroke) && atKeptPoint && a > b + 4 && b < 5;
        }
      }
      if (accept) ng.Insert(p, e, 0);
    }
  } else {
    // Nothing could be kept: the first region with an interior is, closed
    // by a straight edge; the loose strokes go.
    for (uint32_t e = 0; e < regions.size() && !ng.any; ++e) {
      ShapeRegion& r = *regions[e];
      if (!r.HasContour() || !r.TestInterior(geo, points, 0)) continue;
      ng.InsertContour(*r.First(), FillSideOf(r));
      insertLinked(r);
      const uint32_t last = ng.lastEnd;
      ShapeGraph& g = ng.graph;
      if (ng.any && last != 0 && !g.points[0].edges.empty()) {
        const PointEdge first = g.points[0].edges[0];
        PointEdge closing;
        for (int s = 0; s < 3; ++s) {
          closing.style[s] = first.style[s];
          closing.ordinal[s] = first.ordinal[s];
        }
        const uint32_t at = g.AddEdge(last, 0, closing);
        // The twin carries the bytes of the first edge's twin.
        const PointEdge firstTwin = g.TwinOf(g.points[0].edges[0]);
        PointEdge& t = g.TwinOf(g.Edge(last, at));
        for (int s = 0; s < 3; ++s) {
          t.style[s] = firstTwin.style[s];
          t.ordinal[s] = firstTwin.ordinal[s];
        }
        // Keep the pair mirrored: the entry takes the twin's bytes mirrored.
        PointEdge& c = g.Edge(last, at);
        for (int s = 0; s < 3; ++s) {
          c.style[MirrorSlot(s)] = t.style[s];
          c.ordinal[MirrorSlot(s)] = t.ordinal[s];
        }
      }
    }
    if (geo.failed) return Outcome::kAbandon;
    if (!ng.any) return Outcome::kLeave;
  }
  lineEdges = {};
  graph = std::move(ng.graph);
  return Outcome::kGoOn;
}

ShapeBuilder::Outcome ShapeBuilder::RemoveNearCoincidentEdges() {
  const uint32_t count = graph.pointCount();
  auto startAngle = [](const PointEdge& e) {
    return e.curved ? DirectionAngle(e.controlDx, e.controlDy) : DirectionAngle(e.anchorDx, e.anchorDy);
  };
  auto endAngle = [](const PointEdge& e) { return DirectionAngle(e.anchorDx, e.anchorDy); };
  auto straighten = [&](uint32_t p, uint32_t e) {
    PointEdge& a = graph.Edge(p, e);
    PointEdge& t = graph.TwinOf(a);
    // A straight pair keeps no control point (the graph's own rule).
    a.curved = t.curved = 0;
    a.controlDx = a.controlDy = t.controlDx = t.controlDy = 0;
  };
  auto filled = [](const PointEdge& e) { return e.style[1] || e.style[2]; };
  // Each point once, in the order read; one that a removal empties is
  // passed over.
  for (uint32_t p = 0; p < count; ++p) {
    if (graph.IsRemoved(p)) continue;
    uint32_t j = 0;
    while (j + 1 < graph.points[p].edges.size()) {
      if (!Charge(graph.points[p].edges.size())) return Outcome::kAbandon;
      bool changed = false, removedLast = false;
      const std::vector<PointEdge>& edges = graph.points[p].edges;
      for (uint32_t k = j + 1; k < edges.size(); ++k) {
        const PointEdge &ej = edges[j], &ek = edges[k];
        const double sj = startAngle(ej), sk = startAngle(ek);
        if (!(std::fabs(sj - sk) < 1.0)) continue;
        const double nj = endAngle(ej), nk = endAngle(ek);
        if (std::fabs(nj - sk) > 1.0) {
          straighten(p, j);
        } else if (std::fabs(sj - nk) > 1.0) {
          straighten(p, k);
        } else if (std::fabs(nj - nk) > 1.0) {
          straighten(p, j);
          straighten(p, k);
        } else {
          // The same edge twice: the later one goes, or the line-only one
          // where the other carries a fill.
          const bool differ = ej.style[0] != ek.style[0] || ej.style[1] != ek.style[1] ||
                              ej.style[2] != ek.style[2];
          const uint32_t gone = differ && filled(ek) && !filled(ej) ? j : k;
          const uint32_t other = graph.Edge(p, gone).otherPoint;
          if (!graph.RemovePair(p, gone)) return Outcome::kAbandon;
          if (other != p && graph.points[other].edges.empty()) graph.MarkRemoved(other);
          removedLast = gone == graph.points[p].edges.size();
        }
        changed = true;
        break;
      }
      if (!changed) {
        ++j;
      } else if (removedLast) {
        ++j;
      } else {
        j = 0;
      }
    }
    if (graph.points[p].edges.empty()) graph.MarkRemoved(p);
  }
  graph.Compact();
  return Outcome::kGoOn;
}

}  // namespace tovrani
