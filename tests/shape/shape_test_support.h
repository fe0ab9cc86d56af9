// Builders of SWF shape bodies and a structural check of shape pages for the
// shape tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "shape/decode/encoded_shape.h"
#include "support/swf_writer.h"

namespace tovrani::test {

// Shape records, bit-packed into a body.
struct ShapeRecords {
  SwfBytes& b;
  unsigned fillBits = 1, lineBits = 1;

  ShapeRecords& Straight(int32_t dx, int32_t dy);
  ShapeRecords& Curve(int32_t cx, int32_t cy, int32_t ax, int32_t ay);
  // A style-change record; absent fields are not set.
  ShapeRecords& Change(std::optional<std::pair<int32_t, int32_t>> moveTo,
                       std::optional<uint32_t> fill0, std::optional<uint32_t> fill1,
                       std::optional<uint32_t> line, bool newStyles = false);
  ShapeRecords& End();
};

// One shape object as read back from a page: its fill records (entry i is
// fill index i + 1) and its edge records.
struct ShapeObjectView {
  std::vector<std::vector<uint8_t>> fills;
  std::vector<DecodedEdge> edges;
};

// Walks a shape page: page head, then per object its head, style tables and
// edge records (whose number must equal the count field), further objects
// after their layer records, and, when `itemNo` is given, the closing "ID"
// layer with the layer end. Fails on anything out of place; `edgeCounts`
// gets each object's number of edge records, `objects` each object.
::testing::AssertionResult CheckShapePage(const std::vector<uint8_t>& page, uint8_t level,
                                          std::optional<uint16_t> itemNo,
                                          std::vector<uint32_t>* edgeCounts = nullptr,
                                          std::vector<ShapeObjectView>* objects = nullptr);

// The page's bytes after the ID layer: the record, then the layer end with
// the layer count plus 1.
std::vector<uint8_t> ExpectedPageTail(uint16_t itemNo, uint16_t layerEndValue, uint8_t level);

}  // namespace tovrani::test
