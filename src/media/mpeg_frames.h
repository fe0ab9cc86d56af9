// MPEG audio Layer III frame headers: bit rates, sampling frequencies and
// the walk that counts the samples of a run of frames.
#pragma once

#include <cstdint>
#include <span>

namespace tovrani {

// Version code of bits 4-3 of the header's second byte for MPEG-2.
constexpr uint8_t kMpegVersion2Code = 2;  // binary 10

// Layer III bit rate in bit/s for index 1-14 (MPEG-1 table for version 1,
// the low-sampling-frequency table otherwise); 0 for 0 and above 14.
uint32_t MpegBitrate(uint32_t version, uint32_t index);
// Sampling frequency for index 0-2 (version 1, 2, anything else = 2.5); 0
// for the reserved index 3.
uint32_t MpegSampleRate(uint32_t version, uint32_t index);

// Samples of the frames found in `data`, which starts with a frame header:
// frame to frame by the header's length (a frame counts once its 4-byte
// header is there, its data may be cut short), until the data ends, a header
// gives a length of 0, a bit rate or sampling frequency of 0, or the next
// frame does not start with a sync (FF, then a byte with its top three bits
// set).
uint32_t CountMp3Samples(std::span<const uint8_t> data);

}  // namespace tovrani
