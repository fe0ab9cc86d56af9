// The files of one document set beyond the FLA itself: the small movies the
// script imports (in the "Shapes_" and "StaticText_" folders beside the FLA)
// are written under temporary names beside their final names and renamed
// in only when the whole set is committed, so that a failed conversion
// leaves the movies an earlier script imports untouched.
#pragma once

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

// Renames every staged file over its final name, in the order staged.
// False at the first rename that fails; the files not yet renamed are
// removed then.
bool CommitStagedFiles(ConverterContext& ctx);

// Removes every staged file, and the folders made for them when they are
// left empty.
void DiscardStagedFiles(ConverterContext& ctx);

// The whole set in one order: the import movies, then the script, the FLA
// last, so that a document never stands beside a script or movies older
// than itself. Returns 0, or 44 when a step fails, with the temporaries
// not yet renamed removed. What each failure leaves:
// - an import movie: the ones renamed before it are new, the rest, the old
//   script and the old FLA stay;
// - the script: every import movie is new, the old script and FLA stay;
// - the FLA: the import movies and the script are new, the old FLA stays.
// An empty `scriptTemp` commits no script.
uint32_t CommitDocumentSet(ConverterContext& ctx, const std::string& scriptTemp, const std::string& script,
                           const std::string& flaTemp, const std::string& fla);

}  // namespace tovrani
