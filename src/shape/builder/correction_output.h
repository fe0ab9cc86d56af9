// A shape whose edges cross or whose fills overlap cannot stay one shape
// object: it is written into the page as a stack of objects, one fill per
// object, each region's strokes in an object of their own, and the strokes
// of no region last. Every object after the first sits on a new layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "shape/builder/outline_crossing.h"
#include "shape/builder/shape_builder.h"
#include "shape/builder/shape_output.h"

namespace tovrani {

class CorrectionOutput {
 public:
  CorrectionOutput(ShapeBuilder& b, std::FILE* page, size_t& countFieldPos);

  enum class Result {
    kWritten,    // the page holds the shape; block length 0, count of the last object
    kNothing,    // nothing could be written: the page is as it came
    kRestored,   // stopped midway (budget, geometry, a turn's failure): page as it came
    kWriteFailed,  // the page stream failed; the conversion fails
  };
  Result Run();

 private:
  // What the open object's style tables hold.
  enum class Table { kNone, kFill, kRegionLines, kAllLines };

  void SetUp();
  // One turn; false when the turns are over.
  bool Turn(uint32_t t, bool& failed);
  bool WriteRegion(uint32_t x, bool closeFlag, bool lineFlag);
  bool WriteFillFromContour(ShapeRegion& region, uint8_t fillSide, bool closeFlag);
  bool WriteFillFromRetrace(ShapeRegion& region, uint8_t fillSide, uint32_t t, bool& written);
  bool WriteLinkedContours(const ShapeRegion& region);
  void WriteContourSteps(const Contour& contour, uint8_t fillSide);
  std::span<const uint8_t> FillStyleOf(const ShapeRegion& region, uint8_t fillSide) const;

  bool RegionStrokes(const ShapeRegion& region);
  bool LooseStrokes();
  bool RemainingStrokes();
  // A stroke object carrying the shape's whole line table, pen at 0, 0.
  bool StartAllLinesObject();
  bool LineDrawn(uint8_t line) const;

  // Object starts: the first in place of the caller's style tables, every
  // later one on a new layer. False on a failed page write.
  bool StartFillObject(std::span<const uint8_t> fill);
  bool StartStrokeObject(Table table, bool& tableNeeded);
  bool NewObject(bool withFill, std::span<const uint8_t> fill);
  bool Flush();
  bool PageWrite(std::span<const uint8_t> bytes);
  bool Restore();

  ShapeBuilder& b_;
  std::FILE* page_;
  size_t& countFieldPos_;
  const size_t givenCountFieldPos_;
  IntersectionTests tests_;
  ShapeOutput out_;
  uint32_t objectRecords_ = 0;  // records of the open object
  uint64_t totalRecords_ = 0;
  uint16_t layer_ = 0;
  bool started_ = false;  // an object of this shape has been started
  Table open_ = Table::kNone;
  bool failed_ = false;   // the page stream failed
  std::vector<uint8_t> linked_;  // per region: another region writes it as a further contour
};

}  // namespace tovrani
