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

// A folder at `base` plus folders of 200 bytes and a last one, whose path
// has exactly `length` bytes: made with mkdirat, since past the path limit
// no whole path reaches it. Returns the shell's way there ("cd A && cd B").
std::string MakeDeepFolder(const std::string& base, size_t length, std::string& path) {
  Descriptor at(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::string cd = "cd " + ShellQuote(base);
  path = base;
  while (at.valid() && path.size() < length) {
    const size_t left = length - path.size() - 1;
    const std::string name(left > 202 ? 200 : left, 'd');
    EXPECT_EQ(::mkdirat(at.get(), name.c_str(), 0755), 0) << path.size();
    at.reset(::openat(at.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    path += '/' + name;
    cd += " && cd -P " + name;
  }
  EXPECT_TRUE(at.valid());
  EXPECT_EQ(path.size(), length);
  return cd;
}

// Removes a tree deeper than the path limit, which a removal by whole
// paths leaves behind.
struct DeepTreeRemoval {
  std::string path;
  ~DeepTreeRemoval() {
    std::string out;
    RunCommand("rm -rf " + ShellQuote(path), out);
  }
};

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

TEST(ProgramRuns, PathsPastTheSystemLimitAreRefusedBeforeAnythingIsMade) {
  TempDir dir, config;
  DeepTreeRemoval removal{dir.path().string()};
  const std::string in = dir.file("in");
  fs::create_directories(in);
  WriteFileBytes(in + "/top.swf", SampleMovie());

  // A movie some 3,850 bytes deep and a short one to a new folder of a
  // 250-byte name: the long one's mirrored folders would pass the limit.
  std::string deep;
  MakeDeepFolder(in, 3840, deep);
  const std::string longMovie = deep + "/long.swf";
  WriteFileBytes(longMovie, SampleMovie(7));
  const std::string out = dir.file(std::string(250, 'o'));
  const Lines inputs = Digests("cd " + ShellQuote(in));
  ProgramRun run = RunProgram({"--new-folder", out, in + "/top.swf", longMovie}, config.path());
  EXPECT_EQ(run.status, 1);
  const std::string results = out + "/Fla_Recovery_Results/";
  const std::string folder = results + deep.substr(in.size() + 1) + "/";
  ASSERT_GT(folder.size(), 4096u);
  const std::string limit =
      ": a path would pass the system's limit of 4095 bytes: the longest, the document's folder \"";
  ExpectLine(run, longMovie + limit + folder + "\", would have " + std::to_string(folder.size()) +
                      ". Nothing was made (result 51)");
  EXPECT_EQ(Digests("cd " + ShellQuote(in)), inputs);
  // No folder the run made but its results' own.
  EXPECT_EQ(AddedNames({}, Digests("cd " + ShellQuote(out))),
            (Lines{"folder .", "folder ./Fla_Recovery_Results", "./Fla_Recovery_Results/top.fla",
                   "./Fla_Recovery_Results/top.fla.jsfl"}));

  // The folder as it is opened, with its '/', may have 4,095 bytes: the
  // script's path past the limit is reached through the folder. One byte
  // more is refused, where the folder would fail to open.
  std::string edge;
  fs::create_directories(dir.file("edge"));
  const std::string toEdge = MakeDeepFolder(dir.file("edge"), 4094, edge);
  run = RunProgram({in + "/top.swf", "-o", edge + "/x.fla"}, config.path());
  EXPECT_EQ(run.status, 0) << run.output.substr(0, 500);
  EXPECT_EQ(AddedNames({}, Digests(toEdge)), (Lines{"folder .", "./x.fla", "./x.fla.jsfl"}));
  const std::string past = edge + "e";
  ASSERT_EQ(::mkdir(past.c_str(), 0755), 0);
  run = RunProgram({in + "/top.swf", "-o", past + "/x.fla"}, config.path());
  EXPECT_EQ(run.status, 1);
  ExpectLine(run, in + "/top.swf" + limit + past + "/\", would have 4096. Nothing was made (result 51)");
  EXPECT_TRUE(fs::is_empty(past));
  EXPECT_EQ(Digests("cd " + ShellQuote(in)), inputs);

  // In a folder deeper than the limit, relative names are what the system
  // takes: they convert.
  std::string cwd;
  fs::create_directories(dir.file("cwd"));
  const std::string toCwd = MakeDeepFolder(dir.file("cwd"), 4300, cwd);
  std::string copied;
  RunCommand(toCwd + " && cp " + ShellQuote(in + "/top.swf") + " a.swf && cp a.swf b.swf", copied);
  const Lines movies = Digests(toCwd);
  run = RunProgram({"-q", "a.swf", "b.swf"}, config.path(), toCwd + " && ");
  EXPECT_EQ(run.status, 0) << run.output.substr(0, 500);
  const Lines converted = Digests(toCwd);
  EXPECT_TRUE(std::includes(converted.begin(), converted.end(), movies.begin(), movies.end()));
  EXPECT_EQ(AddedNames(movies, converted), (Lines{"./a_.fla", "./a_.fla.jsfl", "./b_.fla", "./b_.fla.jsfl"}));
}

TEST(ProgramRuns, AShapeIdListIsSaidToServeOnlyTheExactSearch) {
  TempDir dir, config;
  WriteFileBytes(dir.file("g.swf"), SampleMovie());
  const std::string said =
      "--shape-ids serves only \"Exact Problem Search / Vectorization\", which is off: the list is not used";
  ProgramRun run = RunProgram({"-q", dir.file("g.swf"), "-o", dir.file("plain.fla")}, config.path());
  ASSERT_EQ(run.status, 0) << run.output;
  const Lines before = Digests("cd " + ShellQuote(dir.path().string()));
  run = RunProgram({"-q", dir.file("g.swf"), "-o", dir.file("listed.fla"), "--shape-ids", "2"}, config.path());
  EXPECT_EQ(run.status, 0);
  ExpectLine(run, said);
  EXPECT_EQ(ReadFileBytes(dir.file("listed.fla")), ReadFileBytes(dir.file("plain.fla")));
  EXPECT_EQ(AddedNames(before, Digests("cd " + ShellQuote(dir.path().string()))),
            (Lines{"./listed.fla", "./listed.fla.jsfl"}));
  // With the search on the list serves, and nothing is said; a run that
  // fails keeps its status.
  run = RunProgram({"-q", dir.file("g.swf"), "-o", dir.file("exact.fla"), "--shape-ids", "2", "--set",
                    "Exact Problem Search / Vectorization=on"},
                   config.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output.find("--shape-ids"), std::string::npos) << run.output;
  run = RunProgram({dir.file("none.swf"), "--shape-ids", "2"}, config.path());
  EXPECT_EQ(run.status, 1);
  ExpectLine(run, said);
  run = RunProgram({"--help"}, config.path());
  const size_t option = run.output.find("--shape-ids LIST");
  ASSERT_NE(option, std::string::npos);
  EXPECT_NE(run.output.substr(option, 120).find("\"Exact Problem Search / Vectorization\""), std::string::npos)
      << run.output;
}

}  // namespace
}  // namespace tovrani::test
