// The end of one conversion, after the tag loop (also after a cancel): the
// scene page completed with its trailing sound layers and placed as a stream,
// the conversion's tables freed, the library part of the Contents stream
// written with the publish settings, and only then the compound file
// assembled into the output and the output committed under its final name.
#pragma once

#include <cstdint>


namespace tovrani {

struct ConverterContext;
struct DocumentLibrary;

// Next free item number: one more than the highest item number of the
// symbol streams, bitmaps and sounds, at least 1; a result that wrapped to 0
// becomes 0xE000.
uint16_t NextFreeItemNo(const ConverterContext& ctx, const DocumentLibrary& library);

// The finish, as the engine calls it. Returns 0, or the result that failed
// the document: kResultOutputLocked when no output is open,
// kResultOutputIncomplete when a work file or the output could not be
// written, kResultTooManyItems when the library outgrew its numbers. On a
// failure the output is discarded and an older file of its name stays. The
// first form finishes with the conversion's own library (m_library).
uint32_t FinishConversion(ConverterContext& ctx);
uint32_t FinishConversion(ConverterContext& ctx, DocumentLibrary& library);

}  // namespace tovrani
