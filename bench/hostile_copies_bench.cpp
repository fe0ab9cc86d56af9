// What a movie holds once and the conversion repeats per element: an
// instance name in every frame its placement is moved, an import's URL in
// every id the tag names, the JPEGTables in the medium of every DefineBits.
// Each compressed movie as a hostile one would be made, then each kind
// uncompressed at three sizes, so that the cost per byte of the movie can be
// seen to stay level.
#include "hostile_movies.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// An empty sprite (or a DefineEditText showing "x" with no font) placed
// once with an instance name of `nameLength` characters, then moved to
// the same place in each of `frames` frames.
std::function<Bytes()> NamedMoves(bool editText, size_t nameLength, int frames, bool compressed) {
  return [=] {
    SwfWriter w(8);
    if (editText) {
      w.tag(37, SwfBytes().u16(1).rect(0, 2000, 0, 400).u8(0x88).u8(0).str("").str("x").data());
    } else {
      Bytes body = SwfBytes().u16(1).u16(1).data();
      for (const uint16_t code : {1, 0}) {
        const Bytes tag = SwfWriter::TagBytes(code, {});
        body.insert(body.end(), tag.begin(), tag.end());
      }
      w.tag(39, body);
    }
    w.tag(26, SwfBytes().u8(0x26).u16(1).u16(1).matrix(0, 0).str(std::string(nameLength, 'n')).data());
    const Bytes move = SwfBytes().u8(0x05).u16(1).matrix(20, 20).data();
    for (int i = 0; i < frames; ++i) w.tag(26, move).showFrame();
    return w.end().build(compressed);
  };
}

// One JPEGTables of `segments` comment segments of 65,000 bytes, then
// `count` DefineBits of a grey 8 x 8 frame header and nothing else.
std::function<Bytes()> SharedJpegTables(int segments, int count, bool compressed) {
  return [=] {
    SwfBytes tables;
    tables.u8(0xFF).u8(0xD8);
    for (int i = 0; i < segments; ++i) tables.u8(0xFF).u8(0xFE).u8(65002 >> 8).u8(65002 & 0xFF).bytes(Bytes(65000, 0));
    tables.u8(0xFF).u8(0xD9);
    SwfWriter w(8);
    w.tag(8, tables.data(), true);
    const Bytes frame = {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0};
    for (int i = 1; i <= count; ++i)
      w.tag(6, SwfBytes().u16(uint32_t(i)).u8(0xFF).u8(0xD8).bytes(frame).u8(0xFF).u8(0xD9).data(), true);
    return w.showFrame().end().build(compressed);
  };
}

// `shapes` squares of 200 twips, not placed, then one ImportAssets from a
// URL of `urlLength` characters naming ids 1 to `ids` with empty names.
std::function<Bytes()> ImportedIds(int shapes, int ids, size_t urlLength, bool compressed) {
  return [=] {
    SwfWriter w(8);
    for (int i = 1; i <= shapes; ++i) w.tag(2, test::SquareShape(uint16_t(i), 0, 200, 0x808080));
    SwfBytes imports;
    imports.str(std::string(urlLength, 'u')).u16(uint32_t(ids));
    for (int i = 1; i <= ids; ++i) imports.u16(uint32_t(i)).u8(0);
    w.tag(57, imports.data(), true);
    return w.showFrame().end().build(compressed);
  };
}

std::vector<Hostile> Movies() {
  // The compressed names in 8,000 keyframes and URL in 20,000 items are
  // the write bound's (group "bound"): they stop there.
  std::vector<Hostile> movies = {
      {"jpeg_tables_of_1mb_cws/400", SharedJpegTables(16, 400, true)},
      {"import_url_32000_alone_cws/65535", ImportedIds(0, 65535, 32000, true)},
  };
  // Each kind at 1, 4 and 16 times: the elements grow with the movie, what
  // is held once stays (the tables grow too: their copies are cut by an
  // allowance).
  for (const int times : {1, 4, 16}) {
    const std::string n = std::to_string(times) + "x";
    movies.push_back({"sprite_named_2000_moved_1000_frames/" + n, NamedMoves(false, 2000, 1000 * times, false)});
    movies.push_back({"edit_text_named_2000_moved_1000_frames/" + n, NamedMoves(true, 2000, 1000 * times, false)});
    movies.push_back({"jpeg_tables_64kb_100_bits/" + n, SharedJpegTables(times, 100 * times, false)});
    movies.push_back({"import_url_2000_with_1000_shapes/" + n, ImportedIds(1000 * times, 1000 * times, 2000, false)});
    movies.push_back({"import_url_2000_alone_4000_ids/" + n, ImportedIds(0, 4000 * times, 2000, false)});
  }
  return movies;
}

const int kRegistered = RegisterHostileMovies("copies", Movies());

}  // namespace

}  // namespace tovrani::bench
