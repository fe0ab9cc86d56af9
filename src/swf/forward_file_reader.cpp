#include "swf/forward_file_reader.h"

#include <algorithm>

#include "platform/resource_bound.h"

namespace tovrani {

namespace {
constexpr size_t kBlockBytes = size_t(1) << 16;
}  // namespace

ForwardFileReader::ForwardFileReader(std::FILE* file, uint64_t pos, uint64_t end)
    : file_(file), pos_(std::min(pos, end)), end_(end) {}

bool ForwardFileReader::fill() {
  // The passes over all tags (the mask pass, the placement counts, the
  // video search) look at the time and memory bounds a block at a time: a
  // tag costs them next to nothing, and so little a byte that the loops
  // after them, which stop there, notice a crossing soon enough.
  ResourceLook();
  const size_t want = size_t(std::min<uint64_t>(kBlockBytes, end_ - pos_));
  block_.resize(want);
  blockStart_ = pos_;
  if (!file_ || std::fseek(file_, long(pos_), SEEK_SET) != 0) {
    block_.clear();
    return false;
  }
  const size_t got = std::fread(block_.data(), 1, want, file_);
  block_.resize(got);
  return got > 0;
}

bool ForwardFileReader::readAcrossBlocks(uint8_t* dst, size_t n) {
  if (n > end_ - pos_) return false;
  while (n > 0) {
    const bool inBlock = pos_ >= blockStart_ && pos_ - blockStart_ < block_.size();
    if (!inBlock && !fill()) return false;
    const size_t at = size_t(pos_ - blockStart_);
    const size_t take = std::min(n, block_.size() - at);
    std::memcpy(dst, block_.data() + at, take);
    dst += take;
    n -= take;
    pos_ += take;
  }
  return true;
}

void ForwardFileReader::skipTo(uint64_t pos) { pos_ = std::clamp(pos, pos_, end_); }

bool ForwardFileReader::tagHeader(TagHeader& out) {
  uint8_t b[4];
  TagHeader h;
  h.headerStart = pos_;
  if (!read(b, 2)) return false;
  const uint16_t word = uint16_t(b[0] | (b[1] << 8));
  h.code = word >> 6;
  h.length = word & 0x3F;
  if (h.length == 0x3F) {
    if (!read(b, 4)) return false;
    h.length = b[0] | (b[1] << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    h.longForm = true;
  }
  h.bodyStart = pos_;
  if (h.length > end_ - pos_) return false;
  out = h;
  return true;
}

}  // namespace tovrani
