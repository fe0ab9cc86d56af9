// Shapes through the whole conversion: a movie with shapes placed on the
// main timeline becomes a document with one symbol page per shape, and a
// scene that places them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"
#include "convert/engine.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

std::vector<uint8_t> RedRectangle() {
  SwfBytes b;
  b.u16(1).rect(0, 2000, 0, 1000);
  b.u8(1).u8(0).u8(0xFF).u8(0).u8(0).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(2000, 0).Straight(0, 1000).Straight(-2000, 0).Straight(0, -1000).End();
  return b.data();
}

// Eight curves around a circle, with a translucent blue outline.
std::vector<uint8_t> CurvedShape() {
  SwfBytes b;
  b.u16(2).rect(0, 800, 0, 800);
  b.u8(1).u8(0).u8(0).u8(0xFF).u8(0x33).u8(0xFF);
  b.u8(1).u16(40).u8(0).u8(0).u8(0xFF).u8(0x80);
  b.u8(0x11);
  ShapeRecords r{b, 1, 1};
  r.Change(std::pair(800, 400), std::nullopt, 1u, 1u);
  const int c[8][4] = {{0, 166, -117, 117}, {-117, 117, -166, 0}, {-166, 0, -117, -117},
                       {-117, -117, 0, -166}, {0, -166, 117, -117}, {117, -117, 166, 0},
                       {166, 0, 117, 117}, {117, 117, 0, 166}};
  for (const auto& q : c) r.Curve(q[0], q[1], q[2], q[3]);
  r.End();
  return b.data();
}

class ShapeMovie : public ::testing::TestWithParam<int> {};

TEST_P(ShapeMovie, ShapesBecomeSymbolPagesThatTheScenePlaces) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  test::SwfWriter w(version);
  w.tag(2, RedRectangle()).tag(32, CurvedShape());
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 100));
  w.tag(26, SwfBytes().u8(0x06).u16(2).u16(2).matrix(3000, 100)).showFrame().end();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), w.build());

  ConverterContext ctx;
  test::RecordingShell shell;
  ctx.m_pShell = &shell;
  ASSERT_EQ(ConvertMovie(ctx, dir.file("in.swf"), dir.file("out.fla"), 0), uint32_t(kResultDone));
  std::map<std::string, std::vector<uint8_t>> streams;
  ASSERT_TRUE(test::ReadCompoundFile(dir.file("out.fla"), streams));
  EXPECT_TRUE(test::DocumentShowsMovie(w.build(), streams));

  const uint32_t edgesDrawn[] = {4, 8};
  for (uint16_t id = 1; id <= 2; ++id) {
    const std::string name = "Symbol " + std::to_string(id);
    ASSERT_TRUE(streams.count(name)) << name;
    const std::vector<uint8_t>& page = streams[name];
    EXPECT_TRUE(test::PageWalksClean(page)) << name;
    std::vector<uint32_t> edgeCounts;
    ASSERT_TRUE(test::CheckShapePage(page, level, id, &edgeCounts)) << name;
    EXPECT_EQ(edgeCounts, std::vector<uint32_t>{edgesDrawn[id - 1]}) << name;
  }
  ASSERT_TRUE(streams.count("Page 1"));
  const test::PageWalk scene = test::WalkPage(streams["Page 1"]);
  EXPECT_TRUE(scene.ok) << scene.error;
  EXPECT_EQ(scene.count("CPicSymbol"), 2u);
}

// "Shape" off: shapes fill the cache only, so the document holds no shape
// item and the scene's keyframes stay empty instead of naming one. The
// exact search steers the heuristic one shape by shape and gives the
// user's choice back: a second movie converts as if it were alone.
TEST_P(ShapeMovie, ShapeOptionsLeaveNoTraceInTheNextMovie) {
  const uint8_t version = uint8_t(GetParam());
  test::SwfWriter w(version);
  w.tag(2, RedRectangle()).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 100)).showFrame().end();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), w.build());
  test::RecordingShell shell;
  auto convert = [&](ConverterContext& ctx, const std::string& out) {
    ctx.m_pShell = &shell;
    EXPECT_EQ(ConvertMovie(ctx, dir.file("in.swf"), dir.file(out), 0), uint32_t(kResultDone));
    std::map<std::string, std::vector<uint8_t>> streams;
    EXPECT_TRUE(test::ReadCompoundFile(dir.file(out), streams));
    return streams;
  };

  ConverterContext off;
  off.options.shape = 0;
  auto streams = convert(off, "off.fla");
  EXPECT_FALSE(streams.count("Symbol 1"));
  const test::PageWalk scene = test::WalkPage(streams["Page 1"]);
  EXPECT_TRUE(scene.ok) << scene.error;
  EXPECT_EQ(scene.count("CPicSymbol"), 0u);

  ConverterContext batch, alone;
  batch.options.exactProblemSearch = alone.options.exactProblemSearch = 1;
  convert(batch, "first.fla");
  EXPECT_EQ(batch.options.heuristicProblemSearch, 1);
  EXPECT_EQ(convert(batch, "second.fla"), convert(alone, "alone.fla"));
}

// A document that needs script pieces fails when its script could not be
// created, and leaves no document behind; one that needs none converts.
TEST_P(ShapeMovie, PiecesWithoutTheirScriptFail) {
  test::SwfWriter w{uint8_t(GetParam())};
  w.tag(2, RedRectangle()).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 100)).showFrame().end();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), w.build());
  test::RecordingShell shell;
  for (const bool imported : {true, false}) {
    ConverterContext ctx;
    ctx.m_pShell = &shell;
    ctx.m_bJsflMissing = 1;
    ctx.m_strShapesFolder = dir.file("shapes/");
    ctx.options.shapeJsflImport = imported;
    const uint32_t result = ConvertMovie(ctx, dir.file("in.swf"), dir.file("out.fla"), 0);
    EXPECT_EQ(result, imported ? uint32_t(kResultOutputIncomplete) : uint32_t(kResultDone));
    EXPECT_EQ(std::filesystem::exists(dir.file("out.fla")), !imported);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, ShapeMovie, ::testing::Values(6, 7, 8));

}  // namespace
}  // namespace tovrani
