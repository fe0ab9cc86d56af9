// The working state of one fill-overlap analysis, shared by the pass loop,
// the region tests of neighbouring runs and the single-contour steps.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/path.h"
#include "platform/region.h"
#include "shape/builder/fill_overlap.h"
#include "shape/decode/encoded_shape.h"
#include "shape/geometry/edge_list.h"
#include "shape/geometry/edge_run_passes.h"
#include "shape/geometry/held_memory.h"
#include "shape/shape_work.h"

namespace tovrani {

struct OverlapAnalysis {
  OverlapAnalysis(ShapeContext& c, ShapeBlock& b)
      : ctx(c),
        block(b),
        budget(c.m_nShapeAnalysisBudget),
        memory(kShapeAnalysisCap, kAnalysedRecordBytes * std::min(b.recordCount, b.length)) {}

  ShapeContext& ctx;
  ShapeBlock& block;
  uint32_t readPos = 0;
  PenPosition pen;
  StyleBytes style{};
  EdgeRunPair runs;
  EdgeRunIndex runIndex;  // the object's runs seen so far in this pass
  uint8_t side = 1;
  EdgeList collected;
  bool openRun = false;
  // The lowest offset of a run whose bytes a test changed in place in this
  // pass without a rewrite (UINT32_MAX: none).
  uint32_t changedInPlace = UINT32_MAX;
  uint64_t budget;
  HeldMemory memory;
  // Cancel, spent budget, a record that does not fit or a value beyond 32
  // bits: the analysis ends with the block as the last rewrite left it.
  bool stopped = false;
  // The movie's allowance of shape work gave out: the block goes back as it
  // came.
  bool refused = false;

  // Spends work units, on the object's budget and the movie's allowance,
  // with what is owed for the memory held by then; false (and stopped) once
  // either is spent.
  bool Charge(uint64_t units) {
    units += memory.Owed(memory.Now());
    // What the movie's allowance cannot pay is refused before the object's
    // own budget is asked.
    if (units > ShapeWorkLeft(ctx)) {
      RefuseShapeWork(ctx);
      budget = 0;
      stopped = refused = true;
      return false;
    }
    if (units > budget) {
      budget = 0;
      stopped = true;
      return false;
    }
    TakeShapeWork(ctx, units);
    budget -= units;
    return true;
  }
  // What a fill may cost before the work is refused.
  uint64_t FillLimit() const { return std::min(budget, ShapeWorkLeft(ctx)); }
  void Note(LossyRewrite kind) {
    if (ctx.m_pLossyRewriteLog) ctx.m_pLossyRewriteLog->push_back(uint8_t(kind));
  }
  // A region filled from a path, its work (FillWork) charged. kError when
  // the budget is spent or the geometry layer refuses.
  RegionKind Fill(const Path& path, Region& out);
  RegionKind Widen(const Path& path, Region& out);
};

enum class Orientation { kNone, kClockwise, kCounterClockwise };

// A run drawn as an area: its items as a path (curves as cubics), the
// line-only tail of a filled run left out, closed by its chord.
Path RunAreaPath(const EdgeList& run);
// The first item whose two probe points at distance d lie one inside and
// one outside the area decides the orientation.
Orientation ProbeOrientation(const EdgeList& run, const Region& area, int32_t d);
// Some item's start point equals the end point of a later item.
bool IsClosedRun(const EdgeList& run);

// The region tests of the run just decoded (R) against the run before it
// (P); true when the block was rewritten (the pass ends).
bool TestRunPair(OverlapAnalysis& a, const EdgeList& p, const EdgeList& r);
// A stream of one run with its fill on its outside gets its two fill bytes
// exchanged.
void TestSingleContourFillSide(OverlapAnalysis& a, const EdgeList& r);
// At the end of a pass without a rewrite: edges that only retrace the first
// closed contour are dropped.
void RunClosingPass(OverlapAnalysis& a);

}  // namespace tovrani
