// Buttons: their pages (state frames, record layers, elements and sound
// layers), their rows, and buttons through the whole program.
#include "convert/button_tags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/program_runner.h"
#include "convert/button_sounds.h"
#include "convert/engine.h"
#include "convert/placement_filters.h"
#include "fla/expected_records.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/sound_records.h"
#include "fla/work_files.h"
#include "fla/work_folder.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/library_items.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "timeline/display_model.h"
#include "timeline/symbol_instance.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using namespace test;

constexpr uint8_t kUp = 1, kOver = 2, kDown = 4, kHit = 8;

// One BUTTONRECORD of a test button.
struct Rec {
  uint8_t states = kUp;
  uint16_t character = 0;
  uint16_t depth = 1;
  int32_t x = 0;
  std::vector<uint8_t> filters{};  // a FILTERLIST, flagged when not empty
  int blend = -1;
  bool tint = false;
};

std::vector<uint8_t> Records(const std::vector<Rec>& recs, bool two) {
  SwfBytes b;
  for (const Rec& r : recs) {
    const uint8_t flags = uint8_t(r.states | (r.filters.empty() ? 0 : 0x10) | (r.blend >= 0 ? 0x20 : 0));
    b.u8(flags).u16(r.character).u16(r.depth).matrix(r.x, 0);
    if (!two) continue;
    const int32_t add[4] = {0, 0, 0, 0}, mult[4] = {128, 256, 256, 256};
    b.cxformWithAlpha(false, r.tint, add, mult);
    b.bytes(r.filters);
    if (r.blend >= 0) b.u8(uint32_t(r.blend));
  }
  return b.data();
}

// DefineButton2: id, TrackAsMenu, ActionOffset 0, records, end flag.
std::vector<uint8_t> Button2(uint16_t id, const std::vector<Rec>& recs, uint8_t menu = 0) {
  return SwfBytes().u16(id).u8(menu).u16(0).bytes(Records(recs, true)).u8(0).data();
}
std::vector<uint8_t> Button1(uint16_t id, const std::vector<Rec>& recs) {
  return SwfBytes().u16(id).bytes(Records(recs, false)).u8(0).data();
}

// A blur filter list: one filter, both blurs 1.0, one pass.
std::vector<uint8_t> BlurList() { return SwfBytes().u8(1).u8(1).u32(0x10000).u32(0x10000).u8(1 << 3).data(); }

struct ButtonRun : WorkFiles {
  RecordingShell shell;
  WorkFolder work;
  explicit ButtonRun(uint8_t level) {
    g_shortLayerEndLead = 0;
    work.create();
    ctx.m_pWorkFolder = &work;
    ctx.m_pShell = &shell;
    ctx.m_nFlaFormat = level;
  }
  // A symbol stream already placed for character `id`.
  void Stream(uint16_t id, uint8_t kind = kElementSymbol) {
    const uint32_t row = ctx.m_nStreams++;
    ctx.m_pStreamItemNo[row] = id;
    RegisterPlacedCharacter(ctx, id, kind, row);
  }
  // The page of the last row placed.
  std::vector<uint8_t> Convert(uint16_t code, const std::vector<uint8_t>& body) {
    ConvertButton(ctx, code, body);
    const uint32_t row = ctx.m_nStreams - 1;
    const bool regular = ctx.m_pStreamSize.at(row) >= 4096;
    const std::vector<uint8_t> data = Contents(regular ? ctx.m_pBigSectorFile : ctx.m_pMiniStreamFile);
    const size_t at = size_t(ctx.m_pStreamStart.at(row)) * (regular ? 512 : 64);
    return {data.begin() + long(at), data.begin() + long(at + ctx.m_pStreamSize.at(row))};
  }
};

std::vector<uint8_t> LayerEnd(bool isNew, uint16_t value) {
  return Written([&](std::FILE* f) { isNew ? WriteLayerEndNew(f, value) : WriteLayerEndOld(f, value); });
}

bool EndsWith(const std::vector<uint8_t>& v, const std::vector<uint8_t>& tail) {
  return v.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), v.rbegin());
}

