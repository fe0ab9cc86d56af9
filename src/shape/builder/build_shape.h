// The shape builder's entry: rebuilds one shape object from its edge
// records. Until the builder lands the object is left as it came.
#pragma once

#include <cstdio>
#include <span>

#include "shape/decode/encoded_shape.h"
#include "shape/shape_context.h"

namespace tovrani {

void BuildShape(ShapeContext& ctx, ShapeBlock& block, std::span<const uint8_t> styleBlob,
                std::FILE* work, size_t& countFieldPos, const StyleIndex* styles);

}  // namespace tovrani
