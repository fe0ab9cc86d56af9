#include "timeline/depth_table.h"

#include <algorithm>
#include <cstdint>

#include "swf/place_object.h"

namespace tovrani {

namespace {

// Event indices grouped by depth, each group in tag order: one pass over the
// events instead of a scan of all of them per depth. Only the depths the
// events use have a group, in depth order, so a movie pays for its depths
// rather than for all 65,536.
struct DepthBuckets {
  static constexpr size_t kNone = SIZE_MAX;
  std::vector<uint16_t> depths;               // sorted, distinct
  std::vector<std::vector<uint32_t>> groups;  // one per depth

  explicit DepthBuckets(const std::vector<DisplayEvent>& events) {
    depths.reserve(events.size());
    for (const DisplayEvent& e : events) depths.push_back(e.depth);
    std::sort(depths.begin(), depths.end());
    depths.erase(std::unique(depths.begin(), depths.end()), depths.end());
    groups.resize(depths.size());
    for (uint32_t i = 0; i < events.size(); ++i) groups[slot(events[i].depth)].push_back(i);
  }
  size_t slot(uint32_t d) const {
    auto it = std::lower_bound(depths.begin(), depths.end(), d);
    return it != depths.end() && *it == d ? size_t(it - depths.begin()) : kNone;
  }
  // The events at depth d (none at a depth no event uses).
  const std::vector<uint32_t>& at(uint32_t d) const {
    static const std::vector<uint32_t> kEmpty;
    size_t s = slot(d);
    return s == kNone ? kEmpty : groups[s];
  }
  // Moves event i from depth `from` to depth `to` (both in use), keeping tag order.
  void Move(uint32_t i, uint32_t from, uint32_t to) {
    auto& a = groups[slot(from)];
    a.erase(std::lower_bound(a.begin(), a.end(), i));
    auto& b = groups[slot(to)];
    b.insert(std::lower_bound(b.begin(), b.end(), i), i);
  }
  // Whether depth d has an event strictly between the two event indices.
  bool AnyBetween(uint32_t d, uint32_t after, uint32_t before) const {
    const auto& g = at(d);
    auto it = std::upper_bound(g.begin(), g.end(), after);
    return it != g.end() && *it < before;
  }
  // Whether depth d is empty just before event `e`: no earlier event there,
  // or the latest one is a removal.
  bool EmptyBefore(uint32_t d, uint32_t e, const std::vector<DisplayEvent>& events) const {
    const auto& g = at(d);
    auto it = std::lower_bound(g.begin(), g.end(), e);
    return it == g.begin() || events[*(it - 1)].isRemove;
  }
};

// The entry of depth d from its events; false when d has no placement.
bool BuildEntry(const std::vector<DisplayEvent>& events, const std::vector<uint32_t>& at,
                uint32_t d, DepthEntry& entry) {
  size_t placements = 0;
  for (uint32_t i : at) placements += events[i].isRemove ? 0 : 1;
  if (placements == 0) return false;
  entry = DepthEntry{};
  entry.depth = d;
  entry.spans.reserve(placements);
  bool open = false;
  for (uint32_t i : at) {
    const DisplayEvent& ev = events[i];
    if (ev.isRemove) {
      // Only a span still shown can be ended; a second removal, or one
      // before any placement, removes nothing.
      if (open) {
        entry.spans.back().endFrame = ev.frame;
        entry.spans.back().removeEvent = i;
        open = false;
      }
      continue;
    }
    if (open) entry.spans.back().endFrame = ev.frame;
    DepthSpan s;
    s.startFrame = ev.frame;
    s.clipDepth = s.origClipDepth = ev.clipDepth;
    s.placeEvent = i;
    s.hasClip = ev.hasClip;
    s.clipInherited = ev.clipInherited;
    entry.spans.push_back(s);
    open = true;
  }
  // A mask placed and replaced or removed within one frame, with the Moves
  // that keep its clip depth, is never shown and masks nothing; taken for an
  // object it stays with the placements around it, which the repairs would
  // otherwise put on other layers within that frame, where no hand-off can
  // follow them.
  for (size_t i = 0; i < entry.spans.size();) {
    size_t end = i + 1;
    if (entry.spans[i].hasClip) {
      bool shown = entry.spans[i].startFrame != entry.spans[i].endFrame;
      for (; end < entry.spans.size() && entry.spans[end].clipInherited && entry.spans[end].hasClip; ++end)
        shown = shown || entry.spans[end].startFrame != entry.spans[end].endFrame;
      if (!shown)
        for (size_t k = i; k < end; ++k) entry.spans[k].hasClip = 0;
    }
    i = end;
  }
  for (DepthSpan& s : entry.spans) {
    if (s.hasClip) {
      entry.hasMask = 1;
      entry.maxClip = std::max<uint32_t>(entry.maxClip, s.clipDepth);
    } else {
      entry.hasNonMask = 1;
    }
  }
  return true;
}

DepthTable BuildFromBuckets(const std::vector<DisplayEvent>& events, const DepthBuckets& buckets) {
  DepthTable table;
  DepthEntry entry;
  for (size_t i = 0; i < buckets.depths.size(); ++i)
    if (buckets.depths[i] >= 1 && BuildEntry(events, buckets.groups[i], buckets.depths[i], entry))
      table.push_back(std::move(entry));
  return table;
}

}  // namespace

DepthTable BuildDepthTable(const std::vector<DisplayEvent>& events) {
  return BuildFromBuckets(events, DepthBuckets(events));
}

bool ClampDeepClips(std::vector<DisplayEvent>& events, uint16_t maxDepth,
                    std::vector<uint32_t>* which) {
  bool clamped = false;
  uint16_t limit = maxDepth == 0xFFFF ? 0xFFFF : uint16_t(maxDepth + 1);
  // Taken-over copies of a deep clip are clamped with their source, so one
  // object keeps one clip depth.
  for (uint32_t i = 0; i < events.size(); ++i) {
    DisplayEvent& e = events[i];
    if (!e.isRemove && e.hasClip && e.clipDepth >= 0x8000 && e.depth < 0x7F00 &&
        e.clipDepth > maxDepth) {
      e.clipDepth = limit;
      clamped = true;
      if (which) which->push_back(i);
    }
  }
  return clamped;
}

namespace {

// Whether the mask span s of entry k can move to entry k + 1; returns the
// span of k + 1 that takes over from it.
const DepthSpan* MergePartner(const std::vector<DisplayEvent>& events, const DepthBuckets& buckets,
                              const std::vector<uint32_t>& clipsEndingAt, const DepthEntry& k,
                              const DepthEntry& next, const DepthSpan& s, bool followersFit) {
  if (!s.hasClip || s.clipDepth != k.depth + 1 || s.removeEvent == kNoEvent || !followersFit ||
      s.clipDepth != next.depth)
    return nullptr;
  const DepthSpan* partner = nullptr;
  for (size_t i = FirstEndingAfter(next.spans, s.startFrame == 0 ? 0 : s.startFrame - 1);
       i < next.spans.size(); ++i) {
    const DepthSpan& t = next.spans[i];
    if (SpansOverlap(t.startFrame, t.endFrame, s.startFrame, s.endFrame)) return nullptr;
    if (t.startFrame > s.endFrame) return nullptr;
    if (t.startFrame == s.endFrame && t.hasClip && t.clipDepth > next.depth + 1) {
      partner = &t;
      break;
    }
  }
  if (!partner) return nullptr;
  // The move must not change what is shown: the placement starts a new object
  // at an empty depth (otherwise the object it moves or replaces would stay
  // behind at k), the removal comes before the partner's placement, nothing
  // happens at k + 1 while s is shown, and the depth that s will newly reach
  // is empty all that time.
  if (events[s.placeEvent].placeFlags & kPlaceMove) return nullptr;
  if (!buckets.EmptyBefore(k.depth, s.placeEvent, events)) return nullptr;
  // A mask below that reaches k but not k + 1 would no longer cover s.
  if (size_t at = buckets.slot(k.depth); at != DepthBuckets::kNone && clipsEndingAt[at] != 0)
    return nullptr;
  if (s.removeEvent > partner->placeEvent) return nullptr;
  if (buckets.AnyBetween(next.depth, s.placeEvent, s.removeEvent)) return nullptr;
  uint32_t reached = next.depth + 1;
  if (!buckets.EmptyBefore(reached, s.placeEvent, events) ||
      buckets.AnyBetween(reached, s.placeEvent, s.removeEvent))
    return nullptr;
  return partner;
}

}  // namespace

bool MergeConsecutiveMasks(std::vector<DisplayEvent>& events, DepthTable& table,
                           PassBudget& budget) {
  bool merged = false;
  DepthBuckets buckets(events);
  // Number of masks whose range ends at each depth in use (the only depths
  // asked about), by the depth's group.
  std::vector<uint32_t> clipsEndingAt(buckets.depths.size(), 0);
  auto countClip = [&](uint32_t clip, int by) {
    if (size_t at = buckets.slot(clip); at != DepthBuckets::kNone) clipsEndingAt[at] += uint32_t(by);
  };
  for (const DisplayEvent& e : events)
    if (!e.isRemove && e.hasClip && e.clipDepth > e.depth) countClip(e.clipDepth, 1);
  size_t k = 0;
  std::vector<uint8_t> followersFit;
  while (k + 1 < table.size()) {
    const DepthEntry& entry = table[k];
    if (!budget.Spend(entry.spans.size() + 1)) break;
    bool moved = false;
    if (entry.hasMask) {
      // followersFit[i]: no mask among the spans after i, up to the first
      // span that is not a mask, reaches beyond depth + 1.
      size_t n = entry.spans.size();
      followersFit.assign(n, 1);
      for (size_t i = n - 1; i-- > 0;) {
        const DepthSpan& f = entry.spans[i + 1];
        followersFit[i] = !f.hasClip || (f.clipDepth <= entry.depth + 1 && followersFit[i + 1]);
      }
      for (size_t i = 0; i < n && !moved; ++i) {
        const DepthSpan& s = entry.spans[i];
        const DepthSpan* t =
            MergePartner(events, buckets, clipsEndingAt, entry, table[k + 1], s, followersFit[i]);
        if (!t) continue;
        uint16_t target = uint16_t(table[k + 1].depth);
        DisplayEvent& place = events[s.placeEvent];
        place.depth = target;
        countClip(place.clipDepth, -1);
        place.clipDepth = uint16_t(std::min<uint32_t>(target + 1u, t->clipDepth));
        countClip(place.clipDepth, 1);
        events[s.removeEvent].depth = target;
        buckets.Move(s.placeEvent, entry.depth, target);
        buckets.Move(s.removeEvent, entry.depth, target);
        moved = true;
      }
    }
    if (!moved) {
      ++k;
      continue;
    }
    merged = true;
    // Only entries k and k + 1 change; rebuild just those two.
    uint32_t from = table[k].depth, to = table[k + 1].depth;
    if (!budget.Spend(buckets.at(from).size() + buckets.at(to).size() + table.size() - k)) break;
    DepthEntry rebuilt;
    BuildEntry(events, buckets.at(to), to, rebuilt);
    table[k + 1] = std::move(rebuilt);
    if (BuildEntry(events, buckets.at(from), from, rebuilt))
      table[k] = std::move(rebuilt);
    else
      table.erase(table.begin() + long(k));
    // Only the pairs around k can have changed.
    k = k > 0 ? k - 1 : 0;
  }
  return merged;
}

void CloseDepthGaps(DepthTable& table, PassBudget* budget) {
  size_t n = table.size();
  if (n < 2) return;
  std::vector<uint32_t> oldDepth(n), newDepth(n);
  for (size_t i = 0; i < n; ++i) oldDepth[i] = table[i].depth;
  newDepth[0] = oldDepth[0];
  for (size_t i = 1; i < n; ++i)
    newDepth[i] = newDepth[i - 1] + std::min<uint32_t>(oldDepth[i] - oldDepth[i - 1], 2);
  // A clip depth between two entries keeps covering the same entries: it
  // lands on the entry below it, or on the one free depth above that entry;
  // past the last entry it moves with it.
  auto map = [&](uint32_t c) -> uint32_t {
    auto it = std::upper_bound(oldDepth.begin(), oldDepth.end(), c);
    if (it == oldDepth.begin()) return c;
    size_t a = size_t(it - oldDepth.begin()) - 1;
    uint32_t r = c - oldDepth[a];
    if (a + 1 < n && r > 1) r = 1;
    return newDepth[a] + r;
  };
  // Nothing below the first gap that shrinks changes: every clip depth up
  // to one past the entry before it stays.
  size_t first = 1;
  while (first < n && newDepth[first] == oldDepth[first]) ++first;
  if (first == n) return;
  const uint32_t unchangedUpTo = oldDepth[first - 1] + 1;
  for (size_t i = 0; i < n; ++i) {
    DepthEntry& e = table[i];
    e.depth = newDepth[i];
    if (!(e.hasMask || e.hasDisabled) || (i < first && e.maxClip <= unchangedUpTo && !e.hasDisabled))
      continue;
    if (budget) budget->Spend(e.spans.size());
    if (e.hasMask) e.maxClip = map(e.maxClip);
    for (DepthSpan& s : e.spans) {
      if (s.disabledClip) s.disabledClip = map(s.disabledClip);
      if (!s.hasClip) continue;
      s.clipDepth = map(s.clipDepth);
      s.origClipDepth = map(s.origClipDepth);
    }
  }
}

size_t FirstEndingAfter(const std::vector<DepthSpan>& spans, uint32_t frame) {
  auto it = std::upper_bound(spans.begin(), spans.end(), frame,
                             [](uint32_t f, const DepthSpan& s) { return f < s.endFrame; });
  return size_t(it - spans.begin());
}

void RefreshEntry(DepthEntry& entry) {
  entry.hasMask = entry.hasNonMask = entry.hasDisabled = 0;
  entry.markedCount = 0;
  for (DepthSpan& s : entry.spans) {
    s.marked = 0;
    (s.hasClip ? entry.hasMask : entry.hasNonMask) = 1;
    if (s.disabledClip) entry.hasDisabled = 1;
  }
}

namespace {

// FirstEndingAfter(spans, frame) when no span before `from` ends after
// `frame`: a walk whose frames never decrease finds each next span a step
// or two on, and a jump in a few doublings and a search of what they
// passed.
size_t NextEndingAfter(const std::vector<DepthSpan>& spans, size_t from, uint32_t frame) {
  const size_t n = spans.size();
  if (from >= n || spans[from].endFrame > frame) return from;
  size_t lo = from, step = 1;  // spans[lo] ends at or before frame
  for (;;) {
    const size_t hi = lo + step;
    if (hi >= n || spans[hi].endFrame > frame) {
      auto it = std::upper_bound(spans.begin() + long(lo) + 1, spans.begin() + long(std::min(hi, n)), frame,
                                 [](uint32_t f, const DepthSpan& s) { return f < s.endFrame; });
      return size_t(it - spans.begin());
    }
    lo = hi;
    step *= 2;
  }
}

// Whether the mask entry k leaves an object of its range uncovered while it
// is shown: the mask span in force then reaches below the object's depth.
// A spent budget answers true. The mask's spans are walked along with each
// covered entry's, whose frames only grow: a unit is a step of that walk.
bool LeavesPartUncovered(const DepthTable& table, size_t k, PassBudget& budget) {
  const DepthEntry& e = table[k];
  const std::vector<DepthSpan>& masks = e.spans;
  for (size_t j = k + 1; j < table.size() && table[j].depth <= e.maxClip; ++j) {
    size_t first = 0;  // the first mask span ending after the start of q
    for (const DepthSpan& q : table[j].spans) {
      uint32_t t = q.startFrame;
      first = NextEndingAfter(masks, first, t);
      for (size_t i = first;;) {
        if (!budget.Spend(1)) return true;
        if (i == masks.size() || masks[i].startFrame > t) break;
        if (masks[i].clipDepth < table[j].depth) return true;
        t = masks[i].endFrame;
        if (t >= q.endFrame) break;
        // Most often the next span is the one: spans follow each other.
        if (++i < masks.size() && masks[i].endFrame <= t) i = NextEndingAfter(masks, i, t);
      }
    }
  }
  return false;
}

}  // namespace

bool ClassifyDepths(DepthTable& table, PassBudget& budget, const std::function<void()>& perEntry,
                    bool coverage) {
  size_t n = table.size();
  // reach[k]: the largest maxClip of a mask entry below k.
  std::vector<uint32_t> reach(n, 0);
  for (size_t k = 1; k < n; ++k) {
    const DepthEntry& below = table[k - 1];
    reach[k] = std::max(reach[k - 1], below.hasMask ? below.maxClip : 0u);
  }
  bool changed = false;
  for (size_t k = n; k-- > 0;) {
    if (perEntry) perEntry();
    DepthEntry& e = table[k];
    e.nestedMask = e.partlyMasked = e.laterFlag = 0;
    e.free = 1;
    bool covered = reach[k] != 0 && reach[k] >= e.depth;
    if (!e.hasMask) {
      if (covered) e.free = 0;
      continue;
    }
    e.free = 0;
    if (covered) {
      e.nestedMask = 1;
      changed = true;
    }
    if (e.hasNonMask) {
      changed = true;
      continue;
    }
    if (coverage && LeavesPartUncovered(table, k, budget)) {
      e.partlyMasked = 1;
      changed = true;
    }
    if (budget.spent()) return true;
  }
  return changed;
}

void MarkPartlyMasked(DepthTable& table, PassBudget& budget) {
  for (size_t k = 0; k < table.size() && !budget.spent(); ++k) {
    DepthEntry& e = table[k];
    e.partlyMasked = e.hasMask && !e.hasNonMask && LeavesPartUncovered(table, k, budget);
  }
}

}  // namespace tovrani
