// The program end to end: movies of the test writer and of the shared
// corpus converted, checked by independent readers.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <unistd.h>

#include "app/command_line.h"
#include "app/program_runner.h"
#include "fla/jsfl_script.h"
#include "fla/stream_placement.h"
#include "support/corpus.h"
#include "support/document_frames.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;
using Streams = std::map<std::string, std::vector<uint8_t>>;

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    names.push_back(fs::relative(e.path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

// The FLA and its script pass the independent readers and the script opens
// with the header; returns the streams.
Streams ExpectReadable(const std::string& fla) {
  const std::vector<uint8_t> script = ReadFileBytes(fla + ".jsfl");
  EXPECT_TRUE(std::string(script.begin(), script.end()).starts_with(JsflHeader()));
  return ExpectReadableDocument(fla);
}

TEST(Program, ConvertsMoviesOfEveryFormatLevel) {
  TempDir dir;
  // Version, compressed, and the page head's version bytes of its format level.
  for (const auto& [version, compressed, headVersion] :
       {std::tuple{5, false, 1}, std::tuple{7, true, 1}, std::tuple{8, false, 4}, std::tuple{8, true, 4}}) {
    SCOPED_TRACE(version);
    const std::string name = std::to_string(version) + (compressed ? "c" : "");
    WriteFileBytes(dir.file(name + ".swf"), SampleMovie(uint8_t(version), compressed));
    ProgramRun run = RunProgram({dir.file(name + ".swf")}, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string fla = dir.file(name + "_.fla");
    EXPECT_NE(run.output.find(fla + ".jsfl"), std::string::npos) << run.output;
    const Streams streams = ExpectReadable(fla);
    EXPECT_TRUE(DocumentShowsMovie(ReadFileBytes(dir.file(name + ".swf")), streams));
    std::vector<uint8_t> page = streams.at("Page 1"), head(kFileHead.begin(), kFileHead.end());
    head[15] = head[32] = uint8_t(headVersion);
    page.resize(head.size());
    EXPECT_EQ(page, head);
  }
  // Nothing but the movies, the documents and their scripts.
  for (const std::string& f : FilesIn(dir.path()))
    EXPECT_TRUE(f.ends_with(".swf") || f.ends_with("_.fla") || f.ends_with(".fla.jsfl") ||
                f.starts_with("config"))
        << f;
}

TEST(Program, NamesOutputsByBothRoads) {
  TempDir dir;
  const std::string config = dir.file("config");
  fs::create_directories(dir.path() / "in/sub");
  WriteFileBytes(dir.file("in/a.swf"), SampleMovie());
  WriteFileBytes(dir.file("in/sub/b.swf"), SampleMovie(7));
  WriteFileBytes(dir.file("in/sub/notes.txt"), {'h', 'i'});
  // A chosen name without the extension gets it.
  ASSERT_EQ(RunProgram({"-q", dir.file("in/a.swf"), "-o", dir.file("out")}, config).status, 0);
  EXPECT_TRUE(fs::exists(dir.file("out.fla")) && fs::exists(dir.file("out.fla.jsfl")));
  // A folder of inputs with a new folder: the tree mirrored below it.
  ASSERT_EQ(RunProgram({"-q", "--new-folder", dir.file("dest"), dir.file("in")}, config).status, 0);
  ExpectReadable(dir.file("dest/Fla_Recovery_Results/a.fla"));
  ExpectReadable(dir.file("dest/Fla_Recovery_Results/sub/b.fla"));
  // The original form converts beside the sources.
  ASSERT_EQ(RunProgram({"/s," + dir.file("in/a.swf") + "," + dir.file("in/sub/b.swf") + ","}, config).status, 0);
  EXPECT_TRUE(fs::exists(dir.file("in/a_.fla")) && fs::exists(dir.file("in/sub/b_.fla")));
}

// A movie whose name takes its set's longest name, the script's temporary,
// past the folder's limit fails before anything is written, naming that
// name and the limit; one byte shorter, it converts whole.
TEST(Program, MovieNamesPastTheFoldersLimitFailBeforeAnythingIsWritten) {
  TempDir dir;
  const std::string folder = dir.file("out");
  const long limit = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
  if (limit < 64) GTEST_SKIP() << "names of " << limit << " bytes";
  for (long over : {1, 0})
    for (bool import : {false, true}) {
      SCOPED_TRACE(std::to_string(over) + (import ? " import" : ""));
      fs::remove_all(folder);
      fs::create_directory(folder);
      // "NAME_.fla.jsfl.tmp-PPPPPPP-RRRRRR" for NAME.swf.
      const std::string stem = folder + "/" + std::string(size_t(limit - 29 + over), 'n');
      WriteFileBytes(stem + ".swf", SampleMovie());
      std::vector<std::string> args = {"-q", stem + ".swf"};
      if (import)
        args.insert(args.end(), {"--set", "Shape / Morph Shape: Convert Using JSFL Import=on", "--set",
                                 "Static Text: Convert Using JSFL Import=on"});
      const ProgramRun run = RunProgram(args, dir.file("config"));
      if (over == 0) {
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_TRUE(DocumentShowsMovie(SampleMovie(), ExpectReadable(stem + "_.fla")));
        // With the shape's movie in "Shapes_NAME_.fla" on the import road.
        EXPECT_EQ(FilesIn(folder).size(), import ? 5u : 3u);
        continue;
      }
      EXPECT_EQ(run.status, 1);
      for (const std::string& said : {stem + ".swf:", std::string("_.fla.jsfl.tmp-"), std::string("(result 51)"),
                                      "limit of " + std::to_string(limit) + " bytes"})
        EXPECT_NE(run.output.find(said), std::string::npos) << said << "\n" << run.output;
      EXPECT_EQ(FilesIn(folder).size(), 1u);
    }
}

TEST(Program, ExitStatusTellsUsageFailureAndSuccess) {
  TempDir dir;
  const std::string config = dir.file("config");
  EXPECT_EQ(RunProgram({"--bogus", "x.swf"}, config).status, 2);
  ProgramRun run = RunProgram({"--help"}, config);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("Static Text: Convert Using JSFL Import"), std::string::npos);
  run = RunProgram({dir.file("nothing.swf")}, config);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("nothing.swf"), std::string::npos);
  // A file that is not a movie is named with the engine's result; the next still converts.
  WriteFileBytes(dir.file("text.swf"), std::vector<uint8_t>(100, 'x'));
  WriteFileBytes(dir.file("good.swf"), SampleMovie());
  run = RunProgram({"-q", dir.file("text.swf"), dir.file("good.swf")}, config);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("text.swf"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("result 137"), std::string::npos) << run.output;
  EXPECT_TRUE(fs::exists(dir.file("good_.fla")));
  // One document name for a folder of two movies would lose one of them.
  fs::create_directories(dir.path() / "two");
  WriteFileBytes(dir.file("two/a.swf"), SampleMovie());
  WriteFileBytes(dir.file("two/b.swf"), SampleMovie());
  EXPECT_EQ(RunProgram({"-o", dir.file("x.fla"), dir.file("two")}, config).status, 2);
  EXPECT_EQ(RunProgram({"--set", "Save All Files In A New Folder=on", dir.file("two")}, config).status, 2);
  EXPECT_FALSE(fs::exists(dir.file("x.fla")));
}

// The result line names the cause the conversion found: each reason the
// FLA cannot be written, and a movie compressed with LZMA.
TEST(Program, FailureLinesNameTheCause) {
  TempDir dir;
  const std::string config = dir.file("config");
  WriteFileBytes(dir.file("good.swf"), SampleMovie());
  fs::create_directories(dir.file("taken.fla"));
  auto line = [&](const std::string& input, const std::string& output) {
    const ProgramRun run = RunProgram({"-q", input, "-o", output}, config);
    EXPECT_EQ(run.status, 1);
    return run.output;
  };
  std::string out = line(dir.file("good.swf"), dir.file("taken.fla"));
  EXPECT_NE(out.find("the FLA cannot be written: a folder has its name (result 43)"), std::string::npos) << out;
  out = line(dir.file("good.swf"), dir.file("none/x.fla"));
  EXPECT_NE(out.find("the FLA cannot be written: its folder cannot be opened (No such file or directory)"),
            std::string::npos)
      << out;
  std::vector<uint8_t> lzma = SampleMovie();
  lzma[0] = 'Z';
  WriteFileBytes(dir.file("lzma.swf"), lzma);
  out = line(dir.file("lzma.swf"), dir.file("lzma.fla"));
  EXPECT_NE(out.find("lzma.swf: LZMA-compressed movies (signature \"ZWS\") are not supported (result 137)"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("no \"FWS\" or \"CWS\""), std::string::npos) << out;
}

TEST(Program, ReadOnlyOutputsAreNamedAsSuch) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes to read-only files and folders anyway";
  TempDir dir;
  const std::string config = dir.file("config");
  WriteFileBytes(dir.file("good.swf"), SampleMovie());
  auto line = [&](const std::string& input, const std::string& output) {
    const ProgramRun run = RunProgram({"-q", input, "-o", output}, config);
    EXPECT_EQ(run.status, 1);
    return run.output;
  };
  WriteFileBytes(dir.file("old.fla"), {1, 2, 3});
  fs::permissions(dir.file("old.fla"), fs::perms::owner_read);
  std::string out = line(dir.file("good.swf"), dir.file("old.fla"));
  EXPECT_NE(out.find("the existing FLA cannot be replaced"), std::string::npos) << out;
  fs::create_directories(dir.file("ro"));
  fs::permissions(dir.file("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  out = line(dir.file("good.swf"), dir.file("ro/x.fla"));
  fs::permissions(dir.file("ro"), fs::perms::owner_all);
  EXPECT_NE(out.find("the FLA cannot be written: its folder cannot be written (Permission denied)"),
            std::string::npos)
      << out;
}

// The document set is committed whole or not at all: a conversion that
// fails leaves the movies the earlier script imports, a script that cannot
// be put in place leaves the earlier set, and a script that cannot be
// written at all fails the conversion.
TEST(Program, TheDocumentSetIsCommittedWhole) {
  TempDir dir;
  const std::string config = dir.file("config");
  auto shape = [](uint8_t red) {
    return SwfBytes().u16(1).rect(0, 200, 0, 200).u8(1).u8(0).u8(red).u8(0).u8(0).u8(0).u8(0x10).u8(0).data();
  };
  SwfWriter a(8);
  a.tag(2, shape(0xFF)).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame().end();
  // The same shape in another colour, then a sprite whose tag runs past the
  // movie's end after a video stream: the conversion fails late.
  SwfWriter b(8);
  b.tag(2, shape(0x80)).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame();
  b.tag(60, SwfBytes().u16(7).u16(2).u16(32).u16(24).u8(0).u8(2).data()).showFrame();
  b.tag(39, SwfBytes().u16(3).u16(1).u16(61 << 6 | 0x3F).u32(1000).u16(7).u16(0).data());
  fs::create_directories(dir.file("in"));
  WriteFileBytes(dir.file("in/a.swf"), a.end().build());
  WriteFileBytes(dir.file("in/b.swf"), b.build());
  const std::vector<std::string> import = {"-q", "--set", "Shape / Morph Shape: Convert Using JSFL Import=on"};
  auto convert = [&](const std::string& input, const std::string& output) {
    std::vector<std::string> args = import;
    args.insert(args.end(), {dir.file("in/" + input), "-o", dir.file("out/" + output)});
    return RunProgram(args, config);
  };
  fs::create_directories(dir.file("out"));
  ProgramRun run = convert("a.swf", "doc.fla");
  ASSERT_EQ(run.status, 0) << run.output;
  const auto before = FolderSnapshot(dir.file("out"));
  ASSERT_TRUE(before.count("Shapes_doc.fla/Symbol 1.swf")) << FilesIn(dir.file("out")).size();
  run = convert("b.swf", "doc.fla");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("result 22"), std::string::npos) << run.output;
  EXPECT_EQ(FolderSnapshot(dir.file("out")), before);

  // The script's final name is taken by a folder: the FLA stays the old one.
  WriteFileBytes(dir.file("out/taken.fla"), {'o', 'l', 'd'});
  fs::create_directories(dir.file("out/taken.fla.jsfl/inside"));
  const auto taken = FolderSnapshot(dir.file("out"));
  run = convert("a.swf", "taken.fla");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("result 44"), std::string::npos) << run.output;
  // Everything is as it was, with no temporary file left.
  EXPECT_NE(run.output.find("taken.fla.jsfl could not be put in place (Is a directory)"), std::string::npos)
      << run.output;
  EXPECT_EQ(FolderSnapshot(dir.file("out")), taken);

  // A script whose temporary name is too long for the folder: a document
  // that needs nothing in its script still fails, before anything is
  // written, and the old pair stays.
  // (A temporary's name adds 19 characters, ".tmp-", seven digits of the
  // process id and "-XXXXXX", to the 255 a name may have.)
  const std::string longName = std::string(236 - 4, 'n') + ".fla";
  WriteFileBytes(dir.file("out/" + longName), {'o', 'l', 'd'});
  WriteFileBytes(dir.file("out/" + longName + ".jsfl"), {'/', '/'});
  const auto pair = FolderSnapshot(dir.file("out"));
  WriteFileBytes(dir.file("in/sample.swf"), SampleMovie());
  run = RunProgram({"-q", dir.file("in/sample.swf"), "-o", dir.file("out/" + longName)}, config);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("the script's temporary file"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("(result 51)"), std::string::npos) << run.output;
  EXPECT_EQ(FolderSnapshot(dir.file("out")), pair);
}

TEST(Program, FailedConversionLeavesOlderDocumentUntouched) {
  TempDir dir;
  const std::vector<uint8_t> oldFla = {'o', 'l', 'd'}, oldScript = {'/', '/'};
  WriteFileBytes(dir.file("movie_.fla"), oldFla);
  WriteFileBytes(dir.file("movie_.fla.jsfl"), oldScript);
  // A movie whose header length promises more than the file holds.
  auto movie = SwfWriter(8).tag(9, {1, 2, 3}).end().build();
  movie[4] = movie[5] = 0xFF;
  WriteFileBytes(dir.file("movie.swf"), movie);
  ProgramRun run = RunProgram({"-q", dir.file("movie.swf")}, dir.file("config"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("result 138"), std::string::npos) << run.output;
  EXPECT_EQ(ReadFileBytes(dir.file("movie_.fla")), oldFla);
  EXPECT_EQ(ReadFileBytes(dir.file("movie_.fla.jsfl")), oldScript);
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"movie.swf", "movie_.fla", "movie_.fla.jsfl"}));
}

