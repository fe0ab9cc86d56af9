// The gate every shape object passes on its way into a page: zero-length
// edges, the three roads, and the rewrites of neighbouring runs, checked on
// bytes and on what the object draws.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <tuple>
#include <utility>

#include "convert/converter_context.h"
#include "shape/builder/fill_overlap.h"
#include "shape/builder/overlap_analysis.h"
#include "shape/geometry/edge_run_passes.h"
#include "shape/geometry/quadratic_sample.h"
#include "shape/geometry/run_rewrite.h"
#include "shape/shape_test_support.h"
#include "support/byte_sink.h"
#include "support/recording_shell.h"
#include "support/shape_coverage.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;

constexpr int64_t D = 256;  // one device unit (a twip) in shape units
const Style kFill1{0, 0, 1}, kFill0{0, 1, 0}, kLine{1, 0, 0}, kLineFill1{1, 0, 1};

std::vector<std::pair<int64_t, int64_t>> Square(int64_t x, int64_t y, int64_t side,
                                                bool clockwise = true) {
  if (clockwise) return {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
  return {{x, y}, {x, y + side}, {x + side, y + side}, {x + side, y}};
}

struct Analysed {
  ShapeBlock block;
  std::vector<uint8_t> lossy;
};

Analysed Analyse(ShapeBlock block, uint32_t singleSided = 1, bool morph = false,
                 uint8_t level = 0) {
  ConverterContext ctx;
  ctx.m_nFlaFormat = level;
  Analysed out;
  ctx.m_pLossyRewriteLog = &out.lossy;
  if (morph) {
    AnalyzeMorphShapeHalf(ctx, block, singleSided);
    EXPECT_EQ(ctx.m_bMorphAnalysis, 0u);
    out.block = block;
  } else {
    size_t countField = 0;
    AnalyzeFillOverlaps(ctx, block, singleSided, {}, nullptr, countField, nullptr);
    out.block = block;
  }
  return out;
}

// `out` draws what `in` drew.
bool DrawsTheSame(const ShapeBlock& in, const ShapeBlock& out) {
  return test::CoverageDifference(test::CoverageOf(in.counted()), test::CoverageOf(out.counted()))
      .empty();
}

// The block `draw` writes, and what the analysis makes of it.
std::pair<ShapeBlock, Analysed> DrawnAndAnalysed(const std::function<void(EdgeWriter&)>& draw,
                                                 bool morph) {
  EdgeWriter w;
  draw(w);
  const ShapeBlock in = w.Block();
  return {in, Analyse(in, 1, morph)};
}

std::vector<uint8_t> Hex(const char* hex) { return test::FromHex(hex); }
std::vector<uint8_t> Counted(const ShapeBlock& b) {
  return std::vector<uint8_t>(b.bytes.begin(), b.bytes.begin() + b.length);
}

// ---- zero-length edges ----

TEST(RemoveZeroEdges, DropsZeroAnchorsAfterARunsFirstRecordOnly) {
  struct Case {
    const char* name;
    uint8_t level;
    std::vector<uint8_t> in;
    uint32_t count;
    std::vector<uint8_t> out;
    uint32_t outCount;
  };
  const std::vector<uint8_t> run = Hex("D1 010000 0A00 0A00 6400 0000");  // move and edge
  auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
  };
  const std::vector<uint8_t> zeroLine = Hex("10 0000 0000");
  const std::vector<uint8_t> zeroCurve = Hex("14 0500 0500 0000 0000");
  const std::vector<uint8_t> edge = Hex("10 6400 0000");
  std::vector<Case> cases = {
      {"StraightInThePath", 0, cat({run, zeroLine, edge}), 3, cat({run, edge}), 2},
      {"CurveWithControl", 0, cat({run, zeroCurve, edge}), 3, cat({run, edge}), 2},
      {"FirstOfARunWithMove", 0, cat({Hex("11 0A00 0A00 0000 0000"), edge}), 2,
       cat({Hex("11 0A00 0A00 0000 0000"), edge}), 2},
      {"FirstWithStyles", 0, cat({Hex("D0 010000 0000 0000"), zeroLine}), 2,
       Hex("D0 010000 0000 0000"), 1},
      {"CarriesStyles", 0, cat({run, Hex("D0 010000 0000 0000")}), 2,
       cat({run, Hex("D0 010000 0000 0000")}), 2},
      {"ZeroInForm3", 0, cat({run, Hex("30 0000 0000")}), 2, cat({run, Hex("30 0000 0000")}), 2},
      {"ZeroInForm2", 0, cat({run, Hex("20 00000000 00000000")}), 2,
       cat({run, Hex("20 00000000 00000000")}), 2},
  };
  for (uint8_t level : {uint8_t(0), uint8_t(2)}) {
    const std::vector<uint8_t> head = test::FurtherObjectHead(level);
    // After a further object's head the first record stays, later zero
    // edges go.
    cases.push_back({"AfterHead", level, cat({run, zeroLine, head, zeroLine, zeroLine, edge}), 5,
                     cat({run, head, zeroLine, edge}), 3});
    // A 0 byte that opens nothing ends what is looked at.
    cases.push_back({"UnknownZero", level, cat({run, zeroLine, Hex("00 00"), zeroLine, zeroLine}),
                     4, cat({run, Hex("00 00"), zeroLine, zeroLine}), 3});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + std::string(" level ") + std::to_string(c.level));
    ConverterContext ctx;
    ctx.m_nFlaFormat = c.level;
    ShapeBlock block(c.in, c.count);
    RemoveZeroEdges(ctx, block, 1);
    EXPECT_EQ(Counted(block), c.out);
    EXPECT_EQ(block.recordCount, c.outCount);
    EXPECT_EQ(block.bytes[block.length], 0);
  }
}

