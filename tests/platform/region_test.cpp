#include "platform/region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace tovrani {
namespace {

// A brute-force pixel set over a small grid, to check regions against.
constexpr int kGrid = 48;
using PixelSet = std::vector<bool>;

struct Sample {
  Region region;
  PixelSet pixels = PixelSet(kGrid * kGrid, false);
  std::vector<IntRect> rects;
};

Sample RandomSample(std::mt19937& rng) {
  std::uniform_int_distribution<int> coord(0, kGrid), count(0, 6);
  Sample s;
  const int n = count(rng);
  for (int i = 0; i < n; ++i) {
    IntRect r{coord(rng), coord(rng), coord(rng), coord(rng)};
    s.rects.push_back(r);
    // Swapped corners are put in order, as for a single rectangle.
    Region one(r);
    Region::Combine(s.region, s.region, one, CombineMode::kOr);
    const int l = std::min(r.left, r.right), rr = std::max(r.left, r.right);
    const int t = std::min(r.top, r.bottom), b = std::max(r.top, r.bottom);
    for (int y = t; y < b; ++y)
      for (int x = l; x < rr; ++x) s.pixels[y * kGrid + x] = true;
  }
  return s;
}

void ExpectMatches(const Region& r, const PixelSet& model) {
  int64_t count = 0;
  IntRect box{kGrid, kGrid, 0, 0};
  for (int y = 0; y < kGrid; ++y) {
    for (int x = 0; x < kGrid; ++x) {
      const bool in = model[y * kGrid + x];
      ASSERT_EQ(r.Contains(x, y), in) << x << "," << y;
      if (in) {
        ++count;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
               std::max(box.bottom, y + 1)};
      }
    }
  }
  EXPECT_EQ(r.Area(), count);
  if (count == 0) {
    EXPECT_EQ(r.Kind(), RegionKind::kEmpty);
    EXPECT_EQ(r.Box(), IntRect{});
    EXPECT_EQ(r, Region());
  } else {
    EXPECT_EQ(r.Box(), box);
    const int64_t box_area = int64_t{box.right - box.left} * (box.bottom - box.top);
    EXPECT_EQ(r.Kind(), box_area == count ? RegionKind::kSimple : RegionKind::kComplex);
  }
}

PixelSet Apply(const PixelSet& a, const PixelSet& b, CombineMode mode) {
  PixelSet out(a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    out[i] = mode == CombineMode::kAnd    ? a[i] && b[i]
             : mode == CombineMode::kOr   ? a[i] || b[i]
             : mode == CombineMode::kDiff ? a[i] && !b[i]
                                          : a[i];
  }
  return out;
}

TEST(Region, CombinationsMatchPixelSetsAndObeyTheLaws) {
  std::mt19937 rng(12);
  for (int iter = 0; iter < 300; ++iter) {
    const Sample a = RandomSample(rng), b = RandomSample(rng);
    ExpectMatches(a.region, a.pixels);
    for (CombineMode mode :
         {CombineMode::kAnd, CombineMode::kOr, CombineMode::kDiff, CombineMode::kCopy}) {
      Region out(1, 1, 2, 2);
      const RegionKind kind = Region::Combine(out, a.region, b.region, mode);
      EXPECT_EQ(kind, out.Kind());
      ExpectMatches(out, Apply(a.pixels, b.pixels, mode));
      // The target may be one of the sources.
      Region alias = a.region;
      Region::Combine(alias, alias, b.region, mode);
      EXPECT_EQ(alias, out);
      alias = b.region;
      if (mode != CombineMode::kCopy) {
        Region::Combine(alias, a.region, alias, mode);
        EXPECT_EQ(alias, out);
      }
    }
    Region ab, ba, or_diff, diff;
    Region::Combine(ab, a.region, b.region, CombineMode::kAnd);
    Region::Combine(ba, b.region, a.region, CombineMode::kAnd);
    EXPECT_EQ(ab, ba);
    Region::Combine(or_diff, a.region, b.region, CombineMode::kOr);
    Region::Combine(or_diff, or_diff, b.region, CombineMode::kDiff);
    Region::Combine(diff, a.region, b.region, CombineMode::kDiff);
    EXPECT_EQ(or_diff, diff);
    // One set built two ways compares equal.
    Region from_rects;
    from_rects.SetRects(a.rects);
    EXPECT_EQ(from_rects, a.region);
    // The banded form is taken over as it is; anything else is sorted out.
    Region from_bands;
    from_bands.SetBands(a.region.Rects());
    EXPECT_EQ(from_bands, a.region);
    EXPECT_TRUE(pixman_region32_selfcheck(const_cast<pixman_region32_t*>(from_bands.raw())));
    std::vector<IntRect> shuffled = a.region.Rects();
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    if (!shuffled.empty()) shuffled.push_back(shuffled.front());  // overlapping
    from_bands.SetBands(shuffled);
    EXPECT_EQ(from_bands, a.region);
    Region from_pixels;
    std::vector<IntRect> pixels;
    for (int y = 0; y < kGrid; ++y)
      for (int x = 0; x < kGrid; ++x)
        if (a.pixels[y * kGrid + x]) pixels.push_back({x, y, x + 1, y + 1});
    from_pixels.SetRects(pixels);
    EXPECT_EQ(from_pixels, a.region);
    // Pixel rows stacked without coalescing are not the banded form.
    from_pixels.SetBands(pixels);
    EXPECT_EQ(from_pixels, a.region);
  }
}

