// Bitmaps through the program: every kind of bitmap tag used as a fill of a
// placed shape, and hostile bitmaps among good ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "app/converted_movie.h"
#include "app/program_runner.h"
#include "fla/work_files.h"
#include "media/jpeg_import.h"
#include "shape/shape_test_support.h"
#include "support/bitmap_data.h"
#include "support/contents_layout.h"
#include "support/document_frames.h"
#include "support/page_layout.h"
#include "support/swf_writer.h"
#include "support/work_budget.h"
#include "swf/movie_budget.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Streams = std::map<std::string, Bytes>;

// DefineShape2 `id`: a square filled with the first of one clipped bitmap
// fill per id.
Bytes BitmapFilledSquare(uint16_t id, const std::vector<uint16_t>& bitmaps) {
  SwfBytes b;
  b.u16(id).rect(0, 400, 0, 400).u8(uint32_t(bitmaps.size()));
  for (uint16_t bitmap : bitmaps) b.u8(0x41).u16(bitmap).matrix(0, 0, true, 20 << 16, 20 << 16);
  b.u8(0).u8(0x40);
  ShapeRecords r{b, 4, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400).End();
  return b.data();
}

Bytes PlaceAt(uint16_t depth, uint16_t id) {
  SwfBytes b;
  b.u8(0x06).u16(depth).u16(id).matrix(0, 0);
  return b.data();
}

struct Lossless {
  Bytes body, record;
};

// DefineBitsLossless, format 3 with two colours (3 x 2), and its record.
Lossless PaletteBitmap(uint16_t id) {
  const Bytes table = {255, 0, 0, 0, 0, 255}, pixels = {0, 1, 0, 0, 1, 0, 1, 0};
  Bytes data = table;
  data.insert(data.end(), pixels.begin(), pixels.end());
  Lossless l;
  l.body = SwfBytes().u16(id).u8(3).u16(3).u16(2).u8(1).bytes(Zlib(data, 9)).data();
  l.record = RecordHead(3, 3, 2, 1, {255, 255, 0, 0, 255, 0, 0, 255});
  const Bytes chunks = Chunked(RawDeflate1(pixels));
  l.record.insert(l.record.end(), chunks.begin(), chunks.end());
  return l;
}

// DefineBitsLossless2, format 5 (2 x 2), and its record.
Lossless ArgbBitmap(uint16_t id) {
  const Bytes pixels = Pattern(16, 9);
  Lossless l;
  l.body = SwfBytes().u16(id).u8(5).u16(2).u16(2).bytes(Zlib(pixels, 6)).data();
  l.record = RecordHead(5, 2, 2, 1, {});
  const Bytes chunks = Chunked(RawDeflate1(pixels));
  l.record.insert(l.record.end(), chunks.begin(), chunks.end());
  return l;
}

Bytes Jpeg3Body(uint16_t id, const Bytes& jpeg) {
  Bytes alpha(256, 0xFF);
  return SwfBytes().u16(id).u32(uint32_t(jpeg.size())).bytes(jpeg).bytes(Zlib(alpha, 9)).data();
}

struct Converted {
  TempDir dir;
  ProgramRun run;
  Streams streams;
};

// Converts a movie with the program, a file-size limit of about 8 MB on
// everything it writes, and reads the document back.
void Convert(Converted& r, const Bytes& movie, std::vector<std::string> options = {}) {
  WriteFileBytes(r.dir.file("m.swf"), movie);
  ExpectSameBytesWhereverWorkFilesLive({r.dir.file("m.swf")});
  options.insert(options.end(), {r.dir.file("m.swf"), "-o", r.dir.file("m.fla")});
  r.run = RunProgram(options, r.dir.file("config"),
                     "ulimit -f 16384; TMPDIR=" + ShellQuote(r.dir.path().string()) + ' ');
  ASSERT_EQ(r.run.status, 0) << r.run.output;
  r.streams = ExpectReadableDocument(r.dir.file("m.fla"));
  ASSERT_FALSE(r.streams.empty());
  EXPECT_TRUE(DocumentShowsMovie(movie, r.streams));
}

std::string Utf16(const std::string& s) {
  std::string out;
  for (char c : s) out += {c, '\0'};
  return out;
}

