#include "convert/commit_rollback.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "convert/output_folder.h"

namespace tovrani {

namespace {

enum class StepState {
  kNotReached,  // nothing of it done: nothing to take back
  kMovedAside,  // its previous file moved aside, its new file not in place
  kReached,     // its new file in place (and its previous one aside, where there is one)
  kBack,        // already taken back by an earlier roll-back
  kMisfit,      // what stands fits no state a kill leaves
};

struct Judged {
  StepState state = StepState::kMisfit;
  std::string misfit;  // for kMisfit, in words
};

struct Seen {
  SeenName temp, name, backup;
};

bool Holds(const SeenName& n) { return n.state != NameState::kFree; }
bool Stands(const SeenName& n) { return n.state == NameState::kOwn; }
// A temporary another user's file holds counts as gone: the run made none
// of theirs.
bool Gone(const SeenName& n) { return n.state == NameState::kFree || n.state == NameState::kOthers; }

Judged Fits(StepState state) { return {state, {}}; }

Judged Misfit(const UndoStep& s, const std::string& name, const std::string& why) {
  return {StepState::kMisfit, s.folderPath + name + " (" + why + ")"};
}

// A new file goes back only to a free name: never over another's file.
Judged Reached(const UndoStep& s, const Seen& seen) {
  if (seen.temp.state == NameState::kOthers)
    return Misfit(s, s.temp, "another user's file holds the name the new file goes back to");
  return Fits(StepState::kReached);
}

Judged JudgeAdds(const UndoStep& s, const Seen& seen) {
  if (Stands(seen.temp) && (!Holds(seen.name) || seen.name.folder)) return Fits(StepState::kNotReached);
  if (Gone(seen.temp) && Holds(seen.name) && !seen.name.folder) return Reached(s, seen);
  if (Gone(seen.temp) && !Holds(seen.name)) return Fits(StepState::kBack);
  if (Stands(seen.temp)) return Misfit(s, s.name, "a file stands where the conversion had put none yet");
  if (!Gone(seen.temp)) return Misfit(s, s.temp, "not the conversion's own file alone");
  return Misfit(s, s.name, "a folder stands where the conversion had put its file");
}

Judged JudgeReplaces(const UndoStep& s, const Seen& seen) {
  if (Stands(seen.temp)) {
    if (Holds(seen.name) && !Holds(seen.backup)) return Fits(StepState::kNotReached);
    if (!Holds(seen.name) && Holds(seen.backup)) return Fits(StepState::kMovedAside);
    // The commit never moves a file aside over another: a file at the
    // backup's name beside the user's own previous file is not its backup.
    if (Holds(seen.name) && Stands(seen.name) && !Stands(seen.backup)) return Fits(StepState::kNotReached);
    if (Holds(seen.name)) return Misfit(s, s.name, "a file stands where the conversion had left the name free");
    return Misfit(s, s.backup, "the previous file is missing");
  }
  if (!Gone(seen.temp)) return Misfit(s, s.temp, "not the conversion's own file alone");
  if (Holds(seen.name) && Holds(seen.backup)) return Reached(s, seen);
  if (Holds(seen.name)) return Fits(StepState::kBack);
  return Misfit(s, s.name, "missing, where the conversion had put its file");
}

Judged JudgeStale(const UndoStep& s, const Seen& seen) {
  if (Holds(seen.name) && !Holds(seen.backup)) return Fits(StepState::kNotReached);
  if (!Holds(seen.name) && Holds(seen.backup)) return Fits(StepState::kReached);
  if (Holds(seen.name)) return Misfit(s, s.name, "a file stands where the conversion had left the name free");
  return Misfit(s, s.backup, "the previous file is missing");
}

Judged Judge(const UndoStep& s, uid_t owner) {
  if (s.known == UndoStep::kNotReached) return Fits(StepState::kNotReached);
  if (!s.unreached.empty()) return {StepState::kMisfit, s.unreached};
  Seen seen;
  if (s.folder) {
    for (auto [name, into] : {std::pair{&s.temp, &seen.temp}, {&s.name, &seen.name}, {&s.backup, &seen.backup}}) {
      if (name->empty()) continue;
      *into = LookAt(*s.folder, *name, owner);
      if (into->state == NameState::kUnlooked)
        return Misfit(s, *name, std::string("cannot be looked at: ") + std::strerror(into->error));
    }
  }
  if (s.known == UndoStep::kMovedAside)
    return Holds(seen.backup) ? Fits(StepState::kMovedAside) : Misfit(s, s.backup, "the previous file is missing");
  // A missing import folder holds nothing: only an added file can have
  // been there.
  if (!s.folder)
    return s.kind == RecordedStep::kAdds ? Fits(StepState::kBack) : Misfit(s, s.name, "its folder is missing");
  switch (s.kind) {
    case RecordedStep::kAdds: return JudgeAdds(s, seen);
    case RecordedStep::kReplaces: return JudgeReplaces(s, seen);
    case RecordedStep::kStale: return JudgeStale(s, seen);
  }
  return {};
}

void Add(std::string& list, const std::string& item) { list += (list.empty() ? "" : ", ") + item; }

}  // namespace

SeenName LookAt(const OutputFolder& folder, const std::string& name, uid_t owner) {
  SeenName seen;
  struct stat st {};
  if (!folder.Stat(name, st)) {
    if (errno != ENOENT) seen = {NameState::kUnlooked, false, errno};
    return seen;
  }
  seen.folder = S_ISDIR(st.st_mode);
  if (OwnerOf(st, folder.PathOf(name)) != owner)
    seen.state = NameState::kOthers;
  else
    seen.state = S_ISREG(st.st_mode) && st.st_nlink == 1 ? NameState::kOwn : NameState::kOwnOther;
  return seen;
}

RollBackOutcome RollBack(const std::vector<UndoStep>& steps, uid_t owner) {
  RollBackOutcome out;
  std::vector<StepState> states;
  states.reserve(steps.size());
  for (const UndoStep& s : steps) {
    const Judged j = Judge(s, owner);
    if (j.state == StepState::kMisfit) Add(out.misfits, j.misfit);
    states.push_back(j.state);
  }
  if (!out.misfits.empty()) return out;
  for (size_t j = steps.size(); j-- > 0;) {
    const UndoStep& s = steps[j];
    const StepState state = states[j];
    if (state != StepState::kReached && state != StepState::kMovedAside) continue;
    const auto failed = [&](bool newFile, int e) {
      out.stuck.push_back({s.folderPath + s.name, s.folderPath + s.backup, newFile, e});
    };
    if (state == StepState::kReached && s.kind != RecordedStep::kStale)
      if (const int e = s.folder->Rename(s.name, s.temp, false)) {
        failed(true, e);
        continue;
      }
    if (s.kind != RecordedStep::kAdds)
      if (const int e = s.folder->Rename(s.backup, s.name, false)) failed(false, e);
  }
  return out;
}

}  // namespace tovrani
