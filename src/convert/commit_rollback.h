// Taking back the steps of a document set's commit: for a failing commit
// (its put-back) and for the next conversion after a kill (its roll-back).
//
// Names alone cannot tell the commit's own files from files others put
// there later, so every step is judged first, and the renames happen only
// when the whole set is in a state that a kill of that commit, or of a
// roll-back of it, can leave. A step taken back moves its new file back to
// its temporary's name, then its previous file from its backup to its
// final name, each rename refusing to replace a file; a kill between any
// two of them leaves states that the same judging reads again.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

#include "convert/commit_record.h"

namespace tovrani {

class OutputFolder;

// What stands at a name, as the recovery tells its files from others'.
enum class NameState {
  kFree,       // nothing
  kOwn,        // a regular file of the run's user with one link
  kOwnOther,   // another file of the run's user: a folder, a link, one with more links
  kOthers,     // another user's file
  kUnlooked,   // the look failed (not for a missing name)
};
struct SeenName {
  NameState state = NameState::kFree;
  bool folder = false;  // what stands is a folder
  int error = 0;        // kUnlooked: the errno
};
SeenName LookAt(const OutputFolder& folder, const std::string& name, uid_t owner);

struct UndoStep {
  // Where its files are; null where its import folder is missing (all its
  // names are free) or cannot be reached (`unreached` says why).
  const OutputFolder* folder = nullptr;
  std::string folderPath;  // as messages name it: "" or ending in '/'
  std::string unreached;
  RecordedStep::Kind kind = RecordedStep::kAdds;
  std::string temp, name, backup;  // names in `folder`; no temporary for kStale
  // What the committing run knows of a step, instead of a judging: a step
  // whose rename failed or that it never came to is not reached, whatever
  // stands at its final name; one whose rename failed after it moved the
  // previous file aside is moved aside.
  enum Known { kJudged, kNotReached, kMovedAside } known = kJudged;
};

struct RollBackOutcome {
  std::string misfits;  // the names that fit no state a kill leaves, in words: nothing was changed
  // A rename that failed: the step's new file could not go back to its
  // temporary's name, or its previous file back from its backup.
  struct Stuck {
    std::string name, backup;  // paths
    bool newFile = false;
    int error = 0;
  };
  std::vector<Stuck> stuck;
};

// Judges every step of `steps`, then, where all fit, takes them back, last
// first. A step that cannot be taken back does not stop the others.
RollBackOutcome RollBack(const std::vector<UndoStep>& steps, uid_t owner);

}  // namespace tovrani
