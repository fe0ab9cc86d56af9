#include "shape/geometry/edge_run_passes.h"

#include <vector>

#include "shape/geometry/quadratic_sample.h"
#include "shape/geometry/run_rewrite.h"

namespace tovrani {

uint8_t MergeRepeatedEdgeRuns(uint8_t, EdgeRunPair&, ShapeBlock&, uint32_t&, PenPosition&, uint8_t,
                              bool) {
  return 0;
}

uint8_t MergeIdenticalEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                               uint32_t& readPos, PenPosition&, StyleBytes&) {
  const EdgeList& r = runs[side];
  const EdgeList& p = runs[1 - side];
  if (r.items.empty() || r.count() != p.count()) return 0;
  for (uint32_t i = 0; i < r.count(); ++i)
    if (!SameItem(r.items[i], p.items[i])) return 0;
  return RemoveCurrentRun(block, readPos, p, r) ? 1 : 0;
}

uint8_t MergeMatchingEdgeRuns(uint8_t, EdgeRunPair&, ShapeBlock&, uint32_t&, PenPosition&,
                              StyleBytes&) {
  return 0;
}

uint8_t CurveEntersRegion(const EdgeList& run, const EdgeList&, const Region& region,
                          IntRect clip) {
  constexpr int kSamples = 101;
  std::vector<double> samples(2 * kSamples);
  for (const EdgeListItem& item : run.items) {
    if (!item.curved()) continue;
    SampleQuadratic(samples, kSamples, item.startX, item.startY, item.startX + item.controlX(),
                    item.startY + item.controlY(), item.endX, item.endY, 0.0, 1.0);
    for (int i = 1; i + 1 < kSamples; ++i) {
      const int32_t x = ToDevice(int64_t(samples[2 * i]));
      const int32_t y = ToDevice(int64_t(samples[2 * i + 1]));
      if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) continue;
      if (region.Contains(x, y)) return 1;
    }
  }
  return 0;
}

}  // namespace tovrani
