#include "timeline/display_events.h"

#include <gtest/gtest.h>

#include "support/swf_writer.h"
#include "swf/place_object.h"
#include "timeline/display_model.h"
#include "timeline/pass_runner.h"

namespace tovrani {
namespace {

using namespace test;

constexpr uint64_t kLead = 21;  // where RunMainPass puts the tags

TEST(DisplayEvents, PlacementsAndRemovalsOfEveryKind) {
  auto po2 = PlaceObject2Tag({.depth = 3, .character = 7});
  auto po3 = PlaceObject3Tag({.depth = 5, .character = 8, .clip = 9});
  auto ro = RemoveObjectTag(7, 3);
  auto ro2 = RemoveObject2Tag(5);
  auto po1 = SwfWriter::TagBytes(4, SwfBytes().u16(9).u16(2).matrix(0, 0).data());
  auto emptyRemove = SwfWriter::TagBytes(28, {});
  std::vector<uint8_t> tags =
      Tags({po2, ShowFrameTag(), po3, ro, ShowFrameTag(), ro2, emptyRemove, po1, ShowFrameTag()});
  std::vector<uint8_t> original = tags;
  ConverterContext ctx;
  ASSERT_EQ(RunMainPass(ctx, tags), 5u);
  EXPECT_EQ(tags, original);  // nothing needed rearranging
  const auto& ev = ctx.m_pMovieEvents;
  ASSERT_EQ(ev.size(), 5u);

  uint64_t at = kLead;
  EXPECT_EQ(ev[0].depthPos, at + 2 + 1);
  EXPECT_EQ(ev[0].depth, 3);
  EXPECT_EQ(ev[0].origDepth, 3);
  EXPECT_EQ(ev[0].characterId, 7);
  EXPECT_EQ(ev[0].placeFlags, kPlaceHasCharacter | kPlaceHasMatrix);
  EXPECT_EQ(ev[0].frame, 1);
  EXPECT_FALSE(ev[0].hasClip || ev[0].isRemove || ev[0].isReplace);

  at += po2.size() + 2;
  EXPECT_EQ(ev[1].depthPos, at + 2 + 2);  // two flag bytes before the depth
  EXPECT_EQ(ev[1].frame, 2);
  EXPECT_TRUE(ev[1].hasClip);
  EXPECT_EQ(ev[1].clipDepth, 9);
  EXPECT_EQ(tags[ev[1].clipPos - kLead], 9);

  at += po3.size();
  EXPECT_TRUE(ev[2].isRemove);
  EXPECT_EQ(ev[2].depthPos, at + 2 + 2);
  EXPECT_EQ(ev[2].depth, 3);
  EXPECT_EQ(ev[2].placeFlags, 0);

  at += ro.size() + 2;
  EXPECT_TRUE(ev[3].isRemove);
  EXPECT_EQ(ev[3].depthPos, at + 2);
  EXPECT_EQ(ev[3].frame, 3);

  // PlaceObject (tag 4) is a placement like the others.
  at += ro2.size() + emptyRemove.size();
  EXPECT_FALSE(ev[4].isRemove);
  EXPECT_EQ(ev[4].depthPos, at + 2 + 2);
  EXPECT_EQ(ev[4].characterId, 9);
  EXPECT_EQ(ev[4].depth, 2);
}

TEST(DisplayEvents, InitActionsAndButtonSoundsSkipBodiesWithoutId) {
  auto init0 = SwfWriter::TagBytes(59, {5, 0, 0xA, 0xB, 0xC});
  auto init1 = SwfWriter::TagBytes(59, {6, 0, 0xD});
  auto initShort = SwfWriter::TagBytes(59, {7});
  auto sound = SwfWriter::TagBytes(17, {4, 1, 0x11, 0x22});
  auto soundShort = SwfWriter::TagBytes(17, {4});
  std::vector<uint8_t> tags = Tags({init0, initShort, sound, init1, soundShort, ShowFrameTag()});
  ConverterContext ctx;
  EXPECT_EQ(RunMainPass(ctx, tags), 0u);
  ASSERT_EQ(ctx.m_pInitActions.size(), 2u);
  EXPECT_EQ(ctx.m_pInitActions[0].spriteId, 5);
  EXPECT_EQ(ctx.m_pInitActions[0].ordinal, 0u);
  EXPECT_EQ(ctx.m_pInitActions[0].actionPos, kLead + 2 + 2);
  EXPECT_EQ(ctx.m_pInitActions[0].actionLength, 3u);
  EXPECT_EQ(ctx.m_pInitActions[1].ordinal, 1u);
  EXPECT_EQ(ctx.m_pInitActions[1].actionPos,
            kLead + init0.size() + initShort.size() + sound.size() + 2 + 2);
  ASSERT_EQ(ctx.m_pButtonSounds.size(), 1u);
  EXPECT_EQ(ctx.m_pButtonSounds[0].buttonId, 0x104);
  EXPECT_EQ(ctx.m_pButtonSounds[0].data, (std::vector<uint8_t>{0x11, 0x22}));

  // "Main Timeline" off: no event and no table.
  ctx.options.mainTimeline = 0;
  EXPECT_EQ(RunMainPass(ctx, tags), 0u);
  EXPECT_TRUE(ctx.m_pInitActions.empty() && ctx.m_pButtonSounds.empty());
}

TEST(DisplayEvents, MovesOfNothingAndTakenOverClips) {
  auto stray = PlaceObject2Tag({.depth = 4, .move = true, .x = 5});
  std::vector<uint8_t> tags = Tags({stray, PlaceObject2Tag({.depth = 2, .character = 3, .clip = 3}),
                                    PlaceObject2Tag({.depth = 3, .character = 4}), ShowFrameTag(),
                                    PlaceObject2Tag({.depth = 2, .move = true, .x = 9}), ShowFrameTag()});
  std::vector<uint8_t> sprite = SpriteBody(10, tags);
  std::vector<uint8_t> spriteBefore = sprite;
  auto framesBefore = ShownFrames(tags, 0, tags.size());

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

TEST(DisplayEvents, TagsRunningPastTheEndGiveNothingAndClearOldEvents) {
  ConverterContext ctx;
  std::vector<uint8_t> good = Tags({PlaceObject2Tag({.depth = 1, .character = 1}), ShowFrameTag()});
  ASSERT_EQ(RunMainPass(ctx, good), 1u);
  std::vector<uint8_t> bad = good;
  bad.push_back(0x3F);  // a long header with no room for its length
  bad.push_back(0x00);
  EXPECT_EQ(RunMainPass(ctx, bad), 0u);
  EXPECT_TRUE(ctx.m_pMovieEvents.empty());
  std::vector<uint8_t> over = Tags({good, SwfWriter::TagBytes(26, {0, 1, 0, 5})});
  over.resize(over.size() - 1);
  EXPECT_EQ(RunMainPass(ctx, over), 0u);

  std::vector<uint8_t> sprite = SpriteBody(3, good);
  ASSERT_EQ(RunSpritePass(ctx, sprite), 1u);
  std::vector<uint8_t> noDisplay = SpriteBody(4, Tags({ShowFrameTag()}));
  EXPECT_EQ(RunSpritePass(ctx, noDisplay), 0u);
  EXPECT_TRUE(ctx.m_pSpriteEvents.empty());
}

TEST(DisplayEvents, FrameNumberSaturates) {
  std::vector<uint8_t> tags;
  for (int i = 0; i < 70000; ++i) tags.insert(tags.end(), {0x40, 0x00});
  auto po = PlaceObject2Tag({.depth = 1, .character = 1});
  tags.insert(tags.end(), po.begin(), po.end());
  ConverterContext ctx;
  ASSERT_EQ(RunMainPass(ctx, tags), 1u);
  EXPECT_EQ(ctx.m_pMovieEvents[0].frame, 0xFFFF);
}

}  // namespace
}  // namespace tovrani
