// The packed SWF value records (RECT, MATRIX, CXFORMWITHALPHA) as plain
// integer structures.
#pragma once

#include <cstdint>

#include "swf/swf_reader.h"

namespace tovrani {

// Twips, in SWF order.
struct SwfRect {
  int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};

// Scales and rotate/skew in 16.16 fixed point; translation in twips.
struct SwfMatrix {
  int32_t scaleX = 0x10000, scaleY = 0x10000;
  int32_t rotateSkew0 = 0, rotateSkew1 = 0;
  int32_t translateX = 0, translateY = 0;
};

// Per channel the multiplier (256 = 1.0) then the addend: R, G, B, A.
struct SwfCxform {
  int16_t rMult = 256, rAdd = 0, gMult = 256, gAdd = 0, bMult = 256, bAdd = 0, aMult = 256, aAdd = 0;
};

// Each reader starts at the reader's position, leaves it just after the
// record (a partly used last byte counted) and returns the bytes consumed.
// A record cut short fails the reader; the fields keep what was read.
uint32_t ReadSwfRect(SwfReader& r, SwfRect& out);
uint32_t ReadSwfMatrix(SwfReader& r, SwfMatrix& out);
uint32_t ReadSwfCxform(SwfReader& r, SwfCxform& out);

}  // namespace tovrani
