#include "convert/placements.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "support/swf_writer.h"
#include "convert/converter_context.h"
#include "swf/place_object.h"
#include "convert/placement_filters.h"

namespace tovrani {
namespace {

using test::SwfBytes;

constexpr uint16_t kFrameLabel = 43;

// A PlaceObject2 body: flags, depth and the fields the flags announce.
struct Place2 {
  uint8_t flags = 0;
  uint16_t depth = 1, character = 0;
  int32_t tx = 0, ty = 0;
  uint16_t ratio = 0;
  const char* name = "";
  uint16_t clipDepth = 0;

  std::vector<uint8_t> body() const {
    SwfBytes b;
    b.u8(flags).u16(depth);
    if (flags & kPlaceHasCharacter) b.u16(character);
    if (flags & kPlaceHasMatrix) b.matrix(tx, ty);
    if (flags & kPlaceHasRatio) b.u16(ratio);
    if (flags & kPlaceHasName) b.str(name);
    if (flags & kPlaceHasClipDepth) b.u16(clipDepth);
    return b.data();
  }
};

class Placements : public testing::Test {
 protected:
  void Tag(uint16_t code, const std::vector<uint8_t>& body, uint16_t frame) {
    HandleMainTimelineTag(ctx, code, body, frame);
  }
  void Place(const Place2& p, uint16_t frame) { Tag(kTagPlaceObject2, p.body(), frame); }
  const DepthLayerRecord* Layer(uint16_t depth) {
    int32_t i = ctx.m_movieLayers.findLast(depth);
    return i < 0 ? nullptr : &ctx.m_movieLayers[size_t(i)];
  }
  uint16_t Cached(uint16_t depth) {
    uint16_t id = 0;
    return ctx.m_depthIdCache.lookup(depth, id) ? id : 0;
  }

