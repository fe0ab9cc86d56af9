// Any allocation of a conversion may be the one that passes the memory
// bound. The sanitizer build's program refuses the allocation a test names,
// as the bound would, for allocations spread over every one of a few small
// movies that take every road between them: each ends the conversion with
// the bound's result, the previous document set as it was, the work folder
// gone and nothing leaked; past the last, the movie converts.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <set>
#include <string>

#include "app/program_runner.h"
#include "convert/text_test_support.h"
#include "media/mpeg_test_frames.h"
#include "shape/shape_test_support.h"
#include "support/bitmap_data.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

Bytes Place(uint16_t depth, uint16_t id, int32_t clip = -1, bool ratio = false) {
  SwfBytes b;
  b.u8(0x06 | (clip >= 0 ? 0x40 : 0) | (ratio ? 0x10 : 0)).u16(depth).u16(id).matrix(0, 0);
  if (ratio) b.u16(0);
  if (clip >= 0) b.u16(uint32_t(clip));
  return b.data();
}

Bytes Move(uint16_t depth, int32_t x) { return SwfBytes().u8(0x05).u16(depth).matrix(x, 0).data(); }

// The tags of an engine fuzz seed (crossing or overlapping shapes), its
// character ids and depths raised by `shift`, without its end.
void AddSeedTags(SwfWriter& w, const std::string& seed, uint16_t shift) {
  const Bytes movie = ReadFileBytes(std::string(TOVRANI_SOURCE_DIR) + "/fuzz/seeds/engine/" + seed);
  ASSERT_GT(movie.size(), 20u);
  const size_t rectBytes = (5 + 4 * (movie[8] >> 3) + 7) / 8;
  const auto raise = [shift](Bytes& body, size_t at) {
    const uint32_t v = (body[at] | body[at + 1] << 8) + shift;
    body[at] = uint8_t(v);
    body[at + 1] = uint8_t(v >> 8);
  };
  for (size_t at = 8 + rectBytes + 4; at + 2 <= movie.size();) {
    const uint16_t word = uint16_t(movie[at] | movie[at + 1] << 8);
    size_t length = word & 0x3F;
    at += 2;
    if (length == 0x3F) {
      length = movie[at] | movie[at + 1] << 8 | movie[at + 2] << 16 | size_t(movie[at + 3]) << 24;
      at += 4;
    }
    ASSERT_LE(at + length, movie.size());
    Bytes body(movie.begin() + ptrdiff_t(at), movie.begin() + ptrdiff_t(at + length));
    at += length;
    const uint16_t code = word >> 6;
    if (code == 0) return;
    if (code == 26) {
      raise(body, 1);
      if (body[0] & 0x02) raise(body, 3);
    } else if (code != 1) {
      raise(body, 0);
    }
    w.tag(code, body);
  }
}

// Crossing and overlapping shapes and a morph (the problem searches), a
// self-crossing grid the exact search retraces, a shape filled with a
// bitmap and a morph, moved over two frames.
Bytes ShapesMovie() {
  SwfWriter w(8);
  AddSeedTags(w, "crossing_shapes", 0);
  AddSeedTags(w, "overlapping_morph", 2);
  AddSeedTags(w, "overlapping_shapes", 4);
  w.tag(22, OneFillOneLineShape(10, [](ShapeRecords& r) { SelfCrossingGrid(r, 2000, 8); })).tag(26, Place(10, 10));
  w.tag(36, SwfBytes().u16(11).u8(5).u16(2).u16(2).bytes(Zlib(Bytes(16, 0x80), 9)).data());
  SwfBytes square;
  square.u16(12).rect(0, 400, 0, 400).u8(1).u8(0x41).u16(11).matrix(0, 0, true, 20 << 16, 20 << 16).u8(0).u8(0x10);
  ShapeRecords r{square, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt).Straight(400, 0).Straight(0, 400).Straight(-400, 0).End();
  w.tag(2, square.data()).tag(26, Place(12, 12));
  const Bytes styles = SwfBytes().u8(1).u8(0).u32(0xFF0000FF).u32(0x00FF0080).u8(0).data();
  const auto side = [](ShapeRecords& s) { s.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400); };
  const Bytes morph = MorphBody(
      46, styles, [&](ShapeRecords& s) { side(s.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt)); }, side, 1,
      0);
  w.tag(46, SwfBytes().u16(13).bytes(morph).data()).tag(26, Place(13, 13, -1, true)).showFrame();
  return w.tag(26, Move(12, 200)).tag(26, Move(10, 100)).showFrame().end().build();
}

