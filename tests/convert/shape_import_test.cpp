// Shapes on the JSFL-import road: each becomes a "_Shapes_" symbol with an
// empty page, a small movie beside the document, and a script piece that
// imports that movie.
#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <map>

#include "fla/jsfl_script.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/import_movie.h"
#include "swf/swf_reader.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

std::vector<uint8_t> Square(uint16_t id, int32_t side) {
  SwfBytes b;
  b.u16(id).rect(0, side, 0, side).u8(1).u8(0).u8(0x20).u8(0x40).u8(0x60).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(side, 0).Straight(0, side).Straight(-side, 0).Straight(0, -side).End();
  return b.data();
}

// A DefineShape3 square: RGBA colours.
std::vector<uint8_t> Square3(uint16_t id, int32_t side, uint8_t alpha) {
  SwfBytes b;
  b.u16(id).rect(0, side, 0, side).u8(1).u8(0).u8(0x20).u8(0x40).u8(0x60).u8(alpha);
  b.u8(1).u16(20).u8(0x10).u8(0x20).u8(0x30).u8(alpha).u8(0x11);
  ShapeRecords r{b, 1, 1};
  r.Change(std::pair(0, 0), std::nullopt, 1u, 1u);
  r.Straight(side, 0).Straight(0, side).Straight(-side, 0).Straight(0, -side).End();
  return b.data();
}

std::vector<uint8_t> Place(uint16_t depth, uint16_t id) {
  SwfBytes b;
  b.u8(0x06).u16(depth).u16(id).matrix(0, 0);
  return b.data();
}

struct Converted {
  test::TempDir dir;
  ConverterContext ctx;
  std::string fla, script;
  uint32_t result = 0;
};

// A movie converted with its shapes on the import road. The document's name
// is one a script must escape.
void ConvertSwf(Converted& c, const std::vector<uint8_t>& swf, bool blockShapesFolder = false) {
  test::WriteFileBytes(c.dir.file("in.swf"), swf);
  c.fla = c.dir.file("it's \"#1\" 100%.fla");
  c.script = DeriveDocumentPaths(c.ctx, c.fla);
  if (blockShapesFolder) test::WriteFileBytes(c.ctx.m_strShapesFolder, {1});
  ASSERT_TRUE(WriteJsflHeader(c.script));
  c.ctx.options.shapeJsflImport = 1;
  test::RecordingShell shell;
  c.ctx.m_pShell = &shell;
  c.result = ConvertMovie(c.ctx, c.dir.file("in.swf"), c.fla, 0);
  c.ctx.m_pShell = nullptr;
}

// A DefineShape and a DefineShape3, placed.
void Convert(Converted& c, uint8_t version, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
             bool blockShapesFolder = false) {
  test::SwfWriter w(version);
  w.tag(2, a).tag(32, b).tag(26, Place(1, 1)).tag(26, Place(2, 2)).showFrame().end();
  ConvertSwf(c, w.build(), blockShapesFolder);
}

// The tags of a small movie after a header whose length field must match.
std::vector<std::pair<uint16_t, std::vector<uint8_t>>> MovieTags(const std::vector<uint8_t>& movie) {
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> tags;
  SwfReader r(movie);
  std::string signature(3, '\0');
  r.bytes(signature.data(), 3);
  EXPECT_EQ(signature, "FWS");
  r.u8();
  EXPECT_EQ(r.u32(), movie.size());
  SwfRect frame;
  ReadSwfRect(r, frame);
  r.u16();
  EXPECT_EQ(r.u16(), 1);
  TagHeader h;
  while (r.ok() && !r.atEnd() && r.tagHeader(h)) {
    std::span<const uint8_t> body = r.take(h.length);
    tags.emplace_back(h.code, std::vector<uint8_t>(body.begin(), body.end()));
  }
  EXPECT_TRUE(r.ok());
  return tags;
}

class ShapeImport : public ::testing::TestWithParam<int> {};

