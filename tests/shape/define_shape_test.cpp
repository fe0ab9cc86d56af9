#include "shape/decode/define_shape.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "fla/archive.h"
#include "fla/layer_records.h"
#include "shape/decode/encoded_shape.h"
#include "shape/shape_test_support.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Append;
using test::AppendU32;
using test::Bytes;
using test::ShapeRecords;
using test::SwfBytes;

struct Built {
  ShapePageResult result;
  std::vector<uint8_t> page;
};

Built Build(ConverterContext& ctx, uint32_t tag, const std::vector<uint8_t>& body,
            uint16_t itemNo = 7) {
  Built b;
  std::FILE* f = std::tmpfile();
  if (!f) return b;
  b.result = BuildShapePage(ctx, tag, body, f, itemNo);
  std::fflush(f);
  std::rewind(f);
  int c;
  while ((c = std::fgetc(f)) != EOF) b.page.push_back(uint8_t(c));
  std::fclose(f);
  return b;
}

std::vector<uint8_t> Head(uint8_t level, bool withPageHead, uint32_t count) {
  test::ByteSink s;
  WriteShapeRecordHeadShort(s.file(), withPageHead, level);
  std::vector<uint8_t> v = s.bytes();
  AppendU32(v, count);
  return v;
}

std::vector<uint8_t> Matrix(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> v;
  for (uint32_t x : values) AppendU32(v, x);
  return v;
}

// The fields of a line style without LINESTYLE2 data at level 2, then its
// plain fill record.
std::vector<uint8_t> PlainLineTail(uint8_t level, std::vector<uint8_t> colour) {
  if (level < 2) return {};
  std::vector<uint8_t> v = Bytes({0, 0, 1, 1, 0, 3});
  Append(v, colour);
  Append(v, Bytes({0, 0}));
  return v;
}

class ShapeAtLevel : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ctx.m_nFlaFormat = level();
    ctx.m_bShapesOn = 1;
  }
  uint8_t level() const { return uint8_t(GetParam()); }
  ConverterContext ctx;
};

// DefineShape: a red square outlined in blue, with a curve, a vertical and
// a zero-length edge and a line-style change on the way.
std::vector<uint8_t> SquareBody() {
  SwfBytes b;
  b.rect(0, 8000, 0, 8000);
  b.u8(1).u8(0).u8(0xFF).u8(0).u8(0);
  b.u8(1).u16(20).u8(0).u8(0).u8(0xFF);
  b.u8(0x11);
  ShapeRecords r{b};
  r.Change(std::pair(200, 200), std::nullopt, 1u, 1u);
  r.Straight(200, 0).Straight(0, 200);
  r.Change(std::nullopt, std::nullopt, std::nullopt, 0u);
  r.Straight(0, 0).Curve(-100, 50, -100, -50).Straight(0, -200).End();
  return b.data();
}

TEST_P(ShapeAtLevel, DefineShapeGivesItsTablesAndEdgeRecords) {
  const Built built = Build(ctx, 2, SquareBody());
  ASSERT_TRUE(built.result.ok);
  std::vector<uint8_t> e = Head(level(), true, 4);
  const size_t countField = e.size() - 4;
  Append(e, Bytes({1, 0, 0xFF, 0, 0, 0xFF, 0, 0}));
  Append(e, Bytes({1, 0, 0, 0, 0xFF, 0xFF, 20, 0, 0, 0, 0, 0}));
  Append(e, PlainLineTail(level(), Bytes({0, 0, 0xFF, 0xFF})));
  Append(e, Bytes({0xF3, 1, 0, 1, 0x90, 0x01, 0x90, 0x01, 0x90, 0x01, 0, 0}));
  Append(e, Bytes({0x30, 0, 0, 0x90, 0x01}));
  Append(e, Bytes({0xF4, 0, 0, 1, 0x00, 0x9C, 0x00, 0x32, 0x70, 0xFE, 0, 0}));
  Append(e, Bytes({0x30, 0, 0, 0x70, 0xFE}));
  const size_t end = e.size();
  Append(e, test::ExpectedPageTail(7, 2, level()));
  EXPECT_BYTES(built.page, e);
  EXPECT_EQ(countField, FirstCountFieldPos(level()));
  EXPECT_EQ(ctx.m_nShapeHeadPos, FirstStyleTablesPos(level()));

  // Opaque and on one layer: copied from the count field to the last edge.
  ASSERT_EQ(ctx.m_pShapeCache.size(), 1u);
  EXPECT_BYTES(ctx.m_pShapeCache[0].copy,
               std::vector<uint8_t>(e.begin() + long(countField), e.begin() + long(end)));
}

