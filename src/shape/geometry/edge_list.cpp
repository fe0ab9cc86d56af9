#include "shape/geometry/edge_list.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace tovrani {

void EdgeList::Include(int32_t x, int32_t y) {
  box.left = std::min(box.left, x);
  box.top = std::min(box.top, y);
  box.right = std::max(box.right, x);
  box.bottom = std::max(box.bottom, y);
}

namespace {

int32_t I16(std::span<const uint8_t> d, size_t p) { return int16_t(d[p] | d[p + 1] << 8); }
int32_t I32(std::span<const uint8_t> d, size_t p) {
  return int32_t(uint32_t(d[p]) | uint32_t(d[p + 1]) << 8 | uint32_t(d[p + 2]) << 16 |
                 uint32_t(d[p + 3]) << 24);
}

void ReadPair(std::span<const uint8_t> d, size_t& p, uint8_t form, int32_t& x, int32_t& y) {
  if (form == 0) return;
  if (form == 2) {
    x = I32(d, p);
    y = I32(d, p + 4);
  } else {
    x = I16(d, p);
    y = I16(d, p + 2);
  }
  p += PairBytes(form);
}

}  // namespace

size_t ReadStoredRecord(std::span<const uint8_t> d, size_t pos, EdgeListItem& item) {
  if (pos >= d.size() || d[pos] == 0) return 0;
  const uint8_t flags = d[pos];
  const size_t size = RecordSize(flags);
  if (size > d.size() - pos) return 0;
  item.flags = flags;
  size_t p = pos + 1;
  if (CarriesStyles(flags)) {
    item.style = {d[p], d[p + 1], d[p + 2]};
    p += 3;
  }
  item.moveDx = item.moveDy = item.controlDx = item.controlDy = item.anchorDx = item.anchorDy = 0;
  ReadPair(d, p, MoveForm(flags), item.moveDx, item.moveDy);
  ReadPair(d, p, ControlForm(flags), item.controlDx, item.controlDy);
  ReadPair(d, p, AnchorForm(flags), item.anchorDx, item.anchorDy);
  return size;
}

bool SameItem(const EdgeListItem& a, const EdgeListItem& b) {
  return a.startX == b.startX && a.startY == b.startY && a.endX == b.endX && a.endY == b.endY &&
         a.flags == b.flags && a.controlDx == b.controlDx && a.controlDy == b.controlDy &&
         a.anchorDx == b.anchorDx && a.anchorDy == b.anchorDy && a.style == b.style;
}

bool CarriesNoFill(const EdgeList& run) {
  for (const EdgeListItem& it : run.items)
    if (it.hasFill()) return false;
  return true;
}

namespace {

// Each edge with its end points in a fixed order (a straight edge with no
// control point), sorted.
using EdgeKey = std::tuple<int64_t, int64_t, int64_t, int64_t, bool, int64_t, int64_t>;
std::vector<EdgeKey> SortedEdges(const EdgeList& run) {
  std::vector<EdgeKey> out;
  out.reserve(run.items.size());
  for (const EdgeListItem& it : run.items) {
    std::pair<int64_t, int64_t> s{it.startX, it.startY}, e{it.endX, it.endY};
    const int64_t cx = it.curved() ? it.startX + it.controlX() : 0;
    const int64_t cy = it.curved() ? it.startY + it.controlY() : 0;
    if (e < s) std::swap(s, e);
    out.emplace_back(s.first, s.second, e.first, e.second, it.curved(), cx, cy);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

bool HoldSameEdges(const EdgeList& a, const EdgeList& b) {
  return a.count() == b.count() && SortedEdges(a) == SortedEdges(b);
}

bool HoldsEveryEdgeOf(const EdgeList& outer, const EdgeList& inner) {
  std::vector<EdgeKey> o = SortedEdges(outer), i = SortedEdges(inner);
  o.erase(std::unique(o.begin(), o.end()), o.end());
  i.erase(std::unique(i.begin(), i.end()), i.end());
  return std::includes(o.begin(), o.end(), i.begin(), i.end());
}

}  // namespace tovrani
