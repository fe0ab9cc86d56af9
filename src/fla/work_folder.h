// The private folder a conversion keeps its work files in, RAII file handles,
// and the output written under a temporary name beside its final one.
//
// Nothing here changes the current directory. Every work file is known by
// an absolute path inside the folder and reached through the folder's
// descriptor; the run's files and the folder go away when its owner does,
// also after a failure or a cancel.
//
// The work files are held in memory while the folder's memory budget allows
// and move to the folder on disk, made on first need, once it does not.
// Opening `file(name)` with FileHandle or OpenFile reaches them wherever they
// are; other ways of opening a path (std::fopen, streams) do not.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "fla/descriptor.h"
#include "fla/file_helpers.h"
#include "fla/write_bound.h"

namespace tovrani {

// An open stdio file that closes itself.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(std::FILE* f) : f_(f) {}
  // As std::fopen, also for a work file of a live work folder.
  FileHandle(const std::string& path, const char* mode);

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
  static constexpr uint64_t kDefaultMemoryBudget = uint64_t(256) << 20;
  // The memory budget of the folders created from now on; 0 puts every work
  // file on disk.
  static void SetMemoryBudget(uint64_t bytes);
  static uint64_t MemoryBudget();
  // Test hook: asked before a work file goes to disk; false makes that fail.
  static void SetSpillHook(std::function<bool(const std::string& name)> hook);
  // Test hook: called with a folder's path between its making on disk and
  // its opening, where opening a work file would wait forever.
  static void SetMadeFolderHook(std::function<void(const std::string& path)> hook);

  // Empties the work folders under $TMPDIR (or /tmp) that runs killed
  // before their end left: named as ours ("tovrani-PID-" and twelve of a-z
  // 0-9), real folders of this user holding the run's mark, whose lock no
  // run holds. Only their regular files go, then each folder once empty. A
  // run holds the lock of its folder from before its mark to its removal,
  // so a folder of a run still going stays, whatever process id it bears
  // and whatever process ids this run sees.
  static void SweepLeftovers();

  WorkFolder();
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // Names a fresh private folder under $TMPDIR (or /tmp); the folder itself
  // is made, readable only by us, locked and marked while it lives, when a
  // file first goes to disk. A name another took by then is given up for a
  // fresh one on disk; the path stays what the files are known by.
  bool create();
  bool valid() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // The absolute path of a work file in the folder.
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Opens a work file as std::fopen would open file(name).
  std::FILE* open(const std::string& name, const char* mode) const;
  // Removes one work file; a missing file is no error.
  void removeFile(const std::string& name) const;
  // What the conversion may write in all (null before create()). Every work
  // file is held to what it has left, except those marked charged: they
  // receive bytes charged to it as they are placed.
  WriteBound* writeBound() const;
  void markCharged(const std::string& name) const;
  // A work file could not go to disk, no folder of ours could be made for
  // it, or a write there failed (disk full, no memory): bytes written to it
  // are lost and the output would be incomplete.
  bool failed() const;
  // Bytes that the growth of a work file has copied in memory (0 for a file
  // that is not there or never grew in memory).
  uint64_t bytesCopiedInMemory(const std::string& name) const;
  // Removes the files made in the folder, its mark, then the folder.
  void remove();

 private:
  struct Files;
  std::string path_;
  std::unique_ptr<Files> files_;
};

// As std::fopen, also for a work file of a live work folder.
std::FILE* OpenPath(const std::string& path, const char* mode);
// Removes the work file a path names; false when it names none.
bool RemoveWorkPath(const std::string& path);

// The output document: written to a temporary file beside its final name and
// handed over by release() to the commit of the document set, so a failed
// conversion never leaves a partial file nor touches an older document of
// the same name.
class OutputTarget {
 public:
  OutputTarget() = default;
  ~OutputTarget() { discard(); }
  OutputTarget(const OutputTarget&) = delete;
  OutputTarget& operator=(const OutputTarget&) = delete;

  // False when the output cannot be written: an existing file that may not
  // be opened for writing, or a folder where no file can be created. The
  // temporary is made as `tempName` in `folderFd`, the final name's folder,
  // never where a file or link stands.
  bool open(const std::string& finalPath, int folderFd, const std::string& tempName);
  // Why the last open() failed, in the user's words ("a folder has the
  // FLA's name"); empty after a successful one.
  const std::string& problem() const { return problem_; }
  std::FILE* file() const { return file_.get(); }
  const std::string& finalPath() const { return final_; }
  const std::string& tempPath() const { return temp_; }
  // The temporary as it was made, which the commit checks is still there.
  FileIdentity identity() const { return identity_; }
  // Flushes and closes the temporary file and hands it over: its path, which
  // this target no longer removes ("" after a failed write, the file gone).
  std::string release();
  // Closes and removes the temporary file.
  void discard();

 private:
  FileHandle file_;
  Descriptor folder_;
  std::string final_, temp_, tempName_;
  FileIdentity identity_;
  std::string problem_;
};

}  // namespace tovrani
