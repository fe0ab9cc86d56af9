// The two bounds that hold whatever does the work. Movies whose documents
// repeat what they hold once (an instance name in every keyframe, a URL in
// every item's linkage) stop where the conversion has written what their
// files allow; compressed movies that declare far more than their files
// could honestly inflate to are refused before inflating; and a document
// that grows through work no allowance names writes the same per byte of
// its movie at every size.
#include <random>

#include "convert/engine.h"
#include "fla/write_bound.h"
#include "hostile_movies.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// An empty sprite, or a DefineEditText holding "x" without a font, placed
// once with an instance name of `chars` characters, then moved in each of
// `frames` frames.
Bytes NamedMovie(bool editText, size_t chars, int frames, bool compressed = true) {
  SwfWriter w(8);
  if (editText)
    w.tag(37, SwfBytes().u16(1).rect(0, 2000, 0, 400).u8(0x88).u8(0).str("").str("x").data());
  else
    w.tag(39, SwfBytes().u16(1).u16(1).u16(0).data());
  w.tag(26, SwfBytes().u8(0x22).u16(1).u16(1).str(std::string(chars, 'n')).data()).showFrame();
  for (int i = 0; i < frames; ++i) w.tag(26, SwfBytes().u8(0x05).u16(1).matrix(20, 20).data()).showFrame();
  return w.end().build(compressed);
}

// `shapes` squares of 200 twips, not placed, then an ImportAssets whose URL
// of `chars` characters names each of them with an empty name.
Bytes LinkedShapesMovie(int shapes, size_t chars) {
  SwfWriter w(8);
  SwfBytes names;
  names.str(std::string(chars, 'u')).u16(uint32_t(shapes));
  for (int id = 1; id <= shapes; ++id) {
    w.tag(2, test::SquareShape(uint16_t(id), 0, 200, 0x3366CC));
    names.u16(uint32_t(id)).u8(0);
  }
  return w.tag(57, names.data(), true).showFrame().end().build(true);
}

// A compressed movie of about `fileBytes` that inflates about `ratio`
// times: random bytes (nine tenths of the file) and zeros, each in a
// DefineBinaryData tag, and a square placed.
Bytes InflatingMovie(size_t fileBytes, size_t ratio) {
  const size_t random = fileBytes * 9 / 10, zeros = ratio * fileBytes - random;
  Bytes noise(random);
  std::mt19937 gen(3);
  for (uint8_t& b : noise) b = uint8_t(gen());
  SwfWriter w(8);
  w.tag(87, SwfBytes().u16(100).u32(0).bytes(noise).data(), true);
  w.tag(87, SwfBytes().u16(101).u32(0).bytes(Bytes(zeros, 0)).data(), true);
  w.tag(2, test::SquareShape(1, 0, 200, 0x3366CC)).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data());
  return w.showFrame().end().build(true);
}

// `count` squares, each placed once at a depth of its own: a layer and a
// library item each, which no allowance counts.
Bytes PlacedSquaresMovie(int count) {
  return RepeatedTagMovie(count, [](SwfWriter& w, uint16_t id) {
    w.tag(2, test::SquareShape(id, 0, 200, 0x3366CC)).tag(26, SwfBytes().u8(0x06).u16(id).u16(id).matrix(0, 0).data());
  });
}

// A square, then `sprites` sprites of 14 frames that place it and move it
// in each frame: pages of some 3.4 KB, each in the mini stream with its
// directory entry, so that the container's tables are some 6 % of the
// document.
Bytes MiniStreamSpritesMovie(int sprites, bool compressed) {
  SwfWriter w(8);
  w.tag(2, test::SquareShape(1, 0, 200, 0x3366CC));
  for (int s = 0; s < sprites; ++s) {
    SwfWriter inner;
    inner.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame();
    for (int f = 1; f < 14; ++f) inner.tag(26, SwfBytes().u8(0x05).u16(1).matrix(20 * f, 20 * (f % 3)).data()).showFrame();
    inner.end();
    w.tag(39, SwfBytes().u16(uint32_t(2 + s)).u16(14).bytes(inner.tags()).data());
  }
  return w.showFrame().end().build(compressed);
}

constexpr uint32_t kTooLarge = kResultDocumentTooLarge;
void Defaults(ConverterContext&) {}

const int registered = RegisterHostileMovies(
    "bound", {
                 // Past the write bound through repeated bytes.
                 {"named_sprite_8000_frames", [] { return NamedMovie(false, 16000, 8000); }, Defaults, kTooLarge},
                 {"named_edit_text_8000_frames", [] { return NamedMovie(true, 16000, 8000); }, Defaults, kTooLarge},
                 {"linked_20000_shapes", [] { return LinkedShapesMovie(20000, 16000); }, Defaults, kTooLarge},
                 // The write bound itself: a name of 32,000 characters
                 // written some 64 KB a keyframe, a little under and a
                 // little past 64 MiB.
                 {"named_sprite_1000_frames", [] { return NamedMovie(false, 32000, 1000); }},
                 {"named_sprite_1050_frames", [] { return NamedMovie(false, 32000, 1050); }, Defaults, kTooLarge},
                 // The inflation bound at one ratio, 100: under it for a
                 // file of 24 KB, past it for one of 36 KB.
                 {"inflating_100x_24KB", [] { return InflatingMovie(24000, 100); }},
                 {"inflating_100x_36KB", [] { return InflatingMovie(36000, 100); }, Defaults, kResultInflatedTooShort},
                 // The container's tables count: a compressed movie whose
                 // document is mostly mini stream, 5 % past the bound with
                 // them, and the same sprites uncompressed at 10 KB, 100 KB
                 // and 1 MB.
                 {"mini_stream_sprites_20800_cws", [] { return MiniStreamSpritesMovie(20800, true); }, Defaults,
                  kTooLarge},
                 {"mini_stream_sprites_63_10KB", [] { return MiniStreamSpritesMovie(63, false); }},
                 {"mini_stream_sprites_640_100KB", [] { return MiniStreamSpritesMovie(640, false); }},
                 {"mini_stream_sprites_6550_1MB", [] { return MiniStreamSpritesMovie(6550, false); }},
                 // A document in proportion to its movie.
                 {"placed_squares_1000", [] { return PlacedSquaresMovie(1000); }},
                 {"placed_squares_4000", [] { return PlacedSquaresMovie(4000); }},
                 {"placed_squares_16000", [] { return PlacedSquaresMovie(16000); }},
             });

}  // namespace

}  // namespace tovrani::bench
