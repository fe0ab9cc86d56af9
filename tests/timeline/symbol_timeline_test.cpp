#include "timeline/symbol_timeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/page_walker.h"
#include "timeline/expected_page.h"
#include "timeline/page_fixture.h"

namespace tovrani {
namespace {

using namespace test;

// Occurrences of a byte pattern.
size_t CountOf(const std::vector<uint8_t>& page, const std::vector<uint8_t>& pattern) {
  size_t n = 0;
  for (auto it = page.begin(); (it = std::search(it, page.end(), pattern.begin(), pattern.end())) != page.end(); ++it) ++n;
  return n;
}

class TimelinePage : public PageFixture {
 protected:
  // Every frame object has one keyframe body and every layer object one
  // tail: the fixed fields before a keyframe's duration and at a tail's start.
  void expectWholeObjects(const std::vector<uint8_t>& page, const PageWalk& w) {
    std::vector<uint8_t> duration = Bytes({0x05, 0x00});
    duration.resize(14, 0);
    duration.push_back(isNew() ? 0x18 : 0x16);
    const std::vector<uint8_t> tail = isNew() ? Bytes({0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0, 0, 0x0B})
                                              : Bytes({0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0x0A});
    EXPECT_EQ(CountOf(page, duration), w.count("CPicFrame"));
    EXPECT_EQ(CountOf(page, tail), w.count("CPicLayer"));
  }
  std::vector<uint8_t> build(uint16_t frames) {
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, frames, state);
    return body();
  }
  std::vector<uint8_t> symbol(const InstanceFields& f, bool firstOfClass, uint32_t classIndex = 0) {
    return Concat({firstOfClass ? NewClass("CPicSymbol") : KnownClass(classIndex),
                   ExpectedInstanceBody(isNew(), f)});
  }
};

INSTANTIATE_TEST_SUITE_P(Levels, TimelinePage, ::testing::Values(0, 2));

TEST_P(TimelinePage, OneSymbolOverTenFrames) {
  PlacementEntry& e = place(track(1), 0, kNeverRemoved, 3);
  e.matrix.translateX = 200;
  e.matrix.translateY = 400;
  const std::vector<uint8_t> got = build(10);

  InstanceFields f;
  f.tx = 200, f.ty = 400, f.symbol = 3;
  EXPECT_BYTES(got, Concat({ExpectedKeyframe(isNew(), symbol(f, true), 10, false),
                            ExpectedLayerTail(isNew(), "Level 1", TailCase::kPlain)}));
  EXPECT_TRUE(PageWalksClean(pageBytes()));
  EXPECT_EQ(tracks[0].key, kTrackWritten);
}

TEST_P(TimelinePage, PlacementGapsBecomeEmptyKeyframes) {
  // Placed at frame 3, removed at 6, placed again at 8, on a 12-frame page.
  DepthTrack& t = track(2);
  place(t, 3, 6, 4);
  place(t, 8, kNeverRemoved, 4);
  const std::vector<uint8_t> got = build(12);

  InstanceFields f;
  f.symbol = 4;
  // The first gap frame's joint opens frame object 7, so CPicSymbol is 8.
  EXPECT_BYTES(got, Concat({ExpectedEmptyFrame(isNew(), 3, true),
                            ExpectedKeyframe(isNew(), symbol(f, true), 3, true),
                            ExpectedEmptyFrame(isNew(), 2, true),
                            ExpectedKeyframe(isNew(), symbol(f, false, 8), 4, false),
                            ExpectedLayerTail(isNew(), "Level 2", TailCase::kPlain)}));
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.count("CPicFrame"), 4u);  // the head's and three joints
  EXPECT_EQ(w.count("CPicSymbol"), 2u);
  EXPECT_EQ(state.frames, 3u);
}

