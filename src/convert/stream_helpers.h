// Small routines of the engine's finish: moving one work file into another
// and the engine's own publish pairs. The container's allocation-table
// writers and the whole-file copy live with the container (fla/).
#pragma once

#include <cstdint>
#include <cstdio>

namespace tovrani {

struct ConverterContext;

// Appends the source file, from offset 0 up to its current position, to the
// destination; with skipFirst the first byte is left out. False when a read
// or write fails.
bool AppendStreamFile(std::FILE* source, std::FILE* destination, bool skipFirst);

// base to the power exponent; an exponent of 1 or less gives the base. The
// product wraps as a 32-bit two's-complement value.
// No step of the conversion raises a number to a power (its sizes are fixed
// shifts), so nothing calls it; it stays with the other helpers of the finish.
int32_t IntPower(uint16_t base, int32_t exponent);

// x + 1. The finish's table walks count with their own loop indexes, so
// nothing calls it; it stays with the other helpers of the finish.
inline uint32_t NextIndex(uint32_t x) { return x + 1; }

// With publish set, appends the engine's five publish pairs (GIF
// transparency and animation, three RealNetworks settings) to the Contents
// stream at the conversion's format level; otherwise releases the
// init-action table.
void PublishGroupOrCleanup(ConverterContext& ctx, bool publish);

}  // namespace tovrani
