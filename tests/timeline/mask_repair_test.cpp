// The regrouping, the range split and the later repairs of the depth and
// mask-layer pass, through RearrangeMaskLayers: each timeline once as a main
// movie (in a work file) and once as a sprite body.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "support/recording_shell.h"
#include "timeline/depth_split.h"
#include "timeline/display_model.h"
#include "timeline/rearrange_mask_layers.h"

namespace tovrani {
namespace {

using namespace test;

std::vector<uint8_t> Frames(int n) {
  std::vector<uint8_t> v;
  for (int i = 0; i < n; ++i) v = Tags({v, ShowFrameTag()});
  return v;
}

// What the pass left, with the tags it wrote.
struct PassRun {
  std::vector<uint8_t> tags;
  std::vector<DisplayEvent> events;
  std::vector<DepthHandoff> handoffs;
  std::vector<CharacterRestore> restores;
  uint64_t offset = 0;
  uint16_t at(uint64_t pos) const { return uint16_t(tags[pos - offset] | (tags[pos - offset + 1] << 8)); }
  uint16_t depth(size_t e) const { return at(events[e].depthPos); }
  uint16_t clip(size_t e) const { return at(events[e].clipPos); }
};

// The pass over `tags` as a main movie and as a sprite; the frames must show
// the same objects afterwards.
std::vector<PassRun> BothWays(const std::vector<uint8_t>& tags, ConverterContext& ctx) {
  FramesDiff listed;
  PassKeepsDisplay(ctx, tags, 60, &listed);
  std::vector<PassRun> runs(2);
  runs[0].tags = tags;
  RunMainPass(ctx, runs[0].tags);
  runs[0].events = ctx.m_pMovieEvents;
  runs[0].handoffs = ctx.m_pMovieLayerDepths;
  runs[0].restores = ctx.m_pMovieMaskDepths;
  runs[0].offset = kLead;
  std::vector<uint8_t> body = SpriteBody(9, tags);
  RunSpritePass(ctx, body);
  runs[1].tags.assign(body.begin() + 4, body.end());
  runs[1].events = ctx.m_pSpriteEvents;
  runs[1].handoffs = ctx.m_pSpriteLayerDepths;
  runs[1].restores = ctx.m_pSpriteMaskDepths;
  runs[1].offset = 4;
  return runs;
}

struct Example {
  const char* name;
  std::vector<uint8_t> tags;
  std::vector<uint16_t> depths;  // written Depth field per event
  std::vector<std::pair<size_t, uint16_t>> clips;  // event, written ClipDepth field
  std::vector<std::pair<uint16_t, uint16_t>> handoffs;  // frame, depth
  std::vector<std::array<uint16_t, 3>> restores;         // character, depth, source depth
};

TEST(MaskRepairs, ExamplesAsMainMovieAndSprite) {
  const Example examples[] = {
      {"objects shown only under the mask keep their depths",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
             PlaceObject2Tag({.depth = 2, .character = 2}), PlaceObject2Tag({.depth = 3, .character = 3}),
             Frames(2), RemoveObject2Tag(1), RemoveObject2Tag(2), RemoveObject2Tag(3), Frames(1)}),
       {1, 2, 3, 1, 2, 3},
       {{0, 4}},
       {},
       {}},
      {"an object that stays after a deep mask: its later span above the range",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}),
             PlaceObject2Tag({.depth = 2, .character = 2}), PlaceObject2Tag({.depth = 3, .character = 3}),
             Frames(3), RemoveObject2Tag(1), RemoveObject2Tag(3),
             PlaceObject2Tag({.depth = 2, .character = 4, .move = true}), Frames(2)}),
       {1, 2, 3, 1, 3, 5},
       {{0, 4}},
       {{4, 2}},
       {}},
      {"deep clip regrouped: the later span above the range",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 40000}),
             PlaceObject2Tag({.depth = 2, .character = 7}), Frames(3), RemoveObject2Tag(1), Frames(2),
             PlaceObject2Tag({.depth = 2, .move = true, .x = 40}), Frames(1)}),
       {1, 2, 1, 4},
       {{0, 3}},
       {{6, 2}},
       {{7, 4, 2}}},
      {"a depth with a mask and later an object",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 2}),
             PlaceObject2Tag({.depth = 2, .character = 2}), Frames(4), RemoveObject2Tag(1),
             PlaceObject2Tag({.depth = 1, .character = 3}), Frames(4)}),
       {1, 2, 1, 3},
       {{0, 2}},
       {},
       {}},
      {"the split's worked example",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 3}),
             PlaceObject2Tag({.depth = 2, .character = 2}), PlaceObject2Tag({.depth = 5, .character = 5}),
             Frames(4), PlaceObject2Tag({.depth = 3, .character = 3}), Frames(3), RemoveObject2Tag(3),
             Frames(2), RemoveObject2Tag(1), PlaceObject2Tag({.depth = 1, .character = 4}), Frames(10)}),
       {1, 2, 6, 3, 3, 1, 4},
       {{0, 3}},
       {},
       {}},
      {"nested masks overlapping in time: the inner one disabled",
       Tags({PlaceObject2Tag({.depth = 2, .character = 1, .clip = 6}),
             PlaceObject2Tag({.depth = 4, .character = 2, .clip = 5}), Frames(10), RemoveObject2Tag(2),
             RemoveObject2Tag(4), Frames(1)}),
       {2, 4, 2, 4},
       {{0, 6}, {1, 0x8002}},
       {},
       {}},
      {"a disabled mask beside a later mask on its layer",
       Tags({PlaceObject2Tag({.depth = 2, .character = 1, .clip = 6}),
             PlaceObject2Tag({.depth = 4, .character = 2, .clip = 5}), Frames(10), RemoveObject2Tag(2),
             RemoveObject2Tag(4), PlaceObject2Tag({.depth = 4, .character = 3, .clip = 9}), Frames(2)}),
       {2, 4, 2, 4, 6},
       {{0, 5}, {1, 0x8002}, {4, 11}},
       {},
       {}},
      {"nested masks apart in time",
       Tags({PlaceObject2Tag({.depth = 2, .character = 1, .clip = 4}),
             PlaceObject2Tag({.depth = 3, .character = 2}), Frames(9), RemoveObject2Tag(2),
             RemoveObject2Tag(3), Frames(10), PlaceObject2Tag({.depth = 4, .character = 3, .clip = 5}),
             PlaceObject2Tag({.depth = 5, .character = 4}), Frames(10)}),
       {2, 3, 2, 3, 5, 6},
       {{0, 4}, {4, 6}},
       {},
       {}},
      {"a mask that does not cover its range all the time",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 3}),
             PlaceObject2Tag({.depth = 3, .character = 2}), Frames(4), RemoveObject2Tag(3), Frames(5),
             PlaceObject2Tag({.depth = 1, .character = 3, .clip = 2, .move = true}), Frames(2),
             PlaceObject2Tag({.depth = 3, .character = 2}), Frames(3), RemoveObject2Tag(3), Frames(1)}),
       {1, 3, 3, 1, 5, 5},
       {{0, 3}, {3, 3}},
       {},
       {}},
  };
  for (const Example& x : examples) {
    SCOPED_TRACE(x.name);
    ConverterContext ctx;
    for (const PassRun& run : BothWays(x.tags, ctx)) {
      SCOPED_TRACE(run.offset == kLead ? "main movie" : "sprite");
      ASSERT_EQ(run.events.size(), x.depths.size());
      for (size_t e = 0; e < x.depths.size(); ++e) {
        EXPECT_EQ(run.depth(e), x.depths[e]) << "event " << e;
        EXPECT_EQ(run.events[e].depth, x.depths[e]) << "event " << e;  // records agree with tags
      }
      for (const auto& [e, clip] : x.clips) EXPECT_EQ(run.clip(e), clip) << "event " << e;
      std::vector<std::pair<uint16_t, uint16_t>> handoffs;
      for (const DepthHandoff& h : run.handoffs) handoffs.emplace_back(h.frame, h.depth);
      EXPECT_EQ(handoffs, x.handoffs);
      std::vector<std::array<uint16_t, 3>> restores;
      for (const CharacterRestore& r : run.restores) restores.push_back({r.characterId, r.depth, r.sourceDepth});
      EXPECT_EQ(restores, x.restores);
    }
  }
}

