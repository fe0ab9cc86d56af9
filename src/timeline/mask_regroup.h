// The regrouping of the first repair cycle: each mask is followed directly
// by the depths of what it masks while it is shown; what it does not mask
// there, and every entry after it, moves above its range.
#pragma once

#include "timeline/depth_table.h"

namespace tovrani {

enum class RegroupResult {
  kDone,
  kBudgetSpent,  // the table is left as it was
  kOutOfBounds,  // a shift would leave 32 bits; the table is left as it was
};

RegroupResult RegroupMaskLayers(DepthTable& table, PassBudget& budget);

}  // namespace tovrani
