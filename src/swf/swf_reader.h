// Bounded reading of SWF data.
//
// Every byte the converter takes from a movie goes through SwfReader: a
// little-endian byte reader with the SWF bit reader on top. A read past the end
// never touches memory outside the buffer: it returns 0 (a bit field returns
// the bits gathered before the end), leaves the position at the end and marks
// the reader failed, so a parser can read a whole record and check ok() once.
// Positions and lengths are 64-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace tovrani {

// A SWF tag header: u16 code/length word, and a u32 length when the short
// length is 0x3F.
struct TagHeader {
  uint16_t code = 0;
  uint32_t length = 0;
  uint64_t headerStart = 0;  // position of the u16 word
  uint64_t bodyStart = 0;    // position just after the header
  bool longForm = false;     // the u32 length was present
  uint64_t bodyEnd() const { return bodyStart + length; }
};

class SwfReader {
 public:
  SwfReader() = default;
  SwfReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
  explicit SwfReader(std::span<const uint8_t> s) : SwfReader(s.data(), s.size()) {}
  // A reader over writable bytes whose bit reads clear every bit they take,
  // for the decoders that hand the consumed body on in that state.
  static SwfReader ClearingBits(uint8_t* data, size_t size) {
    SwfReader r(data, size);
    r.clearing_ = data;
    return r;
  }

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  size_t pos() const { return pos_; }
  size_t remaining() const { return size_ - pos_; }
  bool atEnd() const { return pos_ >= size_; }
  bool ok() const { return ok_; }
  void fail() { ok_ = false; }

  // Moves to an absolute position; past the end fails and clamps to the end.
  bool seek(uint64_t pos);
  // Skips n bytes; fails (and stops at the end) when fewer remain.
  bool skip(uint64_t n);
  // Whether n more bytes can be read.
  bool has(uint64_t n) const { return n <= remaining(); }

  uint8_t u8();
  uint16_t u16();
  uint32_t u24();
  uint32_t u32();
  int16_t i16() { return static_cast<int16_t>(u16()); }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  // Copies n bytes into dst; on a short read copies nothing and fails.
  bool bytes(void* dst, size_t n);
  // The next n bytes as a span (empty and failed when fewer remain).
  std::span<const uint8_t> take(uint64_t n);
  // A NUL-terminated string; without a terminator the rest is taken and the
  // reader fails.
  std::string cstring();
  // SWF EncodedU32 (1-5 bytes, 7 bits each).
  uint32_t encodedU32();

  // Bit reading, most significant bit first. Byte reads first drop any
  // partly read byte (SWF records are byte-aligned after bit fields). A field
  // cut short by the end keeps the bits gathered so far (not shifted up) and
  // fails the reader; a signed field is then sign-extended from bit n-1 all
  // the same.
  uint32_t ubits(unsigned n);
  int32_t sbits(unsigned n);
  void alignBits() { bitCount_ = 0; }
  unsigned pendingBits() const { return bitCount_; }

  // A tag header at the current position; fails without moving when the
  // header itself is cut short. The body may still run past the end: callers
  // compare header.length with remaining().
  bool tagHeader(TagHeader& out);

 private:
  const uint8_t* data_ = nullptr;
  uint8_t* clearing_ = nullptr;  // data_, when consumed bits are cleared
  size_t size_ = 0;
  size_t pos_ = 0;
  bool ok_ = true;
  uint8_t bitBuf_ = 0;
  unsigned bitCount_ = 0;  // unread bits left in bitBuf_
};

// Reads a tag header from a file at its current position, refusing one that
// would cross `end`. On success the file stands at the tag body.
bool ReadTagHeader(std::FILE* f, uint64_t end, TagHeader& out);

}  // namespace tovrani