bool Holds(const std::vector<uint8_t>& v, const std::vector<uint8_t>& part) {
  return std::search(v.begin(), v.end(), part.begin(), part.end()) != v.end();
}

std::vector<uint16_t> Symbols(const PageKeyframe& k) {
  std::vector<uint16_t> v;
  for (const PageInstance& in : k.instances) v.push_back(in.symbol);
  return v;
}

// The page of one record showing Up and Hit at depth 1, and of the same
// record showing Up only, laid out byte by byte.
TEST(ButtonTags, PagesByteForByte) {
  for (const uint8_t level : {0, 2}) {
    for (const uint8_t states : {uint8_t(kUp | kHit), kUp}) {
      SCOPED_TRACE(testing::Message() << int(level) << " " << int(states));
      ButtonRun run(level);
      run.Stream(9);
      const std::vector<uint8_t> page = run.Convert(34, Button2(20, {{.states = states, .character = 9}}));
      const bool isNew = level == 2;
      const std::vector<uint8_t> version = Written([&](std::FILE* f) { WriteObjectVersion(f, level); });
      const std::vector<uint8_t> single =
          Written([&](std::FILE* f) { isNew ? WriteSingleFrameNew(f) : WriteSingleFrameOld(f); });
      const std::vector<uint8_t> next = Concat({Bytes({0x05, 0x80}), version});
      // The instances as the element writer gives them: the class defined
      // in frame 1, referred to in frame 4.
      ConverterContext ic;
      ic.m_nFlaFormat = level;
      PlacementEntry e;
      e.characterId = 9;
      PageClassState state;
      const std::vector<uint8_t> first = Written([&](std::FILE* f) {
        ic.m_pPageStream = f;
        WriteSymbolInstance(ic, e, state);
      });
      const std::vector<uint8_t> again = Written([&](std::FILE* f) {
        ic.m_pPageStream = f;
        WriteSymbolInstance(ic, e, state);
      });
      ASSERT_EQ(again[0] | again[1] << 8, 0x8007);
      std::vector<uint8_t> head(kFileHead.begin(), kFileHead.end());
      if (isNew) head[15] = head[32] = 4;
      std::vector<uint8_t> expected = Concat({head, version, first, Bytes({0}), single});
      if (states & kHit)
        expected = Concat({expected, next, Bytes({0}), single, next, Bytes({0}), single, next, again, Bytes({0}), single});
      const std::vector<uint8_t> tail =
          Written([&](std::FILE* f) { isNew ? WriteLayerTailNew(f, "B", true, false, false, 0, 0)
                                            : WriteLayerTailOld(f, "B", true, false, false, 0, 0); });
      expected = Concat({expected, tail, LayerEnd(isNew, 2)});
      EXPECT_EQ(page, expected);
      EXPECT_TRUE(PageWalksClean(page));
    }
  }
}

// An instance of a converted button ends with the button's action block
// below level 2 (the empty one, 28 bytes) and with an empty script text at
// level 2.
TEST(ButtonTags, InstanceTailsHoldTheButtonsActions) {
  for (const uint8_t level : {0, 1, 2}) {
    SCOPED_TRACE(int(level));
    ButtonRun run(level);
    run.Stream(9);
    run.Convert(34, Button2(20, {{.states = kUp | kHit, .character = 9}}));
    PlacementEntry e;
    e.kind = 2;
    e.characterId = 20;
    e.streamIndex = run.ctx.m_nStreams - 1;
    PageClassState state;
    const std::vector<uint8_t> record = Written([&](std::FILE* f) {
      run.ctx.m_pPageStream = f;
      WriteSymbolInstance(run.ctx, e, state);
    });
    std::vector<uint8_t> tail;
    if (level < 2) {
      tail = SwfBytes().u8(0x08).u32(1).u32(0).u32(0).u32(0).u32(0).data();
      Append(tail, Bytes({0x03, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00}));
      Append(tail, Bytes({0x00, 0x00}));  // not a menu; no name
    } else {
      tail = SwfBytes().u8(0x0B).u32(4).u32(1).u32(0).u32(0).data();
      Append(tail, Bytes({0xFF, 0xFE, 0xFF, 0x00, 0x00, 0xFF, 0xFE, 0xFF, 0x00}));
    }
    AppendU32(tail, 0);
    EXPECT_TRUE(EndsWith(record, tail)) << testing::PrintToString(record);
  }
}

