// The per-file conversion: names the FLA of each selected movie (by the save
// dialog's answer or automatically under an output folder), derives the
// per-document folders and the script beside the document, sets the
// authoring tool's settings, runs the engine and opens the result when asked.
//
// Paths use '/' as the separator. The document and its script are written
// under temporary names and get their final names only when the engine
// succeeded; after a failure an older document or script stays untouched.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/engine.h"

namespace tovrani {

struct ConverterContext;

// The save dialog: shown with the suggested path; false when cancelled.
using SaveDialog = std::function<bool(const std::string& suggested, std::string& chosen)>;

// What the caller adds to the selection.
struct SwfFileRequest {
  // The folder the sources were selected in; the automatic road mirrors the
  // paths below it.
  std::string selectedFolder;
  // Null: the suggested name is taken as it stands.
  SaveDialog saveDialog;
  // Null: the program's engine services with the finish of the conversion.
  const EngineServices* services = nullptr;
  // Told the source and the document path before each conversion.
  std::function<void(const std::string& source, const std::string& fla)> onFileStart;
  // The run's other inputs: files that hold a movie's signature but are not
  // among the sources (a movie the search passed over). Nothing the run
  // writes may take them, as it may take no source.
  std::vector<std::string> otherInputs;
};

// What a cancel left of a movie whose conversion ended with result 0 (one
// that was abandoned ends with 130: nothing was changed).
enum class CancelOutcome {
  kNone,         // not cancelled
  kFramesSoFar,  // cancelled while its tags were read: the frames read so far were written
  kWhole,        // cancelled while its set was committed: the new document stands whole
};

// One item of the selection.
struct FileOutcome {
  std::string source;
  std::string output;  // the FLA's final path (empty when none was chosen)
  std::string script;  // the script's final path (empty when none was kept)
  uint32_t result = 0;   // the engine's result
  bool converted = false;  // the engine ran
  std::string detail;      // the failure's cause, where the result does not tell it
  CancelOutcome cancelled = CancelOutcome::kNone;
};

// The authoring tool's keys in the settings store.
extern const char* const kFlashSettingsKeys[2];
extern const char* const kFlashWarningKeys[2];

// The program splits the comma form of its command line itself and calls
// ConvertSwfFiles, whose paths may hold commas; this form has no caller there.
// selection: the source paths, each followed by a comma. openAfter: open the
// document (then its script) after each conversion. Returns one outcome per
// item reached: a failure, a locked output too, ends only its own item, and
// only a cancel leaves the items after it unreached. A cancel request is read
// before each item, so an item not started is never touched.
std::vector<FileOutcome> ConvertSwfFile(ConverterContext& ctx, const std::string& selection,
                                        uint8_t openAfter, uint8_t suppressPanel,
                                        const SwfFileRequest& request = {});
// The same for a list of paths, which may hold commas; two or more sources
// take the automatic road when "Save All Files In A New Folder" is on.
// One document per movie: a source whose document is an earlier source's
// (the same path, or once that one is written, the same file) is not
// converted and fails with kResultDocumentTaken naming the earlier one;
// the same movie given again is passed over, with no outcome. No input is
// taken: a source whose document set would write over, replace or remove
// an input (the sources that hold a movie's signature, and
// `request.otherInputs`; convert/run_inputs.h) fails the same way before
// anything of it is written, naming the input.
std::vector<FileOutcome> ConvertSwfFiles(ConverterContext& ctx,
                                         const std::vector<std::string>& sources,
                                         uint8_t openAfter, uint8_t suppressPanel,
                                         const SwfFileRequest& request = {});

// The names the two roads give.
// Dialog road: "movie.swf" suggests "movie_.fla" beside it.
std::string SuggestedFlaName(const std::string& source);
// A chosen name holding neither ".fla" nor ".FLA" gets the extension.
std::string WithFlaExtension(const std::string& chosen);
// Automatic road: the source's path below `selectedFolder` under
// `outputFolder` (which ends with '/'), its last three characters "fla".
// A source outside the selected folder keeps only its file name.
std::string AutomaticFlaPath(const std::string& source, const std::string& selectedFolder,
                             const std::string& outputFolder);

// Sets the per-document folder paths and the script's final path for the
// document path F. Returns the script's final path.
std::string DeriveDocumentPaths(ConverterContext& ctx, const std::string& flaPath);

// Writes "Missing Font Warning" back when a conversion set it (at exit).
void RestoreFontWarning(ConverterContext& ctx);

}  // namespace tovrani
