#include "timeline/rearrange_mask_layers.h"

#include <gtest/gtest.h>

#include <random>

#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "timeline/depth_handoff.h"
#include "timeline/display_model.h"
#include "timeline/pass_runner.h"

namespace tovrani {
namespace {

using namespace test;

uint16_t U16At(const std::vector<uint8_t>& b, uint64_t pos) { return uint16_t(b[pos] | (b[pos + 1] << 8)); }

// Runs the pass over `tags` as a main movie and as a sprite and checks that
// neither changes a frame of what is shown. Returns the main movie's tags.
std::vector<uint8_t> PassKeepsDisplay(ConverterContext& ctx, const std::vector<uint8_t>& tags) {
  auto before = ShownFrames(tags, 0, tags.size());
  std::vector<uint8_t> main = tags;
  RunMainPass(ctx, main);
  auto afterMain = ShownFrames(main, 0, main.size());
  EXPECT_EQ(afterMain, before) << "before:\n" << Describe(before) << "after:\n" << Describe(afterMain);
  std::vector<uint8_t> sprite = SpriteBody(9, tags);
  RunSpritePass(ctx, sprite);
  auto afterSprite = ShownFrames(sprite, 4, sprite.size());
  EXPECT_EQ(afterSprite, before) << "before:\n" << Describe(before) << "after:\n" << Describe(afterSprite);
  return main;
}

constexpr uint64_t kLead = 21;

TEST(RearrangeMaskLayers, NothingToRearrangeWritesNothing) {
  RecordingShell shell;
  ConverterContext ctx;
  ctx.m_pShell = &shell;
  std::vector<uint8_t> tags = Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 3}),
                                    PlaceObject2Tag({.depth = 3, .character = 2}),
                                    PlaceObject2Tag({.depth = 40, .character = 3}), ShowFrameTag()});
  std::vector<uint8_t> original = tags;
  EXPECT_EQ(RunMainPass(ctx, tags), 3u);
  EXPECT_EQ(tags, original);
  ASSERT_EQ(ctx.m_pMovieEvents.size(), 3u);  // filled on this road too
  EXPECT_EQ(ctx.m_pMovieEvents[2].depth, 40);
  EXPECT_TRUE(ctx.m_pMovieLayerDepths.empty() && ctx.m_pMovieMaskDepths.empty());
}

TEST(RearrangeMaskLayers, MaskOverTwoDepthsRenumberedAndWrittenBack) {
  auto mask = PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF});
  auto a = PlaceObject2Tag({.depth = 10, .character = 2});
  auto b = PlaceObject3Tag({.depth = 20, .character = 3});
  auto rm = RemoveObject2Tag(10);
  std::vector<uint8_t> tags = Tags({mask, a, b, ShowFrameTag(), rm, ShowFrameTag()});
  ConverterContext ctx;
  std::vector<uint8_t> main = PassKeepsDisplay(ctx, tags);
  // Depths 1, 10, 20 become 1, 3, 5; the mask reaches one past the last.
  const auto& ev = ctx.m_pMovieEvents;
  ASSERT_EQ(ev.size(), 4u);
  EXPECT_EQ(U16At(main, ev[0].depthPos - kLead), 1);
  EXPECT_EQ(U16At(main, ev[0].clipPos - kLead), 6);
  EXPECT_EQ(U16At(main, ev[1].depthPos - kLead), 3);
  EXPECT_EQ(U16At(main, ev[2].depthPos - kLead), 5);
  EXPECT_EQ(U16At(main, ev[3].depthPos - kLead), 3);
  EXPECT_EQ(ev[1].depth, 3);  // events carry the depths the tags now hold
  EXPECT_EQ(ev[1].origDepth, 10);
  // The sprite's body changed the same way (ctx holds the sprite's events).
  std::vector<uint8_t> sprite = SpriteBody(9, tags);
  RunSpritePass(ctx, sprite);
  EXPECT_EQ(U16At(sprite, ctx.m_pSpriteEvents[2].depthPos), 5);
}

