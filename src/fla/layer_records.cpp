#include "fla/layer_records.h"

#include <string>

#include "fla/archive.h"
#include "fla/item_names.h"
#include "fla/keyframe_records.h"

namespace tovrani {

uint8_t g_shortLayerEndLead = 0;
uint8_t g_omitLayerLink = 0;

namespace {

struct LayerTailFlags {
  bool first, second, third;
};

// secondMinusWord is the second of the two "no colour" words; the shape
// layer records write 0xFFFF804F there.
void WriteLayerTail(std::FILE* stream, bool isNew, bool flagged, std::string_view name,
                    LayerTailFlags flags, uint32_t ref, uint8_t secondRef,
                    uint32_t secondMinusWord = 0xFFFFFFFF) {
  PutU32(stream, 0);
  PutU32(stream, 0x8000);
  if (isNew) {
    PutU32(stream, 0x8000);
    PutU8(stream, 0x0B);
  } else {
    PutU24(stream, 0x0A8000);  // 00 80 0A
  }
  WriteFlaString(stream, name, isNew ? 2 : 0);
  PutU24(stream, flagged ? 1 : 0);
  PutU32(stream, 0xFFFFFFFF);
  PutU32(stream, secondMinusWord);
  PutU32(stream, 0);
  PutU32(stream, 1);

  g_shortLayerEndLead = 1;
  if (flags.first) {
    PutU32(stream, 0x01000000);
    g_shortLayerEndLead = 0;
  } else if (flags.second) {
    PutU8(stream, 0);
  } else if (flags.third) {
    PutU32(stream, 0x01000004);
    PutU8(stream, 1);
    if (g_omitLayerLink == 0) {
      PutU8(stream, 1);
      PutU8(stream, 1);
      if (secondRef) WriteObjectRef(stream, ref);
    }
  } else {
    PutU8(stream, 0);
    WriteObjectRef(stream, ref);
    PutU8(stream, 1);
    PutU8(stream, 0);
    if (secondRef) WriteObjectRef(stream, ref);
  }
}

void WriteLayerEnd(std::FILE* stream, bool isNew, uint32_t value) {
  if (g_shortLayerEndLead != 0)
    PutU24(stream, 0);
  else
    PutU32(stream, 1);
  PutU32(stream, 0x00800000);
  if (isNew) {
    PutU32(stream, 0x00800000);
    PutU16(stream, 0x0700);
    PutU16(stream, static_cast<uint16_t>(value));
    PutU16(stream, 1);
    PutU32(stream, 0);
    PutU32(stream, 0);
  } else {
    PutU32(stream, 0x03800000);
    PutU32(stream, value);
    PutU16(stream, 0);
  }
}

// The end of a shape's keyframe (its last five head bytes, duration 1 and
// the unnamed tail), then the layer tail in the first-flag form.
void WriteShapeLayer(std::FILE* stream, bool isNew, bool flagged, std::string_view name) {
  PutU8(stream, 0);
  PutU32(stream, 0);
  PutU32(stream, isNew ? 0x118 : 0x116);
  PutU24(stream, 6);
  if (isNew)
    WriteLastFrameTailNew(stream);
  else
    WriteLastFrameTailOld(stream);
  WriteLayerTail(stream, isNew, flagged, name, {true, false, false}, 0, 0, 0xFFFF804F);
}

}  // namespace

void WriteLayerTailOld(std::FILE* stream, std::string_view name, bool first, bool second,
                       bool third, uint32_t ref, uint8_t secondRef) {
  WriteLayerTail(stream, false, false, name, {first, second, third}, ref, secondRef);
}
void WriteLayerTailNew(std::FILE* stream, std::string_view name, bool first, bool second,
                       bool third, uint32_t ref, uint8_t secondRef) {
  WriteLayerTail(stream, true, false, name, {first, second, third}, ref, secondRef);
}
void WriteLayerTailFlaggedOld(std::FILE* stream, std::string_view name, bool first,
                              bool second, bool third, uint16_t ref, uint8_t secondRef) {
  WriteLayerTail(stream, false, true, name, {first, second, third}, ref, secondRef);
}
void WriteLayerTailFlaggedNew(std::FILE* stream, std::string_view name, bool first,
                              bool second, bool third, uint16_t ref, uint8_t secondRef) {
  WriteLayerTail(stream, true, true, name, {first, second, third}, ref, secondRef);
}

void WriteLayerEndOld(std::FILE* stream, uint32_t value) { WriteLayerEnd(stream, false, value); }
void WriteLayerEndNew(std::FILE* stream, uint16_t value) { WriteLayerEnd(stream, true, value); }

void WriteLayerRecord(std::FILE* stream, uint16_t n, uint8_t level) {
  WriteShapeLayer(stream, IsNewFlaFormat(level), false, "Layer " + std::to_string(n));
}

void WriteIdLayerRecord(std::FILE* stream, uint16_t n, uint8_t level) {
  WriteShapeLayer(stream, IsNewFlaFormat(level), true, MakeIdName(n));
}

}  // namespace tovrani
