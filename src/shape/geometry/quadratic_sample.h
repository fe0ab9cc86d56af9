// Points along a quadratic curve, for tests that follow a curve rather
// than its outline.
#pragma once

#include <cstdint>
#include <span>

namespace tovrani {

// Fills out[2i], out[2i + 1] (i = 0 .. n - 1) with the curve from (x0, y0)
// through the control (x1, y1) to (x2, y2) at t = t1 - i / (n - 1) * (t1 - t0):
// sample 0 lies at t1, sample n - 1 at t0. `out` holds at least 2n values;
// n is at least 2.
void SampleQuadratic(std::span<double> out, int n, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                     int64_t x2, int64_t y2, double t0, double t1);

}  // namespace tovrani
