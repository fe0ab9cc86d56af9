#include "fla/keyframe_records.h"

namespace tovrani {

namespace {

const uint8_t kUnicodeMarker[3] = {0xFF, 0xFE, 0xFF};

// The duration is the u16 inside the duration word; clamping keeps a wide
// value out of the byte above it.
uint32_t DurationWord(uint32_t duration, bool isNew) {
  const uint32_t d = duration > 0xFFFF ? 0xFFFF : duration;
  return (d << 8) + (isNew ? 0x18 : 0x16);
}

PatchPos WriteHead(std::FILE* stream, bool isNew, uint32_t duration, bool withVersion = true) {
  if (withVersion) {
    PutU8(stream, isNew ? 4 : 1);
    PutU16(stream, 0);
  }
  PutU32(stream, 0);
  PutU32(stream, 0x80);
  PutU32(stream, isNew ? 0x03000080u : 0x280u);
  if (isNew) PutU16(stream, 0);
  PutU32(stream, 1);
  PutU32(stream, 0);
  PutU32(stream, 0);
  PutU16(stream, 1);
  PutU32(stream, 0);
  PutU32(stream, 0);
  PutU16(stream, 5);
  PutZeros(stream, 12);
  // -1 when the stream cannot tell; PatchFrameDuration refuses it.
  const long word = std::ftell(stream);
  const PatchPos pos = word < 0 ? -1 : word + 1;
  PutU32(stream, DurationWord(duration, isNew));
  PutU24(stream, 6);
  return pos;
}

// The first eleven bytes of T.
void WriteTailStart(std::FILE* stream, bool isNew) {
  PutU8(stream, 0);
  PutU32(stream, isNew ? 0x01000000u : 0);
  PutU32(stream, 0);
  PutU16(stream, 0);
}

// T from its 0x3FFFFFFF word up to and including the name (with the 01
// after it in the old form).
void WriteTailName(std::FILE* stream, bool isNew, std::string_view name) {
  PutU32(stream, 0x3FFFFFFF);
  PutU16(stream, 0xFFFF);
  if (isNew) {
    WriteFlaStringNew(stream, name);
  } else {
    WriteFlaStringOld(stream, name);
    PutU8(stream, 1);
  }
}

// The rest of T after the name.
void WriteTailEnd(std::FILE* stream, bool isNew, uint8_t flag) {
  if (isNew) {
    PutU32(stream, 4);
    PutU32(stream, 1);
    PutU32(stream, 0);
    PutU32(stream, 0);
    PutBytes(stream, kUnicodeMarker, 3);
    PutZeros(stream, 21);
    PutBytes(stream, kUnicodeMarker, 3);
    PutU32(stream, 0x100);
    PutU32(stream, 0);
    PutU32(stream, static_cast<uint32_t>(flag) << 8);
    PutU32(stream, 0x100);
    PutU32(stream, 0);
  } else {
    PutU24(stream, 0);
    PutU32(stream, 2);
    PutZeros(stream, 28);
    PutU32(stream, 0x100);
    PutU32(stream, 0);
    PutU32(stream, static_cast<uint32_t>(flag) << 8);
  }
}

}  // namespace

PatchPos WriteFirstFrameOld(std::FILE* stream) {
  const PatchPos pos = WriteHead(stream, false, 1);
  WriteTailStart(stream, false);
  WriteTailName(stream, false, {});
  PutZeros(stream, 23);  // where T goes on, the first frame has only zeros
  return pos;
}

PatchPos WriteFirstFrameNew(std::FILE* stream) {
  const PatchPos pos = WriteHead(stream, true, 1);
  WriteTailStart(stream, true);
  WriteTailName(stream, true, {});
  PutU32(stream, 4);
  PutU32(stream, 1);
  PutU32(stream, 0);
  PutU32(stream, 0);
  PutBytes(stream, kUnicodeMarker, 3);  // the caller writes this string's length and text
  return pos;
}

PatchPos WriteFrameHeadOld(std::FILE* stream) { return WriteHead(stream, false, 1); }
PatchPos WriteFrameHeadNew(std::FILE* stream) { return WriteHead(stream, true, 1); }

namespace {

void WriteUnnamedTail(std::FILE* stream, bool isNew) {
  WriteTailStart(stream, isNew);
  WriteTailName(stream, isNew, {});
  WriteTailEnd(stream, isNew, 0);
}

// 00 and the known-class tag of the next "CPicFrame" object.
void WriteFrameJoint(std::FILE* stream) {
  PutU8(stream, 0);
  WriteKnownClassTag(stream, kPicFrameClassIndex);
}

PatchPos WriteNextFrame(std::FILE* stream, bool isNew) {
  WriteUnnamedTail(stream, isNew);
  WriteFrameJoint(stream);
  return WriteHead(stream, isNew, 1);
}

void WriteLastFrameTail(std::FILE* stream, bool isNew) {
  WriteUnnamedTail(stream, isNew);
  PutU8(stream, 0);
}

void FinishLastFrame(std::FILE* stream, bool isNew) {
  WriteTailName(stream, isNew, {});
  WriteTailEnd(stream, isNew, 0);
  PutU8(stream, 0);
}

PatchPos WriteSingleFrame(std::FILE* stream, bool isNew) {
  const PatchPos pos = WriteHead(stream, isNew, 1, false);
  WriteLastFrameTail(stream, isNew);
  return pos;
}

void WriteEmptyFrame(std::FILE* stream, bool isNew, uint32_t duration) {
  WriteHead(stream, isNew, duration);
  WriteUnnamedTail(stream, isNew);
  WriteFrameJoint(stream);
}

void WriteLastEmptyFrame(std::FILE* stream, bool isNew, uint32_t duration) {
  WriteHead(stream, isNew, duration);
  WriteLastFrameTail(stream, isNew);
}

void WriteLabelFrame(std::FILE* stream, bool isNew, std::string_view label, bool hasNext,
                     uint8_t flag) {
  WriteHead(stream, isNew, 1);
  WriteTailStart(stream, isNew);
  WriteTailName(stream, isNew, label);
  WriteTailEnd(stream, isNew, flag);
  if (hasNext)
    WriteFrameJoint(stream);
  else
    PutU8(stream, 0);
}

}  // namespace

PatchPos WriteNextFrameOld(std::FILE* stream) { return WriteNextFrame(stream, false); }
PatchPos WriteNextFrameNew(std::FILE* stream) { return WriteNextFrame(stream, true); }

void WriteLastFrameTailOld(std::FILE* stream) { WriteLastFrameTail(stream, false); }
void WriteLastFrameTailNew(std::FILE* stream) { WriteLastFrameTail(stream, true); }

void FinishLastFrameOld(std::FILE* stream) { FinishLastFrame(stream, false); }
void FinishLastFrameNew(std::FILE* stream) { FinishLastFrame(stream, true); }

PatchPos WriteSingleFrameOld(std::FILE* stream) { return WriteSingleFrame(stream, false); }
PatchPos WriteSingleFrameNew(std::FILE* stream) { return WriteSingleFrame(stream, true); }

void WriteEmptyFrameOld(std::FILE* stream, uint32_t duration) {
  WriteEmptyFrame(stream, false, duration);
}
void WriteEmptyFrameNew(std::FILE* stream, uint32_t duration) {
  WriteEmptyFrame(stream, true, duration);
}

void WriteEmptyFrameExOld(std::FILE* stream, uint32_t duration, uint32_t, uint32_t) {
  WriteEmptyFrame(stream, false, duration);
}
void WriteEmptyFrameExNew(std::FILE* stream, uint32_t duration, uint32_t, uint32_t) {
  WriteEmptyFrame(stream, true, duration);
}

void WriteLastEmptyFrameOld(std::FILE* stream, uint32_t duration) {
  WriteLastEmptyFrame(stream, false, duration);
}
void WriteLastEmptyFrameNew(std::FILE* stream, uint32_t duration) {
  WriteLastEmptyFrame(stream, true, duration);
}

void WriteLabelFrameOld(std::FILE* stream, std::string_view label, bool hasNext, uint8_t flag) {
  WriteLabelFrame(stream, false, label, hasNext, flag);
}
void WriteLabelFrameNew(std::FILE* stream, std::string_view label, bool hasNext, uint8_t flag) {
  WriteLabelFrame(stream, true, label, hasNext, flag);
}

}  // namespace tovrani
