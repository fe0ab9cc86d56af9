// One decoded glyph of a font: its bounding box and its outline as an edge
// stream, ready to become a symbol page of its own.
#pragma once

#include <cstdint>
#include <vector>

namespace tovrani {

struct GlyphShape {
  int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
  std::vector<uint8_t> edges;  // the glyph's edge-stream bytes (owned)
  uint32_t recordCount = 0;    // edge records; written after the short shape head
  uint16_t itemNo = 0;         // library item number, set when placed as a symbol

  // Bytes in `edges`.
  uint32_t length() const { return uint32_t(edges.size()); }
};

}  // namespace tovrani
