// Glyph outlines of font tags decoded into edge records.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "shape/decode/encoded_shape.h"
#include "shape/decode/font_glyphs.h"
#include "shape/shape_test_support.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;
using Bytes = std::vector<uint8_t>;

// One glyph's shape: the index-width byte, then the records `draw` writes.
Bytes Glyph(const std::function<void(ShapeRecords&)>& draw) {
  SwfBytes b;
  b.u8(0x10);
  ShapeRecords r{b, 1, 0};
  draw(r);
  r.End();
  return b.data();
}

// An offset table (16- or 32-bit entries) followed by the glyphs; `end` gets
// where the last glyph ends.
Bytes Font(const std::vector<Bytes>& glyphs, bool wide, uint32_t& end) {
  const uint32_t width = wide ? 4 : 2;
  Bytes out;
  uint32_t offset = uint32_t(glyphs.size()) * width;
  for (const Bytes& g : glyphs) {
    for (uint32_t i = 0; i < width; ++i) out.push_back(uint8_t(offset >> (8 * i)));
    offset += uint32_t(g.size());
  }
  for (const Bytes& g : glyphs) out.insert(out.end(), g.begin(), g.end());
  end = uint32_t(out.size());
  return out;
}

std::vector<GlyphShape> Decode(const std::vector<Bytes>& glyphs, bool wide = false) {
  uint32_t end = 0;
  const Bytes data = Font(glyphs, wide, end);
  std::vector<GlyphShape> out(glyphs.size());
  DecodeFontGlyphs(wide ? 48 : 10, data, end, uint16_t(glyphs.size()), out);
  return out;
}

struct EdgeCase {
  const char* name;
  std::function<void(ShapeRecords&)> draw;
  Bytes edges;
  uint32_t records;
  int32_t box[4];  // minX, minY, maxX, maxY
};

