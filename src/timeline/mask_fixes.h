// The repairs of the later cycles of the depth and mask-layer pass, one per
// cycle, in order of priority: a mask inside another mask's range (disabled,
// or split away with the outer masks widened), an entry holding masks and
// other objects, and a mask that does not cover everything in its range.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "timeline/character_sources.h"
#include "timeline/depth_table.h"
#include "timeline/display_events.h"

namespace tovrani {

enum class RepairResult {
  kRepaired,     // one entry repaired: the next cycle starts
  kNothingLeft,  // the table is final
  kBudgetSpent,  // stopped before changing anything
};

// Runs the searches over a classified table and repairs the first entry
// found. `visit(x)` runs for every entry x a search visits, deepest first.
RepairResult RepairOneEntry(DepthTable& table, std::vector<DisplayEvent>& events,
                            const CharacterSources& sources, PassBudget& budget,
                            const std::function<void(size_t)>& visit);

}  // namespace tovrani
