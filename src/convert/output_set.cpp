#include "convert/output_set.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/commit_record.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/item_names.h"
#include "fla/output_names.h"

namespace tovrani {

namespace {

constexpr char kCaption[] = "BRASKELON Tovrani";
constexpr const char* kImportPrefixes[] = {"Shapes_", "StaticText_"};
// A record of more steps than a document can have is not one of ours.
constexpr off_t kMaxRecordBytes = off_t(1) << 28;

CommitRenameHook g_renameHook;
CommitFlushHook g_flushHook;
HeldSignalSink g_signalSink = nullptr;

// rename(2) as the commit makes it: 0, or the errno of the failure.
int Rename(const std::string& from, const std::string& to) {
  if (g_renameHook)
    if (const int e = g_renameHook(from, to)) return e;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A file the commit moves aside before it replaces it: anything but a
// folder, which no file replaces.
bool Replaceable(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// A real folder, never a link to one.
bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder part of a path with its '/', or "" for a bare name.
std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string OpenableFolder(const std::string& folderPart) { return folderPart.empty() ? "./" : folderPart; }

// The document's two import folders, each ending in '/'.
std::vector<std::string> ImportFolders(const std::string& folder, const std::string& flaName) {
  std::vector<std::string> out;
  for (const char* prefix : kImportPrefixes) out.push_back(folder + prefix + flaName + "/");
  return out;
}

// Only a folder left empty goes: rmdir refuses any other, and a link.
void RemoveEmptyImportFolders(const std::string& folder, const std::string& flaName) {
  for (std::string f : ImportFolders(folder, flaName)) {
    f.pop_back();
    ::rmdir(f.c_str());
  }
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Descriptor& operator=(Descriptor&&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// A flush a file system cannot make (EINVAL) leaves nothing to wait for.
int FlushResult(int r) { return r == 0 || errno == EINVAL ? 0 : errno; }

// Flushes a folder's entries (`path` ends in '/'); a folder that cannot be
// opened or flushed is let be: its files' data are already on disk.
void FlushFolder(const std::string& path) {
  const Descriptor d(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d.get() < 0) return;
  ::fsync(d.get());
  if (g_flushHook) g_flushHook(path);
}

// The renames in the document's import folders and beside its FLA reach the
// disk.
void FlushDocumentFolders(const std::string& folder, const std::string& flaName) {
  for (const std::string& imports : ImportFolders(folder, flaName))
    if (IsFolder(imports.substr(0, imports.size() - 1))) FlushFolder(imports);
  FlushFolder(OpenableFolder(folder));
}

// Flushes the data of `paths`: all are started at once, then waited for,
// some hundreds at a time (a descriptor each, fewer where the process may
// not open so many). "" or the failure in words.
std::string FlushFiles(const std::vector<const std::string*>& paths) {
  constexpr size_t kAtOnce = 256;
  for (size_t at = 0; at < paths.size();) {
    std::vector<Descriptor> opened;
    while (at + opened.size() < paths.size() && opened.size() < kAtOnce) {
      const std::string& path = *paths[at + opened.size()];
      Descriptor d(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      if (d.get() < 0 && errno == EMFILE && !opened.empty()) break;
      if (d.get() < 0) return path + " could not be flushed to disk (" + std::strerror(errno) + ")";
      ::sync_file_range(d.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
      opened.push_back(std::move(d));
    }
    for (const Descriptor& d : opened) {
      const std::string& path = *paths[at++];
      if (const int e = FlushResult(::fdatasync(d.get())))
        return path + " could not be flushed to disk (" + std::strerror(e) + ")";
      if (g_flushHook) g_flushHook(path);
    }
  }
  return {};
}

// Writes the record, a file of its own (never through a link, never over
// another commit's); with `flush`, its data and its folder reach the disk.
// 0, or the errno of the failure (EEXIST: another commit's record stands).
int WriteRecord(const std::string& path, const std::string& bytes, bool flush) {
  const Descriptor d(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  int e = d.get() < 0 ? errno : 0;
  for (size_t at = 0; !e && at < bytes.size();) {
    const ssize_t n = ::write(d.get(), bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) e = n < 0 ? errno : EIO;
    else at += size_t(n);
  }
  if (!e && flush) {
    e = FlushResult(::fdatasync(d.get()));
    if (!e && g_flushHook) g_flushHook(path);
  }
  if (!e && flush) FlushFolder(OpenableFolder(FolderPart(path)));
  return e;
}

std::optional<std::string> ReadRecord(const std::string& path) {
  const Descriptor d(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat st {};
  if (d.get() < 0 || ::fstat(d.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxRecordBytes)
    return std::nullopt;
  std::string bytes(size_t(st.st_size), '\0');
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::read(d.get(), bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    at += size_t(n);
  }
  return bytes;
}

// An exclusive lock of a folder while it lives. Where none can be taken (no
// read access, a file system without locks) there is none, and no message.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    int r;
    while ((r = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The signals that cancel or end the program wait while it lives, so the
// set is never left half renamed. When it ends a cancel that came meanwhile
// goes to the sink, where there is one; the rest arrive as usual.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, s);
    ::pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~SignalsHeld() {
    sigset_t pending;
    if (g_signalSink && ::sigpending(&pending) == 0) {
      for (int s : {SIGINT, SIGTERM}) {
        if (!sigismember(&pending, s) || sigismember(&before_, s)) continue;
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, s);
        const timespec now{};
        if (::sigtimedwait(&one, nullptr, &now) == s) g_signalSink(s);
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t before_;
};

struct CommitStep {
  CommitStep(std::string t, std::string f) : temp(std::move(t)), finalPath(std::move(f)) {}
  std::string temp;  // empty for a previous import movie that is only moved aside
  std::string finalPath, backup;
  bool backedUp = false;  // the previous file stands as `backup`
  bool renamed = false;   // the new file stands under its final name
};

void RemoveMadeFolders(ConverterContext& ctx) {
  // Only a folder left empty goes: rmdir refuses any other.
  for (auto it = ctx.m_madeOutputFolders.rbegin(); it != ctx.m_madeOutputFolders.rend(); ++it)
    ::rmdir(it->c_str());
  ctx.m_madeOutputFolders.clear();
}

// "Shapes_doc.fla/Symbol 3.swf": a file's folder and name, which tell the
// document's own import movies apart however their paths were spelled.
std::string LastTwoParts(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return path;
  const size_t before = path.rfind('/', slash - 1);
  return path.substr(before == std::string::npos ? 0 : before + 1);
}

// A name the import movies have: "Symbol N.swf", N as symbol names write it.
bool ImportMovieName(const std::string& name) {
  constexpr std::string_view kHead = "Symbol ", kTail = ".swf";
  if (!name.starts_with(kHead) || !name.ends_with(kTail)) return false;
  const std::string digits = name.substr(kHead.size(), name.size() - kHead.size() - kTail.size());
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const unsigned long n = std::stoul(digits);
  return n <= 0xFFFF && MakeSymbolName(uint16_t(n)) + std::string(kTail) == name;
}

// The previous set's import movies that `steps` do not replace, in name
// order. An import folder that is a file or a link is left alone.
std::vector<CommitStep> StaleImportMovies(const std::string& fla, const std::vector<CommitStep>& steps) {
  std::unordered_set<std::string> kept;
  for (const CommitStep& s : steps) kept.insert(LastTwoParts(s.finalPath));
  const std::string folder = FolderPart(fla);
  std::vector<CommitStep> stale;
  for (const std::string& imports : ImportFolders(folder, fla.substr(folder.size()))) {
    if (!IsFolder(imports.substr(0, imports.size() - 1))) continue;
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(imports, ec), end; !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (ImportMovieName(name) && Replaceable(imports + name) && !kept.count(LastTwoParts(imports + name)))
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) stale.emplace_back(std::string(), imports + name);
  }
  return stale;
}

// Takes back the steps up to `failed`, last first. Returns what could not
// be put back, in words.
std::string PutBack(std::vector<CommitStep>& steps, size_t failed) {
  std::string stuck;
  for (size_t j = std::min(failed + 1, steps.size()); j-- > 0;) {
    CommitStep& s = steps[j];
    if (s.backedUp) {
      if (const int e = Rename(s.backup, s.finalPath)) {
        // With the final name free, the next conversion puts it back.
        if (s.renamed) ::unlink(s.finalPath.c_str());
        stuck += "; putting back the previous " + s.finalPath + " failed too (" + std::strerror(e) +
                 "): it stays as " + s.backup + " until the next conversion to this output";
      }
    } else if (s.renamed) {
      ::unlink(s.finalPath.c_str());
    }
  }
  return stuck;
}

void RemoveTemporaries(const std::vector<CommitStep>& steps) {
  for (const CommitStep& s : steps)
    if (!s.renamed && !s.temp.empty()) ::unlink(s.temp.c_str());
}

void ReportStaleStuck(ConverterContext& ctx, size_t count, const std::string& first) {
  if (!count || !ctx.m_pShell) return;
  ctx.m_pShell->ShowMessage(
      kCaption, count == 1 ? first + ", a movie the previous document imported, could not be removed; it stays."
                           : std::to_string(count) +
                                 " movies the previous document imported could not be removed; they stay (the first: " +
                                 first + ").");
}

// A leftover's process is gone: no process has its id, or the id is ours
// and this run did not make it. A process namespace of its own gives a run
// the id an earlier run had. When recovery runs, the only leftover-named
// file of this run is this document's script; a record with our id is
// never this run's (a commit removes its own before it returns).
bool Gone(const ConverterContext& ctx, long pid, const std::string& path) {
  return pid == ::getpid() ? path != ctx.m_strJsflPath : ProcessIsGone(pid);
}

// A killed commit whose FLA is in place is rolled forward (its backups go),
// any other back (every backup over its final name, every file it added
// removed). Files in an import folder that is no real folder are let be.
// "" or what could not be put back, in words.
std::string FinishKilledCommit(const CommitRecord& record) {
  const RecordedStep& fla = record.steps.back();
  const bool inPlace = Exists(fla.finalPath) && !Exists(fla.temp);
  const std::string flaFolder = FolderPart(fla.finalPath);
  const std::string digits = PidDigits(record.pid);
  const auto backup = [&](const RecordedStep& s) { return s.finalPath + ".bak-" + digits; };
  const auto reachable = [&](const RecordedStep& s) {
    const std::string f = FolderPart(s.finalPath);
    return f == flaFolder || IsFolder(f.substr(0, f.size() - 1));
  };
  if (inPlace) {
    for (const RecordedStep& s : record.steps) {
      if (!reachable(s)) continue;
      ::unlink(backup(s).c_str());
      if (!s.temp.empty()) ::unlink(s.temp.c_str());
    }
    return {};
  }
  std::string stuck;
  for (auto it = record.steps.rbegin(); it != record.steps.rend(); ++it) {
    const RecordedStep& s = *it;
    if (!reachable(s)) continue;
    if (Exists(backup(s))) {
      if (const int e = Rename(backup(s), s.finalPath))
        stuck += (stuck.empty() ? "" : "; ") + s.finalPath + " (" + std::strerror(e) + ")";
    } else if (s.kind == RecordedStep::kAdds && !Exists(s.temp) && Replaceable(s.finalPath)) {
      // Its temporary is gone: the commit put it there.
      ::unlink(s.finalPath.c_str());
    }
  }
  if (!stuck.empty()) return stuck;
  for (const RecordedStep& s : record.steps)
    if (!s.temp.empty() && reachable(s)) ::unlink(s.temp.c_str());
  return {};
}

enum class LeftCommit {
  kNone,      // no record, or one finished now
  kInUse,     // a record not to be touched: another conversion's commit, or unreadable
  kStuck,     // a killed commit whose previous files could not be put back
};

// Finishes the commit to `fla` that a killed run left, where it is safe to:
// under the folder's lock (no commit runs then) a record of this user's,
// otherwise one whose process is gone. `why` says what blocks the output.
LeftCommit FinishLeftCommit(const ConverterContext& ctx, const std::string& fla, bool locked, std::string& why) {
  const std::string path = CommitRecordName(fla);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return LeftCommit::kNone;
  const std::string folder = FolderPart(fla);
  const bool mine = S_ISREG(st.st_mode) && st.st_uid == ::getuid();
  const std::optional<std::string> bytes = S_ISREG(st.st_mode) ? ReadRecord(path) : std::nullopt;
  const auto record = bytes ? DecodeCommitRecord(*bytes, folder, fla.substr(folder.size())) : std::nullopt;
  if (!record) {
    // A record is whole before its commit's first rename: one cut short
    // changed nothing.
    if (locked && mine) {
      ::unlink(path.c_str());
      return LeftCommit::kNone;
    }
    why = path + " is left from another conversion and cannot be read";
    return LeftCommit::kInUse;
  }
  if (!(locked && mine) && !Gone(ctx, record->pid, path)) {
    why = "another conversion is committing to this output (" + path + ")";
    return LeftCommit::kInUse;
  }
  if (const std::string stuck = FinishKilledCommit(*record); !stuck.empty()) {
    why = "a conversion to this output was killed while it replaced the document set, and the previous files could "
          "not be put back: " + stuck + "; " + path + " stays for the next conversion";
    return LeftCommit::kStuck;
  }
  // What was put back reaches the disk before the record that tells it goes.
  FlushDocumentFolders(folder, fla.substr(folder.size()));
  RemoveEmptyImportFolders(folder, fla.substr(folder.size()));
  ::unlink(path.c_str());
  return LeftCommit::kNone;
}

uint32_t CommitSteps(ConverterContext& ctx, std::vector<CommitStep> steps, const std::string& fla) {
  // Staged files are the steps' business from here on.
  ctx.m_stagedFiles.clear();
  const std::string folder = FolderPart(fla), flaName = fla.substr(folder.size());
  FolderLock lock(OpenableFolder(folder));
  const auto fail = [&](const std::string& failure) {
    RemoveTemporaries(steps);
    RemoveMadeFolders(ctx);
    ctx.m_strFailureDetail =
        "the document set could not be committed: " + failure + "; the previous files stand as they were";
    return kResultOutputIncomplete;
  };
  // A commit killed since this conversion's recovery is finished first.
  std::string failure;
  if (FinishLeftCommit(ctx, fla, lock.held(), failure) != LeftCommit::kNone) return fail(failure);

  std::vector<CommitStep> stale = StaleImportMovies(fla, steps);
  steps.insert(steps.end() - 1, std::make_move_iterator(stale.begin()), std::make_move_iterator(stale.end()));
  std::vector<RecordedStep> recorded;
  bool replaces = false;
  for (const CommitStep& s : steps) {
    RecordedStep& r = recorded.emplace_back();
    r.kind = s.temp.empty()                ? RecordedStep::kStale
             : Replaceable(s.finalPath) ? RecordedStep::kReplaces
                                        : RecordedStep::kAdds;
    r.temp = s.temp;
    r.finalPath = s.finalPath;
    replaces = replaces || r.kind != RecordedStep::kAdds;
  }

  // A commit that replaces or removes nothing may lose its new files to a
  // power cut: the movie is still there to convert again. One that does
  // must not lose the previous files for empty new ones.
  if (replaces) {
    std::vector<const std::string*> staged;
    for (const CommitStep& s : steps)
      if (!s.temp.empty()) staged.push_back(&s.temp);
    failure = FlushFiles(staged);
  }
  const std::string record = CommitRecordName(fla);
  if (failure.empty()) {
    const int e = WriteRecord(record, EncodeCommitRecord(folder, ::getpid(), recorded), replaces);
    if (e == EEXIST) return fail("another conversion is committing to this output (" + record + ")");
    if (e) {
      ::unlink(record.c_str());
      failure = "the record of the commit, " + record + ", could not be written (" + std::strerror(e) + ")";
    }
  }
  if (!failure.empty()) return fail(failure);

  SignalsHeld held;
  size_t staleStuck = 0;
  std::string firstStale;
  size_t k = 0;
  for (; k < steps.size(); ++k) {
    CommitStep& s = steps[k];
    if (s.temp.empty()) {
      s.backup = BackupName(s.finalPath);
      if (const int e = Rename(s.finalPath, s.backup)) {
        if (!staleStuck++) firstStale = s.finalPath + " (" + std::strerror(e) + ")";
      } else {
        s.backedUp = true;
      }
      continue;
    }
    // The other files' new names reach the disk before the FLA's.
    if (k + 1 == steps.size() && replaces) FlushDocumentFolders(folder, flaName);
    if (Replaceable(s.finalPath)) {
      s.backup = BackupName(s.finalPath);
      if (const int e = Rename(s.finalPath, s.backup)) {
        failure = s.finalPath + " could not be moved aside (" + std::strerror(e) + ")";
        break;
      }
      s.backedUp = true;
    }
    if (const int e = Rename(s.temp, s.finalPath)) {
      failure = s.finalPath + " could not be put in place (" + std::strerror(e) + ")";
      break;
    }
    s.renamed = true;
  }
  if (failure.empty()) {
    if (replaces) FlushFolder(OpenableFolder(folder));
    for (const CommitStep& s : steps)
      if (s.backedUp) ::unlink(s.backup.c_str());
    RemoveEmptyImportFolders(folder, flaName);
    ctx.m_madeOutputFolders.clear();
    ::unlink(record.c_str());
    ReportStaleStuck(ctx, staleStuck, firstStale);
    return kResultDone;
  }
  const std::string stuck = PutBack(steps, k);
  // What was put back reaches the disk before the record that tells it goes;
  // from there the temporaries alone are left, which any later run removes.
  if (replaces) FlushDocumentFolders(folder, flaName);
  ::unlink(record.c_str());
  RemoveTemporaries(steps);
  RemoveMadeFolders(ctx);
  ctx.m_strFailureDetail = "the document set could not be committed: " + failure +
                           (stuck.empty() ? "; the previous files stand as they were" : stuck);
  return kResultOutputIncomplete;
}

// The regular files of a folder ("" for the current one) that have a
// leftover's form.
std::vector<std::string> LeftoverNames(const std::string& folderPart) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(OpenableFolder(folderPart), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::error_code kind;
    if (ParseLeftoverName(name) && it->symlink_status(kind).type() == std::filesystem::file_type::regular)
      names.push_back(std::move(name));
  }
  return names;
}

// The backups and temporaries among `names`, the files of `folder`, whose
// final names `wanted` accepts and whose process is gone: a backup whose
// final name is missing (a killed commit took it away) is put back, the
// rest removed.
template <typename Wanted>
void RecoverFolder(const ConverterContext& ctx, const std::string& folder, const std::vector<std::string>& names,
                   Wanted wanted) {
  for (const std::string& name : names) {
    const std::optional<LeftoverName> l = ParseLeftoverName(name);
    const std::string path = folder + name;
    if (!l || !wanted(l->finalName) || !Gone(ctx, l->pid, path)) continue;
    if (l->backup && !Exists(folder + l->finalName) && Rename(path, folder + l->finalName) == 0) continue;
    ::unlink(path.c_str());
  }
}

}  // namespace

void SetCommitRenameHook(CommitRenameHook hook) { g_renameHook = std::move(hook); }
void SetCommitFlushHook(CommitFlushHook hook) { g_flushHook = std::move(hook); }
void SetHeldSignalSink(HeldSignalSink sink) { g_signalSink = sink; }

std::string StageImportMovie(ConverterContext& ctx, const std::string& folder, const std::string& name) {
  std::error_code ec;
  if (std::filesystem::create_directories(folder, ec) && !ec) ctx.m_madeOutputFolders.push_back(folder);
  std::string finalPath = folder;
  if (finalPath.empty() || finalPath.back() != '/') finalPath.push_back('/');
  finalPath += name;
  std::string temp;
  const int fd = CreateTempBeside(finalPath, temp);
  if (fd < 0) return {};
  ::close(fd);
  ctx.m_stagedFiles.push_back({temp, finalPath});
  return temp;
}

void DropStagedFile(ConverterContext& ctx, const std::string& temp) {
  auto& staged = ctx.m_stagedFiles;
  for (size_t i = staged.size(); i-- > 0;) {
    if (staged[i].temp != temp) continue;
    ::unlink(temp.c_str());
    staged.erase(staged.begin() + ptrdiff_t(i));
    return;
  }
}

void DiscardStagedFiles(ConverterContext& ctx) {
  for (const auto& f : ctx.m_stagedFiles) ::unlink(f.temp.c_str());
  ctx.m_stagedFiles.clear();
  RemoveMadeFolders(ctx);
}

uint32_t CommitDocumentSet(ConverterContext& ctx, const std::string& scriptTemp, const std::string& script,
                           const std::string& flaTemp, const std::string& fla) {
  if (flaTemp.empty()) {
    DiscardStagedFiles(ctx);
    if (!scriptTemp.empty()) ::unlink(scriptTemp.c_str());
    return kResultOutputIncomplete;
  }
  std::vector<CommitStep> steps;
  for (const auto& f : ctx.m_stagedFiles) steps.emplace_back(f.temp, f.finalPath);
  if (!scriptTemp.empty()) steps.emplace_back(scriptTemp, script);
  steps.emplace_back(flaTemp, fla);
  return CommitSteps(ctx, std::move(steps), fla);
}

uint32_t RecoverOutputSet(ConverterContext& ctx, const std::string& fla) {
  const std::string folder = FolderPart(fla);
  const std::string name = fla.substr(folder.size());
  FolderLock lock(OpenableFolder(folder));
  // A killed commit first: what it moved aside is put back by its record. A
  // commit another conversion is making is its business.
  std::string why;
  if (FinishLeftCommit(ctx, fla, lock.held(), why) == LeftCommit::kStuck) {
    ctx.m_strFailureDetail = why + "; nothing was changed";
    return kResultOutputIncomplete;
  }
  // The FLA's folder may hold many documents: it is read once a run, and
  // what each conversion recovers is taken out of what was read.
  auto cached = ctx.m_outputLeftovers.find(folder);
  if (cached == ctx.m_outputLeftovers.end())
    cached = ctx.m_outputLeftovers.emplace(folder, LeftoverNames(folder)).first;
  std::vector<std::string>& inFolder = cached->second;
  const auto ours = [&](const std::string& finalName) { return finalName == name || finalName == name + ".jsfl"; };
  RecoverFolder(ctx, folder, inFolder, ours);
  std::erase_if(inFolder, [&](const std::string& n) { return ours(ParseLeftoverName(n)->finalName); });
  for (const std::string& imports : ImportFolders(folder, name))
    RecoverFolder(ctx, imports, LeftoverNames(imports), [](const std::string&) { return true; });
  // A folder a killed run made for its movies goes with them.
  RemoveEmptyImportFolders(folder, name);
  return kResultDone;
}

}  // namespace tovrani
