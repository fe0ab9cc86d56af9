// The shape converters' state: the shape being converted and the cache of
// finished shapes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/media_context.h"

namespace tovrani {

struct ShapeContext : MediaContext {
  uint8_t m_bShapesOn = 0;       // the "Shape" option, set before each shape tag
  uint16_t m_wCurShapeId = 0;    // character id of the shape being converted
  uint8_t m_bShapePagePlaced = 0;  // the current shape's page went into the container
  size_t m_nShapeHeadPos = 0;    // page position of the open shape object's style tables
  // Copies of finished one-object shapes without transparency: the count
  // field, style tables and edge records, from the page's count field on.
  struct ShapeCacheRecord {
    uint32_t unused = 0;
    std::vector<uint8_t> copy;
  };
  std::vector<ShapeCacheRecord> m_pShapeCache;
  uint32_t m_nShapeCacheIndex = 0;  // the record the next shape fills
};

}  // namespace tovrani
