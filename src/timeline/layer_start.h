// The start of a placement layer: mask ordering and flags, the layer head,
// the entries that belong to the page, the empty frames before each entry
// and the opening of its keyframe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "fla/class_tags.h"
#include "timeline/display_list.h"

namespace tovrani {

// The flags a layer's tail is written with, and what persists between layers.
struct LayerState {
  // Cleared before each track is chosen.
  uint8_t asMasked = 0, asMask = 0, refFlag = 0, maskedFollower = 0;
  // Kept from the last mask layer.
  uint32_t maskBound = 0;
  uint32_t maskRef = 0;
  bool firstLayer = true;  // the page head holds this layer's objects

  void clearFlags() { asMasked = asMask = refFlag = maskedFollower = 0; }
};

// The tracks in (key, index) order, with a skip over the written ones, so
// that every choice of the builder is found without a scan of all tracks.
// Keys may only change to kTrackWritten through markWritten.
class TrackOrder {
 public:
  TrackOrder(const std::vector<DepthTrack>& tracks, int32_t lastTrack);
  // The unwritten track with the smallest key >= lo (ties to the lower
  // index) whose key is selectable; -1 when none.
  int32_t firstFrom(uint32_t lo);
  // The unwritten track after `track` in the order; -1 when none.
  int32_t nextAfter(int32_t track);
  void markWritten(int32_t track);
  // The tracks whose keys were in [lo, hi) when the order was made (written
  // ones too) and the entries they hold.
  struct RangeSize {
    uint64_t tracks = 0, entries = 0;
  };
  RangeSize sizeOf(uint32_t lo, uint64_t hi) const;
  // The track's entries changed in number.
  void recount(int32_t track);
  // The unwritten group heads with lo <= key < hi, in the order's order.
  // A head stays a group until it is built, and is then dropped here, so
  // that each mask's layer finds the groups in its range without walking
  // every track there.
  std::vector<int32_t> groupHeads(uint32_t lo, uint64_t hi);

 private:
  int32_t live(size_t pos);  // first unwritten position >= pos
  const std::vector<DepthTrack>& tracks_;
  std::vector<int32_t> order_;  // track indexes by (key, index)
  std::vector<uint32_t> keys_;  // keys in that order, as they were
  std::vector<int32_t> posOf_;  // position of each track in order_
  std::vector<uint32_t> skip_;  // union-find over written positions
  // Entries by position, as a Fenwick tree, and each position's own count.
  std::vector<uint64_t> entrySums_, entries_;
  std::vector<uint32_t> heads_;  // positions of the tracks that were group heads
  uint64_t entriesBefore(size_t pos) const;  // at positions < pos
};

// The archive index of the next object written on the page: the page head
// takes 1-6, then every frame, layer, element class and element object.
uint32_t NextObjectIndex(const PageClassState& page);

// groupDepths of the track's group head entry (its first entry with
// groupDepths set); 0 when it has none.
uint16_t HeadGroupDepths(const DepthTrack& track);

// Any unwritten track with lo < key <= hi whose isMasked is set, other than
// `except`.
bool HasUnwrittenMasked(TrackOrder& order, const std::vector<DepthTrack>& tracks, uint32_t lo,
                        uint32_t hi, int32_t except = -1);

// A layer after the page's first: a new CPicLayer object and its first
// CPicFrame object. The page's first layer writes nothing.
void WriteLayerHead(std::FILE* page, PageClassState& state, uint8_t level, bool& firstLayer);

// Entries [first, last] of the track that belong to the page; last < first
// when none. A top-level page takes every entry.
struct EntryRange {
  int32_t first = 0, last = -1;
};
EntryRange PageEntryRange(const DepthTrack& track, bool nested, uint16_t pageFirst,
                          uint16_t pageLast);

// The empty keyframe before an entry. base is the end frame of the nearest
// earlier entry still on the page, or the page's first frame when there is
// none. Returns the frames of the gap written (0 none).
uint32_t WriteEntryGap(std::FILE* page, const PlacementEntry& entry, uint32_t base,
                       PageClassState& state, uint8_t level);

// The version bytes of the keyframe the entry fills.
void OpenEntryKeyframe(std::FILE* page, uint8_t level);

}  // namespace tovrani
