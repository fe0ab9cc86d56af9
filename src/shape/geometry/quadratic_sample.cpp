#include "shape/geometry/quadratic_sample.h"

namespace tovrani {

void SampleQuadratic(std::span<double> out, int n, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                     int64_t x2, int64_t y2, double t0, double t1) {
  if (n < 2 || out.size() < size_t(2 * n)) return;
  for (int i = 0; i < n; ++i) {
    const double t = double(n - 1 - i) / double(n - 1) * (t1 - t0) + t0;
    const double u = 1 - t;
    out[2 * i] = double(x0) * u * u + double(x1) * 2 * u * t + double(x2) * t * t;
    out[2 * i + 1] = double(y0) * u * u + double(y1) * 2 * u * t + double(y2) * t * t;
  }
}

}  // namespace tovrani