// Media streams 1..n and no more; the Contents stream names each.
void ExpectMediaCount(const Streams& streams, size_t n) {
  const Bytes& contents = streams.at("Contents");
  const std::string text(contents.begin(), contents.end());
  for (size_t k = 1; k <= n + 1; ++k) {
    const std::string name = "Media " + std::to_string(k);
    EXPECT_EQ(streams.count(name), k <= n ? 1u : 0u) << name;
    if (k <= n) {
      EXPECT_TRUE(text.find(Utf16(name)) != std::string::npos || text.find(name) != std::string::npos) << name;
    }
  }
}

class BitmapProgram : public ::testing::TestWithParam<int> {};

TEST_P(BitmapProgram, EveryKindOfBitmapBecomesItsMediaStream) {
  const Bytes rgb = QuadrantPixels();
  const Bytes jpeg = EncodeJpeg(rgb, 16, 16);
  Bytes tables, image;
  EncodeJpegPair(rgb, 16, 16, tables, image);
  const Lossless palette = PaletteBitmap(4), argb = ArgbBitmap(5);
  SwfWriter w{uint8_t(GetParam())};
  w.tag(8, tables).tag(6, SwfBytes().u16(1).bytes(image).data()).tag(21, SwfBytes().u16(2).bytes(jpeg).data());
  w.tag(35, Jpeg3Body(3, jpeg)).tag(20, palette.body).tag(36, argb.body);
  w.tag(22, BitmapFilledSquare(10, {1, 2, 3, 4, 5})).tag(26, PlaceAt(1, 10)).showFrame().end();
  Converted r;
  Convert(r, w.build());
  ExpectMediaCount(r.streams, 5);

  // DefineBits: the tables after the image's start marker.
  Bytes withTables = {0xFF, 0xD8};
  withTables.insert(withTables.end(), tables.begin() + 2, tables.end() - 2);
  withTables.insert(withTables.end(), image.begin() + 2, image.end());
  EXPECT_EQ(r.streams["Media 1"], JpegMedia(withTables, 16, 16));
  EXPECT_EQ(r.streams["Media 2"], JpegMedia(jpeg, 16, 16));
  // DefineBitsJPEG3: the decoded pixels, all opaque, as alpha, R, G, B.
  DecodedImage decoded;
  ASSERT_EQ(RecodeJpeg(jpeg, kDecodeOnlyQuality, decoded), kRecodeDone);
  Bytes argbPixels;
  for (size_t i = 0; i < 16 * 16; ++i)
    argbPixels.insert(argbPixels.end(), {0xFF, decoded.rgb[i * 3], decoded.rgb[i * 3 + 1], decoded.rgb[i * 3 + 2]});
  Bytes withAlpha = RecordHead(5, 16, 16, 1, {});
  const Bytes chunks = Chunked(RawDeflate1(argbPixels));
  withAlpha.insert(withAlpha.end(), chunks.begin(), chunks.end());
  EXPECT_EQ(r.streams["Media 3"], withAlpha);
  EXPECT_TRUE(Near({argbPixels[1], argbPixels[2], argbPixels[3]}, QuadrantColour(0, 0)));
  EXPECT_EQ(r.streams["Media 4"], palette.record);
  EXPECT_EQ(r.streams["Media 5"], argb.record);
  for (int k = 1; k <= 2; ++k) {
    DecodedImage decoded;
    EXPECT_EQ(RecodeJpeg(JpegOfMedia(r.streams["Media " + std::to_string(k)]), kDecodeOnlyQuality, decoded),
              kRecodeDone);
  }
}

