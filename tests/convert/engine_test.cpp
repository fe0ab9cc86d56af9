#include "convert/engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include <sys/stat.h>

#include "fla/work_files.h"
#include "support/byte_sink.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"

namespace tovrani {
namespace {

using test::ReadFileBytes;
using test::SwfWriter;
using test::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

// Runs the engine and keeps the scene page it leaves for the finish.
struct EngineRun {
  test::TempDir dir;
  ConverterContext ctx;
  test::RecordingShell shell;
  EngineServices services;
  Bytes page, actionLayer;
  bool finished = false;

  EngineRun() {
    ctx.m_pShell = &shell;
    services.finish = [this](ConverterContext& c) {
      finished = true;
      page = test::WorkFiles::Contents(c.m_pPageWorkFile);
      actionLayer = test::WorkFiles::Contents(c.m_pActionLayerFile);
      return uint32_t(kResultDone);
    };
  }
  uint32_t operator()(const Bytes& movie, const std::string& out = "out.fla") {
    WriteFileBytes(dir.file("in.swf"), movie);
    return ConvertMovie(ctx, dir.file("in.swf"), dir.file(out), 0, services);
  }
};

SwfWriter Frames(int n, uint8_t version = 8) {
  SwfWriter w(version);
  for (int i = 0; i < n; ++i) w.showFrame();
  return w;
}

void SetDeclaredLength(Bytes& movie, uint32_t len) {
  for (int i = 0; i < 4; ++i) movie[4 + size_t(i)] = uint8_t(len >> (8 * i));
}

TEST(EngineTest, RefusalsGiveTheirCodeAndLeaveTheOlderDocument) {
  Bytes zws = Frames(1).end().build(), badLength = SwfWriter(8).tag(9, {1, 2, 3}).build();
  zws[0] = 'Z';  // LZMA: refused with a message, never read
  badLength[4] += 7;  // and no ShowFrame-End pair to cut at
  Bytes tiny = Frames(2).end().build(true);
  SetDeclaredLength(tiny, 13);
  const std::pair<Bytes, uint32_t> cases[] = {{{'F', 'W', 'S', 8, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 136},
                                              {Bytes(40, 'G'), 137}, {zws, 137}, {badLength, 138}, {tiny, 18}};
  for (const auto& [movie, code] : cases) {
    EngineRun run;
    WriteFileBytes(run.dir.file("out.fla"), {1, 2, 3});
    EXPECT_EQ(run(movie), code);
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(ReadFileBytes(run.dir.file("out.fla")), (Bytes{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(run.dir.path()), {}), 2);
    EXPECT_EQ(run.ctx.m_pSwfFile, nullptr);
    EXPECT_EQ(run.ctx.m_pWorkFolder, nullptr);
    if (movie[0] == 'Z') {
      ASSERT_EQ(run.shell.messages.size(), 1u);
      EXPECT_NE(run.shell.messages[0].find("ZWS"), std::string::npos);
    }
  }
  EngineRun run;
  // A source that is no plain file is refused by its type, never opened.
  EXPECT_EQ(ConvertMovie(run.ctx, run.dir.file("missing.swf"), run.dir.file("o.fla"), 0, run.services), 49u);
  EXPECT_EQ(run.ctx.m_strFailureDetail, "the movie cannot be read (No such file or directory)");
  ASSERT_EQ(::mkfifo(run.dir.file("fifo.swf").c_str(), 0600), 0);
  EXPECT_EQ(ConvertMovie(run.ctx, run.dir.file("fifo.swf"), run.dir.file("o.fla"), 0, run.services), 49u);
  EXPECT_EQ(run.ctx.m_strFailureDetail, "the movie is not a plain file but a FIFO");
  EXPECT_EQ(ConvertMovie(run.ctx, "x", "y", 3, run.services), 156u);
  EXPECT_EQ(run(Frames(1).end().build(), "none/o.fla"), 43u);
  EXPECT_FALSE(run.finished);
}

// The palette's class reference follows the document page's class and
// object and every object of the library, and must stay below 0x7FFF: the
// library holds 32,763 symbol pages. A movie of more sprites fails with 45
// at the first the library cannot take, and reads no tag after it.
TEST(EngineTest, AMoviePastWhatTheLibraryHoldsStopsThere) {
  SwfWriter w(8);
  w.tag(2, test::SquareShape(1, 0, 200, 0x808080));
  const size_t firstSprite = w.build().size();
  SwfWriter inner(8);
  inner.tag(26, test::SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame().end();
  const Bytes sprite = SwfWriter::TagBytes(39, test::SwfBytes().u16(2).u16(1).bytes(inner.tags()).data());
  for (int i = 0; i < 40000; ++i) w.tag(39, std::vector<uint8_t>(sprite.begin() + 2, sprite.end()));
  EngineRun run;
  EXPECT_EQ(run(w.showFrame().end().build()), uint32_t(kResultTooManyItems));
  EXPECT_FALSE(run.finished);
  EXPECT_EQ(run.ctx.m_nStreams, 32763u);  // the square's page and 32,762 sprites'
  // The last tag read is the sprite refused, the 32,763rd.
  EXPECT_EQ((run.shell.mainPosition - firstSprite) / sprite.size(), 32762u);
}

TEST(EngineTest, CompressedAndPlainMoviesGiveTheSameDocument) {
  SwfWriter w(8);
  w.tag(69, {0x08, 0, 0, 0}).tag(56, {1, 0, 4, 0, 'x', 0});
  for (int i = 0; i < 50; ++i) w.tag(9, {uint8_t(i), 2, 3}).showFrame();
  w.end();
  EngineRun plain, packed;
  ASSERT_EQ(plain(w.build(false)), 0u);
  ASSERT_EQ(packed(w.build(true)), 0u);
  EXPECT_TRUE(packed.ctx.m_bSwfCompressed && !plain.ctx.m_bSwfCompressed);
  EXPECT_EQ(packed.ctx.m_wSceneFrames, 50);
  EXPECT_BYTES(packed.page, plain.page);
  EXPECT_BYTES(packed.actionLayer, plain.actionLayer);
  ASSERT_EQ(packed.ctx.m_pLinkages.size(), 1u);
  EXPECT_EQ(packed.ctx.m_pLinkages[0].strings[0], "x");
}

TEST(EngineTest, FormatLevelAndSceneFrames) {
  for (uint8_t version : {5, 7, 8, 10}) {
    EngineRun run;
    ASSERT_EQ(run(Frames(3, version).end().build()), 0u);
    EXPECT_EQ(run.ctx.m_nFlaFormat, version < 7 ? 0 : version == 7 ? 1 : 2);
    EXPECT_EQ(run.ctx.m_wSceneFrames, 3);
    EXPECT_EQ(run.ctx.m_rcFrame.xmax, 11000);
    EXPECT_EQ(run.ctx.m_rcFrame.ymax, 8000);
  }
  EngineRun noEnd, noTags;
  ASSERT_EQ(noEnd(Frames(4).build()), 0u);
  EXPECT_EQ(noEnd.ctx.m_wSceneFrames, 4);
  ASSERT_EQ(noTags(SwfWriter(8).build()), 0u);
  EXPECT_TRUE(noTags.finished);
  EXPECT_EQ(noTags.ctx.m_wSceneFrames, 0);
  // A frame number that would wrap ends the movie.
  EngineRun many;
  ASSERT_EQ(many(Frames(70000).end().build()), 0u);
  EXPECT_EQ(many.ctx.m_wSceneFrames, 0xFFFF);
}

TEST(EngineTest, TagsPastTheDataAndTrailingJunk) {
  // A tag running past the data stops the statistics pass before any tag is
  // converted; the same tag after the End is never reached.
  Bytes before = Frames(2).tag(9, {0, 0, 0}).showFrame().end().build();
  before[before.size() - 9] |= 0x3F;  // SetBackgroundColor claims a long length
  Bytes after = Frames(2).end().tag(9, {0, 0, 0}).build();
  after[after.size() - 5] |= 0x3F;
  EngineRun cut, late;
  EXPECT_EQ(cut(before), 19u);
  EXPECT_FALSE(cut.finished);
  ASSERT_EQ(late(after), 0u);
  EXPECT_EQ(late.ctx.m_wSceneFrames, 2);

  // Junk the declared length does not count, short or of many scan blocks;
  // and a declared length past the data, cut after the last ShowFrame-End.
  const Bytes real = Frames(2).end().build();
  Bytes junk = real, padded = real;
  junk.insert(junk.end(), {9, 9, 9, 9, 9});
  padded.insert(padded.end(), 300000, 0x11);
  Bytes overlong = junk;
  SetDeclaredLength(overlong, uint32_t(junk.size() + 100));
  for (const Bytes& movie : {junk, padded, overlong}) {
    EngineRun run;
    ASSERT_EQ(run(movie), 0u);
    EXPECT_EQ(run.ctx.m_wSceneFrames, 2);
    EXPECT_EQ(run.ctx.m_nSwfEnd, real.size());
  }
}

TEST(EngineTest, MainTimelineOffLeavesOnlyTheEnd) {
  SwfWriter w(8);
  w.tag(26, test::SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0));
  for (int i = 0; i < 5; ++i) w.showFrame();
  const Bytes movie = w.end().build();
  EngineRun on, off;
  ASSERT_EQ(on(movie), 0u);
  EXPECT_EQ(on.ctx.m_wSceneFrames, 5);
  // The pass's records are let go once the tag loop's index holds them.
  EXPECT_TRUE(on.ctx.m_pMovieEvents.empty());
  EXPECT_EQ(on.ctx.m_movieLayers.lastInUse(), 0);
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
  EngineRun run, forty;
  CancelAtOffset shell;
  run.ctx.m_pShell = &shell;
  const Bytes movie = Frames(100).end().build();
  shell.offset = uint32_t(movie.size() - 2 * 60);  // at the 40th frame
  ASSERT_EQ(run(movie), 0u);
  EXPECT_TRUE(run.finished);
  EXPECT_TRUE(run.ctx.m_bCancel);
  EXPECT_EQ(run.ctx.m_wSceneFrames, 40);
  ASSERT_EQ(forty(Frames(40).end().build()), 0u);
  EXPECT_BYTES(run.page, forty.page);
  EXPECT_EQ(PublishSwfName("C:\\out\\a.fla"), "a.swf");
  EXPECT_EQ(PublishSwfName("ab"), "abswf");
}

// Cut and flipped copies of a small movie run to a result code, with no
// crash, hang or leak.
TEST(EngineTest, DamagedMoviesNeverCrash) {
  SwfWriter sprite, w(8);
  sprite.tag(2, {1, 0, 0, 0}).showFrame().end();
  w.tag(69, {0x08, 0, 0, 0}).tag(9, {10, 20, 30}).tag(56, {1, 0, 1, 0, 'a', 0});
  w.tag(39, test::SwfBytes().u16(2).u16(1).bytes(sprite.tags())).tag(11, {3, 0, 1}).tag(74, {3, 0, 0});
  w.showFrame().showFrame().end();
  auto check = [](const Bytes& m) {
    EngineRun run;
    run.ctx.options.textJsflImport = 1;
    run.ctx.options.shapeJsflImport = 1;
    uint32_t r = run(m);
    EXPECT_TRUE(r == 0 || r == 136 || r == 137 || r == 138 || r == 18 || r == 19 || (r >= 22 && r <= 25)) << r;
  };
  std::mt19937 rng(6);
  for (const Bytes& whole : {w.build(), w.build(true)}) {
    for (size_t n = 0; n < whole.size(); ++n) check({whole.begin(), whole.begin() + long(n)});
    for (int i = 0; i < 150; ++i) {
      Bytes m = whole;
      for (int k = 0; k < 3; ++k) m[8 + rng() % (m.size() - 8)] ^= uint8_t(1u << (rng() % 8));
      check(m);
    }
  }
}

}  // namespace
}  // namespace tovrani
