// Seed inputs of the shape builder's fuzz targets (fuzz/seeds/<target>/):
// small shapes with crossing edges, overlapping fills and curves, in the
// input form of each target, so that short fixed fuzz runs start on the
// retrace and correction roads instead of searching for them. The seeds
// are made here and checked against the files; after a change, write them
// again with
//   TOVRANI_WRITE_FUZZ_SEEDS=1 build/tovrani_tests --gtest_filter=FuzzSeeds.*
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "convert/converter_context.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/retrace_region.h"
#include "shape/builder/shape_builder.h"
#include "shape/decode/define_shape.h"
#include "shape/shape_test_support.h"
#include "support/temp_dir.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

using Seeds = std::map<std::string, std::vector<uint8_t>>;  // file name -> bytes

// A shape's records, in twips, with the styles set at the first move.
struct Figure {
  std::function<void(ShapeRecords&)> records;
};

// Fill 1 red, fill 2 blue, line 1 two twips black.
std::vector<uint8_t> ShapeBody(uint16_t tag, int32_t size, const Figure& f) {
  SwfBytes b;
  b.rect(0, size, 0, size);
  const bool alpha = tag == 32;
  b.u8(2);
  b.u8(0x00).u8(0xFF).u8(0).u8(0);
  if (alpha) b.u8(0xFF);
  b.u8(0x00).u8(0).u8(0).u8(0xFF);
  if (alpha) b.u8(0x80);
  b.u8(1).u16(40).u8(0).u8(0).u8(0);
  if (alpha) b.u8(0xFF);
  b.u8(0x21);  // two fill index bits, one line index bit
  ShapeRecords r{b, 2, 1};
  f.records(r);
  r.End();
  return b.data();
}

// The shapes, each scaled by `s` twips per unit.
Figure BowTie(int32_t s) {
  return {[s](ShapeRecords& r) {
    r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
    r.Straight(10 * s, 10 * s).Straight(0, -10 * s).Straight(-10 * s, 10 * s).Straight(0, -10 * s);
  }};
}
Figure OverlappingSquares(int32_t s) {
  return {[s](ShapeRecords& r) {
    r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
    r.Straight(10 * s, 0).Straight(0, 10 * s).Straight(-10 * s, 0).Straight(0, -10 * s);
    r.Change(std::pair(5 * s, 5 * s), std::nullopt, 2u, 1u);
    r.Straight(10 * s, 0).Straight(0, 10 * s).Straight(-10 * s, 0).Straight(0, -10 * s);
  }};
}
// A square closed by a curve that bulges out through its right side.
Figure CurveThroughSide(int32_t s) {
  return {[s](ShapeRecords& r) {
    r.Change(std::pair(0, 0), std::nullopt, 1u, 1u);
    r.Straight(10 * s, 0).Straight(0, 10 * s).Straight(-10 * s, 0);
    r.Curve(25 * s, -5 * s, -25 * s, -5 * s);
  }};
}
// A thin hairpin of curves lying over a square of the other fill.
Figure HairpinOverSquare(int32_t s) {
  return {[s](ShapeRecords& r) {
    r.Change(std::pair(2 * s, 2 * s), std::nullopt, 2u, std::nullopt);
    r.Straight(6 * s, 0).Straight(0, 6 * s).Straight(-6 * s, 0).Straight(0, -6 * s);
    r.Change(std::pair(0, 4 * s), std::nullopt, 1u, std::nullopt);
    r.Curve(12 * s, -1 * s, 0, 2 * s).Curve(-12 * s, 1 * s, 0, -1 * s).Straight(0, -1 * s);
  }};
}

struct Named {
  const char* name;
  Figure figure;
  int32_t size;
};
std::vector<Named> Figures() {
  // At 8 twips a unit the boxes are traced as they are; at 40 their
  // rasters are scaled down.
  return {{"bow_tie", BowTie(8), 80},
          {"bow_tie_scaled", BowTie(40), 400},
          {"overlapping_squares", OverlappingSquares(8), 120},
          {"overlapping_squares_scaled", OverlappingSquares(40), 600},
          {"curve_through_side", CurveThroughSide(8), 200},
          {"hairpin_over_square", HairpinOverSquare(10), 120}};
}

// The correction target: a mode byte (tag and format level), then the body.
Seeds CorrectionSeeds() {
  Seeds out;
  uint8_t level = 0;
  for (const Named& n : Figures()) {
    const uint8_t tagPick = level & 1;  // DefineShape or DefineShape2
    const uint16_t tag = tagPick ? 22 : 2;
    std::vector<uint8_t> bytes{uint8_t(level % 3 << 2 | tagPick)};
    const std::vector<uint8_t> body = ShapeBody(tag, n.size, n.figure);
    bytes.insert(bytes.end(), body.begin(), body.end());
    out[n.name] = bytes;
    ++level;
  }
  return out;
}

