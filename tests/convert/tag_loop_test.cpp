#include "convert/tag_loop.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/byte_sink.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"
#include "fla/work_files.h"
#include "fla/work_folder.h"

namespace tovrani {
namespace {

using test::SwfBytes;
using test::SwfWriter;

// Runs the tag loop alone over a movie, logging the chain entries. The
// container's work files are open, as the engine leaves them: a placement
// that fails stops the loop.
struct LoopRun {
  test::WorkFiles files;
  ConverterContext& ctx = files.ctx;
  test::RecordingShell shell;
  WorkFolder work;
  TagLoopState st;
  FileHandle swf;

  LoopRun() {
    ctx.m_pShell = &shell;
    work.create();
    ctx.m_pWorkFolder = &work;
    st.logDispatch = true;
  }
  std::vector<int> operator()(const std::vector<uint8_t>& movie) {
    EXPECT_EQ(Result(movie), 0u);
    return st.dispatchLog;
  }
  uint32_t Result(const std::vector<uint8_t>& movie) {
    test::WriteFileBytes(work.file("m.swf"), movie);
    swf = FileHandle(work.file("m.swf"), "rb");
    std::fseek(swf.get(), 8 + 9 + 4, SEEK_SET);  // past the header of the writer's stage
    ctx.m_pSwfFile = swf.get();
    ctx.m_nSwfEnd = movie.size();
    ctx.m_nSwfVersion = movie[3];
    return RunTagLoop(ctx, st, EngineServices{});
  }
};

std::vector<uint8_t> SpriteBody(const SwfWriter& inner) {
  return SwfBytes().u16(7).u16(1).bytes(inner.tags());
}

TEST(TagLoopTest, ChainOrderAndLiftedDefinitions) {
  SwfWriter inner, w(8);
  inner.tag(2, {5, 0, 0}).tag(26, {2, 1, 0}).tag(39, SpriteBody(SwfWriter().tag(2, {6, 0}))).showFrame();
  w.tag(69, {1, 0, 0, 0}).tag(56, {0, 0}).tag(15, {1, 0}).tag(2, {1, 0}).tag(46, {1, 0});
  w.tag(6, {1, 0}).tag(9, {0, 0, 0}).tag(14, {}).tag(60, {1, 0}).tag(19, {1}).tag(39, SpriteBody(inner));
  w.tag(34, {1, 0}).tag(43, {'a', 0}).tag(26, {2, 1, 0}).tag(10, {1, 0}).tag(37, {1, 0});
  w.tag(11, {1, 0}).tag(777, {1}).showFrame().end();
  LoopRun run;
  // Inside the sprite, the shape and the nested sprite (not its own shape)
  // come before the sprite itself; the placement inside stays there.
  EXPECT_EQ(run(w.build()), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 4, 11, 11, 12, 13, 13, 15, 16, 17, 14}));
  EXPECT_EQ(run.ctx.m_wSceneFrames, 1);
}

TEST(TagLoopTest, OptionGates) {
  ConverterContext ctx;
  ctx.options.linkage = 0;
  EXPECT_EQ(ChainEntryFor(ctx, 56, 10), 0);
  EXPECT_EQ(ChainEntryFor(ctx, 2, 0), 0);  // an empty shape reaches no handler
  ctx.options.frameLabel = 0;
  EXPECT_EQ(ChainEntryFor(ctx, 43, 2), 0);
  EXPECT_EQ(ChainEntryFor(ctx, 26, 2), 13);
  ctx.options.mainTimeline = 0;
  EXPECT_EQ(ChainEntryFor(ctx, 1, 0), 0);
  EXPECT_EQ(ChainEntryFor(ctx, 0, 0), 14);
  EXPECT_EQ(ChainEntryFor(ctx, 15, 4), 0);

  // With "Shape" off a shape still reaches its handler, which only fills
  // the shape cache.
  LoopRun run;
  run.ctx.options.shape = 0;
  SwfWriter w(8);
  EXPECT_EQ(run(w.tag(2, {1, 0}).tag(39, SpriteBody(SwfWriter().tag(22, {2, 0}))).showFrame().end().build()),
            (std::vector<int>{4, 11, 14}));
}

