#include "convert/colour_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace tovrani {
namespace {

constexpr double kPi = 3.141592653589793;

// The matrix the authoring tool stores for an adjustment:
// Hue · Saturation · Contrast · Brightness, computed in double, kept as f32.
// Contrast gains above 0 are a few of the tool's own slider values.
ColourMatrix ToolMatrix(double brightness, int contrast, double saturation, double hue) {
  const double lum[3] = {0.213, 0.715, 0.072}, w[3] = {0.3086, 0.6094, 0.082};
  const double rot[3][3] = {{-0.213, -0.715, 0.928}, {0.143, 0.140, -0.283}, {-0.787, 0.715, 0.072}};
  double cs = std::cos(hue * kPi / 180.0), sn = std::sin(hue * kPi / 180.0);
  double s = saturation <= 0 ? 1.0 + saturation / 100.0 : 1.0 + 3.0 * saturation / 100.0;
  double g = contrast <= 0 ? 1.0 + contrast / 100.0 : contrast == 20 ? 1.25 : contrast == 50 ? 2.0 : 11.0;
  ColourMatrix m{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      double v = 0;
      for (int k = 0; k < 3; ++k)
        v += (lum[k] + cs * ((r == k) - lum[k]) + sn * rot[r][k]) * ((1 - s) * w[c] + (k == c ? s : 0.0));
      m[5 * r + c] = float(g * v);
    }
    m[5 * r + 4] = float(g * brightness + 63.5 * (1 - g));
  }
  m[18] = 1.0f;
  return m;
}

ColourMatrix Identity() {
  ColourMatrix m{};
  m[0] = m[6] = m[12] = m[18] = 1.0f;
  return m;
}

TEST(ColourMatrix, SingleAndCombinedEffectsComeBack) {
  struct Case {
    double brightness;
    int contrast;
    double saturation, hue;
  };
  const Case cases[] = {
      // one effect each
      {40, 0, 0, 0}, {-75, 0, 0, 0}, {0, -50, 0, 0}, {0, 20, 0, 0}, {0, 100, 0, 0}, {0, 0, -100, 0},
      {0, 0, -30, 0}, {0, 0, 100, 0}, {0, 0, 0, 30}, {0, 0, 0, -45}, {0, 0, 0, 90}, {0, 0, 0, -90},
      {0, 0, 0, 120}, {0, 0, 0, -150}, {0, 0, 0, 180},
      // combined
      {0, 20, 0, 30}, {35, 0, 0, 60}, {-20, 0, 0, -100}, {0, 50, 40, 0}, {0, -50, -60, 0},
      {25, 20, -40, 135}, {-60, 100, 100, -170}, {10, -30, 70, 95}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.brightness << "/" << k.contrast << "/" << k.saturation << "/" << k.hue);
    ColourAdjustment got = RecoverColourAdjustment(ToolMatrix(k.brightness, k.contrast, k.saturation, k.hue));
    EXPECT_NEAR(got.brightness, k.brightness, 1.0);
    EXPECT_NEAR(got.contrast, k.contrast, 1.0);
    EXPECT_NEAR(got.saturation, k.saturation, 1.0);
    double dh = std::fabs(got.hue - k.hue);  // -180 and 180 are one angle
    EXPECT_LE(std::min(dh, 360.0 - dh), 1.0) << got.hue;
  }
}

bool IsZero(const ColourAdjustment& a) {
  return a.brightness == 0 && a.contrast == 0 && a.saturation == 0 && a.hue == 0 && !std::signbit(a.hue);
}

TEST(ColourMatrix, IdentityNoiseNonFiniteAndForeignMatrices) {
  EXPECT_TRUE(IsZero(RecoverColourAdjustment(Identity())));
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> noise(-1e-4f, 1e-4f);
  for (int i = 0; i < 50; ++i) {
    ColourMatrix m = Identity();
    for (float& v : m) v += noise(rng);
    m[4] += noise(rng) * 1000;  // an offset of a tenth of a colour step
    EXPECT_TRUE(IsZero(RecoverColourAdjustment(m)));
  }
  for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity()}) {
    for (int at : {0, 1, 4, 12, 19}) {
      ColourMatrix m = ToolMatrix(20, 20, 30, 40);
      m[at] = bad;
      EXPECT_TRUE(IsZero(RecoverColourAdjustment(m)));
    }
  }
  // A sepia tone, which the adjustment filter cannot make: hue and
  // saturation stay neutral.
  ColourMatrix sepia = {0.393f, 0.769f, 0.189f, 0, 0, 0.349f, 0.686f, 0.168f, 0, 0,
                        0.272f, 0.534f, 0.131f, 0, 0, 0,      0,      0,      1, 0};
  ColourAdjustment a = RecoverColourAdjustment(sepia);
  EXPECT_EQ(a.saturation, 0);
  EXPECT_EQ(a.hue, 0);
}

TEST(ColourMatrix, ContrastGainsAndTheirOffset) {
  // Halfway between two gains: the higher index; beyond the table: 0.
  EXPECT_EQ(RecoverContrast(1.045), 4);
  EXPECT_EQ(RecoverContrast(12.0), 0);
  EXPECT_EQ(RecoverContrast(-3.0), -100);

  // Gain 0.5 without offset: the contrast's own offset is undone, which leaves
  // a brightness of -63.5, clamped into the tool's range.
  ColourMatrix half{};
  half[0] = half[6] = half[12] = 0.5f;
  ColourAdjustment a = RecoverColourAdjustment(half);
  EXPECT_EQ(a.contrast, -50);
  EXPECT_NEAR(a.brightness, -63.5, 1.0);
  // Above the table the offset is taken as it stands.
  ColourMatrix steep{};
  steep[0] = steep[6] = steep[12] = 12.0f;
  steep[4] = steep[9] = steep[14] = 30.0f;
  a = RecoverColourAdjustment(steep);
  EXPECT_EQ(a.contrast, 0);
  EXPECT_EQ(a.brightness, 30);
  // The table's last gain is still the tool's: its offset holds a brightness.
  ColourMatrix top{};
  top[0] = top[6] = top[12] = 11.0f;
  top[4] = top[9] = top[14] = 11.0f * 20 - 63.5f * 10;
  a = RecoverColourAdjustment(top);
  EXPECT_EQ(a.contrast, 100);
  EXPECT_EQ(a.brightness, 20);
  // All-zero colour part: contrast -100, nothing else can be told.
  ColourMatrix zero{};
  zero[4] = 63.5f;
  a = RecoverColourAdjustment(zero);
  EXPECT_EQ(a.contrast, -100);
  EXPECT_EQ(a.brightness, 0);
}

TEST(ColourMatrix, RandomMatricesGiveFiniteSettingsInRange) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> small(-2.0f, 2.0f);
  std::uniform_int_distribution<int> exponent(-40, 38);
  for (int i = 0; i < 2000; ++i) {
    ColourMatrix m;
    for (float& v : m) v = i % 2 ? small(rng) : std::ldexp(small(rng), exponent(rng));
    ColourAdjustment a = RecoverColourAdjustment(m);
    for (float v : {a.brightness, a.contrast, a.saturation}) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 100.0f);
    ASSERT_TRUE(std::isfinite(a.hue) && std::fabs(a.hue) <= 180.0f);
  }
}

}  // namespace
}  // namespace tovrani
