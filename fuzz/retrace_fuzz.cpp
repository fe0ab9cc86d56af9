// libFuzzer target: the retrace road on arbitrary input. The first byte
// picks the step: a cubic appended as quadratics, path records encoded as
// edge records and tested for crossings, or a region of rectangles painted
// and traced (up to the raster's area limit, also scaled). No sanitizer
// report, no hang, and the results keep their promises.
// Seeds: fuzz/seeds/retrace/ (tests/fuzz/fuzz_seeds_test.cpp makes them).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "convert/converter_context.h"
#include "shape/builder/cubic_to_quadratic.h"
#include "shape/builder/outline_crossing.h"
#include "shape/builder/path_record_list.h"
#include "shape/builder/retrace_region.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  int32_t I32() {
    int32_t v = 0;
    if (size >= 4) {
      std::memcpy(&v, data, 4);
      data += 4, size -= 4;
    }
    return v;
  }
  uint8_t U8() {
    if (!size) return 0;
    --size;
    return *data++;
  }
};

// The program charges the fills, tracing and crossing tests of this road
// to the shape's budget and the movie's allowance, and gives the shape up
// when they are spent. Here each input gets this much: the program's own
// budget would let one 128-byte input fill for seconds in the fuzz build,
// and work past this takes the same give-up road.
constexpr uint64_t kFuzzWork = uint64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrani;
  if (size < 1 || size > 4096) return 0;
  Input in{data + 1, size - 1};
  switch (data[0] % 3) {
    case 0: {
      PathRecordList list;
      list.Append(kPathMoveTo, 0, 0, in.I32(), in.I32());
      int32_t c[6];
      for (int32_t& v : c) v = in.I32();
      const int32_t n = AppendCubicAsQuadratics(list, c[0], c[1], c[2], c[3], c[4], c[5]);
      if (n != list.count() - 1 || n < 1) std::abort();
      break;
    }
    case 1: {
      PathRecordList list;
      while (in.size >= 17) {
        const int32_t kind = in.U8() % 3;
        list.Append(kind, in.I32(), in.I32(), in.I32(), in.I32());
      }
      const IntRect box{in.I32() % 100000, in.I32() % 100000, 0, 0};
      ShapeOutput out;
      uint32_t count = 0;
      list.noSideProbes = data[0] & 8;
      ShapeGeometry geo;
      geo.budget = kFuzzWork;
      list.EncodeRecordsAsEdges(box, out, count, geo);
      if (count > uint32_t(list.count())) std::abort();
      PathRecordList traced = list;
      TracedPathCrosses(traced);
      if (traced.count() > list.count()) std::abort();
      list.Simplify();
      break;
    }
    default: {
      // Rectangles within a box whose sides come from the first two bytes:
      // unscaled up to 256 x 256, scaled beyond.
      const int32_t w = 1 + in.U8() * (data[0] & 4 ? 8 : 1), h = 1 + in.U8();
      std::vector<IntRect> rects;
      while (in.size >= 4) {
        const int32_t x = in.U8() * w / 256, y = in.U8() * h / 256;
        rects.push_back({x, y, x + 1 + in.U8() * w / 512, y + 1 + in.U8() * h / 512});
      }
      ShapeRegion region;
      region.area.SetRects(rects);
      region.box = {0, 0, w, h};
      // The first contour: the box's outline.
      std::vector<ShapePoint> points(4);
      const int32_t xy[4][2] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
      region.contours.assign(1, Contour{});
      for (uint32_t i = 0; i < 4; ++i) {
        points[i].x = xy[i][0] * 256, points[i].y = xy[i][1] * 256;
        PointEdge e;
        e.endX = xy[(i + 1) % 4][0] * 256, e.endY = xy[(i + 1) % 4][1] * 256;
        e.otherPoint = (i + 1) % 4;
        e.curved = data[0] & 16 ? 1 : 0;
        e.controlDx = (e.endX - points[i].x) / 2 + 512;
        e.controlDy = (e.endY - points[i].y) / 2 - 512;
        points[i].edges.push_back(e);
        region.contours[0].Append(i, 0);
      }
      ConverterContext ctx;
      PathRecordList list;
      const int level = 4 + data[0] % 27;
      ShapeGeometry geo;
      geo.budget = kFuzzWork;
      const int result = RetraceRegion(ctx, list, region, points, level, nullptr, &geo);
      if (result < -1 || result > 1 || (result != 1 && list.count() != 0)) std::abort();
      ShapeOutput out;
      uint32_t count = 0;
      list.EncodeAsEdges(out, count, region, points, 2, geo);
      break;
    }
  }
  return 0;
}
