#include "platform/path_widen.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tovrani {
namespace {

using fill_detail::FixPoint;
using fill_detail::kFixOne;

// Round caps and joins are regular polygons of this many corners on the
// pen's circle; at a 1-unit radius they stay within 0.02 units of it.
constexpr int kDiscCorners = 16;

int64_t Cross(FixPoint o, FixPoint a, FixPoint b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Every piece gets the same orientation so that the non-zero rule fills
// their union.
// Pieces are convex and small across one direction, so their fan area
// stays far inside 64 bits.
void AddPiece(std::vector<FixPoint> piece, std::vector<std::vector<FixPoint>>& pieces) {
  int64_t twice_area = 0;
  for (size_t i = 1; i + 1 < piece.size(); ++i)
    twice_area += Cross(piece[0], piece[i], piece[i + 1]);
  if (twice_area == 0) return;
  if (twice_area < 0) std::reverse(piece.begin(), piece.end());
  pieces.push_back(std::move(piece));
}

}  // namespace

RegionKind WidenPathToRegion(const Path& path, int pen_width, Region& out, FillWork* work) {
  out.Clear();
  if (work) work->spent = work->held = 0;
  if (pen_width > kMaxPenWidth) return RegionKind::kError;
  const double radius = std::max(pen_width, 1) * kFixOne / 2.0;

  std::vector<fill_detail::Polyline> lines;
  if (!fill_detail::FlattenPath(path, fill_detail::kMaxWidenPoints, lines)) {
    return RegionKind::kError;
  }
  if (work) {
    // A disc and a quadrilateral a point: pieces that would hold more than
    // the fill may are not made.
    uint64_t points = 0;
    for (const fill_detail::Polyline& line : lines) points += line.points.size() + 1;
    work->held = points * ((kDiscCorners + 4) * sizeof(FixPoint) + 4 * sizeof(std::vector<FixPoint>));
    if (work->refused()) return RegionKind::kError;
    work->held = 0;
  }

  std::vector<FixPoint> disc_offsets;
  for (int i = 0; i < kDiscCorners; ++i) {
    const double a = 2.0 * std::numbers::pi * i / kDiscCorners;
    disc_offsets.push_back(
        {std::llround(radius * std::cos(a)), std::llround(radius * std::sin(a))});
  }
  auto add_disc = [&](FixPoint c, std::vector<std::vector<FixPoint>>& pieces) {
    std::vector<FixPoint> disc;
    disc.reserve(disc_offsets.size());
    for (const FixPoint& o : disc_offsets) disc.push_back({c.x + o.x, c.y + o.y});
    AddPiece(std::move(disc), pieces);
  };

  std::vector<std::vector<FixPoint>> pieces;
  for (fill_detail::Polyline& line : lines) {
    std::vector<FixPoint>& pts = line.points;
    if (line.closed && pts.size() > 1 && !(pts.back() == pts.front())) pts.push_back(pts.front());
    for (const FixPoint& p : pts) add_disc(p, pieces);
    for (size_t i = 0; i + 1 < pts.size(); ++i) {
      const FixPoint a = pts[i], b = pts[i + 1];
      const double dx = double(b.x - a.x), dy = double(b.y - a.y);
      const double len = std::hypot(dx, dy);
      if (len == 0) continue;
      const FixPoint n{std::llround(-dy / len * radius), std::llround(dx / len * radius)};
      std::vector<FixPoint> quad = {{a.x + n.x, a.y + n.y},
                                    {b.x + n.x, b.y + n.y},
                                    {b.x - n.x, b.y - n.y},
                                    {a.x - n.x, a.y - n.y}};
      if (Cross(quad[0], quad[1], quad[2]) != 0) AddPiece(std::move(quad), pieces);
    }
  }
  return fill_detail::FillPolygons(pieces, fill_detail::FillRule::kNonZero, out, work);
}

}  // namespace tovrani
