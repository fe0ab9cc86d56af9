// The files of one document set: the FLA, its script and the small movies the
// script imports (in the "Shapes_" and "StaticText_" folders beside the FLA).
// Each is written under a temporary name beside its final name and renamed
// in only when the whole set is committed, so that a failed conversion
// leaves the previous set untouched.
//
// The commit undoes itself: every file it replaces is first moved to a
// backup beside it, and a failure puts every backup back, so the previous
// set stands as it was. It runs under an exclusive lock of the FLA's folder
// (two commits there run one after the other) and with the signals that end
// the program held until it is done.
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
// the FLA last. Returns 0, or 44 when a step fails; then every file the
// commit replaced is put back and every new file removed, with the
// temporaries and the folders made for the set, and ctx.m_strFailureDetail
// names the file and the system's reason (and any file that could not be
// put back: the next conversion to this output does it). An empty
// `scriptTemp` commits no script.
uint32_t CommitDocumentSet(ConverterContext& ctx, const std::string& scriptTemp, const std::string& script,
                           const std::string& flaTemp, const std::string& fla);

// Before a conversion to `fla` stages anything: of the FLA, its script and
// the files of its import folders, puts back each backup a process that is
// gone left where its final name is missing, and removes the other backups
// and temporaries of processes that are gone.
void RecoverOutputSet(ConverterContext& ctx, const std::string& fla);

// Test hook: asked before each rename of a commit (a file to its backup, a
// staged file to its final name, a backup put back); a non-zero answer makes
// that rename fail with that errno. An empty hook removes it.
using CommitRenameHook = std::function<int(const std::string& from, const std::string& to)>;
void SetCommitRenameHook(CommitRenameHook hook);

}  // namespace tovrani
