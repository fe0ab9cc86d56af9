#include "fla/stream_placement.h"

#include <gtest/gtest.h>

#include "fla/archive.h"
#include "fla/layer_records.h"
#include "fla/work_files.h"
#include "support/byte_sink.h"

namespace tovrani::test {
namespace {

uint32_t Le32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
}

TEST(StreamPlacement, CutOffBetweenMiniStreamAndRegularSectors) {
  WorkFiles w;
  auto& ctx = w.ctx;
  ctx.m_wCurSymbolId = 1;
  ASSERT_TRUE(PlaceSymbolStream(ctx, Pattern(4096, 1), 0));
  ASSERT_TRUE(PlaceSymbolStream(ctx, Pattern(4095, 2), 1));

  EXPECT_EQ(ctx.m_pStreamStart.at(0), 0u);
  EXPECT_EQ(ctx.m_pStreamSize.at(0), 4096u);
  EXPECT_EQ(ctx.m_pBigStreamList.at(0), 0x1000000u);  // row 0, symbol kind
  EXPECT_EQ(WorkFiles::Contents(ctx.m_pBigSectorFile), Pattern(4096, 1));

  // 4095 bytes take 64 mini sectors, chained 0 -> 1 -> ... -> 63 -> end.
  EXPECT_EQ(ctx.m_pStreamStart.at(1), 0u);
  EXPECT_EQ(ctx.m_pBigStreamList.at(1), 0u);
  auto mini = WorkFiles::Contents(ctx.m_pMiniStreamFile);
  ASSERT_EQ(mini.size(), 4096u);
  EXPECT_EQ(mini[4095], 0);
  for (uint32_t i = 0; i < 63; ++i) ASSERT_EQ(w.MiniFatEntry(i), i + 1);
  EXPECT_EQ(w.MiniFatEntry(63), kEndOfChain);
  EXPECT_EQ(w.MiniFatEntry(64), kFreeSector);

  EXPECT_EQ(ctx.m_nStreams, 2u);
  EXPECT_EQ(ctx.m_nBigStreamList, 2u);
  EXPECT_EQ(ctx.m_nSymbolStreams, 2u);
  EXPECT_EQ(ctx.m_wCurSymbolId, 3);
  EXPECT_EQ(ctx.m_pStreamId.at(0), 1);
  EXPECT_EQ(ctx.m_pStreamId.at(1), 2);
  EXPECT_EQ(ctx.m_pStreamFlagA.at(1), 1);
}

TEST(StreamPlacement, MiniFatChains) {
  WorkFiles w;
  auto& ctx = w.ctx;
  StreamPlacement where;
  // Five sectors in use, then a 100-byte stream: entries 5 -> 6 -> end.
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(320, 0), where));
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(100, 1), where));
  EXPECT_EQ(where.start, 5u);
  EXPECT_FALSE(where.regular);
  EXPECT_EQ(w.MiniFatEntry(4), kEndOfChain);
  EXPECT_EQ(w.MiniFatEntry(5), 6u);
  EXPECT_EQ(w.MiniFatEntry(6), kEndOfChain);

  // Up to sector 120, then 16 sectors across entry 127 into a new block.
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(63 * 64, 2), where));
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(50 * 64, 2), where));
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(1000, 3), where));
  EXPECT_EQ(where.start, 120u);
  EXPECT_EQ(w.MiniFatEntry(127), 128u);
  EXPECT_EQ(w.MiniFatEntry(134), 135u);
  EXPECT_EQ(w.MiniFatEntry(135), kEndOfChain);
  ASSERT_EQ(ctx.m_nMiniFatBlocks, 2u);
  EXPECT_EQ(ctx.m_nMiniFatPos, 8u);
  for (uint32_t slot = 8; slot < 128; ++slot) ASSERT_EQ(ctx.m_apMiniFatBlocks[1][slot], kFreeSector);

  // Filling a block exactly leaves a fresh, empty block after it.
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(63 * 64, 4), where));
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(57 * 64, 4), where));
  EXPECT_EQ(ctx.m_nMiniFatBlocks, 3u);
  EXPECT_EQ(ctx.m_nMiniFatPos, 0u);
  EXPECT_EQ(w.MiniFatEntry(255), kEndOfChain);

  // An empty stream chains nothing.
  ASSERT_TRUE(AppendStreamData(ctx, {}, where));
  EXPECT_EQ(where.start, 256u);
  EXPECT_EQ(ctx.m_nMiniFatPos, 0u);
}

