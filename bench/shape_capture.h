// The objects that a DefineShape of a real movie hands to the analysis, as
// the page assembly passes them: block, single-sided flag, style blob and
// style index. Empty when the movie or the shape is absent.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "convert/converter_context.h"
#include "fla/file_helpers.h"
#include "shape/decode/define_shape.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"

namespace tovrani::bench {

struct CapturedObject {
  ShapeBlock block;
  uint32_t singleSided = 0;
  std::vector<uint8_t> styleBlob;
  StyleIndex styles;
};

inline std::vector<CapturedObject>& Captured() {
  static std::vector<CapturedObject> objects;
  return objects;
}

inline void Capture(ShapeContext&, ShapeBlock& block, uint32_t singleSided,
                    std::span<const uint8_t> blob, std::FILE*, size_t&, const StyleIndex* styles) {
  Captured().push_back({block, singleSided, {blob.begin(), blob.end()}, styles ? *styles : StyleIndex{}});
}

inline std::vector<CapturedObject> ShapeObjectsOf(const std::string& path, uint16_t id) {
  std::vector<uint8_t> file;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    ReadWholeFile(f, file);
    std::fclose(f);
  }
  if (file.size() < 8 || file[1] != 'W' || file[2] != 'S') return {};
  std::vector<uint8_t> body(file.begin() + 8, file.end());
  if (file[0] == 'C') InflateZlibToVector(std::span(file).subspan(8), 64u << 20, body);
  SwfReader r(body);
  SwfRect frame;
  ReadSwfRect(r, frame);
  r.skip(4);
  TagHeader h;
  while (r.ok() && r.tagHeader(h) && h.code != 0 && h.length <= r.remaining()) {
    const std::span<const uint8_t> tag = r.take(h.length);
    if ((h.code == 2 || h.code == 22 || h.code == 32 || h.code == 83) && tag.size() > 2 &&
        (tag[0] | tag[1] << 8) == id) {
      ConverterContext ctx;
      ctx.m_nFlaFormat = file[3] < 7 ? 0 : file[3] == 7 ? 1 : 2;
      ctx.m_bShapesOn = 1;
      ctx.m_pAnalyzeFillOverlaps = &Capture;
      Captured().clear();
      std::FILE* page = std::tmpfile();
      if (!page) return {};
      BuildShapePage(ctx, h.code, tag.subspan(2), page, 1);
      std::fclose(page);
      return Captured();
    }
  }
  return {};
}

inline std::string CorpusPath(const std::string& relative) {
  const char* dir = std::getenv("TOVRANI_CORPUS");
  return std::string(dir ? dir : "../shared/corpus") + "/" + relative;
}

}  // namespace tovrani::bench
