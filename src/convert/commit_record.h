// The record a document set's commit keeps beside the FLA while it runs: its
// steps in order, each with the staged file, the final name and whether a
// previous file stood there. A run killed inside its commit leaves it, and
// the next conversion to the same output reads it to roll that commit back
// or forward (convert/output_recovery.cpp).
//
// Names are kept relative to the FLA's folder and separated by NUL bytes,
// which no file name holds; a record cut short lacks its end mark and is
// not read. Only the program's own name forms are read: a record that names
// any other file, or a temporary not beside its final name, is malformed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "fla/descriptor.h"

namespace tovrani {

class OutputFolder;

struct RecordedStep {
  enum Kind : char {
    kAdds = 'A',      // a staged file where no file stood
    kReplaces = 'R',  // a staged file over a previous one, which goes to its backup
    kStale = 'S',     // a previous import movie the new set lacks: only moved aside
  };
  Kind kind = kAdds;
  std::string temp;  // empty for kStale
  std::string finalName;
};

struct CommitRecord {
  long pid = 0;  // the committing process, whose id its backups carry
  std::vector<RecordedStep> steps;
};

// The longest record a commit to an FLA named with `flaNameBytes` bytes can
// write: every import movie of both folders, the script and the FLA.
uint64_t MaxCommitRecordBytes(size_t flaNameBytes);

// The record's bytes for the commit of process `pid` with `steps`.
std::string EncodeCommitRecord(long pid, const std::vector<RecordedStep>& steps);

// A record of a commit to the FLA `flaName`; none when it is cut short,
// malformed, or names a file that is not of that document's set (the FLA,
// its script, an import movie directly in one of its two import folders)
// or a temporary that is not the committing process's beside its final
// name.
std::optional<CommitRecord> DecodeCommitRecord(std::string_view bytes, const std::string& flaName);

// What stands under the record's name beside the FLA `flaName`.
struct LeftRecord {
  enum State {
    kNone,        // nothing
    kRead,        // a record of the run's user, read
    kUnreadable,  // a file of the run's user that is no whole record (cut short, malformed, too long)
    kNotOwn,      // another user's, not a plain file, or one that cannot be opened: never touched
    kError,       // looking at it or reading it failed: never touched
  };
  State state = kNone;
  CommitRecord record;
  Descriptor fd;          // the file judged, open (kRead, kUnreadable)
  FileIdentity identity;  // the file judged (kRead, kUnreadable)
  std::string why;        // for kNotOwn and kError: the record and what stops it, in words
};

// Judges the record without following a link or opening it first: only a
// regular file with one link, owned by `owner`, is opened (never blocking,
// never through a link; for reading and writing, or for reading where the
// file's mode refuses writing), and read only when it is the file judged
// and not longer than a record can be, one field at a time. Only a name
// that is free means no record.
LeftRecord ReadLeftRecord(const OutputFolder& folder, const std::string& flaName, uid_t owner);

// Writes the record beside the FLA, a file of its own (never through a
// link, never over another); with `flush` its data reach the disk. 0, with
// `fd` the record, or the errno of the failure (EEXIST: another commit's
// record stands).
int WriteCommitRecord(const OutputFolder& folder, const std::string& flaName, const std::string& bytes, bool flush,
                      Descriptor& fd);

// Removes the record `fd` beside the FLA `flaName` while its name still
// holds it. A record that outlives that (another kept a link of it, or
// moved it, or its removal failed) is emptied, so that wherever it turns up
// again it is one cut short, which changes nothing. "" or, where it could
// not be removed or emptied, the record and the reason in words.
std::string RemoveCommitRecord(const OutputFolder& folder, const std::string& flaName, const Descriptor& fd);

}  // namespace tovrani
