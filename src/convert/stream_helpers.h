// Small routines the engine's finish uses to move work files into one
// another and into the output compound file.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tovrani {

struct ConverterContext;

// Appends the source file, from offset 0 up to its current position, to the
// destination; with skipFirst the first byte is left out. False when a read
// or write fails.
bool AppendStreamFile(std::FILE* source, std::FILE* destination, bool skipFirst);

// Rewinds the source and copies all of it to the destination's position.
// 1 on success, 0 when a read or write fails.
int AppendWorkFile(std::FILE* destination, std::FILE* source);

// Writes the u32 values next, next + 1, ... (count of them), then the
// terminator; `next` ends count + 1 higher than it began.
bool WriteSectorRun(std::FILE* out, uint32_t count, uint32_t& next, uint32_t terminator);

// With flag 0 writes the allocation-table sector marker and the end-of-chain
// marker; otherwise nothing. The first argument is not used.
bool WriteFatMarkerPair(uint32_t unused, uint8_t flag, std::FILE* out);

// base to the power exponent; an exponent of 1 or less gives the base. The
// product wraps as a 32-bit two's-complement value.
int32_t IntPower(uint16_t base, int32_t exponent);

inline uint32_t NextIndex(uint32_t x) { return x + 1; }

// With publish set, appends the engine's five publish pairs (GIF
// transparency and animation, three RealNetworks settings) to the Contents
// stream at the conversion's format level; otherwise releases the
// init-action table.
void PublishGroupOrCleanup(ConverterContext& ctx, bool publish);

}  // namespace tovrani
