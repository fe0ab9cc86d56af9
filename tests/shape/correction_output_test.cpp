// Shapes with crossing edges or overlapping fills written into their page
// as a stack of shape objects: one fill per object, the strokes apart, and
// the page put back as it came when the writing cannot finish.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "convert/converter_context.h"
#include "fla/file_helpers.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/retrace_region.h"
#include "shape/builder/shape_builder.h"
#include "shape/decode/shape_page.h"
#include "shape/shape_test_support.h"
#include "fla/archive.h"
#include "fla/work_files.h"
#include "support/page_walker.h"
#include "support/shape_coverage.h"

namespace tovrani {
namespace {

using test::EdgeWriter;
using Style = EdgeWriter::Style;

constexpr int64_t D = 256;

std::vector<uint8_t> SolidFill(uint32_t colour) {
  ByteWriter w;
  FillStyle f;
  f.colour = colour;
  EncodeFillStyle(w, f, 0);
  return w.bytes();
}

std::vector<uint8_t> Line(uint16_t width, uint32_t colour) {
  ByteWriter w;
  LineStyle l;
  l.width = width;
  l.colour = colour;
  EncodeLineStyle(w, l, 0);
  return w.bytes();
}

std::vector<uint8_t> GradientFill(uint8_t stops) {
  ByteWriter w;
  FillStyle f;
  f.type = 0x10;
  f.gradientHeader = stops;
  for (uint8_t i = 0; i < stops; ++i) f.stops.push_back({uint8_t(i * 10), 0xFF00FF00u});
  EncodeFillStyle(w, f, 0);
  return w.bytes();
}

// Fills 1 and 2 red and blue, line 1 twenty twips wide, line 2 of width 0.
StyleIndex TwoFillsTwoLines() {
  StyleIndex s;
  s.fills = {SolidFill(0xFF0000FFu), SolidFill(0xFFFF0000u)};
  s.lines = {Line(20, 0xFF000000u), Line(0, 0xFF00FF00u)};
  return s;
}

std::vector<uint8_t> Blob(const StyleIndex& s) {
  ByteWriter w;
  w.PutU16(s.fillCount());
  for (const auto& f : s.fills) w.PutBytes(f);
  w.PutU16(s.lineCount());
  for (const auto& l : s.lines) w.PutBytes(l);
  return w.bytes();
}

std::vector<std::pair<int64_t, int64_t>> Square(int64_t x, int64_t y, int64_t s) {
  return {{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}};
}

// What one shape page came out as.
struct Paged {
  std::vector<uint8_t> page;
  std::vector<test::ShapeObject> objects;
  std::vector<uint32_t> counts;
  bool flag = false;
  uint32_t lengthOut = 0, countOut = 0;
  int writerError = 0;
};

// The builder the page calls, with what a test sets up around it.
struct BuildSetup {
  std::function<void(ShapeBuilder&)> prepare = nullptr;  // before the builder runs
  uint64_t budget = 0;
  bool noProblemSearch = false;
};
BuildSetup* g_setup = nullptr;
Paged* g_paged = nullptr;

void Hook(ShapeContext& ctx, ShapeBlock& block, std::span<const uint8_t> blob, std::FILE* work,
          size_t& countFieldPos, const StyleIndex* styles) {
  ShapeBuilder b(ctx, block, blob, styles);
  if (g_setup->budget) b.geo.budget = g_setup->budget;
  if (g_setup->prepare) g_setup->prepare(b);
  RunShapeBuilder(b, work, countFieldPos);
  g_paged->lengthOut = block.length;
  g_paged->countOut = block.recordCount;
}

Paged BuildPage(const EdgeWriter& w, const StyleIndex& styles, BuildSetup setup = {}) {
  Paged out;
  ConverterContext ctx;
  ctx.m_bShapesOn = 1;
  ctx.options.heuristicProblemSearch = 0;
  ctx.options.noProblemSearch = setup.noProblemSearch ? 1 : 0;
  ctx.m_pBuildShapeHook = &Hook;
  g_setup = &setup;
  g_paged = &out;
  g_bVectorizationProblem = 0;
  std::FILE* f = std::tmpfile();
  {
    ShapePage page(ctx, f);
    page.Begin();
    page.WriteStyleTables(Blob(styles));
    ShapePage::ObjectEdges edges{w.bytes(), w.records(), false, &styles};
    page.Finish(edges, true, 5);
  }
  out.page = test::WorkFiles::Contents(f);
  std::fclose(f);
  out.flag = g_bVectorizationProblem != 0;
  g_bVectorizationProblem = 0;
  out.writerError = ctx.m_nWriterError;
  EXPECT_TRUE(test::CheckShapePage(out.page, 0, 5, &out.counts));
  EXPECT_TRUE(test::PageWalksClean(out.page, test::ShapeEdgeSpans(out.page, 0)));
  out.objects = test::ShapeObjects(out.page, 0);
  return out;
}

// Fill and line of each object.
struct Kinds {
  size_t fills = 0, lines = 0;
};
Kinds KindOf(const test::ShapeObject& o) { return {o.styles.fills.size(), o.styles.lines.size()}; }

std::vector<DecodedEdge> Records(const test::ShapeObject& o) {
  std::vector<DecodedEdge> r;
  DecodedEdge e;
  for (size_t pos = 0; ReadEdgeRecord(o.edges, pos, e);) r.push_back(e);
  return r;
}

// The stack draws what the given records drew, per style, up to `slack`
// pixels outside the 2-unit band along the given edges.
void ExpectSameDrawing(const EdgeWriter& w, const StyleIndex& styles, const Paged& p,
                       int64_t slack = 0, bool exactly = true) {
  const test::ShapeCoverage was = test::CoverageOf(w.bytes(), &styles, 2);
  std::vector<test::ShapeCoverage> parts;
  for (const auto& o : p.objects) parts.push_back(test::CoverageOf(o.edges, &o.styles));
  const test::ShapeCoverage is = test::StackedCoverage(parts);
  const auto exact = test::CoverageDifference(was, is);
  const auto outside = test::CoverageDifference(was, is, &was.band);
  int64_t n = 0;
  for (const auto& [k, v] : outside) n += v;
  if (exactly) {
    EXPECT_TRUE(exact.empty()) << exact.begin()->first << " differs in " << exact.begin()->second;
  }
  EXPECT_LE(n, slack);
}

// A stroke crossing a fill makes the problem; with width 0 it is not drawn
// (a line-only stroke of width 0 is no loose stroke when a blob is given).
EdgeWriter SquareWithHairline(Style fill) {
  EdgeWriter w;
  w.Polygon(Square(20 * D, 20 * D, 60 * D), fill);
  w.Run(0, 50 * D, Style{2, 0, 0}).Line(100 * D, 50 * D);
  return w;
}

TEST(CorrectionOutput, OneRegionReplacesTheTablesInPlace) {
  const StyleIndex styles = TwoFillsTwoLines();
  const EdgeWriter w = SquareWithHairline(Style{0, 0, 1});
  const Paged p = BuildPage(w, styles);
  ASSERT_EQ(p.objects.size(), 1u);
  EXPECT_FALSE(p.flag);
  EXPECT_EQ(p.lengthOut, 0u);
  EXPECT_EQ(p.countOut, 4u);
  EXPECT_EQ(p.counts, std::vector<uint32_t>{4});
  const test::ShapeObject& o = p.objects[0];
  ASSERT_EQ(o.styles.fills.size(), 1u);
  EXPECT_EQ(o.styles.fills[0], styles.fills[0]);
  EXPECT_TRUE(o.styles.lines.empty());
  const auto r = Records(o);
  ASSERT_EQ(r.size(), 4u);
  // One style change, fill 1 on one side, then a closed run without moves.
  EXPECT_TRUE(r[0].hasStyles);
  EXPECT_EQ(r[0].line, 0);
  EXPECT_EQ(r[0].fill0 + r[0].fill1, 1);
  for (int i = 1; i < 4; ++i) EXPECT_FALSE(r[i].hasStyles || r[i].hasMove) << i;
  // The object's tables are shorter than the given ones; the page ends
  // right after its layer end all the same (the page check reads to the
  // end of the file).
  EXPECT_LT(o.styles.fills.size() + o.styles.lines.size(), styles.fills.size() + styles.lines.size());
}

TEST(CorrectionOutput, ShorterTablesLeaveNoStaleBytes) {
  StyleIndex styles = TwoFillsTwoLines();
  for (int i = 0; i < 12; ++i) styles.fills.push_back(GradientFill(8));
  const EdgeWriter w = SquareWithHairline(Style{0, 1, 0});
  const Paged p = BuildPage(w, styles);
  ASSERT_EQ(p.objects.size(), 1u);
  EXPECT_EQ(p.counts, std::vector<uint32_t>{4});
  const size_t decodedSize = BuildPage(w, styles, {.noProblemSearch = true}).page.size();
  EXPECT_LT(p.page.size() + 12 * 40, decodedSize);
}

TEST(CorrectionOutput, OverlappingFillsStackOnLayersWithTheirStrokes) {
  const StyleIndex styles = TwoFillsTwoLines();
  {
    EdgeWriter w;
    w.Polygon(Square(0, 0, 60 * D), Style{0, 0, 1}).Polygon(Square(30 * D, 30 * D, 60 * D), Style{0, 0, 2});
    const Paged p = BuildPage(w, styles);
    ASSERT_EQ(p.objects.size(), 2u);
    EXPECT_EQ(p.counts, (std::vector<uint32_t>{4, 4}));
    EXPECT_EQ(p.countOut, 4u);
    EXPECT_EQ(p.objects[0].styles.fills[0], styles.fills[0]);
    EXPECT_EQ(p.objects[1].styles.fills[0], styles.fills[1]);
    // The first object's layer is closed by name before the second.
    const std::string text(p.page.begin(), p.page.end());
    EXPECT_NE(text.find("Layer 1"), std::string::npos);
    EXPECT_EQ(text.find("Layer 2"), std::string::npos);
    ExpectSameDrawing(w, styles, p);
  }
  {
    // Stroked: each fill object is followed by its stroke object.
    EdgeWriter w;
    w.Polygon(Square(0, 0, 60 * D), Style{1, 0, 1}).Polygon(Square(30 * D, 30 * D, 60 * D), Style{1, 0, 2});
    const Paged p = BuildPage(w, styles);
    ASSERT_EQ(p.objects.size(), 4u);
    EXPECT_EQ(p.counts, (std::vector<uint32_t>{4, 4, 4, 4}));
    for (size_t i = 0; i < 4; ++i) {
      const Kinds k = KindOf(p.objects[i]);
      EXPECT_EQ(k.fills, i % 2 ? 0u : 1u) << i;
      EXPECT_EQ(k.lines, i % 2 ? 1u : 0u) << i;
    }
    for (const DecodedEdge& e : Records(p.objects[1])) EXPECT_EQ(e.fill0 + e.fill1, 0);
    ExpectSameDrawing(w, styles, p);
  }
}

TEST(CorrectionOutput, SharedStrokesAreWrittenOnceAndTablesRenumbered) {
  // A region whose outline uses lines 7, 7, 3, 7 of a 300-line table, and
  // a second fill over it (line 255) sharing one stroked edge.
  StyleIndex styles = TwoFillsTwoLines();
  styles.lines.clear();
  for (int i = 0; i < 300; ++i) styles.lines.push_back(Line(uint16_t(20 + i), 0xFF000000u + i));
  EdgeWriter w;
  w.Run(0, 0, Style{7, 0, 1}).Line(60 * D, 0).Line(60 * D, 60 * D, Style{7, 0, 1});
  w.Line(0, 60 * D, Style{3, 0, 1}).Line(0, 0, Style{7, 0, 1});
  // The second fill shares the edge (60, 60)-(60, 0) and crosses the
  // first's bottom edge.
  w.Run(60 * D, 0, Style{255, 0, 2}).Line(100 * D, 0).Line(100 * D, 100 * D).Line(30 * D, 100 * D);
  w.Line(30 * D, 40 * D).Line(60 * D, 60 * D).Line(60 * D, 0, Style{7, 0, 2});
  const Paged p = BuildPage(w, styles);
  ExpectSameDrawing(w, styles, p);
  // Every stroked edge once over the whole page; each stroke object's
  // table holds exactly the lines its records use, in order of first use.
  size_t lineRecords = 0;
  for (const test::ShapeObject& o : p.objects) {
    if (o.styles.lines.empty()) continue;
    EXPECT_TRUE(o.styles.fills.empty());
    uint8_t current = 0;
    std::vector<uint8_t> used;
    for (const DecodedEdge& e : Records(o)) {
      if (e.hasStyles) {
        EXPECT_NE(e.line, current) << "a style change that changes nothing";
        current = e.line;
      }
      ASSERT_GE(current, 1);
      if (std::find(used.begin(), used.end(), current) == used.end()) used.push_back(current);
      ++lineRecords;
    }
    if (o.styles.lines.size() < 300) {
      ASSERT_EQ(used.size(), o.styles.lines.size());
      for (size_t i = 0; i < used.size(); ++i) EXPECT_EQ(used[i], i + 1);
    }
  }
  EXPECT_EQ(lineRecords, 4u + 6u - 1u);
}

TEST(CorrectionOutput, LooseStrokesCarryTheWholeTableAndCrossingRemainingOnesBothStay) {
  const StyleIndex styles = TwoFillsTwoLines();
  EdgeWriter w;
  w.Polygon(Square(0, 0, 60 * D), Style{0, 0, 1});
  w.Run(-20 * D, 30 * D, Style{1, 0, 0}).Line(80 * D, 30 * D);
  w.Run(30 * D, -20 * D, Style{1, 0, 0}).Line(30 * D, 80 * D);
  {
    // A stroke whose line index lies past the table draws nothing.
    EdgeWriter extra = w;
    extra.Run(200 * D, 0, Style{9, 0, 0}).Line(250 * D, 0);
    const Paged p = BuildPage(extra, styles);
    // The fill, then one loose-stroke object with the shape's whole line
    // table holding both crossing strokes.
    ASSERT_EQ(p.objects.size(), 2u);
    EXPECT_EQ(p.objects[1].styles.lines, styles.lines);
    EXPECT_EQ(p.counts[1], 2u);
    ExpectSameDrawing(w, styles, p);
  }
  {
    // Without the loose list the two strokes are left for the last pass;
    // the one crossing the other goes into a further object.
    ShapeBlock block = w.Block();
    ConverterContext ctx;
    g_bVectorizationProblem = 0;
    const std::vector<uint8_t> blob = Blob(styles);
    ShapeBuilder b(ctx, block, blob, &styles);
    ASSERT_EQ(b.Read(), ShapeBuilder::Outcome::kGoOn);
    ASSERT_EQ(b.JoinStraightEdges(), ShapeBuilder::Outcome::kGoOn);
    b.MarkSides();
    ASSERT_EQ(b.TraceOutlines(), ShapeBuilder::Outcome::kGoOn);
    ASSERT_EQ(b.lineEdges.count(), 2u);
    b.lineEdges = {};
    std::FILE* f = std::tmpfile();
    WriteShapeRecordHead(f, true, 0);
    ctx.m_nShapeHeadPos = size_t(std::ftell(f));
    size_t countField = 0;
    ASSERT_EQ(b.WriteCorrection(f, countField), ShapeBuilder::Outcome::kGoOn);
    const std::vector<uint8_t> bytes = test::WorkFiles::Contents(f);
    std::fclose(f);
    // Patch the last count and close as the page would, then walk it.
    std::vector<uint8_t> page = bytes;
    for (int i = 0; i < 4; ++i) page[countField + i] = uint8_t(b.block.recordCount >> (8 * i));
    const auto tail = test::ExpectedPageTail(5, 2, 0);
    page.insert(page.end(), tail.begin(), tail.end());
    std::vector<uint32_t> counts;
    ASSERT_TRUE(test::CheckShapePage(page, 0, 5, &counts));
    EXPECT_EQ(counts, (std::vector<uint32_t>{4, 1, 1}));
    const auto objects = test::ShapeObjects(page, 0);
    EXPECT_EQ(objects[1].styles.lines, styles.lines);
    EXPECT_EQ(objects[2].styles.lines, styles.lines);
    EXPECT_FALSE(g_bVectorizationProblem);
  }
}

// One fill's outline drawn as two chains from a common point, one each way,
// whose top is cut from them at both corners by short edges that carry only
// a line. Two overlapping squares beside it make the problem that sends the
// shape to the stack. The loose stroke drawn first lies on the gaps' line:
// the drawing compared with closes every edge through the first point, and
// from there the gaps enclose nothing.
EdgeWriter ChainsFromOnePointWithBrokenCorners() {
  EdgeWriter w;
  w.Run(-30 * D, 0, Style{1, 0, 0}).Line(-20 * D, 0);
  w.Run(50 * D, 100 * D, Style{0, 0, 1}).Line(0, 90 * D).Line(0, 0);
  w.Line(2 * D, 0, Style{1, 0, 0});
  w.Line(98 * D, 0, Style{0, 0, 1});
  w.Line(100 * D, 0, Style{1, 0, 0});
  w.Run(50 * D, 100 * D, Style{0, 1, 0}).Line(100 * D, 90 * D).Line(100 * D, 0);
  w.Polygon(Square(150 * D, 0, 60 * D), Style{0, 0, 1}).Polygon(Square(180 * D, 30 * D, 60 * D), Style{0, 0, 2});
  return w;
}

TEST(CorrectionOutput, OutlinesLeavingOnePointOnOppositeSidesAreWrittenAsOne) {
  // Closed apart, each by its own chord back to the common point, the two
  // chains would leave the triangle between the chords unfilled.
  const StyleIndex styles = TwoFillsTwoLines();
  const EdgeWriter w = ChainsFromOnePointWithBrokenCorners();
  const Paged p = BuildPage(w, styles);
  // One object for the outline, one for each square, one for the strokes.
  size_t fillObjects = 0;
  for (const auto& o : p.objects) fillObjects += KindOf(o).fills;
  EXPECT_EQ(fillObjects, 3u);
  ExpectSameDrawing(w, styles, p);
}

// A bow tie: one outline that crosses itself.
EdgeWriter BowTie() {
  EdgeWriter w;
  // Lobes of different sizes: an outline whose turning has a sign.
  w.Polygon({{0, 0}, {80 * D, 80 * D}, {80 * D, 0}, {0, 40 * D}}, Style{0, 0, 1});
  return w;
}

TEST(CorrectionOutput, SelfCrossingRegionsAreRetracedOrWrittenFromTheirContour) {
  const StyleIndex styles = TwoFillsTwoLines();
  {
    // A retrace that is clean at once: its square is what the object holds.
    std::vector<int> levels;
    BuildSetup s;
    s.prepare = [&](ShapeBuilder& b) {
      b.retrace = [&](PathRecordList& list, const ShapeRegion&, int level) {
        levels.push_back(level);
        list.Append(kPathMoveTo, 0, 0, 0, 0);
        list.Append(kPathLineTo, 0, 0, 40, 0);
        list.Append(kPathLineTo, 0, 0, 40, 40);
        list.Append(kPathLineTo, 0, 0, 0, 40);
        list.Append(kPathLineTo, 0, 0, 0, 0);
        return 1;
      };
    };
    const Paged p = BuildPage(BowTie(), styles, s);
    EXPECT_EQ(levels, std::vector<int>{4});
    EXPECT_FALSE(p.flag);
    ASSERT_EQ(p.objects.size(), 1u);
    const auto r = Records(p.objects[0]);
    ASSERT_EQ(r.size(), 4u);
    // The square, at the region's box.
    int64_t x = 0, y = 0;
    std::set<int64_t> xs, ys;
    for (const DecodedEdge& e : r) {
      x += e.moveX + e.anchorX;
      y += e.moveY + e.anchorY;
      xs.insert(x / D);
      ys.insert(y / D);
    }
    ASSERT_EQ(xs.size(), 2u);
    ASSERT_EQ(ys.size(), 2u);
    EXPECT_EQ(*xs.rbegin() - *xs.begin(), 40);
    EXPECT_EQ(*ys.rbegin() - *ys.begin(), 40);
    EXPECT_EQ(*xs.begin(), 0);
  }
  {
    // One that never comes out clean: every level, then the line retry,
    // then the region's own contour, and the user is told.
    std::vector<int> levels;
    BuildSetup s;
    s.prepare = [&](ShapeBuilder& b) {
      b.retrace = [&](PathRecordList& list, const ShapeRegion&, int level) {
        levels.push_back(level);
        list.Append(kPathMoveTo, 0, 0, 0, 0);
        list.Append(kPathLineTo, 0, 0, 80, 80);
        list.Append(kPathLineTo, 0, 0, 80, 0);
        list.Append(kPathLineTo, 0, 0, 0, 40);
        list.Append(kPathLineTo, 0, 0, 0, 0);
        return 1;
      };
    };
    const Paged p = BuildPage(BowTie(), styles, s);
    ASSERT_EQ(levels.size(), 28u);
    EXPECT_EQ(levels.front(), 4);
    EXPECT_EQ(levels[26], 30);
    EXPECT_EQ(levels.back(), 4);
    EXPECT_TRUE(p.flag);
    ASSERT_EQ(p.objects.size(), 1u);
    EXPECT_EQ(p.counts, std::vector<uint32_t>{4});
    ExpectSameDrawing(BowTie(), styles, p);
  }
  {
    // The real retrace: within the band of the outline.
    const Paged p = BuildPage(BowTie(), styles);
    ASSERT_GE(p.objects.size(), 1u);
    ExpectSameDrawing(BowTie(), styles, p, 0, false);
  }
}

// The bow tie's region retraced as two squares of pixels joined at their
// corners by a diagonal bridge, the picture whose fitted outlines used to
// cross where the traced ones only run close: each comes out clean at the
// first smoothing level, and nobody is asked about it.
TEST(CorrectionOutput, SquaresJoinedByABridgeAreRetracedCleanAtOnce) {
  const StyleIndex styles = TwoFillsTwoLines();
  struct Case {
    int side, bridge;
    bool leftward;
  } cases[] = {{8, 1, true}, {8, 2, true}, {8, 3, true}, {5, 2, true}, {10, 2, false}, {5, 4, false}};
  for (const Case& c : cases) {
    const int32_t w = 2 * c.side + c.bridge + 8;
    std::vector<IntRect> pixels;
    auto set = [&](int32_t x, int32_t y) {
      if (c.leftward) x = w - 1 - x;
      pixels.push_back({x, y, x + 1, y + 1});
    };
    for (int32_t y = 0; y < c.side; ++y)
      for (int32_t x = 0; x < c.side; ++x) {
        set(x + 2, y + 2);
        set(x + 2 + c.side + c.bridge, y + 2 + c.side + c.bridge);
      }
    for (int32_t k = 0; k < c.bridge; ++k) set(2 + c.side + k, 2 + c.side + k);
    ShapeRegion bridged;
    ASSERT_NE(bridged.area.SetRects(pixels), RegionKind::kError);
    bridged.box = {0, 0, w, w};
    std::vector<int> levels;
    BuildSetup s;
    s.prepare = [&](ShapeBuilder& b) {
      ShapeBuilder* builder = &b;
      b.retrace = [&, builder](PathRecordList& list, const ShapeRegion&, int level) {
        levels.push_back(level);
        return RetraceRegion(builder->ctx, list, bridged, {}, level);
      };
    };
    const Paged p = BuildPage(BowTie(), styles, s);
    EXPECT_EQ(levels, std::vector<int>{4}) << "side " << c.side << ", bridge " << c.bridge;
    EXPECT_FALSE(p.flag) << "side " << c.side << ", bridge " << c.bridge;
  }
}

TEST(CorrectionOutput, ABowTieWhoseLobesCancelBesideAnotherFillIsRetraced) {
  const StyleIndex styles = TwoFillsTwoLines();
  // Equal lobes turning opposite ways: no sign tells outline from hole.
  const std::vector<std::pair<int64_t, int64_t>> bow = {
      {0, 0}, {80 * D, 80 * D}, {80 * D, 0}, {0, 80 * D}};
  for (const bool fill0 : {false, true}) {
    SCOPED_TRACE(fill0);
    EdgeWriter w;
    w.Polygon(bow, fill0 ? Style{0, 1, 0} : Style{0, 0, 1});
    w.Polygon(Square(120 * D, 0, 60 * D), Style{0, 0, 2});
    const Paged p = BuildPage(w, styles);
    EXPECT_EQ(p.lengthOut, 0u);
    size_t red = 0, blue = 0;
    for (const test::ShapeObject& o : p.objects) {
      ASSERT_EQ(o.styles.fills.size(), 1u);
      red += o.styles.fills[0] == styles.fills[0];
      blue += o.styles.fills[0] == styles.fills[1];
    }
    EXPECT_EQ(red, 1u);
    EXPECT_EQ(blue, 1u);
    // Both lobes and the square, within the band of the outline.
    ExpectSameDrawing(w, styles, p, 0, false);
  }
  {
    // A bow tie inside a square of its own fill is that square's hole and
    // is written with it, not again.
    EdgeWriter w;
    w.Polygon(Square(-40 * D, -40 * D, 160 * D), Style{0, 0, 1});
    w.Polygon(bow, Style{0, 0, 1});
    w.Polygon(Square(200 * D, 0, 60 * D), Style{0, 0, 2});
    const Paged p = BuildPage(w, styles);
    size_t red = 0;
    for (const test::ShapeObject& o : p.objects) red += o.styles.fills[0] == styles.fills[0];
    EXPECT_LE(red, 1u);
  }
}

TEST(CorrectionOutput, WhatCannotBeWrittenLeavesThePageAsItCame) {
  const StyleIndex styles = TwoFillsTwoLines();
  // An X whose strokes carry a fill on one side only: no region closes.
  EdgeWriter x;
  x.Run(0, 0, Style{0, 0, 1}).Line(80 * D, 80 * D);
  x.Run(80 * D, 0, Style{0, 0, 1}).Line(0, 80 * D);
  const Paged decoded = BuildPage(x, styles, {.noProblemSearch = true});
  const Paged p = BuildPage(x, styles);
  EXPECT_TRUE(p.flag);
  EXPECT_EQ(p.lengthOut, x.bytes().size());
  EXPECT_EQ(p.countOut, x.records());
  EXPECT_EQ(p.page, decoded.page);
}

TEST(CorrectionOutput, AStopMidwayPutsThePageBack) {
  const StyleIndex styles = TwoFillsTwoLines();
  EdgeWriter w;
  w.Polygon(Square(0, 0, 60 * D), Style{1, 0, 1}).Polygon(Square(30 * D, 30 * D, 60 * D), Style{1, 0, 2});
  w.Polygon({{100 * D, 0}, {180 * D, 80 * D}, {180 * D, 0}, {100 * D, 40 * D}}, Style{0, 1, 0});
  const Paged decoded = BuildPage(w, styles, {.noProblemSearch = true});
  {
    // A geometry failure in the third turn, after two objects are out.
    BuildSetup s;
    s.prepare = [](ShapeBuilder& b) {
      ShapeBuilder* builder = &b;
      b.retrace = [builder](PathRecordList&, const ShapeRegion&, int) {
        builder->geo.failed = true;
        return 0;
      };
    };
    const Paged p = BuildPage(w, styles, s);
    EXPECT_TRUE(p.flag);
    EXPECT_EQ(p.page, decoded.page);
    EXPECT_EQ(p.writerError, 0);
  }
  // Budgets running out anywhere: the corrected page or the given one.
  size_t restored = 0, corrected = 0;
  for (uint64_t budget = 40; budget < 400000; budget += budget / 6 + 1) {
    BuildSetup s;
    s.budget = budget;
    const Paged p = BuildPage(w, styles, s);
    if (p.lengthOut) {
      EXPECT_TRUE(p.flag) << budget;
      EXPECT_EQ(p.page, decoded.page) << budget;
      ++restored;
    } else {
      EXPECT_GE(p.objects.size(), 5u) << budget;
      ++corrected;
    }
  }
  EXPECT_GT(restored, 0u);
  EXPECT_GT(corrected, 0u);
}

TEST(CorrectionOutput, AFailedPageWriteFailsTheConversion) {
  const StyleIndex styles = TwoFillsTwoLines();
  EdgeWriter w;
  w.Polygon(Square(0, 0, 60 * D), Style{1, 0, 1}).Polygon(Square(30 * D, 30 * D, 60 * D), Style{1, 0, 2});
  ShapeBlock block = w.Block();
  const ShapeBlock given = block;
  ConverterContext ctx;
  const std::vector<uint8_t> blob = Blob(styles);
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  size_t countField = 0;
  BuildShape(ctx, block, blob, full, countField, &styles);
  std::fclose(full);
  EXPECT_EQ(ctx.m_nWriterError, kResultOutputIncomplete);
  EXPECT_EQ(block.bytes, given.bytes);
  EXPECT_EQ(block.length, given.length);
  EXPECT_EQ(block.recordCount, given.recordCount);
  EXPECT_EQ(countField, 0u);
}

}  // namespace
}  // namespace tovrani