// The library's bitmap items as the authoring tool's documents lay them out,
// at every format level.
TEST(BitmapProgramContents, WalksToItsEnd) {
  const Bytes jpeg = EncodeJpeg(QuadrantPixels(), 16, 16);
  for (int version : {6, 7, 8}) {
    SCOPED_TRACE(version);
    SwfWriter w{uint8_t(version)};
    w.tag(21, SwfBytes().u16(1).bytes(jpeg).data()).tag(35, Jpeg3Body(2, jpeg));
    w.tag(20, PaletteBitmap(3).body).tag(36, ArgbBitmap(4).body).showFrame().end();
    Converted r;
    // Guides shown and snapped to, as in every real level-0 and level-1
    // document (the layout holds no other value there).
    Convert(r, w.build(), {"--set", "Guides=on", "--set", "Snap To Guides=on"});
    ExpectMediaCount(r.streams, 4);
    const ContentsWalk walk = WalkContents(r.streams["Contents"], {});
    EXPECT_FALSE(walk.difference) << walk.difference->describe();
    EXPECT_EQ(walk.level, version < 7 ? 0 : version - 6);
    EXPECT_EQ(walk.symbolPages, 0u);
    EXPECT_EQ(walk.media, (std::map<std::string, size_t>{{"CMediaBits", 4}}));
  }
}

// The page grammar of the authoring tool's documents, when the shared tools
// are at hand: no structural finding (no "S" line).
void ExpectPageGrammarClean(const std::string& fla) {
  const PageFindings found = FindPageDifferences(fla);
  if (!found.checked) return;
  EXPECT_TRUE(found.structural.empty()) << found.output;
  EXPECT_EQ(found.output.find("bitmap id names an item"), std::string::npos) << found.output;
}

// The bitmap ids of the bitmap fill records of a page: opaque red, the fill
// type, a six-word matrix, the id.
std::vector<uint16_t> BitmapFillIds(const Bytes& page) {
  std::vector<uint16_t> ids;
  for (uint8_t type = 0x40; type <= 0x43; ++type) {
    const Bytes lead = {0xFF, 0x00, 0x00, 0xFF, type, 0x00};
    for (auto it = page.begin(); (it = std::search(it, page.end(), lead.begin(), lead.end())) != page.end(); ++it)
      if (page.end() - it >= 32) ids.push_back(uint16_t(it[30] | it[31] << 8));
  }
  return ids;
}

// A fill of a bitmap the document holds no item of becomes a solid fill of
// transparent black: the page names the held bitmaps only, a skipped one or
// an unknown id nowhere, and the square keeps its edges.
TEST(BitmapProgramFills, NameOnlyBitmapsTheLibraryHolds) {
  SwfWriter w{8};
  w.tag(36, ArgbBitmap(1).body).tag(36, SwfBytes().u16(2).u8(9).u16(1).u16(1).data());
  w.tag(22, BitmapFilledSquare(10, {1, 2, 99})).tag(26, PlaceAt(1, 10)).showFrame().end();
  for (bool pictures : {true, false}) {
    SCOPED_TRACE(pictures);
    Converted r;
    WriteFileBytes(r.dir.file("m.swf"), w.build());
    r.run = RunProgram({r.dir.file("m.swf"), "-o", r.dir.file("m.fla"), "--set",
                        std::string("Picture=") + (pictures ? "on" : "off")},
                       r.dir.file("config"));
    ASSERT_EQ(r.run.status, 0) << r.run.output;
    ASSERT_TRUE(ReadCompoundFile(r.dir.file("m.fla"), r.streams));
    ExpectMediaCount(r.streams, pictures ? 1 : 0);
    const Bytes& page = r.streams["Symbol 1"];
    EXPECT_EQ(BitmapFillIds(page), pictures ? std::vector<uint16_t>{1} : std::vector<uint16_t>{});
    // The fill table: its count, bitmap 1 when held, then transparent black
    // solids in place of the others.
    Bytes table = {0x03, 0x00};
    const Bytes dropped = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    if (pictures)
      table.insert(table.end(), {0xFF, 0x00, 0x00, 0xFF, 0x41, 0x00});
    else
      table.insert(table.end(), dropped.begin(), dropped.end());
    const auto at = std::search(page.begin(), page.end(), table.begin(), table.end());
    ASSERT_NE(at, page.end());
    const auto firstDropped = at + 2 + (pictures ? 32 : 0);
    ASSERT_GE(page.end() - firstDropped, 12);
    EXPECT_TRUE(std::equal(dropped.begin(), dropped.end(), firstDropped));
    EXPECT_TRUE(std::equal(dropped.begin(), dropped.end(), firstDropped + 6));
    ExpectPageGrammarClean(r.dir.file("m.fla"));
  }
}

