#include "shape/builder/shape_output.h"

namespace tovrani {

bool ShapeOutput::Write(const ShapePoint& from, PointEdge& e, bool withStyles, bool closing) {
  ShapeEdge rec;
  rec.hasStyles = withStyles;
  rec.line = e.style[0];
  rec.fill0 = e.style[1];
  rec.fill1 = e.style[2];
  if (withStyles)
    for (int s = 0; s < 3; ++s) style[s] = e.style[s];
  rec.hasMove = penX != from.x || penY != from.y;
  rec.move = {int64_t(from.x) - penX, int64_t(from.y) - penY};
  rec.curved = e.curved != 0;
  rec.control = {e.controlDx, e.controlDy};
  rec.anchor = {e.anchorDx, e.anchorDy};
  rec.closing = closing;
  const ShapeEdgeForms kept = EncodeShapeEdge(bytes, rec);
  if (rec.curved) {
    e.controlDx = int32_t(kept.control.x);
    e.controlDy = int32_t(kept.control.y);
  }
  e.anchorDx = int32_t(kept.anchor.x);
  e.anchorDy = int32_t(kept.anchor.y);
  ++records;
  penX = e.endX;
  penY = e.endY;
  return bytes.size() <= kMaxBytes;
}

bool ShapeOutput::WriteEdge(const ShapePoint& from, PointEdge& e) {
  const bool change = e.style[0] != style[0] || e.style[1] != style[1] || e.style[2] != style[2];
  return Write(from, e, change);
}

bool ShapeOutput::WriteStyled(const ShapePoint& from, PointEdge& e, const uint8_t* styleBytes) {
  if (!styleBytes) return Write(from, e, false);
  uint8_t kept[3] = {e.style[0], e.style[1], e.style[2]};
  for (int s = 0; s < 3; ++s) e.style[s] = styleBytes[s];
  const bool ok = Write(from, e, true);
  for (int s = 0; s < 3; ++s) e.style[s] = kept[s];
  return ok;
}

bool ShapeOutput::WriteClosing(int64_t x, int64_t y) {
  ShapeEdge rec;
  rec.anchor = {x - penX, y - penY};
  rec.closing = true;
  EncodeShapeEdge(bytes, rec);
  ++records;
  penX = x;
  penY = y;
  return bytes.size() <= kMaxBytes;
}

}  // namespace tovrani
