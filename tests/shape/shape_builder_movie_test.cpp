// The shape builder through the conversion, with "Heuristic Problem
// Search" off: records joined and rebuilt, the same bytes on every run, and
// a shape over its work budget left as it came with the user asked.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <map>

#include "app/program_runner.h"
#include "app/terminal_shell.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

// A DefineShape of one solid fill; `draw` adds the records.
std::vector<uint8_t> FilledShape(uint16_t id, const std::function<void(ShapeRecords&)>& draw) {
  SwfBytes b;
  b.u16(id).rect(0, 20000, 0, 20000);
  b.u8(1).u8(0).u8(0x20).u8(0x80).u8(0xC0).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  draw(r);
  r.End();
  return b.data();
}

void Square(ShapeRecords& r, int32_t x, int32_t y, int32_t side) {
  r.Change(std::pair(x, y), std::nullopt, 1u, std::nullopt);
  r.Straight(side, 0).Straight(0, side).Straight(-side, 0).Straight(0, -side);
}

std::vector<uint8_t> Movie(uint8_t version, const std::vector<std::vector<uint8_t>>& shapes) {
  test::SwfWriter w(version);
  uint16_t depth = 1;
  for (const auto& s : shapes) w.tag(2, s);
  for (const auto& s : shapes) {
    const uint16_t id = uint16_t(s[0] | s[1] << 8);
    w.tag(26, SwfBytes().u8(0x06).u16(depth++).u16(id).matrix(0, 0));
  }
  w.showFrame().end();
  return w.build();
}

struct Converted {
  uint32_t result = 0;
  std::map<std::string, std::vector<uint8_t>> streams;
  test::RecordingShell shell;
};

std::unique_ptr<Converted> Convert(const std::vector<uint8_t>& movie, uint64_t budget = 0,
                                   ShellServices* shell = nullptr) {
  auto c = std::make_unique<Converted>();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), movie);
  test::ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
  ConverterContext ctx;
  ctx.m_pShell = shell ? shell : &c->shell;
  ctx.options.heuristicProblemSearch = 0;
  if (budget) ctx.m_nBuildShapeBudget = budget;
  c->result = ConvertMovie(ctx, dir.file("in.swf"), dir.file("out.fla"), 0);
  // These movies need no script; the document alone is checked.
  EXPECT_TRUE(test::ReadCompoundFile(dir.file("out.fla"), c->streams));
  return c;
}

std::vector<uint32_t> Counts(Converted& c, uint16_t id, uint8_t level) {
  const std::string name = "Symbol " + std::to_string(id);
  std::vector<uint32_t> counts;
  EXPECT_TRUE(c.streams.count(name)) << name;
  EXPECT_TRUE(test::PageWalksClean(c.streams[name])) << name;
  EXPECT_TRUE(test::CheckShapePage(c.streams[name], level, id, &counts)) << name;
  return counts;
}

class ShapeBuilderMovie : public ::testing::TestWithParam<int> {};

TEST_P(ShapeBuilderMovie, RebuildsJoinedRecordsTheSameEveryRun) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  const auto midpoint = FilledShape(1, [](ShapeRecords& r) {
    r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
    r.Straight(1000, 0).Straight(1000, 0).Straight(0, 2000).Straight(-2000, 0).Straight(0, -2000);
  });
  const auto two = FilledShape(2, [](ShapeRecords& r) {
    Square(r, 0, 0, 1000);
    Square(r, 3000, 0, 1000);
  });
  const auto grid = FilledShape(3, [](ShapeRecords& r) {
    for (int i = 0; i < 20; ++i)
      for (int j = 0; j < 20; ++j) Square(r, i * 400, j * 400, 400);
  });
  const std::vector<uint8_t> movie = Movie(version, {midpoint, two, grid});
  auto first = Convert(movie);
  ASSERT_EQ(first->result, uint32_t(kResultDone));
  EXPECT_TRUE(first->shell.questions.empty());
  EXPECT_TRUE(test::DocumentShowsMovie(movie, first->streams));
  EXPECT_TRUE(test::PageWalksClean(first->streams["Page 1"]));
  EXPECT_EQ(Counts(*first, 1, level), std::vector<uint32_t>{4});
  EXPECT_EQ(Counts(*first, 2, level), std::vector<uint32_t>{8});
  EXPECT_EQ(Counts(*first, 3, level), std::vector<uint32_t>{840});
  auto second = Convert(movie);
  EXPECT_EQ(first->streams, second->streams);
}