  ConverterContext ctx;
};

TEST_F(Placements, FrameLabelsKeepTagOrderAnchorAndTextAsUtf8) {
  Tag(kFrameLabel, SwfBytes().str("intro").u8(1).data(), 3);
  Tag(kFrameLabel, SwfBytes().str("intro2").data(), 3);
  Tag(kFrameLabel, {'a', 'b', 'c'}, 4);  // no terminator: still one whole label
  Tag(kFrameLabel, {}, 5);
  ctx.options.frameLabel = 0;
  Tag(kFrameLabel, SwfBytes().str("off").data(), 6);
  // Windows-1252 before SWF 6, UTF-8 from then on.
  ctx.options.frameLabel = 1;
  ctx.m_nSwfVersion = 5;
  Tag(kFrameLabel, {'c', 0xE9, 0}, 7);
  Place({.flags = kPlaceHasCharacter | kPlaceHasName, .depth = 1, .character = 2, .name = "n\xE9"}, 7);
  ctx.m_nSwfVersion = 8;
  Tag(kFrameLabel, {'c', 0xC3, 0xA9, 0}, 8);
  std::vector<std::tuple<std::string, int, int>> got;
  for (const auto& l : ctx.m_movieLayers.labels()) got.push_back({l.text, l.anchor, l.frame});
  EXPECT_EQ(got, (std::vector<std::tuple<std::string, int, int>>{
                     {"intro", 1, 3}, {"intro2", 0, 3}, {"abc", 0, 4}, {"c\xC3\xA9", 0, 7}, {"c\xC3\xA9", 0, 8}}));
  EXPECT_EQ(Layer(1)->entries[0].instanceName, "n\xC3\xA9");
}

TEST_F(Placements, PlaceMoveReplaceAndRemoveOnOneDepth) {
  // Frame 0: character 5 at depth 2 with a name longer than 300 bytes, and
  // a PlaceObject of character 9 at depth 4 with a CXFORM (multiply terms
  // only, 9 bits each).
  const std::string longName(400, 'n');
  Place({.flags = kPlaceHasCharacter | kPlaceHasMatrix | kPlaceHasName, .depth = 2, .character = 5, .tx = 100,
         .ty = 200, .name = longName.c_str()},
        0);
  SwfBytes po1;
  po1.u16(9).u16(4).matrix(7, 0);
  po1.ubits(0, 1).ubits(1, 1).ubits(9, 4).sbits(128, 9).sbits(256, 9).sbits(64, 9).align();
  Tag(kTagPlaceObject, po1.data(), 0);
  // Frame 1: move to a new position; frame 2: replace by character 6.
  Place({.flags = kPlaceMove | kPlaceHasMatrix, .depth = 2, .tx = 300, .ty = 400}, 1);
  Place({.flags = kPlaceMove | kPlaceHasCharacter, .depth = 2, .character = 6}, 2);
  // Frame 3: removed (twice: the first removal counts); frame 5: placed again.
  Tag(kTagRemoveObject2, SwfBytes().u16(2).data(), 3);
  Tag(kTagRemoveObject, SwfBytes().u16(6).u16(2).data(), 4);
  Place({.flags = kPlaceHasCharacter | kPlaceHasMatrix, .depth = 2, .character = 8, .tx = 1}, 5);

  const DepthLayerRecord* d2 = Layer(2);
  ASSERT_NE(d2, nullptr);
  ASSERT_EQ(d2->lastEntry, 3);
  // A move keeps the character and name, a replacement the position too.
  using Row = std::tuple<int, int, int, int, int, int>;  // character, start, end, tx, ty, move
  std::vector<Row> rows;
  const auto& e = d2->entries;
  for (const auto& x : e)
    rows.push_back({x.characterId, x.startFrame, x.endFrame, x.matrix.translateX, x.matrix.translateY, x.isMoveEntry});
  EXPECT_EQ(rows, (std::vector<Row>{{5, 0, kNeverRemoved, 100, 200, 0}, {5, 1, kNeverRemoved, 300, 400, 1},
                                    {6, 2, 3, 300, 400, 1}, {8, 5, kNeverRemoved, 1, 0, 0}}));
  EXPECT_TRUE(e[1].instanceName == longName && e[2].instanceName == longName);
  for (const auto& x : e) EXPECT_EQ(x.displayByte, 1);

  const DepthLayerRecord* d4 = Layer(4);
  ASSERT_NE(d4, nullptr);
  EXPECT_EQ(d4->lastEntry, 0);
  const DisplayListEntry& p = d4->entries[0];
  EXPECT_EQ(p.endFrame, kNeverRemoved);
  EXPECT_EQ(p.colorTransform.rMult, 128);
  EXPECT_EQ(p.colorTransform.bMult, 64);
  EXPECT_EQ(p.colorTransform.aMult, 256);
  EXPECT_EQ(p.flags, kPlaceHasCharacter | kPlaceHasMatrix | kPlaceHasCxform);
  EXPECT_EQ(ctx.m_movieLayers.layerCount(), 2);
  EXPECT_EQ(Cached(2), 8);
}

// A placement removed in the frame that made it is never shown: however
// many such pairs a frame holds, a depth keeps two entries of them, and the
// placement after them takes the place of the second.
TEST_F(Placements, PairsRemovedInTheirOwnFrameKeepTwoEntries) {
  const auto place = [&](uint16_t character, int32_t tx) {
    Place({.flags = kPlaceHasCharacter | kPlaceHasMatrix, .character = character, .tx = tx}, 3);
  };
  Place({.flags = kPlaceHasCharacter | kPlaceHasMatrix, .character = 1}, 2);
  for (uint16_t i = 0; i < 1001; ++i) {
    Tag(kTagRemoveObject2, {1, 0}, 3);
    if (i < 1000) place(uint16_t(2 + i % 3), i);
  }
  const DepthLayerRecord* layer = Layer(1);
  ASSERT_NE(layer, nullptr);
  ASSERT_EQ(layer->lastEntry, 2);
  EXPECT_EQ(layer->entries[0].endFrame, 3);
  for (size_t k : {1u, 2u}) {
    EXPECT_EQ(layer->entries[k].startFrame, 3);
    EXPECT_EQ(layer->entries[k].endFrame, 3);
  }
  EXPECT_EQ(layer->entries[1].matrix.translateX, 0);
  EXPECT_EQ(layer->entries[2].characterId, 2 + 999 % 3);
  EXPECT_EQ(layer->entries[2].matrix.translateX, 999);
  place(9, 7);
  ASSERT_EQ(layer->lastEntry, 2);
  EXPECT_EQ(layer->entries[2].characterId, 9);
  EXPECT_EQ(layer->entries[2].endFrame, kNeverRemoved);
  EXPECT_EQ(Cached(1), 9);
}

// A frame shows an object only as the last placement of the frame leaves
// it: moves, swaps (PlaceObject2 and 3), a new clip depth and a PlaceObject
// over a shown object in the frame an entry began update that entry, and a
// morph run counts each frame once.
TEST_F(Placements, PlacementsInTheFrameOfTheirEntryUpdateIt) {
  const uint8_t move = kPlaceMove | kPlaceHasMatrix;
  Place({.flags = kPlaceHasCharacter | kPlaceHasName, .character = 3, .name = "a"}, 0);
  for (int32_t i = 0; i < 5000; ++i) Place({.flags = move, .tx = i}, 0);
  Place({.flags = kPlaceMove | kPlaceHasCharacter, .character = 4}, 0);
  Tag(kTagPlaceObject3, SwfBytes().u8(kPlaceMove | kPlaceHasCharacter).u8(0).u16(1).u16(5).data(), 0);
  Place({.flags = kPlaceMove | kPlaceHasClipDepth, .clipDepth = 7}, 0);
  // The next frame's moves make one entry of their own, which a removal
  // in that frame ends there.
  for (int32_t i = 0; i < 3000; ++i) Place({.flags = move, .tx = 10000 + i}, 1);
  Tag(kTagRemoveObject2, {1, 0}, 1);
  using Row = std::tuple<int, int, int, int, std::string>;  // character, start, end, tx, name
  std::vector<Row> rows;
  for (const DisplayListEntry& e : Layer(1)->entries)
    rows.push_back({e.characterId, e.startFrame, e.endFrame, e.matrix.translateX, std::string(e.instanceName)});
  EXPECT_EQ(rows, (std::vector<Row>{{5, 0, kNeverRemoved, 4999, "a"}, {5, 1, 1, 12999, "a"}}));
  EXPECT_TRUE(Layer(1)->isMask && Layer(1)->maskDepth == 7);
  // A PlaceObject over a shown object; a group head moved in its frame
  // stays the group's head.
  Tag(kTagPlaceObject, SwfBytes().u16(3).u16(2).matrix(0, 0).data(), 2);
  Tag(kTagPlaceObject, SwfBytes().u16(4).u16(2).matrix(5, 0).data(), 2);
  Place({.flags = kPlaceHasCharacter | kPlaceHasClipDepth, .depth = 3, .character = 3, .clipDepth = 0x8003}, 2);
  Place({.flags = move, .depth = 3, .tx = 9}, 2);
  EXPECT_TRUE(Layer(2)->entries.size() == 1 && Layer(2)->entries[0].characterId == 4);
  EXPECT_TRUE(Layer(3)->entries.size() == 1 && Layer(3)->entries[0].groupDepths == 3);
  // A morph at ratio 0, moved twice in each of two frames, its ratio falling
  // and rising again: one run of the three frames at each frame's last ratio.
  RegisterPlacedCharacter(ctx, 50, kElementMorphShape, 0);
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 7, .character = 50}, 0);
  for (uint16_t f = 1; f <= 2; ++f) {
    Place({.flags = kPlaceMove | kPlaceHasRatio, .depth = 7, .ratio = 50}, f);
    Place({.flags = kPlaceMove | kPlaceHasRatio, .depth = 7, .ratio = uint16_t(f * 1000)}, f);
  }
  std::vector<std::pair<int, int>> runs;  // run length, ratio
  for (const DisplayListEntry& e : Layer(7)->entries) runs.push_back({e.runLength, e.ratio});
  EXPECT_EQ(runs, (std::vector<std::pair<int, int>>{{3, 0}, {0, 1000}, {0, 2000}}));
}

