#include "fla/document_page.h"

#include <gtest/gtest.h>

#include "fla/field_list.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::FieldBytes;

const char* const kPageLevel0 =
    "u32 0x1FFFF; u16 13; ANSI \"CDocumentPage\"; u8 17, 6; ANSI \"Page 1\"; u8 7; ANSI \"Scene 1\"; u16 0; "
    "u32 0, 1, 5, 1, 0 x 2, 1, 0 x 3, 3, 0, 1, 0 x 2, 0x10000, 0; u16 0; u32 -1, 0, 0x20000; u16 0; u8 0; "
    "u32 1 x 2, 3, 0, 1, 0 x 2; u16 0; u32 1, 0, -1, 512, 0, 0x2000000, 0 x 6, 0x10002; u16 2.";

const char* const kPageLevel1 =
    "u32 0x1FFFF; u16 13; ANSI \"CDocumentPage\"; u8 22, 6; UTF-16 \"Page 1\"; M; u8 7; UTF-16 \"Scene 1\"; "
    "u32 0; u8 0; M; u8 0; u32 1, 6, 1, 0 x 2, 1, 0 x 3, 5; u8 0; M; u8 0; M; u8 0; M; u16 0; u32 2; M; u8 0; "
    "M; u8 0; u32 0 x 2, 1, 0, -1, 0; u8 0; M; u8 0; M; u32 512; u16 0; u32 1 x 2, 5; u8 0; M; u8 0; M; u8 0; "
    "M; u16 0; u32 2; M; u8 0; M; u8 0; u32 0 x 2, 1, 0, -1, 5; u8 0; M; u32 0, 256, 0; u8 0; M; u8 0, 3; M; "
    "u8 0; u32 0 x 2; u8 3; M; u8 0; u32 0 x 2; u8 3; M; u8 0; u32 0 x 2; M; u8 0; u32 2; u8 0; u32 1; M; "
    "u8 0; u32 0 x 2; M; u8 0; M; u8 0; u32 0; M; u8 0; u16 0; u32 0x10002; u16 2.";

const char* const kPageLevel2 =
    "u32 0x1FFFF; u16 13; ANSI \"CDocumentPage\"; u8 23, 6; UTF-16 \"Page 1\"; M; u8 7; UTF-16 \"Scene 1\"; "
    "u32 0; u8 0; M; u8 0; u32 1, 6, 1, 0 x 2, 1, 0 x 3, 7; u8 0; M; u8 0; M; u8 0; M; u16 0; u32 2; M; u8 0; "
    "M; u8 0; u32 0 x 2, 1, 0, -1; u8 0; M; u32 0; u16 0; M; u8 0; M; u32 512; u16 0; u32 1 x 2, 7; u8 0; M; "
    "u8 0; M; u8 0; M; u16 0; u32 2; M; u8 0; M; u8 0; u32 0 x 2, 1, 0, -1; u8 0; M; u8 0; u32 6; u8 0; M; "
    "u32 0, 256, 0; u8 0; M; u8 0, 3; M; u8 0; u32 0 x 2; u8 3; M; u8 0; u32 0 x 2; u8 3; M; u8 0; "
    "u32 0 x 2; M; u8 0; u32 2; u8 0; u32 1; M; u8 0; u32 0 x 3; M; u8 0; M; u8 0; u32 1; M; u8 0; u32 0; "
    "u16 0; u32 0x8000 x 3; u16 0x8000, 0; u32 0x10002; u16 2.";

std::vector<uint8_t> PageStream(uint8_t level) {
  ContentsStream s;
  WriteDocumentPage(s, level);
  return s.Bytes();
}

std::vector<uint8_t> Expected(uint8_t lead, size_t start, const char* fields) {
  std::vector<uint8_t> v(start, 0);
  v[0] = lead;
  v[1] = 0x01;
  test::Append(v, FieldBytes(fields));
  return v;
}

TEST(DocumentPage, EachLevelByteExact) {
  EXPECT_EQ(FieldBytes(kPageLevel0).size(), 206u);
  EXPECT_EQ(FieldBytes(kPageLevel1).size(), 335u);
  EXPECT_EQ(FieldBytes(kPageLevel2).size(), 369u);
  EXPECT_BYTES(PageStream(0), Expected(0x29, 15, kPageLevel0));
  EXPECT_BYTES(PageStream(1), Expected(0x38, 19, kPageLevel1));
  EXPECT_BYTES(PageStream(2), Expected(0x3F, 23, kPageLevel2));
  EXPECT_BYTES(PageStream(3), PageStream(2));
  EXPECT_BYTES(PageStream(255), PageStream(2));
}

TEST(DocumentPage, RestartsTheStreamAndReleasesTheOldDocument) {
  ContentsStream s;
  WriteDocumentPage(s, 2);
  s.PutZeros(100000);
  WriteDocumentPage(s, 0);
  EXPECT_EQ(s.Length(), 15u + 206u);
  EXPECT_LT(s.Bytes().capacity(), 100000u);
  EXPECT_EQ(s.BlockCount(), 1u);
  EXPECT_EQ(s.Pos(), 221u);
}

