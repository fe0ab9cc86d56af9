// A private folder for a test's files, removed with everything in it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tovrani::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
// Every file below `dir` with its bytes, by its path below `dir` (folders as
// empty entries).
std::map<std::string, std::vector<uint8_t>> FolderSnapshot(const std::filesystem::path& dir);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data);

}  // namespace tovrani::test
