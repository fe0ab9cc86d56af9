// The inputs of a run, which nothing the run writes may take: no document
// set of the run writes over, replaces or removes one of them.
//
// The inputs are the sources that hold a movie's signature ("FWS", "CWS" or
// "ZWS"), converted or not, a source that cannot be read (nothing tells that
// it holds none), and the other movies the caller found. A previous document
// or script holds no signature and is no input.
//
// A document set is compared with them before anything of its movie is
// written, by path and by file: every name the set may write, replace or
// remove, that is its document and script, the record of its commit, the
// temporaries and backups its commit and a later recovery make or remove
// beside them, and every import movie directly inside its two import
// folders with theirs, whatever the options (the commit sweeps those it does
// not replace). An input is known by its file as stat(2) gives it (a link to
// a document loses its movie when the document is replaced), a name of the
// set as lstat(2) does (the commit never follows a link).
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tovrani {

class OutputFolder;

class RunInputs {
 public:
  RunInputs() = default;
  RunInputs(const std::vector<std::string>& sources, const std::vector<std::string>& otherInputs);

  // A name of a document set that is an input.
  struct Taken {
    std::string name;   // the set's name as a path; the input itself where the paths are one
    std::string what;   // what the name is to the set, such as "its script"
    std::string input;  // the input as it was given
  };
  // The first name of the set of the document `fla` that is an input. The
  // names beside the document are read once a folder and run.
  std::optional<Taken> TakenBy(const std::string& fla);

  // Whether `name` in `folder` is an input: by its path, or by its file
  // without following a link.
  bool Holds(const OutputFolder& folder, const std::string& name) const;

 private:
  struct Use {
    std::string input;
    const char* what;
  };
  void Add(const std::string& input);
  std::optional<Taken> ByFile(const OutputFolder& folder, const std::string& name, const char* what) const;
  const std::vector<std::string>& Leftovers(const OutputFolder& folder, const std::string& flaName);

  std::unordered_map<std::string, std::string> paths_;  // normal absolute path -> input
  std::unordered_map<std::string, std::string> files_;  // device and inode -> input
  // By the normal absolute path of a document: the input its set would take
  // by its path.
  std::unordered_map<std::string, Use> bySet_;
  // By folder, then by document name: the temporaries and backups there.
  std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::string>>> leftovers_;
};

}  // namespace tovrani
