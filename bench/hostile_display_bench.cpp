// Timelines that make the depth and mask-layer pass, the display list and
// the recording of display events work hard for their bytes: a mask
// removed and placed again over many squares in every frame, many masks
// clipping one depth, many sprites of one square (at depth 1 and at the
// highest depth), sprites of one id, removals of an empty depth, and a
// mask's clip depth moved again and again in one frame. Each comes
// compressed, filling the inflation bound as far as its file lets it, and
// uncompressed at about 10 KB, 100 KB and 1 MB, so that time and memory
// per byte of the file can be seen to stay flat (sprites of one id are the
// tags group's library_full rows).

#include "convert/engine.h"
#include "fla/stream_placement.h"
#include "fla/write_bound.h"
#include "hostile_movies.h"
#include "support/timeline_movies.h"

namespace tovrani::bench {

namespace {

using namespace tovrani::test;

void Defaults(ConverterContext&) {}

// 300 MB at most for the rows that convert or stop early; the clip moves
// 150 MiB.
constexpr uint64_t kRowLimit = 300'000'000, kClipMovesLimit = 150 * kMiB;

// RemoveObject2 tags that fill the inflation bound of a compressed file of
// `fileBytes`: 64 bytes a byte of the file and 1 MiB, less the file itself
// and the movie's other tags.
int RemovalsFilling(size_t fileBytes) { return int(((1u << 20) + 64 * fileBytes - fileBytes - 1000) / 4); }

// Compressed movies that fill the inflation bound of a file of `fileBytes`.
Bytes CompressedMaskReplaced(int sprites, size_t fileBytes) {
  return MovieOfSize(fileBytes,
                     [sprites](size_t n) { return MaskReplacedEachFrameMovie(sprites, 1670, 10000, n, true); });
}

Bytes CompressedOneSquareSprites(uint16_t depth, size_t fileBytes) {
  return MovieOfSize(fileBytes, [depth](size_t n) { return OneSquareSpritesMovie(32700, depth, n, true); });
}

Bytes CompressedRemovals(bool inSprite, size_t fileBytes) {
  return MovieOfSize(fileBytes, [=](size_t n) { return RemovalsMovie(RemovalsFilling(fileBytes), inSprite, n, true); });
}

// A mask removed and placed again over squares, in sprites of 5,400 squares
// and 3,000 frames (some 97 KB each): as many units of the pass as one
// timeline may spend.
Bytes MaskReplaced(size_t fileBytes) {
  return MovieOfUnits(fileBytes, [](int sprites) { return MaskReplacedEachFrameMovie(sprites, 5400, 3000, 0, false); });
}

// Masks clipping one depth, in sprites of 1,500 masks (15 KB each).
Bytes MasksInOneFrame(size_t fileBytes) {
  return MovieOfUnits(fileBytes, [](int sprites) { return MasksInOneFrameMovie(sprites, 1500, 0, false); });
}

Bytes OneSquareSprites(size_t fileBytes, uint16_t depth) {
  return MovieOfUnits(fileBytes, [depth](int sprites) { return OneSquareSpritesMovie(sprites, depth, 0, false); });
}

Bytes Removals(size_t fileBytes, bool inSprite) {
  return MovieOfUnits(fileBytes, [inSprite](int count) { return RemovalsMovie(count, inSprite, 0, false); });
}

Bytes ClipMoves(size_t fileBytes) {
  return MovieOfUnits(fileBytes, [](int moves) { return ClipMovesMovie(moves, 0, false); });
}

constexpr size_t k10KB = 10'000, k100KB = 100'000, k1MB = 1'000'000;

std::vector<Hostile> Movies() {
  return {
      // Compressed, each as far as its file inflates. Without the pass, 90
      // sprites of a mask over squares stop at the write bound; masks in one
      // frame stop there whatever the pass does, their layers written as
      // ordinary ones past the group layers' allowance.
      {"J/mask_replaced/compressed/30x1670x10000", [] { return CompressedMaskReplaced(30, 102'000); }, Defaults, 0,
       std::nullopt, kRowLimit, 1},
      {"K/mask_replaced/compressed/90x1670x10000", [] { return CompressedMaskReplaced(90, 338'000); }, Defaults,
       kResultDocumentTooLarge, std::nullopt, UINT64_MAX, 1},
      {"L/masks_in_one_frame/compressed/285x1500",
       [] { return MovieOfSize(102'000, [](size_t n) { return MasksInOneFrameMovie(285, 1500, n, true); }); }, Defaults,
       kResultDocumentTooLarge, std::nullopt, kRowLimit, 1},
      {"M/one_square_sprites/compressed/32700", [] { return CompressedOneSquareSprites(1, 102'000); }, Defaults, 0,
       std::nullopt, kRowLimit, 1},
      {"M/one_square_sprites_depth_65535/compressed/32700", [] { return CompressedOneSquareSprites(65535, 100'000); },
       Defaults, 0, std::nullopt, kRowLimit, 1},
      {"N/same_id_sprites/compressed/40000", [] { return SameIdSpritesMovie(40000, 0, true); }, Defaults,
       kResultTooManyItems, std::nullopt, kRowLimit, 1},
      // Past the heap bound: stopped within 110 % of it.
      {"O/removals/compressed/1280KB", [] { return CompressedRemovals(false, 1'280'000); }, Defaults,
       kResultTooMuchMemory, std::nullopt, UINT64_MAX, 1},
      {"O/removals/compressed/2MB", [] { return CompressedRemovals(false, 2'000'000); }, Defaults, kResultTooMuchMemory,
       std::nullopt, UINT64_MAX, 1},
      {"P/removals_in_sprite/compressed/1280KB", [] { return CompressedRemovals(true, 1'280'000); }, Defaults,
       kResultTooMuchMemory, std::nullopt, UINT64_MAX, 1},
      {"P/removals_in_sprite/compressed/2MB", [] { return CompressedRemovals(true, 2'000'000); }, Defaults,
       kResultTooMuchMemory, std::nullopt, UINT64_MAX, 1},
      {"Q/clip_moves/compressed/1060489",
       [] { return MovieOfSize(102'000, [](size_t n) { return ClipMovesMovie(1060489, n, true); }); }, Defaults, 0,
       std::nullopt, kClipMovesLimit, 1},
      // Uncompressed at three sizes. A mask over squares at 10 KB is one
      // sprite of 555 squares and 312 frames.
      {"J/mask_replaced/10KB", [] { return MaskReplacedEachFrameMovie(1, 555, 312, 0, false); }},
      {"J/mask_replaced/100KB", [] { return MaskReplaced(k100KB); }, Defaults, 0, std::nullopt, UINT64_MAX, 1},
      {"J/mask_replaced/1MB", [] { return MaskReplaced(k1MB); }, Defaults, 0, std::nullopt, UINT64_MAX, 1},
      {"L/masks_in_one_frame/10KB", [] { return MasksInOneFrameMovie(1, 1000, 0, false); }},
      {"L/masks_in_one_frame/100KB", [] { return MasksInOneFrame(k100KB); }, Defaults, 0, std::nullopt, UINT64_MAX, 1},
      {"L/masks_in_one_frame/1MB", [] { return MasksInOneFrame(k1MB); }, Defaults, 0, std::nullopt, UINT64_MAX, 1},
      {"M/one_square_sprites/10KB", [] { return OneSquareSprites(k10KB, 1); }},
      {"M/one_square_sprites/100KB", [] { return OneSquareSprites(k100KB, 1); }},
      {"M/one_square_sprites/1MB", [] { return OneSquareSprites(k1MB, 1); }, Defaults, kResultTooManyItems},
      {"M/one_square_sprites_depth_65535/10KB", [] { return OneSquareSprites(k10KB, 65535); }},
      {"M/one_square_sprites_depth_65535/100KB", [] { return OneSquareSprites(k100KB, 65535); }},
      {"M/one_square_sprites_depth_65535/1MB", [] { return OneSquareSprites(k1MB, 65535); }, Defaults,
       kResultTooManyItems},
      {"O/removals/10KB", [] { return Removals(k10KB, false); }},
      {"O/removals/100KB", [] { return Removals(k100KB, false); }},
      {"O/removals/1MB", [] { return Removals(k1MB, false); }},
      {"P/removals_in_sprite/10KB", [] { return Removals(k10KB, true); }},
      {"P/removals_in_sprite/100KB", [] { return Removals(k100KB, true); }},
      {"P/removals_in_sprite/1MB", [] { return Removals(k1MB, true); }},
      {"Q/clip_moves/10KB", [] { return ClipMoves(k10KB); }},
      {"Q/clip_moves/100KB", [] { return ClipMoves(k100KB); }},
      {"Q/clip_moves/1MB", [] { return ClipMoves(k1MB); }},
  };
}

const int kRegistered = RegisterHostileMovies("display", Movies());

}  // namespace

}  // namespace tovrani::bench
