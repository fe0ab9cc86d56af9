// Movies made to hurt the depth and mask-layer pass: each must end quickly,
// leave what is shown unchanged, and touch no memory outside the tags.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "support/swf_writer.h"
#include "timeline/display_model.h"

namespace tovrani {
namespace {

using namespace test;

#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
// Instrumented code runs many times slower: this build only catches hangs
// (and sanitizer reports); the release build checks the second.
constexpr double kSecondsAllowed = 120.0;
#else
constexpr double kSecondsAllowed = 1.0;
#endif

// The objects of every frame stay; masks may be regrouped.
void EndsQuicklyKeepingDisplay(const std::vector<uint8_t>& tags) {
  ConverterContext ctx;
  FramesDiff listed;
  PassKeepsDisplay(ctx, tags, kSecondsAllowed, &listed);
}

TEST(HostilePass, TruncatedPlaceTags) {
  const std::pair<uint16_t, std::vector<uint8_t>> whole[] = {
      {26, PlaceObject2Tag({.depth = 1, .character = 3, .clip = 0xFFFF, .x = 999, .name = "mask"})},
      {70, PlaceObject3Tag({.depth = 9, .character = 4, .clip = 12, .x = 5})},
      {26, PlaceObject2Tag({.depth = 1, .clip = 0x8000, .move = true})},
      {4, {0, 0, 0x07, 0x00, 0x05, 0x00, 0x00, 0x00}}};  // PlaceObject with a matrix cut short
  const std::vector<uint8_t> rest = Tags({PlaceObject2Tag({.depth = 4, .character = 1}),
                                          PlaceObject2Tag({.depth = 30, .character = 2}), ShowFrameTag()});
  for (const auto& [code, tag] : whole)
    for (size_t len = 2; len <= tag.size(); ++len) {
      const auto cut =
          SwfWriter::TagBytes(code, std::vector<uint8_t>(tag.begin() + 2, tag.begin() + long(len)));
      EndsQuicklyKeepingDisplay(Tags({cut, rest, cut, RemoveObject2Tag(4), ShowFrameTag()}));
    }
}

// Large movies, each built by adding tags for i = 0, 1, ... below a bound.
TEST(HostilePass, LargeMovies) {
  std::mt19937 rng(3);
  const std::pair<uint32_t, std::function<std::vector<uint8_t>(uint32_t)>> movies[] = {
      // 65,536 distinct depths, then a mask over nearly all of them.
      {0x10001,
       [](uint32_t d) {
         return d > 0xFFFF ? PlaceObject2Tag({.depth = 7, .character = 2, .clip = 0xFFFF, .x = -1})
                           : PlaceObject2Tag({.depth = uint16_t(d), .character = 1, .x = -1});
       }},
      // Every depth a mask over everything.
      {0xFFFF,
       [](uint32_t d) {
         return PlaceObject2Tag({.depth = uint16_t(d + 1), .character = 1, .clip = 0xFFFF, .x = -1});
       }},
      // Clip depth 0xFFFF at the deepest depths.
      {1,
       [](uint32_t) {
         return Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
                      PlaceObject2Tag({.depth = 0xFFFF, .character = 1, .clip = 0xFFFF}),
                      PlaceObject2Tag({.depth = 0x7EFF, .character = 2}),
                      PlaceObject2Tag({.depth = 0xFFFE, .character = 2}), ShowFrameTag(),
                      RemoveObject2Tag(0xFFFF)});
       }},
      // 100,000 placements, moves and masks in one frame, with removals.
      {100000,
       [&rng](uint32_t i) {
         Place p{
             .depth = uint16_t(1 + rng() % 3000), .character = 1, .clip = -1, .move = i % 5 == 0, .x = -1};
         if (i % 7 == 0) p.clip = int32_t(p.depth + rng() % 2000);
         return Tags({PlaceObject2Tag(p),
                      i % 11 ? std::vector<uint8_t>{} : RemoveObject2Tag(uint16_t(1 + rng() % 3000))});
       }},
      // 2,000 masks, each over every depth, moved for 9 more frames: 20,000
      // placements.
      {20000,
       [](uint32_t i) {
         const uint16_t d = uint16_t(1 + i % 2000);
         return Tags({i < 2000 ? PlaceObject2Tag({.depth = d, .character = 1, .clip = 0xFFFF, .x = -1})
                               : PlaceObject2Tag({.depth = d, .move = true, .x = int32_t(i / 2000)}),
                      d == 2000 ? ShowFrameTag() : std::vector<uint8_t>{}});
       }},
      // Masks that each cover only the empty depth above and hand over to a
      // mask there: every one is a merge candidate.
      {3999, [](uint32_t i) {
         const uint16_t d = uint16_t(i + 1);
         return Tags({PlaceObject2Tag({.depth = d, .character = 1, .clip = d + 1, .x = -1}), ShowFrameTag(),
                      RemoveObject2Tag(d),
                      PlaceObject2Tag({.depth = uint16_t(d + 1), .character = 1, .clip = d + 4, .x = -1}),
                      ShowFrameTag(), RemoveObject2Tag(uint16_t(d + 1))});
       }}};
  for (size_t m = 0; m < std::size(movies); ++m) {
    std::vector<uint8_t> tags;
    for (uint32_t i = 0; i < movies[m].first; ++i) {
      const std::vector<uint8_t> t = movies[m].second(i);
      tags.insert(tags.end(), t.begin(), t.end());
    }
    SCOPED_TRACE(m);
    EndsQuicklyKeepingDisplay(Tags({tags, ShowFrameTag()}));
  }
}

// Masked movies cut short at every length and with bits flipped: each ends
// with the objects of its frames kept, whatever the pass makes of it.
TEST(HostilePass, TruncatedAndFlippedMaskedMovies) {
  const std::vector<uint8_t> movies[] = {
      Tags({PlaceObject2Tag({.depth = 2, .character = 1, .clip = 6}),
            PlaceObject2Tag({.depth = 4, .character = 2, .clip = 5}), PlaceObject2Tag({.depth = 5, .character = 3}),
            ShowFrameTag(), PlaceObject2Tag({.depth = 4, .move = true, .x = 3}), ShowFrameTag(),
            RemoveObject2Tag(2), PlaceObject2Tag({.depth = 2, .character = 4}), ShowFrameTag()}),
      Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 40000}),
            PlaceObject2Tag({.depth = 2, .character = 7}), ShowFrameTag(), RemoveObject2Tag(1), ShowFrameTag(),
            PlaceObject3Tag({.depth = 2, .move = true, .x = 40}), PlaceObject2Tag({.depth = 3, .character = 2}),
            ShowFrameTag()})};
  std::mt19937 rng(24);
  for (const auto& movie : movies) {
    for (size_t len = 0; len < movie.size(); ++len)
      EndsQuicklyKeepingDisplay(std::vector<uint8_t>(movie.begin(), movie.begin() + long(len)));
    for (int round = 0; round < 300; ++round) {
      std::vector<uint8_t> flipped = movie;
      for (int k = 0, n = 1 + int(rng() % 3); k < n; ++k) flipped[rng() % flipped.size()] ^= uint8_t(1 << (rng() % 8));
      EndsQuicklyKeepingDisplay(flipped);
      if (HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace tovrani