// DefineShape3 `id`: a square with the one fill `fill` (its bytes).
Bytes Shape3Square(uint16_t id, const Bytes& fill) {
  SwfBytes b;
  b.u16(id).rect(0, 400, 0, 400).u8(1).bytes(fill).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400).End();
  return b.data();
}

// DefineShape4 `id`: a red square outlined by one line whose style is
// `line` (its bytes).
Bytes Shape4Outlined(uint16_t id, const Bytes& line) {
  SwfBytes b;
  b.u16(id).rect(-20, 420, -20, 420).rect(0, 400, 0, 400).u8(0);
  b.u8(1).u8(0x00).u32(0xFF0000FF).u8(1).bytes(line).u8(0x11);
  ShapeRecords r{b, 1, 1};
  r.Change(std::pair(0, 0), std::nullopt, 1u, 1u);
  r.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400).End();
  return b.data();
}

// DefineMorphShape `id`: a square growing into a larger one, with the one
// morph fill `fill` (its bytes) and no line.
Bytes MorphSquare(uint16_t id, const Bytes& fill) {
  const Bytes styles = SwfBytes().u8(1).bytes(fill).u8(0).data();
  const Bytes body = MorphBody(
      46, styles,
      [](ShapeRecords& r) {
        r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
        r.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400);
      },
      [](ShapeRecords& r) { r.Straight(800, 0).Straight(0, 800).Straight(-800, 0).Straight(0, -800); }, 1, 0);
  Bytes out = SwfBytes().u16(id).data();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// A shape with a fill of bitmap 65535 (drawing nothing), a morph with a fill
// of an undefined bitmap and a DefineShape4 line filled with bitmap 65535
// give the same document as the movie whose fills are transparent black
// solids: every edge kept, no fill naming a bitmap the library lacks. The
// same with "Picture" off for a bitmap the movie defines.
TEST_P(BitmapProgram, FillsOfBitmapsTheDocumentLacksDrawNothing) {
  const Lossless argb = ArgbBitmap(1);
  auto movie = [&](bool bitmaps, uint16_t defined) {
    const uint16_t missing = defined ? defined : 65535;
    const Bytes bitmapFill = SwfBytes().u8(0x41).u16(missing).matrix(0, 0, true, 20 << 16, 20 << 16).data();
    const Bytes clear = SwfBytes().u8(0x00).u32(0).data();
    const Bytes morphFill = bitmaps ? SwfBytes().u8(0x41).u16(defined ? defined : 77).matrix(0, 0).matrix(0, 0).data()
                                    : SwfBytes().u8(0x00).u32(0).u32(0).data();
    const Bytes line = bitmaps ? SwfBytes().u16(40).u8(0x08).u8(0).bytes(bitmapFill).data()
                               : SwfBytes().u16(40).u8(0x00).u8(0).u32(0).data();
    SwfWriter w{uint8_t(GetParam())};
    if (defined) w.tag(36, argb.body);
    w.tag(32, Shape3Square(10, bitmaps ? bitmapFill : clear)).tag(46, MorphSquare(11, morphFill));
    w.tag(83, Shape4Outlined(12, line));
    w.tag(26, PlaceAt(1, 10)).tag(26, SwfBytes().u8(0x16).u16(2).u16(11).matrix(0, 0).u16(0).data());
    w.tag(26, PlaceAt(3, 12)).showFrame().end();
    return w.build();
  };
  for (uint16_t defined : {uint16_t(0), uint16_t(1)}) {
    SCOPED_TRACE(defined);
    const std::vector<std::string> options = {"--set", std::string("Picture=") + (defined ? "off" : "on")};
    Converted filled, clear;
    Convert(filled, movie(true, defined), options);
    Convert(clear, movie(false, defined), options);
    ExpectMediaCount(filled.streams, 0);
    ASSERT_EQ(filled.streams.size(), clear.streams.size());
    for (const auto& [name, bytes] : filled.streams) {
      EXPECT_EQ(bytes, clear.streams[name]) << name;
      EXPECT_TRUE(BitmapFillIds(bytes).empty()) << name;
    }
    ExpectPageGrammarClean(filled.dir.file("m.fla"));
  }
}

