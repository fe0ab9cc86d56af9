// Movies whose timelines make the depth and mask-layer pass, the display
// list and the recording of display events work hard for their bytes: the
// tests and the benchmarks build them at any size. Each maker takes
// `noise`, the bytes of a DefineBinaryData of random bytes put first, so
// that a compressed movie's file may inflate as far as its tags reach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/swf_writer.h"

namespace tovrani::test {

// A DefineBinaryData of `bytes` random bytes: a compressed movie's file
// grows by about as much.
void AddNoise(SwfWriter& w, size_t bytes);

// `sprites` sprites, each with `squares` placements of character 999 (never
// defined) at depths 2 and up in frame 1, under a mask at depth 1 covering
// them all that is removed and placed again in each of `frames` frames:
// every square's span meets every one of the mask's.
std::vector<uint8_t> MaskReplacedEachFrameMovie(int sprites, int squares, int frames, size_t noise,
                                                bool compressed);

// `sprites` sprites, each with `masks` masks placed in its one frame at
// depths 1 and up, all clipping to the depth above the last.
std::vector<uint8_t> MasksInOneFrameMovie(int sprites, int masks, size_t noise, bool compressed);

// `sprites` sprites of distinct ids, each placing a square at `depth` in
// its one frame.
std::vector<uint8_t> OneSquareSpritesMovie(int sprites, uint16_t depth, size_t noise, bool compressed);

// `count` DefineSprite tags of one id, each placing a square in its one
// frame: past some 32,760 the library cannot hold another symbol.
std::vector<uint8_t> SameIdSpritesMovie(int count, size_t noise, bool compressed);

// A square placed at depth 1, then `count` RemoveObject2 tags of depth 1,
// on the main timeline or inside one sprite.
std::vector<uint8_t> RemovalsMovie(int count, bool inSprite, size_t noise, bool compressed);

// One sprite: squares at depths 3 to 10, and a mask at depth 2 whose clip
// depth `moves` moves take between 4 and 10, all in its one frame.
std::vector<uint8_t> ClipMovesMovie(int moves, size_t noise, bool compressed);

}  // namespace tovrani::test
