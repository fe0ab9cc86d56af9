#include "timeline/rearrange_mask_layers.h"

#include <gtest/gtest.h>

#include <random>

#include "timeline/depth_handoff.h"
#include "timeline/display_model.h"
#include "support/temp_dir.h"

namespace tovrani {
namespace {

using namespace test;

uint16_t U16At(const std::vector<uint8_t>& b, uint64_t pos) { return uint16_t(b[pos] | (b[pos + 1] << 8)); }

TEST(RearrangeMaskLayers, NothingToRearrangeWritesNothingButRecordsEvents) {
  const std::vector<uint8_t> movies[] = {
      Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 3}),
            PlaceObject2Tag({.depth = 3, .character = 2}), PlaceObject2Tag({.depth = 40, .character = 3}),
            ShowFrameTag()}),
      // A mask at depth 0 leaves the tags alone.
      Tags({PlaceObject2Tag({.depth = 0, .character = 1, .clip = 5}),
            PlaceObject2Tag({.depth = 3, .character = 2, .clip = 0xFFFF}),
            PlaceObject2Tag({.depth = 40, .character = 3}), ShowFrameTag()})};
  for (const auto& movie : movies) {
    ConverterContext ctx;
    std::vector<uint8_t> tags = movie;
    EXPECT_EQ(RunMainPass(ctx, tags), 3u);
    EXPECT_EQ(tags, movie);
    ASSERT_EQ(ctx.m_pMovieEvents.size(), 3u);  // filled on this road too
    EXPECT_EQ(ctx.m_pMovieEvents[2].depth, 40);
    EXPECT_TRUE(ctx.m_pMovieLayerDepths.empty() && ctx.m_pMovieMaskDepths.empty());
  }
}

TEST(RearrangeMaskLayers, MaskOverTwoDepthsRenumberedAndWrittenBack) {
  const std::vector<uint8_t> tags =
      Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
            PlaceObject2Tag({.depth = 10, .character = 2}), PlaceObject3Tag({.depth = 20, .character = 3}),
            ShowFrameTag(), RemoveObject2Tag(10), ShowFrameTag()});
  ConverterContext ctx;
  const std::vector<uint8_t> main = PassKeepsDisplay(ctx, tags);
  // Depths 1, 10, 20 become 1, 3, 5; the mask reaches one past the last.
  const auto& ev = ctx.m_pMovieEvents;
  ASSERT_EQ(ev.size(), 4u);
  EXPECT_EQ(U16At(main, ev[0].clipPos - kLead), 6);
  const uint16_t depths[] = {1, 3, 5, 3};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(U16At(main, ev[i].depthPos - kLead), depths[i]) << i;
  EXPECT_EQ(ev[1].depth, 3);  // events carry the depths the tags now hold
  EXPECT_EQ(ev[1].origDepth, 10);
  // The sprite's body changed the same way (ctx holds the sprite's events).
  std::vector<uint8_t> sprite = SpriteBody(9, tags);
  RunSpritePass(ctx, sprite);
  EXPECT_EQ(U16At(sprite, ctx.m_pSpriteEvents[2].depthPos), 5);
}

TEST(RearrangeMaskLayers, RemovalThatEndsNothingIsDisabledWhenDepthsMove) {
  const std::vector<uint8_t> tags =
      Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
            PlaceObject2Tag({.depth = 5, .character = 2}), PlaceObject2Tag({.depth = 9, .character = 3}),
            ShowFrameTag(), RemoveObject2Tag(9), ShowFrameTag(), RemoveObject2Tag(9), RemoveObject2Tag(7),
            ShowFrameTag()});
  ConverterContext ctx;
  const std::vector<uint8_t> main = PassKeepsDisplay(ctx, tags);
  const auto& ev = ctx.m_pMovieEvents;
  ASSERT_EQ(ev.size(), 6u);
  EXPECT_EQ(main[ev[4].depthPos - kLead - 1], 0xFF);  // second removal of 9
  EXPECT_EQ(main[ev[5].depthPos - kLead - 1], 0xFF);  // removal at 7
  EXPECT_EQ(U16At(main, ev[3].depthPos - kLead), 5);  // the real one follows 9
}