TEST(RearrangeMaskLayers, MaskLayerTakesItsLargestClipOnlyWhereThatCoversNothingMore) {
  // A deep clip at depth 30 sends the timeline through the write-back.
  auto deep = PlaceObject2Tag({.depth = 30, .character = 9, .clip = 0xFFFF});
  auto m1 = PlaceObject2Tag({.depth = 2, .character = 1, .clip = 4});
  auto m2 = PlaceObject2Tag({.depth = 2, .character = 1, .clip = 6});
  std::vector<uint8_t> tags =
      Tags({deep, m1, PlaceObject2Tag({.depth = 3, .character = 2}),
            PlaceObject2Tag({.depth = 4, .character = 3}), ShowFrameTag(), RemoveObject2Tag(2), m2,
            ShowFrameTag()});
  ConverterContext ctx;
  std::vector<uint8_t> main = PassKeepsDisplay(ctx, tags);
  const auto& ev = ctx.m_pMovieEvents;
  // Depths 2, 3, 4, 30 become 2, 3, 4, 6, so clip depth 6 becomes 5.
  EXPECT_EQ(U16At(main, ev[1].clipPos - kLead), 5);
  EXPECT_EQ(U16At(main, ev[5].clipPos - kLead), 5);

  // With an object at 5 while the first mask is shown, that mask keeps 4.
  std::vector<uint8_t> busy =
      Tags({deep, m1, PlaceObject2Tag({.depth = 3, .character = 2}),
            PlaceObject2Tag({.depth = 5, .character = 3}), ShowFrameTag(), RemoveObject2Tag(2), m2,
            ShowFrameTag()});
  main = PassKeepsDisplay(ctx, busy);
  EXPECT_EQ(U16At(main, ctx.m_pMovieEvents[1].clipPos - kLead), 4);
}

TEST(RearrangeMaskLayers, RemovalThatEndsNothingIsDisabledWhenDepthsMove) {
  auto stray = RemoveObject2Tag(7);
  std::vector<uint8_t> tags =
      Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
            PlaceObject2Tag({.depth = 5, .character = 2}), PlaceObject2Tag({.depth = 9, .character = 3}),
            ShowFrameTag(), RemoveObject2Tag(9), ShowFrameTag(), RemoveObject2Tag(9), stray,
            ShowFrameTag()});
  ConverterContext ctx;
  std::vector<uint8_t> main = PassKeepsDisplay(ctx, tags);
  const auto& ev = ctx.m_pMovieEvents;
  ASSERT_EQ(ev.size(), 6u);
  EXPECT_EQ(main[ev[4].depthPos - kLead - 1], 0xFF);                   // second removal of 9
  EXPECT_EQ(main[ev[5].depthPos - kLead - 1], 0xFF);                   // removal at 7
  EXPECT_EQ(U16At(main, ev[3].depthPos - kLead), 5);                   // the real one follows 9
}

TEST(RearrangeMaskLayers, MaskAtDepthZeroLeavesTheTagsAlone) {
  std::vector<uint8_t> tags =
      Tags({PlaceObject2Tag({.depth = 0, .character = 1, .clip = 5}),
            PlaceObject2Tag({.depth = 3, .character = 2, .clip = 0xFFFF}),
            PlaceObject2Tag({.depth = 50, .character = 3}), ShowFrameTag()});
  std::vector<uint8_t> original = tags;
  ConverterContext ctx;
  EXPECT_EQ(RunMainPass(ctx, tags), 3u);
  EXPECT_EQ(tags, original);
  EXPECT_EQ(ctx.m_pMovieEvents[2].depth, 50);
}