TEST_P(TimelinePage, MaskOverTheSecondDepth) {
  place(track(1), 0, kNeverRemoved, 7);
  DepthTrack& mask = track(2);
  mask.isMask = 1;
  mask.maskDepth = 3;
  place(mask, 0, kNeverRemoved, 8);
  place(track(3), 0, kNeverRemoved, 9);
  const std::vector<uint8_t> got = build(5);

  InstanceFields f1, f2, f3;
  f1.symbol = 7, f2.symbol = 8, f3.symbol = 9;
  // Layers: depth 1 (objects 7, 8 are CPicSymbol and its instance), then
  // the masked depth 3 before its mask (layer 9, frame 10, instance 11),
  // then the mask (layer 12), whose tail links to itself: no masked layer
  // is left after it.
  EXPECT_BYTES(got, Concat({ExpectedKeyframe(isNew(), symbol(f1, true), 5, false),
                            ExpectedLayerTail(isNew(), "Level 1", TailCase::kPlain),
                            ExpectedLayerHead(isNew(), false),
                            ExpectedKeyframe(isNew(), symbol(f3, false, 7), 5, false),
                            ExpectedLayerTail(isNew(), "Level 3", TailCase::kMasked),
                            ExpectedLayerHead(isNew(), true),
                            ExpectedKeyframe(isNew(), symbol(f2, false, 7), 5, false),
                            ExpectedLayerTail(isNew(), "Level 2", TailCase::kMask, 12, true)}));
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_TRUE(w.resolves(12, "CPicLayer"));
  EXPECT_EQ(w.count("CPicLayer"), 3u);
  // The clip depth itself is inside the mask's range; the depth below is not.
  EXPECT_EQ(tracks[2].isMasked, 1);
  EXPECT_EQ(tracks[0].isMasked, 0);
}

TEST_P(TimelinePage, MaskedLayersLinkToTheirMask) {
  // A mask at 5 over 6 and 7: 6 first, the mask, then 7 referring to the
  // mask's layer object.
  DepthTrack& mask = track(5);
  mask.isMask = 1;
  mask.maskDepth = 8;
  place(mask, 0, kNeverRemoved, 1);
  place(track(7), 0, kNeverRemoved, 3);
  place(track(6), 0, kNeverRemoved, 2);
  place(track(9), 0, kNeverRemoved, 4);
  const std::vector<uint8_t> got = build(4);
  const std::vector<uint8_t> all = pageBytes();
  const PageWalk w = WalkPage(all);
  ASSERT_TRUE(w.ok) << w.error;

  // The tail of "Level 7" ends with its reference, written twice.
  const std::vector<uint8_t> name = ExpectedString("Level 7", isNew());
  auto at = std::search(all.begin(), all.end(), name.begin(), name.end());
  ASSERT_NE(at, all.end());
  const size_t caseAt = size_t(at - all.begin()) + name.size() + 3 + 16;
  ASSERT_LT(caseAt + 7, all.size());
  EXPECT_EQ(all[caseAt], 0);
  const uint16_t ref = uint16_t(all[caseAt + 1] | (all[caseAt + 2] << 8));
  EXPECT_TRUE(w.resolves(ref, "CPicLayer"));
  EXPECT_EQ(all[caseAt + 5] | (all[caseAt + 6] << 8), ref);
  // ... and that layer object is the mask's: the layer written second.
  uint32_t layers = 0, maskLayer = 0;
  for (const auto& [index, object] : w.objects)
    if (object.className == "CPicLayer" && ++layers == 2) maskLayer = index;
  EXPECT_EQ(ref, maskLayer);
  // The mask's own tail names no layer: depth 7 was still to come.
  const std::vector<uint8_t> maskName = ExpectedString("Level 5", isNew());
  at = std::search(all.begin(), all.end(), maskName.begin(), maskName.end());
  ASSERT_NE(at, all.end());
  const size_t maskCase = size_t(at - all.begin()) + maskName.size() + 3 + 16;
  EXPECT_BYTES(Slice(all, maskCase, maskCase + 7), Bytes({0x04, 0, 0, 1, 1, 1, 1}));
  // Order of the layers: 6, 5, 7, 9.
  std::vector<size_t> order;
  for (const char* n : {"Level 6", "Level 5", "Level 7", "Level 9"}) {
    const std::vector<uint8_t> s = ExpectedString(n, isNew());
    order.push_back(size_t(std::search(all.begin(), all.end(), s.begin(), s.end()) - all.begin()));
  }
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  EXPECT_LT(order.back(), all.size());
  EXPECT_FALSE(got.empty());
}