TEST_F(Placements, RemovalDropsTheLastPairOfItsDepth) {
  Place({.flags = kPlaceHasCharacter, .depth = 3, .character = 7}, 0);
  Place({.flags = kPlaceHasCharacter, .depth = 5, .character = 9}, 0);
  Place({.flags = kPlaceMove | kPlaceHasCharacter, .depth = 3, .character = 8}, 0);
  Tag(kTagRemoveObject2, SwfBytes().u16(3).data(), 1);
  EXPECT_EQ(Cached(3), 7);
  EXPECT_EQ(Cached(5), 9);
}

TEST_F(Placements, ShortOrGatedTagsChangeNothing) {
  Tag(kTagPlaceObject2, {kPlaceHasCharacter, 1}, 0);  // depth cut short
  Tag(kTagPlaceObject3, {0, 0, 1}, 0);
  Tag(kTagPlaceObject, {5, 0, 2}, 0);
  Tag(kTagPlaceObject2, {}, 0);
  EXPECT_EQ(ctx.m_movieLayers.lastInUse(), -1);

  Place({.flags = kPlaceHasCharacter, .depth = 1, .character = 4}, 0);
  Tag(kTagRemoveObject, {4, 0, 1}, 1);
  Tag(kTagRemoveObject2, {1}, 1);
  EXPECT_EQ(Layer(1)->entries[0].endFrame, kNeverRemoved);

  ctx.options.mainTimeline = 0;
  Place({.flags = kPlaceHasCharacter, .depth = 9, .character = 4}, 0);
  Tag(kTagRemoveObject2, SwfBytes().u16(1).data(), 2);
  EXPECT_EQ(Layer(9), nullptr);
  EXPECT_EQ(Layer(1)->entries[0].endFrame, kNeverRemoved);
}

