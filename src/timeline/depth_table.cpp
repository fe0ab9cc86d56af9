#include "timeline/depth_table.h"

#include <algorithm>

#include "swf/place_object.h"

namespace tovrani {

namespace {

// Event indices grouped by depth, each group in tag order: one counting sort
// instead of a scan of all events per depth.
struct DepthBuckets {
  std::vector<uint32_t> first;  // 0x10001 offsets into `order`
  std::vector<uint32_t> order;

  explicit DepthBuckets(const std::vector<DisplayEvent>& events) : first(0x10002, 0) {
    for (const DisplayEvent& e : events) ++first[e.depth + 2];
    for (size_t d = 2; d < first.size(); ++d) first[d] += first[d - 1];
    order.resize(events.size());
    for (uint32_t i = 0; i < events.size(); ++i) order[first[events[i].depth + 1]++] = i;
  }
  const uint32_t* begin(uint32_t d) const { return order.data() + first[d]; }
  const uint32_t* end(uint32_t d) const { return order.data() + first[d + 1]; }

  // Whether depth d has an event strictly between the two event indices.
  bool AnyBetween(uint32_t d, uint32_t after, uint32_t before) const {
    if (d > 0xFFFF) return false;
    const uint32_t* it = std::upper_bound(begin(d), end(d), after);
    return it != end(d) && *it < before;
  }
  // Whether depth d is empty just before event `at`: no earlier event there,
  // or the latest one is a removal.
  bool EmptyBefore(uint32_t d, uint32_t at, const std::vector<DisplayEvent>& events) const {
    if (d > 0xFFFF) return true;
    const uint32_t* it = std::lower_bound(begin(d), end(d), at);
    return it == begin(d) || events[*(it - 1)].isRemove;
  }
};

// First span, in order, whose end lies after `frame` (ends never decrease).
size_t FirstEndingAfter(const std::vector<DepthSpan>& spans, uint32_t frame) {
  auto it = std::upper_bound(spans.begin(), spans.end(), frame,
                             [](uint32_t f, const DepthSpan& s) { return f < s.endFrame; });
  return size_t(it - spans.begin());
}

}  // namespace

DepthTable BuildDepthTable(const std::vector<DisplayEvent>& events) {
  DepthBuckets buckets(events);
  DepthTable table;
  for (uint32_t d = 1; d <= 0xFFFF; ++d) {
    const uint32_t* b = buckets.begin(d);
    const uint32_t* e = buckets.end(d);
    size_t placements = 0;
    for (const uint32_t* it = b; it != e; ++it) placements += events[*it].isRemove ? 0 : 1;
    if (placements == 0) continue;
    DepthEntry entry;
    entry.depth = d;
    entry.spans.reserve(placements);
    bool open = false;
    for (const uint32_t* it = b; it != e; ++it) {
      const DisplayEvent& ev = events[*it];
      if (ev.isRemove) {
        // Only a span still shown can be ended; a second removal, or one
        // before any placement, removes nothing.
        if (open) {
          entry.spans.back().endFrame = ev.frame;
          entry.spans.back().removeEvent = *it;
          open = false;
        }
        continue;
      }
      if (open) entry.spans.back().endFrame = ev.frame;
      DepthSpan s;
      s.startFrame = ev.frame;
      s.clipDepth = s.origClipDepth = ev.clipDepth;
      s.placeEvent = *it;
      s.hasClip = ev.hasClip;
      s.clipInherited = ev.clipInherited;
      entry.spans.push_back(s);
      open = true;
      if (ev.hasClip) {
        entry.hasMask = 1;
        entry.maxClip = std::max<uint32_t>(entry.maxClip, ev.clipDepth);
      } else {
        entry.hasNonMask = 1;
      }
    }
    table.push_back(std::move(entry));
  }
  return table;
}

bool ClampDeepClips(std::vector<DisplayEvent>& events, uint16_t maxDepth) {
  bool clamped = false;
  uint16_t limit = maxDepth == 0xFFFF ? 0xFFFF : uint16_t(maxDepth + 1);
  // Taken-over copies of a deep clip are clamped with their source, so one
  // object keeps one clip depth.
  for (DisplayEvent& e : events) {
    if (!e.isRemove && e.hasClip && e.clipDepth >= 0x8000 && e.depth < 0x7F00 &&
        e.clipDepth > maxDepth) {
      e.clipDepth = limit;
      clamped = true;
    }
  }
  return clamped;
}

namespace {

// Whether the mask span s of entry k can move to entry k + 1; returns the
// span of k + 1 that takes over from it.
const DepthSpan* MergePartner(const std::vector<DisplayEvent>& events, const DepthBuckets& buckets,
                              const DepthEntry& k, const DepthEntry& next, const DepthSpan& s,
                              bool followersFit) {
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
  // (a move would leave the old one behind at k), the removal comes before the
  // partner's placement, nothing happens at k + 1 while s is shown, and the
  // depth that s will newly reach is empty all that time.
  if (events[s.placeEvent].placeFlags & kPlaceMove) return nullptr;
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
        const DepthSpan* t = MergePartner(events, buckets, entry, table[k + 1], s, followersFit[i]);
        if (!t) continue;
        uint16_t target = uint16_t(table[k + 1].depth);
        DisplayEvent& place = events[s.placeEvent];
        place.depth = target;
        place.clipDepth = uint16_t(std::min<uint32_t>(target + 1u, t->clipDepth));
        events[s.removeEvent].depth = target;
        moved = true;
      }
    }
    if (!moved) {
      ++k;
      continue;
    }
    merged = true;
    if (!budget.Spend(events.size() + 0x10000)) break;
    table = BuildDepthTable(events);
    buckets = DepthBuckets(events);
    // Only the pairs around k can have changed.
    k = k > 0 ? k - 1 : 0;
  }
  return merged;
}

void CloseDepthGaps(DepthTable& table) {
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
  for (size_t i = 0; i < n; ++i) {
    DepthEntry& e = table[i];
    e.depth = newDepth[i];
    if (!e.hasMask) continue;
    e.maxClip = map(e.maxClip);
    for (DepthSpan& s : e.spans) {
      if (!s.hasClip) continue;
      s.clipDepth = map(s.clipDepth);
      s.origClipDepth = map(s.origClipDepth);
    }
  }
}

bool ClassifyDepths(DepthTable& table, PassBudget& budget, const std::function<void()>& perEntry) {
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
    // Is every object in the mask's range covered by the mask span in force
    // while it is shown?
    for (size_t j = k + 1; j < n && table[j].depth <= e.maxClip && !e.partlyMasked; ++j) {
      for (const DepthSpan& q : table[j].spans) {
        uint32_t t = q.startFrame;
        for (;;) {
          if (!budget.Spend(1)) return true;
          size_t i = FirstEndingAfter(e.spans, t);
          if (i == e.spans.size() || e.spans[i].startFrame > t) break;
          if (e.spans[i].clipDepth < table[j].depth) {
            e.partlyMasked = 1;
            changed = true;
            break;
          }
          t = e.spans[i].endFrame;
          if (t >= q.endFrame) break;
        }
        if (e.partlyMasked) break;
      }
    }
  }
  return changed;
}

}  // namespace tovrani
