// The shape builder's entry: rebuilds one shape object from its edge
// records. With a style blob and a work stream a shape with a problem is
// written into the page as corrected objects; without a style blob (a
// morph half) it is repaired inside the graph; without a work stream it
// never goes to the page.
#pragma once

#include <cstdio>
#include <span>

#include "shape/decode/encoded_shape.h"
#include "shape/shape_context.h"

namespace tovrani {

void BuildShape(ShapeContext& ctx, ShapeBlock& block, std::span<const uint8_t> styleBlob,
                std::FILE* work, size_t& countFieldPos, const StyleIndex* styles);

}  // namespace tovrani