// The layout walk: layers by depth (depth 0 on top), frames by state.
TEST(ButtonTags, RecordLayout) {
  struct Row {
    const char* what;
    std::vector<Rec> recs;
    std::vector<std::vector<std::vector<uint16_t>>> layers;  // per layer, per keyframe, the symbols
  };
  const Row rows[] = {
      {"depths 3, 1 and 0",
       {{.character = 11, .depth = 3}, {.character = 12, .depth = 1}, {.character = 13, .depth = 0}},
       {{{12}, {}, {}, {}}, {{11}, {}, {}, {}}, {{13}}}},
      {"lowest depth 3", {{.states = kOver, .character = 11, .depth = 3}, {.character = 12, .depth = 5}},
       {{{}, {11}, {}, {}}, {{12}}}},
      {"two records in one state", {{.states = kUp | kDown, .character = 12}, {.character = 11}},
       {{{12, 11}, {}, {12}}}},
      {"a record without states", {{.states = 0, .character = 11, .depth = 2}, {.character = 12}}, {{{12}}}},
      {"no records", {}, {{{}}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ButtonRun run(0);
    run.Stream(11);
    run.Stream(12);
    run.Stream(13);
    const std::vector<uint8_t> page = run.Convert(34, Button2(20, r.recs));
    ASSERT_TRUE(PageWalksClean(page));
    const std::vector<PageLayer> layers = ReadPageLayers(page, WalkPage(page));
    ASSERT_EQ(layers.size(), r.layers.size());
    for (size_t l = 0; l < layers.size(); ++l) {
      ASSERT_EQ(layers[l].keyframes.size(), r.layers[l].size()) << l;
      for (size_t k = 0; k < layers[l].keyframes.size(); ++k) {
        EXPECT_EQ(layers[l].keyframes[k].start, k);
        EXPECT_EQ(layers[l].keyframes[k].duration, 1u);
        EXPECT_EQ(Symbols(layers[l].keyframes[k]), r.layers[l][k]) << l << " " << k;
      }
    }
  }
  // The depth-0 rule counts on from the largest depth, never past 65,535.
  ButtonRun run(0);
  const std::vector<ButtonRecord> recs =
      ReadButtonRecords(run.ctx, 34, Button2(20, {{.depth = 0}, {.depth = 65534}, {.depth = 0}, {.depth = 0}}));
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].depth, 65535);
  EXPECT_EQ(recs[2].depth, 65535);
  EXPECT_EQ(recs[3].depth, 65535);
}

