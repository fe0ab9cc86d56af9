#include "shape/decode/encoded_shape.h"

#include <gtest/gtest.h>

#include <random>

#include "fla/archive.h"
#include "fla/layer_records.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Bytes;

std::vector<uint8_t> Encode(const EdgeRecord& rec) {
  ByteWriter w;
  EncodeEdgeRecord(w, rec);
  return w.bytes();
}

EdgeRecord StraightEdge(int32_t x, int32_t y) {
  EdgeRecord r;
  r.anchor = {x, y};
  return r;
}

TEST(EdgeRecordTest, StraightEdgesTakeTheSmallestFormTheirValuesAllow) {
  // Values are half-twips: SWF (50, -100) twips, (128, 0) and (16384, 0).
  EXPECT_BYTES(Encode(StraightEdge(100, -200)), Bytes({0x10, 0x00, 0x32, 0x00, 0x9C}));
  EXPECT_BYTES(Encode(StraightEdge(256, 0)), Bytes({0x30, 0x00, 0x01, 0x00, 0x00}));
  EXPECT_BYTES(Encode(StraightEdge(32768, 0)),
               Bytes({0x20, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00}));
  // The limits: 255 and 256, 32767 and 32768, in either component.
  EXPECT_EQ(PairForm({255, -255}), 1);
  EXPECT_EQ(PairForm({0, -256}), 3);
  EXPECT_EQ(PairForm({-32767, 5}), 3);
  EXPECT_EQ(PairForm({5, -32768}), 2);
}

TEST(EdgeRecordTest, EveryRecordReadsBackAs256TimesItsTwips) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> magnitude(0, 24);
  auto value = [&] {
    const int bits = magnitude(rng);
    int32_t v = bits ? int32_t(rng() % (1u << bits)) : 0;
    v = std::min(v, kMaxEdgeDelta);
    return (rng() & 1) ? -v : v;
  };
  ByteWriter w;
  std::vector<EdgeRecord> written;
  for (int i = 0; i < 2000; ++i) {
    EdgeRecord r;
    r.curved = rng() & 1;
    r.hasMove = rng() % 3 == 0;
    r.hasStyles = r.hasMove || rng() % 3 == 0;
    r.line = uint8_t(rng()), r.fill0 = uint8_t(rng()), r.fill1 = uint8_t(rng());
    r.move = {value(), value()};
    r.control = {value(), value()};
    r.anchor = {value(), value()};
    if (!r.curved && r.anchor.IsZero()) r.anchor.x = 1;
    EncodeEdgeRecord(w, r);
    written.push_back(r);
  }
  w.PutU8(0);
  size_t pos = 0;
  for (const EdgeRecord& r : written) {
    DecodedEdge e;
    ASSERT_TRUE(ReadEdgeRecord(w.span(), pos, e));
    EXPECT_EQ(e.curved, r.curved);
    EXPECT_EQ(e.hasMove, r.hasMove);
    EXPECT_EQ(e.hasStyles, r.hasStyles);
    auto pair = [](int64_t a, int64_t b) { return std::make_pair(a, b); };
    if (r.hasStyles) {
      EXPECT_EQ(e.line << 16 | e.fill0 << 8 | e.fill1, r.line << 16 | r.fill0 << 8 | r.fill1);
    }
    if (r.hasMove) {
      EXPECT_EQ(pair(e.moveX, e.moveY), pair(128 * int64_t(r.move.x), 128 * int64_t(r.move.y)));
    }
    if (r.curved) {
      EXPECT_EQ(pair(e.controlX, e.controlY),
                pair(128 * int64_t(r.control.x), 128 * int64_t(r.control.y)));
    }
    ASSERT_EQ(pair(e.anchorX, e.anchorY),
              pair(128 * int64_t(r.anchor.x), 128 * int64_t(r.anchor.y)));
  }
  auto extent = MeasureEdgeStream(w.span());
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->records, written.size());
  EXPECT_EQ(extent->endPos, w.size() - 1);
}

TEST(EdgeRecordTest, ReadersRefuseStreamsCutShort) {
  const std::vector<uint8_t> cut = Bytes({0x20, 0, 0, 0x40});
  EXPECT_FALSE(MeasureEdgeStream(cut));
  EXPECT_FALSE(MeasureEdgeStream(Bytes({0x10, 1, 0, 1, 0})));  // no end byte
  auto empty = MeasureEdgeStream(Bytes({0}));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->records, 0u);
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
    if (layer < 1000) {
      const size_t digits = layer < 10 ? 1 : layer < 100 ? 2 : 3;
      const size_t expected = (level >= 2 ? 202 : 170) + (digits - 1) * (level >= 2 ? 2 : 1);
      EXPECT_EQ(*found - size_t(endPos), expected);
    }
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
