#include "fla/contents_stream.h"

#include <gtest/gtest.h>

#include "fla/expected_records.h"

namespace tovrani::test {
namespace {

std::vector<uint8_t> Put(uint8_t op, int32_t value, const char* text = "") {
  ContentsStream s;
  s.Restart();
  s.Put(op, value, text);
  return s.Bytes();
}

TEST(ContentsPut, Operations) {
  EXPECT_BYTES(Put(2, 0x1234), FromHex("3412"));
  EXPECT_BYTES(Put(3, -1), FromHex("FFFFFFFF"));
  EXPECT_BYTES(Put(static_cast<uint8_t>(257), 7), FromHex("07"));  // the op is a byte
  EXPECT_BYTES(Put(7, 0x0305), FromHex("050505"));
  EXPECT_TRUE(Put(7, 0xFF).empty());
  EXPECT_TRUE(Put(7, -0x100).empty());  // arithmetic shift: negative count
  EXPECT_BYTES(Put(5, 0, "Pa 1"), FromHex("5000 6100 2000 3100"));
  EXPECT_BYTES(Put(5, 0, "\xE9"), FromHex("E900"));  // zero extension, no code page
  EXPECT_TRUE(Put(4, 0, "").empty());
  EXPECT_TRUE(Put(5, 0, nullptr).empty());
  // Markers ignore their value.
  for (int32_t value : {kContentsMarkerValue, 0, -1, 0x7FFFFFFF}) {
    EXPECT_BYTES(Put(6, value), FromHex("FFFEFF"));
    EXPECT_BYTES(Put(9, value), FromHex("FFFEFF00"));
    EXPECT_BYTES(Put(10, value), FromHex("FFFEFF00 FFFEFF00"));
    EXPECT_EQ(Put(11, value).size(), 12u);
    EXPECT_TRUE(Put(8, value).empty());
  }
  // Every op above 7 with bit 3 set repeats by its low bits; the others add nothing.
  EXPECT_EQ(Put(25, 0).size(), 4u);
  EXPECT_EQ(Put(31, 0).size(), 28u);
  for (int op : {0, 16, 23, 32, 39, 247}) EXPECT_TRUE(Put(static_cast<uint8_t>(op), 0x12345678).empty()) << op;
}

TEST(ContentsStream, BlocksAcrossABoundaryGrowAndRelease) {
  ContentsStream s;
  s.Restart();
  s.PutZeros(510);
  s.Put(3, 0x44332211, "");
  EXPECT_EQ(s.BlockCount(), 2u);
  EXPECT_EQ(s.Pos(), 2u);
  EXPECT_BYTES(std::vector<uint8_t>(s.Bytes().begin() + 508, s.Bytes().end()), FromHex("0000 11223344"));
  // A put that fills a block to its last byte leaves an empty block open.
  s.Restart();
  s.PutZeros(500);
  s.Put(5, 0, "abcdef");
  EXPECT_EQ(s.BlockCount(), 2u);
  EXPECT_EQ(s.Pos(), 0u);
  EXPECT_EQ(s.Length(), 512u);
  // 4096 blocks were the old fixed table; the stream keeps growing.
  s.Restart();
  for (int i = 0; i < 4096 * 512 / 4 + 100; ++i) s.Put(3, i, "");
  EXPECT_EQ(s.Length(), 4096u * 512u + 400u);
  EXPECT_EQ(s.BlockCount(), 4097u);
  EXPECT_EQ(s.Bytes()[4096 * 512 + 4], 0x01);
  s.Release();
  EXPECT_EQ(s.Length(), 0u);
  EXPECT_EQ(s.Bytes().capacity(), 0u);
}

TEST(ContentsStream, StringsFollowTheLevel) {
  auto str = [](std::string_view text, uint8_t level) {
    ContentsStream s;
    s.PutString(text, level);
    return s.Bytes();
  };
  EXPECT_BYTES(str("ab", 0), FromHex("02 6162"));
  EXPECT_BYTES(str("ab", 1), FromHex("02 6100 6200"));
  EXPECT_BYTES(str("ab", 2), str("ab", 1));
  // Decoded text: real UTF-16 code units, Windows-1252 with "?" at level 0.
  EXPECT_BYTES(str("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD", 0), FromHex("03 E9 80 3F"));
  EXPECT_BYTES(str("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD", 1), FromHex("03 E900 AC20 2D4E"));
  EXPECT_BYTES(str("\xF0\x9F\x98\x80", 1), FromHex("02 3DD8 00DE"));
  EXPECT_BYTES(str(std::string(300, 'x'), 0), Concat({FromHex("FF2C01"), std::vector<uint8_t>(300, 'x')}));
}

}  // namespace
}  // namespace tovrani::test
