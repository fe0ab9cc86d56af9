// DefineSprite: the handler's set-up and clean-up, and sprites through the
// whole conversion as movie-clip symbol pages.
#include "convert/sprite_tags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "app/program_runner.h"
#include "convert/engine.h"
#include "convert/placements.h"
#include "fla/expected_records.h"
#include "fla/layer_records.h"
#include "fla/work_files.h"
#include "fla/work_folder.h"
#include "support/work_budget.h"
#include "support/byte_sink.h"
#include "support/contents_layout.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/library_items.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "timeline/display_model.h"

namespace tovrani {
namespace {

using namespace test;

// A shell that looks into the work folder when the sprite's page is built.
struct PeekingShell : RecordingShell {
  std::function<void()> onBuild;
  void SetCurrentAction(const std::string& text) override {
    RecordingShell::SetCurrentAction(text);
    if (text == "building sprite..." && onBuild) onBuild();
  }
};

struct SpriteRun : WorkFiles {
  PeekingShell shell;
  WorkFolder work;
  SpriteRun(uint8_t level) {
    g_shortLayerEndLead = g_omitLayerLink = 0;
    work.create();
    ctx.m_pWorkFolder = &work;
    ctx.m_pShell = &shell;
    ctx.m_nFlaFormat = level;
  }
  // The body with slack bytes of 0xEE behind it.
  uint32_t operator()(std::vector<uint8_t>& buffer, size_t length) {
    buffer.resize(length + 8192, 0xEE);
    return HandleDefineSprite(ctx, buffer.data(), uint32_t(length), 100);
  }
  bool WorkFileExists(const char* name) const { return test::WorkFileThere(work, name); }
  // The page placed for a row (all test pages go to the mini stream).
  std::vector<uint8_t> Page(uint32_t row) {
    const std::vector<uint8_t> mini = Contents(ctx.m_pMiniStreamFile);
    const size_t at = size_t(ctx.m_pStreamStart.at(row)) * 64;
    return {mini.begin() + long(at), mini.begin() + long(at + ctx.m_pStreamSize.at(row))};
  }
};

std::vector<uint8_t> ShapeTag(uint16_t id) {
  return SwfWriter::TagBytes(2, SwfBytes().u16(id).rect(0, 400, 0, 400).u8(0).u8(0).u8(0).ubits(0, 6).align());
}

// Three objects moving over `frames` frames.
std::vector<uint8_t> MovingTags(int frames) {
  std::vector<uint8_t> tags;
  for (int f = 0; f < frames; ++f) {
    for (uint16_t d = 1; d <= 3; ++d)
      tags = Tags({tags, PlaceObject2Tag({.depth = uint16_t(d * 2), .character = uint16_t(f ? 0 : d),
                                          .move = f > 0, .x = 100 * d + 20 * f})});
    tags = Tags({tags, ShowFrameTag()});
  }
  return tags;
}

class SpriteLevels : public ::testing::TestWithParam<int> {};

TEST_P(SpriteLevels, SetUpPlacesTheRowAndCleansUp) {
  const uint8_t level = uint8_t(GetParam());
  const uint8_t version = level == 2 ? 4 : 1;
  for (const bool ended : {false, true}) {
    SCOPED_TRACE(ended);
    SpriteRun run(level);
    run.ctx.m_wCurSymbolId = 7;
    run.ctx.m_nStreams = 3;
    std::vector<uint8_t> body = SpriteBody(5, Tags({PlaceObject2Tag({.depth = 1, .character = 9}), ShowFrameTag()}));
    if (ended) body = Tags({body, Bytes({0, 0})});
    const size_t length = body.size();
    std::map<std::string, std::vector<uint8_t>> layerFiles;
    run.shell.onBuild = [&] {
      for (const char* name : {kSpriteActionName, kSpriteEventSoundName, kSpriteStreamSoundName})
        layerFiles[name] = ReadFileBytes(run.work.file(name));
    };
    ASSERT_EQ(run(body, length), uint32_t(kResultDone));
    // An End is appended only to a body that lacks one.
    EXPECT_EQ(body[length], ended ? 0xEE : 0);
    EXPECT_EQ(body[length + 1], ended ? 0xEE : 0);
    for (const auto& [name, bytes] : layerFiles) {
      ASSERT_GE(bytes.size(), 7u) << name;
      EXPECT_TRUE(SameBytes({bytes.begin(), bytes.begin() + 7}, Bytes({1, 3, 0x80, version, 0, 5, 0x80}))) << name;
    }
    EXPECT_EQ(layerFiles.size(), 3u);
    const ConverterContext& c = run.ctx;
    EXPECT_EQ(std::tuple(c.m_nStreams, c.m_wCurSymbolId, c.m_pStreamItemNo.at(3), c.m_pStreamId.at(3),
                         c.m_pStreamFlagA.at(3), c.m_pStreamFlagB.at(3)),
              std::tuple(4u, 8, 5, 7, 1, 0));
    EXPECT_EQ(std::pair(c.m_placedCharacters.at(5).kind, c.m_placedCharacters.at(5).row),
              std::pair(uint8_t(kElementMovieClip), 3u));
    const std::vector<uint8_t> page = run.Page(3);
    ASSERT_GT(page.size(), 49u);
    EXPECT_EQ(page[15], version);
    EXPECT_EQ(page[32], version);
    EXPECT_TRUE(PageWalksClean(page));
    // Without sound or action layers the page ends with the layer end of value 3.
    std::vector<uint8_t> end;
    {
      ByteSink sink;
      if (level == 2)
        WriteLayerEndNew(sink, 3);
      else
        WriteLayerEndOld(sink, 3);
      end = sink.bytes();
    }
    EXPECT_TRUE(std::equal(end.rbegin(), end.rend(), page.rbegin()));
    for (const char* name : {kSpritePageName, kSpriteActionName, kSpriteEventSoundName, kSpriteStreamSoundName})
      EXPECT_FALSE(run.WorkFileExists(name)) << name;
    EXPECT_EQ(run.ctx.m_pPageStream, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, SpriteLevels, ::testing::Values(0, 2));

// With "Sprite" off or an empty body the handler leaves no file and no row.
TEST(SpriteTags, SkippedSprites) {
  const std::vector<uint8_t> whole = SpriteBody(5, Tags({ShowFrameTag(), Bytes({0, 0})}));
  for (const auto& [on, body] : {std::pair(false, whole), std::pair(true, std::vector<uint8_t>{})}) {
    SpriteRun run(2);
    run.ctx.options.sprite = on;
    std::vector<uint8_t> buffer = body;
    EXPECT_EQ(run(buffer, body.size()), uint32_t(kResultDone));
    EXPECT_EQ(run.ctx.m_nStreams, 0u);
    EXPECT_TRUE(run.shell.actions.empty());
  }
}

// The depth pass renumbers a masked sprite's depths, but only for a
// non-zero id.
TEST(SpriteTags, DepthPassOnlyForANonZeroId) {
  const std::vector<uint8_t> tags =
      Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 0xFFFF}), PlaceObject2Tag({.depth = 10, .character = 2}),
            PlaceObject3Tag({.depth = 20, .character = 3}), ShowFrameTag()});
  for (const uint16_t id : {0, 5}) {
    SpriteRun run(0);
    std::vector<uint8_t> body = SpriteBody(id, tags);
    ASSERT_EQ(run(body, body.size()), uint32_t(kResultDone));
    const std::vector<uint8_t> bytes = run.Page(0);
    const std::string page(bytes.begin(), bytes.end());
    EXPECT_EQ(page.find("Level 20") != std::string::npos, id == 0) << id;
    EXPECT_EQ(page.find("Level 5") != std::string::npos, id != 0) << id;
  }
}