TEST_P(TimelinePage, MaskWithNothingToMaskIsWrittenAtOnce) {
  DepthTrack& mask = track(1);
  mask.isMask = 1;
  mask.maskDepth = 4;
  place(mask, 0, kNeverRemoved, 1);
  place(track(9), 0, kNeverRemoved, 2);
  build(3);
  const std::vector<uint8_t> all = pageBytes();
  EXPECT_TRUE(PageWalksClean(all));
  const std::vector<uint8_t> name = ExpectedString("Level 1", isNew());
  const auto at = std::search(all.begin(), all.end(), name.begin(), name.end());
  ASSERT_NE(at, all.end());
  const size_t caseAt = size_t(at - all.begin()) + name.size() + 3 + 16;
  // Third-flag tail without its link; the next layer's head follows at once.
  EXPECT_BYTES(Slice(all, caseAt, caseAt + 7), Bytes({0x04, 0, 0, 1, 1, 0x03, 0x80}));
}

TEST_P(TimelinePage, LabelsWithANamedAnchor) {
  // No placement: the "Layer 1" page, then the labels.
  tracks[0].labels = {{1, 0, "intro"}, {5, 1, "part2"}};
  const std::vector<uint8_t> got = build(8);
  EXPECT_BYTES(got, Concat({ExpectedEmptyFrame(isNew(), 8, false),
                            ExpectedLayerTail(isNew(), "Layer 1", TailCase::kPlain),
                            ExpectedLayerHead(isNew(), false),
                            ExpectedEmptyFrame(isNew(), 1, true),
                            ExpectedLabelFrame(isNew(), "intro", true, 0),
                            ExpectedEmptyFrame(isNew(), 3, true),
                            ExpectedLabelFrame(isNew(), "part2", false, 1),
                            ExpectedLayerTail(isNew(), "Labels", TailCase::kPlain)}));
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.count("CPicFrame"), 1u + 4u);
  EXPECT_EQ(state.frames, 4u);
}

TEST_P(TimelinePage, LabelsSharingAFrameGoOnFurtherLayers) {
  tracks[0].labels = {{5, 0, "a"}, {5, 0, "b"}, {9, 0, "c"}, {10, 0, "d"}};
  place(track(1), 0, kNeverRemoved, 1);
  const std::vector<uint8_t> got = build(12);
  const std::vector<uint8_t> first = Concat({
      ExpectedLayerHead(isNew(), false), ExpectedEmptyFrame(isNew(), 5, true),
      ExpectedLabelFrame(isNew(), "a", true, 0), ExpectedEmptyFrame(isNew(), 3, true),
      ExpectedLabelFrame(isNew(), "c", true, 0), ExpectedLabelFrame(isNew(), "d", false, 0),
      ExpectedLayerTail(isNew(), "Labels", TailCase::kPlain)});
  const std::vector<uint8_t> second = Concat({
      ExpectedLayerHead(isNew(), false), ExpectedEmptyFrame(isNew(), 5, true),
      ExpectedLabelFrame(isNew(), "b", false, 0), ExpectedLayerTail(isNew(), "Labels", TailCase::kPlain)});
  ASSERT_GT(got.size(), first.size() + second.size());
  EXPECT_BYTES(Slice(got, got.size() - first.size() - second.size(), got.size()), Concat({first, second}));
  EXPECT_TRUE(PageWalksClean(pageBytes()));
}

TEST_P(TimelinePage, LabelAtTheLastFrameNumberEnds) {
  tracks[0].labels = {{0xFFFF, 0, "end"}, {0xFFFF, 0, "again"}};
  build(3);
  const std::vector<uint8_t> got = body();
  const std::vector<uint8_t> end = Concat({ExpectedEmptyFrame(isNew(), 0xFFFF, true),
                                           ExpectedLabelFrame(isNew(), "again", false, 0),
                                           ExpectedLayerTail(isNew(), "Labels", TailCase::kPlain)});
  EXPECT_BYTES(Slice(got, got.size() - end.size(), got.size()), end);
  EXPECT_TRUE(PageWalksClean(pageBytes()));
}

