#include "convert/placement_filters.h"

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
using Buf = std::vector<uint8_t>;

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

Buf ExpectedBlurRecord(float bx, float by, uint8_t quality) {
  Buf v = Bytes({1, 0x03, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xA0, 0x40});
  for (uint32_t x : {F32(bx), F32(by)}) AppendU32(v, x);
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

FilterListResult List(const SwfBytes& b) {
  SwfReader r(b.data());
  return ConvertFilterList(r);
}
Buf Slice(const Buf& v, size_t from, size_t to) { return Buf(v.begin() + long(from), v.begin() + long(to)); }

TEST(PlacementFilters, RecordsInTheToolsLayout) {
  SwfBytes b;
  b.u8(1).u8(kFilterDropShadow);
  DropShadow(b, -(5 << 16) - 0x8000, 0xC2);  // distance -5.5; inner, knockout, quality 2
  FilterListResult list = List(b);
  EXPECT_TRUE(list.complete);
  Buf want = Bytes({1, 0, 0, 0, 0, 0x04, 0x01, 0x01, 0, 0, 0, 0x11, 0x22, 0x33, 0x80});
  for (uint32_t v : {F32(-5.0f), F32(4.0f), F32(6.0f), F32(float(51472.0 * 3.1415927 / 205887.0))})
    AppendU32(want, v);  // the distance keeps its sign and loses its fraction
  for (uint32_t v : {1, 1, 2, 150, 1}) AppendU32(want, v);  // inner, knockout, quality, strength, hide object
  EXPECT_BYTES(list.block, want);
  SwfBytes c;
  c.u8(1).u8(kFilterDropShadow);
  DropShadow(c, 3 << 16, 0x21);  // composite source set: no hiding
  EXPECT_EQ(List(c).block.back(), 0);

  SwfBytes g;
  g.u8(3).u8(kFilterBevel);
  g.bytes({1, 1, 1, 1, 2, 2, 2, 2}).u32(1 << 16).u32(2 << 16).u32(0).u32(4 << 16).u16(0x100).u8(0x11);
  g.u8(kFilterGradientGlow).u8(2).bytes({9, 9, 9, 9, 8, 8, 8, 8}).bytes({0, 255});
  g.u32(1 << 16).u32(1 << 16).u32(0).u32(0).u16(0x100).u8(1);
  g.u8(kFilterColorMatrix);
  for (float v : {1, 0, 0, 0, 10, 0, 1, 0, 0, 10, 0, 0, 1, 0, 10, 0, 0, 0, 1, 0}) g.u32(F32(v));
  Buf block = List(g).block;
  ASSERT_EQ(CountRecords(block), 3);
  // Bevel: second colour first, first colour and "on top" at the end.
  EXPECT_BYTES(Slice(block, 12, 16), Bytes({2, 2, 2, 2}));
  EXPECT_BYTES(Slice(block, 52, 60), Bytes({1, 1, 1, 1, 1, 0, 0, 0}));
  // Gradient glow: colour pairs (u32 ratio, RGBA) after the count.
  EXPECT_EQ(block[60], kFilterGradientGlow);
  EXPECT_BYTES(Slice(block, 120, 136), Bytes({0, 0, 0, 0, 9, 9, 9, 9, 255, 0, 0, 0, 8, 8, 8, 8}));
  // Colour matrix: an offset of 10 alone is brightness 10.
  want = Bytes({kFilterColorMatrix, 1, 1, 1, 0, 0, 0});
  for (uint32_t v : {F32(10.0f), 0u, 0u, 0u}) AppendU32(want, v);
  EXPECT_BYTES(Slice(block, block.size() - 23, block.size()), want);
}

TEST(PlacementFilters, UnknownIdOrShortFilterEndsTheList) {
  // An unknown id: the filters before it stay, and nothing after the list
  // can be found, so no blend mode is read.
  SwfBytes u;
  u.u8(3).u8(kFilterBlur);
  Blur(u, 0x18);
  u.u8(9).bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  SwfReader ru(u.data());
  PlacementEffects e = ReadPlacementEffects(kFlagWordFilterList | kFlagWordBlendMode, ru);
  EXPECT_EQ(CountRecords(e.filterBlock), 1);
  EXPECT_BYTES(Slice(e.filterBlock, 4, 52), ExpectedBlurRecord(3, 7, 3));
  EXPECT_FALSE(e.hasBlendMode);

  // A glow one byte short of its end; a gradient whose colour count runs
  // past the end; a convolution whose matrix does.
  SwfBytes s;
  s.u8(2).u8(kFilterBlur);
  Blur(s, 0x08);
  s.u8(kFilterGlow).bytes(Buf(14, 0xEE));
  FilterListResult list = List(s);
  EXPECT_FALSE(list.complete);
  EXPECT_EQ(CountRecords(list.block), 1);
  for (SwfBytes bad : {SwfBytes().u8(1).u8(kFilterGradientBevel).u8(200).bytes({1, 2, 3}),
                       SwfBytes().u8(1).u8(kFilterConvolution).u8(255).u8(255).u32(0)}) {
    list = List(bad);
    EXPECT_FALSE(list.complete);
    EXPECT_TRUE(list.block.empty());
  }
}

TEST(PlacementFilters, FlagsDecideWhatIsRead) {
  Buf body = {0, 7, 1};
  SwfReader none(body);
  PlacementEffects e = ReadPlacementEffects(0x00FF, none);  // PlaceObject2 bits only
  EXPECT_EQ(none.pos(), 0u);
  EXPECT_FALSE(e.hasBlendMode || !e.filterBlock.empty());
  // An empty list: no block, the count byte consumed; then blend and cache.
  SwfReader all(body);
  e = ReadPlacementEffects(kFlagWordFilterList | kFlagWordBlendMode | kFlagWordCacheAsBitmap, all);
  EXPECT_TRUE(e.filterBlock.empty());
  EXPECT_EQ(e.blendMode, 7);
  EXPECT_EQ(all.pos(), 3u);
  // Blend mode announced but absent.
  Buf empty;
  SwfReader cut(empty);
  e = ReadPlacementEffects(kFlagWordBlendMode | kFlagWordCacheAsBitmap, cut);
  EXPECT_FALSE(e.hasBlendMode);
  EXPECT_TRUE(cut.ok());
  // The 255 escape: a u16 count follows.
  SwfBytes esc;
  esc.u8(255).u16(2).u8(kFilterBlur);
  Blur(esc, 0).u8(kFilterBlur);
  Blur(esc, 0);
  EXPECT_EQ(CountRecords(List(esc).block), 2);
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
