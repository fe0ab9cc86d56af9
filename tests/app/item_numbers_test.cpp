// Movies whose character ids reach the top of the range, through the
// program: the items the converters add take numbers no character of the
// movie uses, and only a movie that leaves none fails.
#include <gtest/gtest.h>

#include "app/converted_movie.h"
#include "convert/text_test_support.h"
#include "support/document_frames.h"
#include "support/library_items.h"

namespace tovrani::test {
namespace {

Bytes Place(uint16_t depth, uint16_t id) { return SwfBytes().u8(0x16).u16(depth).u16(id).matrix(0, 0).u16(0).data(); }

// A square of id `top` placed, and a morph of id 1 placed at ratio 0 ('m'),
// a stream sound ('s'), or font 1 of three glyphs, text 2 showing two and a
// square of id 4 ('t': the glyphs take 3, 5 and 6). The ids up to `last`
// past those are exported: the movie names them.
Bytes Movie(uint16_t top, char what, uint16_t last = 0) {
  SwfWriter w(8);
  SwfBytes exports;
  for (uint32_t id = what == 't' ? 5 : 2; id <= last; ++id) exports.u16(id).str("e");
  if (last) w.tag(56, SwfBytes().u16(last - (what == 't' ? 4u : 1u)).bytes(exports.data()).data(), true);
  w.tag(2, SquareShape(top, 0, 400, 0xFF0000)).tag(26, Place(1, top));
  const auto square = [](ShapeRecords& r) { r.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400); };
  const auto filled = [&](ShapeRecords& r) { square(r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt)); };
  const Bytes styles = SwfBytes().u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000).u8(0).data();
  if (what == 'm') w.tag(46, SwfBytes().u16(1).bytes(MorphBody(46, styles, filled, square, 1, 0))).tag(26, Place(2, 1));
  if (what == 's') w.tag(18, SwfBytes().u8(0x0E).u8(0x0E).u16(4).data()).tag(19, {1, 0, 2, 0, 3, 0, 4, 0});
  if (what == 't') {
    SwfBytes text;
    text.u16(2).rect(0, 2000, 0, 400).matrix(0, 0).u8(8).u8(12).u8(0x8B).u16(1).u16(20).u16(300).u16(240).u8(2);
    text.ubits(0, 8).sbits(200, 12).ubits(1, 8).sbits(200, 12).align().u8(0);
    w.tag(48, DefineFont2(1, 0, "Arial", {'a', 'b', 'c'})).tag(11, text.data()).tag(26, Place(2, 2));
    w.tag(2, SquareShape(4, 0, 200, 0x00FF00)).tag(26, Place(3, 4));
  }
  return w.showFrame().end().build();
}

TEST(ItemNumbers, ConvertersTakeNumbersNoCharacterUses) {
  // The last two leave one number for the morph, three for the glyphs.
  const std::tuple<uint16_t, char, uint16_t> fit[] = {{65534, 'm', 0}, {65535, 'm', 0},     {65534, 's', 0},
                                                      {65535, 's', 0}, {65535, 't', 0},     {65535, 'm', 65533},
                                                      {65535, 't', 65532}};
  for (const auto& [top, what, last] : fit) {
    SCOPED_TRACE(std::to_string(top) + what + std::to_string(last));
    ConvertedMovie c;
    // With texts, the squares are rebuilt by the script, the one between
    // glyphs too: the font's folder holds its glyphs alone.
    ConvertOnce(c, Movie(top, what, last), {"-q", "--set", std::string("Shape / Morph Shape: Convert Using JSFL Import=") +
                                                               (what == 't' ? "on" : "off")});
    EXPECT_EQ(c.run.output.find("symbol numbers left"), std::string::npos) << c.run.output;
    const Bytes script = ReadFileBytes(c.dir.file("m.fla.jsfl"));
    EXPECT_EQ(Occurrences({script.begin(), script.end()}, "lib.selectItem('_Shapes_/"), what == 't' ? 2u : 0u);
    // No two items share a number.
    std::set<uint16_t> items, sounds;
    std::map<std::string, uint16_t> symbols;
    ASSERT_TRUE(ReadLibraryItems(c.streams.at("Contents"), items, &symbols, nullptr, &sounds));
    EXPECT_EQ(items.size(), symbols.size() + sounds.size());
  }
  // None left for the morph fails; two left for three glyphs leave the text
  // out, and say so.
  TempDir dir;
  for (const auto& [what, last, status, said] : {std::tuple('m', 65534, 1, "(result 45)"),
                                                 std::tuple('t', 65533, 0, "symbol numbers left")}) {
    WriteFileBytes(dir.file("m.swf"), Movie(65535, what, uint16_t(last)));
    const ProgramRun run = RunProgram({"-q", dir.file("m.swf"), "-o", dir.file("m.fla")}, dir.file("config"));
    EXPECT_EQ(run.status, status) << run.output;
    EXPECT_NE(run.output.find(said), std::string::npos) << run.output;
  }
  EXPECT_FALSE(ExpectReadableDocument(dir.file("m.fla")).empty());
}

}  // namespace
}  // namespace tovrani::test
