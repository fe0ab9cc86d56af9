#include "support/temp_dir.h"

#include <cstdlib>
#include <stdexcept>

#include "fla/file_helpers.h"

namespace tovrani::test {

TempDir::TempDir() {
  std::string base = (std::filesystem::temp_directory_path() / "tovrani-test-XXXXXX").string();
  if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  path_ = base;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

// Through the library's opening, so that work files in memory are reached too.
std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  UniqueFile in = OpenFile(path, "rb");
  if (in) ReadWholeFile(in.get(), bytes);
  return bytes;
}

std::map<std::string, std::vector<uint8_t>> FolderSnapshot(const std::filesystem::path& dir) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    files[std::filesystem::relative(e.path(), dir).string()] =
        e.is_regular_file() ? ReadFileBytes(e.path().string()) : std::vector<uint8_t>{};
  return files;
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data) {
  UniqueFile out = OpenFile(path, "wb");
  if (out) WriteBytes(out.get(), data.data(), data.size());
}

}  // namespace tovrani::test
