#include "support/deep_folders.h"

#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/independent_readers.h"

namespace tovrani::test {

DeepFolders::DeepFolders(const std::string& parent, int levels, const std::string& name)
    : top_(parent + "/" + name), deepest_(parent) {
  fd_ = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < levels && fd_ >= 0; ++i) {
    const int next = ::mkdirat(fd_, name.c_str(), 0755) == 0
                         ? ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                         : -1;
    ::close(fd_);
    fd_ = next;
    deepest_ += "/" + name;
  }
  if (fd_ < 0) throw std::runtime_error("the deep folders cannot be made below " + parent);
}

// rm walks by descriptors, where a path would be too long.
DeepFolders::~DeepFolders() {
  ::close(fd_);
  std::string output;
  RunCommand("rm -rf " + ShellQuote(top_), output);
}

std::string DeepFolders::Write(const std::string& file, const std::vector<uint8_t>& bytes) const {
  const int out = ::openat(fd_, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const bool written = out >= 0 && ::write(out, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  if (out >= 0) ::close(out);
  if (!written) throw std::runtime_error("cannot write " + file + " in the deep folders");
  return deepest_ + "/" + file;
}

}  // namespace tovrani::test