TEST_P(TimelinePage, MovieClipWithColourAndName) {
  PlacementEntry& e = place(track(4), 2, kNeverRemoved, 11);
  e.kind = 1;
  e.instanceName = "hero";
  e.colorTransform.aMult = 128;
  e.colorTransform.rMult = 200;
  e.colorTransform.rAdd = -10;
  e.colorTransform.bAdd = 30;
  e.matrix.scaleX = 0x8000;
  e.matrix.rotateSkew0 = 5;
  e.matrix.rotateSkew1 = -5;
  const std::vector<uint8_t> got = build(6);

  InstanceFields f;
  f.a = 0x8000, f.b = 5, f.c = -5, f.symbol = 11, f.playMode = 2;
  const int16_t cx[8] = {128, 0, 200, -10, 256, 0, 256, 30};
  std::copy(std::begin(cx), std::end(cx), f.cx);
  f.alphaPercent = 50;
  const std::vector<uint8_t> body = ExpectedInstanceBody(isNew(), f);
  const std::vector<uint8_t> element =
      Concat({NewClass("CPicSprite"), body, ExpectedSpriteTail(isNew(), "hero")});
  EXPECT_BYTES(got, Concat({ExpectedEmptyFrame(isNew(), 2, true), ExpectedKeyframe(isNew(), element, 4, false),
                            ExpectedLayerTail(isNew(), "Level 4", TailCase::kPlain)}));
  EXPECT_TRUE(PageWalksClean(pageBytes()));
}

TEST_P(TimelinePage, LastLayerIsFilledToTheTimelinesEnd) {
  place(track(1), 0, 4, 1);
  place(track(2), 1, 3, 2);
  const std::vector<uint8_t> got = build(10);
  // Only the layer written last gets the closing empty keyframe.
  const std::vector<uint8_t> tail = Concat({Bytes({0, 0x05, 0x80}), ExpectedEmptyFrame(isNew(), 7, false),
                                            ExpectedLayerTail(isNew(), "Level 2", TailCase::kPlain)});
  EXPECT_BYTES(Slice(got, got.size() - tail.size(), got.size()), tail);
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  // Layer 1 keeps its 4 frames and ends there.
  const std::vector<uint8_t> layer1End = ExpectedLayerTail(isNew(), "Level 1", TailCase::kPlain);
  const auto at = std::search(got.begin(), got.end(), layer1End.begin(), layer1End.end());
  ASSERT_NE(at, got.end());
  EXPECT_EQ(*(at - 1), 0);  // the frame list's end, no joint
}

TEST_P(TimelinePage, HostileFramesNeitherWrapNorLoop) {
  DepthTrack& t = track(1);
  place(t, 0, 10, 1);
  place(t, 5, 3, 1);                 // starts before the last ended, ends before it starts
  place(t, 6, 900, 1);               // ends past the timeline
  PlacementEntry& g = place(t, 7, 7, 1);
  g.kind = kGroupPlacementKind;      // stands for no further entry
  g.runLength = 0;
  place(t, 8, kNeverRemoved, 1);
  t.lastEntry = 40;                  // more than the entries that exist
  const std::vector<uint8_t> got = build(20);
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.count("CPicSymbol"), 5u);
  // No duration near 65,536 anywhere, and none runs into the next entry:
  // the largest is the 12 frames from 8 to the page's end.
  const uint8_t low = isNew() ? 0x18 : 0x16;
  uint32_t most = 0;
  for (size_t i = 0; i + 6 < got.size(); ++i)
    if (got[i] == low && got[i + 3] == 0 && got[i + 4] == 6 && got[i + 5] == 0 && got[i + 6] == 0)
      most = std::max<uint32_t>(most, got[i + 1] | (got[i + 2] << 8));
  EXPECT_EQ(most, 12u);
}

