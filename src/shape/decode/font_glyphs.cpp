#include "shape/decode/font_glyphs.h"

#include <algorithm>
#include <cstdlib>

#include "shape/decode/encoded_shape.h"
#include "swf/swf_reader.h"

namespace tovrani {
namespace {

int32_t Saturate(int64_t v, int64_t limit) { return int32_t(std::clamp(v, -limit, limit)); }

// Values of one pair, in half units, clamped to what form 2 can hold.
EdgePair MakePair(int64_t x, int64_t y) {
  return {Saturate(x, kMaxEdgeDelta), Saturate(y, kMaxEdgeDelta)};
}

bool Below(const EdgePair& p, int32_t limit) { return std::abs(p.x) < limit && std::abs(p.y) < limit; }

void PutPair(ByteWriter& out, const EdgePair& p, uint8_t form) {
  if (form == 1) {
    out.PutI16(p.x * 128);
    out.PutI16(p.y * 128);
  } else if (form == 3) {
    out.PutI16(p.x);
    out.PutI16(p.y);
  } else {
    out.PutI32(p.x * 128);
    out.PutI32(p.y * 128);
  }
}

class GlyphDecoder {
 public:
  GlyphDecoder(std::span<const uint8_t> shape, GlyphShape& glyph) : r_(shape), g_(glyph) {}

  void Run() {
    // The records start after the index-width byte; glyphs fix the widths.
    r_.skip(1);
    while (r_.ok() && (r_.pendingBits() > 0 || !r_.atEnd())) {
      if (!Record()) break;
    }
    g_.recordCount = records_;
    g_.edges = out_.bytes();
  }

 private:
  // One shape record; false when the glyph ends with it.
  bool Record() {
    const uint32_t type = r_.ubits(1);
    if (!r_.ok()) return false;
    if (type == 0) return StyleChange();
    const uint32_t straight = r_.ubits(1);
    const unsigned bits = r_.ubits(4) + 2;
    if (!r_.ok()) return false;
    return straight ? Straight(bits) : Curve(bits);
  }

  bool StyleChange() {
    const uint32_t newStyles = r_.ubits(1), line = r_.ubits(1), fill1 = r_.ubits(1),
                   fill0 = r_.ubits(1), moveTo = r_.ubits(1);
    if (!r_.ok()) return false;
    if (!(newStyles | line | fill1 | fill0 | moveTo)) return false;  // end record
    if (moveTo) {
      if (pending_ == 2) {
        penX_ -= moveX_;
        penY_ -= moveY_;
      }
      const unsigned n = r_.ubits(5);
      const int64_t x = int64_t(r_.sbits(n)) * 2, y = int64_t(r_.sbits(n)) * 2;
      if (newStyles) penX_ = penY_ = 0;
      moveX_ = x - penX_;
      moveY_ = y - penY_;
      penX_ = x;
      penY_ = y;
    }
    if (fill0) fill0_ = uint8_t(r_.ubits(1));
    if (fill1) fill1_ = uint8_t(r_.ubits(1));
    if (line) line_ = 0;
    if (pending_ == 0) pending_ = 1;
    if (moveTo) pending_ = 2;
    return r_.ok();
  }

  bool Straight(unsigned bits) {
    int64_t dx = 0, dy = 0;
    if (r_.ubits(1)) {
      dx = r_.sbits(bits);
      dy = r_.sbits(bits);
    } else if (r_.ubits(1)) {
      dy = r_.sbits(bits);
    } else {
      dx = r_.sbits(bits);
    }
    dx *= 2;
    dy *= 2;
    penX_ += dx;
    penY_ += dy;
    ExtendBox();
    if (dx != 0 || dy != 0) {
      const EdgePair anchor = MakePair(dx, dy);
      if (pending_ == 2) {
        const EdgePair move = MakePair(moveX_, moveY_);
        // After a move both pairs choose their forms together.
        uint8_t anchorForm = 3, moveForm = 3;
        if (Below(move, 32768) && Below(anchor, 32768)) {
          if (Below(anchor, 256)) anchorForm = 1;
          if (Below(move, 256)) moveForm = 1;
        } else {
          if (!Below(anchor, 32768)) anchorForm = 2;
          if (!Below(move, 32768)) moveForm = 2;
        }
        out_.PutU8(uint8_t(0xC0 | anchorForm << 4 | moveForm));
        PutStyles();
        PutPair(out_, move, moveForm);
        PutPair(out_, anchor, anchorForm);
      } else {
        const uint8_t form = PairForm(anchor);
        out_.PutU8(uint8_t((pending_ ? 0xC0 : 0) | form << 4));
        if (pending_) PutStyles();
        PutPair(out_, anchor, form);
      }
      ++records_;
      pending_ = 0;
    }
    return r_.ok();
  }

