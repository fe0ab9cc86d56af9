// Zero alphas of shape and morph bodies made 1, and nothing else touched.
#include "shape/decode/zero_alpha.h"

#include <gtest/gtest.h>

#include "shape/shape_test_support.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

// Positions of the alpha bytes a body builder wrote, to compare against.
struct Body {
  SwfBytes b;
  std::vector<size_t> alphas;
  Body& Colour(uint32_t rgb, uint8_t alpha) {
    b.u8(rgb >> 16 & 0xFF).u8(rgb >> 8 & 0xFF).u8(rgb & 0xFF);
    alphas.push_back(b.size());
    b.u8(alpha);
    return *this;
  }
};

// What a walk should leave: alpha 0 becomes 1 at the written places only.
std::vector<uint8_t> Expected(const Body& body) {
  std::vector<uint8_t> out = body.b.data();
  for (size_t p : body.alphas)
    if (out[p] == 0) out[p] = 1;
  return out;
}

TEST(ZeroAlpha, ShapeBodiesGetAlphaOneWhereItWasZero) {
  Body s;
  s.b.rect(0, 100, 0, 100);
  s.b.u8(0xFF).u16(257);  // 257 fill styles
  s.b.u8(0x00);
  s.Colour(0x102030, 0x00);
  s.b.u8(0x10).matrix(0, 0).u8(0x42);  // the header's low bits count 2 records
  s.b.u8(0);
  s.Colour(0xAAAAAA, 0x00);
  s.b.u8(0);  // a ratio of 0 stays 0
  s.Colour(0xBBBBBB, 0x80);
  for (int i = 0; i < 255; ++i) {
    s.b.u8(0x00);
    s.Colour(0x010101, i % 2 ? 0xFF : 0x00);
  }
  s.b.u8(1).u16(20);
  s.Colour(0x000000, 0x00);
  s.b.u8(0x11);
  ShapeRecords r{s.b, 1, 1};
  r.Change(std::pair(0, 0), 1u, std::nullopt, 1u).Straight(10, 0).Curve(5, 5, 5, 5);
  r.Change(std::nullopt, std::nullopt, std::nullopt, std::nullopt, true);
  s.b.align().u8(1).u8(0x00);
  s.Colour(0x445566, 0x00);
  s.b.u8(0).u8(0x11);
  ShapeRecords r2{s.b, 1, 1};
  r2.Straight(0, 10).End();

  std::vector<uint8_t> body = s.b.data();
  EXPECT_FALSE(FixZeroAlpha(body));
  EXPECT_EQ(body, Expected(s));
}

// A morph body with solid and gradient fills and a line; `offsetDelta`
// moves the end-edges offset.
Body MorphAlphas(uint32_t offsetDelta) {
  Body styles;
  styles.b.u8(2).u8(0x00);
  styles.Colour(0x112233, 0x00).Colour(0x112233, 0x00);
  styles.b.u8(0x12).matrix(0, 0).matrix(0, 0).u8(0x01).u8(0);
  styles.Colour(0x010203, 0x00);
  styles.b.u8(255);
  styles.Colour(0x040506, 0xFF);
  styles.b.u8(1).u16(10).u16(20);
  styles.Colour(0, 0x00).Colour(0, 0x80);
  const std::vector<uint8_t> body = test::MorphBody(
      46, styles.b.data(),
      [](ShapeRecords& r) { r.Change(std::pair(0, 0), 1u, std::nullopt, 1u).Straight(10, 0); },
      [](ShapeRecords& r) { r.Straight(20, 0); });
  // The styles were copied behind the bounds and the offset.
  Body out;
  const size_t at = 2 * SwfBytes().rect(0, 2000, 0, 2000).size() + 4;
  out.b.bytes(body);
  for (size_t p : styles.alphas) out.alphas.push_back(at + p);
  std::vector<uint8_t> bytes = out.b.data();
  const uint32_t offset = uint32_t(bytes[at - 4] | bytes[at - 3] << 8) + offsetDelta;
  Body patched;
  bytes[at - 4] = uint8_t(offset);
  bytes[at - 3] = uint8_t(offset >> 8);
  bytes[at - 2] = uint8_t(offset >> 16);
  patched.b.bytes(bytes);
  patched.alphas = out.alphas;
  return patched;
}

TEST(ZeroAlpha, MorphBodiesAreFixedInBothColoursOrLeftAloneWhenTheOffsetIsBad) {
  Body good = MorphAlphas(0);
  std::vector<uint8_t> body = good.b.data();
  EXPECT_TRUE(FixMorphZeroAlpha(body));
  EXPECT_EQ(body, Expected(good));

  Body bad = MorphAlphas(1 << 20);
  body = bad.b.data();
  EXPECT_FALSE(FixMorphZeroAlpha(body));
  EXPECT_EQ(body, bad.b.data());

  // New styles in a morph shape end the walk; what came before is kept.
  Body styled;
  styled.b.bytes(test::MorphBody(
      46, SwfBytes().u8(1).u8(0).u32(0x00000000).u32(0xFF000000).u8(0).data(),
      [](ShapeRecords& r) { r.Change(std::pair(0, 0), 1u, std::nullopt, std::nullopt, true); },
      [](ShapeRecords& r) { r.Straight(1, 0); }));
  body = styled.b.data();
  EXPECT_FALSE(FixMorphZeroAlpha(body));
  const size_t firstAlpha = 2 * SwfBytes().rect(0, 2000, 0, 2000).size() + 4 + 2 + 3;
  EXPECT_EQ(body[firstAlpha], 1);
}

}  // namespace
}  // namespace tovrani
