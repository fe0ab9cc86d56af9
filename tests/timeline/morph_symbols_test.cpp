// Morph placements on a page: ratio symbols made once per morph, shape
// tween symbols per run, their easing, and the entries handed back.
#include "timeline/morph_symbols.h"

#include <gtest/gtest.h>

#include "shape/decode/morph_shape.h"
#include "shape/shape_test_support.h"
#include "timeline/inner_page_fixture.h"
#include "timeline/symbol_timeline.h"

namespace tovrani {
namespace {

using namespace test;

class MorphSymbols : public InnerPageFixture {
 protected:
  void SetUp() override {
    InnerPageFixture::SetUp();
    addMorph();
  }
  void addMorph() {
    SwfBytes styles;
    styles.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000).u8(0);
    auto square = [](int side) {
      return [side](ShapeRecords& r) {
        r.Change(std::pair(0, 0), 1u, std::nullopt, std::nullopt);
        r.Straight(side, 0).Straight(0, side).Straight(-side, 0).Straight(0, -side);
      };
    };
    MorphShapeEntry& m = ctx.m_pMorphShapes.emplace_back();
    m.wCharacterId = 7;
    ctx.options.noProblemSearch = 1;
    ASSERT_TRUE(ConvertMorphShapeTag(ctx, m, MorphBody(46, styles.data(), square(100), [](ShapeRecords& r) {
      r.Straight(300, 0).Straight(0, 300).Straight(-300, 0).Straight(0, -300);
    }, 1, 0), {}, 46));
    m.wStartItemNo = 11;
    m.wEndItemNo = 12;
    ctx.m_wMorphShapes = uint16_t(ctx.m_pMorphShapes.size());
    ctx.m_wNextItemNo = 20;
  }
  void redo() {
    reset();
    ctx.m_pMorphShapes.clear();
    addMorph();
  }
  PlacementEntry& morph(DepthTrack& t, uint16_t start, uint16_t end, uint16_t ratio, uint16_t run) {
    PlacementEntry& e = place(t, start, end, 7);
    e.kind = 5;
    e.ratio = ratio;
    e.runLength = run;
    e.streamIndex = 0;
    return e;
  }
  // A run of `ratios.size()` entries, one a frame from frame 0.
  DepthTrack& run(uint32_t key, const std::vector<uint16_t>& ratios) {
    DepthTrack& t = track(key);
    for (size_t i = 0; i < ratios.size(); ++i)
      morph(t, uint16_t(i), kNeverRemoved, ratios[i], i ? 0 : uint16_t(ratios.size()));
    return t;
  }
  void build(uint16_t frames) {
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, frames, state);
    EXPECT_TRUE(PageWalksClean(pageBytes()));
    expectWalkableStreams();
  }
  // (duration, easing) of each tween keyframe tail of a page.
  std::vector<std::pair<int, int>> tweens(const std::vector<uint8_t>& page) {
    std::vector<std::pair<int, int>> out;
    for (size_t i = 5; i + 7 <= page.size(); ++i) {
      if (page[i] != (isNew() ? 0x18 : 0x16) || page[i + 3] != 2 || page[i + 4] != 6) continue;
      if (page[i - 5] || page[i - 4] || page[i - 3] || page[i - 2] || page[i - 1]) continue;
      out.emplace_back(page[i + 1] | page[i + 2] << 8, int16_t(page[i + 5] | page[i + 6] << 8));
    }
    return out;
  }
  std::vector<uint8_t> layerEnd2() {
    ByteSink end;
    if (isNew()) WriteLayerEndNew(end, 2);
    else WriteLayerEndOld(end, 2);
    return end.bytes();
  }
  MorphShapeEntry& morphRow() { return ctx.m_pMorphShapes[0]; }
};

INSTANTIATE_TEST_SUITE_P(Levels, MorphSymbols, ::testing::Values(0, 2));

TEST_P(MorphSymbols, RatioPlacementsShareOneSymbol) {
  for (const bool import : {false, true}) {
    SCOPED_TRACE(import);
    redo();
    ctx.options.shapeJsflImport = import;
    DepthTrack& a = track(1);
    morph(a, 0, 2, 30000, 1);
    DepthTrack& b = track(2);
    morph(b, 2, 4, 100, 1);
    build(4);
    ASSERT_EQ(ctx.m_nStreams, 1u);
    const PlacementEntry &x = a.entries[0], &y = b.entries[0];
    EXPECT_EQ(std::tuple(int(x.kind), int(x.frameOffset), int(y.kind), int(y.frameOffset)),
              std::tuple(0, 30000, 0, 100));
    EXPECT_EQ(x.characterId, 20);
    EXPECT_EQ(y.characterId, 20);
    ASSERT_EQ(morphRow().variants.size(), 1u);
    EXPECT_EQ(morphRow().variants[0].itemNo, 20);
    EXPECT_EQ(morphRow().variants[0].easing, 0);
    EXPECT_EQ(morphRow().variants[0].reusable, 1);

    const std::vector<uint8_t> page = stream(0);
    const std::vector<uint8_t> end = layerEnd2();
    ASSERT_GE(page.size(), end.size());
    EXPECT_EQ(Slice(page, page.size() - end.size(), page.size()), end);
    const std::vector<uint8_t> name =
        isNew() ? Bytes({'I', 0, 'D', 0, ' ', 0, '7', 0}) : Bytes({4, 'I', 'D', ' ', '7'});
    EXPECT_EQ(CountOf(page, name), 1u);
    const PageWalk walk = WalkPage(page);
    if (import) {
      EXPECT_EQ(walk.count("CPicSymbol"), 2u);
      const auto layers = ReadPageLayers(page, walk);
      ASSERT_EQ(layers.size(), 1u);
      ASSERT_EQ(layers[0].keyframes.size(), 2u);
      EXPECT_EQ(layers[0].keyframes[0].duration, 65534u);
      ASSERT_EQ(layers[0].keyframes[0].instances.size(), 1u);
      EXPECT_EQ(layers[0].keyframes[0].instances[0].symbol, 11);
      ASSERT_EQ(layers[0].keyframes[1].instances.size(), 1u);
      EXPECT_EQ(layers[0].keyframes[1].instances[0].symbol, 12);
    } else {
      EXPECT_EQ(tweens(page), (std::vector<std::pair<int, int>>{{65534, 0}, {1, 0}}));
      EXPECT_EQ(walk.count("CPicMorphShape"), 1u);
    }
  }
}

