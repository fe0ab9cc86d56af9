#include "support/swf_writer.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace tovrani::test {

SwfBytes& SwfBytes::u8(uint32_t v) {
  align();
  data_.push_back(uint8_t(v));
  return *this;
}
SwfBytes& SwfBytes::u16(uint32_t v) {
  align();
  data_.push_back(uint8_t(v));
  data_.push_back(uint8_t(v >> 8));
  return *this;
}
SwfBytes& SwfBytes::u32(uint32_t v) {
  align();
  for (int i = 0; i < 4; ++i) data_.push_back(uint8_t(v >> (8 * i)));
  return *this;
}
SwfBytes& SwfBytes::bytes(const std::vector<uint8_t>& b) {
  align();
  data_.insert(data_.end(), b.begin(), b.end());
  return *this;
}
SwfBytes& SwfBytes::str(const std::string& s) {
  align();
  data_.insert(data_.end(), s.begin(), s.end());
  data_.push_back(0);
  return *this;
}
SwfBytes& SwfBytes::ubits(uint32_t v, unsigned n) {
  for (unsigned i = n; i-- > 0;) {
    if (bitPos_ == 0) data_.push_back(0);
    if ((v >> i) & 1u) data_.back() |= uint8_t(0x80 >> bitPos_);
    bitPos_ = (bitPos_ + 1) & 7;
  }
  return *this;
}
SwfBytes& SwfBytes::sbits(int32_t v, unsigned n) { return ubits(static_cast<uint32_t>(v), n); }
SwfBytes& SwfBytes::align() {
  bitPos_ = 0;
  return *this;
}

unsigned SwfBytes::SignedBits(int32_t v) {
  int64_t x = v;
  unsigned n = 1;
  while (x < -(int64_t(1) << (n - 1)) || x > (int64_t(1) << (n - 1)) - 1) ++n;
  return n;
}

SwfBytes& SwfBytes::rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax) {
  unsigned n = std::max({SignedBits(xmin), SignedBits(xmax), SignedBits(ymin), SignedBits(ymax)});
  if (xmin == 0 && xmax == 0 && ymin == 0 && ymax == 0) n = 0;
  ubits(n, 5);
  sbits(xmin, n).sbits(xmax, n).sbits(ymin, n).sbits(ymax, n);
  return align();
}

SwfBytes& SwfBytes::matrix(int32_t tx, int32_t ty, bool hasScale, int32_t sx, int32_t sy,
                           bool hasRotate, int32_t r0, int32_t r1) {
  ubits(hasScale, 1);
  if (hasScale) {
    unsigned n = std::max(SignedBits(sx), SignedBits(sy));
    ubits(n, 5).sbits(sx, n).sbits(sy, n);
  }
  ubits(hasRotate, 1);
  if (hasRotate) {
    unsigned n = std::max(SignedBits(r0), SignedBits(r1));
    ubits(n, 5).sbits(r0, n).sbits(r1, n);
  }
  unsigned n = (tx == 0 && ty == 0) ? 0 : std::max(SignedBits(tx), SignedBits(ty));
  ubits(n, 5).sbits(tx, n).sbits(ty, n);
  return align();
}

SwfBytes& SwfBytes::cxformWithAlpha(bool hasAdd, bool hasMult, const int32_t add[4],
                                    const int32_t mult[4]) {
  unsigned n = 1;
  for (int i = 0; i < 4; ++i) {
    if (hasMult) n = std::max(n, SignedBits(mult[i]));
    if (hasAdd) n = std::max(n, SignedBits(add[i]));
  }
  ubits(hasAdd, 1).ubits(hasMult, 1).ubits(n, 4);
  if (hasMult)
    for (int i = 0; i < 4; ++i) sbits(mult[i], n);
  if (hasAdd)
    for (int i = 0; i < 4; ++i) sbits(add[i], n);
  return align();
}

SwfWriter::SwfWriter(uint8_t version, int32_t width, int32_t height, uint16_t frameRate)
    : version_(version), width_(width), height_(height), frameRate_(frameRate) {}

std::vector<uint8_t> SwfWriter::TagBytes(uint16_t code, const std::vector<uint8_t>& body,
                                         bool forceLong) {
  SwfBytes b;
  if (body.size() < 0x3F && !forceLong) {
    b.u16(uint32_t(code) << 6 | uint32_t(body.size()));
  } else {
    b.u16(uint32_t(code) << 6 | 0x3F).u32(uint32_t(body.size()));
  }
  b.bytes(body);
  return b.data();
}

SwfWriter& SwfWriter::tag(uint16_t code, const std::vector<uint8_t>& body, bool forceLong) {
  auto t = TagBytes(code, body, forceLong);
  tags_.insert(tags_.end(), t.begin(), t.end());
  if (code == 1) ++shownFrames_;
  return *this;
}

SwfWriter& SwfWriter::frameCount(uint16_t n) {
  frameCountOverride_ = n;
  return *this;
}

