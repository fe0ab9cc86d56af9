// Keyframe records of a page stream: one "CPicFrame" body each, a head H
// (58 bytes old, 60 new), the frame's elements written by the caller, and a
// tail T (66 bytes old, 84 new), followed by 00 05 80 when a further
// keyframe of the layer follows or by a lone 00 that ends the frame list.
//
// Every writer has an old twin (levels 0 and 1) and a new twin; callers pick
// one with IsNewFlaFormat. Durations wider than 65,535 frames are clamped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "fla/archive.h"

namespace tovrani {

// H with d = 1 and the start of T; the caller completes the record.
// Returns the duration position.
PatchPos WriteFirstFrameOld(std::FILE* stream);
PatchPos WriteFirstFrameNew(std::FILE* stream);

// H with d = 1. Returns the duration position.
PatchPos WriteFrameHeadOld(std::FILE* stream);
PatchPos WriteFrameHeadNew(std::FILE* stream);

// Unnamed T, 00 05 80 and the next frame's H with d = 1.
// Returns the duration position of the new frame.
PatchPos WriteNextFrameOld(std::FILE* stream);
PatchPos WriteNextFrameNew(std::FILE* stream);

// Unnamed T and the 00 that ends the frame list.
void WriteLastFrameTailOld(std::FILE* stream);
void WriteLastFrameTailNew(std::FILE* stream);

// Unnamed T from its 0x3FFFFFFF word on, and 00; the caller has written the
// first eleven bytes of T.
void FinishLastFrameOld(std::FILE* stream);
void FinishLastFrameNew(std::FILE* stream);

// H without its first three bytes (the caller wrote v 00 00), unnamed T, 00.
// Returns the duration position.
PatchPos WriteSingleFrameOld(std::FILE* stream);
PatchPos WriteSingleFrameNew(std::FILE* stream);

// H with d, unnamed T, 00 05 80.
void WriteEmptyFrameOld(std::FILE* stream, uint32_t duration);
void WriteEmptyFrameNew(std::FILE* stream, uint32_t duration);
// The same bytes; the two further values are not used.
void WriteEmptyFrameExOld(std::FILE* stream, uint32_t duration, uint32_t, uint32_t);
void WriteEmptyFrameExNew(std::FILE* stream, uint32_t duration, uint32_t, uint32_t);

// H with d, unnamed T, 00.
void WriteLastEmptyFrameOld(std::FILE* stream, uint32_t duration);
void WriteLastEmptyFrameNew(std::FILE* stream, uint32_t duration);

// H with d = 1, T named with the label (UTF-8) and flag byte F, then
// 00 05 80 when hasNext, else 00.
void WriteLabelFrameOld(std::FILE* stream, std::string_view label, bool hasNext, uint8_t flag);
void WriteLabelFrameNew(std::FILE* stream, std::string_view label, bool hasNext, uint8_t flag);

}  // namespace tovrani
