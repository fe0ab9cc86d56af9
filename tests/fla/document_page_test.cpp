#include "fla/document_page.h"

#include <gtest/gtest.h>

#include "fla/expected_records.h"

namespace tovrani::test {
namespace {

const char* const kPageLevel0 =
    "u32 0x1FFFF; u16 13; ANSI \"CDocumentPage\"; u8 17, 6; ANSI \"Page 1\"; u8 7; ANSI \"Scene 1\"; u16 0; "
    "u32 0, 1, 5, 1, 0 x 2, 1, 0x43B71B80, 1, 0, 3, 0, 1, 0 x 2, 0x10000, 0; u16 0; u32 -1, 0, 0x20000; u16 0; u8 0; "
    "u32 1 x 2, 3, 0, 1, 0 x 2; u16 0; u32 1, 0, -1, 512, 0, 0x2000000, 0 x 6, 0x10002; u16 2.";

const char* const kPageLevel1 =
    "u32 0x1FFFF; u16 13; ANSI \"CDocumentPage\"; u8 22, 6; UTF-16 \"Page 1\"; M; u8 7; UTF-16 \"Scene 1\"; "
    "u32 0; u8 0; M; u8 0; u32 1, 6, 1, 0 x 2, 1, 0x43B71B80, 1, 0, 5; u8 0; M; u8 0; M; u8 0; M; u16 0; u32 2; M; u8 0; "
    "M; u8 0; u32 0 x 2, 1, 0, -1, 0; u8 0; M; u8 0; M; u32 512; u16 0; u32 1 x 2, 5; u8 0; M; u8 0; M; u8 0; "
    "M; u16 0; u32 2; M; u8 0; M; u8 0; u32 0 x 2, 1, 0, -1, 5; u8 0; M; u32 0, 256, 0; u8 0; M; u8 0, 3; M; "
    "u8 0; u32 0 x 2; u8 3; M; u8 0; u32 0 x 2; u8 3; M; u8 0; u32 0 x 2; M; u8 0; u32 2; u8 0; u32 1; M; "
    "u8 0; u32 0 x 2; M; u8 0; M; u8 0; u32 0; M; u8 0; u16 0; u32 0x10002; u16 2.";

const char* const kPageLevel2 =
    "u32 0x1FFFF; u16 13; ANSI \"CDocumentPage\"; u8 23, 6; UTF-16 \"Page 1\"; M; u8 7; UTF-16 \"Scene 1\"; "
    "u32 0; u8 0; M; u8 0; u32 1, 6, 1, 0 x 2, 1, 0x43B71B80, 1, 0, 7; u8 0; M; u8 0; M; u8 0; M; u16 0; u32 2; M; u8 0; "
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

// The page's lead bytes before its fields: lead, 01, then zeros.
std::vector<uint8_t> Expected(uint8_t lead, size_t start, const char* fields) {
  std::vector<uint8_t> v(start, 0);
  v[0] = lead, v[1] = 0x01;
  Append(v, FieldBytes(fields));
  return v;
}

TEST(DocumentPage, EachLevelByteExactAndRestartsTheStream) {
  EXPECT_BYTES(PageStream(0), Expected(0x29, 15, kPageLevel0));
  EXPECT_BYTES(PageStream(1), Expected(0x38, 19, kPageLevel1));
  EXPECT_BYTES(PageStream(2), Expected(0x3F, 23, kPageLevel2));
  EXPECT_BYTES(PageStream(3), PageStream(2));
  EXPECT_BYTES(PageStream(255), PageStream(2));
  // The next document releases the old one.
  ContentsStream s;
  WriteDocumentPage(s, 2);
  s.PutZeros(100000);
  WriteDocumentPage(s, 0);
  EXPECT_EQ(s.Length(), 15u + 206u);
  EXPECT_LT(s.Bytes().capacity(), 100000u);
  EXPECT_EQ(s.BlockCount(), 1u);
}

std::vector<uint8_t> Palette(uint8_t level, uint32_t streams = 0, uint32_t bitmaps = 0, uint32_t sounds = 0,
                             uint32_t videos = 0) {
  ContentsStream s;
  EXPECT_TRUE(WriteColorDefs(s, level, streams, bitmaps, sounds, videos));
  return s.Bytes();
}

constexpr size_t kHeadSize = 2 + 9 + 12;
constexpr size_t kSwatchSize = 15;
constexpr size_t kGradients = kHeadSize + 251 * kSwatchSize + 3;

TEST(Palette, LayoutPerLevel) {
  const auto old = Palette(0), wide = Palette(2);
  EXPECT_EQ(old.size(), 4236u);
  EXPECT_EQ(wide.size(), 4292u);
  EXPECT_BYTES(Palette(1), old);
  EXPECT_BYTES(Palette(7), wide);
  EXPECT_BYTES(Slice(old, 0, kHeadSize), FieldBytes("u16 9; ANSI \"CColorDef\"; u32 3, 255, 0"));
  EXPECT_BYTES(Slice(old, kGradients - 3, kGradients), FieldBytes("u16 0; u8 7"));
  EXPECT_BYTES(Slice(old, old.size() - 53, old.size()),
               FieldBytes("u32 0, 0x300, 0x100; u8 0; u32 0 x 4; u32 1, 0, 0, 1, 0, 1"));
  EXPECT_BYTES(Slice(wide, wide.size() - 53, wide.size()),
               FieldBytes("u32 0, 0x300, 0x100; u8 0; u32 365, 824, 636, 1032; u32 1, 0, 0, 1, 0, 1"));
  // Gradients: the first (two stops, closing u16) and the last (seven stops, none).
  const std::string first = "16, 1, 0, 0, 1, 0, 0x20000";
  EXPECT_BYTES(Slice(old, kGradients, kGradients + 50),
               FieldBytes("u32 0x03800300, 0xFF000000, " + first + "; u32 0xFFFFFFFF, 255, 255; u16 0"));
  EXPECT_BYTES(Slice(wide, kGradients, kGradients + 58),
               FieldBytes("u32 0x04800300, 0xFF000000, " + first + ", 0, 0; u32 0xFFFFFFFF, 255, 255; u16 0"));
  EXPECT_BYTES(Slice(old, old.size() - 53 - 72, old.size() - 53),
               FieldBytes("u32 0x03800300, 0xFF000000, 16, 1, 0, 0, 1, 0, 0x70000; u32 0xFF0000FF, 0x00FFFF2A, "
                          "0xFF005DFF, 0x007FFF00, 0xAAFFFFFF, 0xFFFF0000, 0xFF00FFD4, 0x00FFFFFF, 0x0000FF00"));
}

TEST(Palette, SolidSwatchOrderAndStoredValues) {
  const auto p = Palette(0);
  const struct {
    int index;
    uint32_t rgb;
    int hue, saturation, luminance;
  } rows[] = {
      // Block 0 and the grey 333333 after it (the 80 hue of index 1 kept as stored); block 1 starts with blue 33.
      {0, 0x000000, 0, 0, 0}, {1, 0x000000, 80, 239, 0}, {2, 0x003300, 80, 239, 24}, {20, 0x333333, 0, 0, 48},
      {22, 0x000033, 160, 239, 24},
      // Block 5 (blue FF): red 00 and 33 by the conversion, red 66 with the stored hues.
      {106, 0x0000FF, 160, 239, 120}, {118, 0x6600FF, 180, 239, 120}, {123, 0x66FFFF, 107, 239, 168},
      // Separators 00FF00 and 0000FF (after blocks 6 and 7) keep 0, 239, 120; 9966CC the stored hue 228.
      {146, 0x00FF00, 0, 239, 120}, {167, 0x0000FF, 0, 239, 120}, {213, 0x9966CC, 228, 120, 144},
      {249, 0xFFFFFF, 0, 0, 240}, {250, 0x000000, 0, 0, 0},
  };
  for (const auto& r : rows) {
    const size_t at = kHeadSize + kSwatchSize * r.index;
    EXPECT_BYTES(Slice(p, at, at + kSwatchSize),
                 FieldBytes("u32 0x03800300; u8 " + std::to_string(r.rgb >> 16) + ", " +
                            std::to_string((r.rgb >> 8) & 0xFF) + ", " + std::to_string(r.rgb & 0xFF) + ", 255; u32 " +
                            std::to_string(r.hue << 16) + "; u16 " + std::to_string(r.saturation) + "; u8 " +
                            std::to_string(r.luminance)))
        << r.index;
  }
  EXPECT_EQ(RgbToSwatchHls(0x99, 0x33, 0x66).hue, 220);  // a negative hue wraps
}

TEST(Palette, ClassWordCountsTheLibraryAndMustFit) {
  auto word = [](const std::vector<uint8_t>& p) { return Slice(p, 23, 27); };
  EXPECT_BYTES(word(Palette(0)), FromHex("00038003"));
  EXPECT_BYTES(word(Palette(2)), FromHex("00038004"));
  // 5 + (3 + 1) + (2 + 1) + (1 + 1) = 14; a kind without items adds nothing.
  EXPECT_BYTES(word(Palette(2, 5, 3, 2, 1)), FromHex("00118004"));
  EXPECT_BYTES(word(Palette(1, 2, 0, 1, 0)), FromHex("00078003"));
  // Every swatch, gradients included, carries the same word.
  const auto p = Palette(2, 5, 3, 2, 1);
  size_t count = 0;
  for (size_t i = 0; i + 4 <= p.size(); ++i) count += Slice(p, i, i + 4) == FromHex("00118004");
  EXPECT_EQ(count, 251u + 7u);
  // Index 3 + 0x7FFB = 0x7FFE is the last that fits; past it nothing is written.
  EXPECT_BYTES(word(Palette(2, 0x7FFB)), FromHex("00FEFF04"));
  ContentsStream t;
  EXPECT_FALSE(WriteColorDefs(t, 2, 0x7FFC, 0, 0, 0));
  EXPECT_FALSE(WriteColorDefs(t, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF));
  EXPECT_EQ(t.Length(), 0u);
}

}  // namespace
}  // namespace tovrani::test
