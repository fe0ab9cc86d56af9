// The scene page as the engine builds it from a movie.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "fla/expected_records.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "swf/converter_context.h"
#include "swf/engine.h"

namespace tovrani {
namespace {

using namespace test;

std::vector<uint8_t> ReadAll(std::FILE* f) {
  std::fflush(f);
  std::vector<uint8_t> out;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(uint8_t(c));
  std::fseek(f, 0, SEEK_END);
  return out;
}

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
  uint32_t operator()(const std::vector<uint8_t>& movie) {
    WriteFileBytes(dir.file("in.swf"), movie);
    return (*this)(dir.file("in.swf"));
  }
};

std::vector<uint8_t> DefineShape(uint16_t id) {
  SwfBytes b;
  b.u16(id).rect(0, 400, 0, 400).u8(0).u8(0).u8(0).ubits(0, 6).align();
  return b;
}

std::vector<uint8_t> PlaceObject2(uint8_t flags, uint16_t depth, uint16_t id, int32_t tx, int32_t ty) {
  SwfBytes b;
  b.u8(flags).u16(depth);
  if (flags & 0x02) b.u16(id);
  b.matrix(tx, ty);
  return b;
}

// The keyframe durations of each "Level N" layer of an old-form page, found
// by the fixed fields before each duration word.
std::map<std::string, uint32_t> LevelDurations(const std::vector<uint8_t>& page) {
  std::vector<uint8_t> lead = Bytes({0x05, 0x00});
  lead.resize(14, 0);
  std::map<std::string, uint32_t> sums;
  uint32_t pending = 0;
  for (size_t i = 0; i + 20 < page.size(); ++i) {
    if (std::equal(lead.begin(), lead.end(), page.begin() + long(i)) && page[i + 14] == 0x16 &&
        page[i + 17] == 0 && page[i + 18] == 6) {
      pending += page[i + 15] | (page[i + 16] << 8);
      i += 18;
      continue;
    }
    // A layer tail's name closes the layer: 00 80 0A, length, "Level ..."
    if (page[i] == 0x00 && page[i + 1] == 0x80 && page[i + 2] == 0x0A) {
      const size_t len = page[i + 3];
      if (i + 4 + len <= page.size()) {
        const std::string name(page.begin() + long(i + 4), page.begin() + long(i + 4 + len));
        if (name.rfind("Level ", 0) == 0) {
          sums[name] = pending;
          pending = 0;
        }
      }
    }
  }
  return sums;
}

size_t CountOf(const std::vector<uint8_t>& page, const std::vector<uint8_t>& pattern) {
  size_t n = 0;
  for (auto it = page.begin(); (it = std::search(it, page.end(), pattern.begin(), pattern.end())) != page.end(); ++it) ++n;
  return n;
}

// Every frame object has one keyframe body and every layer object one tail.
void ExpectWholeObjects(const std::vector<uint8_t>& page, const PageWalk& w, const std::string& what) {
  size_t bodies = 0, tails = 0;
  for (const bool isNew : {false, true}) {
    std::vector<uint8_t> duration = Bytes({0x05, 0x00});
    duration.resize(14, 0);
    duration.push_back(isNew ? 0x18 : 0x16);
    bodies += CountOf(page, duration);
    tails += CountOf(page, isNew ? Bytes({0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0, 0, 0x0B})
                                 : Bytes({0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0x0A}));
  }
  EXPECT_EQ(bodies, w.count("CPicFrame")) << what;
  EXPECT_EQ(tails, w.count("CPicLayer")) << what;
}

TEST(SceneBuild, ThreeMovingShapesGiveThreeLevelLayers) {
  SwfWriter w(6);
  for (uint16_t id = 1; id <= 3; ++id) w.tag(2, DefineShape(id));
  for (int f = 0; f < 20; ++f) {
    for (uint16_t d = 1; d <= 3; ++d) {
      const uint8_t flags = f == 0 ? 0x06 : 0x05;  // place, then move
      w.tag(26, PlaceObject2(flags, uint16_t(d * 2), d, 100 * d + 20 * f, 50 * f));
    }
    w.showFrame();
  }
  w.end();
  SceneRun run;
  ASSERT_EQ(run(w.build()), uint32_t(kResultDone));
  ASSERT_FALSE(run.page.empty());
  const PageWalk walk = WalkPage(run.page);
  EXPECT_TRUE(walk.ok) << walk.error;

  const std::map<std::string, uint32_t> sums = LevelDurations(run.page);
  ASSERT_EQ(sums.size(), 3u);
  for (const char* name : {"Level 2", "Level 4", "Level 6"}) {
    ASSERT_TRUE(sums.count(name)) << name;
    EXPECT_EQ(sums.at(name), 20u) << name;
  }
  EXPECT_EQ(walk.count("CPicLayer"), 3u);
  ExpectWholeObjects(run.page, walk, "three shapes");
}

TEST(SceneBuild, EachMovieOfAConverterStartsAfresh) {
  auto movie = [](uint16_t depth, const char* label) {
    SwfWriter w(6);
    w.tag(26, PlaceObject2(0x06, depth, 1, 0, 0));
    w.tag(43, SwfBytes().str(label));
    w.showFrame();
    w.end();
    return w.build();
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
  const std::filesystem::path corpus = std::filesystem::path(TOVRANI_SHARED_DIR) / "corpus";
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus";
  size_t pages = 0;
  for (const auto& f : std::filesystem::recursive_directory_iterator(corpus)) {
    if (!f.is_regular_file() || f.path().extension() != ".swf") continue;
    SceneRun run;
    run(f.path().string());
    if (run.page.empty()) continue;
    ++pages;
    const PageWalk walk = WalkPage(run.page);
    EXPECT_TRUE(walk.ok) << f.path() << ": " << walk.error;
    ExpectWholeObjects(run.page, walk, f.path().string());
  }
  EXPECT_GT(pages, 0u);
}

}  // namespace
}  // namespace tovrani