std::vector<uint8_t> SwfWriter::build(bool compressed) const {
  SwfBytes rest;
  rest.rect(0, width_, 0, height_);
  rest.u16(frameRate_);
  rest.u16(frameCountOverride_ >= 0 ? uint16_t(frameCountOverride_) : shownFrames_);
  rest.bytes(tags_);
  std::vector<uint8_t> out = {uint8_t(compressed ? 'C' : 'F'), 'W', 'S', version_};
  uint32_t total = uint32_t(8 + rest.size());
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(total >> (8 * i)));
  if (!compressed) {
    out.insert(out.end(), rest.data().begin(), rest.data().end());
    return out;
  }
  uLongf len = compressBound(uLong(rest.size()));
  std::vector<uint8_t> z(len);
  if (compress2(z.data(), &len, rest.data().data(), uLong(rest.size()), 9) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.insert(out.end(), z.begin(), z.begin() + long(len));
  return out;
}

std::vector<uint8_t> SquareShape(uint16_t id, int32_t at, int32_t side, uint32_t rgb) {
  SwfBytes b;
  b.u16(id).rect(at, at + side, at, at + side);
  b.u8(1).u8(0x00).u8(rgb >> 16).u8(rgb >> 8).u8(rgb);  // one solid fill
  b.u8(0);                                            // no line styles
  b.ubits(1, 4).ubits(0, 4);                          // fill and line index bits
  b.ubits(0, 1).ubits(0b00101, 5);                    // style change: fill 1, move
  const unsigned m = SwfBytes::SignedBits(at);
  b.ubits(m, 5).sbits(at, m).sbits(at, m).ubits(1, 1);
  const unsigned n = std::max(2u, SwfBytes::SignedBits(side));
  const int32_t sides[4][2] = {{side, 0}, {0, side}, {-side, 0}, {0, -side}};
  for (const auto& d : sides) {
    b.ubits(1, 1).ubits(1, 1).ubits(n - 2, 4).ubits(0, 1);  // straight, not general
    b.ubits(d[0] == 0 ? 1 : 0, 1).sbits(d[0] == 0 ? d[1] : d[0], n);
  }
  b.ubits(0, 6).align();
  return b.data();
}

std::vector<uint8_t> MovedSquaresMovie(uint16_t depths, uint16_t frames) {
  SwfWriter w;
  w.tag(2, SquareShape(1, 0, 200, 0x3366CC));
  for (uint16_t f = 0; f < frames; ++f) {
    for (uint16_t d = 1; d <= depths; ++d) {
      SwfBytes place;
      const int32_t x = 20 * ((d * 7 + f) % 500), y = 20 * ((d * 13 + f * 3) % 350);
      if (f == 0)
        place.u8(0x06).u16(d).u16(1).matrix(x, y);
      else
        place.u8(0x05).u16(d).matrix(x, y);
      w.tag(26, place);
    }
    w.showFrame();
  }
  return w.end().build();
}

std::vector<uint8_t> EasedSpritesMovie(uint16_t sprites, uint16_t frames, bool compressed, bool colours) {
  // The matrix's channels step by (1 + f) times 1, 1, 2 and -1; the colour
  // transform's by -1 (multiplies) and 1 (adds), then by one more from a
  // frame of their own (steps that differ by one are never out of
  // proportion). Some 30 bytes a frame; compressed, a copy after the first
  // takes a few hundred bytes of file.
  SwfWriter inner;
  int32_t sx = 0xC000, sy = 0xC000, tx = 0, ty = 0, mult[4] = {256, 256, 256, 256}, add[4] = {};
  for (int32_t f = 0; f < frames; ++f) {
    if (f > 0) {
      sx += 1 + f, sy += 1 + f, tx += 2 * (1 + f), ty -= 1 + f;
      for (int c = 0; c < 4 && colours; ++c) {
        mult[c] -= 1 + (f >= 100 + 200 * c);
        add[c] += 1 + (f >= 200 + 200 * c);
      }
    }
    SwfBytes place;
    place.u8(f == 0 ? 0x0E : 0x0D).u16(1);
    if (f == 0) place.u16(1);
    place.matrix(tx, ty, true, sx, sy).cxformWithAlpha(true, true, add, mult);
    inner.tag(26, place).showFrame();
  }
  SwfWriter w;
  w.tag(2, SquareShape(1, 0, 200, 0x3366CC));
  for (uint16_t s = 0; s < sprites; ++s) {
    const uint16_t id = uint16_t(2 + s);
    w.tag(39, SwfBytes().u16(id).u16(frames).bytes(inner.tags()).u16(0).data(), true);
    w.tag(26, SwfBytes().u8(0x06).u16(uint16_t(s + 1)).u16(id).matrix(0, 0).data());
  }
  return w.showFrame().end().build(compressed);
}

}  // namespace tovrani::test
