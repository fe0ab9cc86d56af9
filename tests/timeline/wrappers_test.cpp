// Component wrappers and video placements on a page: the wrapper symbols'
// pages byte by byte, the retargeted entries, and the video instance record.
#include <gtest/gtest.h>

#include "timeline/inner_page_fixture.h"
#include "timeline/symbol_instance.h"
#include "timeline/symbol_timeline.h"

namespace tovrani {
namespace {

using namespace test;

class Wrappers : public InnerPageFixture {
 protected:
  void SetUp() override {
    InnerPageFixture::SetUp();
    ctx.m_wNextItemNo = 700;
    ctx.m_pVideos.clear();
    ctx.m_videoWrapperItems.clear();
    ctx.m_pInitActions.clear();
  }
  PlacementEntry& clip(DepthTrack& t, uint16_t start, uint16_t end, uint16_t id, bool move) {
    PlacementEntry& e = place(t, start, end, id);
    e.kind = kElementMovieClip;
    e.flags = move ? 1 : 0;
    return e;
  }
  PlacementEntry& video(DepthTrack& t, uint16_t start, uint16_t end, uint32_t row) {
    PlacementEntry& e = place(t, start, end, 30);
    e.kind = kElementVideo;
    e.streamIndex = row;
    return e;
  }
  void build(uint16_t frames) {
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 0, frames, state);
    EXPECT_EQ(ctx.m_nWriterError, 0);
    EXPECT_TRUE(PageWalksClean(pageBytes()));
    expectWalkableStreams();
  }
  // The keyframes of the only layer of a page.
  std::vector<PageKeyframe> keyframes(const std::vector<uint8_t>& page) {
    const std::vector<PageLayer> layers = ReadPageLayers(page, WalkPage(page));
    return layers.empty() ? std::vector<PageKeyframe>{} : layers[0].keyframes;
  }
  std::vector<uint8_t> layerEnd(uint16_t value) {
    return Written([&](std::FILE* f) {
      if (isNew()) WriteLayerEndNew(f, value);
      else WriteLayerEndOld(f, value);
    });
  }
  // A one-element symbol page: the page head, the element, one keyframe of
  // d frames, the layer's tail and its end.
  std::vector<uint8_t> onePage(const std::vector<uint8_t>& element, uint32_t d, const std::string& layer,
                               uint16_t closing, bool flaggedTail) {
    const std::vector<uint8_t> head = Written([&](std::FILE* f) { WritePageHeadTags(f, ctx.m_nFlaFormat); });
    const std::vector<uint8_t> frame = ExpectedHead(isNew(), d);
    const std::vector<uint8_t> tail = Written([&](std::FILE* f) {
      if (flaggedTail && isNew()) WriteLayerTailFlaggedNew(f, layer, true, false, false, 0, 0);
      else if (flaggedTail) WriteLayerTailFlaggedOld(f, layer, true, false, false, 0, 0);
      else if (isNew()) WriteLayerTailNew(f, layer, true, false, false, 0, 0);
      else WriteLayerTailOld(f, layer, true, false, false, 0, 0);
    });
    return Concat({head, element, Slice(frame, 3, frame.size()), ExpectedTail(isNew()), Bytes({0}), tail,
                   layerEnd(closing)});
  }
  std::string text(const std::string& s) { return (isNew() ? "UTF-16 \"" : "ANSI \"") + s + "\""; }
};

INSTANTIATE_TEST_SUITE_P(Levels, Wrappers, ::testing::Values(0, 2));

// The gate: a clip with parameters gets a wrapper only when the next entry
// moves the same clip; an init-action row of its sprite stands for
// parameters, also with none.
TEST_P(Wrappers, GateAndInitActionRow) {
  struct Case {
    const char* what;
    bool params, initRow;
    int next;  // -1 none, 0 another clip, 1 a placement of the same, 2 a move of the same
    bool wrapped;
  } const cases[] = {{"move", true, false, 2, true},        {"other clip", true, false, 0, false},
                     {"not a move", true, false, 1, false}, {"last entry", true, false, -1, false},
                     {"no params", false, false, 2, false}, {"init row", false, true, 2, true}};
  for (const Case& c : cases) {
    reset();
    SetUp();
    if (c.initRow) ctx.m_pInitActions.emplace_back().spriteId = 5;
    DepthTrack& t = track(1);
    PlacementEntry& e = clip(t, 0, 1, 5, false);
    if (c.params) e.params.emplace_back().name = "p";
    if (c.next >= 0) clip(t, 1, 2, c.next ? 5 : 6, c.next == 2);
    build(3);
    EXPECT_EQ(ctx.m_nStreams, c.wrapped ? 1u : 0u) << c.what;
    EXPECT_EQ(t.entries[0].kind, c.wrapped ? kElementSymbol : kElementMovieClip) << c.what;
    if (c.initRow && c.wrapped) {
      // The count of the init-action row, 0, after the name.
      const std::vector<uint8_t> count = FieldBytes(isNew() ? "M; u8 0; u8 2; u32 0" : "u32 14; u8 0; u8 2; u32 0");
      EXPECT_EQ(CountOf(stream(0), count), 1u);
    }
  }
}

// L is the clip's last move; only the clip's own entries up to L are
// retargeted, each with its offset into the wrapper; the wrapper's keyframe
// lasts from E to L's end (the page's end + 1 when L stays), and a span of
// 1 or less keeps the keyframe's 1.
TEST_P(Wrappers, LastMoveOffsetsAndDuration) {
  struct Case {
    uint16_t lastEnd;
    uint32_t duration;
  } const cases[] = {{9, 7}, {kNeverRemoved, 9}, {3, 1}, {2, 1}};  // the last two end before they start
  for (const Case& c : cases) {
    reset();
    SetUp();
    DepthTrack& t = track(4);
    clip(t, 2, 3, 5, false).params.emplace_back().name = "p";
    clip(t, 3, 4, 5, true).params.emplace_back().name = "dropped";
    clip(t, 4, 6, 7, false);
    clip(t, 6, c.lastEnd, 5, true);
    build(10);
    ASSERT_EQ(ctx.m_nStreams, 1u) << c.lastEnd;
    const uint16_t item = ctx.m_pStreamItemNo.at(0);
    const uint16_t ids[] = {item, item, 7, item};
    const uint16_t offsets[] = {0, 1, 0, 4};
    for (size_t n = 0; n < 4; ++n) {
      EXPECT_EQ(t.entries[n].characterId, ids[n]) << n;
      EXPECT_EQ(t.entries[n].frameOffset, offsets[n]) << n;
    }
    EXPECT_EQ(t.entries[2].kind, kElementMovieClip);
    EXPECT_TRUE(t.entries[1].params.empty());
    const std::vector<PageKeyframe> k = keyframes(stream(0));
    ASSERT_EQ(k.size(), 1u);
    EXPECT_EQ(k[0].duration, c.duration) << c.lastEnd;
  }
}

// The wrapper page byte by byte: the clip with an empty and with a named
// instance, an effect block at level 2, and the init-action form of a
// type-5 parameter.
TEST_P(Wrappers, WrapperPageBytes) {
  for (const std::string name : {"", "button1"}) {
    reset();
    SetUp();
    ComponentParam p;
    p.type = 5;
    p.name = "data";
    p.values = {{"x", ""}};
    InitActionRecord& row = ctx.m_pInitActions.emplace_back();
    row.spriteId = 5;
    row.paramCount = 9;  // disagrees with its parameters: the count written is theirs
    row.params = {p};
    DepthTrack& t = track(3);
    PlacementEntry& e = clip(t, 0, 1, 5, false);
    e.instanceName = name;
    e.flags = 0x400;
    e.effectBlock = {0xAB, 0xCD};
    e.displayByte = 3;
    clip(t, 1, kNeverRemoved, 5, true);
    build(4);
    ASSERT_EQ(ctx.m_nStreams, 1u);

    const std::string n = std::to_string(name.size());
    const std::string common =
        "u16 0xFFFF, 1, 10; ANSI \"CPicSprite\"; u8 " + std::string(isNew() ? "4" : "1") +
        ", 0, 0, 0; u32 0, 0; " + (isNew() ? "u8 0, 1, 0x13" : "u8 0x0A") +
        "; u32 0x10000, 0, 0, 0x10000, 0, 0; u16 0, 2; u8 1; u16 256, 0, 256, 0, 256, 0, 256, 0; u16 3, 100; "
        "u32 0xFFFFFFFF; " + (isNew() ? "M; " : "") + "u8 0; u16 5, 0";
    const std::string rows = isNew() ? "; u8 0, 0, 0; u8 1, 0xAB, 0xCD; u8 3, 0, 0; u8 8; u32 4, 1, 0, 0; M; u8 0; M"
                                     : "; u8 6; u32 1, 0, 0, 0, 0, 2, 13, 0, 1, 14";
    const std::string tail = isNew() ? "u32 0, 0, 1; u8 1; u32 1; M; u8 0; u8 0" : "u32 1, 0, 1; u8 0";
    const std::vector<uint8_t> param = Written([&](std::FILE* f) { WriteComponentParam(f, p, ctx.m_nFlaFormat, true); });
    EXPECT_EQ(CountOf(param, FieldBytes(text("x"))), 0u);  // type 5 from an init row: no value texts
    const std::vector<uint8_t> element = Concat({FieldBytes(common + rows + "; u8 " + n + "; " + text(name) + "; u8 2; u32 1"),
                                                 param, FieldBytes(tail)});
    EXPECT_BYTES(stream(0), onePage(element, 5, "Level 3", 3, false));
  }
}

// The direct instance: the class tag first, its reference after; the
// video's size as bounds; the matrix a, b, c, d, tx, ty; the instance name.
TEST_P(Wrappers, DirectVideoInstanceBytes) {
  VideoStreamRecord& v = ctx.m_pVideos.emplace_back();
  v.videoId = 0x1234;
  v.width = 320, v.height = 240;
  v.frameCount = 20;
  DepthTrack& t = track(1);
  PlacementEntry& first = video(t, 0, 2, 0);
  first.matrix = SwfMatrix{0x20000, 0x30000, 0x100, 0x200, 77, 88};  // a, d, b, c, tx, ty
  PlacementEntry& second = video(t, 2, 4, 0);
  second.instanceName = "clip";
  build(4);
  const std::string v4 = isNew() ? "u32 4; u8 0, 0, 0; u32 0x80, 0x04000080" : "u32 1; u8 0, 0, 0; u32 0x80; u16 0x0380";
  const std::string bounds = "; u32 0, 6400, 0, 4800; ";
  const std::string rest = isNew() ? "u8 0; M; u8 0; M; " : "u16 0; ";
  const std::vector<uint8_t> one =
      Concat({NewClass("CPicVideoStream"),
              FieldBytes(v4 + "; u32 0x20000, 0x100, 0x200, 0x30000, 77, 88" + bounds + rest + "u8 0; u32 1; u16 0x1234")});
  const PageWalk w = WalkPage(pageBytes());
  ASSERT_EQ(w.count("CPicVideoStream"), 2u);
  uint32_t index = 0;
  for (const auto& [i, name] : w.classes)
    if (name == "CPicVideoStream") index = i;
  const std::vector<uint8_t> two =
      Concat({KnownClass(index), FieldBytes(v4 + "; u32 0x10000, 0, 0, 0x10000, 0, 0" + bounds + rest + "u8 4; " +
                                            text("clip") + "; u32 1; u16 0x1234")});
  EXPECT_EQ(CountOf(pageBytes(), one), 1u);
  EXPECT_EQ(CountOf(pageBytes(), two), 1u);
  EXPECT_EQ(ctx.m_nStreams, 0u);
}

// Durations of direct instances: at most the video's frames; a missing row
// writes nothing and keeps the placement's span.
TEST_P(Wrappers, VideoDurations) {
  struct Case {
    uint16_t start, end;
    uint32_t row;
    uint32_t duration, videos;
  } const cases[] = {{0, 5, 0, 5, 1}, {0, kNeverRemoved, 0, 20, 1}, {3, 50, 0, 20, 1}, {0, 30, 7, 30, 0}};
  for (const Case& c : cases) {
    reset();
    SetUp();
    ctx.m_pVideos.emplace_back().frameCount = 20;
    video(track(1), c.start, c.end, c.row);
    build(100);
    const std::vector<PageLayer> layers = ReadPageLayers(pageBytes(), WalkPage(pageBytes()));
    ASSERT_FALSE(layers.empty());
    const std::vector<PageKeyframe>& k = layers[0].keyframes;
    ASSERT_GE(k.size(), c.start ? 2u : 1u);
    EXPECT_EQ(k[c.start ? 1 : 0].duration, c.duration) << c.end;
    EXPECT_EQ(WalkPage(pageBytes()).count("CPicVideoStream"), c.videos);
  }
}

// A tinted and a ratio-12 placement share the video's one wrapper, which
// holds the video for exactly its frame count (also 0 or 1); the outer
// instances loop from their offsets.
TEST_P(Wrappers, VideoWrapperMadeOnceAndReused) {
  for (const uint16_t frames : {20, 1, 0}) {
    reset();
    SetUp();
    VideoStreamRecord& v = ctx.m_pVideos.emplace_back();
    v.videoId = 30;
    v.frameCount = frames;
    v.width = 16, v.height = 8;
    DepthTrack& t = track(2);
    PlacementEntry& tinted = video(t, 0, 3, 0);
    tinted.colorTransform.rAdd = 40;
    tinted.matrix.translateX = 500;
    video(t, 3, 6, 0).ratio = 12;
    video(track(3), 0, 6, 0);  // plain: direct, no wrapper
    build(6);
    ASSERT_EQ(ctx.m_nStreams, 1u) << frames;
    const uint16_t item = ctx.m_pStreamItemNo.at(0);
    EXPECT_EQ(v.wrapperItem, item);
    EXPECT_EQ(v.wrapperStream, 0u);
    EXPECT_EQ(t.entries[0].frameOffset, 1);
    EXPECT_EQ(t.entries[1].frameOffset, 12);
    for (const PlacementEntry& e : t.entries) EXPECT_EQ(e.characterId, item);
    const PageWalk w = WalkPage(pageBytes());
    EXPECT_EQ(w.count("CPicSymbol"), 2u);
    EXPECT_EQ(w.count("CPicVideoStream"), 1u);  // a video of no frames still shows for one frame
    InstanceFields f;
    f.tx = 500;
    f.cx[2] = 256, f.cx[3] = 40;
    f.frameOffset = 1, f.playMode = 2, f.symbol = item;
    EXPECT_EQ(CountOf(pageBytes(), ExpectedInstanceBody(isNew(), f)), 1u);

    const std::string v4 = isNew() ? "u32 4; u8 0, 0, 0; u32 0x80, 0x04000080" : "u32 1; u8 0, 0, 0; u32 0x80; u16 0x0380";
    const std::vector<uint8_t> element =
        Concat({NewClass("CPicVideoStream"),
                FieldBytes(v4 + "; u32 0x10000, 0, 0, 0x10000, 0, 0; u32 0, 320, 0, 160; " +
                           (isNew() ? "u8 0; M; u8 0; M; " : "u16 0; ") + "u8 0; u32 1; u16 30; u8 0")});
    EXPECT_BYTES(stream(0), onePage(element, frames, "Video", 2, true));
  }
}

}  // namespace
}  // namespace tovrani
