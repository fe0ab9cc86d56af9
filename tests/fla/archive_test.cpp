#include "fla/archive.h"
#include "fla/text_encoding.h"

#include <gtest/gtest.h>

#include "fla/expected_records.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Append;
using test::AppendAscii;
using test::AppendU16;
using test::AppendU32;
using test::ByteSink;
using test::Bytes;
using test::ExpectedString;

class ArchiveAtLevel : public ::testing::TestWithParam<int> {
 protected:
  uint8_t level() const { return static_cast<uint8_t>(GetParam()); }
  bool isNew() const { return GetParam() >= 2; }
  int v() const { return isNew() ? 4 : 1; }

  std::vector<uint8_t> pageHead() const {
    std::vector<uint8_t> e = Bytes({0x01});
    for (const char* name : {"CPicPage", "CPicLayer", "CPicFrame"}) {
      Append(e, Bytes({0xFF, 0xFF, 0x01, 0x00}));
      AppendU16(e, static_cast<uint32_t>(std::string(name).size()));
      AppendAscii(e, name);
      Append(e, Bytes({v(), 0}));
    }
    return e;
  }

  std::vector<uint8_t> shapeHead(bool withFinalWord) const {
    std::vector<uint8_t> e;
    AppendU16(e, 0);
    AppendU32(e, 0x80000000);
    AppendU32(e, 0x80000000);
    if (isNew()) AppendU16(e, 0);
    AppendU32(e, isNew() ? 0x01000003 : 0x01000002);
    AppendU32(e, 0), AppendU32(e, 0);
    AppendU32(e, 0x01000000);
    AppendU32(e, 0), AppendU32(e, 0);
    AppendU16(e, 0x0500);
    if (withFinalWord) AppendU32(e, 0);
    return e;
  }
};

TEST_P(ArchiveAtLevel, PageHeadHasVersionBytesAt15And32And49) {
  ByteSink out;
  WritePageHeadTags(out, level());
  auto b = out.bytes();
  ASSERT_EQ(b.size(), 51u);
  EXPECT_BYTES(b, pageHead());
  for (size_t at : {15u, 32u, 49u}) {
    EXPECT_EQ(b[at], v()) << "at " << at;
    EXPECT_EQ(b[at + 1], 0) << "at " << at + 1;
  }
}

TEST_P(ArchiveAtLevel, ShapeHeadsFullAndShortWithAndWithoutPageHead) {
  const size_t head = isNew() ? 42 : 40;
  {
    ByteSink out;
    WriteShapeRecordHead(out, true, level());
    auto b = out.bytes();
    EXPECT_EQ(b.size(), isNew() ? 93u : 91u);
    auto e = pageHead();
    Append(e, shapeHead(true));
    EXPECT_BYTES(b, e);
  }
  {
    ByteSink out;
    WriteShapeRecordHead(out, false, level());
    EXPECT_EQ(out.bytes().size(), head);
    EXPECT_BYTES(out.bytes(), shapeHead(true));
  }
  {
    ByteSink out;
    WriteShapeRecordHeadShort(out, true, level());
    auto b = out.bytes();
    EXPECT_EQ(b.size(), isNew() ? 89u : 87u);
    auto e = pageHead();
    Append(e, shapeHead(false));
    EXPECT_BYTES(b, e);
  }
  {
    ByteSink out;
    WriteShapeRecordHeadShort(out, false, level());
    EXPECT_EQ(out.bytes().size(), head - 4);
  }
}

TEST_P(ArchiveAtLevel, ShapeHeadIsTheKeyframeHeadFromItsThirdByte) {
  ByteSink out;
  WriteShapeRecordHead(out, false, level());
  auto frameHead = test::ExpectedHead(isNew(), 1);
  auto b = out.bytes();
  EXPECT_BYTES(b, test::Slice(frameHead, 2, 2 + b.size()));
}

TEST_P(ArchiveAtLevel, BeginLayerAndFrameOpensKnownClassObjects) {
  ByteSink out;
  BeginLayerAndFrame(out, level());
  EXPECT_BYTES(out.bytes(), Bytes({0x01, 0x03, 0x80, v(), 0x00, 0x05, 0x80, v(), 0x00}));
}

TEST_P(ArchiveAtLevel, StringFormFollowsTheLevel) {
  ByteSink out;
  WriteFlaString(out, "ab", level());
  WriteFlaString(out, "", level());
  auto e = ExpectedString("ab", isNew());
  Append(e, ExpectedString("", isNew()));
  EXPECT_BYTES(out.bytes(), e);
}

INSTANTIATE_TEST_SUITE_P(Levels, ArchiveAtLevel, ::testing::Values(0, 1, 2, 3));

TEST(Archive, ObjectReferencesEscapeFrom7FFF) {
  ByteSink out;
  WriteObjectRef(out, 0);
  WriteObjectRef(out, 0x7FFE);
  WriteObjectRef(out, 0x7FFF);
  WriteObjectRef(out, 0x12345);
  EXPECT_BYTES(out.bytes(), Bytes({0x00, 0x00, 0xFE, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x00,
                                   0xFF, 0x7F, 0x45, 0x23, 0x01, 0x00}));
}

