#include "shape/decode/define_shape.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "fla/archive.h"
#include "fla/layer_records.h"
#include "fla/work_files.h"
#include "shape/decode/encoded_shape.h"
#include "shape/shape_test_support.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Append;
using test::ShapeRecords;
using test::SwfBytes;

// The page BuildShapePage writes for `body` at `level`.
std::vector<uint8_t> Build(ConverterContext& ctx, uint8_t level, uint32_t tag,
                           const std::vector<uint8_t>& body, uint16_t itemNo = 7) {
  ctx.m_nFlaFormat = level;
  ctx.m_bShapesOn = 1;
  ctx.options.noProblemSearch = 1;  // the pages as decoded
  ctx.m_library.bitmapItemNos.insert(7);  // the bitmap the fills below name
  std::FILE* f = std::tmpfile();
  if (!f) return {};
  EXPECT_TRUE(BuildShapePage(ctx, tag, body, f, itemNo).ok);
  std::vector<uint8_t> page = test::WorkFiles::Contents(f);
  std::fclose(f);
  return page;
}

// Hex with the parts in [brackets] present at level 2 only.
std::vector<uint8_t> AtLevel(const std::string& hex, uint8_t level) {
  std::string kept;
  bool inLevelTwo = false;
  for (char c : hex) {
    if (c == '[' || c == ']') inLevelTwo = c == '[';
    else if (!inLevelTwo || level >= 2) kept += c;
  }
  return test::FromHex(kept);
}

// A shape body: bounds (twice, with a flags byte, for DefineShape4), the
// style arrays, then unless `draw` is null the style bits and the records
// `draw` writes.
std::vector<uint8_t> Body(bool shape4, unsigned fillBits, unsigned lineBits,
                          const std::vector<uint8_t>& styles, void (*draw)(ShapeRecords&)) {
  SwfBytes b;
  b.rect(0, 100, 0, 100);
  if (shape4) b.rect(0, 100, 0, 100).u8(0);
  b.bytes(styles);
  if (!draw) return b.data();
  b.u8(uint8_t(fillBits << 4 | lineBits));
  ShapeRecords r{b, fillBits, lineBits};
  draw(r);
  r.End();
  return b.data();
}

void FiveFive(ShapeRecords& r) {
  r.Change(std::pair(1, 1), 1u, std::nullopt, std::nullopt).Straight(5, 5);
}

// DefineShape2: a bitmap-filled triangle, then new style arrays (with or
// without a move): a gradient fill and a green line.
const std::vector<uint8_t> kBitmapStyles =
    SwfBytes().u8(0xFF).u16(1).u8(0x41).u16(7).matrix(10, -10, true, 20 << 16, 20 << 16).u8(0);
template <bool moveWithNewStyles>
void TwoSets(ShapeRecords& r) {
  r.Change(std::pair(10, 10), 1u, std::nullopt, std::nullopt);
  r.Straight(100, 0).Straight(0, 100).Straight(-100, -100);
  r.Change(moveWithNewStyles ? std::optional(std::pair(5, 5)) : std::nullopt, std::nullopt, 1u,
           std::nullopt, true);
  r.b.align().u8(1).u8(0x10).matrix(0, 0).u8(0x02);
  r.b.u8(0).u8(0xFF).u8(0).u8(0).u8(0xFF).u8(0).u8(0).u8(0xFF);
  r.b.u8(1).u16(40).u8(0).u8(0xFF).u8(0).u8(0x11);
  r.lineBits = 1;
  r.Straight(50, 0);
}

// One shape object as written: its edge-record count, then style tables
// and edge records, with the parts in [brackets] at level 2 only.
struct ExpectedObject {
  uint32_t count;
  std::string hex;
};

struct PageCase {
  const char* name;
  uint32_t tag;
  std::vector<uint8_t> body;
  std::vector<ExpectedObject> objects;
  bool cached;  // opaque and on one layer: copied to the shape cache
};

