#include "fla/document_page.h"

#include <algorithm>
#include <initializer_list>

namespace tovrani {
namespace {

void U32s(ContentsStream& s, std::initializer_list<uint32_t> values) {
  for (uint32_t v : values) s.PutU32(v);
}
void Zeros32(ContentsStream& s, int n) {
  for (int i = 0; i < n; ++i) s.PutU32(0);
}
// u8 0 then the marker: an empty string followed by the next one's marker.
void EmptyThenMarker(ContentsStream& s) {
  s.PutU8(0);
  s.PutMarker();
}

constexpr uint32_t kNewClassSchema1 = 0x1FFFF;  // FF FF 01 00
constexpr uint32_t kMinusOne = 0xFFFFFFFF;

void WriteItemId(ContentsStream& s, ItemId id) {
  s.PutU32(id.stamp);
  s.PutU32(id.counter);
}

// The level-0 page record after its name, to its last field.
void WritePageRestLevel0(ContentsStream& s) {
  U32s(s, {0, 0, 1, 0, kMinusOne, 0});
  s.PutU8(0);
  s.PutU32(512);
  s.PutU16(0);
  U32s(s, {1, 1, 3});
  s.PutU8(0);
  s.PutU8(0);
  s.PutU8(0);
  s.PutU8(0);
  s.PutU32(1);
  s.PutU8(0);
  s.PutU8(0);
  U32s(s, {0, 0, 1, 0, kMinusOne, 512, 0, 0x2000000});
  Zeros32(s, 5);
  s.PutU16(0);
}

// Levels 1 and 2 share most of the rest; `wide` is level 2.
void WritePageRestUnicode(ContentsStream& s, bool wide) {
  const uint32_t k = wide ? 7 : 5;  // the word that differs between the two
  if (wide) {
    U32s(s, {0, 0, 1, 0, kMinusOne});
    EmptyThenMarker(s);
    s.PutU32(0);
    s.PutU16(0);
    s.PutMarker();
    EmptyThenMarker(s);
  } else {
    U32s(s, {0, 0, 1, 0, kMinusOne, 0});
    EmptyThenMarker(s);
    EmptyThenMarker(s);
  }
  s.PutU32(512);
  s.PutU16(0);
  U32s(s, {1, 1, k});
  EmptyThenMarker(s);
  EmptyThenMarker(s);
  EmptyThenMarker(s);
  s.PutU16(0);
  s.PutU32(2);
  s.PutMarker();
  EmptyThenMarker(s);
  s.PutU8(0);
  if (wide) {
    U32s(s, {0, 0, 1, 0, kMinusOne});
    EmptyThenMarker(s);
    s.PutU8(0);
    s.PutU32(6);
    EmptyThenMarker(s);
  } else {
    U32s(s, {0, 0, 1, 0, kMinusOne, 5});
    EmptyThenMarker(s);
  }
  U32s(s, {0, 256, 0});
  EmptyThenMarker(s);
  s.PutU8(0);
  s.PutU8(3);
  s.PutMarker();
  s.PutU8(0);
  Zeros32(s, 2);
  s.PutU8(3);
  s.PutMarker();
  s.PutU8(0);
  Zeros32(s, 2);
  s.PutU8(3);
  s.PutMarker();
  s.PutU8(0);
  Zeros32(s, 2);
  s.PutMarker();
  s.PutU8(0);
  s.PutU32(2);
  s.PutU8(0);
  s.PutU32(1);
  s.PutMarker();
  s.PutU8(0);
  Zeros32(s, wide ? 3 : 2);
  s.PutMarker();
  EmptyThenMarker(s);
  s.PutU8(0);
  s.PutU32(wide ? 1 : 0);
  s.PutMarker();
  s.PutU8(0);
  if (wide) {
    s.PutU32(0);
    s.PutU16(0);
    U32s(s, {0x8000, 0x8000, 0x8000});
    s.PutU16(0x8000);
  }
}

// ---- palette ----

struct Swatch {
  uint8_t r, g, b;
  SwatchHls hls;
};

// Separator colours between the cube blocks, as RGB.
constexpr uint32_t kSeparators[11] = {0x333333, 0x666666, 0x999999, 0xCCCCCC, 0xFFFFFF, 0xFF0000,
                                      0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

Swatch MakeSwatch(uint32_t rgb) {
  Swatch s{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb), {}};
  s.hls = RgbToSwatchHls(s.r, s.g, s.b);
  return s;
}

// The authoring tool's palette stores these swatches with other values than
// the conversion gives; the document keeps them as it has them.
void ApplyStoredHls(Swatch& s, int block, bool firstInBlock, bool separator) {
  const uint32_t rgb = (uint32_t{s.r} << 16) | (uint32_t{s.g} << 8) | s.b;
  if (block == 0 && firstInBlock) {
    s.hls = {80, 239, 0};
  } else if (separator && (rgb == 0x00FF00 || rgb == 0x0000FF)) {
    s.hls = {0, 239, 120};
  } else if (!separator && block == 5 && s.r == 0x66) {
    constexpr uint16_t kHues[6] = {180, 173, 160, 140, 120, 107};
    s.hls.hue = kHues[s.g / 0x33];
  } else if (!separator && rgb == 0x9966CC) {
    s.hls.hue = 228;
  }
}

std::vector<Swatch> SolidSwatches() {
  const Swatch black{0, 0, 0, {}};
  std::vector<Swatch> out;
  out.reserve(251);
  out.push_back(black);
  for (int k = 0; k < 12; ++k) {
    const uint8_t blue = static_cast<uint8_t>(0x33 * (k % 6));
    const int redBase = k < 6 ? 0 : 3;
    for (int ri = 0; ri < 3; ++ri) {
      for (int gi = 0; gi < 6; ++gi) {
        Swatch s = MakeSwatch((uint32_t(0x33 * (redBase + ri)) << 16) | (uint32_t(0x33 * gi) << 8) | blue);
        ApplyStoredHls(s, k, ri == 0 && gi == 0, false);
        out.push_back(s);
      }
    }
    out.push_back(black);
    if (k < 11) {
      Swatch sep = MakeSwatch(kSeparators[k]);
      ApplyStoredHls(sep, k, false, true);
      out.push_back(sep);
      out.push_back(black);
    }
  }
  return out;
}

struct Gradient {
  uint32_t type;  // 16 linear, 18 radial
  uint32_t stops;
  std::initializer_list<uint32_t> words;
  bool trailingU16;
};

}  // namespace

void WritePageHead(ContentsStream& s, uint8_t level, const PageHead& head) {
  const bool unicode = level >= 1;
  s.PutString(head.name, level);
  if (unicode) s.PutMarker();
  s.PutString(head.itemName, level);
  s.PutU16(head.itemNo);
  s.PutU16(0);
  s.PutU8(head.kind);
  if (unicode) s.PutMarker();
  s.PutU8(0);
  s.PutU32(1);
  s.PutU32(unicode ? 6 : 5);
  s.PutU32(1);
  WriteItemId(s, head.parent);
  s.PutU32(1);
  WriteItemId(s, head.own);
  s.PutU32(0);
}

void WriteNoLinkage(ContentsStream& s, uint8_t level) {
  if (level >= 1) {
    s.PutU32(2u * std::min<uint32_t>(level, 2) + 3);
    s.PutU8(0);
    s.PutEmptyStrings(3);
    s.PutU8(0);
    s.PutU32(2);
    s.PutEmptyStrings(1);
    s.PutMarker();
  } else {
    s.PutU32(3);
    s.PutU8(0);
    s.PutU8(0);
    s.PutU8(0);
    s.PutU8(0);
    s.PutU32(1);
    s.PutU8(0);
  }
}

void WritePageTail(ContentsStream& s, uint8_t level, std::string_view name) {
  s.PutString(name, level);
  if (level == 0)
    WritePageRestLevel0(s);
  else
    WritePageRestUnicode(s, level >= 2);
}

void WriteDocumentPage(ContentsStream& s, uint8_t level) {
  s.Restart();
  struct Lead {
    uint8_t version;
    size_t start;
  };
  const Lead lead = level == 0 ? Lead{0x29, 15} : level == 1 ? Lead{0x38, 19} : Lead{0x3F, 23};
  s.PadTo(lead.start);
  s.SetByte(0, lead.version);
  s.SetByte(1, 0x01);
  s.PutU32(kNewClassSchema1);
  s.PutU16(13);
  s.PutBytes("CDocumentPage");
  s.PutU8(level == 0 ? 17 : level == 1 ? 22 : 23);
  WritePageHead(s, level, {"Page 1", "Scene 1", 0, 0, {}, kMainPageId});
  WriteNoLinkage(s, level);
  WritePageTail(s, level, "");
  // The scene list's end: u16 0, the next page number, u16 1, the page
  // count + 1.
  s.PutU16(0);
  s.PutU16(2);
  s.PutU16(1);
  s.PutU16(2);
}

SwatchHls RgbToSwatchHls(uint8_t r, uint8_t g, uint8_t b) {
  const int mx = std::max({r, g, b});
  const int mn = std::min({r, g, b});
  SwatchHls out;
  const int lum = ((mx + mn) * 240 + 255) / 510;
  out.luminance = static_cast<uint8_t>(lum);
  if (mx == mn) return out;
  const int d = mx - mn;
  int sat = lum <= 120 ? (d * 240 + (mx + mn) / 2) / (mx + mn)
                       : (d * 240 + (510 - mx - mn) / 2) / (510 - mx - mn);
  out.saturation = static_cast<uint16_t>(std::min(sat, 239));
  const int rd = ((mx - r) * 40 + d / 2) / d;
  const int gd = ((mx - g) * 40 + d / 2) / d;
  const int bd = ((mx - b) * 40 + d / 2) / d;
  int hue = r == mx ? bd - gd : g == mx ? 80 + rd - bd : 160 + gd - rd;
  if (hue < 0) hue += 240;
  out.hue = static_cast<uint16_t>(hue);
  return out;
}

namespace {

// Objects of the library part before the palette: one page per symbol
// stream, each media kind's class and items.
uint64_t LibraryObjects(uint32_t streams, uint32_t bitmaps, uint32_t sounds, uint32_t videos) {
  return uint64_t{streams} + (bitmaps ? bitmaps + 1ull : 0) + (sounds ? sounds + 1ull : 0) +
         (videos ? videos + 1ull : 0);
}

}  // namespace

bool ColorDefIndexFits(uint32_t streams, uint32_t bitmaps, uint32_t sounds, uint32_t videos) {
  // CColorDef follows the document page's class and object (indexes 1, 2)
  // and the library objects. From 0x7FFF on its reference word would read as
  // an escape or, past it, as a new class tag.
  return 3 + LibraryObjects(streams, bitmaps, sounds, videos) < 0x7FFF;
}

bool WriteColorDefs(ContentsStream& s, uint8_t level, uint32_t streams, uint32_t bitmaps,
                    uint32_t sounds, uint32_t videos) {
  if (!ColorDefIndexFits(streams, bitmaps, sounds, videos)) return false;
  const uint64_t n = LibraryObjects(streams, bitmaps, sounds, videos);
  const bool wide = level > 1;
  const uint32_t word = (wide ? 0x04800300u : 0x03800300u) + 256u * static_cast<uint32_t>(n);

  s.PutU16(9);
  s.PutBytes("CColorDef");
  U32s(s, {3, 255, 0});
  for (const Swatch& sw : SolidSwatches()) {
    s.PutU32(word);
    s.PutU8(sw.r);
    s.PutU8(sw.g);
    s.PutU8(sw.b);
    s.PutU8(0xFF);
    s.PutU32(uint32_t{sw.hls.hue} << 16);
    s.PutU16(sw.hls.saturation);
    s.PutU8(sw.hls.luminance);
  }
  s.PutU16(0);
  s.PutU8(7);

  const Gradient gradients[7] = {
      {16, 2, {0xFFFFFFFF, 255, 255}, true},
      {18, 2, {0xFFFFFFFF, 255, 255}, true},
      {18, 2, {0xFF0000FF, 255, 255}, true},
      {18, 2, {0xFF00FF00, 255, 255}, true},
      {18, 2, {0xFFFF0000, 255, 255}, true},
      {16, 6, {0xFFFD6600, 0xFFFFFF60, 0xFFFF7AFF, 0x9980FFFF, 0xAAFF0066, 0xFF00CCFF, 0xFFFFFFFF, 255}, true},
      {16, 7, {0xFF0000FF, 0x00FFFF2A, 0xFF005DFF, 0x007FFF00, 0xAAFFFFFF, 0xFFFF0000, 0xFF00FFD4,
               0x00FFFFFF, 0x0000FF00}, false},
  };
  for (const Gradient& g : gradients) {
    U32s(s, {word, 0xFF000000, g.type, 1, 0, 0, 1, 0, g.stops << 16});
    if (wide) Zeros32(s, 2);
    U32s(s, g.words);
    if (g.trailingU16) s.PutU16(0);
  }

  U32s(s, {0, 0x300, 0x100});
  s.PutU8(0);
  if (wide)
    U32s(s, {365, 824, 636, 1032});
  else
    Zeros32(s, 4);
  U32s(s, {1, 0, 0, 1, 0, 1});
  return true;
}

}  // namespace tovrani
