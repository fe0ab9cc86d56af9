#include "timeline/display_events.h"

#include <gtest/gtest.h>

#include "platform/resource_bound.h"
#include "support/swf_writer.h"
#include "swf/place_object.h"
#include "timeline/display_model.h"

namespace tovrani {
namespace {

using namespace test;

// Every kind of placement and removal is an event whose depth the pass
// renumbers: one left out would stack or remove the wrong object.
TEST(DisplayEvents, PlacementsAndRemovalsOfEveryKind) {
  const std::vector<uint8_t> tags = Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
                                          PlaceObject2Tag({.depth = 10, .character = 7}),
                                          SwfWriter::TagBytes(4, SwfBytes().u16(9).u16(15).matrix(0, 0).data()),
                                          PlaceObject3Tag({.depth = 20, .character = 8}), ShowFrameTag(),
                                          SwfWriter::TagBytes(5, SwfBytes().u16(7).u16(10).data()), ShowFrameTag(),
                                          RemoveObject2Tag(20), SwfWriter::TagBytes(28, {}), ShowFrameTag()});
  ConverterContext ctx;
  const std::vector<uint8_t> main = PassKeepsDisplay(ctx, tags);
  const auto& ev = ctx.m_pMovieEvents;
  ASSERT_EQ(ev.size(), 6u);  // the removal without a depth is none
  const uint16_t depths[] = {1, 3, 5, 7, 3, 7}, frames[] = {1, 1, 1, 1, 2, 3};
  for (size_t i = 0; i < ev.size(); ++i) {
    EXPECT_EQ(ev[i].depth, depths[i]) << i;
    EXPECT_EQ(main[ev[i].depthPos - kLead] | (main[ev[i].depthPos - kLead + 1] << 8), depths[i]) << i;
    EXPECT_EQ(ev[i].frame, frames[i]) << i;
  }
  EXPECT_EQ(ev[2].characterId, 9);
  EXPECT_EQ(ev[3].placeFlags, kPlaceHasCharacter | kPlaceHasMatrix);
  EXPECT_TRUE(ev[4].isRemove && ev[5].isRemove);
}

TEST(DisplayEvents, InitActionsAndButtonSoundsSkipBodiesWithoutId) {
  auto init0 = SwfWriter::TagBytes(59, {5, 0, 0xA, 0xB, 0xC});
  auto initShort = SwfWriter::TagBytes(59, {7});
  auto sound = SwfWriter::TagBytes(17, {4, 1, 0x11, 0x22});
  std::vector<uint8_t> tags = Tags({init0, initShort, sound, SwfWriter::TagBytes(59, {6, 0, 0xD}),
                                    SwfWriter::TagBytes(17, {4}), ShowFrameTag()});
  ConverterContext ctx;
  EXPECT_EQ(RunMainPass(ctx, tags), 0u);
  const auto& init = ctx.m_pInitActions;
  ASSERT_EQ(init.size(), 2u);
  EXPECT_EQ(init[0].spriteId, 5);
  EXPECT_EQ(init[0].actionPos, kLead + 4);
  EXPECT_EQ(init[0].actionLength, 3u);
  EXPECT_EQ(init[1].ordinal, 1u);
  EXPECT_EQ(init[1].actionPos, kLead + init0.size() + initShort.size() + sound.size() + 4);
  ASSERT_EQ(ctx.m_pButtonSounds.size(), 1u);
  EXPECT_EQ(ctx.m_pButtonSounds[0].buttonId, 0x104);
  EXPECT_EQ(ctx.m_pButtonSounds[0].data, (std::vector<uint8_t>{0x11, 0x22}));

  // "Main Timeline" off: no event and no table.
  ctx.options.mainTimeline = 0;
  EXPECT_EQ(RunMainPass(ctx, tags), 0u);
  EXPECT_TRUE(ctx.m_pInitActions.empty() && ctx.m_pButtonSounds.empty());
}

