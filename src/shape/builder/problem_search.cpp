// The edge-pair stage of the vector problem search, and the turning around
// of regions traced on the wrong side. Only pairs whose boxes overlap
// strictly can answer true, so a sweep over the edges' boxes visits those
// of the pairs the full double loop would test, and gives its answer.
#include <algorithm>

#include "shape/builder/shape_builder.h"
#include "shape/geometry/edge_intersection.h"
#include "platform/path.h"

namespace tovrani {

namespace {

struct SweepEdge {
  uint32_t point, edge;
  int64_t minX, maxX, minY, maxY;
};

// Pairs met by a sweep are compared by their boxes alone, read one after
// the other: some 8 take the time of a unit.
constexpr uint64_t kPairsMetPerUnit = 8;

}  // namespace

ShapeBuilder::Outcome ShapeBuilder::SearchEdgeProblems(bool& problem) {
  problem = false;
  const uint32_t count = graph.pointCount();
  if (ctx.m_pShell) {
    ctx.m_pShell->SetCurrentAction("adding shape -> searching for vector problems...");
    ctx.m_pShell->BeginSubTask(0, count > 3 ? count - 3 : 0);
  }
  // Each edge once, from its lower end, with the box its tests reject by.
  std::vector<SweepEdge> edges;
  for (uint32_t p = 0; p < count; ++p) {
    const ShapePoint& sp = graph.points[p];
    for (uint32_t e = 0; e < sp.edges.size(); ++e) {
      const PointEdge& pe = sp.edges[e];
      if (pe.otherPoint <= p) continue;
      SweepEdge s{p, e, std::min<int64_t>(sp.x, pe.endX), std::max<int64_t>(sp.x, pe.endX),
                  std::min<int64_t>(sp.y, pe.endY), std::max<int64_t>(sp.y, pe.endY)};
      if (pe.curved) {
        const int64_t cx = int64_t(sp.x) + pe.controlDx, cy = int64_t(sp.y) + pe.controlDy;
        s.minX = std::min(s.minX, cx);
        s.maxX = std::max(s.maxX, cx);
        s.minY = std::min(s.minY, cy);
        s.maxY = std::max(s.maxY, cy);
      }
      edges.push_back(s);
    }
  }
  if (!Charge(edges.size())) return Outcome::kAbandon;

  // Whether the search tests e (first edge) against f, and what it answers.
  auto test = [&](const SweepEdge& a, const SweepEdge& b) {
    const uint32_t i = a.point, j = b.point;
    if (uint64_t(i) + 3 >= count || j < i) return false;
    const ShapePoint &pi = graph.points[i], &pj = graph.points[j];
    const PointEdge &e = pi.edges[a.edge], &f = pj.edges[b.edge];
    const bool separating = e.style[1] != e.style[2];
    if (!separating && f.style[1] == e.style[1] && f.style[2] == e.style[1]) return false;
    if (e.curved) {
      return IntersectEdges(geo, e.endX, e.endY, f.endX, f.endY, pi.x, pi.y, pj.x, pj.y,
                            e.controlDx, f.controlDx, e.controlDy, f.controlDy,
                            f.curved ? kTwoCurves : kCurveStraight);
    }
    if (j == e.otherPoint) return false;
    if (f.curved)
      return IntersectEdges(geo, e.endX, e.endY, f.endX, f.endY, pi.x, pi.y, pj.x, pj.y, 0,
                            f.controlDx, 0, f.controlDy, kStraightCurve);
    if (j == i || f.otherPoint == i || f.otherPoint == e.otherPoint) return false;
    return IntersectSegments(pj.x, pj.y, pi.x, pi.y, f.endX, f.endY, e.endX, e.endY);
  };

  // The cancel request is read before every first edge, in the order the
  // loops take them.
  uint32_t lastPoint = UINT32_MAX;
  for (const SweepEdge& s : edges) {
    if (uint64_t(s.point) + 3 >= count) break;
    if (s.point != lastPoint) {
      Progress(s.point);
      lastPoint = s.point;
    }
    if (Pump()) return Outcome::kLeave;
  }

  // By the left of their boxes, in table order where equal; the sweep
  // then reads them one after the other.
  if (!Charge(SortWork(edges.size()))) return Outcome::kAbandon;
  std::stable_sort(edges.begin(), edges.end(),
                   [](const SweepEdge& x, const SweepEdge& y) { return x.minX < y.minX; });
  uint64_t met = 0;
  for (size_t k = 0; k < edges.size(); ++k) {
    const SweepEdge& a = edges[k];
    for (size_t l = k + 1; l < edges.size(); ++l) {
      const SweepEdge& b = edges[l];
      if (b.minX >= a.maxX) break;
      // Pairs the sweep meets cost even when their boxes miss in y, as
      // edges stacked over one stretch of x do pair by pair: a unit per
      // kPairsMetPerUnit.
      if (++met % kPairsMetPerUnit == 0) {
        if (!Charge(1)) return Outcome::kAbandon;
        if (met % 4096 == 0 && Pump()) return Outcome::kLeave;
      }
      if (b.maxX <= a.minX || b.maxY <= a.minY || a.maxY <= b.minY) continue;
      if (!Charge(1)) return Outcome::kAbandon;
      if (test(a, b) || test(b, a)) {
        problem = true;
        return Outcome::kGoOn;
      }
      if (geo.failed) return Outcome::kAbandon;
    }
  }
  return geo.failed ? Outcome::kAbandon : Outcome::kGoOn;
}

ShapeBuilder::Outcome ShapeBuilder::SearchRegionProblems(bool& problem) {
  problem = false;
  const uint32_t count = uint32_t(regions.size());
  if (ctx.m_pShell) ctx.m_pShell->BeginSubTask(0, count ? count - 1 : 0);
  // Plain closed regions with their fill inside, by the left edge of their
  // interior box: only pairs whose interior boxes overlap are tested.
  struct SweepRegion {
    IntRect box;
    uint32_t index;
  };
  std::vector<SweepRegion> order;
  for (uint32_t a = 0; a < count; ++a) {
    const ShapeRegion& r = *regions[a];
    if (r.HasContour() && !r.joined && r.probe == 0) order.push_back({r.interiorBox, a});
  }
  if (!Charge(SortWork(order.size()))) return Outcome::kAbandon;
  std::stable_sort(order.begin(), order.end(),
                   [](const SweepRegion& x, const SweepRegion& y) { return x.box.left < y.box.left; });
  bool spent = false;
  auto linkedAgree = [&](const ShapeRegion& self, const ShapeRegion& other, const Region& overlap) {
    for (uint32_t l : self.links) {
      if (l >= count) continue;
      if (!ChargePair({&regions[l]->area, &regions[l]->outline, &overlap})) {
        spent = true;
        return false;
      }
      if (!self.ConfirmOverlapLinked(other, *regions[l], overlap)) return false;
    }
    return true;
  };
  uint64_t met = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const ShapeRegion& first = *regions[order[k].index];
    const IntRect fb = order[k].box;
    Progress(order[k].index + 1);
    for (size_t l = k + 1; l < order.size(); ++l) {
      const IntRect sb = order[l].box;
      if (sb.left >= fb.right) break;
      // Pairs met cost even when their boxes miss each other in y.
      if (++met % kPairsMetPerUnit == 0 && !Charge(1)) return Outcome::kAbandon;
      if (!(fb.bottom > sb.top && sb.bottom > fb.top && sb.right > fb.left)) continue;
      const ShapeRegion& second = *regions[order[l].index];
      // Tested as the pair (a, b) with a first in the table.
      const bool inOrder = order[k].index < order[l].index;
      const ShapeRegion& a = inOrder ? first : second;
      const ShapeRegion& b = inOrder ? second : first;
      if (!ChargePair({&a.area, &b.area, &a.outline, &b.outline})) return Outcome::kAbandon;
      Region overlap;
      const RegionKind kind = Region::Combine(overlap, a.area, b.area, CombineMode::kAnd);
      if (kind == RegionKind::kError || kind == RegionKind::kEmpty) continue;
      const bool confirmed =
          a.ConfirmOverlap(b, overlap) && linkedAgree(a, b, overlap) && linkedAgree(b, a, overlap);
      if (spent) return Outcome::kAbandon;
      if (confirmed) {
        problem = true;
        return Outcome::kGoOn;
      }
    }
  }
  return geo.failed ? Outcome::kAbandon : Outcome::kGoOn;
}

void ShapeBuilder::TurnRegionsAround() {
  if (regions.empty()) return;
  for (const auto& r : regions)
    if (r->probe == 0) return;
  for (const auto& r : regions) {
    r->probe = 0;
    r->kind = r->kind == kFill0Side ? kFill1Side : kFill0Side;
  }
  // Every entry turned, so each twin still mirrors its edge.
  for (ShapePoint& p : graph.points)
    for (PointEdge& e : p.edges) {
      std::swap(e.style[1], e.style[2]);
      std::swap(e.ordinal[1], e.ordinal[2]);
      std::swap(e.regionFill0, e.regionFill1);
    }
}

}  // namespace tovrani
