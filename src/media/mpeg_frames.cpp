#include "media/mpeg_frames.h"

#include <algorithm>

namespace tovrani {

uint32_t MpegBitrate(uint32_t version, uint32_t index) {
  static const uint16_t kMpeg1[15] = {0,   32,  40,  48,  56,  64,  80, 96,
                                      112, 128, 160, 192, 224, 256, 320};
  static const uint16_t kMpeg2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  if (index == 0 || index > 14) return 0;
  return uint32_t(version == 1 ? kMpeg1[index] : kMpeg2[index]) * 1000;
}

uint32_t MpegSampleRate(uint32_t version, uint32_t index) {
  static const uint32_t kRates[3][3] = {
      {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  if (index > 2) return 0;
  return kRates[version == 1 ? 0 : version == 2 ? 1 : 2][index];
}

uint32_t CountMp3Samples(std::span<const uint8_t> data) {
  uint64_t samples = 0;
  uint64_t p = 1;  // one byte into the first header
  // A frame counts when its whole 4-byte header is there.
  while (p + 2 < data.size()) {
    const uint8_t b1 = data[size_t(p)], b2 = data[size_t(p + 1)];
    const uint32_t bits = (b1 >> 3) & 3;
    const uint32_t version = bits == 3 ? 1 : bits == kMpegVersion2Code ? 2 : 25;
    const uint32_t bitrate = MpegBitrate(version, b2 >> 4);
    const uint32_t rate = MpegSampleRate(version, (b2 >> 2) & 3);
    if (bitrate == 0 || rate == 0) break;
    const uint64_t length = uint64_t(version == 1 ? 144 : 72) * bitrate / rate + ((b2 >> 1) & 1);
    samples += version == 1 ? 1152 : 576;
    if (length == 0) break;
    p += length;
    if (p >= data.size() || data[size_t(p - 1)] != 0xFF || (data[size_t(p)] & 0xE0) != 0xE0) break;
  }
  return uint32_t(std::min<uint64_t>(samples, UINT32_MAX));
}

}  // namespace tovrani
