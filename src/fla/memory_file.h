// A work file held in memory while its folder's memory budget allows, moved
// to a file of the folder on disk once it does not. Every open is a stdio
// stream of its own (own position and buffer) over the same bytes, as
// reopening a path gives; the streams open at the move never notice it, and
// later opens are opens of the file on disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fla/work_space.h"

namespace tovrani {

class MemoryFile {
 public:
  MemoryFile(std::shared_ptr<WorkSpace> space, std::string name);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // A new stream over the file with an fopen mode ("r", "w+", "ab", ...);
  // "w" empties the file. Null for a mode fopen would refuse.
  static std::FILE* Open(const std::shared_ptr<MemoryFile>& file, const char* mode);
  // Cuts or extends the file to `size` bytes.
  bool Resize(uint64_t size);
  // The folder no longer holds the name; open streams keep the bytes.
  void Unlink();

  uint64_t size() const;
  bool onDisk() const { return fd_ >= 0; }
  // Puts an empty file on disk at once; false when it cannot go there.
  bool StartOnDisk();
  // The file receives bytes already charged to the write bound as they are
  // placed: its growth is not held against what the bound has left.
  void MarkCharged() { charged_ = true; }
  // Bytes copied in memory by growth so far (each reallocation copies the
  // file's bytes once).
  uint64_t bytesCopied() const { return copied_; }

  // For the streams.
  int64_t Read(uint64_t pos, char* dst, size_t n);
  int64_t Write(uint64_t pos, const char* src, size_t n);

 private:
  bool Reserve(uint64_t size);
  bool MoveToDisk();
  bool OpenOnDisk();

  std::shared_ptr<WorkSpace> space_;
  std::string name_;
  std::vector<char> bytes_;  // while in memory
  uint64_t size_ = 0;        // while in memory
  uint64_t copied_ = 0;
  int fd_ = -1;              // once on disk
  bool unlinked_ = false;
  bool broken_ = false;      // a move to disk failed: writes fail from then on
  bool charged_ = false;
};

// Cuts an open stream's file to `size` bytes (after flushing the stream):
// a work file's stream or an ordinary file's.
bool TruncateOpenFile(std::FILE* f, uint64_t size);

}  // namespace tovrani
