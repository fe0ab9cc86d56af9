#include "convert/colour_matrix.h"

#include <algorithm>
#include <cmath>

namespace tovrani {
namespace {

// The tool's contrast gains for the settings 0..100. They follow no formula.
constexpr float kContrastGains[] = {
    1.0f,  1.01f, 1.02f, 1.04f, 1.05f, 1.06f, 1.07f, 1.08f, 1.1f,  1.11f, 1.12f, 1.14f, 1.15f,
    1.16f, 1.17f, 1.18f, 1.2f,  1.21f, 1.22f, 1.24f, 1.25f, 1.27f, 1.28f, 1.3f,  1.32f, 1.34f,
    1.36f, 1.38f, 1.4f,  1.42f, 1.44f, 1.46f, 1.48f, 1.5f,  1.53f, 1.56f, 1.59f, 1.62f, 1.65f,
    1.68f, 1.71f, 1.74f, 1.77f, 1.8f,  1.83f, 1.86f, 1.89f, 1.92f, 1.95f, 1.98f, 2.0f,  2.06f,
    2.12f, 2.18f, 2.24f, 2.3f,  2.36f, 2.42f, 2.48f, 2.54f, 2.6f,  2.66f, 2.72f, 2.78f, 2.84f,
    2.9f,  2.96f, 3.0f,  3.12f, 3.25f, 3.37f, 3.5f,  3.62f, 3.75f, 3.87f, 4.0f,  4.2f,  4.4f,
    4.6f,  4.8f,  5.0f,  5.3f,  5.7f,  5.9f,  6.0f,  6.5f,  7.0f,  7.5f,  7.8f,  8.0f,  8.3f,
    8.5f,  8.8f,  9.0f,  9.4f,  9.7f,  10.0f, 10.4f, 10.6f, 10.8f, 11.0f};
static_assert(std::size(kContrastGains) == 101);

// Hue rotation: H(θ) = L + cosθ·A + sinθ·B, L the luminance row in every row.
constexpr double kLum[3] = {0.213, 0.715, 0.072};
constexpr double kHueCos[3][3] = {
    {0.787, -0.715, -0.072}, {-0.213, 0.285, -0.072}, {-0.213, -0.715, 0.928}};
constexpr double kHueSin[3][3] = {
    {-0.213, -0.715, 0.928}, {0.143, 0.140, -0.283}, {-0.787, 0.715, 0.072}};
// Saturation: S(s) = s·I + (1 − s)·1·wᵀ.
constexpr double kSatWeight[3] = {0.3086, 0.6094, 0.082};

// The tool's matrices are computed in double and stored as f32; a fit whose
// worst entry misses by more than this is not one of them.
constexpr double kFitTolerance = 1e-3;
// Below this gain the colour part is (nearly) gone and nothing else can be
// told apart.
constexpr double kMinGain = 1e-6;

// The table's gains run without a gap from 1 to its last entry, so a gain
// above 1 finds its pair of neighbours unless it lies beyond the table.
bool GainInTable(double g) { return g <= kContrastGains[std::size(kContrastGains) - 1]; }

double ContrastOfGain(double g) {
  if (g <= 1.0) return (g - 1.0) * 100.0;
  for (int i = 0; i < 100; ++i) {
    double lo = kContrastGains[i], hi = kContrastGains[i + 1];
    if (lo <= g && g <= hi) {
      double dHi = hi - g, dLo = lo - g;
      return dHi * dHi <= dLo * dLo ? double(i + 1) : double(i);
    }
  }
  return 0;
}

// Whole settings only (the tool offers no others); never −0, which would
// store a different bit pattern for "no change".
float Setting(double v, double limit) {
  double r = std::nearbyint(std::clamp(v, -limit, limit));
  return r == 0 ? 0.0f : float(r);
}

struct HueSaturationFit {
  bool recognised = false;
  double s = 1;      // saturation factor, 0..4 for the tool's settings
  double angle = 0;  // degrees
};

// Least squares for (s, s·cosθ, s·sinθ) over the nine entries of the
// normalised 3×3 part n (row-major).
HueSaturationFit FitHueSaturation(const double n[9]) {
  double design[9][3], y[9];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      int k = 3 * r + c;
      design[k][0] = kLum[c] - kSatWeight[c];
      design[k][1] = kHueCos[r][c];
      design[k][2] = kHueSin[r][c];
      y[k] = n[k] - kSatWeight[c];
    }
  double g[3][3] = {}, rhs[3] = {};
  for (int k = 0; k < 9; ++k)
    for (int i = 0; i < 3; ++i) {
      rhs[i] += design[k][i] * y[k];
      for (int j = 0; j < 3; ++j) g[i][j] += design[k][i] * design[k][j];
    }
  auto det3 = [](const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  };
  double det = det3(g);
  if (!(std::fabs(det) > 1e-12)) return {};  // cannot happen for these weights
  double x[3];
  for (int col = 0; col < 3; ++col) {  // Cramer's rule
    double t[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) t[i][j] = j == col ? rhs[i] : g[i][j];
    x[col] = det3(t) / det;
  }
  double s = x[0], p = x[1], q = x[2];
  double scale = std::max(1.0, std::fabs(s));
  for (int k = 0; k < 9; ++k) {
    double fitted = design[k][0] * s + design[k][1] * p + design[k][2] * q;
    if (!(std::fabs(fitted - y[k]) <= kFitTolerance * scale)) return {};
  }
  // s·cosθ and s·sinθ must lie on the circle of radius s.
  double radius = std::hypot(p, q);
  if (!(s >= -kFitTolerance) || !(std::fabs(radius - s) <= kFitTolerance * scale)) return {};
  HueSaturationFit fit;
  fit.recognised = true;
  fit.s = std::max(s, 0.0);
  // With no colour left (s = 0) every angle gives the same matrix.
  fit.angle = fit.s > kFitTolerance ? std::atan2(q, p) * 180.0 / 3.141592653589793 : 0.0;
  return fit;
}

}  // namespace

float RecoverContrast(double gain) {
  if (!std::isfinite(gain)) return 0;
  return Setting(ContrastOfGain(gain), 100);
}

ColourAdjustment RecoverColourAdjustment(const ColourMatrix& m) {
  ColourAdjustment out;
  for (float v : m)
    if (!std::isfinite(v)) return out;

  double sum = 0;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) sum += m[5 * r + c];
  double gain = sum / 3.0;
  double offset = m[4];

  out.contrast = RecoverContrast(gain);
  if (!(gain > kMinGain)) return out;  // no gain: brightness, hue and saturation are lost

  // Brightness was added before the contrast: offset = g·b + 63.5·(1 − g).
  // Beyond the table the gain is not the tool's, and the offset stands as it is.
  double brightness = GainInTable(gain) ? (offset + 63.5 * (gain - 1.0)) / gain : offset;
  out.brightness = Setting(brightness, 100);

  double n[9];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) n[3 * r + c] = m[5 * r + c] / gain;
  HueSaturationFit fit = FitHueSaturation(n);
  if (fit.recognised) {
    double sat = fit.s < 1.0 ? 100.0 * fit.s - 100.0 : (fit.s - 1.0) * 100.0 / 3.0;
    out.saturation = Setting(sat, 100);
    out.hue = Setting(fit.angle, 180);
  }
  return out;
}

}  // namespace tovrani
