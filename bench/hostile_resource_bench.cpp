// The bounds on processor time and memory, lowered for the benchmark: a
// conversion past either stops soon after it, with its time and peak
// memory, beside the same movie under the usual bounds.
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "hostile_movies.h"
#include "shape/shape_test_support.h"
#include "support/bitmap_data.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// One 8192 x 8192 DefineBitsLossless2 (64 Mpixel, the cap) holding its
// first row, after 50 KB the converter passes over that pay for its pixels.
Bytes CapBitmapMovie() {
  constexpr uint16_t kSide = 8192;
  SwfWriter w(8);
  w.tag(87, SwfBytes().u16(100).u32(0).bytes(Bytes(50000, 0)).data());
  w.tag(36, SwfBytes().u16(1).u8(5).u16(kSide).u16(kSide).bytes(test::Zlib(Bytes(4 * kSide, 0x80), 9)).data(), true);
  return w.showFrame().end().build();
}

// A filled zigzag of 300,000 edges: the shape builder's graph holds some
// 180 MB of heap.
Bytes ZigzagMovie() {
  SwfWriter w(8);
  w.tag(22, test::OneFillOneLineShape(1, [](test::ShapeRecords& r) {
    r.Change(std::pair(0, 0), 1u, std::nullopt, 0u);
    for (int i = 0; i < 300000; ++i) r.Straight(1, i % 2 ? -1 : 1);
    for (int left = 300000; left > 0; left -= 65535) r.Straight(-std::min(left, 65535), 0);
  }), true);
  return w.showFrame().end().build();
}

ResourceRates Time(uint64_t fixedNs) {
  ResourceRates r;
  r.timeFixedNs = fixedNs;
  r.timeNsPerFileByte = r.builderTimeNsPerFileByte = 0;
  return r;
}

ResourceRates Heap(uint64_t fixed) {
  ResourceRates r;
  r.heapFixedBytes = fixed;
  r.heapBytesPerFileByte = 0;
  return r;
}

void Defaults(ConverterContext&) {}
void Exact(ConverterContext& ctx) { ctx.options.exactProblemSearch = 1; }

const int registered = RegisterHostileMovies(
    "resource", {
                    // A long busy timeline (100 depths moved in 2,000 frames),
                    // then stopped after 100 ms of processor time.
                    {"moved_squares_100x2000", [] { return test::MovedSquaresMovie(100, 2000); }},
                    {"moved_squares_100x2000/time_100ms", [] { return test::MovedSquaresMovie(100, 2000); },
                     Defaults, kResultTooMuchTime, Time(100 * 1000 * 1000)},
                    // The builder's graph, and the same past 32 MiB of heap
                    // (a periodic reading).
                    {"zigzag_300000/exact", ZigzagMovie, Exact},
                    {"zigzag_300000/exact/heap_32MiB", ZigzagMovie, Exact, kResultTooMuchMemory, Heap(32 << 20)},
                    // A bitmap at the cap, and the same with a bound of 64 MiB
                    // its buffer asks past.
                    {"lossless_64mpixel", CapBitmapMovie},
                    {"lossless_64mpixel/heap_64MiB", CapBitmapMovie, Defaults, kResultTooMuchMemory,
                     Heap(64 << 20)},
                });

}  // namespace

}  // namespace tovrani::bench
