// Bitmaps that declare more pixels than their data holds, and bitmaps of
// one colour whose data is all there, which a compressed movie packs again.
#include <zlib.h>

#include <random>

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

// zlib data of `rows` rows of 8000 pixels of one colour, format 5.
Bytes OneColourRows(uint32_t rows) {
  const Bytes row(8000 * 4, 0xA0);
  z_stream z{};
  deflateInit(&z, 9);
  Bytes out(64 << 10);
  Bytes data;
  for (uint32_t r = 0; r < rows; ++r) {
    z.next_in = const_cast<Bytef*>(row.data());
    z.avail_in = uInt(row.size());
    const int flush = r + 1 == rows ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = out.data();
      z.avail_out = uInt(out.size());
      deflate(&z, flush);
      data.insert(data.end(), out.data(), z.next_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return data;
}

// One-colour DefineBitsLossless2 of 8000 pixels a row, all their data
// there: `whole` of 8000 rows, then one of `rows` rows; after `noise` bytes
// that no zlib packs.
Bytes OneColourMovie(int whole, uint32_t rows, bool compressed, size_t noise = 0) {
  const Bytes full = OneColourRows(8000), part = rows ? OneColourRows(rows) : Bytes();
  SwfWriter w(8);
  if (noise) {
    Bytes n(noise);
    std::mt19937 random(5);
    for (uint8_t& b : n) b = uint8_t(random());
    w.tag(87, SwfBytes().u16(100).u32(0).bytes(n).data(), true);
  }
  uint16_t id = 1;
  for (; id <= whole; ++id) w.tag(36, SwfBytes().u16(id).u8(5).u16(8000).u16(8000).bytes(full).data(), true);
  if (rows) w.tag(36, SwfBytes().u16(id).u8(5).u16(8000).u16(uint16_t(rows)).bytes(part).data(), true);
  return w.showFrame().end().build(compressed);
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
      // 448 Mpixel packed twice, beside 100 KB of noise that lets the file
      // inflate that far.
      {"lossless_one_colour_cws/7", [] { return OneColourMovie(7, 0, true, 100000); }},
      // Uncompressed, some 31 bytes a row.
      {"lossless_one_colour/10KB", [] { return OneColourMovie(0, 320, false); }},
      {"lossless_one_colour/100KB", [] { return OneColourMovie(0, 3200, false); }},
      {"lossless_one_colour/1MB", [] { return OneColourMovie(4, 1300, false); }},
  };
}

const int kRegistered = RegisterHostileMovies("bitmap", Movies());

}  // namespace

}  // namespace tovrani::bench
