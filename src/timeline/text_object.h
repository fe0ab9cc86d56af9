// The text object (CPicText) of an edit text or a static text placement:
// head with matrix and frame box, the text in style runs of at most 512
// characters, and the tail. The 00 that ends the keyframe's element list
// follows it.
#pragma once

#include <cstdint>

#include "fla/class_tags.h"
#include "timeline/display_list.h"

namespace tovrani {

struct TimelineContext;

// The entry's text row: an edit text (kind 3) or static text (kind 4) row
// that exists. A none value (bit 31 set) or a row past the table has none.
bool HasTextRow(const TimelineContext& ctx, const PlacementEntry& e);

// How the text is written: inside a wrapper symbol, or straight into the
// placement's own keyframe (carriage returns between static lines, style
// bytes only for named fonts).
enum class TextPlacement { kWrapped, kDirect };

// Writes the record of entry e into ctx.m_pPageStream with matrix m. Font
// searches cover the first min(fontCount, 255) fonts of ctx.m_library. An
// entry without a text row writes nothing.
void WriteTextObject(TimelineContext& ctx, const PlacementEntry& e, const SwfMatrix& m,
                     PageClassState& state, uint16_t fontCount, TextPlacement placement);

}  // namespace tovrani
