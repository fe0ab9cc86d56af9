#include "media/mpeg_test_frames.h"

namespace tovrani::test {

std::vector<uint8_t> SilentMp3Frames(MpegVersion version, uint8_t bitrateIndex, uint8_t rateIndex,
                                     bool mono, uint32_t count) {
  static const uint32_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000},
                                        {11025, 12000, 8000}};
  static const uint32_t kKbps1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const uint32_t kKbps2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  const bool v1 = version == MpegVersion::k1;
  const uint32_t rate = kRates[v1 ? 0 : version == MpegVersion::k2 ? 1 : 2][rateIndex % 3];
  const uint32_t* kbps = v1 ? kKbps1 : kKbps2;
  const uint32_t bitrate = kbps[bitrateIndex % 15] * 1000;
  const uint32_t length = (v1 ? 144 : 72) * bitrate / rate;
  std::vector<uint8_t> frame(length, 0);
  frame[0] = 0xFF;
  frame[1] = uint8_t(0xE0 | (uint8_t(version) << 3) | (1 << 1) | 1);  // Layer III, no CRC
  frame[2] = uint8_t((bitrateIndex << 4) | (rateIndex << 2));
  frame[3] = mono ? 0xC0 : 0x00;
  std::vector<uint8_t> out;
  for (uint32_t i = 0; i < count; ++i) out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

}  // namespace tovrani::test
