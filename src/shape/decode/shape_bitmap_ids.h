// The bitmaps a shape's fills use, for the copies that must travel with it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tovrani {

// The character ids of the bitmap fills (fill types 0x40-0x43) in every set
// of style arrays of a shape tag `code` (2, 22, 32, 83), line fills of
// DefineShape4 included; `body` follows the character id. Ascending, each
// once. A body cut short or holding an unknown fill type gives the ids read
// up to that point.
std::vector<uint16_t> ShapeBitmapIds(uint16_t code, std::span<const uint8_t> body);

}  // namespace tovrani
