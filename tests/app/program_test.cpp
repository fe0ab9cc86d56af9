// The program end to end: movies of the test writer and of the shared
// corpus converted, checked by independent readers.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/command_line.h"
#include "app/program_runner.h"
#include "fla/jsfl_script.h"
#include "fla/stream_placement.h"
#include "support/swf_writer.h"

extern char** environ;

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    names.push_back(fs::relative(e.path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

// The FLA and its script pass the independent readers; returns the streams.
void ExpectReadable(const std::string& fla, std::map<std::string, std::vector<uint8_t>>& streams) {
  ASSERT_TRUE(ReadCompoundFile(fla, streams));
  EXPECT_TRUE(streams.count("Contents"));
  EXPECT_TRUE(streams.count("Page 1"));
  EXPECT_TRUE(IsValidJavaScriptFile(fla + ".jsfl"));
  auto script = ReadFileBytes(fla + ".jsfl");
  std::string header = JsflHeader();
  ASSERT_GE(script.size(), header.size());
  EXPECT_EQ(std::string(script.begin(), script.begin() + long(header.size())), header);
  EXPECT_EQ(header.size(), 3u + 54u);
}

TEST(Program, ConvertsMoviesOfEveryFormatLevel) {
  TempDir dir;
  struct Case {
    uint8_t version;
    bool compressed;
    uint8_t headVersion;  // the page head's version bytes
  };
  for (const Case c : {Case{5, false, 1}, Case{7, true, 1}, Case{8, false, 4}, Case{8, true, 4}}) {
    SCOPED_TRACE(int(c.version));
    std::string name = std::to_string(c.version);
    name.insert(0, 1, 'm');
    if (c.compressed) name += 'c';
    WriteFileBytes(dir.file(name + ".swf"), SampleMovie(c.version, c.compressed));
    ProgramRun run = RunProgram({dir.file(name + ".swf")}, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string fla = dir.file(name + "_.fla");
    EXPECT_NE(run.output.find(fla + ".jsfl"), std::string::npos) << run.output;

    std::map<std::string, std::vector<uint8_t>> streams;
    ExpectReadable(fla, streams);
    const auto& page = streams["Page 1"];
    ASSERT_GE(page.size(), kFileHead.size());
    std::vector<uint8_t> head(kFileHead.begin(), kFileHead.end());
    head[15] = head[32] = c.headVersion;
    EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + long(head.size())), head);
  }
  // Nothing but the movies, the documents and their scripts.
  for (const std::string& f : FilesIn(dir.path()))
    EXPECT_TRUE(f.ends_with(".swf") || f.ends_with("_.fla") || f.ends_with(".fla.jsfl") ||
                f.starts_with("config"))
        << f;
}

TEST(Program, NamesOutputsByBothRoads) {
  TempDir dir;
  fs::create_directories(dir.path() / "in/sub");
  WriteFileBytes(dir.file("in/a.swf"), SampleMovie());
  WriteFileBytes(dir.file("in/sub/b.swf"), SampleMovie(7));
  WriteFileBytes(dir.file("in/sub/notes.txt"), {'h', 'i'});

  // A chosen name without the extension gets it.
  ProgramRun run = RunProgram({"-q", dir.file("in/a.swf"), "-o", dir.file("out")}, dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(fs::exists(dir.file("out.fla")));
  EXPECT_TRUE(fs::exists(dir.file("out.fla.jsfl")));

  // A folder of inputs with a new folder: the tree mirrored below it.
  run = RunProgram({"-q", "--new-folder", dir.file("dest"), dir.file("in")}, dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  std::map<std::string, std::vector<uint8_t>> streams;
  ExpectReadable(dir.file("dest/Fla_Recovery_Results/a.fla"), streams);
  ExpectReadable(dir.file("dest/Fla_Recovery_Results/sub/b.fla"), streams);

  // A comma is part of a name, not a separator, in the usual form.
  WriteFileBytes(dir.file("in/x,y.swf"), SampleMovie());
  run = RunProgram({"-q", dir.file("in/x,y.swf")}, dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(fs::exists(dir.file("in/x,y_.fla")));
  fs::remove(dir.file("in/x,y.swf"));

  // The original form converts beside the sources.
  run = RunProgram({"/s," + dir.file("in/a.swf") + "," + dir.file("in/sub/b.swf") + ","},
                   dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(fs::exists(dir.file("in/a_.fla")));
  EXPECT_TRUE(fs::exists(dir.file("in/sub/b_.fla")));
}

TEST(Program, ExitStatusTellsUsageFailureAndSuccess) {
  TempDir dir;
  const std::string config = dir.file("config");
  EXPECT_EQ(RunProgram({}, config).status, 2);
  EXPECT_EQ(RunProgram({"--bogus", "x.swf"}, config).status, 2);
  EXPECT_EQ(RunProgram({"a.swf", "b.swf", "-o", "x.fla"}, config).status, 2);
  EXPECT_EQ(RunProgram({"--set", "Convert Using JSFL Import=on", "a.swf"}, config).status, 2);
  EXPECT_EQ(RunProgram({"--approximation", "101", "a.swf"}, config).status, 2);
  ProgramRun help = RunProgram({"--help"}, config);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("Static Text: Convert Using JSFL Import"), std::string::npos);

  ProgramRun missing = RunProgram({dir.file("nothing.swf")}, config);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("nothing.swf"), std::string::npos);

  // A file that is not a movie: named with the engine's result.
  WriteFileBytes(dir.file("text.swf"), std::vector<uint8_t>(100, 'x'));
  WriteFileBytes(dir.file("good.swf"), SampleMovie());
  ProgramRun bad = RunProgram({"-q", dir.file("text.swf"), dir.file("good.swf")}, config);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("text.swf"), std::string::npos) << bad.output;
  EXPECT_NE(bad.output.find("result 137"), std::string::npos) << bad.output;
  EXPECT_TRUE(fs::exists(dir.file("good_.fla")));  // the next file still converts

  // One document name for a folder of two movies would lose one of them.
  fs::create_directories(dir.path() / "two");
  WriteFileBytes(dir.file("two/a.swf"), SampleMovie());
  WriteFileBytes(dir.file("two/b.swf"), SampleMovie());
  EXPECT_EQ(RunProgram({"-o", dir.file("x.fla"), dir.file("two")}, config).status, 2);
  EXPECT_EQ(RunProgram({"--set", "Save All Files In A New Folder=on", dir.file("two")}, config).status, 2);
  EXPECT_FALSE(fs::exists(dir.file("x.fla")));
}

TEST(Program, FailedConversionLeavesOlderDocumentUntouched) {
  TempDir dir;
  const std::vector<uint8_t> oldFla = {'o', 'l', 'd', ' ', 'F', 'L', 'A'};
  const std::vector<uint8_t> oldScript = {'/', '/', 'o', 'l', 'd'};
  WriteFileBytes(dir.file("movie_.fla"), oldFla);
  WriteFileBytes(dir.file("movie_.fla.jsfl"), oldScript);
  // A movie whose header length promises more than the file holds.
  auto movie = SwfWriter(8).tag(9, {1, 2, 3}).end().build();
  movie[4] = 0xFF;
  movie[5] = 0xFF;
  WriteFileBytes(dir.file("movie.swf"), movie);

  ProgramRun run = RunProgram({"-q", dir.file("movie.swf")}, dir.file("config"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("result 138"), std::string::npos) << run.output;
  EXPECT_EQ(ReadFileBytes(dir.file("movie_.fla")), oldFla);
  EXPECT_EQ(ReadFileBytes(dir.file("movie_.fla.jsfl")), oldScript);
  EXPECT_EQ(FilesIn(dir.path()),
            (std::vector<std::string>{"movie.swf", "movie_.fla", "movie_.fla.jsfl"}));
}

// A movie long enough to be interrupted: many frames of many tags.
std::vector<uint8_t> LongMovie() {
  std::vector<uint8_t> frame;
  for (int i = 0; i < 200; ++i) {
    auto t = SwfWriter::TagBytes(1000, {});  // a tag no handler takes
    frame.insert(frame.end(), t.begin(), t.end());
  }
  auto show = SwfWriter::TagBytes(1, {});
  frame.insert(frame.end(), show.begin(), show.end());
  std::vector<uint8_t> out = SwfWriter(8).frameCount(30000).build();
  for (int f = 0; f < 30000; ++f) out.insert(out.end(), frame.begin(), frame.end());
  auto end = SwfWriter::TagBytes(0, {});
  out.insert(out.end(), end.begin(), end.end());
  const uint32_t total = uint32_t(out.size());
  for (int i = 0; i < 4; ++i) out[4 + size_t(i)] = uint8_t(total >> (8 * i));
  return out;
}

TEST(Program, CtrlCEndsWithTheFramesDoneWritten) {
  TempDir dir;
  WriteFileBytes(dir.file("long.swf"), LongMovie());
  std::vector<std::string> args = {TOVRANI_PROGRAM, "-q", dir.file("long.swf")};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, TOVRANI_PROGRAM, nullptr, nullptr, argv.data(), environ), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 0) GTEST_SKIP() << "the conversion ended before the interrupt";
  EXPECT_EQ(WEXITSTATUS(status), 130);
  std::map<std::string, std::vector<uint8_t>> streams;
  ExpectReadable(dir.file("long_.fla"), streams);
}

TEST(Program, ConvertsEveryCorpusMovie) {
  const fs::path corpus = fs::path(TOVRANI_SHARED_DIR) / "corpus";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  std::vector<std::string> movies;
  for (const auto& e : fs::recursive_directory_iterator(corpus))
    if (e.is_regular_file() && ProbesAsSwf(e.path().string())) movies.push_back(e.path().string());
  std::sort(movies.begin(), movies.end());
  ASSERT_FALSE(movies.empty());
  TempDir dir;
  int converted = 0;
  for (size_t i = 0; i < movies.size(); ++i) {
    SCOPED_TRACE(movies[i]);
    const std::string fla = dir.file(std::to_string(i) + ".fla");
    // A time limit per movie: a hang is a failure, not a stuck test run.
    ProgramRun run = RunProgram({"-q", movies[i], "-o", fla}, dir.file("config"), "timeout -s KILL 300 env ");
    ASSERT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status << "\n" << run.output;
    if (run.status == 1) {
      EXPECT_NE(run.output.find("(result "), std::string::npos) << run.output;
      EXPECT_FALSE(fs::exists(fla));
      continue;
    }
    ++converted;
    std::map<std::string, std::vector<uint8_t>> streams;
    ExpectReadable(fla, streams);
  }
  EXPECT_GT(converted, 0);
}

}  // namespace
}  // namespace tovrani::test
