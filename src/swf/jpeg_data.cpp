#include "swf/jpeg_data.h"

#include <cstring>
#include <vector>

namespace tovrani {

namespace {

bool ReadByte(std::FILE* f, uint8_t& b) {
  int c = std::fgetc(f);
  if (c == EOF) return false;
  b = uint8_t(c);
  return true;
}

bool IsFrameHeader(uint8_t marker) {
  // SOF0-SOF15 except DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

namespace {

// The frame-header walk over any byte source: next(b) gives the next byte,
// skip(n) passes n bytes; both false at the end of the data.
template <typename Next, typename Skip>
uint32_t WalkToFrameHeader(Next next, Skip skip, uint32_t& width, uint32_t& height) {
  uint8_t b0 = 0, b1 = 0;
  if (!next(b0) || !next(b1) || b0 != 0xFF || b1 != 0xD8) return 0;
  for (;;) {
    uint8_t b = 0;
    do {
      if (!next(b)) return 0;
    } while (b != 0xFF);
    do {  // fill bytes
      if (!next(b)) return 0;
    } while (b == 0xFF);
    uint8_t marker = b, hi = 0, lo = 0;
    if (!next(hi) || !next(lo)) return 0;
    uint32_t length = (uint32_t(hi) << 8) | lo;
    if (IsFrameHeader(marker)) {
      uint8_t h[5];
      for (uint8_t& v : h)
        if (!next(v)) return 0;
      height = (uint32_t(h[1]) << 8) | h[2];
      width = (uint32_t(h[3]) << 8) | h[4];
      return height;
    }
    if (length < 2 || !skip(length - 2)) return 0;
  }
}

}  // namespace

uint32_t ReadJpegSize(std::FILE* f, uint32_t& width, uint32_t& height) {
  return WalkToFrameHeader([f](uint8_t& b) { return ReadByte(f, b); },
                           [f](uint32_t n) { return std::fseek(f, long(n), SEEK_CUR) == 0; },
                           width, height);
}

uint32_t ReadJpegSize(std::span<const uint8_t> data, uint32_t& width, uint32_t& height) {
  size_t pos = 0;
  return WalkToFrameHeader(
      [&](uint8_t& b) {
        if (pos >= data.size()) return false;
        b = data[pos++];
        return true;
      },
      [&](uint32_t n) {
        if (n > data.size() - pos) return false;
        pos += n;
        return true;
      },
      width, height);
}

bool FixSwfJpegData(uint8_t* data, int32_t length) {
  if (!data || length < 6) return false;
  size_t n = size_t(length);
  // The inner FF D8 at i follows FF D9 at i - 2; it cannot overlap the outer
  // start of image at 0.
  for (size_t i = 4; i + 1 < n; ++i) {
    if (data[i - 2] != 0xFF || data[i - 1] != 0xD9 || data[i] != 0xFF || data[i + 1] != 0xD8) continue;
    if (i + 5 >= n) return false;  // no room for the first segment's length
    size_t s = ((size_t(data[i + 4]) << 8) | data[i + 5]) + 4;
    if (s > n - i) return false;
    std::vector<uint8_t> out;
    out.reserve(n - 4);
    out.insert(out.end(), data + i, data + i + s);
    out.insert(out.end(), data + 2, data + i - 2);
    out.insert(out.end(), data + i + s, data + n);
    std::memcpy(data, out.data(), out.size());
    return true;
  }
  return false;
}

}  // namespace tovrani
