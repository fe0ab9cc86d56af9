// Groups of disabled nested masks: each becomes a symbol page of its own,
// placed where its head was.
#include <gtest/gtest.h>

#include <random>

#include "timeline/inner_page_fixture.h"
#include "timeline/symbol_timeline.h"

namespace tovrani {
namespace {

using namespace test;

class GroupPage : public InnerPageFixture {
 protected:
  DepthTrack& mask(uint32_t key, uint16_t clip) {
    DepthTrack& t = track(key);
    t.isMask = 1;
    t.maskDepth = clip;
    place(t, 0, kNeverRemoved, 500);
    return t;
  }
  DepthTrack& head(uint32_t key, uint16_t depths, uint16_t start = 0, uint16_t end = kNeverRemoved) {
    DepthTrack& t = track(key);
    t.isGroup = 1;
    place(t, start, end, uint16_t(600 + key)).groupDepths = depths;
    return t;
  }
  void build(uint16_t frames) {
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, frames, state);
    EXPECT_EQ(ctx.m_nWriterError, 0);
    EXPECT_TRUE(PageWalksClean(pageBytes()));
    expectWalkableStreams();
  }
  // Keyframes lasting d frames.
  size_t keyframes(const std::vector<uint8_t>& page, uint32_t d) {
    const std::vector<uint8_t> h = ExpectedHead(isNew(), d);
    return CountOf(page, Slice(h, 2, h.size()));
  }
  size_t layers(const std::vector<uint8_t>& page, const std::string& name) {
    return CountOf(page, ExpectedString(name, isNew()));
  }
};

INSTANTIATE_TEST_SUITE_P(Levels, GroupPage, ::testing::Values(0, 2));

// A group head continued by a move to the timeline's open end: the head
// entry places the group's symbol over the whole range, the move is taken
// in, and a placement that started before the group keeps its part before.
TEST_P(GroupPage, HeadEntryPlacesTheGroupSymbol) {
  mask(1, 4);
  DepthTrack& h = head(2, 2, 2, 5);
  h.entries[0].matrix.translateX = 300;
  h.entries[0].colorTransform.aMult = 128;
  PlacementEntry& move = place(h, 5, kNeverRemoved, 602);
  move.isMoveEntry = 1;
  place(track(3), 0, kNeverRemoved, 13);
  place(track(4), 0, kNeverRemoved, 14);
  build(10);
  ASSERT_EQ(ctx.m_nStreams, 1u);
  const PlacementEntry& e = tracks[1].entries[0];
  EXPECT_EQ(e.characterId, ctx.m_pStreamItemNo.at(0));
  EXPECT_EQ(e.matrix.translateX, 0);
  EXPECT_EQ(e.colorTransform.aMult, 256);
  EXPECT_EQ(e.startFrame, 2);
  EXPECT_EQ(e.endFrame, 10);
  EXPECT_EQ(e.kind, 0);
  EXPECT_EQ(e.groupDepths, 0);
  EXPECT_EQ(e.streamIndex, 0u);
  EXPECT_EQ(tracks[1].isGroup, 0);
  EXPECT_EQ(tracks[1].entries[1].streamIndex, kAbsorbedEntry);
  EXPECT_EQ(tracks[2].entries[0].endFrame, 2);

  const std::vector<uint8_t> group = stream(0);
  EXPECT_EQ(layers(group, "Level 2"), 1u);
  EXPECT_EQ(layers(group, "Level 3"), 1u);
  EXPECT_EQ(layers(group, "Level 4"), 0u);
  // Depth 3 shows from the group's first frame to its end: 8 frames; the
  // head 3 frames, then its move 5.
  EXPECT_EQ(keyframes(group, 8), 1u);
  EXPECT_EQ(keyframes(group, 3), 1u);
  EXPECT_EQ(keyframes(group, 5), 1u);
  const std::vector<uint8_t> page = pageBytes();
  for (const char* name : {"Level 1", "Level 2", "Level 3", "Level 4"}) EXPECT_EQ(layers(page, name), 1u);
  InstanceFields f;
  f.symbol = ctx.m_pStreamItemNo.at(0);
  EXPECT_EQ(CountOf(page, ExpectedInstanceBody(isNew(), f)), 1u);
}

// An entry from 5 to 40 under a group from 10 to 20: the outer page keeps
// 5-10 and 20-40, the group page shows it for 10 frames.
TEST_P(GroupPage, PlacementsAcrossTheGroupAreCutAtItsFrames) {
  mask(1, 3);
  head(2, 2, 10, 20);
  place(track(3), 5, 40, 13).instanceName = "kept";
  build(50);
  const DepthTrack& t = tracks[2];
  ASSERT_EQ(t.lastEntry, 1);
  EXPECT_EQ(t.entries[0].startFrame, 5);
  EXPECT_EQ(t.entries[0].endFrame, 10);
  EXPECT_EQ(t.entries[1].startFrame, 20);
  EXPECT_EQ(t.entries[1].endFrame, 40);
  EXPECT_EQ(t.entries[1].instanceName, "kept");
  const std::vector<uint8_t> group = stream(0);
  EXPECT_EQ(keyframes(group, 10), 2u);
  EXPECT_EQ(keyframes(group, 15), 0u);
}

// A mask inside a group covers its own clip depth, never past the group's
// last depth: depth 16 lies outside group 10-14 and stays on the outer page
// (masked by the outer mask); mask 12 masks nothing.
TEST_P(GroupPage, AMaskInsideAGroupStopsAtItsClipAndTheGroupsEnd) {
  mask(1, 20);
  head(10, 5);
  place(track(11), 0, kNeverRemoved, 11);
  mask(12, 13);
  place(track(16), 0, kNeverRemoved, 16);
  build(4);
  ASSERT_EQ(ctx.m_nStreams, 1u);
  const std::vector<uint8_t> group = stream(0), page = pageBytes();
  for (const char* name : {"Level 10", "Level 11", "Level 12"}) EXPECT_EQ(layers(group, name), 1u) << name;
  for (const char* name : {"Level 11", "Level 12"}) EXPECT_EQ(layers(page, name), 0u) << name;
  EXPECT_EQ(layers(group, "Level 16"), 0u);
  EXPECT_EQ(layers(page, "Level 16"), 1u);
}

// A morph head keeps its run's frames; a run of one keeps the group's.
TEST_P(GroupPage, MorphHeads) {
  for (const uint16_t run : {0, 1, 3}) {
    reset();
    mask(1, 3);
    PlacementEntry& e = head(2, 2, 4, 9).entries[0];
    e.kind = 5;
    e.runLength = run;
    build(12);
    EXPECT_EQ(e.kind, run > 1 ? kGroupPlacementKind : 0);
    EXPECT_EQ(e.endFrame, run > 1 ? 7 : 9);
  }
}

// Three levels inside a sprite: each group commits under its own item
// number and the sprite's own id stays reserved for its page.
TEST_P(GroupPage, ThreeNestedLevelsInASprite) {
  ctx.m_pStreamItemNo[0] = 900;
  mask(1, 9);
  head(2, 7);
  head(3, 5);
  head(4, 3);
  for (uint32_t key = 5; key <= 9; ++key) place(track(key), 0, kNeverRemoved, uint16_t(key));
  build(6);
  ASSERT_EQ(ctx.m_nStreams, 3u);
  EXPECT_EQ(ctx.m_pStreamItemNo.at(3), 900);
  // Innermost first: the group at 4 (item 3), at 3 (item 2), at 2 (item 1).
  EXPECT_EQ(ctx.m_pStreamItemNo.at(0), 3);
  EXPECT_EQ(ctx.m_pStreamItemNo.at(1), 2);
  EXPECT_EQ(ctx.m_pStreamItemNo.at(2), 1);
  const std::vector<std::vector<std::string>> held = {
      {"Level 4", "Level 5", "Level 6"}, {"Level 3", "Level 4", "Level 7"}, {"Level 2", "Level 3", "Level 8"}};
  for (uint32_t row = 0; row < 3; ++row) {
    const std::vector<uint8_t> page = stream(row);
    size_t all = 0;
    for (uint32_t key = 1; key <= 9; ++key) all += layers(page, "Level " + std::to_string(key));
    EXPECT_EQ(all, 3u) << "row " << row;
    for (const std::string& name : held[row]) EXPECT_EQ(layers(page, name), 1u) << name;
  }
  // Each level places the next one.
  EXPECT_EQ(tracks[3].entries[0].characterId, 3);
  EXPECT_EQ(tracks[2].entries[0].characterId, 2);
  EXPECT_EQ(tracks[1].entries[0].characterId, 1);
  for (uint32_t key = 1; key <= 9; ++key)
    EXPECT_EQ(layers(pageBytes(), "Level " + std::to_string(key)), key <= 2 || key == 9 ? 1u : 0u);
}

// Two layers at depth 5 with a group each: the one met first is built on
// the page (frames 20-30); the other lies inside the group at depth 2 and
// is built on its page, one level down (frames 0-10).
TEST_P(GroupPage, TwoGroupsAtOneDepthOnDifferentLevels) {
  mask(1, 9);
  head(5, 2, 20, 30);
  head(2, 6, 0, 10);
  head(5, 2, 0, 10);
  place(track(6), 0, 40, 16);
  build(40);
  // Committed in the order they are finished: the later group, the inner
  // one, then the group at depth 2.
  ASSERT_EQ(ctx.m_nStreams, 3u);
  const uint16_t later = ctx.m_pStreamItemNo.at(0), inner = ctx.m_pStreamItemNo.at(1),
                 outer = ctx.m_pStreamItemNo.at(2);
  EXPECT_TRUE(inner != outer && outer != later && inner != later);
  auto places = [&](const std::vector<uint8_t>& page, uint16_t item) {
    InstanceFields f;
    f.symbol = item;
    return CountOf(page, ExpectedInstanceBody(isNew(), f));
  };
  EXPECT_EQ(places(stream(2), inner), 1u);
  EXPECT_EQ(places(pageBytes(), inner), 0u);
  EXPECT_EQ(places(pageBytes(), outer), 1u);
  EXPECT_EQ(places(pageBytes(), later), 1u);
  // Both groups at depth 5 take depth 6 for their 10 frames; the page
  // keeps it between and after them.
  for (const uint32_t row : {0u, 1u}) EXPECT_EQ(layers(stream(row), "Level 6"), 1u) << row;
  const DepthTrack& six = tracks[4];
  ASSERT_EQ(six.lastEntry, 1);
  EXPECT_EQ(std::pair(int(six.entries[0].startFrame), int(six.entries[0].endFrame)), std::pair(10, 20));
  EXPECT_EQ(std::pair(int(six.entries[1].startFrame), int(six.entries[1].endFrame)), std::pair(30, 40));
}

// A head past the 65,536th track is built from its own track. Its index cut
// to 16 bits names another track, here a written one, which left the group
// page with nothing but its "Empty" layer.
TEST_P(GroupPage, AHeadPastTrack65535BuildsItsOwnGroup) {
  mask(1, 3);
  for (uint32_t i = 0; i < 65536; ++i) track(kTrackWritten);
  head(2, 1, 0, 4);
  build(4);
  ASSERT_EQ(ctx.m_nStreams, 1u);
  const std::vector<uint8_t> group = stream(0);
  EXPECT_EQ(layers(group, "Level 2"), 1u);
  EXPECT_EQ(layers(group, "Empty"), 0u);
  EXPECT_EQ(tracks.back().entries[0].characterId, ctx.m_pStreamItemNo.at(0));
}

// A hundred groups each inside the last: 64 levels are built, the head met
// deeper stays an ordinary layer.
TEST_P(GroupPage, NestingIsCapped) {
  mask(1, 300);
  for (uint32_t key = 2; key <= 101; ++key) head(key, uint16_t(300 - key));
  place(track(102), 0, kNeverRemoved, 7);
  build(3);
  EXPECT_EQ(ctx.m_nStreams, 64u);
  EXPECT_EQ(ctx.m_nInnerPageLevel, 0u);
  const DepthTrack& deep = tracks[65];  // the head at depth 66
  EXPECT_EQ(deep.isGroup, 0);
  EXPECT_EQ(deep.entries[0].groupDepths, 0);
  EXPECT_EQ(deep.entries[0].characterId, 666);
}

// A group inside the group whose only group entry was taken in already is
// no longer a group: it is written once, as an ordinary layer.
TEST_P(GroupPage, AnAbsorbedHeadEndsItsDispatch) {
  head(1, 3);
  DepthTrack& inner = track(2);
  inner.isGroup = 1;
  PlacementEntry& gone = place(inner, 0, 2, 5);
  gone.groupDepths = 1;
  gone.streamIndex = kAbsorbedEntry;
  place(inner, 2, kNeverRemoved, 5);
  uint16_t range[2] = {};
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, 4, state, 0, 0, range, 0, 1);
  EXPECT_EQ(tracks[1].isGroup, 0);
  EXPECT_EQ(tracks[1].key, kTrackWritten);
  EXPECT_EQ(ctx.m_nStreams, 0u);
  EXPECT_EQ(layers(pageBytes(), "Level 2"), 1u);
}

