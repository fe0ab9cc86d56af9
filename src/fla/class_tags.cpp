#include "fla/class_tags.h"

#include <initializer_list>

#include "fla/archive.h"

namespace tovrani {
namespace {

// Map indexes 1 to 6 belong to the page head (CPicPage, its page, CPicLayer,
// the first layer, CPicFrame, the first frame).
constexpr uint32_t kFirstElementIndex = 7;

// Index and counter of the chosen class.
struct ClassSlot {
  uint32_t* index;
  uint32_t* count;
};

ClassSlot SlotOf(PageElementClass cls, PageClassState& s) {
  switch (cls) {
    case PageElementClass::kVideoStream: return {&s.videoIndex, &s.videos};
    case PageElementClass::kSprite: return {&s.spriteIndex, &s.sprites};
    case PageElementClass::kShape: return {&s.shapeIndex, &s.shapes};
    case PageElementClass::kButton: return {&s.buttonIndex, &s.buttons};
    case PageElementClass::kSymbol: return {&s.symbolIndex, &s.symbols};
    case PageElementClass::kText: return {&s.textIndex, &s.texts};
    case PageElementClass::kMorphShape: return {&s.morphShapeIndex, &s.morphShapes};
    case PageElementClass::kMorphSegment: return {&s.morphSegmentIndex, &s.morphSegments};
    case PageElementClass::kMorphCurve: return {&s.morphCurveIndex, &s.morphCurves};
  }
  return {&s.symbolIndex, &s.symbols};
}

// The index a class gets at its first use: every object and class written
// before it on the page takes one. Each kind in use adds its class and its
// objects; the morph classes count as one kind (class of the morph shape,
// its segment and curve classes, and all their objects).
uint32_t NextClassIndex(const PageClassState& s) {
  uint64_t index = kFirstElementIndex + uint64_t{s.frames} + s.layers;
  for (uint32_t count : {s.videos, s.sprites, s.shapes, s.buttons, s.symbols, s.texts})
    if (count > 0) index += uint64_t{count} + 1;
  if (s.morphShapes > 0) index += uint64_t{s.morphShapes} + s.morphSegments + s.morphCurves + 3;
  return static_cast<uint32_t>(index);
}

}  // namespace

PageElementClass SelectElementClass(const ClassTagFlags& f) {
  if (f.video) return PageElementClass::kVideoStream;
  if (f.sprite) return PageElementClass::kSprite;
  if (!f.morphShape && !f.morphSegment && !f.morphCurve) {
    if (f.shape) return PageElementClass::kShape;
    if (f.button) return PageElementClass::kButton;
    if (!f.editText && !f.staticText) return PageElementClass::kSymbol;
    return PageElementClass::kText;
  }
  if (f.morphShape) return PageElementClass::kMorphShape;
  if (f.morphSegment) return PageElementClass::kMorphSegment;
  return PageElementClass::kMorphCurve;
}

const char* ElementClassName(PageElementClass cls) {
  switch (cls) {
    case PageElementClass::kVideoStream: return "CPicVideoStream";
    case PageElementClass::kSprite: return "CPicSprite";
    case PageElementClass::kShape: return "CPicShape";
    case PageElementClass::kButton: return "CPicButton";
    case PageElementClass::kSymbol: return "CPicSymbol";
    case PageElementClass::kText: return "CPicText";
    case PageElementClass::kMorphShape: return "CPicMorphShape";
    case PageElementClass::kMorphSegment: return "CMorphSegment";
    case PageElementClass::kMorphCurve: return "CMorphCurve";
  }
  return "CPicSymbol";
}

void EmitClassTags(std::FILE* page, const ClassTagFlags& flags, PageClassState& state) {
  const PageElementClass cls = SelectElementClass(flags);
  const ClassSlot slot = SlotOf(cls, state);
  if (*slot.count == 0) {
    WriteNewClassTag(page, ElementClassName(cls));
    if (cls == PageElementClass::kMorphSegment)
      *slot.index = state.morphShapeIndex + 2;  // after the morph shape's class and object
    else if (cls == PageElementClass::kMorphCurve)
      *slot.index = state.morphShapeIndex + 4;  // and after the segment's class and object
    else
      *slot.index = NextClassIndex(state);
  } else {
    WriteKnownClassTag(page, *slot.index);
  }
  ++*slot.count;
}

}  // namespace tovrani
