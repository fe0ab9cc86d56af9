#include "media/pcm_output.h"

namespace tovrani {

namespace {
constexpr size_t kFlushAt = 32768;
}

PcmOutput::PcmOutput(std::FILE* f, uint64_t alreadyWritten) : f_(f), total_(alreadyWritten) {
  buf_.reserve(kFlushAt + 64);
  if (!f_) failed_ = true;
}

void PcmOutput::frame(int16_t left, int16_t right, unsigned repeat) {
  const uint8_t b[4] = {uint8_t(left), uint8_t(uint16_t(left) >> 8), uint8_t(right),
                        uint8_t(uint16_t(right) >> 8)};
  for (unsigned i = 0; i < repeat; ++i) bytes(b);
}

void PcmOutput::bytes(std::span<const uint8_t> data) {
  if (cut_ || failed_) return;
  if (data.size() > kMaxSoundStreamBytes - total_) {
    data = data.first(size_t(kMaxSoundStreamBytes - total_));
    cut_ = true;
  }
  total_ += data.size();
  buf_.insert(buf_.end(), data.begin(), data.end());
  if (buf_.size() >= kFlushAt) flush();
}

bool PcmOutput::flush() {
  if (!buf_.empty() && f_ && !failed_) {
    if (std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) failed_ = true;
  }
  buf_.clear();
  return !failed_;
}

void ConvertPcmSound(std::span<const uint8_t> buffer, PcmOutput& out) {
  if (buffer.size() < 5) return;
  const uint8_t format = buffer[0];
  const bool wide = format & 2, stereo = format & 1;
  const unsigned repeat = RepeatForRateBits(format);
  const size_t frameBytes = (wide ? 2u : 1u) * (stereo ? 2u : 1u);
  auto sample = [&](const uint8_t* p) -> int16_t {
    if (wide) return int16_t(uint16_t(p[0] | (p[1] << 8)));
    return int16_t(uint16_t((int(p[0]) - 128) * 256));
  };
  const std::span<const uint8_t> samples = buffer.subspan(5);
  for (size_t i = 0; i + frameBytes <= samples.size() && !out.cut(); i += frameBytes) {
    const uint8_t* p = samples.data() + i;
    const int16_t left = sample(p);
    const int16_t right = stereo ? sample(p + frameBytes / 2) : left;
    out.frame(left, right, repeat);
  }
}

}  // namespace tovrani
