// The movie's allowance of shape work on the roads the program tests do not
// reach cheaply: the shape builder and a morph's two halves. A shape it
// gives out on comes back as decoded, without the vectorization question,
// and the shapes after it are not analysed at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "convert/converter_context.h"
#include "fla/work_files.h"
#include "shape/decode/define_shape.h"
#include "shape/decode/morph_shape.h"
#include "shape/geometry/held_memory.h"
#include "shape/geometry/shape_region.h"
#include "shape/shape_test_support.h"
#include "shape/shape_work.h"
#include "support/recording_shell.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

constexpr uint64_t kAmple = uint64_t(1) << 40;
const std::string kAsked = "the movie asks for more shape analysis than its size allows";

struct Context {
  ConverterContext ctx;
  test::RecordingShell shell;
  Context() {
    ctx.m_pShell = &shell;
    ctx.m_nFlaFormat = 2;
    ctx.m_bShapesOn = 1;
    ctx.options.heuristicProblemSearch = 0;  // the shape builder
  }
  uint64_t Used() const { return kAmple - ctx.m_budget.shapeWork.left(); }
};

// DefineShape2 `id` as a page: its objects' edge record counts.
std::vector<uint32_t> Convert(ConverterContext& ctx, uint16_t id, const std::vector<uint8_t>& body) {
  ctx.m_wCurShapeId = id;
  std::FILE* f = std::tmpfile();
  EXPECT_TRUE(f && BuildShapePage(ctx, 22, body, f, 5).ok);
  const std::vector<uint8_t> page = f ? test::WorkFiles::Contents(f) : std::vector<uint8_t>();
  if (f) std::fclose(f);
  std::vector<uint32_t> counts;
  EXPECT_TRUE(test::CheckShapePage(page, 2, 5, &counts));
  return counts;
}

// With too little left at any point of the builder's work, the shape and
// the one after it keep every record (the builder joins the two squares'
// repeated edges when it has enough); only the first is named, the closing
// line counts the second, and nobody is asked about a vectorization problem.
TEST(ShapeWorkAllowance, TheBuilderGivesTheShapeBackAsDecoded) {
  SwfBytes b;
  b.rect(0, 2000, 0, 2000).u8(1).u8(0).u8(200).u8(0).u8(0).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  for (int copy = 0; copy < 2; ++copy) {
    r.Change(std::pair(0, 0), 1u, std::nullopt, std::nullopt);
    r.Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(0, -1000);
  }
  r.End();
  Context c;
  c.ctx.m_budget.shapeWork = Allowance(kAmple, 0, 0);
  const std::vector<uint32_t> built = Convert(c.ctx, 1, b.data());
  const uint64_t work = c.Used();
  ASSERT_LT(built.at(0), 8u);
  for (uint64_t given : {uint64_t(0), work / 2, work - 1}) {
    c.ctx.m_budget.shapeWork = Allowance(given, 0, 0);
    g_bVectorizationProblem = 0;
    c.shell.messages.clear();
    EXPECT_EQ(Convert(c.ctx, 7, b.data()), std::vector<uint32_t>{8}) << given;
    EXPECT_EQ(Convert(c.ctx, 8, b.data()), std::vector<uint32_t>{8}) << given;
    EXPECT_EQ(g_bVectorizationProblem, 0);
    EXPECT_EQ(c.shell.messages, std::vector<std::string>{"BRASKELON Tovrani: DefineShape2 (character 7): " + kAsked +
                                                         "; the shape was written without the problem search."});
    const std::vector<BudgetLine> lines = BudgetSummary(c.ctx.m_budget);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "1 more shape was written without the problem search: " + kAsked + ".");
  }
  c.ctx.m_budget.shapeWork = Allowance(work, 0, 0);
  EXPECT_EQ(Convert(c.ctx, 9, b.data()), built);
}

