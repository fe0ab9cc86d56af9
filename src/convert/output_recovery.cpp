#include "convert/output_recovery.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "convert/commit_record.h"
#include "convert/commit_rollback.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/output_set.h"
#include "convert/run_inputs.h"
#include "fla/output_names.h"
#include "platform/resource_bound.h"

namespace tovrani {

namespace {

constexpr char kCaption[] = "BRASKELON Tovrani";
constexpr char kKilled[] = "a conversion to this output was killed while it replaced the document set";

bool Stands(const DocumentOutput& out, const OutputFolder& folder, const std::string& name) {
  return LookAt(folder, name, out.owner).state == NameState::kOwn;
}

bool IsRunInput(const ConverterContext& ctx, const OutputFolder& folder, const std::string& name) {
  return ctx.m_runInputs && !name.empty() && ctx.m_runInputs->Holds(folder, name);
}

// A recorded step where its files are: the FLA's folder, or an import
// folder that is the run's own; a missing import folder holds none of them.
UndoStep Reach(DocumentOutput& out, const RecordedStep& recorded, long pid) {
  UndoStep s;
  s.kind = recorded.kind;
  std::string name = recorded.finalName;
  const size_t slash = name.find('/');
  s.folder = &out.folder;
  s.folderPath = out.folder.path();
  if (slash != std::string::npos) {
    const std::string folderName = name.substr(0, slash);
    name.erase(0, slash + 1);
    s.folderPath = out.folder.PathOf(folderName + "/");
    s.folder = nullptr;
    for (int kind : {kShapesFolder, kStaticTextFolder})
      if (folderName == ImportFolderName(kind, out.flaName)) s.folder = ImportFolderOf(out, kind, false);
    if (!s.folder && (out.folder.Exists(folderName) || errno != ENOENT))
      s.unreached = out.folder.PathOf(folderName) + " (not a folder of the user's own that can be opened)";
  }
  // A temporary lies in its final name's folder.
  s.temp = slash == std::string::npos || recorded.temp.empty() ? recorded.temp : recorded.temp.substr(slash + 1);
  s.name = name;
  s.backup = BackupName(name, pid);
  return s;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& i : items) out += (out.empty() ? "" : ", ") + i;
  return out;
}

struct Finished {
  LeftCommit state = LeftCommit::kNone;
  std::string why;
};

// Back: every step judged, then taken back; the record goes once every
// step is back and has reached the disk, the temporaries after it.
Finished RollBackKilled(ConverterContext& ctx, DocumentOutput& out, const LeftRecord& left,
                        const std::vector<UndoStep>& steps) {
  const std::string record = out.folder.PathOf(CommitRecordName(out.flaName));
  const RollBackOutcome back = RollBack(steps, out.owner);
  if (!back.misfits.empty())
    return {LeftCommit::kStuck, std::string(kKilled) + ", and what stands now is not what it left: " + back.misfits +
                                    "; nothing was changed, and " + record + " stays until that is gone"};
  if (!back.stuck.empty()) {
    std::vector<std::string> stuck;
    for (const RollBackOutcome::Stuck& s : back.stuck) stuck.push_back(s.name + " (" + std::strerror(s.error) + ")");
    return {LeftCommit::kStuck, std::string(kKilled) + "; its previous files were put back, all but " + Joined(stuck) +
                                    "; " + record + " stays for the next conversion"};
  }
  if (const std::string unflushed = FlushDocumentFolders(out); !unflushed.empty())
    return {LeftCommit::kStuck, std::string(kKilled) + "; its previous files were put back, but " + unflushed + "; " +
                                    record + " stays for the next conversion"};
  RemoveRecordSayingWhatStays(ctx, out, left.fd);
  for (const UndoStep& s : steps)
    if (s.folder && !s.temp.empty() && Stands(out, *s.folder, s.temp)) s.folder->Remove(s.temp);
  return {};
}

// Forward: its FLA is in place, so the new set stands; the previous files
// go, and the temporaries.
Finished RollForwardKilled(ConverterContext& ctx, DocumentOutput& out, const LeftRecord& left,
                           const std::vector<UndoStep>& steps) {
  std::vector<std::string> stay;
  for (const UndoStep& s : steps) {
    if (!s.folder) continue;
    // Under its record a backup is the previous file, whoever owns it.
    if (s.kind != RecordedStep::kAdds)
      if (const int e = s.folder->Remove(s.backup); e && e != ENOENT)
        stay.push_back(s.folder->PathOf(s.backup) + " (" + std::strerror(e) + ")");
    if (!s.temp.empty() && Stands(out, *s.folder, s.temp)) s.folder->Remove(s.temp);
  }
  const std::string record = out.folder.PathOf(CommitRecordName(out.flaName));
  if (const std::string unflushed = FlushDocumentFolders(out); !unflushed.empty())
    return {LeftCommit::kStuck,
            std::string(kKilled) + "; its new set was kept, but " + unflushed + "; " + record + " stays for the next conversion"};
  RemoveRecordSayingWhatStays(ctx, out, left.fd);
  ReportLeftBackups(ctx, stay);
  return {};
}

Finished FinishKilledCommit(ConverterContext& ctx, DocumentOutput& out, const LeftRecord& left) {
  std::vector<UndoStep> steps;
  for (const RecordedStep& r : left.record.steps) steps.push_back(Reach(out, r, left.record.pid));
  // An input of the run at one of its names was no file of that commit's.
  for (const UndoStep& s : steps)
    for (const std::string* name : {&s.temp, &s.name, &s.backup})
      if (s.folder && IsRunInput(ctx, *s.folder, *name))
        return {LeftCommit::kStuck, std::string(kKilled) + ", and what stands now is not what it left: " +
                                        s.folder->PathOf(*name) + " (an input of this run); nothing was changed, and " +
                                        out.folder.PathOf(CommitRecordName(out.flaName)) + " stays until that is gone"};
  // Its FLA's step tells the way: in place (its temporary gone), or not yet.
  const UndoStep& fla = steps.back();
  const SeenName temp = LookAt(out.folder, fla.temp, out.owner), name = LookAt(out.folder, fla.name, out.owner);
  if (temp.state == NameState::kOwn) return RollBackKilled(ctx, out, left, steps);
  if ((temp.state == NameState::kFree || temp.state == NameState::kOthers) && name.state != NameState::kFree &&
      name.state != NameState::kUnlooked)
    return RollForwardKilled(ctx, out, left, steps);
  std::string misfit;
  if (temp.state == NameState::kUnlooked || name.state == NameState::kUnlooked)
    misfit = out.folder.PathOf(temp.state == NameState::kUnlooked ? fla.temp : fla.name) + " (cannot be looked at: " +
             std::strerror(temp.error ? temp.error : name.error) + ")";
  else if (temp.state == NameState::kOwnOther)
    misfit = out.folder.PathOf(fla.temp) + " (not the conversion's own file alone)";
  else
    misfit = out.folder.PathOf(fla.name) + " (missing, and so is the document that was to replace it)";
  return {LeftCommit::kStuck, std::string(kKilled) + ", and what stands now is not what it left: " + misfit +
                                  "; nothing was changed, and " + out.folder.PathOf(CommitRecordName(out.flaName)) +
                                  " stays until that is gone"};
}

// A leftover-named file of a folder of the set.
struct Leftover {
  const OutputFolder* folder;
  std::string name;
  LeftoverName l;
};

// The leftovers of gone runs: their temporaries that stand go, and their
// backups that are the user's own go where the final name holds the user's
// file; none is ever put back. A run killed in its commit whose record is
// gone (its FLA's temporary and its backups stand) is left whole, and its
// backups are named in `blocked`.
void Sweep(ConverterContext& ctx, DocumentOutput& out, std::vector<std::string>& blocked) {
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
  std::vector<Leftover> found;
  for (const std::string& name : cached->second)
    if (std::optional<LeftoverName> l = ParseLeftoverName(name); ours(l->finalName))
      found.push_back({&out.folder, name, std::move(*l)});
  for (int kind : {kShapesFolder, kStaticTextFolder})
    if (const OutputFolder* folder = ImportFolderOf(out, kind, false))
      for (const std::string& name : folder->List())
        if (std::optional<LeftoverName> l = ParseLeftoverName(name); l && IsImportMovieName(l->finalName))
          found.push_back({folder, name, std::move(*l)});
  // This run's own temporaries are never a leftover, whatever its lock says,
  // nor is an input of the run.
  std::erase_if(found, [&](const Leftover& f) {
    return (!f.l.backup && f.l.pid == ::getpid() && f.l.random == out.lock.random()) ||
           IsRunInput(ctx, *f.folder, f.name);
  });

  // The locks of the gone runs met are kept until the sweep ends.
  std::map<std::pair<long, std::string>, std::optional<Descriptor>> gone;
  const auto isGone = [&](const LeftoverName& l) {
    auto [it, added] = gone.try_emplace({l.pid, l.random});
    if (added) {
      Descriptor held;
      if (RunIsGone(out.folder, out.flaName + ".jsfl", l.pid, l.random, out.owner, held)) it->second = std::move(held);
    }
    return it->second.has_value();
  };
  const auto stands = [&](const Leftover& f) { return Stands(out, *f.folder, f.name); };
  std::set<long> killedInCommit, leftWhole;
  for (const Leftover& f : found)
    if (!f.l.backup && f.folder == &out.folder && f.l.finalName == out.flaName && stands(f) && isGone(f.l))
      killedInCommit.insert(f.l.pid);
  for (const Leftover& f : found)
    if (f.l.backup && killedInCommit.count(f.l.pid) && stands(f)) {
      blocked.push_back(f.folder->PathOf(f.name));
      leftWhole.insert(f.l.pid);
    }
  for (const Leftover& f : found) {
    if (leftWhole.count(f.l.pid) || !stands(f)) continue;
    if (f.l.backup ? Stands(out, *f.folder, f.l.finalName) : isGone(f.l)) f.folder->Remove(f.name);
  }
  std::sort(blocked.begin(), blocked.end());
  std::erase_if(cached->second, [&](const std::string& n) {
    const std::optional<LeftoverName> l = ParseLeftoverName(n);
    return ours(l->finalName) && !leftWhole.count(l->pid);
  });
}

}  // namespace

