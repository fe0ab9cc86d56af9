#include "timeline/mask_regroup.h"

#include <algorithm>
#include <limits>

namespace tovrani {

namespace {

constexpr uint64_t kMaxValue = std::numeric_limits<uint32_t>::max();

// Whether any span left in entries from `from` on, above depth `above` and
// up to depth `clip`, overlaps [start, end) in time. Old entries stand `lift`
// above their stored depths. Entries below the mask were never in its range:
// they are about to move above the group, and must not pull its clip along.
bool ReachesRemaining(const DepthTable& old, size_t from, uint64_t lift, uint64_t above,
                      uint64_t clip, uint32_t start, uint32_t end, PassBudget& budget) {
  for (size_t j = from; j < old.size() && old[j].depth + lift <= clip; ++j) {
    if (!budget.Spend(1)) return false;
    if (old[j].depth + lift <= above) continue;
    const std::vector<DepthSpan>& q = old[j].spans;
    size_t i = FirstEndingAfter(q, start);
    if (i < q.size() && q[i].startFrame < end) return true;
  }
  return false;
}

struct MaskRef {
  size_t entry = 0, span = 0;
};

}  // namespace

RegroupResult RegroupMaskLayers(DepthTable& table, PassBudget& budget) {
  // Spans move out of the old entries as the walk goes; a stop leaves them
  // so (the caller builds the table again where it needs it).
  DepthTable& old = table;
  DepthTable regrouped;
  regrouped.reserve(old.size());
  // Every old entry not yet walked stands `lift` above its stored depth, and
  // so do the clip depths of its masks; stored values compare directly.
  uint64_t lift = 0;
  // Mask spans of the regrouped table whose range may still reach the old
  // entries to come (once below the walk's depth, a range never reaches it
  // again: depths only grow and only these clips are raised).
  std::vector<MaskRef> active;
  // Stored values never change, so lift + the largest of them bounds every
  // value the walk gives out.
  uint64_t largest = 0;
  size_t maskSpans = 0;
  for (const DepthEntry& e : old) {
    largest = std::max<uint64_t>({largest, e.depth, e.maxClip});
    for (const DepthSpan& s : e.spans) maskSpans += s.hasClip;
  }
  active.reserve(maskSpans);
  std::vector<size_t> touched;
  std::vector<MaskRef> claimed;  // old entry and span of each claimed mask

  for (size_t k = 0; k < old.size(); ++k) {
    DepthEntry& K = old[k];
    if (K.spans.empty()) continue;
    if (!budget.Spend(K.spans.size() + 1)) return RegroupResult::kBudgetSpent;
    const uint32_t depthK = uint32_t(K.depth + lift);
    DepthEntry N;
    N.depth = depthK;
    if (!K.hasMask) {
      N.hasNonMask = 1;
      N.spans = std::move(K.spans);
      K.spans.clear();
      regrouped.push_back(std::move(N));
      continue;
    }
    // Each mask span claims what it covers while shown, and so does every
    // mask it claims: a claimed mask then covers, inside the group, all it
    // covered, and needs no raise over what stays behind (a raise would
    // also take in whatever the group puts between).
    N.hasMask = 1;
    touched.clear();
    claimed.clear();
    auto claim = [&](size_t from, const DepthSpan& s) {
      for (size_t j = from + 1; j < old.size() && old[j].depth <= s.clipDepth; ++j) {
        if (!budget.Spend(1)) return false;
        std::vector<DepthSpan>& q = old[j].spans;
        for (size_t i = FirstEndingAfter(q, s.startFrame); i < q.size(); ++i) {
          if (q[i].startFrame >= s.endFrame) break;
          if (!budget.Spend(1)) return false;
          if (q[i].masked) continue;
          q[i].masked = 1;
          if (q[i].hasClip) claimed.push_back({j, i});
          if (!old[j].touched) {
            old[j].touched = 1;
            touched.push_back(j);
          }
        }
      }
      return true;
    };
    const size_t kMasks = size_t(std::count_if(K.spans.begin(), K.spans.end(),
                                               [](const DepthSpan& s) { return s.hasClip != 0; }));
    N.spans.reserve(kMasks);
    std::vector<DepthSpan> rest;
    rest.reserve(K.spans.size() - kMasks);
    for (DepthSpan& s : K.spans) {
      if (!s.hasClip) {
        rest.push_back(s);
        continue;
      }
      if (!claim(k, s)) return RegroupResult::kBudgetSpent;
      s.clipDepth = uint32_t(s.clipDepth + lift);
      N.maxClip = std::max(N.maxClip, s.clipDepth);
      active.push_back({regrouped.size(), N.spans.size()});
      N.spans.push_back(s);
    }
    for (size_t c = 0; c < claimed.size(); ++c)
      if (!claim(claimed[c].entry, old[claimed[c].entry].spans[claimed[c].span]))
        return RegroupResult::kBudgetSpent;
    K.spans = std::move(rest);
    regrouped.push_back(std::move(N));

    // The claimed spans follow the mask, each depth in an entry of its own.
    std::sort(touched.begin(), touched.end());
    uint64_t groupClip = N.maxClip;
    for (size_t j : touched) {
      DepthEntry& J = old[j];
      DepthEntry T;
      T.depth = uint32_t(J.depth + lift);
      const size_t claimedHere = size_t(std::count_if(J.spans.begin(), J.spans.end(),
                                                      [](const DepthSpan& q) { return q.masked != 0; }));
      T.spans.reserve(claimedHere);
      std::vector<DepthSpan> left;
      left.reserve(J.spans.size() - claimedHere);
      for (DepthSpan& q : J.spans) {
        if (!q.masked) {
          left.push_back(q);
          continue;
        }
        q.masked = 0;
        if (q.hasClip) {
          q.clipDepth = uint32_t(q.clipDepth + lift);
          T.hasMask = 1;
          T.maxClip = std::max(T.maxClip, q.clipDepth);
          groupClip = std::max<uint64_t>(groupClip, q.clipDepth);
          active.push_back({regrouped.size(), T.spans.size()});
        } else {
          T.hasNonMask = 1;
        }
        T.spans.push_back(q);
      }
      J.spans = std::move(left);
      J.touched = 0;
      J.hasMask = J.hasNonMask = 0;
      for (const DepthSpan& q : J.spans) (q.hasClip ? J.hasMask : J.hasNonMask) = 1;
      regrouped.push_back(std::move(T));
    }
    if (touched.empty() && K.spans.empty()) continue;

    // Room above the group: masks that still reach an object left below
    // their clip depth keep reaching it once it has moved up (one raise per
    // mask span: everything left moves by the same width).
    // A claimed mask may reach past the range of k: what moves up lands
    // above every range of the group, so that no mask takes in an object it
    // did not mask.
    const uint64_t top = std::max<uint64_t>(K.maxClip + lift, groupClip);
    if (top + 1 - depthK > kMaxValue) return RegroupResult::kOutOfBounds;
    const uint32_t g = uint32_t(top + 1 - depthK);
    if (lift + g + largest > kMaxValue) return RegroupResult::kOutOfBounds;
    size_t kept = 0;
    for (const MaskRef& ref : active) {
      if (!budget.Spend(1)) return RegroupResult::kBudgetSpent;
      DepthEntry& e = regrouped[ref.entry];
      DepthSpan& m = e.spans[ref.span];
      if (m.clipDepth < depthK) continue;  // never reaches the walk again
      active[kept++] = ref;
      if (!ReachesRemaining(old, k, lift, e.depth, m.clipDepth, m.startFrame, m.endFrame, budget)) {
        if (budget.spent()) return RegroupResult::kBudgetSpent;
        continue;
      }
      if (m.clipDepth + uint64_t(g) > kMaxValue) return RegroupResult::kOutOfBounds;
      m.clipDepth += g;
      e.maxClip = std::max(e.maxClip, m.clipDepth);
    }
    active.resize(kept);
    lift += g;
    if (!K.spans.empty()) {
      DepthEntry R;
      R.depth = uint32_t(K.depth + lift);
      R.hasNonMask = 1;
      R.spans = std::move(K.spans);
      K.spans.clear();
      regrouped.push_back(std::move(R));
    }
  }
  for (DepthEntry& e : regrouped) {
    e.touched = 0;
    for (DepthSpan& s : e.spans) s.masked = 0;
    RefreshEntry(e);
  }
  table = std::move(regrouped);
  return RegroupResult::kDone;
}

}  // namespace tovrani
