// libFuzzer target: arbitrary bytes as a DefineShape body (after its
// character id) built into a page with "Heuristic Problem Search" off, so
// that shapes with crossing edges or overlapping fills are written as
// stacks of objects. The first byte picks the tag and the format level.
// No sanitizer report, no hang, and a page that reports itself written
// ends where its file ends.
// Seeds: fuzz/seeds/correction/ (tests/fuzz/fuzz_seeds_test.cpp makes them).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "convert/converter_context.h"
#include "shape/decode/define_shape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrani;
  if (size < 1 || size > (1 << 16)) return 0;
  const uint8_t mode = data[0];
  static const uint32_t kTags[] = {2, 22, 32, 83};
  const std::vector<uint8_t> body(data + 1, data + size);
  ConverterContext ctx;
  ctx.m_nFlaFormat = (mode >> 2) % 3;
  ctx.m_bShapesOn = 1;
  ctx.options.heuristicProblemSearch = 0;
  ctx.m_nBuildShapeBudget = 1 << 20;
  ctx.m_nShapeAnalysisBudget = 1 << 18;
  std::FILE* page = std::tmpfile();
  if (!page) return 0;
  g_bVectorizationProblem = 0;
  const ShapePageResult r = BuildShapePage(ctx, kTags[mode & 3], body, page, 1);
  if (r.ok) {
    const long at = std::ftell(page);
    if (at < 0 || std::fseek(page, 0, SEEK_END) != 0 || std::ftell(page) != at) std::abort();
  }
  std::fclose(page);
  g_bVectorizationProblem = 0;
  return 0;
}
