// Layer records of a page stream: the fields of a "CPicLayer" object after
// its keyframes (the layer tail), the layer end after it, and the writers
// that close a shape's frame and layer under a generated name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace tovrani {

// 1 when the next layer end starts with three zero bytes, 0 when it starts
// with u32 1. Every layer tail sets it; the engine and the timeline builder
// reset it.
extern uint8_t g_shortLayerEndLead;
// Set by the timeline builder: when 1, a third-flag layer tail ends after
// its first five bytes (no link to another layer).
extern uint8_t g_omitLayerLink;

// The plain tail (00 00 00 after the name). The name is UTF-8; ref is any
// object index (from 0x7FFF in the escape form), secondRef repeats it where
// the case allows.
void WriteLayerTailOld(std::FILE* stream, std::string_view name, bool first, bool second,
                       bool third, uint32_t ref, uint8_t secondRef);
void WriteLayerTailNew(std::FILE* stream, std::string_view name, bool first, bool second,
                       bool third, uint32_t ref, uint8_t secondRef);
// The flagged tail (01 00 00 after the name), with a 16-bit reference.
void WriteLayerTailFlaggedOld(std::FILE* stream, std::string_view name, bool first,
                              bool second, bool third, uint16_t ref, uint8_t secondRef);
void WriteLayerTailFlaggedNew(std::FILE* stream, std::string_view name, bool first,
                              bool second, bool third, uint16_t ref, uint8_t secondRef);

// The layer end after a tail; its lead follows g_shortLayerEndLead.
void WriteLayerEndOld(std::FILE* stream, uint32_t value);
void WriteLayerEndNew(std::FILE* stream, uint16_t value);

// Close the current shape frame and its layer as "Layer n" (plain tail) or
// "ID n" (flagged tail). Both end in the first-flag form and so leave
// g_shortLayerEndLead at 0, as the layer end written next requires.
void WriteLayerRecord(std::FILE* stream, uint16_t n, uint8_t level);
void WriteIdLayerRecord(std::FILE* stream, uint16_t n, uint8_t level);

}  // namespace tovrani
