// The small movies for the script: one bitmap or font copied into the movie
// of every shape, morph shape or static text that names it.
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "hostile_movies.h"
#include "support/bitmap_data.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// DefineBitsJPEG2 1 of a start marker and `size` zero bytes.
Bytes JunkJpeg(size_t size) {
  Bytes body = SwfBytes().u16(1).u8(0xFF).u8(0xD8).data();
  body.resize(body.size() + size);
  return body;
}

// DefineBitsLossless2 1 of one pixel whose zlib data is followed by `size`
// zero bytes.
Bytes PaddedLossless(size_t size) {
  Bytes data = test::Zlib({0xFF, 0x20, 0x40, 0x60}, 9);
  data.resize(data.size() + size);
  return SwfBytes().u16(1).u8(5).u16(1).u16(1).bytes(data).data();
}

// The records of a 20-twip square from (0, 0), with fill 1 when `filled`.
void SquareRecords(SwfBytes& b, bool filled) {
  b.ubits(0, 1).ubits(filled ? 0b00101 : 0b00001, 5).ubits(1, 5).sbits(0, 1).sbits(0, 1);
  if (filled) b.ubits(1, 1);
  for (const auto& [dx, dy] : {std::pair(20, 0), std::pair(0, 20), std::pair(-20, 0), std::pair(0, -20)})
    b.ubits(0b11, 2).ubits(5, 4).ubits(1, 1).sbits(dx, 7).sbits(dy, 7);
  b.ubits(0, 6).align();
}

// DefineShape2 `id`: a square filled with bitmap 1.
void BitmapSquare(SwfWriter& w, uint16_t id) {
  SwfBytes b;
  b.u16(id).rect(0, 20, 0, 20).u8(1).u8(0x41).u16(1).matrix(0, 0).u8(0).u8(0x10);
  SquareRecords(b, true);
  w.tag(22, b.data());
}

// DefineMorphShape `id`: a square filled with bitmap 1 at both ends.
void BitmapMorph(SwfWriter& w, uint16_t id) {
  SwfBytes start, end;
  start.u8(1).u8(0x41).u16(1).matrix(0, 0).matrix(0, 0).u8(0).u8(0x10);
  SquareRecords(start, true);
  end.u8(0x00);
  SquareRecords(end, false);
  w.tag(46, SwfBytes()
                .u16(id)
                .rect(0, 20, 0, 20)
                .rect(0, 20, 0, 20)
                .u32(uint32_t(start.size()))
                .bytes(start.data())
                .bytes(end.data())
                .data());
}

// `count` shapes (or morphs) naming one bitmap tag `bitmap` of code `code`.
std::function<Bytes()> BitmapNamedBy(uint16_t code, Bytes bitmap, int count, bool morph) {
  return [=] {
    SwfWriter w(8);
    w.tag(code, bitmap, true);
    for (int i = 0; i < count; ++i) morph ? BitmapMorph(w, uint16_t(2 + i)) : BitmapSquare(w, uint16_t(2 + i));
    w.showFrame().end();
    return w.build(true);
  };
}

// One font-side tag (DefineFontAlignZones of font 1) of `size` bytes and
// `count` DefineText tags of nine bytes.
std::function<Bytes()> FontNamedBy(size_t size, int count, bool compressed) {
  return [=] {
    SwfWriter w(8);
    w.tag(73, SwfBytes().u16(1).bytes(Bytes(size, 0)).data(), true);
    for (int i = 0; i < count; ++i) w.tag(11, SwfBytes().u16(uint16_t(2 + i)).rect(0, 0, 0, 0).u8(0).u8(1).u8(1).u8(0));
    w.showFrame().end();
    return w.build(compressed);
  };
}

void ShapeImport(ConverterContext& c) { c.options.shapeJsflImport = 1; }
void TextImport(ConverterContext& c) { c.options.textJsflImport = 1; }

std::vector<Hostile> Movies() {
  return {
      // A compressed file may not inflate that far: refused before inflating.
      {"shapes_naming_a_2mb_jpeg/500", BitmapNamedBy(21, JunkJpeg(2000000), 500, false), ShapeImport,
       kResultInflatedTooShort},
      {"shapes_naming_a_1mb_lossless/1000", BitmapNamedBy(36, PaddedLossless(1000000), 1000, false), ShapeImport},
      {"morphs_naming_a_1mb_lossless/100", BitmapNamedBy(36, PaddedLossless(1000000), 100, true), ShapeImport},
      {"texts_after_a_500kb_font_tag/2000", FontNamedBy(500000, 2000, false), TextImport},
      {"texts_after_a_5mb_font_tag_cws/200", FontNamedBy(5000000, 200, true), TextImport, kResultInflatedTooShort},
      // One bitmap tag of 64 MB and no shape, compressed: refused before
      // inflating.
      {"bitmap_of_64mb_cws/0", BitmapNamedBy(21, JunkJpeg(64 << 20), 0, false), ShapeImport, kResultInflatedTooShort},
  };
}

const int kRegistered = RegisterHostileMovies("import", Movies());

}  // namespace

}  // namespace tovrani::bench
