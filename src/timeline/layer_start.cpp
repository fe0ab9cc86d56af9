#include "timeline/layer_start.h"

#include <algorithm>
#include <numeric>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "timeline/symbol_timeline.h"

namespace tovrani {

TrackOrder::TrackOrder(const std::vector<DepthTrack>& tracks, int32_t lastTrack) : tracks_(tracks) {
  const size_t n = lastTrack < 0 ? 0 : std::min(tracks.size(), size_t(lastTrack) + 1);
  order_.resize(n);
  std::iota(order_.begin(), order_.end(), 0);
  std::stable_sort(order_.begin(), order_.end(),
                   [&](int32_t a, int32_t b) { return tracks[a].key < tracks[b].key; });
  keys_.resize(n);
  posOf_.assign(n, 0);
  skip_.resize(n + 1);
  for (size_t p = 0; p < n; ++p) {
    keys_[p] = tracks[order_[p]].key;
    posOf_[order_[p]] = int32_t(p);
  }
  std::iota(skip_.begin(), skip_.end(), 0u);
  for (size_t p = 0; p < n; ++p)
    if (keys_[p] >= kTrackUnselectable) skip_[p] = uint32_t(p + 1);
  for (size_t p = 0; p < n; ++p)
    if (tracks[order_[p]].isGroup && keys_[p] < kTrackUnselectable) heads_.push_back(uint32_t(p));
  entries_.resize(n);
  entrySums_.assign(n + 1, 0);
  for (size_t p = 0; p < n; ++p) {
    entries_[p] = tracks[order_[p]].entries.size();
    for (size_t i = p + 1; i <= n; i += i & (~i + 1)) entrySums_[i] += entries_[p];
  }
}

int32_t TrackOrder::live(size_t pos) {
  size_t root = pos;
  while (skip_[root] != root) root = skip_[root];
  while (skip_[pos] != root) {
    const size_t next = skip_[pos];
    skip_[pos] = uint32_t(root);
    pos = next;
  }
  return root < order_.size() ? int32_t(root) : -1;
}

int32_t TrackOrder::firstFrom(uint32_t lo) {
  const size_t pos = size_t(std::lower_bound(keys_.begin(), keys_.end(), lo) - keys_.begin());
  const int32_t p = live(pos);
  return p < 0 ? -1 : order_[size_t(p)];
}

int32_t TrackOrder::nextAfter(int32_t track) {
  if (track < 0 || size_t(track) >= posOf_.size()) return -1;
  const int32_t p = live(size_t(posOf_[size_t(track)]) + 1);
  return p < 0 ? -1 : order_[size_t(p)];
}

void TrackOrder::markWritten(int32_t track) {
  if (track < 0 || size_t(track) >= posOf_.size()) return;
  const size_t p = size_t(posOf_[size_t(track)]);
  skip_[p] = uint32_t(p + 1);
}

uint64_t TrackOrder::entriesBefore(size_t pos) const {
  uint64_t sum = 0;
  for (size_t i = pos; i > 0; i -= i & (~i + 1)) sum += entrySums_[i];
  return sum;
}

TrackOrder::RangeSize TrackOrder::sizeOf(uint32_t lo, uint64_t hi) const {
  const size_t a = size_t(std::lower_bound(keys_.begin(), keys_.end(), lo) - keys_.begin());
  const size_t b = size_t(std::lower_bound(keys_.begin() + long(a), keys_.end(), hi,
                                           [](uint32_t k, uint64_t h) { return k < h; }) -
                          keys_.begin());
  return {b - a, entriesBefore(b) - entriesBefore(a)};
}

std::vector<int32_t> TrackOrder::groupHeads(uint32_t lo, uint64_t hi) {
  const size_t a = size_t(std::lower_bound(keys_.begin(), keys_.end(), lo) - keys_.begin());
  const size_t b = size_t(std::lower_bound(keys_.begin() + long(a), keys_.end(), hi,
                                           [](uint32_t k, uint64_t h) { return k < h; }) -
                          keys_.begin());
  auto from = std::lower_bound(heads_.begin(), heads_.end(), uint32_t(a));
  auto to = std::lower_bound(from, heads_.end(), uint32_t(b));
  std::vector<int32_t> found;
  auto kept = std::remove_if(from, to, [&](uint32_t p) {
    if (live(p) != int32_t(p) || !tracks_[size_t(order_[p])].isGroup) return true;
    found.push_back(order_[p]);
    return false;
  });
  heads_.erase(kept, to);
  return found;
}

void TrackOrder::recount(int32_t track) {
  if (track < 0 || size_t(track) >= posOf_.size()) return;
  const size_t p = size_t(posOf_[size_t(track)]);
  const uint64_t now = tracks_[size_t(track)].entries.size();
  // The Fenwick sums take the difference, which wraps as unsigned values do.
  const uint64_t change = now - entries_[p];
  entries_[p] = now;
  for (size_t i = p + 1; i < entrySums_.size(); i += i & (~i + 1)) entrySums_[i] += change;
}

uint32_t NextObjectIndex(const PageClassState& s) {
  uint64_t index = 7 + uint64_t{s.frames} + s.layers;
  for (uint32_t count : {s.symbols, s.sprites, s.buttons, s.texts, s.shapes, s.videos})
    if (count > 0) index += uint64_t{count} + 1;
  if (s.morphShapes > 0) index += uint64_t{s.morphShapes} + s.morphSegments + s.morphCurves + 3;
  return uint32_t(std::min<uint64_t>(index, 0x7FFFFFFF));
}

uint16_t HeadGroupDepths(const DepthTrack& track) {
  for (const PlacementEntry& e : track.entries)
    if (e.groupDepths != 0) return e.groupDepths;
  return 0;
}

bool HasUnwrittenMasked(TrackOrder& order, const std::vector<DepthTrack>& tracks, uint32_t lo,
                        uint32_t hi, int32_t except) {
  if (lo >= hi) return false;
  for (int32_t j = order.firstFrom(lo + 1); j >= 0 && tracks[size_t(j)].key <= hi;
       j = order.nextAfter(j)) {
    if (j != except && tracks[size_t(j)].isMasked) return true;
  }
  return false;
}

void WriteLayerHead(std::FILE* page, PageClassState& state, uint8_t level, bool& firstLayer) {
  if (firstLayer) {
    firstLayer = false;
    return;
  }
  ++state.layers;
  if (!g_shortLayerEndLead) PutU8(page, 1);
  WriteKnownClassTag(page, kPicLayerClassIndex);
  PutU8(page, FlaVersionByte(level));
  ++state.frames;
  PutU8(page, 0);
  WriteKnownClassTag(page, kPicFrameClassIndex);
}

EntryRange PageEntryRange(const DepthTrack& track, bool nested, uint16_t pageFirst,
                          uint16_t pageLast) {
  // lastEntry is bounded by the entries that exist.
  const int32_t last = std::min<int64_t>(track.lastEntry, int64_t(track.entries.size()) - 1);
  if (!nested) return {0, last};
  int32_t first = 0;
  while (first <= last && track.entries[size_t(first)].endFrame <= pageFirst) ++first;
  if (first > last) return {};
  int32_t end = first;
  while (end + 1 <= last && track.entries[size_t(end + 1)].startFrame < pageLast) ++end;
  return {first, end};
}

uint32_t WriteEntryGap(std::FILE* page, const PlacementEntry& entry, uint32_t base,
                       PageClassState& state, uint8_t level) {
  // A negative gap (an entry starting before the earlier one ended, or after
  // one that is never removed) is none.
  if (entry.startFrame <= base) return 0;
  const uint32_t gap = entry.startFrame - base;
  if (IsNewFlaFormat(level)) WriteEmptyFrameNew(page, gap);
  else WriteEmptyFrameOld(page, gap);
  ++state.frames;
  return gap;
}

void OpenEntryKeyframe(std::FILE* page, uint8_t level) { WriteObjectVersion(page, level); }

}  // namespace tovrani