// A 15-bit bitmap (3 x 2: pure red, green, blue, white, black, a grey)
// becomes an opaque 32-bit medium with the same pixels.
TEST_P(BitmapProgram, FifteenBitPixelsBecomeOpaqueThirtyTwoBitOnes) {
  const Bytes rows = {0x7C, 0x00, 0x03, 0xE0, 0x00, 0x1F, 0, 0,   // red, green, blue, padding
                      0x7F, 0xFF, 0x00, 0x00, 0x42, 0x10, 0, 0};  // white, black, grey (16, 16, 16)
  SwfWriter w{uint8_t(GetParam())};
  w.tag(20, SwfBytes().u16(1).u8(4).u16(3).u16(2).bytes(Zlib(rows, 9)).data());
  w.tag(22, BitmapFilledSquare(10, {1})).tag(26, PlaceAt(1, 10)).showFrame().end();
  Converted r;
  Convert(r, w.build());
  ExpectMediaCount(r.streams, 1);
  const Bytes pixels = {0xFF, 0xFF, 0, 0,    0xFF, 0, 0xFF, 0,    0xFF, 0, 0, 0xFF,
                        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0x84, 0x84, 0x84};
  Bytes record = RecordHead(5, 3, 2, 0, {});
  const Bytes chunks = Chunked(RawDeflate1(pixels));
  record.insert(record.end(), chunks.begin(), chunks.end());
  EXPECT_EQ(r.streams["Media 1"], record);
  ExpectPageGrammarClean(r.dir.file("m.fla"));
}

INSTANTIATE_TEST_SUITE_P(Versions, BitmapProgram, ::testing::Values(6, 8));

TEST(BitmapProgramHostile, BadBitmapsAreReportedAndTheOthersKept) {
  const Bytes jpeg = EncodeJpeg(QuadrantPixels(), 16, 16), huge = WithFrameSize(jpeg, 65000, 65000);
  // The bad bitmap (character 2), what its message says, whether a record of
  // it is kept.
  const std::tuple<uint16_t, Bytes, const char*, bool> cases[] = {
      {35, SwfBytes().u16(2).u32(0).bytes(jpeg).data(), "alpha data offset 0 lies outside", false},
      {35, SwfBytes().u16(2).u32(3).bytes(jpeg).data(), "alpha data offset 3 lies outside", false},
      {35, SwfBytes().u16(2).u32(0xFFFFFFFF).bytes(jpeg).data(), "offset 4294967295 lies outside", false},
      {20, SwfBytes().u16(2).u8(5).u16(60000).u16(60000).bytes(Pattern(100, 1)).data(), "60000 x 60000 pixels is too large", false},
      {21, SwfBytes().u16(2).bytes(huge).data(), "65000 x 65000 pixels is too large", false},
      {35, Jpeg3Body(2, huge), "65000 x 65000 pixels is too large", false},
      {21, {2, 0, 1, 2, 3}, "no readable frame header", false},
      {35, Jpeg3Body(2, CutInScan(jpeg)), "damaged", true},
      {35, Jpeg3Body(2, CorruptHuffman(jpeg)), "could not be decoded", true},
      {8, {0xFF}, "", false},
  };
  const Lossless good = ArgbBitmap(1);
  for (const auto& [code, body, why, kept] : cases) {
    SCOPED_TRACE(why);
    SwfWriter w(8);
    w.tag(36, good.body).tag(code, body, true).tag(21, SwfBytes().u16(3).bytes(jpeg).data());
    w.tag(22, BitmapFilledSquare(10, {1, 2, 3})).tag(26, PlaceAt(1, 10)).showFrame().end();
    Converted r;
    Convert(r, w.build());
    if (code != 8) {
      EXPECT_NE(r.run.output.find("(character 2): "), std::string::npos) << r.run.output;
      EXPECT_NE(r.run.output.find(why), std::string::npos) << r.run.output;
    }
    ExpectMediaCount(r.streams, kept ? 3 : 2);
    EXPECT_EQ(r.streams["Media 1"], good.record);
    EXPECT_EQ(r.streams[kept ? "Media 3" : "Media 2"], JpegMedia(jpeg, 16, 16));
    EXPECT_LT(std::filesystem::file_size(r.dir.file("m.fla")), 1u << 20);
  }
}

