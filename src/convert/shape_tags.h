// The tag loop's handler of DefineShape, DefineShape2, DefineShape3 and
// DefineShape4: each shape becomes a library symbol whose page holds its
// shape objects.
#pragma once

#include <cstdint>
#include <span>

namespace tovrani {

struct ConverterContext;

// Codes 2, 22, 32 and 83; `body` starts with the character id.
void HandleShapeTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body);

}  // namespace tovrani