TEST(TagLoopTest, TextSettingsSideCopiesAndTheSpriteEnd) {
  // CSMTextSettings travels with the text before it when the script rebuilds
  // texts (SWF 8 and later), and reaches its own handler otherwise.
  auto text = [](uint8_t version) {
    return SwfWriter(version).tag(11, {1, 0, 9}).tag(74, {1, 0, 0, 0}).showFrame().end().build();
  };
  LoopRun v8, v7, off;
  v8.ctx.options.textJsflImport = v7.ctx.options.textJsflImport = 1;
  EXPECT_EQ(v8(text(8)), (std::vector<int>{17, 14}));
  EXPECT_EQ(v7(text(7)), (std::vector<int>{17, 15, 14}));
  EXPECT_EQ(off(text(8)), (std::vector<int>{17, 15, 14}));
  // Settings far longer than any real ones still travel with their text.
  LoopRun longSettings;
  longSettings.ctx.options.textJsflImport = 1;
  const std::vector<uint8_t> settings(8000, 0x20);
  EXPECT_EQ(longSettings(SwfWriter(8).tag(11, {1, 0, 9}).tag(74, settings).showFrame().end().build()),
            (std::vector<int>{17, 14}));

  // The font side copy holds whole tags in file order; the bitmap tags stay
  // in the movie, where the index finds them whole, each by its id.
  LoopRun run;
  run.ctx.options.textJsflImport = run.ctx.options.shapeJsflImport = 1;
  std::vector<uint8_t> big(100, 0x5A), fonts = SwfWriter::TagBytes(10, {1, 0, 2});
  const std::vector<uint8_t> withBitmaps =
      SwfWriter(8).tag(10, {1, 0, 2}).tag(6, {1, 0}).tag(48, big).tag(21, big, true).tag(2, {1, 0}).end().build();
  run(withBitmaps);
  test::Append(fonts, SwfWriter::TagBytes(48, big));
  EXPECT_BYTES(test::ReadFileBytes(run.work.file("ffst")), fonts);
  EXPECT_FALSE(std::filesystem::exists(run.work.file("ffsp")));
  const auto inMovie = [&withBitmaps](const ConverterContext::MovieTag& t) {
    if (t.offset + t.size > withBitmaps.size()) return std::vector<uint8_t>();
    const auto from = withBitmaps.begin() + long(t.offset);
    return std::vector<uint8_t>(from, from + long(t.size));
  };
  ASSERT_EQ(run.ctx.m_bitmapTags.size(), 2u);
  EXPECT_BYTES(inMovie(run.ctx.m_bitmapTags.at(1)), SwfWriter::TagBytes(6, {1, 0}));
  EXPECT_BYTES(inMovie(run.ctx.m_bitmapTags.at(0x5A5A)), SwfWriter::TagBytes(21, big, true));

  // A tag inside a sprite that claims more than the sprite holds ends the
  // lifting walk, and the sprite's own loop ends the conversion.
  SwfBytes body;
  body.u16(7).u16(1).bytes(SwfWriter::TagBytes(2, {1, 0})).u16(2 << 6 | 0x3F).u32(0xFFFFFFF0).u8(0);
  LoopRun sprite;
  const std::vector<uint8_t> movie = SwfWriter(8).tag(39, body).showFrame().end().build();
  test::WriteFileBytes(sprite.work.file("m.swf"), movie);
  sprite.swf = FileHandle(sprite.work.file("m.swf"), "rb");
  std::fseek(sprite.swf.get(), 8 + 9 + 4, SEEK_SET);
  sprite.ctx.m_pSwfFile = sprite.swf.get();
  sprite.ctx.m_nSwfEnd = movie.size();
  EXPECT_EQ(RunTagLoop(sprite.ctx, sprite.st, EngineServices{}), uint32_t(kResultSpriteTagPastEnd));
  EXPECT_EQ(sprite.st.dispatchLog, (std::vector<int>{4, 11}));
}

// Once a placement is refused the document cannot be finished: the loop
// and the walk over a sprite's definitions end at the next tag, with the
// writer's result.
TEST(TagLoopTest, ARefusedPlacementEndsTheLoop) {
  for (bool inSprite : {false, true}) {
    SCOPED_TRACE(inSprite);
    SwfWriter shapes(8), sprite(8);
    for (uint16_t id = 1; id <= 4; ++id) shapes.tag(2, test::SquareShape(id, 0, 200, 0x808080));
    sprite.tag(39, SwfBytes().u16(9).u16(1).bytes(shapes.tags()).data());
    SwfWriter& w = inSprite ? sprite : shapes;
    LoopRun run;
    // Symbol 65534 is the last the document can name.
    run.ctx.m_wCurSymbolId = 0xFFFE;
    EXPECT_EQ(run.Result(w.showFrame().end().build()), uint32_t(kResultTooManyItems));
    EXPECT_EQ(run.st.dispatchLog, (std::vector<int>{4, 4}));
    EXPECT_EQ(run.ctx.m_nStreams, 1u);
  }
}

TEST(TagLoopTest, HandOffEndsThePlacementAtItsFrame) {
  LoopRun run;
  run.ctx.m_pMovieLayerDepths = {{9, 7}, {2, 5}, {2, 6}};
  SwfWriter w(8);
  w.tag(26, SwfBytes().u8(0x06).u16(5).u16(1).matrix(0, 0)).showFrame().showFrame().showFrame();
  run(w.end().build());
  const DepthLayerTable& layers = run.ctx.m_movieLayers;
  ASSERT_EQ(layers.layersWithKey(5).size(), 1u);
  const auto& entry = layers[size_t(layers.layersWithKey(5)[0])].entries[0];
  EXPECT_EQ(entry.startFrame, 0);
  EXPECT_EQ(entry.endFrame, 1);  // the frame before the hand-off's
}

TEST(TagLoopTest, VectorizationQuestionCancelsOnYes) {
  LoopRun run;
  run.shell.answerYes = true;
  g_bVectorizationProblem = 1;
  run(SwfWriter(8).showFrame().showFrame().showFrame().end().build());
  EXPECT_EQ(run.shell.questions.size(), 1u);
  EXPECT_EQ(g_bVectorizationProblem, 0);
  EXPECT_TRUE(run.ctx.m_bCancel);
  EXPECT_EQ(run.ctx.m_wSceneFrames, 1);
}

}  // namespace
}  // namespace tovrani
