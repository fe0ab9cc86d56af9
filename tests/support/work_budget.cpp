#include "support/work_budget.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

// Every movie converted in one process into an emptied `out` (the scripts
// name the document's folders, so every run writes to the same place).
std::vector<ConvertedBytes> ConvertAll(const std::vector<std::string>& movies, const fs::path& out) {
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
  std::vector<ConvertedBytes> outputs;
  for (const FileOutcome& o : ConvertSwfFiles(ctx, movies, 0, 0, request))
    outputs.push_back({o.result, ReadFileBytes(o.output),
                       o.script.empty() ? std::vector<uint8_t>{} : ReadFileBytes(o.script)});
  return outputs;
}

}  // namespace

std::vector<ConvertedBytes> ExpectSameBytesWhereverWorkFilesLive(const std::vector<std::string>& movies,
                                                                 const std::vector<uint64_t>& moreBudgets) {
  TempDir dir;
  const fs::path tmp = dir.path() / "tmp";
  fs::create_directories(tmp);
  std::vector<ConvertedBytes> inMemory;
  {
    // Nowhere to go on disk: a conversion needing the disk would fail.
    TmpDirScope noDisk((dir.path() / "none").string());
    inMemory = ConvertAll(movies, dir.path() / "out");
  }
  EXPECT_EQ(inMemory.size(), movies.size());
  if (inMemory.size() != movies.size()) return inMemory;

  TmpDirScope onDisk(tmp.string());
  std::vector<uint64_t> budgets{0, 4096};
  budgets.insert(budgets.end(), moreBudgets.begin(), moreBudgets.end());
  for (uint64_t budget : budgets) {
    SCOPED_TRACE(budget);
    int toDisk = 0;
    WorkBudgetScope scope(budget, [&](const std::string&) { return ++toDisk, true; });
    const std::vector<ConvertedBytes> outputs = ConvertAll(movies, dir.path() / "out");
    EXPECT_EQ(outputs.size(), movies.size());
    for (size_t i = 0; i < std::min(movies.size(), outputs.size()); ++i)
      EXPECT_TRUE(outputs[i].SameBytes(inMemory[i])) << movies[i];
    EXPECT_TRUE(fs::is_empty(tmp));
    if (budget <= 4096) {
      EXPECT_GT(toDisk, 0);  // at a few KiB, files move in the middle of conversions
    }
  }
  return inMemory;
}

std::vector<ConvertedBytes> ExpectSameBytesWhereverWorkFilesLive(
    const std::vector<std::vector<uint8_t>>& movies, const std::vector<uint64_t>& moreBudgets) {
  TempDir dir;
  std::vector<std::string> paths;
  for (const std::vector<uint8_t>& movie : movies) {
    paths.push_back(dir.file(std::to_string(paths.size()) + ".swf"));
    WriteFileBytes(paths.back(), movie);
  }
  return ExpectSameBytesWhereverWorkFilesLive(paths, moreBudgets);
}

}  // namespace tovrani::test