TEST(StreamPlacement, ChainCountComesFromTheTableNotTheCaller) {
  // The scene page of 0 or 1 bytes passes its size instead of its start.
  WorkFiles w;
  auto& ctx = w.ctx;
  StreamPlacement where;
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(640, 0), where));  // sectors 0..9
  auto one = Pattern(1, 5);
  ASSERT_TRUE(WriteBytes(ctx.m_pMiniStreamFile, one.data(), 1));
  ASSERT_GE(PadToMiniSector(ctx.m_pMiniStreamFile), 0);
  ASSERT_TRUE(ChainMiniSectors(ctx, 1));
  EXPECT_EQ(w.MiniFatEntry(9), kEndOfChain);  // the earlier chain is untouched
  EXPECT_EQ(w.MiniFatEntry(10), kEndOfChain);
  EXPECT_EQ(ctx.m_nMiniFatPos, 11u);
}

TEST(StreamPlacement, MediaEntries) {
  WorkFiles w;
  ASSERT_TRUE(WriteStreamDirEntry(w.ctx, 9, 300, 7));
  ASSERT_TRUE(WriteStreamDirEntry(w.ctx, 10, 5000, 2));
  ASSERT_TRUE(WriteStreamDirEntry(w.ctx, 11, 0, 0));
  auto dir = WorkFiles::Contents(w.ctx.m_pMediaDirFile);
  ASSERT_EQ(dir.size(), 3 * 128u);

  std::vector<uint8_t> first;
  for (char c : std::string("Media 9")) first.insert(first.end(), {static_cast<uint8_t>(c), 0});
  first.resize(64, 0);
  Append(first, Bytes({16, 0, 2, 1, 10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  first.resize(116, 0);
  Append(first, Bytes({7, 0, 0, 0, 0x2C, 0x01, 0, 0, 0, 0, 0, 0}));
  EXPECT_BYTES(std::vector<uint8_t>(dir.begin(), dir.begin() + 128), first);

  EXPECT_EQ(dir[128 + 14], '0');  // "Media 10"
  EXPECT_EQ(dir[128 + 64], 18);
  EXPECT_EQ(Le32(dir, 128 + 68), 1u);
  EXPECT_EQ(dir[256 + 64], 18);
  EXPECT_EQ(Le32(dir, 256 + 68), 12u);
  EXPECT_EQ(Le32(dir, 128 + 120), 5000u);
}

TEST(StreamPlacement, SymbolEntriesCountTheFixedEntries) {
  WorkFiles w;
  w.ctx.m_wCurSymbolId = 65534;
  ASSERT_TRUE(WriteSymbolDirEntry(w.ctx, 0, 10, 0));
  EXPECT_EQ(w.ctx.m_nLastSymbolDirEntry, 3u);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(WriteSymbolDirEntryFwd(w.ctx, 0, 10, 0, 99));
  EXPECT_EQ(w.ctx.m_nLastSymbolDirEntry, 8u);
  auto dir = WorkFiles::Contents(w.ctx.m_pSymbolDirFile);
  ASSERT_EQ(dir.size(), 6 * 128u);
  EXPECT_EQ(dir[64], 26);  // "Symbol 65534": 12 characters and the terminator
  EXPECT_EQ(dir[22], '4');
  EXPECT_EQ(Le32(dir, 68), 1u);
}

TEST(StreamPlacement, ExhaustedCountersStopInsteadOfRepeatingNames) {
  WorkFiles w;
  auto& ctx = w.ctx;
  ctx.m_wCurSymbolId = 0xFFFE;
  ASSERT_TRUE(PlaceSymbolStream(ctx, Pattern(10, 0), 0));
  EXPECT_EQ(ctx.m_wCurSymbolId, 0xFFFF);
  EXPECT_FALSE(PlaceSymbolStream(ctx, Pattern(10, 0), 0));
  EXPECT_EQ(ctx.m_nWriterError, kResultTooManyItems);
  EXPECT_EQ(ctx.m_wCurSymbolId, 0xFFFF);
  EXPECT_EQ(WorkFiles::Contents(ctx.m_pSymbolDirFile).size(), 128u);
  // Once failed, nothing more is placed.
  ctx.m_wCurSymbolId = 5;
  EXPECT_FALSE(PlaceSymbolStream(ctx, Pattern(10, 0), 0));

  WorkFiles v;
  v.ctx.m_wNextItemNo = 0xFFFE;
  uint16_t item = 0;
  EXPECT_TRUE(TakeItemNo(v.ctx, item));
  EXPECT_EQ(item, 0xFFFE);
  EXPECT_FALSE(TakeItemNo(v.ctx, item));
  EXPECT_EQ(v.ctx.m_nWriterError, kResultTooManyItems);
}

TEST(StreamPlacement, FailedWritesAreReported) {
  WorkFiles w;
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  std::swap(w.ctx.m_pMiniStreamFile, full);
  EXPECT_FALSE(PlaceSymbolStream(w.ctx, Pattern(100, 0), 0));
  EXPECT_EQ(w.ctx.m_nWriterError, kResultOutputIncomplete);
  EXPECT_EQ(w.ctx.m_nStreams, 0u);
  std::swap(w.ctx.m_pMiniStreamFile, full);
  std::fclose(full);
}

TEST(StreamPlacement, FileHeadIsThePageHeadUpToItsFrameClass) {
  for (uint8_t level : {0, 2}) {
    ByteSink head, page;
    ASSERT_TRUE(CopyFileHead(head));
    WritePageHeadTags(page, level);
    auto copied = head.bytes();
    ASSERT_EQ(copied.size(), 49u);
    if (level == 2) copied[15] = copied[32] = 4;  // what the callers patch
    auto full = page.bytes();
    EXPECT_BYTES(copied, std::vector<uint8_t>(full.begin(), full.begin() + 49));
  }
}

TEST(StreamPlacement, GlyphsBecomeSymbolPages) {
  for (uint8_t level : {0, 2}) {
    WorkFiles w;
    auto& ctx = w.ctx;
    ctx.m_wNextItemNo = 40;
    ctx.m_wCurSymbolId = 7;
    ctx.m_nStreams = 3;
    std::vector<GlyphShape> glyphs(2);
    glyphs[0].edges = {0x11, 0x22, 0x33};
    glyphs[0].edgeCount = 0x01020304;
    glyphs[1].edges = Pattern(5000, 9);  // a large outline goes to the regular sectors
    uint16_t first = 0, last = 0;
    ASSERT_TRUE(PlaceSymbolStreams(ctx, glyphs, first, last, level));
    EXPECT_EQ(first, 40);
    EXPECT_EQ(last, 41);
    EXPECT_EQ(glyphs[0].symbolNo, 40);
    EXPECT_EQ(glyphs[1].symbolNo, 41);
    EXPECT_EQ(ctx.m_pStreamItemNo.at(3), 40);
    EXPECT_EQ(ctx.m_pStreamItemNo.at(4), 41);
    EXPECT_EQ(ctx.m_pStreamId.at(4), 8);
    EXPECT_EQ(ctx.m_pBigStreamList.at(0), 0u);
    EXPECT_EQ(ctx.m_pBigStreamList.at(1), 4u + 0x1000000);
    EXPECT_EQ(ctx.m_nStreams, 5u);
    EXPECT_EQ(ctx.m_wCurSymbolId, 9);

    ByteSink expected;
    WriteShapeRecordHeadShort(expected, true, level);
    PutU32(expected, 0x01020304);
    PutBytes(expected, Bytes({1, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0x11, 0x22, 0x33}).data(), 13);
    WriteLayerRecord(expected, 1, level);
    if (level >= 2)
      WriteLayerEndNew(expected, 2);
    else
      WriteLayerEndOld(expected, 2);
    auto page = expected.bytes();
    auto mini = WorkFiles::Contents(ctx.m_pMiniStreamFile);
    ASSERT_EQ(ctx.m_pStreamSize.at(3), page.size());
    EXPECT_BYTES(std::vector<uint8_t>(mini.begin(), mini.begin() + page.size()), page);
    ByteSink head;
    WriteShapeRecordHeadShort(head, true, level);
    size_t edgesAt = head.bytes().size() + 4 + 10;
    auto big = WorkFiles::Contents(ctx.m_pBigSectorFile);
    ASSERT_GE(big.size(), edgesAt + 5000);
    EXPECT_BYTES(std::vector<uint8_t>(big.begin() + edgesAt, big.begin() + edgesAt + 5000),
                 glyphs[1].edges);
  }
}

}  // namespace
}  // namespace tovrani::test
