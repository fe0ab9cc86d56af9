// Class tags of the page elements: the first object of a class on a page is
// preceded by the class's new-class tag, every later one by the class's
// reference, whose index must be the one the archive reader gives the class.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tovrani {

// The element kinds a caller marks for the object it is about to write.
struct ClassTagFlags {
  bool sprite = false;
  bool button = false;
  bool editText = false;    // either text flag selects CPicText
  bool staticText = false;
  bool shape = false;
  bool morphShape = false;
  bool morphSegment = false;
  bool morphCurve = false;
  bool video = false;
};

// The archive bookkeeping of one page: per class its map index (valid once
// the class is defined on the page) and the number of its objects written.
// A new page starts from a value-initialised state.
struct PageClassState {
  uint32_t spriteIndex = 0, symbolIndex = 0, buttonIndex = 0, textIndex = 0, shapeIndex = 0;
  uint32_t morphShapeIndex = 0, morphSegmentIndex = 0, morphCurveIndex = 0, videoIndex = 0;

  uint32_t symbols = 0, sprites = 0, buttons = 0, texts = 0, shapes = 0;
  uint32_t morphShapes = 0, morphSegments = 0, morphCurves = 0, videos = 0;
  // CPicFrame and CPicLayer objects that the caller writes beyond the page
  // head's own; they take map indexes like any other object.
  uint32_t frames = 0, layers = 0;
};

enum class PageElementClass {
  kVideoStream, kSprite, kShape, kButton, kSymbol, kText, kMorphShape, kMorphSegment, kMorphCurve
};

// The class the flags select: video, then sprite; without a morph flag shape,
// button, symbol (no text flag) or text; else morph shape, segment, curve.
PageElementClass SelectElementClass(const ClassTagFlags& flags);

// The class's name as written in its new-class tag.
const char* ElementClassName(PageElementClass cls);

// Writes the tag of one element object into the page and counts the object.
// First object of its class on the page: FF FF 01 00, name length, name, and
// the class's index is fixed from the objects written before it. Later
// objects: the reference 0x8000 | index, or from index 0x7FFF the archive's
// big form FF 7F then u32 0x80000000 | index. The caller writes the object's
// version byte and body.
void EmitClassTags(std::FILE* page, const ClassTagFlags& flags, PageClassState& state);

}  // namespace tovrani
