// Through the program: no input of a run is written over, replaced or
// removed by the run. A movie whose document set would take another input
// fails with result 50 naming it; the sha256 of every file before and after
// the run shows each input as it was and what the run added.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "app/program_runner.h"
#include "convert/output_set_fixture.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

using Digests = std::map<std::string, std::string>;

// The sha256 of every file below `root`, by its path below it.
Digests DigestsBelow(const std::string& root) {
  std::string out;
  EXPECT_EQ(RunCommand("cd " + ShellQuote(root) + " && find . -type f -print0 | LC_ALL=C sort -z | xargs -0r sha256sum",
                       out),
            0)
      << out;
  Digests digests;
  std::istringstream lines(out);
  // "<64 hex digits>  ./path"
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 68) digests[line.substr(68)] = line.substr(0, 64);
  return digests;
}

// Each file of `before` as it was, and the files the run added.
std::set<std::string> Added(const Digests& before, const Digests& after) {
  for (const auto& [name, digest] : before) {
    const auto now = after.find(name);
    EXPECT_TRUE(now != after.end() && now->second == digest) << name << " was taken";
  }
  std::set<std::string> added;
  for (const auto& [name, digest] : after)
    if (!before.count(name)) added.insert(name);
  return added;
}

struct Case {
  const char* name;
  std::vector<std::string> movies;        // below the case's folder; an LZMA one ends with "!"
  std::vector<std::string> args;          // with "@" for the case's folder
  std::vector<std::string> lines;         // on stderr, with "@" for the case's folder
  std::set<std::string> added;            // below the case's folder
};

std::string At(std::string text, const std::string& folder) {
  for (size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += folder.size())
    text.replace(at, 1, folder);
  return text;
}

std::string TakenLine(const std::string& source, const std::string& input, const std::string& what) {
  return source + ": its document set would write over or remove the input " + input + " (" + what +
         "); not converted (result 50)";
}

TEST(ProgramRunInputs, NoInputIsTakenByTheRun) {
  const Case cases[] = {
      // A movie at a document's name, found by the search or given by name
      // before its own movie, and one at a script's name.
      {"document found", {"a.swf", "a_.fla"}, {"@"},
       {TakenLine("@/a.swf", "@/a_.fla", "its document")}, {"a__.fla", "a__.fla.jsfl"}},
      {"document given", {"a.swf", "a_.fla"}, {"@/a_.fla", "@/a.swf"},
       {TakenLine("@/a.swf", "@/a_.fla", "its document")}, {"a__.fla", "a__.fla.jsfl"}},
      {"script", {"a.swf", "a_.fla.jsfl"}, {"@"},
       {TakenLine("@/a.swf", "@/a_.fla.jsfl", "its script")}, {"a_.fla._.fla", "a_.fla._.fla.jsfl"}},
      // An LZMA movie is an input, though it is not converted.
      {"LZMA", {"a.swf", "a_.fla!"}, {"@/a.swf", "@/a_.fla"},
       {TakenLine("@/a.swf", "@/a_.fla", "its document")}, {}},
      // A movie named as a commit's record is removed by the recovery.
      {"record", {"a.swf", "a_.fla.commit"}, {"@"},
       {TakenLine("@/a.swf", "@/a_.fla.commit", "the record of its commit")},
       {"a_.fla.co_.fla", "a_.fla.co_.fla.jsfl"}},
      // S: a document named as its own movie.
      {"own movie", {"a.fla"}, {"@/a.fla", "-o", "@/a.fla"}, {TakenLine("@/a.fla", "@/a.fla", "its document")}, {}},
      // T: movies in the import folders of a document not yet written,
      // found by the search or given by name; each converts, and the movie
      // whose set would sweep them does not.
      {"import movies found",
       {"x.swf", "Shapes_x_.fla/Symbol 1.swf", "StaticText_x_.fla/Symbol 7.swf"},
       {"@"},
       {TakenLine("@/x.swf", "@/Shapes_x_.fla/Symbol 1.swf", "an import movie of its document")},
       {"Shapes_x_.fla/Symbol 1_.fla", "Shapes_x_.fla/Symbol 1_.fla.jsfl", "StaticText_x_.fla/Symbol 7_.fla",
        "StaticText_x_.fla/Symbol 7_.fla.jsfl"}},
      {"import movie given",
       {"x.swf", "StaticText_x_.fla/Symbol 7.swf"},
       {"@/x.swf", "@/StaticText_x_.fla/Symbol 7.swf"},
       {TakenLine("@/x.swf", "@/StaticText_x_.fla/Symbol 7.swf", "an import movie of its document")},
       {"StaticText_x_.fla/Symbol 7_.fla", "StaticText_x_.fla/Symbol 7_.fla.jsfl"}},
  };
  TempDir dir;
  std::vector<uint8_t> lzma = SampleMovie();
  lzma[0] = 'Z';
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = dir.file(c.name);
    for (std::string movie : c.movies) {
      const bool zws = movie.ends_with("!");
      if (zws) movie.pop_back();
      fs::create_directories(fs::path(folder + "/" + movie).parent_path());
      WriteFileBytes(folder + "/" + movie, zws ? lzma : SampleMovie());
    }
    const Digests before = DigestsBelow(folder);
    std::vector<std::string> args = {"-q"};
    for (const std::string& a : c.args) args.push_back(At(a, folder));
    const ProgramRun run = RunProgram(args, dir.file("config"));
    EXPECT_EQ(run.status, 1) << run.output;
    for (const std::string& line : c.lines)
      EXPECT_NE(run.output.find("tovrani: " + At(line, folder) + "\n"), std::string::npos) << run.output;
    EXPECT_EQ(Added(before, DigestsBelow(folder)), c.added) << run.output;
  }
}

// A previous document and its script hold no movie's signature: a re-run
// over the folder, or given all three, converts the movie as the first run.
TEST(ProgramRunInputs, APreviousDocumentIsNoInput) {
  TempDir dir;
  const std::string in = dir.file("in");
  fs::create_directories(in);
  WriteFileBytes(in + "/x.swf", Shapes(0xCC0000));
  const std::string importOn = "Shape / Morph Shape: Convert Using JSFL Import=on";
  ProgramRun run = RunProgram({"-q", "--set", importOn, in}, dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  const Digests first = DigestsBelow(in);
  EXPECT_TRUE(first.count("Shapes_x_.fla/Symbol 3.swf"));
  run = RunProgram({"--set", importOn, in + "/x.swf", in + "/x_.fla", in + "/x_.fla.jsfl"}, dir.file("config"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find(in + "/x.swf -> " + in + "/x_.fla\n"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("(result 50)"), std::string::npos) << run.output;
  EXPECT_EQ(DigestsBelow(in).at("x_.fla"), first.at("x_.fla"));
  run = RunProgram({"-q", in + "/x.swf"}, dir.file("config"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_FALSE(fs::exists(in + "/Shapes_x_.fla"));
}

}  // namespace
}  // namespace tovrani::test
