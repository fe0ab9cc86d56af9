#include "shape/geometry/edge_run_passes.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "shape/geometry/quadratic_sample.h"
#include "shape/geometry/run_rewrite.h"

namespace tovrani {

namespace {

constexpr uint8_t kEdgeFormBits = 0x3C;  // control and anchor forms

uint64_t Mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  return h * 0xFF51AFD7ED558CCDull;
}

// Byte offsets of the run's records, in item order.
std::vector<size_t> RecordOffsets(const EdgeList& run) {
  std::vector<size_t> at;
  at.reserve(run.count());
  size_t pos = run.startOffset;
  for (const EdgeListItem& it : run.items) {
    at.push_back(pos);
    pos += RecordSize(it.flags);
  }
  return at;
}

}  // namespace

bool SameEdgeRunItem(const EdgeListItem& a, const EdgeListItem& b) {
  return a.startX == b.startX && a.startY == b.startY && a.endX == b.endX && a.endY == b.endY &&
         (a.flags & kEdgeFormBits) == (b.flags & kEdgeFormBits) && a.controlDx == b.controlDx &&
         a.controlDy == b.controlDy && a.anchorDx == b.anchorDx && a.anchorDy == b.anchorDy &&
         a.style == b.style;
}

// The run's ends, its length and its first item's edge: enough to tell
// almost all runs apart; the items themselves are compared on a match.
uint64_t EdgeRunIndex::Hash(const EdgeList& run) {
  const EdgeListItem& first = run.items.front();
  const EdgeListItem& last = run.items.back();
  uint64_t h = run.count();
  h = Mix(h, uint64_t(uint32_t(first.startX)) << 32 | uint32_t(first.startY));
  h = Mix(h, uint64_t(uint32_t(first.endX)) << 32 | uint32_t(first.endY));
  h = Mix(h, uint64_t(uint32_t(last.endX)) << 32 | uint32_t(last.endY));
  h = Mix(h, uint64_t(first.flags & kEdgeFormBits) << 24 | uint64_t(first.style[0]) << 16 |
                 uint64_t(first.style[1]) << 8 | first.style[2]);
  // Spread every bit into the low ones, which pick the slot.
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ h >> 33;
}

void EdgeRunIndex::Clear() {
  std::fill(slots_.begin(), slots_.end(), Slot{});
  entries_.clear();
  items_.clear();
}

void EdgeRunIndex::DropFrom(uint32_t offset) {
  size_t keep = entries_.size();
  while (keep > 0 && entries_[keep - 1].startOffset >= offset) --keep;
  if (keep == entries_.size()) return;
  if (keep == 0) {
    Clear();
    return;
  }
  items_.resize(entries_[keep].first);
  entries_.resize(keep);
  std::fill(slots_.begin(), slots_.end(), Slot{});
  const size_t mask = slots_.size() - 1;
  for (uint32_t i = 0; i < keep; ++i) {
    size_t at = entries_[i].hash & mask;
    while (slots_[at].entry) at = (at + 1) & mask;
    slots_[at] = Slot{i + 1, uint32_t(entries_[i].hash >> 32)};
  }
}

const EdgeListItem* EdgeRunIndex::Find(const EdgeList& run, uint64_t hash) const {
  if (slots_.empty()) return nullptr;
  const size_t mask = slots_.size() - 1;
  const uint32_t tag = uint32_t(hash >> 32);
  for (size_t at = hash & mask; slots_[at].entry; at = (at + 1) & mask) {
    if (slots_[at].tag != tag) continue;
    const Entry& e = entries_[slots_[at].entry - 1];
    // Only an earlier run: a later pass meets R itself in the index.
    if (e.hash != hash || e.count != run.count() || e.startOffset >= run.startOffset) continue;
    const EdgeListItem* earlier = items_.data() + e.first;
    if (std::equal(run.items.begin(), run.items.end(), earlier, SameEdgeRunItem)) return earlier;
  }
  return nullptr;
}

void EdgeRunIndex::Add(const EdgeList& run, uint64_t hash) {
  if (Covers(run.startOffset)) return;
  if (entries_.size() >= std::numeric_limits<uint32_t>::max() - 1) return;
  auto place = [this](uint64_t h, uint32_t entry) {
    const size_t mask = slots_.size() - 1;
    size_t at = h & mask;
    while (slots_[at].entry) at = (at + 1) & mask;
    slots_[at] = Slot{entry, uint32_t(h >> 32)};
  };
  // At most half the slots in use, so that probes stay short.
  if (2 * (entries_.size() + 1) > slots_.size()) {
    slots_.assign(std::max<size_t>(64, 2 * slots_.size()), Slot{});
    for (uint32_t i = 0; i < entries_.size(); ++i) place(entries_[i].hash, i + 1);
  }
  entries_.push_back(Entry{hash, items_.size(), run.count(), run.startOffset});
  place(hash, uint32_t(entries_.size()));
  items_.insert(items_.end(), run.items.begin(), run.items.end());
}