// ---- the three roads ----

// The arguments of each BuildShape call, in order.
using BuildCall = std::tuple<std::vector<uint8_t>, uint32_t, size_t, std::FILE*, size_t, const StyleIndex*>;
std::vector<BuildCall> g_builds;

void RecordingBuild(ShapeContext&, ShapeBlock& block, std::span<const uint8_t> blob,
                    std::FILE* work, size_t& countFieldPos, const StyleIndex* styles) {
  g_builds.emplace_back(Counted(block), block.recordCount, blob.size(), work, countFieldPos, styles);
}

TEST(AnalyzeFillOverlaps, TakesTheRoadOfTheModeAfterTheZeroEdges) {
  // A clockwise square with its fill in fill 0 and a zero edge inside:
  // the analysis turns its fill side, the others leave it.
  EdgeWriter w;
  w.Run(0, 0, kFill0).Line(40 * D, 0).Line(40 * D, 0).Line(40 * D, 40 * D).Line(0, 40 * D).Line(0, 0);
  const ShapeBlock input = w.Block();
  ShapeBlock removed = input;
  {
    ConverterContext ctx;
    RemoveZeroEdges(ctx, removed, 1);
    ASSERT_EQ(removed.recordCount, 4u);
  }
  std::vector<uint8_t> swapped = Counted(removed);
  std::swap(swapped[2], swapped[3]);

  struct Case {
    const char* name;
    bool heuristic, morph;
    uint32_t singleSided;
    int builds;
    bool turned;
  } cases[] = {
      {"HeuristicOff", false, false, 1, 1, false},
      {"HeuristicOffMorphHalf", false, true, 1, 1, false},
      {"TwoSided", true, false, 0, 0, false},
      {"SingleSided", true, false, 1, 0, true},
  };
  std::vector<uint8_t> blob(12, 7);
  StyleIndex styles;
  std::FILE* work = std::tmpfile();
  ASSERT_TRUE(work);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_builds.clear();
    ConverterContext ctx;
    ctx.options.heuristicProblemSearch = c.heuristic;
    ctx.m_pBuildShapeHook = &RecordingBuild;
    ctx.m_bMorphAnalysis = c.morph;
    ShapeBlock block = input;
    size_t countField = 1234;
    AnalyzeFillOverlaps(ctx, block, c.singleSided, blob, work, countField, &styles);
    EXPECT_EQ(g_builds, std::vector<BuildCall>(
                            c.builds, {Counted(removed), 4u, blob.size(), work, 1234u, &styles}));
    EXPECT_EQ(Counted(block), c.turned ? swapped : Counted(removed));
    EXPECT_EQ(block.recordCount, 4u);
  }
  std::fclose(work);
}

