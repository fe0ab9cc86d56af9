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
#include "support/corpus.h"
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

// The first tag of a movie that `pick` accepts, given the movie's version,
// the tag's code and its body; false when the movie or no such tag is there.
template <typename Pick>
bool FindMovieTag(const std::string& path, Pick pick) {
  std::vector<uint8_t> file;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    ReadWholeFile(f, file);
    std::fclose(f);
  }
  if (file.size() < 8 || file[1] != 'W' || file[2] != 'S') return false;
  std::vector<uint8_t> body(file.begin() + 8, file.end());
  if (file[0] == 'C') InflateZlibToVector(std::span(file).subspan(8), 64u << 20, body);
  SwfReader r(body);
  SwfRect frame;
  ReadSwfRect(r, frame);
  r.skip(4);
  TagHeader h;
  while (r.ok() && r.tagHeader(h) && h.code != 0 && h.length <= r.remaining()) {
    const std::span<const uint8_t> tag = r.take(h.length);
    if (pick(file[3], h.code, tag)) return true;
  }
  return false;
}

inline std::vector<CapturedObject> ShapeObjectsOf(const std::string& path, uint16_t id) {
  std::vector<CapturedObject> objects;
  FindMovieTag(path, [&](uint8_t version, uint16_t code, std::span<const uint8_t> tag) {
    if (!(code == 2 || code == 22 || code == 32 || code == 83) || tag.size() <= 2 ||
        (tag[0] | tag[1] << 8) != id)
      return false;
    ConverterContext ctx;
    ctx.m_nFlaFormat = version < 7 ? 0 : version == 7 ? 1 : 2;
    ctx.m_bShapesOn = 1;
    ctx.m_pAnalyzeFillOverlaps = &Capture;
    Captured().clear();
    if (std::FILE* page = std::tmpfile()) {
      BuildShapePage(ctx, code, tag.subspan(2), page, 1);
      std::fclose(page);
      objects = Captured();
    }
    return true;
  });
  return objects;
}

// A corpus movie by its name below the corpus; empty when the corpus (found
// as the tests find it, TOVRANI_SHARED_DIR overriding) does not hold it.
inline std::string CorpusPath(const std::string& relative) {
  for (const test::CorpusMovie& m : test::CorpusMovies())
    if (m.name == relative) return m.path.string();
  return {};
}

}  // namespace tovrani::bench