// Random masks and groups: every page and group page walks, and the
// builder leaves no page open.
TEST_P(GroupPage, RandomGroupsGiveWalkablePages) {
  std::mt19937 rng(25);
  auto pick = [&rng](uint32_t n) { return uint32_t(rng() % n); };
  for (int round = 0; round < 80; ++round) {
    reset();
    ctx.m_pStreamItemNo[0] = 4000;
    for (uint32_t i = 0, count = 2 + pick(10); i < count; ++i) {
      DepthTrack& t = track(1 + pick(12));
      t.isMask = pick(4) == 0;
      t.maskDepth = uint16_t(pick(16));
      t.isGroup = pick(3) == 0;
      for (uint32_t n = 1 + pick(4); n > 0; --n) {
        PlacementEntry& e = place(t, uint16_t(pick(20)), pick(4) ? uint16_t(pick(20)) : kNeverRemoved, 1);
        e.kind = uint8_t(pick(6) == 0 ? 5 : 0);
        e.runLength = uint16_t(pick(3));
        e.isMoveEntry = uint8_t(pick(2));
        if (t.isGroup) e.groupDepths = uint16_t(pick(5));
      }
    }
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, uint16_t(1 + pick(20)), state);
    ASSERT_EQ(ctx.m_nWriterError, 0) << "round " << round;
    ASSERT_TRUE(PageWalksClean(pageBytes())) << "round " << round;
    expectWalkableStreams();
    EXPECT_EQ(ctx.m_nInnerPageLevel, 0u);
    EXPECT_EQ(ctx.m_pStreamItemNo.at(ctx.m_nStreams), 4000);
    if (HasFailure()) FAIL() << "round " << round;
  }
}

}  // namespace
}  // namespace tovrani