TEST_F(Placements, PlaceObject3WithClassNameFiltersAndBlendMode) {
  SwfBytes b;
  b.u8(kPlaceHasCharacter | kPlaceHasMatrix).u8(kPlace3HasFilterList | kPlace3HasBlendMode | kPlace3HasClassName);
  b.u16(6).str("com.example.Clip").u16(33).matrix(20, 40);
  b.u8(3);
  b.u8(kFilterBlur).u32(2 << 16).u32(2 << 16).u8(0x08);
  b.u8(kFilterConvolution).u8(2).u8(2).bytes(std::vector<uint8_t>(28, 0)).u8(0);
  b.u8(kFilterGlow).bytes({1, 2, 3, 4}).u32(1 << 16).u32(1 << 16).u16(0x100).u8(0x80);
  b.u8(8);  // blend mode
  Tag(kTagPlaceObject3, b.data(), 2);
  const DepthLayerRecord* layer = Layer(6);
  ASSERT_NE(layer, nullptr);
  const DisplayListEntry& e = layer->entries[0];
  EXPECT_EQ(e.characterId, 33);
  EXPECT_EQ(e.matrix.translateY, 40);
  EXPECT_EQ(e.flags, 0x0B06);
  EXPECT_EQ(e.displayByte, 8);
  ASSERT_GE(e.effectBlock.size(), 5u);
  EXPECT_EQ(e.effectBlock[0], 2);  // blur and glow; the convolution has no record
  EXPECT_EQ(e.effectBlock[4], kFilterBlur);
  EXPECT_EQ(e.effectLength(), 4u + 48u + 48u);
}