TEST(DisplayEvents, MovesOfNothingAndTakenOverClips) {
  std::vector<uint8_t> tags = Tags({PlaceObject2Tag({.depth = 4, .move = true, .x = 5}),
                                    PlaceObject2Tag({.depth = 2, .character = 3, .clip = 3}),
                                    PlaceObject2Tag({.depth = 3, .character = 4}), ShowFrameTag(),
                                    PlaceObject2Tag({.depth = 2, .move = true, .x = 9}), ShowFrameTag()});
  std::vector<uint8_t> sprite = SpriteBody(10, tags);
  const std::vector<uint8_t> spriteBefore = sprite;
  const auto framesBefore = ShownFrames(tags, 0, tags.size());
  ConverterContext ctx;
  ASSERT_EQ(RunMainPass(ctx, tags), 3u);
  // The move of nothing is disabled: its tag code now reads as 1020 or more.
  EXPECT_EQ(tags[1], 0xFF);
  EXPECT_EQ(ShownFrames(tags, 0, tags.size()), framesBefore);
  const auto& ev = ctx.m_pMovieEvents;
  EXPECT_EQ(ev[2].depth, 2);
  EXPECT_TRUE(ev[2].hasClip && ev[2].clipInherited);
  EXPECT_EQ(ev[2].clipDepth, 3);
  // A sprite's move of nothing is disabled the same way, and nothing else.
  ASSERT_EQ(RunSpritePass(ctx, sprite), 3u);
  EXPECT_EQ(sprite[5], 0xFF);
  sprite[5] = spriteBefore[5];
  EXPECT_EQ(sprite, spriteBefore);
  EXPECT_EQ(ctx.m_pSpriteEvents[0].depth, 2);
}

// A placement of nothing, a second placement on a depth in use and a move
// after a removal are ignored by players: the pass disables them.
TEST(DisplayEvents, PlacementsPlayersIgnoreAreDisabled) {
  std::vector<uint8_t> tags = Tags({PlaceObject2Tag({.depth = 1, .character = 3}), ShowFrameTag(),
                                    PlaceObject2Tag({.depth = 1, .character = 4, .x = 7}),
                                    PlaceObject2Tag({.depth = 2, .x = 7}), ShowFrameTag(),
                                    RemoveObject2Tag(1), PlaceObject2Tag({.depth = 1, .move = true, .x = 9}),
                                    ShowFrameTag()});
  const auto framesBefore = ShownFrames(tags, 0, tags.size());
  ConverterContext ctx;
  ASSERT_EQ(RunMainPass(ctx, tags), 2u);
  EXPECT_EQ(ShownFrames(tags, 0, tags.size()), framesBefore);
  EXPECT_TRUE(framesBefore.back().stacking.empty());
  EXPECT_TRUE(ctx.m_pMovieEvents[1].isRemove);
}

// A placement in the main movie of a character defined or imported only
// later is ignored by players, so it leaves its depth free; one of a
// character never defined stays. A sprite resolves later definitions when
// it is shown, so its placements stay.
TEST(DisplayEvents, PlacementsOfCharactersDefinedLaterAreDisabledInTheMainMovie) {
  const std::vector<uint8_t> defined = SwfWriter::TagBytes(2, SquareShape(5, 0, 200, 0xFF0000));
  const std::vector<uint8_t> imported =
      SwfWriter::TagBytes(71, SwfBytes().str("lib.swf").u8(1).u8(0).u16(1).u16(6).str("six").data());
  const std::vector<uint8_t> firstFive = PlaceObject2Tag({.depth = 1, .character = 5});
  const std::vector<uint8_t> firstSix = PlaceObject2Tag({.depth = 2, .character = 6});
  const std::vector<uint8_t> body =
      Tags({firstFive, firstSix, PlaceObject2Tag({.depth = 3, .character = 9}), ShowFrameTag(), defined, imported,
            PlaceObject2Tag({.depth = 1, .character = 5, .x = 4}), PlaceObject2Tag({.depth = 2, .character = 6, .x = 4}),
            ShowFrameTag()});
  std::vector<uint8_t> tags = body;
  ConverterContext ctx;
  ASSERT_EQ(RunMainPass(ctx, tags), 3u);
  EXPECT_EQ(tags[1], 0xFF);
  EXPECT_EQ(tags[firstFive.size() + 1], 0xFF);
  const auto& ev = ctx.m_pMovieEvents;
  EXPECT_EQ(ev[0].characterId, 9);
  EXPECT_EQ(ev[1].characterId, 5);
  EXPECT_EQ(ev[1].frame, 2);
  EXPECT_EQ(ev[2].characterId, 6);

  // In a sprite the first placements stand and the second ones are ignored.
  std::vector<uint8_t> sprite = SpriteBody(10, body);
  ASSERT_EQ(RunSpritePass(ctx, sprite), 3u);
  EXPECT_EQ(ctx.m_pSpriteEvents[0].characterId, 5);
  EXPECT_EQ(ctx.m_pSpriteEvents[0].frame, 1);
}

