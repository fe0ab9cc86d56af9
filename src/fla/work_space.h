// The work folder on disk that the files of one conversion share, and the
// sweep of those that runs gone before their end left.
//
// $TMPDIR may be writable by others, who can rename folders there. So the
// folder is taken for the run's only when its descriptor shows a fresh one
// of ours (our user, private, empty); then the run marks it with a file of
// its own and reaches every work file through that descriptor, never by
// path. The mark is what tells a work folder: a folder without it is never
// touched, whatever its name, and of a marked one only its regular files
// and, once emptied, the folder itself are removed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "fla/descriptor.h"
#include "fla/write_bound.h"

namespace tovrani {

constexpr char kWorkFolderMark[] = ".tovrani-run";

struct WorkSpace {
  std::string base;      // the folder it is made in ($TMPDIR)
  std::string name;      // its name there: the one first chosen, unless refused
  bool dirMade = false;
  Descriptor baseFolder; // `base`, from the folder's making
  Descriptor lock;       // the folder, locked from its making to its removal
  bool closed = false;   // the folder is gone: nothing moves to disk any more
  uint64_t budget = 0;   // bytes the files may hold in memory together
  uint64_t inMemory = 0; // what they hold (their buffers' capacity)
  // A file could not move to disk, the folder could not be made, or a write
  // there failed.
  bool failed = false;
  // What the conversion may still write: no file grows past it.
  WriteBound writeBound;
  // Asked before a file moves to disk; false makes the move fail.
  std::function<bool(const std::string& name)> spillHook;
  // Called with the folder's path between its making and its opening.
  std::function<void(const std::string& path)> madeHook;

  // Makes the folder in `base`, locks and marks it, once its descriptor
  // shows a fresh one of ours; a name refused is given up for a fresh one, a
  // few times, and then `failed` is set.
  bool MakeDir();
  // Whether a file of this name may be made on disk (and the folder is there).
  bool StartOnDisk(const std::string& file);
  // Opens the work file `file` with open(2) flags, never through a link;
  // with O_CREAT it is a new file, never one that is there. -1 with errno.
  int OpenFile(const std::string& file, int flags) const;
  // A new file with no name in the folder.
  int OpenNameless() const;
  void RemoveFile(const std::string& file) const;
  // Removes the mark, then the folder when it is empty and still at its
  // name; its lock goes last. The files go first, by their maker.
  void RemoveDir();
};

// "tovrani-PID-" and twelve fresh characters of a-z 0-9.
std::string NewWorkFolderName();

// Empties the work folders in `base` of runs that are gone: marked, ours,
// and with a lock no run holds.
void SweepGoneWorkFolders(const std::string& base);

}  // namespace tovrani
