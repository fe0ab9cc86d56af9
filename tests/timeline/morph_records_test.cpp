// The bytes of a morph shape's records: half blocks, the morph object with
// its segments and curves, and the paired tables.
#include "timeline/morph_records.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/byte_sink.h"
#include "support/page_walker.h"
#include "timeline/timeline_page.h"

namespace tovrani {
namespace {

using test::Bytes;
using test::ByteSink;
using test::Concat;

MorphCurveData Curve(int32_t base, bool curved) { return {base, base + 1, base + 2, base + 3, 0, uint8_t(curved)}; }

MorphSegmentData Segment(int32_t x, std::vector<MorphCurveData> curves) {
  MorphSegmentData s;
  s.x = x;
  s.y = x + 1;
  s.curves = std::move(curves);
  s.curveCount = uint16_t(s.curves.size());
  return s;
}

std::vector<uint8_t> U32s(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> v;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(w >> (8 * i)));
  return v;
}

std::vector<uint8_t> Written(const std::function<void(std::FILE*)>& write) {
  ByteSink sink;
  write(sink);
  return sink.bytes();
}

MorphShapeEntry Styled() {
  MorphShapeEntry m;
  MorphFillStyle solid;
  solid.startColor = 0x11223344;
  solid.endColor = 0x55667788;
  MorphFillStyle gradient;
  gradient.type = 0x10;
  gradient.gradientCount = 1;
  gradient.gradient = {{0, 255, 0xAA, 0xBB}};
  gradient.startExtra = {0, 0, 0, 0, 5, 0, 0, 0};
  gradient.endExtra = gradient.startExtra;
  gradient.gradientHeader = 0x51;
  MorphFillStyle bitmap;
  bitmap.type = 0x41;
  bitmap.bitmapId = 9;
  m.pFillStyles = {solid, gradient, bitmap};
  m.wFillStyles = 3;
  MorphLineStyle miter;
  miter.startWidth = 20;
  miter.endWidth = 40;
  miter.startColor = 0xFF000001;
  miter.endColor = 0xFF000002;
  miter.flags0 = 0x20;
  miter.miterLimit = 0x0300;
  MorphLineStyle filled = miter;
  filled.flags0 = 0x08;
  filled.hasFill = true;
  filled.startColor = filled.endColor = kOpaqueRed;
  filled.fill = solid;
  m.pLineStyles = {miter, filled};
  m.wLineStyles = 2;
  return m;
}

TEST(MorphRecords, HalfBlocksAtBothLevels) {
  MorphShapeEntry m = Styled();
  m.pEndEdges = ShapeBlock(Bytes({0x10, 1, 0, 2, 0}), 1);
  m.wEndEdgeCount = 1;
  for (uint8_t level : {0, 2}) {
    SCOPED_TRACE(int(level));
    const bool l2 = level == 2;
    const auto got = Written([&](std::FILE* f) { WriteMorphHalfBlock(f, m, true, level); });
    const std::vector<uint8_t> gradient = Concat(
        {U32s({0xFF000000}), Bytes({0x10, 0}), U32s({0x10000, 0, 0, 0x10000, 0, 0}), Bytes({1}),
         l2 ? Bytes({0, 0, 0, 0, 5, 0, 0, 0}) : Bytes({}), Bytes({255}), U32s({0xBB})});
    const std::vector<uint8_t> lineHead = Concat({U32s({0xFF000002}), Bytes({40, 0, 0, 0, 0, 0})});
    const std::vector<uint8_t> want = Concat(
        {Bytes({1, 0, 0, 0, 3, 0}), U32s({0x55667788}), Bytes({0, 0}), gradient,
         U32s({0xFF0000FF}), Bytes({0x41, 0}), U32s({0x10000, 0, 0, 0x10000, 0, 0}), Bytes({9, 0}),
         Bytes({2, 0}), lineHead,
         l2 ? Concat({Bytes({0, 0, 1, 0, 0, 3}), U32s({0xFF000002}), Bytes({0, 0})}) : Bytes({}),
         U32s({0xFF0000FF}), Bytes({40, 0, 0, 0, 0, 0}),
         l2 ? Concat({Bytes({0, 0, 1, 1, 0, 3}), U32s({0xFF0000FF}), U32s({0x55667788}), Bytes({0, 0})})
            : Bytes({}),
         Bytes({0x10, 1, 0, 2, 0})});
    EXPECT_EQ(got, want);
  }
}

TEST(MorphRecords, TheObjectPairsRunsCurveByCurveAndLeavesEmptyPairsOut) {
  MorphShapeEntry m = Styled();
  // Three start runs: 3 curves, none, 1 curve; their partners 5, 2 and 1
  // curve (a straight pair), then an end run without partner.
  m.wSegments = 3;
  m.pSegments = {Segment(10, {Curve(100, true), Curve(200, false), Curve(300, false)}), Segment(20, {}),
                 Segment(30, {Curve(400, false)}),
                 Segment(40, {Curve(500, false), Curve(600, true), Curve(700, false), Curve(800, false), Curve(900, false)}),
                 Segment(50, {Curve(1, false), Curve(2, false)}), Segment(60, {Curve(1000, false)}), Segment(70, {})};
  for (bool hint : {false, true}) {
    SCOPED_TRACE(hint);
    m.wHints = hint;
    m.pHints.assign(hint, std::array<uint8_t, 20>{7});
    PageClassState state;
    const auto got = Written([&](std::FILE* f) { WriteMorphShapeObject(f, m, state, 2, true); });
    auto curve = [](int32_t s, int32_t e, uint32_t flags) {
      return Concat({U32s({uint32_t(s), uint32_t(s + 2), uint32_t(s + 1), uint32_t(s + 3)}),
                     U32s({uint32_t(e), uint32_t(e + 2), uint32_t(e + 1), uint32_t(e + 3)}), U32s({flags})});
    };
    std::vector<uint8_t> head = Bytes({0xFF, 0xFF, 1, 0, 14, 0});
    for (char c : std::string("CPicMorphShape")) head.push_back(uint8_t(c));
    std::vector<uint8_t> segClass = Bytes({0xFF, 0xFF, 1, 0, 13, 0}), curveClass = Bytes({0xFF, 0xFF, 1, 0, 11, 0});
    for (char c : std::string("CMorphSegment")) segClass.push_back(uint8_t(c));
    for (char c : std::string("CMorphCurve")) curveClass.push_back(uint8_t(c));
    std::vector<uint8_t> hintList = Bytes({0, 0});
    if (hint) {
      hintList = Bytes({0xFF, 0xFF, 0, 0, 7, 0, 'C', 'O', 'b', 'L', 'i', 's', 't', 1, 0, 0xFF, 0xFF, 1, 0, 14, 0});
      for (char c : std::string("CMorphHintItem")) hintList.push_back(uint8_t(c));
      std::vector<uint8_t> h(20, 0);
      h[0] = 7;
      hintList = Concat({hintList, h});  // one hint: no class index after it
    }
    const std::vector<uint8_t> want = Concat(
        {head, Bytes({2, 0, 0}), U32s({1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}), Bytes({0, 0, 0, 0, 0, 0}),
         Bytes({2, 0}),
         segClass, std::vector<uint8_t>(16, 0), U32s({10, 11, 40, 41}), Bytes({3, 0}), curveClass,
         curve(100, 500, 0), Bytes({0x0B, 0x80}), curve(200, 600, 0), Bytes({0x0B, 0x80}), curve(300, 700, 1),
         Bytes({0x09, 0x80}), std::vector<uint8_t>(16, 0), U32s({30, 31, 60, 61}), Bytes({1, 0}),
         Bytes({0x0B, 0x80}), curve(400, 1000, 1),
         Bytes({0, 0}), Bytes({6, 0})});
    ASSERT_GE(got.size(), want.size());
    EXPECT_EQ(test::Slice(got, 0, want.size()), want);
    // The paired tables: no level-2 block in the gradients; lines short.
    const size_t fills = 6 + 6 + 2 * (4 + 2 + 24 + 1 + 5) + 2 * (4 + 2 + 24 + 2);
    const size_t lines = 2 + 2 * 2 * 10;
    EXPECT_EQ(test::Slice(got, want.size() + fills, want.size() + fills + lines),
              Concat({Bytes({4, 0}), U32s({0xFF000001}), Bytes({20, 0, 0, 0, 0, 0}), U32s({0xFF000002}),
                      Bytes({40, 0, 0, 0, 0, 0}), U32s({0xFF0000FF}), Bytes({20, 0, 0, 0, 0, 0}),
                      U32s({0xFF0000FF}), Bytes({40, 0, 0, 0, 0, 0})}));
    EXPECT_EQ(test::Slice(got, want.size() + fills + lines, got.size()), Concat({Bytes({0, 0, 0, 0}), hintList}));
    EXPECT_EQ(state.morphSegments, 2u);
    EXPECT_EQ(state.morphCurves, 4u);
  }
  // Fewer end rows than start runs: only the pairs that exist.
  m.pSegments.resize(4);
  m.wHints = 0;
  PageClassState state;
  Written([&](std::FILE* f) { WriteMorphShapeObject(f, m, state, 0, false); });
  EXPECT_EQ(state.morphSegments, 1u);
  EXPECT_EQ(state.morphCurves, 3u);
}

}  // namespace
}  // namespace tovrani
