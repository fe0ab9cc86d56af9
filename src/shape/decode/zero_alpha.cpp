#include "shape/decode/zero_alpha.h"

#include <algorithm>
#include <vector>

#include "swf/swf_reader.h"
#include "swf/swf_values.h"

namespace tovrani {

namespace {

// Reads the body, corrects the copy; the copy goes back over the body when
// the walk ends, whichever way it ends.
class AlphaWalk {
 public:
  explicit AlphaWalk(std::span<uint8_t> body)
      : body_(body), copy_(body.begin(), body.end()), r_(body.data(), body.size()) {}
  ~AlphaWalk() { std::copy(copy_.begin(), copy_.end(), body_.begin()); }
  AlphaWalk(const AlphaWalk&) = delete;
  AlphaWalk& operator=(const AlphaWalk&) = delete;

  SwfReader& reader() { return r_; }
  void Restart(uint64_t pos) {
    r_ = SwfReader(body_.data(), body_.size());
    r_.seek(pos);
  }
  void Rect() {
    SwfRect rect;
    ReadSwfRect(r_, rect);
  }
  void StyleArrays(bool morph) {
    FillStyles(morph);
    LineStyles(morph);
  }
  void IndexSizes() {
    const uint8_t b = r_.u8();
    fillBits_ = b >> 4;
    lineBits_ = b & 0x0F;
  }
  // Shape records up to the end record or the body's end; false at a morph
  // record that brings new style arrays.
  bool Records(bool morph);

 private:
  bool Inside() const { return r_.ok() && !r_.atEnd(); }
  void Colour() {
    if (!r_.has(4)) {  // not all inside the body: left as it is
      r_.skip(4);
      return;
    }
    const size_t p = r_.pos();
    if (body_[p + 3] == 0) copy_[p + 3] = 1;
    r_.skip(4);
  }
  uint16_t Count() {
    uint16_t n = r_.u8();
    if (n == 0xFF) n = r_.u16();
    return n;
  }
  void Matrix() {
    SwfMatrix m;
    ReadSwfMatrix(r_, m);
  }
  void FillStyles(bool morph);
  void LineStyles(bool morph);

  std::span<uint8_t> body_;
  std::vector<uint8_t> copy_;
  SwfReader r_;
  unsigned fillBits_ = 0, lineBits_ = 0;
};

void AlphaWalk::FillStyles(bool morph) {
  const uint16_t n = Count();
  for (uint32_t i = 0; i < n && Inside(); ++i) {
    const size_t typePos = r_.pos();
    const uint8_t type = r_.u8();
    if (type == 0x00) {
      Colour();
      if (morph) Colour();
    } else if (type == 0x10 || type == 0x12) {
      Matrix();
      if (morph) Matrix();
      // The low four bits count the records; the high ones are modes.
      const unsigned records = r_.u8() & 0x0F;
      for (unsigned k = 0; k < records && Inside(); ++k) {
        r_.u8();
        Colour();
        if (morph) {
          r_.u8();
          Colour();
        }
      }
    } else if (type >= 0x40 && type <= 0x43) {
      r_.u16();
      Matrix();
      if (morph) Matrix();
    } else {
      r_.seek(typePos);  // counted; the position stays on the type byte
    }
  }
}

void AlphaWalk::LineStyles(bool morph) {
  const uint16_t n = Count();
  for (uint32_t i = 0; i < n && Inside(); ++i) {
    r_.u16();
    if (morph) r_.u16();
    Colour();
    if (morph) Colour();
  }
}

bool AlphaWalk::Records(bool morph) {
  while ((r_.pendingBits() > 0 || !r_.atEnd()) && r_.ok()) {
    if (r_.ubits(1)) {
      const bool straight = r_.ubits(1);
      const unsigned bits = r_.ubits(4) + 2;
      if (straight) {
        if (r_.ubits(1)) {
          r_.sbits(bits);
          r_.sbits(bits);
        } else {
          r_.ubits(1);
          r_.sbits(bits);
        }
      } else {
        for (int k = 0; k < 4; ++k) r_.sbits(bits);
      }
      continue;
    }
    const uint32_t flags = r_.ubits(5);
    if (!r_.ok() || flags == 0) return true;
    const bool newStyles = flags & 0x10;
    // A morph shape has no new style arrays: what follows is not its layout.
    if (morph && newStyles) return false;
    if (flags & 0x01) {
      const unsigned bits = r_.ubits(5);
      r_.sbits(bits);
      r_.sbits(bits);
    }
    if (flags & 0x02) r_.ubits(fillBits_);
    if (flags & 0x04) r_.ubits(fillBits_);
    if (flags & 0x08) r_.ubits(lineBits_);
    if (newStyles) {
      r_.alignBits();
      StyleArrays(false);
      IndexSizes();
    }
  }
  return true;
}

}  // namespace

bool FixZeroAlpha(std::span<uint8_t> body) {
  AlphaWalk walk(body);
  walk.Rect();
  walk.StyleArrays(false);
  walk.IndexSizes();
  walk.Records(false);
  return false;
}

bool FixMorphZeroAlpha(std::span<uint8_t> body) {
  AlphaWalk walk(body);
  walk.Rect();
  walk.Rect();
  SwfReader& r = walk.reader();
  const uint64_t offsetPos = r.pos();
  const uint32_t offset = r.u32();
  const uint64_t endEdges = offsetPos + uint64_t{offset} + 5;
  if (!r.ok() || endEdges > body.size()) return false;
  walk.StyleArrays(true);
  walk.IndexSizes();
  if (!walk.Records(true)) return false;
  walk.Restart(endEdges);
  return walk.Records(true);
}

}  // namespace tovrani
