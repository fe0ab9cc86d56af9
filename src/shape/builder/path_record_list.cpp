#include "shape/builder/path_record_list.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>

namespace tovrani {

int32_t RoundHalfUp(double v) {
  const double r = std::floor(v + 0.5);
  if (!(r == r)) return 0;
  if (r <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (r >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return int32_t(r);
}

double DirectionAngle(double dx, double dy) {
  constexpr double kPi = 3.141592653589793;
  if (dx == 0) return dy > 0 ? 90.0 : -90.0;
  const double a = std::atan(dy / dx) * (180.0 / kPi);
  return dx < 0 ? a - 180.0 : a;
}

void PathRecordList::ScaleAndRound(double factor) {
  for (PathRecord& r : records) {
    if (r.kind == kPathCurveTo) {
      r.controlX = RoundHalfUp(double(r.controlX) * factor);
      r.controlY = RoundHalfUp(double(r.controlY) * factor);
    }
    r.anchorX = RoundHalfUp(double(r.anchorX) * factor);
    r.anchorY = RoundHalfUp(double(r.anchorY) * factor);
  }
}

void PathRecordList::CurvesToLines() {
  for (PathRecord& r : records)
    if (r.kind == kPathCurveTo) r.kind = kPathLineTo;
}

void PathRecordList::Simplify() {
  // Flat curves: the control polygon bends by less than a degree, or turns
  // straight back.
  for (size_t i = 0; i < records.size(); ++i) {
    PathRecord& r = records[i];
    if (r.kind != kPathCurveTo) continue;
    const double px = i ? records[i - 1].anchorX : 0, py = i ? records[i - 1].anchorY : 0;
    const double a1 = DirectionAngle(double(r.controlX) - px, double(r.controlY) - py);
    const double a2 = DirectionAngle(double(r.anchorX) - double(r.controlX),
                                     double(r.anchorY) - double(r.controlY));
    const double d = std::fabs(a1 - a2);
    if (d < 1.0 || d == 180.0) r.kind = kPathLineTo;
  }
  // Out-and-back line pairs.
  auto erase = [this](size_t from, size_t n) {
    records.erase(records.begin() + std::ptrdiff_t(from), records.begin() + std::ptrdiff_t(from + n));
  };
  size_t i = 0;
  while (i + 1 < records.size()) {
    const PathRecord& a = records[i];
    const PathRecord& b = records[i + 1];
    const int32_t qx = i ? records[i - 1].anchorX : 0, qy = i ? records[i - 1].anchorY : 0;
    if (a.kind != kPathLineTo || b.kind != kPathLineTo || b.anchorX != qx || b.anchorY != qy) {
      ++i;
      continue;
    }
    const bool afterMove = i > 0 && records[i - 1].kind == kPathMoveTo;
    if (i + 2 == records.size()) {
      records.resize(records.size() - (afterMove ? 3 : 2));
      return;
    }
    if (afterMove) {
      if (records[i + 2].kind == kPathMoveTo)
        erase(i - 1, 3);
      else
        erase(i, 2);
      i = i + 1;
    } else {
      erase(i, 2);
      i = (i >= 2 ? i - 2 : 0) + 1;
    }
  }
}

}  // namespace tovrani
