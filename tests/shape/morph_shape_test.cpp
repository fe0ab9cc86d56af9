// Morph bodies decoded into the morph table's entry: styles, the two
// encoded halves, the paired runs, and the bodies refused.
#include "shape/decode/morph_shape.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "convert/converter_context.h"
#include "fla/work_files.h"
#include "fla/work_folder.h"
#include "shape/decode/zero_alpha.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/shape_builder.h"
#include "shape/shape_test_support.h"
#include "support/recording_shell.h"

namespace tovrani {
namespace {

using test::MorphBody;
using test::ShapeRecords;
using test::SwfBytes;

constexpr std::array<uint32_t, 6> kNoOffsets{};

// Two solid fills and one line, as tag 46 writes them.
std::vector<uint8_t> PlainStyles() {
  SwfBytes b;
  b.u8(2);
  b.u8(0).u32(0xFF0000FF).u32(0xFFFF0000);  // red to blue
  b.u8(0).u32(0xFF00FF00).u32(0xFF00FF00);
  b.u8(1).u16(20).u16(40).u32(0xFF000000).u32(0xFFFFFFFF);
  return b.data();
}

struct Decoded {
  bool ok = false;
  MorphShapeEntry entry;
  std::vector<std::string> messages;
};

Decoded Decode(const std::vector<uint8_t>& body, uint16_t tag = 46, uint8_t level = 0,
               bool noSearch = true) {
  ConverterContext ctx;
  test::RecordingShell shell;
  ctx.m_pShell = &shell;
  ctx.m_nFlaFormat = level;
  ctx.options.noProblemSearch = noSearch;
  ctx.m_library.bitmapItemNos.insert(7);  // the bitmap the fills below name
  Decoded d;
  d.entry.wCharacterId = 5;
  const uint16_t symbolId = ctx.m_wCurSymbolId;
  d.ok = ConvertMorphShapeTag(ctx, d.entry, body, kNoOffsets, tag);
  EXPECT_EQ(ctx.m_wCurSymbolId, symbolId);
  EXPECT_EQ(d.entry.wCharacterId, 5);
  d.messages = shell.messages;
  return d;
}

std::vector<DecodedEdge> Records(const ShapeBlock& block) {
  std::vector<DecodedEdge> out;
  size_t pos = 0;
  DecodedEdge e;
  while (ReadEdgeRecord(block.bytes, pos, e)) out.push_back(e);
  EXPECT_EQ(pos, block.length);
  return out;
}

std::vector<uint16_t> CurveCounts(const MorphShapeEntry& e) {
  std::vector<uint16_t> v;
  for (const auto& s : e.pSegments) {
    EXPECT_EQ(s.curveCount, s.curves.size());
    v.push_back(s.curveCount);
  }
  return v;
}

TEST(MorphShapeDecoding, EndRunsAreCutByTheirPartnersAndCarryTheirStyles) {
  const auto body = MorphBody(46, PlainStyles(),
      [](ShapeRecords& r) {
        r.Change(std::pair(0, 0), 2u, 1u, 1u);
        r.Straight(11, 5).Straight(100, 0).Straight(0, 100);
        r.Change(std::nullopt, 1u, 0u, std::nullopt);
        r.Straight(10, 10).Curve(5, 5, 5, 5);
      },
      [](ShapeRecords& r) {
        r.Change(std::pair(5, 5), std::nullopt, std::nullopt, std::nullopt);
        for (int i = 0; i < 5; ++i) r.Straight(20, 0);
      });
  for (uint8_t level : {0, 2}) {
    SCOPED_TRACE(int(level));
    const Decoded d = Decode(body, 46, level);
    ASSERT_TRUE(d.ok);
    const MorphShapeEntry& e = d.entry;
    EXPECT_EQ(e.wSegments, 2);
    EXPECT_EQ(CurveCounts(e), (std::vector<uint16_t>{3, 2, 3, 2}));
    EXPECT_EQ(e.wFillStyles, 2);
    EXPECT_EQ(e.wLineStyles, 1);
    EXPECT_EQ(e.pFillStyles[0].startColor, 0xFF0000FFu);
    EXPECT_EQ(e.pFillStyles[0].endColor, 0xFFFF0000u);
    EXPECT_EQ(e.pLineStyles[0].endWidth, 40);
    EXPECT_EQ(e.wHints, 0);
    EXPECT_EQ(e.wStartEdgeCount, 5);
    EXPECT_EQ(e.wEndEdgeCount, 5);
    EXPECT_EQ(e.endEdgeTotal, 5u);

    // The run keeps the SWF indexes; the record holds line, FillStyle1,
    // FillStyle0.
    EXPECT_EQ(e.pSegments[0].fill0, 2);
    EXPECT_EQ(e.pSegments[0].fill1, 1);
    const auto start = Records(e.pStartEdges);
    ASSERT_EQ(start.size(), 5u);
    EXPECT_TRUE(start[0].hasStyles && start[0].hasMove);
    EXPECT_EQ((std::array{start[0].line, start[0].fill0, start[0].fill1}),
              (std::array<uint8_t, 3>{1, 1, 2}));
    // A straight edge pairs through its midpoint.
    const MorphCurveData& p = e.pSegments[0].curves[0];
    EXPECT_EQ((std::array{p.w0, p.w1, p.w2, p.w3}), (std::array{5, 11, 2, 5}));
    EXPECT_EQ(p.curved, 0);
    EXPECT_EQ(e.pSegments[1].curves[1].curved, 1);

    const auto end = Records(e.pEndEdges);
    ASSERT_EQ(end.size(), 5u);
    EXPECT_TRUE(end[0].hasStyles && end[0].hasMove);
    EXPECT_EQ((std::array{end[0].line, end[0].fill0, end[0].fill1}),
              (std::array<uint8_t, 3>{1, 1, 2}));
    EXPECT_FALSE(end[1].hasStyles || end[2].hasStyles || end[4].hasStyles);
    EXPECT_TRUE(end[3].hasStyles && !end[3].hasMove);
    EXPECT_EQ((std::array{end[3].line, end[3].fill0, end[3].fill1}),
              (std::array<uint8_t, 3>{1, 0, 1}));
    EXPECT_EQ(e.pSegments[2].x, 5);
    EXPECT_EQ(e.pSegments[3].x, 65);  // after three edges of 20
  }
}

TEST(MorphShapeDecoding, DefineMorphShape2StylesAtBothLevels) {
  SwfBytes s;
  s.u8(255).u16(2);
  s.u8(0x13).matrix(0, 0).matrix(10, 10).u8(0x42);  // focal, spread mode 4, two stops
  s.u8(0).u32(0xFF0000FF).u8(10).u32(0xFF00FF00);
  s.u8(255).u32(0xFFFF0000).u8(200).u32(0xFFFFFFFF);
  s.u16(0x0080).u16(0xFF80);
  s.u8(0x41).u16(7).matrix(1, 2).matrix(3, 4);
  s.u8(3);
  s.u16(20).u16(40).u8(0x10).u8(0x00).u32(0xFF000000).u32(0xFFFFFFFF);    // bevel
  s.u16(20).u16(40).u8(0x20).u8(0x04).u16(0x0280).u32(1).u32(2);         // miter
  s.u16(20).u16(40).u8(0x08).u8(0x00).u8(0).u32(0xFF123456).u32(0xFF654321);  // filled
  const auto body = MorphBody(84, s.data(),
      [](ShapeRecords& r) { r.Change(std::pair(0, 0), 1u, std::nullopt, 3u).Straight(100, 0); },
      [](ShapeRecords& r) { r.Straight(50, 0); }, 2, 2);
  for (uint8_t level : {0, 2}) {
    SCOPED_TRACE(int(level));
    const Decoded d = Decode(body, 84, level);
    ASSERT_TRUE(d.ok);
    const MorphShapeEntry& e = d.entry;
    ASSERT_EQ(e.wFillStyles, 2);
    const MorphFillStyle& g = e.pFillStyles[0];
    EXPECT_EQ(g.type, 0x12);
    EXPECT_EQ(g.gradientCount, 2);
    EXPECT_EQ(g.gradient[1].endRatio, 200);
    EXPECT_EQ(g.endMatrix[4], 10);
    using Extra = std::array<uint8_t, 8>;
    const Extra none{}, start{0x80, 0, 0, 0, 4, 0, 0, 0}, end{0x80, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0};
    EXPECT_EQ(g.startExtra, level == 2 ? start : none);
    EXPECT_EQ(g.endExtra, level == 2 ? end : none);
    EXPECT_EQ(e.pFillStyles[1].bitmapId, 7);
    ASSERT_EQ(e.wLineStyles, 3);
    EXPECT_EQ(e.pLineStyles[0].flags0, 0x10);
    EXPECT_EQ(e.pLineStyles[0].miterLimit, 0x0300);
    EXPECT_EQ(e.pLineStyles[1].miterLimit, 0x0280);
    EXPECT_EQ(e.pLineStyles[1].flags1, 0x04);
    EXPECT_TRUE(e.pLineStyles[2].hasFill);
    EXPECT_EQ(e.pLineStyles[2].startColor, kOpaqueRed);
    EXPECT_EQ(e.pLineStyles[2].fill.endColor, 0xFF654321u);
    // The line's fill read at every level: the shapes after it read right.
    EXPECT_EQ(e.wStartEdgeCount, 1);
    EXPECT_EQ(e.pSegments[0].line, 3);
    EXPECT_EQ(e.wEndEdgeCount, 1);
  }
}

TEST(MorphShapeDecoding, AStartShapeEndingInAStyleChangeGetsItsEndRowsAllTheSame) {
  const auto body = MorphBody(46, PlainStyles(),
      [](ShapeRecords& r) {
        r.Change(std::pair(10, 10), 1u, std::nullopt, std::nullopt).Straight(100, 0).Straight(0, 100);
        r.Change(std::nullopt, 2u, std::nullopt, std::nullopt);
      },
      [](ShapeRecords& r) {
        r.Change(std::pair(30, 30), std::nullopt, std::nullopt, std::nullopt);
        r.Straight(100, 0).Straight(0, 100);
      });
  const Decoded d = Decode(body);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.entry.wSegments, 2);
  EXPECT_EQ(CurveCounts(d.entry), (std::vector<uint16_t>{2, 0, 2, 0}));
  const MorphSegmentData& padded = d.entry.pSegments[3];
  EXPECT_EQ(padded.fill0, 2);  // its partner's styles
  EXPECT_EQ(padded.x, 30);     // where the run before it started
}

TEST(MorphShapeDecoding, BodiesTheDecoderCannotTakeAreRefusedWithAWarning) {
  auto square = [](ShapeRecords& r) {
    r.Change(std::pair(0, 0), 1u, std::nullopt, std::nullopt).Straight(100, 0).Straight(0, 100);
  };
  auto edges = [](ShapeRecords& r) { r.Straight(10, 0).Straight(0, 10); };
  const size_t offsetPos = 2 * SwfBytes().rect(0, 2000, 0, 2000).size();
  SwfBytes badFill;
  badFill.u8(1).u8(0x05).u32(0).u32(0).u8(0);
  const std::vector<uint8_t> plain = MorphBody(46, PlainStyles(), square, edges);
  const struct {
    const char* name;
    std::vector<uint8_t> body;
  } cases[] = {
      {"offset past the body", [&] {
         std::vector<uint8_t> b = plain;
         b[offsetPos + 1] = 0x7F;
         return b;
       }()},
      {"new styles with a move in the start",
       MorphBody(46, PlainStyles(),
                 [](ShapeRecords& r) { r.Change(std::pair(0, 0), 1u, std::nullopt, std::nullopt, true).Straight(5, 0); },
                 edges)},
      {"new styles without a move in the start",
       MorphBody(46, PlainStyles(),
                 [](ShapeRecords& r) { r.Straight(5, 0).Change(std::nullopt, 1u, std::nullopt, std::nullopt, true); },
                 edges)},
      {"new styles in the end",
       MorphBody(46, PlainStyles(), square,
                 [](ShapeRecords& r) { r.Change(std::pair(1, 1), std::nullopt, std::nullopt, std::nullopt, true); })},
      {"unknown fill type", MorphBody(46, badFill.data(), square, edges)},
      {"cut inside the line styles", [&] {
         std::vector<uint8_t> b = plain;
         // The offset, the fills, the line count and part of the line; the
         // end shape would start inside what is left.
         b.resize(offsetPos + 4 + 19 + 1 + 5);
         for (size_t i = 0; i < 4; ++i) b[offsetPos + i] = 0;
         return b;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(c.body);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.messages.size(), 1u);
  }
}

// A half with `edges` straight edges of 300 twips in one run.
std::vector<uint8_t> LongBody(int edges) {
  auto draw = [edges](ShapeRecords& r) {
    r.Change(std::pair(0, 0), 1u, std::nullopt, std::nullopt);
    for (int i = 0; i < edges; ++i) r.Straight(i % 2 ? -300 : 300, 0);
  };
  return MorphBody(46, PlainStyles(), draw, [edges](ShapeRecords& r) {
    for (int i = 0; i < edges; ++i) r.Straight(0, i % 2 ? -300 : 300);
  });
}

TEST(MorphShapeDecoding, LongRunsStayWholeAndHalvesBeyondTheRecordCountAreRefused) {
  const Decoded d = Decode(LongBody(20000));
  ASSERT_TRUE(d.ok);
  EXPECT_GT(d.entry.pStartEdges.length, 70000u);
  const auto extent = MeasureEdgeStream(d.entry.pStartEdges.bytes);
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->records, 20000u);
  EXPECT_EQ(extent->endPos, d.entry.pStartEdges.length);
  EXPECT_EQ(d.entry.pSegments[0].curveCount, 20000);

  EXPECT_FALSE(Decode(LongBody(70000)).ok);
}

TEST(MorphShapeDecoding, BothHalvesGoThroughTheAnalysisUnlessNoProblemSearchIsOn) {
  // A square whose third edge is followed by a zero-length one.
  auto draw = [](ShapeRecords& r) {
    r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
    r.Straight(100, 0).Straight(0, 100).Straight(0, 0).Straight(-100, 0).Straight(0, -100);
  };
  const auto body = MorphBody(46, PlainStyles(), draw, draw);
  const Decoded asDecoded = Decode(body, 46, 0, true);
  ASSERT_TRUE(asDecoded.ok);
  EXPECT_EQ(asDecoded.entry.wStartEdgeCount, 5);  // every edge is written
  const Decoded analysed = Decode(body, 46, 0, false);
  ASSERT_TRUE(analysed.ok);
  EXPECT_EQ(analysed.entry.wStartEdgeCount, 4);
  EXPECT_EQ(analysed.entry.wEndEdgeCount, 4);
  EXPECT_EQ(analysed.entry.pStartEdges.recordCount, 4u);
  EXPECT_EQ(analysed.entry.endEdgeTotal, 5u);  // as decoded
}

// Whether the builder's search finds crossing edges in a half.
bool HalfHasCrossing(const ShapeBlock& half) {
  ConverterContext ctx;
  ShapeBlock block = half;
  ShapeBuilder b(ctx, block, {}, nullptr);
  bool problem = false;
  auto o = b.Read();
  if (o == ShapeBuilder::Outcome::kGoOn) o = b.JoinStraightEdges();
  if (o == ShapeBuilder::Outcome::kGoOn) {
    b.MarkSides();
    o = b.TraceOutlines();
  }
  if (o == ShapeBuilder::Outcome::kGoOn) o = b.SearchEdgeProblems(problem);
  EXPECT_EQ(o, ShapeBuilder::Outcome::kGoOn);
  return problem;
}

TEST(MorphShapeDecoding, WithEveryProblemSearchOffHalvesWithOverlapsAreRepairedInTheirGraphs) {
  // Two squares of one fill that partly cover each other, in both halves.
  auto squares = [](int shift, bool styles) {
    return [shift, styles](ShapeRecords& r) {
      r.Change(std::pair(shift, shift), std::nullopt, styles ? std::optional(1u) : std::nullopt,
               std::nullopt);
      r.Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(0, -1000);
      r.Change(std::pair(shift + 500, shift + 500), std::nullopt, std::nullopt, std::nullopt);
      r.Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(0, -1000);
    };
  };
  const auto body = MorphBody(46, PlainStyles(), squares(0, true), squares(200, false));
  ConverterContext ctx;
  ctx.options.heuristicProblemSearch = 0;
  MorphShapeEntry entry;
  ASSERT_TRUE(ConvertMorphShapeTag(ctx, entry, body, kNoOffsets, 46));
  EXPECT_EQ(g_bVectorizationProblem, 0);
  // Each half keeps one square: the other crosses it. The morph records
  // pair halves of equal counts.
  EXPECT_EQ(entry.wStartEdgeCount, 4);
  EXPECT_EQ(entry.wEndEdgeCount, 4);
  EXPECT_FALSE(HalfHasCrossing(entry.pStartEdges));
  EXPECT_FALSE(HalfHasCrossing(entry.pEndEdges));
  const Decoded asDecoded = Decode(body);
  ASSERT_TRUE(asDecoded.ok);
  EXPECT_TRUE(HalfHasCrossing(asDecoded.entry.pStartEdges));
}

TEST(MorphShapeDecoding, MutatedBodiesNeverReadOrWriteOutsideTheirBuffers) {
  const std::vector<uint8_t> seeds[] = {
      LongBody(40),
      MorphBody(84, SwfBytes().u8(1).u8(0x13).matrix(0, 0).matrix(5, 5).u8(0x12).u8(0).u32(1).u8(9)
                        .u32(2).u8(1).u32(3).u8(8).u32(4).u16(0x10).u16(0x20).u8(1).u16(5).u16(6)
                        .u8(0x28).u8(0x04).u16(0x0100).u8(0x41).u16(3).matrix(1, 1).matrix(2, 2).data(),
                [](ShapeRecords& r) {
                  r.Change(std::pair(3, 3), 1u, 1u, 1u).Curve(4, 4, 4, -4).Straight(-8, 0);
                  r.Change(std::nullopt, 0u, std::nullopt, std::nullopt).Straight(1, 1);
                },
                [](ShapeRecords& r) { r.Straight(2, 2).Curve(1, 1, 1, 1).Straight(-5, 0).Straight(9, 9); }),
  };
  std::mt19937 rng(7);
  for (int i = 0; i < 400; ++i) {
    std::vector<uint8_t> body = seeds[i % 2];
    const int flips = 1 + int(rng() % 8);
    for (int k = 0; k < flips; ++k) body[rng() % body.size()] ^= uint8_t(1u << (rng() % 8));
    if (rng() % 4 == 0) body.resize(rng() % body.size());
    const uint16_t tag = i % 3 ? 84 : 46;
    Decoded d = Decode(body, tag, uint8_t(i % 2 ? 2 : 0), i % 5 == 0);
    if (d.ok) { EXPECT_GE(d.entry.pSegments.size(), 2u * d.entry.wSegments); }
    if (i % 4 == 0) {
      test::WorkFiles files;
      WorkFolder folder;
      ASSERT_TRUE(folder.create());
      files.ctx.m_pWorkFolder = &folder;
      files.ctx.options.heuristicProblemSearch = i % 8 == 0;
      MorphShapeEntry entry;
      if (ConvertMorphShapeTagExact(files.ctx, entry, body, kNoOffsets, tag))
        EXPECT_EQ(files.ctx.m_nStreams, 2u);
      else
        EXPECT_FALSE(std::filesystem::exists(folder.file("fill")));
    }
    std::vector<uint8_t> copy = body;
    FixMorphZeroAlpha(copy);
    FixZeroAlpha(body);
  }
}

}  // namespace
}  // namespace tovrani