void ReportLeftBackups(ConverterContext& ctx, const std::vector<std::string>& left) {
  if (left.empty() || !ctx.m_pShell) return;
  ctx.m_pShell->ShowMessage(kCaption, left.size() == 1
                                          ? "A previous file of the document set could not be removed and stays: " +
                                                left[0] + "."
                                          : std::to_string(left.size()) +
                                                " previous files of the document set could not be removed and stay: " +
                                                Joined(left) + ".");
}

void RemoveRecordSayingWhatStays(ConverterContext& ctx, const DocumentOutput& out, const Descriptor& fd) {
  if (const std::string kept = RemoveCommitRecord(out.folder, out.flaName, fd); !kept.empty() && ctx.m_pShell)
    ctx.m_pShell->ShowMessage(kCaption, kept + ".");
}

LeftCommit FinishLeftCommit(ConverterContext& ctx, DocumentOutput& out, bool locked, std::string& why) {
  LeftRecord left = ReadLeftRecord(out.folder, out.flaName, out.owner);
  const std::string path = out.folder.PathOf(CommitRecordName(out.flaName));
  // No record of ours: it is never removed or acted on.
  if (left.state != LeftRecord::kNone && IsRunInput(ctx, out.folder, CommitRecordName(out.flaName))) {
    why = path + " is an input of this run";
    return LeftCommit::kBlocked;
  }
  switch (left.state) {
    case LeftRecord::kNone: return LeftCommit::kNone;
    case LeftRecord::kNotOwn: why = left.why; return LeftCommit::kBlocked;
    case LeftRecord::kError: why = left.why; return LeftCommit::kStuck;
    case LeftRecord::kUnreadable:
      // A record is whole before its commit's first rename: one cut short
      // changed nothing, and no commit of ours writes one malformed.
      if (locked) {
        RemoveCommitRecord(out.folder, out.flaName, left.fd);
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
  Finished done = FinishKilledCommit(ctx, out, left);
  why = std::move(done.why);
  return done.state;
}

uint32_t RecoverOutputSet(ConverterContext& ctx, const std::string& fla) {
  // A recovery stopped half way would leave the previous set half put
  // back: the memory bound refuses nothing here.
  const HeapRefusalPause pause;
  DocumentOutput* out = ctx.m_outputRun.get();
  if (!out || out->fla != fla) return kResultDone;
  FolderLock lock(ctx, out->folder);
  if (lock.cancelled()) {
    ctx.m_strFailureDetail.clear();
    return kResultCancelled;
  }
  // A killed commit first: what it moved aside is put back by its record.
  std::string why;
  switch (FinishLeftCommit(ctx, *out, lock.held(), why)) {
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
  std::vector<std::string> blocked;
  Sweep(ctx, *out, blocked);
  if (!blocked.empty()) {
    const bool one = blocked.size() == 1;
    ctx.m_strFailureDetail = Joined(blocked) + (one ? " holds a previous file" : " hold the previous files") +
                             " of a conversion to this output killed while it replaced the document set, whose "
                             "record is gone; nothing was changed: put " +
                             (one ? "it back or remove it" : "them back or remove them") +
                             " before converting to this output again";
    return kResultOutputIncomplete;
  }
  // A folder a killed run made for its movies goes with them.
  RemoveEmptyImportFolders(*out);
  return kResultDone;
}

}  // namespace tovrani
