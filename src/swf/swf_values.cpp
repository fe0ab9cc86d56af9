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

uint32_t ReadSwfCxform(SwfReader& r, SwfCxform& out) {
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
    out.aMult = field();
  }
  if (hasAdd) {
    out.rAdd = field();
    out.gAdd = field();
    out.bAdd = field();
    out.aAdd = field();
  }
  r.alignBits();
  return uint32_t(r.pos() - start);
}

}  // namespace tovrani
