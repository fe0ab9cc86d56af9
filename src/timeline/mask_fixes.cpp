#include "timeline/mask_fixes.h"

#include <algorithm>

#include "timeline/depth_split.h"

namespace tovrani {

namespace {

constexpr size_t kNone = ~size_t(0);

// The first span of `spans`, from the first one that can overlap `s`, that
// starts before s ends; spans.size() when none.
size_t FirstOverlapping(const std::vector<DepthSpan>& spans, const DepthSpan& s) {
  size_t i = FirstEndingAfter(spans, s.startFrame);
  return i < spans.size() && spans[i].startFrame < s.endFrame ? i : spans.size();
}

void Mark(DepthEntry& e, DepthSpan& t) {
  t.marked = 1;
  ++e.markedCount;
}

void ClearMarks(DepthTable& table, size_t from, size_t to) {
  for (size_t m = from; m < to && m < table.size(); ++m) {
    if (table[m].markedCount == 0) continue;
    for (DepthSpan& s : table[m].spans) s.marked = 0;
    table[m].markedCount = 0;
  }
}

// One past the last entry at or below depth `limit`, from `from` on.
size_t RangeEnd(const DepthTable& table, size_t from, uint32_t limit) {
  size_t m = from;
  while (m < table.size() && table[m].depth <= limit) ++m;
  return m;
}

// Disables mask span t of entry m: it and the moves that keep its clip
// depth stop being masks; the clip depth the tags will carry is staged on
// the span (the final stage writes it).
void DisableNestedMask(DepthEntry& m, size_t t) {
  std::vector<DepthSpan>& spans = m.spans;
  // The moves that keep the clip depth read the one value the tags hold:
  // it spans the widest range any of them was given.
  uint32_t clip = spans[t].clipDepth;
  for (size_t u = t + 1; u < spans.size() && spans[u].clipInherited; ++u) {
    spans[u].hasClip = 0;
    clip = std::max(clip, spans[u].clipDepth);
  }
  DepthSpan& s = spans[t];
  // A clip depth below its own depth covered nothing, and still does.
  if (!s.clipInherited) s.disabledClip = std::max(clip, m.depth);
  s.hasClip = 0;
  m.maxClip = 0;
  for (const DepthSpan& x : spans)
    if (x.hasClip) m.maxClip = std::max(m.maxClip, x.clipDepth);
}

// Search 1: a mask inside the range of a lower mask.
RepairResult FixNestedMask(DepthTable& table, size_t i, std::vector<DisplayEvent>& events,
                           const CharacterSources& sources, PassBudget& budget) {
  const uint32_t depthI = table[i].depth;
  size_t k = kNone;
  for (size_t j = 0; j < i; ++j)
    if (table[j].hasMask && table[j].maxClip >= depthI) k = j;
  if (!budget.Spend(i + 1)) return RepairResult::kBudgetSpent;
  if (k == kNone) return RepairResult::kNothingLeft;  // classification and table disagree

  // A Move that keeps its clip depth reads it from the placement that gave
  // it: disabled alone it would go on masking in the tags, so the whole run
  // is disabled from that placement, when it stands here.
  auto disable = [](DepthEntry& M, size_t t) {
    size_t from = t;
    while (from > 0 && M.spans[from].clipInherited && M.spans[from - 1].hasClip) --from;
    if (M.spans[from].clipInherited) from = t;
    DisableNestedMask(M, from);
    RefreshEntry(M);
    return RepairResult::kRepaired;
  };
  // A mask of this entry shown together with any mask below that reaches
  // it is disabled, also when the nearest enclosing mask is not shown with
  // it: split away from that one, it would leave the range of the one that
  // does cover it, or take its neighbours along into that range.
  {
    DepthEntry& I = table[i];
    for (size_t j = 0; j < i; ++j) {
      const DepthEntry& J = table[j];
      if (!J.hasMask || J.maxClip < depthI) continue;
      for (size_t t = 0; t < I.spans.size(); ++t) {
        if (!I.spans[t].hasClip) continue;
        if (!budget.Spend(1)) return RepairResult::kBudgetSpent;
        const size_t o = FirstOverlapping(J.spans, I.spans[t]);
        for (size_t q = o; q < J.spans.size() && J.spans[q].startFrame < I.spans[t].endFrame; ++q) {
          if (!budget.Spend(1)) return RepairResult::kBudgetSpent;
          if (J.spans[q].hasClip && J.spans[q].clipDepth >= depthI) return disable(I, t);
        }
      }
    }
  }

  const size_t end = RangeEnd(table, i, table[k].maxClip);
  // What the nearest enclosing mask covers while shown; a mask among it that
  // is shown at the same time is disabled instead.
  for (const DepthSpan& s : table[k].spans) {
    if (!s.hasClip || s.clipDepth < depthI) continue;
    for (size_t m = i; m < table.size() && table[m].depth <= s.clipDepth; ++m) {
      DepthEntry& M = table[m];
      for (size_t t = FirstOverlapping(M.spans, s); t < M.spans.size(); ++t) {
        if (M.spans[t].startFrame >= s.endFrame) break;
        if (!budget.Spend(1)) {
          ClearMarks(table, i, end);
          return RepairResult::kBudgetSpent;
        }
        if (M.spans[t].marked) continue;
        if (!M.spans[t].hasClip) {
          Mark(M, M.spans[t]);
          continue;
        }
        ClearMarks(table, i, end);
        return disable(M, t);
      }
    }
  }
  const uint32_t limit = table[k].maxClip;
  const uint32_t shift = limit + 1 - depthI;
  // Outer masks keep covering what moves up: decide first, then widen.
  // A mask below the outermost one can reach the moved entries too (its
  // range ends inside the nearest one's), so the walk starts at the bottom.
  std::vector<std::pair<size_t, size_t>> widen;
  for (size_t e = 0; e < k; ++e) {
    const DepthEntry& E = table[e];
    if (!E.hasMask || E.maxClip < depthI) continue;
    for (size_t si = 0; si < E.spans.size(); ++si) {
      const DepthSpan& s = E.spans[si];
      if (!s.hasClip || s.clipDepth < depthI) continue;
      bool reaches = false;
      for (size_t m = i; m < table.size() && table[m].depth <= s.clipDepth && !reaches; ++m) {
        const std::vector<DepthSpan>& q = table[m].spans;
        for (size_t t = FirstOverlapping(q, s); t < q.size(); ++t) {
          if (q[t].startFrame >= s.endFrame) break;
          if (!budget.Spend(1)) {
            ClearMarks(table, i, end);
            return RepairResult::kBudgetSpent;
          }
          if (!q[t].marked) {
            reaches = true;
            break;
          }
        }
      }
      if (reaches) widen.emplace_back(e, si);
    }
  }
  // A mask and the Moves that keep its clip depth read one ClipDepth field:
  // they are widened together.
  std::vector<std::pair<size_t, size_t>> chains;
  for (const auto& [e, si] : widen) {
    const std::vector<DepthSpan>& spans = table[e].spans;
    size_t from = si, to = si + 1;
    while (from > 0 && spans[from].clipInherited && spans[from - 1].hasClip) --from;
    while (to < spans.size() && spans[to].clipInherited && spans[to].hasClip) ++to;
    if (!chains.empty() && chains.back().first == e && chains.back().second > from) from = chains.back().second;
    for (size_t t = from; t < to; ++t) {
      DepthSpan& s = table[e].spans[t];
      s.clipDepth += shift;
      table[e].maxClip = std::max(table[e].maxClip, s.clipDepth);
    }
    if (from < to) chains.emplace_back(e, to);
  }
  SplitDepthRange(table, i, limit, shift, events, sources, budget);
  return RepairResult::kRepaired;
}

// Search 2: masks and other objects at one depth; the masks keep the entry
// with what they cover, the others move above the range.
RepairResult FixMixedEntry(DepthTable& table, size_t i, std::vector<DisplayEvent>& events,
                           const CharacterSources& sources, PassBudget& budget) {
  DepthEntry& I = table[i];
  const size_t end = RangeEnd(table, i, I.maxClip);
  for (DepthSpan& s : I.spans) {
    if (!s.hasClip) continue;
    Mark(I, s);
    for (size_t m = i + 1; m < table.size() && table[m].depth <= s.clipDepth; ++m) {
      DepthEntry& M = table[m];
      for (size_t t = FirstOverlapping(M.spans, s); t < M.spans.size(); ++t) {
        if (M.spans[t].startFrame >= s.endFrame) break;
        if (!budget.Spend(1)) {
          ClearMarks(table, i, end);
          return RepairResult::kBudgetSpent;
        }
        if (!M.spans[t].marked) Mark(M, M.spans[t]);
      }
    }
  }
  const uint32_t limit = I.maxClip, shift = I.maxClip + 1 - I.depth;
  SplitDepthRange(table, i, limit, shift, events, sources, budget);
  return RepairResult::kRepaired;
}

// Search 3 for entry i: marks what its masks cover; returns whether a range
// entry is only partly covered (otherwise nothing moves and the marks are
// cleared).
bool MarkCoveredByMask(DepthTable& table, size_t i, PassBudget& budget, bool& spent) {
  const DepthEntry& I = table[i];
  const size_t end = RangeEnd(table, i + 1, I.maxClip);
  size_t split = 0;
  // Groups of disabled masks that stay in the range: a placement shown only
  // while such a group is, at a depth it holds, is masked inside the group,
  // and leaving the group would unmask it. One that outlives the group still
  // moves: kept, it would stand on this mask's layers where it is not
  // covered.
  struct Group {
    uint32_t last;
    uint16_t start, end;
  };
  std::vector<Group> groups;
  for (size_t m = i + 1; m < end; ++m) {
    DepthEntry& M = table[m];
    std::erase_if(groups, [&](const Group& g) { return g.last < M.depth; });
    if (!budget.Spend(M.spans.size() * (groups.size() + 1) + 1)) {
      spent = true;
      ClearMarks(table, i + 1, end);
      return false;
    }
    for (DepthSpan& t : M.spans) {
      size_t si = FirstEndingAfter(I.spans, t.startFrame);
      const bool covered = si < I.spans.size() && I.spans[si].startFrame < t.endFrame &&
                           M.depth <= I.spans[si].clipDepth;
      if (covered || std::any_of(groups.begin(), groups.end(), [&](const Group& g) {
            return g.start <= t.startFrame && t.endFrame <= g.end;
          }))
        Mark(M, t);
    }
    for (const DepthSpan& g : M.spans)
      if (g.disabledClip > M.depth && g.marked) groups.push_back({g.disabledClip, g.startFrame, g.endFrame});
    if (M.markedCount > 0 && M.markedCount < M.spans.size()) ++split;
  }
  if (split == 0) ClearMarks(table, i + 1, end);
  return split > 0;
}

}  // namespace

RepairResult RepairOneEntry(DepthTable& table, std::vector<DisplayEvent>& events,
                            const CharacterSources& sources, PassBudget& budget,
                            const std::function<void(size_t)>& visit) {
  const size_t n = table.size();
  auto search = [&](auto&& matches) {
    for (size_t x = n; x-- > 0;) {
      if (visit) visit(x);
      if (matches(table[x])) return x;
    }
    return kNone;
  };
  if (!budget.Spend(3 * n)) return RepairResult::kBudgetSpent;
  size_t i = search([](const DepthEntry& e) { return e.nestedMask != 0; });
  if (i != kNone) return FixNestedMask(table, i, events, sources, budget);
  i = search([](const DepthEntry& e) { return e.hasMask && e.hasNonMask; });
  if (i != kNone) return FixMixedEntry(table, i, events, sources, budget);

  // A candidate whose range holds no partly covered entry is cleared and the
  // search goes on below it (the entries above it hold no candidate).
  MarkPartlyMasked(table, budget);
  if (budget.spent()) return RepairResult::kBudgetSpent;
  for (size_t x = n; x-- > 0;) {
    if (visit) visit(x);
    DepthEntry& e = table[x];
    if (!e.hasMask || !(e.partlyMasked || e.laterFlag)) continue;
    bool spent = false;
    if (MarkCoveredByMask(table, x, budget, spent)) {
      const uint32_t limit = e.maxClip, shift = e.maxClip + 1 - e.depth;
      SplitDepthRange(table, x + 1, limit, shift, events, sources, budget);
      return RepairResult::kRepaired;
    }
    if (spent) return RepairResult::kBudgetSpent;
    e.partlyMasked = e.laterFlag = 0;
  }
  return RepairResult::kNothingLeft;
}

}  // namespace tovrani