std::vector<PageCase> PageCases() {
  const std::vector<uint8_t> solid = test::FromHex("01 00 010203 00");
  // A red square outlined in blue, with a curve, a vertical and a
  // zero-length edge and a line-style change on the way.
  const std::vector<uint8_t> square =
      Body(false, 1, 1, test::FromHex("01 00 FF0000  01 1400 0000FF"), [](ShapeRecords& r) {
        r.Change(std::pair(200, 200), std::nullopt, 1u, 1u).Straight(200, 0).Straight(0, 200);
        r.Change(std::nullopt, std::nullopt, std::nullopt, 0u);
        r.Straight(0, 0).Curve(-100, 50, -100, -50).Straight(0, -200);
      });
  const std::string squareHex =
      "0100 FF0000FF 0000  0100 0000FFFF 1400 00000000 [000001010003 0000FFFF 0000]"
      "F3 01 00 01 9001 9001 9001 0000  30 0000 9001  F4 00 00 01 009C 0032 70FE 0000"
      "30 0000 70FE";
  const char twoSetsFirst[] =
      "0100 FF0000FF 4100  00001400 00000000 00000000 00001400 0A000000 F6FFFFFF  0700 0000"
      "D1 00 01 00 000A 000A 0064 0000  10 0000 0064  10 009C 009C";
  const std::string twoSetsSecond =
      "0100 000000FF 1000  00000100 00000000 00000000 00000100 00000000 00000000"
      "02 [0000000000000000] 00 FF0000FF FF 0000FFFF"
      "0100 00FF00FF 2800 00000000 [000001010003 00FF00FF 0000]";
  const char fiveFiveEdge[] = "D1 00 01 00 0001 0001 0005 0005";
  std::string fills255 = "FF00";
  std::vector<uint8_t> styles255 = {255};
  for (int i = 0; i < 255; ++i) fills255 += "010203FF 0000", Append(styles255, {0, 1, 2, 3});
  styles255.push_back(0);
  return {
      {"DefineShape", 2, square, {{4, squareHex}}, true},
      {"BuiltInShape", kDummyShapeTag, square, {{4, squareHex}}, false},
      // The record's own fill index holds in the new object; the edge moves
      // from the new object's origin to where the pen stands.
      {"NewStylesWithoutMove", 22, Body(false, 1, 0, kBitmapStyles, TwoSets<false>),
       {{3, twoSetsFirst}, {1, twoSetsSecond + "D1 00 00 01 000A 000A 0032 0000"}}, false},
      {"NewStylesWithMove", 22, Body(false, 1, 0, kBitmapStyles, TwoSets<true>),
       {{3, twoSetsFirst}, {1, twoSetsSecond + "D1 00 00 01 0005 0005 0032 0000"}}, false},
      // A focal gradient with a half-transparent stop, and edges far enough
      // out for the 32-bit form; with a large move the small anchor keeps
      // the 16-bit form.
      {"DefineShape3", 32,
       Body(false, 1, 0,
            SwfBytes().u8(1).u8(0x13).matrix(0, 0).bytes(
                test::FromHex("02 00 010203FE FF 040506FF 80FF 00")),
            [](ShapeRecords& r) {
              r.Change(std::pair(20000, 0), std::nullopt, 1u, std::nullopt);
              r.Straight(1, 0).Straight(16384, 0).Straight(-16385, 0);
            }),
       {{3, "0100 000000FF 1200  00000100 00000000 00000000 00000100 00000000 00000000"
            "02 [80FFFFFF 00000000] 00 010203FE FF 040506FF  0000"
            "F2 00 00 01 0020 4E00 0000 0000 0200 0000  20 0000 4000 00000000"
            "20 00FF BFFF 00000000"}},
       false},
      // A filled line with every LINESTYLE2 flag, then a plain line that has
      // to be read from behind the fill at every level.
      {"DefineShape4", 83,
       Body(true, 1, 2,
            SwfBytes().u8(1).u8(0).u8(10).u8(20).u8(30).u8(255).u8(2)
                .u16(20).u8(0x80 | 0x20 | 0x08 | 0x04 | 0x01).u8(0x04 | 0x02).u16(0x0380)
                .u8(0).u8(0).u8(0xFF).u8(0).u8(0xFF).u16(40).u8(0).u8(0).u8(1).u8(2).u8(3).u8(255),
            [](ShapeRecords& r) {
              r.Change(std::pair(1, 1), 1u, std::nullopt, 2u).Straight(10, 10);
            }),
       {{1, "0100 0A141EFF 0000  0200 FF0000FF 1400 00000000 [0102 0200 0013 00FF00FF 0000]"
            "010203FF 2800 00000000 [000001010003 010203FF 0000]"
            "D1 02 01 00 0001 0001 000A 000A"}},
       true},
      // Moves before an edge merge, a zero edge leaves the change pending,
      // an index past the table means no style.
      {"PendingMoves", 2,
       Body(false, 2, 0, solid,
            [](ShapeRecords& r) {
              r.Change(std::pair(100, 100), 3u, std::nullopt, std::nullopt);
              r.Change(std::pair(10, 10), std::nullopt, 1u, std::nullopt);
              r.Straight(0, 0).Straight(10, 0);
            }),
       {{1, "0100 010203FF 0000 0000  D1 00 00 01 000A 000A 000A 0000"}}, true},
      // The last edge closes onto the point after the one it returns to: its
      // anchor (-127, -127) twips becomes (-129, -127), too large for the
      // record's old form. A trailing move back to the start closes nothing.
      {"ClosingFixUp", 2,
       Body(false, 1, 0, solid,
            [](ShapeRecords& r) {
              r.Change(std::pair(200, 200), std::nullopt, 1u, std::nullopt);
              r.Straight(-2, 0).Straight(129, 0).Straight(0, 127);
              r.Change(std::nullopt, 1u, std::nullopt, std::nullopt).Straight(-127, -127);
            }),
       {{4, "0100 010203FF 0000 0000  D3 00 00 01 9001 9001 00FE 0000  30 0201 0000"
            "10 0000 007F  F0 00 01 01 FEFE 02FF"}},
       true},
      {"NoFixUpAfterTrailingMove", 2,
       Body(false, 1, 0, solid,
            [](ShapeRecords& r) {
              r.Change(std::pair(200, 200), 1u, 1u, std::nullopt);
              r.Straight(-2, 0).Straight(129, 0).Straight(0, 127);
              r.Change(std::pair(200, 200), std::nullopt, std::nullopt, std::nullopt);
            }),
       {{3, "0100 010203FF 0000 0000  D3 00 01 01 9001 9001 00FE 0000  30 0201 0000"
            "10 0000 007F"}},
       true},
      // Far coordinates are clamped so every delta fits its form; edges
      // pushing past the border have no length left and are not written.
      {"FarCoordinates", 2,
       Body(false, 1, 0, solid,
            [](ShapeRecords& r) {
              r.Change(std::pair(1 << 29, -(1 << 29)), std::nullopt, 1u, std::nullopt);
              r.Straight(65535, 0).Straight(-65535, 65535);
              r.Change(std::pair(-(1 << 29), 1 << 29), std::nullopt, std::nullopt, std::nullopt);
              r.Straight(-65535, 0).Straight(65535, 0);
            }),
       {{2, "0100 010203FF 0000 0000  E2 00 00 01 80FFFF3F 800000C0 000100FF 00FFFF00"
            "E2 00 00 01 00000081 0000007F 00FFFF00 00000000"}},
       true},
      // A fill count of 255 is real in DefineShape and an escape after it;
      // an unknown fill type or line styles cut short end the shape with the
      // styles read so far and no edges.
      {"Count255", 2,
       Body(false, 1, 0, styles255, FiveFive),
       {{1, fills255 + "0000" + fiveFiveEdge}}, true},
      {"CountEscape", 22,
       Body(false, 1, 0, test::FromHex("FF 0200 00 040506 00 010203 00"),
            FiveFive),
       {{1, std::string("0200 040506FF 0000 010203FF 0000 0000") + fiveFiveEdge}}, true},
      {"UnknownFill", 22,
       Body(false, 1, 0, test::FromHex("02 00 010203 20 000000"),
            FiveFive),
       {{0, "0100 010203FF 0000 0000"}}, true},
      {"CutLines", 2,
       Body(false, 1, 0, test::FromHex("01 00 010203 03 1400 010203 1400"),
            nullptr),
       {{0, "0100 010203FF 0000 0100 010203FF 1400 00000000 [000001010003 010203FF 0000]"}}, true},
  };
}

