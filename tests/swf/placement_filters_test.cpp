#include "swf/placement_filters.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "support/byte_sink.h"
#include "support/swf_writer.h"

namespace tovrani {
namespace {

using test::AppendU32;
using test::Bytes;
using test::SwfBytes;

uint32_t F32(float v) { return std::bit_cast<uint32_t>(v); }

// SWF filter bodies (after the id byte).
SwfBytes& DropShadow(SwfBytes& b, int32_t distance16_16, uint8_t flags) {
  return b.bytes({0x11, 0x22, 0x33, 0x80})  // RGBA
      .u32(4 << 16 | 0x8000)                 // blur X 4.5
      .u32(6 << 16)                          // blur Y 6
      .u32(uint32_t(51472))                  // angle 0.785 rad
      .u32(uint32_t(distance16_16))
      .u16(0x0180)  // strength 1.5
      .u8(flags);
}
SwfBytes& Blur(SwfBytes& b, uint8_t passByte) { return b.u32(3 << 16).u32(7 << 16).u8(passByte); }
SwfBytes& Convolution(SwfBytes& b, uint8_t x, uint8_t y) {
  b.u8(x).u8(y).u32(F32(1.0f)).u32(0);
  for (int i = 0; i < x * y; ++i) b.u32(F32(0.5f));
  return b.bytes({1, 2, 3, 4}).u8(0);
}

std::vector<uint8_t> ExpectedBlurRecord(float bx, float by, uint8_t quality) {
  std::vector<uint8_t> v = Bytes({1, 0x03, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0x00, 0x00, 0xA0, 0x40});
  AppendU32(v, F32(bx));
  AppendU32(v, F32(by));
  test::Append(v, Bytes({0xDB, 0x0F, 0x49, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0}));
  v.push_back(quality);
  test::Append(v, Bytes({0, 0, 0, 0x64, 0, 0, 0, 0, 0, 0, 0}));
  return v;
}

// Walks a filter block by the record sizes of the tool's format; returns the
// number of records, or -1 when the block does not parse exactly.
int CountRecords(const std::vector<uint8_t>& block) {
  if (block.size() < 4) return -1;
  size_t p = 4;
  int n = 0;
  auto u32at = [&](size_t at) {
    return uint32_t(block[at]) | uint32_t(block[at + 1]) << 8 | uint32_t(block[at + 2]) << 16 |
           uint32_t(block[at + 3]) << 24;
  };
  while (p < block.size()) {
    uint8_t id = block[p++];
    size_t size;
    switch (id) {
      case 0: size = 6 + 4 + 4 * 4 + 5 * 4; break;
      case 1: size = 15 + 8 + 12 + 1 + 11; break;
      case 2: size = 7 + 4 + 4 + 8 + 4 + 5 * 4; break;
      case 3: size = 7 + 4 + 4 * 4 + 5 * 4 + 4 + 4; break;
      case 6: size = 6 + 16; break;
      case 4:
      case 7: {
        size_t head = id == 4 ? 11 : 12;
        if (p + head + 44 > block.size()) return -1;
        size = head + 48 + 8 * size_t(u32at(p + head + 36));
        break;
      }
      default: return -1;
    }
    if (p + size > block.size()) return -1;
    p += size;
    ++n;
  }
  return uint32_t(n) == u32at(0) ? n : -1;
}

TEST(PlacementFilters, ConvolutionIsSteppedOverAndNotCounted) {
  SwfBytes b;
  b.u8(3).u8(kFilterDropShadow);
  DropShadow(b, 5 << 16, 0x20);
  b.u8(kFilterConvolution);
  Convolution(b, 3, 3);
  b.u8(kFilterBlur);
  Blur(b, 0x10);
  b.u8(0x05);  // blend mode after the list
  SwfReader r(b.data());
  PlacementEffects e = ReadPlacementEffects(kFlagWordFilterList | kFlagWordBlendMode, r);
  ASSERT_EQ(CountRecords(e.filterBlock), 2);
  EXPECT_EQ(e.filterBlock[4], kFilterDropShadow);
  std::vector<uint8_t> tail(e.filterBlock.end() - 48, e.filterBlock.end());
  EXPECT_BYTES(tail, ExpectedBlurRecord(3.0f, 7.0f, 2));
  EXPECT_TRUE(e.hasBlendMode);
  EXPECT_EQ(e.blendMode, 5);
  EXPECT_TRUE(r.ok());
  EXPECT_TRUE(r.atEnd());
}

TEST(PlacementFilters, DropShadowRecord) {
  SwfBytes b;
  b.u8(1).u8(kFilterDropShadow);
  DropShadow(b, -(5 << 16) - 0x8000, 0xC2);  // distance -5.5; inner, knockout, quality 2
  SwfReader r(b.data());
  FilterListResult list = ConvertFilterList(r);
  EXPECT_TRUE(list.complete);
  std::vector<uint8_t> want = Bytes({1, 0, 0, 0, 0, 0x04, 0x01, 0x01, 0, 0, 0, 0x11, 0x22, 0x33, 0x80});
  AppendU32(want, F32(-5.0f));  // the sign stays, the fraction goes
  AppendU32(want, F32(4.0f));
  AppendU32(want, F32(6.0f));
  AppendU32(want, F32(float(51472.0 * 3.1415927 / 205887.0)));
  AppendU32(want, 1);    // inner
  AppendU32(want, 1);    // knockout
  AppendU32(want, 2);    // quality
  AppendU32(want, 150);  // strength
  AppendU32(want, 1);    // composite source clear: hide object
  EXPECT_BYTES(list.block, want);

  SwfBytes c;
  c.u8(1).u8(kFilterDropShadow);
  DropShadow(c, 3 << 16, 0x21);
  SwfReader rc(c.data());
  std::vector<uint8_t> block = ConvertFilterList(rc).block;
  ASSERT_EQ(CountRecords(block), 1);
  EXPECT_EQ(block[15], 0x00);  // distance 3.0f = 00 00 40 40
  EXPECT_EQ(block[18], 0x40);
  EXPECT_EQ(block.back() | block[block.size() - 4], 0);  // composite source set: no hiding
}

TEST(PlacementFilters, GradientBevelAndColourMatrixRecords) {
  SwfBytes b;
  b.u8(3).u8(kFilterBevel);
  b.bytes({1, 1, 1, 1, 2, 2, 2, 2}).u32(1 << 16).u32(2 << 16).u32(0).u32(4 << 16).u16(0x100).u8(0x11);
  b.u8(kFilterGradientGlow).u8(2).bytes({9, 9, 9, 9, 8, 8, 8, 8}).bytes({0, 255});
  b.u32(1 << 16).u32(1 << 16).u32(0).u32(0).u16(0x100).u8(1);
  b.u8(kFilterColorMatrix);
  float m[20] = {1, 0, 0, 0, 10, 0, 1, 0, 0, 10, 0, 0, 1, 0, 10, 0, 0, 0, 1, 0};
  for (float v : m) b.u32(F32(v));
  SwfReader r(b.data());
  std::vector<uint8_t> block = ConvertFilterList(r).block;
  ASSERT_EQ(CountRecords(block), 3);

  // Bevel: second colour first, first colour and "on top" at the end.
  EXPECT_BYTES(std::vector<uint8_t>(block.begin() + 12, block.begin() + 16), Bytes({2, 2, 2, 2}));
  size_t bevelEnd = 5 + 55;
  EXPECT_BYTES(std::vector<uint8_t>(block.begin() + bevelEnd - 8, block.begin() + bevelEnd),
               Bytes({1, 1, 1, 1, 1, 0, 0, 0}));

  // Gradient glow: colour pairs (u32 ratio, RGBA) after the count.
  size_t g = bevelEnd;
  EXPECT_EQ(block[g], kFilterGradientGlow);
  std::vector<uint8_t> pairs(block.begin() + g + 1 + 11 + 48, block.begin() + g + 1 + 11 + 64);
  EXPECT_BYTES(pairs, Bytes({0, 0, 0, 0, 9, 9, 9, 9, 255, 0, 0, 0, 8, 8, 8, 8}));

  // Colour matrix: an offset of 10 alone is brightness 10.
  std::vector<uint8_t> want = Bytes({kFilterColorMatrix, 1, 1, 1, 0, 0, 0});
  AppendU32(want, F32(10.0f));
  AppendU32(want, 0);
  AppendU32(want, 0);
  AppendU32(want, 0);
  EXPECT_BYTES(std::vector<uint8_t>(block.end() - 23, block.end()), want);
}

TEST(PlacementFilters, UnknownIdOrShortFilterEndsTheList) {
  // An unknown id: the filters before it stay, and nothing after the list
  // can be found, so no blend mode is read.
  SwfBytes b;
  b.u8(3).u8(kFilterBlur);
  Blur(b, 0x18);
  b.u8(9).bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  SwfReader r(b.data());
  PlacementEffects e = ReadPlacementEffects(kFlagWordFilterList | kFlagWordBlendMode, r);
  EXPECT_EQ(CountRecords(e.filterBlock), 1);
  EXPECT_FALSE(e.hasBlendMode);

  // A glow one byte short of its end.
  SwfBytes s;
  s.u8(2).u8(kFilterBlur);
  Blur(s, 0x08);
  s.u8(kFilterGlow).bytes(std::vector<uint8_t>(14, 0xEE));
  SwfReader rs(s.data());
  FilterListResult list = ConvertFilterList(rs);
  EXPECT_FALSE(list.complete);
  EXPECT_EQ(CountRecords(list.block), 1);
  EXPECT_TRUE(rs.ok());

  // A gradient whose colour count runs past the end, and a convolution whose
  // matrix does.
  for (SwfBytes bad : {SwfBytes().u8(1).u8(kFilterGradientBevel).u8(200).bytes({1, 2, 3}),
                       SwfBytes().u8(1).u8(kFilterConvolution).u8(255).u8(255).u32(0)}) {
    SwfReader rb(bad.data());
    FilterListResult l = ConvertFilterList(rb);
    EXPECT_FALSE(l.complete);
    EXPECT_TRUE(l.block.empty());
  }
}

TEST(PlacementFilters, FlagsDecideWhatIsRead) {
  std::vector<uint8_t> body = {0, 7, 1};
  SwfReader none(body);
  PlacementEffects e = ReadPlacementEffects(0x00FF, none);  // PlaceObject2 bits only
  EXPECT_EQ(none.pos(), 0u);
  EXPECT_TRUE(e.filterBlock.empty());
  EXPECT_FALSE(e.hasBlendMode);

  // An empty list: no block, the count byte consumed; then blend and cache.
  SwfReader all(body);
  e = ReadPlacementEffects(kFlagWordFilterList | kFlagWordBlendMode | kFlagWordCacheAsBitmap, all);
  EXPECT_TRUE(e.filterBlock.empty());
  EXPECT_TRUE(e.hasBlendMode);
  EXPECT_EQ(e.blendMode, 7);
  EXPECT_EQ(all.pos(), 3u);

  // Blend mode announced but absent.
  std::vector<uint8_t> empty;
  SwfReader cut(empty);
  e = ReadPlacementEffects(kFlagWordBlendMode | kFlagWordCacheAsBitmap, cut);
  EXPECT_FALSE(e.hasBlendMode);
  EXPECT_TRUE(cut.ok());

  // The 255 escape: a u16 count follows.
  SwfBytes esc;
  esc.u8(255).u16(2).u8(kFilterBlur);
  Blur(esc, 0);
  esc.u8(kFilterBlur);
  Blur(esc, 0);
  SwfReader re(esc.data());
  EXPECT_EQ(CountRecords(ConvertFilterList(re).block), 2);
  EXPECT_TRUE(re.atEnd());
}

TEST(PlacementFilters, HostileListsGiveConsistentBlocks) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> byte(0, 255), smallId(0, 8), len(0, 400);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> data(size_t(len(rng)));
    for (auto& v : data) v = uint8_t(byte(rng));
    // Make plausible ids likely so that deep paths run.
    if (!data.empty()) data[0] = uint8_t(smallId(rng) + 1);
    if (data.size() > 1) data[1] = uint8_t(smallId(rng));
    SwfReader r(data);
    FilterListResult list = ConvertFilterList(r);
    ASSERT_LE(r.pos(), data.size());
    if (!list.block.empty()) {
      ASSERT_GT(CountRecords(list.block), 0) << "case " << i;
    }
  }
}

}  // namespace
}  // namespace tovrani
