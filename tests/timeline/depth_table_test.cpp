#include "timeline/depth_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace tovrani {
namespace {

DisplayEvent Put(uint16_t depth, uint16_t frame, int clip = -1) {
  DisplayEvent e;
  e.depth = e.origDepth = depth;
  e.frame = frame;
  e.placeFlags = 2;
  e.characterId = 1;
  if (clip >= 0) e.hasClip = 1, e.clipDepth = uint16_t(clip);
  return e;
}

DisplayEvent Remove(uint16_t depth, uint16_t frame) {
  DisplayEvent e;
  e.depth = e.origDepth = depth;
  e.frame = frame;
  e.isRemove = 1;
  return e;
}

TEST(DepthTable, RemovalsEndOnlyOpenSpans) {
  DepthTable t =
      BuildDepthTable({Remove(3, 1), Put(3, 1), Put(3, 2), Remove(3, 4), Remove(3, 5), Remove(8, 5)});
  ASSERT_EQ(t.size(), 1u);  // removals alone make no entry
  ASSERT_EQ(t[0].spanCount(), 2u);
  EXPECT_EQ(t[0].spans[0].endFrame, 2);
  EXPECT_EQ(t[0].spans[0].removeEvent, kNoEvent);
  EXPECT_EQ(t[0].spans[1].endFrame, 4);
  EXPECT_EQ(t[0].spans[1].removeEvent, 3u);
}

// Gap closing done the slow way, one gap at a time, shifting everything
// above it and pulling clip depths along.
void CloseGapsOneByOne(DepthTable& t) {
  for (size_t i = 1; i < t.size(); ++i) {
    const uint32_t D = t[i].depth, P = t[i - 1].depth;
    if (D - P <= 2) continue;
    for (size_t j = 0; j < t.size(); ++j) {
      auto shift = [&](uint32_t& c) {
        if (j >= i || c >= D)
          c -= D - P - 2;
        else if (c >= P + 2)
          c = P + 1;
      };
      if (j >= i) t[j].depth -= D - P - 2;
      if (!t[j].hasMask) continue;
      shift(t[j].maxClip);
      for (DepthSpan& s : t[j].spans)
        if (s.hasClip) shift(s.clipDepth), shift(s.origClipDepth);
    }
  }
}

TEST(DepthTable, GapsCloseLikeOneAtATime) {
  DepthTable t = BuildDepthTable({Put(1, 1, 9), Put(2, 1), Put(9, 1), Put(1, 5, 5)});
  CloseDepthGaps(t);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[2].depth, 4u);
  EXPECT_EQ(t[0].spans[0].clipDepth, 4u);
  EXPECT_EQ(t[0].spans[1].clipDepth, 3u);
  std::mt19937 rng(11);
  for (int round = 0; round < 500; ++round) {
    std::vector<DisplayEvent> ev;
    uint32_t d = 0;
    for (int i = 0, n = 1 + int(rng() % 12); i < n && d < 60000; ++i) {
      d += 1 + (rng() % 4 == 0 ? rng() % 500 : rng() % 3);
      const int clip = rng() % 3 == 0 ? int(std::min<uint32_t>(0xFFFF, d + rng() % 700)) : -1;
      ev.push_back(Put(uint16_t(d), 1, clip));
      if (rng() % 2)
        ev.push_back(Put(uint16_t(d), 2, clip < 0 ? -1 : int(std::min<uint32_t>(0xFFFF, d + rng() % 9))));
    }
    DepthTable fast = BuildDepthTable(ev), slow = fast;
    CloseDepthGaps(fast);
    CloseGapsOneByOne(slow);
    for (size_t i = 0; i < fast.size(); ++i) {
      EXPECT_EQ(fast[i].depth, slow[i].depth) << round;
      EXPECT_EQ(fast[i].maxClip, slow[i].maxClip) << round;
      for (size_t k = 0; k < fast[i].spans.size(); ++k)
        EXPECT_EQ(fast[i].spans[k].clipDepth, slow[i].spans[k].clipDepth) << round;
    }
    if (HasFailure()) return;
  }
}

