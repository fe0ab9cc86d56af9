#include "timeline/symbol_timeline.h"

#include <gtest/gtest.h>

#include <random>

#include "timeline/timeline_page.h"

namespace tovrani {
namespace {

using namespace test;

class TimelinePage : public PageFixture {
 protected:
  std::vector<uint8_t> build(uint16_t frames) {
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, frames, state);
    return body();
  }
  std::vector<uint8_t> symbol(uint16_t id, bool firstOfClass, uint32_t classIndex = 0) {
    InstanceFields f;
    f.symbol = id;
    return Concat(
        {firstOfClass ? NewClass("CPicSymbol") : KnownClass(classIndex), ExpectedInstanceBody(isNew(), f)});
  }
  // Where the name of the layer `name` ends in the page.
  size_t nameEnd(const std::vector<uint8_t>& page, const std::string& name) {
    const std::vector<uint8_t> s = ExpectedString(name, isNew());
    return size_t(std::search(page.begin(), page.end(), s.begin(), s.end()) - page.begin()) + s.size();
  }
  // The 7 bytes after the fixed fields of the tail of the layer `name`.
  std::vector<uint8_t> tailCase(const std::vector<uint8_t>& page, const std::string& name) {
    const size_t at = nameEnd(page, name) + 19;
    return at + 7 <= page.size() ? Slice(page, at, at + 7) : Bytes({});
  }
};

INSTANTIATE_TEST_SUITE_P(Levels, TimelinePage, ::testing::Values(0, 2));

TEST_P(TimelinePage, OneSymbolOverTenFrames) {
  PlacementEntry& e = place(track(1), 0, kNeverRemoved, 3);
  e.matrix.translateX = 200;
  e.matrix.translateY = 400;
  InstanceFields f;
  f.tx = 200, f.ty = 400, f.symbol = 3;
  EXPECT_BYTES(
      build(10),
      Concat({ExpectedKeyframe(isNew(), Concat({NewClass("CPicSymbol"), ExpectedInstanceBody(isNew(), f)}),
                               10, false),
              ExpectedLayerTail(isNew(), "Level 1")}));
  EXPECT_TRUE(PageWalksClean(pageBytes()));
  EXPECT_EQ(tracks[0].key, kTrackWritten);
}

TEST_P(TimelinePage, PlacementGapsBecomeEmptyKeyframes) {
  // Placed at frame 3, removed at 6, placed again at 8, on a 12-frame page.
  DepthTrack& t = track(2);
  place(t, 3, 6, 4);
  place(t, 8, kNeverRemoved, 4);
  // The first gap frame's joint opens frame object 7, so CPicSymbol is 8.
  EXPECT_BYTES(
      build(12),
      Concat({ExpectedEmptyFrame(isNew(), 3, true), ExpectedKeyframe(isNew(), symbol(4, true), 3, true),
              ExpectedEmptyFrame(isNew(), 2, true), ExpectedKeyframe(isNew(), symbol(4, false, 8), 4, false),
              ExpectedLayerTail(isNew(), "Level 2")}));
  EXPECT_TRUE(PageWalksClean(pageBytes()));
  EXPECT_EQ(state.frames, 3u);
}

TEST_P(TimelinePage, MaskOverTheSecondDepth) {
  place(track(1), 0, kNeverRemoved, 7);
  DepthTrack& mask = track(2);
  mask.isMask = 1;
  mask.maskDepth = 3;
  place(mask, 0, kNeverRemoved, 8);
  place(track(3), 0, kNeverRemoved, 9);
  // Layers: depth 1 (objects 7, 8 are CPicSymbol and its instance), then
  // the masked depth 3 before its mask (layer 9, frame 10, instance 11),
  // then the mask (layer 12), whose tail links to itself: no masked layer
  // is left after it.
  EXPECT_BYTES(
      build(5),
      Concat({ExpectedKeyframe(isNew(), symbol(7, true), 5, false), ExpectedLayerTail(isNew(), "Level 1"),
              ExpectedLayerHead(isNew(), false), ExpectedKeyframe(isNew(), symbol(9, false, 7), 5, false),
              ExpectedLayerTail(isNew(), "Level 3", TailCase::kMasked), ExpectedLayerHead(isNew(), true),
              ExpectedKeyframe(isNew(), symbol(8, false, 7), 5, false),
              ExpectedLayerTail(isNew(), "Level 2", TailCase::kMask, 12, true)}));
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_TRUE(w.resolves(12, "CPicLayer"));
  // The clip depth itself is inside the mask's range; the depth below is not.
  EXPECT_EQ(tracks[2].isMasked, 1);
  EXPECT_EQ(tracks[0].isMasked, 0);
}

TEST_P(TimelinePage, MaskedLayersLinkToTheirMask) {
  // A mask at 5 over 6 and 7: 6 first, the mask, then 7 referring to the
  // mask's layer object (the second layer); the mask's own tail names no
  // layer as 7 is still to come.
  DepthTrack& mask = track(5);
  mask.isMask = 1;
  mask.maskDepth = 8;
  place(mask, 0, kNeverRemoved, 1);
  place(track(7), 0, kNeverRemoved, 3);
  place(track(6), 0, kNeverRemoved, 2);
  place(track(9), 0, kNeverRemoved, 4);
  build(4);
  const std::vector<uint8_t> page = pageBytes();
  const PageWalk w = WalkPage(page);
  ASSERT_TRUE(w.ok) << w.error;
  uint32_t layers = 0, maskLayer = 0;
  for (const auto& [index, object] : w.objects)
    if (object.className == "CPicLayer" && ++layers == 2) maskLayer = index;
  EXPECT_BYTES(tailCase(page, "Level 7"), Bytes({0, int(maskLayer & 0xFF), int(maskLayer >> 8), 1, 0,
                                                 int(maskLayer & 0xFF), int(maskLayer >> 8)}));
  EXPECT_BYTES(tailCase(page, "Level 5"), Bytes({0x04, 0, 0, 1, 1, 1, 1}));
  std::vector<size_t> order;
  for (const char* n : {"Level 6", "Level 5", "Level 7", "Level 9"}) order.push_back(nameEnd(page, n));
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && order.back() <= page.size());
}

