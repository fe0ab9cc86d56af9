// Continuing a shape in a further shape object on a new layer: the bytes
// appended, the count patches and the position left for the next one.
#include "shape/builder/shape_continuation.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include <filesystem>

#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/archive.h"
#include "fla/layer_records.h"
#include "fla/work_files.h"
#include "shape/decode/encoded_shape.h"
#include "shape/shape_test_support.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace tovrani {
namespace {

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

size_t Size(std::FILE* f) {
  std::fseek(f, 0, SEEK_END);
  return size_t(std::ftell(f));
}

// What the layer change alone writes at a level.
size_t LayerChangeSize(uint8_t level) {
  std::FILE* f = std::tmpfile();
  WriteLayerRecord(f, 1, level);
  BeginLayerAndFrame(f, level);
  WriteShapeRecordHead(f, false, level);
  const size_t n = Size(f);
  std::fclose(f);
  return n;
}

TEST(ShapeContinuation, PatchesTheEndedCountAndLeavesTheNewField) {
  const std::vector<uint8_t> fill = {0xFF, 0, 0, 0xFF, 0x00};
  for (uint8_t level : {0, 1, 2}) {
    ConverterContext ctx;
    ctx.m_nFlaFormat = level;
    std::FILE* f = std::tmpfile();
    WriteShapeRecordHead(f, true, level);
    const std::vector<uint8_t> edges(30, 0x11);
    PutBytes(f, edges.data(), edges.size());
    const size_t before = Size(f);
    size_t countField = 0;
    ASSERT_TRUE(StartShapeObjectWithFill(ctx, 0x01020304, fill, f, countField, 1));
    const size_t afterFill = before + LayerChangeSize(level) + 4 + fill.size();
    EXPECT_EQ(size_t(std::ftell(f)), afterFill);
    EXPECT_EQ(countField, afterFill - 4 - fill.size() - 4);
    ASSERT_TRUE(StartShapeObjectWithoutFills(ctx, 0, f, countField, 2));
    const size_t end = afterFill + LayerChangeSize(level) + 2;
    EXPECT_EQ(size_t(std::ftell(f)), end);
    EXPECT_EQ(countField, end - 2 - 4);
    const std::vector<uint8_t> page = test::WorkFiles::Contents(f);
    std::fclose(f);
    ASSERT_EQ(page.size(), end);
    EXPECT_EQ(U32At(page, level == 2 ? 89 : 87), 0x01020304u) << int(level);
    EXPECT_EQ(U32At(page, afterFill - 4 - fill.size() - 4), 0u);
    const auto styles = page.begin() + long(afterFill - 4 - fill.size());
    EXPECT_EQ(std::vector<uint8_t>(styles, styles + 9),
              (std::vector<uint8_t>{1, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0}));
    EXPECT_EQ(page[end - 2] | page[end - 1], 0);
    EXPECT_EQ(ctx.m_nWriterError, 0);
  }
}

TEST(ShapeContinuation, AFailedWriteFailsTheConversion) {
  ConverterContext ctx;
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  size_t countField = 0;
  EXPECT_FALSE(StartShapeObjectWithoutFills(ctx, 3, full, countField, 1));
  std::fclose(full);
  EXPECT_EQ(ctx.m_nWriterError, kResultOutputIncomplete);
}

// The builder continues the shape into a page stream on a full disk.
void ContinueOnAFullDisk(ShapeContext& ctx, ShapeBlock&, std::span<const uint8_t>, std::FILE*,
                         size_t& countFieldPos, const StyleIndex*) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (!full) return;
  StartShapeObjectWithoutFills(ctx, 4, full, countFieldPos, 1);
  std::fclose(full);
}

TEST(ShapeContinuation, AFullDiskEndsTheConversionWithoutOutput) {
  test::SwfBytes b;
  b.u16(1).rect(0, 2000, 0, 1000);
  b.u8(1).u8(0).u8(0xFF).u8(0).u8(0).u8(0).u8(0x10);
  test::ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(2000, 0).Straight(0, 1000).Straight(-2000, 0).Straight(0, -1000).End();
  test::SwfWriter w(8);
  w.tag(2, b.data()).showFrame().end();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), w.build());
  ConverterContext ctx;
  test::RecordingShell shell;
  ctx.m_pShell = &shell;
  ctx.options.heuristicProblemSearch = false;
  ctx.m_pBuildShapeHook = &ContinueOnAFullDisk;
  EXPECT_EQ(ConvertMovie(ctx, dir.file("in.swf"), dir.file("out.fla"), 0),
            uint32_t(kResultOutputIncomplete));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.fla")));
}

TEST(ShapeContinuation, CopyPointEdgesKeepsTheDestinationsRegionsAndPending) {
  ShapePoint source{5, -6, {}};
  PointEdge e;
  e.endX = 1, e.endY = 2, e.otherPoint = 3, e.twin = 4, e.controlDx = 5, e.anchorDx = 6;
  e.controlDy = 7, e.anchorDy = 8, e.curved = 1, e.style[1] = 9, e.ordinal[2] = 10;
  e.regionFill0 = 11, e.regionFill1 = 12, e.pending = 1;
  source.edges = {e, e};
  ShapePoint dest{0, 0, std::vector<PointEdge>(1)};
  dest.edges[0].regionFill1 = 77, dest.edges[0].pending = 16;
  CopyPointEdges(dest, source);
  ASSERT_EQ(dest.edges.size(), 2u);
  EXPECT_EQ(dest.x, 5);
  EXPECT_EQ(dest.y, -6);
  for (const PointEdge& d : dest.edges) {
    EXPECT_EQ(std::tuple(d.endX, d.endY, d.otherPoint, d.twin, d.controlDx, d.anchorDx, d.controlDy,
                         d.anchorDy, d.curved, d.style[1], d.ordinal[2]),
              std::tuple(1, 2, 3u, 4u, 5, 6, 7, 8, uint8_t(1), uint8_t(9), 10u));
  }
  EXPECT_EQ(dest.edges[0].regionFill0, kNoRegion);
  EXPECT_EQ(dest.edges[0].regionFill1, 77u);
  EXPECT_EQ(dest.edges[0].pending, 16);
  EXPECT_EQ(dest.edges[1].regionFill0, kNoRegion);  // not copied
  CopyPointEdges(dest, ShapePoint{8, 9, {}});
  EXPECT_TRUE(dest.edges.empty());
}

}  // namespace
}  // namespace tovrani
