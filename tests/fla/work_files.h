// A converter context with its compound-file work files open as temporary
// files, as the engine's set-up leaves them.
#pragma once

#include <cstdio>
#include <vector>

#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "convert/converter_context.h"

namespace tovrani::test {

struct WorkFiles {
  ConverterContext ctx;
  WorkFiles() {
    ctx.m_pBigSectorFile = std::tmpfile();
    ctx.m_pMiniStreamFile = std::tmpfile();
    ctx.m_pMediaDirFile = std::tmpfile();
    ctx.m_pSymbolDirFile = std::tmpfile();
    ResetMiniFat(ctx);
  }
  ~WorkFiles() {
    for (std::FILE* f : {ctx.m_pBigSectorFile, ctx.m_pMiniStreamFile, ctx.m_pMediaDirFile,
                         ctx.m_pSymbolDirFile})
      if (f) std::fclose(f);
  }
  WorkFiles(const WorkFiles&) = delete;
  WorkFiles& operator=(const WorkFiles&) = delete;

  static std::vector<uint8_t> Contents(std::FILE* f) {
    std::vector<uint8_t> v;
    long pos = std::ftell(f);
    ReadWholeFile(f, v);
    std::fseek(f, pos, SEEK_SET);
    return v;
  }
  uint32_t MiniFatEntry(uint32_t i) const { return ctx.m_apMiniFatBlocks.at(i / 128)[i % 128]; }
};

inline uint32_t Le32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
}

// Bytes 0, 1, 2, ... of a given length, shifted by seed so streams differ.
inline std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 9));
  return v;
}

}  // namespace tovrani::test
