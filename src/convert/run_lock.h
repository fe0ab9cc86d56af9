// The locks that tell a conversion still running from one that is gone.
//
// A run's lock: the temporary of its document's script, the first file it
// makes in that output, locked (flock) for as long as the run lasts. Every
// other temporary the run makes there bears the same random part, so a
// temporary is a gone run's exactly when its lock file is missing or can
// be locked now, whatever process ids the two runs see (another PID
// namespace, an id given out again).
//
// The folder's lock: a commit, and the recovery of what killed runs left,
// hold an exclusive lock of the FLA's folder, so two commits there run one
// after the other and a recovery never meets a commit half done.
#pragma once

#include <string>

#include <sys/types.h>

#include "convert/output_folder.h"
#include "fla/descriptor.h"

namespace tovrani {

struct ConverterContext;

class RunLock {
 public:
  // Makes the script's temporary beside `scriptName` in `folder` and locks
  // it. False, with errno set, when no file can be made there.
  bool Take(const OutputFolder& folder, const std::string& scriptName);
  int fd() const { return fd_.get(); }
  const std::string& name() const { return name_; }
  const std::string& random() const { return random_; }
  const FileIdentity& identity() const { return identity_; }
  // The file is no longer the run's to remove: the commit put it in place,
  // or a record that stays names it.
  void Keep() { kept_ = true; }
  // Removes the file (unless kept) and lets the lock go.
  void Release(const OutputFolder& folder);

 private:
  Descriptor fd_;
  std::string name_, random_;
  FileIdentity identity_;
  bool kept_ = false;
};

// Whether the run that made the temporaries bearing `pid` and `random` in
// the output of the script `scriptName` is gone: its lock file is missing,
// or no run holds its lock. Then `held` keeps that lock (where there is a
// lock file) until the caller has removed the gone run's files, so that no
// run starting meanwhile takes it. A lock file that is not the user's own
// (`owner`) or that cannot be locked counts as a live run's.
bool RunIsGone(const OutputFolder& folder, const std::string& scriptName, long pid, const std::string& random,
               uid_t owner, Descriptor& held);

class FolderLock {
 public:
  // Takes the exclusive lock of `folder`, waiting while another holds it:
  // after a second it says so once, naming the folder, and a cancel that
  // comes meanwhile ends the wait. Where no lock can be had (no read access,
  // a file system without locks) there is none, and no message.
  FolderLock(ConverterContext& ctx, const OutputFolder& folder);
  bool held() const { return fd_.valid(); }
  // The wait ended by a cancel: the lock is not held.
  bool cancelled() const { return cancelled_; }

 private:
  Descriptor fd_;
  bool cancelled_ = false;
};

}  // namespace tovrani
