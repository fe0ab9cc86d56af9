// Exact curve points and distances, for checking flattened, widened and
// traced outlines against the curves they stand for.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace tovrani::test {

using FinePoint = std::pair<double, double>;

// The cubic from p0 with controls c1 and c2 to p3, at parameter t.
template <class P>
FinePoint CubicAt(const P& p0, const P& c1, const P& c2, const P& p3, double t) {
  const double u = 1 - t, a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
  return {a * p0.x + b * c1.x + c * c2.x + d * p3.x, a * p0.y + b * c1.y + c * c2.y + d * p3.y};
}

inline double DistanceToPolyline(const std::vector<FinePoint>& line, double x, double y) {
  double best = std::hypot(x - line[0].first, y - line[0].second);
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    const auto [ax, ay] = line[i];
    const double dx = line[i + 1].first - ax, dy = line[i + 1].second - ay;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0;
    best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
  }
  return best;
}

}  // namespace tovrani::test
