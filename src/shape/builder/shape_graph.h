// The shape builder's graph of points and twin edges, and the one class
// that edits it: every insertion and removal keeps the twin invariant
// (the reverse entry names this one back, with mirrored styles, ordinals
// and deltas), also for an edge whose two ends are the same point.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "shape/geometry/shape_point.h"

namespace tovrani {

// The edges drawn as lines only: parallel point and edge indexes, as a
// contour holds them.
using LineEdgeList = Contour;

class ShapeGraph {
 public:
  std::vector<ShapePoint> points;

  uint32_t pointCount() const { return uint32_t(points.size()); }
  // Room for the points and edges of `edges` records, so that reading them
  // never rehashes or moves the points.
  void Reserve(size_t edges);
  std::span<ShapePoint> span() { return points; }
  PointEdge& Edge(uint32_t p, uint32_t e) { return points[p].edges[e]; }
  PointEdge& TwinOf(const PointEdge& e) { return points[e.otherPoint].edges[e.twin]; }

  // The point at exactly (x, y), or a new one without edges.
  uint32_t FindOrAddPoint(int32_t x, int32_t y);
  std::optional<uint32_t> FindPoint(int32_t x, int32_t y) const;
  // The first entry at `p` that ends at (x, y) with the same curve and
  // control: what a repeated record merges into.
  std::optional<uint32_t> FindDuplicate(uint32_t p, int32_t x, int32_t y, bool curved,
                                        int32_t cdx, int32_t cdy) const;
  // Appends the edge p -> q (filled from `e`: deltas, curve, styles,
  // ordinals) and its twin at q; returns its index at p.
  uint32_t AddEdge(uint32_t p, uint32_t q, const PointEdge& e);
  // Writes a style byte and ordinal into slot `slot` of an entry and the
  // mirrored slot of its twin.
  void SetSlot(uint32_t p, uint32_t e, int slot, uint8_t style, uint32_t ordinal);

  // Removes entry e of point p; the entries behind it move down and every
  // twin index that names a moved entry follows. False (nothing changed)
  // when a link of the point is out of range.
  bool RemoveEntry(uint32_t p, uint32_t e);
  // Removes the edge pair of entry e at p (the entry first, then its twin).
  bool RemovePair(uint32_t p, uint32_t e);

  // Marks a point removed (its edges must be gone); Compact renumbers the
  // points left, keeping their order, in one pass.
  void MarkRemoved(uint32_t p);
  bool IsRemoved(uint32_t p) const { return p < removed_.size() && removed_[p]; }
  void Compact();

  // Empty when the graph is consistent: twins name each other with
  // mirrored fields, coordinates are unique, masks only name filled sides.
  std::string CheckInvariant() const;

 private:
  static uint64_t CoordKey(int32_t x, int32_t y) {
    return uint64_t(uint32_t(x)) << 32 | uint32_t(y);
  }
  struct EdgeKey {
    uint32_t p;
    int32_t x, y, cdx, cdy;
    bool curved;
    bool operator==(const EdgeKey&) const = default;
  };
  struct EdgeKeyHash {
    size_t operator()(const EdgeKey& k) const;
  };

  std::unordered_map<uint64_t, uint32_t> byCoord_;
  // Entries of a point with fewer than this many are found by a scan of
  // the point; at points with more, a scan per record would grow with the
  // square of their edges, so their entries are indexed.
  static constexpr size_t kScannedEntries = 16;
  // Indexes the entry just appended at p (all of p's entries once it holds
  // kScannedEntries).
  void IndexEntry(uint32_t p);
  // First entry per key at the points holding kScannedEntries or more,
  // while the graph is read (entries are only appended then); dropped at
  // the first removal.
  std::unordered_map<EdgeKey, uint32_t, EdgeKeyHash> firstEdge_;
  bool edgeIndexValid_ = true;
  std::vector<bool> removed_;
  bool anyRemoved_ = false;
};

}  // namespace tovrani
