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

TEST(EdgeRecordTest, StylesMovesAndCurvesSetTheirFlagsAndOrder) {
  EdgeRecord r = StraightEdge(-2, 4);
  r.hasStyles = true;
  r.line = 1, r.fill0 = 2, r.fill1 = 3;
  r.hasMove = true;
  r.move = {1, 1};
  EXPECT_BYTES(Encode(r), Bytes({0xD1, 1, 2, 3, 0x80, 0x00, 0x80, 0x00, 0x00, 0xFF, 0x00, 0x02}));

  EdgeRecord c;
  c.curved = true;
  c.control = {300, 0};
  c.anchor = {1, -1};
  EXPECT_BYTES(Encode(c), Bytes({0x1C, 0x2C, 0x01, 0x00, 0x00, 0x80, 0x00, 0x80, 0xFF}));
}

TEST(EdgeRecordTest, AStraightEdgeWithALargeMoveKeepsBothPairsOutOfTheSmallForm) {
  EdgeRecord r = StraightEdge(10, 0);  // alone it would take form 1
  r.hasStyles = r.hasMove = true;
  r.move = {40000, 0};
  const std::vector<uint8_t> bytes = Encode(r);
  EXPECT_EQ(bytes[0], 0xC0 | 2 | 3 << 4);
  EXPECT_BYTES(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), Bytes({10, 0, 0, 0}));
  // A curve chooses every pair on its own.
  r.curved = true;
  r.control = {1, 1};
  EXPECT_EQ(Encode(r)[0], 0xC0 | 2 | 1 << 2 | 1 << 4);
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

TEST(ByteWriterTest, PatchesReachPastSixtyFourKilobytes) {
  ByteWriter w;
  for (int i = 0; i < 70000; ++i) w.PutU8(0);
  w.PatchU32(69990, 0x04030201);
  w.PatchU16(65536, 0xBEEF);
  w.PatchU32(69998, 1);  // would run past the end: ignored
  EXPECT_EQ(w.bytes()[69990], 1);
  EXPECT_EQ(w.bytes()[69993], 4);
  EXPECT_EQ(w.bytes()[65536], 0xEF);
  EXPECT_EQ(w.bytes()[65537], 0xBE);
  EXPECT_EQ(w.bytes()[69999], 0);
  EXPECT_EQ(w.size(), 70000u);
}

std::vector<uint8_t> EncodeFill(const FillStyle& f, uint8_t level, bool asLine = false) {
  ByteWriter w;
  EncodeFillStyle(w, f, level, asLine);
  return w.bytes();
}

TEST(FillStyleTest, GradientsCarryTheLevelTwoBlockOnlyAtLevelTwoOrAsLineFill) {
  FillStyle g;
  g.type = kSwfFocalGradient;
  g.matrix.translateX = 40;
  g.gradientHeader = 0x92;  // spread 2, interpolation 1, two stops
  g.stops = {{0, PackColour(1, 2, 3, 4)}, {255, PackColour(5, 6, 7)}};
  g.focalPoint = -128;
  std::vector<uint8_t> head = Bytes({0, 0, 0, 0xFF, 0x12, 0});
  for (uint32_t v : {0x10000u, 0u, 0u, 0x10000u, 40u, 0u}) test::AppendU32(head, v);
  const std::vector<uint8_t> stops = Bytes({0, 1, 2, 3, 4, 255, 5, 6, 7, 255});

  std::vector<uint8_t> old = head;
  old.push_back(2);
  test::Append(old, stops);
  EXPECT_BYTES(EncodeFill(g, 0), old);

  std::vector<uint8_t> level2 = head;
  test::Append(level2, Bytes({2, 0x80, 0xFF, 0xFF, 0xFF, 0x09, 0, 0, 0}));
  test::Append(level2, stops);
  EXPECT_BYTES(EncodeFill(g, 2), level2);

  // A linear gradient has focal point 0; as a line fill its colour is red.
  g.type = kSwfLinearGradient;
  std::vector<uint8_t> line = EncodeFill(g, 2, true);
  EXPECT_BYTES(std::vector<uint8_t>(line.begin(), line.begin() + 6), Bytes({0xFF, 0, 0, 0xFF, 0x10, 0}));
  EXPECT_BYTES(std::vector<uint8_t>(line.begin() + 31, line.begin() + 36), Bytes({0, 0, 0, 0, 0x09}));
}

TEST(FillStyleTest, SolidAndBitmapFills) {
  FillStyle s;
  s.colour = PackColour(0x11, 0x22, 0x33, 0x44);
  EXPECT_BYTES(EncodeFill(s, 2), Bytes({0x11, 0x22, 0x33, 0x44, 0, 0}));
  FillStyle b;
  b.type = 0x42;
  b.bitmapId = 0x0107;
  b.matrix.scaleX = 20 << 16;
  b.matrix.rotateSkew1 = -1;
  std::vector<uint8_t> e = Bytes({0xFF, 0, 0, 0xFF, 0x42, 0});
  for (uint32_t v : {20u << 16, 0u, 0xFFFFFFFFu, 0x10000u, 0u, 0u}) test::AppendU32(e, v);
  test::Append(e, Bytes({0x07, 0x01}));
  EXPECT_BYTES(EncodeFill(b, 0), e);
}

TEST(LineStyleTest, OldLevelsWriteTenBytesAndLevelTwoTheStrokeFields) {
  LineStyle l;
  l.colour = PackColour(0, 0, 0xFF);
  l.width = 20;
  ByteWriter w0;
  EncodeLineStyle(w0, l, 1);
  EXPECT_BYTES(w0.bytes(), Bytes({0, 0, 0xFF, 0xFF, 20, 0, 0, 0, 0, 0}));

  ByteWriter w2;
  EncodeLineStyle(w2, l, 2);  // the fields of a line without LINESTYLE2 flags
  EXPECT_BYTES(w2.bytes(), Bytes({0, 0, 0xFF, 0xFF, 20, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 3,
                                  0, 0, 0xFF, 0xFF, 0, 0}));

  // Square caps, miter join with limit 3.5, no close, hinting, no h-scale;
  // filled with a solid green.
  l.flags0 = 0x80 | 0x20 | 0x08 | 0x04 | 0x01;
  l.flags1 = 0x04 | 0x02;
  l.miterLimitFactor = 0x0380;
  l.hasFill = true;
  l.colour = kOpaqueRed;
  l.fill.colour = PackColour(0, 0xFF, 0);
  ByteWriter w3;
  EncodeLineStyle(w3, l, 2);
  EXPECT_BYTES(w3.bytes(), Bytes({0xFF, 0, 0, 0xFF, 20, 0, 0, 0, 0, 0, 1, 2, 2, 0, 0, 0x13,
                                  0, 0xFF, 0, 0xFF, 0, 0}));
  // Caps that differ count as round; a bevel join is 2.
  l.flags0 = 0x40 | 0x10;
  l.flags1 = 0x02;
  l.hasFill = false;
  ByteWriter w4;
  EncodeLineStyle(w4, l, 2);
  EXPECT_EQ(w4.bytes()[12], 1);
  EXPECT_EQ(w4.bytes()[13], 2);
  EXPECT_EQ(w4.bytes()[15], 3);
}

TEST(StyleIndexTest, IndexesOutsideTheTableGiveNoRecord) {
  StyleIndex index;
  index.fills.push_back({1, 2, 3, 4, 0, 0});
  EXPECT_EQ(index.Fill(1).size(), 6u);
  EXPECT_TRUE(index.Fill(0).empty());
  EXPECT_TRUE(index.Fill(2).empty());
  EXPECT_TRUE(index.Line(1).empty());
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
