// The work folders' memory budget, spill hook and place on disk, set for a
// test's scope.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "fla/work_folder.h"

namespace tovrani::test {

class WorkBudgetScope {
 public:
  explicit WorkBudgetScope(uint64_t bytes, std::function<bool(const std::string&)> hook = {}) {
    WorkFolder::SetMemoryBudget(bytes);
    WorkFolder::SetSpillHook(std::move(hook));
  }
  ~WorkBudgetScope() {
    WorkFolder::SetMemoryBudget(WorkFolder::kDefaultMemoryBudget);
    WorkFolder::SetSpillHook({});
  }
  WorkBudgetScope(const WorkBudgetScope&) = delete;
  WorkBudgetScope& operator=(const WorkBudgetScope&) = delete;
};

// $TMPDIR set to `path` for the scope.
class TmpDirScope {
 public:
  explicit TmpDirScope(const std::string& path) {
    if (const char* v = std::getenv("TMPDIR")) old_ = v, had_ = true;
    setenv("TMPDIR", path.c_str(), 1);
  }
  ~TmpDirScope() {
    if (had_)
      setenv("TMPDIR", old_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }

 private:
  std::string old_;
  bool had_ = false;
};

// One movie's conversion: the engine's result and the bytes written.
struct ConvertedBytes {
  uint32_t result = 0;
  std::vector<uint8_t> fla, script;
  bool SameBytes(const ConvertedBytes& o) const { return result == o.result && fla == o.fla && script == o.script; }
};

// Converts the movies in one process with every work file in memory and no
// disk to go to, then with every work file on disk (budget 0) and with
// files moving to disk in the middle of conversions (a few KiB): expects
// the same results, documents and scripts each time, and the temporary
// folder left empty; `moreBudgets` are tried as well. Gives the in-memory
// conversions.
std::vector<ConvertedBytes> ExpectSameBytesWhereverWorkFilesLive(const std::vector<std::string>& movies,
                                                                 const std::vector<uint64_t>& moreBudgets = {});
// The same for generated movies.
std::vector<ConvertedBytes> ExpectSameBytesWhereverWorkFilesLive(
    const std::vector<std::vector<uint8_t>>& movies, const std::vector<uint64_t>& moreBudgets = {});

// Whether a work file is there to be read.
inline bool WorkFileThere(const WorkFolder& work, const std::string& name) {
  return FileHandle(work.file(name), "rb").get() != nullptr;
}

}  // namespace tovrani::test
