// The shape converters' state: the shape being converted and the cache of
// finished shapes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "media/media_context.h"

namespace tovrani {

struct ShapeContext;
struct ShapeBlock;
struct StyleIndex;
class ShapeGraph;

// Set by the shape builder when it abandons a shape; the tag loop asks the
// user about it once the tag's pass is over.
extern uint8_t g_bVectorizationProblem;

// The analysis of one shape object's edge records (ShapeBlock) on its way
// into a page, and the builder behind it: block, single-sided flag (the
// analysis only), style blob, the page's work file and count-field
// position, the object's StyleIndex. A morph half passes no blob, file or
// index.
using AnalyzeFillOverlapsFn = void (*)(ShapeContext& ctx, ShapeBlock& block, uint32_t singleSided,
                                       std::span<const uint8_t> styleBlob, std::FILE* work,
                                       size_t& countFieldPos, const StyleIndex* styles);
using BuildShapeFn = void (*)(ShapeContext& ctx, ShapeBlock& block,
                              std::span<const uint8_t> styleBlob, std::FILE* work,
                              size_t& countFieldPos, const StyleIndex* styles);
// The analysis of one morph half (no blob, file or index).
using AnalyzeMorphShapeHalfFn = void (*)(ShapeContext& ctx, ShapeBlock& block,
                                         uint32_t singleSided);

// The work units one object's analysis, and one object's building, may
// spend by default (the caps below); what their work holds is priced from
// these (shape_work.h).
constexpr uint64_t kShapeAnalysisCap = uint64_t{1} << 26;
constexpr uint64_t kBuildShapeCap = uint64_t{1} << 28;

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

  // The analysis the shape decoders hand each object to; the driver sets
  // it (the decoders do not reach the analysis themselves).
  AnalyzeFillOverlapsFn m_pAnalyzeFillOverlaps = nullptr;
  AnalyzeMorphShapeHalfFn m_pAnalyzeMorphShapeHalf = nullptr;
  uint32_t m_bMorphAnalysis = 0;  // 1 while a morph half is analysed
  // Work units one object's analysis may spend: one per record decoded,
  // item compared, and polygon corner or edge row of a fill (FillWork),
  // and what it holds (shape_work.h). Spent, the analysis stops as on a
  // cancel.
  uint64_t m_nShapeAnalysisBudget = kShapeAnalysisCap;
  // Largest raster a problem-area retrace paints, set at every retrace.
  int32_t m_nRetraceMaxPixels = 65536;
  // Work units of the shape builder: per outline traced (tracing rounds,
  // edges examined, steps copied or stored) and the candidate steps made
  // for it, and per BuildShape call over all its loops, the work of its
  // region fills and bands (FillWork) and what it holds. Spent, the shape
  // is abandoned.
  uint64_t m_nOutlineTraceBudget = uint64_t{64} << 20;
  uint64_t m_nCandidateStepBudget = uint64_t{16} << 20;
  uint64_t m_nBuildShapeBudget = kBuildShapeCap;
  // The shape being charged to the movie's allowance of shape work (tag
  // code and character id, for the message), and whether it was refused
  // (see shape_work.h).
  uint16_t m_wShapeWorkTag = 0;
  uint16_t m_wShapeWorkId = 0;
  uint8_t m_bShapeWorkRefused = 0;
  // Test seams: a builder in place of BuildShape, a look at the builder's
  // graph before it is written back, and a log of the rewrites that change
  // what a shape draws (LossyRewrite values).
  BuildShapeFn m_pBuildShapeHook = nullptr;
  void (*m_pShapeGraphSeam)(ShapeGraph& graph) = nullptr;
  std::vector<uint8_t>* m_pLossyRewriteLog = nullptr;
};

}  // namespace tovrani