// Spans of one entry at `depth`: the listed ones marked.
DepthEntry Entry(uint32_t depth, std::vector<DepthSpan> spans, std::vector<size_t> marked = {}) {
  DepthEntry e;
  e.depth = depth;
  e.spans = std::move(spans);
  for (size_t i : marked) e.spans[i].marked = 1, ++e.markedCount;
  RefreshEntry(e);
  e.markedCount = uint32_t(marked.size());
  for (size_t i : marked) e.spans[i].marked = 1;
  return e;
}

DepthSpan Span(uint16_t from, uint16_t to, uint32_t event, int clip = -1) {
  DepthSpan s;
  s.startFrame = from;
  s.endFrame = to;
  s.placeEvent = event;
  if (clip >= 0) s.hasClip = 1, s.clipDepth = uint32_t(clip);
  return s;
}

TEST(MaskRepairs, SplitKeepsMarkedSpansAndMovesTheRest) {
  // Events: a placement with a character, then Moves of the same object.
  std::vector<DisplayEvent> events(6);
  for (uint32_t i = 0; i < events.size(); ++i) {
    events[i].origDepth = 2;
    events[i].frame = uint16_t(1 + 2 * i);
    events[i].placeFlags = i == 0 ? 0x02 : 0x01;
  }
  events[0].characterId = 9;
  events[5].origDepth = 7;
  const CharacterSources sources(events);
  PassBudget budget;
  // 2 of 5 spans marked: two entries, in their old order each.
  DepthTable t = {Entry(1, {Span(1, 20, 5, 4)}),
                  Entry(2, {Span(1, 3, 0), Span(3, 5, 1), Span(5, 7, 2), Span(7, 9, 3), Span(9, 11, 4)}, {0, 3})};
  SplitDepthRange(t, 1, 4, 4, events, sources, budget);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1].depth, 2u);
  ASSERT_EQ(t[1].spans.size(), 2u);
  EXPECT_EQ(t[1].spans[0].placeEvent, 0u);
  EXPECT_EQ(t[1].spans[1].placeEvent, 3u);
  EXPECT_EQ(t[2].depth, 6u);
  ASSERT_EQ(t[2].spans.size(), 3u);
  EXPECT_EQ(t[2].spans[0].placeEvent, 1u);
  EXPECT_EQ(t[2].markedCount + t[1].markedCount + t[1].spans[0].marked, 0u);
  // A Move without a character after a marked span brings its character.
  EXPECT_EQ(events[0].handoffFrame, 3);
  EXPECT_EQ(events[1].restoreMark, 1);
  EXPECT_EQ(events[1].characterId, 9);
  EXPECT_EQ(events[3].handoffFrame, 9);

  // No entry only partly marked: the range and all beyond it move up by D.
  DepthTable u = {Entry(1, {Span(1, 20, 5, 3)}), Entry(2, {Span(1, 3, 0)}), Entry(3, {Span(1, 3, 1)}, {0}),
                  Entry(5, {Span(1, 3, 2, 6)})};
  SplitDepthRange(u, 1, 3, 3, events, sources, budget);
  ASSERT_EQ(u.size(), 4u);
  const uint32_t depths[] = {1, 3, 5, 8};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(u[i].depth, depths[i]) << i;
  EXPECT_EQ(u[3].spans[0].clipDepth, 9u);

  // A second split leaves a hand-off frame that is already set.
  DepthTable again = {Entry(2, {Span(1, 3, 0), Span(3, 5, 1)}, {0})};
  SplitDepthRange(again, 0, 2, 2, events, sources, budget);
  EXPECT_EQ(events[0].handoffFrame, 3);
}