TEST(RearrangeMaskLayers, CancelStillWritesAConsistentTimeline) {
  ConverterContext ctx;
  ctx.m_bCancel = 1;
  const std::vector<uint8_t> main =
      PassKeepsDisplay(ctx, Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
                                  PlaceObject2Tag({.depth = 10, .character = 2}), ShowFrameTag()}));
  EXPECT_EQ(U16At(main, ctx.m_pMovieEvents[0].clipPos - kLead), 11);
}

// Hand-off tables, from the final stage as it runs when no repair is left.
struct FinalRun {
  std::vector<uint8_t> body;
  DisplayRecording rec;
  DepthTable table;
  HandoffTables out;
  explicit FinalRun(const std::vector<uint8_t>& tags) : body(SpriteBody(4, tags)) {
    TimelineData data{std::span<uint8_t>(body)};
    EXPECT_EQ(RecordDisplayEvents(data, true, nullptr, nullptr, rec), RecordResult::kOk);
    table = BuildDepthTable(rec.events);
  }
  bool finish(bool cancelled) {
    TimelineData data{std::span<uint8_t>(body)};
    PassBudget budget;
    return FinishDepthTable(rec.events, rec.headerPos, table, cancelled, budget, data, out);
  }
};

std::vector<uint8_t> Frames(int n) {
  std::vector<uint8_t> v;
  for (int i = 0; i < n; ++i) v = Tags({v, ShowFrameTag()});
  return v;
}

// Players ignore a move at a depth a removal emptied: it is disabled, so
// nothing brings the removed character back.
TEST(DepthHandoffTables, MoveAfterRemovalRestoresNothing) {
  FinalRun r(Tags({PlaceObject2Tag({.depth = 3, .character = 5}), Frames(3), RemoveObject2Tag(3), Frames(4),
                   PlaceObject2Tag({.depth = 3, .move = true, .x = 40}), ShowFrameTag()}));
  ASSERT_TRUE(r.finish(false));
  ASSERT_EQ(r.rec.events.size(), 2u);
  EXPECT_TRUE(r.rec.events[1].isRemove);
  EXPECT_TRUE(r.out.layerDepths.empty() && r.out.maskDepths.empty());
}

TEST(DepthHandoffTables, MoveOnAnotherLayerHandsTheObjectOver) {
  FinalRun r(Tags({PlaceObject2Tag({.depth = 3, .character = 5}), Frames(7),
                   PlaceObject2Tag({.depth = 3, .move = true, .x = 40}), ShowFrameTag()}));
  // The Move's span as a split leaves it: on a layer of its own at depth 6.
  ASSERT_EQ(r.table.size(), 1u);
  DepthEntry moved;
  moved.depth = 6;
  moved.hasNonMask = 1;
  moved.spans.push_back(r.table[0].spans[1]);
  r.table[0].spans.pop_back();
  r.table.push_back(moved);
  ASSERT_TRUE(r.finish(false));
  ASSERT_EQ(r.out.layerDepths.size(), 1u);
  EXPECT_EQ(r.out.layerDepths[0].frame, 8);
  EXPECT_EQ(r.out.layerDepths[0].depth, 3);
  ASSERT_EQ(r.out.maskDepths.size(), 1u);
  EXPECT_EQ(r.out.maskDepths[0].characterId, 5);
  EXPECT_EQ(r.out.maskDepths[0].depth, 6);
  EXPECT_EQ(r.out.maskDepths[0].sourceDepth, 3);
  EXPECT_EQ(U16At(r.body, r.rec.events[1].depthPos), 6);
  EXPECT_EQ(U16At(r.body, r.rec.events[0].depthPos), 3);
}

