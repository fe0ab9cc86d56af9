// A test-side SWF writer: builds the movies and records the tests feed the
// converter, bit fields and all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrani::test {

// Little-endian bytes and SWF bit fields (most significant bit first).
class SwfBytes {
 public:
  SwfBytes& u8(uint32_t v);
  SwfBytes& u16(uint32_t v);
  SwfBytes& u32(uint32_t v);
  SwfBytes& bytes(const std::vector<uint8_t>& b);
  SwfBytes& str(const std::string& s);  // with its terminating NUL
  SwfBytes& ubits(uint32_t v, unsigned n);
  SwfBytes& sbits(int32_t v, unsigned n);
  SwfBytes& align();  // pads the last partly written byte
  // Records, each byte-aligned at its end.
  SwfBytes& rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax);
  // Matrix with optional scale and rotate/skew; values in 16.16 fixed point.
  SwfBytes& matrix(int32_t tx, int32_t ty, bool hasScale = false, int32_t sx = 0x10000,
                   int32_t sy = 0x10000, bool hasRotate = false, int32_t r0 = 0, int32_t r1 = 0);
  // CXFORMWITHALPHA; mult and add as r, g, b, a.
  SwfBytes& cxformWithAlpha(bool hasAdd, bool hasMult, const int32_t add[4], const int32_t mult[4]);

  const std::vector<uint8_t>& data() const { return data_; }
  size_t size() const { return data_.size(); }
  operator const std::vector<uint8_t>&() const { return data_; }

  // Bits needed for a signed value (SWF's "nbits" rule).
  static unsigned SignedBits(int32_t v);

 private:
  std::vector<uint8_t> data_;
  unsigned bitPos_ = 0;  // bits used in the last byte, 0 when aligned
};

// A DefineShape body: character `id`, a square of `side` twips with its
// corner at (at, at), filled with one solid colour (0xRRGGBB), no line.
std::vector<uint8_t> SquareShape(uint16_t id, int32_t at, int32_t side, uint32_t rgb);

// One 10 x 10 px square placed on `depths` depths in frame 1 and moved on
// every depth in every one of `frames` frames: a long, busy timeline.
std::vector<uint8_t> MovedSquaresMovie(uint16_t depths, uint16_t frames);

// `sprites` copies, each placed once, of a sprite moving a square on all
// its `frames` frames, all twelve channels changing (without `colours`
// only the matrix's): each step unlike the ones before, none out of
// proportion, so each run is as long as a run may be.
std::vector<uint8_t> EasedSpritesMovie(uint16_t sprites, uint16_t frames, bool compressed = false,
                                       bool colours = true);

class SwfWriter {
 public:
  explicit SwfWriter(uint8_t version = 8, int32_t width = 11000, int32_t height = 8000,
                     uint16_t frameRate = 0x0C00);
  // A tag in short form when it fits, or forced into the long form.
  SwfWriter& tag(uint16_t code, const std::vector<uint8_t>& body = {}, bool forceLong = false);
  SwfWriter& showFrame() { return tag(1); }
  SwfWriter& end() { return tag(0); }
  // The frame count in the header; by default the ShowFrame tags counted.
  SwfWriter& frameCount(uint16_t n);

  // The whole movie, "FWS" or zlib-compressed "CWS".
  std::vector<uint8_t> build(bool compressed = false) const;
  // Just the tags written so far (a sprite body's tag list).
  const std::vector<uint8_t>& tags() const { return tags_; }

  static std::vector<uint8_t> TagBytes(uint16_t code, const std::vector<uint8_t>& body,
                                       bool forceLong = false);

 private:
  uint8_t version_;
  int32_t width_, height_;
  uint16_t frameRate_;
  int frameCountOverride_ = -1;
  uint16_t shownFrames_ = 0;
  std::vector<uint8_t> tags_;
};

}  // namespace tovrani::test
