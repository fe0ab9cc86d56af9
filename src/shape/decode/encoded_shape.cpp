#include "shape/decode/encoded_shape.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tovrani {

void ByteWriter::PutU16(uint16_t v) {
  bytes_.push_back(uint8_t(v));
  bytes_.push_back(uint8_t(v >> 8));
}

void ByteWriter::PutU32(uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
}

void ByteWriter::PutBytes(std::span<const uint8_t> data) {
  bytes_.insert(bytes_.end(), data.begin(), data.end());
}

void ByteWriter::PatchU16(size_t pos, uint16_t v) {
  if (pos > bytes_.size() || bytes_.size() - pos < 2) return;
  bytes_[pos] = uint8_t(v);
  bytes_[pos + 1] = uint8_t(v >> 8);
}

void ByteWriter::PatchU32(size_t pos, uint32_t v) {
  if (pos > bytes_.size() || bytes_.size() - pos < 4) return;
  for (int i = 0; i < 4; ++i) bytes_[pos + i] = uint8_t(v >> (8 * i));
}

bool IsKnownSwfFillType(uint8_t type) {
  return type == kSwfSolidFill || IsGradientFill(type) || IsBitmapFill(type);
}

namespace {

void EncodeMatrix(ByteWriter& out, const SwfMatrix& m) {
  out.PutI32(m.scaleX);
  out.PutI32(m.rotateSkew0);
  out.PutI32(m.rotateSkew1);
  out.PutI32(m.scaleY);
  out.PutI32(m.translateX);
  out.PutI32(m.translateY);
}

}  // namespace

void EncodeFillStyle(ByteWriter& out, const FillStyle& fill, uint8_t level, bool asLineFill) {
  if (IsGradientFill(fill.type)) {
    out.PutU32(asLineFill ? kOpaqueRed : kOpaqueBlack);
    out.PutU16(fill.type == kSwfFocalGradient ? kSwfRadialGradient : fill.type);
    EncodeMatrix(out, fill.matrix);
    out.PutU8(uint8_t(fill.stops.size()));
    if (level >= 2 || asLineFill) {
      out.PutI32(fill.type == kSwfFocalGradient ? fill.focalPoint : 0);
      out.PutU8(fill.gradientHeader >> 4);
      out.PutU8(0);
      out.PutU16(0);
    }
    for (const GradientStop& s : fill.stops) {
      out.PutU8(s.ratio);
      out.PutU32(s.colour);
    }
  } else if (IsBitmapFill(fill.type)) {
    out.PutU32(kOpaqueRed);
    out.PutU16(fill.type);
    EncodeMatrix(out, fill.matrix);
    out.PutU16(fill.bitmapId);
  } else {
    out.PutU32(fill.colour);
    out.PutU16(0);
  }
}

void EncodeLineStyle(ByteWriter& out, const LineStyle& line, uint8_t level) {
  out.PutU32(line.colour);
  out.PutU16(line.width);
  out.PutU32(0);
  if (level < 2) return;
  const uint8_t startCap = line.flags0 >> 6, endCap = line.flags1 & 3;
  const uint8_t join = (line.flags0 >> 4) & 3;
  const bool miter = join >= 2;
  out.PutU8(line.flags0 & 1);                                        // pixel hinting
  out.PutU8(uint8_t((line.flags0 >> 2 & 1) << 1 | (line.flags0 >> 1 & 1)));  // no h, no v scale
  out.PutU8(startCap == 1 && endCap == 1 ? 0 : startCap == 2 && endCap == 2 ? 2 : 1);
  out.PutU8(miter ? 0 : join == 1 ? 2 : 1);
  out.PutU8(0);
  out.PutU8(uint8_t((miter ? line.miterLimitFactor >> 8 : 3) | (line.flags1 & 0x04 ? 0x10 : 0)));
  if (line.hasFill) {
    EncodeFillStyle(out, line.fill, level, true);
  } else {
    out.PutU32(line.colour);
    out.PutU16(0);
  }
}

std::span<const uint8_t> StyleIndex::Fill(uint32_t index) const {
  if (index == 0 || index > fills.size()) return {};
  return fills[index - 1];
}