// A morph's halves pair run by run: when the allowance gives out on the end
// half, the start half, already repaired, goes back to its decoded runs too,
// on the heuristic road and the builder's.
TEST(ShapeWorkAllowance, AMorphKeepsBothHalvesAsDecodedWhenEitherIsRefused) {
  auto squares = [](int shift, bool styles) {
    return [shift, styles](ShapeRecords& r) {
      for (int at : {shift, shift + 500}) {
        r.Change(std::pair(at, at), std::nullopt, styles && at == shift ? std::optional(1u) : std::nullopt,
                 std::nullopt);
        r.Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(0, -1000);
      }
    };
  };
  SwfBytes styles;
  styles.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000).u8(0);
  const auto body = test::MorphBody(46, styles.data(), squares(0, true), squares(200, false), 1, 0);
  auto convert = [&](Context& c, MorphShapeEntry& entry) {
    entry.wCharacterId = 3;
    EXPECT_TRUE(ConvertMorphShapeTag(c.ctx, entry, body, {}, 46));
  };
  Context plain;
  plain.ctx.options.noProblemSearch = 1;
  MorphShapeEntry decoded;
  convert(plain, decoded);
  for (bool heuristic : {true, false}) {
    SCOPED_TRACE(heuristic);
    Context c;
    c.ctx.options.heuristicProblemSearch = heuristic ? 1 : 0;
    c.ctx.m_budget.shapeWork = Allowance(kAmple, 0, 0);
    MorphShapeEntry whole, refused;
    convert(c, whole);
    const uint64_t work = c.Used();
    ASSERT_LT(whole.wStartEdgeCount, 8);
    EXPECT_TRUE(c.shell.messages.empty());
    c.ctx.m_budget.shapeWork = Allowance(work - 1, 0, 0);
    convert(c, refused);
    EXPECT_EQ(refused.wStartEdgeCount, 8);
    EXPECT_EQ(refused.wEndEdgeCount, 8);
    EXPECT_TRUE(std::ranges::equal(refused.pStartEdges.counted(), decoded.pStartEdges.counted()));
    EXPECT_TRUE(std::ranges::equal(refused.pEndEdges.counted(), decoded.pEndEdges.counted()));
    ASSERT_EQ(c.shell.messages.size(), 1u);
    EXPECT_EQ(c.shell.messages[0], "BRASKELON Tovrani: DefineMorphShape (character 3): " + kAsked +
                                       "; the morph shape was written without the problem search.");
  }
}

// What a shape's records will hold is charged before the work starts: the
// builder's graph by its edges, the analysis by its records. A shape they
// alone do not fit keeps every record and is named, though the rest of its
// work would be small. Pairs the builder's sweep meets cost even when their
// boxes miss: lines stacked over one stretch of x meet pair by pair.
TEST(ShapeWorkAllowance, RecordsHeldAndPairsMetAreCharged) {
  auto shape = [](int lines, const std::function<void(ShapeRecords&)>& draw) {
    SwfBytes b;
    b.rect(0, 2000, 0, 20 * lines + 2000).u8(1).u8(0).u8(200).u8(0).u8(0).u8(1).u8(20).u8(0).u8(0).u8(0).u8(0);
    b.u8(0x11);
    ShapeRecords r{b, 1, 1};
    draw(r);
    r.End();
    return b.data();
  };
  const std::string named = "; the shape was written without the problem search.";
  // A stroked zigzag of 200 edges and a line drawn twice, which the
  // analysis removes: the rest of the work on it is small.
  const auto zigzag = shape(0, [](ShapeRecords& r) {
    r.Change(std::pair(0, 0), std::nullopt, std::nullopt, 1u);
    for (int i = 0; i < 200; ++i) r.Straight(10, i % 2 ? -10 : 10);
    r.Change(std::pair(100, 500), std::nullopt, std::nullopt, std::nullopt).Straight(50, 0);
    r.Change(std::pair(100, 500), std::nullopt, std::nullopt, std::nullopt).Straight(50, 0);
  });
  for (uint64_t perRecord : {kGraphEdgeWork, kAnalysedRecordWork}) {
    Context c;
    c.ctx.options.heuristicProblemSearch = perRecord == kAnalysedRecordWork;
    c.ctx.m_budget.shapeWork = Allowance(kAmple, 0, 0);
    Convert(c.ctx, 1, zigzag);
    EXPECT_LT(c.Used(), 2 * 202 * perRecord);
    c.ctx.m_budget.shapeWork = Allowance(202 * perRecord - 1, 0, 0);
    EXPECT_EQ(Convert(c.ctx, 2, zigzag), std::vector<uint32_t>{202});
    EXPECT_EQ(c.shell.messages,
              std::vector<std::string>{"BRASKELON Tovrani: DefineShape2 (character 2): " + kAsked + named});
  }

  const auto stack = shape(2000, [](ShapeRecords& r) {
    for (int i = 0; i < 2000; ++i) {
      r.Change(std::pair(0, 20 * i), std::nullopt, std::nullopt, i == 0 ? std::optional(1u) : std::nullopt);
      r.Straight(1000, 0);
    }
  });
  Context lines;
  lines.ctx.m_budget.shapeWork = Allowance(kAmple, 0, 0);
  Convert(lines.ctx, 3, stack);
  EXPECT_GE(lines.Used(), 2000u * 1999u / 2u / 8u + 2000u * kGraphEdgeWork);
}

