#include "swf/swf_reader.h"

#include <gtest/gtest.h>

#include "support/swf_writer.h"

namespace tovrani {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(SwfReader, ReadsAreLittleEndianAndFailPastTheEnd) {
  Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 'a', 'b', 0, 'c'};
  SwfReader r(b);
  EXPECT_EQ(r.u8(), 0x01);
  EXPECT_EQ(r.u16(), 0x0302);
  EXPECT_EQ(r.u32(), 0x07060504u);
  EXPECT_EQ(r.cstring(), "ab");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.cstring(), "c");  // no terminator
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.pos(), b.size());
  // A multi-byte read cut short gives nothing and fails for good.
  SwfReader s(b.data(), 3);
  s.skip(1);
  EXPECT_EQ(s.u32(), 0u);
  EXPECT_FALSE(s.ok());
  EXPECT_TRUE(s.take(1).empty());
  // Skips and seeks are bounded in 64 bits.
  SwfReader t(b);
  EXPECT_FALSE(t.skip(0xFFFFFFFFFFFFFFF0ull));
  EXPECT_EQ(t.pos(), b.size());
  SwfReader u(b);
  EXPECT_TRUE(u.seek(b.size()) && u.ok());
  EXPECT_FALSE(u.seek(b.size() + 1));
}

TEST(SwfReader, BitsMostSignificantFirstWithSignExtension) {
  test::SwfBytes w;
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
  // The clearing reader zeroes exactly the bits it takes.
  Bytes c = {0xFF, 0xFF};
  SwfReader z = SwfReader::ClearingBits(c.data(), c.size());
  EXPECT_EQ(z.ubits(5), 31u);
  EXPECT_EQ(z.sbits(6), -1);
  EXPECT_EQ(c, (Bytes{0x00, 0x1F}));
}

TEST(SwfReader, TagHeadersShortLongAndFromAFile) {
  Bytes shortTag = test::SwfWriter::TagBytes(9, {1, 2, 3}), longTag = test::SwfWriter::TagBytes(9, {1, 2, 3}, true);
  TagHeader h;
  SwfReader a(shortTag), b(longTag);
  ASSERT_TRUE(a.tagHeader(h));
  EXPECT_EQ(h.code, 9);
  EXPECT_EQ(h.length, 3u);
  EXPECT_EQ(h.bodyStart, 2u);
  EXPECT_FALSE(h.longForm);
  ASSERT_TRUE(b.tagHeader(h));
  EXPECT_EQ(h.length, 3u);
  EXPECT_EQ(h.bodyStart, 6u);
  EXPECT_TRUE(h.longForm);
  // A long header cut inside its length field fails without moving.
  SwfReader c(longTag.data(), 4);
  EXPECT_FALSE(c.tagHeader(h));
  EXPECT_EQ(c.pos(), 0u);

  // From a file: a body past the given end is refused.
  Bytes t = test::SwfWriter::TagBytes(2, Bytes(100, 7), true);
  std::FILE* f = std::tmpfile();
  ASSERT_TRUE(f);
  std::fwrite(t.data(), 1, t.size(), f);
  std::rewind(f);
  EXPECT_FALSE(ReadTagHeader(f, t.size() - 1, h));
  std::rewind(f);
  ASSERT_TRUE(ReadTagHeader(f, t.size(), h));
  EXPECT_EQ(h.length, 100u);
  EXPECT_EQ(std::ftell(f), 6);
  std::fclose(f);
}

}  // namespace
}  // namespace tovrani
