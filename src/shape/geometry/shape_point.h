// The shape builder's planar graph: every distinct end point of an edge is
// a ShapePoint, and every edge is stored twice, once at each end, as two
// PointEdge entries that name each other (twins). Coordinates are absolute
// 1/256 twip.
#pragma once

#include <cstdint>
#include <vector>

namespace tovrani {

// Pending-sides bits: the side of style slot 1 (fill 0) and of slot 2
// (fill 1).
constexpr uint8_t kFill0Side = 16;
constexpr uint8_t kFill1Side = 1;
constexpr uint32_t kNoRegion = 0xFFFFFFFFu;

// One edge seen from one of its ends; it leaves the owning point and
// arrives at `otherPoint`.
struct PointEdge {
  int32_t endX = 0, endY = 0;  // the other point's coordinates
  uint32_t otherPoint = 0;
  uint32_t twin = 0;           // index of the reverse entry at the other point
  int32_t controlDx = 0;       // control point minus start (0 when straight)
  int32_t anchorDx = 0;        // other point minus start
  int32_t controlDy = 0;
  int32_t anchorDy = 0;
  uint32_t regionFill0 = kNoRegion;  // region traced on the side of slot 1
  uint32_t regionFill1 = kNoRegion;  // region traced on the side of slot 2
  uint32_t ordinal[3] = {0, 0, 0};   // last record that set each style slot
  uint8_t curved = 0;
  uint8_t style[3] = {0, 0, 0};      // line, fill 0, fill 1 (1-based, 0 none)
  uint8_t pending = 0;               // kFill0Side | kFill1Side not yet traced
};

struct ShapePoint {
  int32_t x = 0, y = 0;
  std::vector<PointEdge> edges;
};

// A run of steps: step i leaves points[i] along its edge edges[i].
struct Contour {
  std::vector<uint32_t> points;
  std::vector<uint32_t> edges;

  uint32_t count() const { return uint32_t(points.size()); }
  void Append(uint32_t point, uint32_t edge) {
    points.push_back(point);
    edges.push_back(edge);
  }
  void Clear() {
    points.clear();
    edges.clear();
  }
};

// The mirrored style slot of the reverse entry: 0 stays, 1 and 2 swap.
inline int MirrorSlot(int slot) { return slot == 0 ? 0 : 3 - slot; }
// The side bit on the reverse entry of the same physical side.
inline uint8_t MirrorSide(uint8_t side) { return side == kFill1Side ? kFill0Side : kFill1Side; }

}  // namespace tovrani
