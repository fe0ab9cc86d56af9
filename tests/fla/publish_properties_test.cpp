#include "fla/publish_properties.h"

#include <gtest/gtest.h>

#include "fla/document_page.h"
#include "fla/field_list.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::FieldBytes;

// A UTF-16 pair with its closing marker, from the pair table's fields.
std::string PairFields(const std::string& key, const std::string& value) {
  return "u8 " + std::to_string(key.size()) + "; UTF-16 \"" + key + "\"; M; u8 " + std::to_string(value.size()) +
         "; UTF-16 \"" + value + "\"; M;";
}

TEST(PublishPairs, GroupBByteExact) {
  ContentsStream s;
  WritePublishGroupB(s, 1);
  EXPECT_BYTES(s.Bytes(), FieldBytes(PairFields("PublishHtmlProperties::UsingDefaultAlternateFilename", "1") +
                                     PairFields("PublishGifProperties::Smooth", "1") +
                                     PairFields("PublishRNWKProperties::mediaCopyright", "(c) 2005") +
                                     PairFields("PublishRNWKProperties::flashBitRate", "1200")));
  ContentsStream wide;
  WritePublishGroupB(wide, 2);
  EXPECT_BYTES(wide.Bytes(), s.Bytes());
}

TEST(PublishPairs, GroupAEndsTheList) {
  ContentsStream s;
  WritePublishGroupA(s, 2);
  EXPECT_BYTES(s.Bytes(), FieldBytes(PairFields("PublishFormatProperties::projectorWin", "0") +
                                     "u8 37; UTF-16 \"PublishFormatProperties::defaultNames\"; M; u8 1; "
                                     "UTF-16 \"1\"; u32 -1; M; u8 0; M; u8 0; u16 1"));
}

TEST(PublishPairs, LevelZeroHoldsAnsiStringsWithoutMarkers) {
  ContentsStream s;
  WritePublishGroupA(s, 0);
  EXPECT_BYTES(s.Bytes(), FieldBytes("u8 37; ANSI \"PublishFormatProperties::projectorWin\"; u8 1; ANSI \"0\"; "
                                     "u8 37; ANSI \"PublishFormatProperties::defaultNames\"; u8 1; ANSI \"1\"; "
                                     "u32 -1; u8 0, 0; u16 1"));
}

TEST(PublishPairs, LongAndNonAsciiValues) {
  const std::string value(300, 'v');
  ContentsStream s;
  WritePublishPropertyPair(s, 1, {"Vector::Comment", value});
  auto expected = FieldBytes("u8 15; UTF-16 \"Vector::Comment\"; M; u8 0xFF; u16 300");
  for (int i = 0; i < 300; ++i) test::Append(expected, test::Bytes({'v', 0}));
  test::Append(expected, FieldBytes("M"));
  EXPECT_BYTES(s.Bytes(), expected);

  ContentsStream old;
  WritePublishPropertyPair(old, 0, {"Vector::Comment", value});
  EXPECT_EQ(old.Length(), 1u + 15u + 3u + 300u);

  ContentsStream text;
  WritePublishPropertyPair(text, 1, {"PublishRNWKProperties::mediaAuthor", "J\xC3\xBCrg \xE2\x82\xAC"});
  const auto b = text.Bytes();
  const std::vector<uint8_t> tail(b.end() - 16, b.end());
  EXPECT_BYTES(tail, test::Bytes({6, 'J', 0, 0xFC, 0, 'r', 0, 'g', 0, ' ', 0, 0xAC, 0x20, 0xFF, 0xFE, 0xFF}));
}

TEST(PublishChunk, PairListThenPalette) {
  ContentsStream s;
  PublishChunkInput in;
  in.level = 1;
  in.streams = 2;
  in.writeMoreGroups = [](ContentsStream& c, uint8_t level) {
    WritePublishPropertyPair(c, level, {"PublishGifProperties::Animated", "0"});
  };
  ASSERT_TRUE(WritePublishSettingsChunk(s, in));

  ContentsStream b, a, pal;
  WritePublishGroupB(b, 1);
  WritePublishGroupA(a, 1);
  ASSERT_TRUE(WriteColorDefs(pal, 1, 2, 0, 0, 0));
  auto expected = FieldBytes("M");
  test::Append(expected, b.Bytes());
  test::Append(expected, FieldBytes(PairFields("PublishGifProperties::Animated", "0")));
  test::Append(expected, a.Bytes());
  // The palette's class is introduced with schema 0, after the count of its
  // solid swatch objects.
  test::Append(expected, FieldBytes("u32 0; u16 252; u16 0xFFFF, 0"));
  test::Append(expected, pal.Bytes());
  EXPECT_BYTES(s.Bytes(), expected);
}

TEST(PublishChunk, PaletteIndexThatCannotBeWrittenStopsTheChunk) {
  ContentsStream s;
  PublishChunkInput in;
  in.level = 2;
  in.streams = 0x7FF0;
  in.bitmaps = 100;
  EXPECT_FALSE(WritePublishSettingsChunk(s, in));
  EXPECT_EQ(s.Length(), 0u);
}

}  // namespace
}  // namespace tovrani