// What each record's character becomes on the page.
TEST(ButtonTags, Elements) {
  for (const uint8_t level : {0, 2}) {
    SCOPED_TRACE(int(level));
    ButtonRun run(level);
    run.Stream(11, kElementMovieClip);
    run.Stream(12);
    run.ctx.m_pEditTexts.emplace_back();
    RegisterPlacedCharacter(run.ctx, 13, kElementEditText, 0);
    StaticTextRecord text;
    text.runs.push_back({.height = 240, .text = "ab"});
    run.ctx.m_pStaticTexts.push_back(text);
    RegisterPlacedCharacter(run.ctx, 14, kElementStaticText, 0);
    const std::vector<uint8_t> blur = BlurList();
    const std::vector<uint8_t> page = run.Convert(
        34, Button2(20, {{.character = 11, .filters = blur, .blend = 3},
                         {.character = 12, .depth = 2},
                         {.character = 13, .depth = 3},
                         {.character = 14, .depth = 4},
                         {.character = 14, .depth = 5, .tint = true},
                         {.character = 99, .depth = 6}}));
    ASSERT_TRUE(PageWalksClean(page));
    const PageWalk walk = WalkPage(page);
    EXPECT_EQ(walk.count("CPicSprite"), 1u);
    EXPECT_EQ(walk.count("CPicText"), 2u);
    // The shape and the wrapper of the tinted text; nothing names 99.
    EXPECT_EQ(walk.count("CPicSymbol"), 2u);
    const std::vector<PageLayer> layers = ReadPageLayers(page, walk);
    ASSERT_EQ(layers.size(), 6u);
    EXPECT_EQ(Symbols(layers[0].keyframes[0]), std::vector<uint16_t>{11});
    EXPECT_EQ(Symbols(layers[1].keyframes[0]), std::vector<uint16_t>{12});
    EXPECT_TRUE(Symbols(layers[5].keyframes[0]).empty());
    // The wrapper took the row before the button's.
    ASSERT_EQ(run.ctx.m_nStreams, 4u);
    const uint16_t wrapper = run.ctx.m_pStreamItemNo.at(2);
    EXPECT_EQ(Symbols(layers[4].keyframes[0]), std::vector<uint16_t>{wrapper});
    EXPECT_EQ(run.ctx.m_pStreamItemNo.at(3), 20);
    if (level == 2) {
      SwfReader r(blur);
      const std::vector<uint8_t> block = ConvertFilterList(r).block;
      ASSERT_FALSE(block.empty());
      EXPECT_TRUE(Holds(page, Concat({Bytes({1}), block, Bytes({3, 0, 0})})));
    }
  }
}

// The sound layers of DefineButtonSound entries.
TEST(ButtonTags, SoundLayers) {
  constexpr uint16_t S = 7;
  auto slot = [](uint16_t id, uint8_t flags = 0) {
    return id ? SwfBytes().u16(id).u8(flags).data() : SwfBytes().u16(0).data();
  };
  struct Row {
    std::vector<uint8_t> slots;
    std::vector<uint32_t> starts, durations;
  };
  const Row rows[] = {
      {Concat({slot(0), slot(S), slot(0), slot(0)}), {0, 1, 2}, {1, 1, 2}},
      {Concat({slot(S), slot(0), slot(0), slot(0)}), {0, 1}, {1, 3}},
      {Concat({slot(S), slot(S), slot(0), slot(S)}), {0, 1, 2, 3}, {1, 1, 1, 1}},
      // A sound the library does not hold is silent.
      {Concat({slot(9), slot(0), slot(0), slot(0)}), {0}, {4}},
  };
  for (const uint8_t level : {0, 2}) {
    for (const Row& r : rows) {
      ButtonRun run(level);
      run.Stream(11);
      run.ctx.m_soundItemIds.insert(S);
      run.ctx.m_pButtonSounds.push_back({20, r.slots});
      run.ctx.m_pButtonSounds.push_back({21, r.slots});
      const std::vector<uint8_t> page = run.Convert(34, Button2(20, {{.character = 11}}));
      ASSERT_TRUE(PageWalksClean(page));
      const std::vector<PageLayer> layers = ReadPageLayers(page, WalkPage(page));
      ASSERT_EQ(layers.size(), 2u);
      std::vector<uint32_t> starts, durations;
      for (const PageKeyframe& k : layers[1].keyframes) {
        starts.push_back(k.start);
        durations.push_back(k.duration);
      }
      EXPECT_EQ(starts, r.starts);
      EXPECT_EQ(durations, r.durations);
      EXPECT_TRUE(EndsWith(page, LayerEnd(level == 2, 3)));
    }
  }
  // Sync from the SOUNDINFO flags; two tags give two layers; an envelope
  // of 200 points is written whole.
  std::vector<uint8_t> points(1600);
  for (size_t i = 0; i < points.size(); ++i) points[i] = uint8_t(i * 3);
  const std::vector<uint8_t> enveloped = SwfBytes().u16(S).u8(0x08).u8(200).bytes(points).data();
  ButtonRun run(2);
  run.Stream(11);
  run.ctx.m_soundItemIds.insert(S);
  run.ctx.m_pButtonSounds.push_back({20, Concat({slot(S, 0x30), slot(S, 0x10), slot(S, 0x00), enveloped})});
  run.ctx.m_pButtonSounds.push_back({20, Concat({slot(0), slot(0), slot(0), slot(0)})});
  const std::vector<uint8_t> page = run.Convert(34, Button2(20, {{.character = 11, .depth = 2}}));
  ASSERT_TRUE(PageWalksClean(page));
  EXPECT_EQ(ReadPageLayers(page, WalkPage(page)).size(), 3u);
  for (const uint32_t sync : {2u, 1u, 0u}) {
    const std::vector<uint8_t> block =
        Written([&](std::FILE* f) { WriteSoundBlock(f, S, SoundEnvelope{}, 0, sync); });
    EXPECT_TRUE(Holds(page, block)) << sync;
  }
  EXPECT_TRUE(Holds(page, Concat({SwfBytes().u16(S).u16(200).data(), points, Bytes({0, 0, 0, 0, 0, 0, 0})})));
  EXPECT_TRUE(EndsWith(page, LayerEnd(true, 5)));
  EXPECT_EQ(run.shell.actions.size(), 2u);
}

