// The record a document set's commit keeps beside the FLA while it runs: its
// steps in order, each with the staged file, the final name and whether a
// previous file stood there. A run killed inside its commit leaves it, and
// the next conversion to the same output reads it to roll that commit back
// or forward (convert/output_set.cpp).
//
// Names are kept relative to the FLA's folder and separated by NUL bytes,
// which no file name holds; a record cut short lacks its end mark and is
// not read.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tovrani {

struct RecordedStep {
  enum Kind : char {
    kAdds = 'A',      // a staged file where no file stood
    kReplaces = 'R',  // a staged file over a previous one, which goes to its backup
    kStale = 'S',     // a previous import movie the new set lacks: only moved aside
  };
  Kind kind = kAdds;
  std::string temp;  // empty for kStale
  std::string finalPath;
};

struct CommitRecord {
  long pid = 0;  // the committing process, whose id its backups carry
  std::vector<RecordedStep> steps;
};

// The record's bytes for the commit of process `pid` with `steps`, whose
// paths all begin with `folder` (the FLA's folder part, "" or ending in '/').
std::string EncodeCommitRecord(const std::string& folder, long pid, const std::vector<RecordedStep>& steps);

// A record of a commit to folder + `flaName`, with `folder` put back in
// front of its names; none when the record is cut short, malformed, or
// names a file that is not of that document's set (the FLA, its script, a
// file directly in one of its two import folders) or a temporary that is
// not beside its final name.
std::optional<CommitRecord> DecodeCommitRecord(const std::string& bytes, const std::string& folder,
                                               const std::string& flaName);

}  // namespace tovrani
