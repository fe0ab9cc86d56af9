#include "support/corpus.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tovrani::test {

std::filesystem::path SharedDir() {
  const char* env = std::getenv("TOVRANI_SHARED_DIR");
  return env && *env ? env : TOVRANI_SHARED_DIR;
}

std::vector<CorpusMovie> CorpusMovies() {
  const std::filesystem::path corpus = SharedDir() / "corpus";
  std::vector<CorpusMovie> movies;
  std::ifstream index(corpus / "INDEX.tsv");
  std::string line;
  if (!std::getline(index, line)) return movies;  // the header
  // Columns: path, signature, version, bytes, frames, tags, problems.
  while (std::getline(index, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; f.size() < 7 && std::getline(fields, field, '\t');) f.push_back(field);
    if (f.empty() || f[0].empty()) continue;
    f.resize(7);
    movies.push_back({corpus / f[0], f[0], f[1], f[5], f[6]});
  }
  return movies;
}

}  // namespace tovrani::test
