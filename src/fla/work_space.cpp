#include "fla/work_space.h"

#include "fla/output_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

namespace tovrani {

namespace {

constexpr char kFolderPrefix[] = "tovrani-";
constexpr size_t kRandomLength = 12;
// Names tried before the run gives up: each refused one was taken by
// another, who cannot guess the next.
constexpr int kNameAttempts = 8;

// Seeded once: a random device per folder costs more than the rest of a
// small movie's work files.
std::string RandomName() {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static std::mutex lock;
  static std::mt19937_64 gen{(uint64_t(std::random_device{}()) << 32) ^ std::random_device{}()};
  std::lock_guard<std::mutex> hold(lock);
  std::string s;
  for (uint64_t r = gen(), i = 0; i < kRandomLength; ++i, r /= 36) s.push_back(kChars[r % 36]);
  return s;
}

// True for a work folder's name: "tovrani-PID-" and twelve of a-z 0-9.
bool WorkFolderName(const std::string& name) {
  const size_t prefix = sizeof(kFolderPrefix) - 1;
  if (name.compare(0, prefix, kFolderPrefix) != 0 || name.size() < prefix + kRandomLength + 2) return false;
  const size_t dash = name.size() - kRandomLength - 1;
  if (name[dash] != '-') return false;
  for (size_t i = dash + 1; i < name.size(); ++i)
    if (!std::islower(static_cast<unsigned char>(name[i])) && !std::isdigit(static_cast<unsigned char>(name[i])))
      return false;
  return ParsePid(name, prefix, dash) > 0;
}

// The names in the folder open as `fd`, without "." and ".."; false when it
// cannot be read.
bool ListFolder(int fd, std::vector<std::string>& names) {
  const int own = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = own < 0 ? nullptr : ::fdopendir(own);
  if (!d) {
    if (own >= 0) ::close(own);
    return false;
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> hold(d, ::closedir);
  errno = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return errno == 0;
}

// A folder just made is the run's when it is ours, private and empty: not
// one another put at its name.
bool FreshPrivateFolder(int fd) {
  struct stat st {};
  std::vector<std::string> names;
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0 &&
         ListFolder(fd, names) && names.empty();
}

bool HasMark(int folder) {
  struct stat st {};
  return ::fstatat(folder, kWorkFolderMark, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
         st.st_uid == ::geteuid() && st.st_nlink == 1;
}

// Removes the folder `name` of `base` when it is empty and its name still
// holds the folder open as `folder`.
void RemoveEmptiedFolder(int base, const std::string& name, int folder) {
  struct stat named {}, held {};
  if (::fstatat(base, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(folder, &held) == 0 &&
      IdentityOf(named) == IdentityOf(held))
    ::unlinkat(base, name.c_str(), AT_REMOVEDIR);
}

}  // namespace

std::string NewWorkFolderName() {
  return kFolderPrefix + std::to_string(::getpid()) + "-" + RandomName();
}

bool WorkSpace::MakeDir() {
  if (dirMade) return true;
  if (closed || failed || name.empty()) return false;
  Descriptor at(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (int attempt = 0; at.valid() && attempt < kNameAttempts; ++attempt) {
    if (attempt > 0) name = NewWorkFolderName();
    if (::mkdirat(at.get(), name.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      break;
    }
    if (madeHook) madeHook(base + "/" + name);
    Descriptor folder(::openat(at.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid()) continue;
    // Locked before it is marked: a marked folder whose lock is free is a
    // gone run's. A file system without locks keeps it unlocked.
    while (::flock(folder.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
    if (!FreshPrivateFolder(folder.get())) continue;
    const Descriptor mark(
        ::openat(folder.get(), kWorkFolderMark, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!mark.valid()) continue;
    baseFolder = std::move(at);
    lock = std::move(folder);
    dirMade = true;
    return true;
  }
  failed = true;
  return false;
}

bool WorkSpace::StartOnDisk(const std::string& file) {
  return (!spillHook || spillHook(file)) && MakeDir();
}

int WorkSpace::OpenFile(const std::string& file, int flags) const {
  if (!lock.valid()) {
    errno = ENOENT;
    return -1;
  }
  if (flags & O_CREAT) flags |= O_EXCL;
  return ::openat(lock.get(), file.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0600);
}

int WorkSpace::OpenNameless() const {
  if (!lock.valid()) {
    errno = ENOENT;
    return -1;
  }
  const int fd = ::openat(lock.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // A file system without nameless files: a fresh name, gone at once.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string file = ".moved-" + NewRandomPart();
    const int made = OpenFile(file, O_RDWR | O_CREAT);
    if (made >= 0) {
      RemoveFile(file);
      return made;
    }
    if (errno != EEXIST) break;
  }
  return -1;
}

void WorkSpace::RemoveFile(const std::string& file) const {
  if (lock.valid()) ::unlinkat(lock.get(), file.c_str(), 0);
}

void WorkSpace::RemoveDir() {
  if (!dirMade) return;
  RemoveFile(kWorkFolderMark);
  RemoveEmptiedFolder(baseFolder.get(), name, lock.get());
  // Its lock goes last: nothing sweeps a folder still being removed.
  lock.reset();
  baseFolder.reset();
  dirMade = false;
}

void SweepGoneWorkFolders(const std::string& basePath) {
  const Descriptor base(::open(basePath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::vector<std::string> names;
  if (!base.valid() || !ListFolder(base.get(), names)) return;
  for (const std::string& name : names) {
    if (!WorkFolderName(name)) continue;
    // A run holds its folder's lock from before its mark to its end, so a
    // marked folder whose lock can be taken is a gone run's, whatever
    // process id it bears; it is emptied holding the lock.
    const Descriptor folder(::openat(base.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!folder.valid() || ::fstat(folder.get(), &st) != 0 || st.st_uid != ::geteuid() ||
        ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0 || !HasMark(folder.get()))
      continue;
    std::vector<std::string> files;
    if (!ListFolder(folder.get(), files)) continue;
    for (const std::string& file : files) {
      struct stat fs {};
      if (file != kWorkFolderMark && ::fstatat(folder.get(), file.c_str(), &fs, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISREG(fs.st_mode))
        ::unlinkat(folder.get(), file.c_str(), 0);
    }
    // The mark last: a sweep ended before here finds the folder again.
    ::unlinkat(folder.get(), kWorkFolderMark, 0);
    RemoveEmptiedFolder(base.get(), name, folder.get());
  }
}

}  // namespace tovrani
