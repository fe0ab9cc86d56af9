#include "shape/builder/build_shape.h"

#include <functional>
#include <optional>
#include <queue>

#include "platform/resource_bound.h"
#include "shape/builder/correction_output.h"
#include "shape/builder/shape_builder.h"
#include "shape/builder/shape_output.h"
#include "shape/shape_work.h"

namespace tovrani {

uint8_t g_bVectorizationProblem = 0;

namespace {

// Every point of an edge (start, end and control point) and every control
// delta stays below this in magnitude, so that every delta and twin
// control fits 32 bits.
constexpr int64_t kCoordLimit = int64_t{1} << 30;

bool InRange(int64_t v) { return v > -kCoordLimit && v < kCoordLimit; }

}  // namespace

ShapeBuilder::ShapeBuilder(ShapeContext& c, ShapeBlock& b, std::span<const uint8_t> blob,
                           const StyleIndex* s)
    : ctx(c), block(b), styleBlob(blob), styles(s) {
  geo.budget = ctx.m_nBuildShapeBudget;
  geo.movieWork = &ctx.m_budget.shapeWork;
  geo.memory = HeldMemory(kBuildShapeCap, kGraphEdgeBytes * std::min(block.recordCount, block.length));
}

bool ShapeBuilder::Pump() {
  if (ctx.m_pShell && ctx.m_pShell->PumpMessages()) ctx.m_bCancel = 1;
  // Past a bound on the conversion's time or memory the builder leaves the
  // block as a cancel does; the conversion then fails.
  return ctx.m_bCancel != 0 || ResourceLook();
}

void ShapeBuilder::Progress(uint32_t position) {
  if (ctx.m_pShell) ctx.m_pShell->StepSubProgressBytes(position);
}

void ShapeBuilder::RestartSubBar() {
  if (!ctx.m_pShell) return;
  ctx.m_pShell->StepSubProgressBytes(0);
  ctx.m_pShell->RedrawProgressPane();
}

ShapeBuilder::Outcome ShapeBuilder::Read() {
  if (ctx.m_pShell) {
    ctx.m_pShell->SetCurrentAction("adding shape -> collecting vector data...");
    ctx.m_pShell->BeginSubTask(0, block.length);
  }
  const std::span<const uint8_t> data = block.counted();
  // The graph's edges, and what they hold, are charged before it is built
  // (a record takes a byte at least).
  const size_t records = std::min<size_t>(block.recordCount, data.size());
  if (!Charge(kGraphEdgeWork * records)) return Outcome::kAbandon;
  graph.Reserve(records);
  size_t pos = 0;
  int64_t penX = 0, penY = 0;
  uint8_t style[3] = {0, 0, 0};
  uint32_t ordinal = 0;
  bool first = true;
  // The point at the pen once an edge ended there: the next record mostly
  // starts from it.
  std::optional<uint32_t> penPoint;
  while (pos < data.size()) {
    if (data[pos] == 0) {
      // A further shape object: its head and style tables are passed over.
      // Its records start from a pen at (0, 0) and set their own styles, as
      // every object of a page does.
      const std::optional<size_t> tables = FindFurtherShapeObject(data, pos, ctx.m_nFlaFormat);
      const std::optional<size_t> records =
          tables ? SkipStyleTables(data, *tables, ctx.m_nFlaFormat) : std::nullopt;
      if (!records) return Outcome::kLeave;
      furtherObjects = true;
      if (Pump()) return Outcome::kLeave;
      pos = *records;
      penX = penY = 0;
      penPoint.reset();
      style[0] = style[1] = style[2] = 0;
      continue;
    }
    Progress(uint32_t(pos));
    ordinal = first ? 0 : ordinal + 1;
    first = false;
    DecodedEdge d;
    bool truncated = false;
    if (!ReadEdgeRecord(data, pos, d, &truncated)) return Outcome::kAbandon;
    if (d.hasStyles) {
      style[0] = d.line;
      style[1] = d.fill0;
      style[2] = d.fill1;
    }
    if (d.moveX || d.moveY) penPoint.reset();
    penX += d.moveX;
    penY += d.moveY;
    const int64_t endX = penX + d.anchorX, endY = penY + d.anchorY;
    if (!InRange(penX) || !InRange(penY) || !InRange(endX) || !InRange(endY) ||
        !InRange(d.controlX) || !InRange(d.controlY) || !InRange(penX + d.controlX) ||
        !InRange(penY + d.controlY))
      return Outcome::kAbandon;
    // A straight edge back to its own start draws nothing; its style bytes
    // still hold for what follows.
    if (d.curved || d.anchorX || d.anchorY) {
      const uint32_t p = penPoint ? *penPoint : graph.FindOrAddPoint(int32_t(penX), int32_t(penY));
      const auto dup = graph.FindDuplicate(p, int32_t(endX), int32_t(endY), d.curved,
                                           int32_t(d.controlX), int32_t(d.controlY));
      if (dup) {
        for (int s = 0; s < 3; ++s)
          if (style[s]) graph.SetSlot(p, *dup, s, style[s], ordinal);
// GCC 12 warns that the optional's value may be read unset: assigning it
// reads only whether it is set.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
        penPoint = graph.points[p].edges[*dup].otherPoint;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
      } else {
        PointEdge e;
        e.curved = d.curved ? 1 : 0;
        e.controlDx = int32_t(d.controlX);
        e.controlDy = int32_t(d.controlY);
        for (int s = 0; s < 3; ++s) {
          e.style[s] = style[s];
          if (style[s]) e.ordinal[s] = ordinal;
        }
        const uint32_t q = graph.FindOrAddPoint(int32_t(endX), int32_t(endY));
        graph.AddEdge(p, q, e);
        penPoint = q;
      }
    }
    penX = endX;
    penY = endY;
    if (Pump()) return Outcome::kLeave;
  }
  return Outcome::kGoOn;
}

namespace {

// Two straight edges leaving a point in opposite directions on one line.
bool Opposite(const PointEdge& a, const PointEdge& b) {
  const int64_t adx = a.anchorDx, ady = a.anchorDy, bdx = b.anchorDx, bdy = b.anchorDy;
  if (adx == 0 && bdx == 0) return (ady < 0) != (bdy < 0);
  if (ady == 0 && bdy == 0) return (adx < 0) != (bdx < 0);
  if (ady == 0 || bdy == 0) return false;
  return double(adx) / double(ady) == double(bdx) / double(bdy) && (ady < 0) != (bdy < 0);
}

}  // namespace

ShapeBuilder::Outcome ShapeBuilder::JoinStraightEdges() {
  for (uint32_t i = 0; i < graph.pointCount(); ++i) {
    if (graph.IsRemoved(i)) continue;
    if (!Charge(1)) return Outcome::kAbandon;
    std::vector<PointEdge>& at = graph.points[i].edges;
    if (at.size() != 2) continue;
    const PointEdge a = at[0], b = at[1];
    if (a.curved || b.curved) continue;
    if (a.style[0] != b.style[0] || a.style[1] != b.style[2] || a.style[2] != b.style[1]) continue;
    if (!Opposite(a, b)) continue;
    const uint32_t q = a.otherPoint, r = b.otherPoint, ta = a.twin, tb = b.twin;
    std::vector<PointEdge>& qEdges = graph.points[q].edges;
    if (!Charge(qEdges.size())) return Outcome::kAbandon;
    uint32_t d = 0;
    while (d < qEdges.size() && (qEdges[d].curved || qEdges[d].otherPoint != r || d == ta)) ++d;
    if (d == qEdges.size()) {
      // A's twin becomes Q -> R and B's twin R -> Q.
      PointEdge& at2 = qEdges[ta];
      PointEdge& bt2 = graph.points[r].edges[tb];
      at2.otherPoint = r;
      at2.twin = tb;
      at2.endX = graph.points[r].x;
      at2.endY = graph.points[r].y;
      at2.anchorDx = int32_t(int64_t(graph.points[r].x) - graph.points[q].x);
      at2.anchorDy = int32_t(int64_t(graph.points[r].y) - graph.points[q].y);
      bt2.otherPoint = q;
      bt2.twin = ta;
      bt2.endX = graph.points[q].x;
      bt2.endY = graph.points[q].y;
      bt2.anchorDx = -at2.anchorDx;
      bt2.anchorDy = -at2.anchorDy;
      // The two halves may have been set by different records: the joined
      // edge keeps the later one on both of its entries.
      for (int s = 0; s < 3; ++s) {
        uint32_t& o1 = at2.ordinal[s];
        uint32_t& o2 = bt2.ordinal[MirrorSlot(s)];
        o1 = o2 = std::max(o1, o2);
      }
    } else {
      for (int s = 0; s < 3; ++s) {
        if (!b.style[s]) continue;
        const PointEdge& de = qEdges[d];
        if (de.style[s] && d >= ta) continue;
        const uint32_t ord = std::max(de.ordinal[s], b.ordinal[s]);
        graph.SetSlot(q, d, s, b.style[s], ord);
      }
      if (!graph.RemoveEntry(q, ta) || !graph.RemoveEntry(r, tb)) return Outcome::kAbandon;
    }
    graph.points[i].edges.clear();
    graph.MarkRemoved(i);
  }
  graph.Compact();
  return Outcome::kGoOn;
}

bool ShapeBuilder::LineWidthZero(uint8_t line) const {
  if (!styles) return false;
  const std::span<const uint8_t> rec = styles->Line(line);
  return rec.size() >= 6 && rec[4] == 0 && rec[5] == 0;
}

void ShapeBuilder::MarkSides() {
  for (ShapePoint& p : graph.points)
    for (PointEdge& e : p.edges)
      e.pending = uint8_t((e.style[1] ? kFill0Side : 0) | (e.style[2] ? kFill1Side : 0));
  for (uint32_t p = 0; p < graph.pointCount(); ++p) {
    const std::vector<PointEdge>& edges = graph.points[p].edges;
    for (uint32_t e = 0; e < edges.size(); ++e) {
      const PointEdge& pe = edges[e];
      if (pe.pending || pe.otherPoint <= p || !pe.style[0]) continue;
      if (!styleBlob.empty() && LineWidthZero(pe.style[0])) continue;
      Pump();
      lineEdges.Append(p, e);
    }
  }
}

ShapeBuilder::Outcome ShapeBuilder::Rebuild() {
  if (ctx.m_pShell) {
    ctx.m_pShell->SetCurrentAction("adding shape -> building shape...");
    ctx.m_pShell->BeginSubTask(0, graph.pointCount());
  }
  const uint32_t count = graph.pointCount();
  // Where a walk restarts: the first point with exactly one edge, else the
  // first with any. Points only lose edges here, so the first with any
  // only moves forward, and a point reaches one edge at most once: a heap
  // of those, its entries that no longer have one edge dropped when met.
  auto degree = [&](uint32_t p) { return graph.points[p].edges.size(); };
  std::vector<uint32_t> oneList;
  uint32_t withEdges = 0, firstWithEdges = count;
  for (uint32_t p = 0; p < count; ++p) {
    if (degree(p) == 0) continue;
    ++withEdges;
    firstWithEdges = std::min(firstWithEdges, p);
    if (degree(p) == 1) oneList.push_back(p);
  }
  std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<>> ones(std::greater<>(), std::move(oneList));
  auto update = [&](uint32_t p, size_t before) {
    const size_t n = degree(p);
    if (n == 0 && before != 0) --withEdges;
    if (n == 1 && before != 1) ones.push(p);
  };
  auto restart = [&]() {
    while (!ones.empty() && degree(ones.top()) != 1) ones.pop();
    if (!ones.empty()) return ones.top();
    while (degree(firstWithEdges) == 0) ++firstWithEdges;
    return firstWithEdges;
  };
  ShapeOutput out;
  uint32_t cur = withEdges == 0 ? 0 : firstWithEdges, ce = 0;
  while (withEdges != 0) {
    Progress(count - withEdges);
    ShapePoint& from = graph.points[cur];
    PointEdge& e = from.edges[ce];
    if (!Charge(1 + from.edges.size())) return Outcome::kAbandon;
    if (!out.WriteEdge(from, e)) return Outcome::kAbandon;
    const uint32_t q = e.otherPoint;
    const size_t curBefore = degree(cur), qBefore = degree(q);
    if (!graph.RemovePair(cur, ce)) return Outcome::kAbandon;
    update(cur, curBefore);
    if (q != cur) update(q, qBefore);
    if (withEdges == 0) break;
    const std::vector<PointEdge>& next = graph.points[q].edges;
    if (!next.empty()) {
      cur = q;
      ce = 0;
      if (next.size() > 1) {
        if (!Charge(next.size())) return Outcome::kAbandon;
        for (uint32_t k = 0; k < next.size(); ++k)
          if (next[k].style[0] == out.style[0] && next[k].style[1] == out.style[1] &&
              next[k].style[2] == out.style[2]) {
            ce = k;
            break;
          }
      }
    } else {
      cur = restart();
      ce = 0;
    }
  }
  block.Splice(0, block.length, out.bytes.span());
  block.recordCount = out.records;
  return Outcome::kGoOn;
}

ShapeBuilder::Outcome ShapeBuilder::WriteCorrection(std::FILE* page, size_t& countFieldPos) {
  CorrectionOutput out(*this, page, countFieldPos);
  switch (out.Run()) {
    case CorrectionOutput::Result::kWritten:
      // Every edge is in the page; the caller has nothing left to write.
      block.length = 0;
      return Outcome::kGoOn;
    case CorrectionOutput::Result::kWriteFailed:
      return Outcome::kLeave;
    case CorrectionOutput::Result::kNothing:
    case CorrectionOutput::Result::kRestored:
      break;
  }
  // The page is as it came: the caller writes the original edges.
  return Outcome::kAbandon;
}

void RunShapeBuilder(ShapeBuilder& b, std::FILE* work, size_t& countFieldPos) {
  using Outcome = ShapeBuilder::Outcome;
  ShapeBlock& block = b.block;
  const ShapeBlock given = block;
  Outcome o = b.Read();
  // One rebuilt edge stream cannot carry the further objects' heads and
  // style tables: such a block goes back as it came.
  if (o == Outcome::kGoOn && b.furtherObjects) return;
  if (o == Outcome::kGoOn) o = b.JoinStraightEdges();
  if (o == Outcome::kGoOn && b.styleBlob.empty()) o = b.RemoveNearCoincidentEdges();
  if (o == Outcome::kGoOn && b.graph.pointCount() == 0) return;
  if (o == Outcome::kGoOn) {
    b.MarkSides();
    o = b.TraceOutlines();
  }
  if (o == Outcome::kGoOn) o = b.AnalyseRegions();
  bool problem = false;
  if (o == Outcome::kGoOn) o = b.SearchEdgeProblems(problem);
  if (o == Outcome::kGoOn && !problem && !b.styleBlob.empty()) o = b.SearchRegionProblems(problem);
  if (o == Outcome::kGoOn) b.TurnRegionsAround();
  if (o == Outcome::kGoOn && problem) {
    // A shape being written goes into the page object by object; one that
    // is only analysed is repaired in its graph and rebuilt.
    if (!b.styleBlob.empty()) {
      if (!work) return;
      o = b.WriteCorrection(work, countFieldPos);
      if (o == Outcome::kGoOn) return;
    } else {
      o = b.RepairInGraph();
      if (o == Outcome::kGoOn) o = b.Rebuild();
    }
  } else if (o == Outcome::kGoOn) {
    if (b.ctx.m_pShapeGraphSeam) b.ctx.m_pShapeGraphSeam(b.graph);
    o = b.Rebuild();
  }
  if (o != Outcome::kGoOn) {
    // Whatever a step changed, the caller gets its block back.
    block = given;
  }
  // A shape the movie's allowance refused is no vectorization problem: it
  // goes out as decoded, and the message tells why.
  if (b.geo.refused)
    RefuseShapeWork(b.ctx);
  else if (o == Outcome::kAbandon)
    g_bVectorizationProblem = 1;
}

void BuildShape(ShapeContext& ctx, ShapeBlock& block, std::span<const uint8_t> styleBlob,
                std::FILE* work, size_t& countFieldPos, const StyleIndex* styles) {
  ShapeBuilder b(ctx, block, styleBlob, styles);
  RunShapeBuilder(b, work, countFieldPos);
}

}  // namespace tovrani
