#include "fla/text_encoding.h"

#include <gtest/gtest.h>

namespace tovrani {
namespace {

TEST(TextEncoding, SwfVersionChoosesTheDecoding) {
  // Before SWF 6 the bytes are Windows-1252.
  EXPECT_EQ(DecodeSwfText("caf\xE9 \x80 \x93", 5), "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9C");
  EXPECT_EQ(DecodeSwfText("\x81", 5), "\xC2\x81");  // undefined byte: its C1 control
  // From SWF 6 on, UTF-8.
  EXPECT_EQ(DecodeSwfText("caf\xC3\xA9", 6), "caf\xC3\xA9");
  EXPECT_EQ(DecodeSwfText("caf\xC3\xA9", 10), "caf\xC3\xA9");
  EXPECT_EQ(DecodeSwfText("", 6), "");
}

TEST(TextEncoding, MalformedUtf8BecomesReplacement) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(DecodeSwfText("a\xE9z", 6), "a" + fffd + "z");           // lone Latin-1 byte
  EXPECT_EQ(DecodeSwfText("\xC0\xAF", 6), fffd + fffd);              // overlong "/"
  EXPECT_EQ(DecodeSwfText("\xED\xA0\x80", 6), fffd + fffd + fffd);   // encoded surrogate
  EXPECT_EQ(DecodeSwfText("\xF4\x90\x80\x80", 6), fffd + fffd + fffd + fffd);  // past U+10FFFF
  EXPECT_EQ(DecodeSwfText("ab\xE2\x82", 6), "ab" + fffd + fffd);     // cut at the end
  EXPECT_EQ(Utf16FromUtf8("\xFF"), std::u16string(1, 0xFFFD));
}

TEST(TextEncoding, Utf16AndAnsiForms) {
  EXPECT_EQ(Utf16FromUtf8("A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"),
            (std::u16string{u'A', 0x00E9, 0x4E2D, 0xD83D, 0xDE00}));
  // One "?" per character the code page lacks, astral ones included.
  EXPECT_EQ(AnsiFromUtf8("A\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9F\x98\x80"), "A\xE9\x80??");
  EXPECT_EQ(AnsiFromUtf8("\xE2\x80\x9Cq\xE2\x80\x9D"), "\x93q\x94");
  EXPECT_EQ(Utf8FromUtf16(std::u16string{u'A', 0xD83D, 0xDE00, 0xDC00}), "A\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST(TextEncoding, EveryAnsiByteRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(AnsiFromUtf8(Utf8FromAnsi(all)), all);
  EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8(Utf8FromAnsi(all))), Utf8FromAnsi(all));
}

}  // namespace
}  // namespace tovrani
