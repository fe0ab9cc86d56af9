// The shape builder's output: the edge records it writes, whichever road
// it takes, with the pen and style bytes they are written against.
#pragma once

#include <cstdint>

#include "shape/decode/encoded_shape.h"
#include "shape/geometry/shape_point.h"

namespace tovrani {

class ShapeOutput {
 public:
  // What one call may write; a shape needing more is left as it came.
  static constexpr size_t kMaxBytes = size_t{256} << 20;

  ByteWriter bytes;
  uint32_t records = 0;
  int64_t penX = 0, penY = 0;
  uint8_t style[3] = {0, 0, 0};

  // Writes the step from the pen along `e`, which leaves `from`: style
  // bytes when `withStyles`, a move when the pen is elsewhere. `e` keeps the
  // control and anchor a reader gets back; the pen goes to its other point.
  // False once the output has grown past kMaxBytes.
  bool Write(const ShapePoint& from, PointEdge& e, bool withStyles, bool closing = false);
  // Writes with style bytes exactly when the edge's differ from the
  // current ones.
  bool WriteEdge(const ShapePoint& from, PointEdge& e);
  // Writes with the style bytes given (line, fill 0, fill 1), or without
  // any when `styleBytes` is null.
  bool WriteStyled(const ShapePoint& from, PointEdge& e, const uint8_t* styleBytes);
  // The record that closes a contour: no style, no move, an anchor from the
  // pen to (x, y); a form-3 anchor keeps the floored quotient.
  bool WriteClosing(int64_t x, int64_t y);
};

}  // namespace tovrani