TEST(Region, EmptyResultsAreCanonical) {
  const Region a(5, 5, 10, 10), b(20, 20, 30, 30);
  Region out;
  EXPECT_EQ(Region::Combine(out, a, b, CombineMode::kAnd), RegionKind::kEmpty);
  EXPECT_EQ(out.Box(), IntRect{});
  EXPECT_EQ(out, Region());
  // Touching rectangles share no pixel.
  EXPECT_EQ(Region::Combine(out, a, Region(10, 5, 15, 10), CombineMode::kAnd), RegionKind::kEmpty);
  Region self = a;
  EXPECT_EQ(Region::Combine(self, self, self, CombineMode::kDiff), RegionKind::kEmpty);
  EXPECT_EQ(self, Region());
  EXPECT_EQ(self.Box(), IntRect{});
  EXPECT_EQ(self.Translate(7, 9), RegionKind::kEmpty);
  EXPECT_EQ(self.Box(), IntRect{});
  EXPECT_EQ(Region(3, 3, 3, 9), Region());
  EXPECT_EQ(Region(3, 3, 9, 3).Kind(), RegionKind::kEmpty);
  EXPECT_EQ(Region(1, 2, 3, 4).Kind(), RegionKind::kSimple);
  EXPECT_EQ(Region::Combine(out, Region(0, 0, 2, 2), Region(2, 2, 4, 4), CombineMode::kOr),
            RegionKind::kComplex);
}

TEST(Region, RectanglesAreHalfOpenAndMove) {
  Region r(10, 20, 0, 5);  // corners swapped
  EXPECT_EQ(r.Box(), (IntRect{0, 5, 10, 20}));
  EXPECT_TRUE(r.Contains(0, 5));
  EXPECT_TRUE(r.Contains(9, 19));
  EXPECT_FALSE(r.Contains(10, 19));
  EXPECT_FALSE(r.Contains(9, 20));
  EXPECT_FALSE(r.Contains(-1, 5));
  EXPECT_EQ(r.Area(), 150);
  EXPECT_EQ(r.Translate(-5, 100), RegionKind::kSimple);
  EXPECT_EQ(r.Box(), (IntRect{-5, 105, 5, 120}));
  // A move past the coordinate limit fails and changes nothing.
  EXPECT_EQ(r.Translate(Region::kCoordLimit, 0), RegionKind::kError);
  EXPECT_EQ(r.Box(), (IntRect{-5, 105, 5, 120}));
  // Touching bands with the same spans are merged, not taken over as given.
  Region bands;
  bands.SetBands({{0, 0, 1, 1}, {2, 0, 3, 1}, {0, 1, 1, 2}, {2, 1, 3, 2}});
  Region expected(0, 0, 1, 2);
  Region::Combine(expected, expected, Region(2, 0, 3, 2), CombineMode::kOr);
  EXPECT_EQ(bands, expected);
  bands.SetBands({{0, 0, 1, 1}, {0, 1, 1, 2}});
  EXPECT_EQ(bands, Region(0, 0, 1, 2));
  // Extreme corners are clamped, and the area does not overflow.
  const Region huge(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  const int64_t side = int64_t{2} * Region::kCoordLimit;
  EXPECT_EQ(huge.Area(), side * side);
}

}  // namespace
}  // namespace tovrani
