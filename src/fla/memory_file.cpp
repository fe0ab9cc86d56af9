#include "fla/memory_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/resource_bound.h"

namespace tovrani {

namespace {

// Work files stay far below this; a seek past it is a caller's fault.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 40;
// What a work file leaves free below the memory bound.
constexpr uint64_t kHeapMargin = uint64_t(64) << 20;

// One open of a work file: what a file description is to a path.
struct Stream {
  std::shared_ptr<MemoryFile> file;
  uint64_t pos = 0;
  bool append = false;
  std::FILE* stream = nullptr;
};

// The open streams, so that a truncation can find its file.
std::mutex g_streamsLock;
std::unordered_map<std::FILE*, Stream*> g_streams;

ssize_t StreamRead(void* cookie, char* dst, size_t n) {
  auto* s = static_cast<Stream*>(cookie);
  int64_t got = s->file->Read(s->pos, dst, n);
  if (got < 0) return -1;
  s->pos += uint64_t(got);
  return ssize_t(got);
}

ssize_t StreamWrite(void* cookie, const char* src, size_t n) {
  auto* s = static_cast<Stream*>(cookie);
  if (s->append) s->pos = s->file->size();
  // Nothing may throw through stdio: a move to disk refused its memory
  // fails the write.
  int64_t put = -1;
  try {
    put = s->file->Write(s->pos, src, n);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
  }
  // A short count marks the stream's error; a negative one is not allowed.
  if (put < 0) return 0;
  s->pos += uint64_t(put);
  return ssize_t(put);
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
  auto* s = static_cast<Stream*>(cookie);
  int64_t base;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = int64_t(s->pos); break;
    case SEEK_END: base = int64_t(s->file->size()); break;
    default: errno = EINVAL; return -1;
  }
  const int64_t to = base + *offset;
  if (*offset < -base || to < 0 || uint64_t(to) > kMaxFileBytes) {
    errno = EINVAL;
    return -1;
  }
  s->pos = uint64_t(to);
  *offset = to;
  return 0;
}

int StreamClose(void* cookie) {
  auto* s = static_cast<Stream*>(cookie);
  {
    std::lock_guard<std::mutex> lock(g_streamsLock);
    g_streams.erase(s->stream);
  }
  delete s;
  return 0;
}

bool WriteAll(int fd, uint64_t pos, const char* src, size_t n) {
  while (n > 0) {
    ssize_t w = ::pwrite(fd, src, n, off_t(pos));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    src += w;
    pos += uint64_t(w);
    n -= size_t(w);
  }
  return true;
}

}  // namespace

MemoryFile::MemoryFile(std::shared_ptr<WorkSpace> space, std::string name)
    : space_(std::move(space)), name_(std::move(name)) {}

MemoryFile::~MemoryFile() {
  if (fd_ >= 0)
    ::close(fd_);
  else
    space_->inMemory -= bytes_.capacity();
}

bool MemoryFile::OpenOnDisk() {
  if (!space_->StartOnDisk(name_)) return false;
  // Once unlinked, the name belongs to another file: a nameless file.
  fd_ = unlinked_ ? space_->OpenNameless() : space_->OpenFile(name_, O_RDWR | O_CREAT);
  return fd_ >= 0;
}

uint64_t MemoryFile::size() const {
  // On disk, ordinary opens of the file may have changed it.
  struct stat st;
  if (fd_ >= 0) return ::fstat(fd_, &st) == 0 ? uint64_t(st.st_size) : 0;
  return size_;
}

bool MemoryFile::MoveToDisk() {
  if (!OpenOnDisk()) return false;
  if (!WriteAll(fd_, 0, bytes_.data(), size_t(size_))) {
    ::close(fd_);
    fd_ = -1;
    if (!unlinked_) space_->RemoveFile(name_);
    return false;
  }
  space_->inMemory -= bytes_.capacity();
  std::vector<char>().swap(bytes_);
  return true;
}

bool MemoryFile::StartOnDisk() { return fd_ >= 0 || MoveToDisk(); }

int64_t MemoryFile::Read(uint64_t pos, char* dst, size_t n) {
  if (fd_ >= 0) {
    for (;;) {
      ssize_t r = ::pread(fd_, dst, n, off_t(pos));
      if (r < 0 && errno == EINTR) continue;
      return r;
    }
  }
  if (pos >= size_) return 0;
  n = size_t(std::min<uint64_t>(n, size_ - pos));
  std::memcpy(dst, bytes_.data() + pos, n);
  return int64_t(n);
}

