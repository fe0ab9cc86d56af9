#include "swf/swf_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "support/swf_writer.h"

namespace tovrani {
namespace {

using test::SwfBytes;

TEST(SwfReader, IntegersAreLittleEndianAndFailPastTheEnd) {
  std::vector<uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  SwfReader r(b);
  EXPECT_EQ(r.u8(), 0x01);
  EXPECT_EQ(r.u16(), 0x0302);
  EXPECT_EQ(r.u32(), 0x07060504u);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.u16(), 0);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.pos(), b.size());
}

TEST(SwfReader, ShortMultiByteReadConsumesNothingUseful) {
  std::vector<uint8_t> b = {0xAA, 0xBB, 0xCC};
  SwfReader r(b);
  r.skip(1);
  EXPECT_EQ(r.u32(), 0u);
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.take(1).empty());
}

TEST(SwfReader, SkipAndSeekUse64BitBounds) {
  std::vector<uint8_t> b(10);
  SwfReader r(b);
  EXPECT_FALSE(r.skip(0xFFFFFFFFFFFFFFF0ull));
  EXPECT_EQ(r.pos(), 10u);
  SwfReader s(b);
  EXPECT_TRUE(s.seek(10));
  EXPECT_TRUE(s.ok());
  EXPECT_FALSE(s.seek(11));
}

TEST(SwfReader, BitsMostSignificantFirstWithSignExtension) {
  SwfBytes w;
  w.ubits(5, 3).sbits(-3, 4).ubits(1, 1).sbits(100000, 20).align().u8(0x7F);
  SwfReader r(w.data());
  EXPECT_EQ(r.ubits(3), 5u);
  EXPECT_EQ(r.sbits(4), -3);
  EXPECT_EQ(r.ubits(1), 1u);
  EXPECT_EQ(r.sbits(20), 100000);
  EXPECT_EQ(r.u8(), 0x7F);  // a byte read drops the partly read byte
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.ubits(1), 0u);
  EXPECT_FALSE(r.ok());
}

TEST(SwfReader, CStringNeedsItsTerminator) {
  std::vector<uint8_t> b = {'a', 'b', 0, 'c'};
  SwfReader r(b);
  EXPECT_EQ(r.cstring(), "ab");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.cstring(), "c");
  EXPECT_FALSE(r.ok());
}

TEST(SwfReader, TagHeadersShortAndLong) {
  auto shortTag = test::SwfWriter::TagBytes(9, {1, 2, 3});
  auto longTag = test::SwfWriter::TagBytes(9, {1, 2, 3}, true);
  SwfReader a(shortTag);
  TagHeader h;
  ASSERT_TRUE(a.tagHeader(h));
  EXPECT_EQ(h.code, 9);
  EXPECT_EQ(h.length, 3u);
  EXPECT_EQ(h.bodyStart, 2u);
  EXPECT_FALSE(h.longForm);
  SwfReader b(longTag);
  ASSERT_TRUE(b.tagHeader(h));
  EXPECT_EQ(h.length, 3u);
  EXPECT_EQ(h.bodyStart, 6u);
  EXPECT_TRUE(h.longForm);
  // A long header cut inside its length field fails without moving.
  SwfReader c(std::span<const uint8_t>(longTag.data(), 4));
  EXPECT_FALSE(c.tagHeader(h));
  EXPECT_EQ(c.pos(), 0u);
}

TEST(SwfReader, FileTagHeaderRefusesABodyPastTheEnd) {
  auto t = test::SwfWriter::TagBytes(2, std::vector<uint8_t>(100, 7), true);
  std::FILE* f = std::tmpfile();
  ASSERT_TRUE(f);
  std::fwrite(t.data(), 1, t.size(), f);
  std::rewind(f);
  TagHeader h;
  EXPECT_FALSE(ReadTagHeader(f, t.size() - 1, h));
  std::rewind(f);
  ASSERT_TRUE(ReadTagHeader(f, t.size(), h));
  EXPECT_EQ(h.length, 100u);
  EXPECT_EQ(std::ftell(f), 6);
  std::fclose(f);
}

TEST(SwfReader, RandomReadsStayInsideTheBuffer) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> b(rng() % 16);
    for (auto& x : b) x = uint8_t(rng());
    SwfReader r(b);
    for (int i = 0; i < 20; ++i) {
      switch (rng() % 6) {
        case 0: r.u8(); break;
        case 1: r.u32(); break;
        case 2: r.ubits(rng() % 33); break;
        case 3: r.cstring(); break;
        case 4: r.encodedU32(); break;
        case 5: { TagHeader h; r.tagHeader(h); break; }
      }
      ASSERT_LE(r.pos(), b.size());
    }
  }
}

}  // namespace
}  // namespace tovrani