TEST_P(ShapeImport, ShapesBecomeImportedSymbols) {
  Converted c;
  // The DefineShape3's transparent fill and line reach the import with
  // alpha 1.
  const std::vector<uint8_t> shapes[2] = {Square(1, 400), Square3(2, 900, 0)};
  const std::vector<uint8_t> imported[2] = {shapes[0], Square3(2, 900, 1)};
  Convert(c, uint8_t(GetParam()), shapes[0], shapes[1]);
  ASSERT_EQ(c.result, uint32_t(kResultDone));
  EXPECT_EQ(c.ctx.m_bJsflWritten, 1);

  ASSERT_EQ(c.script, c.fla + ".jsfl");
  auto streams = test::ExpectReadableDocument(c.fla);
  const std::vector<uint8_t> raw = test::ReadFileBytes(c.script);
  const std::string script(raw.begin(), raw.end());

  const uint16_t codes[2] = {2, 32};
  size_t lastPiece = 0;
  for (uint16_t id = 1; id <= 2; ++id) {
    const std::string name = "Symbol " + std::to_string(id);
    ASSERT_TRUE(streams.count(name)) << name;

    const std::string movie = c.ctx.m_strShapesFolder + "/" + name + ".swf";
    const auto tags = MovieTags(test::ReadFileBytes(movie));
    ASSERT_EQ(tags.size(), 4u) << name;
    EXPECT_EQ(tags[0].first, codes[id - 1]);
    EXPECT_EQ(tags[0].second, imported[id - 1]);
    EXPECT_EQ(tags[1].first, 26);
    EXPECT_EQ(tags[1].second, (std::vector<uint8_t>{0x06, 0x01, 0x00, uint8_t(id), 0x00, 0x00}));
    EXPECT_EQ(tags[2].first, 1);
    EXPECT_EQ(tags[3].first, 0);

    // The piece selects the symbol in "_Shapes_" and imports its movie.
    const size_t piece = script.find("lib.selectItem('_Shapes_/" + name + "')");
    ASSERT_NE(piece, std::string::npos) << name;
    EXPECT_GT(piece, lastPiece);
    lastPiece = piece;
    const std::string url = FileUrlFromPath(movie);
    EXPECT_NE(script.find("_fr_.importSWF(\"" + url + "\")", piece), std::string::npos) << url;
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, ShapeImport, ::testing::Values(6, 7, 8));

// 1x1 DefineBitsLossless pixels (format 5), zlib-compressed as stored.
std::vector<uint8_t> Lossless(uint16_t id) {
  const uint8_t argb[4] = {0xFF, 0x10, 0x20, 0x30};
  std::vector<uint8_t> z(64);
  uLongf len = uLongf(z.size());
  EXPECT_EQ(compress2(z.data(), &len, argb, sizeof argb, 9), Z_OK);
  z.resize(len);
  SwfBytes b;
  b.u16(id).u8(5).u16(1).u16(1).bytes(z);
  return b.data();
}

// DefineShape4: a bitmap fill and a "no bitmap" fill, then new style arrays
// with a fill of a bitmap defined later and a line filled with another.
std::vector<uint8_t> BitmapShape() {
  SwfBytes b;
  b.u16(1).rect(0, 400, 0, 400).rect(0, 400, 0, 400).u8(0);
  b.u8(2).u8(0x41).u16(3).matrix(0, 0, true, 20 << 16, 20 << 16).u8(0x43).u16(0xFFFF).matrix(0, 0);
  b.u8(0).u8(0x20);
  ShapeRecords r{b, 2, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400);
  r.Change(std::nullopt, std::nullopt, std::nullopt, std::nullopt, true);
  b.align();
  b.u8(1).u8(0x42).u16(9).matrix(0, 0);
  b.u8(1).u16(20).u8(0x08).u8(0).u8(0x40).u16(4).matrix(5, 5);
  b.u8(0x11);
  ShapeRecords r2{b, 1, 1};
  r2.Change(std::nullopt, std::nullopt, 1u, 1u).Straight(50, 0).End();
  return b.data();
}

TEST(ShapeImportBitmaps, EachMovieCarriesTheBitmapsItsFillsUse) {
  const std::vector<uint8_t> tables = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x02, 0xFF, 0xD9};
  const std::vector<uint8_t> jpeg = {3, 0, 0xFF, 0xD8, 0xFF, 0xD9};
  const std::vector<uint8_t> shapes[2] = {BitmapShape(), Square(2, 900)};
  test::SwfWriter w(8);
  w.tag(8, tables).tag(9, {0, 0, 0}).tag(6, jpeg).tag(20, Lossless(4), true);
  w.tag(83, shapes[0]).tag(2, shapes[1]).tag(20, Lossless(9));
  w.tag(26, Place(1, 1)).tag(26, Place(2, 2)).showFrame().end();
  Converted c;
  ConvertSwf(c, w.build());
  ASSERT_EQ(c.result, uint32_t(kResultDone));
  auto streams = test::ExpectReadableDocument(c.fla);

  const std::vector<std::vector<std::pair<uint16_t, std::vector<uint8_t>>>> expected = {
      {{8, tables}, {6, jpeg}, {20, Lossless(4)}, {83, shapes[0]}},
      {{2, shapes[1]}}};
  for (uint16_t id = 1; id <= 2; ++id) {
    const std::string name = "Symbol " + std::to_string(id);
    ASSERT_TRUE(streams.count(name)) << name;
    auto tags = MovieTags(test::ReadFileBytes(c.ctx.m_strShapesFolder + "/" + name + ".swf"));
    ASSERT_EQ(tags.size(), expected[id - 1].size() + 3) << name;
    tags.resize(expected[id - 1].size());
    EXPECT_EQ(tags, expected[id - 1]) << name;
  }
}