TEST(MaskRepairs, LayerProgressNeverDecreases) {
  RecordingShell shell;
  ConverterContext ctx;
  ctx.m_pShell = &shell;
  std::vector<uint8_t> tags = Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 8}),
                                    PlaceObject2Tag({.depth = 3, .character = 2, .clip = 4}),
                                    PlaceObject2Tag({.depth = 5, .character = 3, .clip = 6}),
                                    PlaceObject2Tag({.depth = 6, .character = 4}), Frames(3),
                                    PlaceObject2Tag({.depth = 3, .character = 5}), Frames(3)});
  RunMainPass(ctx, tags);
  ASSERT_FALSE(shell.layerSteps.empty());
  EXPECT_TRUE(std::is_sorted(shell.layerSteps.begin(), shell.layerSteps.end()));
}

// Masks whose repairs need many cycles, for the budget and abandon roads.
std::vector<uint8_t> ManyRepairs() {
  std::vector<uint8_t> tags;
  for (uint16_t d = 1; d < 60; d += 3)
    tags = Tags({tags, PlaceObject2Tag({.depth = d, .character = 1, .clip = d + 5}),
                 PlaceObject2Tag({.depth = uint16_t(d + 1), .character = 2}), Frames(2),
                 PlaceObject2Tag({.depth = d, .character = 3, .move = true}), Frames(2)});
  return tags;
}