TEST_P(TimelinePage, LabelsWithANamedAnchor) {
  // No placement: the "Layer 1" page, then the labels.
  tracks[0].labels = {{1, 0, "intro"}, {5, 1, "part2"}};
  EXPECT_BYTES(
      build(8),
      Concat({ExpectedEmptyFrame(isNew(), 8, false), ExpectedLayerTail(isNew(), "Layer 1"),
              ExpectedLayerHead(isNew(), false), ExpectedEmptyFrame(isNew(), 1, true),
              ExpectedLabelFrame(isNew(), "intro", true), ExpectedEmptyFrame(isNew(), 3, true),
              ExpectedLabelFrame(isNew(), "part2", false, 1), ExpectedLayerTail(isNew(), "Labels")}));
  EXPECT_TRUE(PageWalksClean(pageBytes()));
  EXPECT_EQ(state.frames, 4u);
}

TEST_P(TimelinePage, LabelsSharingAFrameGoOnFurtherLayersAndTheLastFrameNumberEnds) {
  tracks[0].labels = {{5, 0, "a"}, {5, 0, "b"}, {9, 0, "c"}, {10, 0, "d"}};
  place(track(1), 0, kNeverRemoved, 1);
  std::vector<uint8_t> got = build(12);
  std::vector<uint8_t> end =
      Concat({ExpectedLayerHead(isNew(), false), ExpectedEmptyFrame(isNew(), 5, true),
              ExpectedLabelFrame(isNew(), "a", true), ExpectedEmptyFrame(isNew(), 3, true),
              ExpectedLabelFrame(isNew(), "c", true), ExpectedLabelFrame(isNew(), "d", false),
              ExpectedLayerTail(isNew(), "Labels"), ExpectedLayerHead(isNew(), false),
              ExpectedEmptyFrame(isNew(), 5, true), ExpectedLabelFrame(isNew(), "b", false),
              ExpectedLayerTail(isNew(), "Labels")});
  ASSERT_GT(got.size(), end.size());
  EXPECT_BYTES(Slice(got, got.size() - end.size(), got.size()), end);
  EXPECT_TRUE(PageWalksClean(pageBytes()));

  // Labels after the last frame (up to 0xFFFF) are dropped: no layer
  // outgrows the timeline, and the writer must not loop.
  reset();
  tracks[0].labels = {{1, 0, "in"}, {3, 0, "after"}, {0xFFFF, 0, "end"}, {0xFFFF, 0, "again"}};
  got = build(3);
  end = Concat({ExpectedEmptyFrame(isNew(), 1, true), ExpectedLabelFrame(isNew(), "in", false),
                ExpectedLayerTail(isNew(), "Labels")});
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
  InstanceFields f;
  f.a = 0x8000, f.b = 5, f.c = -5, f.symbol = 11, f.playMode = 2, f.alphaPercent = 50;
  const int16_t cx[8] = {128, 0, 200, -10, 256, 0, 256, 30};
  std::copy(std::begin(cx), std::end(cx), f.cx);
  // The movie clip's tail: the instance name and no parameters.
  std::vector<uint8_t> tail = isNew() ? Bytes({0x08}) : Bytes({0x06});
  for (uint32_t x : isNew() ? std::vector<uint32_t>{4, 1, 0, 0} : std::vector<uint32_t>{1, 0, 0, 0, 0, 0})
    AppendU32(tail, x);
  if (isNew()) Append(tail, Bytes({0xFF, 0xFE, 0xFF, 0}));
  Append(tail, ExpectedString("hero", isNew()));
  tail.push_back(2);
  for (uint32_t x : isNew() ? std::vector<uint32_t>{0, 0, 0, 1} : std::vector<uint32_t>{0, 1, 0, 1})
    AppendU32(tail, x);
  if (isNew()) Append(tail, Bytes({1, 1, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0}));
  const std::vector<uint8_t> element =
      Concat({NewClass("CPicSprite"), ExpectedInstanceBody(isNew(), f), tail});
  EXPECT_BYTES(build(6),
               Concat({ExpectedEmptyFrame(isNew(), 2, true), ExpectedKeyframe(isNew(), element, 4, false),
                       ExpectedLayerTail(isNew(), "Level 4")}));
  EXPECT_TRUE(PageWalksClean(pageBytes()));
}

