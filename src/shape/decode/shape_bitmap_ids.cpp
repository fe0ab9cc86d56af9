#include "shape/decode/shape_bitmap_ids.h"

#include <algorithm>

#include "shape/decode/encoded_shape.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"

namespace tovrani {

namespace {

// Reads the shape the way the shape decoder does, keeping only the bitmap
// ids; everything else is skipped.
class BitmapIdWalker {
 public:
  BitmapIdWalker(uint16_t code, std::span<const uint8_t> body) : code_(code), r_(body) {}

  std::vector<uint16_t> Run() {
    SwfRect bounds;
    ReadSwfRect(r_, bounds);
    if (code_ == 83) {
      ReadSwfRect(r_, bounds);
      r_.u8();
    }
    if (StyleArrays()) Records();
    std::sort(ids_.begin(), ids_.end());
    ids_.erase(std::unique(ids_.begin(), ids_.end()), ids_.end());
    return std::move(ids_);
  }

 private:
  bool HasAlpha() const { return code_ == 32 || code_ == 83; }
  void SkipColour() { r_.skip(HasAlpha() ? 4 : 3); }
  uint16_t Count() {
    uint16_t count = r_.u8();
    if (code_ > 2 && count == 255) count = r_.u16();
    return count;
  }

  bool FillStyle() {
    const uint8_t type = r_.u8();
    if (!r_.ok() || !IsKnownSwfFillType(type)) return false;
    SwfMatrix matrix;
    if (type == kSwfSolidFill) {
      SkipColour();
    } else if (IsGradientFill(type)) {
      ReadSwfMatrix(r_, matrix);
      const unsigned stops = r_.u8() & 0x0F;
      for (unsigned i = 0; i < stops && r_.ok(); ++i) {
        r_.u8();
        SkipColour();
      }
      if (type == kSwfFocalGradient) r_.u16();
    } else {
      const uint16_t id = r_.u16();
      ReadSwfMatrix(r_, matrix);
      if (r_.ok()) ids_.push_back(id);
    }
    return r_.ok();
  }

  bool LineStyle() {
    r_.u16();
    bool hasFill = false;
    if (code_ == 83) {
      const uint8_t flags0 = r_.u8();
      r_.u8();
      if (flags0 & 0x20) r_.u16();
      hasFill = (flags0 & 0x08) != 0;
    }
    if (hasFill) return FillStyle();
    SkipColour();
    return r_.ok();
  }

  // Each loop reads at least one byte per style, so hostile counts end
  // with the body.
  bool StyleArrays() {
    r_.alignBits();
    const uint16_t fills = Count();
    for (uint32_t i = 0; i < fills; ++i)
      if (!r_.ok() || r_.atEnd() || !FillStyle()) return false;
    r_.alignBits();
    const uint16_t lines = Count();
    for (uint32_t i = 0; i < lines; ++i)
      if (!r_.ok() || r_.atEnd() || !LineStyle()) return false;
    const uint8_t bits = r_.u8();
    fillBits_ = bits >> 4;
    lineBits_ = bits & 0x0F;
    return r_.ok();
  }

  void Edge() {
    const bool straight = r_.ubits(1);
    const unsigned bits = r_.ubits(4) + 2;
    unsigned fields = 4;
    if (straight) {
      const bool general = r_.ubits(1);
      if (!general) r_.ubits(1);  // vertical or horizontal
      fields = general ? 2 : 1;
    }
    for (unsigned i = 0; i < fields; ++i) r_.ubits(bits);
  }

  // Further style arrays follow style-change records with the new-styles flag.
  void Records() {
    while ((r_.pendingBits() > 0 || !r_.atEnd()) && r_.ok()) {
      if (r_.ubits(1)) {
        Edge();
        continue;
      }
      const uint32_t flags = r_.ubits(5);
      if (!r_.ok() || flags == 0) return;
      if (flags & 0x01) {
        const unsigned bits = r_.ubits(5);
        r_.ubits(bits);
        r_.ubits(bits);
      }
      if (flags & 0x02) r_.ubits(fillBits_);
      if (flags & 0x04) r_.ubits(fillBits_);
      if (flags & 0x08) r_.ubits(lineBits_);
      if ((flags & 0x10) && r_.ok() && !StyleArrays()) return;
    }
  }

  uint16_t code_;
  SwfReader r_;
  unsigned fillBits_ = 0, lineBits_ = 0;
  std::vector<uint16_t> ids_;
};

}  // namespace

std::vector<uint16_t> ShapeBitmapIds(uint16_t code, std::span<const uint8_t> body) {
  return BitmapIdWalker(code, body).Run();
}

}  // namespace tovrani
