#include "shape/decode/encoded_shape.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "fla/archive.h"
#include "fla/layer_records.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

std::vector<uint8_t> EncodeStraight(int32_t x, int32_t y) {
  EdgeRecord r;
  r.anchor = {x, y};
  ByteWriter w;
  EncodeEdgeRecord(w, r);
  return w.bytes();
}

TEST(EdgeRecordTest, StraightEdgesTakeTheSmallestFormTheirValuesAllow) {
  // Values are half-twips: SWF (50, -100) twips, (128, 0) and (16384, 0).
  EXPECT_BYTES(EncodeStraight(100, -200), test::FromHex("10 0032 009C"));
  EXPECT_BYTES(EncodeStraight(256, 0), test::FromHex("30 0001 0000"));
  EXPECT_BYTES(EncodeStraight(32768, 0), test::FromHex("20 00004000 00000000"));
  // The limits: 255 and 256, 32767 and 32768, in either component.
  EXPECT_EQ(PairForm({255, -255}), 1);
  EXPECT_EQ(PairForm({0, -256}), 3);
  EXPECT_EQ(PairForm({-32767, 5}), 3);
  EXPECT_EQ(PairForm({5, -32768}), 2);
}

// Random records of every kind and width read back as 256 times their
// twips, and the stream measures to its end; cut short, it does not.
TEST(EdgeRecordTest, RecordsReadBackAndStreamsCutShortAreRefused) {
  std::mt19937 rng(11);
  auto value = [&] {
    const int bits = int(rng() % 25);
    const int32_t v = std::min(bits ? int32_t(rng() % (1u << bits)) : 0, kMaxEdgeDelta);
    return (rng() & 1) ? -v : v;
  };
  ByteWriter w;
  std::vector<EdgeRecord> written(2000);
  for (EdgeRecord& r : written) {
    r.curved = rng() & 1;
    r.hasMove = rng() % 3 == 0;
    r.hasStyles = r.hasMove || rng() % 3 == 0;
    r.line = uint8_t(rng()), r.fill0 = uint8_t(rng()), r.fill1 = uint8_t(rng());
    r.move = {value(), value()};
    r.control = {value(), value()};
    r.anchor = {value(), value()};
    if (!r.curved && r.anchor.IsZero()) r.anchor.x = 1;
    EncodeEdgeRecord(w, r);
  }
  w.PutU8(0);
  using Pair = std::pair<int64_t, int64_t>;
  auto scaled = [](EdgePair p) { return Pair(128 * int64_t(p.x), 128 * int64_t(p.y)); };
  size_t pos = 0;
  for (const EdgeRecord& r : written) {
    DecodedEdge e;
    ASSERT_TRUE(ReadEdgeRecord(w.span(), pos, e));
    EXPECT_EQ(std::tuple(e.curved, e.hasMove, e.hasStyles),
              std::tuple(r.curved, r.hasMove, r.hasStyles));
    if (r.hasStyles) {
      EXPECT_EQ(std::tuple(e.line, e.fill0, e.fill1), std::tuple(r.line, r.fill0, r.fill1));
    }
    if (r.hasMove) {
      EXPECT_EQ(Pair(e.moveX, e.moveY), scaled(r.move));
    }
    if (r.curved) {
      EXPECT_EQ(Pair(e.controlX, e.controlY), scaled(r.control));
    }
    ASSERT_EQ(Pair(e.anchorX, e.anchorY), scaled(r.anchor));
  }
  auto extent = MeasureEdgeStream(w.span());
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->records, written.size());
  EXPECT_EQ(extent->endPos, w.size() - 1);

  EXPECT_FALSE(MeasureEdgeStream(test::FromHex("20 0000 40")));
  EXPECT_FALSE(MeasureEdgeStream(test::FromHex("10 0100 0100")));  // no end byte
  extent = MeasureEdgeStream(test::FromHex("00"));
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->records, 0u);
}

class FurtherObjectTest : public ::testing::TestWithParam<int> {};

TEST_P(FurtherObjectTest, FoundBehindLayerRecordsOfEveryLengthAndOnlyThere) {
  const uint8_t level = uint8_t(GetParam());
  for (uint16_t layer : {1, 12, 345, 6789}) {
    test::ByteSink s;
    WriteShapeRecordHead(s.file(), true, level);
    PutBytes(s.file(), "\x01\x00\x00\x00\x00\x00\x10\x01\x00\x01\x00", 11);  // tables and one edge
    const long endPos = s.tell();
    WriteLayerRecord(s.file(), layer, level);
    BeginLayerAndFrame(s.file(), level);
    WriteShapeRecordHead(s.file(), false, level);
    const long styles = s.tell();
    PutBytes(s.file(), "\0\0\0\0\0", 5);
    const std::vector<uint8_t> page = s.bytes();
    auto found = FindFurtherShapeObject(page, size_t(endPos), level);
    ASSERT_TRUE(found) << "layer " << layer;
    EXPECT_EQ(*found, size_t(styles));
    // Cut anywhere before the tables, or looked for elsewhere: nothing.
    for (size_t cut = size_t(endPos); cut < size_t(styles); cut += 7) {
      std::vector<uint8_t> shorter(page.begin(), page.begin() + cut);
      EXPECT_FALSE(FindFurtherShapeObject(shorter, size_t(endPos), level));
    }
    EXPECT_FALSE(FindFurtherShapeObject(page, size_t(endPos) - 1, level));
    EXPECT_FALSE(FindFurtherShapeObject(page, page.size() + 10, level));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, FurtherObjectTest, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace tovrani