TEST_P(TimelinePage, EmptyTimelineLastsAtLeastOneFrame) {
  const std::vector<uint8_t> got = build(0);
  EXPECT_BYTES(got, Concat({ExpectedEmptyFrame(isNew(), 1, false),
                            ExpectedLayerTail(isNew(), "Layer 1", TailCase::kPlain)}));
}

TEST_P(TimelinePage, TracksThatCannotBeChosenLeaveTheEmptyTimeline) {
  place(track(kTrackWritten), 0, kNeverRemoved, 1);
  place(track(kTrackUnselectable), 0, kNeverRemoved, 2);
  EXPECT_BYTES(build(3), Concat({ExpectedEmptyFrame(isNew(), 3, false),
                                 ExpectedLayerTail(isNew(), "Layer 1", TailCase::kPlain)}));
}

TEST_P(TimelinePage, LayerLimitAndTrackOrder) {
  place(track(3), 0, kNeverRemoved, 1);
  place(track(3), 0, kNeverRemoved, 2);  // same depth: the lower index first
  place(track(1), 0, kNeverRemoved, 3);
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, 4, state, 0, -1, nullptr, 3);
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.count("CPicLayer"), 2u);
  EXPECT_EQ(tracks[2].key, kTrackWritten);
  EXPECT_EQ(tracks[0].key, kTrackWritten);
  EXPECT_EQ(tracks[1].key, 3u);

  // A limit of 1 gives the empty timeline.
  PageClassState other;
  const size_t before = body().size();
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, 4, other, 0, -1, nullptr, 1);
  EXPECT_BYTES(Slice(body(), before, body().size()),
               Concat({ExpectedEmptyFrame(isNew(), 4, false), ExpectedLayerTail(isNew(), "Layer 1", TailCase::kPlain)}));
}

TEST_P(TimelinePage, NestedPageMeasuresGapsFromItsStart) {
  // A group head at depth 1 covering depths 1-2 from frame 4 to 10; depth
  // 2's first entry is absorbed, its second starts at 6.
  DepthTrack& head = track(1);
  PlacementEntry& g = place(head, 4, 10, 1);
  g.groupDepths = 2;
  head.isGroup = 1;
  DepthTrack& inner = track(2);
  place(inner, 4, 5, 2).streamIndex = kAbsorbedEntry;
  place(inner, 6, 10, 2);
  uint16_t range[2] = {0, 0};
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, 20, state, 0, 0, range, 0, 1, "spInner1.tmp");
  EXPECT_EQ(range[0], 4);
  EXPECT_EQ(range[1], 10);
  const std::vector<uint8_t> got = body();
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  // Depth 2: an empty keyframe of 2 frames (4 to 6), not of 6.
  const std::vector<uint8_t> gap = ExpectedEmptyFrame(isNew(), 2, true);
  EXPECT_NE(std::search(got.begin(), got.end(), gap.begin(), gap.end()), got.end());
  EXPECT_EQ(tracks[1].key, kTrackWritten);
}

TEST_P(TimelinePage, NestedGroupInsideAGroupIsWrittenOnce) {
  DepthTrack& head = track(1);
  place(head, 0, kNeverRemoved, 1).groupDepths = 3;
  head.isGroup = 1;
  place(track(2), 0, kNeverRemoved, 2);
  DepthTrack& innerGroup = track(3);
  place(innerGroup, 0, kNeverRemoved, 3).groupDepths = 1;
  innerGroup.isGroup = 1;
  // The head entry index is past the inner tracks' entries.
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, 5, state, 0, 0, nullptr, 0, 1, "spInner1.tmp");
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.count("CPicLayer"), 3u);
  EXPECT_EQ(tracks[2].isGroup, 0);
  EXPECT_EQ(tracks[2].key, kTrackWritten);
}