TEST_P(ShapeAtLevel, TheBuiltInShapeCodeGivesTheSamePageWithoutCacheCopy) {
  const std::vector<uint8_t> page = Build(ctx, 2, SquareBody()).page;
  ConverterContext other;
  other.m_nFlaFormat = level();
  other.m_bShapesOn = 1;
  EXPECT_BYTES(Build(other, kDummyShapeTag, SquareBody()).page, page);
  EXPECT_TRUE(other.m_pShapeCache.empty());
}

// DefineShape2: a bitmap-filled triangle, then new style arrays without a
// move: a gradient fill and a green line whose edge starts at the pen.
std::vector<uint8_t> TwoSetsBody(bool moveWithNewStyles) {
  SwfBytes b;
  b.rect(0, 2000, 0, 2000);
  b.u8(0xFF).u16(1);
  b.u8(0x41).u16(7).matrix(10, -10, true, 20 << 16, 20 << 16);
  b.u8(0);
  b.u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(10, 10), 1u, std::nullopt, std::nullopt);
  r.Straight(100, 0).Straight(0, 100).Straight(-100, -100);
  if (moveWithNewStyles)
    r.Change(std::pair(5, 5), std::nullopt, 1u, std::nullopt, true);
  else
    r.Change(std::nullopt, std::nullopt, 1u, std::nullopt, true);
  b.align();
  b.u8(1).u8(0x10).matrix(0, 0).u8(0x02).u8(0).u8(0xFF).u8(0).u8(0).u8(0xFF).u8(0).u8(0).u8(0xFF);
  b.u8(1).u16(40).u8(0).u8(0xFF).u8(0);
  b.u8(0x11);
  ShapeRecords r2{b, 1, 1};
  r2.Straight(50, 0).End();
  return b.data();
}

TEST_P(ShapeAtLevel, NewStyleArraysStartAFurtherObjectOnALayerOfItsOwn) {
  const Built built = Build(ctx, 22, TwoSetsBody(false));
  ASSERT_TRUE(built.result.ok);
  EXPECT_EQ(built.result.objects, 2u);
  std::vector<uint8_t> e = Head(level(), true, 3);
  Append(e, Bytes({1, 0, 0xFF, 0, 0, 0xFF, 0x41, 0}));
  Append(e, Matrix({20 << 16, 0, 0, 20 << 16, 10, uint32_t(-10)}));
  Append(e, Bytes({7, 0, 0, 0}));
  Append(e, Bytes({0xD1, 0, 1, 0, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x64, 0, 0}));
  Append(e, Bytes({0x10, 0, 0, 0x00, 0x64}));
  Append(e, Bytes({0x10, 0x00, 0x9C, 0x00, 0x9C}));
  const size_t firstEnd = e.size();
  {
    test::ByteSink s;
    WriteLayerRecord(s.file(), 1, level());
    BeginLayerAndFrame(s.file(), level());
    Append(e, s.bytes());
  }
  Append(e, Head(level(), false, 1));
  const size_t secondTables = e.size();
  Append(e, Bytes({1, 0, 0, 0, 0, 0xFF, 0x10, 0}));
  Append(e, Matrix({0x10000, 0, 0, 0x10000, 0, 0}));
  e.push_back(2);
  if (level() >= 2) Append(e, Bytes({0, 0, 0, 0, 0, 0, 0, 0}));
  Append(e, Bytes({0, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}));
  Append(e, Bytes({1, 0, 0, 0xFF, 0, 0xFF, 40, 0, 0, 0, 0, 0}));
  Append(e, PlainLineTail(level(), Bytes({0, 0xFF, 0, 0xFF})));
  // The record's own fill index holds in the new object; the edge moves
  // from the new object's origin to where the pen stands.
  Append(e, Bytes({0xD1, 0, 0, 1, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x32, 0, 0}));
  Append(e, test::ExpectedPageTail(7, 3, level()));
  EXPECT_BYTES(built.page, e);
  EXPECT_EQ(ctx.m_nShapeHeadPos, secondTables);
  EXPECT_TRUE(ctx.m_pShapeCache.empty());

  std::vector<test::ShapePageObject> objects;
  ASSERT_TRUE(test::CheckShapePage(built.page, level(), 7, &objects));
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].endPos, firstEnd);
  EXPECT_EQ(objects[1].stylesPos, secondTables);
}