// ---- palette ----

std::vector<uint8_t> Palette(uint8_t level, uint32_t streams = 0, uint32_t bitmaps = 0, uint32_t sounds = 0,
                             uint32_t videos = 0) {
  ContentsStream s;
  EXPECT_TRUE(WriteColorDefs(s, level, streams, bitmaps, sounds, videos));
  return s.Bytes();
}

constexpr size_t kHeadSize = 2 + 9 + 12;
constexpr size_t kSwatchSize = 15;

std::vector<uint8_t> Swatch(const std::vector<uint8_t>& palette, int i) {
  const auto at = palette.begin() + kHeadSize + kSwatchSize * i;
  return std::vector<uint8_t>(at, at + kSwatchSize);
}

// W, colour, hue, saturation, luminance of one solid swatch.
std::vector<uint8_t> SwatchBytes(uint32_t word, uint32_t rgb, int h, int s, int l) {
  return FieldBytes("u32 " + std::to_string(word) + "; u8 " + std::to_string(rgb >> 16) + ", " +
                    std::to_string((rgb >> 8) & 0xFF) + ", " + std::to_string(rgb & 0xFF) + ", 255; u32 " +
                    std::to_string(h << 16) + "; u16 " + std::to_string(s) + "; u8 " + std::to_string(l));
}

TEST(Palette, SizeHeadAndClosingWordsPerLevel) {
  const auto old = Palette(0);
  const auto wide = Palette(2);
  EXPECT_EQ(old.size(), 4236u);
  EXPECT_EQ(Palette(1).size(), 4236u);
  EXPECT_EQ(wide.size(), 4292u);
  EXPECT_BYTES(Palette(1), old);
  EXPECT_BYTES(Palette(7), wide);

  EXPECT_BYTES(std::vector<uint8_t>(old.begin(), old.begin() + kHeadSize),
               FieldBytes("u16 9; ANSI \"CColorDef\"; u32 3, 255, 0"));
  const size_t afterSolids = kHeadSize + 251 * kSwatchSize;
  EXPECT_BYTES(std::vector<uint8_t>(old.begin() + afterSolids, old.begin() + afterSolids + 3),
               FieldBytes("u16 0; u8 7"));
  EXPECT_BYTES(std::vector<uint8_t>(old.end() - 53, old.end()),
               FieldBytes("u32 0, 0x300, 0x100; u8 0; u32 0 x 4; u32 1, 0, 0, 1, 0, 1"));
  EXPECT_BYTES(std::vector<uint8_t>(wide.end() - 53, wide.end()),
               FieldBytes("u32 0, 0x300, 0x100; u8 0; u32 365, 824, 636, 1032; u32 1, 0, 0, 1, 0, 1"));
}

TEST(Palette, GradientSwatches) {
  const auto old = Palette(0);
  const auto wide = Palette(2);
  const size_t start = kHeadSize + 251 * kSwatchSize + 3;
  const std::string w0 = "u32 0x03800300, 0xFF000000, ";
  const std::string first = "16, 1, 0, 0, 1, 0, 0x20000; u32 0xFFFFFFFF, 255, 255; u16 0";
  EXPECT_BYTES(std::vector<uint8_t>(old.begin() + start, old.begin() + start + 50), FieldBytes(w0 + first));
  const std::string w2 = "u32 0x04800300, 0xFF000000, ";
  EXPECT_BYTES(std::vector<uint8_t>(wide.begin() + start, wide.begin() + start + 58),
               FieldBytes(w2 + "16, 1, 0, 0, 1, 0, 0x20000, 0, 0; u32 0xFFFFFFFF, 255, 255; u16 0"));
  // The last gradient: seven stops, no closing u16.
  const size_t last = old.size() - 53 - 72;
  EXPECT_BYTES(std::vector<uint8_t>(old.begin() + last, old.end() - 53),
               FieldBytes(w0 + "16, 1, 0, 0, 1, 0, 0x70000; u32 0xFF0000FF, 0x00FFFF2A, 0xFF005DFF, 0x007FFF00, "
                               "0xAAFFFFFF, 0xFFFF0000, 0xFF00FFD4, 0x00FFFFFF, 0x0000FF00"));
}

