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

}  // namespace

void SetCommitRenameHook(CommitRenameHook hook) { g_renameHook = std::move(hook); }
void SetCommitFlushHook(CommitFlushHook hook) { g_flushHook = std::move(hook); }
void SetOwnerHook(OwnerHook hook) { g_ownerHook = std::move(hook); }

int FlushHookAnswer(const std::string& path) { return g_flushHook ? g_flushHook(path) : 0; }

OutputFolder OutputFolder::Open(const std::string& path) {
  OutputFolder f;
  f.fd_.reset(::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  f.path_ = path;
  return f;
}

OutputFolder OutputFolder::OpenIn(const OutputFolder& parent, const std::string& name) {
  OutputFolder f;
  f.fd_.reset(::openat(parent.fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  f.path_ = parent.path_ + name + "/";
  return f;
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
    // A file system that cannot refuse in the same step is asked first.
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (Exists(to)) return EEXIST;
  }
  return ::renameat(fd(), from.c_str(), fd(), to.c_str()) == 0 ? 0 : errno;
}

int OutputFolder::Remove(const std::string& name) const {
  return ::unlinkat(fd(), name.c_str(), 0) == 0 ? 0 : errno;
}

void OutputFolder::RemoveIfSame(const std::string& name, const FileIdentity& identity) const {
  if (Holds(name, identity)) Remove(name);
}

int OutputFolder::Flush() const {
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
