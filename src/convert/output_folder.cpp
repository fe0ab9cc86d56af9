#include "convert/output_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace tovrani {

namespace {

CommitRenameHook g_renameHook;
CommitFlushHook g_flushHook;
OwnerHook g_ownerHook;
CommitCallHook g_callHook;

}  // namespace

void SetCommitRenameHook(CommitRenameHook hook) { g_renameHook = std::move(hook); }
void SetCommitFlushHook(CommitFlushHook hook) { g_flushHook = std::move(hook); }
void SetOwnerHook(OwnerHook hook) { g_ownerHook = std::move(hook); }
void SetCommitCallHook(CommitCallHook hook) { g_callHook = std::move(hook); }

int FlushHookAnswer(const std::string& path) { return g_flushHook ? g_flushHook(path) : 0; }
int CallHookAnswer(CommitCall call, const std::string& path) { return g_callHook ? g_callHook(call, path) : 0; }

OutputFolder OutputFolder::OpenAt(int dirFd, const std::string& name, int flags, std::string path) {
  OutputFolder f;
  f.path_ = std::move(path);
  f.fd_.reset(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags));
  if (f.fd_.valid() || errno != EACCES) return f;
  // Write and search permission are all the set's files need: the *at
  // calls take a path descriptor.
  f.fd_.reset(::openat(dirFd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | flags));
  f.readable_ = false;
  return f;
}

OutputFolder OutputFolder::Open(const std::string& path) {
  return OpenAt(AT_FDCWD, path.empty() ? "." : path, 0, path);
}

OutputFolder OutputFolder::OpenIn(const OutputFolder& parent, const std::string& name) {
  return OpenAt(parent.fd(), name, O_NOFOLLOW, parent.path_ + name + "/");
}

bool OutputFolder::Stat(const std::string& name, struct stat& st) const {
  return ::fstatat(fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool OutputFolder::Exists(const std::string& name) const {
  struct stat st {};
  return Stat(name, st);
}

bool OutputFolder::Holds(const std::string& name, const FileIdentity& identity) const {
  struct stat st {};
  return Stat(name, st) && S_ISREG(st.st_mode) && IdentityOf(st) == identity;
}

std::vector<std::string> OutputFolder::List() const {
  std::vector<std::string> names;
  if (!readable_) return names;
  // A descriptor of its own: reading moves its position.
  const int fd = ::openat(this->fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (!dir) {
    if (fd >= 0) ::close(fd);
    return names;
  }
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

int OutputFolder::Rename(const std::string& from, const std::string& to, bool replace) const {
  if (g_renameHook)
    if (const int e = g_renameHook(PathOf(from), PathOf(to))) return e;
  if (!replace) {
    if (::renameat2(fd(), from.c_str(), fd(), to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int e = errno;
    if (e != EINVAL && e != ENOSYS && e != EEXIST) return e;
    // A file system that cannot refuse in the same step is asked first. A
    // folder in the way is named so, as a plain rename names it.
    struct stat st {};
    if (Stat(to, st)) return S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
    if (e == EEXIST) return EEXIST;
  }
  return ::renameat(fd(), from.c_str(), fd(), to.c_str()) == 0 ? 0 : errno;
}

int OutputFolder::Remove(const std::string& name) const {
  if (const int e = CallHookAnswer(CommitCall::kRemove, PathOf(name))) return e;
  return ::unlinkat(fd(), name.c_str(), 0) == 0 ? 0 : errno;
}

void OutputFolder::RemoveIfSame(const std::string& name, const FileIdentity& identity) const {
  if (Holds(name, identity)) Remove(name);
}

int OutputFolder::Flush() const {
  // A path descriptor cannot be flushed ("Bad file descriptor"): a folder
  // the user may not read is left to the file system.
  if (!readable_) return 0;
  if (const int e = FlushHookAnswer(path_)) return e;
  if (::fsync(fd()) == 0) return 0;
  return errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP ? 0 : errno;
}

uid_t OwnerOf(const struct stat& st, const std::string& path) {
  if (g_ownerHook)
    if (const std::optional<uid_t> seen = g_ownerHook(path)) return *seen;
  return st.st_uid;
}

std::string OwnerName(uid_t uid) {
  passwd entry {}, *found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
    return found->pw_name;
  return "user " + std::to_string(uid);
}

std::string FlushFailure(const std::string& path, int error) {
  return (path.empty() ? std::string("the current folder") : path) + " could not be flushed to disk (" +
         std::strerror(error) + ")";
}

}  // namespace tovrani
