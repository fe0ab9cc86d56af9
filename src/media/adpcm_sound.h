// The SWF ADPCM decoder: 2- to 5-bit codes in packets of 4,096 samples per
// channel, each packet led by a 16-bit sample and a 6-bit step index per
// channel.
#pragma once

#include <cstdint>
#include <span>

#include "media/pcm_output.h"

namespace tovrani {

// Decodes up to `sampleCount` samples per channel of `data` (the ADPCM code
// size in its first two bits) and appends them to `out` at 44,100 Hz
// stereo. `format` is the SWF sound format byte (rate bits 3-2, stereo bit
// 0). Stops where the data ends: a packet cut short keeps what it decoded.
// Returns the samples decoded per channel.
uint64_t DecodeAdpcmSound(std::span<const uint8_t> data, PcmOutput& out, uint64_t sampleCount,
                          uint8_t format);

// The samples per channel that DecodeAdpcmSound can read from `data`
// however many are asked for: what its bits hold, packet by packet.
uint64_t AdpcmSamplesHeld(std::span<const uint8_t> data, uint8_t format);

}  // namespace tovrani
