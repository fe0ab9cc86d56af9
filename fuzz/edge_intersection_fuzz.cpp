// libFuzzer target: the edge intersection tests on arbitrary coordinates
// up to the range the shape builder admits (+-2^30). Every call answers,
// within the work budget, without a sanitizer report; the segment test
// does not depend on which segment is named first. Short inputs are padded
// with zeros, so every input reaches the tests and the fuzzer grows its
// inputs from the first run on.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "shape/geometry/edge_intersection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrani;
  int32_t v[12] = {};
  std::memcpy(v, data, size < sizeof v ? size : sizeof v);
  const uint8_t mode = size > sizeof v ? data[sizeof v] : 0;
  for (int32_t& x : v) x = int32_t(int64_t(x) % (int64_t{1} << 30));
  if (IntersectSegments(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]) !=
      IntersectSegments(v[2], v[3], v[0], v[1], v[6], v[7], v[4], v[5]))
    std::abort();
  ShapeGeometry geo;
  geo.budget = 1 << 20;
  IntersectEdges(geo, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11],
                 uint8_t(mode % 13));
  return 0;
}