TEST_P(TimelinePage, GroupHeadsAreBoundByTheirHeadEntry) {
  // At the top level a group head has no group entry of the call; its
  // range comes from its own head entry.
  DepthTrack& head = track(3);
  head.isGroup = 1;
  place(head, 0, 2, 1);
  place(head, 2, kNeverRemoved, 1).groupDepths = 2;
  place(track(4), 0, kNeverRemoved, 2);
  build(4);
  EXPECT_TRUE(PageWalksClean(pageBytes()));
  EXPECT_EQ(tracks[0].key, kTrackWritten);
  EXPECT_EQ(tracks[1].key, kTrackWritten);

  // In a nested call the group entry index may lie past another track's
  // entries: a mask of the group with a single entry.
  std::vector<DepthTrack> nested(2);
  nested[0].key = 1;
  nested[0].isGroup = 1;
  nested[0].entries.resize(2);
  nested[0].entries[1].groupDepths = 3;
  nested[0].entries[1].startFrame = 1;
  nested[0].lastEntry = 1;
  nested[1].key = 2;
  nested[1].isMask = 1;
  nested[1].maskDepth = 3;
  nested[1].entries.resize(1);
  nested[1].lastEntry = 0;
  PageClassState inner;
  BuildSymbolTimeline(ctx, 1, nested, 1, 0, 5, inner, 0, 1, nullptr, 0, 1, "spInner1.tmp");
  EXPECT_EQ(nested[0].key, kTrackWritten);
  EXPECT_EQ(nested[1].key, kTrackWritten);
}

TEST_P(TimelinePage, RandomTracksGiveWalkablePages) {
  std::mt19937 rng(9);
  auto pick = [&rng](uint32_t n) { return uint32_t(rng() % n); };
  for (int round = 0; round < 60; ++round) {
    SetUp();
    const uint32_t count = 1 + pick(8);
    for (uint32_t i = 0; i < count; ++i) {
      DepthTrack& t = track(pick(3) ? 1 + pick(12) : 0xFFFFFE + pick(2));
      t.isMask = pick(4) == 0;
      t.maskDepth = uint16_t(pick(16));
      t.isGroup = pick(6) == 0;
      for (uint32_t n = pick(5); n > 0; --n) {
        PlacementEntry& e = place(t, uint16_t(pick(30)), pick(4) ? uint16_t(pick(30)) : kNeverRemoved, 1);
        e.kind = uint8_t(pick(9));
        e.runLength = uint16_t(pick(3));
        e.groupDepths = uint16_t(pick(3));
        if (pick(5) == 0) e.streamIndex = kAbsorbedEntry;
      }
      if (pick(5) == 0) t.lastEntry += int32_t(pick(3));
    }
    if (pick(3) == 0) tracks[0].labels = {{uint16_t(pick(30)), 0, "a"}, {uint16_t(pick(30)), 1, "b"}};
    const int32_t groupEntry = pick(3) == 0 ? int32_t(pick(3)) : -1;
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, uint16_t(pick(25)), state, uint16_t(pick(count + 1)),
                        groupEntry, nullptr, pick(4) == 0 ? pick(4) : 0);
    const PageWalk w = WalkPage(pageBytes());
    ASSERT_TRUE(w.ok) << "round " << round << ": " << w.error;
    // A group's page may stay empty: its caller then writes a layer.
    if (!body().empty()) expectWholeObjects(pageBytes(), w);
    if (HasFailure()) FAIL() << "round " << round;
    TearDown();
  }
}

TEST(EaseTable, ThresholdsAndLookup) {
  const EaseTable t = BuildEaseTable();
  EXPECT_EQ(t[0], 16384);
  EXPECT_EQ(t[1], 16548);
  EXPECT_EQ(t[4], 17040);
  EXPECT_EQ(t[6], 17367);
  EXPECT_EQ(t[100], 32768);
  EXPECT_EQ(t[200], 49152);
  EXPECT_EQ(LookupEaseValue(t, 32768), 0);
  EXPECT_EQ(LookupEaseValue(t, 32767), 0);
  EXPECT_EQ(LookupEaseValue(t, 32769), -1);
  EXPECT_EQ(LookupEaseValue(t, 0), 100);
  EXPECT_EQ(LookupEaseValue(t, 16384), 100);
  EXPECT_EQ(LookupEaseValue(t, 49152), -100);
  EXPECT_EQ(LookupEaseValue(t, 65535), -100);
}

}  // namespace
}  // namespace tovrani
