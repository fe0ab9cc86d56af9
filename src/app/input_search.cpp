#include "app/input_search.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "fla/descriptor.h"
#include "fla/file_helpers.h"
#include "fla/output_names.h"

namespace tovrani {

namespace {

// The longest path the system takes whole (PATH_MAX counts the NUL).
constexpr size_t kPathLimit = PATH_MAX - 1;

std::string Cause(int error) { return std::string(" (") + std::strerror(error) + ")"; }

bool NamedAsMovie(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = char(std::tolower(static_cast<unsigned char>(c)));
  return end == ".swf";
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Up to `size` first bytes of the plain file open as `fd`: how many were
// read, or -1 with errno set. Anything but a plain file gives none.
ssize_t ReadHead(int fd, unsigned char* b, size_t size) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return 0;
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, b + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += size_t(n);
  }
  return ssize_t(got);
}

class Search {
 public:
  Search(const OpenFunction& open, const StatFunction& stat, std::vector<std::string>& problems,
         std::vector<std::string>* otherMovies)
      : open_(open), stat_(stat), problems_(problems), otherMovies_(otherMovies) {}

  // A file given by name: followed through links, looked at before it is
  // opened (opening a FIFO waits for a writer). A folder is searched.
  void Named(const std::string& path, std::vector<std::string>& files);

 private:
  // A folder on the walk's path. Its listing is read whole when it is
  // entered, so its descriptor is needed only to open its subfolders: it is
  // closed while the walk is two levels below it and opened again through
  // ".." on the way back, so that no depth runs out of descriptors.
  struct Folder {
    Descriptor fd;
    FileIdentity identity;
    size_t pathLength = 0;  // of `path_` at this folder
    std::vector<std::string> subfolders;
    size_t next = 0;            // the subfolder to search next
    bool importFolder = false;  // the program's own import folder of a document
  };

  int OpenAt(int dirFd, const std::string& name, int flags) const {
    flags |= O_CLOEXEC;
    return open_ ? open_(dirFd, name, flags) : ::openat(dirFd, name.c_str(), flags);
  }
  int StatAt(int dirFd, const std::string& name, struct stat* st, int flags) const {
    return stat_ ? stat_(dirFd, name, st, flags) : ::fstatat(dirFd, name.c_str(), st, flags);
  }

  void Walk(const std::string& root, std::vector<std::string>& found);
  void Enter(Descriptor fd, bool importFolder, std::vector<std::string>& found);
  void Leave();
  void Entry(const Folder& folder, const std::string& name, struct stat st, std::vector<std::string>& found);
  void Probe(const Folder& folder, const std::string& name, bool named, bool link, std::vector<std::string>& found);
  bool ImportFolder(int dirFd, std::string_view name) const;
  bool RootIsImportFolder(const std::string& root) const;

  // The path of `name` in the folder being searched.
  std::string Child(const std::string& name) const {
    return path_.empty() || path_.back() == '/' ? path_ + name : path_ + '/' + name;
  }
  void Problem(const std::string& path, const std::string& cause) { problems_.push_back(path + ": " + cause); }
  void OtherMovie(const std::string& path) {
    if (otherMovies_) otherMovies_->push_back(path);
  }

