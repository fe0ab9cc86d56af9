// Where the sound decoders put their output: 44,100 Hz, 16-bit stereo PCM
// appended to a work file, buffered, and cut before the file would reach
// 2^31 bytes (a media stream's size is a 32-bit field of the container).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <vector>

namespace tovrani {

constexpr uint64_t kMaxSoundStreamBytes = 0x80000000u - 1;
constexpr uint32_t kOutputRate = 44100;

class PcmOutput {
 public:
  // `alreadyWritten` bytes of the stream are in the file before this output.
  explicit PcmOutput(std::FILE* f, uint64_t alreadyWritten = 0);
  ~PcmOutput() { flush(); }
  PcmOutput(const PcmOutput&) = delete;
  PcmOutput& operator=(const PcmOutput&) = delete;

  // One stereo frame, `repeat` times (rate conversion by repetition).
  void frame(int16_t left, int16_t right, unsigned repeat = 1);
  void bytes(std::span<const uint8_t> data);
  bool flush();
  bool cut() const { return cut_; }        // the cap was reached
  bool failed() const { return failed_; }  // a write failed
  uint64_t written() const { return total_; }

 private:
  std::FILE* f_;
  std::vector<uint8_t> buf_;
  uint64_t total_;
  bool cut_ = false, failed_ = false;
};

// Times each sample is repeated to reach 44,100 Hz, from the rate bits
// (bits 3-2 of a SWF sound format byte): 5,512.5, 11,025, 22,050, 44,100 Hz.
inline unsigned RepeatForRateBits(uint8_t format) {
  static const unsigned kRepeat[4] = {8, 4, 2, 1};
  return kRepeat[(format >> 2) & 3];
}

// The bytes a PcmOutput is given for `frames` frames at the rate bits of
// `format`, as far as the cut lets them come.
inline uint64_t OutputBytesFor(uint64_t frames, uint8_t format) {
  const uint64_t most = kMaxSoundStreamBytes / (4 * RepeatForRateBits(format)) + 1;
  return std::min(frames, most) * 4 * RepeatForRateBits(format);
}

// The whole frames of `bytes` uncompressed SWF samples (8- or 16-bit, mono
// or stereo by the format byte's bits 1 and 0).
inline uint64_t PcmFramesHeld(uint64_t bytes, uint8_t format) {
  return bytes / (((format & 2) ? 2u : 1u) * ((format & 1) ? 2u : 1u));
}

// Uncompressed SWF samples (the format byte at buffer offset 0, the samples
// from offset 5): 8-bit unsigned become (v - 128) << 8, 16-bit are little
// endian, mono goes to both channels. A partial last frame is dropped.
void ConvertPcmSound(std::span<const uint8_t> buffer, PcmOutput& out);

}  // namespace tovrani
