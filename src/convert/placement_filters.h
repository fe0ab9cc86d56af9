// A placement's trailing effects: the SWF filter list turned into the
// authoring tool's filter block, the blend mode and the bitmap-cache byte.
//
// The filter block goes into the page verbatim: u32 filter count, then per
// filter its id byte (the SWF filter id) and the tool's record for it. The
// count always equals the records written, whatever the SWF list claimed.
#pragma once

#include <cstdint>
#include <vector>

#include "timeline/display_list.h"
#include "swf/swf_reader.h"


namespace tovrani {

// Bits of the placement flag word above the PlaceObject2 flags (PlaceObject3's
// second flag byte moved up by eight).
inline constexpr uint16_t kFlagWordFilterList = 0x100;
inline constexpr uint16_t kFlagWordBlendMode = 0x200;
inline constexpr uint16_t kFlagWordCacheAsBitmap = 0x400;

// SWF filter ids.
enum : uint8_t {
  kFilterDropShadow = 0,
  kFilterBlur = 1,
  kFilterGlow = 2,
  kFilterBevel = 3,
  kFilterGradientGlow = 4,
  kFilterConvolution = 5,
  kFilterColorMatrix = 6,
  kFilterGradientBevel = 7,
};

struct FilterListResult {
  std::vector<uint8_t> block;  // empty when no filter was converted
  // The list was read to its end, so the reader stands on the field after it.
  bool complete = false;
};

// Reads a FILTERLIST (count byte, 255 meaning a u16 count follows) at the
// reader's position. Convolution filters are stepped over by their size and
// written nowhere. A filter cut short by the end of the data, or an id the
// tool has no record for, ends the list; the filters before it are kept.
FilterListResult ConvertFilterList(SwfReader& r);

struct PlacementEffects {
  std::vector<uint8_t> filterBlock;  // empty when there is none
  bool hasBlendMode = false;
  uint8_t blendMode = 0;
};

// Reads the fields that the flag word announces (filter list, blend mode,
// bitmap-cache byte) from the reader's position and leaves it after them.
// When the filter list cannot be walked to its end, the fields after it
// cannot be found and are not read.
PlacementEffects ReadPlacementEffects(uint16_t flagWord, SwfReader& r);

// The same, stored in a placement's entry: the filter block when it holds a
// filter, the blend mode as its displayByte when the tag has one. Fields the
// tag does not carry are left as they are.
void ConvertPlacementFilters(uint16_t flagWord, SwfReader& r, DisplayListEntry& entry);

}  // namespace tovrani