// The frames each layer shows the given items, in layer order.
std::vector<uint32_t> FramesShowing(const std::vector<uint8_t>& page, const std::set<uint16_t>& items) {
  std::vector<uint32_t> out;
  for (const PageLayer& layer : ReadPageLayers(page, WalkPage(page))) {
    uint32_t shown = 0;
    for (const PageKeyframe& k : layer.keyframes)
      if (!k.instances.empty() && items.count(k.instances[0].symbol)) shown += k.duration;
    if (shown) out.push_back(shown);
  }
  return out;
}

// Movies converted by the program; every stream read back independently.
struct ProgramMovie {
  TempDir dir;
  std::map<std::string, std::vector<uint8_t>> streams;
  ProgramRun run;
  ::testing::AssertionResult operator()(const std::vector<uint8_t>& swf) {
    WriteFileBytes(dir.file("in.swf"), swf);
    ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
    // Guides shown and snapped to, as every real level-0 and level-1
    // document holds them (the layout holds no other value there).
    run = RunProgram({"-q", "--set", "Guides=on", "--set", "Snap To Guides=on", dir.file("in.swf"), "-o",
                      dir.file("out.fla")},
                     dir.path().string());
    if (run.status != 0) return ::testing::AssertionFailure() << "status " << run.status << ": " << run.output;
    streams = ExpectReadableDocument(dir.file("out.fla"));
    if (const ContentsWalk walk = WalkContents(streams["Contents"], {}); walk.difference)
      return ::testing::AssertionFailure() << walk.difference->describe();
    return ::testing::AssertionSuccess();
  }
};

