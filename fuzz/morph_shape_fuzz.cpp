// libFuzzer target: arbitrary bytes as a morph body (after its character
// id) through both morph decoders and both zero-alpha walks. The first byte
// picks the tag, the format level, the road and the search mode; the
// entry must come back consistent, with no sanitizer report and no hang.
// Seeds: fuzz/seeds/morph_shape/ (tests/fuzz/fuzz_seeds_test.cpp makes them).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "convert/converter_context.h"
#include "fla/stream_placement.h"
#include "fla/work_folder.h"
#include "shape/decode/morph_shape.h"
#include "shape/decode/zero_alpha.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 16)) return 0;
  const uint8_t mode = data[0];
  std::vector<uint8_t> body(data + 1, data + size);
  const uint16_t tag = mode & 1 ? 84 : 46;
  tovrani::ConverterContext ctx;
  ctx.m_nFlaFormat = mode & 2 ? 2 : 0;
  ctx.m_nShapeAnalysisBudget = 1 << 18;
  ctx.options.heuristicProblemSearch = mode & 8 ? 1 : 0;
  tovrani::MorphShapeEntry entry;
  if (mode & 4) {
    tovrani::WorkFolder folder;
    if (!folder.create()) return 0;
    ctx.m_pWorkFolder = &folder;
    ctx.m_pBigSectorFile = std::tmpfile();
    ctx.m_pMiniStreamFile = std::tmpfile();
    ctx.m_pMediaDirFile = std::tmpfile();
    ctx.m_pSymbolDirFile = std::tmpfile();
    tovrani::ResetMiniFat(ctx);
    if (tovrani::ConvertMorphShapeTagExact(ctx, entry, body, {}, tag) && ctx.m_nStreams != 2) std::abort();
    for (std::FILE* f : {ctx.m_pBigSectorFile, ctx.m_pMiniStreamFile, ctx.m_pMediaDirFile, ctx.m_pSymbolDirFile})
      if (f) std::fclose(f);
  } else if (tovrani::ConvertMorphShapeTag(ctx, entry, body, {}, tag)) {
    if (entry.pSegments.size() < 2u * entry.wSegments) std::abort();
  }
  std::vector<uint8_t> copy = body;
  tovrani::FixMorphZeroAlpha(copy);
  tovrani::FixZeroAlpha(body);
  return 0;
}
