// Where the work files live never shows in the documents: the shared corpus
// and the sample movies give the same bytes with every work file on disk,
// with files moving to disk in the middle of a conversion, and with all of
// them in memory (which never touches the disk); the end-to-end tests check
// their own movies the same way. A work file that cannot move to disk fails
// the conversion without leaving output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/program_runner.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/work_budget.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

TEST(WorkBudget, DocumentsAreTheSameWhereverTheWorkFilesLive) {
  TempDir dir;
  std::vector<std::string> movies;
  for (auto [version, compressed] : {std::pair<uint8_t, bool>{8, false}, {6, true}}) {
    movies.push_back(dir.file("sample" + std::to_string(version) + ".swf"));
    WriteFileBytes(movies.back(), SampleMovie(version, compressed));
  }
  // The corpus's broken files too: their results must not change either.
  for (const CorpusMovie& m : CorpusMovies()) movies.push_back(m.path.string());
  if (movies.size() == 2) std::cerr << "no corpus: the samples alone\n";

  const std::vector<ConvertedBytes> inMemory = ExpectSameBytesWhereverWorkFilesLive(movies);
  ASSERT_EQ(inMemory.size(), movies.size());
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(inMemory[i].result, 0u);
    WriteFileBytes(dir.file("check.fla"), inMemory[i].fla);
    WriteFileBytes(dir.file("check.fla.jsfl"), inMemory[i].script);
    ExpectReadableDocument(dir.file("check.fla"));
  }
}

// A long timeline's page outgrows a budget that lets it double a few times
// in memory first: it moves to disk at the first growth doubling cannot
// give, and the document stays the same.
TEST(WorkBudget, ALongTimelineGivesTheSameBytesPastItsBudget) {
  const std::vector<ConvertedBytes> inMemory =
      ExpectSameBytesWhereverWorkFilesLive(std::vector<std::vector<uint8_t>>{MovedSquaresMovie(100, 300)},
                                           {1000003, 3000017});
  ASSERT_EQ(inMemory.size(), 1u);
  EXPECT_EQ(inMemory[0].result, 0u);
  EXPECT_GT(inMemory[0].fla.size(), 3000017u);
}

TEST(WorkBudget, AWorkFileThatCannotGoToDiskFailsTheConversionWithoutOutput) {
  TempDir dir;
  TmpDirScope tmp(dir.file("tmp"));
  fs::create_directories(dir.file("tmp"));
  WriteFileBytes(dir.file("a.swf"), SampleMovie());
  WriteFileBytes(dir.file("a_.fla"), {9, 9});
  bool refused = false;
  WorkBudgetScope scope(256, [&](const std::string&) { return refused = true, false; });
  ConverterContext ctx;
  RecordingShell shell;
  ctx.m_pShell = &shell;
  const auto outcomes = ConvertSwfFile(ctx, dir.file("a.swf") + ",", 0, 0);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(refused);
  EXPECT_EQ(outcomes[0].result, 44u);
  // The older document stays; no partial document or script, no work folder.
  EXPECT_EQ(ReadFileBytes(dir.file("a_.fla")), (std::vector<uint8_t>{9, 9}));
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.swf", "a_.fla", "tmp"}));
}

// Another user renames a work folder away right after its making and puts a
// folder of the run's user at its name: one holding a file, or one others
// may read. The run takes neither: it makes its folder under another name
// and gives the same document, and what was put there stays as it was.
// Where every name it tries is taken so, the conversion fails naming
// $TMPDIR, and the older document stays.
TEST(WorkBudget, AFolderPutAtTheWorkFolderNameIsNotTaken) {
  TempDir dir;
  const std::string tmp = dir.file("tmp");
  fs::create_directories(tmp);
  TmpDirScope tmpScope(tmp);
  WriteFileBytes(dir.file("a.swf"), SampleMovie());
  WorkBudgetScope budget(0);
  const auto convert = [&] {
    ConverterContext ctx;
    RecordingShell shell;
    ctx.m_pShell = &shell;
    const auto outcomes = ConvertSwfFile(ctx, dir.file("a.swf") + ",", 0, 0);
    EXPECT_EQ(outcomes.size(), 1u);
    return outcomes.empty() ? FileOutcome{} : outcomes[0];
  };
  ASSERT_EQ(convert().result, 0u);
  const std::vector<uint8_t> fla = ReadFileBytes(dir.file("a_.fla"));
  ASSERT_TRUE(fs::is_empty(tmp));

  int swaps = 0, planted = 0;
  bool readable = false;
  std::string last;
  fs::file_time_type lastChanged;
  struct HookScope {
    ~HookScope() { WorkFolder::SetMadeFolderHook({}); }
  } hookScope;
  WorkFolder::SetMadeFolderHook([&](const std::string& path) {
    if (swaps == 0) return;
    --swaps;
    fs::rename(path, dir.file("moved" + std::to_string(planted++)));
    fs::create_directory(path);
    fs::permissions(path, readable ? fs::perms(0755) : fs::perms(0700));
    // Called under the work folders' lock: not through WriteFileBytes.
    if (!readable) std::ofstream(path + "/notes.txt") << "notes";
    last = path;
    lastChanged = fs::last_write_time(path);
  });
  for (bool r : {false, true}) {
    SCOPED_TRACE(r ? "a folder others may read" : "a folder holding a file");
    readable = r;
    swaps = 1;
    const FileOutcome o = convert();
    EXPECT_EQ(o.result, 0u) << o.detail;
    EXPECT_EQ(ReadFileBytes(dir.file("a_.fla")), fla);
    // Nothing was made in it, even for a while; the run's own folder is gone.
    EXPECT_EQ(fs::last_write_time(last), lastChanged);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp), {}), planted);
  }

  swaps = 1000;
  const FileOutcome o = convert();
  EXPECT_EQ(o.result, 44u);
  EXPECT_NE(o.detail.find("$TMPDIR (" + tmp + ")"), std::string::npos) << o.detail;
  EXPECT_EQ(ReadFileBytes(dir.file("a_.fla")), fla);
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp), {}), planted);
}

}  // namespace
}  // namespace tovrani::test
