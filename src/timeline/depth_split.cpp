#include "timeline/depth_split.h"

#include <algorithm>
#include <cstdint>

#include "swf/place_object.h"

namespace tovrani {

namespace {

// The object of marked span P goes on in unmarked span E on another entry:
// P's object leaves at E's start, and a Move without a character of its own
// brings the character of its source.
void MarkHandoff(std::vector<DisplayEvent>& events, const CharacterSources& sources,
                 const DepthSpan& prev, const DepthSpan& next) {
  DisplayEvent& p = events[prev.placeEvent];
  // Only the same object's placement before it: once the regrouping has
  // moved spans between entries, the span before in the entry may be
  // another object's.
  if (p.handoffFrame != 0 || sources.previous(next.placeEvent) != prev.placeEvent) return;
  DisplayEvent& e = events[next.placeEvent];
  if (e.isReplace) {
    p.handoffFrame = next.startFrame;
  } else if (e.placeFlags & kPlaceMove) {
    MarkCharacterRestore(events, sources, next.placeEvent);
    p.handoffFrame = next.startFrame;
  }
}

}  // namespace

void SplitDepthRange(DepthTable& table, size_t first, uint32_t limit, uint32_t shift,
                     std::vector<DisplayEvent>& events, const CharacterSources& sources,
                     PassBudget& budget) {
  const size_t n = table.size();
  size_t end = first;
  size_t extra = 0;
  while (end < n && table[end].depth <= limit) {
    const DepthEntry& m = table[end++];
    if (m.markedCount > 0 && m.markedCount < m.spans.size()) ++extra;
  }
  budget.Spend(n);

  DepthTable out;
  out.reserve(n + extra);
  // A disabled mask's group first ends at the last depth it holds, so that
  // nothing moved in above that joins it. A group that reaches past the
  // range keeps what it held there as that moves up; the range's parts that
  // move above the range then join it (they stood in it before, unless they
  // stood below its head: a split cannot keep both). A group that ends
  // inside the range follows its parts that move up only when nothing else
  // would join it.
  std::vector<uint32_t> depths(n);
  for (size_t m = 0; m < n; ++m) depths[m] = table[m].depth;
  // Per range entry, how many entries up to it keep spans, or move some.
  std::vector<uint32_t> keeps(end - first + 1, 0), moves(end - first + 1, 0);
  for (size_t m = first; m < end; ++m) {
    keeps[m - first + 1] = keeps[m - first] + (table[m].markedCount > 0);
    moves[m - first + 1] = moves[m - first] + (table[m].markedCount < table[m].spans.size());
  }
  // Range entries with depths in (lo, hi] that keep spans, or move some.
  auto count = [&](const std::vector<uint32_t>& prefix, uint32_t lo, uint32_t hi) {
    auto at = [&](uint32_t d) {
      return size_t(std::upper_bound(depths.begin() + long(first), depths.begin() + long(end), d) -
                    (depths.begin() + long(first)));
    };
    return hi <= lo ? 0u : prefix[at(hi)] - prefix[at(lo)];
  };
  auto keepGroup = [&](DepthEntry& e) {
    if (!e.hasDisabled) return;
    for (DepthSpan& s : e.spans) {
      if (!s.disabledClip) continue;
      auto last = std::upper_bound(depths.begin(), depths.end(), s.disabledClip);
      const uint32_t c = std::max(e.depth, last == depths.begin() ? 0u : *(last - 1));
      s.disabledClip = c;
      if (c > limit || (count(moves, e.depth, c) > 0 && count(moves, 0, e.depth) == 0 &&
                        count(keeps, c, limit) == 0))
        s.disabledClip += shift;
    }
  };
  for (size_t m = 0; m < first; ++m) {
    keepGroup(table[m]);
    out.push_back(std::move(table[m]));
  }
  // Covered parts, at their depths.
  for (size_t m = first; m < end; ++m) {
    const DepthEntry& e = table[m];
    if (e.markedCount == 0) continue;
    DepthEntry covered;
    covered.depth = e.depth;
    covered.maxClip = e.maxClip;
    covered.spans.reserve(e.markedCount);
    for (const DepthSpan& s : e.spans)
      if (s.marked) covered.spans.push_back(s);
    RefreshEntry(covered);
    keepGroup(covered);
    out.push_back(std::move(covered));
  }
  // The rest of the range, above it.
  for (size_t m = first; m < end; ++m) {
    const DepthEntry& e = table[m];
    if (e.markedCount >= e.spans.size()) continue;
    budget.Spend(e.spans.size());
    DepthEntry rest;
    rest.depth = e.depth + shift;
    rest.maxClip = e.hasMask ? e.maxClip + shift : 0;
    rest.spans.reserve(e.spans.size() - e.markedCount);
    for (size_t j = 0; j < e.spans.size(); ++j) {
      const DepthSpan& s = e.spans[j];
      if (s.marked) continue;
      if (j > 0 && e.spans[j - 1].marked) MarkHandoff(events, sources, e.spans[j - 1], s);
      rest.spans.push_back(s);
      if (s.hasClip) rest.spans.back().clipDepth += shift;
      if (s.disabledClip) rest.spans.back().disabledClip += shift;
    }
    out.push_back(std::move(rest));
  }
  // Only the range's parts carry marks or changed kinds.
  for (size_t p = first; p < out.size(); ++p) RefreshEntry(out[p]);
  // Everything beyond the range moves up whole.
  for (size_t m = end; m < n; ++m) {
    DepthEntry& e = table[m];
    e.depth += shift;
    if (e.hasMask || e.hasDisabled) {
      if (e.hasMask) e.maxClip += shift;
      for (DepthSpan& s : e.spans) {
        if (s.hasClip) s.clipDepth += shift;
        if (s.disabledClip) s.disabledClip += shift;
      }
    }
    out.push_back(std::move(e));
  }
  table = std::move(out);
}

}  // namespace tovrani
