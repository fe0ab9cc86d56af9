#include "shape/builder/outline_crossing.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "shape/geometry/edge_intersection.h"

namespace tovrani {
namespace {

// One element: from start to end, with the control offset when curved.
struct Element {
  CrossPoint start, end;
  int64_t controlX = 0, controlY = 0;
  bool curved = false;
};

bool SharesEndPoint(const Element& a, const Element& b) {
  return a.start == b.start || a.end == b.end || a.end == b.start || a.start == b.end;
}

// The pair test; `curveTwice` adds the second, two-curve test of a curved A
// against a straight B (with B's stored offset) when the first says no.
bool PairCrosses(EdgePairTests& t, const Element& a, const Element& b, bool curveTwice) {
  if (a.curved && b.curved)
    return t.Edges(a.end, b.end, a.start, b.start, a.controlX, b.controlX, a.controlY, b.controlY, 2);
  if (a.curved) {
    if (t.Edges(a.end, b.end, a.start, b.start, a.controlX, 0, a.controlY, 0, 1)) return true;
    return curveTwice &&
           t.Edges(a.end, b.end, a.start, b.start, a.controlX, b.controlX, a.controlY, b.controlY, 2);
  }
  if (b.curved)
    return t.Edges(a.end, b.end, a.start, b.start, 0, b.controlX, 0, b.controlY, 0);
  if (SharesEndPoint(a, b)) return false;
  return t.Segments(a.start, b.start, a.end, b.end);
}

// Element k of a contour; false when its indexes lead nowhere.
bool ContourElement(const Contour& c, uint32_t k, std::span<const ShapePoint> points, Element& out) {
  const uint32_t p = c.points[k], e = c.edges[k];
  if (p >= points.size() || e >= points[p].edges.size()) return false;
  const PointEdge& edge = points[p].edges[e];
  out.start = {points[p].x, points[p].y};
  out.end = {edge.endX, edge.endY};
  out.curved = edge.curved != 0;
  out.controlX = edge.controlDx;
  out.controlY = edge.controlDy;
  return true;
}

std::vector<Element> FirstContour(const ShapeRegion& region, std::span<const ShapePoint> points) {
  std::vector<Element> out;
  const Contour* c = region.First();
  if (!c) return out;
  for (uint32_t k = 0; k < c->count(); ++k) {
    Element e;
    if (ContourElement(*c, k, points, e)) out.push_back(e);
  }
  return out;
}

double Angle(CrossPoint from, CrossPoint to) {
  return DirectionAngle(double(to.x - from.x), double(to.y - from.y));
}

// One element against every edge of the second table.
bool ElementCrossesEdges(EdgePairTests& t, const Element& el, std::span<const ShapePoint> other) {
  for (uint32_t k = 0; k + 1 < other.size(); ++k) {
    const CrossPoint pk{other[k].x, other[k].y};
    for (const PointEdge& edge : other[k].edges) {
      if (edge.otherPoint <= k || edge.otherPoint >= other.size()) continue;
      Element b;
      b.start = pk;
      b.end = {edge.endX, edge.endY};
      b.curved = edge.curved != 0;
      b.controlX = edge.controlDx;
      b.controlY = edge.controlDy;
      if (el.curved) {
        if (!b.curved && t.Edges(el.end, b.end, el.start, b.start, el.controlX, 0, el.controlY, 0, 1))
          return true;
        const bool same = el.start == b.start && el.end == b.end && el.controlX == b.controlX &&
                          el.controlY == b.controlY;
        bool reverse = false;
        if (el.start == b.end && el.end == b.start) {
          const std::vector<PointEdge>& back = other[edge.otherPoint].edges;
          reverse = edge.twin < back.size() && el.controlX == back[edge.twin].controlDx &&
                    el.controlY == back[edge.twin].controlDy;
        }
        if (same || reverse) continue;
        if (t.Edges(el.end, b.end, el.start, b.start, el.controlX, b.controlX, el.controlY,
                    b.controlY, 2))
          return true;
      } else if (b.curved) {
        if (t.Edges(el.end, b.end, el.start, b.start, 0, b.controlX, 0, b.controlY, 0)) return true;
      } else if (!SharesEndPoint(el, b)) {
        if (t.Segments(el.start, b.start, el.end, b.end)) return true;
      } else {
        // Leaving the shared point in exactly the same direction: the two
        // lie on each other from there on.
        double a1, a2;
        if (el.start == b.start)
          a1 = Angle(el.start, el.end), a2 = Angle(b.start, b.end);
        else if (el.end == b.end)
          a1 = Angle(el.end, el.start), a2 = Angle(b.end, b.start);
        else if (el.end == b.start)
          a1 = Angle(el.end, el.start), a2 = Angle(b.start, b.end);
        else
          a1 = Angle(el.start, el.end), a2 = Angle(b.end, b.start);
        if (a1 == a2) return true;
      }
    }
  }
  return false;
}

bool Fits(std::initializer_list<int64_t> values) {
  for (int64_t v : values)
    if (v < INT32_MIN || v > INT32_MAX) return false;
  return true;
}

}  // namespace

bool IntersectionTests::Segments(CrossPoint sa, CrossPoint sb, CrossPoint ea, CrossPoint eb) {
  if (!Fits({sa.x, sa.y, sb.x, sb.y, ea.x, ea.y, eb.x, eb.y})) return false;
  return IntersectSegments(int32_t(sa.x), int32_t(sa.y), int32_t(sb.x), int32_t(sb.y),
                           int32_t(ea.x), int32_t(ea.y), int32_t(eb.x), int32_t(eb.y));
}

bool IntersectionTests::Edges(CrossPoint ea, CrossPoint eb, CrossPoint sa, CrossPoint sb,
                              int64_t cxa, int64_t cxb, int64_t cya, int64_t cyb, int mode) {
  if (!Fits({ea.x, ea.y, eb.x, eb.y, sa.x, sa.y, sb.x, sb.y, cxa, cxb, cya, cyb})) return false;
  return IntersectEdges(geo_, int32_t(ea.x), int32_t(ea.y), int32_t(eb.x), int32_t(eb.y),
                        int32_t(sa.x), int32_t(sa.y), int32_t(sb.x), int32_t(sb.y), int32_t(cxa),
                        int32_t(cxb), int32_t(cya), int32_t(cyb), uint8_t(mode));
}

bool ContourCrossesItself(EdgePairTests& tests, const ShapeRegion& region,
                          std::span<const ShapePoint> points) {
  const std::vector<Element> el = FirstContour(region, points);
  for (size_t i = 0; i + 1 < el.size(); ++i)
    for (size_t j = i + 1; j < el.size(); ++j)
      if (PairCrosses(tests, el[i], el[j], true)) return true;
  return false;
}

bool ClosingChordCrosses(EdgePairTests& tests, const ShapeRegion& region,
                         std::span<const ShapePoint> points) {
  const std::vector<Element> el = FirstContour(region, points);
  if (el.empty()) return false;
  Element chord;
  chord.start = el.back().end;
  chord.end = el.front().start;
  for (const Element& e : el) {
    if (e.curved) {
      if (tests.Edges(chord.end, e.end, chord.start, e.start, 0, e.controlX, 0, e.controlY, 0))
        return true;
    } else if (!SharesEndPoint(chord, e) && tests.Segments(chord.start, e.start, chord.end, e.end)) {
      return true;
    }
  }
  return false;
}

bool ContourCrossesEdges(EdgePairTests& tests, const ShapeRegion& region,
                         std::span<const ShapePoint> points, std::span<const ShapePoint> otherPoints,
                         const ContourStepFilter& skip) {
  const Contour* c = region.First();
  if (!c) return false;
  for (uint32_t k = 0; k < c->count(); ++k) {
    Element e;
    if (!ContourElement(*c, k, points, e)) continue;
    if (skip && skip(points[c->points[k]], points[c->points[k]].edges[c->edges[k]])) continue;
    if (ElementCrossesEdges(tests, e, otherPoints)) return true;
  }
  return false;
}

bool ContourStepCrossesEdges(EdgePairTests& tests, const Contour& contour, uint32_t element,
                             std::span<const ShapePoint> points,
                             std::span<const ShapePoint> otherPoints) {
  Element e;
  if (element >= contour.count() || !ContourElement(contour, element, points, e)) return false;
  return ElementCrossesEdges(tests, e, otherPoints);
}

}  // namespace tovrani
