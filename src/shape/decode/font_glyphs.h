// The outlines of a font tag's glyphs: each glyph's SWF shape records become
// edge records of the encoded shape format, with the box of their end points.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "fla/glyph_shape.h"
#include "swf/movie_budget.h"

namespace tovrani {

// Box of a glyph without edges.
inline constexpr int32_t kEmptyGlyphMin = (1 << 24) - 1;
inline constexpr int32_t kEmptyGlyphMax = -(1 << 24);

// Offset width 10 reads 16-bit offset table entries, any other value 32-bit
// ones. `data` holds the bytes available from the offset table's start;
// offsets and `end` (where the last glyph ends) count from there. Fills
// out[0] to out[count - 1] (count is cut to out.size()); nothing outside
// `data` is read, and a glyph cut by its end keeps the records read before.
// With `bytes`, each glyph's bytes are charged to it before the glyph is
// decoded, and a glyph they would overdraw stays empty. Returns the first
// glyph left empty so.
std::optional<uint32_t> DecodeFontGlyphs(int offsetWidth, std::span<const uint8_t> data, uint32_t end,
                                         uint16_t count, std::span<GlyphShape> out, Allowance* bytes = nullptr);

}  // namespace tovrani