std::span<const uint8_t> StyleIndex::Line(uint32_t index) const {
  if (index == 0 || index > lines.size()) return {};
  return lines[index - 1];
}

uint8_t PairForm(EdgePair v) {
  const int64_t ax = std::llabs(v.x), ay = std::llabs(v.y);
  if (ax < 256 && ay < 256) return 1;
  if (ax > 32767 || ay > 32767) return 2;
  return 3;
}

namespace {

bool Large(EdgePair v) { return std::llabs(v.x) > 32767 || std::llabs(v.y) > 32767; }

// The stored values of a pair: two i32 in form 2, two i16 otherwise.
void PutStoredPair(ByteWriter& out, int64_t x, int64_t y, uint8_t form) {
  if (form == 2) {
    out.PutI32(int32_t(x));
    out.PutI32(int32_t(y));
  } else {
    out.PutI16(int32_t(x));
    out.PutI16(int32_t(y));
  }
}

void PutPair(ByteWriter& out, EdgePair v, uint8_t form) {
  // Form 3 keeps the half-twip value (readers shift it by 7); forms 1 and 2
  // keep the 1/256-twip value itself.
  const int64_t scale = form == 3 ? 1 : 128;
  PutStoredPair(out, v.x * scale, v.y * scale, form);
}

}  // namespace

uint8_t EncodeEdgeRecord(ByteWriter& out, const EdgeRecord& rec) {
  uint8_t moveForm = rec.hasMove ? PairForm(rec.move) : 0;
  uint8_t controlForm = rec.curved ? PairForm(rec.control) : 0;
  uint8_t anchorForm = PairForm(rec.anchor);
  if (!rec.curved && rec.hasMove && (Large(rec.move) || Large(rec.anchor))) {
    // A straight edge with a large move or anchor keeps both pairs out of
    // form 1.
    moveForm = Large(rec.move) ? 2 : 3;
    anchorForm = Large(rec.anchor) ? 2 : 3;
  }
  const uint8_t flags = uint8_t((rec.hasStyles || rec.hasMove ? kEdgeStyleBits : 0) | moveForm |
                                controlForm << 2 | anchorForm << 4);
  out.PutU8(flags);
  if (flags & kEdgeStyleBits) {
    out.PutU8(rec.line);
    out.PutU8(rec.fill0);
    out.PutU8(rec.fill1);
  }
  if (moveForm) PutPair(out, rec.move, moveForm);
  if (controlForm) PutPair(out, rec.control, controlForm);
  PutPair(out, rec.anchor, anchorForm);
  return flags;
}

ShapeEdgeForms EncodeShapeEdge(ByteWriter& out, const ShapeEdge& rec) {
  ShapeEdgeForms r{0, rec.control, rec.anchor};
  // The form is chosen on the value divided by 128 toward zero (PairForm's
  // half-twip thresholds); form 3 stores that quotient, or for a move and a
  // closing anchor the value shifted right with its sign.
  auto form = [](ShapePair v) {
    return PairForm(EdgePair{int32_t(std::clamp<int64_t>(v.x / 128, INT32_MIN, INT32_MAX)),
                             int32_t(std::clamp<int64_t>(v.y / 128, INT32_MIN, INT32_MAX))});
  };
  const uint8_t moveForm = rec.hasMove ? form(rec.move) : 0;
  const uint8_t controlForm = rec.curved ? form(rec.control) : 0;
  const uint8_t anchorForm = form(rec.anchor);
  r.flags = uint8_t((rec.hasStyles ? kEdgeStyleBits : 0) | moveForm | controlForm << 2 |
                    anchorForm << 4);
  out.PutU8(r.flags);
  if (rec.hasStyles) {
    out.PutU8(rec.line);
    out.PutU8(rec.fill0);
    out.PutU8(rec.fill1);
  }
  auto put = [&](ShapePair v, uint8_t f, bool floored, ShapePair* kept) {
    if (f != 3) {
      PutStoredPair(out, v.x, v.y, f);
      return;
    }
    const ShapePair q = floored ? ShapePair{v.x >> 7, v.y >> 7} : ShapePair{v.x / 128, v.y / 128};
    PutStoredPair(out, q.x, q.y, 3);
    if (kept) *kept = {q.x * 128, q.y * 128};
  };
  if (moveForm) put(rec.move, moveForm, true, nullptr);
  if (controlForm) put(rec.control, controlForm, false, &r.control);
  put(rec.anchor, anchorForm, rec.closing, &r.anchor);
  return r;
}

