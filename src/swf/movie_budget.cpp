#include "swf/movie_budget.h"

#include <algorithm>

namespace tovrani {

namespace {

// a + b * c, held at UINT64_MAX rather than wrapped.
uint64_t SaturatingSum(uint64_t a, uint64_t b, uint64_t c) {
  if (b != 0 && c > (UINT64_MAX - a) / b) return UINT64_MAX;
  return a + b * c;
}

}  // namespace

uint64_t BudgetedMovieBytes(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes) {
  if (!compressed) return bytesAfterHeader;
  return std::min(bytesAfterHeader, SaturatingSum(0, kCompressedBytesPerFileByte, fileBytes));
}

Allowance::Allowance(uint64_t fixed, uint64_t perByte, uint64_t movieBytes)
    : left_(SaturatingSum(fixed, perByte, movieBytes)) {}

bool Allowance::Take(uint64_t amount) {
  if (amount > left_) return false;
  left_ -= amount;
  return true;
}

MovieBudget::MovieBudget(uint64_t movieBytes)
    : pixels(kPixelAllowance, kPixelsPerMovieByte, movieBytes) {}

}  // namespace tovrani