TEST_F(Placements, ElementKindsFollowTheDefinitions) {
  RegisterPlacedCharacter(ctx, 10, kElementMorphShape, 0);
  RegisterPlacedCharacter(ctx, 11, SymbolStreamKind(1, 0), 3);
  RegisterPlacedCharacter(ctx, 12, SymbolStreamKind(0, 1), 4);
  RegisterPlacedCharacter(ctx, 13, kElementEditText, 1);
  RegisterPlacedCharacter(ctx, 14, kElementStaticText, 2);
  RegisterPlacedCharacter(ctx, 15, kElementVideo, 0);
  // A symbol stream outranks a static text of the same id, in either order.
  RegisterPlacedCharacter(ctx, 17, kElementStaticText, 9);
  RegisterPlacedCharacter(ctx, 17, kElementSymbol, 5);
  RegisterPlacedCharacter(ctx, 17, kElementStaticText, 10);
  const uint8_t want[] = {kElementMorphShape, kElementMovieClip, kElementButton, kElementEditText,
                          kElementStaticText, kElementVideo, kElementSymbol, kElementSymbol};
  const uint32_t rows[] = {0, 3, 4, 1, 2, 0, kNoCharacterRow, 5};
  for (uint16_t i = 0; i < 8; ++i)
    Place({.flags = kPlaceHasCharacter, .depth = uint16_t(20 + i), .character = uint16_t(10 + i)}, 0);
  for (uint16_t i = 0; i < 8; ++i) {
    const DisplayListEntry& e = Layer(uint16_t(20 + i))->entries[0];
    EXPECT_EQ(e.kind, want[i]) << "character " << 10 + i;
    EXPECT_EQ(e.streamIndex, rows[i]) << "character " << 10 + i;
  }
}

TEST_F(Placements, VideoMovedOneStepPerFrameContinuesItsInstance) {
  RegisterPlacedCharacter(ctx, 40, kElementVideo, 2);
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 4, .character = 40, .ratio = 5}, 9);
  Place({.flags = kPlaceMove | kPlaceHasRatio, .depth = 4, .ratio = 6}, 10);
  const DepthLayerRecord* layer = Layer(4);
  auto state = [&] { return std::pair<int, int>(ctx.m_videoDepthStates[4].frame, ctx.m_videoDepthStates[4].ratio); };
  EXPECT_EQ(layer->lastEntry, 0);
  EXPECT_EQ(layer->entries[0].markByte, 1);
  EXPECT_EQ(state(), std::pair(10, 6));
  // A jump in ratio is an ordinary move; the state only takes the frame.
  Place({.flags = kPlaceMove | kPlaceHasRatio, .depth = 4, .ratio = 9}, 11);
  ASSERT_EQ(layer->lastEntry, 1);
  const DisplayListEntry& e = layer->entries[1];
  EXPECT_EQ(std::tuple(int(e.kind), int(e.ratio), int(e.characterId)), std::tuple(int(kElementVideo), 9, 40));
  EXPECT_EQ(state(), std::pair(11, 6));
}

