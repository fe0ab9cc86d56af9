// Walks the movie's file forward through blocks of its own, so that a pass
// over many small tags costs no seek per tag: a seek makes stdio drop and
// refill its buffer, which on a movie of empty tags costs far more than the
// tags themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "swf/swf_reader.h"

namespace tovrani {

class ForwardFileReader {
 public:
  // Reads [pos, end) of `file`; the file's own position is left wherever
  // the last block read put it.
  ForwardFileReader(std::FILE* file, uint64_t pos, uint64_t end);

  uint64_t pos() const { return pos_; }
  // Copies n bytes and moves past them; false when the data ends or cannot
  // be read first.
  bool read(uint8_t* dst, size_t n) {
    if (n == 0) return true;
    // Most reads are a tag header inside the block at hand.
    if (pos_ >= blockStart_ && n <= block_.size() && pos_ - blockStart_ <= block_.size() - n) {
      std::memcpy(dst, block_.data() + (pos_ - blockStart_), n);
      pos_ += n;
      return true;
    }
    return readAcrossBlocks(dst, n);
  }
  // Moves forward to `pos` (at most the end) without reading what lies
  // between.
  void skipTo(uint64_t pos);
  // Reads n bytes at `pos`, moving forward to it first; false when `pos`
  // lies behind the reader or the data ends there.
  bool readAt(uint64_t pos, uint8_t* dst, size_t n) {
    skipTo(pos);
    return pos_ == pos && read(dst, n);
  }
  // The tag header at the position, as ReadTagHeader reads it from a file:
  // false when the header or the body would cross the end. On success the
  // reader stands at the body.
  bool tagHeader(TagHeader& out);

 private:
  bool readAcrossBlocks(uint8_t* dst, size_t n);
  bool fill();

  std::FILE* file_;
  uint64_t pos_;
  uint64_t end_;
  std::vector<uint8_t> block_;
  uint64_t blockStart_ = 0;  // file position of block_[0]
};

}  // namespace tovrani
