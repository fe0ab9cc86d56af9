// Decoded edge runs: the items of the records of one run (a record that
// starts a path and the records up to the next move), with absolute start
// and end points and the deltas as stored, and the reading of one stored
// record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/region.h"

namespace tovrani {

using StyleBytes = std::array<uint8_t, 3>;  // line, fill 0, fill 1

inline uint8_t MoveForm(uint8_t flags) { return flags & 3; }
inline uint8_t ControlForm(uint8_t flags) { return flags >> 2 & 3; }
inline uint8_t AnchorForm(uint8_t flags) { return flags >> 4 & 3; }
inline bool CarriesStyles(uint8_t flags) { return flags > 63; }
inline size_t PairBytes(uint8_t form) { return form == 0 ? 0 : form == 2 ? 8 : 4; }
// A stored value in shape units (form 3 keeps 1/128 of it).
inline int64_t Scaled(int64_t stored, uint8_t form) { return form == 3 ? stored * 128 : stored; }
// Shape units to device units (twips), truncating toward zero.
inline int32_t ToDevice(int64_t v) { return int32_t(v / 256); }
// Bytes of a record up to the end of its move pair.
inline size_t RecordHeadSize(uint8_t flags) {
  return 1 + (CarriesStyles(flags) ? 3 : 0) + PairBytes(MoveForm(flags));
}
inline size_t RecordSize(uint8_t flags) {
  return RecordHeadSize(flags) + PairBytes(ControlForm(flags)) + PairBytes(AnchorForm(flags));
}

struct EdgeListItem {
  int32_t startX = 0, startY = 0, endX = 0, endY = 0;
  uint8_t flags = 0;
  StyleBytes style{};  // its own style bytes, else the ones in force
  int32_t moveDx = 0, moveDy = 0;  // as stored: form 3 not yet times 128
  int32_t controlDx = 0, controlDy = 0;
  int32_t anchorDx = 0, anchorDy = 0;

  bool hasMove() const { return MoveForm(flags) != 0; }
  bool curved() const { return ControlForm(flags) != 0; }
  bool hasAnchor() const { return AnchorForm(flags) != 0; }
  bool carriesStyles() const { return CarriesStyles(flags); }
  int64_t moveX() const { return Scaled(moveDx, MoveForm(flags)); }
  int64_t moveY() const { return Scaled(moveDy, MoveForm(flags)); }
  int64_t controlX() const { return Scaled(controlDx, ControlForm(flags)); }
  int64_t controlY() const { return Scaled(controlDy, ControlForm(flags)); }
  bool hasFill() const { return style[1] || style[2]; }
};

struct EdgeList {
  // Minimum x, minimum y, maximum x, maximum y of the items' start and end
  // points (control points left out).
  IntRect box{999999, 999999, -999999, -999999};
  // 0: no record after the first changes the style bytes; the index of the
  // first item whose style bytes differ from the item before; -1 when a
  // second such change follows.
  int32_t styleChangeIndex = 0;
  uint32_t startOffset = 0;
  std::vector<EdgeListItem> items;
  // Beside the items: where the run's records end, and the style bytes in
  // force before its first record.
  uint32_t endOffset = 0;
  StyleBytes styleBefore{};

  uint32_t count() const { return uint32_t(items.size()); }
  // Empties the list for a run at `offset`, keeping the items' memory.
  void Reset(uint32_t offset) {
    box = IntRect{999999, 999999, -999999, -999999};
    styleChangeIndex = 0;
    startOffset = endOffset = offset;
    items.clear();
    styleBefore = {};
  }
  void Include(int32_t x, int32_t y);
  // The pen before the run's first record.
  int64_t penBeforeX() const { return items.empty() ? 0 : items[0].startX - items[0].moveX(); }
  int64_t penBeforeY() const { return items.empty() ? 0 : items[0].startY - items[0].moveY(); }
  const EdgeListItem& last() const { return items.back(); }
};

// Reads the flags, own style bytes and stored deltas of the record at `pos`
// of `data` into `item` (points and the style in force are the caller's).
// Returns the record's size, or 0 at a 0 byte or when it does not fit.
size_t ReadStoredRecord(std::span<const uint8_t> data, size_t pos, EdgeListItem& item);

// Equal geometry and styles: start and end points, flags, stored control
// and anchor deltas, style bytes.
bool SameItem(const EdgeListItem& a, const EdgeListItem& b);

// No item of the run has a fill on either side. Fills are drawn even-odd,
// so removing one of two copies of a filled edge changes the drawing, and
// only runs without a fill may go as repeats.
bool CarriesNoFill(const EdgeList& run);

// The two runs hold the same edges, whichever way and in whichever order
// they are walked: the same end points, straight or curved through the same
// control point (shape units).
bool HoldSameEdges(const EdgeList& a, const EdgeList& b);
// Every edge of `inner` is an edge of `outer`, whichever way each is walked.
bool HoldsEveryEdgeOf(const EdgeList& outer, const EdgeList& inner);

}  // namespace tovrani
