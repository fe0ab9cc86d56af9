// The tag loop's handler of DefineText and DefineText2. By the "Static Text"
// options a text becomes a small movie the script imports into a placeholder
// symbol, a symbol of placed glyph symbols, or a text record for the
// text-object writer. A movie without fonts gets a dummy shape per text (if
// the user agrees); a text naming an unknown font becomes an empty clip.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "fla/contents_stream.h"
#include "swf/swf_values.h"

namespace tovrani {

struct ConverterContext;

// What the tag loop does with the tag after the handler.
enum class StaticTextOutcome {
  kDone,
  kAsSprite,  // dispatch it again as the empty sprite of EmptySpriteBody
};

// Codes 11 and 33; `body` starts with the character id and holds the
// attached CSMTextSettings (ctx.m_nStaticTextExtraBytes) behind the text.
// `tagOffset` is where the tag stands in the movie, for the question.
StaticTextOutcome HandleStaticText(ConverterContext& ctx, uint16_t code,
                                   std::span<const uint8_t> body, uint64_t tagOffset);

// The body of a one-frame DefineSprite without content.
std::array<uint8_t, 8> EmptySpriteBody(uint16_t characterId);

// The four fixed groups of publish pairs, in their order; the width keys
// hold the frame's width in pixels.
void WriteStaticTextPublishGroups(ContentsStream& contents, uint8_t level, const SwfRect& frame);

}  // namespace tovrani
