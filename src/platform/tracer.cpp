#include "platform/tracer.h"

#include <potracelib.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <utility>

#include "platform/resource_bound.h"

namespace tovrani {
namespace {

// The work budget: rasters whose pixel boundaries are longer than this are
// refused rather than traced for an unbounded time.
constexpr int64_t kMaxBoundaryLength = int64_t{1} << 21;

struct ParamDeleter {
  void operator()(potrace_param_t* p) const { potrace_param_free(p); }
};
struct StateDeleter {
  void operator()(potrace_state_t* s) const { potrace_state_free(s); }
};

// Unit edges between a set pixel and an unset one or the raster's border.
int64_t BoundaryLength(const Raster& r) {
  int64_t n = 0;
  for (int32_t y = 0; y < r.height(); ++y) {
    for (int32_t x = 0; x < r.width(); ++x) {
      const bool on = r.Get(x, y);
      n += (on != r.Get(x - 1, y)) + (on != r.Get(x, y - 1));
    }
    n += r.Get(r.width() - 1, y);
  }
  for (int32_t x = 0; x < r.width(); ++x) n += r.Get(x, r.height() - 1);
  return n;
}

// Union-find over the pixels; each root stands for its group.
uint32_t FindRoot(std::vector<uint32_t>& parent, uint32_t i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];
    i = parent[i];
  }
  return i;
}

TracePoint ToPoint(const potrace_dpoint_t& p) { return {p.x, p.y}; }

TracedOutline ConvertCurve(const potrace_path_t& path) {
  TracedOutline outline;
  outline.hole = path.sign == '-';
  const potrace_curve_t& c = path.curve;
  if (c.n <= 0) return outline;
  outline.start = ToPoint(c.c[c.n - 1][2]);
  for (int i = 0; i < c.n; ++i) {
    if (c.tag[i] == POTRACE_CURVETO) {
      outline.segments.push_back({TracedSegment::Kind::kCubic, ToPoint(c.c[i][0]),
                                  ToPoint(c.c[i][1]), ToPoint(c.c[i][2])});
    } else {
      // A corner: in to the vertex, out to the segment's end.
      outline.segments.push_back({TracedSegment::Kind::kLine, {}, {}, ToPoint(c.c[i][1])});
      outline.segments.push_back({TracedSegment::Kind::kLine, {}, {}, ToPoint(c.c[i][2])});
    }
  }
  return outline;
}

}  // namespace

uint64_t TraceCornerWork(const Raster& raster) {
  const int32_t w = raster.width(), h = raster.height();
  if (w <= 0 || h <= 0) return 0;
  const auto at = [w](int32_t x, int32_t y) { return uint32_t(size_t(y) * size_t(w) + size_t(x)); };
  std::vector<uint32_t> parent(size_t(w) * size_t(h));
  for (uint32_t i = 0; i < parent.size(); ++i) parent[i] = i;
  // Joined at an edge or a corner: a superset of any path's pixels,
  // however the tracer settles pixels that meet only at a corner.
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      if (!raster.Get(x, y)) continue;
      for (const auto& [dx, dy] : {std::pair{-1, 0}, std::pair{-1, -1}, std::pair{0, -1}, std::pair{1, -1}})
        if (raster.Get(x + dx, y + dy)) {
          const uint32_t a = FindRoot(parent, at(x, y)), b = FindRoot(parent, at(x + dx, y + dy));
          if (a != b) parent[a] = b;
        }
    }
  // A corner of the pixel grid where the boundary turns: one or three of
  // the four pixels around it set, or two set diagonally (two turns).
  std::vector<uint32_t> corners(parent.size(), 0);
  for (int32_t y = 0; y <= h; ++y)
    for (int32_t x = 0; x <= w; ++x) {
      const bool a = raster.Get(x - 1, y - 1), b = raster.Get(x, y - 1);
      const bool c = raster.Get(x - 1, y), d = raster.Get(x, y);
      const int set = a + b + c + d;
      const uint32_t turns = set == 1 || set == 3 ? 1 : set == 2 && a == d ? 2 : 0;
      if (!turns) continue;
      const uint32_t pixel = a ? at(x - 1, y - 1) : b ? at(x, y - 1) : c ? at(x - 1, y) : at(x, y);
      corners[FindRoot(parent, pixel)] += turns;
    }
  uint64_t work = 0;
  for (const uint32_t n : corners) work += uint64_t(n) * n;
  return work;
}

