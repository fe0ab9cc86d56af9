// The names an output file takes beside its final name while a document set
// is written and committed, and what a later run makes of those a killed
// run left.
//
// A temporary is "NAME.tmp-PPPPPPP-RRRRRR": the writing process's id in
// seven digits, then six of A-Z a-z 0-9 that every temporary of one run in
// one output shares. The run holds a lock on the temporary of the document's
// script that bears them for as long as it runs, so a later run tells a
// leftover of a run that is gone from the files of one still running,
// whatever process ids the two see. A backup of a file the commit replaces
// is "NAME.bak-PPPPPPP". The record of a commit beside its FLA is
// "NAME.commit", one at a time (it names its process inside). Only these
// forms are ever taken for the program's own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovrani {

constexpr size_t kPidDigits = 7;
constexpr size_t kRandomPartLength = 6;

// Six fresh characters of A-Z a-z 0-9.
std::string NewRandomPart();

// "NAME.tmp-PPPPPPP-RRRRRR" for `finalName`.
std::string TempName(const std::string& finalName, long pid, const std::string& random);

// The name the file `finalName` is moved to while process `pid`'s commit
// replaces it.
std::string BackupName(const std::string& finalName, long pid);

// The record a commit keeps beside the FLA `flaName` while it runs. Its name
// is never longer than a temporary of the FLA's script.
std::string CommitRecordName(const std::string& flaName);

// A temporary's or a backup's file name taken apart; none for any other
// name, also one that comes close.
struct LeftoverName {
  std::string finalName;  // the name it stands beside
  long pid = 0;           // the process that made it
  bool backup = false;
  std::string random;     // a temporary's random part
};
std::optional<LeftoverName> ParseLeftoverName(std::string_view fileName);

// "Symbol N.swf", N as symbol names write it (no leading zeros, at most
// 65535): the name of an import movie.
bool IsImportMovieName(std::string_view name);

// The digits of s[from, to) as a process id (at most nine); 0 when they
// are none.
long ParsePid(std::string_view s, size_t from, size_t to);

// The process id in the seven digits leftover names carry.
std::string PidDigits(long pid);

// Creates the file `name` in the folder `dirFd`, never one that exists and
// never through a link, with the usual file mode (the umask's). Its
// descriptor (read and write), or -1 with errno set.
int CreateFileAt(int dirFd, const std::string& name);

}  // namespace tovrani