// A movie of whole tags (header included), ended.
std::vector<uint8_t> Movie(uint8_t version, const std::vector<uint8_t>& tags) {
  SwfWriter w(version);
  ForEachTag(tags, 0, tags.size(), [&](uint32_t code, size_t body, uint32_t len) {
    w.tag(uint16_t(code), std::vector<uint8_t>(tags.begin() + long(body), tags.begin() + long(body + len)));
  });
  return w.end().build();
}

std::vector<uint8_t> SpriteTag(uint16_t id, uint16_t frames, const std::vector<uint8_t>& tags) {
  return SwfWriter::TagBytes(39, SwfBytes().u16(id).u16(frames).bytes(tags).u16(0));
}

// A sprite holding three moving shapes, a sound and a video, placed by the
// scene: its page shows each shape for all ten frames, the scene a movie clip.
TEST(SpriteTags, SpriteWithShapesSoundAndVideoThroughTheProgram) {
  const std::vector<uint8_t> inner = Tags({SwfWriter::TagBytes(15, SwfBytes().u16(6).u8(0)),
                                           PlaceObject2Tag({.depth = 20, .character = 5}),
                                           SwfWriter::TagBytes(61, SwfBytes().u16(5).u16(0).u32(0x01020304)),
                                           MovingTags(10)});
  const std::vector<uint8_t> tags =
      Tags({ShapeTag(1), ShapeTag(2), ShapeTag(3),
            SwfWriter::TagBytes(60, SwfBytes().u16(5).u16(1).u16(32).u16(24).u8(0).u8(2)),
            SwfWriter::TagBytes(14, SwfBytes().u16(6).u8(0).u32(4).u32(0x80808080)), SpriteTag(4, 10, inner),
            PlaceObject2Tag({.depth = 1, .character = 4, .name = "clip"}), ShowFrameTag()});
  for (const uint8_t version : {6, 7, 8}) {
    SCOPED_TRACE(int(version));
    ProgramMovie movie;
    ASSERT_TRUE(movie(Movie(version, tags)));
    ASSERT_TRUE(movie.streams.count("Symbol 4"));
    const std::vector<uint8_t>& page = movie.streams["Symbol 4"];
    const PageWalk walk = WalkPage(page);
    EXPECT_EQ(walk.count("CPicLayer"), 5u);  // with the sprite's EventSound layer
    EXPECT_EQ(walk.count("CPicSymbol"), 30u);
    EXPECT_EQ(FramesShowing(page, {1, 2, 3}), (std::vector<uint32_t>{10, 10, 10}));
    EXPECT_EQ(WalkPage(movie.streams["Page 1"]).count("CPicSprite"), 1u);
    EXPECT_EQ(SymbolPageKind(movie.streams["Contents"], "Symbol 4", 4), 2);
    EXPECT_TRUE(movie.streams.count("Media 1") || movie.streams.count("Media 2"));
  }
}

