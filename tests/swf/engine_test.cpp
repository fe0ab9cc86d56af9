#include "swf/engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/stream_placement.h"
#include "support/byte_sink.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "swf/converter_context.h"

namespace tovrani {
namespace {

using test::ByteSink;
using test::ReadFileBytes;
using test::SwfWriter;
using test::TempDir;
using test::WriteFileBytes;

std::vector<uint8_t> ReadAll(std::FILE* f) {
  std::fflush(f);
  std::vector<uint8_t> out;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(uint8_t(c));
  return out;
}

// Runs the engine and keeps what it leaves for the finish.
struct EngineRun {
  ConverterContext ctx;
  test::RecordingShell shell;
  EngineServices services;
  std::vector<uint8_t> page, actionLayer;
  bool finished = false;
  uint32_t result = 0;

  EngineRun() {
    ctx.m_pShell = &shell;
    services.finish = [this](ConverterContext& c) {
      finished = true;
      page = ReadAll(c.m_pPageWorkFile);
      actionLayer = ReadAll(c.m_pActionLayerFile);
      return uint32_t(kResultDone);
    };
  }
  uint32_t operator()(const std::vector<uint8_t>& movie) {
    WriteFileBytes(dir.file("in.swf"), movie);
    result = ConvertMovie(ctx, dir.file("in.swf"), dir.file("out.fla"), 0, services);
    return result;
  }
  TempDir dir;
};

// The scene page of a timeline without placements.
std::vector<uint8_t> EmptyScene(uint8_t level, uint16_t frames) {
  std::FILE* s = std::tmpfile();
  CopyFileHead(s);
  if (level >= 2) {
    std::fseek(s, 15, SEEK_SET);
    std::fputc(4, s);
    std::fseek(s, 32, SEEK_SET);
    std::fputc(4, s);
    std::fseek(s, 0, SEEK_END);
  }
  g_shortLayerEndLead = 0;
  if (level >= 2) {
    WriteLastEmptyFrameNew(s, frames);
    WriteLayerTailNew(s, "Layer 1", true, false, false, 0, 0);
    WriteLayerEndNew(s, 3);
  } else {
    WriteLastEmptyFrameOld(s, frames);
    WriteLayerTailOld(s, "Layer 1", true, false, false, 0, 0);
    WriteLayerEndOld(s, 3);
  }
  auto bytes = ReadAll(s);
  std::fclose(s);
  return bytes;
}

SwfWriter Frames(int n, uint8_t version = 8) {
  SwfWriter w(version);
  for (int i = 0; i < n; ++i) w.showFrame();
  return w;
}

TEST(EngineTest, RefusedInputsGiveTheirResultCodes) {
  {
    EngineRun run;
    EXPECT_EQ(
        ConvertMovie(run.ctx, run.dir.file("missing.swf"), run.dir.file("o.fla"), 0, run.services),
        16u);
  }
  {
    EngineRun run;
    EXPECT_EQ(run({'F', 'W', 'S', 8, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 136u);
  }
  {
    EngineRun run;
    EXPECT_EQ(run(std::vector<uint8_t>(40, 'G')), 137u);
    EXPECT_TRUE(run.shell.messages.empty());
  }
  {
    // LZMA movies are refused with a message, never read.
    EngineRun run;
    auto movie = Frames(1).end().build();
    movie[0] = 'Z';
    EXPECT_EQ(run(movie), 137u);
    ASSERT_EQ(run.shell.messages.size(), 1u);
    EXPECT_NE(run.shell.messages[0].find("ZWS"), std::string::npos);
  }
  {
    // Wrong declared length and no ShowFrame-End pair to cut at.
    EngineRun run;
    auto movie = SwfWriter(8).tag(9, {1, 2, 3}).build();
    movie[4] += 7;
    EXPECT_EQ(run(movie), 138u);
  }
  {
    // A compressed movie that inflates to 13 bytes.
    EngineRun run;
    auto movie = Frames(2).end().build(true);
    movie[4] = 13;
    movie[5] = movie[6] = movie[7] = 0;
    EXPECT_EQ(run(movie), 18u);
  }
  {
    EngineRun run;
    EXPECT_EQ(ConvertMovie(run.ctx, "x", "y", 3, run.services), 156u);
  }
}

TEST(EngineTest, FailureLeavesAnOlderDocumentAndNoWorkFiles) {
  EngineRun run;
  WriteFileBytes(run.dir.file("in.swf"), Frames(1).end().build());
  EXPECT_EQ(
      ConvertMovie(run.ctx, run.dir.file("in.swf"), run.dir.file("none/o.fla"), 0, run.services),
      43u);
  EXPECT_FALSE(run.finished);

  WriteFileBytes(run.dir.file("out.fla"), {1, 2, 3});
  auto movie = SwfWriter(8).tag(9, {1, 2, 3}).build();
  movie[4] += 7;
  EXPECT_EQ(run(movie), 138u);
  EXPECT_EQ(ReadFileBytes(run.dir.file("out.fla")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(run.dir.path()), {}), 2);
  EXPECT_EQ(run.ctx.m_pSwfFile, nullptr);
  EXPECT_EQ(run.ctx.m_pWorkFolder, nullptr);
}

TEST(EngineTest, CompressedAndPlainMoviesGiveTheSameDocument) {
  SwfWriter w(8);
  w.tag(69, {0x08, 0, 0, 0}).tag(56, {1, 0, 4, 0, 'x', 0});
  for (int i = 0; i < 50; ++i) w.tag(9, {uint8_t(i), 2, 3}).showFrame();
  w.end();
  EngineRun plain, packed;
  ASSERT_EQ(plain(w.build(false)), 0u);
  ASSERT_EQ(packed(w.build(true)), 0u);
  EXPECT_FALSE(plain.ctx.m_bSwfCompressed);
  EXPECT_TRUE(packed.ctx.m_bSwfCompressed);
  EXPECT_EQ(packed.ctx.m_wSceneFrames, 50);
  EXPECT_BYTES(packed.page, plain.page);
  EXPECT_BYTES(packed.actionLayer, plain.actionLayer);
  ASSERT_EQ(packed.ctx.m_pLinkages.size(), 1u);
  EXPECT_EQ(packed.ctx.m_pLinkages[0].strings[0], "x");
}

TEST(EngineTest, FormatLevelAndFramesOfTheScene) {
  for (uint8_t version : {5, 7, 8, 10}) {
    EngineRun run;
    ASSERT_EQ(run(Frames(3, version).end().build()), 0u);
    const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
    EXPECT_EQ(run.ctx.m_nFlaFormat, level);
    EXPECT_EQ(run.ctx.m_nSwfVersion, version);
    // The last ShowFrame, followed by End, builds the scene with its frame.
    EXPECT_EQ(run.ctx.m_wSceneFrames, 3);
    EXPECT_BYTES(run.page, EmptyScene(level, 3));
    EXPECT_EQ(run.ctx.m_rcFrame.xmax, 11000);
    EXPECT_EQ(run.ctx.m_rcFrame.ymax, 8000);
    EXPECT_EQ(run.ctx.m_wFrameCount, 3);
  }
}

TEST(EngineTest, SceneIsBuiltWhateverEndsTheMovie) {
  {
    // No End tag after the last ShowFrame.
    EngineRun run;
    ASSERT_EQ(run(Frames(4).build()), 0u);
    EXPECT_EQ(run.ctx.m_wSceneFrames, 4);
  }
  {
    // No tags at all.
    EngineRun run;
    ASSERT_EQ(run(SwfWriter(8).build()), 0u);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.ctx.m_wSceneFrames, 0);
  }
  {
    // A tag running past the data stops the statistics pass before any
    // tag is converted.
    EngineRun run;
    auto w = Frames(2);
    w.tag(9, {0, 0, 0});
    auto movie = w.showFrame().end().build();
    movie[movie.size() - 9] |= 0x3F;  // SetBackgroundColor now claims a long length
    EXPECT_EQ(run(movie), 19u);
    EXPECT_FALSE(run.finished);
    // The same tag after the End is never reached.
    EngineRun after;
    auto w2 = Frames(2);
    auto movie2 = w2.end().tag(9, {0, 0, 0}).build();
    movie2[movie2.size() - 5] |= 0x3F;
    ASSERT_EQ(after(movie2), 0u);
    EXPECT_EQ(after.ctx.m_wSceneFrames, 2);
  }
  {
    // Junk after the movie that the declared length does not count.
    EngineRun run;
    auto movie = Frames(2).end().build();
    auto real = movie;
    movie.insert(movie.end(), {9, 9, 9, 9, 9});
    ASSERT_EQ(run(movie), 0u);
    EXPECT_EQ(run.ctx.m_wSceneFrames, 2);
    // Junk of many scan blocks.
    EngineRun big;
    auto padded = real;
    padded.insert(padded.end(), 300000, 0x11);
    ASSERT_EQ(big(padded), 0u);
    EXPECT_EQ(big.ctx.m_nSwfEnd, real.size());
    // A declared length past the data is cut after the last ShowFrame-End.
    EngineRun run2;
    uint32_t len = uint32_t(movie.size() + 100);
    for (int i = 0; i < 4; ++i) movie[4 + i] = uint8_t(len >> (8 * i));
    ASSERT_EQ(run2(movie), 0u);
    EXPECT_EQ(run2.ctx.m_nSwfEnd, real.size());
  }
}

TEST(EngineTest, MainTimelineOffLeavesOnlyTheEnd) {
  SwfWriter w(8);
  w.tag(26, test::SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0));
  for (int i = 0; i < 5; ++i) w.showFrame();
  const auto movie = w.end().build();
  EngineRun on;
  ASSERT_EQ(on(movie), 0u);
  EXPECT_EQ(on.ctx.m_wSceneFrames, 5);
  EXPECT_EQ(on.ctx.m_pMovieEvents.size(), 1u);
  EXPECT_EQ(on.ctx.m_movieLayers.lastInUse(), 0);

  EngineRun off;
  off.ctx.options.mainTimeline = 0;
  ASSERT_EQ(off(movie), 0u);
  EXPECT_EQ(off.ctx.m_wSceneFrames, 0);
  EXPECT_TRUE(off.ctx.m_pMovieEvents.empty());
  EXPECT_EQ(off.ctx.m_movieLayers.lastInUse(), -1);
}

// A shell whose Cancel is pressed once the tag loop reaches a file offset.
struct CancelAtOffset : test::RecordingShell {
  uint32_t offset = 0;
  bool PumpMessages() override { return mainPosition >= offset; }
};

TEST(EngineTest, CancelKeepsTheFramesDone) {
  EngineRun run;
  CancelAtOffset shell;
  run.ctx.m_pShell = &shell;
  const auto movie = Frames(100).end().build();
  shell.offset = uint32_t(movie.size() - 2 * 60);  // at the 40th frame
  ASSERT_EQ(run(movie), 0u);
  EXPECT_TRUE(run.finished);
  EXPECT_TRUE(run.ctx.m_bCancel);
  const uint16_t done = run.ctx.m_wSceneFrames;
  EXPECT_EQ(done, 40);
  EXPECT_BYTES(run.page, EmptyScene(2, done));
}

TEST(EngineTest, FrameNumberNeverWraps) {
  EngineRun run;
  SwfWriter w(8);
  for (int i = 0; i < 70000; ++i) w.showFrame();
  ASSERT_EQ(run(w.end().build()), 0u);
  EXPECT_EQ(run.ctx.m_wSceneFrames, 0xFFFF);
}

TEST(EngineTest, PublishNameReplacesTheExtension) {
  EXPECT_EQ(PublishSwfName("C:\\out\\a.fla"), "a.swf");
  EXPECT_EQ(PublishSwfName("ab"), "abswf");
}

// Cut and flipped copies of a small movie run to a result code, with no
// crash, hang or leak.
TEST(EngineTest, DamagedMoviesNeverCrash) {
  SwfWriter w(8);
  w.tag(69, {0x08, 0, 0, 0}).tag(9, {10, 20, 30});
  w.tag(56, {1, 0, 1, 0, 'a', 0});
  SwfWriter sprite;
  sprite.tag(2, {1, 0, 0, 0}).showFrame().end();
  w.tag(39, test::SwfBytes().u16(2).u16(1).bytes(sprite.tags()))
      .tag(11, {3, 0, 1})
      .tag(74, {3, 0, 0})
      .showFrame()
      .showFrame()
      .end();
  const auto movie = w.build();

  auto check = [](const std::vector<uint8_t>& m) {
    EngineRun run;
    run.ctx.options.textJsflImport = 1;
    run.ctx.options.shapeJsflImport = 1;
    uint32_t r = run(m);
    EXPECT_TRUE(r == 0 || r == 136 || r == 137 || r == 138 || r == 18 || r == 19) << r;
  };
  std::mt19937 rng(6);
  for (const auto& whole : {movie, w.build(true)}) {
    for (size_t n = 0; n < whole.size(); ++n) check({whole.begin(), whole.begin() + long(n)});
    for (int i = 0; i < 150; ++i) {
      auto m = whole;
      for (int k = 0; k < 3; ++k) m[8 + rng() % (m.size() - 8)] ^= uint8_t(1u << (rng() % 8));
      check(m);
    }
  }
}

}  // namespace
}  // namespace tovrani