TEST(DepthTable, DeepClipsClampToTheDeepestPlacement) {
  std::vector<DisplayEvent> ev = {Put(3, 1, 40000), Put(12, 1), Put(0x7F00, 1, 0x9000)};
  EXPECT_TRUE(ClampDeepClips(ev, 12));
  EXPECT_EQ(ev[0].clipDepth, 13);
  EXPECT_EQ(ev[2].clipDepth, 0x9000);  // at 0x7F00 and above a deep clip is a plain one
  EXPECT_FALSE(ClampDeepClips(ev, 12));
}

TEST(DepthTable, ConsecutiveMasksMergeOnlyWhereNothingShownChanges) {
  // Mask at 3 over the empty depth 4 until frame 10; at frame 10 a mask at 4
  // takes over. Objects at 6 and 7.
  const std::vector<DisplayEvent> handOver = {Put(3, 1, 4), Put(6, 1), Put(7, 1), Remove(3, 10),
                                              Put(4, 10, 8)};
  std::vector<DisplayEvent> ev = handOver;
  DepthTable t = BuildDepthTable(ev);
  PassBudget budget;
  EXPECT_TRUE(MergeConsecutiveMasks(ev, t, budget));
  EXPECT_EQ(ev[0].depth, 4);
  EXPECT_EQ(ev[0].clipDepth, 5);
  EXPECT_EQ(ev[3].depth, 4);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].spanCount(), 2u);
  EXPECT_EQ(t[0].maxClip, 8u);

  const std::function<void(std::vector<DisplayEvent>&)> refused[] = {
      [](auto& e) {
        e.insert(e.begin() + 1, {Put(4, 2), Remove(4, 3)});
      },  // something at 4 while shown
      [](auto& e) {
        e.insert(e.begin() + 1, {Put(4, 1), Remove(4, 1)});
      },                                                    // ... or in its first frame
      [](auto& e) { e.insert(e.begin() + 1, Put(5, 1)); },  // the mask would newly cover 5
      [](auto& e) { std::swap(e[3], e[4]); },               // the new mask comes before the old goes
      [](auto& e) { e[0].placeFlags |= 1; },                // a move continues an object at 3
      [](auto& e) { e.insert(e.begin(), Put(3, 1)); },      // the mask replaces an object at 3
      [](auto& e) { e.insert(e.begin(), Put(1, 1, 3)); }};  // a mask below reaches 3 but not 4
  for (size_t i = 0; i < std::size(refused); ++i) {
    ev = handOver;
    refused[i](ev);
    t = BuildDepthTable(ev);
    EXPECT_FALSE(MergeConsecutiveMasks(ev, t, budget)) << i;
  }
}

TEST(DepthTable, Classification) {
  PassBudget budget;
  // A clean mask over two objects: nothing to do; the objects are not free.
  DepthTable t = BuildDepthTable({Put(1, 1, 3), Put(2, 1), Put(3, 1), Put(5, 1)});
  EXPECT_FALSE(ClassifyDepths(t, budget, nullptr));
  EXPECT_EQ(t[1].free, 0);
  EXPECT_EQ(t[3].free, 1);
  // A mask reaching another mask.
  t = BuildDepthTable({Put(2, 1, 5), Put(5, 1, 6), Put(6, 1)});
  EXPECT_TRUE(ClassifyDepths(t, budget, nullptr));
  EXPECT_EQ(t[1].nestedMask, 1);
  EXPECT_EQ(t[0].nestedMask, 0);
  // A mask whose first placement does not reach an object it later covers.
  t = BuildDepthTable({Put(1, 1, 2), Put(3, 1), Put(2, 1), Put(1, 5, 3)});
  EXPECT_TRUE(ClassifyDepths(t, budget, nullptr));
  EXPECT_EQ(t[0].partlyMasked, 1);
  // A depth with a mask and an ordinary object.
  t = BuildDepthTable({Put(1, 1, 2), Put(2, 1), Put(1, 4)});
  EXPECT_TRUE(ClassifyDepths(t, budget, nullptr));
  // A spent budget asks for the cautious road.
  t = BuildDepthTable({Put(1, 1, 3), Put(2, 1), Put(3, 1)});
  PassBudget none(0);
  EXPECT_TRUE(ClassifyDepths(t, none, nullptr));
}

}  // namespace
}  // namespace tovrani