// ---- What one object's work holds ----

// DefineShape2: a filled zigzag of `edges` one-twip edges, then a line
// drawn twice, which the analysis leaves once.
std::vector<uint8_t> ZigzagAndRepeatedLine(int edges) {
  SwfBytes b;
  b.rect(0, 2000, 0, 2000).u8(1).u8(0).u8(200).u8(0).u8(0).u8(1).u8(20).u8(0).u8(0).u8(0).u8(0);
  b.u8(0x11);
  ShapeRecords r{b, 1, 1};
  r.Change(std::pair(0, 0), 1u, std::nullopt, 0u);
  for (int i = 0; i < edges; ++i) r.Straight(1, i % 2 ? -1 : 1);
  for (int left = edges; left > 0; left -= 65535) r.Straight(-std::min(left, 65535), 0);
  for (int copy = 0; copy < 2; ++copy)
    r.Change(std::pair(100, 500), copy ? std::nullopt : std::optional(0u), std::nullopt, 1u).Straight(50, 0);
  r.End();
  return b.data();
}

// The records' memory is paid before the work starts, from the object's
// cap: a zigzag whose records the old charge priced at under half the cap
// would hold more than 200 MiB in the analysis (900,000 records) or the
// builder (750,000 edges), and goes out as decoded; a smaller one is worked
// on. The movie's allowance is ample.
TEST(ShapeMemory, ShapesWhoseRecordsWouldHoldMoreThanTheCapPaysForAreLeft) {
  for (const bool builder : {false, true}) {
    const int large = builder ? 750000 : 900000;
    ASSERT_LT(large * (builder ? kGraphEdgeWork : kAnalysedRecordWork),
              (builder ? kBuildShapeCap : kShapeAnalysisCap) / 2);
    for (const int edges : {20000, large}) {
      SCOPED_TRACE(edges);
      Context c;
      c.ctx.options.heuristicProblemSearch = builder ? 0 : 1;
      c.ctx.options.exactProblemSearch = builder ? 1 : 0;
      c.ctx.m_budget.shapeWork = Allowance(kAmple, 0, 0);
      g_bVectorizationProblem = 0;
      const uint32_t decoded = uint32_t(edges + (edges + 65534) / 65535 + 2);
      EXPECT_EQ(Convert(c.ctx, 1, ZigzagAndRepeatedLine(edges)) == std::vector<uint32_t>{decoded}, edges == large);
      EXPECT_EQ(g_bVectorizationProblem, builder && edges == large ? 1 : 0);
      EXPECT_TRUE(c.shell.messages.empty());
    }
  }
  g_bVectorizationProblem = 0;
}

// The regions the builder keeps are paid for as they are made: triangles
// 100,000 rows tall, a rectangle a row, are filled and kept until the work
// gives out, which their time alone would pay for twice over. What they
// keep stays within the free part and what the budget buys past it.
TEST(ShapeMemory, RegionsKeptArePaidForAsTheyAreMade) {
  Path triangle;
  triangle.MoveTo(0, 0);
  triangle.LineTo(100000, 100000);
  triangle.LineTo(0, 100000);
  Region one;
  FillWork time;
  ASSERT_EQ(triangle.ToRegion(one, time), RegionKind::kComplex);
  const uint64_t budget = uint64_t(1) << 25;
  ShapeGeometry geo{budget, nullptr, HeldMemory(kBuildShapeCap, 0)};
  std::vector<Region> kept;
  uint64_t bytes = 0;
  for (Region r; geo.Fill(triangle, r); kept.push_back(std::move(r)))
    bytes += r.RectCount() * sizeof(pixman_box32_t);
  EXPECT_GT(bytes, HeldMemory::kFreeBytes);
  EXPECT_LE(bytes, HeldMemory::kFreeBytes +
                       budget * (HeldMemory::kMostBytes - HeldMemory::kFreeBytes) / kBuildShapeCap);
  EXPECT_LT(2 * kept.size() * time.spent, budget);
}

}  // namespace
}  // namespace tovrani
