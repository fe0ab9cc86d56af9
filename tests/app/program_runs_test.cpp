// What a run does with each of its movies: every movie it does not convert
// is named with its cause, a path the system cannot take is refused before
// anything is made, and an option that would change nothing is said to.
// Every file a run may touch is compared by its sha256 before and after.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/program_runner.h"
#include "fla/descriptor.h"
#include "support/document_frames.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

using Lines = std::set<std::string>;

// Each folder, and each file with its sha256, below the folder the shell
// reaches with `cd`: names relative to it, so that a folder deeper than the
// path limit is read too.
Lines Digests(const std::string& cd) {
  std::string out;
  RunCommand(cd + " && find . -type d -printf 'folder %p\\n' -o -type f -exec sha256sum {} +", out);
  std::istringstream in(out);
  Lines lines;
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(line.starts_with("folder ") || line.find("  ./") == 64) << line;
    lines.insert(line);
  }
  return lines;
}

Lines Added(const Lines& before, const Lines& after) {
  Lines added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::inserter(added, added.end()));
  return added;
}

// The names of the lines added: "./x.fla", "folder ./sub", ...
Lines AddedNames(const Lines& before, const Lines& after) {
  Lines names;
  for (const std::string& line : Added(before, after))
    names.insert(line.starts_with("folder ") ? line : line.substr(66));
  return names;
}

void ExpectLine(const ProgramRun& run, const std::string& line) {
  EXPECT_NE(run.output.find("tovrani: " + line + "\n"), std::string::npos) << line.substr(0, 300) << "\n" << run.output;
}

TEST(ProgramRuns, AMovieWhoseDocumentIsLockedFailsAloneAndTheRunGoesOn) {
  TempDir dir, config;
  const std::string in = dir.file("in");
  fs::create_directories(in + "/a_.fla");  // a folder where a.swf's document would go
  WriteFileBytes(in + "/a.swf", SampleMovie());
  WriteFileBytes(in + "/b.swf", SampleMovie(6, true));
  WriteFileBytes(in + "/c.swf", SampleMovie(7));
  const Lines before = Digests("cd " + ShellQuote(in));
  const ProgramRun run = RunProgram({in + "/a.swf", in + "/b.swf", in + "/c.swf"}, config.path());
  EXPECT_EQ(run.status, 1);
  ExpectLine(run, in + "/a.swf: the FLA cannot be written: a folder has its name (result 43)");
  EXPECT_EQ(run.output.find("The FLA cannot be written"), std::string::npos) << run.output;
  const Lines after = Digests("cd " + ShellQuote(in));
  EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
  EXPECT_EQ(AddedNames(before, after), (Lines{"./b_.fla", "./b_.fla.jsfl", "./c_.fla", "./c_.fla.jsfl"}));
  for (const char* fla : {"/b_.fla", "/c_.fla"}) ExpectReadableDocument(in + fla);

  // A folder the user cannot write: root writes anyway.
  if (::geteuid() == 0) return;
  fs::create_directories(dir.file("ro"));
  fs::create_directories(dir.file("w"));
  WriteFileBytes(dir.file("ro/a.swf"), SampleMovie());
  for (const char* name : {"w/b.swf", "w/c.swf"}) WriteFileBytes(dir.file(name), SampleMovie(7));
  fs::permissions(dir.file("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  const ProgramRun ro = RunProgram({dir.file("ro/a.swf"), dir.file("w/b.swf"), dir.file("w/c.swf")}, config.path());
  fs::permissions(dir.file("ro"), fs::perms::owner_all);
  EXPECT_EQ(ro.status, 1);
  ExpectLine(ro, dir.file("ro/a.swf") +
                     ": the FLA cannot be written: its folder cannot be written (Permission denied) (result 43)");
  for (const char* fla : {"w/b_.fla", "w/c_.fla"}) ExpectReadableDocument(dir.file(fla));
}

}  // namespace
}  // namespace tovrani::test
