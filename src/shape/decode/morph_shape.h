// DefineMorphShape and DefineMorphShape2 bodies decoded into one entry of
// the morph table: the morph styles, the edges of both halves as encoded
// shapes, and the halves' edges grouped into paired runs (one point per
// edge), so that the timeline builder can write the morph's records. The
// exact road also writes each half as a shape symbol page of its own.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "shape/decode/encoded_shape.h"
#include "shape/shape_context.h"

namespace tovrani {

struct MorphGradientStop {
  uint8_t startRatio = 0, endRatio = 0;
  uint32_t startColor = 0, endColor = 0;  // bytes R, G, B, A
};
using MorphGradientEntry = MorphGradientStop;

// Matrix words: scale x, scale y, rotate-skew 0, rotate-skew 1, translate x,
// translate y (raw SWF values).
using MorphMatrix = std::array<int32_t, 6>;

struct MorphFillStyle {
  uint8_t type = 0;  // a focal gradient is kept as 0x12 (focal set)
  uint32_t startColor = 0, endColor = 0;
  uint16_t bitmapId = 0;
  MorphMatrix startMatrix{0x10000, 0x10000, 0, 0, 0, 0};
  MorphMatrix endMatrix{0x10000, 0x10000, 0, 0, 0, 0};
  // Level 2 gradients only: the focal point (i32), the spread and
  // interpolation bits, three zero bytes.
  std::array<uint8_t, 8> startExtra{}, endExtra{};
  uint8_t gradientCount = 0;
  std::vector<MorphGradientStop> gradient;
  bool focal = false;
  int16_t startFocal = 0, endFocal = 0;
  uint8_t gradientHeader = 0;  // the SWF count byte
};

struct MorphLineStyle {
  uint16_t startWidth = 0, endWidth = 0;
  uint32_t startColor = 0, endColor = 0;  // opaque red when the line has a fill
  uint8_t flags0 = 0, flags1 = 0;         // DefineMorphShape2 only
  uint16_t miterLimit = 0;                // 8.8; 3.0 unless the join is miter
  bool hasFill = false;
  MorphFillStyle fill;
};

// One edge: control x, anchor x, control y, anchor y in twips.
struct MorphCurveData {
  int32_t w0 = 0, w1 = 0, w2 = 0, w3 = 0;
  uint32_t flags = 0;
  uint8_t curved = 0;  // 0 for a straight edge (its control is the midpoint)
};
using MorphEdgePoint = MorphCurveData;

// A run of edges of one half that share their styles.
struct MorphSegmentData {
  int32_t x = 0, y = 0;  // the pen before the run's first edge, twips
  uint8_t line = 0, fill0 = 0, fill1 = 0;  // SWF LineStyle, FillStyle0, FillStyle1
  uint16_t curveCount = 0;
  std::vector<MorphCurveData> curves;
};
using MorphEdgeRun = MorphSegmentData;

// A symbol made to show the morph, as the timeline builder records it.
struct MorphVariant {
  uint16_t itemNo = 0;
  int16_t easing = 0;
  uint8_t reusable = 0;
  uint32_t streamRow = 0;  // the stream row the symbol was committed in
};

struct MorphShapeEntry {
  uint16_t wCharacterId = 0;
  uint16_t wStartItemNo = 0, wEndItemNo = 0;  // the exact road's two symbols
  std::vector<MorphVariant> variants;
  uint16_t wFillStyles = 0;
  std::vector<MorphFillStyle> pFillStyles;
  uint16_t wLineStyles = 0;
  std::vector<MorphLineStyle> pLineStyles;
  // Start run count n; pSegments holds the start runs, then the end runs
  // (at least 2n rows), start row j paired with row n + j.
  uint16_t wSegments = 0;
  std::vector<MorphSegmentData> pSegments;
  uint16_t wHints = 0;  // the decoder makes no hints
  std::vector<std::array<uint8_t, 20>> pHints;
  // The halves' edge records (no end byte counted) and their record counts.
  ShapeBlock pStartEdges, pEndEdges;
  uint16_t wStartEdgeCount = 0, wEndEdgeCount = 0;
  uint32_t endEdgeTotal = 0;  // end records as decoded, before any analysis
  // The most bytes its records take in the page of a shape tween of its
  // own, measured when the timeline builder first makes one.
  struct TweenRecordBytes {
    bool measured = false;
    uint64_t start = 0, end = 0, object = 0;  // each half's block, the morph object
  };
  TweenRecordBytes tweenRecords;
};

// The start (end false) or end values of a morph style as a plain style.
FillStyle MorphHalfFill(const MorphFillStyle& m, bool end);
LineStyle MorphHalfLine(const MorphLineStyle& m, bool end);

// The decoders take the body after the character id, the engine's offset
// block (six words, zeroed) and the tag code (46 or 84), and fill
// `entry` (whose character id the caller has set). False, with a warning,
// for a body they cannot take: the entry must then not be counted.
bool ConvertMorphShapeTag(ShapeContext& ctx, MorphShapeEntry& entry, std::span<const uint8_t> body,
                          const std::array<uint32_t, 6>& offsets, uint16_t tag);
// The decoding alone, for halves drawn by another road: the entry keeps the
// decoded streams and styles, no runs and no item numbers.
bool DecodeMorphShapeTag(ShapeContext& ctx, MorphShapeEntry& entry, std::span<const uint8_t> body,
                         const std::array<uint32_t, 6>& offsets, uint16_t tag);
// The same decoding, then each half as a shape symbol page ("fill") placed
// with the next item number; the entry keeps the decoded streams, the two
// item numbers and no runs.
bool ConvertMorphShapeTagExact(ShapeContext& ctx, MorphShapeEntry& entry,
                               std::span<const uint8_t> body, const std::array<uint32_t, 6>& offsets,
                               uint16_t tag);

}  // namespace tovrani