// Tags running past the end give nothing and clear the last run's events;
// the frame number saturates.
TEST(DisplayEvents, BadEndsClearOldEventsAndFramesSaturate) {
  ConverterContext ctx;
  const std::vector<uint8_t> good = Tags({PlaceObject2Tag({.depth = 1, .character = 1}), ShowFrameTag()});
  std::vector<uint8_t> bad = Tags({good, {0x3F, 0x00}});  // a long header with no room for its length
  std::vector<uint8_t> over = Tags({good, SwfWriter::TagBytes(26, {0, 1, 0, 5})});
  over.pop_back();
  for (std::vector<uint8_t>* t : {&bad, &over}) {
    std::vector<uint8_t> first = good;
    ASSERT_EQ(RunMainPass(ctx, first), 1u);
    EXPECT_EQ(RunMainPass(ctx, *t), 0u);
    EXPECT_TRUE(ctx.m_pMovieEvents.empty());
  }
  std::vector<uint8_t> sprite = SpriteBody(3, good), noDisplay = SpriteBody(4, ShowFrameTag());
  ASSERT_EQ(RunSpritePass(ctx, sprite), 1u);
  EXPECT_EQ(RunSpritePass(ctx, noDisplay), 0u);
  EXPECT_TRUE(ctx.m_pSpriteEvents.empty());

  std::vector<uint8_t> tags;
  for (int i = 0; i < 70000; ++i) tags.insert(tags.end(), {0x40, 0x00});
  tags = Tags({tags, PlaceObject2Tag({.depth = 1, .character = 1})});
  ASSERT_EQ(RunMainPass(ctx, tags), 1u);
  EXPECT_EQ(ctx.m_pMovieEvents[0].frame, 0xFFFF);
}

