// A shape that the builder writes as several shape objects goes on in a
// further object on a new layer of the same page, after the ended object's
// edge-record count is patched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "shape/geometry/shape_point.h"
#include "shape/shape_context.h"

namespace tovrani {

// Both close the layer "Layer layerNumber" holding the ended object (with
// `count` edge records), open a new layer, frame and shape object, and leave
// countFieldPos at the new object's count field. WithFill starts the style
// tables with the one fill style and no line style; WithoutFills with a
// fill-style count of 0, the caller writing the line styles. A failed seek
// or write fails the conversion ("output incomplete") and answers false.
bool StartShapeObjectWithFill(ShapeContext& ctx, uint32_t count, std::span<const uint8_t> fillStyle,
                              std::FILE* page, size_t& countFieldPos, uint16_t layerNumber);
bool StartShapeObjectWithoutFills(ShapeContext& ctx, uint32_t count, std::FILE* page,
                                  size_t& countFieldPos, uint16_t layerNumber);

// Copies a point and its edges onto `dest`: coordinates, the edge count and
// every field of each edge except the two per-side region indexes and the
// pending-side mask, which the destination's entries keep (entries it
// lacks start with none).
// Nothing calls it: point tables are std::vectors, which grow without copying each point out and back.
void CopyPointEdges(ShapePoint& dest, const ShapePoint& source);

}  // namespace tovrani
