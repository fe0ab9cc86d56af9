// The problem-search modes through the program: two shapes, each a square
// with a curve stub that goes out along its top side and comes back, lose
// the stub only where the heuristic analysis runs.
#include <gtest/gtest.h>

#include <map>

#include "app/program_runner.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

std::vector<uint8_t> SquareWithStub(uint16_t id) {
  SwfBytes b;
  b.u16(id).rect(0, 2000, 0, 2000);
  b.u8(1).u8(0).u8(0xFF).u8(0).u8(0).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(2000, 0).Straight(0, 2000).Straight(-2000, 0).Straight(0, -2000);
  r.Change(std::pair(0, 0), std::nullopt, std::nullopt, std::nullopt);
  r.Curve(200, 0, -200, 0).End();
  return b.data();
}

class ProblemSearchModes : public ::testing::TestWithParam<int> {};

TEST_P(ProblemSearchModes, TheStubGoesWhereTheHeuristicAnalysisRuns) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  test::SwfWriter w(version);
  w.tag(2, SquareWithStub(1)).tag(2, SquareWithStub(2));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0));
  w.tag(26, SwfBytes().u8(0x06).u16(2).u16(2).matrix(3000, 0)).showFrame().end();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), w.build());
  test::ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});

  const struct {
    const char* name;
    std::vector<std::string> options;
    uint32_t records[2];
  } modes[] = {
      {"Defaults", {}, {4, 4}},
      {"HeuristicOff", {"--set", "Heuristic Problem Search=off"}, {5, 5}},
      {"NoProblemSearch", {"--set", "No Problem Search=on"}, {5, 5}},
      {"ExactListsTheFirst",
       {"--set", "Exact Problem Search / Vectorization=on", "--shape-ids", "1"},
       {4, 5}},
  };
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.name);
    const std::string fla = dir.file(std::string(mode.name) + ".fla");
    std::vector<std::string> args = {"-q", dir.file("in.swf"), "-o", fla};
    args.insert(args.end(), mode.options.begin(), mode.options.end());
    const test::ProgramRun run = test::RunProgram(args, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<std::string, std::vector<uint8_t>> streams;
    streams = test::ExpectReadableDocument(fla);
    ASSERT_TRUE(streams.count("Page 1"));
    for (uint16_t id = 1; id <= 2; ++id) {
      const std::string name = "Symbol " + std::to_string(id);
      ASSERT_TRUE(streams.count(name)) << name;
      const std::vector<uint8_t>& page = streams[name];
      EXPECT_TRUE(test::PageWalksClean(page)) << name;
      std::vector<uint32_t> counts;
      ASSERT_TRUE(test::CheckShapePage(page, level, id, &counts)) << name;
      EXPECT_EQ(counts, std::vector<uint32_t>{mode.records[id - 1]}) << name;
    }
  }
}

// Shapes on one fill whose outline carries one removable midpoint: the
// builder's rebuild drops it, the decoded form keeps it.
std::vector<uint8_t> SearchShape(uint16_t id, int which) {
  SwfBytes b;
  b.u16(id).rect(0, 2000, 0, 2000);
  b.u8(1).u8(0).u8(0xFF).u8(0).u8(0).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  using P = std::pair<int32_t, int32_t>;
  auto square = [&] {
    r.Change(P(0, 0), 0u, 1u, std::nullopt);
    r.Straight(1000, 0).Straight(1000, 0).Straight(0, 2000).Straight(-2000, 0).Straight(0, -2000);
  };
  switch (which) {
    case 0:  // an X inside the fill
    case 4:  // the same X with the fill on one side of one edge only
      square();
      r.Change(P(500, 500), which == 4 ? 0u : 1u, 1u, std::nullopt).Straight(1000, 1000);
      r.Change(P(1500, 500), 1u, 1u, std::nullopt).Straight(-1000, 1000);
      break;
    case 1:  // two thin parallel stripes, one twip apart
      r.Change(P(0, 0), 0u, 1u, std::nullopt);
      r.Straight(1000, 500).Straight(1000, 500).Straight(0, 20).Straight(-2000, -1000).Straight(0, -20);
      r.Change(P(0, 21), 0u, 1u, std::nullopt);
      r.Straight(2000, 1000).Straight(0, 20).Straight(-2000, -1000).Straight(0, -20);
      break;
    case 2:  // a hole of the same fill
      square();
      r.Change(P(500, 500), 1u, 0u, std::nullopt);
      r.Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(0, -1000);
      break;
    case 3:  // a rectangle split by a chord with the fill on both sides
      r.Change(P(0, 0), 0u, 1u, std::nullopt);
      r.Straight(1000, 0).Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(-1000, 0);
      r.Straight(0, -500).Straight(0, -500);
      r.Change(P(1000, 0), 1u, 1u, std::nullopt).Straight(0, 1000);
      break;
  }
  r.End();
  return b.data();
}

