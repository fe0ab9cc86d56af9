// The two merges of decoded runs: a run that repeats an earlier one of the
// object, and a run that walks its neighbour backwards with the fills of
// the other side. Checked on record counts and on what the object draws.
#include <gtest/gtest.h>

#include <functional>

#include "convert/converter_context.h"
#include "shape/builder/fill_overlap.h"
#include "shape/geometry/edge_list.h"
#include "shape/shape_test_support.h"
#include "support/shape_coverage.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;

constexpr int64_t D = 256;  // one device unit in shape units
const Style kLine{1, 0, 0}, kLine2{2, 0, 0};

struct Result {
  ShapeBlock block;
  bool drawsTheSame = false;
};

Result Analyse(const ShapeBlock& in, bool morph = false) {
  ConverterContext ctx;
  Result out{in};
  if (morph) {
    AnalyzeMorphShapeHalf(ctx, out.block, 1);
  } else {
    size_t countField = 0;
    AnalyzeFillOverlaps(ctx, out.block, 1, {}, nullptr, countField, nullptr);
  }
  EXPECT_TRUE(test::DecodesConsistently(out.block, 0));
  out.drawsTheSame = test::CoverageDifference(test::CoverageOf(in.counted()),
                                              test::CoverageOf(out.block.counted()))
                         .empty();
  return out;
}

void Square(EdgeWriter& w, int64_t x, int64_t y, int64_t s, Style style) {
  w.Polygon({{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}}, style);
}

TEST(MergeRepeatedEdgeRuns, ARepeatFarFromItsTwinGoesAndWhatFollowsKeepsItsPlaceAndStyle) {
  // Square, triangle in another line style, the square again, then a run
  // that draws in the style in force after the second square.
  EdgeWriter w;
  Square(w, 0, 0, 40 * D, kLine);
  w.Run(100 * D, 0, kLine2).Line(140 * D, 0).Line(120 * D, 30 * D).Line(100 * D, 0);
  Square(w, 0, 0, 40 * D, kLine);
  w.Run(200 * D, 200 * D).Line(230 * D, 200 * D);
  const Result a = Analyse(w.Block());
  EXPECT_EQ(a.block.recordCount, w.records() - 4);
  EXPECT_TRUE(a.drawsTheSame);

  // A morph half keeps its runs: they pair with the other half's.
  EXPECT_EQ(Analyse(w.Block(), true).block.recordCount, w.records());

  // Two repeats in turn: the second is found after the pass that removed
  // the first started again.
  EdgeWriter twice;
  for (int k = 0; k < 2; ++k) {
    Square(twice, 0, 0, 40 * D, kLine);
    Square(twice, 100 * D, 0, 40 * D, kLine2);
  }
  const Result b = Analyse(twice.Block());
  EXPECT_EQ(b.block.recordCount, 8u);
  EXPECT_TRUE(b.drawsTheSame);
}

TEST(MergeRepeatedEdgeRuns, RunsThatDifferOrCarryAFillStay) {
  const std::function<void(EdgeWriter&)> repeats[] = {
      // One point moved.
      [](EdgeWriter& w) {
        w.Polygon({{0, 0}, {40 * D, 0}, {40 * D, 41 * D}, {0, 40 * D}}, kLine);
      },
      // One control point moved.
      [](EdgeWriter& w) { w.Run(0, 0, kLine).Curve(20 * D, -19 * D, 40 * D, 0).Line(0, 0); },
      // Another line style.
      [](EdgeWriter& w) { Square(w, 0, 0, 40 * D, kLine2); },
      // A fill: two copies of a filled edge cancel (fills are even-odd), so
      // removing one would draw what was not drawn.
      [](EdgeWriter& w) { Square(w, 0, 0, 40 * D, {1, 0, 1}); },
  };
  for (size_t i = 0; i < std::size(repeats); ++i) {
    SCOPED_TRACE(i);
    EdgeWriter w;
    if (i == 1)
      w.Run(0, 0, kLine).Curve(20 * D, -20 * D, 40 * D, 0).Line(0, 0);
    else
      Square(w, 0, 0, 40 * D, i == 3 ? Style{1, 0, 1} : kLine);
    w.Run(100 * D, 0, kLine2).Line(140 * D, 0).Line(120 * D, 30 * D);
    repeats[i](w);
    const Result a = Analyse(w.Block());
    EXPECT_EQ(a.block.recordCount, w.records());
    EXPECT_TRUE(a.drawsTheSame);
  }
}

