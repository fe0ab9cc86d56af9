// A movie converted once by the program, for the tests of what a movie's
// bytes allow: the document read back by the independent readers and
// compared with the movie frame by frame.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/program_runner.h"

namespace tovrani::test {

struct ConvertedMovie {
  TempDir dir;
  ProgramRun run;
  std::map<std::string, std::vector<uint8_t>> streams;
  uint64_t flaBytes = 0;
};

// Converts `movie` (written as m.swf) to m.fla with `options`, every file
// the program writes below `limitMb` MB and its work files in the test's
// folder; the conversion must succeed.
void ConvertOnce(ConvertedMovie& r, const std::vector<uint8_t>& movie, std::vector<std::string> options = {},
                 int limitMb = 32);

// How many times `what` stands in `text`.
size_t Occurrences(const std::string& text, const std::string& what);

}  // namespace tovrani::test
