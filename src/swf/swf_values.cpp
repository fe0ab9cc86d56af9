#include "swf/swf_values.h"

namespace tovrani {

uint32_t ReadSwfRect(SwfReader& r, SwfRect& out) {
  size_t start = r.pos();
  r.alignBits();
  unsigned n = r.ubits(5);
  out.xmin = r.sbits(n);
  out.xmax = r.sbits(n);
  out.ymin = r.sbits(n);
  out.ymax = r.sbits(n);
  r.alignBits();
  return uint32_t(r.pos() - start);
}

uint32_t ReadSwfRect(SwfRect& out, const uint8_t* data, size_t length) {
  SwfReader r(data, length);
  uint32_t n = ReadSwfRect(r, out);
  return r.ok() ? n : 0;
}

bool ReadSwfRect(SwfRect& out, std::FILE* f) {
  // Nbits (5 bits) then four fields: at most 1 + 16 bytes.
  uint8_t buf[17];
  if (std::fread(buf, 1, 1, f) != 1) return false;
  size_t size = (5 + 4 * size_t(buf[0] >> 3) + 7) / 8;
  if (size > 1 && std::fread(buf + 1, 1, size - 1, f) != size - 1) return false;
  SwfReader r(buf, size);
  ReadSwfRect(r, out);
  return r.ok();
}

uint32_t ReadSwfMatrix(SwfReader& r, SwfMatrix& out) {
  size_t start = r.pos();
  out = SwfMatrix{};
  r.alignBits();
  if (r.ubits(1)) {
    unsigned n = r.ubits(5);
    out.scaleX = r.sbits(n);
    out.scaleY = r.sbits(n);
  }
  if (r.ubits(1)) {
    unsigned n = r.ubits(5);
    out.rotateSkew0 = r.sbits(n);
    out.rotateSkew1 = r.sbits(n);
  }
  unsigned n = r.ubits(5);
  out.translateX = r.sbits(n);
  out.translateY = r.sbits(n);
  r.alignBits();
  return uint32_t(r.pos() - start);
}

uint32_t ReadSwfCxform(SwfReader& r, SwfCxform& out, bool withAlpha) {
  size_t start = r.pos();
  out = SwfCxform{};
  r.alignBits();
  bool hasAdd = r.ubits(1), hasMult = r.ubits(1);
  unsigned n = r.ubits(4);
  auto field = [&]() { return static_cast<int16_t>(r.sbits(n)); };
  if (hasMult) {
    out.rMult = field();
    out.gMult = field();
    out.bMult = field();
    if (withAlpha) out.aMult = field();
  }
  if (hasAdd) {
    out.rAdd = field();
    out.gAdd = field();
    out.bAdd = field();
    if (withAlpha) out.aAdd = field();
  }
  r.alignBits();
  return uint32_t(r.pos() - start);
}

uint32_t ReadSwfMatrix(const uint8_t* data, SwfMatrix& out, int32_t length) {
  SwfReader r(data, length > 0 ? size_t(length) : 0);
  return ReadSwfMatrix(r, out);
}

void ReadSwfCxform(uint8_t& bitCounter, const uint8_t* data, uint32_t& pos, SwfCxform& out, int32_t length) {
  bitCounter = 8;
  out = SwfCxform{};
  size_t size = length > 0 ? size_t(length) : 0;
  if (pos >= size) return;
  SwfReader r(data, size);
  r.seek(pos);
  ReadSwfCxform(r, out);
  pos = uint32_t(r.pos());
}

bool IsDefineShapeTag(uint32_t code) { return code == 2 || code == 22 || code == 32; }

}  // namespace tovrani
