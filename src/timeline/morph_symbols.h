// Morph shapes on a timeline: a placement at a ratio becomes an instance of
// the morph's ratio symbol (a 65535-frame shape tween made once per morph),
// a run of placements that starts at ratio 0 becomes an instance of a shape
// tween symbol of its own.
#pragma once

#include <cstdint>

#include "timeline/display_list.h"

namespace tovrani {

struct TimelineContext;

// Entry k (kind 5) of track t and, for a run, the run's other entries are
// rewritten as plain instances (kind 0) of the symbol; entry k's
// shapeTween marks a one-frame tween shown for longer. False, with entry k
// left as it was, when it names no morph row or the symbol's page failed.
bool ConvertMorphPlacement(TimelineContext& ctx, DepthTrack& t, int32_t k);

}  // namespace tovrani
