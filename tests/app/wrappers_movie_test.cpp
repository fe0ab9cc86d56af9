// Wrapper symbols and motion tweens through the program: a moved movie clip
// with an init-action row, plain and tinted videos, and smooth motion with
// the approximation on, each checked against its movie frame by frame.
#include <gtest/gtest.h>

#include <climits>

#include "app/program_runner.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/page_walker.h"
#include "support/swf_writer.h"
#include "support/work_budget.h"

namespace tovrani::test {
namespace {

struct Converted {
  int status = -1;
  std::string output;
  std::map<std::string, std::vector<uint8_t>> streams;
};

// Both options of the tween approximation on.
const std::vector<std::string> kBothApproximations = {"--set", "Approximate Motion Tweens...=on",
                                                      "--set", "Approximate Easing Value=on"};

Converted Convert(const std::vector<uint8_t>& movie, std::vector<std::string> args = {}) {
  TempDir dir;
  WriteFileBytes(dir.file("m.swf"), movie);
  ExpectSameBytesWhereverWorkFilesLive({dir.file("m.swf")});
  const std::string fla = dir.file("m.fla");
  args.insert(args.begin(), {"-q", dir.file("m.swf"), "-o", fla});
  const ProgramRun run = RunProgram(args, dir.file("config"));
  Converted c;
  c.status = run.status;
  c.output = run.output;
  if (run.status == 0) c.streams = ExpectReadableDocument(fla);
  return c;
}

// The pages that hold a layer of this name.
size_t PagesWithLayer(const Converted& c, const std::string& name) {
  std::string utf16;
  for (char ch : name) utf16 += std::string{ch, '\0'};
  size_t n = 0;
  for (const auto& [stream, bytes] : c.streams) {
    const std::string text(bytes.begin(), bytes.end());
    if ((stream.starts_with("Symbol ") || stream == "Page 1") &&
        (text.find(char(name.size()) + name) != std::string::npos || text.find(utf16) != std::string::npos))
      ++n;
  }
  return n;
}

size_t Count(const Converted& c, const std::string& stream, const std::string& cls) {
  const auto it = c.streams.find(stream);
  return it == c.streams.end() ? 0 : WalkPage(it->second).count(cls);
}

// Sprite 10 (a masked square) with an init-action row, placed and moved
// twice: the scene places a wrapper symbol that holds the clip.
TEST(WrappersMovie, MovedClipWithInitActionGetsAWrapper) {
  for (const uint8_t version : {6, 8}) {
    SwfWriter w(version);
    w.tag(2, SquareShape(1, 0, 400, 0xFF0000));
    SwfBytes sprite;
    sprite.u16(10).u16(1);
    // A mask over a square, compared frame by frame on the sprite's page.
    sprite.bytes(SwfWriter::TagBytes(26, SwfBytes().u8(0x46).u16(1).u16(1).matrix(0, 0).u16(2).data()));
    sprite.bytes(SwfWriter::TagBytes(26, SwfBytes().u8(0x06).u16(2).u16(1).matrix(100, 100).data()));
    sprite.bytes(SwfWriter::TagBytes(1, {})).bytes(SwfWriter::TagBytes(0, {}));
    w.tag(39, sprite.data());
    w.tag(59, SwfBytes().u16(10).u8(0).data());
    w.tag(26, SwfBytes().u8(0x26).u16(1).u16(10).matrix(0, 0).str("comp").data()).showFrame();
    w.tag(26, SwfBytes().u8(0x05).u16(1).matrix(200, 0).data()).showFrame();
    w.tag(26, SwfBytes().u8(0x05).u16(1).matrix(400, 100).data()).showFrame();
    w.end();
    const std::vector<uint8_t> movie = w.build();
    const Converted c = Convert(movie);
    ASSERT_EQ(c.status, 0) << c.output;
    EXPECT_TRUE(DocumentShowsMovie(movie, c.streams)) << int(version);
    EXPECT_EQ(Count(c, "Page 1", "CPicSprite"), 0u);
    EXPECT_EQ(Count(c, "Page 1", "CPicSymbol"), 3u);
    size_t wrappers = 0;
    for (const auto& [name, bytes] : c.streams)
      if (name.starts_with("Symbol ")) wrappers += WalkPage(bytes).count("CPicSprite");
    EXPECT_EQ(wrappers, 1u);
  }
}

// Video 7 placed plain, tinted and at ratio 12: one direct instance and
// one "Video" symbol that the other two place.
TEST(WrappersMovie, EmbeddedVideosPlainAndWrapped) {
  for (const uint8_t version : {6, 8}) {
    SwfWriter w(version);
    w.tag(60, SwfBytes().u16(7).u16(4).u16(32).u16(24).u8(0).u8(2).data());
    const int32_t add[4] = {40, 0, 0, 0}, mult[4] = {256, 256, 256, 256};
    w.tag(26, SwfBytes().u8(0x06).u16(1).u16(7).matrix(0, 0).data());
    w.tag(26, SwfBytes().u8(0x0E).u16(2).u16(7).matrix(800, 0).cxformWithAlpha(true, false, add, mult).data());
    w.tag(26, SwfBytes().u8(0x16).u16(3).u16(7).matrix(1600, 0).u16(12).data());
    for (uint16_t f = 0; f < 4; ++f) w.tag(61, SwfBytes().u16(7).u16(f).u8(0x10).u8(f).u8(0x20).data()).showFrame();
    w.end();
    const std::vector<uint8_t> movie = w.build();
    const Converted c = Convert(movie);
    ASSERT_EQ(c.status, 0) << c.output;
    EXPECT_TRUE(DocumentShowsMovie(movie, c.streams)) << int(version);
    EXPECT_EQ(Count(c, "Page 1", "CPicVideoStream"), 1u);
    EXPECT_EQ(Count(c, "Page 1", "CPicSymbol"), 2u);
    EXPECT_EQ(PagesWithLayer(c, "Video"), 1u);
  }
}

// Steady and accelerating motion become tweens with both options on; the
// frames inside them show the same objects in the same order.
TEST(WrappersMovie, SmoothMotionBecomesTweens) {
  SwfWriter w(8);
  w.tag(2, SquareShape(1, 0, 400, 0xFF0000));
  for (int32_t f = 0; f < 12; ++f) {
    const uint8_t first = f ? 0x05 : 0x06;
    SwfBytes steady, faster;
    steady.u8(first).u16(1);
    faster.u8(first).u16(2);
    if (!f) steady.u16(1), faster.u16(1);
    w.tag(26, steady.matrix(100 * f, 0).data());
    w.tag(26, faster.matrix(20 * f * f, 1000).data());
    w.showFrame();
  }
  w.end();
  const std::vector<uint8_t> movie = w.build();
  const Converted c = Convert(movie, kBothApproximations);
  ASSERT_EQ(c.status, 0) << c.output;
  EXPECT_TRUE(DocumentShowsMovie(movie, c.streams));
  const std::vector<uint8_t>& scene = c.streams.at("Page 1");
  size_t tweens = 0;
  for (const PageLayer& l : ReadPageLayers(scene, WalkPage(scene)))
    for (const PageKeyframe& k : l.keyframes) tweens += k.tween && k.duration > 1;
  EXPECT_EQ(tweens, 2u);
}

// Every frame of every tween within the bands of the movie's own values: a
// steady motion over three steps (its middle entry before the middle
// frame), a motion out and back, a flip through a scale of 0, and a fade.
TEST(WrappersMovie, TweensFollowTheMovie) {
  SwfWriter w(8);
  w.tag(2, SquareShape(1, 0, 400, 0xFF0000));
  const int32_t add[4] = {0, 0, 0, 0};
  for (int32_t f = 0; f < 12; ++f) {
    const uint8_t first = f ? 0x05 : 0x06;
    const int32_t back = f <= 6 ? 150 * f : 150 * (12 - f);
    SwfBytes steady, outAndBack, flip, fade;
    steady.u8(first).u16(1);
    outAndBack.u8(first).u16(2);
    flip.u8(first).u16(3);
    fade.u8(first | 8).u16(4);
    if (!f) steady.u16(1), outAndBack.u16(1), flip.u16(1), fade.u16(1);
    // Steps of 10 and 11 in turn: runs of three steps.
    w.tag(26, steady.matrix(21 * f / 2, 0).data());
    w.tag(26, outAndBack.matrix(back, 1000).data());
    w.tag(26, flip.matrix(3000, 0, true, 0x10000 - 0x3000 * f, 0x10000).data());
    const int32_t mult[4] = {256, 256, 256, 256 - 20 * f};
    w.tag(26, fade.matrix(0, 3000).cxformWithAlpha(false, true, add, mult).data());
    w.showFrame();
  }
  w.end();
  const std::vector<uint8_t> movie = w.build();
  const Converted c = Convert(movie, kBothApproximations);
  ASSERT_EQ(c.status, 0) << c.output;
  EXPECT_TRUE(DocumentShowsMovie(movie, c.streams));
}

// Hostile placements: a video id no DefineVideoStream made, a 300-character
// instance name, matrices at the ends of the range.
TEST(WrappersMovie, HostilePlacements) {
  SwfWriter w(8);
  w.tag(60, SwfBytes().u16(7).u16(2).u16(32).u16(24).u8(0).u8(2).data());
  w.tag(2, SquareShape(1, 0, 400, 0xFF0000));
  const std::string longName(300, 'n');
  w.tag(26, SwfBytes().u8(0x26).u16(1).u16(7).matrix(0, 0).str(longName).data());
  w.tag(26, SwfBytes().u8(0x06).u16(2).u16(9).matrix(0, 0).data());
  for (int32_t f = 0; f < 6; ++f) {
    SwfBytes p;
    p.u8(f ? 0x05 : 0x06).u16(3);
    if (!f) p.u16(1);
    w.tag(26, p.matrix(f % 2 ? 0x3FFFFFFF : -0x40000000, 0, true, f % 2 ? INT32_MAX / 2 : INT32_MIN / 2).data());
    w.showFrame();
  }
  w.end();
  const std::vector<uint8_t> movie = w.build();
  const Converted c = Convert(movie, {"--set", "Approximate Motion Tweens...=on"});
  ASSERT_EQ(c.status, 0) << c.output;
  EXPECT_TRUE(DocumentShowsMovie(movie, c.streams));
  // The name in the long form: FF, u16 300, then the text.
  const std::vector<uint8_t>& scene = c.streams.at("Page 1");
  const std::string text(scene.begin(), scene.end());
  std::string utf16;
  for (char ch : longName) utf16 += std::string{ch, '\0'};
  EXPECT_NE(text.find(std::string("\xFF\x2C\x01", 3) + utf16), std::string::npos);
}

}  // namespace
}  // namespace tovrani::test