uint8_t MergeRepeatedEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                              uint32_t& readPos, PenPosition&, uint8_t mode, bool morphAnalysis,
                              EdgeRunIndex& index) {
  const EdgeList& r = runs[side];
  const EdgeList& p = runs[1 - side];
  if (mode != 0 || morphAnalysis || r.items.empty() || index.Covers(r.startOffset) ||
      !CarriesNoFill(r))
    return 0;
  const uint64_t hash = EdgeRunIndex::Hash(r);
  // An earlier run exists only when P does: P is the run before R.
  if (!p.items.empty() && index.Find(r, hash) && RemoveCurrentRun(block, readPos, p, r)) return 1;
  index.Add(r, hash);
  return 0;
}

uint8_t MergeIdenticalEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                               uint32_t& readPos, PenPosition&, StyleBytes&) {
  const EdgeList& r = runs[side];
  const EdgeList& p = runs[1 - side];
  if (r.items.empty() || r.count() != p.count()) return 0;
  for (uint32_t i = 0; i < r.count(); ++i)
    if (!SameItem(r.items[i], p.items[i])) return 0;
  // Two copies of a filled run cancel each other's fill: dropping one would
  // draw what the pair did not.
  if (!CarriesNoFill(r)) return 0;
  return RemoveCurrentRun(block, readPos, p, r) ? 1 : 0;
}

uint8_t MergeMatchingEdgeRuns(uint8_t side, EdgeRunPair& runs, ShapeBlock& block,
                              uint32_t& readPos, PenPosition&, StyleBytes&, bool morphAnalysis) {
  const EdgeList& r = runs[side];
  const EdgeList& p = runs[1 - side];
  const uint32_t n = p.count();
  if (morphAnalysis || n < 2 || r.count() != n || p.endOffset != r.startOffset) return 0;
  std::vector<StyleBytes> merged;
  for (uint32_t k = 0; k < n; ++k) {
    const EdgeListItem& a = r.items[k];
    const EdgeListItem& b = p.items[n - 1 - k];
    if (a.startX != b.endX || a.startY != b.endY || a.endX != b.startX || a.endY != b.startY ||
        a.curved() != b.curved() || a.style[0] != b.style[0])
      return 0;
    if (a.curved() && (a.startX + a.controlX() != b.startX + b.controlX() ||
                       a.startY + a.controlY() != b.startY + b.controlY()))
      return 0;
    // Walking backwards, R's fill 0 lies on P's fill-1 side and R's fill 1
    // on P's fill-0 side; each must meet no fill of P there.
    if ((a.style[1] && b.style[2]) || (a.style[2] && b.style[1])) return 0;
    const uint8_t fill0 = b.style[1] | a.style[2], fill1 = b.style[2] | a.style[1];
    // One fill on both sides would make an inner edge of that fill, which
    // the region tests read otherwise than two outline edges.
    if (fill0 && fill0 == fill1) return 0;
    if (merged.empty()) merged.resize(n);
    merged[n - 1 - k] = {b.style[0], fill0, fill1};
  }
  // P's records with the merged style bytes, carried wherever the style in
  // force would not give them.
  std::vector<uint8_t> out;
  const std::vector<size_t> at = RecordOffsets(p);
  StyleBytes inForce = p.styleBefore;
  for (uint32_t i = 0; i < n; ++i) {
    const EdgeListItem& it = p.items[i];
    if (it.carriesStyles() || merged[i] != inForce) {
      RecordRebuild change;
      change.style = merged[i];
      const std::vector<uint8_t> rebuilt = RebuildRecord(block, at[i], change);
      if (rebuilt.empty()) return 0;
      out.insert(out.end(), rebuilt.begin(), rebuilt.end());
      inForce = merged[i];
    } else {
      out.insert(out.end(), block.bytes.begin() + long(at[i]),
                 block.bytes.begin() + long(at[i] + RecordSize(it.flags)));
    }
  }
  // The next run's move was measured from R's end, which is P's start.
  size_t to = readPos;
  EdgeListItem next;
  if (const size_t nextSize = ReadStoredRecord(block.counted(), readPos, next)) {
    RecordRebuild change;
    change.move = MovePair{next.moveX() + r.last().endX - p.last().endX,
                           next.moveY() + r.last().endY - p.last().endY};
    change.style = FollowerStyle(block, readPos, r.last().style, inForce);
    const std::vector<uint8_t> rebuilt = RebuildRecord(block, readPos, change);
    if (rebuilt.empty()) return 0;
    out.insert(out.end(), rebuilt.begin(), rebuilt.end());
    to = readPos + nextSize;
  }
  block.Splice(p.startOffset, to, out);
  LowerCount(block, r.count());
  return 1;
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
