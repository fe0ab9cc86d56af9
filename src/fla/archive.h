// The object-tag scheme shared by every page-stream writer: class tags,
// object references, strings, version bytes and the fixed heads that open a
// page, a shape and a further layer.
//
// Page streams are plain FILE*s written strictly in sequence. The writers
// never seek and never check for errors: the stream's error indicator is
// sticky, so the owner of the stream checks ferror() once when it closes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tovrani {

// ---- little-endian puts ----
void PutU8(std::FILE* stream, uint8_t value);
void PutU16(std::FILE* stream, uint16_t value);
void PutU24(std::FILE* stream, uint32_t value);  // low three bytes of value
void PutU32(std::FILE* stream, uint32_t value);
void PutBytes(std::FILE* stream, const void* data, size_t size);
void PutZeros(std::FILE* stream, size_t count);

// ---- format level ----
// 0 below SWF 7, 1 for SWF 7, 2 from SWF 8. Every record has an old variant
// (levels 0 and 1) and a new one; any level from 2 up is the new one.
inline bool IsNewFlaFormat(uint8_t level) { return level >= 2; }
// The version byte that follows a new object's class tag: 1 old, 4 new.
inline uint8_t FlaVersionByte(uint8_t level) { return IsNewFlaFormat(level) ? 4 : 1; }
// The version byte and its 00.
void WriteObjectVersion(std::FILE* stream, uint8_t level);

// ---- class tags and object references ----
// Fixed class indexes of every page stream (the page head defines them).
constexpr uint32_t kPicLayerClassIndex = 3;
constexpr uint32_t kPicFrameClassIndex = 5;

// New class: FF FF, u16 schema, u16 name length, the name without terminator.
void WriteNewClassTag(std::FILE* stream, std::string_view className, uint16_t schema = 1);
// Known class, new object: u16 0x8000 | index; from index 0x7FFF the big form
// FF 7F then u32 0x80000000 | index.
void WriteKnownClassTag(std::FILE* stream, uint32_t classIndex);
// Reference to an earlier object: u16 index below 0x7FFF, else FF 7F then u32.
void WriteObjectRef(std::FILE* stream, uint32_t index);

// ---- strings ----
// Text is UTF-8. The old form holds it as Windows-1252 ("?" for characters
// it cannot hold), the new form as UTF-16LE after the marker FF FE FF.
// Lengths up to 254 take one byte; longer texts use the archive's long form
// (FF then u16, and from 65534 FF FF FF then u32), never a cut length byte.
void WriteFlaStringOld(std::FILE* stream, std::string_view text);
void WriteFlaStringNew(std::FILE* stream, std::string_view text);
void WriteFlaStringNew(std::FILE* stream, std::u16string_view units);
void WriteFlaString(std::FILE* stream, std::string_view text, uint8_t level);
// The length prefix alone, as both forms write it after their marker.
void WriteFlaStringLength(std::FILE* stream, size_t length);

// ---- patch positions ----
// A writer that leaves a field for its caller to complete returns the file
// position of that field: the position of the surrounding word plus 1.
using PatchPos = long;
// Writes a keyframe duration at pos (clamped to 65,535 so it never spills
// into the byte after it) and returns to the end of the stream.
// Returns false when the stream cannot seek.
bool PatchFrameDuration(std::FILE* stream, PatchPos pos, uint32_t duration);
// The tween kind, the byte after the duration (1 motion tween).
bool PatchFrameTweenKind(std::FILE* stream, PatchPos pos, uint8_t kind);
// The easing, the i16 after the 06 that follows the duration word.
bool PatchFrameEasing(std::FILE* stream, PatchPos pos, int16_t easing);

// ---- fixed heads ----
// The 51-byte page head: lead 01 and the classes CPicPage, CPicLayer and
// CPicFrame with their version bytes at offsets 15, 32 and 49.
void WritePageHeadTags(std::FILE* stream, uint8_t level);
// The shape record head (40 bytes old, 42 new), after the page head when
// withPageHead is set.
void WriteShapeRecordHead(std::FILE* stream, bool withPageHead, uint8_t level);
// The same without its final u32 0 (36 bytes old, 38 new).
void WriteShapeRecordHeadShort(std::FILE* stream, bool withPageHead, uint8_t level);
// Opens a further layer with its first frame: 01, 03 80, v 00, 05 80, v 00.
void BeginLayerAndFrame(std::FILE* stream, uint8_t level);

}  // namespace tovrani