TEST(DepthHandoffTables, ShiftsThatDoNotFitTheTagsWriteNothing) {
  const auto tags = Tags({PlaceObject2Tag({.depth = 2, .character = 5, .clip = 4}),
                          PlaceObject2Tag({.depth = 3, .character = 6}), ShowFrameTag()});
  FinalRun wide(tags), marker(tags);
  const std::vector<uint8_t> before = wide.body;
  wide.table[1].depth = 0x10000;  // a depth shifted past 65535
  EXPECT_FALSE(wide.finish(true));
  EXPECT_EQ(wide.body, before);
  EXPECT_EQ(wide.rec.events[1].depth, 3);
  // A clip depth that would read as a disabled nested mask.
  marker.table[0].maxClip = marker.table[0].spans[0].clipDepth = 0x8000;
  EXPECT_FALSE(marker.finish(true));
  EXPECT_EQ(marker.body, before);
}

// A work file the pass cannot write back to fails the document: the tags
// would no longer say what the events say. A movie that needs no change
// reads from it fine.
TEST(RearrangeMaskLayers, WriteBackThatFailsIsResult44) {
  const struct {
    const char* name;
    std::vector<uint8_t> tags;
    int result;
  } cases[] = {
      {"move of nothing disabled while recording",
       Tags({PlaceObject2Tag({.depth = 3, .move = true, .x = 40}), ShowFrameTag()}), 44},
      {"depths renumbered under a mask",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
             PlaceObject2Tag({.depth = 10, .character = 2}), ShowFrameTag()}),
       44},
      {"nothing to change", Tags({PlaceObject2Tag({.depth = 1, .character = 1}), ShowFrameTag()}), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::vector<uint8_t> file(kLead, 0xEE);
    file.insert(file.end(), c.tags.begin(), c.tags.end());
    WriteFileBytes(dir.file("work"), file);
    std::FILE* f = std::fopen(dir.file("work").c_str(), "rb");  // every write fails
    ASSERT_NE(f, nullptr);
    std::fseek(f, long(kLead), SEEK_SET);
    ConverterContext ctx;
    ctx.m_pSwfFile = f;
    ctx.m_nSwfEnd = file.size();
    RearrangeMaskLayers(ctx, 1, nullptr, 0);
    std::fclose(f);
    EXPECT_EQ(ctx.m_nWriterError, c.result);
  }
}

// Random timelines of placements, moves, masks and removals over scattered
// depths: whatever the pass does, every frame shows the same.
TEST(RearrangeMaskLayers, RandomTimelinesKeepEveryFrame) {
  std::mt19937 rng(20261206);
  const uint16_t depths[] = {1, 2, 3, 5, 9, 10, 11, 40, 41, 300, 301, 302, 5000, 0x7F00, 0x7F05, 0xFFFE};
  ConverterContext ctx;
  for (int round = 0; round < 600; ++round) {
    std::vector<uint8_t> tags;
    for (int i = 0, n = 5 + int(rng() % 40); i < n; ++i) {
      // Every other round crowds a few adjacent depths, where masks hand over.
      const uint16_t d = round % 2 ? uint16_t(1 + rng() % 7) : depths[rng() % (round % 3 == 0 ? 16 : 8)];
      Place p{.depth = d, .character = uint16_t(1 + rng() % 5), .x = int32_t(rng() % 50)};
      const unsigned kind = rng() % 10;
      if (kind < 3) {
        const uint32_t c = rng() % 4;
        p.clip = c == 0 ? 0xFFFF : c == 1 ? d - 1 : std::min<uint32_t>(0xFFFF, d + 1 + rng() % 12);
      } else if (kind < 5) {
        p.move = true;
        if (rng() % 2) p.character = 0;
        if (rng() % 3 == 0) p.clip = std::min<uint32_t>(0xFFFF, d + rng() % 4);
      }
      tags = Tags({tags, kind == 5   ? RemoveObject2Tag(d)
                         : kind == 6 ? PlaceObject3Tag(p)
                                     : PlaceObject2Tag(p)});
      if (rng() % 3 == 0) tags = Tags({tags, ShowFrameTag()});
    }
    PassKeepsDisplay(ctx, Tags({tags, ShowFrameTag()}));
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
}

}  // namespace
}  // namespace tovrani
