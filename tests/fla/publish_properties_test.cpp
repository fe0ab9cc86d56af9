#include "fla/publish_properties.h"

#include <gtest/gtest.h>

#include "fla/document_page.h"
#include "fla/expected_records.h"

namespace tovrani::test {
namespace {

// What a writer puts into a fresh Contents stream.
template <class Write>
std::vector<uint8_t> Put(Write write) {
  ContentsStream s;
  write(s);
  return s.Bytes();
}

// A UTF-16 pair with its closing marker, from the pair table's fields.
std::string PairFields(const std::string& key, const std::string& value) {
  return "u8 " + std::to_string(key.size()) + "; UTF-16 \"" + key + "\"; M; " + LengthFields(value.size()) +
         "; UTF-16 \"" + value + "\"; M;";
}

TEST(PublishPairs, GroupsByteExact) {
  const auto groupB = Put([](auto& s) { WritePublishGroupB(s, 1); });
  EXPECT_BYTES(groupB, FieldBytes(PairFields("PublishHtmlProperties::UsingDefaultAlternateFilename", "1") +
                                  PairFields("PublishGifProperties::Smooth", "1") +
                                  PairFields("PublishRNWKProperties::mediaCopyright", "(c) 2005") +
                                  PairFields("PublishRNWKProperties::flashBitRate", "1200")));
  EXPECT_BYTES(Put([](auto& s) { WritePublishGroupB(s, 2); }), groupB);
  // Group A ends the list; level 0 holds ANSI strings without markers.
  EXPECT_BYTES(Put([](auto& s) { WritePublishGroupA(s, 2); }),
               FieldBytes(PairFields("PublishFormatProperties::projectorWin", "0") +
                          "u8 37; UTF-16 \"PublishFormatProperties::defaultNames\"; M; u8 1; "
                          "UTF-16 \"1\"; u32 -1; M; u8 0; M; u8 0; u16 1"));
  EXPECT_BYTES(Put([](auto& s) { WritePublishGroupA(s, 0); }),
               FieldBytes("u8 37; ANSI \"PublishFormatProperties::projectorWin\"; u8 1; ANSI \"0\"; "
                          "u8 37; ANSI \"PublishFormatProperties::defaultNames\"; u8 1; ANSI \"1\"; "
                          "u32 -1; u8 0, 0; u16 1"));
}

TEST(PublishPairs, LongAndNonAsciiValues) {
  const std::string value(300, 'v');
  EXPECT_BYTES(Put([&](auto& s) { WritePublishPropertyPair(s, 1, {"Vector::Comment", value}); }),
               FieldBytes(PairFields("Vector::Comment", value)));
  EXPECT_BYTES(Put([&](auto& s) { WritePublishPropertyPair(s, 0, {"Vector::Comment", value}); }),
               FieldBytes("u8 15; ANSI \"Vector::Comment\"; u8 0xFF; u16 300; ANSI \"" + value + "\""));
  const auto b =
      Put([](auto& s) { WritePublishPropertyPair(s, 1, {"PublishRNWKProperties::mediaAuthor", "J\xC3\xBCrg \xE2\x82\xAC"}); });
  EXPECT_BYTES(Slice(b, b.size() - 16, b.size()), FromHex("06 4A00 FC00 7200 6700 2000 AC20 FFFEFF"));
}

TEST(PublishChunk, PairListThenPalette) {
  PublishChunkInput in;
  in.level = 1;
  in.streams = 2;
  in.writeMoreGroups = [](ContentsStream& c, uint8_t level) {
    WritePublishPropertyPair(c, level, {"PublishGifProperties::Animated", "0"});
  };
  // The list's count (4 + 1 + 2 pairs) opens it. The palette's class is
  // introduced with schema 0, after the count of its solid swatch objects.
  EXPECT_BYTES(Put([&](auto& s) { ASSERT_TRUE(WritePublishSettingsChunk(s, in)); }),
               Concat({FieldBytes("u16 7; M"), Put([](auto& s) { WritePublishGroupB(s, 1); }),
                       FieldBytes(PairFields("PublishGifProperties::Animated", "0")),
                       Put([](auto& s) { WritePublishGroupA(s, 1); }), FieldBytes("u32 0; u16 252; u16 0xFFFF, 0"),
                       Put([](auto& s) { ASSERT_TRUE(WriteColorDefs(s, 1, 2, 0, 0, 0)); })}));
  // A palette index that cannot be written stops the chunk.
  in.level = 2, in.streams = 0x7FF0, in.bitmaps = 100;
  EXPECT_TRUE(Put([&](auto& s) { EXPECT_FALSE(WritePublishSettingsChunk(s, in)); }).empty());
}

}  // namespace
}  // namespace tovrani::test