namespace tovrani::test {
namespace {

// The corpus movies with videos, init actions or morph shapes, converted
// with the tween approximation on: every stream reads back, the script
// parses, and every page shows what the movie shows.
TEST(WrappersMovie, CorpusMoviesWithVideosInitActionsAndMorphs) {
  const std::vector<CorpusMovie> movies = CorpusMovies();
  if (movies.empty()) GTEST_SKIP() << "no corpus";
  int converted = 0;
  for (const CorpusMovie& m : movies) {
    if (!m.sound() || !(m.has("DefineVideoStream") || m.has("DoInitAction") || m.has("DefineMorphShape"))) continue;
    SCOPED_TRACE(m.name);
    const std::vector<uint8_t> movie = ReadFileBytes(m.path.string());
    const Converted c = Convert(movie, kBothApproximations);
    ASSERT_EQ(c.status, 0) << c.output;
    EXPECT_TRUE(DocumentShowsMovie(movie, c.streams));
    ++converted;
  }
  EXPECT_GT(converted, 0);
}

// Every corpus movie with both approximation options on: every frame of
// every tween stands within its band of what the movie shows.
TEST(WrappersMovie, CorpusTweensFollowTheMovie) {
  const std::vector<CorpusMovie> movies = CorpusMovies();
  if (movies.empty()) GTEST_SKIP() << "no corpus";
  int converted = 0;
  for (const CorpusMovie& m : movies) {
    SCOPED_TRACE(m.name);
    const std::vector<uint8_t> movie = ReadFileBytes(m.path.string());
    const Converted c = Convert(movie, kBothApproximations);
    if (c.status != 0) continue;  // movies the program refuses are another test's
    EXPECT_TRUE(DocumentShowsMovie(movie, c.streams));
    ++converted;
  }
  EXPECT_GT(converted, 0);
}

}  // namespace
}  // namespace tovrani::test