TEST(MergeIdenticalEdgeRuns, OnlyACopyWithoutAFillGoes) {
  // Two copies of one lens in a row: curved, so that no search for repeated
  // straight stretches meets them first.
  const struct {
    Style style;
    bool morph;
    uint32_t removed;
  } cases[] = {
      {kLine, false, 2}, {kLine, true, 2},
      // Fills are even-odd: the two copies draw nothing of fill 1, one copy
      // would draw the lens.
      {{1, 0, 1}, false, 0}, {{1, 0, 1}, true, 0}, {{0, 1, 0}, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.style[1]) << int(c.style[2]) << c.morph);
    EdgeWriter w;
    for (int copy = 0; copy < 2; ++copy)
      w.Run(0, 0, c.style).Curve(20 * D, -20 * D, 40 * D, 0).Curve(20 * D, 20 * D, 0, 0);
    w.Run(100 * D, 100 * D, kLine2).Line(120 * D, 100 * D);
    const Result a = Analyse(w.Block(), c.morph);
    EXPECT_EQ(a.block.recordCount, w.records() - c.removed);
    EXPECT_TRUE(a.drawsTheSame);
  }
}

std::vector<StyleBytes> StylesInForce(const ShapeBlock& block) {
  std::vector<StyleBytes> styles;
  StyleBytes inForce{};
  EdgeListItem item;
  for (size_t pos = 0, size; (size = ReadStoredRecord(block.counted(), pos, item)); pos += size)
    styles.push_back(inForce = item.carriesStyles() ? item.style : inForce);
  return styles;
}

// P draws A-B-C with one fill on its left; R draws C-B-A with another fill
// on its left, that is P's right.
EdgeWriter SharedBorder(const std::function<void(EdgeWriter&)>& r, Style pStyle = {1, 1, 0}) {
  EdgeWriter w;
  w.Run(0, 0, pStyle).Line(40 * D, 0).Curve(60 * D, 20 * D, 40 * D, 40 * D);
  r(w);
  w.Run(100 * D, 100 * D, kLine2).Line(120 * D, 100 * D);
  return w;
}

TEST(MergeMatchingEdgeRuns, TwoHalvesOfABorderBecomeOneRunWithBothFills) {
  const EdgeWriter w = SharedBorder(
      [](EdgeWriter& w) { w.Run(40 * D, 40 * D, Style{1, 2, 0}).Curve(60 * D, 20 * D, 40 * D, 0).Line(0, 0); });
  const Result a = Analyse(w.Block());
  EXPECT_EQ(a.block.recordCount, w.records() - 2);
  EXPECT_TRUE(a.drawsTheSame);
  // Both border records draw fill 1 on one side and fill 2 on the other.
  const std::vector<StyleBytes> styles = StylesInForce(a.block);
  ASSERT_EQ(styles.size(), 3u);
  EXPECT_EQ(styles[0], (StyleBytes{1, 1, 2}));
  EXPECT_EQ(styles[1], (StyleBytes{1, 1, 2}));
  // A morph half's runs pair with the other half's: no record takes both.
  for (const StyleBytes& s : StylesInForce(Analyse(w.Block(), true).block))
    EXPECT_NE(s, (StyleBytes{1, 1, 2}));
}

TEST(MergeMatchingEdgeRuns, BordersThatDifferOrMeetAFillStayApart) {
  const std::function<void(EdgeWriter&)> others[] = {
      // One point moved.
      [](EdgeWriter& w) { w.Run(40 * D, 40 * D, Style{1, 2, 0}).Curve(60 * D, 20 * D, 40 * D, 0).Line(0, D); },
      // One control point moved.
      [](EdgeWriter& w) { w.Run(40 * D, 40 * D, Style{1, 2, 0}).Curve(61 * D, 20 * D, 40 * D, 0).Line(0, 0); },
      // Another line style.
      [](EdgeWriter& w) { w.Run(40 * D, 40 * D, Style{2, 2, 0}).Curve(60 * D, 20 * D, 40 * D, 0).Line(0, 0); },
      // R's fill lands on P's filled side.
      [](EdgeWriter& w) { w.Run(40 * D, 40 * D, Style{1, 0, 2}).Curve(60 * D, 20 * D, 40 * D, 0).Line(0, 0); },
      // P's own fill on the other side: an inner edge of that fill, which
      // the region tests read otherwise than two outlines.
      [](EdgeWriter& w) { w.Run(40 * D, 40 * D, Style{1, 1, 0}).Curve(60 * D, 20 * D, 40 * D, 0).Line(0, 0); },
      // A straight edge against P's curve.
      [](EdgeWriter& w) { w.Run(40 * D, 40 * D, Style{1, 2, 0}).Line(40 * D, 0).Line(0, 0); },
  };
  for (size_t i = 0; i < std::size(others); ++i) {
    SCOPED_TRACE(i);
    const EdgeWriter w = SharedBorder(others[i]);
    const Result a = Analyse(w.Block());
    EXPECT_EQ(a.block.recordCount, w.records());
    EXPECT_TRUE(a.drawsTheSame);
  }
}

}  // namespace
}  // namespace tovrani
