#include "platform/raster.h"

#include <algorithm>

namespace tovrani {

bool Raster::Resize(int32_t width, int32_t height) {
  width_ = height_ = 0;
  pixels_.clear();
  if (width < 0 || height < 0 || int64_t{width} * height > kMaxPixels) return false;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  return true;
}

bool Raster::Get(int32_t x, int32_t y) const {
  return Inside(x, y) && pixels_[static_cast<size_t>(y) * width_ + x] != 0;
}

void Raster::Set(int32_t x, int32_t y, bool on) {
  if (Inside(x, y)) pixels_[static_cast<size_t>(y) * width_ + x] = on ? 1 : 0;
}

void Raster::Fill(const Region& region) {
  for (const IntRect& r : region.Rects()) {
    const int32_t left = std::max(r.left, 0), right = std::min(r.right, width_);
    const int32_t top = std::max(r.top, 0), bottom = std::min(r.bottom, height_);
    if (left >= right) continue;
    for (int32_t y = top; y < bottom; ++y) {
      uint8_t* row = pixels_.data() + static_cast<size_t>(y) * width_;
      std::fill(row + left, row + right, uint8_t{1});
    }
  }
}

int64_t Raster::Count() const { return std::count(pixels_.begin(), pixels_.end(), uint8_t{1}); }

}  // namespace tovrani
