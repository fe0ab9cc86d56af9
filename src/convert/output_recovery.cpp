#include "convert/output_recovery.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "convert/commit_record.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/output_set.h"
#include "fla/output_names.h"

namespace tovrani {

namespace {

// A file of the run's user: judged without following a link.
bool OwnFile(const DocumentOutput& out, const OutputFolder& folder, const std::string& name) {
  struct stat st {};
  return folder.Stat(name, st) && S_ISREG(st.st_mode) && OwnerOf(st, folder.PathOf(name)) == out.owner;
}

// A recorded name's folder (the FLA's, or an import folder that is the
// run's own) and its file name there; no folder when it cannot be reached.
std::pair<const OutputFolder*, std::string> Reach(DocumentOutput& out, const std::string& recorded) {
  const size_t slash = recorded.find('/');
  if (slash == std::string::npos) return {&out.folder, recorded};
  for (int kind : {kShapesFolder, kStaticTextFolder})
    if (recorded.compare(0, slash, ImportFolderName(kind, out.flaName)) == 0)
      return {ImportFolderOf(out, kind, false), recorded.substr(slash + 1)};
  return {nullptr, {}};
}

struct Finished {
  std::string stuck;      // the files that could not be put back, in words
  std::string unflushed;  // a flush that failed, in words
  bool forward = false;   // its FLA was in place: the new set stays
};

Finished FinishKilledCommit(DocumentOutput& out, const CommitRecord& record) {
  Finished done;
  const RecordedStep& fla = record.steps.back();
  done.forward = out.folder.Exists(fla.finalName) && !out.folder.Exists(fla.temp);
  struct Step {
    const OutputFolder* folder;
    std::string temp, name, backup;
  };
  std::vector<Step> steps;
  for (const RecordedStep& s : record.steps) {
    auto [folder, name] = Reach(out, s.finalName);
    // A temporary lies in its final name's folder.
    const size_t slash = s.finalName.rfind('/');
    const std::string temp = s.temp.substr(s.temp.empty() || slash == std::string::npos ? 0 : slash + 1);
    steps.push_back({folder, temp, name, BackupName(name, record.pid)});
  }
  if (done.forward) {
    // A backup is the previous file, whoever owns it; a temporary is only
    // ever the run's own.
    for (const Step& s : steps) {
      if (!s.folder) continue;
      if (s.folder->Exists(s.backup)) s.folder->Remove(s.backup);
      if (!s.temp.empty() && OwnFile(out, *s.folder, s.temp)) s.folder->Remove(s.temp);
    }
  } else {
    for (size_t i = steps.size(); i-- > 0;) {
      const Step& s = steps[i];
      if (!s.folder) continue;
      struct stat st {};
      if (s.folder->Stat(s.backup, st)) {
        // Only in a state a kill leaves: the final name free, or the new
        // file already in it (its temporary gone).
        const bool finalFree = !s.folder->Exists(s.name);
        if (!finalFree && (s.temp.empty() || s.folder->Exists(s.temp))) continue;
        if (const int e = s.folder->Rename(s.backup, s.name, !finalFree))
          done.stuck += (done.stuck.empty() ? "" : ", ") + s.folder->PathOf(s.name) + " (" + std::strerror(e) + ")";
      } else if (record.steps[i].kind == RecordedStep::kAdds && !s.folder->Exists(s.temp) &&
                 OwnFile(out, *s.folder, s.name)) {
        // Its temporary is gone: the commit put it there.
        s.folder->Remove(s.name);
      }
    }
    if (!done.stuck.empty()) return done;
    for (const Step& s : steps)
      if (s.folder && !s.temp.empty() && OwnFile(out, *s.folder, s.temp)) s.folder->Remove(s.temp);
  }
  // What was put back reaches the disk before the record that tells it goes.
  done.unflushed = FlushDocumentFolders(out);
  return done;
}

// Acts on one leftover-named file of a folder of the set: a backup whose
// final name is missing (a killed commit took it away) is put back, the
// rest of a gone run's removed. `gone` keeps the locks of the gone runs met
// so far until the sweep ends.
void SweepLeftover(DocumentOutput& out, const OutputFolder& folder, const std::string& name, const LeftoverName& l,
                   std::map<std::pair<long, std::string>, std::optional<Descriptor>>& gone) {
  if (!OwnFile(out, folder, name)) return;
  if (l.backup) {
    if (!folder.Exists(l.finalName) && folder.Rename(name, l.finalName, false) == 0) return;
    folder.Remove(name);
    return;
  }
  auto [it, added] = gone.try_emplace({l.pid, l.random});
  if (added) {
    Descriptor held;
    if (RunIsGone(out.folder, out.flaName + ".jsfl", l.pid, l.random, out.owner, held)) it->second = std::move(held);
  }
  if (it->second) folder.Remove(name);
}

void Sweep(ConverterContext& ctx, DocumentOutput& out) {
  std::map<std::pair<long, std::string>, std::optional<Descriptor>> gone;
  // The FLA's folder may hold many documents: it is read once a run, and
  // what each conversion recovers is taken out of what was read.
  auto cached = ctx.m_outputLeftovers.find(out.folder.path());
  if (cached == ctx.m_outputLeftovers.end()) {
    std::vector<std::string> names = out.folder.List();
    std::erase_if(names, [](const std::string& n) { return !ParseLeftoverName(n); });
    cached = ctx.m_outputLeftovers.emplace(out.folder.path(), std::move(names)).first;
  }
  const auto ours = [&](const std::string& finalName) {
    return finalName == out.flaName || finalName == out.flaName + ".jsfl";
  };
  std::vector<std::string>& inFolder = cached->second;
  for (const std::string& name : inFolder) {
    const std::optional<LeftoverName> l = ParseLeftoverName(name);
    if (ours(l->finalName)) SweepLeftover(out, out.folder, name, *l, gone);
  }
  std::erase_if(inFolder, [&](const std::string& n) { return ours(ParseLeftoverName(n)->finalName); });
  for (int kind : {kShapesFolder, kStaticTextFolder}) {
    const OutputFolder* folder = ImportFolderOf(out, kind, false);
    if (!folder) continue;
    for (const std::string& name : folder->List()) {
      const std::optional<LeftoverName> l = ParseLeftoverName(name);
      if (l && IsImportMovieName(l->finalName)) SweepLeftover(out, *folder, name, *l, gone);
    }
  }
}

}  // namespace

LeftCommit FinishLeftCommit(DocumentOutput& out, bool locked, std::string& why) {
  const LeftRecord left = ReadLeftRecord(out.folder, out.flaName, out.owner);
  const std::string path = out.folder.PathOf(CommitRecordName(out.flaName));
  switch (left.state) {
    case LeftRecord::kNone: return LeftCommit::kNone;
    case LeftRecord::kNotOwn: why = left.why; return LeftCommit::kBlocked;
    case LeftRecord::kUnreadable:
      // A record is whole before its commit's first rename: one cut short
      // changed nothing, and no commit of ours writes one malformed.
      if (locked) {
        out.folder.RemoveIfSame(CommitRecordName(out.flaName), left.identity);
        return LeftCommit::kNone;
      }
      why = path + " is left from another conversion and cannot be read";
      return LeftCommit::kBlocked;
    case LeftRecord::kRead: break;
  }
  if (!locked) {
    why = "another conversion may be committing to this output (" + path + ")";
    return LeftCommit::kBlocked;
  }
  const Finished done = FinishKilledCommit(out, left.record);
  const std::string killed = "a conversion to this output was killed while it replaced the document set";
  if (!done.stuck.empty()) {
    why = killed + "; its previous files were put back, all but " + done.stuck + "; " + path +
          " stays for the next conversion";
    return LeftCommit::kStuck;
  }
  if (!done.unflushed.empty()) {
    why = killed + "; its " + (done.forward ? "new set was kept" : "previous files were put back") + ", but " +
          done.unflushed + "; " + path + " stays for the next conversion";
    return LeftCommit::kStuck;
  }
  out.folder.RemoveIfSame(CommitRecordName(out.flaName), left.identity);
  return LeftCommit::kNone;
}

uint32_t RecoverOutputSet(ConverterContext& ctx, const std::string& fla) {
  DocumentOutput* out = ctx.m_outputRun.get();
  if (!out || out->fla != fla) return kResultDone;
  FolderLock lock(ctx, out->folder);
  if (lock.cancelled()) {
    ctx.m_strFailureDetail.clear();
    return kResultCancelled;
  }
  // A killed commit first: what it moved aside is put back by its record.
  std::string why;
  switch (FinishLeftCommit(*out, lock.held(), why)) {
    case LeftCommit::kNone: break;
    case LeftCommit::kBlocked:
      ctx.m_strFailureDetail = why + "; nothing was changed";
      return kResultOutputIncomplete;
    case LeftCommit::kStuck:
      ctx.m_strFailureDetail = why;
      return kResultOutputIncomplete;
  }
  // Without the lock a commit may be under way: its files are let be.
  if (!lock.held()) return kResultDone;
  Sweep(ctx, *out);
  // A folder a killed run made for its movies goes with them.
  RemoveEmptyImportFolders(*out);
  return kResultDone;
}

}  // namespace tovrani
