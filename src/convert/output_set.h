// The files of one document set: the FLA, its script and the small movies the
// script imports (in the "Shapes_" and "StaticText_" folders beside the FLA).
// Each is written under a temporary name beside its final name and renamed
// in only when the whole set is committed, so that a failed conversion
// leaves the previous set untouched.
//
// The commit undoes itself: every file it replaces, and every import movie
// of the previous set that the new one lacks, is first moved to a backup
// beside it, and a failure puts every backup back, so the previous set
// stands as it was. Before its first rename it writes a record of its steps
// beside the FLA, from which the next conversion to the same output rolls a
// killed commit back (or forward, once its FLA is in place). It runs under
// an exclusive lock of the FLA's folder (two commits there run one after the
// other) and with the signals that end the program held until it is done.
// Where it replaces or removes a previous file, the new files reach the disk
// before the first rename.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tovrani {

struct ConverterContext;

// Makes `folder` (when missing) and a temporary file beside
// folder/name; returns the temporary's path, or "" when it cannot be made.
// The file is the caller's to write; it stays staged until committed or
// discarded.
std::string StageImportMovie(ConverterContext& ctx, const std::string& folder, const std::string& name);

// Removes one staged file (its movie could not be used).
void DropStagedFile(ConverterContext& ctx, const std::string& temp);

// Removes every staged file, and the folders made for them when they are
// left empty.
void DiscardStagedFiles(ConverterContext& ctx);

// Commits the whole set in one order: the import movies, then the script,
// then the previous set's import movies that the new one lacks are moved
// aside, the FLA last. Returns 0, or 44 when a step fails; then every file
// the commit replaced or moved aside is put back and every new file
// removed, with the temporaries and the folders made for the set, and
// ctx.m_strFailureDetail names the file and the system's reason (and any
// file that could not be put back: the next conversion to this output does
// it). A previous import movie that cannot be moved aside stays, with a
// message; it fails nothing. An empty `scriptTemp` commits no script.
uint32_t CommitDocumentSet(ConverterContext& ctx, const std::string& scriptTemp, const std::string& script,
                           const std::string& flaTemp, const std::string& fla);

// Before a conversion to `fla` stages anything: rolls back the commit to it
// that a killed run left (forward where its FLA is in place); of the other
// leftovers of processes that are gone, beside the FLA and its script and
// in its import folders, puts back each backup whose final name is missing
// and removes the rest. Returns 0, or 44 with ctx.m_strFailureDetail when a
// killed commit could not be rolled back (its record stays for the next
// conversion; nothing of this one is written). The commit itself finishes a
// commit killed since, before it begins.
uint32_t RecoverOutputSet(ConverterContext& ctx, const std::string& fla);

// Test hook: asked before each rename of a commit or of a roll-back (a file
// to its backup, a staged file to its final name, a backup put back); a
// non-zero answer makes that rename fail with that errno. An empty hook
// removes it.
using CommitRenameHook = std::function<int(const std::string& from, const std::string& to)>;
void SetCommitRenameHook(CommitRenameHook hook);

// Test hook: told the path of each file whose data, and each folder (its
// path ending in '/') that a commit has flushed to disk.
using CommitFlushHook = std::function<void(const std::string& path)>;
void SetCommitFlushHook(CommitFlushHook hook);

// Where a SIGINT or SIGTERM that arrived while a commit held the signals
// goes once the commit is done, instead of to its handler; without a sink
// it is delivered as usual.
using HeldSignalSink = void (*)(int signal);
void SetHeldSignalSink(HeldSignalSink sink);

}  // namespace tovrani
