// Shapes whose analysis or building asks for far more work than their bytes
// hold: tall fills of many edges, rewrites that would restart the analysis,
// huge coordinates, nested curves for the exact search, the places that
// write per region or per style-table split, graphs of millions of edges,
// the sweeps and outline tables that grew with the square of a shape, and
// problem areas retraced into many outlines or many corners.
#include <algorithm>
#include <random>

#include "convert/converter_context.h"
#include "convert/engine.h"
#include "hostile_movies.h"
#include "shape/shape_test_support.h"

namespace tovrani::bench {

namespace {

using test::ShapeRecords;
using test::SwfBytes;
using test::SwfWriter;

// A stretch of `dy` twips in edges a record can hold, the last one slanted
// by `dx`: a triangle's two long sides then lie on one line up to its top,
// and its fill walks every row of them.
void Tall(ShapeRecords& r, int32_t dx, int32_t dy) {
  const int32_t pieces = (std::abs(dy) + 59999) / 60000;
  for (int32_t k = 0; k < pieces; ++k)
    r.Straight(k == pieces - 1 ? dx : 0, dy / pieces + (k == 0 ? dy % pieces : 0));
}

std::function<Bytes()> Shapes(int count, std::function<void(ShapeRecords&)> draw, bool compressed = false) {
  return [count, draw, compressed] {
    return RepeatedTagMovie(
        count, [&](SwfWriter& w, uint16_t id) { w.tag(22, OneFillOneLineShape(id, draw), true); }, compressed);
  };
}

// A filled zigzag of `edges` edges of (1, +-1) twips, closed along the
// bottom: a graph of as many points, all in two rows.
void Zigzag(ShapeRecords& r, int edges) {
  r.Change(std::pair(0, 0), 1u, std::nullopt, 0u);
  for (int i = 0; i < edges; ++i) r.Straight(1, i % 2 ? -1 : 1);
  for (int left = edges; left > 0; left -= 65535) r.Straight(-std::min(left, 65535), 0);
}

// Movie F: a filled zigzag of `edges` one-twip edges, then an unknown tag
// (code 777) of `random` random bytes, which zlib cannot pack.
std::function<Bytes()> ZigzagAndRandomBytes(int edges, size_t random, bool compressed) {
  return [=] {
    SwfWriter w(8);
    w.tag(22, test::OneFillOneLineShape(1, [edges](ShapeRecords& r) { Zigzag(r, edges); }), true);
    if (random) {
      std::mt19937 bits(11);
      Bytes noise(random);
      for (uint8_t& b : noise) b = uint8_t(bits());
      w.tag(777, noise, true);
    }
    w.showFrame().end();
    return w.build(compressed);
  };
}

// `count` horizontal lines 1,000 twips long, stacked 20 twips apart: every
// pair meets in the problem search's sweep, none overlaps.
void StackedLines(ShapeRecords& r, int count) {
  for (int i = 0; i < count; ++i) {
    r.Change(std::pair(0, 20 * i), std::nullopt, std::nullopt, i == 0 ? std::optional(1u) : std::nullopt);
    r.Straight(1000, 0);
  }
}

// `count` separate filled squares of 10 twips in rows of 1,000: as many
// outlines traced in one graph.
void SeparateSquares(ShapeRecords& r, int count) {
  for (int i = 0; i < count; ++i) {
    r.Change(std::pair(20 * (i % 1000), 20 * (i / 1000)), i == 0 ? std::optional(1u) : std::nullopt,
             std::nullopt, std::nullopt);
    r.Straight(10, 0).Straight(0, 10).Straight(-10, 0).Straight(0, -10);
  }
}

// A closed zigzag of `edges` edges `height` twips tall, then `pairs` pairs
// of repeated line runs: each removal was a pass that filled the zigzag
// again.
void ZigzagAndPairs(ShapeRecords& r, int edges, int height, int pairs) {
  r.Change(std::pair(0, 0), 1u, std::nullopt, 0u);
  for (int i = 0; i < edges; ++i) r.Straight(1, i % 2 ? -height : height);
  r.Straight(-edges, 0);
  r.Change(std::pair(edges + 100, 0), std::nullopt, std::nullopt, std::nullopt);
  r.Straight(10, 0).Straight(0, 10).Straight(-10, -10);
  for (int k = 0; k < pairs; ++k)
    for (int copy = 0; copy < 2; ++copy) {
      r.Change(std::pair(3 * (k / 200), height + 20 + 2 * (k % 200)), copy ? std::nullopt : std::optional(0u),
               std::nullopt, copy ? std::nullopt : std::optional(1u));
      r.Straight(2, 0);
    }
}

// A line run of `edges` one-twip edges, then `pairs` pairs of repeated runs.
void LongRunAndPairs(ShapeRecords& r, int edges, int pairs) {
  r.Change(std::pair(0, 0), 0u, std::nullopt, 1u);
  for (int i = 0; i < edges; ++i) r.Straight(1, 0);
  for (int k = 0; k < pairs; ++k)
    for (int copy = 0; copy < 2; ++copy) {
      r.Change(std::pair(0, 100 + 3 * k), std::nullopt, std::nullopt, std::nullopt);
      r.Straight(5, 0);
    }
}

// A filled triangle `height` twips tall and one twip wide.
void TallTriangle(ShapeRecords& r, int height) {
  r.Change(std::pair(0, -height / 2), 1u, std::nullopt, 0u);
  Tall(r, 1, height);
  r.Straight(-1, 0);
  Tall(r, 0, -height);
}

// `count` nested curves whose boxes all overlap: the exact search tests
// every pair.
void NestedCurves(ShapeRecords& r, int count) {
  for (int i = 1; i <= count; ++i) {
    const int w = 4 * i;
    if (i == 1)
      r.Change(std::pair(-w, 0), 1u, std::nullopt, 1u);
    else
      r.Change(std::pair(-w, 0), std::nullopt, std::nullopt, std::nullopt);
    r.Curve(w, 2 * w, w, -2 * w);
  }
}

// DefineMorphShape `id` whose halves are each one triangle `height` twips
// tall.
Bytes TallMorph(uint16_t id, int height) {
  SwfBytes styles;
  styles.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000).u8(0);
  const Bytes body = test::MorphBody(
      46, styles.data(), [height](ShapeRecords& r) { TallTriangle(r, height); },
      [height](ShapeRecords& r) {
        r.Change(std::pair(0, -height / 2), std::nullopt, std::nullopt, std::nullopt);
        Tall(r, 1, height);
        r.Straight(-1, 0);
        Tall(r, 0, -height);
      },
      1, 0);
  Bytes out = SwfBytes().u16(id).data();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// A 15-stop gradient fill.
void Gradient(SwfBytes& b) {
  b.u8(0x10).u8(0).u8(15);
  for (int i = 0; i < 15; ++i) b.u8(uint8_t(i * 17)).u8(uint8_t(i * 10)).u8(uint8_t(255 - i * 10)).u8(7).u8(255);
}

// DefineShape3 with `fills` gradient fills and `changes` style changes that
// each select two fresh ones (an object split off whenever 255 are used).
Bytes WideStyles(int fills, int changes) {
  SwfBytes b;
  b.u16(1).rect(0, 100, 0, 100).u8(0xFF).u16(uint16_t(fills));
  for (int i = 0; i < fills; ++i) Gradient(b);
  b.u8(0);
  unsigned bits = 0;
  while ((1u << bits) <= unsigned(fills)) ++bits;
  b.u8(uint8_t(bits << 4));
  ShapeRecords r{b, bits, 0};
  for (int c = 0; c < changes; ++c) r.Change(std::nullopt, 1u + (2 * c) % fills, 1u + (2 * c + 1) % fills, std::nullopt);
  r.End();
  SwfWriter w(8);
  w.tag(32, b.data(), true).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame().end();
  return w.build();
}

// DefineShape3 of `count` small overlapping triangles, their fills cycling
// through 255 gradients: the exact search writes one object per region.
Bytes OverlappingTriangles(int count) {
  SwfBytes b;
  b.u16(1).rect(0, 800, 0, 800).u8(0xFF).u16(255);
  for (int i = 0; i < 255; ++i) Gradient(b);
  b.u8(0).u8(0x80);
  ShapeRecords r{b, 8, 0};
  for (int i = 0; i < count; ++i) {
    r.Change(std::pair(7 * (i % 100), 7 * (i / 100)), 1u + i % 255, std::nullopt, std::nullopt);
    r.Straight(20, 0).Straight(-10, 20).Straight(-10, -20);
  }
  r.End();
  SwfWriter w(8);
  w.tag(32, b.data(), true).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame().end();
  return w.build();
}

void Exact(ConverterContext& ctx) { ctx.options.exactProblemSearch = 1; }
void Defaults(ConverterContext&) {}

// Grids retraced by the exact search, at three sizes, plain and compressed:
// over 400,000 twips the outlines are filled and set against each other at
// that size; over 256 twips the one-twip squares meet at their corners,
// which the tracer walks as one boundary of 130,000 corners.
void AddRetracedGrids(std::vector<Hostile>& movies) {
  for (const bool compressed : {false, true})
    for (const int count : {1, 4, 16}) {
      const std::string suffix = std::to_string(count) + (compressed ? "/cws" : "") + "/exact";
      movies.push_back({"retrace_outline_fills/" + suffix,
                        Shapes(count, [](ShapeRecords& r) { SelfCrossingGrid(r, 400000, 64); }, compressed), Exact});
      movies.push_back({"retrace_traced_corners/" + suffix,
                        Shapes(count, [](ShapeRecords& r) { SelfCrossingGrid(r, 256, 256); }, compressed), Exact});
    }
}

std::vector<Hostile> Movies() {
  std::vector<Hostile> movies = {
      {"zigzag_fill_and_pairs/400", Shapes(1, [](ShapeRecords& r) { ZigzagAndPairs(r, 2000, 33000, 400); })},
      {"zigzag_fill_and_pairs/100x3", Shapes(3, [](ShapeRecords& r) { ZigzagAndPairs(r, 2000, 33000, 100); })},
      {"zigzag_fill_and_pairs/400/exact", Shapes(1, [](ShapeRecords& r) { ZigzagAndPairs(r, 2000, 33000, 400); }),
       Exact},
      {"long_run_and_pairs/3400", Shapes(1, [](ShapeRecords& r) { LongRunAndPairs(r, 19000, 3400); })},
      {"tall_triangle/10", Shapes(10, [](ShapeRecords& r) { TallTriangle(r, 8000000); })},
      {"tall_triangle/10/exact", Shapes(10, [](ShapeRecords& r) { TallTriangle(r, 8000000); }), Exact},
      {"tall_morph/10", [] { return RepeatedTagMovie(10, [](SwfWriter& w, uint16_t id) { w.tag(46, TallMorph(id, 8000000), true); }); }},
      {"tall_morph/10/exact",
       [] { return RepeatedTagMovie(10, [](SwfWriter& w, uint16_t id) { w.tag(46, TallMorph(id, 8000000), true); }); },
       Exact},
      {"nested_curves/300/exact", Shapes(1, [](ShapeRecords& r) { NestedCurves(r, 300); }), Exact},
      {"nested_curves/300x3/exact", Shapes(3, [](ShapeRecords& r) { NestedCurves(r, 300); }), Exact},
      {"wide_style_tables/300x5000", [] { return WideStyles(300, 5000); }},
      {"correction_objects/2000/exact", [] { return OverlappingTriangles(2000); }, Exact},
      // Zigzags of many edges: compressed (2.4 KB and 10.8 KB files) and
      // uncompressed at three sizes, with the builder and without.
      {"zigzag/850000/compressed/exact", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 850000); }, true), Exact},
      {"zigzag/850000/compressed", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 850000); }, true)},
      // The 10.8 KB file declares 5.5 MB, more than it may inflate to.
      {"zigzag/4000000/compressed/exact", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 4000000); }, true), Exact,
       kResultInflatedTooShort},
      {"zigzag/4000000/compressed", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 4000000); }, true), Defaults,
       kResultInflatedTooShort},
      {"zigzag/100000/exact", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 100000); }), Exact},
      {"zigzag/300000/exact", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 300000); }), Exact},
      {"zigzag/900000/exact", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 900000); }), Exact},
      {"zigzag/100000", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 100000); })},
      {"zigzag/300000", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 300000); })},
      {"zigzag/900000", Shapes(1, [](ShapeRecords& r) { Zigzag(r, 900000); })},
      // Movie F, compressed (a file of 102 KB that inflates to 2 MB): its
      // bytes pay for far more than one object's cap, which alone bounds
      // what the zigzag's analysis or building holds. Uncompressed, the
      // zigzag fills files of 10 KB, 100 KB and 1 MB.
      {"F/1400000+random/cws", ZigzagAndRandomBytes(1400000, 100000, true)},
      {"F/1400000+random/cws/exact", ZigzagAndRandomBytes(1400000, 100000, true), Exact},
      {"F/7400/10KB", ZigzagAndRandomBytes(7400, 0, false)},
      {"F/7400/10KB/exact", ZigzagAndRandomBytes(7400, 0, false), Exact},
      {"F/74000/100KB", ZigzagAndRandomBytes(74000, 0, false)},
      {"F/74000/100KB/exact", ZigzagAndRandomBytes(74000, 0, false), Exact},
      {"F/760000/1MB", ZigzagAndRandomBytes(760000, 0, false)},
      {"F/760000/1MB/exact", ZigzagAndRandomBytes(760000, 0, false), Exact},
      {"stacked_lines/40000/exact", Shapes(1, [](ShapeRecords& r) { StackedLines(r, 40000); }), Exact},
      {"separate_squares/20000/exact", Shapes(1, [](ShapeRecords& r) { SeparateSquares(r, 20000); }), Exact},
  };
  AddRetracedGrids(movies);
  return movies;
}

const int kRegistered = RegisterHostileMovies("shape", Movies());

}  // namespace

}  // namespace tovrani::bench