TEST_P(ShapeAtLevel, AMoveWithNewStylesIsMeasuredFromTheNewOrigin) {
  const Built built = Build(ctx, 22, TwoSetsBody(true));
  std::vector<test::ShapePageObject> objects;
  ASSERT_TRUE(test::CheckShapePage(built.page, level(), 7, &objects));
  ASSERT_EQ(objects.size(), 2u);
  const std::vector<uint8_t> edge(built.page.begin() + long(objects[1].edgesPos),
                                  built.page.begin() + long(objects[1].endPos));
  EXPECT_BYTES(edge, Bytes({0xD1, 0, 0, 1, 0x00, 0x05, 0x00, 0x05, 0x00, 0x32, 0, 0}));
}

// DefineShape3: a focal gradient with a half-transparent stop, and edges far
// enough out for the 32-bit form.
TEST_P(ShapeAtLevel, DefineShape3WritesAlphaFocalGradientsAndWideEdges) {
  SwfBytes b;
  b.rect(0, 80000, 0, 100);
  b.u8(1).u8(0x13).matrix(0, 0).u8(0x02);
  b.u8(0).u8(1).u8(2).u8(3).u8(254).u8(255).u8(4).u8(5).u8(6).u8(255).u16(0xFF80);
  b.u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(20000, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(1, 0).Straight(16384, 0).Straight(-16385, 0).End();
  const Built built = Build(ctx, 32, b.data());
  std::vector<uint8_t> e = Head(level(), true, 3);
  Append(e, Bytes({1, 0, 0, 0, 0, 0xFF, 0x12, 0}));
  Append(e, Matrix({0x10000, 0, 0, 0x10000, 0, 0}));
  e.push_back(2);
  if (level() >= 2) Append(e, Bytes({0x80, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
  Append(e, Bytes({0, 1, 2, 3, 254, 255, 4, 5, 6, 255}));
  Append(e, Bytes({0, 0}));
  // With a large move the small anchor keeps the 16-bit form.
  Append(e, Bytes({0xF2, 0, 0, 1, 0x00, 0x20, 0x4E, 0x00, 0, 0, 0, 0, 0x02, 0x00, 0, 0}));
  Append(e, Bytes({0x20, 0x00, 0x00, 0x40, 0x00, 0, 0, 0, 0}));
  Append(e, Bytes({0x20, 0x00, 0xFF, 0xBF, 0xFF, 0, 0, 0, 0}));
  Append(e, test::ExpectedPageTail(7, 2, level()));
  EXPECT_BYTES(built.page, e);
  EXPECT_TRUE(ctx.m_pShapeCache.empty());  // not opaque
}

// DefineShape4: a filled line with every LINESTYLE2 flag, then a plain line
// that has to be read from behind the fill at every level.
TEST_P(ShapeAtLevel, DefineShape4LineFlagsAndLineFills) {
  SwfBytes b;
  b.rect(0, 100, 0, 100).rect(0, 100, 0, 100).u8(0);
  b.u8(1).u8(0).u8(10).u8(20).u8(30).u8(255);
  b.u8(2);
  b.u16(20).u8(0x80 | 0x20 | 0x08 | 0x04 | 0x01).u8(0x04 | 0x02).u16(0x0380);
  b.u8(0).u8(0).u8(0xFF).u8(0).u8(0xFF);
  b.u16(40).u8(0).u8(0).u8(1).u8(2).u8(3).u8(255);
  b.u8(0x12);
  ShapeRecords r{b, 1, 2};
  r.Change(std::pair(1, 1), 1u, std::nullopt, 2u).Straight(10, 10).End();
  const Built built = Build(ctx, 83, b.data());
  std::vector<uint8_t> e = Head(level(), true, 1);
  Append(e, Bytes({1, 0, 10, 20, 30, 255, 0, 0}));
  Append(e, Bytes({2, 0, 0xFF, 0, 0, 0xFF, 20, 0, 0, 0, 0, 0}));
  if (level() >= 2) Append(e, Bytes({1, 2, 2, 0, 0, 0x13, 0, 0xFF, 0, 0xFF, 0, 0}));
  Append(e, Bytes({1, 2, 3, 255, 40, 0, 0, 0, 0, 0}));
  Append(e, PlainLineTail(level(), Bytes({1, 2, 3, 255})));
  Append(e, Bytes({0xD1, 2, 1, 0, 0x00, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x00, 0x0A}));
  Append(e, test::ExpectedPageTail(7, 2, level()));
  EXPECT_BYTES(built.page, e);
}

INSTANTIATE_TEST_SUITE_P(Levels, ShapeAtLevel, ::testing::Values(0, 2));

class ShapeDecodingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx.m_nFlaFormat = 0;
    ctx.m_bShapesOn = 1;
  }
  // The edge records of a one-object page.
  std::vector<uint8_t> Edges(uint32_t tag, const std::vector<uint8_t>& body) {
    const Built built = Build(ctx, tag, body);
    std::vector<test::ShapePageObject> objects;
    EXPECT_TRUE(test::CheckShapePage(built.page, 0, 7, &objects));
    if (objects.empty()) return {};
    return std::vector<uint8_t>(built.page.begin() + long(objects[0].edgesPos),
                                built.page.begin() + long(objects[0].endPos));
  }
  ConverterContext ctx;
};

SwfBytes OneSolidFill(uint8_t fillCount = 1) {
  SwfBytes b;
  b.rect(0, 100, 0, 100).u8(fillCount);
  for (int i = 0; i < fillCount; ++i) b.u8(0).u8(1).u8(2).u8(3);
  return b;
}

TEST_F(ShapeDecodingTest, CountsOf255AreRealForDefineShapeAndAnEscapeAfterIt) {
  SwfBytes b = OneSolidFill(255);
  b.u8(0).u8(0);
  ShapeRecords{b}.End();
  const Built one = Build(ctx, 2, b.data());
  EXPECT_EQ(one.page[FirstStyleTablesPos(0)], 255);
  EXPECT_TRUE(test::CheckShapePage(one.page, 0, 7));

  SwfBytes c;
  c.rect(0, 100, 0, 100).u8(255).u16(2).u8(0).u8(1).u8(2).u8(3).u8(0).u8(4).u8(5).u8(6);
  c.u8(0).u8(0);
  ShapeRecords{c}.End();
  const Built two = Build(ctx, 22, c.data());
  std::vector<test::ShapePageObject> objects;
  ASSERT_TRUE(test::CheckShapePage(two.page, 0, 7, &objects));
  EXPECT_EQ(objects[0].fills, 2u);
}

TEST_F(ShapeDecodingTest, MovesBeforeAnEdgeMergeAndIndexesPastTheTableMeanNoStyle) {
  SwfBytes b = OneSolidFill();
  b.u8(0).u8(0x20);
  ShapeRecords r{b, 2, 0};
  r.Change(std::pair(100, 100), 3u, std::nullopt, std::nullopt);
  r.Change(std::pair(10, 10), std::nullopt, 1u, std::nullopt);
  r.Straight(0, 0);  // not written: the change stays pending
  r.Straight(10, 0).End();
  EXPECT_BYTES(Edges(2, b.data()),
               Bytes({0xD1, 0, 0, 1, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x00}));
}

TEST_F(ShapeDecodingTest, TheLastEdgeClosesOntoThePointAfterTheOneItReturnsTo) {
  SwfBytes b = OneSolidFill();
  b.u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(200, 200), std::nullopt, 1u, std::nullopt);
  r.Straight(-2, 0).Straight(129, 0).Straight(0, 127);
  r.Change(std::nullopt, 1u, std::nullopt, std::nullopt);
  r.Straight(-127, -127).End();
  const std::vector<uint8_t> edges = Edges(2, b.data());
  // The anchor (-127, -127) twips becomes (-129, -127): too large for the
  // record's old form, so the record is written again in the next one.
  ASSERT_GE(edges.size(), 8u);
  EXPECT_BYTES(std::vector<uint8_t>(edges.end() - 8, edges.end()),
               Bytes({0xF0, 0, 1, 1, 0xFE, 0xFE, 0x02, 0xFF}));
}

TEST_F(ShapeDecodingTest, NoClosingFixUpAfterATrailingMove) {
  SwfBytes b = OneSolidFill();
  b.u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(200, 200), 1u, 1u, std::nullopt);
  r.Straight(-2, 0).Straight(129, 0).Straight(0, 127).Straight(-127, -127);
  r.Change(std::pair(200, 200), std::nullopt, std::nullopt, std::nullopt).End();
  const std::vector<uint8_t> edges = Edges(2, b.data());
  ASSERT_GE(edges.size(), 5u);
  EXPECT_BYTES(std::vector<uint8_t>(edges.end() - 5, edges.end()),
               Bytes({0x10, 0x00, 0x81, 0x00, 0x81}));
}

