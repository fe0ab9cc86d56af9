#include "swf/swf_reader.h"

#include <cstring>

namespace tovrani {

bool SwfReader::seek(uint64_t pos) {
  bitCount_ = 0;
  if (pos > size_) {
    pos_ = size_;
    ok_ = false;
    return false;
  }
  pos_ = static_cast<size_t>(pos);
  return true;
}

bool SwfReader::skip(uint64_t n) {
  bitCount_ = 0;
  if (n > remaining()) {
    pos_ = size_;
    ok_ = false;
    return false;
  }
  pos_ += static_cast<size_t>(n);
  return true;
}

uint8_t SwfReader::u8() {
  bitCount_ = 0;
  if (pos_ >= size_) {
    ok_ = false;
    return 0;
  }
  return data_[pos_++];
}

uint16_t SwfReader::u16() {
  bitCount_ = 0;
  if (remaining() < 2) {
    pos_ = size_;
    ok_ = false;
    return 0;
  }
  uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}

uint32_t SwfReader::u24() {
  bitCount_ = 0;
  if (remaining() < 3) {
    pos_ = size_;
    ok_ = false;
    return 0;
  }
  uint32_t v = data_[pos_] | (data_[pos_ + 1] << 8) | (uint32_t(data_[pos_ + 2]) << 16);
  pos_ += 3;
  return v;
}

uint32_t SwfReader::u32() {
  bitCount_ = 0;
  if (remaining() < 4) {
    pos_ = size_;
    ok_ = false;
    return 0;
  }
  uint32_t v = data_[pos_] | (data_[pos_ + 1] << 8) | (uint32_t(data_[pos_ + 2]) << 16) |
               (uint32_t(data_[pos_ + 3]) << 24);
  pos_ += 4;
  return v;
}

bool SwfReader::bytes(void* dst, size_t n) {
  bitCount_ = 0;
  if (n > remaining()) {
    pos_ = size_;
    ok_ = false;
    return false;
  }
  if (n) std::memcpy(dst, data_ + pos_, n);
  pos_ += n;
  return true;
}

std::span<const uint8_t> SwfReader::take(uint64_t n) {
  bitCount_ = 0;
  if (n > remaining()) {
    pos_ = size_;
    ok_ = false;
    return {};
  }
  std::span<const uint8_t> s(data_ + pos_, static_cast<size_t>(n));
  pos_ += static_cast<size_t>(n);
  return s;
}

std::string SwfReader::cstring() {
  bitCount_ = 0;
  const uint8_t* start = data_ + pos_;
  const void* nul = pos_ < size_ ? std::memchr(start, 0, remaining()) : nullptr;
  if (!nul) {
    std::string s(reinterpret_cast<const char*>(start), remaining());
    pos_ = size_;
    ok_ = false;
    return s;
  }
  size_t len = static_cast<const uint8_t*>(nul) - start;
  std::string s(reinterpret_cast<const char*>(start), len);
  pos_ += len + 1;
  return s;
}

uint32_t SwfReader::encodedU32() {
  uint32_t v = 0;
  for (int i = 0; i < 5; ++i) {
    uint8_t b = u8();
    v |= uint32_t(b & 0x7F) << (7 * i);
    if (!(b & 0x80) || !ok_) break;
  }
  return v;
}

uint32_t SwfReader::ubits(unsigned n) {
  uint32_t v = 0;
  for (unsigned i = 0; i < n; ++i) {
    if (bitCount_ == 0) {
      if (pos_ >= size_) {
        ok_ = false;
        return v;
      }
      bitBuf_ = data_[pos_++];
      bitCount_ = 8;
    }
    --bitCount_;
    v = (v << 1) | ((bitBuf_ >> bitCount_) & 1u);
    if (clearing_) clearing_[pos_ - 1] &= uint8_t(~(1u << bitCount_));
  }
  return v;
}

int32_t SwfReader::sbits(unsigned n) {
  if (n == 0) return 0;
  uint32_t v = ubits(n);
  if (n < 32 && (v & (1u << (n - 1)))) v |= ~0u << n;  // sign-extend
  return static_cast<int32_t>(v);
}

bool SwfReader::tagHeader(TagHeader& out) {
  size_t start = pos_;
  bitCount_ = 0;
  if (remaining() < 2) {
    ok_ = false;
    return false;
  }
  uint16_t word = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
  TagHeader h;
  h.headerStart = start;
  h.code = word >> 6;
  h.length = word & 0x3F;
  size_t p = pos_ + 2;
  if (h.length == 0x3F) {
    if (size_ - p < 4) {
      ok_ = false;
      return false;
    }
    h.length = data_[p] | (data_[p + 1] << 8) | (uint32_t(data_[p + 2]) << 16) |
               (uint32_t(data_[p + 3]) << 24);
    h.longForm = true;
    p += 4;
  }
  h.bodyStart = p;
  pos_ = p;
  out = h;
  return true;
}

bool ReadTagHeader(std::FILE* f, uint64_t end, TagHeader& out) {
  long start = std::ftell(f);
  if (start < 0 || uint64_t(start) > end || end - uint64_t(start) < 2) return false;
  uint8_t b[4];
  if (std::fread(b, 1, 2, f) != 2) return false;
  TagHeader h;
  h.headerStart = uint64_t(start);
  uint16_t word = static_cast<uint16_t>(b[0] | (b[1] << 8));
  h.code = word >> 6;
  h.length = word & 0x3F;
  uint64_t p = uint64_t(start) + 2;
  if (h.length == 0x3F) {
    if (end - p < 4 || std::fread(b, 1, 4, f) != 4) return false;
    h.length = b[0] | (b[1] << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    h.longForm = true;
    p += 4;
  }
  h.bodyStart = p;
  if (h.length > end - p) return false;
  out = h;
  return true;
}

}  // namespace tovrani
