// The work folders' memory budget and spill hook, set for a test's scope.
#pragma once

#include <cstdint>
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

// Whether a work file is there to be read.
inline bool WorkFileThere(const WorkFolder& work, const std::string& name) {
  return FileHandle(work.file(name), "rb").get() != nullptr;
}

}  // namespace tovrani::test