TEST(RearrangeMaskLayers, CancelStillWritesAConsistentTimeline) {
  std::vector<uint8_t> tags = Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
                                    PlaceObject2Tag({.depth = 10, .character = 2}), ShowFrameTag()});
  ConverterContext ctx;
  ctx.m_bCancel = 1;
  std::vector<uint8_t> main = PassKeepsDisplay(ctx, tags);
  EXPECT_EQ(U16At(main, ctx.m_pMovieEvents[0].clipPos - kLead), 11);
}

// Hand-off tables, from the final stage as it runs when no repair is left.
struct FinalRun {
  std::vector<uint8_t> body;
  DisplayRecording rec;
  DepthTable table;
};

FinalRun Record(const std::vector<uint8_t>& tags) {
  FinalRun r{SpriteBody(4, tags), {}, {}};
  TimelineData data{std::span<uint8_t>(r.body)};
  EXPECT_EQ(RecordDisplayEvents(data, true, nullptr, nullptr, r.rec), RecordResult::kOk);
  r.table = BuildDepthTable(r.rec.events);
  return r;
}

TEST(DepthHandoffTables, RemovalAndReplacementRestoreTheCharacter) {
  FinalRun r = Record(Tags({PlaceObject2Tag({.depth = 3, .character = 5}), ShowFrameTag(),
                            ShowFrameTag(), ShowFrameTag(), RemoveObject2Tag(3), ShowFrameTag(),
                            ShowFrameTag(), ShowFrameTag(), ShowFrameTag(),
                            PlaceObject2Tag({.depth = 3, .move = true, .x = 40}), ShowFrameTag()}));
  TimelineData data{std::span<uint8_t>(r.body)};
  PassBudget budget;
  HandoffTables out;
  ASSERT_TRUE(FinishDepthTable(r.rec.events, r.rec.headerPos, r.table, false, budget, data, out));
  const auto& ev = r.rec.events;
  EXPECT_EQ(ev[1].handoffFrame, 8);  // the removal is where the object left
  EXPECT_TRUE(out.layerDepths.empty());
  ASSERT_EQ(out.maskDepths.size(), 1u);
  EXPECT_EQ(out.maskDepths[0].characterId, 5);
  EXPECT_EQ(out.maskDepths[0].depth, 3);
  EXPECT_EQ(out.maskDepths[0].sourceDepth, 3);
  EXPECT_EQ(ev[2].linkedEvent, 0u);
  // After a cancel the marks are not set.
  FinalRun again = Record(Tags({PlaceObject2Tag({.depth = 3, .character = 5}), RemoveObject2Tag(3),
                                ShowFrameTag(), PlaceObject2Tag({.depth = 3, .move = true})}));
  TimelineData data2{std::span<uint8_t>(again.body)};
  ASSERT_TRUE(FinishDepthTable(again.rec.events, again.rec.headerPos, again.table, true, budget, data2, out));
  EXPECT_TRUE(out.maskDepths.empty() && out.layerDepths.empty());
}

TEST(DepthHandoffTables, MoveOnAnotherLayerHandsTheObjectOver) {
  FinalRun r = Record(Tags({PlaceObject2Tag({.depth = 3, .character = 5}), ShowFrameTag(),
                            ShowFrameTag(), ShowFrameTag(), ShowFrameTag(), ShowFrameTag(),
                            ShowFrameTag(), ShowFrameTag(),
                            PlaceObject2Tag({.depth = 3, .move = true, .x = 40}), ShowFrameTag()}));
  // The Move's span as a split leaves it: on a layer of its own at depth 6.
  ASSERT_EQ(r.table.size(), 1u);
  DepthEntry moved;
  moved.depth = 6;
  moved.hasNonMask = 1;
  moved.spans.push_back(r.table[0].spans[1]);
  r.table[0].spans.pop_back();
  r.table.push_back(moved);
  TimelineData data{std::span<uint8_t>(r.body)};
  PassBudget budget;
  HandoffTables out;
  ASSERT_TRUE(FinishDepthTable(r.rec.events, r.rec.headerPos, r.table, false, budget, data, out));
  ASSERT_EQ(out.layerDepths.size(), 1u);
  EXPECT_EQ(out.layerDepths[0].frame, 8);
  EXPECT_EQ(out.layerDepths[0].depth, 3);
  ASSERT_EQ(out.maskDepths.size(), 1u);
  EXPECT_EQ(out.maskDepths[0].characterId, 5);
  EXPECT_EQ(out.maskDepths[0].depth, 6);
  EXPECT_EQ(out.maskDepths[0].sourceDepth, 3);
  EXPECT_EQ(U16At(r.body, r.rec.events[1].depthPos), 6);
  EXPECT_EQ(U16At(r.body, r.rec.events[0].depthPos), 3);
}

