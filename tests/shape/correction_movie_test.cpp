// Shapes with crossing edges or overlapping fills through the program with
// the builder on: written as stacks of shape objects on layers, every count
// field matching its records, the same document on every run.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/program_runner.h"
#include "shape/shape_test_support.h"
#include "support/bytes_less.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/temp_dir.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;
using P = std::pair<int32_t, int32_t>;

// A DefineShape with fills 1 (red) and 2 (blue) and line 1 (two twips).
std::vector<uint8_t> Shape(uint16_t id, const std::function<void(ShapeRecords&)>& draw) {
  SwfBytes b;
  b.u16(id).rect(0, 4000, 0, 4000);
  b.u8(2).u8(0).u8(255).u8(0).u8(0).u8(0).u8(0).u8(0).u8(255);
  b.u8(1).u16(40).u8(0).u8(0).u8(0);
  b.u8(0x21);
  ShapeRecords r{b, 2, 1};
  draw(r);
  r.End();
  return b.data();
}

void Square(ShapeRecords& r, int32_t x, int32_t y, uint32_t fill, std::optional<uint32_t> line) {
  r.Change(P(x, y), 0u, fill, line);
  r.Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(0, -1000);
}

std::vector<uint8_t> Movie(uint8_t version) {
  const std::vector<std::vector<uint8_t>> shapes = {
      Shape(1, [](ShapeRecords& r) {
        Square(r, 0, 0, 1, std::nullopt);
        Square(r, 500, 500, 2, std::nullopt);
      }),
      Shape(2, [](ShapeRecords& r) {
        Square(r, 0, 0, 1, 1u);
        Square(r, 500, 500, 2, 1u);
      }),
      Shape(3, [](ShapeRecords& r) {  // a bow tie
        r.Change(P(0, 0), 0u, 1u, std::nullopt);
        r.Straight(1600, 1600).Straight(0, -1600).Straight(-1600, 800).Straight(0, -800);
      }),
      Shape(4, [](ShapeRecords& r) {  // an X with a fill on one side
        r.Change(P(0, 0), std::nullopt, 1u, std::nullopt).Straight(1000, 1000);
        r.Change(P(1000, 0), std::nullopt, 1u, std::nullopt).Straight(-1000, 1000);
      }),
      Shape(5, [](ShapeRecords& r) {  // a bow tie of equal lobes beside a square
        r.Change(P(0, 0), 0u, 1u, std::nullopt);
        r.Straight(1600, 1600).Straight(0, -1600).Straight(-1600, 1600).Straight(0, -1600);
        Square(r, 2000, 0, 2, std::nullopt);
      }),
  };
  test::SwfWriter w(version);
  for (const auto& s : shapes) w.tag(2, s);
  uint16_t depth = 1;
  for (const auto& s : shapes) {
    const uint16_t id = uint16_t(s[0] | s[1] << 8);
    w.tag(26, SwfBytes().u8(0x06).u16(depth++).u16(id).matrix(5000 * (id - 1), 0));
  }
  w.showFrame().end();
  return w.build();
}

class CorrectionMovie : public ::testing::TestWithParam<int> {};

TEST_P(CorrectionMovie, ProblemShapesComeOutAsStacks) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), Movie(version));
  auto convert = [&](const std::string& name, std::vector<std::string> options, bool asks = true) {
    const std::string fla = dir.file(name + ".fla");
    std::vector<std::string> args = {"-q", dir.file("in.swf"), "-o", fla};
    args.insert(args.end(), options.begin(), options.end());
    const test::ProgramRun run = test::RunProgram(args, dir.file("config"));
    EXPECT_EQ(run.status, 0) << run.output;
    // The X: nothing of it can be written, so it stays as decoded and the
    // user is told.
    EXPECT_EQ(run.output.find("vectorization") != std::string::npos, asks) << run.output;
    return test::ExpectReadableDocument(fla);
  };
  const auto decoded = convert("decoded", {"--set", "No Problem Search=on"}, false);
  const std::vector<std::vector<std::string>> modes = {
      {"--set", "Heuristic Problem Search=off"},
      {"--set", "Exact Problem Search / Vectorization=on"},  // no shape listed
  };
  for (size_t m = 0; m < modes.size(); ++m) {
    SCOPED_TRACE(m);
    const auto streams = convert("stack" + std::to_string(m), modes[m]);
    EXPECT_TRUE(test::PageWalksClean(streams.at("Page 1")));
    std::map<uint16_t, std::vector<uint32_t>> counts;
    for (uint16_t id = 1; id <= 5; ++id) {
      const std::string name = "Symbol " + std::to_string(id);
      ASSERT_TRUE(streams.count(name)) << name;
      const std::vector<uint8_t>& page = streams.at(name);
      EXPECT_TRUE(test::PageWalksClean(page, test::ShapeEdgeSpans(page, level))) << name;
      EXPECT_TRUE(test::CheckShapePage(page, level, id, &counts[id])) << name;
    }
    EXPECT_EQ(counts[1], (std::vector<uint32_t>{4, 4}));
    EXPECT_EQ(counts[2], (std::vector<uint32_t>{4, 4, 4, 4}));
    ASSERT_EQ(counts[3].size(), 1u);
    EXPECT_GE(counts[3][0], 4u);
    EXPECT_EQ(streams.at("Symbol 4"), decoded.at("Symbol 4"));
    // Both fills of the bow tie's shape, each in an object of its own.
    std::set<std::vector<uint8_t>, test::BytesLess> fills;
    for (const auto& o : test::ShapeObjects(streams.at("Symbol 5"), level)) {
      EXPECT_EQ(o.styles.fills.size(), 1u);
      fills.insert(o.styles.fills.begin(), o.styles.fills.end());
    }
    EXPECT_EQ(fills.size(), 2u);
    const auto again = convert("again" + std::to_string(m), modes[m]);
    for (uint16_t id = 1; id <= 5; ++id) {
      const std::string name = "Symbol " + std::to_string(id);
      EXPECT_EQ(streams.at(name), again.at(name)) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, CorrectionMovie, ::testing::Values(6, 8));

}  // namespace
}  // namespace tovrani