TEST_P(TimelinePage, LastLayerIsFilledToTheTimelinesEnd) {
  place(track(1), 0, 4, 1);
  place(track(2), 1, 3, 2);
  const std::vector<uint8_t> got = build(10);
  EXPECT_TRUE(PageWalksClean(pageBytes()));
  // Only the layer written last gets the closing empty keyframe; layer 1
  // keeps its 4 frames and ends with the frame list's end, no joint.
  const std::vector<uint8_t> tail = Concat(
      {Bytes({0, 0x05, 0x80}), ExpectedEmptyFrame(isNew(), 7, false), ExpectedLayerTail(isNew(), "Level 2")});
  EXPECT_BYTES(Slice(got, got.size() - tail.size(), got.size()), tail);
  const std::vector<uint8_t> first =
      Concat({ExpectedKeyframe(isNew(), symbol(1, true), 4, false), ExpectedLayerTail(isNew(), "Level 1")});
  EXPECT_BYTES(Slice(got, 0, first.size()), first);
}

TEST_P(TimelinePage, HostileFramesNeitherWrapNorLoop) {
  DepthTrack& t = track(1);
  place(t, 0, 10, 1);
  place(t, 5, 3, 1);    // starts before the last ended, ends before it starts
  place(t, 6, 900, 1);  // ends past the timeline
  PlacementEntry& g = place(t, 7, 7, 1);
  g.kind = kGroupPlacementKind;  // stands for no further entry
  g.runLength = 0;
  place(t, 8, 900, 1);  // so does the last
  t.lastEntry = 40;     // more than the entries that exist
  const std::vector<uint8_t> got = build(20);
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  // The entry that ends before it starts has no frame and is left out.
  EXPECT_EQ(w.count("CPicSymbol"), 4u);
  // No duration near 65,536 anywhere, and none runs into the next entry:
  // the largest is the 12 frames from 8 to the page's end.
  const uint8_t low = isNew() ? 0x18 : 0x16;
  uint32_t most = 0;
  for (size_t i = 0; i + 6 < got.size(); ++i)
    if (got[i] == low && got[i + 3] == 0 && got[i + 4] == 6 && got[i + 5] == 0 && got[i + 6] == 0)
      most = std::max<uint32_t>(most, got[i + 1] | (got[i + 2] << 8));
  EXPECT_EQ(most, 12u);
}

// Nothing to write gives the "Layer 1" page of at least one frame.
TEST_P(TimelinePage, EmptyTimelines) {
  struct Case {
    uint32_t keyA, keyB, limit;
    uint16_t frames;
  } const cases[] = {{0, 0, 0, 0},                               // no placement, no frame
                     {kTrackWritten, kTrackUnselectable, 0, 3},  // tracks that cannot be chosen
                     {1, 2, 1, 4}};                              // a layer limit of 1
  for (const Case& c : cases) {
    reset();
    if (c.keyA) place(track(c.keyA), 0, kNeverRemoved, 1), place(track(c.keyB), 0, kNeverRemoved, 2);
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, c.frames, state, 0, -1, nullptr, c.limit);
    EXPECT_BYTES(body(), Concat({ExpectedEmptyFrame(isNew(), std::max<uint16_t>(c.frames, 1), false),
                                 ExpectedLayerTail(isNew(), "Layer 1")}));
  }
}