TEST(ShapeImportFallback, AShapeWhoseMovieCannotBeWrittenIsConvertedAsUsual) {
  Converted c;
  Convert(c, 8, Square(1, 400), Square(2, 900), true);
  ASSERT_EQ(c.result, uint32_t(kResultDone));
  auto streams = test::ExpectReadableDocument(c.fla);
  for (uint16_t id = 1; id <= 2; ++id) {
    const std::string name = "Symbol " + std::to_string(id);
    ASSERT_TRUE(streams.count(name));
    EXPECT_TRUE(test::CheckShapePage(streams[name], 2, id)) << name;
  }
  EXPECT_EQ(c.ctx.m_bJsflWritten, 0);
}

// A square growing into a larger one: a solid fill from red with alpha
// `alpha` to opaque green, a line from opaque black to white with alpha
// `alpha`; a DefineMorphShape2 also has a fill of bitmap 9 and no line
// flags.
std::vector<uint8_t> MorphTag(uint16_t code, uint16_t id, uint8_t alpha) {
  SwfBytes s;
  s.u8(code == 84 ? 2 : 1).u8(0).u8(0xFF).u8(0).u8(0).u8(alpha).u8(0).u8(0xFF).u8(0).u8(0xFF);
  if (code == 84) s.u8(0x41).u16(9).matrix(0, 0, true, 20 << 16, 20 << 16).matrix(0, 0, true, 40 << 16, 40 << 16);
  s.u8(1).u16(20).u16(60);
  if (code == 84) s.u8(0).u8(0);
  s.u8(0).u8(0).u8(0).u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF).u8(alpha);
  const auto body = test::MorphBody(
      code, s.data(),
      [](ShapeRecords& r) {
        r.Change(std::pair(0, 0), 1u, 1u, std::nullopt);
        r.Straight(1000, 0).Straight(0, 1000).Curve(-500, 500, -500, -500).Straight(0, -1000);
      },
      [](ShapeRecords& r) { r.Straight(2000, 0).Straight(0, 2000).Straight(-2000, 0).Straight(0, -2000); });
  std::vector<uint8_t> out = SwfBytes().u16(id).data();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> PlaceAt(uint16_t depth, uint16_t id, uint16_t ratio) {
  return SwfBytes().u8(0x16).u16(depth).u16(id).matrix(0, 0).u16(ratio).data();
}