// ---- The movie's budget of decoded pixels ----

using Size = std::pair<uint16_t, uint16_t>;

// The width and height a bitmap's media record gives.
Size RecordSize(const Bytes& record) {
  if (record.size() < 8) return {0, 0};
  return {uint16_t(record[4] | record[5] << 8), uint16_t(record[6] | record[7] << 8)};
}

// A bitmap tag whose body declares more pixels than it holds, for character
// `id`, 4096 x 1024 pixels (4 Mpixel).
struct HollowBitmap {
  const char* kind;
  uint16_t code;
  std::function<Bytes(uint16_t id)> body;
};

std::vector<HollowBitmap> HollowBitmaps() {
  const Bytes row = Zlib(Bytes(4096 * 4, 0), 9);
  const Bytes jpeg = EncodeJpeg(QuadrantPixels(8), 8, 8);
  // A JPEG of its start, a frame header and its end: nothing to decode.
  const Bytes headerOnly = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0x04, 0x00, 0x10, 0x00, 1, 1, 0x11, 0, 0xFF, 0xD9};
  return {
      {"lossless, format 3, no data", 20,
       [](uint16_t id) { return SwfBytes().u16(id).u8(3).u16(4096).u16(1024).u8(0).data(); }},
      {"lossless 2, format 5, no data", 36,
       [](uint16_t id) { return SwfBytes().u16(id).u8(5).u16(4096).u16(1024).data(); }},
      {"lossless 2, format 5, one row of data", 36,
       [row](uint16_t id) { return SwfBytes().u16(id).u8(5).u16(4096).u16(1024).bytes(row).data(); }},
      {"JPEG3 of a frame header alone", 35, [headerOnly](uint16_t id) { return Jpeg3Body(id, headerOnly); }},
      {"JPEG3 with an 8 x 8 scan", 35,
       [jpeg](uint16_t id) { return Jpeg3Body(id, WithFrameSize(jpeg, 4096, 1024)); }},
  };
}

// Ten bitmaps of 4 Mpixel that hold next to none of their data, then a
// whole small one: the budget of a movie of so few bytes (16 Mpixel, and
// 1,100 pixels a byte) takes the first four to six, skips the others, and
// still has room for the small one. Only the first skipped bitmap is named,
// and one line gives the others.
TEST(BitmapBudget, BitmapsThatHoldTooLittleOfTheirDataStopAtTheMoviesBudget) {
  const Lossless small = ArgbBitmap(20);
  for (const HollowBitmap& hollow : HollowBitmaps()) {
    SCOPED_TRACE(hollow.kind);
    SwfWriter w(8);
    std::vector<uint16_t> ids;
    for (uint16_t id = 1; id <= 10; ++id) {
      w.tag(hollow.code, hollow.body(id), true);
      ids.push_back(id);
    }
    w.tag(36, small.body);
    ids.push_back(20);
    w.tag(22, BitmapFilledSquare(30, ids)).tag(26, PlaceAt(1, 30)).showFrame().end();
    const Bytes movie = w.build();
    const size_t fit = ((16u << 20) + 1100 * (movie.size() - 8)) / (4096 * 1024);
    ASSERT_GE(fit, 4u);
    ASSERT_LE(fit, 6u);
    ConvertedMovie r;
    ConvertOnce(r, movie);
    ExpectMediaCount(r.streams, fit + 1);
    for (size_t k = 1; k <= fit; ++k)
      EXPECT_EQ(RecordSize(r.streams["Media " + std::to_string(k)]), Size(4096, 1024)) << k;
    EXPECT_EQ(r.streams["Media " + std::to_string(fit + 1)], small.record);
    EXPECT_EQ(Occurrences(r.run.output, "the movie declares more image data than it holds"), 2u) << r.run.output;
    EXPECT_NE(r.run.output.find("(character " + std::to_string(fit + 1) +
                                "): the movie declares more image data than it holds (4096 x 1024 "
                                "pixels); the bitmap was skipped."),
              std::string::npos)
        << r.run.output;
    EXPECT_NE(r.run.output.find(std::to_string(10 - fit - 1) +
                                " more bitmaps were skipped: the movie declares more image data than it holds."),
              std::string::npos)
        << r.run.output;
    EXPECT_LT(std::filesystem::file_size(r.dir.file("m.fla")), 2u << 20);
  }
}

