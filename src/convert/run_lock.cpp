#include "convert/run_lock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/converter_context.h"
#include "fla/output_names.h"

namespace tovrani {

namespace {

constexpr char kCaption[] = "BRASKELON Tovrani";

}  // namespace

bool RunLock::Take(const OutputFolder& folder, const std::string& scriptName) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string random = NewRandomPart();
    const std::string name = TempName(scriptName, ::getpid(), random);
    Descriptor fd(CreateFileAt(folder.fd(), name));
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      return false;
    }
    // A sweep that looked at the new file before it was locked takes it for
    // a gone run's and removes it: then another is made.
    int r;
    if (const int e = CallHookAnswer(CommitCall::kRunLock, folder.PathOf(name))) {
      r = -1;
      errno = e;
    } else {
      while ((r = ::flock(fd.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
      }
    }
    if (r != 0 && errno == EWOULDBLOCK) continue;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return false;
    if (st.st_nlink == 0) continue;
    // On a file system without locks the file stays unlocked.
    fd_ = std::move(fd);
    name_ = name;
    random_ = random;
    identity_ = IdentityOf(st);
    kept_ = false;
    return true;
  }
  errno = EEXIST;
  return false;
}

void RunLock::Release(const OutputFolder& folder) {
  // Removed while still locked, so no sweep meets it unlocked.
  if (fd_.valid() && !kept_ && folder.valid()) folder.RemoveIfSame(name_, identity_);
  fd_.reset();
  name_.clear();
  random_.clear();
}

bool RunIsGone(const OutputFolder& folder, const std::string& scriptName, long pid, const std::string& random,
               uid_t owner, Descriptor& held) {
  held.reset();
  const std::string name = TempName(scriptName, pid, random);
  struct stat st {}, opened {};
  if (!folder.Stat(name, st)) return errno == ENOENT;
  if (!S_ISREG(st.st_mode) || OwnerOf(st, folder.PathOf(name)) != owner) return false;
  Descriptor fd(::openat(folder.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT;
  if (::fstat(fd.get(), &opened) != 0 || IdentityOf(opened) != IdentityOf(st)) return false;
  int r;
  while ((r = ::flock(fd.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (r != 0) return false;
  held = std::move(fd);
  return true;
}

FolderLock::FolderLock(ConverterContext& ctx, const OutputFolder& folder) {
  // A descriptor of its own: a lock lives as long as the open file it is on.
  Descriptor fd(folder.valid() ? ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
  if (!fd.valid()) return;
  // A cancel already in force (the frames read so far are being written)
  // does not end the wait; one that comes during it does.
  const bool cancelledBefore = ctx.m_bCancel != 0;
  const auto start = std::chrono::steady_clock::now();
  auto pause = std::chrono::milliseconds(1);
  bool said = false;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
      fd_ = std::move(fd);
      return;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return;
    ReadCancelRequest(ctx);
    if (!cancelledBefore && ctx.m_bCancel) {
      cancelled_ = true;
      return;
    }
    if (!said && std::chrono::steady_clock::now() - start >= std::chrono::seconds(1)) {
      said = true;
      if (ctx.m_pShell)
        ctx.m_pShell->ShowMessage(kCaption, "Waiting for the lock of the folder " +
                                                (folder.path().empty() ? std::string(".") : folder.path()) +
                                                ", which another program holds; Ctrl-C ends the wait.");
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

}  // namespace tovrani
