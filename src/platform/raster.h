// A bilevel off-screen raster: width x height pixels, each set or clear.
// Row 0 is the top row; pixel (x, y) matches region pixel (x, y).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/region.h"

namespace tovrani {

class Raster {
 public:
  static constexpr int64_t kMaxPixels = int64_t{1} << 26;

  Raster() = default;

  // Makes a cleared raster of the given size; false (and an empty raster)
  // when a side is negative or the size exceeds kMaxPixels.
  bool Resize(int32_t width, int32_t height);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // Outside the raster Get answers false and Set does nothing.
  bool Get(int32_t x, int32_t y) const;
  void Set(int32_t x, int32_t y, bool on);
  // Sets every pixel of the region that lies inside the raster.
  void Fill(const Region& region);
  int64_t Count() const;

 private:
  bool Inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace tovrani