TEST_F(Placements, MasksGroupsAndMorphRuns) {
  Place({.flags = kPlaceHasCharacter | kPlaceHasClipDepth, .depth = 1, .character = 3, .clipDepth = 4}, 0);
  Place({.flags = kPlaceHasCharacter | kPlaceHasClipDepth, .depth = 2, .character = 3, .clipDepth = 0x8003}, 0);
  EXPECT_TRUE(Layer(1)->isMask && Layer(1)->maskDepth == 4);
  EXPECT_TRUE(Layer(2)->isGroup && !Layer(2)->isMask && Layer(2)->entries[0].groupDepths == 3);
  {
    // A sprite's tracks are marked by the same handlers; from depth 0x7F00
    // on the bit is no group mark and the clip stays a mask.
    DepthLayerTable layers;
    DepthIdCache ids;
    DisplayEventIndex events;
    std::unordered_map<uint16_t, VideoDepthState> videos;
    MorphRunHeads heads;
    DisplayTimeline sprite{layers, ids, events, videos, heads};
    const uint8_t clip = kPlaceHasCharacter | kPlaceHasClipDepth;
    for (const Place2& p : {Place2{.flags = clip, .depth = 1, .character = 3, .clipDepth = 4},
                            Place2{.flags = clip, .depth = 2, .character = 3, .clipDepth = 0x8003},
                            Place2{.flags = clip, .depth = 0x7EFF, .character = 3, .clipDepth = 0xFFFF},
                            Place2{.flags = clip, .depth = 0x7F00, .character = 3, .clipDepth = 0x8003}})
      PlaceOnTimeline(ctx, sprite, kTagPlaceObject2, p.body(), 0);
    using Marks = std::tuple<int, int, int, int>;  // isGroup, groupDepths, isMask, maskDepth
    auto marks = [&](uint16_t depth) {
      const int32_t i = layers.findLast(depth);
      if (i < 0) return Marks{-1, -1, -1, -1};
      const DepthLayerRecord& r = layers[size_t(i)];
      return Marks{r.isGroup, r.entries[0].groupDepths, r.isMask, r.maskDepth};
    };
    EXPECT_EQ(marks(1), (Marks{0, 0, 1, 4}));
    EXPECT_EQ(marks(2), (Marks{1, 3, 0, 0}));
    EXPECT_EQ(marks(0x7EFF), (Marks{1, 0x7FFF, 0, 0}));
    EXPECT_EQ(marks(0x7F00), (Marks{0, 0, 1, 0x8003}));
  }

  // A morph placed at ratio 0 and moved on three frames: one run of four
  // entries; a jump back in ratio starts a run of its own.
  RegisterPlacedCharacter(ctx, 50, kElementMorphShape, 1);
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 7, .character = 50}, 0);
  for (uint16_t f = 1; f <= 3; ++f)
    Place({.flags = kPlaceMove | kPlaceHasRatio, .depth = 7, .ratio = uint16_t(f * 20000)}, f);
  Place({.flags = kPlaceMove | kPlaceHasRatio, .depth = 7, .ratio = 100}, 4);
  const auto& e = Layer(7)->entries;
  ASSERT_EQ(Layer(7)->lastEntry, 4);
  std::vector<int> runs;
  for (int i = 0; i <= 4; ++i) runs.push_back(e[size_t(i)].runLength);
  EXPECT_EQ(runs, (std::vector<int>{4, 0, 0, 0, 1}));
  EXPECT_EQ(e[3].ratio, 60000);

  // A long run costs one step per placement.
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 8, .character = 50}, 0);
  for (uint16_t f = 1; f <= 30000; ++f)
    Place({.flags = kPlaceMove | kPlaceHasRatio, .depth = 8, .ratio = uint16_t(f * 2)}, f);
  EXPECT_EQ(Layer(8)->entries[0].runLength, 30001);
}