// Moves of one depth within one frame, a swap among them, are one event
// holding the frame's last clip depth and character, as the display list
// keeps one entry for them. Where the pass renumbers the timeline, every
// folded tag still gets its event's depth and clip depth.
TEST(DisplayEvents, MovesWithinAFrameFoldIntoOneEvent) {
  const std::vector<std::vector<uint8_t>> parts = {
      PlaceObject2Tag({.depth = 1, .character = 1, .clip = 15}), PlaceObject2Tag({.depth = 10, .character = 2}),
      PlaceObject2Tag({.depth = 20, .character = 3}), ShowFrameTag(),
      PlaceObject2Tag({.depth = 20, .move = true, .x = 5}), PlaceObject2Tag({.depth = 20, .move = true, .x = 9}),
      PlaceObject2Tag({.depth = 20, .character = 4, .move = true}), ShowFrameTag(),
      PlaceObject2Tag({.depth = 1, .move = true, .x = 3}), PlaceObject2Tag({.depth = 1, .clip = 12, .move = true}),
      PlaceObject2Tag({.depth = 1, .clip = 25, .move = true}), ShowFrameTag()};
  std::vector<uint8_t> tags;
  std::vector<size_t> at;
  for (const auto& p : parts) {
    at.push_back(tags.size());
    tags.insert(tags.end(), p.begin(), p.end());
  }
  ConverterContext ctx;
  const std::vector<uint8_t> main = PassKeepsDisplay(ctx, tags);
  const auto& ev = ctx.m_pMovieEvents;
  ASSERT_EQ(ev.size(), 5u);
  EXPECT_TRUE(ev[3].isReplace);
  EXPECT_EQ(ev[3].characterId, 4);
  EXPECT_EQ(ev[4].clipDepth, 25);
  EXPECT_EQ(ev[4].clipPos - kLead, at[9] + parts[9].size() - 2);  // the first move with a clip depth
  auto depth = [&](size_t part) { return main[at[part] + 3] | (main[at[part] + 4] << 8); };
  auto clip = [&](size_t part) { return main[at[part] + parts[part].size() - 2]; };
  EXPECT_NE(depth(1), 10);  // renumbered
  for (const size_t folded : {5, 6}) EXPECT_EQ(depth(folded), depth(4)) << folded;
  EXPECT_EQ(depth(10), depth(8));
  EXPECT_EQ(clip(10), clip(9));
  EXPECT_NE(clip(10), 25);

  // Where the pass gives up (a mask at depth 0), a deep clip clamped to one
  // past the deepest placement is written into the folded move too.
  const std::vector<uint8_t> zero = PlaceObject2Tag({.depth = 0, .character = 1, .clip = 5}),
                             deepMask = PlaceObject2Tag({.depth = 3, .character = 2, .clip = 0xFFFF}),
                             deepMove = PlaceObject2Tag({.depth = 3, .clip = 0xFFFF, .move = true});
  std::vector<uint8_t> deep =
      Tags({zero, deepMask, deepMove, PlaceObject2Tag({.depth = 40, .character = 3}), ShowFrameTag()});
  ASSERT_EQ(RunMainPass(ctx, deep), 3u);
  const size_t maskClip = zero.size() + deepMask.size() - 2, moveClip = maskClip + deepMove.size();
  EXPECT_EQ(deep[maskClip] | (deep[maskClip + 1] << 8), 41);
  EXPECT_EQ(deep[moveClip] | (deep[moveClip + 1] << 8), 41);
}

// Past a bound of the conversion the pass builds nothing: the room for a
// timeline's events is asked for before it is taken, so that millions of
// removals stop before they are held, and a look in a sprite's body finds a
// bound crossed before it, so that no tag is rewritten.
TEST(DisplayEvents, RecordingStopsAtACrossedBound) {
  std::vector<uint8_t> body = SpriteBody(3, PlaceObject2Tag({.depth = 1, .character = 1}));
  const std::vector<uint8_t> removal = RemoveObject2Tag(1);
  for (int i = 0; i < 200000; ++i) body.insert(body.end(), removal.begin(), removal.end());
  ResourceRates rates;
  rates.heapFixedBytes = 4 << 20;
  rates.heapBytesPerFileByte = 0;
  {
    SetNextResourceRates(rates);
    ResourceScope scope;
    ConverterContext ctx;
    EXPECT_EQ(RunSpritePass(ctx, body), 0u);  // 200,001 events want 9.6 MB
    EXPECT_TRUE(ctx.m_pSpriteEvents.empty());
    EXPECT_EQ(ResourceBoundResult(), kResultTooMuchMemory);
  }
  std::vector<uint8_t> masked = SpriteBody(4, Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
                                                    PlaceObject2Tag({.depth = 10, .character = 2}), ShowFrameTag()}));
  const std::vector<uint8_t> before = masked;
  {
    ResourceScope scope;
    EXPECT_TRUE(!ReserveHeap(uint64_t(1) << 62));
    ConverterContext ctx;
    EXPECT_EQ(RunSpritePass(ctx, masked), 0u);
    EXPECT_EQ(masked, before);
    EXPECT_TRUE(ctx.m_pSpriteEvents.empty());
  }
  ConverterContext ctx;
  EXPECT_EQ(RunSpritePass(ctx, masked), 2u);
  EXPECT_NE(masked, before);
}

}  // namespace
}  // namespace tovrani