// What the import movies place: the character at depth 1, the empty matrix,
// the ratio.
std::vector<uint8_t> ImportPlacement(uint16_t id, uint16_t ratio) {
  return {0x16, 0x01, 0x00, uint8_t(id), uint8_t(id >> 8), 0x00, uint8_t(ratio), uint8_t(ratio >> 8)};
}

class MorphImport : public ::testing::TestWithParam<int> {};

// A DefineMorphShape with transparent colours and a DefineMorphShape2 with
// a bitmap fill: each morph's start and end shapes become "_Shapes_"
// symbols importing the morph at ratio 0 and 65535, their pieces come
// before the morph pieces that break the imported shapes apart, and the
// document shows what the movie shows.
TEST_P(MorphImport, StartAndEndShapesBecomeImportedSymbols) {
  const std::vector<uint8_t> morphs[2] = {MorphTag(46, 1, 0), MorphTag(84, 2, 0)};
  test::SwfWriter w{uint8_t(GetParam())};
  w.tag(20, Lossless(9)).tag(46, morphs[0]).tag(84, morphs[1]);
  w.tag(26, PlaceAt(1, 1, 0)).tag(26, PlaceAt(2, 2, 30000)).showFrame();
  w.tag(26, SwfBytes().u8(0x11).u16(1).u16(65535).data()).showFrame().end();
  const std::vector<uint8_t> movie = w.build();
  Converted c;
  ConvertSwf(c, movie);
  ASSERT_EQ(c.result, uint32_t(kResultDone));
  EXPECT_EQ(c.ctx.m_bJsflWritten, 1);
  const auto streams = test::ExpectReadableDocument(c.fla);
  EXPECT_TRUE(test::DocumentShowsMovie(movie, streams));

  // Only the DefineMorphShape reaches the import with alpha 1; the
  // DefineMorphShape2 goes as it is, after the bitmap its fill uses.
  const std::vector<uint8_t> imported[2] = {MorphTag(46, 1, 1), morphs[1]};
  ASSERT_NE(imported[0], morphs[0]);
  const std::vector<uint8_t> raw = test::ReadFileBytes(c.script);
  const std::string script(raw.begin(), raw.end());
  const size_t firstMorphPiece = script.find("lib.selectItem('_Morph_Shapes_/");
  ASSERT_NE(firstMorphPiece, std::string::npos);
  size_t lastPiece = 0;
  for (uint16_t n = 1; n <= 4; ++n) {
    const std::string name = "Symbol " + std::to_string(n);
    SCOPED_TRACE(name);
    ASSERT_TRUE(streams.count(name));
    const int morph = (n - 1) / 2;
    const uint16_t code = morph == 0 ? 46 : 84;
    const uint16_t ratio = n % 2 ? 0 : 0xFFFF;
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> expected;
    if (code == 84) expected.emplace_back(20, Lossless(9));
    expected.emplace_back(code, imported[morph]);
    expected.emplace_back(26, ImportPlacement(uint16_t(morph + 1), ratio));
    expected.emplace_back(1, std::vector<uint8_t>{});
    expected.emplace_back(0, std::vector<uint8_t>{});
    const std::string file = c.ctx.m_strShapesFolder + "/" + name + ".swf";
    EXPECT_EQ(MovieTags(test::ReadFileBytes(file)), expected);

    const size_t piece = script.find("lib.selectItem('_Shapes_/" + name + "')");
    ASSERT_NE(piece, std::string::npos);
    EXPECT_GT(piece, lastPiece);
    EXPECT_LT(piece, firstMorphPiece);
    lastPiece = piece;
    EXPECT_NE(script.find("_fr_.importSWF(\"" + FileUrlFromPath(file) + "\")", piece), std::string::npos);
  }
  EXPECT_EQ(script.find("_Morph_Shapes_Elements_"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Versions, MorphImport, ::testing::Values(6, 8));

// A morph whose movies cannot be written takes the exact road: its start and
// end shapes are shape pages of the document. A morph whose end-edges offset
// points past its body puts nothing into an import movie and is left out,
// and the morph after it is imported as usual.
TEST(MorphImportFallback, AMorphWithoutMoviesKeepsItsShapePages) {
  {
    Converted c;
    test::SwfWriter w(8);
    w.tag(46, MorphTag(46, 1, 0)).tag(26, PlaceAt(1, 1, 0)).showFrame().end();
    ConvertSwf(c, w.build(), true);
    ASSERT_EQ(c.result, uint32_t(kResultDone));
    auto streams = test::ExpectReadableDocument(c.fla);
    for (const char* name : {"Symbol 1", "Symbol 2"}) {
      ASSERT_TRUE(streams.count(name)) << name;
      EXPECT_TRUE(test::CheckShapePage(streams[name], 2, 1)) << name;
    }
    const std::vector<uint8_t> raw = test::ReadFileBytes(c.script);
    const std::string script(raw.begin(), raw.end());
    EXPECT_EQ(script.find("'_Shapes_/"), std::string::npos);
    EXPECT_NE(script.find("_Morph_Shapes_/"), std::string::npos);
  }
  {
    std::vector<uint8_t> bad = MorphTag(46, 1, 0);
    const size_t offsetAt = 2 + SwfBytes().rect(0, 2000, 0, 2000).rect(0, 2000, 0, 2000).data().size();
    const uint32_t pastTheBody = uint32_t(bad.size());
    for (size_t i = 0; i < 4; ++i) bad[offsetAt + i] = uint8_t(pastTheBody >> (8 * i));
    Converted c;
    test::SwfWriter w(8);
    w.tag(46, bad).tag(46, MorphTag(46, 2, 0)).tag(26, PlaceAt(1, 2, 0)).showFrame().end();
    ConvertSwf(c, w.build());
    ASSERT_EQ(c.result, uint32_t(kResultDone));
    auto streams = test::ExpectReadableDocument(c.fla);
    EXPECT_TRUE(streams.count("Symbol 1") && streams.count("Symbol 2"));
    size_t movies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(c.ctx.m_strShapesFolder)) {
      ++movies;
      const auto tags = MovieTags(test::ReadFileBytes(entry.path().string()));
      ASSERT_FALSE(tags.empty());
      EXPECT_EQ(tags[0].second, MorphTag(46, 2, 1)) << entry.path();
    }
    EXPECT_EQ(movies, 2u);
  }
}

TEST(ImportMovie, HeaderHoldsTheFrameAndTheMovieLength) {
  const SwfRect frame{-20, 11000, 0, 1 << 29};
  const std::vector<uint8_t> body = {7, 0, 1, 2, 3};
  const auto built = BuildImportMovie(ImportMovieHeader(5, frame, 0x1800), 2, body, 7);
  ASSERT_TRUE(built);
  const std::vector<uint8_t>& movie = *built;
  SwfReader r(movie);
  r.skip(8);
  SwfRect back;
  ReadSwfRect(r, back);
  EXPECT_EQ(back.xmin, frame.xmin);
  EXPECT_EQ(back.xmax, frame.xmax);
  EXPECT_EQ(back.ymax, frame.ymax);
  EXPECT_EQ(r.u16(), 0x1800);
  EXPECT_EQ(MovieTags(movie).size(), 4u);
  EXPECT_FALSE(BuildImportMovie(ImportMovieHeader(5, frame, 0), 2, body, 7, 6));
}

}  // namespace
}  // namespace tovrani
