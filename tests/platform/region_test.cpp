#include "platform/region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <random>

namespace tovrani {
namespace {

// Regions are checked against a brute-force pixel set over a small grid.
constexpr int kGrid = 48;
using PixelSet = std::bitset<kGrid * kGrid>;

struct Sample {
  Region region;
  PixelSet pixels;
  std::vector<IntRect> rects;
};

Sample RandomSample(std::mt19937& rng) {
  std::uniform_int_distribution<int> coord(0, kGrid), count(0, 6);
  Sample s;
  for (int i = count(rng); i > 0; --i) {
    const IntRect r{coord(rng), coord(rng), coord(rng), coord(rng)};  // corners often swapped
    s.rects.push_back(r);
    Region::Combine(s.region, s.region, Region(r), CombineMode::kOr);
    for (int y = std::min(r.top, r.bottom); y < std::max(r.top, r.bottom); ++y)
      for (int x = std::min(r.left, r.right); x < std::max(r.left, r.right); ++x)
        s.pixels.set(y * kGrid + x);
  }
  return s;
}

// Point test, area, box, kind and the canonical empty form all agree with the model.
void ExpectMatches(const Region& r, const PixelSet& model) {
  const int64_t count = int64_t(model.count());
  IntRect box{kGrid, kGrid, 0, 0};
  for (int y = 0; y < kGrid; ++y) {
    for (int x = 0; x < kGrid; ++x) {
      ASSERT_EQ(r.Contains(x, y), model[y * kGrid + x]) << x << "," << y;
      if (model[y * kGrid + x])
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
    }
  }
  EXPECT_EQ(r.Area(), count);
  if (count == 0) box = IntRect{};
  EXPECT_EQ(r.Box(), box);
  const int64_t box_area = int64_t{box.right - box.left} * (box.bottom - box.top);
  EXPECT_EQ(r.Kind(), count == 0           ? RegionKind::kEmpty
                      : box_area == count ? RegionKind::kSimple
                                          : RegionKind::kComplex);
  EXPECT_EQ(count == 0, r == Region());
}

TEST(Region, CombinationsMatchPixelSetsAndObeyTheLaws) {
  std::mt19937 rng(12);
  for (int iter = 0; iter < 300; ++iter) {
    const Sample a = RandomSample(rng), b = RandomSample(rng);
    ExpectMatches(a.region, a.pixels);
    for (CombineMode mode :
         {CombineMode::kAnd, CombineMode::kOr, CombineMode::kDiff, CombineMode::kCopy}) {
      const PixelSet model = mode == CombineMode::kAnd    ? a.pixels & b.pixels
                             : mode == CombineMode::kOr   ? a.pixels | b.pixels
                             : mode == CombineMode::kDiff ? a.pixels & ~b.pixels
                                                          : a.pixels;
      Region out(1, 1, 2, 2);
      const RegionKind kind = Region::Combine(out, a.region, b.region, mode);
      EXPECT_EQ(kind, out.Kind());
      ExpectMatches(out, model);
      // The target may be either source.
      Region alias = a.region;
      Region::Combine(alias, alias, b.region, mode);
      EXPECT_EQ(alias, out);
      if (mode == CombineMode::kCopy) continue;
      alias = b.region;
      Region::Combine(alias, a.region, alias, mode);
      EXPECT_EQ(alias, out);
    }
    Region ab, ba, or_diff, diff;
    Region::Combine(ab, a.region, b.region, CombineMode::kAnd);
    EXPECT_EQ(Region::Combine(ba, b.region, a.region, CombineMode::kAnd), ab.Kind());
    EXPECT_EQ(ab, ba);
    Region::Combine(or_diff, a.region, b.region, CombineMode::kOr);
    Region::Combine(or_diff, or_diff, b.region, CombineMode::kDiff);
    Region::Combine(diff, a.region, b.region, CombineMode::kDiff);
    EXPECT_EQ(or_diff, diff);

    // One set built different ways compares equal: from its rectangles, from
    // its own banded form (taken over as is), and from inputs that are not
    // banded (shuffled and overlapping; single pixels not coalesced).
    std::vector<IntRect> bands = a.region.Rects(), shuffled = bands, pixels;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    if (!shuffled.empty()) shuffled.push_back(shuffled.front());
    for (int i = 0; i < kGrid * kGrid; ++i)
      if (a.pixels[i]) pixels.push_back({i % kGrid, i / kGrid, i % kGrid + 1, i / kGrid + 1});
    Region built;
    built.SetRects(a.rects);
    EXPECT_EQ(built, a.region);
    for (const auto& rects : {bands, shuffled, pixels}) {
      built.SetBands(rects);
      EXPECT_EQ(built, a.region);
      EXPECT_TRUE(pixman_region32_selfcheck(const_cast<pixman_region32_t*>(built.raw())));
    }
  }
}

// Making, copying, moving, combining, setting and dropping regions gives
// back all the bytes their blocks of rectangles were counted.
TEST(Region, HeldBytesFollowTheLiveRegions) {
  const uint64_t start = Region::HeldBytes();
  std::mt19937 rng(5);
  std::vector<Region> kept;
  for (int i = 0; i < 60; ++i) {
    Sample a = RandomSample(rng), b = RandomSample(rng);
    Region c;
    Region::Combine(c, a.region, b.region, CombineMode(i % 4));
    Region moved = std::move(c), copy = moved;
    moved.SetBands(b.region.Rects());
    a.region.SetRects(b.rects);
    Region::Combine(b.region, b.region, a.region, CombineMode::kOr);
    kept.insert(kept.end(), {std::move(moved), b.region, copy});
  }
  EXPECT_GT(Region::HeldBytes(), start);
  kept.clear();
  EXPECT_EQ(Region::HeldBytes(), start);
}

TEST(Region, EmptyResultsMovesLimitsAndBands) {
  Region self(5, 5, 10, 10);
  EXPECT_EQ(Region::Combine(self, self, self, CombineMode::kDiff), RegionKind::kEmpty);
  EXPECT_EQ(self.Translate(7, 9), RegionKind::kEmpty);
  EXPECT_EQ(self.Box(), IntRect{});
  EXPECT_EQ(self, Region(3, 3, 3, 9));

  Region r(0, 5, 10, 20);
  EXPECT_EQ(r.Translate(-5, 100), RegionKind::kSimple);
  EXPECT_EQ(r.Box(), (IntRect{-5, 105, 5, 120}));
  // A move past the coordinate limit fails and changes nothing.
  EXPECT_EQ(r.Translate(Region::kCoordLimit, 0), RegionKind::kError);
  EXPECT_EQ(r.Box(), (IntRect{-5, 105, 5, 120}));
  // Extreme corners are clamped, and the area does not overflow.
  const int64_t side = int64_t{2} * Region::kCoordLimit;
  EXPECT_EQ(Region(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX).Area(), side * side);
  // Near-banded forms are sorted out: touching spans in a band, and touching
  // bands alike (the last one too).
  for (const std::vector<IntRect>& rects :
       {std::vector<IntRect>{{0, 0, 1, 1}, {1, 0, 2, 1}, {0, 1, 3, 2}},
        std::vector<IntRect>{{0, 0, 1, 1}, {2, 0, 3, 1}, {0, 1, 1, 2}, {2, 1, 3, 2}}}) {
    Region bands, expected;
    bands.SetBands(rects);
    expected.SetRects(rects);
    EXPECT_EQ(bands, expected);
  }
}

}  // namespace
}  // namespace tovrani
