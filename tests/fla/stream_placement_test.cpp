#include "fla/stream_placement.h"

#include <gtest/gtest.h>

#include "fla/archive.h"
#include "fla/expected_records.h"
#include "fla/layer_records.h"
#include "fla/work_files.h"

namespace tovrani::test {
namespace {

TEST(StreamPlacement, PaddingReachesTheNextBoundaryOnlyWhenOffIt) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(PadToSector(f));  // aligned at 0: nothing
  EXPECT_EQ(std::ftell(f), 0);
  std::fputc(7, f);
  EXPECT_TRUE(PadToSector(f));
  EXPECT_EQ(std::ftell(f), 512);
  EXPECT_TRUE(PadToSector(f));
  EXPECT_EQ(std::ftell(f), 512);
  std::fputc(7, f);
  EXPECT_EQ(PadToMiniSector(f), 576);
  EXPECT_EQ(PadToMiniSector(f), 576);
  EXPECT_EQ(WorkFiles::Contents(f).size(), 576u);
  std::fclose(f);
  // A padding that cannot be written is a failure: room for 10 bytes only.
  char room[10];
  for (auto pad : {+[](std::FILE* g) { return PadToSector(g); },
                   +[](std::FILE* g) { return PadToMiniSector(g) >= 0; }}) {
    std::FILE* small = fmemopen(room, sizeof room, "w");
    ASSERT_NE(small, nullptr);
    std::setvbuf(small, nullptr, _IONBF, 0);
    ASSERT_EQ(std::fputc(7, small), 7);
    EXPECT_FALSE(pad(small));
    std::fclose(small);
  }
}

TEST(StreamPlacement, CutOffBetweenMiniStreamAndRegularSectors) {
  WorkFiles w;
  auto& ctx = w.ctx;
  ctx.m_wCurSymbolId = 1;
  ASSERT_TRUE(PlaceSymbolStream(ctx, Pattern(4096, 1), 0));
  ASSERT_TRUE(PlaceSymbolStream(ctx, Pattern(4095, 2), 1));
  EXPECT_EQ(WorkFiles::Contents(ctx.m_pBigSectorFile), Pattern(4096, 1));
  auto mini = Pattern(4095, 2);
  mini.push_back(0);
  EXPECT_EQ(WorkFiles::Contents(ctx.m_pMiniStreamFile), mini);
  // 4095 bytes take 64 mini sectors, chained 0 -> 1 -> ... -> 63 -> end.
  for (uint32_t i = 0; i < 63; ++i) ASSERT_EQ(w.MiniFatEntry(i), i + 1);
  EXPECT_EQ(w.MiniFatEntry(63), kEndOfChain);
  EXPECT_EQ(w.MiniFatEntry(64), kFreeSector);
  // Both start at 0; only the first is on the regular list (row 0, symbol kind).
  EXPECT_EQ(ctx.m_pStreamStart.at(0) + ctx.m_pStreamStart.at(1), 0u);
  EXPECT_EQ(ctx.m_pBigStreamList.at(0), 0x1000000u);
  EXPECT_EQ(ctx.m_pBigStreamList.at(1), 0u);
  EXPECT_EQ(ctx.m_pStreamSize.at(0), 4096u);
  EXPECT_EQ(ctx.m_nStreams + ctx.m_nBigStreamList + ctx.m_nSymbolStreams, 6u);
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
  // (Pieces under 4096 bytes, so they stay in the mini stream.)
  for (int sectors : {63, 50}) ASSERT_TRUE(AppendStreamData(ctx, Pattern(sectors * 64, 2), where));
  ASSERT_TRUE(AppendStreamData(ctx, Pattern(1000, 3), where));
  EXPECT_EQ(where.start, 120u);
  EXPECT_EQ(w.MiniFatEntry(127), 128u);
  EXPECT_EQ(w.MiniFatEntry(135), kEndOfChain);
  ASSERT_EQ(ctx.m_nMiniFatBlocks, 2u);
  EXPECT_EQ(ctx.m_nMiniFatPos, 8u);
  for (uint32_t slot = 8; slot < 128; ++slot) ASSERT_EQ(ctx.m_apMiniFatBlocks[1][slot], kFreeSector);
  // Filling a block exactly leaves a fresh, empty block after it; an empty
  // stream chains nothing.
  for (int sectors : {63, 57}) ASSERT_TRUE(AppendStreamData(ctx, Pattern(sectors * 64, 4), where));
  ASSERT_TRUE(AppendStreamData(ctx, {}, where));
  EXPECT_EQ(ctx.m_nMiniFatBlocks, 3u);
  EXPECT_EQ(w.MiniFatEntry(255), kEndOfChain);
  EXPECT_EQ(where.start, 256u);
  EXPECT_EQ(ctx.m_nMiniFatPos, 0u);
}

TEST(StreamPlacement, ChainCountComesFromTheTableNotTheCaller) {
  // The scene page of 0 or 1 bytes passes its size instead of its start.
  WorkFiles w;
  StreamPlacement where;
  ASSERT_TRUE(AppendStreamData(w.ctx, Pattern(640, 0), where));  // sectors 0..9
  ASSERT_TRUE(WriteBytes(w.ctx.m_pMiniStreamFile, Pattern(1, 5).data(), 1));
  ASSERT_GE(PadToMiniSector(w.ctx.m_pMiniStreamFile), 0);
  ASSERT_TRUE(ChainMiniSectors(w.ctx, 1));
  EXPECT_EQ(w.MiniFatEntry(9), kEndOfChain);  // the earlier chain is untouched
  EXPECT_EQ(w.MiniFatEntry(10), kEndOfChain);
  EXPECT_EQ(w.ctx.m_nMiniFatPos, 11u);
}

TEST(StreamPlacement, DirectoryEntries) {
  WorkFiles w;
  ASSERT_TRUE(WriteStreamDirEntry(w.ctx, 9, 300, 7));
  ASSERT_TRUE(WriteStreamDirEntry(w.ctx, 10, 5000, 2));
  ASSERT_TRUE(WriteStreamDirEntry(w.ctx, 11, 0, 0));
  const auto media = WorkFiles::Contents(w.ctx.m_pMediaDirFile);
  ASSERT_EQ(media.size(), 3 * 128u);
  // Name, its byte length with the terminator, stream type, black, left sibling.
  auto entry = FieldBytes("UTF-16 \"Media 9\"; u16 0 x 25, 16; u8 2, 1; u32 10, -1, -1");
  entry.resize(116);
  Append(entry, FieldBytes("u32 7, 300, 0"));
  EXPECT_BYTES(Slice(media, 0, 128), entry);
  EXPECT_BYTES(Slice(media, 128, 146), FieldBytes("UTF-16 \"Media 10\"; u16 0"));
  for (size_t at : {128u, 256u}) EXPECT_EQ(media[at + 64], 18);  // "Media 10", "Media 11"
  EXPECT_EQ(Le32(media, 128 + 68), 1u);  // 10 links to 1, 11 to 12
  EXPECT_EQ(Le32(media, 256 + 68), 12u);

  w.ctx.m_wCurSymbolId = 65534;
  ASSERT_TRUE(WriteSymbolDirEntry(w.ctx, 0, 10, 0));
  EXPECT_EQ(w.ctx.m_nLastSymbolDirEntry, 3u);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(WriteSymbolDirEntryFwd(w.ctx, 0, 10, 0, 99));
  EXPECT_EQ(w.ctx.m_nLastSymbolDirEntry, 8u);
  const auto symbols = WorkFiles::Contents(w.ctx.m_pSymbolDirFile);
  ASSERT_EQ(symbols.size(), 6 * 128u);
  EXPECT_BYTES(Slice(symbols, 0, 26), FieldBytes("UTF-16 \"Symbol 65534\"; u16 0"));
  EXPECT_EQ(symbols[64], 26);
  EXPECT_EQ(Le32(symbols, 68), 1u);
}

TEST(StreamPlacement, ExhaustedCountersAndFailedWritesStopThePlacement) {
  WorkFiles w;
  w.ctx.m_wCurSymbolId = 0xFFFE;
  ASSERT_TRUE(PlaceSymbolStream(w.ctx, Pattern(10, 0), 0));
  // The next one would wrap and repeat a stream name; once failed, nothing more is placed.
  EXPECT_FALSE(PlaceSymbolStream(w.ctx, Pattern(10, 0), 0));
  EXPECT_EQ(w.ctx.m_nWriterError, kResultTooManyItems);
  w.ctx.m_wCurSymbolId = 5;
  EXPECT_FALSE(PlaceSymbolStream(w.ctx, Pattern(10, 0), 0));
  EXPECT_EQ(WorkFiles::Contents(w.ctx.m_pSymbolDirFile).size(), 128u);

  WorkFiles v;
  v.ctx.m_wNextItemNo = 0xFFFE;
  uint16_t item = 0;
  EXPECT_TRUE(TakeItemNo(v.ctx, item));
  EXPECT_EQ(item, 0xFFFE);
  EXPECT_FALSE(TakeItemNo(v.ctx, item));
  EXPECT_EQ(v.ctx.m_nWriterError, kResultTooManyItems);

  // A failed work-file write.
  WorkFiles u;
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  std::swap(u.ctx.m_pMiniStreamFile, full);
  EXPECT_FALSE(PlaceSymbolStream(u.ctx, Pattern(100, 0), 0));
  EXPECT_EQ(u.ctx.m_nWriterError, kResultOutputIncomplete);
  EXPECT_EQ(u.ctx.m_nStreams, 0u);
  std::swap(u.ctx.m_pMiniStreamFile, full);
  std::fclose(full);
}

// The palette's class reference follows the document page's class and
// object and the library's objects: a page per symbol stream, each media
// kind's items and, with the first of a kind, its class.
TEST(StreamPlacement, TheLibraryTakesNoObjectThePalettesReferenceCannotFollow) {
  const auto takes = [](uint32_t streams, size_t bitmaps, LibraryObject kind) {
    WorkFiles w;
    w.ctx.m_nStreams = streams;
    w.ctx.m_library.bitmaps.resize(bitmaps);
    return LibraryTakes(w.ctx, kind) ? 0 : w.ctx.m_nWriterError;
  };
  const auto symbol = LibraryObject::kSymbolStream, bitmap = LibraryObject::kBitmap, video = LibraryObject::kVideo;
  EXPECT_EQ(std::vector<int>({takes(32762, 0, symbol), takes(32763, 0, symbol), takes(32761, 0, video),
                              takes(32762, 0, video), takes(32760, 1, bitmap), takes(32760, 1, video)}),
            std::vector<int>({0, kResultTooManyItems, 0, kResultTooManyItems, 0, kResultTooManyItems}));
}

TEST(StreamPlacement, GlyphsBecomeSymbolPages) {
  for (uint8_t level : {0, 2}) {
    // The file head is the page head up to its frame class, at level 0.
    const auto page = Written([&](auto f) { WritePageHeadTags(f, level); });
    auto head = Written([](auto f) { ASSERT_TRUE(CopyFileHead(f)); });
    if (level == 2) head[15] = head[32] = 4;  // what the callers patch
    EXPECT_BYTES(head, Slice(page, 0, 49));

    WorkFiles w;
    auto& ctx = w.ctx;
    ctx.m_wNextItemNo = 40, ctx.m_wCurSymbolId = 7, ctx.m_nStreams = 3;
    std::vector<GlyphShape> glyphs(2);
    glyphs[0].edges = {0x11, 0x22, 0x33};
    glyphs[0].recordCount = 0x01020304;
    glyphs[1].edges = Pattern(5000, 9);  // a large outline goes to the regular sectors
    uint16_t first = 0, last = 0;
    ASSERT_TRUE(PlaceSymbolStreams(ctx, glyphs, first, last, level));
    EXPECT_EQ((std::vector<uint32_t>{first, last, glyphs[0].itemNo, glyphs[1].itemNo, ctx.m_pStreamItemNo.at(3),
                                     ctx.m_pStreamItemNo.at(4), ctx.m_pStreamId.at(4), ctx.m_wCurSymbolId,
                                     ctx.m_nStreams, ctx.m_pBigStreamList.at(0), ctx.m_pBigStreamList.at(1)}),
              (std::vector<uint32_t>{40, 41, 40, 41, 40, 41, 8, 9, 5, 0, 4 + 0x1000000}));

    const auto shapeHead = Written([&](auto f) { WriteShapeRecordHeadShort(f, true, level); });
    const auto layer = Written([&](auto f) {
      WriteLayerRecord(f, 1, level);
      level >= 2 ? WriteLayerEndNew(f, 2) : WriteLayerEndOld(f, 2);
    });
    const auto expected = Concat({shapeHead, FromHex("04030201 01000000 00FF 00000000 112233"), layer});
    EXPECT_BYTES(Slice(WorkFiles::Contents(ctx.m_pMiniStreamFile), 0, ctx.m_pStreamSize.at(3)), expected);
    const auto big = WorkFiles::Contents(ctx.m_pBigSectorFile);
    EXPECT_BYTES(Slice(big, 0, shapeHead.size() + 14 + 5000 + layer.size()),
                 Concat({shapeHead, FromHex("00000000 01000000 00FF 00000000"), glyphs[1].edges, layer}));
  }
}

}  // namespace
}  // namespace tovrani::test
