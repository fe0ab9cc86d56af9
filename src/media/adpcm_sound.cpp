#include "media/adpcm_sound.h"

#include <algorithm>

namespace tovrani {

namespace {

const int16_t kStepSizes[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int8_t kIndex2[2] = {-1, 2};
const int8_t kIndex3[4] = {-1, -1, 2, 4};
const int8_t kIndex4[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
const int8_t kIndex5[16] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
const int8_t* const kIndexTables[4] = {kIndex2, kIndex3, kIndex4, kIndex5};

constexpr uint32_t kPacketSamples = 4096;

class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> d) : d_(d) {}
  bool has(uint64_t bits) const { return bits <= uint64_t(d_.size()) * 8 - pos_; }
  uint32_t u(unsigned n) {
    uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i, ++pos_)
      v = (v << 1) | ((d_[size_t(pos_ >> 3)] >> (7 - (pos_ & 7))) & 1);
    return v;
  }
  int32_t s(unsigned n) {
    uint32_t v = u(n);
    return (v & (1u << (n - 1))) ? int32_t(v) - int32_t(1u << n) : int32_t(v);
  }

 private:
  std::span<const uint8_t> d_;
  uint64_t pos_ = 0;
};

struct Channel {
  int32_t sample = 0;
  int32_t index = 0;

  void step(uint32_t code, unsigned bits, const int8_t* indexTable) {
    const uint32_t sign = 1u << (bits - 1);
    int32_t stepSize = kStepSizes[index];
    int32_t diff = 0;
    for (uint32_t k = sign >> 1; k; k >>= 1) {
      if (code & k) diff += stepSize;
      stepSize >>= 1;
    }
    diff += stepSize;
    sample += (code & sign) ? -diff : diff;
    sample = std::clamp(sample, -32768, 32767);
    index = std::clamp(index + indexTable[code & (sign - 1)], 0, 88);
  }
};

}  // namespace

uint64_t AdpcmSamplesHeld(std::span<const uint8_t> data, uint8_t format) {
  if (data.empty()) return 0;
  const uint64_t channels = (format & 1) ? 2 : 1;
  const uint64_t codeBits = uint64_t(data[0] >> 6) + 2;
  const uint64_t head = 22 * channels, step = codeBits * channels;
  uint64_t bits = uint64_t(data.size()) * 8 - 2;
  uint64_t samples = 0;
  // Whole packets: a head and 4,095 codes each.
  const uint64_t packet = head + (kPacketSamples - 1) * step;
  samples += bits / packet * kPacketSamples;
  bits %= packet;
  if (bits >= head) samples += 1 + (bits - head) / step;
  return samples;
}

uint64_t DecodeAdpcmSound(std::span<const uint8_t> data, PcmOutput& out, uint64_t sampleCount,
                          uint8_t format) {
  BitReader r(data);
  if (!r.has(2)) return 0;
  const unsigned bits = r.u(2) + 2;
  const int8_t* indexTable = kIndexTables[bits - 2];
  const unsigned channels = (format & 1) ? 2 : 1;
  const unsigned repeat = RepeatForRateBits(format);
  Channel ch[2];
  uint64_t done = 0;
  while (done < sampleCount && !out.cut()) {
    // Packet head: the first sample of each channel, then its step index.
    if (!r.has(22 * channels)) break;
    for (unsigned c = 0; c < channels; ++c) {
      ch[c].sample = r.s(16);
      ch[c].index = int32_t(r.u(6));
    }
    out.frame(int16_t(ch[0].sample), int16_t(ch[channels - 1].sample), repeat);
    ++done;
    for (uint32_t i = 1; i < kPacketSamples && done < sampleCount; ++i) {
      if (!r.has(uint64_t(bits) * channels) || out.cut()) return done;
      for (unsigned c = 0; c < channels; ++c) ch[c].step(r.u(bits), bits, indexTable);
      out.frame(int16_t(ch[0].sample), int16_t(ch[channels - 1].sample), repeat);
      ++done;
    }
  }
  return done;
}

}  // namespace tovrani
