// Where the work files live never shows in the documents: the shared corpus
// and the end-to-end movies give the same bytes with every work file on
// disk, with files moving to disk in the middle of a conversion, and with
// all of them in memory (which never touches the disk). A work file that
// cannot move to disk fails the conversion without leaving output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/program_runner.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/recording_shell.h"
#include "support/work_budget.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

struct Output {
  uint32_t result = 0;
  std::vector<uint8_t> fla, script;
  std::string flaPath;
  bool SameBytes(const Output& o) const { return result == o.result && fla == o.fla && script == o.script; }
};

// Every movie converted in one process into an emptied `out` (the scripts
// name the document's folders, so every run writes to the same place).
std::vector<Output> ConvertAll(const std::vector<std::string>& movies, const fs::path& out) {
  fs::remove_all(out);
  fs::create_directories(out);
  ConverterContext ctx;
  RecordingShell shell;
  ctx.m_pShell = &shell;
  size_t n = 0;
  SwfFileRequest request;
  request.saveDialog = [&](const std::string&, std::string& chosen) {
    chosen = (out / (std::to_string(n++) + ".fla")).string();
    return true;
  };
  std::vector<Output> outputs;
  for (const FileOutcome& o : ConvertSwfFiles(ctx, movies, 0, 0, request))
    outputs.push_back({o.result, ReadFileBytes(o.output),
                       o.script.empty() ? std::vector<uint8_t>{} : ReadFileBytes(o.script), o.output});
  return outputs;
}

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

  const fs::path tmp = dir.path() / "tmp";
  fs::create_directories(tmp);
  std::vector<Output> inMemory;
  {
    // Nowhere to go on disk: a conversion needing the disk would fail.
    TmpDirScope noDisk((dir.path() / "none").string());
    inMemory = ConvertAll(movies, dir.path() / "out");
  }
  ASSERT_EQ(inMemory.size(), movies.size());
  EXPECT_TRUE(std::any_of(inMemory.begin(), inMemory.end(), [](const Output& o) { return o.result == 0; }));
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(inMemory[i].result, 0u);
    ExpectReadableDocument(inMemory[i].flaPath);
  }

  TmpDirScope onDisk(tmp.string());
  for (uint64_t budget : {uint64_t(0), uint64_t(4096)}) {
    SCOPED_TRACE(budget);
    int toDisk = 0;
    WorkBudgetScope scope(budget, [&](const std::string&) { return ++toDisk, true; });
    const std::vector<Output> outputs = ConvertAll(movies, dir.path() / "out");
    ASSERT_EQ(outputs.size(), movies.size());
    for (size_t i = 0; i < movies.size(); ++i) EXPECT_TRUE(outputs[i].SameBytes(inMemory[i])) << movies[i];
    EXPECT_TRUE(fs::is_empty(tmp));
    EXPECT_GT(toDisk, 0);  // at a few KiB, files move in the middle of conversions
  }
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

}  // namespace
}  // namespace tovrani::test