TEST_F(ShapeDecodingTest, FarCoordinatesAreClampedSoEveryDeltaFitsItsForm) {
  SwfBytes b = OneSolidFill();
  b.u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(1 << 29, -(1 << 29)), std::nullopt, 1u, std::nullopt);
  r.Straight(65535, 0).Straight(-65535, 65535);
  r.Change(std::pair(-(1 << 29), 1 << 29), std::nullopt, std::nullopt, std::nullopt);
  r.Straight(-65535, 0).Straight(65535, 0).End();
  const std::vector<uint8_t> edges = Edges(2, b.data());
  const int64_t limit = 128LL * (kMaxEdgeDelta / 2);
  size_t pos = 0;
  DecodedEdge e;
  int64_t x = 0, y = 0;
  std::vector<std::pair<int64_t, int64_t>> ends;
  while (ReadEdgeRecord(edges, pos, e)) {
    x += e.moveX + e.anchorX;
    y += e.moveY + e.anchorY;
    ends.push_back({x, y});
  }
  // Edges pushing past the border have no length left and are not written.
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0], std::make_pair(limit - 65535 * 256, -limit + 65535 * 256));
  EXPECT_EQ(ends[1], std::make_pair(-limit + 65535 * 256, limit));
}

TEST_F(ShapeDecodingTest, BadStyleArraysEndTheShapeWithWhatWasWritten) {
  // An unknown fill type after one good fill.
  SwfBytes b;
  b.rect(0, 100, 0, 100).u8(2).u8(0).u8(1).u8(2).u8(3).u8(0x20).u8(0).u8(0).u8(0).u8(0x10);
  ShapeRecords{b, 1, 0}.Change(std::pair(1, 1), 1u, std::nullopt, std::nullopt).Straight(5, 5).End();
  Built built = Build(ctx, 22, b.data());
  std::vector<test::ShapePageObject> objects;
  ASSERT_TRUE(test::CheckShapePage(built.page, 0, 7, &objects));
  EXPECT_EQ(objects[0].fills, 1u);
  EXPECT_EQ(objects[0].lines, 0u);
  EXPECT_EQ(objects[0].records, 0u);

  // Line styles cut short: the fills stay, the lines read so far are counted.
  SwfBytes c = OneSolidFill();
  c.u8(3).u16(20).u8(1).u8(2).u8(3).u16(20);
  built = Build(ctx, 2, c.data());
  ASSERT_TRUE(test::CheckShapePage(built.page, 0, 7, &objects));
  EXPECT_EQ(objects[0].fills, 1u);
  EXPECT_EQ(objects[0].lines, 1u);
}

