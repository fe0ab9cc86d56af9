// The one parser of the display-list tags: PlaceObject (4), PlaceObject2 (26),
// PlaceObject3 (70), RemoveObject (5) and RemoveObject2 (28).
//
// Both the depth and mask-layer pass and the engine's placement handlers read
// these tags through it, so they always agree on where a field lies. Every
// field is read inside the tag body: a field cut short by the body's end is
// reported absent, never read from (or later written into) the next tag. The
// offsets of the Depth and ClipDepth fields are reported relative to the body
// start so the pass can rewrite them in place.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "swf/swf_values.h"

namespace tovrani {

enum : uint16_t {
  kTagShowFrame = 1,
  kTagPlaceObject = 4,
  kTagRemoveObject = 5,
  kTagDefineButtonSound = 17,
  kTagPlaceObject2 = 26,
  kTagRemoveObject2 = 28,
  kTagDefineSprite = 39,
  kTagDoInitAction = 59,
  kTagPlaceObject3 = 70,
};

// The first flag byte of PlaceObject2/3.
enum : uint8_t {
  kPlaceMove = 0x01,
  kPlaceHasCharacter = 0x02,
  kPlaceHasMatrix = 0x04,
  kPlaceHasCxform = 0x08,
  kPlaceHasRatio = 0x10,
  kPlaceHasName = 0x20,
  kPlaceHasClipDepth = 0x40,
  kPlaceHasClipActions = 0x80,
};

// The second flag byte of PlaceObject3.
enum : uint8_t {
  kPlace3HasFilterList = 0x01,
  kPlace3HasBlendMode = 0x02,
  kPlace3HasCacheAsBitmap = 0x04,
  kPlace3HasClassName = 0x08,
  kPlace3HasImage = 0x10,
  kPlace3HasVisible = 0x20,
  kPlace3HasBackground = 0x40,
};

// One display-list tag as read. A `has...` flag is set only when the tag asks
// for the field and the whole field lies inside the body.
struct DisplayListTag {
  uint16_t code = 0;
  bool isRemove = false;
  // Flag bytes as stored; for PlaceObject (4) the flags its layout implies
  // (HasCharacter | HasMatrix, and HasCxform when a colour transform follows).
  uint8_t flags = 0;
  uint8_t flags2 = 0;  // PlaceObject3 only

  uint16_t depth = 0;
  uint32_t depthOffset = 0;  // body offset of the u16 Depth field

  bool hasCharacter = false;
  uint16_t characterId = 0;  // also RemoveObject's character
  bool hasClassName = false;  // PlaceObject3: the class name was skipped
  bool hasMatrix = false;
  SwfMatrix matrix;
  bool hasCxform = false;
  SwfCxform cxform;  // PlaceObject's CXFORM (no alpha) is read into it too
  bool hasRatio = false;
  uint16_t ratio = 0;
  bool hasName = false;
  std::string name;
  bool hasClipDepth = false;
  uint16_t clipDepth = 0;
  uint32_t clipDepthOffset = 0;  // body offset of the u16 ClipDepth field

  // Body offset where the fields after ClipDepth begin (PlaceObject3's filter
  // list, blend mode and the rest; PlaceObject2's clip actions). Equals the
  // body length when the tag ends there or was cut short.
  uint32_t restOffset = 0;
  // Every field the flags announce lay inside the body.
  bool complete = false;
};

bool IsDisplayListTag(uint16_t code);
bool IsPlaceTag(uint16_t code);

// Parses the body of a display-list tag. Returns false when the tag is not a
// display-list tag or its Depth field does not fit in the body (nothing is
// usable then); true otherwise, with `out.complete` telling whether the
// remaining fields were all present.
bool ParseDisplayListTag(uint16_t code, std::span<const uint8_t> body, DisplayListTag& out);

}  // namespace tovrani
