// The final stage of the depth and mask-layer pass: the hand-off tables that
// tell the engine when an object leaves a layer and which character a Move
// must bring onto one, and the write-back of every renumbered depth and clip
// depth into the tags.
#pragma once

#include <cstdint>
#include <vector>

#include "timeline/character_sources.h"
#include "timeline/depth_table.h"
#include "timeline/display_events.h"

namespace tovrani {

// The object shown by a placement leaves the layer at `depth` at `frame`.
struct DepthHandoff {
  uint16_t frame = 0;
  uint16_t depth = 0;
};

// A Move at `depth` without a character of its own brings `characterId`, and
// the state of the placement now at `sourceDepth`.
struct CharacterRestore {
  uint16_t characterId = 0;
  uint16_t depth = 0;
  uint16_t sourceDepth = 0;
};

struct HandoffTables {
  std::vector<DepthHandoff> layerDepths;
  std::vector<CharacterRestore> maskDepths;
};

enum class FinishResult {
  kWritten,
  kOutOfBounds,  // nothing written, no event changed
  kWriteFailed,  // the events are final, but the tags may not all agree
};

// Runs the final stage over `table`, also after a cancel (`cancelled`) or a
// spent budget: the events get their entries' depths, so they match the
// tags, and the restore and hand-off marks, so that an object whose
// placements a repair put on two layers is shown once. Nothing is written and no event changes
// when a value would not fit its field, when a clip depth would read as a
// disabled nested mask (bit 15 below depth 0x7F00) without being one, or
// when a disabled one lies at depth 0x7F00 or above or covers more than
// 0x7FFF depths. `sources` is the index of the events' character sources;
// the moves `folded` into events get their events' writes.
FinishResult FinishDepthTable(std::vector<DisplayEvent>& events,
                              const std::vector<uint64_t>& headerPos,
                              const std::vector<FoldedMove>& folded,
                              const CharacterSources& sources, DepthTable& table, bool cancelled,
                              PassBudget& budget, TimelineData& data, HandoffTables& out);

}  // namespace tovrani