namespace {

size_t PairSize(uint8_t form) { return form == 0 ? 0 : form == 2 ? 8 : 4; }

void ReadPair(std::span<const uint8_t> s, size_t& pos, uint8_t form, int64_t& x, int64_t& y) {
  auto i16 = [&](size_t p) { return int16_t(s[p] | s[p + 1] << 8); };
  auto i32 = [&](size_t p) {
    return int32_t(uint32_t(s[p]) | uint32_t(s[p + 1]) << 8 | uint32_t(s[p + 2]) << 16 |
                   uint32_t(s[p + 3]) << 24);
  };
  if (form == 2) {
    x = i32(pos);
    y = i32(pos + 4);
  } else {
    const int64_t shift = form == 3 ? 128 : 1;
    x = i16(pos) * shift;
    y = i16(pos + 2) * shift;
  }
  pos += PairSize(form);
}

}  // namespace

bool ReadEdgeRecord(std::span<const uint8_t> s, size_t& pos, DecodedEdge& out, bool* truncated) {
  if (truncated) *truncated = false;
  if (pos >= s.size()) {
    if (truncated) *truncated = true;
    return false;
  }
  const uint8_t flags = s[pos];
  if (flags == 0) return false;
  const uint8_t mf = flags & 3, cf = flags >> 2 & 3, af = flags >> 4 & 3;
  const size_t need = 1 + (flags & kEdgeStyleBits ? 3 : 0) + PairSize(mf) + PairSize(cf) + PairSize(af);
  if (need > s.size() - pos) {
    if (truncated) *truncated = true;
    return false;
  }
  DecodedEdge e;
  e.flags = flags;
  size_t p = pos + 1;
  if (flags & kEdgeStyleBits) {
    e.hasStyles = true;
    e.line = s[p];
    e.fill0 = s[p + 1];
    e.fill1 = s[p + 2];
    p += 3;
  }
  e.hasMove = mf != 0;
  e.curved = cf != 0;
  if (mf) ReadPair(s, p, mf, e.moveX, e.moveY);
  if (cf) ReadPair(s, p, cf, e.controlX, e.controlY);
  if (af) ReadPair(s, p, af, e.anchorX, e.anchorY);
  pos = p;
  out = e;
  return true;
}

std::optional<EdgeStreamExtent> MeasureEdgeStream(std::span<const uint8_t> stream) {
  EdgeStreamExtent ext;
  size_t pos = 0;
  DecodedEdge e;
  bool truncated = false;
  while (ReadEdgeRecord(stream, pos, e, &truncated)) ++ext.records;
  if (truncated) return std::nullopt;
  ext.endPos = pos;
  return ext;
}

