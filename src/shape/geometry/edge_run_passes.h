// The passes over two neighbouring decoded runs that the fill-overlap
// analysis calls. Each rewriting pass returns non-zero when it rewrote the
// block; the caller then decodes the block afresh.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

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

// The runs of one shape object seen so far in a pass, found by a hash of
// their items, so that a run is compared only with runs that can equal it.
// Valid until the block is rewritten: the pass that owns it clears it then,
// and at the start of every further object.
class EdgeRunIndex {
 public:
  // Keeps its memory for the next pass.
  void Clear();
  // Forgets the runs that start at or after `offset`: a rewrite changed the
  // block from there on, and the runs before it decode as they did.
  void DropFrom(uint32_t offset);
  // Whether the runs up to `offset` were indexed (and so looked up) in an
  // earlier pass: what they were compared with has not changed.
  bool Covers(uint32_t offset) const {
    return !entries_.empty() && entries_.back().startOffset >= offset;
  }
  // An earlier run holding the same items as `run`, or null.
  const EdgeListItem* Find(const EdgeList& run, uint64_t hash) const;
  void Add(const EdgeList& run, uint64_t hash);
  static uint64_t Hash(const EdgeList& run);

 private:
  struct Entry {
    uint64_t hash;
    size_t first;
    uint32_t count;
    uint32_t startOffset;
  };
  // Open addressing over the entries: a slot holds an entry's index + 1
  // and the high half of its hash.
  struct Slot {
    uint32_t entry = 0, tag = 0;
  };
  std::vector<Slot> slots_;
  std::vector<Entry> entries_;
  std::vector<EdgeListItem> items_;
};

// Two items draw the same edge with the same styles: the same start and end
// points, control and anchor forms and stored deltas, and style bytes in
// force. How the pen got to the start (the move) and whether the record
// carries its style bytes itself play no part.
bool SameEdgeRunItem(const EdgeListItem& a, const EdgeListItem& b);

// Mode 0, after every decoded run: when the run just decoded (R) holds the
// same items as an earlier run of the object, R is removed as a repeated
// run is (the next run's move measured from P's end, its style in force
// kept) and non-zero is returned; otherwise R joins the index (unless a
// pass before already put it there). Only runs
// that carry no fill go: fills are drawn even-odd, so a second copy of a
// filled edge cancels the first, and removing it would change the drawing.
// Never while a morph half is analysed (its runs pair with the other half's).
uint8_t MergeRepeatedEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                              uint32_t& readPos, PenPosition& pen, uint8_t mode,
                              bool morphAnalysis, EdgeRunIndex& index);
// When R repeats P item for item (start and end points, flags, control and
// anchor deltas as stored, style bytes) and carries no fill, R is removed
// and the next run's move measured from P's end; non-zero then, else 0.
// Two copies of a filled run draw nothing of that fill, so such a pair
// stays as it came.
uint8_t MergeIdenticalEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                               uint32_t& readPos, PenPosition& pen, StyleBytes& style);
// When R walks P's points backwards (each item's end is the other's start,
// straight against straight, curves with the same control point), with the
// same line styles, and each fill of R lands on a side where P has none
// (walking backwards swaps the sides), P takes R's fills and R is removed:
// the same areas drawn with half the edges. Non-zero then, else 0; never
// while a morph half is analysed.
uint8_t MergeMatchingEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                              uint32_t& readPos, PenPosition& pen, StyleBytes& style,
                              bool morphAnalysis);
// Non-zero when a curved item of `run` has a point inside `region`: each
// curve is sampled at 101 points from its start through its control point
// to its end (shape units); the inner samples, divided by 256 toward zero,
// are tested within `clip`.
uint8_t CurveEntersRegion(const EdgeList& run, const EdgeList& other, const Region& region,
                          IntRect clip);

}  // namespace tovrani
