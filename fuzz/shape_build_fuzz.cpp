// libFuzzer target: arbitrary bytes as a shape object's edge records
// through the shape builder, step by step, with a style blob when the
// first byte is odd. The graph must stay consistent after every step and
// every analysed outline must run on from step to step, the block must come back either unchanged or rebuilt
// into records that read to its new length, with no sanitizer report and
// no hang.
// Seeds: fuzz/seeds/shape_build/ (tests/fuzz/fuzz_seeds_test.cpp makes them).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "convert/converter_context.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/shape_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrani;
  if (size > (1 << 16)) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  const std::vector<uint8_t> blobBytes = {0};
  const std::span<const uint8_t> blob =
      size && (data[0] & 1) ? std::span<const uint8_t>(blobBytes) : std::span<const uint8_t>();
  ConverterContext ctx;
  ctx.m_nBuildShapeBudget = 1 << 20;
  {
    ShapeBlock block(bytes, 0);
    ShapeBuilder b(ctx, block, blob, nullptr);
    using Outcome = ShapeBuilder::Outcome;
    Outcome o = b.Read();
    if (!b.graph.CheckInvariant().empty()) std::abort();
    if (o == Outcome::kGoOn) o = b.JoinStraightEdges();
    if (!b.graph.CheckInvariant().empty()) std::abort();
    if (o == Outcome::kGoOn) {
      b.MarkSides();
      o = b.TraceOutlines();
      if (!b.graph.CheckInvariant().empty()) std::abort();
    }
    if (o == Outcome::kGoOn) {
      o = b.AnalyseRegions();
      if (!b.graph.CheckInvariant().empty()) std::abort();
      for (const auto& r : b.regions)
        for (const Contour& c : r->contours)
          for (uint32_t k = 0; k + 1 < c.count(); ++k)
            if (b.graph.points[c.points[k]].edges[c.edges[k]].otherPoint != c.points[k + 1])
              std::abort();
      bool problem = false;
      if (o == Outcome::kGoOn) o = b.SearchEdgeProblems(problem);
      if (o == Outcome::kGoOn && !problem && !blob.empty()) o = b.SearchRegionProblems(problem);
      if (o == Outcome::kGoOn) b.TurnRegionsAround();
      if (!b.graph.CheckInvariant().empty()) std::abort();
    }
  }
  ShapeBlock block(bytes, 0);
  const ShapeBlock before = block;
  size_t countField = 0;
  g_bVectorizationProblem = 0;
  BuildShape(ctx, block, blob, nullptr, countField, nullptr);
  if (block.length >= block.bytes.size() || block.bytes[block.length] != 0) std::abort();
  if (g_bVectorizationProblem && (block.bytes != before.bytes || block.length != before.length))
    std::abort();
  size_t pos = 0;
  uint32_t records = 0;
  DecodedEdge e;
  if (block.bytes != before.bytes) {
    while (ReadEdgeRecord(block.counted(), pos, e)) ++records;
    if (pos != block.length || records != block.recordCount) std::abort();
  }
  return 0;
}
