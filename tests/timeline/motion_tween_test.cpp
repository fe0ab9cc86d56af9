// Motion tweens from runs of one-frame placements, read back from the
// keyframes of the page: duration, tween byte and easing.
#include "timeline/motion_tween.h"

#include <gtest/gtest.h>

#include <functional>

#include "timeline/inner_page_fixture.h"

namespace tovrani {
namespace {

using namespace test;

struct Keyframe {
  uint32_t duration = 0;
  uint8_t tween = 0;
  int16_t easing = 0;
};

// Every keyframe body of a page, in order: the fixed fields before the
// duration word, then the duration, the tween byte, 06 and the easing.
std::vector<Keyframe> Keyframes(const std::vector<uint8_t>& d) {
  std::vector<Keyframe> out;
  for (size_t i = 0; i + 21 <= d.size(); ++i) {
    if (d[i] != 5 || d[i + 1] != 0 || (d[i + 14] != 0x16 && d[i + 14] != 0x18) || d[i + 18] != 6) continue;
    bool zeros = true;
    for (size_t k = 2; k < 14; ++k) zeros = zeros && d[i + k] == 0;
    if (!zeros) continue;
    out.push_back({uint32_t(d[i + 15] | d[i + 16] << 8), d[i + 17], int16_t(d[i + 19] | d[i + 20] << 8)});
  }
  return out;
}

class MotionTween : public InnerPageFixture {
 protected:
  void SetUp() override {
    InnerPageFixture::SetUp();
    ctx.options.approximateMotionTweens = 1;
    ctx.options.approximateEasing = 1;
    ctx.options.approximation = 10;
  }
  // One-frame moves of one character from frame 0; `at` fills entry n.
  DepthTrack& run(uint32_t entries, const std::function<void(PlacementEntry&, uint32_t)>& at,
                  uint8_t kind = kElementSymbol) {
    DepthTrack& t = track(1);
    for (uint32_t n = 0; n < entries; ++n) {
      PlacementEntry& e = place(t, uint16_t(n), uint16_t(n + 1), 3);
      e.kind = kind;
      e.flags = n ? 1 : 0;
      at(e, n);
    }
    return t;
  }
  std::vector<Keyframe> build(uint16_t frames) {
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, frames, state);
    EXPECT_TRUE(PageFitsDocument(pageBytes(), frames, nullptr));
    return Keyframes(pageBytes());
  }
};

INSTANTIATE_TEST_SUITE_P(Levels, MotionTween, ::testing::Values(0, 2));

std::vector<uint32_t> Durations(const std::vector<Keyframe>& k) {
  std::vector<uint32_t> v;
  for (const Keyframe& x : k) v.push_back(x.duration);
  return v;
}

// Steady motion becomes one tween up to the run's last entry, which is the
// next keyframe; a rotation, a jump out of proportion or the option off
// leave one-frame keyframes; a step back or a scale changing sign ends a
// run; a run ends after 1,000 entries.
TEST_P(MotionTween, RunsAndTheirEnds) {
  struct Case {
    const char* what;
    uint32_t entries;
    std::function<void(PlacementEntry&, uint32_t)> at;
    bool option;
    std::vector<uint32_t> durations;
    uint8_t firstTween;
  } const cases[] = {
      {"steady", 5, [](PlacementEntry& e, uint32_t n) { e.matrix.translateX = int32_t(100 * n); }, true, {4, 1}, 1},
      {"option off", 3, [](PlacementEntry& e, uint32_t n) { e.matrix.translateX = int32_t(100 * n); }, false,
       {1, 1, 1}, 0},
      {"rotated", 3,
       [](PlacementEntry& e, uint32_t n) {
         e.matrix.translateX = int32_t(100 * n);
         e.matrix.rotateSkew0 = n == 1 ? 5 : 0;
       },
       true, {1, 1, 1}, 1},
      {"out of proportion at k + 2", 4,
       [](PlacementEntry& e, uint32_t n) {
         const int32_t x[] = {0, 100, 300, 400}, y[] = {0, 100, 700, 800};
         e.matrix.translateX = x[n], e.matrix.translateY = y[n];
       },
       true, {1, 1, 1, 1}, 1},
      // Out and back: a tween from A to A would show nothing move.
      {"a step back", 5,
       [](PlacementEntry& e, uint32_t n) { e.matrix.translateX = int32_t(n <= 2 ? 100 * n : 100 * (4 - n)); }, true,
       {2, 2, 1}, 1},
      // A flip: the authoring tool would turn the object, not squeeze it.
      {"a scale through 0", 5,
       [](PlacementEntry& e, uint32_t n) { e.matrix.scaleX = int32_t(0x10000 - 0x8000 * int32_t(n)); }, true,
       {2, 1, 1, 1}, 1},
      {"2,500 entries", 2500, [](PlacementEntry& e, uint32_t n) { e.matrix.translateY = int32_t(7 * n); }, true,
       {999, 999, 501, 1}, 1},
  };
  for (const Case& c : cases) {
    reset();
    SetUp();
    ctx.options.approximateMotionTweens = c.option;
    run(c.entries, c.at);
    const std::vector<Keyframe> k = build(uint16_t(c.entries));
    EXPECT_EQ(Durations(k), c.durations) << c.what;
    ASSERT_FALSE(k.empty());
    EXPECT_EQ(k[0].tween, c.firstTween) << c.what;
  }
}

// The bend a run tolerates grows with the slider: 2 up to 5, 3 up to 30,
// then 4.
TEST_P(MotionTween, ToleranceFollowsTheSlider) {
  struct Case {
    uint32_t pos;
    int32_t bend;
    uint32_t first;
  } const cases[] = {{5, 2, 4}, {5, 3, 3}, {6, 3, 4}, {6, 4, 3}, {30, 4, 3}, {31, 4, 4}, {31, 5, 3}};
  for (const Case& c : cases) {
    reset();
    SetUp();
    ctx.options.approximation = c.pos;
    run(5, [&](PlacementEntry& e, uint32_t n) { e.matrix.translateX = int32_t(100 * n) + (n == 4 ? c.bend : 0); });
    EXPECT_EQ(build(5)[0].duration, c.first) << c.pos << " " << c.bend;
  }
}

// The easing from the middle entry's share of the whole change: linear
// scaling by halves gives 0 (a 32-bit product gave 100), an accelerating
// path 100, a decelerating one -100 (over nine steps the middle entry
// stands half a frame before the tween's middle: read as the middle's own
// share it gave -77), a linear one over three steps 0, no change at all 0.
TEST_P(MotionTween, Easing) {
  struct Case {
    uint32_t entries;
    std::function<void(PlacementEntry&, uint32_t)> at;
    int16_t easing;
  } const cases[] = {
      {5, [](PlacementEntry& e, uint32_t n) { e.matrix.scaleX = int32_t(0x10000 + n * 0x8000); }, 0},
      {10, [](PlacementEntry& e, uint32_t n) { e.matrix.translateX = int32_t(100 * n * n); }, 100},
      {10, [](PlacementEntry& e, uint32_t n) { e.matrix.translateX = int32_t(100 * (81 - (9 - n) * (9 - n))); },
       -100},
      {4, [](PlacementEntry& e, uint32_t n) { e.matrix.translateX = int32_t(33 * n); }, 0},
      {4, [](PlacementEntry&, uint32_t) {}, 0},
  };
  for (const Case& c : cases) {
    reset();
    SetUp();
    run(c.entries, c.at);
    const std::vector<Keyframe> k = build(uint16_t(c.entries));
    ASSERT_EQ(k.size(), 2u) << c.easing;
    EXPECT_EQ(k[0].duration, c.entries - 1);
    EXPECT_EQ(k[0].easing, c.easing);
  }
}

// Texts, morph shapes and videos keep one keyframe per placement.
TEST_P(MotionTween, ElementsThatAreNeverMerged) {
  for (const uint8_t kind : {kElementEditText, kElementStaticText, kElementMorphShape, kElementVideo}) {
    reset();
    SetUp();
    run(4, [](PlacementEntry& e, uint32_t n) { e.matrix.translateX = int32_t(50 * n), e.streamIndex = 99; }, kind);
    for (const Keyframe& k : build(4)) EXPECT_EQ(k.tween, 0) << int(kind);
  }
}

// On a group's page a run ends at the group's last frame, which the
// layer's next keyframe closes.
TEST_P(MotionTween, RunStopsAtTheGroupEnd) {
  DepthTrack& mask = track(1);
  mask.isMask = 1;
  mask.maskDepth = 4;
  place(mask, 0, kNeverRemoved, 500);
  DepthTrack& head = track(2);
  head.isGroup = 1;
  place(head, 2, 6, 602).groupDepths = 2;
  DepthTrack& moving = track(3);
  for (uint16_t n = 0; n < 10; ++n) {
    PlacementEntry& e = place(moving, n, uint16_t(n + 1), 13);
    e.flags = n ? 1 : 0;
    e.matrix.translateX = 100 * n;
  }
  place(track(4), 0, kNeverRemoved, 14);
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, 10, state);
  ASSERT_EQ(ctx.m_nStreams, 1u);
  // The group's page holds frames 2 to 5.
  EXPECT_TRUE(PageFitsDocument(stream(0), 4, nullptr));
  EXPECT_TRUE(PageFitsDocument(pageBytes(), 10, nullptr));
  size_t tweens = 0;
  for (const Keyframe& k : Keyframes(stream(0))) tweens += k.tween == 1 && k.duration == 3;
  EXPECT_EQ(tweens, 1u);
}

}  // namespace
}  // namespace tovrani