TraceSettings TraceSettingsForLevel(int smoothing_level, bool closer) {
  const int level = std::clamp(smoothing_level, 1, 30);
  TraceSettings s;
  if (closer || level == 30) {
    s.corner_surround = 1;
  } else if (level == 29) {
    s.corner_surround = 2;
  } else if (level == 28) {
    s.corner_surround = 3;
  } else {
    s.corner_surround = 4;
  }
  s.alphamax = std::min(4.0 / 3.0, 0.45 + 0.03 * level) * s.corner_surround / 4.0;
  s.opttolerance = 0.05 * level;
  return s;
}

TraceStatus TraceRaster(const Raster& raster, int smoothing_level, bool closer,
                        std::vector<TracedOutline>& out) {
  out.clear();
  if (raster.width() == 0 || raster.height() == 0) return TraceStatus::kOk;
  if (BoundaryLength(raster) > kMaxBoundaryLength) return TraceStatus::kBudgetExceeded;

  constexpr int kBits = int(sizeof(potrace_word) * CHAR_BIT);
  const int words_per_row = (raster.width() + kBits - 1) / kBits;
  std::vector<potrace_word> map(static_cast<size_t>(words_per_row) * raster.height(), 0);
  for (int32_t y = 0; y < raster.height(); ++y) {
    potrace_word* row = map.data() + static_cast<size_t>(y) * words_per_row;
    for (int32_t x = 0; x < raster.width(); ++x) {
      if (raster.Get(x, y)) row[x / kBits] |= potrace_word{1} << (kBits - 1 - x % kBits);
    }
  }
  potrace_bitmap_t bitmap{raster.width(), raster.height(), words_per_row, map.data()};

  std::unique_ptr<potrace_param_t, ParamDeleter> param(potrace_param_default());
  if (!param) return TraceStatus::kFailed;
  const TraceSettings settings = TraceSettingsForLevel(smoothing_level, closer);
  param->turdsize = 0;
  param->alphamax = settings.alphamax;
  param->opticurve = 1;
  param->opttolerance = settings.opttolerance;
  // potrace cannot be stopped, but its progress keeps the clock of the
  // conversion's bounds read; the loops around it stop once one is crossed.
  param->progress.callback = [](double, void*) { ResourceLook(); };
  param->progress.min = 0;
  param->progress.max = 1;
  param->progress.epsilon = 0;

  std::unique_ptr<potrace_state_t, StateDeleter> state(potrace_trace(param.get(), &bitmap));
  if (!state || state->status != POTRACE_STATUS_OK) return TraceStatus::kFailed;

  // Pre-order walk of the nesting tree: every outline before the outlines
  // inside it. Iterative, as nesting can be as deep as the raster is wide.
  std::vector<const potrace_path_t*> stack;
  auto push_siblings = [&stack](const potrace_path_t* first) {
    const size_t base = stack.size();
    for (const potrace_path_t* p = first; p; p = p->sibling) stack.push_back(p);
    std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(base), stack.end());
  };
  push_siblings(state->plist);
  while (!stack.empty()) {
    const potrace_path_t* p = stack.back();
    stack.pop_back();
    if (p->curve.n > 0) out.push_back(ConvertCurve(*p));
    push_siblings(p->childlist);
  }
  return TraceStatus::kOk;
}

}  // namespace tovrani
