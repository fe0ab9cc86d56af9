// Fonts and texts that declare more than their bytes hold: glyph offsets
// that overlap, fonts of empty glyphs, glyph fields of 0 bits, long font
// tables searched once per tag, and texts placed again and again.
#include "convert/converter_context.h"
#include "hostile_movies.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// A glyph: a move with fill 1, then `edges` vertical lines of one twip.
Bytes Glyph(int edges) {
  SwfBytes g;
  g.u8(0x10);                                       // 1 fill bit, 0 line bits
  g.ubits(0, 1).ubits(0x05, 5).ubits(2, 5).sbits(0, 2).sbits(0, 2).ubits(1, 1);  // move, fill 1
  for (int i = 0; i < edges; ++i) g.ubits(3, 2).ubits(0, 4).ubits(0, 1).ubits(1, 1).sbits(i % 2 ? -1 : 1, 2);
  g.ubits(0, 6).align();
  return g.data();
}

// DefineFont2 `id` named "Arial" with 16-bit offsets `offsets` (glyph count
// = their number), the glyph data `data` after them and one wide code per
// glyph up to `codes`.
Bytes Font2(uint16_t id, const std::vector<uint16_t>& offsets, const Bytes& data, size_t codes) {
  SwfBytes b;
  b.u16(id).u8(0x04).u8(0).u8(5).bytes({'A', 'r', 'i', 'a', 'l'}).u16(uint32_t(offsets.size()));
  for (uint16_t o : offsets) b.u16(o);
  b.u16(uint32_t(2 * (offsets.size() + 1) + data.size())).bytes(data);
  for (size_t i = 0; i < codes; ++i) b.u16(uint32_t('A' + i % 26));
  return b.data();
}

// DefineText `id` of one style record naming `font`, then `records` bytes of
// glyph records in fields of `bits` bits (0: every byte b is b references).
Bytes Text(uint16_t id, uint16_t font, unsigned bits, const Bytes& records) {
  SwfBytes b;
  b.u16(id).rect(0, 2000, 0, 400).u8(0).u8(uint8_t(bits)).u8(uint8_t(bits));
  b.u8(0x8F).u16(font).u8(0).u8(0).u8(0).u16(0).u16(300).u16(240).u8(1);
  b.ubits(0, bits).ubits(200, bits).align();
  return b.bytes(records).u8(0).data();
}

Bytes Place(uint16_t id, uint16_t depth) { return SwfBytes().u8(0x06).u16(depth).u16(id).u8(0).data(); }

// DefineEditText `id` with font 1 and `text`.
Bytes EditText(uint16_t id, const std::string& text, bool html) {
  SwfBytes b;
  b.u16(id).rect(0, 4000, 0, 800).u8(0x81).u8(html ? 0x02 : 0).u16(1).u16(240).str("");
  return b.str(text).data();
}

// A font of `glyphs` glyphs whose offsets take turns at the start and the
// end of one glyph of `edges` edges: every other glyph spans all of it.
Bytes OverlappingGlyphs(int glyphs, int edges) {
  const Bytes big = Glyph(edges);
  const uint16_t start = uint16_t(2 * (glyphs + 1));
  std::vector<uint16_t> offsets;
  for (int i = 0; i < glyphs; ++i) offsets.push_back(i % 2 ? uint16_t(start + big.size()) : start);
  SwfWriter w(8);
  w.tag(48, Font2(1, offsets, big, glyphs), true);
  w.tag(11, Text(2, 1, 1, {}), true).tag(26, Place(2, 1)).showFrame().end();
  return w.build();
}

// A font of `glyphs` empty glyphs, offsets alone, and a text of one glyph.
Bytes EmptyGlyphs(int glyphs) {
  SwfWriter w(8);
  w.tag(48, Font2(1, std::vector<uint16_t>(size_t(glyphs), 0), {}, 1), true);
  w.tag(11, Text(2, 1, 1, {}), true).tag(26, Place(2, 1)).showFrame().end();
  return w.build();
}

// A text of 0-bit glyph fields: `bytes` record bytes of 127 references each.
Bytes ZeroBitGlyphs(size_t bytes) {
  SwfWriter w(8);
  w.tag(48, Font2(1, {4}, Glyph(3), 1), true);
  w.tag(11, Text(2, 1, 0, Bytes(bytes, 0x7F)), true).tag(26, Place(2, 1)).showFrame().end();
  return w.build();
}

