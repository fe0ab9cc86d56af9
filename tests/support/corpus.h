// The real movies of the shared corpus, as its INDEX.tsv lists them. Tests
// that convert them skip when the corpus is absent:
//   const auto movies = CorpusMovies();
//   if (movies.empty()) GTEST_SKIP() << "no corpus";
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tovrani::test {

struct CorpusMovie {
  std::filesystem::path path;  // absolute
  std::string name;            // as the index gives it, below the corpus
  std::string signature;       // FWS, CWS, ZWS or what the file starts with
  std::string tags;            // "Name:count,..." of every tag the movie holds
  std::string problems;        // known faults of the file; empty for a sound movie
  bool has(const std::string& tag) const { return tags.find(tag) != std::string::npos; }
  // A whole FWS or CWS movie with no known problem.
  bool sound() const { return problems.empty() && (signature == "FWS" || signature == "CWS"); }
};

// The shared folder beside the sources (corpus, real sample documents,
// tools), which a user's clone does not have: TOVRANI_SHARED_DIR in the
// environment, else the folder the build names. Tests that need it skip
// with one line when what they need is absent.
std::filesystem::path SharedDir();

// Empty when the corpus or its index is absent.
std::vector<CorpusMovie> CorpusMovies();

}  // namespace tovrani::test
