// libFuzzer target: arbitrary bytes as a shape object's edge records
// through the shape builder, step by step. The graph must stay consistent
// after every step, the block must come back either unchanged or rebuilt
// into records that read to its new length, with no sanitizer report and
// no hang.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "convert/converter_context.h"
#include "shape/build/build_shape.h"
#include "shape/build/shape_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrani;
  if (size > (1 << 16)) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  ConverterContext ctx;
  ctx.m_nBuildShapeBudget = 1 << 20;
  {
    ShapeBlock block(bytes, 0);
    ShapeBuilder b(ctx, block, {}, nullptr);
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
  }
  ShapeBlock block(bytes, 0);
  const ShapeBlock before = block;
  size_t countField = 0;
  g_bVectorizationProblem = 0;
  BuildShape(ctx, block, {}, nullptr, countField, nullptr);
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