TEST(FontGlyphs, RecordsFormsAndBoxes) {
  constexpr int32_t E = kEmptyGlyphMin, F = kEmptyGlyphMax;
  const EdgeCase cases[] = {
      {"50,-100", [](ShapeRecords& r) { r.Straight(50, -100); }, {0x10, 0x00, 0x32, 0x00, 0x9C}, 1,
       {50, -100, 50, -100}},
      {"127,0", [](ShapeRecords& r) { r.Straight(127, 0); }, {0x10, 0x00, 0x7F, 0x00, 0x00}, 1,
       {127, 0, 127, 0}},
      {"128,0", [](ShapeRecords& r) { r.Straight(128, 0); }, {0x30, 0x00, 0x01, 0x00, 0x00}, 1,
       {128, 0, 128, 0}},
      {"200,0", [](ShapeRecords& r) { r.Straight(200, 0); }, {0x30, 0x90, 0x01, 0x00, 0x00}, 1,
       {200, 0, 200, 0}},
      {"16384,0", [](ShapeRecords& r) { r.Straight(16384, 0); },
       {0x20, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00}, 1, {16384, 0, 16384, 0}},
      {"move with new fill",
       [](ShapeRecords& r) { r.Change(std::pair(5, 5), 1u, std::nullopt, std::nullopt).Straight(10, 0); },
       {0xD1, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x0A, 0x00, 0x00}, 1, {15, 5, 15, 5}},
      {"two moves",
       [](ShapeRecords& r) {
         r.Change(std::pair(5, 5), std::nullopt, std::nullopt, std::nullopt);
         r.Change(std::pair(20, 30), std::nullopt, std::nullopt, std::nullopt).Straight(1, 0);
       },
       {0xD1, 0x00, 0x00, 0x00, 0x00, 0x14, 0x00, 0x1E, 0x00, 0x01, 0x00, 0x00}, 1, {21, 30, 21, 30}},
      {"new styles: move from the origin",
       [](ShapeRecords& r) {
         r.Straight(100, 0);
         r.Change(std::pair(3, 0), std::nullopt, std::nullopt, std::nullopt, true).Straight(0, 1);
       },
       {0x10, 0x00, 0x64, 0x00, 0x00, 0xD1, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x01},
       2, {3, 0, 100, 1}},
      {"zero-length edge extends the box and keeps the move",
       [](ShapeRecords& r) {
         r.Change(std::pair(5, 5), std::nullopt, std::nullopt, std::nullopt).Straight(0, 0).Straight(10, 0);
       },
       {0xD1, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x0A, 0x00, 0x00}, 1, {5, 5, 15, 5}},
      {"zero curve is written", [](ShapeRecords& r) { r.Curve(0, 0, 0, 0); },
       {0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 1, {0, 0, 0, 0}},
      {"curve: anchor from the start, control points outside the box",
       [](ShapeRecords& r) { r.Curve(10, 300, 10, -300); },
       {0x1C, 0x14, 0x00, 0x58, 0x02, 0x00, 0x14, 0x00, 0x00}, 1, {20, 0, 20, 0}},
      {"empty glyph", [](ShapeRecords&) {}, {}, 0, {E, E, F, F}},
      {"move of 40000 before a short edge: no short form",
       [](ShapeRecords& r) { r.Change(std::pair(40000, 0), std::nullopt, std::nullopt, std::nullopt).Straight(1, 0); },
       {0xF2, 0x00, 0x00, 0x00, 0x00, 0x40, 0x9C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00},
       1, {40001, 0, 40001, 0}},
      {"move of 200 before a long edge",
       [](ShapeRecords& r) { r.Change(std::pair(200, 0), std::nullopt, std::nullopt, std::nullopt).Straight(20000, 0); },
       {0xE3, 0x00, 0x00, 0x00, 0x90, 0x01, 0x00, 0x00, 0x00, 0x20, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x00}, 1,
       {20200, 0, 20200, 0}},
  };
  for (const EdgeCase& c : cases) {
    for (bool wide : {false, true}) {
      const auto out = Decode({Glyph(c.draw), Glyph(c.draw)}, wide);
      for (const GlyphShape& g : out) {
        EXPECT_EQ(g.edges, c.edges) << c.name << (wide ? " (32-bit offsets)" : "");
        EXPECT_EQ(g.recordCount, c.records) << c.name;
        EXPECT_EQ((std::array{g.minX, g.minY, g.maxX, g.maxY}),
                  (std::array{c.box[0], c.box[1], c.box[2], c.box[3]}))
            << c.name;
      }
    }
  }
}

TEST(FontGlyphs, CutGlyphsEndInsideTheirData) {
  const Bytes whole = Glyph([](ShapeRecords& r) { r.Straight(100, 0).Straight(0, 100).Straight(-100, -100); });
  // Edges of 16, 16 and 23 bits after the width byte and the 2-byte table:
  // an end before the third edge's flags drops it, one inside its
  // coordinates keeps it with the bits read.
  uint32_t end = 0;
  Bytes data = Font({whole}, false, end);
  std::vector<GlyphShape> out(1);
  DecodeFontGlyphs(10, data, end - 4, 1, out);
  EXPECT_EQ(out[0].recordCount, 2u);
  DecodeFontGlyphs(10, data, end - 2, 1, out);
  EXPECT_EQ(out[0].recordCount, 3u);
  // A start at or past the end, and an end beyond the data, read nothing outside.
  data[0] = 0xFF;
  DecodeFontGlyphs(10, data, end, 1, out);
  EXPECT_EQ(out[0].recordCount, 0u);
  EXPECT_TRUE(out[0].length() == 0);
  DecodeFontGlyphs(10, std::span(data).first(1), 1000, 1, out);
  EXPECT_EQ(out[0].recordCount, 0u);
  // A glyph count of 0 touches nothing.
  out[0].recordCount = 77;
  DecodeFontGlyphs(10, data, end, 0, out);
  EXPECT_EQ(out[0].recordCount, 77u);
}

// Mutated glyph data never leads outside the buffer (the sanitizers watch),
// and what comes out is always a well-formed edge stream of recordCount records.
TEST(FontGlyphs, MutatedDataGivesWellFormedRecords) {
  std::vector<Bytes> glyphs;
  for (int i = 0; i < 4; ++i)
    glyphs.push_back(Glyph([i](ShapeRecords& r) {
      r.Change(std::pair(300 * i, -7), 1u, std::nullopt, std::nullopt, i == 2);
      r.Straight(400, 0).Curve(-50, 90, 200, 3000).Straight(0, -30000);
      r.Change(std::pair(1 << 20, 5), std::nullopt, 1u, 0u).Curve(1, 1, -1, -1);
    }));
  for (bool wide : {false, true}) {
    uint32_t end = 0;
    const Bytes original = Font(glyphs, wide, end);
    std::mt19937 rng(wide ? 7 : 3);
    for (int round = 0; round < 3000; ++round) {
      Bytes data = original;
      const int flips = 1 + int(rng() % 6);
      for (int k = 0; k < flips; ++k) data[rng() % data.size()] = uint8_t(rng());
      const size_t size = rng() % 4 ? data.size() : rng() % (data.size() + 1);
      const uint32_t claimedEnd = rng() % 3 ? end : uint32_t(rng());
      Bytes exact(data.begin(), data.begin() + long(size));  // ASan guards the end
      std::vector<GlyphShape> out(glyphs.size());
      DecodeFontGlyphs(wide ? 48 : 10, exact, claimedEnd, uint16_t(glyphs.size()), out);
      for (const GlyphShape& g : out) {
        Bytes stream = g.edges;
        stream.push_back(0);
        const auto extent = MeasureEdgeStream(stream);
        ASSERT_TRUE(extent.has_value()) << "round " << round;
        ASSERT_EQ(extent->records, g.recordCount) << "round " << round;
        ASSERT_EQ(extent->endPos, g.length());
      }
    }
  }
}

}  // namespace
}  // namespace tovrani
