#include "convert/output_set.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/commit_record.h"
#include "convert/commit_rollback.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/output_recovery.h"
#include "convert/run_inputs.h"
#include "fla/output_names.h"
#include "fla/write_bound.h"

namespace tovrani {

namespace {

constexpr char kCaption[] = "BRASKELON Tovrani";
constexpr const char* kImportPrefixes[] = {"Shapes_", "StaticText_"};

HeldSignalSink g_signalSink = nullptr;

// The folder part of a path with its '/', or "" for a bare name.
std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

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
  const OutputFolder* folder = nullptr;  // where its files are
  RecordedStep::Kind kind = RecordedStep::kAdds;
  std::string temp;                      // empty for a previous import movie only moved aside
  std::string name, backup;
  std::string recorded;  // its final name as the record gives it, from the FLA's folder
  FileIdentity identity;  // the staged file as it was made
  bool backedUp = false;  // the previous file stands as `backup`
  bool renamed = false;   // the new file stands under its final name
};

// A file the commit moves aside before it replaces it: anything but a
// folder, which no file replaces.
bool Replaceable(const OutputFolder& folder, const std::string& name) {
  struct stat st {};
  return folder.Stat(name, st) && !S_ISDIR(st.st_mode);
}

void RemoveMadeFolders(DocumentOutput& out) {
  // Only a folder left empty goes: rmdir refuses any other, and a link.
  for (int kind : {kShapesFolder, kStaticTextFolder}) {
    DocumentOutput::ImportFolder& f = out.imports[size_t(kind)];
    if (f.made) ::unlinkat(out.folder.fd(), ImportFolderName(kind, out.flaName).c_str(), AT_REMOVEDIR);
    f.made = false;
  }
}

// The previous set's import movies that `steps` do not replace, in name
// order, in the import folders that are the run's own; an input of the run
// is none of them.
std::vector<CommitStep> StaleImportMovies(DocumentOutput& out, const std::vector<CommitStep>& steps,
                                          const RunInputs* inputs) {
  std::unordered_set<std::string> kept;
  for (const CommitStep& s : steps) kept.insert(s.recorded);
  std::vector<CommitStep> stale;
  for (int kind : {kShapesFolder, kStaticTextFolder}) {
    const OutputFolder* folder = ImportFolderOf(out, kind, false);
    if (!folder) continue;
    const std::string prefix = ImportFolderName(kind, out.flaName) + "/";
    std::vector<std::string> names = folder->List();
    std::erase_if(names, [&](const std::string& name) {
      return !IsImportMovieName(name) || !Replaceable(*folder, name) || kept.count(prefix + name) ||
             (inputs && inputs->Holds(*folder, name));
    });
    std::sort(names.begin(), names.end());
    for (std::string& name : names) {
      CommitStep& s = stale.emplace_back();
      s.folder = folder;
      s.kind = RecordedStep::kStale;
      s.recorded = prefix + name;
      s.name = std::move(name);
    }
  }
  return stale;
}

// Checks that each staged file is still the one the run made (never one
// another put in its place), and with `flush` brings its data to disk: all
// are started at once, then waited for, some hundreds at a time (a
// descriptor each, fewer where the process may not open so many). "" or the
// failure in words.
std::string CheckStagedFiles(const std::vector<CommitStep>& steps, bool flush) {
  std::vector<const CommitStep*> staged;
  for (const CommitStep& s : steps)
    if (!s.temp.empty()) staged.push_back(&s);
  const auto replaced = [](const CommitStep& s) {
    return s.folder->PathOf(s.temp) + " was replaced by another file while the conversion ran";
  };
  if (!flush) {
    for (const CommitStep* s : staged)
      if (!s->folder->Holds(s->temp, s->identity)) return replaced(*s);
    return {};
  }
  constexpr size_t kAtOnce = 256;
  for (size_t at = 0; at < staged.size();) {
    std::vector<Descriptor> opened;
    while (at + opened.size() < staged.size() && opened.size() < kAtOnce) {
      const CommitStep& s = *staged[at + opened.size()];
      Descriptor d(::openat(s.folder->fd(), s.temp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
      if (!d.valid() && errno == EMFILE && !opened.empty()) break;
      if (!d.valid()) {
        const int e = errno;
        // A link in its place is not opened: it is no longer the run's file.
        if (!s.folder->Holds(s.temp, s.identity)) return replaced(s);
        return FlushFailure(s.folder->PathOf(s.temp), e);
      }
      struct stat st {};
      if (::fstat(d.get(), &st) != 0 || !S_ISREG(st.st_mode) || IdentityOf(st) != s.identity) return replaced(s);
      ::sync_file_range(d.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
      opened.push_back(std::move(d));
    }
    for (const Descriptor& d : opened) {
      const CommitStep& s = *staged[at++];
      int e = FlushHookAnswer(s.folder->PathOf(s.temp));
      if (!e && ::fdatasync(d.get()) != 0 && errno != EINVAL) e = errno;
      if (e) return FlushFailure(s.folder->PathOf(s.temp), e);
    }
  }
  return {};
}

// Takes back the steps up to `failed`, last first, as a roll-back after a
// kill would, but with what the commit knows: a step it never came to, or
// whose rename failed, is not reached. Returns what could not be done, in
// words; "" when every step is back.
std::string PutBack(const DocumentOutput& out, const std::vector<CommitStep>& steps, size_t failed) {
  std::vector<UndoStep> undo;
  for (size_t j = 0; j <= failed && j < steps.size(); ++j) {
    const CommitStep& s = steps[j];
    UndoStep& u = undo.emplace_back();
    u.folder = s.folder;
    u.folderPath = s.folder->path();
    u.kind = s.kind;
    u.temp = s.temp;
    u.name = s.name;
    u.backup = BackupName(s.name, ::getpid());
    if (j == failed) u.known = s.backedUp ? UndoStep::kMovedAside : UndoStep::kNotReached;
    else if (!s.backedUp && !s.renamed) u.known = UndoStep::kNotReached;
  }
  const RollBackOutcome back = RollBack(undo, out.owner);
  if (!back.misfits.empty())
    return "; nothing was put back, since what stands is not what the commit left: " + back.misfits;
  std::string stuck;
  for (const RollBackOutcome::Stuck& s : back.stuck)
    stuck += s.newFile ? "; taking back the new " + s.name + " failed too (" + std::strerror(s.error) +
                             "): the next conversion to this output takes it back"
                       : "; putting back the previous " + s.name + " failed too (" + std::strerror(s.error) +
                             "): it stays as " + s.backup + " until the next conversion to this output";
  return stuck;
}

void RemoveTemporaries(const std::vector<CommitStep>& steps) {
  for (const CommitStep& s : steps)
    if (!s.temp.empty()) s.folder->RemoveIfSame(s.temp, s.identity);
}

void ReportStaleStuck(ConverterContext& ctx, size_t count, const std::string& first) {
  if (!count || !ctx.m_pShell) return;
  ctx.m_pShell->ShowMessage(
      kCaption, count == 1 ? first + ", a movie the previous document imported, could not be removed; it stays."
                           : std::to_string(count) +
                                 " movies the previous document imported could not be removed; they stay (the first: " +
                                 first + ").");
}

uint32_t CommitSteps(ConverterContext& ctx, DocumentOutput& out, std::vector<CommitStep> steps) {
  const OutputFolder& folder = out.folder;
  const std::string record = folder.PathOf(CommitRecordName(out.flaName));
  Descriptor recordFd;
  const auto removeRecord = [&] { RemoveRecordSayingWhatStays(ctx, out, recordFd); };
  const auto abandon = [&] {
    RemoveTemporaries(steps);
    RemoveMadeFolders(out);
  };
  FolderLock lock(ctx, folder);
  if (lock.cancelled()) {
    abandon();
    ctx.m_strFailureDetail.clear();
    return kResultCancelled;
  }
  const auto fail = [&](const std::string& failure) {
    abandon();
    ctx.m_strFailureDetail =
        "the document set could not be committed: " + failure + "; the previous files stand as they were";
    return kResultOutputIncomplete;
  };
  // A commit killed since this conversion's recovery is finished first.
  std::string failure;
  switch (FinishLeftCommit(ctx, out, lock.held(), failure)) {
    case LeftCommit::kNone: break;
    case LeftCommit::kBlocked: return fail(failure);
    case LeftCommit::kStuck:
      abandon();
      ctx.m_strFailureDetail = "the document set could not be committed: " + failure;
      return kResultOutputIncomplete;
  }

  std::vector<CommitStep> stale = StaleImportMovies(out, steps, ctx.m_runInputs);
  steps.insert(steps.end() - 1, std::make_move_iterator(stale.begin()), std::make_move_iterator(stale.end()));
  std::vector<RecordedStep> recorded;
  bool replaces = false;
  // Whether a step adds or replaces is decided here, once: a file that
  // appears at an added file's name meanwhile is never replaced.
  for (CommitStep& s : steps) {
    if (!s.temp.empty()) s.kind = Replaceable(*s.folder, s.name) ? RecordedStep::kReplaces : RecordedStep::kAdds;
    RecordedStep& r = recorded.emplace_back();
    r.kind = s.kind;
    if (!s.temp.empty()) r.temp = s.recorded.substr(0, s.recorded.size() - s.name.size()) + s.temp;
    r.finalName = s.recorded;
    replaces = replaces || r.kind != RecordedStep::kAdds;
  }

  // A commit that replaces or removes nothing may lose its new files to a
  // power cut: the movie is still there to convert again. One that does
  // must not lose the previous files for empty new ones.
  failure = CheckStagedFiles(steps, replaces);
  if (failure.empty()) {
    const int e =
        WriteCommitRecord(folder, out.flaName, EncodeCommitRecord(::getpid(), recorded), replaces, recordFd);
    if (e == EEXIST) return fail("another conversion is committing to this output (" + record + ")");
    if (e) failure = "the record of the commit, " + record + ", could not be written (" + std::strerror(e) + ")";
    else if (replaces)
      if (const int f = folder.Flush()) failure = FlushFailure(folder.path(), f);
    if (!failure.empty()) removeRecord();
  }
  if (!failure.empty()) return fail(failure);

  SignalsHeld held;
  size_t staleStuck = 0;
  std::string firstStale;
  size_t k = 0;
  for (; k < steps.size(); ++k) {
    CommitStep& s = steps[k];
    if (s.temp.empty()) {
      s.backup = BackupName(s.name, ::getpid());
      if (const int e = s.folder->Rename(s.name, s.backup, false)) {
        if (!staleStuck++) firstStale = s.folder->PathOf(s.name) + " (" + std::strerror(e) + ")";
      } else {
        s.backedUp = true;
      }
      continue;
    }
    // The other files' new names reach the disk before the FLA's.
    if (k + 1 == steps.size() && replaces) {
      failure = FlushDocumentFolders(out);
      if (!failure.empty()) break;
    }
    if (s.kind == RecordedStep::kReplaces) {
      // Never over a file that stands at the backup's name: it is not ours.
      s.backup = BackupName(s.name, ::getpid());
      if (const int e = s.folder->Rename(s.name, s.backup, false)) {
        failure = s.folder->PathOf(s.name) + " could not be moved aside (" + std::strerror(e) + ")";
        break;
      }
      s.backedUp = true;
    }
    // The final name is free now: a file another put there stays theirs.
    if (const int e = s.folder->Rename(s.temp, s.name, false)) {
      failure = s.folder->PathOf(s.name) + " could not be put in place (" + std::strerror(e) + ")";
      break;
    }
    s.renamed = true;
  }
  if (failure.empty()) {
    // The set stands whole from here, whatever the last flush says.
    std::string unsure;
    if (replaces)
      if (const int e = folder.Flush()) unsure = FlushFailure(folder.path(), e);
    std::vector<std::string> stay;
    for (const CommitStep& s : steps)
      if (s.backedUp)
        if (const int e = s.folder->Remove(s.backup); e && e != ENOENT)
          stay.push_back(s.folder->PathOf(s.backup) + " (" + std::strerror(e) + ")");
    RemoveEmptyImportFolders(out);
    for (DocumentOutput::ImportFolder& f : out.imports) f.made = false;
    removeRecord();
    ReportStaleStuck(ctx, staleStuck, firstStale);
    ReportLeftBackups(ctx, stay);
    if (unsure.empty()) return kResultDone;
    ctx.m_strFailureDetail = "the new document set stands, but " + unsure + ": it may not survive a power cut";
    return kResultOutputIncomplete;
  }
  const std::string stuck = PutBack(out, steps, k);
  // What was put back reaches the disk before the record that tells it goes;
  // from there the temporaries alone are left, which any later run removes.
  const std::string unflushed = replaces ? FlushDocumentFolders(out) : std::string();
  if (stuck.empty() && unflushed.empty()) {
    removeRecord();
    abandon();
  } else {
    // The record and the temporaries stay, the FLA's among them: the next
    // conversion reads it as a commit to roll back.
    out.lock.Keep();
  }
  ctx.m_strFailureDetail = "the document set could not be committed: " + failure +
                           (stuck.empty() ? "; the previous files stand as they were" : stuck) +
                           (unflushed.empty() ? "" : "; " + unflushed + ", so " + record +
                                                         " stays for the next conversion to this output");
  return kResultOutputIncomplete;
}

}  // namespace

void SetHeldSignalSink(HeldSignalSink sink) { g_signalSink = sink; }

std::string ImportFolderName(int kind, const std::string& flaName) {
  return kImportPrefixes[kind == kStaticTextFolder ? 1 : 0] + flaName;
}

SetName LongestSetName(const std::string& flaName, bool importFolders) {
  const std::string script = flaName + ".jsfl", random(kRandomPartLength, 'X');
  std::vector<SetName> names = {{flaName, "the document"},
                                {script, "its script"},
                                {TempName(flaName, ::getpid(), random), "the document's temporary file"},
                                {TempName(script, ::getpid(), random), "the script's temporary file"},
                                {BackupName(flaName, ::getpid()), "the document's backup"},
                                {BackupName(script, ::getpid()), "the script's backup"},
                                {CommitRecordName(flaName), "the record of the commit"}};
  if (importFolders)
    for (int kind : {kShapesFolder, kStaticTextFolder})
      names.push_back({ImportFolderName(kind, flaName), "an import folder"});
  return *std::max_element(names.begin(), names.end(),
                           [](const SetName& a, const SetName& b) { return a.name.size() < b.name.size(); });
}

std::unique_ptr<DocumentOutput> OpenDocumentOutput(const std::string& fla, std::string& why) {
  auto out = std::make_unique<DocumentOutput>();
  const std::string folderPart = FolderPart(fla);
  out->fla = fla;
  out->flaName = fla.substr(folderPart.size());
  out->folder = OutputFolder::Open(folderPart);
  struct stat st {};
  if (!out->folder.valid() || !out->lock.Take(out->folder, out->flaName + ".jsfl") || ::fstat(out->lock.fd(), &st) != 0) {
    const int e = errno;
    why = std::string("its folder cannot be ") + (out->folder.valid() ? "written" : "opened") + " (" + std::strerror(e) +
          ")";
    out.reset();
    errno = e;
    return nullptr;
  }
  // On a file system that maps owners (root squashed, a fixed uid=) this is
  // who the run's files belong to.
  out->owner = st.st_uid;
  return out;
}

const OutputFolder* ImportFolderOf(DocumentOutput& out, int kind, bool make) {
  DocumentOutput::ImportFolder& f = out.imports[size_t(kind)];
  if (f.state == DocumentOutput::ImportFolder::kOpen) return &f.folder;
  if (f.state == DocumentOutput::ImportFolder::kRefused) return nullptr;
  const std::string name = ImportFolderName(kind, out.flaName);
  bool made = false;
  OutputFolder opened;
  try {
    opened = OutputFolder::OpenIn(out.folder, name);
    // A folder removed between its making and its opening (a recovery that
    // found it empty) is made again.
    for (int attempt = 0; !opened.valid() && errno == ENOENT && make && attempt < 4; ++attempt) {
      made = ::mkdirat(out.folder.fd(), name.c_str(), 0777) == 0;
      if (!made && errno != EEXIST) return nullptr;
      CallHookAnswer(CommitCall::kImportFolderMade, out.folder.PathOf(name));
      opened = OutputFolder::OpenIn(out.folder, name);
    }
    struct stat st {};
    if (!opened.valid()) {
      // A link or a file in its place is never the run's folder.
      if (errno == ELOOP || errno == ENOTDIR) f.state = DocumentOutput::ImportFolder::kRefused;
      return nullptr;
    }
    if (::fstat(opened.fd(), &st) != 0 || OwnerOf(st, out.folder.PathOf(name)) != out.owner) {
      f.state = DocumentOutput::ImportFolder::kRefused;
      return nullptr;
    }
  } catch (const std::bad_alloc&) {
    // Refused before the folder was taken for the run's: one it made goes.
    if (made) ::unlinkat(out.folder.fd(), name.c_str(), AT_REMOVEDIR);
    throw;
  }
  // Made by this run only once it is seen to be the run's own.
  f.made = f.made || made;
  f.folder = std::move(opened);
  f.state = DocumentOutput::ImportFolder::kOpen;
  return &f.folder;
}

std::string FlushDocumentFolders(DocumentOutput& out) {
  for (int kind : {kShapesFolder, kStaticTextFolder})
    if (const OutputFolder* f = ImportFolderOf(out, kind, false))
      if (const int e = f->Flush()) return FlushFailure(f->path(), e);
  if (const int e = out.folder.Flush()) return FlushFailure(out.folder.path(), e);
  return {};
}

void RemoveEmptyImportFolders(DocumentOutput& out) {
  for (int kind : {kShapesFolder, kStaticTextFolder}) {
    const std::string name = ImportFolderName(kind, out.flaName);
    struct stat st {};
    // rmdir refuses a folder that is not empty, and a link.
    if (out.folder.Stat(name, st) && S_ISDIR(st.st_mode) && OwnerOf(st, out.folder.PathOf(name)) == out.owner)
      ::unlinkat(out.folder.fd(), name.c_str(), AT_REMOVEDIR);
  }
}

std::string StageImportMovie(ConverterContext& ctx, int kind, const std::string& name,
                             std::span<const uint8_t> bytes) {
  DocumentOutput* out = ctx.m_outputRun.get();
  // Part of what the conversion writes: past its bound nothing is staged.
  if (!out || !ChargeWrite(ctx, bytes.size())) return {};
  const std::string temp = TempName(name, ::getpid(), out->lock.random());
  // Its record is made before the file: once the file stands, nothing
  // allocates until the record holds it, so a discard finds it.
  DocumentOutput::Staged staged{kind, temp, name, {}, bytes.size()};
  out->staged.reserve(out->staged.size() + 1);
  // A folder removed between its making and its first movie (a recovery
  // that found it empty) is made again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const OutputFolder* folder = ImportFolderOf(*out, kind, true);
    if (!folder) return {};
    Descriptor fd(CreateFileAt(folder->fd(), temp));
    if (!fd.valid()) {
      if (errno != ENOENT) return {};
      out->imports[size_t(kind)].state = DocumentOutput::ImportFolder::kUnopened;
      continue;
    }
    struct stat st {};
    int e = ::fstat(fd.get(), &st) == 0 ? WriteAll(fd.get(), {reinterpret_cast<const char*>(bytes.data()), bytes.size()})
                                        : errno;
    if (const int closed = fd.close(); !e) e = closed;
    if (e) {
      folder->RemoveIfSame(temp, IdentityOf(st));
      return {};
    }
    staged.identity = IdentityOf(st);
    out->staged.push_back(std::move(staged));
    return folder->PathOf(temp);
  }
  return {};
}

uint64_t StagedBytes(const ConverterContext& ctx) {
  uint64_t bytes = 0;
  if (const DocumentOutput* out = ctx.m_outputRun.get())
    for (const DocumentOutput::Staged& s : out->staged) bytes += s.bytes;
  return bytes;
}

void DropStagedFile(ConverterContext& ctx, const std::string& temp) {
  DocumentOutput* out = ctx.m_outputRun.get();
  if (!out) return;
  auto& staged = out->staged;
  for (size_t i = staged.size(); i-- > 0;) {
    const OutputFolder& folder = out->imports[size_t(staged[i].kind)].folder;
    if (folder.PathOf(staged[i].temp) != temp) continue;
    folder.RemoveIfSame(staged[i].temp, staged[i].identity);
    staged.erase(staged.begin() + ptrdiff_t(i));
    return;
  }
}

void DiscardStagedFiles(ConverterContext& ctx) {
  DocumentOutput* out = ctx.m_outputRun.get();
  if (!out) return;
  for (const DocumentOutput::Staged& s : out->staged)
    out->imports[size_t(s.kind)].folder.RemoveIfSame(s.temp, s.identity);
  out->staged.clear();
  RemoveMadeFolders(*out);
}

void DropDocumentTemp(ConverterContext& ctx, const std::string& flaTemp) {
  DocumentOutput* out = ctx.m_outputRun.get();
  if (!out || flaTemp.empty()) return;
  out->folder.RemoveIfSame(flaTemp.substr(out->folder.path().size()), ctx.m_flaTempIdentity);
}

uint32_t CommitDocumentSet(ConverterContext& ctx, const std::string& scriptTemp, const std::string& script,
                           const std::string& flaTemp, const std::string& fla) {
  DocumentOutput* out = ctx.m_outputRun.get();
  if (flaTemp.empty() || !out || out->fla != fla) {
    DiscardStagedFiles(ctx);
    DropDocumentTemp(ctx, flaTemp);
    return kResultOutputIncomplete;
  }
  const size_t folderPart = out->folder.path().size();
  std::vector<CommitStep> steps;
  const auto add = [&](const OutputFolder& folder, std::string recordedFolder, const std::string& temp,
                       const std::string& name, const FileIdentity& identity) {
    CommitStep& s = steps.emplace_back();
    s.folder = &folder;
    s.temp = temp;
    s.name = name;
    s.recorded = std::move(recordedFolder) + name;
    s.identity = identity;
  };
  for (const DocumentOutput::Staged& s : out->staged)
    add(out->imports[size_t(s.kind)].folder, ImportFolderName(s.kind, out->flaName) + "/", s.temp, s.name,
        s.identity);
  // The staged movies are the steps' business from here on.
  out->staged.clear();
  if (!scriptTemp.empty())
    add(out->folder, "", scriptTemp.substr(folderPart), script.substr(folderPart), out->lock.identity());
  add(out->folder, "", flaTemp.substr(folderPart), out->flaName, ctx.m_flaTempIdentity);
  return CommitSteps(ctx, *out, std::move(steps));
}

}  // namespace tovrani