TEST(MaskRepairs, SpentBudgetKeepsTagsAndRecordsTogether) {
  RecordingShell shell;
  ConverterContext ctx;
  ctx.m_pShell = &shell;
  ctx.m_nMaskPassBudget = 400;
  FramesDiff listed;
  const std::vector<uint8_t> main = PassKeepsDisplay(ctx, ManyRepairs(), 60, &listed);
  ASSERT_FALSE(ctx.m_pMovieEvents.empty());
  for (const DisplayEvent& e : ctx.m_pMovieEvents)
    if (!e.isRemove) {
      EXPECT_EQ(main[e.depthPos - kLead] | (main[e.depthPos - kLead + 1] << 8), e.depth);
    }
  ASSERT_FALSE(shell.messages.empty());
  EXPECT_NE(shell.messages[0].find("too long"), std::string::npos);
}

TEST(MaskRepairs, DepthsPastTheBoundsLeaveTheTagsAsRecorded) {
  // The mask at 0x7F10 reaches 0xFFFF; once the depths below it close up, it
  // would stand below 0x7F00 with a clip depth of 0x8000 or more. The deep
  // clip of the mask at depth 3 is clamped to 0x7F12 and written.
  const std::vector<uint8_t> tags = Tags(
      {PlaceObject2Tag({.depth = 1, .character = 1, .clip = 2}), PlaceObject2Tag({.depth = 2, .character = 2}),
       PlaceObject2Tag({.depth = 3, .character = 3, .clip = 0x9000}),
       PlaceObject2Tag({.depth = 0x7F10, .character = 5, .clip = 0xFFFF}),
       PlaceObject2Tag({.depth = 0x7F11, .character = 6}), Frames(2), RemoveObject2Tag(1),
       PlaceObject2Tag({.depth = 1, .character = 4}), Frames(2)});
  for (const bool sprite : {false, true}) {
    RecordingShell shell;
    ConverterContext ctx;
    ctx.m_pShell = &shell;
    std::vector<uint8_t> out = sprite ? SpriteBody(9, tags) : tags;
    sprite ? RunSpritePass(ctx, out) : RunMainPass(ctx, out);
    const auto& events = sprite ? ctx.m_pSpriteEvents : ctx.m_pMovieEvents;
    const uint64_t offset = sprite ? 0 : kLead;
    std::vector<uint8_t> expected = sprite ? SpriteBody(9, tags) : tags;
    ASSERT_EQ(events.size(), 7u);
    expected[events[2].clipPos - offset] = 0x12;
    expected[events[2].clipPos - offset + 1] = 0x7F;
    EXPECT_EQ(out, expected);
    for (const DisplayEvent& e : events) EXPECT_EQ(e.depth, e.origDepth);
    EXPECT_EQ(events[2].clipDepth, 0x7F12);
    EXPECT_TRUE((sprite ? ctx.m_pSpriteLayerDepths : ctx.m_pMovieLayerDepths).empty());
    EXPECT_TRUE((sprite ? ctx.m_pSpriteMaskDepths : ctx.m_pMovieMaskDepths).empty());
    EXPECT_EQ(shell.messages.size(), 1u);
  }
}

}  // namespace
}  // namespace tovrani
