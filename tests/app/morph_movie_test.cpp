// Morph shapes through the program: the roads the options choose, each
// giving a document the independent readers take.
#include <gtest/gtest.h>

#include "app/program_runner.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

std::vector<uint8_t> MorphTag(uint16_t id) {
  SwfBytes s;
  s.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000);
  s.u8(1).u16(20).u16(60).u32(0xFF000000).u32(0xFFFFFFFF);
  auto square = [](int side) {
    return [side](ShapeRecords& r) {
      r.Change(std::pair(0, 0), std::nullopt, 1u, 1u);
      r.Straight(side, 0).Straight(0, side).Curve(-side / 2, side / 2, -side / 2, -side / 2).Straight(0, -side);
    };
  };
  const auto body = test::MorphBody(46, s.data(), square(1000), [](ShapeRecords& r) {
    r.Straight(2000, 0).Straight(0, 2000).Straight(-2000, 0).Straight(0, -2000);
  });
  std::vector<uint8_t> out = SwfBytes().u16(id).data();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

class MorphMovie : public ::testing::TestWithParam<int> {};

TEST_P(MorphMovie, EveryRoadGivesADocumentTheReadersTake) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  test::SwfWriter w(version);
  w.tag(46, MorphTag(1));
  w.tag(26, SwfBytes().u8(0x16).u16(1).u16(1).matrix(0, 0).u16(0).data()).showFrame();
  w.tag(26, SwfBytes().u8(0x15).u16(1).matrix(0, 0).u16(30000).data()).showFrame().end();
  test::TempDir dir;
  const std::vector<uint8_t> movie = w.build();
  test::WriteFileBytes(dir.file("in.swf"), movie);

  const struct {
    const char* name;
    std::vector<std::string> options;
    bool pages;
  } roads[] = {
      {"Decoded", {}, false},
      {"ExactBuilt", {"--set", "Exact Problem Search / Vectorization=on", "--set", "Heuristic Problem Search=off"}, true},
      {"ExactAnalysed", {"--set", "Exact Problem Search / Vectorization=on"}, true},
      {"JsflImport", {"--set", "Shape / Morph Shape: Convert Using JSFL Import=on"}, true},
  };
  for (const auto& road : roads) {
    SCOPED_TRACE(road.name);
    const std::string fla = dir.file(std::string(road.name) + ".fla");
    std::vector<std::string> args = {"-q", dir.file("in.swf"), "-o", fla};
    args.insert(args.end(), road.options.begin(), road.options.end());
    const test::ProgramRun run = test::RunProgram(args, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(test::ReadCompoundFile(fla, streams));
    EXPECT_TRUE(test::IsValidJavaScriptFile(fla + ".jsfl"));
    EXPECT_TRUE(test::DocumentShowsMovie(movie, streams));
    EXPECT_EQ(streams.count("Symbol 1") + streams.count("Symbol 2"), road.pages ? 2u : 0u);
    for (const char* name : {"Symbol 1", "Symbol 2"}) {
      if (!streams.count(name)) continue;
      EXPECT_TRUE(test::PageWalksClean(streams[name])) << name;
      EXPECT_TRUE(test::CheckShapePage(streams[name], level, 1)) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, MorphMovie, ::testing::Values(6, 8));

}  // namespace
}  // namespace tovrani
