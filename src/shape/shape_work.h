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

// A shape's records are charged before the work on them starts: the
// builder's graph 128 units an edge (looking its points up in tables larger
// than the caches takes the time of some 40), the analysis 32 a record.
// The rates of the movie's allowance were measured with these.
constexpr uint64_t kGraphEdgeWork = 128;
constexpr uint64_t kAnalysedRecordWork = 32;
// What one object's work holds at once is charged too (HeldMemory), priced
// from its default cap (shape_context.h) so that an object at its cap
// holds at most 200 MiB: past the free 32 MiB, a unit for every 2.6 bytes
// in the analysis and 1.5 units a byte in the builder. From the start it
// holds so much a record: the analysis some 250 bytes (the items of its
// two runs, of the runs collected and of the copies kept to resume a pass,
// their index and a run's path: 110 to 190 measured), the builder some 300
// an edge (its two entries, its point, the tables that find them, its
// steps in the outlines and their paths: 290 measured). Regions and fills
// are counted as they are made.
constexpr uint64_t kAnalysedRecordBytes = 250;
constexpr uint64_t kGraphEdgeBytes = 300;
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
