#include "media/sound_peaks.h"

#include <cstdlib>

namespace tovrani {

uint32_t PeakCountFor(uint32_t sampleCount, uint8_t format) {
  const uint8_t rate = format & 0x0C;
  return sampleCount / (rate == 0x0C ? 8 : rate == 0x08 ? 4 : 2);
}

PeakCollector::PeakCollector(uint32_t peakCount, bool stereo) : count_(peakCount), stereo_(stereo) {
  points_.reserve(size_t(peakCount) * (stereo ? 2 : 1));
}

void PeakCollector::piece(std::span<const uint8_t> pcm) {
  for (size_t at = 0; at < pcm.size() && taken_ < count_; at += kPeakStep, ++taken_) {
    int left = 0, right = 0;
    for (size_t f = at; f + 4 <= pcm.size() && f < at + kPeakStep; f += 4) {
      const int l = int16_t(uint16_t(pcm[f] | (pcm[f + 1] << 8)));
      const int r = int16_t(uint16_t(pcm[f + 2] | (pcm[f + 3] << 8)));
      if (std::abs(l) > std::abs(left)) left = l;
      if (std::abs(r) > std::abs(right)) right = r;
    }
    left /= 256;
    right /= 256;
    if (stereo_) {
      points_.push_back(uint8_t(left + 128));
      points_.push_back(uint8_t(right + 128));
    } else {
      points_.push_back(uint8_t((std::abs(left) > std::abs(right) ? left : right) + 128));
    }
  }
}

std::vector<uint8_t> PeakCollector::finish() {
  points_.resize(size_t(count_) * (stereo_ ? 2 : 1), 0x80);
  return std::move(points_);
}

}  // namespace tovrani
