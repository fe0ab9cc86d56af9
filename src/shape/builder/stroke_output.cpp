// The stroke objects of the correction output: each region's outline
// strokes with a line table of their own, then the strokes of no region
// with the shape's whole line table. A stroke is consumed on both halves of
// its edge once written, so none is written twice.
#include <algorithm>

#include "shape/builder/correction_output.h"

namespace tovrani {

namespace {

struct StrokeStep {
  uint32_t point, edge;
  uint8_t line;  // the byte the record carries
};

void ConsumeLine(std::span<ShapePoint> points, PointEdge& edge) {
  edge.style[0] = 0;
  if (edge.otherPoint < points.size() && edge.twin < points[edge.otherPoint].edges.size())
    points[edge.otherPoint].edges[edge.twin].style[0] = 0;
}

bool Valid(std::span<const ShapePoint> points, uint32_t p, uint32_t e) {
  return p < points.size() && e < points[p].edges.size();
}

}  // namespace

bool CorrectionOutput::LineDrawn(uint8_t line) const {
  if (!b_.styles || !line) return false;
  // An index past the table draws nothing.
  const std::span<const uint8_t> rec = b_.styles->Line(line);
  return rec.size() >= 6 && !(rec[4] == 0 && rec[5] == 0);
}

bool CorrectionOutput::StartAllLinesObject() {
  bool tableNeeded = true;
  if (!StartStrokeObject(Table::kAllLines, tableNeeded)) return false;
  out_.bytes.Clear();
  if (tableNeeded) {
    const uint16_t n = b_.styles ? b_.styles->lineCount() : 0;
    out_.bytes.PutU16(n);
    for (uint16_t i = 1; i <= n; ++i) out_.bytes.PutBytes(b_.styles->Line(i));
  }
  out_.penX = out_.penY = 0;
  return true;
}

bool CorrectionOutput::RegionStrokes(const ShapeRegion& region) {
  std::span<ShapePoint> points = b_.graph.span();
  std::vector<StrokeStep> steps;
  auto collect = [&](const ShapeRegion& r) {
    const Contour& c = *r.First();
    for (uint32_t k = 0; k < c.count(); ++k)
      if (Valid(points, c.points[k], c.edges[k]) &&
          LineDrawn(points[c.points[k]].edges[c.edges[k]].style[0]))
        steps.push_back({c.points[k], c.edges[k], 0});
  };
  collect(region);
  for (uint32_t l : region.links)
    if (l < b_.regions.size() && b_.regions[l]->HasContour() && b_.regions[l].get() != &region)
      collect(*b_.regions[l]);
  // A table holds at most 255 lines; the steps of further lines go into a
  // further object.
  while (!steps.empty()) {
    if (!b_.Charge(steps.size())) return false;
    std::vector<uint8_t> table;
    std::vector<StrokeStep> chunk, rest;
    for (StrokeStep s : steps) {
      const uint8_t line = points[s.point].edges[s.edge].style[0];
      if (!line) continue;  // written by this object already (its twin)
      const auto at = std::find(table.begin(), table.end(), line);
      if (at != table.end()) {
        s.line = uint8_t(at - table.begin() + 1);
      } else if (table.size() < 255) {
        table.push_back(line);
        s.line = uint8_t(table.size());
      } else {
        rest.push_back(s);
        continue;
      }
      chunk.push_back(s);
    }
    if (chunk.empty()) break;
    bool tableNeeded = true;
    if (!StartStrokeObject(Table::kRegionLines, tableNeeded)) return false;
    out_.bytes.Clear();
    out_.bytes.PutU16(uint16_t(table.size()));
    for (uint8_t line : table) out_.bytes.PutBytes(b_.styles->Line(line));
    out_.penX = out_.penY = 0;
    uint8_t current = 0;
    for (const StrokeStep& s : chunk) {
      PointEdge& edge = points[s.point].edges[s.edge];
      if (!edge.style[0]) continue;  // the same edge met twice
      const uint8_t change[3] = {s.line, 0, 0};
      if (!out_.WriteStyled(points[s.point], edge, s.line != current ? change : nullptr))
        return b_.geo.failed = true, false;
      current = s.line;
      ConsumeLine(points, edge);
      ++objectRecords_;
    }
    if (!Flush()) return false;
    steps = std::move(rest);
  }
  return true;
}

bool CorrectionOutput::LooseStrokes() {
  const LineEdgeList& list = b_.lineEdges;
  if (list.count() == 0) return true;
  std::span<ShapePoint> points = b_.graph.span();
  if (!b_.Charge(list.count())) return false;
  auto drawn = [&](uint32_t i, uint8_t& line) {
    const uint32_t p = list.points[i], e = list.edges[i];
    if (!Valid(points, p, e)) return false;
    line = points[p].edges[e].style[0];
    // Zero-width lines are drawn here too, but not an index past the table.
    return line && b_.styles && !b_.styles->Line(line).empty();
  };
  // A list of seams without strokes starts no object.
  bool any = false;
  uint8_t line = 0;
  for (uint32_t i = 0; i < list.count() && !any; ++i) any = drawn(i, line);
  if (!any) return true;
  if (!StartAllLinesObject()) return false;
  uint8_t current = 0;
  for (uint32_t i = 0; i < list.count(); ++i) {
    if (!drawn(i, line)) continue;
    const uint32_t p = list.points[i], e = list.edges[i];
    PointEdge& edge = points[p].edges[e];
    const uint8_t change[3] = {line, 0, 0};
    if (!out_.WriteStyled(points[p], edge, line != current ? change : nullptr))
      return b_.geo.failed = true, false;
    current = line;
    ConsumeLine(points, edge);
    ++objectRecords_;
  }
  return Flush();
}

bool CorrectionOutput::RemainingStrokes() {
  std::span<ShapePoint> points = b_.graph.span();
  // Every stroke still in the graph, once per edge; taking it consumes it.
  std::vector<StrokeStep> pending;
  for (uint32_t p = 0; p < points.size(); ++p) {
    if (!b_.Charge(points[p].edges.size() + 1)) return false;
    for (uint32_t e = 0; e < points[p].edges.size(); ++e) {
      PointEdge& edge = points[p].edges[e];
      if (!LineDrawn(edge.style[0])) continue;
      pending.push_back({p, e, edge.style[0]});
      ConsumeLine(points, edge);
    }
  }
  // A stroke that crosses or lies on one already written in the same
  // object waits for a further object, so none is lost.
  while (!pending.empty()) {
    if (!StartAllLinesObject()) return false;
    uint8_t current = 0;
    ShapeGraph written;
    std::vector<StrokeStep> later;
    uint64_t writtenEdges = 0;
    for (const StrokeStep& s : pending) {
      if (!b_.Charge(writtenEdges + 1)) return false;
      PointEdge& edge = points[s.point].edges[s.edge];
      Contour one;
      one.Append(s.point, s.edge);
      if (written.pointCount() &&
          ContourStepCrossesEdges(tests_, one, 0, points, written.span())) {
        later.push_back(s);
        continue;
      }
      const uint8_t change[3] = {s.line, 0, 0};
      if (!out_.WriteStyled(points[s.point], edge, s.line != current ? change : nullptr))
        return b_.geo.failed = true, false;
      current = s.line;
      ++objectRecords_;
      const ShapePoint& from = points[s.point];
      const uint32_t a = written.FindOrAddPoint(from.x, from.y);
      if (!written.FindDuplicate(a, edge.endX, edge.endY, edge.curved, edge.controlDx,
                                 edge.controlDy)) {
        const uint32_t z = written.FindOrAddPoint(edge.endX, edge.endY);
        written.AddEdge(a, z, edge);
        ++writtenEdges;
      }
    }
    if (b_.geo.failed) return false;
    if (!Flush()) return false;
    pending = std::move(later);
  }
  return true;
}

}  // namespace tovrani
