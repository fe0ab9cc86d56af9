// One traced outline of the shape builder with its pixel regions: the area
// the outline encloses and the 1-unit band along it. Shape units become
// device units by integer division by 256 toward zero.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <unordered_set>
#include <vector>

#include "platform/path.h"
#include "platform/region.h"
#include "shape/geometry/held_memory.h"
#include "shape/geometry/shape_point.h"
#include "swf/movie_budget.h"

namespace tovrani {

// What region building may spend: the work of every fill and band
// (FillWork), on the call's budget and, when given, the movie's allowance
// of shape work, and with them the memory held (every charge pays for what
// is held by then). Once either is spent, or when the geometry layer
// refuses, `failed` is set and the caller abandons the shape; `refused`
// tells that the movie's allowance gave out.
struct ShapeGeometry {
  uint64_t budget = UINT64_MAX;
  Allowance* movieWork = nullptr;
  HeldMemory memory;
  bool failed = false;
  bool refused = false;

  bool Charge(uint64_t units) {
    units += memory.Owed(memory.Now());
    // What the movie's allowance cannot pay is refused before the call's
    // own budget is asked; the refusal is the builder's to count, once for
    // its shape.
    if (!failed && movieWork && units > movieWork->left()) {
      budget = 0;
      failed = refused = true;
      return false;
    }
    if (failed || units > budget) {
      budget = 0;
      failed = true;
      return false;
    }
    if (movieWork) movieWork->Take(units);
    budget -= units;
    return true;
  }
  // What a fill may cost before the work is refused.
  uint64_t FillLimit() const {
    return movieWork ? std::min(budget, movieWork->left()) : budget;
  }
  // Fill (even-odd, open figures closed) or band (1 unit unless asked) of
  // a path; a band over the widening limit is made of pieces united. False
  // (and failed) on any error.
  bool Fill(const Path& path, Region& out);
  // A fill whose failure the caller takes in its stride: kError, with
  // `failed` set only when its work was spent (a path the geometry layer
  // cannot fill leaves the shape to go on).
  RegionKind TryFill(const Path& path, Region& out);
  bool Band(const Path& path, Region& out, int penWidth = 1);
  // One widening, its work charged: false when it failed, with `failed`
  // set only when its work was refused.
  bool Widen(const Path& path, int penWidth, Region& out);
};

// A contour as one closed figure in device units (curves as cubics).
Path ContourPath(const Contour& contour, std::span<const ShapePoint> points);

class ShapeRegion {
 public:
  static constexpr int32_t kClearedOrder = 0x1fffffff;

  std::vector<Contour> contours;  // the first is the outline
  uint8_t kind = 0;               // kFill0Side or kFill1Side
  uint8_t style = 0;
  int32_t order = 0;
  uint8_t joined = 0, interior = 0, border = 0, confirmed = 0;
  uint32_t probe = 0;
  std::vector<uint32_t> links;
  Region area, outline;
  IntRect box, interiorBox;
  IntPoint drawPoint[2];
  IntPoint drawOffset;
  uint32_t index = 0;
  int32_t minX = INT32_MAX, maxX = INT32_MIN, minY = INT32_MAX, maxY = INT32_MIN;

  bool HasContour() const { return !contours.empty(); }
  const Contour* First() const { return contours.empty() ? nullptr : &contours[0]; }

  void AddContour(uint32_t n, const uint32_t* pointIndexes, const uint32_t* edgeIndexes,
                  std::span<const ShapePoint> points);
  void AppendContour(const ShapeRegion& other, std::span<ShapePoint> points, uint32_t regionIndex);
  void JoinContours(const ShapeRegion& a, const ShapeRegion& b, std::span<const ShapePoint> points);
  void SetStyle(std::span<ShapePoint> points, uint8_t newStyle);
  void SetLink(int32_t slot, uint32_t regionIndex);
  void Clear();
  void ClearAll();
  void DeleteRegions();

  bool HasPointIndex(uint32_t point) const;
  IntPoint GetStartPoint(std::span<const ShapePoint> points) const;
  IntPoint GetEndPoint(std::span<const ShapePoint> points) const;
  bool IsReverseOf(const ShapeRegion& other, std::span<const ShapePoint> points) const;
  bool SharesEdge(const ShapeRegion& other, std::span<const ShapePoint> points) const;
  int32_t MatchesReversedRun(const ShapeRegion& other, std::span<const ShapePoint> points) const;
  bool HitTest(int32_t x, int32_t y) const;

  // The region methods; failures set geo.failed.
  uint32_t BuildRegions(ShapeGeometry& geo, std::span<ShapePoint> points, uint8_t sideBit,
                        uint8_t tracedStyle, uint32_t regionIndex);
  int32_t RebuildRegions(ShapeGeometry& geo, std::span<const ShapePoint> points,
                         uint32_t regionIndex);
  int32_t BuildOutlineRegion(ShapeGeometry& geo, std::span<const ShapePoint> points);
  uint8_t AddContourRegion(ShapeGeometry& geo, std::span<const ShapePoint> points);
  uint8_t TestInterior(ShapeGeometry& geo, std::span<const ShapePoint> points, uint8_t force);
  void ProbeInterior(std::span<const ShapePoint> points);
  void SubtractRegion(const ShapeRegion& other);
  void UniteRegion(const ShapeRegion& other);
  bool ConfirmOverlap(const ShapeRegion& other, const Region& overlap) const;
  bool ConfirmOverlapLinked(const ShapeRegion& other, const ShapeRegion& linked,
                            const Region& overlap) const;

 private:
  // Point indexes of the first contour, made on demand.
  const std::unordered_set<uint32_t>& PointSet() const;
  void Touched() { pointSetValid_ = false; }

  mutable std::unordered_set<uint32_t> pointSet_;
  mutable bool pointSetValid_ = false;
};

}  // namespace tovrani
