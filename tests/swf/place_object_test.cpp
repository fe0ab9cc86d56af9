#include "swf/place_object.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/swf_writer.h"

namespace tovrani {
namespace {

using test::SwfBytes;

DisplayListTag Parse(uint16_t code, const std::vector<uint8_t>& body, bool expectOk = true) {
  DisplayListTag t;
  EXPECT_EQ(ParseDisplayListTag(code, body, t), expectOk);
  return t;
}

TEST(PlaceObject, EveryFieldAndOffset) {
  int32_t add[4] = {1, 2, 3, 4}, mult[4] = {10, 20, 30, 40};
  SwfBytes b;
  b.u8(0x7E).u16(12).u16(34).matrix(100, -200, true, 0x20000, 0x8000);
  b.cxformWithAlpha(true, true, add, mult).u16(7).str("inst").u16(15).u8(0xAB);
  DisplayListTag t = Parse(kTagPlaceObject2, b);
  EXPECT_TRUE(t.complete && t.hasClipDepth);
  EXPECT_EQ(std::tuple(t.depth, t.depthOffset, t.characterId, t.ratio, t.name), std::tuple(12, 1u, 34, 7, "inst"));
  EXPECT_EQ(std::tuple(t.matrix.translateY, t.matrix.scaleX, t.cxform.gMult, t.cxform.aAdd),
            std::tuple(-200, 0x20000, 20, 4));
  EXPECT_EQ(b.data()[t.clipDepthOffset], 15);
  EXPECT_EQ(t.restOffset, b.size() - 1);

  // PlaceObject3 skips its class name before the character id.
  SwfBytes c;
  c.u8(kPlaceHasCharacter | kPlaceHasClipDepth).u8(kPlace3HasClassName | kPlace3HasBlendMode);
  c.u16(300).str("pkg.Clip").u16(9).u16(310).u8(3);
  t = Parse(kTagPlaceObject3, c);
  EXPECT_TRUE(t.complete && t.hasClassName);
  EXPECT_EQ(t.depthOffset, 2u);
  EXPECT_EQ(t.depth, 300);
  EXPECT_EQ(t.characterId, 9);
  EXPECT_EQ(t.clipDepth, 310);
  EXPECT_EQ(c.data()[t.restOffset], 3);  // the blend mode follows

  // PlaceObject is a placement with a matrix and, when it follows, a CXFORM
  // without alpha (multiply terms r g b = 128, 64, 255).
  SwfBytes p;
  p.u16(40).u16(6).matrix(20, 40);
  t = Parse(kTagPlaceObject, p);
  EXPECT_EQ(t.flags, kPlaceHasCharacter | kPlaceHasMatrix);
  EXPECT_EQ(t.depthOffset, 2u);
  EXPECT_FALSE(t.hasCxform);
  p.ubits(0, 1).ubits(1, 1).ubits(9, 4).sbits(128, 9).sbits(64, 9).sbits(255, 9).align();
  t = Parse(kTagPlaceObject, p);
  EXPECT_EQ(t.characterId, 40);
  EXPECT_EQ(t.depth, 6);
  EXPECT_EQ(t.cxform.bMult, 255);
  EXPECT_EQ(t.cxform.aMult, 256);

  t = Parse(kTagRemoveObject, {7, 0, 9, 0});
  EXPECT_TRUE(t.isRemove);
  EXPECT_EQ(t.characterId, 7);
  EXPECT_EQ(t.depthOffset, 2u);
  t = Parse(kTagRemoveObject2, {0x34, 0x12});
  EXPECT_EQ(t.depth, 0x1234);
  EXPECT_EQ(t.depthOffset, 0u);
}

TEST(PlaceObject, FieldsCutShortAreAbsent) {
  // Clip depth announced, but only one of its bytes is in the body.
  SwfBytes b;
  b.u8(kPlaceHasCharacter | kPlaceHasName | kPlaceHasClipDepth).u16(2).u16(5).str("n").u8(4);
  DisplayListTag t = Parse(kTagPlaceObject2, b);
  EXPECT_FALSE(t.complete || t.hasClipDepth);
  EXPECT_TRUE(t.hasName);
  // A name without its terminator stops the tag there.
  SwfBytes c;
  c.u8(kPlaceHasName | kPlaceHasClipDepth).u16(2).u8('a').u8('b');
  t = Parse(kTagPlaceObject2, c);
  EXPECT_FALSE(t.hasName || t.hasClipDepth || t.complete);
  // No room for the depth: nothing usable.
  Parse(kTagPlaceObject2, {kPlaceMove, 0x01}, false);
  Parse(kTagPlaceObject3, {kPlaceMove, 0, 0x01}, false);
  Parse(kTagRemoveObject, {1, 0, 2}, false);
  Parse(kTagRemoveObject2, {}, false);
  Parse(kTagShowFrame, {1, 2, 3}, false);
}

}  // namespace
}  // namespace tovrani
