// Random bytes through every reader of SWF values, JPEG data, tag statistics
// and typed id lists: each must stay inside its buffer (the buffers are sized
// exactly, so the sanitizer build catches a stray read) and end.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "convert/converter_context.h"
#include "platform/id_range_list.h"
#include "swf/jpeg_data.h"
#include "swf/swf_values.h"
#include "swf/tag_statistics.h"

namespace tovrani {
namespace {

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t maxLength) {
  std::vector<uint8_t> b(rng() % (maxLength + 1));
  for (auto& x : b) x = uint8_t(rng() % 4 == 0 ? 0xFF : rng());
  return b;
}

TEST(SwfRandomInput, ValueReadersStayInsideTheirBuffers) {
  std::mt19937 rng(2024);
  for (int i = 0; i < 5000; ++i) {
    auto b = RandomBytes(rng, 40);
    SwfRect rect;
    SwfMatrix m;
    SwfCxform c;
    EXPECT_LE(ReadSwfRect(rect, b.data(), b.size()), b.size());
    EXPECT_LE(ReadSwfMatrix(b.data(), m, int32_t(b.size())), b.size());
    uint8_t bits = 0;
    uint32_t pos = b.empty() ? 0 : uint32_t(rng() % (b.size() + 2));
    uint32_t before = pos;
    ReadSwfCxform(bits, b.data(), pos, c, int32_t(b.size()));
    EXPECT_TRUE(pos == before || pos <= b.size());
    SwfReader r(b);
    ReadSwfRect(r, rect);
    ReadSwfMatrix(r, m);
    ReadSwfCxform(r, c);
    EXPECT_LE(r.pos(), b.size());
    auto copy = b;
    SwfReader clearing = SwfReader::ClearingBits(copy.data(), copy.size());
    for (int k = 0; k < 8; ++k) clearing.sbits(unsigned(rng() % 32));
    // Any mix of reads keeps the position inside the buffer.
    SwfReader mix(b);
    for (int k = 0; k < 12; ++k) {
      TagHeader h;
      switch (rng() % 5) {
        case 0: mix.u32(); break;
        case 1: mix.ubits(rng() % 33); break;
        case 2: mix.cstring(); break;
        case 3: mix.encodedU32(); break;
        case 4: mix.tagHeader(h); break;
      }
      ASSERT_LE(mix.pos(), b.size());
    }
  }
}

TEST(SwfRandomInput, JpegHelpersEnd) {
  std::mt19937 rng(77);
  for (int i = 0; i < 3000; ++i) {
    auto b = RandomBytes(rng, 64);
    if (b.size() >= 2 && rng() % 2) b[0] = 0xFF, b[1] = 0xD8;
    if (b.size() >= 8 && rng() % 2) {
      size_t at = 2 + rng() % (b.size() - 5);
      b[at] = 0xFF, b[at + 1] = 0xD9, b[at + 2] = 0xFF, b[at + 3] = 0xD8;
    }
    auto original = b;
    if (FixSwfJpegData(b.data(), int32_t(b.size()))) {
      ASSERT_GE(b.size(), 4u);
      EXPECT_TRUE(std::equal(b.end() - 4, b.end(), original.end() - 4));
    } else {
      EXPECT_EQ(b, original);
    }
    if (b.empty()) continue;
    std::FILE* f = fmemopen(b.data(), b.size(), "rb");
    ASSERT_NE(f, nullptr);
    uint32_t w = 0, h = 0;
    ReadJpegSize(f, w, h);
    std::fclose(f);
  }
}

TEST(SwfRandomInput, StatisticsAndTypedIdsEnd) {
  std::mt19937 rng(5);
  ConverterContext ctx;
  for (int i = 0; i < 3000; ++i) {
    auto b = RandomBytes(rng, 80);
    uint32_t labels = 0, depths = 0;
    CountPlacements(ctx, b, labels, depths);
    for (size_t k = 1; k < ctx.m_pPlacementStats.size(); ++k)
      EXPECT_LT(ctx.m_pPlacementStats[k - 1].depth, ctx.m_pPlacementStats[k].depth);
    if (!b.empty()) {
      std::FILE* f = fmemopen(b.data(), b.size(), "rb");
      ASSERT_NE(f, nullptr);
      ctx.m_pSwfFile = f;
      ctx.m_nSwfEnd = b.size() - rng() % b.size();
      uint32_t slots = 0, highest = 0;
      CountPlacementsInFile(ctx, labels, slots, highest);
      EXPECT_EQ(std::ftell(f), 0);
      std::fclose(f);
      ctx.m_pSwfFile = nullptr;
    }
    std::string text;
    for (size_t k = rng() % 24; k > 0; --k) text += "0123456789-, x"[rng() % 14];
    IdRangeList list;
    AddIdRangesFromText(text, list);
    for (int32_t k = 0; k < list.count(); ++k) EXPECT_LE(list.low(k), list.high(k));
  }
}

}  // namespace
}  // namespace tovrani
