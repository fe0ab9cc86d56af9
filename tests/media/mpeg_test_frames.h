// Silent MPEG audio Layer III frames made by the tests: a header and zeros
// (empty side information and main data decode to silence).
#pragma once

#include <cstdint>
#include <vector>

namespace tovrani::test {

enum class MpegVersion : uint8_t { k1 = 3, k2 = 2, k25 = 0 };

// `bitrateIndex` and `rateIndex` as the header holds them; mono sets the
// channel mode 11. Returns `count` frames of the length the header gives.
std::vector<uint8_t> SilentMp3Frames(MpegVersion version, uint8_t bitrateIndex, uint8_t rateIndex,
                                     bool mono, uint32_t count);

}  // namespace tovrani::test
