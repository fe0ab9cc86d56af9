// The analysis of the traced regions, between the tracing and the problem
// search. Four loops over the region table, each visiting regions made
// during it too. Partners are found through hash maps of the edges and end
// points the outlines use and through box tests, so a shape with many
// regions is not examined pair by pair.
#include <algorithm>
#include <unordered_map>

#include "shape/builder/shape_builder.h"
#include "shape/shape_work.h"

namespace tovrani {

namespace {

// The physical edge of a step: the same key from either of its entries.
uint64_t EdgeKey(std::span<const ShapePoint> points, uint32_t p, uint32_t e) {
  const PointEdge& edge = points[p].edges[e];
  const uint64_t here = uint64_t(p) << 32 | e, there = uint64_t(edge.otherPoint) << 32 | edge.twin;
  return std::min(here, there);
}

bool IsOpen(const ShapeRegion& r) { return r.HasContour() && r.joined; }
bool IsClosed(const ShapeRegion& r) { return r.HasContour() && !r.joined; }

uint32_t EndPointOf(std::span<const ShapePoint> points, const Contour& c) {
  return points[c.points.back()].edges[c.edges.back()].otherPoint;
}

bool SameStep(const Contour& a, size_t ka, const Contour& b, size_t kb) {
  return a.points[ka] == b.points[kb] && a.edges[ka] == b.edges[kb];
}

void PopFront(Contour& c, size_t n) {
  c.points.erase(c.points.begin(), c.points.begin() + ptrdiff_t(n));
  c.edges.erase(c.edges.begin(), c.edges.begin() + ptrdiff_t(n));
}

void PopBack(Contour& c) {
  c.points.pop_back();
  c.edges.pop_back();
}

bool Overlaps(const Region& a, const Region& b, Region& common) {
  const RegionKind k = Region::Combine(common, a, b, CombineMode::kAnd);
  return k != RegionKind::kError && k != RegionKind::kEmpty;
}

// Region indexes by the left edge of their box, ties by index, for the
// sweeps that find enclosing candidates.
void SortByBoxLeft(const std::vector<std::unique_ptr<ShapeRegion>>& regions,
                   std::vector<uint32_t>& list) {
  std::sort(list.begin(), list.end(), [&](uint32_t a, uint32_t b) {
    const int32_t la = regions[a]->box.left, lb = regions[b]->box.left;
    return la != lb ? la < lb : a < b;
  });
}

}  // namespace

bool ShapeBuilder::AtRegion(uint32_t region) {
  Progress(region);
  return Pump();
}

ShapeBuilder::Outcome ShapeBuilder::AnalyseRegions() {
  if (ctx.m_pShell) {
    ctx.m_pShell->SetCurrentAction("adding shape -> analyzing vector data...");
    ctx.m_pShell->BeginSubTask(0, uint32_t(regions.size()));
  }
  interiorFoundFlag = false;
  Outcome o = JoinSameFillOutlines();
  joinedRegionsFlag = false;
  if (o == Outcome::kGoOn) o = NestAreas();
  if (o == Outcome::kGoOn) o = JoinBoundaryOutlines();
  if (o == Outcome::kGoOn) o = MarkInnerOutlines();
  if (o == Outcome::kGoOn && geo.failed) o = Outcome::kAbandon;
  return o;
}

bool ShapeBuilder::JoinReversed(uint32_t i, uint32_t j) {
  const std::span<ShapePoint> pts = graph.span();
  ShapeRegion &ri = *regions[i], &rj = *regions[j];
  ShapeRegion joined;
  joined.JoinContours(rj, ri, pts);
  const uint8_t kind = ri.kind, style = ri.style;
  rj.Clear();
  ri.Clear();
  if (joined.contours[0].count() == 0) return true;
  ri.AppendContour(joined, pts, i);
  ri.BuildRegions(geo, pts, kind, style, i);
  return !geo.failed;
}

// Open outlines of one fill that share edges become one outline. A run of
// edges two of them walk with the fill on both sides (a seam) leaves both
// and goes to the line-edge list once. Such a run is always a shared edge
// too, so it is looked for first: the plain joins would keep it.
ShapeBuilder::Outcome ShapeBuilder::JoinSameFillOutlines() {
  const std::span<ShapePoint> pts = graph.span();
  std::unordered_map<uint64_t, std::vector<uint32_t>> byEdge;
  auto index = [&](uint32_t r) {
    const Contour& c = regions[r]->contours[0];
    if (!Charge(kHashedStepWork * c.count())) return false;
    for (uint32_t k = 0; k < c.count(); ++k) byEdge[EdgeKey(pts, c.points[k], c.edges[k])].push_back(r);
    return true;
  };
  for (uint32_t r = 0; r < regions.size(); ++r)
    if (IsOpen(*regions[r]) && !index(r)) return Outcome::kAbandon;

  for (uint32_t i = 0; i < regions.size(); ++i) {
    if (AtRegion(i)) return Outcome::kLeave;
    uint32_t from = 0;  // the first j to examine
    for (bool again = true; again;) {
      again = false;
      ShapeRegion& ri = *regions[i];
      if (!IsOpen(ri)) break;
      // The regions that used an edge of i: the only ones a pair can join.
      std::vector<uint32_t> partners;
      const Contour& ci0 = ri.contours[0];
      if (!Charge(kHashedStepWork * ci0.count())) return Outcome::kAbandon;
      for (uint32_t k = 0; k < ci0.count(); ++k) {
        const auto it = byEdge.find(EdgeKey(pts, ci0.points[k], ci0.edges[k]));
        if (it == byEdge.end()) continue;
        for (uint32_t r : it->second)
          if (r != i && r >= from) partners.push_back(r);
      }
      std::sort(partners.begin(), partners.end());
      partners.erase(std::unique(partners.begin(), partners.end()), partners.end());
      for (uint32_t j : partners) {
        ShapeRegion& rj = *regions[j];
        if (!IsOpen(rj) || rj.style != ri.style) continue;
        Contour &ci = ri.contours[0], &cj = rj.contours[0];
        if (!Charge(1 + kHashedStepWork * (ci.count() + cj.count()))) return Outcome::kAbandon;
        const int32_t n = rj.MatchesReversedRun(ri, pts);
        if (n > 0 && rj.kind != ri.kind) {
          // Both leave along the same edges, one on each side.
          for (int32_t k = 0; k < n; ++k) lineEdges.Append(cj.points[size_t(k)], cj.edges[size_t(k)]);
          PopFront(cj, size_t(n));
          PopFront(ci, size_t(n));
          while (cj.count() && ci.count() && SameStep(cj, cj.count() - 1, ci, ci.count() - 1)) {
            const PointEdge& e = pts[cj.points.back()].edges[cj.edges.back()];
            lineEdges.Append(e.otherPoint, e.twin);
            PopBack(cj);
            PopBack(ci);
          }
          if (!JoinReversed(i, j)) return Outcome::kAbandon;
          if (regions[i]->HasContour() && !index(i)) return Outcome::kAbandon;
          from = 0;
          again = true;
          break;
        }
        if (n > 0) {
          // j comes back along the edges i leaves by: the seam goes, and j
          // then runs on into what is left of i.
          while (cj.count() && ci.count()) {
            const PointEdge& head = pts[ci.points[0]].edges[ci.edges[0]];
            if (cj.points.back() != head.otherPoint || cj.edges.back() != head.twin) break;
            lineEdges.Append(ci.points[0], ci.edges[0]);
            PopBack(cj);
            PopFront(ci, 1);
          }
          ShapeRegion joined;
          joined.AppendContour(rj, pts, i);
          joined.AppendContour(ri, pts, i);
          const uint8_t kind = rj.kind, style = rj.style;
          rj.Clear();
          ri.Clear();
          if (joined.HasContour() && joined.contours[0].count()) {
            ri.AppendContour(joined, pts, i);
            ri.BuildRegions(geo, pts, kind, style, i);
            if (geo.failed) return Outcome::kAbandon;
            if (ri.HasContour() && !index(i)) return Outcome::kAbandon;
          }
          from = j + 1;
          again = true;
          break;
        }
        if (!rj.SharesEdge(ri, pts)) continue;
        if (rj.kind != ri.kind && cj.points[0] == ci.points[0]) {
          if (!JoinReversed(i, j)) return Outcome::kAbandon;
          if (regions[i]->HasContour() && !index(i)) return Outcome::kAbandon;
          from = 0;
          again = true;
          break;
        }
        if (rj.kind == ri.kind && EndPointOf(pts, cj) == ci.points[0]) {
          // The other case of a twin here is the seam above.
          rj.AppendContour(ri, pts, j);
          ri.Clear();
          rj.BuildRegions(geo, pts, rj.kind, rj.style, j);
          if (geo.failed) return Outcome::kAbandon;
          if (rj.HasContour() && !index(j)) return Outcome::kAbandon;
          break;
        }
      }
    }
  }
  return Outcome::kGoOn;
}

// A region traced with its fill outside (a hole) that lies wholly inside a
// region of the same fill is cut out of it, linked to it and ordered one
// deeper.
ShapeBuilder::Outcome ShapeBuilder::NestAreas() {
  RestartSubBar();
  // The regions that may enclose, per fill, by the left edge of their box.
  std::unordered_map<uint8_t, std::vector<uint32_t>> outers;
  for (uint32_t j = 0; j < regions.size(); ++j) {
    const ShapeRegion& r = *regions[j];
    if (IsClosed(r) && r.probe == 0) outers[r.style].push_back(j);
  }
  for (auto& [style, list] : outers) SortByBoxLeft(regions, list);
  for (uint32_t i = 0; i < regions.size(); ++i) {
    if (AtRegion(i)) return Outcome::kLeave;
    ShapeRegion& ri = *regions[i];
    if (!IsClosed(ri) || ri.probe == 0) continue;
    const auto it = outers.find(ri.style);
    if (it == outers.end()) continue;
    const IntRect b = ri.box;
    std::vector<uint32_t> around;
    for (uint32_t j : it->second) {
      const IntRect& o = regions[j]->box;
      if (o.left >= b.left) break;
      if (!Charge(1)) return Outcome::kAbandon;
      if (o.top < b.top && o.right > b.right && o.bottom > b.bottom) around.push_back(j);
    }
    std::sort(around.begin(), around.end());
    for (uint32_t j : around) {
      ShapeRegion& rj = *regions[j];
      if (!ChargePair({&rj.area, &ri.area})) return Outcome::kAbandon;
      Region common;
      if (!Overlaps(rj.area, ri.area, common)) continue;
      if (common == ri.area) {
        rj.SubtractRegion(ri);
        rj.SetLink(-1, i);
        if (int64_t(ri.order) < int64_t(rj.order) + 1) ri.order = rj.order + 1;
        continue;
      }
      // Perhaps i holds a region already linked to j: i takes its place.
      for (size_t slot = 0; slot < rj.links.size(); ++slot) {
        const uint32_t l = rj.links[slot];
        if (l >= regions.size()) continue;
        if (!ChargePair({&regions[l]->area, &ri.area})) return Outcome::kAbandon;
        Region inner;
        if (!Overlaps(regions[l]->area, ri.area, inner) || !(inner == regions[l]->area)) continue;
        rj.SubtractRegion(ri);
        rj.SetLink(int32_t(slot), i);
        if (ri.order < rj.order) ri.order = rj.order + 1;
      }
    }
  }
  return Outcome::kGoOn;
}

// Open outlines along a fill's boundary that meet end to end (or, one fill's
// two halves, start at one point on opposite sides) become one outline in a
// new region; one that meets none may still enclose an interior of its own.
ShapeBuilder::Outcome ShapeBuilder::JoinBoundaryOutlines() {
  RestartSubBar();
  const std::span<ShapePoint> pts = graph.span();
  std::unordered_map<uint32_t, std::vector<uint32_t>> byStart;
  for (uint32_t r = 0; r < regions.size(); ++r)
    if (IsOpen(*regions[r])) byStart[regions[r]->contours[0].points[0]].push_back(r);

  for (uint32_t i = 0; i < regions.size(); ++i) {
    if (AtRegion(i)) return Outcome::kLeave;
    ShapeRegion& ri = *regions[i];
    if (!IsOpen(ri)) continue;
    const Contour& ci = ri.contours[0];
    if (!Charge(ci.count())) return Outcome::kAbandon;
    bool bounds = false;
    for (uint32_t k = 0; k < ci.count() && !bounds; ++k) {
      const PointEdge& e = pts[ci.points[k]].edges[ci.edges[k]];
      bounds = e.style[1] != e.style[2];
    }
    if (!bounds) continue;
    ri.border = 0;
    const uint32_t s = ci.points[0], e = EndPointOf(pts, ci);
    std::vector<uint32_t> candidates;
    for (uint32_t at : {s, e}) {
      const auto it = byStart.find(at);
      if (it != byStart.end()) candidates.insert(candidates.end(), it->second.begin(), it->second.end());
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    bool joinedOne = false;
    for (uint32_t j : candidates) {
      ShapeRegion& rj = *regions[j];
      if (j == i || !IsOpen(rj)) continue;
      const Contour& cj = rj.contours[0];
      if (!Charge(1)) return Outcome::kAbandon;
      const uint32_t js = cj.points[0], je = EndPointOf(pts, cj);
      if (js != s && js != e) continue;
      const bool forwards = je == s && rj.kind == ri.kind;
      const bool backwards = je == e && rj.kind != ri.kind;
      // Two halves of one fill's boundary traced from a common point, one on
      // each side: j walked back to that point runs on into i. Closed apart,
      // each by its own chord, they would leave what lies between the two
      // chords unfilled.
      const bool fromCommonStart = !backwards && js == s && rj.kind != ri.kind && rj.style == ri.style;
      if (!forwards && !backwards && !fromCommonStart) continue;
      if (!Charge(cj.count())) return Outcome::kAbandon;
      if (rj.IsReverseOf(ri, pts)) continue;
      if (cj.count() > ci.count())
        ri.SetStyle(pts, rj.style);
      else
        rj.SetStyle(pts, ri.style);
      // j's steps, then i's: forwards when j ends where i starts, else
      // walked back from i's end; from a common start, j walked back first.
      Contour c = cj;
      if (!Charge(ci.count())) return Outcome::kAbandon;
      if (fromCommonStart) {
        c = Contour();
        for (uint32_t k = cj.count(); k-- > 0;) {
          const PointEdge& step = pts[cj.points[k]].edges[cj.edges[k]];
          c.Append(step.otherPoint, step.twin);
        }
        c.points.insert(c.points.end(), ci.points.begin(), ci.points.end());
        c.edges.insert(c.edges.end(), ci.edges.begin(), ci.edges.end());
      } else if (forwards) {
        c.points.insert(c.points.end(), ci.points.begin(), ci.points.end());
        c.edges.insert(c.edges.end(), ci.edges.begin(), ci.edges.end());
      } else {
        for (uint32_t k = ci.count(); k-- > 0;) {
          const PointEdge& step = pts[ci.points[k]].edges[ci.edges[k]];
          c.Append(step.otherPoint, step.twin);
        }
      }
      const uint32_t index = uint32_t(regions.size());
      auto made = std::make_unique<ShapeRegion>();
      // j walked back has its fill on i's side.
      made->kind = fromCommonStart ? ri.kind : rj.kind;
      made->style = rj.style;
      made->AddContour(c.count(), c.points.data(), c.edges.data(), pts);
      made->BuildRegions(geo, pts, made->kind, rj.style, index);
      if (geo.failed) return Outcome::kAbandon;
      rj.Clear();
      ri.Clear();
      if (IsOpen(*made)) byStart[made->contours[0].points[0]].push_back(index);
      regions.push_back(std::move(made));
      joinedRegionsFlag = true;
      joinedOne = true;
      break;
    }
    if (!joinedOne && !interiorFoundFlag) {
      if (regions[i]->TestInterior(geo, pts, 1)) interiorFoundFlag = true;
      if (geo.failed) return Outcome::kAbandon;
    }
  }
  return Outcome::kGoOn;
}

// An open outline along edges with one fill on both sides: kept (as its
// widened band, ordered above the closed regions whose border it meets)
// when the region on its far side is open too, else dropped.
ShapeBuilder::Outcome ShapeBuilder::MarkInnerOutlines() {
  RestartSubBar();
  const std::span<ShapePoint> pts = graph.span();
  std::vector<uint32_t> closed;
  for (uint32_t k = 0; k < regions.size(); ++k)
    if (IsClosed(*regions[k])) closed.push_back(k);
  std::vector<uint32_t> byLeft = closed;
  SortByBoxLeft(regions, byLeft);

  for (uint32_t i = 0; i < regions.size(); ++i) {
    if (AtRegion(i)) return Outcome::kLeave;
    ShapeRegion& ri = *regions[i];
    if (!IsOpen(ri)) continue;
    const Contour& ci = ri.contours[0];
    if (!Charge(ci.count())) return Outcome::kAbandon;
    bool inside = true;
    for (uint32_t k = 0; k < ci.count() && inside; ++k) {
      const PointEdge& e = pts[ci.points[k]].edges[ci.edges[k]];
      inside = e.style[1] == e.style[2];
    }
    if (!inside) continue;
    const PointEdge& first = pts[ci.points[0]].edges[ci.edges[0]];
    const uint32_t far = ri.kind == kFill0Side ? first.regionFill1 : first.regionFill0;
    if (far >= regions.size() || !regions[far]->joined) {
      ri.Clear();
      continue;
    }
    ri.border = 1;
    ri.BuildOutlineRegion(geo, pts);
    if (geo.failed) return Outcome::kAbandon;
    const IntRect b = ri.box;
    std::vector<uint32_t> around;
    for (uint32_t k : byLeft) {
      const IntRect& o = regions[k]->box;
      if (o.left > b.left) break;
      if (!Charge(1)) return Outcome::kAbandon;
      if (o.top <= b.top && o.right >= b.right && o.bottom >= b.bottom) around.push_back(k);
    }
    std::sort(around.begin(), around.end());
    for (uint32_t k : around) {
      if (!ChargePair({&regions[k]->outline, &ri.area})) return Outcome::kAbandon;
      Region common;
      if (Overlaps(regions[k]->outline, ri.area, common)) ri.order = regions[k]->order + 1;
    }
  }
  return Outcome::kGoOn;
}

}  // namespace tovrani