// ---- removing a repeated run ----

// R repeats the first two edges of P; the run after R starts just beside
// R's end, and P ends (x, 0) before that start: removing R measures the
// next run's move from P's end, which takes the form its size needs.
TEST(RepeatedRuns, RemovingARunKeepsTheNextRunsStart) {
  struct Case {
    int64_t moveX;
    const char* nextRecord;  // the next run's record after the removal
  } cases[] = {
      {10000, "11 1027 0000 0A00 0000"},          // form 1
      {39936, "13 3801 0000 0A00 0000"},          // form 3: 312 times 128
      {40000, "12 409C0000 00000000 0A00 0000"},  // form 3 would floor it: form 2
      {5000000, "12 404B4C00 00000000 0A00 0000"},  // form 2: the record starts 4 bytes earlier
  };
  const int64_t nextX = 45 * D;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.moveX);
    EdgeWriter w;
    w.Run(0, 0, kLine).Line(40 * D, 0).Line(40 * D, 40 * D).Line(nextX - c.moveX, 40 * D);
    const size_t pEnd = w.bytes().size();
    w.Run(0, 0).Line(40 * D, 0).Line(40 * D, 40 * D);
    w.Run(nextX, 40 * D).Line(nextX + 10, 40 * D);
    const Analysed a = Analyse(w.Block());
    std::vector<uint8_t> expected(w.bytes().begin(), w.bytes().begin() + long(pEnd));
    const std::vector<uint8_t> next = Hex(c.nextRecord);
    expected.insert(expected.end(), next.begin(), next.end());
    EXPECT_EQ(Counted(a.block), expected);
    EXPECT_EQ(a.block.recordCount, 4u);
  }
}

TEST(RepeatedRuns, AFilledStretchDrawnTwiceStays) {
  // R repeats two edges of P with P's fill: fills are even-odd, so the
  // copies of those edges cancel, and removing R would draw them. A
  // line-only repeat goes. (Both runs open: no region test follows.)
  for (const Style style : {kLineFill1, kLine}) {
    SCOPED_TRACE(int(style[2]));
    EdgeWriter w;
    w.Run(0, 0, style).Line(40 * D, 0).Line(40 * D, 40 * D).Line(0, 40 * D);
    w.Run(0, 0).Line(40 * D, 0).Line(40 * D, 40 * D);
    w.Run(60 * D, 60 * D, kLine).Line(70 * D, 60 * D);
    const ShapeBlock in = w.Block();
    const Analysed a = Analyse(in);
    EXPECT_EQ(a.block.recordCount, style == kLine ? 4u : 6u);
    EXPECT_TRUE(a.lossy.empty());
    EXPECT_TRUE(DrawsTheSame(in, a.block));
  }
}

// The block's records as one list of items with absolute points.
EdgeList DecodedRun(const ShapeBlock& block) {
  EdgeList run;
  int64_t x = 0, y = 0;
  EdgeListItem item;
  for (size_t pos = 0, size; (size = ReadStoredRecord(block.counted(), pos, item)); pos += size) {
    item.startX = int32_t(x += item.moveX());
    item.startY = int32_t(y += item.moveY());
    item.endX = int32_t(x += Scaled(item.anchorDx, AnchorForm(item.flags)));
    item.endY = int32_t(y += Scaled(item.anchorDy, AnchorForm(item.flags)));
    run.items.push_back(item);
  }
  return run;
}

// The absolute start of every run, in order.
std::vector<std::pair<int64_t, int64_t>> RunStarts(const ShapeBlock& block) {
  std::vector<std::pair<int64_t, int64_t>> starts;
  for (const EdgeListItem& it : DecodedRun(block).items)
    if (it.hasMove()) starts.push_back({it.startX, it.startY});
  return starts;
}

