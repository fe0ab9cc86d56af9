// The depth table of the depth and mask-layer pass: one entry per placed
// depth, each with one span per placement, in depth order. Built from the
// display-list events; deep clip depths clamped, consecutive masks merged,
// depth gaps closed and every entry classified.
//
// Depths and clip depths are held 32 bits wide so that a shift can never
// wrap silently; the write-back refuses values that do not fit the tags.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "timeline/display_events.h"

namespace tovrani {

inline constexpr uint16_t kOpenEnd = 0xFFFF;  // a span nothing has ended yet

// A bound on the pass's work. Every stage whose cost the input can blow up
// charges it; once it is spent the pass takes the cancel road, so no movie
// keeps the converter busy for minutes. A timeline gets its own cap or what
// the movie's allowance has left, whichever is smaller (MovieBudget::
// maskPass), so that a movie's sprites cannot each spend a cap of their own.
class PassBudget {
 public:
  static constexpr uint64_t kDefaultUnits = uint64_t(1) << 24;
  explicit PassBudget(uint64_t units = kDefaultUnits) : given_(units), left_(units) {}
  // False once the budget is spent (and from then on).
  bool Spend(uint64_t units) {
    if (units > left_) {
      left_ = 0;
      spent_ = true;
    } else {
      left_ -= units;
    }
    return !spent_;
  }
  bool spent() const { return spent_; }
  // What was spent (all that was given once spent).
  uint64_t used() const { return given_ - left_; }

 private:
  uint64_t given_;
  uint64_t left_;
  bool spent_ = false;
};

struct DepthSpan {
  uint16_t startFrame = 0;
  uint16_t endFrame = kOpenEnd;  // exclusive
  uint32_t clipDepth = 0;
  uint32_t origClipDepth = 0;
  uint32_t placeEvent = kNoEvent;
  uint32_t removeEvent = kNoEvent;
  uint8_t hasClip = 0;
  uint8_t clipInherited = 0;
  uint8_t marked = 0;
  uint8_t masked = 0;
  // A disabled nested mask: the last depth of the group it heads, moved
  // along with the depths like a clip depth (at least its own depth); 0 for
  // every other span. The final stage writes the group's width from it, so
  // an abandoned pass writes nothing, and depths that later repairs move
  // into or out of the group keep what it covered.
  uint32_t disabledClip = 0;
};

struct DepthEntry {
  uint32_t depth = 0;
  uint32_t maxClip = 0;
  uint32_t markedCount = 0;
  uint16_t touched = 0;
  std::vector<DepthSpan> spans;
  uint8_t hasMask = 0;
  uint8_t hasNonMask = 0;
  uint8_t free = 0;
  uint8_t nestedMask = 0;
  uint8_t laterFlag = 0;  // reset every cycle; used by the later stages
  uint8_t partlyMasked = 0;
  uint8_t hasDisabled = 0;  // a span heads a disabled mask's group
  uint32_t spanCount() const { return uint32_t(spans.size()); }
};

using DepthTable = std::vector<DepthEntry>;

// Two spans overlap when each starts before the other ends.
inline bool SpansOverlap(uint32_t startA, uint32_t endA, uint32_t startB, uint32_t endB) {
  return startA < endB && startB < endA;
}

// First span, in order, whose end lies after `frame`: spans of one entry
// follow each other, so their starts and ends never decrease.
size_t FirstEndingAfter(const std::vector<DepthSpan>& spans, uint32_t frame);

// Builds the table from the placements at depth 1 and above, in one pass.
// A removal ends the span of its depth only when that span is still open.
DepthTable BuildDepthTable(const std::vector<DisplayEvent>& events);

// Clip depths of 0x8000 and more on masks below depth 0x7F00 that reach past
// every placed depth become maxDepth + 1. Returns whether any changed;
// `which` receives the indexes of the events changed.
bool ClampDeepClips(std::vector<DisplayEvent>& events, uint16_t maxDepth,
                    std::vector<uint32_t>* which = nullptr);

// Merges a mask into the depth above it where it covers only that depth,
// nothing is shown there while it is, and a mask of that depth takes over
// the moment it is removed. Rebuilds the table after each merge. Returns
// whether any mask moved.
bool MergeConsecutiveMasks(std::vector<DisplayEvent>& events, DepthTable& table,
                           PassBudget& budget);

// Shrinks every gap between consecutive entries to one free depth, moving
// clip depths along so that each mask covers the same entries.
// `budget`, when given, is charged for the spans visited.
void CloseDepthGaps(DepthTable& table, PassBudget* budget = nullptr);

// Recomputes hasMask and hasNonMask from the spans (a disabled mask no
// longer counts as a mask) and clears the entry's marks.
void RefreshEntry(DepthEntry& entry);

// Sets free, nestedMask and partlyMasked of every entry (the last entry
// first; `perEntry` runs once per entry) and returns whether anything needs
// rearranging. Without `coverage` partlyMasked is left 0 (MarkPartlyMasked
// sets it when it is needed). A spent budget answers true.
bool ClassifyDepths(DepthTable& table, PassBudget& budget, const std::function<void()>& perEntry,
                    bool coverage = true);

// Sets partlyMasked as ClassifyDepths does.
void MarkPartlyMasked(DepthTable& table, PassBudget& budget);

}  // namespace tovrani
