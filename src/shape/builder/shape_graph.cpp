#include "shape/builder/shape_graph.h"

#include <functional>

namespace tovrani {

size_t ShapeGraph::EdgeKeyHash::operator()(const EdgeKey& k) const {
  uint64_t h = k.p * 0x9E3779B97F4A7C15ull;
  for (int32_t v : {k.x, k.y, k.cdx, k.cdy, int32_t(k.curved)})
    h = (h ^ uint32_t(v)) * 0x100000001B3ull + (h >> 29);
  return size_t(h);
}

void ShapeGraph::Reserve(size_t edges) {
  // An edge adds its end point, and its start point after a move.
  byCoord_.reserve(2 * edges);
  points.reserve(edges + 1);
}

uint32_t ShapeGraph::FindOrAddPoint(int32_t x, int32_t y) {
  auto [it, added] = byCoord_.try_emplace(CoordKey(x, y), pointCount());
  if (added) {
    ShapePoint p;
    p.x = x;
    p.y = y;
    // Most points join two edges.
    p.edges.reserve(2);
    points.push_back(std::move(p));
    if (anyRemoved_) removed_.push_back(false);
  }
  return it->second;
}

std::optional<uint32_t> ShapeGraph::FindPoint(int32_t x, int32_t y) const {
  auto it = byCoord_.find(CoordKey(x, y));
  if (it == byCoord_.end()) return std::nullopt;
  return it->second;
}

std::optional<uint32_t> ShapeGraph::FindDuplicate(uint32_t p, int32_t x, int32_t y, bool curved,
                                                  int32_t cdx, int32_t cdy) const {
  if (!curved) cdx = cdy = 0;
  if (edgeIndexValid_ && points[p].edges.size() >= kScannedEntries) {
    auto it = firstEdge_.find(EdgeKey{p, x, y, curved ? cdx : 0, curved ? cdy : 0, curved});
    if (it == firstEdge_.end()) return std::nullopt;
    return it->second;
  }
  const std::vector<PointEdge>& edges = points[p].edges;
  for (uint32_t i = 0; i < edges.size(); ++i) {
    const PointEdge& e = edges[i];
    if (e.endX == x && e.endY == y && bool(e.curved) == curved &&
        (!curved || (e.controlDx == cdx && e.controlDy == cdy)))
      return i;
  }
  return std::nullopt;
}

uint32_t ShapeGraph::AddEdge(uint32_t p, uint32_t q, const PointEdge& e) {
  PointEdge a = e;
  a.otherPoint = q;
  a.endX = points[q].x;
  a.endY = points[q].y;
  a.anchorDx = int32_t(int64_t(points[q].x) - points[p].x);
  a.anchorDy = int32_t(int64_t(points[q].y) - points[p].y);
  if (!a.curved) a.controlDx = a.controlDy = 0;
  PointEdge t;
  t.otherPoint = p;
  t.endX = points[p].x;
  t.endY = points[p].y;
  t.anchorDx = -a.anchorDx;
  t.anchorDy = -a.anchorDy;
  t.curved = a.curved;
  if (a.curved) {
    t.controlDx = a.controlDx - a.anchorDx;
    t.controlDy = a.controlDy - a.anchorDy;
  }
  for (int s = 0; s < 3; ++s) {
    t.style[MirrorSlot(s)] = a.style[s];
    t.ordinal[MirrorSlot(s)] = a.ordinal[s];
  }
  const uint32_t ai = uint32_t(points[p].edges.size());
  // On a loop both entries sit at p, the twin right behind.
  const uint32_t ti = p == q ? ai + 1 : uint32_t(points[q].edges.size());
  a.twin = ti;
  t.twin = ai;
  points[p].edges.push_back(a);
  IndexEntry(p);
  points[q].edges.push_back(t);
  IndexEntry(q);
  return ai;
}

void ShapeGraph::IndexEntry(uint32_t p) {
  const std::vector<PointEdge>& edges = points[p].edges;
  if (!edgeIndexValid_ || edges.size() < kScannedEntries) return;
  // The point's earlier entries join the index when it first grows large.
  for (size_t i = edges.size() == kScannedEntries ? 0 : edges.size() - 1; i < edges.size(); ++i) {
    const PointEdge& e = edges[i];
    firstEdge_.try_emplace(EdgeKey{p, e.endX, e.endY, e.controlDx, e.controlDy, bool(e.curved)}, uint32_t(i));
  }
}

void ShapeGraph::SetSlot(uint32_t p, uint32_t e, int slot, uint8_t style, uint32_t ordinal) {
  PointEdge& a = points[p].edges[e];
  PointEdge& t = points[a.otherPoint].edges[a.twin];
  a.style[slot] = style;
  a.ordinal[slot] = ordinal;
  t.style[MirrorSlot(slot)] = style;
  t.ordinal[MirrorSlot(slot)] = ordinal;
}

bool ShapeGraph::RemoveEntry(uint32_t p, uint32_t e) {
  if (p >= points.size() || e >= points[p].edges.size()) return false;
  std::vector<PointEdge>& edges = points[p].edges;
  // Every remaining entry's twin must be reachable before anything moves.
  for (uint32_t k = e + 1; k < edges.size(); ++k) {
    const PointEdge& m = edges[k];
    if (m.otherPoint >= points.size() || m.twin >= points[m.otherPoint].edges.size()) return false;
  }
  if (edgeIndexValid_) {
    firstEdge_.clear();
    edgeIndexValid_ = false;
  }
  edges.erase(edges.begin() + e);
  for (uint32_t k = e; k < edges.size(); ++k) {
    PointEdge& m = edges[k];
    // A twin at this point behind the removed entry moved down too.
    if (m.otherPoint == p && m.twin > e) --m.twin;
  }
  for (uint32_t k = e; k < edges.size(); ++k) {
    PointEdge& m = edges[k];
    points[m.otherPoint].edges[m.twin].twin = k;
  }
  return true;
}

bool ShapeGraph::RemovePair(uint32_t p, uint32_t e) {
  if (p >= points.size() || e >= points[p].edges.size()) return false;
  const uint32_t q = points[p].edges[e].otherPoint;
  uint32_t t = points[p].edges[e].twin;
  if (q >= points.size() || t >= points[q].edges.size()) return false;
  if (!RemoveEntry(p, e)) return false;
  if (q == p && t > e) --t;
  return RemoveEntry(q, t);
}

void ShapeGraph::MarkRemoved(uint32_t p) {
  if (!anyRemoved_) {
    removed_.assign(points.size(), false);
    anyRemoved_ = true;
  }
  removed_[p] = true;
  byCoord_.erase(CoordKey(points[p].x, points[p].y));
}

void ShapeGraph::Compact() {
  if (!anyRemoved_) return;
  std::vector<uint32_t> newIndex(points.size(), 0);
  uint32_t n = 0;
  for (uint32_t i = 0; i < points.size(); ++i) {
    newIndex[i] = n;
    if (!removed_[i]) {
      if (n != i) {
        points[n] = std::move(points[i]);
        // Removed points left the coordinate index already.
        byCoord_.insert_or_assign(CoordKey(points[n].x, points[n].y), n);
      }
      ++n;
    }
  }
  points.resize(n);
  for (uint32_t i = 0; i < n; ++i)
    for (PointEdge& e : points[i].edges) e.otherPoint = newIndex[e.otherPoint];
  removed_.clear();
  anyRemoved_ = false;
  firstEdge_.clear();
  edgeIndexValid_ = false;
}

std::string ShapeGraph::CheckInvariant() const {
  std::unordered_map<uint64_t, uint32_t> seen;
  for (uint32_t p = 0; p < points.size(); ++p) {
    if (IsRemoved(p)) continue;
    const ShapePoint& sp = points[p];
    if (!seen.emplace(CoordKey(sp.x, sp.y), p).second)
      return "point " + std::to_string(p) + " repeats coordinates";
    for (uint32_t i = 0; i < sp.edges.size(); ++i) {
      const std::string at = "edge " + std::to_string(p) + "/" + std::to_string(i) + ": ";
      const PointEdge& e = sp.edges[i];
      if (e.otherPoint >= points.size() || IsRemoved(e.otherPoint)) return at + "other point";
      const ShapePoint& q = points[e.otherPoint];
      if (e.twin >= q.edges.size()) return at + "twin index";
      const PointEdge& t = q.edges[e.twin];
      if (t.otherPoint != p || t.twin != i) return at + "twin does not name it back";
      if (e.endX != q.x || e.endY != q.y || t.endX != sp.x || t.endY != sp.y)
        return at + "end coordinates";
      if (int64_t(e.anchorDx) != int64_t(q.x) - sp.x || int64_t(e.anchorDy) != int64_t(q.y) - sp.y)
        return at + "anchor";
      if (t.curved != e.curved) return at + "curve flag";
      if (!e.curved && (e.controlDx || e.controlDy)) return at + "control of a straight edge";
      if (e.curved && (int64_t(t.controlDx) != int64_t(e.controlDx) - e.anchorDx ||
                       int64_t(t.controlDy) != int64_t(e.controlDy) - e.anchorDy))
        return at + "twin control";
      for (int s = 0; s < 3; ++s)
        if (t.style[MirrorSlot(s)] != e.style[s] || t.ordinal[MirrorSlot(s)] != e.ordinal[s])
          return at + "mirrored slot " + std::to_string(s);
      if (((e.pending & kFill0Side) && !e.style[1]) || ((e.pending & kFill1Side) && !e.style[2]) ||
          (e.pending & ~(kFill0Side | kFill1Side)))
        return at + "pending mask";
    }
  }
  return {};
}

}  // namespace tovrani