// Bitmaps of every kind, sounds of every format with an event and a stream
// sound, and a video.
Bytes MediaMovie() {
  SwfWriter w(8);
  const Bytes pixels = QuadrantPixels(16);
  Bytes tables, image;
  EncodeJpegPair(pixels, 16, 16, tables, image);
  w.tag(8, tables).tag(6, SwfBytes().u16(1).bytes(image).data());
  w.tag(21, SwfBytes().u16(2).bytes(EncodeJpeg(pixels, 16, 16, JpegKind::kCmyk)).data());
  const Bytes progressive = EncodeJpeg(pixels, 16, 16, JpegKind::kProgressive);
  w.tag(35, SwfBytes().u16(3).u32(uint32_t(progressive.size())).bytes(progressive).bytes(Zlib(Bytes(256, 0x80), 9)).data());
  const Bytes palette = {255, 0, 0, 0, 0, 255, 0, 1, 0, 0, 1, 0, 1, 0};
  w.tag(20, SwfBytes().u16(4).u8(3).u16(3).u16(2).u8(1).bytes(Zlib(palette, 9)).data());
  w.tag(20, SwfBytes().u16(5).u8(4).u16(2).u16(2).bytes(Zlib(Bytes(8, 0x7C), 9)).data());
  w.tag(20, SwfBytes().u16(6).u8(5).u16(2).u16(2).bytes(Zlib(Bytes(16, 0x40), 9)).data());
  w.tag(36, SwfBytes().u16(7).u8(3).u16(3).u16(2).u8(1).bytes(Zlib({255, 0, 0, 128, 0, 0, 255, 255, 0, 1, 0, 0}, 9)).data());
  for (uint16_t id = 1; id <= 7; ++id) {
    SwfBytes shape;
    shape.u16(uint32_t(20 + id)).rect(0, 400, 0, 400).u8(1).u8(0x41).u16(id).matrix(0, 0, true, 20 << 16, 20 << 16);
    shape.u8(0).u8(0x10);
    ShapeRecords r{shape, 1, 0};
    r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt).Straight(400, 0).Straight(0, 400).Straight(-400, 0).End();
    w.tag(2, shape.data()).tag(26, Place(id, uint16_t(20 + id)));
  }
  Bytes mp3 = {0, 0};
  const Bytes frames = SilentMp3Frames(MpegVersion::k2, 8, 0, true, 4);
  mp3.insert(mp3.end(), frames.begin(), frames.end());
  w.tag(14, SwfBytes().u16(30).u8(0x2A).u32(2304).bytes(mp3).data());
  w.tag(14, SwfBytes().u16(31).u8(0x3A).u32(2).bytes({1, 2, 3, 4}).data());
  w.tag(14, SwfBytes().u16(32).u8(0x16).u32(40).bytes(Bytes(24, 0x5A)).data());
  w.tag(15, SwfBytes().u16(30).u8(0).data()).tag(15, SwfBytes().u16(32).u8(0).data());
  w.tag(60, SwfBytes().u16(40).u16(2).u16(32).u16(24).u8(0).u8(2).data()).tag(26, Place(40, 40, -1, true));
  w.tag(18, SwfBytes().u8(0x0E).u8(0x0E).u16(2).data());
  for (uint16_t frame = 0; frame < 2; ++frame) {
    w.tag(61, SwfBytes().u16(40).u16(frame).bytes({0, 0, 0x84, 0, 0x10, 0x20}).data());
    w.tag(19, {1, 0, 2, 0, 3, 0, 4, 0});
    if (frame) w.tag(15, SwfBytes().u16(31).u8(0).data()).tag(26, SwfBytes().u8(0x11).u16(40).u16(1).data());
    w.showFrame();
  }
  return w.end().build(true);
}

// Fonts, a static and an edit text, a sprite with a mask, a button with a
// sound, a frame label and a linkage name.
Bytes SymbolsMovie() {
  SwfWriter w(8);
  w.tag(48, DefineFont2(1, 0, "Arial", {'a', 'b'})).tag(75, DefineFont2(2, 0x08, "Tovrani Sans", {'c'}));
  SwfBytes text;
  text.u16(3).rect(0, 2000, 0, 400).matrix(0, 0).u8(8).u8(12).u8(0x8B).u16(1).u16(20).u16(300).u16(240).u8(2);
  w.tag(11, text.ubits(0, 8).sbits(200, 12).ubits(1, 8).sbits(200, 12).align().u8(0).data()).tag(26, Place(1, 3));
  w.tag(37, SwfBytes().u16(4).rect(0, 2000, 0, 400).u8(0x88).u8(0).str("").str("edit").data()).tag(26, Place(2, 4));
  w.tag(2, SquareShape(5, 0, 400, 0xFF0000)).tag(2, SquareShape(6, 100, 600, 0x0000FF));
  SwfWriter body(8);
  body.tag(26, Place(1, 5, 2)).tag(26, Place(2, 6)).showFrame().tag(26, Move(2, 40)).showFrame();
  w.tag(39, SwfBytes().u16(7).u16(2).bytes(body.end().tags()).data()).tag(26, Place(3, 7));
  w.tag(14, SwfBytes().u16(8).u8(0x3A).u32(2).bytes({1, 2, 3, 4}).data());
  SwfBytes button;
  button.u16(9).u8(0x0F).u16(5).u16(1).matrix(0, 0).u8(0x01).u16(6).u16(2).matrix(0, 0).u8(0).u8(0);
  w.tag(7, button.data()).tag(17, SwfBytes().u16(9).u16(8).u8(0).u16(0).u16(0).u16(0).data()).tag(26, Place(4, 9));
  w.tag(56, SwfBytes().u16(1).u16(7).str("spinner").data()).tag(43, SwfBytes().str("start").data());
  return w.showFrame().tag(26, Move(3, 100)).showFrame().end().build();
}

