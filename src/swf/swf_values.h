// The packed SWF value records (RECT, MATRIX, CXFORMWITHALPHA) as plain
// integer structures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

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
// A record cut short fails the reader; the fields keep what was read (a field
// cut in the middle keeps the bits it got).
uint32_t ReadSwfRect(SwfReader& r, SwfRect& out);
uint32_t ReadSwfMatrix(SwfReader& r, SwfMatrix& out);
// PlaceObject's CXFORM is the same record without the alpha terms.
uint32_t ReadSwfCxform(SwfReader& r, SwfCxform& out, bool withAlpha = true);

// A RECT of `length` bytes at data: the bytes it occupies, or 0 when it does
// not fit in them.
uint32_t ReadSwfRect(SwfRect& out, const uint8_t* data, size_t length);
// A RECT read from a file, leaving the file just after it; false when the
// file ends first.
bool ReadSwfRect(SwfRect& out, std::FILE* f);
// A MATRIX within `length` bytes: the bytes it touches. Fields stop at the
// last available byte, keeping what they read.
uint32_t ReadSwfMatrix(const uint8_t* data, SwfMatrix& out, int32_t length);
// A CXFORMWITHALPHA at `pos` in a buffer of `length` bytes; pos moves past the
// record (reading stops at the buffer's end) and bitCounter is left at 8.
void ReadSwfCxform(uint8_t& bitCounter, const uint8_t* data, uint32_t& pos, SwfCxform& out, int32_t length);

// DefineShape, DefineShape2 and DefineShape3; DefineShape4 is not one of them.
// Nothing asks it: the tag loop takes DefineShape4 with the other three, so it names all four codes itself.
bool IsDefineShapeTag(uint32_t code);

}  // namespace tovrani
