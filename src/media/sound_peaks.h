// The waveform summary stored after MP3 data: one point per 32 bytes of
// decoded 44,100 Hz stereo PCM, taken piece by piece as the decoder
// delivers it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tovrani {

// Bytes of decoded PCM between two points.
constexpr uint32_t kPeakStep = 32;
// The pieces the points are taken from.
constexpr uint32_t kPeakPiece = 32768;

// Peak points for `sampleCount` samples at the rate of the SWF format byte:
// one per 8 samples at 44 kHz, 4 at 22 kHz, 2 below.
uint32_t PeakCountFor(uint32_t sampleCount, uint8_t format);

class PeakCollector {
 public:
  PeakCollector(uint32_t peakCount, bool stereo);
  // One piece of PCM (at most kPeakPiece bytes; the decoder hands whole
  // pieces but the last).
  void piece(std::span<const uint8_t> pcm);
  // The points, padded with 0x80 up to the peak count.
  std::vector<uint8_t> finish();

 private:
  uint32_t count_, taken_ = 0;
  bool stereo_;
  std::vector<uint8_t> points_;
};

}  // namespace tovrani