// `fonts` font records (the first named, the others bare DefineFont tags),
// then `tags` tags that each look a font up: style records of one static
// text, DefineFontInfo for an id no font has, edit texts with a font, or
// CSMTextSettings for an id no text has (after `fonts` edit texts).
Bytes FontLookups(const std::string& kind, int fonts, int tags) {
  SwfWriter w(8);
  if (kind == "settings") {
    for (int i = 0; i < fonts; ++i)
      w.tag(37, SwfBytes().u16(uint32_t(2 + i)).rect(0, 0, 0, 0).u8(0).u8(0).u8(0).data());
    for (int i = 0; i < tags; ++i) w.tag(74, SwfBytes().u16(1).u8(0x48).u8(0).u8(0).bytes(Bytes(8, 0)).data());
    w.showFrame().end();
    return w.build();
  }
  w.tag(48, SwfBytes().u16(1).u8(0).u8(0).u8(1).u8('A').u16(0).data());
  for (int i = 2; i <= fonts; ++i) w.tag(10, SwfBytes().u16(uint32_t(i)).u16(0).data());
  if (kind == "static") {
    SwfBytes b;
    b.u16(0xFFF0).rect(0, 0, 0, 0).u8(0).u8(0).u8(0);
    for (int i = 0; i < tags; ++i) b.u8(0x88).u16(1).u16(240).u8(0);
    w.tag(11, b.u8(0).data(), true).tag(26, Place(0xFFF0, 1));
  } else if (kind == "info") {
    for (int i = 0; i < tags; ++i) w.tag(13, SwfBytes().u16(0).u8(0).u8(0).data());
  } else {
    for (int i = 0; i < tags; ++i)
      w.tag(37, SwfBytes().u16(uint32_t(1 + i % 60000)).rect(0, 0, 0, 0).u8(0x01).u8(0).u16(1).u16(240).u8(0).data());
  }
  w.showFrame().end();
  return w.build();
}

// An edit text placed on `placements` depths.
Bytes PlacedEditText(const std::string& text, bool html, int placements) {
  SwfWriter w(8);
  w.tag(48, Font2(1, {4}, Glyph(3), 1), true).tag(37, EditText(2, text, html), true);
  for (int d = 1; d <= placements; ++d) w.tag(26, Place(2, uint16_t(d)));
  w.showFrame().end();
  return w.build();
}

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

// A movie without fonts: `texts` DefineText tags of nine bytes.
Bytes FontlessTexts(int texts) {
  return RepeatedTagMovie(texts, [](SwfWriter& w, uint16_t id) {
    w.tag(11, SwfBytes().u16(id).rect(0, 0, 0, 0).u8(0).u8(1).u8(1).u8(0).data());
  });
}

std::vector<Hostile> Movies() {
  const auto textFields = [](ConverterContext& ctx) { ctx.options.textToTextfields = 1; };
  const std::string link = "<A HREF=\"" + std::string(249, 'u') + "\" TARGET=\"" + std::string(49, 't') +
                           "\"><FONT FACE=\"" + std::string(254, 'F') + "\">";
  return {
      {"overlapping_glyph_offsets/4000x32000", [] { return OverlappingGlyphs(4000, 32000); }},
      {"empty_glyph_symbols/32000", [] { return EmptyGlyphs(32000); }},
      {"zero_bit_glyphs/10000", [] { return ZeroBitGlyphs(10000); }},
      {"zero_bit_glyphs_text_fields/1000000", [] { return ZeroBitGlyphs(1000000); }, textFields},
      {"font_lookups_static/65535x10000", [] { return FontLookups("static", 65535, 10000); }},
      {"font_lookups_info/65535x10000", [] { return FontLookups("info", 65535, 10000); }},
      {"font_lookups_edit/65535x10000", [] { return FontLookups("edit", 65535, 10000); }},
      {"font_lookups_settings/60000x10000", [] { return FontLookups("settings", 60000, 10000); }},
      {"edit_text_placed/100000x1000", [] { return PlacedEditText(std::string(100000, 'x'), false, 1000); }},
      {"html_runs_placed/16000x10",
       [link] { return PlacedEditText(link + Repeat("<B>x</B>x", 8000) + "</FONT></A>", true, 10); }},
      {"html_face_runs/400000x16000",
       [] {
         return PlacedEditText("<FONT FACE=\"" + std::string(400000, 'F') + "\">" + Repeat("<B>x", 16000) + "</FONT>",
                               true, 1);
       }},
      {"fontless_texts/10000", [] { return FontlessTexts(10000); }},
  };
}

const int kRegistered = RegisterHostileMovies("text", Movies());

}  // namespace

}  // namespace tovrani::bench
