#include "platform/region.h"

#include "platform/heap_count.h"
#include "platform/resource_bound.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace tovrani {
namespace {

int32_t ClampCoord(int32_t v) { return std::clamp(v, -Region::kCoordLimit, Region::kCoordLimit); }

// A region's block of rectangles: a region of one rectangle (no block) or
// an empty one (pixman's shared empty block) takes none.
uint64_t BlockBytes(const pixman_region32_t& r) {
  if (!r.data || r.data->size <= 0) return 0;
  return sizeof(pixman_region32_data_t) + uint64_t(r.data->size) * sizeof(pixman_box32_t);
}

RegionKind KindOf(const pixman_region32_t* r) {
  const int n = pixman_region32_n_rects(const_cast<pixman_region32_t*>(r));
  if (n == 0) return RegionKind::kEmpty;
  return n == 1 ? RegionKind::kSimple : RegionKind::kComplex;
}

}  // namespace

Region::Region() { pixman_region32_init(&region_); }

Region::Region(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  pixman_region32_init(&region_);
  SetRect(left, top, right, bottom);
}

Region::Region(const Region& other) {
  pixman_region32_init(&region_);
  const bool copied = pixman_region32_copy(&region_, const_cast<pixman_region32_t*>(&other.region_));
  Held(region_);
  if (!copied) Clear();
}

Region::Region(Region&& other) noexcept : region_(other.region_) {
  pixman_region32_init(&other.region_);
}

Region& Region::operator=(const Region& other) {
  if (this != &other) {
    Region tmp(other);
    std::swap(region_, tmp.region_);
  }
  return *this;
}

Region& Region::operator=(Region&& other) noexcept {
  if (this != &other) std::swap(region_, other.region_);
  return *this;
}

Region::~Region() {
  Released(region_);
  pixman_region32_fini(&region_);
}

// pixman mallocs the blocks: the heap's count has them from here.
void Region::Held(const pixman_region32_t& r) {
  const uint64_t bytes = BlockBytes(r);
  heldBytes_ += bytes;
  heap_count::Add(bytes);
}
void Region::Released(const pixman_region32_t& r) {
  const uint64_t bytes = BlockBytes(r);
  heldBytes_ -= bytes;
  heap_count::Subtract(bytes);
}

void Region::Clear() {
  Released(region_);
  pixman_region32_fini(&region_);
  pixman_region32_init(&region_);
}

void Region::Canonicalize() {
  if (!pixman_region32_not_empty(&region_)) Clear();
}

RegionKind Region::SetRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  left = ClampCoord(left);
  top = ClampCoord(top);
  right = ClampCoord(right);
  bottom = ClampCoord(bottom);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  Clear();
  if (left == right || top == bottom) return RegionKind::kEmpty;
  pixman_region32_fini(&region_);
  pixman_region32_init_rect(&region_, left, top, static_cast<uint32_t>(right - left),
                            static_cast<uint32_t>(bottom - top));
  return RegionKind::kSimple;
}

RegionKind Region::SetRects(const std::vector<IntRect>& rects) {
  std::vector<pixman_box32_t> boxes;
  boxes.reserve(rects.size());
  for (const IntRect& r : rects) {
    pixman_box32_t b{ClampCoord(r.left), ClampCoord(r.top), ClampCoord(r.right),
                     ClampCoord(r.bottom)};
    if (b.x1 > b.x2) std::swap(b.x1, b.x2);
    if (b.y1 > b.y2) std::swap(b.y1, b.y2);
    if (b.x1 < b.x2 && b.y1 < b.y2) boxes.push_back(b);
  }
  pixman_region32_t fresh;
  const bool made = pixman_region32_init_rects(&fresh, boxes.data(), static_cast<int>(boxes.size()));
  Held(fresh);
  if (!made) {
    Released(fresh);
    pixman_region32_fini(&fresh);
    Clear();
    return RegionKind::kError;
  }
  std::swap(region_, fresh);
  Released(fresh);
  pixman_region32_fini(&fresh);
  Canonicalize();
  return Kind();
}

namespace {

bool SameSpans(const IntRect* a, const IntRect* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i].left != b[i].left || a[i].right != b[i].right) return false;
  }
  return true;
}

// Whether the rectangles are exactly the canonical banded form of their
// union, the form every region operation keeps.
bool IsCanonicalBands(const std::vector<IntRect>& r) {
  size_t band = 0, prev_band = 0;  // starts of the current and previous band
  for (size_t i = 0; i < r.size(); ++i) {
    const IntRect& b = r[i];
    if (b.left >= b.right || b.top >= b.bottom) return false;
    if (b.left < -Region::kCoordLimit || b.right > Region::kCoordLimit ||
        b.top < -Region::kCoordLimit || b.bottom > Region::kCoordLimit) {
      return false;
    }
    if (i == 0) continue;
    const IntRect& p = r[i - 1];
    if (b.top == p.top && b.bottom == p.bottom) {
      if (b.left <= p.right) return false;
      continue;
    }
    if (b.top < p.bottom) return false;
    // A band that touches the one before must differ from it.
    const size_t prev_len = i - band;
    if (band > 0 && r[band].top == r[prev_band].bottom && band - prev_band == prev_len &&
        SameSpans(&r[prev_band], &r[band], prev_len)) {
      return false;
    }
    prev_band = band;
    band = i;
  }
  if (band > 0 && r[band].top == r[prev_band].bottom && band - prev_band == r.size() - band &&
      SameSpans(&r[prev_band], &r[band], r.size() - band)) {
    return false;
  }
  return true;
}

}  // namespace

