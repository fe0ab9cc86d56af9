// The counting passes that size the display-list tables: frame labels and
// placements per depth, over the main movie (in the SWF file) or a sprite body.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tovrani {

struct SwfContext;
struct CharacterIds;

// Placements counted on one depth.
struct PlacementStat {
  uint16_t depth = 0;
  uint32_t count = 0;
};

enum : uint16_t { kTagImportAssets = 57, kTagImportAssets2 = 71 };

// Tags whose body starts with the character id they define.
bool DefinesCharacter(uint16_t code);

// The character ids an ImportAssets or ImportAssets2 body brings in (empty
// for other tags); a body cut short gives the entries read before the cut.
std::vector<uint16_t> ImportedIds(uint16_t code, std::span<const uint8_t> body);

// The depth of a PlaceObject, PlaceObject2 or PlaceObject3 body. False for
// other tags and for a body too short to hold its depth (PlaceObject and
// PlaceObject3 need 4 bytes, PlaceObject2 3). The placement handlers' parser
// decides this, so tables sized from these counts always hold their entries.
bool ReadPlacementDepth(uint16_t code, std::span<const uint8_t> body, uint16_t& depth);

// Main movie: walks ctx.m_pSwfFile from its position up to ctx.m_nSwfEnd or
// the first End tag and puts the position back. Adds the FrameLabel tags to
// `labels`, sets `depthSlots` to the distinct depths + 5 and
// `highestCount` to the most placements on one depth (at least 1). Returns
// false when a tag runs past the end; the file stays open, and the engine
// ends the conversion (result 19).
// With `ids`, also notes the character ids the movie and its sprites define
// and name (character_ids.h).
bool CountPlacementsInFile(SwfContext& ctx, uint32_t& labels, uint32_t& depthSlots,
                           uint32_t& highestCount, CharacterIds* ids = nullptr);

// Sprite body (sprite id, frame count, then its tags from offset 4): adds
// the FrameLabel tags to `labels` and the distinct depths to `depths`,
// rebuilds ctx.m_pPlacementStats in ascending depth order and returns the
// most placements on one depth + 1. A tag cut short by the body's end ends
// the walk (its depth still counts when it lies inside the body).
uint32_t CountPlacements(SwfContext& ctx, std::span<const uint8_t> body, uint32_t& labels,
                         uint32_t& depths);

}  // namespace tovrani
