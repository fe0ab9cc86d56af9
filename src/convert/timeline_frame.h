// The depth pass's hand-offs as a timeline's frames reach them, the scene's
// or a sprite's: at a ShowFrame, placements handed to another layer at the
// coming frame end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "convert/placements.h"
#include "timeline/depth_handoff.h"

namespace tovrani {

// Sorts the hand-offs by frame (`order` holds their indexes), so each frame
// finds its own in one step; `next` is the first not yet reached.
void OrderHandoffs(const std::vector<DepthHandoff>& handoffs, std::vector<uint32_t>& order, size_t& next);

// At the ShowFrame of `frame`: the placements whose object the pass hands to
// another layer at frame + 1 end at `frame`.
void EndHandedOffPlacements(const std::vector<DepthHandoff>& handoffs, const std::vector<uint32_t>& order,
                            size_t& next, uint16_t frame, DisplayTimeline tl);

}  // namespace tovrani