// Mutated bodies of every kind above, at every level: the page must always
// be whole, with count fields that match its edge records.
TEST(ShapeDecoderFuzz, MutatedBodiesAlwaysGiveWellFormedPages) {
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> seeds = {
      {2, SquareBody()}, {22, TwoSetsBody(false)}, {22, TwoSetsBody(true)}};
  {
    SwfBytes b;
    b.rect(0, 100, 0, 100).rect(0, 100, 0, 100).u8(0);
    b.u8(2).u8(0x13).matrix(1, 2, true, 3, 4, true, 5, 6).u8(0xF3);
    for (int i = 0; i < 3; ++i) b.u8(uint8_t(i * 80)).u8(1).u8(2).u8(3).u8(4);
    b.u16(0x0100).u8(0x42).u16(9).matrix(7, 8);
    b.u8(1).u16(20).u8(0x28).u8(0x05).u16(0x0200).u8(0x10).matrix(0, 0).u8(1).u8(0).u8(9).u8(9).u8(9).u8(9);
    b.u8(0x22);
    ShapeRecords r{b, 2, 2};
    r.Change(std::pair(-3000, 4000), 1u, 2u, 1u).Curve(300, -20, 5, 7).Straight(-60000, 1);
    r.Change(std::nullopt, 2u, 1u, std::nullopt, true);
    b.align();
    b.u8(1).u8(0).u8(1).u8(2).u8(3).u8(4).u8(0).u8(0x11);
    ShapeRecords{b, 1, 1}.Curve(1, 1, 1, 1).End();
    seeds.push_back({83, b.data()});
  }
  std::mt19937 rng(20261206);
  for (int iteration = 0; iteration < 4000; ++iteration) {
    const auto& seed = seeds[rng() % seeds.size()];
    std::vector<uint8_t> body = seed.second;
    const int mutations = 1 + int(rng() % 6);
    for (int m = 0; m < mutations && !body.empty(); ++m) {
      const size_t at = rng() % body.size();
      switch (rng() % 5) {
        case 0: body[at] ^= uint8_t(1u << (rng() % 8)); break;
        case 1: body[at] = uint8_t(rng()); break;
        case 2: body.resize(at); break;
        case 3: body.insert(body.begin() + long(at), uint8_t(rng())); break;
        default: body[at] = (rng() & 1) ? 0xFF : 0x00; break;
      }
    }
    const uint32_t tags[] = {2, 22, 32, 83, kDummyShapeTag};
    const uint32_t tag = (rng() % 4 == 0) ? tags[rng() % 5] : seed.first;
    ConverterContext ctx;
    ctx.m_nFlaFormat = uint8_t(rng() % 3);
    ctx.m_bShapesOn = 1;
    const Built built = Build(ctx, tag, body, uint16_t(rng()));
    ASSERT_TRUE(built.result.ok);
    ASSERT_TRUE(test::CheckShapePage(built.page, ctx.m_nFlaFormat, std::nullopt))
        << "iteration " << iteration << " tag " << tag;
  }
}

}  // namespace
}  // namespace tovrani
