// Turning a SWF ColorMatrix filter back into the authoring tool's colour
// adjustment (brightness, contrast, saturation, hue).
//
// The tool builds its matrix as Hue(θ) · Saturation(s) · Contrast(g) ·
// Brightness(b): the 3×3 part is g·H(θ)·S(s) and every colour row gets the
// offset g·b + 63.5·(1 − g). Hue and saturation matrices keep grey grey (their
// rows sum to 1), so the row sums give the gain, and after dividing by it
//   N − 1·wᵀ = s·(1·(L − w)ᵀ) + s·cosθ·A + s·sinθ·B
// (w the saturation weights, L, A, B the hue weights) is linear in s, s·cosθ
// and s·sinθ. A least-squares fit over the nine entries recovers all of them
// at once, for every angle and every mix of effects, in constant time.
#pragma once

#include <array>
#include <cstdint>

namespace tovrani {

// The colour-adjustment settings, as whole numbers in the tool's ranges:
// brightness, contrast and saturation −100..100, hue −180..180 degrees.
struct ColourAdjustment {
  float brightness = 0;
  float contrast = 0;
  float saturation = 0;
  float hue = 0;
};

// 20 floats in SWF order: 4 rows (R, G, B, A) of 4 multipliers and an offset.
using ColourMatrix = std::array<float, 20>;

// The settings a matrix stands for. A matrix the tool cannot have made gives
// 0 for what it cannot explain (saturation and hue, or everything when an
// entry is not finite); results are always finite and in range.
ColourAdjustment RecoverColourAdjustment(const ColourMatrix& m);

// The contrast setting of a gain: −100..0 for gains up to 1, the index of the
// nearest entry of the tool's gain table above 1 (a tie goes to the higher
// index), and 0 for a gain above the table's last entry (11).
float RecoverContrast(double gain);

}  // namespace tovrani
