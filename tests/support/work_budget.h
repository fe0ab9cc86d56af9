// The work folders' memory budget, spill hook and place on disk, set for a
// test's scope.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

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

// Whether a work file is there to be read.
inline bool WorkFileThere(const WorkFolder& work, const std::string& name) {
  return FileHandle(work.file(name), "rb").get() != nullptr;
}

}  // namespace tovrani::test