TEST(Archive, ClassTags) {
  ByteSink out;
  WriteNewClassTag(out, "CPicPage");
  WriteNewClassTag(out, "CColorDef", 0);
  WriteKnownClassTag(out, 3);
  WriteKnownClassTag(out, 0x7FFE);
  // A big class index must not be written as FF FF, which reads as a new class.
  WriteKnownClassTag(out, 0x7FFF);
  std::vector<uint8_t> e = Bytes({0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00});
  AppendAscii(e, "CPicPage");
  Append(e, Bytes({0xFF, 0xFF, 0x00, 0x00, 0x09, 0x00}));
  AppendAscii(e, "CColorDef");
  Append(e, Bytes({0x03, 0x80, 0xFE, 0xFF, 0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80}));
  EXPECT_BYTES(out.bytes(), e);
}

TEST(Archive, ShortStringsInBothForms) {
  ByteSink out;
  WriteFlaStringOld(out, "ab");
  WriteFlaStringNew(out, "ab");
  WriteFlaStringOld(out, "");
  WriteFlaStringNew(out, "");
  EXPECT_BYTES(out.bytes(), Bytes({0x02, 0x61, 0x62, 0xFF, 0xFE, 0xFF, 0x02, 0x61, 0x00, 0x62,
                                   0x00, 0x00, 0xFF, 0xFE, 0xFF, 0x00}));
}

TEST(Archive, LongStringsUseTheLongLengthNeverAWrappedByte) {
  for (size_t n : {254u, 255u, 300u, 65533u}) {
    const std::string s(n, 'x');
    ByteSink out;
    WriteFlaStringOld(out, s);
    WriteFlaStringNew(out, s);
    auto e = ExpectedString(s, false);
    Append(e, ExpectedString(s, true));
    EXPECT_BYTES(out.bytes(), e) << "length " << n;
  }
  // 300 in full: FF 2C 01 in both forms.
  ByteSink out;
  WriteFlaStringNew(out, std::string(300, 'y'));
  auto b = out.bytes();
  ASSERT_EQ(b.size(), 3u + 3u + 600u);
  EXPECT_BYTES(test::Slice(b, 0, 6), Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}));
}

TEST(Archive, LengthsFrom65534UseTheWideForm) {
  // FF FE after FF would read as the Unicode marker, FF FF as "u32 follows".
  for (size_t n : {65534u, 65535u, 70000u}) {
    ByteSink out;
    WriteFlaStringOld(out, std::string(n, 'z'));
    auto b = out.bytes();
    ASSERT_EQ(b.size(), 7u + n);
    std::vector<uint8_t> e = Bytes({0xFF, 0xFF, 0xFF});
    AppendU32(e, static_cast<uint32_t>(n));
    EXPECT_BYTES(test::Slice(b, 0, 7), e);
  }
}

TEST(Archive, NonAsciiTextIsConvertedPerForm) {
  // e-acute, euro sign, a CJK character, an emoji (surrogate pair).
  const std::string text = "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9F\x98\x80";
  ByteSink out;
  WriteFlaStringOld(out, text);
  WriteFlaStringNew(out, text);
  EXPECT_BYTES(out.bytes(), Bytes({0x04, 0xE9, 0x80, '?', '?',                     //
                                   0xFF, 0xFE, 0xFF, 0x05, 0xE9, 0x00, 0xAC, 0x20,  //
                                   0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(Archive, MalformedUtf8NeverOverrunsOrStalls) {
  // A lone continuation byte, a truncated sequence at the end, an overlong
  // slash and an encoded surrogate.
  const std::string text = "a\x80" "b\xC0\xAF" "\xED\xA0\x80" "\xE4\xB8";
  EXPECT_EQ(AnsiFromUtf8(text), "a?b???????");
  const std::u16string units = Utf16FromUtf8(text);
  EXPECT_EQ(units.size(), 10u);
  EXPECT_EQ(units[0], u'a');
  EXPECT_EQ(units[1], 0xFFFD);
  EXPECT_EQ(units[2], u'b');
}

// Page streams are real files (memory streams lose their tail on a seek back).
std::vector<uint8_t> ReadAll(std::FILE* f) {
  std::vector<uint8_t> v;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) v.push_back(static_cast<uint8_t>(c));
  return v;
}

TEST(Archive, PatchFrameDurationClampsAndReturnsToTheEnd) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> e = Bytes({0xAA, 0x16, 0x01, 0x00, 0x00, 0xBB});
  for (uint8_t x : e) PutU8(f, x);
  ASSERT_TRUE(PatchFrameDuration(f, 2, 300));
  PutU8(f, 0xCC);
  // A wider duration stops at 65,535 and leaves the byte after it alone.
  ASSERT_TRUE(PatchFrameDuration(f, 2, 70000));
  PutU8(f, 0xDD);
  e[2] = 0xFF, e[3] = 0xFF;
  e.push_back(0xCC);
  e.push_back(0xDD);
  EXPECT_BYTES(ReadAll(f), e);
  EXPECT_FALSE(PatchFrameDuration(f, -1, 1));
  std::fclose(f);
}

}  // namespace
}  // namespace tovrani
