#include "convert/commit_record.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/output_folder.h"
#include "fla/descriptor.h"
#include "fla/output_names.h"

namespace tovrani {

namespace {

constexpr std::string_view kHead = "tovrani commit 1";
constexpr std::string_view kEnd = "end";
// No field of a record is longer: the longest is an import movie's
// temporary, whose FLA name is one file name.
constexpr size_t kMaxField = 4096;

void Field(std::string& out, std::string_view text) {
  out += text;
  out.push_back('\0');
}

// True for the names of `flaName`'s set: the FLA, its script, and an import
// movie directly in "Shapes_NAME" or "StaticText_NAME".
bool InDocumentSet(std::string_view name, const std::string& flaName) {
  if (name == flaName || name == flaName + ".jsfl") return true;
  for (std::string_view prefix : {"Shapes_", "StaticText_"}) {
    const std::string folder = std::string(prefix) + flaName + "/";
    if (name.starts_with(folder)) return IsImportMovieName(name.substr(folder.size()));
  }
  return false;
}

// True when `temp` is a temporary of process `pid` beside `finalName`, in
// its folder.
bool TemporaryOf(std::string_view temp, std::string_view finalName, long pid) {
  const size_t slash = finalName.rfind('/');
  const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  if (temp.substr(0, start) != finalName.substr(0, start)) return false;
  const std::optional<LeftoverName> l = ParseLeftoverName(temp.substr(start));
  return l && !l->backup && l->pid == pid && l->finalName == finalName.substr(start);
}

// Fields one at a time: Next gives 1 with a field, 0 at a clean end, -1
// when the bytes end inside a field, a field is too long or a read fails.
class BytesFields {
 public:
  explicit BytesFields(std::string_view bytes) : bytes_(bytes) {}
  int Next(std::string& out) {
    if (at_ == bytes_.size()) return 0;
    const size_t nul = bytes_.find('\0', at_);
    if (nul == std::string_view::npos || nul - at_ > kMaxField) return -1;
    out.assign(bytes_.substr(at_, nul - at_));
    at_ = nul + 1;
    return 1;
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

class FileFields {
 public:
  FileFields(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  // The errno of a failed read, 0 when none failed.
  int error() const { return error_; }
  int Next(std::string& out) {
    out.clear();
    for (;;) {
      if (at_ == size_ && !Fill()) return failed_ ? -1 : out.empty() && !partial_ ? 0 : -1;
      const char* start = buffer_ + at_;
      const char* nul = static_cast<const char*>(std::memchr(start, '\0', size_ - at_));
      const size_t n = nul ? size_t(nul - start) : size_ - at_;
      if (out.size() + n > kMaxField) return -1;
      out.append(start, n);
      at_ += n;
      if (nul) {
        ++at_;
        partial_ = false;
        return 1;
      }
      partial_ = true;
    }
  }

 private:
  bool Fill() {
    for (;;) {
      ssize_t n;
      if (const int e = CallHookAnswer(CommitCall::kRecordRead, path_)) {
        errno = e;
        n = -1;
      } else {
        n = ::read(fd_, buffer_, sizeof buffer_);
      }
      if (n < 0 && errno == EINTR) continue;
      failed_ = n < 0;
      if (failed_) error_ = errno;
      at_ = 0;
      size_ = n > 0 ? size_t(n) : 0;
      return n > 0;
    }
  }

  int fd_;
  std::string path_;
  int error_ = 0;
  char buffer_[65536];
  size_t at_ = 0, size_ = 0;
  bool failed_ = false, partial_ = false;
};

template <typename Fields>
std::optional<CommitRecord> Parse(Fields& fields, const std::string& flaName) {
  std::string field;
  if (fields.Next(field) != 1 || field != kHead) return std::nullopt;
  if (fields.Next(field) != 1) return std::nullopt;
  CommitRecord record;
  record.pid = ParsePid(field, 0, field.size());
  if (record.pid <= 0) return std::nullopt;
  bool hasFla = false;
  for (;;) {
    if (fields.Next(field) != 1) return std::nullopt;
    if (field == kEnd) break;
    if (field.size() != 1) return std::nullopt;
    RecordedStep s;
    s.kind = RecordedStep::Kind(field[0]);
    if (s.kind != RecordedStep::kAdds && s.kind != RecordedStep::kReplaces && s.kind != RecordedStep::kStale)
      return std::nullopt;
    if (fields.Next(s.temp) != 1 || fields.Next(s.finalName) != 1 || !InDocumentSet(s.finalName, flaName))
      return std::nullopt;
    if ((s.kind == RecordedStep::kStale) != s.temp.empty() ||
        (!s.temp.empty() && !TemporaryOf(s.temp, s.finalName, record.pid)))
      return std::nullopt;
    if (s.finalName == flaName) hasFla = s.kind != RecordedStep::kStale;
    record.steps.push_back(std::move(s));
  }
  // Nothing follows the end mark; the FLA is the last step of every commit.
  if (fields.Next(field) != 0 || !hasFla || record.steps.back().finalName != flaName) return std::nullopt;
  return record;
}

}  // namespace

uint64_t MaxCommitRecordBytes(size_t flaNameBytes) {
  // Head, process id and end mark; per step its kind, the temporary and the
  // final name of the longest import movie, "StaticText_NAME/Symbol
  // 65535.swf", with their NUL bytes; 65,536 movies in each folder.
  return 29 + 131074 * (2 * uint64_t(flaNameBytes) + 79);
}

std::string EncodeCommitRecord(long pid, const std::vector<RecordedStep>& steps) {
  std::string out;
  Field(out, kHead);
  Field(out, PidDigits(pid));
  for (const RecordedStep& s : steps) {
    Field(out, std::string_view(reinterpret_cast<const char*>(&s.kind), 1));
    Field(out, s.temp);
    Field(out, s.finalName);
  }
  Field(out, kEnd);
  return out;
}

std::optional<CommitRecord> DecodeCommitRecord(std::string_view bytes, const std::string& flaName) {
  BytesFields fields(bytes);
  return Parse(fields, flaName);
}

LeftRecord ReadLeftRecord(const OutputFolder& folder, const std::string& flaName, uid_t owner) {
  LeftRecord left;
  const std::string name = CommitRecordName(flaName), path = folder.PathOf(name);
  // A record that cannot be read may still be a killed commit's: what it
  // names stays as it is until it can be read or is removed.
  const auto failed = [&](const char* doing, int e) {
    left.state = LeftRecord::kError;
    left.why = path + ", the record of a commit, cannot be " + doing + " (" + std::strerror(e) +
               "); nothing was changed, and conversions to this output stop until it can be read or is removed";
    return std::move(left);
  };
  struct stat st {}, opened {};
  if (const int e = CallHookAnswer(CommitCall::kRecordLook, path)) return failed("looked at", e);
  if (!folder.Stat(name, st)) return errno == ENOENT ? std::move(left) : failed("looked at", errno);
  left.state = LeftRecord::kNotOwn;
  const uid_t uid = OwnerOf(st, path);
  if (uid != owner) {
    left.why = path + " is a record of " + OwnerName(uid) + "'s, which only that user's next conversion to this output "
                      "finishes";
    return left;
  }
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
    left.why = path + " stands where a record of a commit would, but is no plain file of its own";
    return left;
  }
  // For writing too, so that it can be emptied should it outlive its
  // removal; a mode without the owner's write bit leaves it for reading.
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  Descriptor fd(::openat(folder.fd(), name.c_str(), O_RDWR | kFlags));
  if (!fd.valid() && (errno == EACCES || errno == EROFS))
    fd.reset(::openat(folder.fd(), name.c_str(), O_RDONLY | kFlags));
  if (!fd.valid() && errno == ENOENT) return LeftRecord{};
  if (!fd.valid() || ::fstat(fd.get(), &opened) != 0 || IdentityOf(opened) != IdentityOf(st) ||
      !S_ISREG(opened.st_mode)) {
    left.why = path + ", the record of a commit, cannot be opened (" +
               (fd.valid() ? std::string("it was replaced while it was read") : std::strerror(errno)) + ")";
    return left;
  }
  left.state = LeftRecord::kUnreadable;
  left.identity = IdentityOf(opened);
  if (uint64_t(opened.st_size) <= MaxCommitRecordBytes(flaName.size())) {
    FileFields fields(fd.get(), path);
    std::optional<CommitRecord> record = Parse(fields, flaName);
    if (fields.error()) return failed("read", fields.error());
    if (record) {
      left.state = LeftRecord::kRead;
      left.record = std::move(*record);
    }
  }
  left.fd = std::move(fd);
  return left;
}

int WriteCommitRecord(const OutputFolder& folder, const std::string& flaName, const std::string& bytes, bool flush,
                      Descriptor& fd) {
  const std::string name = CommitRecordName(flaName);
  fd.reset(CreateFileAt(folder.fd(), name));
  if (!fd.valid()) return errno;
  int e = WriteAll(fd.get(), bytes);
  if (!e && flush) e = FlushHookAnswer(folder.PathOf(name));
  if (!e && flush && ::fdatasync(fd.get()) != 0 && errno != EINVAL) e = errno;
  return e;
}

std::string RemoveCommitRecord(const OutputFolder& folder, const std::string& flaName, const Descriptor& fd) {
  const std::string name = CommitRecordName(flaName), path = folder.PathOf(name);
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return {};
  const int removal = folder.Holds(name, IdentityOf(st)) ? folder.Remove(name) : 0;
  // Almost always the last link is gone: nothing more is written.
  if (::fstat(fd.get(), &st) == 0 && st.st_nlink == 0) return {};
  int e = ::ftruncate(fd.get(), 0) == 0 ? 0 : errno;
  if (!e && ::fdatasync(fd.get()) != 0 && errno != EINVAL) e = errno;
  const std::string head = path + ", the record of a finished commit, could not be ";
  const std::string removed = removal ? "removed (" + std::string(std::strerror(removal)) + ")" : "";
  if (e) return head + (removal ? removed + " nor " : "") + "emptied (" + std::strerror(e) + ")";
  if (removal) return head + removed + "; it stays, emptied, and changes nothing";
  return {};
}

}  // namespace tovrani
