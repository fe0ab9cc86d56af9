#include "platform/path.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace tovrani {

void Path::MoveTo(IntPoint p) {
  current_ = p;
  in_figure_ = false;
}

Path::Figure& Path::CurrentFigure() {
  if (!in_figure_) {
    figures_.push_back(Figure{current_, {}, false});
    in_figure_ = true;
  }
  return figures_.back();
}

void Path::LineTo(IntPoint p) {
  CurrentFigure().segments.push_back(Segment{SegmentKind::kLine, {}, {}, p});
  current_ = p;
}

void Path::BezierTo(IntPoint c1, IntPoint c2, IntPoint end) {
  CurrentFigure().segments.push_back(Segment{SegmentKind::kCubic, c1, c2, end});
  current_ = end;
}

void Path::CloseFigure() {
  if (!in_figure_) return;
  figures_.back().closed = true;
  current_ = figures_.back().start;
  in_figure_ = false;
}

void Path::Clear() {
  figures_.clear();
  current_ = {};
  in_figure_ = false;
}

uint64_t SortWork(uint64_t n) { return n * uint64_t(std::bit_width(n)) / 4; }

RegionKind Path::ToRegion(Region& out) const {
  FillWork unlimited;
  return ToRegion(out, unlimited);
}

RegionKind Path::ToRegion(Region& out, FillWork& work) const {
  work.spent = 0;
  work.held = 0;
  // The points are made before the fill counts them: no more are made than
  // its byte limit allows.
  const size_t max_points = size_t(
      std::min<uint64_t>(fill_detail::kMaxFillPoints, work.heldLimit / fill_detail::kHeldBytesPerCorner));
  std::vector<fill_detail::Polyline> lines;
  bool too_many = false;
  if (!fill_detail::FlattenPath(*this, max_points, lines, &too_many)) {
    out.Clear();
    if (too_many && max_points < fill_detail::kMaxFillPoints)
      work.held = (uint64_t(max_points) + 1) * fill_detail::kHeldBytesPerCorner;
    return RegionKind::kError;
  }
  std::vector<std::vector<fill_detail::FixPoint>> polygons;
  polygons.reserve(lines.size());
  for (auto& l : lines) polygons.push_back(std::move(l.points));
  return fill_detail::FillPolygons(polygons, fill_detail::FillRule::kEvenOdd, out, &work);
}

namespace fill_detail {
namespace {

// The flattening error budget: the parametric chord error plus the rounding
// to the fixed grid stays under a quarter unit.
constexpr double kFlattenTolerance = 0.2;
constexpr int kMaxCubicSteps = 1 << 15;

// Beyond these the filler gives up instead of running for minutes or
// building a region of hundreds of megabytes.
constexpr int64_t kMaxEdgeRows = int64_t{1} << 26;
constexpr size_t kMaxRects = size_t{1} << 21;
constexpr size_t kKeptScratchBytes = size_t{1} << 22;

// Polygon coordinates may exceed the path limit by a pen's half width.
constexpr int64_t kMaxFixCoord = (int64_t{Path::kMaxCoord} + 1024) * kFixOne;

bool InRange(IntPoint p) {
  return std::abs(int64_t{p.x}) <= Path::kMaxCoord && std::abs(int64_t{p.y}) <= Path::kMaxCoord;
}

FixPoint ToFix(IntPoint p) { return {int64_t{p.x} * kFixOne, int64_t{p.y} * kFixOne}; }

void PushPoint(std::vector<FixPoint>& pts, FixPoint p) {
  if (pts.empty() || !(pts.back() == p)) pts.push_back(p);
}

void FlattenCubic(IntPoint p0, IntPoint c1, IntPoint c2, IntPoint p3, std::vector<FixPoint>& pts) {
  // The distance between a cubic and its uniform n-piece chord polygon is at
  // most 3M / (4 n^2), M the larger of the two second differences.
  const double ax = double(p0.x) - 2.0 * c1.x + c2.x, ay = double(p0.y) - 2.0 * c1.y + c2.y;
  const double bx = double(c1.x) - 2.0 * c2.x + p3.x, by = double(c1.y) - 2.0 * c2.y + p3.y;
  const double m = std::max(std::hypot(ax, ay), std::hypot(bx, by));
  const double need = std::ceil(std::sqrt(3.0 * m / (4.0 * kFlattenTolerance)));
  const int n = static_cast<int>(std::clamp(need, 1.0, double(kMaxCubicSteps)));
  for (int i = 1; i < n; ++i) {
    const double t = double(i) / n, u = 1.0 - t;
    const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
    const double x = w0 * p0.x + w1 * c1.x + w2 * c2.x + w3 * p3.x;
    const double y = w0 * p0.y + w1 * c1.y + w2 * c2.y + w3 * p3.y;
    PushPoint(pts, {std::llround(x * kFixOne), std::llround(y * kFixOne)});
  }
  PushPoint(pts, ToFix(p3));
}

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

struct Edge {
  FixPoint top;
  FixPoint bottom;
  int64_t first_row;
  int64_t end_row;  // exclusive
  int dir;
};

// An edge crossing the current row. The crossing's pixel threshold is
// ceil(X / 16) where X = q + rem / den exactly; stepping a row adds
// step_q + step_rem / den.
struct ActiveEdge {
  int64_t q, rem, den, step_q, step_rem;
  int64_t end_row;
  int32_t x;
  int dir;