// Bitmaps whose data is all there never reach the budget, however flat:
// three 4096 x 4096 bitmaps of one colour (48 Mpixel from some 50 KB of
// zlib data) and a 1000 x 1000 one of noise convert whole, with nothing said.
TEST(BitmapBudget, BitmapsWhoseDataIsAllThereConvertWhole) {
  SwfWriter w(8);
  const Bytes flatPixels(4096 * 4096, 0);
  for (uint16_t id = 1; id <= 3; ++id) {
    Bytes data = {uint8_t(id * 40), 0x80, 0x10};  // one colour, then every pixel of it
    data.insert(data.end(), flatPixels.begin(), flatPixels.end());
    w.tag(20, SwfBytes().u16(id).u8(3).u16(4096).u16(4096).u8(0).bytes(Zlib(data, 9)).data(), true);
  }
  Bytes noise(1000 * 1000 * 4);
  std::mt19937 random(7);
  for (uint8_t& b : noise) b = uint8_t(random());
  w.tag(36, SwfBytes().u16(4).u8(5).u16(1000).u16(1000).bytes(Zlib(noise, 6)).data(), true);
  w.tag(22, BitmapFilledSquare(10, {1, 2, 3, 4})).tag(26, PlaceAt(1, 10)).showFrame().end();
  const Bytes movie = w.build();
  // The flat bitmaps alone ask for more than the fixed part of the budget.
  ASSERT_GT(3u * 4096 * 4096, 16u << 20);
  ConvertedMovie r;
  ConvertOnce(r, movie);
  EXPECT_EQ(r.run.output.find("skipped"), std::string::npos) << r.run.output;
  ExpectMediaCount(r.streams, 4);
  for (int k = 1; k <= 3; ++k) {
    const Bytes& record = r.streams["Media " + std::to_string(k)];
    EXPECT_EQ(RecordSize(record), Size(4096, 4096)) << k;
  }
  Bytes pixels;
  const Bytes& noisy = r.streams["Media 4"];
  const size_t head = RecordHead(5, 1000, 1000, 1, {}).size();
  ASSERT_TRUE(RecordPixels(noisy, head, pixels));
  EXPECT_TRUE(pixels == noise);
}

// A compressed movie's pixels are counted on its file: padding of zeros
// that zlib packs a thousandfold (as far as a compressed movie may inflate)
// buys none. The same movie uncompressed holds its 1 MB, and its bitmap
// converts.
TEST(BitmapBudget, ACompressedMovieOfZerosDoesNotWidenTheBudget) {
  SwfWriter w(8);
  w.tag(87, Bytes(1 << 20, 0));  // DefineBinaryData: bytes the converter passes over
  w.tag(36, SwfBytes().u16(1).u8(5).u16(7000).u16(8000).data(), true);
  w.tag(22, BitmapFilledSquare(10, {1})).tag(26, PlaceAt(1, 10)).showFrame().end();
  for (bool compressed : {true, false}) {
    SCOPED_TRACE(compressed);
    const Bytes movie = w.build(compressed);
    if (compressed) {
      ASSERT_LT(movie.size(), 20000u);
    }
    ConvertedMovie r;
    ConvertOnce(r, movie);
    ExpectMediaCount(r.streams, compressed ? 0 : 1);
    // Compressed, the movie may hold all it declares: it asks for more than
    // its size allows.
    EXPECT_EQ(r.run.output.find("(character 1): the movie asks for more image data than its size allows (7000 x "
                                "8000 pixels)") != std::string::npos,
              compressed)
        << r.run.output;
  }
}

