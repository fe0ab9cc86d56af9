#include "shape/builder/shape_continuation.h"

#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "shape/decode/shape_page.h"

namespace tovrani {
namespace {

bool Failed(ShapeContext& ctx) { return NoteWriterFailure(ctx, kResultOutputIncomplete); }

}  // namespace

bool StartShapeObjectWithFill(ShapeContext& ctx, uint32_t count, std::span<const uint8_t> fillStyle,
                              std::FILE* page, size_t& countFieldPos, uint16_t layerNumber) {
  if (!ContinueShapeOnNewLayer(page, ctx.m_nFlaFormat, layerNumber, count, countFieldPos))
    return Failed(ctx);
  PutU16(page, 1);
  PutBytes(page, fillStyle.data(), fillStyle.size());
  PutU16(page, 0);
  return std::ferror(page) ? Failed(ctx) : true;
}

bool StartShapeObjectWithoutFills(ShapeContext& ctx, uint32_t count, std::FILE* page,
                                  size_t& countFieldPos, uint16_t layerNumber) {
  if (!ContinueShapeOnNewLayer(page, ctx.m_nFlaFormat, layerNumber, count, countFieldPos))
    return Failed(ctx);
  PutU16(page, 0);
  return std::ferror(page) ? Failed(ctx) : true;
}

void CopyPointEdges(ShapePoint& dest, const ShapePoint& source) {
  if (&dest == &source) return;
  dest.x = source.x;
  dest.y = source.y;
  dest.edges.resize(source.edges.size());
  for (size_t i = 0; i < source.edges.size(); ++i) {
    const PointEdge& s = source.edges[i];
    PointEdge& d = dest.edges[i];
    d.endX = s.endX, d.endY = s.endY;
    d.otherPoint = s.otherPoint, d.twin = s.twin;
    d.curved = s.curved;
    d.controlDx = s.controlDx, d.anchorDx = s.anchorDx;
    d.controlDy = s.controlDy, d.anchorDy = s.anchorDy;
    for (int k = 0; k < 3; ++k) d.style[k] = s.style[k], d.ordinal[k] = s.ordinal[k];
  }
}

}  // namespace tovrani
