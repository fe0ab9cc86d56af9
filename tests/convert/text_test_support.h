// Builders of font and edit-text tag bodies for the text tests.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shape/shape_test_support.h"
#include "support/swf_writer.h"

namespace tovrani::test {

using Bytes = std::vector<uint8_t>;

// A DefineFont2/3 body: flags byte, name, and one square glyph per code.
inline Bytes DefineFont2(uint16_t id, uint8_t flags, const std::string& name, const std::vector<uint16_t>& codes) {
  const bool wideOffsets = flags & 0x08, wideCodes = flags & 0x04;
  std::vector<Bytes> glyphs;
  for (size_t i = 0; i < codes.size(); ++i) {
    SwfBytes g;
    g.u8(0x10);
    ShapeRecords r{g, 1, 0};
    r.Change(std::pair(0, 0), 1u, std::nullopt, std::nullopt).Straight(int32_t(100 + i), 0).End();
    glyphs.push_back(g.data());
  }
  SwfBytes b;
  b.u16(id).u8(flags).u8(0).u8(uint8_t(name.size()));
  for (char c : name) b.u8(uint8_t(c));
  b.u16(uint32_t(codes.size()));
  const uint32_t width = wideOffsets ? 4 : 2;
  uint32_t offset = uint32_t(codes.size() + 1) * width;
  auto put = [&](uint32_t v) { wideOffsets ? b.u32(v) : b.u16(v); };
  for (const Bytes& g : glyphs) {
    put(offset);
    offset += uint32_t(g.size());
  }
  put(offset);  // the code table
  for (const Bytes& g : glyphs) b.bytes(g);
  for (uint16_t c : codes) wideCodes ? b.u16(c) : b.u8(c);
  return b.data();
}

// A DefineEditText body; the flag bytes follow from the fields given.
struct Field {
  uint16_t id = 1;
  uint8_t flags1 = 0, flags2 = 0;  // beyond the Has... bits set from the fields
  std::optional<uint16_t> fontId;
  std::optional<std::string> fontClass;
  std::optional<uint32_t> color;
  std::optional<uint16_t> maxLength;
  bool layout = false;
  std::string variable = "v";
  std::optional<std::string> text;

  Bytes Body() const {
    uint8_t f1 = flags1, f2 = flags2;
    if (text) f1 |= 0x80;
    if (fontId) f1 |= 0x01;
    if (color) f1 |= 0x04;
    if (maxLength) f1 |= 0x02;
    if (fontClass) f2 |= 0x80;
    if (layout) f2 |= 0x20;
    SwfBytes b;
    b.u16(id).rect(0, 2000, 0, 400).u8(f1).u8(f2);
    if (fontId) b.u16(*fontId);
    if (fontClass) b.str(*fontClass);
    if (fontId || fontClass) b.u16(240);
    if (color) b.u32(*color);
    if (maxLength) b.u16(*maxLength);
    if (layout) b.u8(2).u16(10).u16(20).u16(30).u16(40);
    b.str(variable);
    if (text) b.str(*text);
    return b.data();
  }
};

}  // namespace tovrani::test
