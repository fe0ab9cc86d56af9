// The regrouping of the first repair cycle: each mask is followed directly
// by the depths of what it masks while it is shown; what it does not mask
// there, and every entry after it, moves above its range.
#pragma once

#include "timeline/depth_table.h"

namespace tovrani {

// A stop leaves the table half regrouped, some spans moved out of it: it
// holds no copy of what came in, and the caller builds that again.
enum class RegroupResult {
  kDone,
  kBudgetSpent,
  kOutOfBounds,  // a shift would leave 32 bits
};

RegroupResult RegroupMaskLayers(DepthTable& table, PassBudget& budget);

}  // namespace tovrani