TEST_P(MorphSymbols, RunsFromRatioZeroBecomeShapeTweensWithTheirEasing) {
  const struct {
    std::vector<uint16_t> ratios;
    int easing;
  } cases[] = {
      {{0, 100, 200, 300, 400, 32768, 40000, 50000, 60000, 65535}, 0},
      {{0, 100, 200, 300, 400, 16384, 40000, 50000, 60000, 65535}, 100},
      {{0, 100, 200, 300, 400, 49152, 50000, 55000, 60000, 65535}, -100},
      {{0, 20000, 40000}, 17},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.easing);
    redo();
    DepthTrack& t = run(1, c.ratios);
    build(uint16_t(c.ratios.size()));
    ASSERT_EQ(ctx.m_nStreams, 1u);
    ASSERT_EQ(morphRow().variants.size(), 1u);
    EXPECT_EQ(morphRow().variants[0].easing, -c.easing);
    EXPECT_EQ(morphRow().variants[0].reusable, 0);
    EXPECT_EQ(tweens(stream(0)), (std::vector<std::pair<int, int>>{{int(c.ratios.size()), c.easing}, {1, 0}}));
    for (size_t k = 0; k < c.ratios.size(); ++k) {
      EXPECT_EQ(t.entries[k].kind, 0);
      EXPECT_EQ(t.entries[k].frameOffset, k);
      EXPECT_EQ(t.entries[k].characterId, morphRow().variants[0].itemNo);
    }
  }
}

TEST_P(MorphSymbols, ARatioSymbolServesALaterRun) {
  DepthTrack& a = track(1);
  morph(a, 0, 1, 500, 1);
  DepthTrack& b = run(2, {0, 1000, 2000});
  build(3);
  EXPECT_EQ(ctx.m_nStreams, 1u);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(b.entries[k].kind, 0);
    EXPECT_EQ(b.entries[k].characterId, a.entries[0].characterId);
    EXPECT_EQ(b.entries[k].frameOffset, k * 1000);
  }
}

TEST_P(MorphSymbols, TheTweenPageFollowsWhatComesAfterTheRun) {
  // A lone placement at ratio 0 shown for 5 frames: a one-frame tween the
  // instance loops; nothing follows it, so the morph object is written.
  DepthTrack& lone = track(1);
  morph(lone, 0, 5, 0, 1);
  build(5);
  EXPECT_EQ(lone.entries[0].shapeTween, 1);
  PageWalk walk = WalkPage(stream(0));
  EXPECT_EQ(walk.count("CPicMorphShape"), 1u);

  // Two more entries after a run: the extra keyframe and its closing
  // morph reference.
  redo();
  DepthTrack& t = run(1, {0, 30000});
  place(t, 2, 3, 99).streamIndex = kNoCharacterRow;
  place(t, 3, 4, 99).streamIndex = kNoCharacterRow;
  build(4);
  walk = WalkPage(stream(0));
  EXPECT_EQ(walk.count("CPicMorphShape"), 3u);
  EXPECT_EQ(tweens(stream(0)).size(), 3u);
  EXPECT_EQ(t.entries[0].shapeTween, 0);

  // A run length beyond the track: the middle is missing (easing 0) and
  // the hand-back stops at the track's last entry.
  redo();
  DepthTrack& s = track(1);
  morph(s, 0, kNeverRemoved, 0, 10);
  morph(s, 1, kNeverRemoved, 65535, 0);
  build(2);
  EXPECT_EQ(tweens(stream(0)).front(), (std::pair<int, int>{10, 0}));
  EXPECT_EQ(s.entries[1].kind, 0);
  EXPECT_EQ(s.entries[1].frameOffset, 1);
}

TEST_P(MorphSymbols, APlacementWithoutAMorphRowWritesNoElement) {
  DepthTrack& t = track(1);
  morph(t, 0, 3, 0, 1).streamIndex = 4;
  morph(t, 3, 4, 20, 1).streamIndex = kNoCharacterRow;
  build(4);
  EXPECT_EQ(ctx.m_nStreams, 0u);
  EXPECT_EQ(t.entries[0].kind, 5);
  const auto layers = ReadPageLayers(pageBytes(), WalkPage(pageBytes()));
  ASSERT_EQ(layers.size(), 1u);
  EXPECT_EQ(layers[0].frames(), 4u);
}

}  // namespace
}  // namespace tovrani
