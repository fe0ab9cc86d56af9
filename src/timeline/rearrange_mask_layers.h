// The depth and mask-layer pass over one timeline.
#pragma once

#include <cstdint>

namespace tovrani {

struct TimelineContext;

// Runs the pass over the main movie (fromFile 1: the tags of
// ctx.m_pSwfFile from its current position up to ctx.m_nSwfEnd; the file is
// left where it stood) or over a sprite (fromFile 0: the DefineSprite body
// `tagBuf` of `bufLen` bytes, changed in place). Records every placement and
// removal as a DisplayEvent (ctx.m_pMovieEvents or ctx.m_pSpriteEvents),
// renumbers depths and clip depths where masks need it and writes them back
// into the tags, and leaves the hand-off tables of that timeline. The main
// movie also rebuilds ctx.m_pInitActions and ctx.m_pButtonSounds.
//
// Returns the number of events recorded; 0 when a tag runs past the end of
// the timeline, when "Main Timeline" is off (main movie), or when a sprite has
// no display-list tag.
//
// The pass's work is charged to the movie's allowance (MovieBudget::
// maskPass); a sprite refused it is named by its character `id`.
uint32_t RearrangeMaskLayers(TimelineContext& ctx, uint8_t fromFile, uint8_t* tagBuf,
                             int32_t bufLen, uint16_t id = 0);

}  // namespace tovrani
