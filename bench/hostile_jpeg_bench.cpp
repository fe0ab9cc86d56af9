// JPEGs whose scans ask libjpeg to walk a large image again and again for a
// few bytes each. Their pixels are charged once for the first ten scans and
// again for each further one, so time stays in proportion to the movie.
#include <random>

#include "hostile_movies.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

// A JPEG of 4096 x 4096 with a quantization table of ones and 999 scans
// that each walk every block of the first component for the bytes of
// `scan` (its header and data).
Bytes ManyScansJpeg(uint8_t frameMarker, uint8_t components, const Bytes& tables, const Bytes& scan) {
  Bytes j = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  j.insert(j.end(), 64, 1);
  j.insert(j.end(), {0xFF, frameMarker, 0, uint8_t(8 + 3 * components), 8, 0x10, 0, 0x10, 0, components});
  for (uint8_t c = 1; c <= components; ++c) j.insert(j.end(), {c, 0x11, 0});
  j.insert(j.end(), tables.begin(), tables.end());
  for (int s = 0; s < 999; ++s) j.insert(j.end(), scan.begin(), scan.end());
  j.insert(j.end(), {0xFF, 0xD9});
  return j;
}

// A Huffman table segment of one 1-bit code for `symbol`.
Bytes OneCodeTable(uint8_t tableClass, uint8_t symbol) {
  Bytes t = {0xFF, 0xC4, 0, 20, tableClass, 1};
  t.insert(t.end(), 15, 0);
  t.push_back(symbol);
  return t;
}

// Grey and progressive, no DC scan: each scan refines the whole AC band
// (Ss 1, Se 63, Ah 1, Al 0) through 16 end-of-band runs of 2^14 blocks (the
// 1-bit code of symbol 0xE0 and 14 zero bits), all 262,144 blocks.
Bytes RefinementScansJpeg() {
  Bytes scan = {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 1, 63, 0x10};
  scan.insert(scan.end(), 30, 0);
  return ManyScansJpeg(0xC2, 1, OneCodeTable(0x10, 0xE0), scan);
}

// Colour and baseline: each scan names the first component alone and holds
// no data, so libjpeg takes its blocks as cut short, one by one.
Bytes EmptyBaselineScansJpeg() {
  Bytes tables = OneCodeTable(0x00, 0);
  const Bytes ac = OneCodeTable(0x10, 0);
  tables.insert(tables.end(), ac.begin(), ac.end());
  return ManyScansJpeg(0xC0, 3, tables, {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0});
}

void Jpeg3(SwfWriter& w, uint16_t id, const Bytes& jpeg) {
  w.tag(35, SwfBytes().u16(id).u32(uint32_t(jpeg.size())).bytes(jpeg).data(), true);
}

// An unknown tag (code 777) of random bytes: what a movie holds that pays
// for pixels, and that zlib cannot pack.
void RandomBytes(SwfWriter& w, size_t n) {
  std::mt19937 random(11);
  Bytes bytes(n);
  for (uint8_t& b : bytes) b = uint8_t(random());
  w.tag(777, bytes, true);
}

// `count` copies of `jpeg`, each after `paid` random bytes, or all after
// the one lot of them when `oneLot`.
std::function<Bytes()> Jpegs(int count, const Bytes& jpeg, size_t paid, bool oneLot, bool compressed) {
  return [=] {
    SwfWriter w(8);
    if (oneLot && paid) RandomBytes(w, paid);
    for (int i = 1; i <= count; ++i) {
      if (!oneLot) RandomBytes(w, paid);
      Jpeg3(w, uint16_t(i), jpeg);
    }
    w.showFrame().end();
    return w.build(compressed);
  };
}

std::vector<Hostile> Movies() {
  const Bytes refinement = RefinementScansJpeg(), baseline = EmptyBaselineScansJpeg();
  const auto paidEach = [&](int n) { return Jpegs(n, refinement, 3584, false, false); };
  return {
      {"F_refinement_scans_cws", Jpegs(1, refinement, 0, true, true)},
      {"G_four_after_random_bytes_cws", Jpegs(4, refinement, 14336, true, true)},
      {"refinement_scans_paid/1", paidEach(1)},
      {"refinement_scans_paid/4", paidEach(4)},
      {"refinement_scans_paid/16", paidEach(16)},
      {"empty_baseline_scans_cws", Jpegs(1, baseline, 0, true, true)},
  };
}

const int kRegistered = RegisterHostileMovies("jpeg", Movies());

}  // namespace

}  // namespace tovrani::bench