  void UpdateX() { x = static_cast<int32_t>(q + (rem != 0 ? 1 : 0)); }
  void Step() {
    rem += step_rem;
    const int64_t carry = rem >= den ? 1 : 0;  // branch-free: the carry is erratic
    rem -= carry * den;
    q += step_q + carry;
    UpdateX();
  }
};

ActiveEdge Activate(const Edge& e, int64_t row) {
  const int64_t dx = e.bottom.x - e.top.x, dy = e.bottom.y - e.top.y;
  ActiveEdge a{};
  a.den = kFixOne * dy;
  const int64_t num = e.top.x * dy + (row * kFixOne - e.top.y) * dx;
  a.q = FloorDiv(num, a.den);
  a.rem = num - a.q * a.den;
  const int64_t step = kFixOne * dx;
  a.step_q = FloorDiv(step, a.den);
  a.step_rem = step - a.step_q * a.den;
  a.end_row = e.end_row;
  a.dir = e.dir;
  a.UpdateX();
  return a;
}

struct Span {
  int32_t left, right;
  bool operator==(const Span&) const = default;
};

static_assert(kHeldBytesPerCorner == 2 * sizeof(FixPoint));
// An edge active in a row with its share of the row's spans; a rectangle
// in the list and in the region made of it.
constexpr uint64_t kHeldBytesPerActiveEdge = sizeof(ActiveEdge) + sizeof(Span);
constexpr uint64_t kHeldBytesPerRect = 2 * sizeof(IntRect);

template <typename T>
void TrimScratch(std::vector<T>& v) {
  v.clear();
  if (v.capacity() * sizeof(T) > kKeptScratchBytes) std::vector<T>().swap(v);
}

struct FillScratch {
  std::vector<IntRect> rects;
  std::vector<ActiveEdge> active;
  std::vector<Span> spans, band_spans;
};

// Empties the scratch on every exit and lets unusually large buffers go.
struct ScratchGuard {
  FillScratch& s;
  ~ScratchGuard() {
    TrimScratch(s.rects);
    TrimScratch(s.active);
    TrimScratch(s.spans);
    TrimScratch(s.band_spans);
  }
};

}  // namespace

bool FlattenPath(const Path& path, size_t max_points, std::vector<Polyline>& out, bool* too_many) {
  out.clear();
  size_t total = 0;
  for (const Path::Figure& f : path.figures()) {
    if (f.segments.empty()) continue;
    if (!InRange(f.start)) return false;
    Polyline line;
    line.closed = f.closed;
    line.points.push_back(ToFix(f.start));
    IntPoint cur = f.start;
    for (const Path::Segment& s : f.segments) {
      if (!InRange(s.end)) return false;
      if (s.kind == Path::SegmentKind::kLine) {
        PushPoint(line.points, ToFix(s.end));
      } else {
        if (!InRange(s.c1) || !InRange(s.c2)) return false;
        FlattenCubic(cur, s.c1, s.c2, s.end, line.points);
      }
      cur = s.end;
      if (total + line.points.size() > max_points) {
        if (too_many) *too_many = true;
        return false;
      }
    }
    total += line.points.size();
    out.push_back(std::move(line));
  }
  return true;
}

RegionKind FillPolygons(const std::vector<std::vector<FixPoint>>& polygons, FillRule rule,
                        Region& out, FillWork* work) {
  out.Clear();
  if (work) work->spent = work->held = 0;
  std::vector<Edge> edges;
  int64_t edge_rows = 0;
  uint64_t corners = 0, sorting = 0;
  // What it holds: its polygons, the room of its list of edges, the most
  // edges active in a row and the rectangles made.
  uint64_t polygon_bytes = 0, edge_room = 0, most_active = 0, rect_count = 0;
  for (const auto& poly : polygons) polygon_bytes += poly.capacity() * sizeof(FixPoint);
  // The work is known before the first row is walked, but for the rows
  // that need a full sort. A row walked costs several times an edge
  // stepping through it (its spans, band and rectangles), and holds two
  // edges at least: a second unit per edge row pays for it.
  auto over_limit = [&] {
    if (!work) return false;
    work->spent = corners + 2 * uint64_t(edge_rows) + sorting;
    work->held = polygon_bytes + edge_room * sizeof(Edge) + most_active * kHeldBytesPerActiveEdge +
                 rect_count * kHeldBytesPerRect;
    return work->refused();
  };
  if (over_limit()) return RegionKind::kError;
  for (const auto& poly : polygons) {
    const size_t n = poly.size();
    corners += n;
    if (over_limit()) return RegionKind::kError;
    for (size_t i = 0; i < n; ++i) {
      const FixPoint a = poly[i], b = poly[(i + 1) % n];
      if (std::abs(a.x) > kMaxFixCoord || std::abs(a.y) > kMaxFixCoord) return RegionKind::kError;
      if (a.y == b.y) continue;
      Edge e;
      e.dir = a.y < b.y ? 1 : -1;
      e.top = a.y < b.y ? a : b;
      e.bottom = a.y < b.y ? b : a;
      // Rows whose sample line y = row lies in [top, bottom).
      e.first_row = CeilDiv(e.top.y, kFixOne);
      e.end_row = CeilDiv(e.bottom.y, kFixOne);
      if (e.first_row >= e.end_row) continue;
      edge_rows += e.end_row - e.first_row;
      // A full list doubles its room: that is checked before it is taken.
      if (edges.size() == edges.capacity()) edge_room = std::max<size_t>(1, 2 * edges.capacity());
      if (over_limit() || edge_rows > kMaxEdgeRows) return RegionKind::kError;
      edges.push_back(e);
    }
  }
  if (edges.empty()) return RegionKind::kEmpty;
  sorting += SortWork(edges.size());
  if (over_limit()) return RegionKind::kError;
  std::sort(edges.begin(), edges.end(),
            [](const Edge& a, const Edge& b) { return a.first_row < b.first_row; });

  // Scratch kept between calls: large fills would otherwise spend much of
  // their time faulting in fresh pages.
  thread_local FillScratch scratch;
  const ScratchGuard guard{scratch};
  std::vector<IntRect>& rects = scratch.rects;
  std::vector<ActiveEdge>& active = scratch.active;
  std::vector<Span>& spans = scratch.spans;
  std::vector<Span>& band_spans = scratch.band_spans;
  int64_t band_top = 0, band_bottom = 0;
  auto flush_band = [&]() -> bool {
    rect_count = rects.size() + band_spans.size();
    if (rect_count > kMaxRects || over_limit()) return false;
    for (const Span& s : band_spans) {
      rects.push_back(
          {s.left, static_cast<int32_t>(band_top), s.right, static_cast<int32_t>(band_bottom)});
    }
    band_spans.clear();
    return true;
  };

  size_t next = 0;
  int64_t row = edges.front().first_row;
  while (next < edges.size() || !active.empty()) {
    if (active.empty() && edges[next].first_row > row) row = edges[next].first_row;
    size_t arriving = 0;
    while (next + arriving < edges.size() && edges[next + arriving].first_row == row) ++arriving;
    if (active.size() + arriving > most_active) {
      most_active = active.size() + arriving;
      if (over_limit()) return RegionKind::kError;
    }
    for (; arriving > 0; --arriving) active.push_back(Activate(edges[next++], row));
    // Crossings move little from row to row, so insertion sort is near
    // linear; when a row brings many new or crossing edges it would turn
    // quadratic, and a full sort takes over.
    const size_t move_limit = 4 * active.size() + 16;
    size_t moves = 0;
    for (size_t i = 1; i < active.size() && moves <= move_limit; ++i) {
      ActiveEdge e = active[i];
      size_t j = i;
      while (j > 0 && active[j - 1].x > e.x && ++moves <= move_limit) {
        active[j] = active[j - 1];
        --j;
      }
      active[j] = e;
    }
    if (moves > move_limit) {
      // Which rows need a full sort is not known before the walk: each is
      // charged as it comes.
      sorting += SortWork(active.size());
      if (over_limit()) return RegionKind::kError;
      std::sort(active.begin(), active.end(),
                [](const ActiveEdge& a, const ActiveEdge& b) { return a.x < b.x; });
    }
    spans.clear();
    auto add_span = [&spans](int32_t l, int32_t r) {
      if (l >= r) return;
      if (!spans.empty() && spans.back().right >= l) {
        spans.back().right = std::max(spans.back().right, r);
      } else {
        spans.push_back({l, r});
      }
    };
    if (rule == FillRule::kEvenOdd) {
      for (size_t i = 0; i + 1 < active.size(); i += 2) add_span(active[i].x, active[i + 1].x);
    } else {
      int winding = 0;
      int32_t start = 0;
      for (const ActiveEdge& e : active) {
        const int before = winding;
        winding += e.dir;
        if (before == 0 && winding != 0) start = e.x;
        if (before != 0 && winding == 0) add_span(start, e.x);
      }
    }
    if (!band_spans.empty() && band_bottom == row && spans == band_spans) {
      band_bottom = row + 1;
    } else {
      if (!flush_band()) return RegionKind::kError;
      if (!spans.empty()) {
        band_spans.swap(spans);
        band_top = row;
        band_bottom = row + 1;
      }
    }
    ++row;
    // While only vertical edges are active, the rows up to the next edge
    // event repeat this one.
    if (!band_spans.empty() && std::all_of(active.begin(), active.end(), [](const ActiveEdge& e) {
          return e.step_q == 0 && e.step_rem == 0;
        })) {
      int64_t until = INT64_MAX;
      for (const ActiveEdge& e : active) until = std::min(until, e.end_row);
      if (next < edges.size()) until = std::min(until, edges[next].first_row);
      if (until > row) row = band_bottom = until;
    }
    size_t kept = 0;
    for (size_t i = 0; i < active.size(); ++i) {
      if (active[i].end_row == row) continue;
      active[i].Step();
      if (kept != i) active[kept] = active[i];
      ++kept;
    }
    active.resize(kept);
  }
  if (!flush_band()) return RegionKind::kError;
  return out.SetBands(rects);
}

}  // namespace fill_detail
}  // namespace tovrani
