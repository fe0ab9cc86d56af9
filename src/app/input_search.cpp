#include "app/input_search.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fla/file_helpers.h"

namespace tovrani {

namespace {

namespace fs = std::filesystem;

std::string Cause(int error) { return std::string(" (") + std::strerror(error) + ")"; }

bool NamedAsMovie(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = char(std::tolower(static_cast<unsigned char>(c)));
  return end == ".swf";
}

struct Descriptor {
  int fd;
  ~Descriptor() { ::close(fd); }
};

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

class Search {
 public:
  Search(const OpenFunction& open, std::vector<std::string>& problems) : open_(open), problems_(problems) {}

  int Open(const std::string& path, int flags) const {
    return open_ ? open_(path, flags | O_CLOEXEC) : ::open(path.c_str(), flags | O_CLOEXEC);
  }

  // A file given by name: followed through links, looked at before it is
  // opened (opening a FIFO waits for a writer).
  void Named(const std::string& path, std::vector<std::string>& files);

 private:
  void Walk(const std::string& root, std::vector<std::string>& found);
  void Entry(const std::string& path, const std::string& name, std::vector<std::string>& found);
  void Probe(const std::string& path, bool named, std::vector<std::string>& found);
  bool Enter(const std::string& path, bool followLink);

  void Problem(const std::string& path, const std::string& cause) { problems_.push_back(path + ": " + cause); }

  struct Folder {
    std::string path;
    DirHandle dir;
  };

  const OpenFunction& open_;
  std::vector<std::string>& problems_;
  std::vector<Folder> stack_;
};

void Search::Named(const std::string& path, std::vector<std::string>& files) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    const int error = errno;
    Problem(path, error == ENOENT ? "no such file or folder" : "cannot be reached" + Cause(error));
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    std::vector<std::string> found;
    const size_t first = problems_.size();
    Walk(path, found);
    std::sort(found.begin(), found.end());
    std::sort(problems_.begin() + ptrdiff_t(first), problems_.end());
    files.insert(files.end(), found.begin(), found.end());
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    Problem(path, std::string("not a plain file but ") + FileKindName(st.st_mode));
    return;
  }
  const int fd = Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    Problem(path, "cannot be read" + Cause(errno));
    return;
  }
  const Descriptor closer{fd};
  files.push_back(path);
}

bool Search::Enter(const std::string& path, bool followLink) {
  const int fd = Open(path, O_RDONLY | O_DIRECTORY | O_NOCTTY | (followLink ? 0 : O_NOFOLLOW));
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (!dir) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    Problem(path, "the folder cannot be read" + Cause(error));
    return false;
  }
  stack_.push_back({path, DirHandle(dir)});
  return true;
}

// Folder by folder: an unreadable folder is named and the walk goes on.
void Search::Walk(const std::string& root, std::vector<std::string>& found) {
  if (!Enter(root, true)) return;
  while (!stack_.empty()) {
    errno = 0;
    const dirent* e = ::readdir(stack_.back().dir.get());
    if (!e) {
      if (errno != 0) Problem(stack_.back().path, "the folder's listing failed" + Cause(errno));
      stack_.pop_back();
      continue;
    }
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    Entry((fs::path(stack_.back().path) / name).string(), name, found);
  }
}

void Search::Entry(const std::string& path, const std::string& name, std::vector<std::string>& found) {
  const bool named = NamedAsMovie(name);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    if (named) Problem(path, "cannot be looked at" + Cause(errno));
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    Enter(path, false);  // a link now is one put there since: not followed
    return;
  }
  if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0) {
    if (named) Problem(path, "the link cannot be followed" + Cause(errno));
    return;
  }
  if (S_ISDIR(st.st_mode)) return;  // a link to a folder is not followed
  if (!S_ISREG(st.st_mode)) {
    if (named) Problem(path, std::string("not a plain file but ") + FileKindName(st.st_mode));
    return;
  }
  Probe(path, named, found);
}

void Search::Probe(const std::string& path, bool named, std::vector<std::string>& found) {
  // Not blocking: what was a plain file a moment ago may be a FIFO now.
  const int fd = Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (named) Problem(path, "cannot be opened" + Cause(errno));
    return;
  }
  const Descriptor closer{fd};
  unsigned char b[3] = {};
  size_t got = 0;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    while (got < sizeof b) {
      const ssize_t n = ::read(fd, b + got, sizeof b - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        if (named) Problem(path, "cannot be read" + Cause(errno));
        return;
      }
      if (n == 0) break;
      got += size_t(n);
    }
  }
  const bool signed3 = got == 3 && b[1] == 'W' && b[2] == 'S';
  if (signed3 && (b[0] == 'F' || b[0] == 'C')) {
    found.push_back(path);
  } else if (signed3 && b[0] == 'Z') {
    Problem(path, "LZMA-compressed movies (signature \"ZWS\") are not supported; passed over");
  } else if (named) {
    Problem(path, "not a movie (no \"FWS\", \"CWS\" or \"ZWS\" signature); passed over");
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
                   std::vector<std::string>* otherMovies) {
  (void)otherMovies;
  const size_t before = problems.size();
  Search search(open, problems);
  for (const std::string& in : inputs) search.Named(in, files);
  return problems.size() == before;
}

}  // namespace tovrani
