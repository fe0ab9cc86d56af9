// Bitmaps that declare more pixels than their data holds.
#include "hostile_movies.h"
#include "support/bitmap_data.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// DefineBitsLossless2 of 1925 x 34053 pixels (64 Mpixel), format 5, with
// the zlib data `data`.
void HollowLossless(SwfWriter& w, uint16_t id, const Bytes& data) {
  w.tag(36, SwfBytes().u16(id).u8(5).u16(1925).u16(34053).bytes(data).data());
}

// DefineBitsJPEG3 of `jpeg` and no alpha data.
void Jpeg3(SwfWriter& w, uint16_t id, const Bytes& jpeg) {
  w.tag(35, SwfBytes().u16(id).u32(uint32_t(jpeg.size())).bytes(jpeg).data(), true);
}

std::vector<Hostile> Movies() {
  const Bytes oneRow = test::Zlib(Bytes(1925 * 4, 0), 9);
  // A JPEG of its start, a frame header of 8000 x 8000 and its end.
  const Bytes frameOnly = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0x1F, 0x40, 0x1F, 0x40, 1, 1, 0x11, 0, 0xFF, 0xD9};
  const Bytes eightByEight = test::WithFrameSize(test::EncodeJpeg(test::QuadrantPixels(8), 8, 8), 8000, 8000);
  const auto lossless = [](int n, Bytes data) {
    return [n, data] { return RepeatedTagMovie(n, [&](SwfWriter& w, uint16_t id) { HollowLossless(w, id, data); }); };
  };
  const auto jpeg3 = [](int n, Bytes jpeg) {
    return [n, jpeg] { return RepeatedTagMovie(n, [&](SwfWriter& w, uint16_t id) { Jpeg3(w, id, jpeg); }); };
  };
  return {
      {"lossless_no_data/1", lossless(1, {})},
      {"lossless_no_data/40", lossless(40, {})},
      {"lossless_no_data/1000", lossless(1000, {})},
      {"lossless_one_row/5", lossless(5, oneRow)},
      {"jpeg3_frame_header_only/1", jpeg3(1, frameOnly)},
      {"jpeg3_8x8_scan/5", jpeg3(5, eightByEight)},
  };
}

const int kRegistered = RegisterHostileMovies("bitmap", Movies());

}  // namespace

}  // namespace tovrani::bench