class ProblemSearchRoads : public ::testing::TestWithParam<int> {};

TEST_P(ProblemSearchRoads, ShapesWithoutProblemsAreRebuiltTheOthersComeAsDecoded) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  constexpr int kShapes = 5;
  test::SwfWriter w(version);
  for (int k = 0; k < kShapes; ++k) w.tag(2, SearchShape(uint16_t(k + 1), k));
  for (int k = 0; k < kShapes; ++k)
    w.tag(26, SwfBytes().u8(0x06).u16(uint16_t(k + 1)).u16(uint16_t(k + 1)).matrix(3000 * k, 0));
  w.showFrame().end();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), w.build());

  std::map<std::string, std::vector<uint32_t>> counts;
  const struct {
    const char* name;
    std::vector<std::string> options;
  } modes[] = {
      {"Defaults", {}},
      {"Decoded", {"--set", "No Problem Search=on"}},
      {"HeuristicOff", {"--set", "Heuristic Problem Search=off"}},
      {"ExactListsAll", {"--set", "Exact Problem Search / Vectorization=on", "--shape-ids", "1-5"}},
  };
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.name);
    const std::string fla = dir.file(std::string(mode.name) + ".fla");
    std::vector<std::string> args = {"-q", dir.file("in.swf"), "-o", fla};
    args.insert(args.end(), mode.options.begin(), mode.options.end());
    const test::ProgramRun run = test::RunProgram(args, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<std::string, std::vector<uint8_t>> streams;
    streams = test::ExpectReadableDocument(fla);
    ASSERT_TRUE(streams.count("Page 1"));
    for (uint16_t id = 1; id <= kShapes; ++id) {
      const std::string name = "Symbol " + std::to_string(id);
      ASSERT_TRUE(streams.count(name)) << name;
      EXPECT_TRUE(test::PageWalksClean(streams[name])) << name;
      std::vector<uint32_t> objects;
      ASSERT_TRUE(test::CheckShapePage(streams[name], level, id, &objects)) << name;
      // One shape object: no further layer (the shape with a problem is
      // written from its one region).
      ASSERT_EQ(objects.size(), 1u) << name;
      counts[mode.name].push_back(objects[0]);
    }
  }
  const std::vector<uint32_t>& decoded = counts["Decoded"];
  for (int k = 0; k < kShapes; ++k) {
    SCOPED_TRACE(k);
    // The shape with a problem comes out as its square, whose midpoint
    // is joined away too; the edges inside its fill go.
    const bool problem = k == 4;
    EXPECT_EQ(counts["HeuristicOff"][k], problem ? 4u : decoded[k] - 1);
    EXPECT_EQ(counts["ExactListsAll"][k], counts["Defaults"][k]);
  }
  EXPECT_NE(counts["Defaults"], counts["HeuristicOff"]);
}

INSTANTIATE_TEST_SUITE_P(Versions, ProblemSearchModes, ::testing::Values(6, 8));
INSTANTIATE_TEST_SUITE_P(Versions, ProblemSearchRoads, ::testing::Values(6, 8));

}  // namespace
}  // namespace tovrani
