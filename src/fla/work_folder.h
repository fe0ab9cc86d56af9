// The private folder a conversion keeps its work files in, RAII file handles,
// and the output written under a temporary name beside its final one.
//
// Nothing here changes the current directory: every work file is reached by
// an absolute path inside the folder, and the folder goes away with
// everything in it when its owner does, also after a failure or a cancel.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fla/file_helpers.h"

namespace tovrani {

// An open stdio file that closes itself.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(std::FILE* f) : f_(f) {}
  FileHandle(const std::string& path, const char* mode) : f_(std::fopen(path.c_str(), mode)) {}

  std::FILE* get() const { return f_.get(); }
  explicit operator bool() const { return f_ != nullptr; }
  // Closes now; false when the close reported an error (data not written).
  bool close();
  void reset(std::FILE* f = nullptr) { f_.reset(f); }
  std::FILE* release() { return f_.release(); }

 private:
  std::unique_ptr<std::FILE, FileCloser> f_;
};

// The size of an open file (its end), leaving the position where it was;
// -1 when it cannot be told.
int64_t FileSizeOf(std::FILE* f);

class WorkFolder {
 public:
  WorkFolder() = default;
  ~WorkFolder() { remove(); }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // Makes a fresh folder readable only by us under $TMPDIR (or /tmp).
  bool create();
  bool valid() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // The absolute path of a work file in the folder.
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Removes one work file; a missing file is no error.
  void removeFile(const std::string& name) const;
  // Removes the folder with everything in it.
  void remove();

 private:
  std::string path_;
};

// The output document: written to a temporary file beside its final name and
// renamed into place only by commit(), so a failed conversion never leaves a
// partial file nor touches an older document of the same name.
class OutputTarget {
 public:
  OutputTarget() = default;
  ~OutputTarget() { discard(); }
  OutputTarget(const OutputTarget&) = delete;
  OutputTarget& operator=(const OutputTarget&) = delete;

  // False when the output cannot be written: an existing file that may not
  // be opened for writing, or a folder where no file can be created.
  bool open(const std::string& finalPath);
  std::FILE* file() const { return file_.get(); }
  const std::string& finalPath() const { return final_; }
  const std::string& tempPath() const { return temp_; }
  // Flushes, closes and renames the temporary file over the final name.
  bool commit();
  // Closes and removes the temporary file.
  void discard();

 private:
  FileHandle file_;
  std::string final_, temp_;
};

}  // namespace tovrani