// A slot cut short is silent and ends the slots.
TEST(ButtonTags, CutSoundSlots) {
  ButtonSoundSlot slots[4];
  ReadButtonSoundSlots(SwfBytes().u16(7).u8(0).u16(7).u8(0x08).u8(10).u32(0).data(), slots);
  EXPECT_EQ(slots[0].soundId, 7);
  for (int k = 1; k < 4; ++k) EXPECT_EQ(slots[k].soundId, 0) << k;
}

// The button's row, and records read no further than their end.
TEST(ButtonTags, RowAndRecordBounds) {
  for (const uint8_t menu : {0, 1}) {
    ButtonRun run(2);
    run.Stream(11);
    run.Convert(34, Button2(20, {{.character = 11}}, uint8_t(0x80 | menu)));
    ASSERT_EQ(run.ctx.m_nStreams, 2u);
    EXPECT_EQ(run.ctx.m_pStreamItemNo.at(1), 20);
    EXPECT_EQ(run.ctx.m_pStreamFlagA.at(1), 0);
    EXPECT_EQ(run.ctx.m_pStreamFlagB.at(1), 1);
    EXPECT_EQ(run.ctx.m_pStreamFlagC.at(1), menu);
    EXPECT_EQ(run.ctx.m_placedCharacters.at(20).kind, kElementButton);
    EXPECT_EQ(run.ctx.m_placedCharacters.at(20).row, 1u);
    EXPECT_FALSE(std::filesystem::exists(run.work.file(kButtonPageName)));
  }
  ButtonRun run(2);
  const std::vector<uint8_t> two = Button2(20, {{.character = 11}, {.character = 12}});
  struct Row {
    const char* what;
    uint16_t code;
    std::vector<uint8_t> body;
    size_t records;
  };
  std::vector<uint8_t> farOffset = two, cutFilter = Button2(20, {{.character = 11}, {.character = 12, .filters = BlurList()}});
  farOffset[3] = farOffset[4] = 0xFF;
  cutFilter.resize(cutFilter.size() - 4);
  std::vector<uint8_t> early = two;
  early[3] = uint8_t(two.size() - 3 - 7);  // the second record lies among the actions
  std::vector<uint8_t> noEnd = Button1(20, {{.character = 11}, {.character = 12}});
  noEnd.pop_back();
  std::vector<uint8_t> cutRecord = noEnd;
  cutRecord.pop_back();
  const Row rows[] = {
      {"ActionOffset 0xFFFF", 34, farOffset, 2},
      {"ActionOffset before the second record", 34, early, 1},
      {"filter list cut mid-filter", 34, cutFilter, 2},
      {"DefineButton without its end flag", 7, noEnd, 2},
      {"DefineButton's last record cut short", 7, cutRecord, 1},
  };
  for (const Row& r : rows) EXPECT_EQ(ReadButtonRecords(run.ctx, r.code, r.body).size(), r.records) << r.what;
  // Too short to hold a button: one message, no row.
  ButtonRun shortRun(0);
  ConvertButton(shortRun.ctx, 34, Bytes({20, 0, 0, 0, 0}));
  ConvertButton(shortRun.ctx, 7, Bytes({20, 0}));
  EXPECT_EQ(shortRun.ctx.m_nStreams, 0u);
  ASSERT_EQ(shortRun.shell.messages.size(), 2u);
  EXPECT_NE(shortRun.shell.messages[0].find("DefineButton2 20"), std::string::npos);
}

