#include "fla/class_tags.h"

#include <gtest/gtest.h>

#include "fla/expected_records.h"

namespace tovrani::test {
namespace {

std::vector<uint8_t> NewClassTag(const std::string& name) {
  return FieldBytes("u16 0xFFFF, 1, " + std::to_string(name.size()) + "; ANSI \"" + name + "\"");
}

TEST(EmitClassTags, FirstUseDefinesTheClassLaterUsesReferToIt) {
  PageClassState st;
  const auto b = Written([&](auto f) {
    EmitClassTags(f, {.shape = true}, st);   // class 7, object 8
    EmitClassTags(f, {.shape = true}, st);   // object 9
    EmitClassTags(f, {.sprite = true}, st);  // class 10, object 11
    EmitClassTags(f, {.staticText = true}, st);
  });
  EXPECT_BYTES(b, Concat({NewClassTag("CPicShape"), FromHex("0780"), NewClassTag("CPicSprite"), NewClassTag("CPicText")}));
  EXPECT_EQ(st.shapeIndex, 7u);
  EXPECT_EQ(st.shapes, 2u);
  EXPECT_EQ(st.spriteIndex, 10u);
  EXPECT_EQ(st.textIndex, 0x0Cu);
  // Extra frames and layers of the page take indexes too.
  PageClassState withLayers{.frames = 2, .layers = 1};
  EXPECT_BYTES(Written([&](auto f) { EmitClassTags(f, {}, withLayers); }), NewClassTag("CPicSymbol"));
  EXPECT_EQ(withLayers.symbolIndex, 10u);
}

TEST(EmitClassTags, MorphClassesFollowTheMorphShape) {
  PageClassState st;
  const auto b = Written([&](auto f) {
    for (ClassTagFlags flags : {ClassTagFlags{.shape = true}, ClassTagFlags{.morphShape = true},
                                ClassTagFlags{.morphSegment = true}, ClassTagFlags{.morphCurve = true}})
      EmitClassTags(f, flags, st);
  });
  EXPECT_BYTES(b, Concat({NewClassTag("CPicShape"), NewClassTag("CPicMorphShape"), NewClassTag("CMorphSegment"),
                          NewClassTag("CMorphCurve")}));
  EXPECT_EQ(st.morphShapeIndex, 9u);
  EXPECT_EQ(st.morphSegmentIndex, 11u);
  EXPECT_EQ(st.morphCurveIndex, 13u);
  // A later class counts the morph kind as shapes + segments + curves + 3.
  st.morphCurves = 4;
  Written([&](auto f) { EmitClassTags(f, {.sprite = true}, st); });
  EXPECT_EQ(st.spriteIndex, 7u + 2u + (1u + 1u + 4u + 3u));
}

TEST(EmitClassTags, FlagPrecedence) {
  ClassTagFlags f{.editText = true, .staticText = true};
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
  PageClassState st;
  EXPECT_BYTES(Written([&](auto out) { EmitClassTags(out, f, st); }), NewClassTag("CPicVideoStream"));
}

TEST(EmitClassTags, LargePagesUseTheBigReference) {
  auto reference = [](uint32_t objectsBefore) {
    PageClassState st{.frames = objectsBefore};
    Written([&](auto f) { EmitClassTags(f, {.sprite = true}, st); });
    return Written([&](auto f) { EmitClassTags(f, {.sprite = true}, st); });
  };
  EXPECT_BYTES(reference(0x7FFE - 7), FromHex("FEFF"));
  // 0x7FFF itself is the escape; FF FF would read as a new class.
  EXPECT_BYTES(reference(0x7FFF - 7), FromHex("FF7F FF7F0080"));
  EXPECT_BYTES(reference(0xFFF8), FromHex("FF7F FFFF0080"));
  EXPECT_BYTES(reference(0x12345), FromHex("FF7F 4C230180"));
}

}  // namespace
}  // namespace tovrani::test
