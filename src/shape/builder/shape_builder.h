// The working state of one BuildShape call: the graph read from the block,
// the line-only edges, the traced regions and the work budget, with the
// steps that fill them in order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

#include "shape/builder/path_record_list.h"
#include "shape/builder/shape_graph.h"
#include "shape/decode/encoded_shape.h"
#include "shape/geometry/shape_region.h"
#include "shape/shape_context.h"

namespace tovrani {

class ShapeBuilder {
 public:
  ShapeBuilder(ShapeContext& ctx, ShapeBlock& block, std::span<const uint8_t> styleBlob,
               const StyleIndex* styles);

  // What a step leaves behind: go on, leave the block as it came (also on a
  // cancel), or abandon the shape (the block as it came, the flag raised).
  enum class Outcome { kGoOn, kLeave, kAbandon };

  // Reads the block into the graph: the records of every shape object of
  // it, further objects behind a 0 byte included (their heads and style
  // tables skipped), into one graph. A 0 byte that opens no object the
  // format level knows leaves the block as it came.
  Outcome Read();
  Outcome JoinStraightEdges();
  void MarkSides();
  Outcome TraceOutlines();
  // The analysis of the traced regions: open outlines of one fill joined
  // (the edges two of them share move to the line-edge list), areas inside
  // areas of their fill cut out, linked and ordered, open boundary
  // outlines joined end to end, outlines running inside one fill marked.
  Outcome AnalyseRegions();
  // The edge-pair stage of the problem search: `problem` set when two
  // edges cross or overlap where they may not.
  Outcome SearchEdgeProblems(bool& problem);
  // The region-pair stage (only with a style blob): `problem` set when the
  // areas of two regions overlap beyond their borders.
  Outcome SearchRegionProblems(bool& problem);
  // When every region was traced with its fill outside, all of them and
  // the graph's fill sides are turned around.
  void TurnRegionsAround();
  Outcome Rebuild();
  // Without a style blob: edges leaving a point within a degree of each
  // other are straightened or merged.
  Outcome RemoveNearCoincidentEdges();
  // Without a style blob, a shape with a problem: the graph is replaced by
  // the regions and strokes that can stay in one object (kLeave when
  // nothing can).
  Outcome RepairInGraph();
  // A shape with a problem and a style blob: written into the page as a
  // stack of shape objects (see correction_output.h).
  Outcome WriteCorrection(std::FILE* page, size_t& countFieldPos);

  ShapeContext& ctx;
  ShapeBlock& block;
  std::span<const uint8_t> styleBlob;
  const StyleIndex* styles;
  ShapeGraph graph;
  bool furtherObjects = false;  // Read met a further object behind a 0 byte
  LineEdgeList lineEdges;
  std::vector<std::unique_ptr<ShapeRegion>> regions;
  ShapeGeometry geo;  // the per-call budget, shared by every loop
  // Test seam: a retrace in place of RetraceRegion (same results).
  std::function<int(PathRecordList& list, const ShapeRegion& region, int level)> retrace;
  // Left by the analysis for the search and the correction: a region was
  // made by joining two open boundary outlines; an open outline was found
  // to enclose an interior.
  bool joinedRegionsFlag = false;
  bool interiorFoundFlag = false;

  bool Charge(uint64_t units) { return geo.Charge(units); }
  // A pair test of two regions: one unit, and one per banded rectangle of
  // each region it combines, so big regions cannot make a cheap pair slow.
  bool ChargePair(std::initializer_list<const Region*> combined) {
    uint64_t units = 1;
    for (const Region* r : combined) units += r->RectCount();
    return Charge(units);
  }
  // PumpMessages; true when the user asked to cancel.
  bool Pump();
  void Progress(uint32_t position);
  // A later loop over the regions: the sub bar starts again at 0 and the
  // progress pane is redrawn.
  void RestartSubBar();

 private:
  Outcome TraceRegion(uint32_t seedPoint, uint32_t seedEdge);
  bool FindSeed(uint32_t& point, uint32_t& edge);
  bool LineWidthZero(uint8_t line) const;
  Outcome JoinSameFillOutlines();
  Outcome NestAreas();
  Outcome JoinBoundaryOutlines();
  Outcome MarkInnerOutlines();
  // Progress at a region of an analysis loop; true when cancelled.
  bool AtRegion(uint32_t region);
  // Joins region j (walked backwards) and region i into i; false when the
  // geometry layer failed.
  bool JoinReversed(uint32_t i, uint32_t j);

  int64_t seedMark_ = -1;
  // Counts per point for tracing, zero between outlines: a table per
  // outline would cost every point of the graph for each one.
  std::vector<uint32_t> onPath_, regrowMarks_;
};

// Every step of BuildShape on a builder made for the call.
void RunShapeBuilder(ShapeBuilder& b, std::FILE* work, size_t& countFieldPos);

}  // namespace tovrani
