// Pixel regions: sets of whole device pixels, stored as pixman 32-bit
// regions. A pixel (x, y) is the unit square whose top-left corner is (x, y);
// rectangles are half-open (left and top inclusive, right and bottom
// exclusive). Every operation leaves an empty result in one canonical form
// (box 0,0,0,0), so two empty regions always compare equal.
//
// In place of the GDI calls: CreateRectRgn is the rectangle constructor or
// SetRect, CombineRgn is Combine, EqualRgn is ==, PtInRegion is Contains,
// GetRgnBox is Box, OffsetRgn is Translate.
#pragma once

#include <pixman.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovrani {

// Result kinds of a region operation; the numbers are the ones the shape
// code compares against.
enum class RegionKind : int {
  kError = 0,
  kEmpty = 1,
  kSimple = 2,   // exactly one rectangle
  kComplex = 3,  // more than one rectangle
};

enum class CombineMode { kAnd, kOr, kDiff, kCopy };

struct IntRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  bool operator==(const IntRect&) const = default;
};

class Region {
 public:
  // Region coordinates stay within +-kCoordLimit so that every translation
  // and area sum is representable.
  static constexpr int32_t kCoordLimit = 1 << 28;

  Region();
  // The rectangle's pixels; swapped corners are put in order, a rectangle
  // of no width or height is empty, corners beyond the limit are clamped.
  Region(int32_t left, int32_t top, int32_t right, int32_t bottom);
  explicit Region(const IntRect& r) : Region(r.left, r.top, r.right, r.bottom) {}
  Region(const Region& other);
  Region(Region&& other) noexcept;
  Region& operator=(const Region& other);
  Region& operator=(Region&& other) noexcept;
  ~Region();

  // Builds a region from rectangles that may overlap (their union), each
  // taken as the constructor takes it. kError leaves the region empty.
  RegionKind SetRects(const std::vector<IntRect>& rects);
  // The same for rectangles already in the banded form that Rects()
  // returns (bands top to bottom, each a row of disjoint, non-touching
  // spans left to right, no two touching bands alike); this form is taken
  // over directly, anything else goes the general way.
  RegionKind SetBands(const std::vector<IntRect>& bands);
  RegionKind SetRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
  void Clear();

  // target = a (op) b; target may be a or b. On failure the target is left
  // empty and kError is returned. kCopy ignores b.
  static RegionKind Combine(Region& target, const Region& a, const Region& b, CombineMode mode);

  RegionKind Kind() const;
  bool IsEmpty() const;
  bool Contains(int32_t x, int32_t y) const;
  IntRect Box() const;
  // Moves the region by whole pixels. A move that would take it beyond the
  // coordinate limit fails with kError and leaves the region unchanged.
  RegionKind Translate(int32_t dx, int32_t dy);
  // Number of pixels.
  int64_t Area() const;
  // Number of banded rectangles: what combining the region costs.
  size_t RectCount() const;
  // The y-x banded rectangles, top to bottom, left to right.
  std::vector<IntRect> Rects() const;

  bool operator==(const Region& other) const;

  const pixman_region32_t* raw() const { return &region_; }

  // Bytes the rectangles of every region alive in this thread take: what
  // the shape code charges for the regions it keeps.
  static uint64_t HeldBytes() { return heldBytes_; }

 private:
  void Canonicalize();
  // A rectangles' block made or taken over, and one about to be released.
  static void Held(const pixman_region32_t& r);
  static void Released(const pixman_region32_t& r);

  inline static thread_local uint64_t heldBytes_ = 0;

  pixman_region32_t region_;
};

}  // namespace tovrani
