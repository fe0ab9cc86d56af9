// The names an output file takes beside its final name while a document set
// is written and committed, and what a later run makes of those a killed
// run left.
//
// A temporary is "NAME.tmp-PID-XXXXXX" and a backup of the file it replaces
// "NAME.bak-PID", PID being the writing process in seven digits: a run can
// tell a leftover of a process that is gone from the files of a conversion
// still running. The record of a commit beside its FLA is "NAME.commit",
// one at a time (it names its process inside).
#pragma once

#include <optional>
#include <string>

namespace tovrani {

// Creates a fresh temporary beside `finalPath` with the usual file mode (not
// mkstemp's private one). Returns its descriptor, or -1 with errno set; its
// path goes to `temp`.
int CreateTempBeside(const std::string& finalPath, std::string& temp);

// The name the file at `finalPath` is moved to while the commit replaces it.
std::string BackupName(const std::string& finalPath);

// The record a commit keeps beside the FLA at `finalPath` while it runs.
// Its name is never longer than a temporary of the FLA's script.
std::string CommitRecordName(const std::string& finalPath);

// A temporary's or a backup's file name taken apart.
struct LeftoverName {
  std::string finalName;  // the name it stands beside
  long pid = 0;           // the process that made it
  bool backup = false;
};
std::optional<LeftoverName> ParseLeftoverName(const std::string& fileName);

// The digits of s[from, to) as a process id (at most nine); 0 when they
// are none.
long ParsePid(const std::string& s, size_t from, size_t to);

// The process id in the seven digits leftover names carry.
std::string PidDigits(long pid);

// True only when no process `pid` exists any more (kill(pid, 0) fails with
// ESRCH); a process of another user still counts as running.
bool ProcessIsGone(long pid);

}  // namespace tovrani
