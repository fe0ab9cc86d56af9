// The passes over two neighbouring decoded runs that the fill-overlap
// analysis calls. Each rewriting pass returns non-zero when it rewrote the
// block; the caller then decodes the block afresh.
#pragma once

#include <array>
#include <cstdint>

#include "platform/region.h"
#include "shape/decode/encoded_shape.h"
#include "shape/geometry/edge_list.h"

namespace tovrani {

// Runs indexed by side: runs[side] is the run just decoded (R), the other
// side the run before it (P).
using EdgeRunPair = std::array<EdgeList, 2>;
struct PenPosition {
  int64_t x = 0, y = 0;
};

// Nothing to merge beyond what the repeated-run search and the region
// tests find: always 0.
uint8_t MergeRepeatedEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                              uint32_t& readPos, PenPosition& pen, uint8_t mode,
                              bool morphAnalysis);
// When R repeats P item for item (start and end points, flags, control and
// anchor deltas as stored, style bytes), R is removed and the next run's
// move measured from P's end; non-zero then, else 0.
uint8_t MergeIdenticalEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                               uint32_t& readPos, PenPosition& pen, StyleBytes& style);
// Always 0.
uint8_t MergeMatchingEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                              uint32_t& readPos, PenPosition& pen, StyleBytes& style);
// Non-zero when a curved item of `run` has a point inside `region`: each
// curve is sampled at 101 points from its start through its control point
// to its end (shape units); the inner samples, divided by 256 toward zero,
// are tested within `clip`.
uint8_t CurveEntersRegion(const EdgeList& run, const EdgeList& other, const Region& region,
                          IntRect clip);

}  // namespace tovrani
