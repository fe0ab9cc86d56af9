// Movies made to hurt the depth and mask-layer pass: each must end quickly,
// leave what is shown unchanged, and touch no memory outside the tags.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "support/swf_writer.h"
#include "timeline/display_model.h"
#include "timeline/pass_runner.h"
#include "timeline/rearrange_mask_layers.h"

namespace tovrani {
namespace {

using namespace test;

#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
// Unoptimised, instrumented code runs many times slower: this build only
// catches hangs (and sanitizer reports); the release build checks the second.
constexpr double kSecondsAllowed = 30.0;
#else
constexpr double kSecondsAllowed = 1.0;
#endif

// Runs both forms of the pass over `tags` within the time allowed and checks
// that what is shown stays the same.
void EndsQuicklyKeepingDisplay(const std::vector<uint8_t>& tags) {
  auto before = ShownFrames(tags, 0, tags.size());
  ConverterContext ctx;
  std::vector<uint8_t> main = tags;
  std::vector<uint8_t> sprite = SpriteBody(2, tags);
  auto start = std::chrono::steady_clock::now();
  RunMainPass(ctx, main);
  double mainSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  start = std::chrono::steady_clock::now();
  RunSpritePass(ctx, sprite);
  double spriteSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(mainSeconds, kSecondsAllowed);
  EXPECT_LT(spriteSeconds, kSecondsAllowed);
  EXPECT_TRUE(ShownFrames(main, 0, main.size()) == before);
  EXPECT_TRUE(ShownFrames(sprite, 4, sprite.size()) == before);
}

TEST(HostilePass, TruncatedPlaceTags) {
  std::vector<std::vector<uint8_t>> bodies;
  auto body = [](const std::vector<uint8_t>& tag) { return std::vector<uint8_t>(tag.begin() + 2, tag.end()); };
  bodies.push_back(body(PlaceObject2Tag({.depth = 1, .character = 3, .clip = 0xFFFF, .x = 999, .name = "mask"})));
  bodies.push_back(body(PlaceObject3Tag({.depth = 9, .character = 4, .clip = 12, .x = 5})));
  bodies.push_back(body(PlaceObject2Tag({.depth = 1, .clip = 0x8000, .move = true})));
  bodies.push_back({0x07, 0x00, 0x05, 0x00, 0x00, 0x00});  // PlaceObject with a matrix cut short
  std::vector<uint8_t> rest = Tags({PlaceObject2Tag({.depth = 4, .character = 1}),
                                    PlaceObject2Tag({.depth = 30, .character = 2}), ShowFrameTag()});
  for (size_t b = 0; b < bodies.size(); ++b) {
    uint16_t code = b == 1 ? 70 : b == 3 ? 4 : 26;
    for (size_t len = 0; len <= bodies[b].size(); ++len) {
      std::vector<uint8_t> cut(bodies[b].begin(), bodies[b].begin() + len);
      EndsQuicklyKeepingDisplay(Tags({SwfWriter::TagBytes(code, cut), rest, SwfWriter::TagBytes(code, cut),
                                      RemoveObject2Tag(4), ShowFrameTag()}));
    }
  }
}

TEST(HostilePass, MutatedMoviesNeverReachOutside) {
  std::vector<uint8_t> movie =
      Tags({PlaceObject2Tag({.depth = 1, .character = 3, .clip = 0xFFFF}), PlaceObject3Tag({.depth = 9, .character = 4}),
            ShowFrameTag(), PlaceObject2Tag({.depth = 2, .character = 3, .clip = 3}), RemoveObject2Tag(9),
            PlaceObject2Tag({.depth = 9, .move = true}), ShowFrameTag()});
  std::mt19937 rng(7);
  for (int i = 0; i < 300; ++i) {
    std::vector<uint8_t> m = movie;
    for (int k = 0; k < 3; ++k) m[rng() % m.size()] ^= uint8_t(1 << (rng() % 8));
    ConverterContext ctx;
    std::vector<uint8_t> main = m;
    RunMainPass(ctx, main);
    std::vector<uint8_t> sprite = SpriteBody(1, m);
    RunSpritePass(ctx, sprite);
  }
}

TEST(HostilePass, EveryDistinctDepth) {
  std::vector<uint8_t> tags;
  for (uint32_t d = 0; d <= 0xFFFF; ++d) {
    auto t = PlaceObject2Tag({.depth = uint16_t(d), .character = 1, .x = -1});
    tags.insert(tags.end(), t.begin(), t.end());
  }
  auto mask = PlaceObject2Tag({.depth = 7, .character = 2, .clip = 0xFFFF, .x = -1});
  tags.insert(tags.end(), mask.begin(), mask.end());
  tags.insert(tags.end(), {0x40, 0x00});
  EndsQuicklyKeepingDisplay(tags);
}

TEST(HostilePass, EveryDepthAMaskOverEverything) {
  std::vector<uint8_t> tags;
  for (uint32_t d = 1; d <= 0xFFFF; ++d) {
    auto t = PlaceObject2Tag({.depth = uint16_t(d), .character = 1, .clip = 0xFFFF, .x = -1});
    tags.insert(tags.end(), t.begin(), t.end());
  }
  tags.insert(tags.end(), {0x40, 0x00});
  EndsQuicklyKeepingDisplay(tags);
}

TEST(HostilePass, ClipDepthFFFF) {
  EndsQuicklyKeepingDisplay(Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
                                  PlaceObject2Tag({.depth = 0xFFFF, .character = 1, .clip = 0xFFFF}),
                                  PlaceObject2Tag({.depth = 0x7EFF, .character = 2}),
                                  PlaceObject2Tag({.depth = 0xFFFE, .character = 2}), ShowFrameTag(),
                                  RemoveObject2Tag(0xFFFF), ShowFrameTag()}));
}

TEST(HostilePass, HundredThousandPlacementsInOneFrame) {
  std::mt19937 rng(3);
  std::vector<uint8_t> tags;
  for (int i = 0; i < 100000; ++i) {
    Place p{.depth = uint16_t(1 + rng() % 3000), .character = 1, .x = -1};
    if (i % 7 == 0) p.clip = int32_t(p.depth + rng() % 2000);
    if (i % 5 == 0) p.move = true;
    auto t = PlaceObject2Tag(p);
    tags.insert(tags.end(), t.begin(), t.end());
    if (i % 11 == 0) {
      auto r = RemoveObject2Tag(uint16_t(1 + rng() % 3000));
      tags.insert(tags.end(), r.begin(), r.end());
    }
  }
  tags.insert(tags.end(), {0x40, 0x00});
  EndsQuicklyKeepingDisplay(tags);
}

TEST(HostilePass, ManyMasksHandingOverOneAfterAnother) {
  // Each mask covers only the empty depth above it and hands over to a mask
  // there: every one of them is a merge candidate.
  std::vector<uint8_t> tags;
  auto add = [&](const std::vector<uint8_t>& t) { tags.insert(tags.end(), t.begin(), t.end()); };
  for (uint16_t d = 1; d < 4000; ++d) {
    add(PlaceObject2Tag({.depth = d, .character = 1, .clip = d + 1, .x = -1}));
    add(ShowFrameTag());
    add(RemoveObject2Tag(d));
    add(PlaceObject2Tag({.depth = uint16_t(d + 1), .character = 1, .clip = d + 4, .x = -1}));
    add(ShowFrameTag());
    add(RemoveObject2Tag(uint16_t(d + 1)));
  }
  EndsQuicklyKeepingDisplay(tags);
}

}  // namespace
}  // namespace tovrani
