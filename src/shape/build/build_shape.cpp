#include "shape/build/build_shape.h"

namespace tovrani {

void BuildShape(ShapeContext&, ShapeBlock&, std::span<const uint8_t>, std::FILE*, size_t&,
                const StyleIndex*) {}

}  // namespace tovrani
