// Movies whose cost lies in the number of their tags, not in what any tag
// asks for: tags of an unknown code, labels heaped on one frame, objects
// placed and removed again in the frame that placed them, sounds of no
// data (each worth a message), more sprites than a document's library can
// hold, a button of endless records, and an object moved again and again in
// one frame. Each kind comes compressed (a small file that inflates far) and
// uncompressed at three sizes, so that time, memory and bytes written per
// byte of the file can be seen to stay flat. Morph shapes under a character
// of the highest id hand out the numbers left below it.

#include "convert/engine.h"
#include "fla/stream_placement.h"
#include "fla/write_bound.h"
#include "hostile_movies.h"
#include "support/timeline_movies.h"

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

// `count` DefineSounds of 7 bytes, ADPCM with no data, all of id 1: none can
// be read, so none stands as the first of its id. Compressed, a tag of
// unknown code holds 86,300 bytes that do not compress, so that the file
// may inflate as far as its sounds reach.
Bytes UnreadableSoundsMovie(int count, bool compressed) {
  SwfWriter w(8);
  if (compressed) {
    Bytes noise(86'300);
    uint32_t x = 12345;
    for (uint8_t& b : noise) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    w.tag(777, noise);
  }
  const Bytes sound = SwfBytes().u16(1).u8(0x10).u32(0).data();
  for (int i = 0; i < count; ++i) w.tag(14, sound);
  return w.showFrame().end().build(compressed);
}

// A square of id 65535, then `count` morph shapes of ids 1 up, each placed
// once: every morph's symbol takes a number below the square's that no
// character uses.
Bytes TopIdsMovie(int count) {
  SwfWriter w(8);
  w.tag(2, test::SquareShape(0xFFFF, 0, 200, 0x2040C0)).tag(26, SwfBytes().u8(0x06).u16(1).u16(0xFFFF).matrix(0, 0).data());
  SwfBytes half;
  half.u8(0x10).ubits(0, 1).ubits(0b00011, 5).ubits(5, 5).sbits(0, 5).sbits(0, 5).ubits(1, 1);
  half.ubits(0b11, 2).ubits(5, 4).ubits(1, 1).sbits(10, 7).sbits(10, 7).ubits(0, 6).align();
  const Bytes styles = SwfBytes().u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000).u8(0).data();
  for (int i = 1; i <= count; ++i) {
    const uint16_t id = uint16_t(i);
    SwfBytes body;
    body.u16(id).rect(0, 20, 0, 20).rect(0, 20, 0, 20).u32(uint32_t(styles.size() + half.size()));
    w.tag(46, body.bytes(styles).bytes(half.data()).bytes({0x00, 0x00}).data());
    w.tag(26, SwfBytes().u8(0x16).u16(uint16_t(id + 1)).u16(id).matrix(0, 0).u16(0).data());
  }
  return w.showFrame().end().build();
}

// A square, then one DefineButton of `records` records of six bytes, each
// showing the square at depth 1 in all four states.
Bytes ButtonMovie(int records, size_t noise, bool compressed) {
  SwfWriter w(8);
  if (noise) test::AddNoise(w, noise);
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
  if (noise) test::AddNoise(w, noise);
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
      // 102 KB, 10 KB, 100 KB and 1 MB.
      {"unreadable_sounds/compressed/824839", [] { return UnreadableSoundsMovie(824'839, true); }},
      {"unreadable_sounds/1130", [] { return UnreadableSoundsMovie(1'130, false); }},
      {"unreadable_sounds/11370", [] { return UnreadableSoundsMovie(11'370, false); }},
      {"unreadable_sounds/116500", [] { return UnreadableSoundsMovie(116'500, false); }},
      {"top_ids/2000", [] { return TopIdsMovie(2'000); }},
      {"top_ids/8000", [] { return TopIdsMovie(8'000); }},
      {"top_ids/32000", [] { return TopIdsMovie(32'000); }},
      // Compressed as far as their files let them inflate, then
      // uncompressed at about 10 KB, 100 KB and 1 MB (18, 6 and 5 bytes a
      // unit).
      {"library_full/compressed/235000", [] { return test::SameIdSpritesMovie(235'000, 100'000, true); }, Defaults,
       kResultTooManyItems},
      {"library_full/10KB", [] { return test::SameIdSpritesMovie(569, 0, false); }},
      {"library_full/100KB", [] { return test::SameIdSpritesMovie(5'689, 0, false); }},
      {"library_full/1MB", [] { return test::SameIdSpritesMovie(58'254, 0, false); }, Defaults, kResultTooManyItems},
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