// Damaged sprites end the conversion cleanly or are left out; the rest of
// the document stays whole.
TEST(SpriteTags, HostileSpritesThroughTheProgram) {
  std::vector<uint8_t> cut = SwfBytes().u16(4).u16(1).bytes(PlaceObject2Tag({.depth = 1, .character = 1}));
  cut.resize(cut.size() - 2);
  std::vector<uint8_t> longLength = SwfBytes().u16(4).u16(1).u16(26 << 6 | 0x3F).u32(0x7FFFFFFF).u16(0);
  struct Row {
    const char* what;
    std::vector<uint8_t> spriteTag;
    bool converts;
  };
  const Row rows[] = {
      {"3 bytes", SwfWriter::TagBytes(39, {4, 0, 1}), true},
      {"inner tag cut short", SwfWriter::TagBytes(39, cut), false},
      {"long length past the body", SwfWriter::TagBytes(39, longLength), false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ProgramMovie movie;
    const auto converted = movie(Movie(8, Tags({ShapeTag(1), r.spriteTag, PlaceObject2Tag({.depth = 1, .character = 4}),
                                                 PlaceObject2Tag({.depth = 2, .character = 1}), ShowFrameTag()})));
    EXPECT_EQ(bool(converted), r.converts) << converted.message();
    if (r.converts) {
      EXPECT_FALSE(movie.streams.count("Symbol 2"));
    } else {
      EXPECT_EQ(movie.run.status, 1);
      EXPECT_NE(movie.run.output.find("25"), std::string::npos) << movie.run.output;
    }
  }
}

// ---- sounds inside sprites ----

bool PageNames(const std::vector<uint8_t>& page, const std::string& name) {
  std::vector<uint8_t> wide;
  for (char c : name) wide.insert(wide.end(), {uint8_t(c), 0});
  return std::search(page.begin(), page.end(), name.begin(), name.end()) != page.end() ||
         std::search(page.begin(), page.end(), wide.begin(), wide.end()) != page.end();
}

// A 4-sample event sound (id 6) and a shape (id 1) for the sprites (id 4)
// below, the sprite placed by the scene.
std::vector<uint8_t> SoundSpriteMovie(uint8_t version, const std::vector<uint8_t>& spriteTag,
                                      const std::vector<uint8_t>& after = {}) {
  return Movie(version, Tags({ShapeTag(1), SwfWriter::TagBytes(14, SwfBytes().u16(6).u8(0).u32(4).u32(0x80808080)),
                              spriteTag, PlaceObject2Tag({.depth = 1, .character = 4}), ShowFrameTag(), after}));
}

std::vector<uint8_t> StreamBlockTag(size_t samples) {
  SwfBytes b;
  for (size_t i = 0; i < samples; ++i) b.u16(uint16_t(i * 7));
  return SwfWriter::TagBytes(19, b.data());
}

// 16-bit mono PCM at 44 kHz, `samples` a block.
std::vector<uint8_t> StreamHeadTag(uint16_t code, uint16_t samples) {
  return SwfWriter::TagBytes(code, SwfBytes().u8(0x0E).u8(0x0E).u16(samples).data());
}

// A StartSound in frame 2 and a stream whose blocks fill frames 2 and 3 of
// a four-frame sprite: the sprite's page gets the EventSound and
// StreamSound layers after its own, each keyframed where its sound starts
// and none longer than the sprite.
TEST(SpriteTags, SpriteSoundsGetTheirLayersThroughTheProgram) {
  for (const uint16_t head : {18, 45}) {
    for (const uint8_t version : {6, 8}) {
      SCOPED_TRACE(testing::Message() << head << " v" << int(version));
      const std::vector<uint8_t> inner =
          Tags({PlaceObject2Tag({.depth = 1, .character = 1}), ShowFrameTag(),
                SwfWriter::TagBytes(15, SwfBytes().u16(6).u8(0)), StreamHeadTag(head, 100), StreamBlockTag(100),
                ShowFrameTag(), StreamBlockTag(100), ShowFrameTag(), ShowFrameTag()});
      ProgramMovie movie;
      ASSERT_TRUE(movie(SoundSpriteMovie(version, SpriteTag(4, 4, inner))));
      // The shape's page is "Symbol 1", the sprite's "Symbol 2".
      ASSERT_TRUE(movie.streams.count("Symbol 2"));
      const std::vector<uint8_t>& page = movie.streams["Symbol 2"];
      std::set<uint16_t> items;
      ASSERT_TRUE(ReadLibraryItems(movie.streams["Contents"], items));
      EXPECT_TRUE(PageFitsDocument(page, 4, &items));
      EXPECT_TRUE(PageNames(page, "EventSound"));
      EXPECT_TRUE(PageNames(page, "StreamSound"));
      const std::vector<PageLayer> layers = ReadPageLayers(page, WalkPage(page));
      ASSERT_EQ(layers.size(), 3u);
      auto starts = [](const PageLayer& l) {
        std::vector<uint32_t> v;
        for (const PageKeyframe& k : l.keyframes) v.push_back(k.start);
        return v;
      };
      // The event sound's keyframe is frame 2 alone; the stream's runs on.
      EXPECT_EQ(starts(layers[1]), (std::vector<uint32_t>{0, 1, 2}));
      EXPECT_EQ(layers[1].frames(), 4u);
      EXPECT_EQ(starts(layers[2]), (std::vector<uint32_t>{0, 1}));
      EXPECT_EQ(layers[2].frames(), 3u);
      // The sounds' media: the event sound and the stream.
      EXPECT_TRUE(movie.streams.count("Media 1") && movie.streams.count("Media 2"));
      // The scene keeps no sound layer of its own.
      EXPECT_FALSE(PageNames(movie.streams["Page 1"], "EventSound"));
      EXPECT_FALSE(PageNames(movie.streams["Page 1"], "StreamSound"));
    }
  }
}

// Damaged or misplaced sound tags in a sprite: the sound handlers read
// nothing past the sprite's body, and a sound that cannot be read leaves
// its layer out.
TEST(SpriteTags, HostileSpriteSoundsStayInsideTheBody) {
  const std::vector<uint8_t> place = PlaceObject2Tag({.depth = 1, .character = 1});
  // A block whose length runs past the sprite's body into the movie.
  std::vector<uint8_t> longBlock = SwfBytes().u16(19 << 6 | 0x3F).u32(400).data();
  struct Row {
    const char* what;
    std::vector<uint8_t> inner, after;
    bool converts, event, stream;
  };
  const Row rows[] = {
      {"blocks only after the sprite",
       Tags({place, StreamHeadTag(18, 10), ShowFrameTag()}),
       Tags({StreamBlockTag(10), ShowFrameTag(), StreamBlockTag(10), ShowFrameTag()}), true, false, false},
      {"a block past the body", Tags({place, StreamHeadTag(18, 10), ShowFrameTag(), longBlock}),
       Tags({StreamBlockTag(200), ShowFrameTag()}), false, false, false},
      {"StartSound cut short", Tags({place, SwfWriter::TagBytes(15, {6}), ShowFrameTag()}), {}, true, false, false},
      {"StartSound of no sound", Tags({place, SwfWriter::TagBytes(15, SwfBytes().u16(9).u8(0)), ShowFrameTag()}),
       {}, true, false, false},
      {"envelope past the tag",
       Tags({place, SwfWriter::TagBytes(15, SwfBytes().u16(6).u8(8).u8(200).u32(0)), ShowFrameTag()}), {}, true,
       false, false},
      {"head without format", Tags({place, SwfWriter::TagBytes(18, {0x0E}), StreamBlockTag(10), ShowFrameTag()}),
       {}, true, false, false},
      {"sounds after the last frame", Tags({place, ShowFrameTag(), SwfWriter::TagBytes(15, SwfBytes().u16(6).u8(0))}),
       {}, true, true, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ProgramMovie movie;
    const auto converted = movie(SoundSpriteMovie(8, SpriteTag(4, 1, r.inner), r.after));
    EXPECT_EQ(bool(converted), r.converts) << converted.message();
    if (!r.converts) {
      EXPECT_EQ(movie.run.status, 1);
      EXPECT_NE(movie.run.output.find("25"), std::string::npos) << movie.run.output;
      continue;
    }
    ASSERT_TRUE(movie.streams.count("Symbol 2"));
    const std::vector<uint8_t>& page = movie.streams["Symbol 2"];
    EXPECT_TRUE(PageFitsDocument(page, 1, nullptr));
    EXPECT_EQ(PageNames(page, "EventSound"), r.event);
    EXPECT_EQ(PageNames(page, "StreamSound"), r.stream);
  }
}

// Sprites that wait for the scene go once no sprite they place still
// waits, the earliest defined first; sprites waiting for each other go in
// their order. A chain 5 -> 6 -> 7 goes 7, 6, 5; sprite 11 waits for both
// sprites of id 10; 8 and 9, placing each other, go last, in their order.
// Sprite 12 places a hundred characters, none of them waiting.
TEST(SpriteTags, WaitingSpritesGoOnceWhatTheyPlaceIsThere) {
  const auto places = [](std::initializer_list<uint16_t> ids) {
    std::vector<uint8_t> tags;
    uint16_t depth = 0;
    for (uint16_t id : ids) tags = Tags({tags, PlaceObject2Tag({.depth = ++depth, .character = id})});
    return Tags({tags, ShowFrameTag()});
  };
  std::vector<uint8_t> many;
  for (uint16_t id = 200; id < 300; ++id)
    many = Tags({many, PlaceObject2Tag({.depth = uint16_t(id - 199), .character = id})});
  const std::vector<uint8_t> tags =
      Tags({SpriteTag(5, 1, places({6})), SpriteTag(6, 1, places({7, 1})), SpriteTag(7, 1, places({1})),
            SpriteTag(8, 1, places({9, 1})), SpriteTag(9, 1, places({8, 1})), SpriteTag(10, 1, places({1})),
            SpriteTag(10, 1, places({1, 10})), SpriteTag(11, 1, places({10})),
            SpriteTag(12, 1, Tags({many, PlaceObject2Tag({.depth = 200, .character = 1}), ShowFrameTag()})),
            ShapeTag(1), PlaceObject2Tag({.depth = 1, .character = 5}), PlaceObject2Tag({.depth = 2, .character = 8}),
            PlaceObject2Tag({.depth = 3, .character = 11}), PlaceObject2Tag({.depth = 4, .character = 12}),
            ShowFrameTag()});
  ConverterContext ctx;
  RecordingShell shell;
  ctx.m_pShell = &shell;
  TempDir dir;
  WriteFileBytes(dir.file("in.swf"), Movie(8, tags));
  ASSERT_EQ(ConvertMovie(ctx, dir.file("in.swf"), dir.file("out.fla"), 0), uint32_t(kResultDone));
  std::vector<uint16_t> rows;
  for (uint32_t row = 0; row < ctx.m_nStreams; ++row) rows.push_back(ctx.m_pStreamItemNo.at(row));
  EXPECT_EQ(rows, (std::vector<uint16_t>{1, 7, 6, 5, 10, 10, 11, 12, 8, 9}));
}

}  // namespace
}  // namespace tovrani