// The shape build target: a block of edge records (fill style 1 and 2);
// an odd first byte brings a style blob along.
Seeds ShapeBuildSeeds() {
  using Style = EdgeWriter::Style;
  constexpr int64_t U = 256 * 20;  // a twip is 256 units
  Seeds out;
  EdgeWriter tie;
  tie.Polygon({{0, 0}, {10 * U, 10 * U}, {10 * U, 0}, {0, 10 * U}}, Style{0, 0, 1});
  out["bow_tie"] = tie.bytes();
  EdgeWriter squares;
  squares.Polygon({{0, 0}, {10 * U, 0}, {10 * U, 10 * U}, {0, 10 * U}}, Style{0, 0, 1});
  squares.Polygon({{5 * U, 5 * U}, {15 * U, 5 * U}, {15 * U, 15 * U}, {5 * U, 15 * U}}, Style{1, 0, 2});
  out["overlapping_squares"] = squares.bytes();
  EdgeWriter curve;
  curve.Run(0, 0, Style{1, 0, 1}).Line(10 * U, 0).Line(10 * U, 10 * U).Line(0, 10 * U);
  curve.Curve(25 * U, 5 * U, 0, 0);
  out["curve_through_side"] = curve.bytes();
  return out;
}

void PutI32(std::vector<uint8_t>& out, int32_t v) {
  uint8_t b[4];
  std::memcpy(b, &v, 4);
  out.insert(out.end(), b, b + 4);
}

// The retrace target: a step byte, then a cubic (step 0), path records
// (step 1) or rectangles of a region to trace (step 2).
Seeds RetraceSeeds() {
  Seeds out;
  auto cubic = [](std::initializer_list<int32_t> v) {
    std::vector<uint8_t> b{0};
    for (int32_t x : v) PutI32(b, x);
    return b;
  };
  out["cubic_out_and_back"] = cubic({0, 0, 100, -20, 100, 50, 0, 30});
  out["cubic_hairpin"] = cubic({0, 0, 400, 0, 400, 6, 0, 6});
  std::vector<uint8_t> eight{1};
  const int32_t records[][5] = {{2, 0, 0, 0, 0},  {0, 0, 0, 10, 10}, {0, 0, 0, 20, 20},
                                {0, 0, 0, 20, 0}, {1, 15, 5, 10, 10}, {0, 0, 0, 0, 20},
                                {0, 0, 0, 0, 0}};
  for (const auto& r : records) {
    eight.push_back(uint8_t(r[0]));
    for (int k = 1; k < 5; ++k) PutI32(eight, r[k]);
  }
  PutI32(eight, 3);
  PutI32(eight, 7);
  out["records_figure_eight"] = eight;
  // Two 10 x 10 squares joined diagonally through one pixel, in a 40 x 40
  // box: unscaled, and with the box 8 times as wide and curved sides
  // (scaled, painted from its outline).
  for (const uint8_t step : {uint8_t(2), uint8_t(2 | 4 | 16)}) {
    std::vector<uint8_t> b{step, 39, 39};
    const uint8_t rects[][4] = {{13, 13, 116, 116}, {77, 77, 0, 0}, {84, 84, 116, 116}};
    b.reserve(b.size() + sizeof rects);
    for (const auto& r : rects) b.insert(b.end(), r, r + 4);
    out[step == 2 ? "region_squares_bridged" : "region_squares_bridged_scaled"] = b;
  }
  return out;
}

std::vector<uint8_t> MorphStyles() {
  SwfBytes b;
  b.u8(2);
  b.u8(0).u32(0xFF0000FF).u32(0xFFFF0000);
  b.u8(0).u32(0xFF00FF00).u32(0xFF00FF00);
  b.u8(1).u16(20).u16(40).u32(0xFF000000).u32(0xFFFFFFFF);
  return b.data();
}

// Start: two overlapping squares of fills 1 and 2; end: the same moved
// apart. 200 twips a side.
std::vector<uint8_t> OverlappingMorph(uint16_t tag) {
  auto squares = [](int32_t apart) {
    return [apart](ShapeRecords& r) {
      if (r.fillBits) r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
      else r.Change(std::pair(0, 0), std::nullopt, std::nullopt, std::nullopt);
      r.Straight(200, 0).Straight(0, 200).Straight(-200, 0).Straight(0, -200);
      if (r.fillBits) r.Change(std::pair(100 + apart, 100), std::nullopt, 2u, 1u);
      else r.Change(std::pair(100 + apart, 100), std::nullopt, std::nullopt, std::nullopt);
      r.Straight(200, 0).Straight(0, 200).Straight(-200, 0).Straight(0, -200);
    };
  };
  return MorphBody(tag, MorphStyles(), squares(0), squares(300));
}

// The morph target: a mode byte (tag, level, road, search), then the body.
Seeds MorphSeeds() {
  Seeds out;
  const std::pair<const char*, uint8_t> modes[] = {
      {"overlapping_heuristic_off", 0}, {"overlapping_exact_road", 4}, {"overlapping_level2", 2}};
  for (const auto& [name, mode] : modes) {
    std::vector<uint8_t> b{mode};
    const std::vector<uint8_t> body = OverlappingMorph(46);
    b.insert(b.end(), body.begin(), body.end());
    out[name] = b;
  }
  return out;
}