  bool Curve(unsigned bits) {
    const int64_t cx = r_.sbits(bits), cy = r_.sbits(bits);
    const int64_t ax = r_.sbits(bits) + cx, ay = r_.sbits(bits) + cy;
    const EdgePair control = MakePair(cx * 2, cy * 2), anchor = MakePair(ax * 2, ay * 2);
    penX_ += ax * 2;
    penY_ += ay * 2;
    ExtendBox();
    const uint8_t controlForm = PairForm(control), anchorForm = PairForm(anchor);
    uint8_t flags = uint8_t(anchorForm << 4 | controlForm << 2);
    EdgePair move;
    uint8_t moveForm = 0;
    if (pending_) flags |= 0xC0;
    if (pending_ == 2) {
      move = MakePair(moveX_, moveY_);
      moveForm = PairForm(move);
      flags |= moveForm;
    }
    out_.PutU8(flags);
    if (pending_) PutStyles();
    if (pending_ == 2) PutPair(out_, move, moveForm);
    PutPair(out_, control, controlForm);
    PutPair(out_, anchor, anchorForm);
    ++records_;
    pending_ = 0;
    return r_.ok();
  }

  void PutStyles() {
    out_.PutU8(line_);
    out_.PutU8(fill0_);
    out_.PutU8(fill1_);
  }

  // The box holds end points in glyph units (half the pen).
  void ExtendBox() {
    const int32_t x = Saturate(penX_ / 2, INT32_MAX), y = Saturate(penY_ / 2, INT32_MAX);
    g_.minX = std::min(g_.minX, x);
    g_.minY = std::min(g_.minY, y);
    g_.maxX = std::max(g_.maxX, x);
    g_.maxY = std::max(g_.maxY, y);
  }

  SwfReader r_;
  GlyphShape& g_;
  ByteWriter out_;
  uint32_t records_ = 0;
  uint8_t pending_ = 0;  // 0 none, 1 style change, 2 style change with move
  int64_t penX_ = 0, penY_ = 0, moveX_ = 0, moveY_ = 0;
  uint8_t line_ = 0, fill0_ = 0, fill1_ = 0;
};

// Offset table entry i; false when the table is cut before it.
bool ReadOffset(std::span<const uint8_t> data, bool wide, uint32_t i, uint64_t& value) {
  SwfReader r(data);
  r.seek(uint64_t(i) * (wide ? 4 : 2));
  value = wide ? r.u32() : r.u16();
  return r.ok();
}

}  // namespace

std::optional<uint32_t> DecodeFontGlyphs(int offsetWidth, std::span<const uint8_t> data, uint32_t end,
                                         uint16_t count, std::span<GlyphShape> out, Allowance* bytes) {
  const bool wide = offsetWidth != 10;
  const uint32_t n = std::min<uint32_t>(count, uint32_t(out.size()));
  std::optional<uint32_t> firstRefused;
  for (uint32_t i = 0; i < n; ++i) {
    GlyphShape& g = out[i];
    g.minX = g.minY = kEmptyGlyphMin;
    g.maxX = g.maxY = kEmptyGlyphMax;
    g.edges.clear();
    g.recordCount = 0;
    uint64_t start = 0, stop = end;
    if (!ReadOffset(data, wide, i, start)) continue;
    if (i + 1 < count && !ReadOffset(data, wide, i + 1, stop)) stop = end;
    stop = std::min<uint64_t>(stop, data.size());
    // A glyph whose first record byte lies at or beyond its end is empty.
    if (start + 1 >= stop) continue;
    // Overlapping offsets would decode the same bytes again for each glyph.
    if (bytes && !bytes->Take(stop - start)) {
      if (!firstRefused) firstRefused = i;
      continue;
    }
    GlyphDecoder(data.subspan(size_t(start), size_t(stop - start)), g).Run();
  }
  return firstRefused;
}

}  // namespace tovrani