TEST_P(ShapeBuilderMovie, AShapeOverItsBudgetStaysAsItCame) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  const auto grid = FilledShape(1, [](ShapeRecords& r) {
    for (int i = 0; i < 6; ++i)
      for (int j = 0; j < 6; ++j) Square(r, i * 400, j * 400, 400);
  });
  // Small enough for the budget: converted after the abandoned one.
  const auto single = FilledShape(2, [](ShapeRecords& r) {
    r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
    r.Straight(2, 0).Straight(2, 0).Straight(0, 4).Straight(-4, 0).Straight(0, -4);
  });
  const std::vector<uint8_t> movie = Movie(version, {grid, single});
  auto c = Convert(movie, 2000);
  EXPECT_EQ(c->result, uint32_t(kResultDone));
  ASSERT_EQ(c->shell.questions.size(), 1u);
  EXPECT_NE(c->shell.questions[0].find("vectorization"), std::string::npos);
  EXPECT_EQ(Counts(*c, 1, level), std::vector<uint32_t>{144});
  EXPECT_EQ(Counts(*c, 2, level), std::vector<uint32_t>{4});
  EXPECT_TRUE(test::DocumentShowsMovie(movie, c->streams));

  // The program's own shell has nobody to ask when stderr is no terminal:
  // it still shows the question, then takes No and the conversion goes on.
  test::TempDir dir;
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int log = ::open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_TRUE(saved >= 0 && log >= 0);
  ::dup2(log, STDERR_FILENO);
  ::close(log);
  std::unique_ptr<Converted> quiet;
  {
    TerminalShell shell(true, dir.file("settings"));
    quiet = Convert(movie, 2000, &shell);
  }
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  EXPECT_EQ(quiet->result, uint32_t(kResultDone));
  EXPECT_EQ(quiet->streams, c->streams);
  const std::vector<uint8_t> shown = test::ReadFileBytes(dir.file("stderr"));
  const std::string text(shown.begin(), shown.end());
  EXPECT_NE(text.find("Vectorization Problem\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" [No]\n"), std::string::npos) << text;
}

// With the exact search on, a shape on the list goes the heuristic way
// and keeps its midpoint; the other one is rebuilt.
TEST_P(ShapeBuilderMovie, TheShapeListSteersTheExactSearch) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  auto midpoint = [](uint16_t id) {
    return FilledShape(id, [](ShapeRecords& r) {
      r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
      r.Straight(1000, 0).Straight(1000, 0).Straight(0, 2000).Straight(-2000, 0).Straight(0, -2000);
    });
  };
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), Movie(version, {midpoint(1), midpoint(2)}));
  const std::string fla = dir.file("out.fla");
  const test::ProgramRun run = test::RunProgram(
      {"-q", dir.file("in.swf"), "-o", fla, "--set", "Exact Problem Search / Vectorization=on",
       "--shape-ids", "1"},
      dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  Converted c;
  c.streams = test::ExpectReadableDocument(fla);
  ASSERT_FALSE(c.streams.empty());
  EXPECT_EQ(Counts(c, 1, level), std::vector<uint32_t>{5});
  EXPECT_EQ(Counts(c, 2, level), std::vector<uint32_t>{4});
}

INSTANTIATE_TEST_SUITE_P(Versions, ShapeBuilderMovie, ::testing::Values(6, 8));

}  // namespace
}  // namespace tovrani
