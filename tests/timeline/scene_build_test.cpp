// The scene page as the engine builds it from a movie.
#include <gtest/gtest.h>

#include "app/program_runner.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "convert/engine.h"
#include "timeline/display_model.h"
#include "timeline/timeline_page.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using namespace test;

// Converts a movie with the program's own services and keeps the scene page.
struct SceneRun {
  ConverterContext ctx;
  RecordingShell shell;
  EngineServices services = DefaultEngineServices();
  std::vector<uint8_t> page;
  TempDir dir;

  SceneRun() {
    ctx.m_pShell = &shell;
    services.finish = [this](ConverterContext& c) {
      if (c.m_pPageWorkFile) page = ReadAll(c.m_pPageWorkFile);
      return uint32_t(kResultDone);
    };
  }
  uint32_t operator()(const std::string& source) {
    return ConvertMovie(ctx, source, dir.file("out.fla"), 0, services);
  }
  uint32_t operator()(const std::vector<uint8_t>& tags) {
    WriteMovie(tags);
    return (*this)(dir.file("in.swf"));
  }
  void WriteMovie(const std::vector<uint8_t>& tags) {
    SwfWriter w(6);
    ForEachTag(tags, 0, tags.size(), [&](uint32_t code, size_t body, uint32_t len) {
      w.tag(uint16_t(code), std::vector<uint8_t>(tags.begin() + long(body), tags.begin() + long(body + len)));
    });
    WriteFileBytes(dir.file("in.swf"), w.end().build());
    ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
  }
  // The same movie through the program; the scene page as an independent
  // reader finds it in the document.
  ::testing::AssertionResult ThroughProgram(const std::vector<uint8_t>& tags) {
    WriteMovie(tags);
    ProgramRun r = RunProgram({"-q", dir.file("in.swf"), "-o", dir.file("prog.fla")}, dir.path().string());
    if (r.status != 0) return ::testing::AssertionFailure() << r.output;
    const auto streams = ExpectReadableDocument(dir.file("prog.fla"));
    if (!streams.count("Page 1")) return ::testing::AssertionFailure() << "no scene page";
    page = streams.at("Page 1");
    return DocumentShowsMovie(ReadFileBytes(dir.file("in.swf")), streams);
  }
};

TEST(SceneBuild, ThreeMovingShapesGiveThreeLevelLayers) {
  std::vector<uint8_t> tags;
  for (uint16_t id = 1; id <= 3; ++id)
    tags =
        Tags({tags, SwfWriter::TagBytes(
                        2, SwfBytes().u16(id).rect(0, 400, 0, 400).u8(0).u8(0).u8(0).ubits(0, 6).align())});
  for (int f = 0; f < 20; ++f) {
    for (uint16_t d = 1; d <= 3; ++d)
      tags = Tags({tags, PlaceObject2Tag({.depth = uint16_t(d * 2),
                                          .character = uint16_t(f ? 0 : d),
                                          .move = f > 0,
                                          .x = 100 * d + 20 * f})});
    tags = Tags({tags, ShowFrameTag()});
  }
  SceneRun run;
  ASSERT_TRUE(run.ThroughProgram(tags));
  const PageWalk walk = WalkPage(run.page);
  EXPECT_TRUE(walk.ok) << walk.error;
  EXPECT_EQ(walk.count("CPicLayer"), 3u);
  ExpectWholeObjects(run.page, walk);
  // The keyframe durations before each "Level N" layer's tail add up to 20.
  std::vector<uint8_t> lead = Bytes({0x05, 0x00});
  lead.resize(14, 0);
  lead.push_back(0x16);
  size_t from = 0;
  for (const char* name : {"Level 2", "Level 4", "Level 6"}) {
    const std::vector<uint8_t> tail = Concat({Bytes({0x00, 0x80, 0x0A}), ExpectedString(name, false)});
    const size_t to =
        size_t(std::search(run.page.begin() + long(from), run.page.end(), tail.begin(), tail.end()) -
               run.page.begin());
    ASSERT_LT(to, run.page.size()) << name;
    uint32_t sum = 0;
    for (size_t i = from; i + 17 < to; ++i)
      if (std::equal(lead.begin(), lead.end(), run.page.begin() + long(i)))
        sum += run.page[i + 15] | (run.page[i + 16] << 8);
    EXPECT_EQ(sum, 20u) << name;
    from = to;
  }
}

TEST(SceneBuild, EachMovieOfAConverterStartsAfresh) {
  auto movie = [](uint16_t depth, const char* label) {
    return Tags({PlaceObject2Tag({.depth = depth, .character = 1}),
                 SwfWriter::TagBytes(43, SwfBytes().str(label)), ShowFrameTag()});
  };
  SceneRun run;
  ASSERT_EQ(run(movie(3, "first")), uint32_t(kResultDone));
  ASSERT_EQ(run(movie(5, "second")), uint32_t(kResultDone));
  const PageWalk walk = WalkPage(run.page);
  EXPECT_TRUE(walk.ok) << walk.error;
  // One placement layer and one label layer, both of the second movie.
  EXPECT_EQ(walk.count("CPicLayer"), 2u);
  const std::string page(run.page.begin(), run.page.end());
  EXPECT_NE(page.find("Level 5"), std::string::npos);
  EXPECT_EQ(page.find("Level 3"), std::string::npos);
  EXPECT_EQ(page.find("first"), std::string::npos);
}

// Every scene page written from the movies of the shared corpus walks clean.
TEST(SceneBuild, CorpusScenePagesWalkClean) {
  const auto corpus = CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t pages = 0;
  for (const CorpusMovie& movie : corpus) {
    SceneRun run;
    run(movie.path.string());
    if (run.page.empty()) continue;
    ++pages;
    SCOPED_TRACE(movie.name);
    const PageWalk walk = WalkPage(run.page);
    EXPECT_TRUE(walk.ok) << walk.error;
    ExpectWholeObjects(run.page, walk);
  }
  EXPECT_GT(pages, 0u);
}

}  // namespace
}  // namespace tovrani
