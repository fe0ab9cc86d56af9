#include "timeline/display_events.h"

#include <gtest/gtest.h>

#include "support/swf_writer.h"
#include "swf/place_object.h"
#include "timeline/display_model.h"

namespace tovrani {
namespace {

using namespace test;

TEST(DisplayEvents, PlacementsAndRemovalsOfEveryKind) {
  const std::vector<uint8_t> parts[] = {
      PlaceObject2Tag({.depth = 3, .character = 7}), ShowFrameTag(),
      PlaceObject3Tag({.depth = 5, .character = 8, .clip = 9}),
      SwfWriter::TagBytes(5, SwfBytes().u16(7).u16(3).data()),  // RemoveObject
      ShowFrameTag(), RemoveObject2Tag(5), SwfWriter::TagBytes(28, {}),
      SwfWriter::TagBytes(4, SwfBytes().u16(9).u16(2).matrix(0, 0).data()),  // PlaceObject
      ShowFrameTag()};
  std::vector<uint8_t> tags;
  std::vector<uint64_t> at;  // where each part starts
  for (const auto& p : parts) at.push_back(kLead + tags.size()), tags.insert(tags.end(), p.begin(), p.end());
  const std::vector<uint8_t> original = tags;
  ConverterContext ctx;
  ASSERT_EQ(RunMainPass(ctx, tags), 5u);
  EXPECT_EQ(tags, original);  // nothing needed rearranging
  struct Expected {
    uint64_t depthPos;
    uint16_t depth, character, frame;
    bool isRemove;
  } const expected[] = {{at[0] + 3, 3, 7, 1, false},
                        {at[2] + 4, 5, 8, 2, false},  // two flag bytes before the depth
                        {at[3] + 4, 3, 0, 2, true},
                        {at[5] + 2, 5, 0, 3, true},
                        {at[7] + 4, 2, 9, 3, false}};  // tag 4 is a placement like the others
  const auto& ev = ctx.m_pMovieEvents;
  ASSERT_EQ(ev.size(), std::size(expected));
  for (size_t i = 0; i < ev.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ev[i].depthPos, expected[i].depthPos);
    EXPECT_EQ(ev[i].depth, expected[i].depth);
    EXPECT_EQ(ev[i].origDepth, expected[i].depth);
    EXPECT_EQ(ev[i].frame, expected[i].frame);
    EXPECT_EQ(bool(ev[i].isRemove), expected[i].isRemove);
    if (!expected[i].isRemove) {
      EXPECT_EQ(ev[i].characterId, expected[i].character);
    }
  }
  EXPECT_EQ(ev[0].placeFlags, kPlaceHasCharacter | kPlaceHasMatrix);
  EXPECT_FALSE(ev[0].hasClip || ev[0].isReplace);
  EXPECT_TRUE(ev[1].hasClip);
  EXPECT_EQ(ev[1].clipDepth, 9);
  EXPECT_EQ(tags[ev[1].clipPos - kLead], 9);
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
  // In a sprite the move keeps its event and the body is left alone.
  ASSERT_EQ(RunSpritePass(ctx, sprite), 4u);
  EXPECT_EQ(sprite, spriteBefore);
  EXPECT_EQ(ctx.m_pSpriteEvents[0].depth, 4);
  EXPECT_FALSE(ctx.m_pSpriteEvents[0].hasClip);
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

}  // namespace
}  // namespace tovrani