// A progressive DefineBitsJPEG3 of flat quadrants keeps the scans its
// pixels pay for. Compressed, the movie pays for the first ten and some of
// the rest: the bitmap is made of the scans read, as the file ending there
// decodes, and the first scan refused is named. Uncompressed, it pays for
// every scan and the bitmap decodes whole.
TEST(BitmapBudget, AProgressiveJpeg3KeepsTheScansItsPixelsPayFor) {
  constexpr uint32_t kSide = 2900;
  const Bytes jpeg = EncodeJpeg(QuadrantPixels(kSide), kSide, kSide, JpegKind::kThirteenScans);
  SwfWriter w(8);
  w.tag(35, SwfBytes().u16(1).u32(uint32_t(jpeg.size())).bytes(jpeg).data(), true);
  w.tag(22, BitmapFilledSquare(10, {1})).tag(26, PlaceAt(1, 10)).showFrame().end();
  for (bool compressed : {true, false}) {
    SCOPED_TRACE(compressed);
    const Bytes movie = w.build(compressed);
    const uint64_t pixels = uint64_t(kSide) * kSide;
    const uint64_t budget =
        kPixelAllowance + kPixelsPerMovieByte * BudgetedPixelBytes(w.build().size() - 8, compressed, movie.size());
    const uint32_t kept = uint32_t(std::min<uint64_t>(kPrepaidScans - 1 + budget / pixels, 13));
    ASSERT_EQ(kept > kPrepaidScans && kept < 13, compressed) << kept;
    ConvertedMovie r;
    ConvertOnce(r, movie);
    DecodedImage scansRead;
    ASSERT_EQ(RecodeJpeg(FirstScans(jpeg, kept), kDecodeOnlyQuality, scansRead), kRecodeDone);
    Bytes expected, got;
    for (size_t i = 0; i < pixels; ++i)
      expected.insert(expected.end(), {0xFF, scansRead.rgb[i * 3], scansRead.rgb[i * 3 + 1], scansRead.rgb[i * 3 + 2]});
    ASSERT_TRUE(RecordPixels(r.streams["Media 1"], RecordHead(5, kSide, kSide, 1, {}).size(), got));
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(r.run.output.find("(character 1): the movie asks for more image data than its size allows (2900 x "
                                "2900 pixels a scan); the bitmap is made of its first " +
                                std::to_string(kept) + " scans.") != std::string::npos,
              compressed)
        << r.run.output;
  }
}

// The tags of a movie (after its header), as code and body.
std::vector<std::pair<uint16_t, Bytes>> MovieTagList(const Bytes& movie) {
  std::vector<std::pair<uint16_t, Bytes>> tags;
  const Bytes body = MovieTags(movie);
  size_t at = 0;
  while (body.size() - at >= 2) {
    const uint16_t word = uint16_t(body[at] | body[at + 1] << 8);
    uint32_t length = word & 0x3F;
    at += 2;
    if (length == 0x3F) {
      if (body.size() - at < 4) break;
      length = body[at] | body[at + 1] << 8 | body[at + 2] << 16 | uint32_t(body[at + 3]) << 24;
      at += 4;
    }
    if (length > body.size() - at) break;
    tags.emplace_back(word >> 6, Bytes(body.begin() + long(at), body.begin() + long(at + length)));
    at += length;
  }
  return tags;
}

// With the shapes' JSFL import on, a shape's movie for the script carries
// the bitmaps the document holds, never one skipped for the budget.
TEST(BitmapBudget, ASkippedBitmapRidesInNoShapesMovie) {
  const Lossless small = ArgbBitmap(2);
  SwfWriter w(8);
  w.tag(36, SwfBytes().u16(1).u8(5).u16(8192).u16(8192).data(), true).tag(36, small.body);
  w.tag(22, BitmapFilledSquare(10, {1, 2})).tag(26, PlaceAt(1, 10)).showFrame().end();
  ConvertedMovie r;
  ConvertOnce(r, w.build(), {"--set", "Shape / Morph Shape: Convert Using JSFL Import=on"});
  ExpectMediaCount(r.streams, 1);
  const Bytes shapeMovie = ReadFileBytes(r.dir.file("Shapes_m.fla/Symbol 1.swf"));
  std::vector<uint16_t> bitmapIds;
  for (const auto& [code, body] : MovieTagList(shapeMovie))
    if (code == 36 && body.size() >= 2) bitmapIds.push_back(uint16_t(body[0] | body[1] << 8));
  EXPECT_EQ(bitmapIds, std::vector<uint16_t>{2});
}

}  // namespace
}  // namespace tovrani::test