std::optional<size_t> FindFurtherShapeObject(std::span<const uint8_t> page, size_t endPos,
                                             uint8_t level) {
  const bool isNew = level >= 2;
  const uint8_t v = isNew ? 4 : 1;
  const uint8_t opener[9] = {0x01, 0x03, 0x80, v, 0x00, 0x05, 0x80, v, 0x00};
  // The head without its count field: u16 0, two u32 0x80000000, level-2
  // padding, the format word, u32 0 twice, 0x01000000, u32 0 twice, 00 05.
  ByteWriter head;
  head.PutU16(0);
  head.PutU32(0x80000000u);
  head.PutU32(0x80000000u);
  if (isNew) head.PutU16(0);
  head.PutU32(isNew ? 0x01000003u : 0x01000002u);
  head.PutU32(0);
  head.PutU32(0);
  head.PutU32(0x01000000u);
  head.PutU32(0);
  head.PutU32(0);
  head.PutU16(0x0500);
  const size_t headSize = ShapeHeadSize(level);
  // The closing layer record grows by one character per digit of the layer
  // number (two bytes each in the UTF-16 name at level 2).
  const size_t oneDigit = isNew ? 151 : 121, perDigit = isNew ? 2 : 1;
  // The layer's name "Layer n" sits at a fixed place in the record: its
  // length byte 90 bytes after the record's start (113 in the UTF-16 form).
  const size_t nameLengthPos = isNew ? 113 : 90;
  auto nameMatches = [&](size_t at, size_t digits) {
    if (page[at] != 6 + digits) return false;
    const char* layer = "Layer ";
    for (size_t i = 0; i < 6 + digits; ++i) {
      const uint8_t c = page[at + 1 + i * perDigit];
      if (isNew && page[at + 2 + i * perDigit] != 0) return false;
      if (i < 6 ? c != uint8_t(layer[i]) : (c < '0' || c > '9')) return false;
    }
    return true;
  };
  for (size_t digits = 1; digits <= 5; ++digits) {
    const size_t layerRecord = oneDigit + (digits - 1) * perDigit;
    const size_t total = layerRecord + sizeof opener + headSize;
    if (endPos > page.size() || page.size() - endPos < total) break;
    const size_t openerPos = endPos + layerRecord;
    if (page[endPos] != 0) break;
    if (!nameMatches(endPos + nameLengthPos, digits)) continue;
    if (!std::equal(opener, opener + sizeof opener, page.begin() + openerPos)) continue;
    const size_t headPos = openerPos + sizeof opener;
    if (!std::equal(head.bytes().begin(), head.bytes().end(), page.begin() + headPos)) continue;
    return endPos + total;
  }
  return std::nullopt;
}

namespace {

// A fill record's size at `pos`, or 0 when it is cut short or of a type the
// format does not know. Gradients carry the level-2 block at level 2.
size_t FillRecordSize(std::span<const uint8_t> d, size_t pos, bool level2) {
  if (pos > d.size() || d.size() - pos < 6) return 0;
  const uint16_t type = uint16_t(d[pos + 4] | d[pos + 5] << 8);
  size_t size = 6;
  if (type == 0x10 || type == 0x12) {
    if (d.size() - pos < 6 + 25) return 0;
    const size_t stops = d[pos + 6 + 24];
    size += 25 + (level2 ? 8 : 0) + 5 * stops;
  } else if (type >= 0x40 && type <= 0x43) {
    size += 26;
  } else if (type != 0) {
    return 0;
  }
  return size <= d.size() - pos ? size : 0;
}

}  // namespace

std::optional<size_t> SkipStyleTables(std::span<const uint8_t> d, size_t pos, uint8_t level) {
  const bool level2 = level >= 2;
  for (int table = 0; table < 2; ++table) {
    if (pos > d.size() || d.size() - pos < 2) return std::nullopt;
    const uint32_t n = d[pos] | d[pos + 1] << 8;
    pos += 2;
    for (uint32_t i = 0; i < n; ++i) {
      if (table == 1) {
        const size_t own = level2 ? 16 : 10;  // a line's own fields
        if (d.size() - pos < own) return std::nullopt;
        pos += own;
        if (!level2) continue;
      }
      const size_t size = FillRecordSize(d, pos, level2);
      if (!size) return std::nullopt;
      pos += size;
    }
  }
  return pos;
}

ShapeBlock::ShapeBlock(std::span<const uint8_t> edges, uint32_t records)
    : bytes(2 * edges.size() + 1, 0), length(uint32_t(edges.size())), recordCount(records) {
  std::copy(edges.begin(), edges.end(), bytes.begin());
}

void ShapeBlock::Splice(size_t from, size_t to, std::span<const uint8_t> source) {
  // `source` may lie in the block itself.
  const std::vector<uint8_t> with(source.begin(), source.end());
  const size_t tail = length - to;
  const size_t newLength = from + with.size() + tail;
  if (newLength + 1 > bytes.size()) bytes.resize(newLength + 1, 0);
  std::memmove(bytes.data() + from + with.size(), bytes.data() + to, tail);
  std::copy(with.begin(), with.end(), bytes.begin() + long(from));
  // What the counted bytes gave up reads as zeros again.
  if (newLength < length) std::fill(bytes.begin() + long(newLength), bytes.begin() + long(length), 0);
  bytes[newLength] = 0;
  length = uint32_t(newLength);
}

}  // namespace tovrani
