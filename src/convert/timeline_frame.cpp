#include "convert/timeline_frame.h"

#include <algorithm>

#include "timeline/display_list.h"

namespace tovrani {

void OrderHandoffs(const std::vector<DepthHandoff>& handoffs, std::vector<uint32_t>& order, size_t& next) {
  order.resize(handoffs.size());
  for (uint32_t i = 0; i < handoffs.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return handoffs[a].frame < handoffs[b].frame; });
  next = 0;
}

void EndHandedOffPlacements(const std::vector<DepthHandoff>& handoffs, const std::vector<uint32_t>& order,
                            size_t& next, uint16_t frame, DisplayTimeline tl) {
  const uint32_t coming = uint32_t(frame) + 1;
  while (next < order.size() && handoffs[order[next]].frame < coming) ++next;
  for (size_t i = next; i < order.size() && handoffs[order[i]].frame == coming; ++i) {
    const uint16_t key = handoffs[order[i]].depth;
    tl.depthIds.removeLast(key);
    for (int32_t k : tl.layers.layersWithKey(key))
      if (k <= tl.layers.lastInUse()) tl.layers[size_t(k)].currentEntry().endFrame = frame;
  }
}

}  // namespace tovrani
