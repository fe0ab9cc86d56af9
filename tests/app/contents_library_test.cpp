// The Contents stream of the program's documents against the layout of the
// authoring tool's own documents, and the stage's properties in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/program_runner.h"
#include "support/contents_layout.h"
#include "support/corpus.h"
#include "support/library_items.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ContentsOf(const std::string& fla) {
  std::map<std::string, std::vector<uint8_t>> streams;
  EXPECT_TRUE(ReadCompoundFile(fla, streams));
  return streams["Contents"];
}

bool Holds(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

TEST(ContentsLibrary, EveryLevelWalksLikeTheAuthoringToolsDocuments) {
  TempDir dir;
  // Guides shown and snapping to them: the authoring tool's own view
  // settings, which every real level-0 and level-1 document holds (the
  // layout holds no other value there).
  const std::vector<std::string> view = {"-q", "--set", "Guides=on", "--set", "Snap To Guides=on"};
  struct Case {
    const char* name;
    bool shapes, jsflImport;
    size_t symbolPages, folders;
  };
  const Case cases[] = {
      {"empty", false, false, 0, 0},
      {"shapes", true, false, 1, 0},
      {"imported", true, true, 1, 1},
  };
  for (uint8_t version : {6, 7, 8}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(version) + c.name);
      const std::string swf = dir.file(c.name + std::to_string(version) + ".swf");
      WriteFileBytes(swf, c.shapes ? SampleMovie(version) : SwfWriter(version).showFrame().end().build());
      std::vector<std::string> args = view;
      if (c.jsflImport) args.insert(args.end(), {"--set", "Shape / Morph Shape: Convert Using JSFL Import=on"});
      args.insert(args.end(), {swf, "-o", swf + ".fla"});
      ASSERT_EQ(RunProgram(args, dir.file("config")).status, 0);
      const int level = version < 7 ? 0 : version - 6;
      const std::vector<uint8_t> contents = ContentsOf(swf + ".fla");
      const ContentsWalk walk = WalkContents(contents, {});
      EXPECT_FALSE(walk.difference) << walk.difference->describe();
      EXPECT_EQ(walk.level, level);
      EXPECT_EQ(walk.symbolPages, c.symbolPages);
      EXPECT_EQ(walk.folders, c.folders);
      EXPECT_TRUE(walk.media.empty());
      std::set<uint16_t> items;
      EXPECT_TRUE(ReadLibraryItems(contents, items));
      EXPECT_EQ(items.size(), c.shapes ? 1u : 0u);
    }
  }
}

// The test-side reader of library item numbers reads the authoring tool's
// own documents (of the samples, those whose library holds only the
// classes the program writes).
TEST(ContentsLibrary, ItemReaderFollowsRealDocuments) {
  const fs::path samples = SharedDir() / "fla-samples";
  if (!fs::exists(samples)) GTEST_SKIP() << "no " << samples;
  int read = 0;
  for (const auto& e : fs::recursive_directory_iterator(samples)) {
    if (e.path().extension() != ".fla") continue;
    const std::vector<uint8_t> contents = ReadSavedStream(e.path().string(), "Contents");
    if (contents.empty()) continue;
    const bool foreign = Holds(contents, {'C', 'S', 'w', 'f', 'P', 'a', 'g', 'e'});
    std::set<uint16_t> items;
    const ::testing::AssertionResult r = ReadLibraryItems(contents, items);
    if (foreign) continue;
    EXPECT_TRUE(r) << e.path();
    ++read;
  }
  EXPECT_GE(read, 12);
}

TEST(ContentsLibrary, StageColourAndFrameRateReachTheDocument) {
  TempDir dir;
  // After the background come the second colour (C0 C0 C0 FF) and the
  // frame rate in 16.16: 30.5 frames a second are 00 80 1E 00.
  struct Case {
    uint8_t version;
    std::vector<uint8_t> background;  // the SetBackgroundColor body, none when empty
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {8, {0x12, 0x34, 0x56}, {0x12, 0x34, 0x56, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF, 0x00, 0x80, 0x1E, 0x00}},
      {6, {0x12, 0x34, 0x56}, {0x12, 0x34, 0x56, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF, 0x00, 0x80, 0x1E, 0x00}},
      {7, {}, {0xFF, 0xFF, 0xFF, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF, 0x00, 0x80, 0x1E, 0x00}},
      // Too short for a colour: the tag is skipped.
      {8, {0x12, 0x34}, {0xFF, 0xFF, 0xFF, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF, 0x00, 0x80, 0x1E, 0x00}},
  };
  // One run converts them all, in order: a movie without the tag after
  // one with it gets the default.
  std::vector<std::string> args = {"-q"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SwfWriter movie(cases[i].version, 11000, 8000, 0x1E80);
    if (!cases[i].background.empty()) movie.tag(9, cases[i].background);
    args.push_back(dir.file("bg" + std::to_string(i) + ".swf"));
    WriteFileBytes(args.back(), movie.showFrame().end().build());
  }
  ASSERT_EQ(RunProgram(args, dir.file("config")).status, 0);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(Holds(ContentsOf(dir.file("bg" + std::to_string(i) + "_.fla")), cases[i].expected));
  }
}

TEST(ContentsLibrary, SameMovieGivesTheSameDocument) {
  TempDir dir;
  WriteFileBytes(dir.file("movie.swf"), SampleMovie(8));
  for (const char* out : {"a.fla", "b.fla"})
    ASSERT_EQ(RunProgram({"-q", dir.file("movie.swf"), "-o", dir.file(out)}, dir.file("config")).status, 0);
  EXPECT_EQ(ReadFileBytes(dir.file("a.fla")), ReadFileBytes(dir.file("b.fla")));
}

}  // namespace
}  // namespace tovrani::test
