#include "fla/contents_stream.h"

#include <gtest/gtest.h>

#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Bytes;

std::vector<uint8_t> Put(uint8_t op, int32_t value, const char* text = "") {
  ContentsStream s;
  s.Restart();
  s.Put(op, value, text);
  return s.Bytes();
}

TEST(ContentsPut, ValueAndTextOps) {
  EXPECT_BYTES(Put(2, 0x1234), Bytes({0x34, 0x12}));
  EXPECT_BYTES(Put(3, -1), Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_BYTES(Put(static_cast<uint8_t>(257), 7), Bytes({0x07}));  // the op is a byte
  EXPECT_BYTES(Put(7, 0x0305), Bytes({0x05, 0x05, 0x05}));
  EXPECT_TRUE(Put(7, 0xFF).empty());
  EXPECT_TRUE(Put(7, -0x100).empty());  // arithmetic shift: negative count
  EXPECT_BYTES(Put(5, 0, "Page 1"), Bytes({0x50, 0, 0x61, 0, 0x67, 0, 0x65, 0, 0x20, 0, 0x31, 0}));
  EXPECT_BYTES(Put(5, 0, "\xE9"), Bytes({0xE9, 0x00}));  // zero extension, no code page
  EXPECT_TRUE(Put(4, 0, "").empty());
  EXPECT_TRUE(Put(5, 0, nullptr).empty());
}

TEST(ContentsPut, MarkersIgnoreTheirValue) {
  for (int32_t value : {kContentsMarkerValue, 0, -1, 0x7FFFFFFF}) {
    EXPECT_BYTES(Put(6, value), Bytes({0xFF, 0xFE, 0xFF}));
    EXPECT_BYTES(Put(9, value), Bytes({0xFF, 0xFE, 0xFF, 0x00}));
    EXPECT_BYTES(Put(10, value), Bytes({0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF, 0x00}));
    EXPECT_EQ(Put(11, value).size(), 12u);
    EXPECT_TRUE(Put(8, value).empty());
  }
  // Every op above 7 with bit 3 set repeats by its low bits; the others add nothing.
  EXPECT_EQ(Put(25, 0).size(), 4u);
  EXPECT_EQ(Put(31, 0).size(), 28u);
  for (int op : {0, 16, 23, 32, 39, 255 - 8})
    EXPECT_TRUE(Put(static_cast<uint8_t>(op), 0x12345678).empty()) << op;
}

TEST(ContentsStream, BlockArithmeticAcrossABoundary) {
  ContentsStream s;
  EXPECT_EQ(s.BlockCount(), 0u);
  s.Restart();
  EXPECT_EQ(s.BlockCount(), 1u);
  s.PutZeros(510);
  s.Put(3, 0x44332211, "");
  EXPECT_EQ(s.BlockCount(), 2u);
  EXPECT_EQ(s.Pos(), 2u);
  EXPECT_EQ(s.Length(), 514u);
  EXPECT_EQ(s.Bytes()[510], 0x11);
  EXPECT_EQ(s.Bytes()[511], 0x22);
  EXPECT_EQ(s.Bytes()[512], 0x33);
  EXPECT_EQ(s.Bytes()[513], 0x44);

  // A put that fills a block to its last byte leaves an empty block open.
  ContentsStream t;
  t.Restart();
  t.PutZeros(500);
  t.Put(5, 0, "abcdef");
  EXPECT_EQ(t.BlockCount(), 2u);
  EXPECT_EQ(t.Pos(), 0u);
  EXPECT_EQ((t.BlockCount() - 1) * 512u + t.Pos(), 512u);
  EXPECT_EQ(t.Length(), 512u);
}

TEST(ContentsStream, GrowsPastTheOldCapacityAndReleases) {
  ContentsStream s;
  s.Restart();
  // 4096 blocks were the old fixed table; the stream keeps growing.
  for (int i = 0; i < 4096 * 512 / 4 + 100; ++i) s.Put(3, i, "");
  EXPECT_EQ(s.Length(), 4096u * 512u + 400u);
  EXPECT_EQ(s.BlockCount(), 4097u);
  EXPECT_EQ(s.Bytes()[4096 * 512], 0x00);
  EXPECT_EQ(s.Bytes()[4096 * 512 + 4], 0x01);
  s.Release();
  EXPECT_EQ(s.Length(), 0u);
  EXPECT_EQ(s.Bytes().capacity(), 0u);
}

TEST(ContentsStream, StringLengthForms) {
  auto length = [](size_t n) {
    ContentsStream s;
    s.PutStringLength(n);
    return s.Bytes();
  };
  EXPECT_BYTES(length(0), Bytes({0x00}));
  EXPECT_BYTES(length(254), Bytes({0xFE}));
  EXPECT_BYTES(length(255), Bytes({0xFF, 0xFF, 0x00}));
  EXPECT_BYTES(length(300), Bytes({0xFF, 0x2C, 0x01}));
  EXPECT_BYTES(length(65533), Bytes({0xFF, 0xFD, 0xFF}));
  // FF FE would read as the Unicode marker, FF FF announces a u32.
  EXPECT_BYTES(length(65534), Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
  EXPECT_BYTES(length(70000), Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));
}

TEST(ContentsStream, StringsFollowTheLevel) {
  auto str = [](std::string_view text, uint8_t level) {
    ContentsStream s;
    s.PutString(text, level);
    return s.Bytes();
  };
  EXPECT_BYTES(str("ab", 0), Bytes({2, 'a', 'b'}));
  EXPECT_BYTES(str("ab", 1), Bytes({2, 'a', 0, 'b', 0}));
  EXPECT_BYTES(str("ab", 2), str("ab", 1));
  // Decoded text: real UTF-16 code units, Windows-1252 with "?" at level 0.
  EXPECT_BYTES(str("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD", 0), Bytes({3, 0xE9, 0x80, '?'}));
  EXPECT_BYTES(str("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD", 1), Bytes({3, 0xE9, 0x00, 0xAC, 0x20, 0x2D, 0x4E}));
  EXPECT_BYTES(str("\xF0\x9F\x98\x80", 1), Bytes({2, 0x3D, 0xD8, 0x00, 0xDE}));
  const std::string longText(300, 'x');
  const auto wide = str(longText, 1);
  ASSERT_EQ(wide.size(), 3u + 600u);
  EXPECT_BYTES(std::vector<uint8_t>(wide.begin(), wide.begin() + 5), Bytes({0xFF, 0x2C, 0x01, 'x', 0}));
}

}  // namespace
}  // namespace tovrani
