// A chain of nested folders whose paths outgrow what the system takes
// whole: made through folder descriptors, removed with everything in them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrani::test {

class DeepFolders {
 public:
  // `levels` folders named `name`, one inside the other, below `parent`.
  DeepFolders(const std::string& parent, int levels, const std::string& name);
  ~DeepFolders();
  DeepFolders(const DeepFolders&) = delete;
  DeepFolders& operator=(const DeepFolders&) = delete;

  // Writes `bytes` as `file` in the deepest folder; gives its path.
  std::string Write(const std::string& file, const std::vector<uint8_t>& bytes) const;

 private:
  std::string top_, deepest_;
  int fd_ = -1;  // the deepest folder
};

}  // namespace tovrani::test