// ---- through the program ----

std::vector<uint8_t> ShapeTag(uint16_t id) { return SwfWriter::TagBytes(2, SquareShape(id, 0, 400, 0xFF0000)); }

// Converted by the program; the document read back and compared with the
// movie frame by frame.
struct ProgramMovie {
  TempDir dir;
  std::map<std::string, std::vector<uint8_t>> streams;
  ::testing::AssertionResult operator()(const std::vector<uint8_t>& swf) {
    WriteFileBytes(dir.file("in.swf"), swf);
    ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
    const ProgramRun run = RunProgram({"-q", dir.file("in.swf"), "-o", dir.file("out.fla")}, dir.path().string());
    if (run.status != 0) return ::testing::AssertionFailure() << "status " << run.status << ": " << run.output;
    streams = ExpectReadableDocument(dir.file("out.fla"));
    return DocumentShowsMovie(swf, streams);
  }
};

std::vector<uint8_t> Movie(uint8_t version, std::initializer_list<std::vector<uint8_t>> tags) {
  SwfWriter w(version);
  const std::vector<uint8_t> all = Tags(tags);
  ForEachTag(all, 0, all.size(), [&](uint32_t code, size_t body, uint32_t len) {
    w.tag(uint16_t(code), std::vector<uint8_t>(all.begin() + long(body), all.begin() + long(body + len)));
  });
  return w.end().build();
}

// A DefineButton of a shape and a DefineButton2 of a sprite, an edit text
// and the shape, with a sound on Over, both placed on the scene.
TEST(ButtonTags, ButtonsThroughTheProgram) {
  SwfBytes text;
  text.u16(3).rect(0, 2000, 0, 400).u8(0x84).u8(0x00).u32(0xFF0000FF).str("").str("Hello");
  const std::vector<uint8_t> sprite =
      SwfWriter::TagBytes(39, SwfBytes().u16(2).u16(1).bytes(PlaceObject2Tag({.depth = 1, .character = 1})).u16(0x40).u16(0));
  const std::vector<uint8_t> sound = SwfWriter::TagBytes(14, SwfBytes().u16(4).u8(0).u32(4).u32(0x80808080));
  const std::vector<uint8_t> button1 =
      SwfWriter::TagBytes(7, Button1(5, {{.states = kUp | kOver | kDown | kHit, .character = 1, .x = 40}}));
  const std::vector<uint8_t> button2 = SwfWriter::TagBytes(
      34, Button2(6, {{.states = kUp | kHit, .character = 2}, {.states = kOver, .character = 3, .depth = 2, .tint = true},
                      {.states = kDown, .character = 1, .depth = 3, .x = 100}}));
  const std::vector<uint8_t> buttonSound =
      SwfWriter::TagBytes(17, SwfBytes().u16(6).u16(0).u16(4).u8(0x10).u16(0).u16(0).data());
  for (const uint8_t version : {6, 8}) {
    SCOPED_TRACE(int(version));
    ProgramMovie movie;
    ASSERT_TRUE(movie(Movie(version, {ShapeTag(1), sprite, SwfWriter::TagBytes(37, text.data()), sound, button1,
                                      button2, buttonSound, PlaceObject2Tag({.depth = 1, .character = 5}),
                                      PlaceObject2Tag({.depth = 2, .character = 6, .x = 300}), ShowFrameTag()})));
    EXPECT_EQ(WalkPage(movie.streams["Page 1"]).count("CPicButton"), 2u);
    std::set<uint16_t> items;
    std::map<std::string, uint16_t> symbols;
    ASSERT_TRUE(ReadLibraryItems(movie.streams["Contents"], items, &symbols));
    int buttons = 0;
    for (const auto& [name, item] : symbols) {
      if (item != 5 && item != 6) continue;
      ++buttons;
      EXPECT_EQ(SymbolPageKind(movie.streams["Contents"], name, item), 1) << name;
      const std::vector<uint8_t>& page = movie.streams[name];
      const std::vector<PageLayer> layers = ReadPageLayers(page, WalkPage(page));
      // The second button: its three record layers and the sound's.
      EXPECT_EQ(layers.size(), item == 5 ? 1u : 4u) << name;
      if (item == 6) {
        EXPECT_EQ(WalkPage(page).count("CPicSprite"), 2u);  // in Up and Hit
      }
    }
    EXPECT_EQ(buttons, 2);
  }
}