TEST_F(Placements, MorphRunsEndWhereTheMorphStopsMovingFrameByFrame) {
  RegisterPlacedCharacter(ctx, 50, kElementMorphShape, 0);
  RegisterPlacedCharacter(ctx, 51, kElementMorphShape, 1);
  RegisterPlacedCharacter(ctx, 60, kElementSymbol, 0);
  const uint8_t move = kPlaceMove | kPlaceHasRatio;
  // Depth 1: a lone placement. Depth 2: a run of 10. Depth 3: broken by a
  // frame left out (a two-frame entry), by another morph and by a falling
  // ratio. Depth 4: a symbol gets no run.
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 1, .character = 50}, 0);
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 2, .character = 50}, 0);
  for (uint16_t f = 1; f < 10; ++f) Place({.flags = move, .depth = 2, .ratio = uint16_t(f * 10)}, f);
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 3, .character = 50}, 0);
  Place({.flags = move, .depth = 3, .ratio = 10}, 1);
  Place({.flags = move, .depth = 3, .ratio = 20}, 3);  // a gap
  Place({.flags = move | kPlaceHasCharacter, .depth = 3, .character = 51, .ratio = 30}, 4);
  Place({.flags = move, .depth = 3, .ratio = 20}, 5);  // falling
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 4, .character = 60}, 0);
  // Depth 5: a PlaceObject (no move flag, ratio 0) of the same morph in the
  // next frame starts a run of its own, which the move after it continues.
  Place({.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 5, .character = 50}, 0);
  Tag(kTagPlaceObject, SwfBytes().u16(50).u16(5).matrix(0, 0).data(), 1);
  Place({.flags = move, .depth = 5, .ratio = 10}, 2);
  auto runs = [&](uint16_t depth) {
    std::vector<int> v;
    for (int32_t i = 0; i <= Layer(depth)->lastEntry; ++i) v.push_back(Layer(depth)->entries[size_t(i)].runLength);
    return v;
  };
  EXPECT_EQ(runs(1), std::vector<int>{1});
  EXPECT_EQ(runs(2), (std::vector<int>{10, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(runs(3), (std::vector<int>{2, 0, 1, 1, 1}));
  EXPECT_EQ(runs(4), std::vector<int>{0});
  EXPECT_EQ(runs(5), (std::vector<int>{1, 2, 0}));

  // A sprite's own tables go through the same function.
  DepthLayerTable layers;
  DepthIdCache ids;
  DisplayEventIndex events;
  std::unordered_map<uint16_t, VideoDepthState> videos;
  MorphRunHeads heads;
  DisplayTimeline sprite{layers, ids, events, videos, heads};
  const Place2 first{.flags = kPlaceHasCharacter | kPlaceHasRatio, .depth = 1, .character = 50};
  PlaceOnTimeline(ctx, sprite, kTagPlaceObject2, first.body(), 0);
  for (uint16_t f = 1; f < 3; ++f)
    PlaceOnTimeline(ctx, sprite, kTagPlaceObject2, Place2{.flags = move, .depth = 1, .ratio = f}.body(), f);
  ASSERT_GE(layers.findLast(1), 0);
  EXPECT_EQ(layers[size_t(layers.findLast(1))].entries[0].runLength, 3);
}

TEST_F(Placements, HostileBodiesNeverBreakTheTables) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> byte(0, 255), len(0, 40), pick(0, 5);
  const uint16_t codes[] = {kTagPlaceObject, kTagPlaceObject2, kTagPlaceObject3,
                            kTagRemoveObject, kTagRemoveObject2, kFrameLabel};
  RegisterPlacedCharacter(ctx, 1, kElementVideo, 0);
  RegisterPlacedCharacter(ctx, 2, kElementMorphShape, 0);
  for (int i = 0; i < 5000; ++i) {
    std::vector<uint8_t> body(size_t(len(rng)));
    for (auto& v : body) v = uint8_t(byte(rng));
    if (body.size() > 3) body[2] = uint8_t(byte(rng) & 3);  // few depths, many collisions
    Tag(codes[pick(rng)], body, uint16_t(i / 10));
  }
  for (int32_t k = 0; k <= ctx.m_movieLayers.lastInUse(); ++k) {
    const DepthLayerRecord& r = ctx.m_movieLayers[size_t(k)];
    ASSERT_TRUE(r.lastEntry >= 0 && size_t(r.lastEntry) < r.entries.size());
    for (int32_t j = 0; j <= r.lastEntry; ++j) {
      const DisplayListEntry& e = r.entries[size_t(j)];
      ASSERT_TRUE(e.kind <= kElementVideo && (e.effectBlock.empty() || e.effectBlock.size() > 4));
    }
  }
}

}  // namespace
}  // namespace tovrani
