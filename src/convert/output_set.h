// The files of one document set: the FLA, its script and the small movies the
// script imports (in the "Shapes_" and "StaticText_" folders beside the FLA).
// Each is written under a temporary name beside its final name, through the
// descriptor that made it, and renamed in only when the whole set is
// committed, so that a failed conversion leaves the previous set untouched.
//
// The commit undoes itself: every file it replaces, and every import movie
// of the previous set that the new one lacks, is first moved to a backup
// beside it, and a failure puts every backup back, so the previous set
// stands as it was. Before its first rename it writes a record of its steps
// beside the FLA, from which the next conversion to the same output rolls a
// killed commit back (or forward, once its FLA is in place); a failure
// whose put-back fails too keeps its record and its temporaries, so the
// next conversion still rolls it back. It runs under an exclusive lock of
// the FLA's folder (two commits there run one after the other) and with the
// signals that end the program held until it is done. Where it replaces or
// removes a previous file, the new files reach the disk before the first
// rename, and a flush that fails before the FLA is in place fails it.
//
// Every rename, removal and look happens relative to the descriptors of
// the FLA's folder and of import folders that are the run's own (never a
// link, never another user's).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <sys/types.h>

#include "convert/output_folder.h"
#include "convert/run_lock.h"

namespace tovrani {

struct ConverterContext;

// The two import folders of a document.
enum ImportFolderKind : int { kShapesFolder = 0, kStaticTextFolder = 1 };

// One document's output while a conversion writes it.
struct DocumentOutput {
  ~DocumentOutput() { lock.Release(folder); }

  std::string fla;      // as the user gave it
  std::string flaName;  // its file name
  OutputFolder folder;  // the FLA's
  RunLock lock;         // the run's, on its script's temporary
  uid_t owner = 0;      // the run's user, as the file system gives it its files

  struct ImportFolder {
    enum State { kUnopened, kOpen, kRefused } state = kUnopened;
    OutputFolder folder;
    bool made = false;  // made by this run, removed again when left empty
  };
  std::array<ImportFolder, 2> imports;

  // An import movie written under its temporary name.
  struct Staged {
    int kind = kShapesFolder;
    std::string temp, name;  // in the import folder
    FileIdentity identity;
    uint64_t bytes = 0;
  };
  std::vector<Staged> staged;
};

// "Shapes_NAME" or "StaticText_NAME" for the FLA `flaName`.
std::string ImportFolderName(int kind, const std::string& flaName);

// A name the document set takes in the FLA's folder, and what it names.
struct SetName {
  std::string name, what;
};
// The longest of the names the set of the FLA `flaName` takes in its folder:
// the FLA and its script, their temporaries and backups, the record of the
// commit and, with `importFolders`, the two import folders. A temporary's
// process and random part, which never change its length, show as the
// running process's id and "XXXXXX".
SetName LongestSetName(const std::string& flaName, bool importFolders);

// Opens the FLA's folder and takes the run's lock there (the script's
// temporary, which the run writes through its descriptor); null, with
// `why` and errno set, when no file can be made there.
std::unique_ptr<DocumentOutput> OpenDocumentOutput(const std::string& fla, std::string& why);

// The import folder of `kind`, opened on first need and, with `make`, made
// where missing. Null when it cannot be had, and when what stands there is
// a link, no folder or another user's: nothing in it is then read, written,
// moved or removed.
const OutputFolder* ImportFolderOf(DocumentOutput& out, int kind, bool make);

// Flushes the renames in the document's import folders, then in the FLA's
// folder, to disk: "" or the first failure in words.
std::string FlushDocumentFolders(DocumentOutput& out);

// Removes the document's import folders that are the run's user's and empty.
void RemoveEmptyImportFolders(DocumentOutput& out);

// Writes `bytes` as the import movie `name` of the folder `kind`, under its
// temporary name; returns the temporary's path, or "" when it cannot be
// written (nothing is left staged then).
std::string StageImportMovie(ConverterContext& ctx, int kind, const std::string& name,
                             std::span<const uint8_t> bytes);

// The bytes of the import movies staged so far.
uint64_t StagedBytes(const ConverterContext& ctx);

// Removes one staged movie (it could not be used).
void DropStagedFile(ConverterContext& ctx, const std::string& temp);

// Removes every staged movie, and the folders made for them when they are
// left empty.
void DiscardStagedFiles(ConverterContext& ctx);

// Removes the FLA's temporary that the finish handed over but that is not
// committed.
void DropDocumentTemp(ConverterContext& ctx, const std::string& flaTemp);

// Commits the whole set in one order: the import movies, then the script,
// then the previous set's import movies that the new one lacks are moved
// aside, the FLA last. Returns 0; 130 when a cancel ended the wait for the
// folder's lock (nothing changed); or 44 when a step fails: then every file
// the commit replaced or moved aside is put back and every new file
// removed, with the temporaries and the folders made for the set, and
// ctx.m_strFailureDetail names the file and the system's reason. A file
// that could not be put back is named; the record and the temporaries stay
// then, and the next conversion to this output puts it back. A flush that
// fails once the FLA is in place leaves the new set whole and gives 44. A
// previous import movie that cannot be moved aside stays, with a message;
// it fails nothing. An empty `scriptTemp` commits no script.
uint32_t CommitDocumentSet(ConverterContext& ctx, const std::string& scriptTemp, const std::string& script,
                           const std::string& flaTemp, const std::string& fla);

// Where a SIGINT or SIGTERM that arrived while a commit held the signals
// goes once the commit is done, instead of to its handler; without a sink
// it is delivered as usual.
using HeldSignalSink = void (*)(int signal);
void SetHeldSignalSink(HeldSignalSink sink);

}  // namespace tovrani
