// libFuzzer target: arbitrary bytes as a shape object's edge records through
// the fill overlap analysis. The first byte picks the format level, the
// morph-half road and the single-sided flag; the block must come back with
// its 0 byte behind its length, with no sanitizer report and no hang.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "convert/converter_context.h"
#include "shape/builder/fill_overlap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 16)) return 0;
  const uint8_t mode = data[0];
  tovrani::ConverterContext ctx;
  ctx.m_nFlaFormat = mode & 1 ? 2 : 0;
  ctx.m_nShapeAnalysisBudget = 1 << 18;
  const uint32_t singleSided = mode & 4 ? 0 : 1;
  std::vector<uint8_t> bytes(data + 1, data + size);
  if (mode & 2) {
    tovrani::ShapeBlock block(bytes, mode >> 3);
    tovrani::AnalyzeMorphShapeHalf(ctx, block, singleSided);
    if (block.length >= block.bytes.size() || block.bytes[block.length] != 0 || ctx.m_bMorphAnalysis)
      std::abort();
    return 0;
  }
  tovrani::ShapeBlock block(bytes, mode >> 3);
  size_t countField = 0;
  tovrani::AnalyzeFillOverlaps(ctx, block, singleSided, {}, nullptr, countField, nullptr);
  if (block.length >= block.bytes.size() || block.bytes[block.length] != 0) std::abort();
  return 0;
}