RegionKind Region::SetBands(const std::vector<IntRect>& bands) {
  if (bands.size() < 2 || !IsCanonicalBands(bands)) return SetRects(bands);
  // pixman keeps a region's rectangles in one malloc'd block behind its
  // data header (and releases it with free()); build that block directly
  // instead of having pixman sort rectangles that are already in order.
  const size_t n = bands.size();
  if (!ReserveHeap(sizeof(pixman_region32_data_t) + n * sizeof(pixman_box32_t))) {
    Clear();
    return RegionKind::kError;
  }
  auto* data = static_cast<pixman_region32_data_t*>(
      std::malloc(sizeof(pixman_region32_data_t) + n * sizeof(pixman_box32_t)));
  if (!data) {
    Clear();
    return RegionKind::kError;
  }
  data->size = static_cast<long>(n);
  data->numRects = static_cast<long>(n);
  auto* boxes = reinterpret_cast<pixman_box32_t*>(data + 1);
  pixman_box32_t extents{bands[0].left, bands[0].top, bands[0].right, bands[n - 1].bottom};
  for (size_t i = 0; i < n; ++i) {
    boxes[i] = {bands[i].left, bands[i].top, bands[i].right, bands[i].bottom};
    extents.x1 = std::min(extents.x1, bands[i].left);
    extents.x2 = std::max(extents.x2, bands[i].right);
  }
  Clear();
  region_.extents = extents;
  region_.data = data;
  Held(region_);
  return RegionKind::kComplex;
}

RegionKind Region::Combine(Region& target, const Region& a, const Region& b, CombineMode mode) {
  // Work into a fresh region so that the target may alias a source.
  Region result;
  auto* ra = const_cast<pixman_region32_t*>(&a.region_);
  auto* rb = const_cast<pixman_region32_t*>(&b.region_);
  pixman_bool_t ok = 1;
  switch (mode) {
    case CombineMode::kAnd:
      ok = pixman_region32_intersect(&result.region_, ra, rb);
      break;
    case CombineMode::kOr:
      ok = pixman_region32_union(&result.region_, ra, rb);
      break;
    case CombineMode::kDiff:
      ok = pixman_region32_subtract(&result.region_, ra, rb);
      break;
    case CombineMode::kCopy:
      ok = pixman_region32_copy(&result.region_, ra);
      break;
  }
  Held(result.region_);
  if (!ok) {
    target.Clear();
    return RegionKind::kError;
  }
  result.Canonicalize();
  std::swap(target.region_, result.region_);
  return target.Kind();
}

RegionKind Region::Kind() const { return KindOf(&region_); }

bool Region::IsEmpty() const {
  return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&region_));
}

bool Region::Contains(int32_t x, int32_t y) const {
  return pixman_region32_contains_point(const_cast<pixman_region32_t*>(&region_), x, y, nullptr) !=
         0;
}

IntRect Region::Box() const {
  if (IsEmpty()) return {};
  const pixman_box32_t& e = region_.extents;
  return {e.x1, e.y1, e.x2, e.y2};
}

RegionKind Region::Translate(int32_t dx, int32_t dy) {
  if (IsEmpty()) return RegionKind::kEmpty;
  const IntRect box = Box();
  auto fits = [](int64_t v) { return v >= -kCoordLimit && v <= kCoordLimit; };
  if (!fits(int64_t{box.left} + dx) || !fits(int64_t{box.right} + dx) ||
      !fits(int64_t{box.top} + dy) || !fits(int64_t{box.bottom} + dy)) {
    return RegionKind::kError;
  }
  pixman_region32_translate(&region_, dx, dy);
  return Kind();
}

size_t Region::RectCount() const {
  return size_t(pixman_region32_n_rects(const_cast<pixman_region32_t*>(&region_)));
}

int64_t Region::Area() const {
  int n = 0;
  const pixman_box32_t* boxes =
      pixman_region32_rectangles(const_cast<pixman_region32_t*>(&region_), &n);
  int64_t area = 0;
  for (int i = 0; i < n; ++i) {
    area += (int64_t{boxes[i].x2} - boxes[i].x1) * (int64_t{boxes[i].y2} - boxes[i].y1);
  }
  return area;
}

std::vector<IntRect> Region::Rects() const {
  int n = 0;
  const pixman_box32_t* boxes =
      pixman_region32_rectangles(const_cast<pixman_region32_t*>(&region_), &n);
  std::vector<IntRect> out;
  out.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out.push_back({boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2});
  return out;
}

bool Region::operator==(const Region& other) const {
  return pixman_region32_equal(const_cast<pixman_region32_t*>(&region_),
                               const_cast<pixman_region32_t*>(&other.region_)) != 0;
}

}  // namespace tovrani
