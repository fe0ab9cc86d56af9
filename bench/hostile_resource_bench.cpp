// The bounds on processor time and memory, lowered for the benchmark: a
// conversion past either stops soon after it, with its time and peak
// memory, beside the same movie under the usual bounds.
#include "convert/engine.h"
#include "hostile_movies.h"
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

const int registered = RegisterHostileMovies(
    "resource", {
                    // A long busy timeline (100 depths moved in 2,000 frames),
                    // then stopped after 100 ms of processor time, and where
                    // its tables pass 8 MiB of heap (a periodic reading).
                    {"moved_squares_100x2000", [] { return test::MovedSquaresMovie(100, 2000); }},
                    {"moved_squares_100x2000/time_100ms", [] { return test::MovedSquaresMovie(100, 2000); },
                     Defaults, kResultTooMuchTime, Time(100 * 1000 * 1000)},
                    {"moved_squares_100x2000/heap_8MiB", [] { return test::MovedSquaresMovie(100, 2000); },
                     Defaults, kResultTooMuchMemory, Heap(8 << 20)},
                    // A bitmap at the cap, and the same with a bound of 64 MiB
                    // its buffer asks past.
                    {"lossless_64mpixel", CapBitmapMovie},
                    {"lossless_64mpixel/heap_64MiB", CapBitmapMovie, Defaults, kResultTooMuchMemory,
                     Heap(64 << 20)},
                });

}  // namespace

}  // namespace tovrani::bench