// Groups: nested pages measure gaps from their start and group heads are
// bound by their head entry.
TEST_P(TimelinePage, Groups) {
  // A group head at depth 1 covering depths 1-2 from frame 4 to 10; depth
  // 2's first entry is absorbed, its second starts at 6.
  DepthTrack& head = track(1);
  place(head, 4, 10, 1).groupDepths = 2;
  head.isGroup = 1;
  DepthTrack& inner = track(2);
  place(inner, 4, 5, 2).streamIndex = kAbsorbedEntry;
  place(inner, 6, 10, 2);
  uint16_t range[2] = {0, 0};
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, 20, state, 0, 0, range, 0, 1);
  EXPECT_EQ(range[0], 4);
  EXPECT_EQ(range[1], 10);
  EXPECT_TRUE(PageWalksClean(pageBytes()));
  // Depth 2: an empty keyframe of 2 frames (4 to 6), not of 6.
  EXPECT_EQ(CountOf(body(), ExpectedEmptyFrame(isNew(), 2, true)), 1u);
  EXPECT_EQ(tracks[1].key, kTrackWritten);

  // At the top level a group head's range comes from its own head entry.
  reset();
  DepthTrack& top = track(3);
  top.isGroup = 1;
  place(top, 0, 2, 1);
  place(top, 2, kNeverRemoved, 1).groupDepths = 2;
  place(track(4), 0, kNeverRemoved, 2);
  build(4);
  EXPECT_TRUE(PageWalksClean(pageBytes()));
  EXPECT_EQ(tracks[0].key, kTrackWritten);
  EXPECT_EQ(tracks[1].key, kTrackWritten);

  // In a nested call the group entry index may lie past another track's
  // entries: a mask of the group with a single entry.
  reset();
  DepthTrack& group = track(1);
  group.isGroup = 1;
  place(group, 0, kNeverRemoved, 0);
  place(group, 1, kNeverRemoved, 0).groupDepths = 3;
  DepthTrack& mask = track(2);
  mask.isMask = 1;
  mask.maskDepth = 3;
  place(mask, 0, kNeverRemoved, 0);
  BuildSymbolTimeline(ctx, 1, tracks, 1, 0, 5, state, 0, 1, nullptr, 0, 1);
  EXPECT_EQ(tracks[0].key, kTrackWritten);
  EXPECT_EQ(tracks[1].key, kTrackWritten);
}

TEST_P(TimelinePage, RandomTracksGiveWalkablePages) {
  std::mt19937 rng(9);
  auto pick = [&rng](uint32_t n) { return uint32_t(rng() % n); };
  for (int round = 0; round < 60; ++round) {
    reset();
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
    if (!body().empty()) ExpectWholeObjects(pageBytes(), w);
    if (HasFailure()) FAIL() << "round " << round;
  }
}

// Tracks as a movie gives them: per depth, entries in frame order, some
// taken over or removed in their own frame, some placed after the last
// frame, masks over the depths above them, labels anywhere. Every layer
// fits the timeline and the page is as long as the timeline.
TEST_P(TimelinePage, RandomMovieTracksFillTheirTimeline) {
  std::mt19937 rng(16);
  auto pick = [&rng](uint32_t n) { return uint32_t(rng() % n); };
  for (int round = 0; round < 200; ++round) {
    reset();
    const uint16_t frames = uint16_t(1 + pick(12));
    uint32_t key = 0;
    for (uint32_t i = 0, count = 1 + pick(6); i < count; ++i) {
      DepthTrack& t = track(key += 1 + pick(3));
      t.isMask = pick(4) == 0;
      t.maskDepth = uint16_t(key + pick(4));
      for (uint32_t n = pick(4), at = pick(3); n > 0 && at <= frames; --n) {
        const uint32_t length = pick(4);  // 0: gone in the frame it came
        const bool last = n == 1 && pick(2);
        PlacementEntry& e = place(t, uint16_t(at), last ? kNeverRemoved : uint16_t(at + length), 1);
        if (pick(3) == 0) e.streamIndex = kNoCharacterRow;
        at += length + pick(2);
      }
    }
    if (pick(3) == 0) tracks[0].labels = {{uint16_t(pick(frames + 2)), 0, "a"}};
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, frames, state);
    ASSERT_TRUE(PageFitsDocument(pageBytes(), frames, nullptr)) << "round " << round;
  }
}

TEST(EaseTable, ThresholdsAndLookup) {
  const EaseTable t = BuildEaseTable();
  EXPECT_EQ(t[0], 16384);
  EXPECT_EQ(t[1], 16548);
  EXPECT_EQ(t[6], 17367);
  EXPECT_EQ(t[100], 32768);
  EXPECT_EQ(t[200], 49152);
  const std::pair<uint16_t, int16_t> lookups[] = {{32768, 0},   {32767, 0},    {32769, -1},  {0, 100},
                                                  {16384, 100}, {49152, -100}, {65535, -100}};
  for (const auto& [ratio, value] : lookups) EXPECT_EQ(LookupEaseValue(t, ratio), value) << ratio;
}

}  // namespace
}  // namespace tovrani
