// Tracing every fill side of the graph into outlines, one ShapeRegion per
// outline: a branching walk along edges of the traced fill, continued
// nearest-to-closing first, within the work budgets.
#include <algorithm>
#include <cmath>

#include "platform/resource_bound.h"
#include "shape/builder/shape_builder.h"

namespace tovrani {

namespace {

int32_t Device(int64_t v) { return int32_t(v / 256); }

struct Candidate {
  Contour steps;
  uint64_t id = 0;  // changes whenever steps change other than by appending
};

}  // namespace

bool ShapeBuilder::FindSeed(uint32_t& point, uint32_t& edge) {
  for (int64_t r = seedMark_ + 1; r < int64_t(regions.size()); ++r) {
    const ShapeRegion& reg = *regions[size_t(r)];
    if (!reg.joined && reg.HasContour()) {
      std::vector<uint32_t> pts = reg.contours[0].points;
      if (!Charge(pts.size())) return false;
      std::sort(pts.begin(), pts.end());
      pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
      for (uint32_t p : pts) {
        const std::vector<PointEdge>& edges = graph.points[p].edges;
        if (!Charge(edges.size())) return false;
        for (uint32_t e = 0; e < edges.size(); ++e) {
          const PointEdge& f = edges[e];
          if (f.pending && f.style[1] == f.style[2] && f.style[1] == reg.style &&
              reg.area.Contains(Device(f.endX), Device(f.endY))) {
            point = p;
            edge = e;
            return true;
          }
        }
      }
    }
    // Nothing pending inside it now means nothing ever will be.
    seedMark_ = r;
  }
  return true;
}

ShapeBuilder::Outcome ShapeBuilder::TraceOutlines() {
  uint64_t edgeSum = 0;
  for (const ShapePoint& p : graph.points) edgeSum += p.edges.size();
  if (ctx.m_pShell) ctx.m_pShell->BeginSubTask(0, uint32_t(std::min<uint64_t>(edgeSum, UINT32_MAX)));
  onPath_.assign(graph.pointCount(), 0);
  regrowMarks_.assign(graph.pointCount(), 0);
  uint32_t scan = 0;
  for (bool created = true; created;) {
    created = false;
    Progress(++scan);
    for (uint32_t p = 0; p < graph.pointCount(); ++p) {
      if (!Charge(1)) return Outcome::kAbandon;
      for (uint32_t e = 0; e < graph.points[p].edges.size(); ++e) {
        if (!graph.points[p].edges[e].pending) continue;
        uint32_t sp = p, se = e;
        if (!FindSeed(sp, se)) return Outcome::kAbandon;
        p = sp;
        e = se;
        const Outcome o = TraceRegion(sp, se);
        if (o != Outcome::kGoOn) return o;
        created = true;
        if (ctx.m_bCancel || ResourceBoundCrossed()) return Outcome::kLeave;
      }
    }
  }
  return Outcome::kGoOn;
}

ShapeBuilder::Outcome ShapeBuilder::TraceRegion(uint32_t seedPoint, uint32_t seedEdge) {
  const PointEdge& seed = graph.points[seedPoint].edges[seedEdge];
  const uint8_t side = (seed.pending & kFill1Side) ? kFill1Side : kFill0Side;
  const int slot = side == kFill1Side ? 2 : 1;
  const uint8_t traced = seed.style[slot];
  const std::span<ShapePoint> points = graph.span();

  regions.push_back(std::make_unique<ShapeRegion>());
  const uint32_t regionIndex = uint32_t(regions.size() - 1);
  ShapeRegion& region = *regions.back();
  region.kind = side;
  region.style = traced;

  uint64_t outlineLeft = ctx.m_nOutlineTraceBudget;
  uint64_t stepsLeft = ctx.m_nCandidateStepBudget;
  auto spend = [&](uint64_t units) {
    if (units > outlineLeft || !Charge(units)) return false;
    outlineLeft -= units;
    return true;
  };
  auto spendSteps = [&](uint64_t steps) {
    if (steps > stepsLeft) return false;
    stepsLeft -= steps;
    return spend(steps);
  };

  uint64_t nextId = 1;
  std::vector<Candidate> cands(1);
  cands[0].steps.Append(seedPoint, seedEdge);
  cands[0].id = nextId++;
  const uint32_t start = seedPoint;

  // How often each point occurs among the steps of the synced candidate
  // from its second step on (for the no-revisit rule), in the builder's
  // table, which is left all zero for the next outline.
  std::vector<uint32_t>& onPath = onPath_;
  std::vector<uint32_t> synced;
  struct Unmark {
    std::vector<uint32_t>& counts;
    const std::vector<uint32_t>& points;
    ~Unmark() {
      for (uint32_t p : points) --counts[p];
    }
  } unmark{onPath, synced};
  uint64_t syncedId = 0;
  auto sync = [&](const Candidate& c) {
    if (c.id != syncedId) {
      if (!spend(synced.size() + c.steps.count())) return false;
      for (uint32_t p : synced) --onPath[p];
      synced.clear();
      syncedId = c.id;
    }
    for (uint32_t i = uint32_t(synced.size()) + 1; i < c.steps.count(); ++i) {
      ++onPath[c.steps.points[i]];
      synced.push_back(c.steps.points[i]);
    }
    return true;
  };

  // An edge the walk may take from point a: the traced side pending, the
  // traced fill, and once an outline is stored, leading into its area.
  auto usable = [&](uint32_t a, const PointEdge& k) {
    if (!(k.pending & side) || k.style[slot] != traced) return false;
    if (!region.HasContour()) return true;
    const ShapePoint& pa = points[a];
    const ShapePoint& n = points[k.otherPoint];
    if (region.HasPointIndex(k.otherPoint)) {
      int64_t sx, sy;
      if (k.curved) {
        sx = (int64_t(pa.x) + 2 * (int64_t(pa.x) + k.controlDx) + n.x) / 4;
        sy = (int64_t(pa.y) + 2 * (int64_t(pa.y) + k.controlDy) + n.y) / 4;
      } else {
        sx = (int64_t(pa.x) + n.x) / 2;
        sy = (int64_t(pa.y) + n.y) / 2;
      }
      return region.HitTest(Device(sx), Device(sy));
    }
    return region.area.Contains(Device(n.x), Device(n.y));
  };

  auto abandon = [&]() {
    region.ClearAll();
    regions.pop_back();
    return Outcome::kAbandon;
  };

  // Stores candidate c as a contour; a confirmed shrink with rivals left
  // regrows every branch off the stored outline.
  auto store = [&](size_t c) {
    const Contour& s = cands[c].steps;
    if (!spend(s.count())) return false;
    region.AddContour(s.count(), s.points.data(), s.edges.data(), points);
    region.AddContourRegion(geo, points);
    if (geo.failed) return false;
    if (!(region.confirmed && cands.size() > 1)) {
      cands.erase(cands.begin() + long(c));
      return true;
    }
    cands.clear();
    const Contour outline = region.contours[0];
    std::vector<Candidate> grown;
    // Points of the outline before step i (from its second step on), in
    // the builder's table, left all zero again.
    std::vector<uint32_t>& before = regrowMarks_;
    struct Clear {
      std::vector<uint32_t>& marks;
      const Contour& steps;
      ~Clear() {
        for (uint32_t i = 1; i < steps.count(); ++i) marks[steps.points[i]] = 0;
      }
    } clear{before, outline};
    for (uint32_t i = 0; i < outline.count(); ++i) {
      const uint32_t q = outline.points[i], g = outline.edges[i];
      const std::vector<PointEdge>& edges = points[q].edges;
      if (!spend(edges.size())) return false;
      for (uint32_t f = 0; f < edges.size(); ++f) {
        if (f == g || !usable(q, edges[f]) || before[edges[f].otherPoint]) continue;
        if (!spendSteps(i + 1)) return false;
        Candidate nc;
        nc.steps.points.assign(outline.points.begin(), outline.points.begin() + i);
        nc.steps.edges.assign(outline.edges.begin(), outline.edges.begin() + i);
        nc.steps.Append(q, f);
        nc.id = nextId++;
        grown.push_back(std::move(nc));
      }
      if (i >= 1) ++before[q];
    }
    // Each was put at the front of the table in turn.
    cands.assign(std::make_move_iterator(grown.rbegin()), std::make_move_iterator(grown.rend()));
    return true;
  };

  while (!cands.empty()) {
    if (!spend(1)) return abandon();
    if (Pump()) {
      region.ClearAll();
      regions.pop_back();
      return Outcome::kLeave;
    }
    const size_t remembered = cands.size();
    const size_t cur = remembered - 1;
    const Contour& last = cands[cur].steps;
    const PointEdge& arriving = points[last.points.back()].edges[last.edges.back()];
    const uint32_t a = arriving.otherPoint, t = arriving.twin;
    bool taken = false, closed = false;
    const uint32_t degree = uint32_t(points[a].edges.size());
    if (!spend(degree)) return abandon();
    for (uint32_t k = 0; k < degree; ++k) {
      const PointEdge& ke = points[a].edges[k];
      if (k == t || !usable(a, ke)) continue;
      const uint32_t n = ke.otherPoint;
      if (n == start) {
        if (taken) {
          cands.resize(remembered);
          cands[cur].steps.points.back() = a;
          cands[cur].steps.edges.back() = k;
          cands[cur].id = nextId++;
        } else {
          cands[cur].steps.Append(a, k);
        }
        if (!store(cur)) return abandon();
        closed = true;
        break;
      }
      if (!sync(cands[cur])) return abandon();
      if (onPath[n]) continue;
      if (taken) {
        Candidate copy = cands.back();
        if (!spendSteps(copy.steps.count())) return abandon();
        copy.steps.points.back() = a;
        copy.steps.edges.back() = k;
        copy.id = nextId++;
        cands.push_back(std::move(copy));
      } else {
        if (!spendSteps(1)) return abandon();
        cands[cur].steps.Append(a, k);
      }
      taken = true;
    }
    if (closed) continue;
    if (taken) {
      if (cands.size() > remembered && cands[0].steps.count() >= 2) {
        // Nearest to closing last, so it is continued next.
        const ShapePoint& s0 = points[start];
        auto distance = [&](const Candidate& c) {
          const PointEdge& l = points[c.steps.points.back()].edges[c.steps.edges.back()];
          const double dx = double(Device(s0.x)) - Device(l.endX);
          const double dy = double(Device(s0.y)) - Device(l.endY);
          return std::floor(std::sqrt(dx * dx + dy * dy) + 0.5);
        };
        std::vector<std::pair<double, size_t>> order;
        for (size_t i = cur; i < cands.size(); ++i) order.push_back({distance(cands[i]), i});
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& x, const auto& y) { return x.first > y.first; });
        std::vector<Candidate> sorted;
        for (const auto& o : order) sorted.push_back(std::move(cands[o.second]));
        std::move(sorted.begin(), sorted.end(), cands.begin() + long(cur));
      }
    } else if (cands.size() > 1 || region.HasContour()) {
      cands.pop_back();
    } else if (!store(cur)) {
      return abandon();
    }
  }

  region.DeleteRegions();
  region.BuildRegions(geo, points, side, traced, regionIndex);
  if (geo.failed) return abandon();
  return Outcome::kGoOn;
}

}  // namespace tovrani
