#include "timeline/frame_labels.h"

#include <algorithm>
#include <span>
#include <unordered_map>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "timeline/layer_start.h"

namespace tovrani {

void WriteFrameLabelLayers(std::FILE* page, const std::vector<FrameLabelEntry>& labels, uint16_t frames,
                           PageClassState& state, uint8_t level) {
  const bool isNew = IsNewFlaFormat(level);
  // The first label of a frame goes on the first layer, the next label of
  // the same frame on the second, and so on; in label order within a layer.
  // A label's layer is its rank in its frame: the labels sorted by rank give
  // the layers one after the other, a few bytes a label.
  std::vector<uint32_t> rank(labels.size());
  std::vector<uint32_t> order;
  std::unordered_map<uint16_t, uint32_t> seen;
  for (size_t i = 0; i < labels.size(); ++i) {
    // A label after the last frame has no frame to stand on.
    if (labels[i].frame >= frames) continue;
    rank[i] = seen[labels[i].frame]++;
    order.push_back(uint32_t(i));
  }
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return rank[a] < rank[b]; });
  for (size_t begin = 0, end = 0; begin < order.size(); begin = end) {
    while (end < order.size() && rank[order[end]] == rank[order[begin]]) ++end;
    const std::span<const uint32_t> layer(order.data() + begin, end - begin);
    bool firstLayer = false;
    WriteLayerHead(page, state, level, firstLayer);
    int64_t last = -1;  // frame of the label written before, -1 none
    for (size_t n = 0; n < layer.size(); ++n) {
      const FrameLabelEntry& label = labels[layer[n]];
      const int64_t gap = label.frame - last - 1;
      if (gap > 0) {
        if (isNew) WriteEmptyFrameNew(page, uint32_t(gap));
        else WriteEmptyFrameOld(page, uint32_t(gap));
        ++state.frames;
      }
      const bool hasNext = n + 1 < layer.size();
      if (isNew) WriteLabelFrameNew(page, label.text, hasNext, label.anchor);
      else WriteLabelFrameOld(page, label.text, hasNext, label.anchor);
      if (hasNext) ++state.frames;
      last = label.frame;
    }
    if (isNew) WriteLayerTailNew(page, "Labels", true, false, false, 0, 0);
    else WriteLayerTailOld(page, "Labels", true, false, false, 0, 0);
  }
}

}  // namespace tovrani
