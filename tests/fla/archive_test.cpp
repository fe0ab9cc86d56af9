#include "fla/archive.h"

#include <gtest/gtest.h>

#include "fla/contents_stream.h"
#include "fla/expected_records.h"

namespace tovrani::test {
namespace {

class ArchiveAtLevel : public ::testing::TestWithParam<int> {
 protected:
  uint8_t level() const { return static_cast<uint8_t>(GetParam()); }
  bool isNew() const { return GetParam() >= 2; }
  std::string v() const { return isNew() ? "4" : "1"; }
};

TEST_P(ArchiveAtLevel, PageAndShapeHeads) {
  const auto pageHead = FieldBytes("u8 1; u16 0xFFFF, 1, 8; ANSI \"CPicPage\"; u16 " + v() +
                                   "; u16 0xFFFF, 1, 9; ANSI \"CPicLayer\"; u16 " + v() +
                                   "; u16 0xFFFF, 1, 9; ANSI \"CPicFrame\"; u16 " + v());
  const auto shortHead = FieldBytes(std::string("u16 0; u32 0x80000000 x 2; ") +
                                    (isNew() ? "u16 0; u32 0x01000003" : "u32 0x01000002") +
                                    "; u32 0, 0, 0x01000000, 0, 0; u16 0x500");
  const auto fullHead = Concat({shortHead, Bytes({0, 0, 0, 0})});
  const auto page = Written([&](auto f) { WritePageHeadTags(f, level()); });
  ASSERT_EQ(page.size(), 51u);
  for (size_t at : {15u, 32u, 49u}) EXPECT_EQ(page[at], isNew() ? 4 : 1) << at;
  EXPECT_BYTES(page, pageHead);

  const auto full = Written([&](auto f) { WriteShapeRecordHead(f, true, level()); });
  EXPECT_EQ(full.size(), isNew() ? 93u : 91u);
  EXPECT_BYTES(full, Concat({pageHead, fullHead}));
  EXPECT_BYTES(Written([&](auto f) { WriteShapeRecordHead(f, false, level()); }), fullHead);
  const auto shortFull = Written([&](auto f) { WriteShapeRecordHeadShort(f, true, level()); });
  EXPECT_EQ(shortFull.size(), isNew() ? 89u : 87u);
  EXPECT_BYTES(shortFull, Concat({pageHead, shortHead}));
  EXPECT_BYTES(Written([&](auto f) { WriteShapeRecordHeadShort(f, false, level()); }), shortHead);

  EXPECT_BYTES(Written([&](auto f) { BeginLayerAndFrame(f, level()); }),
               FromHex("01 0380 0" + v() + "00 0580 0" + v() + "00"));
  EXPECT_BYTES(Written([&](auto f) { WriteFlaString(f, "ab", level()), WriteFlaString(f, "", level()); }),
               Concat({ExpectedString("ab", isNew()), ExpectedString("", isNew())}));
}

INSTANTIATE_TEST_SUITE_P(Levels, ArchiveAtLevel, ::testing::Values(0, 1, 2, 3));

TEST(Archive, ObjectReferencesAndClassTagsEscapeFrom7FFF) {
  EXPECT_BYTES(Written([](auto f) {
                 for (uint32_t i : {0u, 0x7FFEu, 0x7FFFu, 0x12345u}) WriteObjectRef(f, i);
               }),
               FromHex("0000 FE7F FF7F FF7F0000 FF7F 45230100"));
  // A big class index must not be written as FF FF, which reads as a new class.
  EXPECT_BYTES(Written([](auto f) {
                 WriteNewClassTag(f, "CPicPage");
                 WriteNewClassTag(f, "CColorDef", 0);
                 for (uint32_t i : {3u, 0x7FFEu, 0x7FFFu}) WriteKnownClassTag(f, i);
               }),
               FieldBytes("u16 0xFFFF, 1, 8; ANSI \"CPicPage\"; u16 0xFFFF, 0, 9; ANSI \"CColorDef\"; "
                          "u16 0x8003, 0xFFFE, 0x7FFF; u32 0x80007FFF"));
}

// One length rule for every string writer: never a wrapped length byte, and
// from 65534 the u32 form (FF FE after FF would read as the Unicode marker).
TEST(Archive, StringLengthFormsOfEveryWriter) {
  for (size_t n : {0u, 2u, 254u, 255u, 300u, 65533u, 65534u, 70000u}) {
    const std::string s(n, 'x');
    EXPECT_BYTES(Written([&](auto f) { WriteFlaStringOld(f, s); }), ExpectedString(s, false)) << n;
    EXPECT_BYTES(Written([&](auto f) { WriteFlaStringNew(f, s); }), ExpectedString(s, true)) << n;
    ContentsStream c;
    c.PutStringLength(n);
    EXPECT_BYTES(c.Bytes(), FieldBytes(LengthFields(n))) << n;
  }
  EXPECT_BYTES(Slice(ExpectedString(std::string(300, 'y'), true), 0, 6), FromHex("FFFEFF FF2C01"));
  EXPECT_BYTES(Slice(ExpectedString(std::string(70000, 'y'), false), 0, 7), FromHex("FF FFFF 70110100"));
  // e-acute, euro sign, a CJK character, an emoji (surrogate pair).
  const std::string text = "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9F\x98\x80";
  EXPECT_BYTES(Written([&](auto f) { WriteFlaStringOld(f, text), WriteFlaStringNew(f, text); }),
               FromHex("04 E9 80 3F 3F  FFFEFF 05 E900 AC20 2D4E 3DD8 00DE"));
}

TEST(Archive, PatchFrameDurationClampsAndReturnsToTheEnd) {
  // Page streams are real files (memory streams lose their tail on a seek back).
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  PutBytes(f, FromHex("AA 16 0100 00 BB").data(), 6);
  ASSERT_TRUE(PatchFrameDuration(f, 2, 300));
  PutU8(f, 0xCC);
  // A wider duration stops at 65,535 and leaves the byte after it alone.
  ASSERT_TRUE(PatchFrameDuration(f, 2, 70000));
  PutU8(f, 0xDD);
  EXPECT_FALSE(PatchFrameDuration(f, -1, 1));
  std::vector<uint8_t> all;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) all.push_back(static_cast<uint8_t>(c));
  EXPECT_BYTES(all, FromHex("AA 16 FFFF 00 BB CC DD"));
  std::fclose(f);
}

}  // namespace
}  // namespace tovrani::test
