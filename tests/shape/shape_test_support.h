// Builders of SWF shape bodies and a structural check of shape pages for the
// shape tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
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

// A DefineShape2 body: character `id`, bounds 0..2000 twips, one solid fill
// (red) and one line (one twip), the records `draw` writes with one bit
// for each style index.
std::vector<uint8_t> OneFillOneLineShape(uint16_t id, const std::function<void(ShapeRecords&)>& draw);

// One outline with fill 1 on its right that crosses itself: `lines`
// horizontal lines across a square of `side` twips, then as many vertical
// ones, back and forth. Its even-odd fill is a checkerboard, which the
// exact search retraces.
void SelfCrossingGrid(ShapeRecords& r, int32_t side, int32_t lines);

// A DefineMorphShape (46) or DefineMorphShape2 (84) body after its
// character id: bounds, the end-edges offset, the morph style arrays as
// given, the start shape (its index-size byte, then the records `start`
// writes with `fillBits` and `lineBits`) and the end shape (index sizes 0).
std::vector<uint8_t> MorphBody(uint16_t tag, const std::vector<uint8_t>& styles,
                               const std::function<void(ShapeRecords&)>& start,
                               const std::function<void(ShapeRecords&)>& end,
                               unsigned fillBits = 2, unsigned lineBits = 1);

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
                                          std::vector<ShapeObjectView>* objects = nullptr,
                                          std::vector<std::pair<size_t, size_t>>* edgeSpans = nullptr);
// The byte ranges of a shape page's edge records (none when it does not
// walk as a shape page), for a page walk that must not scan them for tags.
std::vector<std::pair<size_t, size_t>> ShapeEdgeSpans(const std::vector<uint8_t>& page,
                                                      uint8_t level);

// The page's bytes after the ID layer: the record, then the layer end with
// the layer count plus 1.
std::vector<uint8_t> ExpectedPageTail(uint16_t itemNo, uint16_t layerEndValue, uint8_t level);

// Edge records written from absolute points (shape units, 1/256 twip): a
// run starts with a move, each edge carries the move still pending. Each
// pair takes the smallest form that holds it, or, with `pickForm`, one that
// the function picks among those that hold it (a bit per form: 1, 2, 4 for
// forms 1, 2, 3).
class EdgeWriter {
 public:
  using Style = std::array<uint8_t, 3>;  // line, fill 0, fill 1
  std::function<uint8_t(uint8_t validForms)> pickForm;

  EdgeWriter& Run(int64_t x, int64_t y, std::optional<Style> style = std::nullopt);
  EdgeWriter& Line(int64_t x, int64_t y, std::optional<Style> style = std::nullopt);
  EdgeWriter& Curve(int64_t cx, int64_t cy, int64_t x, int64_t y,
                    std::optional<Style> style = std::nullopt);
  // A closed polygon as one run.
  EdgeWriter& Polygon(const std::vector<std::pair<int64_t, int64_t>>& points, Style style);
  // Raw bytes (a further object's head, say); the pen starts again at 0.
  EdgeWriter& Bytes(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint32_t records() const { return records_; }
  ShapeBlock Block() const { return ShapeBlock(bytes_, records_); }

 private:
  void Pair(int64_t x, int64_t y, uint8_t& form, std::vector<uint8_t>& out);
  EdgeWriter& Edge(bool curved, int64_t cx, int64_t cy, int64_t x, int64_t y,
                   std::optional<Style> style);

  std::vector<uint8_t> bytes_;
  uint32_t records_ = 0;
  int64_t penX_ = 0, penY_ = 0;
  bool pendingMove_ = false;
  int64_t moveX_ = 0, moveY_ = 0;
  std::optional<Style> pendingStyle_;
};

// The layer record, layer-and-frame opener and head that put a further
// shape object behind a 0 byte, with style tables of one solid fill and
// one line.
std::vector<uint8_t> FurtherObjectHead(uint8_t level);

// One shape object of a page: its style records and edge records.
struct ShapeObject {
  StyleIndex styles;
  std::vector<uint8_t> edges;  // up to the end byte
};
std::vector<ShapeObject> ShapeObjects(const std::vector<uint8_t>& page, uint8_t level);

// Walks a block (with further objects) as a reader does: true when it
// holds exactly `records` records and its last object's end byte lies at
// `length`, or it ends there.
::testing::AssertionResult DecodesConsistently(const ShapeBlock& block, uint8_t level);

}  // namespace tovrani::test
