// A folder of a document's output reached by its descriptor: the FLA's
// folder, opened once by the path the user gave (which may pass through
// links), and the import folders inside it, opened without following a
// link. Every rename, removal, look and read of the set's files happens
// relative to these descriptors, so a folder or link that another puts in
// place of a path meanwhile leads nowhere.
//
// Who owns a file is judged in one place, OwnerOf, which tests can steer.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

#include "fla/descriptor.h"

namespace tovrani {

class OutputFolder {
 public:
  OutputFolder() = default;
  // The folder `path` names ("" for the current one, otherwise ending in
  // '/'), links followed; invalid when it cannot be opened (errno set).
  // A folder the user may write and search but not read is reached all the
  // same, without a listing, a lock or a flush.
  static OutputFolder Open(const std::string& path);
  // The folder `name` directly inside `parent`, never through a link;
  // invalid when there is none or it is no real folder (errno set).
  static OutputFolder OpenIn(const OutputFolder& parent, const std::string& name);

  bool valid() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }
  // "" or ending in '/': the folder as messages and hooks name it.
  const std::string& path() const { return path_; }
  std::string PathOf(const std::string& name) const { return path_ + name; }

  // lstat of `name` in the folder: false when it is not there.
  bool Stat(const std::string& name, struct stat& st) const;
  bool Exists(const std::string& name) const;
  // `name` is there as a file of `identity`, not replaced by another.
  bool Holds(const std::string& name, const FileIdentity& identity) const;
  // The names in the folder.
  std::vector<std::string> List() const;

  // One rename inside the folder, through the rename hook: 0 or the errno.
  // With `replace` false, a file standing at `to` is never replaced (EEXIST).
  int Rename(const std::string& from, const std::string& to, bool replace = true) const;
  // Removes the file `name`, through the call hook: 0 or the errno.
  int Remove(const std::string& name) const;
  // Removes the file `name` when it is still the one of `identity`.
  void RemoveIfSame(const std::string& name, const FileIdentity& identity) const;
  // Flushes the folder's entries to disk: 0, or the errno of a failure the
  // disk reported. A folder the file system cannot flush (EINVAL, ENOTSUP)
  // has nothing to wait for, nor has one reached without read permission.
  int Flush() const;

 private:
  static OutputFolder OpenAt(int dirFd, const std::string& name, int flags, std::string path);

  Descriptor fd_;
  std::string path_;
  bool readable_ = true;
};

// The owner a file is taken to have (st.st_uid, unless the owner hook says
// otherwise for `path`).
uid_t OwnerOf(const struct stat& st, const std::string& path);

// The owner's name for a message: the user name, or "user N".
std::string OwnerName(uid_t uid);

// The failure of a flush in words, "PATH could not be flushed to disk (why)".
std::string FlushFailure(const std::string& path, int error);

// Test hook: asked before each rename of a commit or of a roll-back (a file
// to its backup, a staged file to its final name, a backup put back); a
// non-zero answer makes that rename fail with that errno. An empty hook
// removes it.
using CommitRenameHook = std::function<int(const std::string& from, const std::string& to)>;
void SetCommitRenameHook(CommitRenameHook hook);

// Test hook: asked before each flush to disk of a file's data (its path)
// or of a folder (its path ending in '/', "" for the current folder) that
// a commit or a recovery makes; a non-zero answer makes that flush fail
// with that errno.
using CommitFlushHook = std::function<int(const std::string& path)>;
void SetCommitFlushHook(CommitFlushHook hook);
// The flush hook's answer for `path`, 0 without a hook.
int FlushHookAnswer(const std::string& path);

// Test hook: asked before the calls of a commit, a recovery or a sweep that
// the rename and flush hooks do not cover; a non-zero answer makes that call
// fail with that errno. At kImportFolderMade (an import folder made, not
// yet opened) the conversion only waits for the hook.
enum class CommitCall {
  kRemove,            // the removal of a file of the output (its path)
  kRecordLook,        // the look at a commit's record (its path)
  kRecordRead,        // each read of a commit's record (its path)
  kRunLock,           // the lock of the run's own script temporary (its path)
  kImportFolderMade,  // an import folder just made (its path)
};
using CommitCallHook = std::function<int(CommitCall call, const std::string& path)>;
void SetCommitCallHook(CommitCallHook hook);
// The call hook's answer, 0 without a hook.
int CallHookAnswer(CommitCall call, const std::string& path);

// Test hook: the owner a file at `path` is taken to have, instead of the
// one the file system gives; none keeps that one.
using OwnerHook = std::function<std::optional<uid_t>(const std::string& path)>;
void SetOwnerHook(OwnerHook hook);

}  // namespace tovrani