TEST(RepeatedRuns, EitherRunGoesAndTheOtherKeepsItsPlace) {
  // R repeats a stretch of P: R goes. P is a stretch of R: P goes, and R's
  // first move starts from the pen before P.
  EdgeWriter repeatsP;
  repeatsP.Run(D, D, kLine).Line(41 * D, D).Line(41 * D, 41 * D).Line(D, 41 * D);
  repeatsP.Run(41 * D, D).Line(41 * D, 41 * D).Line(D, 41 * D);
  repeatsP.Run(60 * D, 60 * D).Line(70 * D, 60 * D);
  const Analysed a = Analyse(repeatsP.Block());
  EXPECT_EQ(a.block.recordCount, 4u);
  EXPECT_EQ(RunStarts(a.block), (std::vector<std::pair<int64_t, int64_t>>{{D, D}, {60 * D, 60 * D}}));

  EdgeWriter pInR;
  pInR.Run(5 * D, 0, kLine).Line(20 * D, 0).Line(20 * D, 20 * D);
  pInR.Run(0, 0).Line(5 * D, 0).Line(20 * D, 0).Line(20 * D, 20 * D).Line(0, 20 * D);
  pInR.Run(60 * D, 60 * D).Line(70 * D, 60 * D);
  const Analysed b = Analyse(pInR.Block());
  EXPECT_EQ(b.block.recordCount, 5u);
  EXPECT_EQ(RunStarts(b.block), (std::vector<std::pair<int64_t, int64_t>>{{0, 0}, {60 * D, 60 * D}}));
  EXPECT_TRUE(test::DecodesConsistently(b.block, 0));
}

// ---- region tests of neighbouring runs ----