// Damaged buttons and button sounds: the conversion goes on, exit status 0,
// and what is written reads back whole.
TEST(ButtonTags, HostileButtonsThroughTheProgram) {
  std::vector<uint8_t> farOffset = Button2(5, {{.character = 1}});
  farOffset[3] = farOffset[4] = 0xFF;
  std::vector<uint8_t> noEnd = Button1(5, {{.character = 1}});
  noEnd.pop_back();
  std::vector<uint8_t> cutFilter = Button2(5, {{.character = 1, .filters = BlurList()}});
  cutFilter.resize(cutFilter.size() - 5);
  std::vector<Rec> many(10000, Rec{.character = 1, .depth = 0});
  struct Row {
    const char* what;
    std::vector<uint8_t> tags;
  };
  const Row rows[] = {
      {"ActionOffset 0xFFFF", SwfWriter::TagBytes(34, farOffset)},
      {"DefineButton without its end flag", SwfWriter::TagBytes(7, noEnd)},
      {"filter list cut mid-filter", SwfWriter::TagBytes(34, cutFilter)},
      {"button sound cut inside slot 2",
       Tags({SwfWriter::TagBytes(7, Button1(5, {{.character = 1}})),
             SwfWriter::TagBytes(17, SwfBytes().u16(5).u16(4).u8(0).u16(4).u8(0x08).u8(10).u32(0).data())})},
      {"10,000 records at depth 0", SwfWriter::TagBytes(34, Button2(5, many))},
  };
  const std::vector<uint8_t> sound = SwfWriter::TagBytes(14, SwfBytes().u16(4).u8(0).u32(4).u32(0x80808080));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ProgramMovie movie;
    EXPECT_TRUE(movie(Movie(8, {ShapeTag(1), sound, r.tags, PlaceObject2Tag({.depth = 1, .character = 5}),
                                PlaceObject2Tag({.depth = 2, .character = 1}), ShowFrameTag()})));
  }
}

// Every button of the corpus movies becomes a button page naming only
// what the library holds.
TEST(ButtonTags, CorpusButtonsBecomeButtonPages) {
  const auto corpus = CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t buttons = 0, movies = 0;
  for (const CorpusMovie& movie : corpus) {
    if (!movie.has("DefineButton") || !movie.sound()) continue;
    SCOPED_TRACE(movie.name);
    ConverterContext ctx;
    RecordingShell shell;
    ctx.m_pShell = &shell;
    TempDir dir;
    EngineServices services = DefaultEngineServices();
    ASSERT_EQ(ConvertMovie(ctx, movie.path.string(), dir.file("out.fla"), 0, services), uint32_t(kResultDone));
    ++movies;
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(ReadCompoundFile(dir.file("out.fla"), streams));
    std::set<uint16_t> items;
    ASSERT_TRUE(ReadLibraryItems(streams["Contents"], items));
    for (uint32_t row = 0; row < ctx.m_nStreams; ++row) {
      if (!ctx.m_pStreamFlagB.at(row)) continue;
      ++buttons;
      const std::string name = "Symbol " + std::to_string(ctx.m_pStreamId.at(row));
      ASSERT_TRUE(streams.count(name)) << name;
      EXPECT_TRUE(PageFitsDocument(streams[name], std::nullopt, &items)) << name;
    }
  }
  EXPECT_GT(movies, 0u);
  EXPECT_GE(buttons, movies);
}

}  // namespace
}  // namespace tovrani
