// Paths of integer device coordinates (moves, lines, cubic Béziers) and their
// conversion to pixel regions by the even-odd rule.
//
// Pixel sampling: pixel (x, y) belongs to a filled path when the point (x, y)
// is inside it; edges are half-open (a point on a left or top boundary is
// inside, on a right or bottom boundary outside), so a rectangle path gives
// exactly the pixels of the same rectangle region. Crossings are computed
// exactly in 64-bit integers on a 1/16-unit grid; cubics are flattened with a
// chord error under a quarter unit.
//
// In place of the GDI path calls: BeginPath and AbortPath are Clear;
// MoveToEx, LineTo, PolyBezierTo (one cubic a call) and CloseFigure are
// MoveTo, LineTo, BezierTo and CloseFigure; PathToRegion is ToRegion;
// WidenPath followed by PathToRegion is WidenPathToRegion (path_widen.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/region.h"

namespace tovrani {

struct IntPoint {
  int32_t x = 0;
  int32_t y = 0;

  bool operator==(const IntPoint&) const = default;
};

// What a fill costs, counted before its rows are walked: one unit per
// corner of its polygons, two per pixel row each of their edges crosses,
// and the sorting of their edges (log2 of their number each, four to a
// unit); a row whose edges need a full sort is charged that sort when it
// is walked. A fill that would cost more than `limit` fails (kError) with
// `spent` above the limit; otherwise `spent` is what it cost.
//
// What it holds while it runs is counted too: its polygons' corners, their
// edges as sorted and as active in a row, and its rectangles (the list
// and the region made of it). A fill that would hold more than
// `heldLimit` bytes fails the same way, before it takes them; `held` is
// the most it held.
struct FillWork {
  uint64_t limit = UINT64_MAX;
  uint64_t spent = 0;
  uint64_t heldLimit = UINT64_MAX;
  uint64_t held = 0;

  bool refused() const { return spent > limit || held > heldLimit; }
};

// The work of sorting n items: log2(n) comparisons each, four to a unit.
uint64_t SortWork(uint64_t n);

class Path {
 public:
  // Coordinates beyond +-kMaxCoord make the conversions fail (kError).
  static constexpr int32_t kMaxCoord = 1 << 24;

  enum class SegmentKind : uint8_t { kLine, kCubic };
  struct Segment {
    SegmentKind kind = SegmentKind::kLine;
    IntPoint c1;  // cubic control points; unused for lines
    IntPoint c2;
    IntPoint end;
  };
  struct Figure {
    IntPoint start;
    std::vector<Segment> segments;
    bool closed = false;
  };

  // Starts a new figure at p (the current one stays open).
  void MoveTo(IntPoint p);
  void MoveTo(int32_t x, int32_t y) { MoveTo(IntPoint{x, y}); }
  // A line or cubic from the current position; without a figure in
  // progress one starts at the current position.
  void LineTo(IntPoint p);
  void LineTo(int32_t x, int32_t y) { LineTo(IntPoint{x, y}); }
  void BezierTo(IntPoint c1, IntPoint c2, IntPoint end);
  // Closes the figure in progress by its chord; the current position goes
  // back to the figure's start.
  void CloseFigure();
  // Drops everything (the current position goes back to 0,0).
  void Clear();

  const std::vector<Figure>& figures() const { return figures_; }
  bool empty() const { return figures_.empty(); }

  // The region enclosed by the path, even-odd, open figures closed by their
  // chord. kError (and an empty region) when a coordinate is out of range
  // or the result would exceed the work budget.
  RegionKind ToRegion(Region& out) const;
  RegionKind ToRegion(Region& out, FillWork& work) const;

 private:
  Figure& CurrentFigure();

  std::vector<Figure> figures_;
  IntPoint current_;
  bool in_figure_ = false;
};

// Shared by the filler and the stroker.
namespace fill_detail {

// Fixed-point grid: 1/16 device unit.
constexpr int kFixShift = 4;
constexpr int64_t kFixOne = int64_t{1} << kFixShift;

struct FixPoint {
  int64_t x = 0;
  int64_t y = 0;

  bool operator==(const FixPoint&) const = default;
};

// Work budgets: the most flattened points a fill, or a widening (which
// turns every point into a round join), takes on.
constexpr size_t kMaxFillPoints = size_t{1} << 22;
constexpr size_t kMaxWidenPoints = size_t{1} << 16;

struct Polyline {
  std::vector<FixPoint> points;
  bool closed = false;
};

// Flattens every figure of the path (figures without a segment give
// nothing). False when a coordinate is beyond +-Path::kMaxCoord or the
// polylines would hold more than max_points points (then `too_many`, when
// given, is set).
bool FlattenPath(const Path& path, size_t max_points, std::vector<Polyline>& out,
                 bool* too_many = nullptr);

// What a fill holds per corner of its polygons, with room for the list to
// grow (FillWork::held).
constexpr uint64_t kHeldBytesPerCorner = 32;

enum class FillRule { kEvenOdd, kNonZero };

// Fills closed polygons (each implicitly closed) into a region; with a
// work record, charged to it first.
RegionKind FillPolygons(const std::vector<std::vector<FixPoint>>& polygons, FillRule rule,
                        Region& out, FillWork* work = nullptr);

}  // namespace fill_detail
}  // namespace tovrani
