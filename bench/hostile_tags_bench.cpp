// Movies whose cost lies in the number of their tags, not in what any tag
// asks for: tags of an unknown code, labels heaped on one frame, objects
// placed and removed again in the frame that placed them, more sprites than
// a document's library can hold, a button of endless records, and an
// object moved again and again in one frame. Each kind comes
// compressed (a small file that inflates far) and uncompressed at three
// sizes, so that time, memory and bytes written per byte of the file can be
// seen to stay flat.
#include <random>

#include "convert/engine.h"
#include "fla/stream_placement.h"
#include "fla/write_bound.h"
#include "hostile_movies.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// The compressed movies that inflate past what their files allow are refused
// before they inflate; their causes are measured uncompressed.
constexpr uint32_t kRefused = kResultInflatedTooShort;
void Defaults(ConverterContext&) {}

// `count` empty tags of a code no handler knows, then one frame.
Bytes EmptyTagsMovie(int count, bool compressed) {
  SwfWriter w(8);
  for (int i = 0; i < count; ++i) w.tag(777);
  return w.showFrame().end().build(compressed);
}

// `count` FrameLabels, all in frame 1.
Bytes LabelsMovie(int count, bool compressed) {
  SwfWriter w(8);
  const Bytes label = SwfBytes().str("a").data();
  for (int i = 0; i < count; ++i) w.tag(43, label);
  return w.showFrame().end().build(compressed);
}

// A square, then `count` PlaceObject2 + RemoveObject2 pairs of it at one
// depth, all in frame 1.
Bytes PlaceRemoveMovie(int count, bool compressed) {
  SwfWriter w(8);
  w.tag(2, test::SquareShape(1, 0, 200, 0x2040C0));
  const Bytes place = SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data();
  const Bytes remove = SwfBytes().u16(1).data();
  for (int i = 0; i < count; ++i) w.tag(26, place).tag(28, remove);
  return w.showFrame().end().build(compressed);
}

// A DefineBinaryData of `bytes` random bytes: a compressed movie's file
// grows by about as much, so that it may inflate as far as the rows need.
void Noise(SwfWriter& w, size_t bytes) {
  Bytes noise(bytes);
  std::mt19937 gen(7);
  for (uint8_t& b : noise) b = uint8_t(gen());
  w.tag(87, SwfBytes().u16(900).u32(0).bytes(noise).data(), true);
}

// A square, then `count` DefineSprite tags of id 2, each one frame placing
// the square: past some 32,760 the library cannot hold another symbol.
Bytes SpritesMovie(int count, size_t noise, bool compressed) {
  SwfWriter w(8);
  if (noise) Noise(w, noise);
  w.tag(2, test::SquareShape(1, 0, 200, 0x2040C0));
  SwfWriter inner(8);
  inner.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame().end();
  const Bytes sprite = SwfBytes().u16(2).u16(1).bytes(inner.tags()).data();
  for (int i = 0; i < count; ++i) w.tag(39, sprite);
  return w.showFrame().end().build(compressed);
}

// A square, then one DefineButton of `records` records of six bytes, each
// showing the square at depth 1 in all four states.
Bytes ButtonMovie(int records, size_t noise, bool compressed) {
  SwfWriter w(8);
  if (noise) Noise(w, noise);
  w.tag(2, test::SquareShape(1, 0, 200, 0x2040C0));
  SwfBytes button;
  button.u16(2);
  for (int i = 0; i < records; ++i) button.u8(0x0F).u16(1).u16(1).matrix(0, 0);
  button.u8(0).u8(0);
  w.tag(7, button.data(), true);
  return w.showFrame().end().build(compressed);
}

// A square placed at depth 1, then `count` PlaceObject2 tags that only
// move it (no field but the move flag), all in frame 1.
Bytes MovesMovie(int count, size_t noise, bool compressed) {
  SwfWriter w(8);
  if (noise) Noise(w, noise);
  w.tag(2, test::SquareShape(1, 0, 200, 0x2040C0));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data());
  const Bytes move = SwfBytes().u8(0x01).u16(1).data();
  for (int i = 0; i < count; ++i) w.tag(26, move);
  return w.showFrame().end().build(compressed);
}

std::vector<Hostile> Movies() {
  return {
      {"empty/compressed/100000000", [] { return EmptyTagsMovie(100'000'000, true); }, Defaults, kRefused},
      {"empty/1000000", [] { return EmptyTagsMovie(1'000'000, false); }},
      {"empty/4000000", [] { return EmptyTagsMovie(4'000'000, false); }},
      {"empty/16000000", [] { return EmptyTagsMovie(16'000'000, false); }},
      {"labels/compressed/270000", [] { return LabelsMovie(270'000, true); }},
      {"labels/compressed/3200000", [] { return LabelsMovie(3'200'000, true); }, Defaults, kRefused},
      {"labels/20000", [] { return LabelsMovie(20'000, false); }},
      {"labels/80000", [] { return LabelsMovie(80'000, false); }},
      {"labels/320000", [] { return LabelsMovie(320'000, false); }},
      {"place_remove/compressed/3200000", [] { return PlaceRemoveMovie(3'200'000, true); }, Defaults, kRefused},
      {"place_remove/100000", [] { return PlaceRemoveMovie(100'000, false); }},
      {"place_remove/400000", [] { return PlaceRemoveMovie(400'000, false); }},
      {"place_remove/1600000", [] { return PlaceRemoveMovie(1'600'000, false); }},
      // Compressed as far as their files let them inflate, then
      // uncompressed at about 10 KB, 100 KB and 1 MB (18, 6 and 5 bytes a
      // unit).
      {"library_full/compressed/235000", [] { return SpritesMovie(235'000, 100'000, true); }, Defaults,
       kResultTooManyItems},
      {"library_full/10KB", [] { return SpritesMovie(569, 0, false); }},
      {"library_full/100KB", [] { return SpritesMovie(5'689, 0, false); }},
      {"library_full/1MB", [] { return SpritesMovie(58'254, 0, false); }, Defaults, kResultTooManyItems},
      {"button_records/compressed/705070", [] { return ButtonMovie(705'070, 100'000, true); }, Defaults,
       kResultDocumentTooLarge},
      {"button_records/10KB", [] { return ButtonMovie(1'706, 0, false); }},
      {"button_records/100KB", [] { return ButtonMovie(17'066, 0, false); }},
      {"button_records/1MB", [] { return ButtonMovie(174'762, 0, false); }},
      {"moves_in_one_frame/compressed/1050478", [] { return MovesMovie(1'050'478, 66'000, true); }},
      {"moves_in_one_frame/10KB", [] { return MovesMovie(2'048, 0, false); }},
      {"moves_in_one_frame/100KB", [] { return MovesMovie(20'480, 0, false); }},
      {"moves_in_one_frame/1MB", [] { return MovesMovie(209'715, 0, false); }},
  };
}

const int kRegistered = RegisterHostileMovies("tags", Movies());

}  // namespace

}  // namespace tovrani::bench