TEST(Palette, SolidSwatchOrderAndStoredValues) {
  const auto p = Palette(0);
  const uint32_t w = 0x03800300;
  EXPECT_BYTES(Swatch(p, 0), SwatchBytes(w, 0x000000, 0, 0, 0));
  EXPECT_BYTES(Swatch(p, 1), SwatchBytes(w, 0x000000, 80, 239, 0));  // kept as stored
  EXPECT_BYTES(Swatch(p, 2), SwatchBytes(w, 0x003300, 80, 239, 24));
  // After block 0: black, the grey 333333, black; block 1 starts with blue 33.
  EXPECT_BYTES(Swatch(p, 20), SwatchBytes(w, 0x333333, 0, 0, 48));
  EXPECT_BYTES(Swatch(p, 22), SwatchBytes(w, 0x000033, 160, 239, 24));
  // Block 5 (blue FF): red 00 and 33 by the conversion, red 66 with the
  // stored hues.
  const int block5 = 1 + 5 * 21;
  EXPECT_BYTES(Swatch(p, block5), SwatchBytes(w, 0x0000FF, 160, 239, 120));
  EXPECT_BYTES(Swatch(p, block5 + 12), SwatchBytes(w, 0x6600FF, 180, 239, 120));
  EXPECT_BYTES(Swatch(p, block5 + 17), SwatchBytes(w, 0x66FFFF, 107, 239, 168));
  // Separators 00FF00 and 0000FF (after blocks 6 and 7) keep 0, 239, 120.
  EXPECT_BYTES(Swatch(p, 1 + 6 * 21 + 19), SwatchBytes(w, 0x00FF00, 0, 239, 120));
  EXPECT_BYTES(Swatch(p, 1 + 7 * 21 + 19), SwatchBytes(w, 0x0000FF, 0, 239, 120));
  // 9966CC in block 10 has the stored hue 228.
  EXPECT_BYTES(Swatch(p, 1 + 10 * 21 + 2), SwatchBytes(w, 0x9966CC, 228, 120, 144));
  // Block 11 ends with FFFFFF and the last black swatch.
  EXPECT_BYTES(Swatch(p, 249), SwatchBytes(w, 0xFFFFFF, 0, 0, 240));
  EXPECT_BYTES(Swatch(p, 250), SwatchBytes(w, 0x000000, 0, 0, 0));
}

TEST(Palette, HlsConversion) {
  auto hls = [](uint32_t rgb) {
    const SwatchHls h = RgbToSwatchHls(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
    return std::vector<int>{h.hue, h.saturation, h.luminance};
  };
  EXPECT_EQ(hls(0xFF0000), (std::vector<int>{0, 239, 120}));  // saturation capped at 239
  EXPECT_EQ(hls(0xFF00FF), (std::vector<int>{200, 239, 120}));
  EXPECT_EQ(hls(0xFFCC99), (std::vector<int>{20, 239, 192}));  // light: the other saturation form
  EXPECT_EQ(hls(0x336699), (std::vector<int>{140, 120, 96}));
  EXPECT_EQ(hls(0x993366), (std::vector<int>{220, 120, 96}));  // negative hue wraps
  EXPECT_EQ(hls(0x808080), (std::vector<int>{0, 0, 120}));
}

TEST(Palette, ClassWordCountsTheLibrary) {
  auto word = [](const std::vector<uint8_t>& p) { return std::vector<uint8_t>(p.begin() + 23, p.begin() + 27); };
  EXPECT_BYTES(word(Palette(0)), test::Bytes({0x00, 0x03, 0x80, 0x03}));
  EXPECT_BYTES(word(Palette(2)), test::Bytes({0x00, 0x03, 0x80, 0x04}));
  // 5 + (3 + 1) + (2 + 1) + (1 + 1) = 14.
  EXPECT_BYTES(word(Palette(2, 5, 3, 2, 1)), test::Bytes({0x00, 0x11, 0x80, 0x04}));
  // A kind without items adds nothing, not even its class.
  EXPECT_BYTES(word(Palette(1, 2, 0, 1, 0)), test::Bytes({0x00, 0x07, 0x80, 0x03}));
  // Every swatch, gradients included, carries the same word.
  const auto p = Palette(2, 5, 3, 2, 1);
  size_t count = 0;
  for (size_t i = 0; i + 4 <= p.size(); ++i)
    if (p[i] == 0x00 && p[i + 1] == 0x11 && p[i + 2] == 0x80 && p[i + 3] == 0x04) ++count;
  EXPECT_EQ(count, 251u + 7u);
}

TEST(Palette, IndexThatWouldNotFitStopsWithoutWriting) {
  ContentsStream s;
  // Index 3 + 0x7FFB = 0x7FFE is the last that fits.
  EXPECT_TRUE(WriteColorDefs(s, 2, 0x7FFB, 0, 0, 0));
  const auto p = s.Bytes();
  EXPECT_BYTES(std::vector<uint8_t>(p.begin() + 23, p.begin() + 27), test::Bytes({0x00, 0xFE, 0xFF, 0x04}));
  ContentsStream t;
  EXPECT_FALSE(WriteColorDefs(t, 2, 0x7FFC, 0, 0, 0));
  EXPECT_FALSE(WriteColorDefs(t, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF));
  EXPECT_EQ(t.Length(), 0u);
}

}  // namespace
}  // namespace tovrani