TEST(DepthHandoffTables, ShiftsThatDoNotFitTheTagsWriteNothing) {
  auto tags = Tags({PlaceObject2Tag({.depth = 2, .character = 5, .clip = 4}),
                    PlaceObject2Tag({.depth = 3, .character = 6}), ShowFrameTag()});
  PassBudget budget;
  HandoffTables out;
  // A depth shifted past 65535.
  FinalRun r = Record(tags);
  std::vector<uint8_t> before = r.body;
  r.table[1].depth = 0x10000;
  TimelineData data{std::span<uint8_t>(r.body)};
  EXPECT_FALSE(FinishDepthTable(r.rec.events, r.rec.headerPos, r.table, true, budget, data, out));
  EXPECT_EQ(r.body, before);
  EXPECT_EQ(r.rec.events[1].depth, 3);
  // A clip depth that would read as a disabled nested mask.
  FinalRun m = Record(tags);
  m.table[0].maxClip = m.table[0].spans[0].clipDepth = 0x8000;
  TimelineData data2{std::span<uint8_t>(m.body)};
  EXPECT_FALSE(FinishDepthTable(m.rec.events, m.rec.headerPos, m.table, true, budget, data2, out));
  EXPECT_EQ(m.body, before);
}

// Random timelines of placements, moves, masks and removals over scattered
// depths: whatever the pass does, every frame shows the same.
TEST(RearrangeMaskLayers, RandomTimelinesKeepEveryFrame) {
  std::mt19937 rng(20261206);
  const uint16_t depths[] = {1, 2, 3, 5, 9, 10, 11, 40, 41, 300, 301, 302, 5000, 0x7F00, 0x7F05, 0xFFFE};
  ConverterContext ctx;
  for (int round = 0; round < 600; ++round) {
    // Every other round crowds a few adjacent depths, where masks hand over.
    bool crowded = round % 2 == 1;
    std::vector<uint8_t> tags;
    auto add = [&](const std::vector<uint8_t>& t) { tags.insert(tags.end(), t.begin(), t.end()); };
    int n = 5 + int(rng() % 40);
    for (int i = 0; i < n; ++i) {
      uint16_t d = crowded ? uint16_t(1 + rng() % 7) : depths[rng() % (round % 3 == 0 ? 16 : 8)];
      Place p{.depth = d, .character = uint16_t(1 + rng() % 5), .x = int32_t(rng() % 50)};
      unsigned kind = rng() % 10;
      if (kind < 3) {
        uint32_t c = rng() % 4;
        p.clip = c == 0 ? 0xFFFF : c == 1 ? d - 1 : std::min<uint32_t>(0xFFFF, d + 1 + rng() % 12);
      } else if (kind < 5) {
        p.move = true;
        if (rng() % 2) p.character = 0;
        if (rng() % 3 == 0) p.clip = std::min<uint32_t>(0xFFFF, d + rng() % 4);
      }
      if (kind == 5) add(RemoveObject2Tag(d));
      else if (kind == 6) add(PlaceObject3Tag(p));
      else add(PlaceObject2Tag(p));
      if (rng() % 3 == 0) add(ShowFrameTag());
    }
    add(ShowFrameTag());
    PassKeepsDisplay(ctx, tags);
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
}

}  // namespace
}  // namespace tovrani
