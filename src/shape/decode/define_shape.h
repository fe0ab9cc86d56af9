// DefineShape, DefineShape2, DefineShape3 and DefineShape4 bodies decoded
// into a shape page: style tables and edge records in the encoded shape
// format, one shape object per set of style arrays.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "shape/shape_context.h"

namespace tovrani {

// The built-in shape's tag code: a DefineShape body that is never copied
// into the shape cache.
constexpr uint32_t kDummyShapeTag = 2000;

struct ShapePageResult {
  bool ok = false;        // the page was written without a failure of the work file
  bool complete = false;  // the last layer is closed: the page can be placed
  uint32_t objects = 0;   // shape objects (sets of style arrays)
  uint32_t lastRecordCount = 0;  // edge records of the last object
};

// Writes the shape page of one body (after its 2-byte character id) into
// `page`, an empty stream open for reading and writing. `itemNo` names the
// last layer ("ID itemNo").
ShapePageResult BuildShapePage(ShapeContext& ctx, uint32_t tag, std::span<const uint8_t> body,
                               std::FILE* page, uint16_t itemNo);

// Converts one shape tag body (after the character id) into the shape page
// of stream row m_nStreams, whose item number the caller has stored, and,
// with the "Shape" option on (m_bShapesOn), places the page into the
// container; the row, symbol and item counters stay for the caller to
// advance. The page is built in the work file "fill". Returns 1 when the
// page was placed; 0 when it was not: the option is off, "fill" cannot be
// opened (the shape is left out), or a work file failed (noted in
// m_nWriterError).
uint8_t ConvertShapeTag(ShapeContext& ctx, uint32_t tag, std::span<const uint8_t> body);

}  // namespace tovrani
