#include "swf/place_object.h"

namespace tovrani {

namespace {

// A NUL-terminated string that must end inside the body.
bool ReadTerminated(SwfReader& r, std::string& out) {
  size_t start = r.pos();
  const uint8_t* d = r.data();
  for (size_t i = start; i < r.size(); ++i) {
    if (d[i] == 0) {
      out.assign(reinterpret_cast<const char*>(d + start), i - start);
      r.seek(i + 1);
      return true;
    }
  }
  r.seek(r.size());
  r.fail();
  return false;
}

bool ParsePlaceObject1(SwfReader& r, DisplayListTag& out) {
  out.characterId = r.u16();
  out.depthOffset = 2;
  out.depth = r.u16();
  if (!r.ok()) return false;
  out.hasCharacter = true;
  out.flags = kPlaceHasCharacter;
  ReadSwfMatrix(r, out.matrix);
  if (!r.ok()) return true;
  out.hasMatrix = true;
  out.flags |= kPlaceHasMatrix;
  if (r.remaining() > 0) {
    SwfCxform c;
    ReadSwfCxform(r, c, false);
    if (!r.ok()) return true;
    out.cxform = c;
    out.hasCxform = true;
    out.flags |= kPlaceHasCxform;
  }
  out.restOffset = uint32_t(r.pos());
  out.complete = true;
  return true;
}

bool ParsePlaceObject23(SwfReader& r, DisplayListTag& out) {
  bool v3 = out.code == kTagPlaceObject3;
  out.flags = r.u8();
  if (v3) out.flags2 = r.u8();
  out.depthOffset = uint32_t(r.pos());
  out.depth = r.u16();
  if (!r.ok()) return false;
  uint8_t f = out.flags;
  if (v3 && ((out.flags2 & kPlace3HasClassName) ||
             ((out.flags2 & kPlace3HasImage) && (f & kPlaceHasCharacter)))) {
    std::string skipped;
    if (!ReadTerminated(r, skipped)) return true;
    out.hasClassName = true;
  }
  if (f & kPlaceHasCharacter) {
    uint16_t id = r.u16();
    if (!r.ok()) return true;
    out.characterId = id;
    out.hasCharacter = true;
  }
  if (f & kPlaceHasMatrix) {
    ReadSwfMatrix(r, out.matrix);
    if (!r.ok()) return true;
    out.hasMatrix = true;
  }
  if (f & kPlaceHasCxform) {
    ReadSwfCxform(r, out.cxform);
    if (!r.ok()) return true;
    out.hasCxform = true;
  }
  if (f & kPlaceHasRatio) {
    uint16_t ratio = r.u16();
    if (!r.ok()) return true;
    out.ratio = ratio;
    out.hasRatio = true;
  }
  if (f & kPlaceHasName) {
    if (!ReadTerminated(r, out.name)) return true;
    out.hasName = true;
  }
  if (f & kPlaceHasClipDepth) {
    uint32_t at = uint32_t(r.pos());
    uint16_t clip = r.u16();
    if (!r.ok()) return true;
    out.clipDepth = clip;
    out.clipDepthOffset = at;
    out.hasClipDepth = true;
  }
  out.restOffset = uint32_t(r.pos());
  out.complete = true;
  return true;
}

}  // namespace

bool IsPlaceTag(uint16_t code) {
  return code == kTagPlaceObject || code == kTagPlaceObject2 || code == kTagPlaceObject3;
}

bool IsDisplayListTag(uint16_t code) {
  return IsPlaceTag(code) || code == kTagRemoveObject || code == kTagRemoveObject2;
}

bool ParseDisplayListTag(uint16_t code, std::span<const uint8_t> body, DisplayListTag& out) {
  out = DisplayListTag{};
  out.code = code;
  out.restOffset = uint32_t(body.size());
  SwfReader r(body);
  switch (code) {
    case kTagRemoveObject:
      out.isRemove = true;
      out.characterId = r.u16();
      out.depthOffset = 2;
      out.depth = r.u16();
      out.complete = r.ok();
      return r.ok();
    case kTagRemoveObject2:
      out.isRemove = true;
      out.depth = r.u16();
      out.complete = r.ok();
      return r.ok();
    case kTagPlaceObject:
      return ParsePlaceObject1(r, out);
    case kTagPlaceObject2:
    case kTagPlaceObject3:
      return ParsePlaceObject23(r, out);
    default:
      return false;
  }
}

}  // namespace tovrani