int64_t MemoryFile::Write(uint64_t pos, const char* src, size_t n) {
  if (broken_ || pos > kMaxFileBytes || n > kMaxFileBytes - pos) {
    errno = broken_ ? EIO : EFBIG;
    return -1;
  }
  const uint64_t end = pos + n;
  // A stream still being built may not grow past what the conversion may
  // still write; rewriting what it holds stays allowed. Its size is looked
  // at only past that point (on disk it costs a call).
  if (!charged_ && end > space_->writeBound.Left() && end > size()) {
    space_->writeBound.Cross();
    errno = EFBIG;
    return -1;
  }
  if (fd_ < 0 && end > size_ && !Resize(end)) return -1;
  if (fd_ >= 0) {
    if (!WriteAll(fd_, pos, src, n)) {
      space_->failed = true;  // a full disk: the output would be incomplete
      return -1;
    }
    return int64_t(n);
  }
  std::memcpy(bytes_.data() + pos, src, n);
  return int64_t(n);
}

// The budget counts the memory held (capacity), not the bytes written. A
// file grows by doubling while that fits; the first growth that doubling
// cannot give moves it to disk, since growing by what each write needs would
// copy the whole file again on every write.
bool MemoryFile::Reserve(uint64_t size) {
  const uint64_t held = bytes_.capacity(), others = space_->inMemory - held;
  // Within the folder's budget, and never within kHeapMargin of the
  // conversion's memory bound (the new buffer beside the old one while it
  // is copied): the file goes to disk first.
  const auto fits = [&](uint64_t n) {
    return n <= space_->budget && others <= space_->budget - n && HeapHasRoom(n, kHeapMargin);
  };
  uint64_t want = std::max<uint64_t>(size, held * 2);
  if (want < 4096 && fits(4096)) want = 4096;
  if (!fits(want)) return false;
  try {
    bytes_.reserve(size_t(want));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (bytes_.capacity() != held) copied_ += size_;
  space_->inMemory = others + bytes_.capacity();
  return true;
}

bool MemoryFile::Resize(uint64_t size) {
  if (broken_) return false;
  if (fd_ < 0 && size == size_) return true;
  // Over the budget (or out of memory) the file moves to disk; when that
  // fails too, the conversion cannot finish its output.
  if (fd_ < 0 && size > bytes_.capacity() && !Reserve(size) && !MoveToDisk()) {
    broken_ = true;
    // Past the memory bound the conversion fails with the bound's result.
    if (!ResourceBoundCrossed()) space_->failed = true;
    errno = ENOSPC;
    return false;
  }
  // A truncation of a file already that long is skipped: emptying a fresh
  // file would make the file system write it out when it is closed.
  if (fd_ >= 0) return this->size() == size || ::ftruncate(fd_, off_t(size)) == 0;
  bytes_.resize(size_t(size));
  if (size == 0) {
    space_->inMemory -= bytes_.capacity();
    std::vector<char>().swap(bytes_);
  }
  size_ = size;
  return true;
}

void MemoryFile::Unlink() {
  if (unlinked_) return;
  if (fd_ >= 0) space_->RemoveFile(name_);
  unlinked_ = true;
}

std::FILE* MemoryFile::Open(const std::shared_ptr<MemoryFile>& file, const char* mode) {
  if (!mode || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) {
    errno = EINVAL;
    return nullptr;
  }
  const bool plus = std::strchr(mode, '+') != nullptr;
  if (mode[0] == 'w' && !file->Resize(0)) return nullptr;
  auto* s = new Stream;
  s->file = file;
  s->append = mode[0] == 'a';
  // As fopen: "a" starts at the end, "a+" reads from the start.
  if (s->append && !plus) s->pos = file->size();
  cookie_io_functions_t io{StreamRead, StreamWrite, StreamSeek, StreamClose};
  std::FILE* f = ::fopencookie(s, mode, io);
  if (!f) {
    delete s;
    return nullptr;
  }
  s->stream = f;
  std::lock_guard<std::mutex> lock(g_streamsLock);
  g_streams[f] = s;
  return f;
}

bool TruncateOpenFile(std::FILE* f, uint64_t size) {
  if (!f || std::fflush(f) != 0) return false;
  MemoryFile* file = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_streamsLock);
    auto it = g_streams.find(f);
    if (it != g_streams.end()) file = it->second->file.get();
  }
  if (file) return file->Resize(size);
  return ::ftruncate(::fileno(f), off_t(size)) == 0;
}

}  // namespace tovrani