TEST(Program, CtrlCEndsWithTheFramesDoneWritten) {
  // A movie long enough to be interrupted: many frames of tags no handler takes.
  SwfWriter frame;
  for (int i = 0; i < 200; ++i) frame.tag(1000);
  frame.showFrame();
  std::vector<uint8_t> movie = SwfWriter(8).frameCount(30000).build();
  for (int f = 0; f < 30000; ++f) movie.insert(movie.end(), frame.tags().begin(), frame.tags().end());
  movie.insert(movie.end(), {0, 0});  // the end tag
  for (int i = 0; i < 4; ++i) movie[4 + size_t(i)] = uint8_t(movie.size() >> (8 * i));
  TempDir dir;
  WriteFileBytes(dir.file("long.swf"), movie);
  const ProgramRun run = RunProgram({"-q", dir.file("long.swf")}, dir.file("config"),
                                    "timeout --foreground --preserve-status -s INT 0.4 env ");
  if (run.status == 0) GTEST_SKIP() << "the conversion ended before the interrupt";
  EXPECT_EQ(run.status, 130) << run.output;
  ExpectReadable(dir.file("long_.fla"));
  // Said even when quiet.
  EXPECT_EQ(run.output, "tovrani: " + dir.file("long.swf") + ": cancelled; the frames read so far were written to " +
                            dir.file("long_.fla") + "\ntovrani: cancelled\n");
}

TEST(Program, ConvertsEveryCorpusMovie) {
  const auto corpus = CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  TempDir dir;
  int movies = 0, converted = 0;
  for (const CorpusMovie& movie : corpus) {
    if (!ProbesAsSwf(movie.path.string())) continue;
    SCOPED_TRACE(movie.name);
    const std::string fla = dir.file(std::to_string(movies++) + ".fla");
    // A time limit per movie: a hang is a failure, not a stuck test run.
    const ProgramRun run = RunProgram({"-q", movie.path.string(), "-o", fla}, dir.file("config"),
                                      "timeout -s KILL 300 env ");
    ASSERT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status << "\n" << run.output;
    if (run.status == 0) {
      ++converted;
      EXPECT_TRUE(DocumentShowsMovie(ReadFileBytes(movie.path.string()), ExpectReadable(fla)));
    } else {
      EXPECT_NE(run.output.find("(result "), std::string::npos) << run.output;
      EXPECT_FALSE(fs::exists(fla));
    }
  }
  EXPECT_GT(converted, 0);
}

}  // namespace
}  // namespace tovrani::test
