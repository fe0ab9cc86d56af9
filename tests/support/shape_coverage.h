// What an encoded shape object draws, per style, as pixel regions: an
// independent model for checking that rewrites of the edge records keep the
// drawing. A fill covers the even-odd area of the edges that carry it on
// exactly one side (each edge closed through the point (0, 0), so closed
// boundaries leave their inside, and an open one draws the same whatever
// other records the object holds or in which order); a line covers the 1-unit band of its
// edges. Styles are told apart by their records' bytes, not their indexes.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "platform/region.h"
#include "shape/decode/encoded_shape.h"
#include "support/bytes_less.h"

namespace tovrani::test {

struct ShapeCoverage {
  std::map<std::vector<uint8_t>, Region, BytesLess> fills, lines;
  bool ok = true;  // every record decoded and every region built
  Region band;     // the band along every edge, when asked for
};

// `edges` runs up to the end byte (or its end); `styles` gives the records
// the indexes stand for (without it the index itself is the key).
// With `bandWidth` the band of that width along every edge goes to `band`.
ShapeCoverage CoverageOf(std::span<const uint8_t> edges, const StyleIndex* styles = nullptr,
                         int bandWidth = 0);

// What a stack of objects draws together: per style the union of what
// each draws (the bands united too).
ShapeCoverage StackedCoverage(const std::vector<ShapeCoverage>& objects);

// Pixels in which the two differ, per style ("fill"/"line" and the key in
// hex); empty when both draw the same.
// `outside` keeps only the pixels outside that region.
std::map<std::string, int64_t> CoverageDifference(const ShapeCoverage& a, const ShapeCoverage& b,
                                                  const Region* outside = nullptr);

}  // namespace tovrani::test
