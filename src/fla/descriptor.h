// An open file descriptor that closes itself, and what tells one file from
// another (its device and inode), for the output files that are reached by
// descriptor rather than by path.
#pragma once

#include <cerrno>
#include <cstddef>
#include <string_view>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace tovrani {

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Descriptor& operator=(Descriptor&& o) noexcept {
    if (this != &o) {
      reset(o.fd_);
      o.fd_ = -1;
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the one held and takes `fd`.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Hands the descriptor over without closing it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now: 0, or the errno of a failed close (data not written).
  int close() {
    if (fd_ < 0) return 0;
    const int r = ::close(fd_);
    fd_ = -1;
    return r == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

struct FileIdentity {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileIdentity&) const = default;
};

inline FileIdentity IdentityOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// Writes all of `bytes` to `fd`: 0, or the errno of the failure.
inline int WriteAll(int fd, std::string_view bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    at += size_t(n);
  }
  return 0;
}

}  // namespace tovrani
