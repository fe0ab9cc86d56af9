// A private folder under the temporary folder for one benchmark's movies and
// documents, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace tovrani::bench {

class Folder {
 public:
  Folder() {
    std::string t = (std::filesystem::temp_directory_path() / "tovrani-bench-XXXXXX").string();
    if (mkdtemp(t.data())) path_ = t;
  }
  ~Folder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tovrani::bench
