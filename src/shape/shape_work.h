// The movie's allowance of shape work (MovieBudget::shapeWork), shared by
// the fill-overlap analysis and the shape builder of every shape and morph
// half. Each object's own cap bounds one object; this one bounds the movie,
// whose objects would otherwise each refill a cap of their own. The shape
// the allowance gives out on is refused: its analysis ends as on its own
// cap, and every later object is written as decoded, as "No Problem Search"
// writes it. The first refused shape is named; the closing line counts the
// rest.
#pragma once

#include <cstdint>

#include "shape/shape_context.h"

namespace tovrani {

// What a shape's records hold while they are worked on, charged per record
// before the work starts, so that the allowance bounds memory as well as
// time. The builder's graph holds some 500 bytes an edge (its two entries,
// its point, the tables that find them, its steps in the outlines), and
// looking its points up in tables larger than the caches takes the time of
// some 40 units; 128 units an edge keep the fixed part's graph near 1 GB.
constexpr uint64_t kGraphEdgeWork = 128;
// The analysis holds some 250 bytes a record of a run it fills (the run's
// items, the path and the filler's edges).
constexpr uint64_t kAnalysedRecordWork = 32;
// A step of an outline entered into a hash table or looked up in one, with
// the allocation of its entry: tables larger than the caches miss on it.
constexpr uint64_t kHashedStepWork = 8;

// A shape or morph shape starts: refusals from here on are its own.
void BeginShapeWork(ShapeContext& ctx, uint16_t tag, uint16_t id);
// What may still be taken (UINT64_MAX while no movie budget is set).
uint64_t ShapeWorkLeft(const ShapeContext& ctx);
// Takes `units`; false when the allowance cannot give them, and the
// current shape is refused.
bool TakeShapeWork(ShapeContext& ctx, uint64_t units);
// The current shape is refused (once per shape, the first one named).
void RefuseShapeWork(ShapeContext& ctx);
// Whether an object of the current shape may be analysed: not once the
// allowance is spent (the shape is refused then).
bool MayAnalyseShape(ShapeContext& ctx);

// The name of a shape or morph shape tag, as messages give it.
const char* ShapeTagName(uint16_t tag);

}  // namespace tovrani
