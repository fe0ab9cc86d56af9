// Runs the built program with its settings kept in a private folder.
#pragma once

#include <string>
#include <vector>

#include "support/independent_readers.h"
#include "support/temp_dir.h"

namespace tovrani::test {

// Exit status and everything the program printed.
struct ProgramRun {
  int status = -1;
  std::string output;
};

inline ProgramRun RunProgram(const std::vector<std::string>& args, const std::string& configHome,
                             const std::string& prefix = "") {
  std::string cmd = prefix + "XDG_CONFIG_HOME=" + ShellQuote(configHome) + ' ' + ShellQuote(TOVRANI_PROGRAM);
  for (const std::string& a : args) cmd += ' ' + ShellQuote(a);
  ProgramRun run;
  run.status = RunCommand(cmd + " </dev/null", run.output);
  return run;
}

// The small movie of the repository's samples/ folder: a red square placed
// on the main timeline, moved in the second frame, with a frame label.
std::vector<uint8_t> SampleMovie(uint8_t version = 8, bool compressed = false);

}  // namespace tovrani::test