// The engine target: small movies placing those shapes, with one byte after
// the end tag that picks "Heuristic Problem Search" off (the last byte of
// an input is its mode).
Seeds EngineSeeds() {
  Seeds out;
  auto movie = [](const std::vector<std::vector<uint8_t>>& shapes, bool morph) {
    SwfWriter w(8, 2000, 2000);
    uint16_t id = 1;
    for (const std::vector<uint8_t>& body : shapes) {
      SwfBytes t;
      t.u16(id).bytes(body);
      w.tag(22, t.data());
      SwfBytes place;  // PlaceObject2: character at depth id
      place.u8(0x02).u16(id).u16(id);
      w.tag(26, place.data());
      ++id;
    }
    if (morph) {
      SwfBytes t;
      t.u16(id).bytes(OverlappingMorph(46));
      w.tag(46, t.data());
      for (uint16_t ratio : {0, 65535}) {
        SwfBytes place;  // character, ratio
        place.u8(ratio ? 0x11 : 0x12).u16(id);
        if (!ratio) place.u16(id);
        place.u16(ratio);
        w.tag(26, place.data());
        w.showFrame();
      }
    } else {
      w.showFrame();
    }
    std::vector<uint8_t> bytes = w.end().build();
    bytes.push_back(1);
    const uint32_t length = uint32_t(bytes.size());
    std::memcpy(&bytes[4], &length, 4);
    return bytes;
  };
  const std::vector<Named> f = Figures();
  out["crossing_shapes"] = movie({ShapeBody(22, f[0].size, f[0].figure), ShapeBody(22, f[4].size, f[4].figure)}, false);
  out["overlapping_shapes"] = movie({ShapeBody(22, f[3].size, f[3].figure), ShapeBody(22, f[5].size, f[5].figure)}, false);
  out["overlapping_morph"] = movie({}, true);
  return out;
}

const std::map<std::string, Seeds>& AllSeeds() {
  static const std::map<std::string, Seeds> all = {{"correction", CorrectionSeeds()},
                                                   {"shape_build", ShapeBuildSeeds()},
                                                   {"retrace", RetraceSeeds()},
                                                   {"morph_shape", MorphSeeds()},
                                                   {"engine", EngineSeeds()}};
  return all;
}

TEST(FuzzSeeds, FilesAreWhatTheGeneratorMakes) {
  const std::filesystem::path root = std::filesystem::path(TOVRANI_SOURCE_DIR) / "fuzz" / "seeds";
  const bool write = std::getenv("TOVRANI_WRITE_FUZZ_SEEDS") != nullptr;
  for (const auto& [target, seeds] : AllSeeds()) {
    const std::filesystem::path dir = root / target;
    if (write) {
      std::filesystem::remove_all(dir);
      std::filesystem::create_directories(dir);
    }
    for (const auto& [name, bytes] : seeds) {
      EXPECT_LE(bytes.size(), 1024u) << target << "/" << name << ": seeds stay small";
      const std::string path = (dir / name).string();
      if (write) WriteFileBytes(path, bytes);
      EXPECT_EQ(ReadFileBytes(path), bytes) << path;
    }
    size_t files = 0;
    if (std::filesystem::is_directory(dir))
      for (const auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, seeds.size()) << dir << " holds seeds the generator does not make";
  }
}

// The shape seeds, built with "Heuristic Problem Search" off, reach the
// correction road (written as stacks) and retrace regions there, both
// unscaled and scaled.
TEST(FuzzSeeds, ShapesReachTheCorrectionAndRetraceRoads) {
  static size_t stacks, retraced, scaled;
  stacks = retraced = scaled = 0;
  for (const auto& [name, bytes] : AllSeeds().at("correction")) {
    ConverterContext ctx;
    ctx.m_nFlaFormat = (bytes[0] >> 2) % 3;
    ctx.m_bShapesOn = 1;
    ctx.options.heuristicProblemSearch = 0;
    ctx.m_pBuildShapeHook = [](ShapeContext& c, ShapeBlock& block, std::span<const uint8_t> blob,
                               std::FILE* work, size_t& countFieldPos, const StyleIndex* styles) {
      const uint32_t length = block.length;
      ShapeBuilder b(c, block, blob, styles);
      b.retrace = [&](PathRecordList& list, const ShapeRegion& region, int level) {
        ++retraced;
        RetraceSize size;
        if (SizeRetraceRaster(c, int64_t(region.box.right) - region.box.left,
                              int64_t(region.box.bottom) - region.box.top, size) &&
            size.scaled)
          ++scaled;
        return RetraceRegion(c, list, region, b.graph.span(), level);
      };
      RunShapeBuilder(b, work, countFieldPos);
      if (length && block.length == 0) ++stacks;
    };
    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(f);
    const uint32_t tag = bytes[0] & 1 ? 22 : 2;
    EXPECT_TRUE(BuildShapePage(ctx, tag, std::span(bytes).subspan(1), f, 1).ok) << name;
    std::fclose(f);
  }
  EXPECT_GE(stacks, 4u);
  EXPECT_GT(retraced, 0u);
  EXPECT_GT(scaled, 0u);
  EXPECT_LT(scaled, retraced);
}

}  // namespace
}  // namespace tovrani::test
