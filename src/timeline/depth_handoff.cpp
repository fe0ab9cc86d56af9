#include "timeline/depth_handoff.h"

#include <algorithm>

#include "swf/place_object.h"

namespace tovrani {

namespace {

bool StartsLayerRun(const std::vector<DepthSpan>& spans, size_t i) {
  return i == 0 || spans[i].startFrame != spans[i - 1].endFrame;
}

// The clip depth a mask placement gets: the largest of its layer, unless that
// would newly cover an object shown while this mask (and the moves that keep
// its clip depth) is shown; then its own.
uint32_t ClipToWrite(const DepthTable& table, size_t ei, size_t si, PassBudget& budget) {
  const DepthEntry& e = table[ei];
  const std::vector<DepthSpan>& spans = e.spans;
  uint32_t own = spans[si].clipDepth;
  if (e.maxClip <= own) return own;
  size_t last = si;
  while (last + 1 < spans.size() && spans[last + 1].clipInherited && spans[last + 1].hasClip) ++last;
  uint32_t from = spans[si].startFrame, to = spans[last].endFrame;
  auto it = std::upper_bound(table.begin(), table.end(), own,
                             [](uint32_t d, const DepthEntry& x) { return d < x.depth; });
  for (; it != table.end() && it->depth <= e.maxClip; ++it) {
    if (!budget.Spend(1)) return own;
    const std::vector<DepthSpan>& q = it->spans;
    auto s = std::upper_bound(q.begin(), q.end(), from,
                              [](uint32_t f, const DepthSpan& x) { return f < x.endFrame; });
    if (s != q.end() && s->startFrame < to) return own;
  }
  return e.maxClip;
}

using Write = TimelineData::Patch;

}  // namespace

FinishResult FinishDepthTable(std::vector<DisplayEvent>& events,
                              const std::vector<uint64_t>& headerPos,
                              const std::vector<FoldedMove>& folded,
                              const CharacterSources& sources, DepthTable& table, bool cancelled,
                              PassBudget& budget, TimelineData& data, HandoffTables& out) {
  out = HandoffTables{};
  // Plan every write first, so that a value that does not fit stops the
  // stage before anything changes.
  std::vector<Write> writes;
  std::vector<uint8_t> linked(events.size(), 0);
  for (size_t ei = 0; ei < table.size(); ++ei) {
    const DepthEntry& e = table[ei];
    if (e.depth > 0xFFFF) return FinishResult::kOutOfBounds;
    for (size_t si = 0; si < e.spans.size(); ++si) {
      const DepthSpan& s = e.spans[si];
      const DisplayEvent& p = events[s.placeEvent];
      writes.push_back({p.depthPos, uint16_t(e.depth), 2});
      if (s.disabledClip != 0) {
        // A disabled nested mask: the marker, tested on the span (its event
        // still says it has a clip depth).
        if (s.disabledClip < e.depth) return FinishResult::kOutOfBounds;
        uint32_t covered = s.disabledClip + 1 - e.depth;
        if (e.depth >= 0x7F00 || covered > 0x7FFF) return FinishResult::kOutOfBounds;
        writes.push_back({p.clipPos, uint16_t(covered + 0x8000), 2});
      } else if (e.hasMask && s.hasClip && !p.clipInherited) {
        uint32_t clip = ClipToWrite(table, ei, si, budget);
        if (clip > 0xFFFF || (clip >= 0x8000 && e.depth < 0x7F00)) return FinishResult::kOutOfBounds;
        writes.push_back({p.clipPos, uint16_t(clip), 2});
      }
      if (s.removeEvent != kNoEvent) {
        writes.push_back({events[s.removeEvent].depthPos, uint16_t(e.depth), 2});
        linked[s.removeEvent] = 1;
      }
    }
  }
  // Depth 0 never moves, but a mask there reaches into depths that do.
  for (const DisplayEvent& ev : events)
    if (!ev.isRemove && ev.depth == 0 && ev.hasClip) return FinishResult::kOutOfBounds;

  // The marks are set after a cancel too: a stop after the regrouping or a
  // split leaves objects whose placements stand on two layers, and without
  // them the engine would show such an object twice.
  (void)cancelled;
  {
    // Restore marks: a layer run that starts with a placement without a
    // character takes the character of the latest placement that had one.
    for (const DepthEntry& e : table) {
      for (size_t si = 0; si < e.spans.size(); ++si) {
        if (!StartsLayerRun(e.spans, si)) continue;
        uint32_t pe = e.spans[si].placeEvent;
        if (events[pe].characterId == 0) MarkCharacterRestore(events, sources, pe);
      }
    }
  }
  // Event depths follow their entries, on every road that writes the tags.
  for (const DepthEntry& e : table) {
    for (const DepthSpan& s : e.spans) {
      events[s.placeEvent].depth = uint16_t(e.depth);
      if (s.removeEvent != kNoEvent) events[s.removeEvent].depth = uint16_t(e.depth);
    }
  }
  {
    // Hand-off marks: a Move that starts a layer run ends the object at the
    // place it came from.
    for (const DepthEntry& e : table) {
      for (size_t si = 0; si < e.spans.size(); ++si) {
        if (!StartsLayerRun(e.spans, si)) continue;
        uint32_t pe = e.spans[si].placeEvent;
        if (!(events[pe].placeFlags & kPlaceMove) || sources.previous(pe) == kNoEvent) continue;
        DisplayEvent& from = events[sources.previous(pe)];
        if (from.handoffFrame == 0) from.handoffFrame = e.spans[si].startFrame;
      }
    }
  }
  // A placement without Move that took the place of the object before it
  // (no removal between) ends that object too; once the two stand on
  // different layers, nothing in the tags does so any more.
  std::vector<uint32_t> entryOf(events.size(), kNoEvent);
  for (uint32_t ei = 0; ei < table.size(); ++ei)
    for (const DepthSpan& s : table[ei].spans) entryOf[s.placeEvent] = ei;
  for (uint32_t ei = 0; ei < table.size(); ++ei) {
    for (const DepthSpan& s : table[ei].spans) {
      uint32_t pe = s.placeEvent, prev = sources.previous(pe);
      if ((events[pe].placeFlags & kPlaceMove) || prev == kNoEvent || events[prev].isRemove ||
          entryOf[prev] == ei || entryOf[prev] == kNoEvent)
        continue;
      if (events[prev].handoffFrame == 0) events[prev].handoffFrame = s.startFrame;
    }
  }
  for (const DepthEntry& e : table) {
    for (const DepthSpan& s : e.spans) {
      const DisplayEvent& p = events[s.placeEvent];
      if (p.handoffFrame != 0) out.layerDepths.push_back({p.handoffFrame, uint16_t(e.depth)});
      if (p.restoreMark == 1)
        out.maskDepths.push_back({p.characterId, uint16_t(e.depth), events[p.linkedEvent].depth});
    }
  }

  // A removal that ended nothing keeps its old depth, which another layer may
  // now use: it is disabled like a move of nothing.
  for (uint32_t i = 0; i < events.size(); ++i)
    if (events[i].isRemove && !linked[i] && events[i].origDepth != 0)
      writes.push_back({headerPos[i] + 1, 0xFF, 1});
  WriteFoldedMoves(writes, events, folded);
  data.Apply(std::move(writes));
  return data.writeFailed() ? FinishResult::kWriteFailed : FinishResult::kWritten;
}

}  // namespace tovrani
