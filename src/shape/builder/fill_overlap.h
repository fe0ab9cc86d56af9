// The gate between the shape decoders and the shape builder: every encoded
// shape object passes through AnalyzeFillOverlaps, which removes its
// zero-length edges and then, by the problem-search mode, builds it anew,
// leaves it, or rewrites it in place (the fill overlap analysis).
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "shape/decode/encoded_shape.h"
#include "shape/shape_context.h"

namespace tovrani {

// Rewrites that change what a shape draws, as the test seam
// ShapeContext::m_pLossyRewriteLog records them.
enum class LossyRewrite : uint8_t {
  kOverlapMerge = 1,   // runs whose areas overlap or nest merged; one geometry kept
  kLineOnLine = 2,     // a line run lying on another one of a different style removed
  kRetraceRemoved = 3, // edges retracing the first contour dropped
  kNestingFix = 4,     // a morph half's inner contour given the outer fill
};

// Deletes the records after a run's first one that carry no style bytes and
// whose anchor is (0, 0) in form 1, whatever their control delta. A 0 byte
// that opens no further shape object ends the data that is looked at.
void RemoveZeroEdges(ShapeContext& ctx, ShapeBlock& block, uint32_t singleSided);

// Zero-length edges go first. With "Heuristic Problem Search" off the
// object goes to BuildShape; on, a single-sided object is rewritten in place
// (a block with length 0 after it means nothing is to be written back).
void AnalyzeFillOverlaps(ShapeContext& ctx, ShapeBlock& block, uint32_t singleSided,
                         std::span<const uint8_t> styleBlob, std::FILE* work,
                         size_t& countFieldPos, const StyleIndex* styles);

// One half of a morph shape, with ShapeContext::m_bMorphAnalysis set to 1
// around the analysis. With the heuristic mode off the half goes to
// BuildShape without a style blob or a work stream: repaired inside the
// builder's graph when it has a problem, and rebuilt.
void AnalyzeMorphShapeHalf(ShapeContext& ctx, ShapeBlock& block, uint32_t singleSided);

}  // namespace tovrani