struct SweptMovie {
  const char* name;
  Bytes (*movie)();
  std::vector<std::string> options;
};

void PrintTo(const SweptMovie& movie, std::ostream* os) { *os << movie.name; }

const SweptMovie kMovies[] = {
    {"shapes", ShapesMovie, {}},
    {"shapes_exact", ShapesMovie, {"--set", "Exact Problem Search / Vectorization=on"}},
    {"shapes_import", ShapesMovie, {"--set", "Shape / Morph Shape: Convert Using JSFL Import=on"}},
    {"media", MediaMovie, {}},
    {"symbols", SymbolsMovie, {}},
    {"symbols_import", SymbolsMovie, {"--set", "Static Text: Convert Using JSFL Import=on"}},
};

// Refusals for each movie: the first allocations, then this many spread
// evenly over the rest.
constexpr uint64_t kFirst = 4;
constexpr uint64_t kSpread = 48;

class AllocationRefusal : public ::testing::TestWithParam<SweptMovie> {
 protected:
  // A previous set in out/ and in new/, beside it.
  void SetUp() override {
    fs::create_directories(dir.file("tmp"));
    WriteFileBytes(dir.file("m.swf"), GetParam().movie());
    for (const char* folder : {"out", "new"}) {
      fs::create_directories(dir.file(folder));
      WriteFileBytes(dir.file(folder) + "/out.fla", {1, 2, 3});
      WriteFileBytes(dir.file(folder) + "/out.fla.jsfl", {'/', '/', '\n'});
    }
    previous = FolderSnapshot(dir.file("out"));
  }
  // The program writing to `folder`, refusing its `nth` allocation (0:
  // none): how many it counted, or 0 when it did not say.
  uint64_t Convert(const char* folder, uint64_t nth, ProgramRun& run) {
    std::vector<std::string> args = GetParam().options;
    args.insert(args.end(), {"-q", dir.file("m.swf"), "-o", dir.file(folder) + "/out.fla"});
    run = RunProgram(args, dir.file("config"),
                     "ASAN_OPTIONS=detect_leaks=1 TMPDIR=" + ShellQuote(dir.file("tmp")) +
                         " TOVRANI_REFUSE_ALLOCATION=" + std::to_string(nth) + ' ');
    const std::string said = " allocations counted\n";
    const size_t end = run.output.rfind(said);
    const size_t start = run.output.rfind("tovrani: ", end);
    if (end == std::string::npos || start == std::string::npos) return 0;
    return std::stoull(run.output.substr(start + 9, end - start - 9));
  }

  TempDir dir;
  std::map<std::string, Bytes> previous;
};

TEST_P(AllocationRefusal, EachRefusedAllocationEndsWithTheBoundsResultAndThePreviousSet) {
#ifndef TOVRANI_ALLOCATION_HOOK
  GTEST_SKIP() << "the program refuses a named allocation only in the sanitizer build";
#endif
  ProgramRun run;
  const uint64_t total = Convert("new", 0, run);
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_GT(total, kFirst + kSpread);
  std::set<uint64_t> refused;
  for (uint64_t n = 1; n <= kFirst; ++n) refused.insert(n);
  for (uint64_t i = 0; i < kSpread; ++i) refused.insert(kFirst + 1 + i * (total - kFirst - 1) / (kSpread - 1));
  for (const uint64_t nth : refused) {
    SCOPED_TRACE(std::to_string(nth) + " of " + std::to_string(total));
    Convert("out", nth, run);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("needed more memory than the movie's size allows"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("(result 48)"), std::string::npos) << run.output;
    EXPECT_EQ(FolderSnapshot(dir.file("out")), previous) << run.output;
    EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
    if (HasFailure()) return;
  }
  // Past the last allocation nothing is refused.
  Convert("out", total + total / 2 + 1000, run);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(ReadFileBytes(dir.file("out/out.fla")), previous["out.fla"]);
}

INSTANTIATE_TEST_SUITE_P(Movies, AllocationRefusal, ::testing::ValuesIn(kMovies),
                         [](const ::testing::TestParamInfo<SweptMovie>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovrani::test