TEST(RunRegions, MergesNestsAndLinesAsTheirAreasSay) {
  struct Case {
    const char* name;
    bool morph;
    std::function<void(EdgeWriter&)> draw;
    uint32_t records;
    std::function<void(const ShapeBlock&)> check;
  };
  const std::vector<Case> cases = {
      {"StrokeOverFill", false,
       [](EdgeWriter& w) {
         w.Polygon(Square(0, 0, 40 * D), kFill1).Polygon(Square(0, 0, 40 * D), kLine);
       },
       4,
       [](const ShapeBlock& b) {
         EXPECT_EQ(b.bytes[0] & 0xC0, 0xC0);
         EXPECT_EQ(std::vector<uint8_t>(b.bytes.begin() + 1, b.bytes.begin() + 4),
                   Hex("01 00 01"));
       }},
      // The line run after the merged one keeps its line without the fill.
      {"StrokeOverFillThenALine", false,
       [](EdgeWriter& w) {
         w.Polygon(Square(0, 0, 40 * D), kFill1).Polygon(Square(0, 0, 40 * D), kLine);
         w.Run(60 * D, 0).Line(70 * D, 0).Line(70 * D, 20 * D);
       },
       6, nullptr},
      {"MorphNestedSameFill", true,
       [](EdgeWriter& w) {
         w.Polygon(Square(0, 0, 80 * D), kLineFill1).Polygon(Square(20 * D, 20 * D, 20 * D), kLineFill1);
       },
       8,
       [](const ShapeBlock& b) {
         // The inner square's first record: fill 0 takes the fill, fill 1 is emptied.
         const size_t inner = b.length / 2;
         EXPECT_EQ(std::vector<uint8_t>(b.bytes.begin() + inner + 1, b.bytes.begin() + inner + 4),
                   Hex("01 01 00"));
       }},
      {"MorphInnerWithoutStyleBytes", true,
       [](EdgeWriter& w) {
         w.Polygon(Square(0, 0, 80 * D), kLineFill1);
         w.Run(20 * D, 20 * D).Line(40 * D, 20 * D).Line(40 * D, 40 * D).Line(20 * D, 40 * D).Line(20 * D, 20 * D);
       },
       4,
       [](const ShapeBlock& b) {
         EXPECT_EQ(RunStarts(b), (std::vector<std::pair<int64_t, int64_t>>{{0, 0}}));
       }},
      {"MorphLinesOnOneLine", true,
       [](EdgeWriter& w) {
         w.Run(0, 100, kLine).Line(500, 100).Line(1000, 100);
         w.Run(200, 100).Line(600, 100).Line(1000, 100);
       },
       2,
       [](const ShapeBlock& b) {
         EXPECT_EQ(RunStarts(b), (std::vector<std::pair<int64_t, int64_t>>{{0, 100}}));
       }},
      {"MorphSlantedLines", true,
       [](EdgeWriter& w) {
         w.Run(0, 0, kLine).Line(500, 500).Line(1000, 1000);
         w.Run(200, 200).Line(600, 600).Line(1000, 1000);
       },
       4, nullptr},
      {"CounterClockwiseFill0", false,
       [](EdgeWriter& w) { w.Polygon(Square(0, 0, 40 * D, false), kFill0); }, 4,
       [](const ShapeBlock& b) { EXPECT_EQ(b.bytes[2], 1); }},
      {"ClockwiseFill0", false,
       [](EdgeWriter& w) { w.Polygon(Square(0, 0, 40 * D), kFill0); }, 4,
       [](const ShapeBlock& b) {
         EXPECT_EQ(b.bytes[2], 0);
         EXPECT_EQ(b.bytes[3], 1);
       }},
      // After the square, a line on its bottom side and one above its top.
      {"RetraceThreeAbove", false,
       [](EdgeWriter& w) {
         w.Polygon(Square(0, 0, 40 * D), kFill1).Run(0, 40 * D, kLine).Line(40 * D, 40 * D);
         w.Run(0, -3 * D).Line(40 * D, -3 * D);
       },
       4, nullptr},
      {"RetraceFourAbove", false,
       [](EdgeWriter& w) {
         w.Polygon(Square(0, 0, 40 * D), kFill1).Run(0, 40 * D, kLine).Line(40 * D, 40 * D);
         w.Run(0, -4 * D).Line(40 * D, -4 * D);
       },
       6, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [in, a] = DrawnAndAnalysed(c.draw, c.morph);
    EXPECT_EQ(a.block.recordCount, c.records);
    EXPECT_TRUE(test::DecodesConsistently(a.block, 0));
    if (c.check) c.check(a.block);
    if (a.lossy.empty()) {
      EXPECT_TRUE(DrawsTheSame(in, a.block));
    }
  }
}

TEST(RunRegions, RunsOfOneAreaMergeOnlyWhenTheyDrawTheSame) {
  // A line along three sides of an outline drawn with `outline`.
  auto lineAlong = [](Style outline) {
    return [outline](EdgeWriter& w) {
      w.Run(0, 0, kLine).Line(40 * D, 0).Curve(50 * D, 20 * D, 40 * D, 40 * D).Line(0, 40 * D);
      w.Run(0, 0, outline).Line(40 * D, 0).Curve(50 * D, 20 * D, 40 * D, 40 * D);
      w.Line(0, 40 * D).Line(0, 0);
    };
  };
  struct Case {
    const char* name;
    bool morph;
    std::function<void(EdgeWriter&)> draw;
    uint32_t records;
  };
  const std::vector<Case> cases = {
      // One fill twice over one area draws nothing (even-odd); one run
      // with it would draw the square.
      {"OneFillTwice", false,
       [](EdgeWriter& w) {
         w.Polygon(Square(0, 0, 40 * D), kFill1).Polygon(Square(0, 0, 40 * D, false), kFill1);
       },
       8},
      {"LineOverFillBackwards", false,
       [](EdgeWriter& w) {
         w.Polygon(Square(0, 0, 40 * D), kFill1).Polygon(Square(0, 0, 40 * D, false), kLine);
       },
       4},
      // Two open lines whose areas (closed by their chords) are one
      // triangle, with different edges but one in common.
      {"OpenLinesOfOneTriangle", true,
       [](EdgeWriter& w) {
         w.Run(0, 0, kLine).Line(40 * D, 0).Line(40 * D, 40 * D);
         w.Run(0, 0).Line(40 * D, 40 * D).Line(40 * D, 0);
       },
       4},
      // A line along all but one side of a filled and lined outline: the
      // outline holds every edge of the line and draws it already.
      {"LineAlongAFilledOutline", true, lineAlong(kLineFill1), 4},
      // The same line along the outline filled without a line: the line
      // would take the last side too.
      {"LineAlongAFilledArea", true, lineAlong(kFill1), 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [in, a] = DrawnAndAnalysed(c.draw, c.morph);
    EXPECT_EQ(a.block.recordCount, c.records);
    EXPECT_TRUE(a.lossy.empty());
    EXPECT_TRUE(DrawsTheSame(in, a.block));
  }
}

TEST(RunRegions, AProbeBeyondTenUnitsDecidesNothing) {
  // The square's region grown by 11 units on every side: every probe within
  // 10 units lies inside on both sides.
  EdgeWriter w;
  w.Polygon(Square(20 * D, 20 * D, 40 * D), kFill1);
  const EdgeList run = DecodedRun(w.Block());
  const Region grown(9, 9, 71, 71);
  for (int d = 1; d <= 10; ++d) EXPECT_EQ(ProbeOrientation(run, grown, d), Orientation::kNone) << d;
  EXPECT_EQ(ProbeOrientation(run, grown, 12), Orientation::kClockwise);
  EXPECT_EQ(ProbeOrientation(run, Region(20, 20, 60, 60), 1), Orientation::kClockwise);
}

TEST(CurveEntersRegion, FollowsTheCurveNotItsControlPolygon) {
  // A curve from (0, 0) to (100, 0) bulging to y = 50 at most (control at
  // y = 100), in device units.
  EdgeList run;
  EdgeListItem curve;
  curve.flags = 0x28;  // control and anchor in form 2
  curve.controlDx = 50 * D;
  curve.controlDy = 100 * D;
  curve.anchorDx = 100 * D;
  curve.endX = 100 * D;
  run.items.push_back(curve);
  const struct {
    Region region;
    uint8_t enters;
  } cases[] = {{Region(40, 45, 60, 52), 1}, {Region(40, 55, 60, 100), 0}, {Region(), 0}};
  for (const auto& c : cases) EXPECT_EQ(CurveEntersRegion(run, run, c.region, c.region.Box()), c.enters);
  // The clip rectangle bounds the test.
  EXPECT_EQ(CurveEntersRegion(run, run, Region(40, 45, 60, 52), IntRect{0, 0, 10, 10}), 0);
  std::vector<double> s(2 * 101);
  SampleQuadratic(s, 101, 0, 0, 50, 100, 100, 0, 0.0, 1.0);
  EXPECT_DOUBLE_EQ(s[0], 100);  // sample 0 at t1
  EXPECT_DOUBLE_EQ(s[2 * 50 + 1], 50);
  EXPECT_DOUBLE_EQ(s[2 * 100], 0);
}

// ---- any block comes back consistent ----

// Blocks of squares, triangles and lines in every form, with repeated and
// identical runs, style changes within and between runs and, at times, a
// further object behind a 0 byte. `kinds` 6 adds squares walked backwards.
ShapeBlock Generated(std::mt19937& rng, uint8_t level, bool withHead, int kinds = 5) {
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  EdgeWriter w;
  w.pickForm = [&](uint8_t valid) {
    for (;;) {
      const uint8_t f = uint8_t(1 << pick(3));
      if (valid & f) return f;
    }
  };
  const Style styles[] = {kFill1, kFill0, kLine, kLineFill1, {2, 0, 0}, {0, 0, 2}};
  std::vector<std::pair<int64_t, int64_t>> last;
  const int runs = 2 + pick(6);
  for (int i = 0; i < runs; ++i) {
    if (withHead && i == runs / 2) w.Bytes(test::FurtherObjectHead(level));
    const int64_t scale = pick(2) ? 128 : 1 << 14;  // small and far coordinates
    const int64_t x = (pick(40) - 10) * scale, y = (pick(40) - 10) * scale, s = (1 + pick(30)) * scale;
    const Style style = styles[pick(6)];
    switch (pick(kinds)) {
      case 0:  // a square, either way round, filled or not
        last = Square(x, y, s, pick(2));
        w.Polygon(last, pick(2) ? style : kLine);
        break;
      case 1:  // the previous run again, or a stretch of it, as a line
        if (!last.empty()) {
          const size_t from = size_t(pick(int(last.size())));
          w.Run(last[from].first, last[from].second, pick(2) ? kLine : Style{2, 0, 0});
          for (size_t k = 1; k <= last.size() - from; ++k)
            w.Line(last[(from + k) % last.size()].first, last[(from + k) % last.size()].second);
          break;
        }
        [[fallthrough]];
      case 2:  // an open line with a style change inside
        w.Run(x, y, style).Line(x + s, y).Line(x + s, y + s / 2, pick(2) ? Style{2, 0, 0} : kLine);
        break;
      case 3:  // a lens of two curves
        w.Run(x, y, style).Curve(x + s / 2, y - s, x + s, y).Curve(x + s / 2, y + s, x, y);
        break;
      case 4:  // a horizontal line pair
        w.Run(x, y, kLine).Line(x + s, y).Line(x + 2 * s, y);
        w.Run(x + s / 2, y).Line(x + s, y).Line(x + 2 * s, y);
        break;
      default:  // the previous square walked backwards: whole, or a stretch as a line
        if (!last.empty()) {
          const std::vector<std::pair<int64_t, int64_t>> back(last.rbegin(), last.rend());
          if (pick(2)) {
            w.Polygon(back, style);
            break;
          }
          const size_t from = size_t(pick(int(back.size())));
          w.Run(back[from].first, back[from].second, kLine);
          for (size_t k = 1; k <= back.size() - from; ++k)
            w.Line(back[(from + k) % back.size()].first, back[(from + k) % back.size()].second);
          break;
        }
        w.Run(x, y, kLine).Line(x + s, y);
        break;
    }
  }
  return w.Block();
}

TEST(FillOverlapInvariant, GeneratedBlocksComeBackConsistentAndDrawingTheSame) {
  // The first five kinds of run, then all six (the same seed: the first
  // series keeps the blocks it always had).
  for (const int kinds : {5, 6}) {
    std::mt19937 rng(27);
    int unchangedDrawings = 0, rewrites = 0;
    for (int i = 0; i < 400; ++i) {
      const uint8_t level = i % 2 ? 2 : 0;
      const bool withHead = i % 5 == 0;
      const ShapeBlock in = Generated(rng, level, withHead, kinds);
      for (bool morph : {false, true}) {
        SCOPED_TRACE(testing::Message() << kinds << " kinds, block " << i << (morph ? " morph" : ""));
        const Analysed a = Analyse(in, 1, morph, level);
        ASSERT_TRUE(test::DecodesConsistently(a.block, level));
        if (a.block.recordCount != in.recordCount) ++rewrites;
        if (withHead || !a.lossy.empty()) continue;
        const auto diff = test::CoverageDifference(test::CoverageOf(in.counted()),
                                                   test::CoverageOf(a.block.counted()));
        EXPECT_TRUE(diff.empty()) << diff.begin()->first << ": " << diff.begin()->second << " pixels";
        ++unchangedDrawings;
      }
    }
    EXPECT_GT(rewrites, 50);
    EXPECT_GT(unchangedDrawings, 200);
  }
}

TEST(FillOverlapInvariant, CancelAndSpentBudgetLeaveAConsistentBlock) {
  std::mt19937 rng(5);
  for (int i = 0; i < 60; ++i) {
    const ShapeBlock in = Generated(rng, 0, false);
    for (int variant = 0; variant < 3; ++variant) {
      ConverterContext ctx;
      test::RecordingShell shell;
      ctx.m_pShell = &shell;
      if (variant == 0) shell.cancelAfterPumps = 2;  // during a pass
      if (variant == 1) ctx.m_nShapeAnalysisBudget = 100;
      if (variant == 2) ctx.m_nShapeAnalysisBudget = 3;
      ShapeBlock block = in;
      size_t countField = 0;
      AnalyzeFillOverlaps(ctx, block, 1, {}, nullptr, countField, nullptr);
      EXPECT_TRUE(test::DecodesConsistently(block, 0)) << i << " " << variant;
    }
  }
}

}  // namespace
}  // namespace tovrani