  const OpenFunction& open_;
  const StatFunction& stat_;
  std::vector<std::string>& problems_;
  std::vector<std::string>* otherMovies_;
  std::vector<Folder> stack_;
  std::string path_;  // of the folder on top of `stack_`, from the root as given
  std::string lost_;  // why the walk could not come back to a folder
};

void Search::Named(const std::string& path, std::vector<std::string>& files) {
  struct stat st;
  if (StatAt(AT_FDCWD, path, &st, 0) != 0) {
    const int error = errno;
    Problem(path, error == ENOENT ? "no such file or folder" : "cannot be reached" + Cause(error));
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    std::vector<std::string> found;
    const size_t first = problems_.size();
    const size_t firstOther = otherMovies_ ? otherMovies_->size() : 0;
    Walk(path, found);
    std::sort(found.begin(), found.end());
    std::sort(problems_.begin() + ptrdiff_t(first), problems_.end());
    if (otherMovies_) std::sort(otherMovies_->begin() + ptrdiff_t(firstOther), otherMovies_->end());
    files.insert(files.end(), found.begin(), found.end());
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    Problem(path, std::string("not a plain file but ") + FileKindName(st.st_mode));
    return;
  }
  const Descriptor fd(OpenAt(AT_FDCWD, path, O_RDONLY | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) {
    Problem(path, "cannot be read" + Cause(errno));
    return;
  }
  files.push_back(path);
}

// Whether the folder `name` in `dirFd` is "Shapes_D" or "StaticText_D"
// beside a plain file D that begins as a compound file (D0 CF 11 E0): the
// program's own layout, which holds wherever the tree was moved or copied.
bool Search::ImportFolder(int dirFd, std::string_view name) const {
  for (std::string_view prefix : {"Shapes_", "StaticText_"}) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) continue;
    const std::string document(name.substr(prefix.size()));
    struct stat st;
    if (StatAt(dirFd, document, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return false;
    const Descriptor fd(OpenAt(dirFd, document, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    unsigned char b[4] = {};
    return fd.valid() && ReadHead(fd.get(), b, sizeof b) == 4 && b[0] == 0xD0 && b[1] == 0xCF && b[2] == 0x11 &&
           b[3] == 0xE0;
  }
  return false;
}

// A folder given by name is an import folder when it is one itself, not
// through a link.
bool Search::RootIsImportFolder(const std::string& root) const {
  std::string path = root;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!name.starts_with("Shapes_") && !name.starts_with("StaticText_")) return false;
  struct stat st;
  if (StatAt(AT_FDCWD, path, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) return false;
  const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const Descriptor dir(OpenAt(AT_FDCWD, parent, O_RDONLY | O_DIRECTORY | O_NOCTTY));
  return dir.valid() && ImportFolder(dir.get(), name);
}

// Folder by folder, depth first: what cannot be searched is named and the
// walk goes on.
void Search::Walk(const std::string& root, std::vector<std::string>& found) {
  path_ = root;
  lost_.clear();
  const bool importFolder = RootIsImportFolder(root);
  Descriptor fd(OpenAt(AT_FDCWD, root, O_RDONLY | O_DIRECTORY | O_NOCTTY));
  if (!fd.valid()) {
    Problem(root, "the folder cannot be read" + Cause(errno));
    return;
  }
  Enter(std::move(fd), importFolder, found);
  while (!stack_.empty()) {
    Folder& top = stack_.back();
    if (top.next == top.subfolders.size()) {
      Leave();
      continue;
    }
    const std::string name = std::move(top.subfolders[top.next++]);
    // Extended in place: a deep tree costs no copy of its paths per level.
    if (!path_.empty() && path_.back() != '/') path_ += '/';
    path_ += name;
    // A link now is one put there since it was looked at: not followed.
    Descriptor child(OpenAt(top.fd.get(), name, O_RDONLY | O_DIRECTORY | O_NOCTTY | O_NOFOLLOW));
    if (!child.valid()) {
      Problem(path_, "the folder cannot be read" + Cause(errno));
      path_.resize(top.pathLength);
      continue;
    }
    const bool childImports = ImportFolder(top.fd.get(), name);
    // Opening the subfolder searched `top`: ".." from it finds its parent.
    if (stack_.size() >= 2) stack_[stack_.size() - 2].fd.reset();
    Enter(std::move(child), childImports, found);
  }
}

// Reads the listing of the folder open as `fd`, whose path is `path_`: its
// files are probed now, its subfolders kept for the walk.
void Search::Enter(Descriptor fd, bool importFolder, std::vector<std::string>& found) {
  Folder folder;
  struct stat st;
  DirHandle dir;
  if (::fstat(fd.get(), &st) == 0) {
    // The listing reads through a copy: the folder keeps its own descriptor.
    Descriptor copy(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    if (copy.valid()) dir.reset(::fdopendir(copy.get()));
    if (dir) copy.release();
  }
  if (!dir) {
    Problem(path_, "the folder cannot be read" + Cause(errno));
    if (!stack_.empty()) path_.resize(stack_.back().pathLength);
    return;
  }
  folder.fd = std::move(fd);
  folder.identity = IdentityOf(st);
  folder.pathLength = path_.size();
  folder.importFolder = importFolder;
  while (true) {
    errno = 0;
    const dirent* e = ::readdir(dir.get());
    if (!e) {
      if (errno != 0) Problem(path_, "the folder's listing failed" + Cause(errno));
      break;
    }
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat entry;
    if (StatAt(folder.fd.get(), name, &entry, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(entry.st_mode))
        folder.subfolders.push_back(name);
      else
        Entry(folder, name, entry, found);
      continue;
    }
    const int error = errno;
    // Listable but not searchable: the folder is named once, not each entry.
    if (error == EACCES) {
      Problem(path_, "the folder's entries cannot be looked at" + Cause(error));
      folder.subfolders.clear();
      break;
    }
    if (NamedAsMovie(name) || e->d_type == DT_DIR || e->d_type == DT_UNKNOWN)
      Problem(Child(name), "cannot be looked at" + Cause(error));
  }
  stack_.push_back(std::move(folder));
}

// The folder on top is done: the walk goes back to its parent, opened again
// through ".." where it was closed. Where that fails, or finds another
// folder (the tree was moved meanwhile), the rest of the parent is named as
// not searched.
void Search::Leave() {
  const Folder done = std::move(stack_.back());
  stack_.pop_back();
  if (stack_.empty()) return;
  Folder& parent = stack_.back();
  path_.resize(parent.pathLength);
  if (parent.fd.valid()) return;
  if (done.fd.valid()) {
    Descriptor up(OpenAt(done.fd.get(), "..", O_RDONLY | O_DIRECTORY | O_NOCTTY));
    struct stat st;
    if (!up.valid() || ::fstat(up.get(), &st) != 0) {
      lost_ = Cause(errno);
    } else if (IdentityOf(st) != parent.identity) {
      lost_ = " (it was moved during the search)";
    } else {
      parent.fd = std::move(up);
      return;
    }
  }
  if (parent.next < parent.subfolders.size()) Problem(path_, "the rest of the folder cannot be searched" + lost_);
  parent.subfolders.clear();
  parent.next = 0;
}

// A file or link that is not a folder, as `st` shows it unfollowed.
void Search::Entry(const Folder& folder, const std::string& name, struct stat st, std::vector<std::string>& found) {
  const bool named = NamedAsMovie(name);
  const bool link = S_ISLNK(st.st_mode);
  if (link && StatAt(folder.fd.get(), name, &st, 0) != 0) {
    if (named) Problem(Child(name), "the link cannot be followed" + Cause(errno));
    return;
  }
  if (S_ISDIR(st.st_mode)) return;  // a link to a folder is not followed
  if (!S_ISREG(st.st_mode)) {
    if (named) Problem(Child(name), std::string("not a plain file but ") + FileKindName(st.st_mode));
    return;
  }
  Probe(folder, name, named, link, found);
}

void Search::Probe(const Folder& folder, const std::string& name, bool named, bool link,
                   std::vector<std::string>& found) {
  // Not blocking: what was a plain file a moment ago may be a FIFO now.
  const Descriptor fd(OpenAt(folder.fd.get(), name, O_RDONLY | O_NONBLOCK | O_NOCTTY | (link ? 0 : O_NOFOLLOW)));
  if (!fd.valid()) {
    if (named) Problem(Child(name), "cannot be opened" + Cause(errno));
    return;
  }
  unsigned char b[3] = {};
  const ssize_t got = ReadHead(fd.get(), b, sizeof b);
  if (got < 0) {
    if (named) Problem(Child(name), "cannot be read" + Cause(errno));
    return;
  }
  const bool signed3 = got == 3 && b[1] == 'W' && b[2] == 'S' && (b[0] == 'F' || b[0] == 'C' || b[0] == 'Z');
  if (!signed3) {
    if (named) Problem(Child(name), "not a movie (no \"FWS\", \"CWS\" or \"ZWS\" signature); passed over");
    return;
  }
  // The program's own import movies are outputs of an earlier run, no inputs.
  if (folder.importFolder && !link && IsImportMovieName(name)) return;
  const std::string path = Child(name);
  if (b[0] == 'Z') {
    Problem(path, "LZMA-compressed movies (signature \"ZWS\") are not supported; passed over");
    OtherMovie(path);
  } else if (path.size() > kPathLimit) {
    Problem(path, "its path is longer than the " + std::to_string(kPathLimit) +
                      " bytes the system takes; passed over");
    OtherMovie(path);
  } else {
    found.push_back(path);
  }
}

}  // namespace

bool ProbesAsSwf(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char b[3] = {};
  bool ok = std::fread(b, 1, 3, f) == 3 && (b[0] == 'F' || b[0] == 'C') && b[1] == 'W' && b[2] == 'S';
  std::fclose(f);
  return ok;
}

bool CollectInputs(const std::vector<std::string>& inputs, std::vector<std::string>& files,
                   std::vector<std::string>& problems, const OpenFunction& open,
                   std::vector<std::string>* otherMovies, const StatFunction& stat) {
  const size_t before = problems.size();
  Search search(open, stat, problems, otherMovies);
  for (const std::string& in : inputs) search.Named(in, files);
  return problems.size() == before;
}

}  // namespace tovrani
