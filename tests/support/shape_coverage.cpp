#include "support/shape_coverage.h"

#include <algorithm>
#include <cstdio>

#include "platform/path.h"
#include "platform/path_widen.h"

namespace tovrani::test {

namespace {

struct Edge {
  IntPoint start, end, control;
  bool curved = false;
  uint8_t line = 0, fill0 = 0, fill1 = 0;
};

IntPoint Dev(int64_t x, int64_t y) { return {int32_t(x / 256), int32_t(y / 256)}; }

void Draw(Path& path, const Edge& e) {
  if (!e.curved) {
    path.LineTo(e.end);
    return;
  }
  const IntPoint c1{e.start.x + 2 * (e.control.x - e.start.x) / 3,
                    e.start.y + 2 * (e.control.y - e.start.y) / 3};
  const IntPoint c2{e.end.x + 2 * (e.control.x - e.end.x) / 3,
                    e.end.y + 2 * (e.control.y - e.end.y) / 3};
  path.BezierTo(c1, c2, e.end);
}

std::vector<uint8_t> Key(const std::vector<std::vector<uint8_t>>* table, uint8_t index) {
  if (table && index >= 1 && index <= table->size()) return (*table)[index - 1];
  return {0xEE, index};  // no record: the index stands for itself
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X", v);
    s += b;
  }
  return s;
}

}  // namespace

ShapeCoverage CoverageOf(std::span<const uint8_t> stream, const StyleIndex* styles,
                         int bandWidth) {
  ShapeCoverage out;
  std::vector<Edge> edges;
  size_t pos = 0;
  int64_t penX = 0, penY = 0;
  uint8_t line = 0, fill0 = 0, fill1 = 0;
  DecodedEdge d;
  bool truncated = false;
  while (ReadEdgeRecord(stream, pos, d, &truncated)) {
    if (d.hasStyles) {
      line = d.line;
      fill0 = d.fill0;
      fill1 = d.fill1;
    }
    penX += d.moveX;
    penY += d.moveY;
    Edge e;
    e.start = Dev(penX, penY);
    e.control = Dev(penX + d.controlX, penY + d.controlY);
    e.curved = d.curved;
    penX += d.anchorX;
    penY += d.anchorY;
    e.end = Dev(penX, penY);
    e.line = line;
    e.fill0 = fill0;
    e.fill1 = fill1;
    if (d.flags & 0x30) edges.push_back(e);  // a record without anchor draws nothing
  }
  if (truncated) out.ok = false;
  if (edges.empty()) return out;

  // A fixed point, not one of the object's own: a rewrite that keeps an
  // open fill boundary must not change what it is taken to draw.
  const IntPoint origin{0, 0};
  std::map<std::vector<uint8_t>, Path, BytesLess> fillPaths, linePaths;
  for (const Edge& e : edges) {
    // A fill on both sides of an edge has no boundary there.
    for (uint8_t f : {e.fill0, e.fill1}) {
      if (!f || e.fill0 == e.fill1) continue;
      Path& p = fillPaths[Key(styles ? &styles->fills : nullptr, f)];
      p.MoveTo(origin);
      p.LineTo(e.start);
      Draw(p, e);
      p.CloseFigure();
    }
    if (e.line) {
      Path& p = linePaths[Key(styles ? &styles->lines : nullptr, e.line)];
      p.MoveTo(e.start);
      Draw(p, e);
    }
  }
  if (bandWidth > 0) {
    // In pieces, each well within what one widening takes.
    for (size_t from = 0; from < edges.size(); from += 256) {
      Path piece;
      for (size_t i = from; i < std::min(edges.size(), from + 256); ++i) {
        piece.MoveTo(edges[i].start);
        Draw(piece, edges[i]);
      }
      Region r;
      if (WidenPathToRegion(piece, bandWidth, r) == RegionKind::kError) out.ok = false;
      Region::Combine(out.band, out.band, r, CombineMode::kOr);
    }
  }
  for (auto& [key, path] : fillPaths)
    if (path.ToRegion(out.fills[key]) == RegionKind::kError) out.ok = false;
  for (auto& [key, path] : linePaths)
    if (WidenPathToRegion(path, 1, out.lines[key]) == RegionKind::kError) out.ok = false;
  return out;
}

ShapeCoverage StackedCoverage(const std::vector<ShapeCoverage>& objects) {
  ShapeCoverage out;
  for (const ShapeCoverage& c : objects) {
    out.ok = out.ok && c.ok;
    for (const auto& [k, r] : c.fills) Region::Combine(out.fills[k], out.fills[k], r, CombineMode::kOr);
    for (const auto& [k, r] : c.lines) Region::Combine(out.lines[k], out.lines[k], r, CombineMode::kOr);
    Region::Combine(out.band, out.band, c.band, CombineMode::kOr);
  }
  return out;
}

std::map<std::string, int64_t> CoverageDifference(const ShapeCoverage& a, const ShapeCoverage& b,
                                                  const Region* outside) {
  std::map<std::string, int64_t> diff;
  auto compare = [&](const char* kind, const std::map<std::vector<uint8_t>, Region, BytesLess>& x,
                     const std::map<std::vector<uint8_t>, Region, BytesLess>& y) {
    std::map<std::vector<uint8_t>, std::pair<const Region*, const Region*>, BytesLess> all;
    for (const auto& [k, r] : x) all[k].first = &r;
    for (const auto& [k, r] : y) all[k].second = &r;
    const Region none;
    for (const auto& [k, pair] : all) {
      const Region& p = pair.first ? *pair.first : none;
      const Region& q = pair.second ? *pair.second : none;
      Region onlyP, onlyQ;
      Region::Combine(onlyP, p, q, CombineMode::kDiff);
      Region::Combine(onlyQ, q, p, CombineMode::kDiff);
      if (outside) {
        Region::Combine(onlyP, onlyP, *outside, CombineMode::kDiff);
        Region::Combine(onlyQ, onlyQ, *outside, CombineMode::kDiff);
      }
      const int64_t pixels = onlyP.Area() + onlyQ.Area();
      if (pixels) diff[std::string(kind) + " " + Hex(k)] = pixels;
    }
  };
  compare("fill", a.fills, b.fills);
  compare("line", a.lines, b.lines);
  return diff;
}

}  // namespace tovrani::test