class ShapeAtLevel : public ::testing::TestWithParam<int> {};

TEST_P(ShapeAtLevel, HandMadeBodiesGiveTheirExactPages) {
  const uint8_t level = uint8_t(GetParam());
  for (const PageCase& c : PageCases()) {
    SCOPED_TRACE(c.name);
    ConverterContext ctx;
    const std::vector<uint8_t> page = Build(ctx, level, c.tag, c.body);
    std::vector<uint8_t> e;
    size_t tables = 0, end = 0;
    for (size_t i = 0; i < c.objects.size(); ++i) {
      test::ByteSink s;
      if (i > 0) {
        WriteLayerRecord(s.file(), uint16_t(i), level);
        BeginLayerAndFrame(s.file(), level);
      }
      WriteShapeRecordHeadShort(s.file(), i == 0, level);
      Append(e, s.bytes());
      test::AppendU32(e, c.objects[i].count);
      tables = e.size();
      Append(e, AtLevel(c.objects[i].hex, level));
      end = e.size();
    }
    Append(e, test::ExpectedPageTail(7, uint16_t(c.objects.size() + 1), level));
    EXPECT_BYTES(page, e);
    EXPECT_TRUE(test::CheckShapePage(page, level, 7));
    EXPECT_EQ(ctx.m_nShapeHeadPos, tables);
    // The cache holds the object from its count field to the last edge.
    ASSERT_EQ(ctx.m_pShapeCache.size(), c.cached ? 1u : 0u);
    if (c.cached) {
      EXPECT_BYTES(ctx.m_pShapeCache[0].copy,
                   std::vector<uint8_t>(e.begin() + long(FirstCountFieldPos(level)),
                                        e.begin() + long(end)));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, ShapeAtLevel, ::testing::Values(0, 2));

// Triangles each with two fills of their own out of `fills` solid colours
// and one line chosen once: an object's style bytes hold 255, so wider
// arrays split the shape into objects whose tables hold what they use. Read
// back from the page, every edge keeps its place and its colours.
TEST(WideStyleArrays, EveryEdgeKeepsItsFillsAcrossObjects) {
  struct EdgeSeen {
    uint32_t fill0 = 0, fill1 = 0;  // RGB, 0 for none
    bool line = false;
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // twips
    bool operator==(const EdgeSeen&) const = default;
  };
  const auto rgb = [](uint32_t i) { return i == 0 ? 0 : (i & 0xFF) | (i >> 8) << 8 | 0x55u << 16; };
  for (const uint32_t fills : {255u, 600u}) {
    for (const uint8_t level : {uint8_t(0), uint8_t(2)}) {
      SCOPED_TRACE(testing::Message() << fills << " fills, level " << int(level));
      SwfBytes b;
      b.rect(0, 1000, 0, 1000).u8(0xFF).u16(fills);
      for (uint32_t i = 1; i <= fills; ++i) b.u8(0).u8(i & 0xFF).u8(i >> 8).u8(0x55);
      b.u8(1).u16(20).u8(1).u8(2).u8(3);
      b.u8(10 << 4 | 1);
      ShapeRecords r{b, 10, 1};
      std::vector<EdgeSeen> expected;
      const int32_t sides[3][2] = {{10, 0}, {-10, 10}, {0, -10}};
      for (uint32_t t = 0; t < fills; ++t) {
        const int32_t x = int32_t(t % 30) * 20, y = int32_t(t / 30) * 20;
        const uint32_t fill0 = fills - t, fill1 = t + 1;
        r.Change(std::pair(x, y), fill0, fill1, t == 0 ? std::optional(1u) : std::nullopt);
        int64_t px = x, py = y;
        for (const auto& d : sides) {
          r.Straight(d[0], d[1]);
          expected.push_back({rgb(fill0), rgb(fill1), true, px, py, px + d[0], py + d[1]});
          px += d[0], py += d[1];
        }
      }
      r.End();
      ConverterContext ctx;
      const std::vector<uint8_t> page = Build(ctx, level, 22, b.data());
      std::vector<test::ShapeObjectView> objects;
      ASSERT_TRUE(test::CheckShapePage(page, level, 7, nullptr, &objects));
      std::vector<EdgeSeen> seen;
      for (const test::ShapeObjectView& o : objects) {
        EXPECT_LE(o.fills.size(), 255u);
        const auto colour = [&](uint8_t index) -> uint32_t {
          if (index == 0 || index > o.fills.size()) return 0;
          return o.fills[index - 1][0] | o.fills[index - 1][1] << 8 | o.fills[index - 1][2] << 16;
        };
        int64_t px = 0, py = 0;  // 1/256 twip; every object starts at the origin
        EdgeSeen state;
        for (const DecodedEdge& e : o.edges) {
          if (e.hasStyles) state = {colour(e.fill0), colour(e.fill1), e.line != 0};
          if (e.hasMove) px += e.moveX, py += e.moveY;
          const int64_t x1 = px + e.controlX + e.anchorX, y1 = py + e.controlY + e.anchorY;
          seen.push_back({state.fill0, state.fill1, state.line, px / 256, py / 256, x1 / 256, y1 / 256});
          px = x1, py = y1;
        }
      }
      EXPECT_TRUE(seen == expected);
      if (fills <= 255) {
        // Within 255 styles the one object's tables are the arrays as read.
        ASSERT_EQ(objects.size(), 1u);
        ASSERT_EQ(objects[0].fills.size(), fills);
        for (uint32_t i = 0; i < fills; ++i) EXPECT_EQ(objects[0].fills[i][0], (i + 1) & 0xFF);
        EXPECT_EQ(objects[0].edges[0].fill1, 1);
        EXPECT_EQ(objects[0].edges[0].fill0, fills);
      } else {
        EXPECT_GE(objects.size(), 3u);
      }
    }
  }
}

// Mutated bodies of every kind above, at every level: the page must always
// be whole, with count fields that match its edge records.
TEST(ShapeDecoderFuzz, MutatedBodiesAlwaysGiveWellFormedPages) {
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> seeds;
  for (const PageCase& c : PageCases()) seeds.push_back({c.tag, c.body});
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
    const uint8_t level = uint8_t(rng() % 3);
    const std::vector<uint8_t> page = Build(ctx, level, tag, body, uint16_t(rng()));
    ASSERT_TRUE(test::CheckShapePage(page, level, std::nullopt))
        << "iteration " << iteration << " tag " << tag;
  }
}

}  // namespace
}  // namespace tovrani
