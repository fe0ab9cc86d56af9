#include "fla/class_tags.h"

#include <gtest/gtest.h>

#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Bytes;
using test::ByteSink;

std::vector<uint8_t> NewClassTag(const std::string& name) {
  std::vector<uint8_t> v = Bytes({0xFF, 0xFF, 0x01, 0x00, static_cast<int>(name.size()), 0x00});
  test::AppendAscii(v, name);
  return v;
}

ClassTagFlags Shape() { ClassTagFlags f; f.shape = true; return f; }
ClassTagFlags Sprite() { ClassTagFlags f; f.sprite = true; return f; }
ClassTagFlags Text() { ClassTagFlags f; f.staticText = true; return f; }
ClassTagFlags Morph() { ClassTagFlags f; f.morphShape = true; return f; }
ClassTagFlags Segment() { ClassTagFlags f; f.morphSegment = true; return f; }
ClassTagFlags Curve() { ClassTagFlags f; f.morphCurve = true; return f; }

TEST(EmitClassTags, FirstUseDefinesTheClassLaterUsesReferToIt) {
  ByteSink page;
  PageClassState st;
  EmitClassTags(page, Shape(), st);
  EXPECT_BYTES(page.bytes(), NewClassTag("CPicShape"));
  EXPECT_EQ(st.shapeIndex, 7u);
  EXPECT_EQ(st.shapes, 1u);
  EmitClassTags(page, Shape(), st);
  auto expected = NewClassTag("CPicShape");
  test::Append(expected, Bytes({0x07, 0x80}));
  EXPECT_BYTES(page.bytes(), expected);
  EXPECT_EQ(st.shapes, 2u);
}

TEST(EmitClassTags, IndexCountsEverythingWrittenBefore) {
  ByteSink page;
  PageClassState st;
  EmitClassTags(page, Shape(), st);   // class 7, object 8
  EmitClassTags(page, Shape(), st);   // object 9
  EmitClassTags(page, Sprite(), st);  // class 10, object 11
  EmitClassTags(page, Text(), st);
  EXPECT_EQ(st.textIndex, 0x0Cu);
  // Extra frames and layers of the page take indexes too.
  PageClassState withLayers;
  withLayers.frames = 2;
  withLayers.layers = 1;
  ByteSink other;
  EmitClassTags(other, ClassTagFlags{}, withLayers);
  EXPECT_BYTES(other.bytes(), NewClassTag("CPicSymbol"));
  EXPECT_EQ(withLayers.symbolIndex, 10u);
}

TEST(EmitClassTags, MorphClassesFollowTheMorphShape) {
  ByteSink page;
  PageClassState st;
  EmitClassTags(page, Shape(), st);
  EmitClassTags(page, Morph(), st);
  EXPECT_EQ(st.morphShapeIndex, 9u);
  EmitClassTags(page, Segment(), st);
  EmitClassTags(page, Curve(), st);
  EXPECT_EQ(st.morphSegmentIndex, 11u);
  EXPECT_EQ(st.morphCurveIndex, 13u);
  auto expected = NewClassTag("CPicShape");
  test::Append(expected, NewClassTag("CPicMorphShape"));
  test::Append(expected, NewClassTag("CMorphSegment"));
  test::Append(expected, NewClassTag("CMorphCurve"));
  EXPECT_BYTES(page.bytes(), expected);
  // A later class counts the morph kind as shapes + segments + curves + 3.
  st.morphCurves = 4;
  EmitClassTags(page, Sprite(), st);
  EXPECT_EQ(st.spriteIndex, 7u + 2u + (1u + 1u + 4u + 3u));
}

TEST(EmitClassTags, FlagPrecedence) {
  ClassTagFlags f;
  f.editText = f.staticText = true;
  EXPECT_EQ(SelectElementClass(f), PageElementClass::kText);
  f.button = true;
  EXPECT_EQ(SelectElementClass(f), PageElementClass::kButton);
  f.shape = true;
  EXPECT_EQ(SelectElementClass(f), PageElementClass::kShape);
  f.morphCurve = true;  // a morph flag overrides shape, button and text
  EXPECT_EQ(SelectElementClass(f), PageElementClass::kMorphCurve);
  f.sprite = true;
  EXPECT_EQ(SelectElementClass(f), PageElementClass::kSprite);
  f.video = true;
  ByteSink page;
  PageClassState st;
  EmitClassTags(page, f, st);
  EXPECT_BYTES(page.bytes(), NewClassTag("CPicVideoStream"));
}

TEST(EmitClassTags, LargePagesUseTheBigReference) {
  auto reference = [](uint32_t objectsBefore) {
    ByteSink page;
    PageClassState st;
    st.frames = objectsBefore;
    EmitClassTags(page, Sprite(), st);
    const size_t tagSize = page.bytes().size();
    EmitClassTags(page, Sprite(), st);
    const auto all = page.bytes();
    return std::vector<uint8_t>(all.begin() + tagSize, all.end());
  };
  EXPECT_BYTES(reference(0x7FFE - 7), Bytes({0xFE, 0xFF}));
  // 0x7FFF itself is the escape; FF FF would read as a new class.
  EXPECT_BYTES(reference(0x7FFF - 7), Bytes({0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80}));
  EXPECT_BYTES(reference(0xFFF8), Bytes({0xFF, 0x7F, 0xFF, 0xFF, 0x00, 0x80}));
  EXPECT_BYTES(reference(0x12345), Bytes({0xFF, 0x7F, 0x4C, 0x23, 0x01, 0x80}));
}

}  // namespace
}  // namespace tovrani
