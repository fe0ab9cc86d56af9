// DefineSprite: a movie clip becomes one symbol page. Its control tags keep
// a display list of their own through the placement handlers, its sounds go
// to sound layers of its own through the sound handlers, and at its end
// the timeline builder lays out the page, the sound and action layers are
// closed and joined, and the page is placed as a movie-clip symbol stream.
#pragma once

#include <cstdint>

namespace tovrani {

struct ConverterContext;

// The sprite's page work file and its three layer work files.
inline constexpr char kSpritePageName[] = "sp.tmp";
inline constexpr char kSpriteActionName[] = "spA.tmp";
inline constexpr char kSpriteEventSoundName[] = "EvS.tmp";
inline constexpr char kSpriteStreamSoundName[] = "m.g77";

// `body` holds `length` bytes and room for 2 more (an End tag appended to a
// body without one; the headers are rewritten in place). `fileOffset` is
// where the body starts in the movie, for the progress display. Returns 0,
// or kResultSpriteTagPastEnd when an inner tag runs past the body.
uint32_t HandleDefineSprite(ConverterContext& ctx, uint8_t* body, uint32_t length, uint64_t fileOffset);

// A sprite that places a character defined after it waits (its copy kept in
// the context) until every definition is known; this converts the waiting
// sprites and resolves the scene's placements of them. Called before the
// scene is built.
void ConvertDeferredSprites(ConverterContext& ctx);

}  // namespace tovrani
