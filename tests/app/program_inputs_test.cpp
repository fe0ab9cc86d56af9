// The program's inputs. Every run leaves each document it reports and names
// each movie it does not convert with the cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "app/program_runner.h"
#include "convert/text_test_support.h"
#include "support/deep_folders.h"
#include "support/document_frames.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

using Documents = std::multiset<std::string>;

// The documents a run reports ("movie -> document.fla"), each read by the
// independent readers.
Documents ReportedDocuments(const std::string& output) {
  Documents documents;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);)
    if (const size_t arrow = line.find(" -> "); arrow != std::string::npos && line.ends_with(".fla"))
      documents.insert(line.substr(arrow + 4));
  for (const std::string& fla : documents) ExpectReadableDocument(fla);
  return documents;
}

// The format level a document was written for: 1 for SWF 7, 4 for SWF 8.
int PageHeadLevel(const std::string& fla) { return ExpectReadableDocument(fla).at("Page 1").at(15); }

void ExpectLine(const ProgramRun& run, const std::string& line) {
  EXPECT_NE(run.output.find("tovrani: " + line + "\n"), std::string::npos) << line << "\n" << run.output;
}

std::string Taken(const std::string& source, const std::string& fla, const std::string& first) {
  return source + ": its document " + fla + " is also that of " + first + "; not converted (result 50)";
}

TEST(ProgramInputs, ADocumentIsWrittenForOneMovieOfARun) {
  TempDir dir;
  const std::string config = dir.file("config");
  fs::create_directories(dir.file("case"));
  fs::create_directories(dir.file("b"));
  // Bytewise, x.SWF comes first: it is the one converted.
  WriteFileBytes(dir.file("case/x.SWF"), SampleMovie(7));
  WriteFileBytes(dir.file("case/x.Swf"), SampleMovie(8));
  WriteFileBytes(dir.file("case/x.swf"), SampleMovie(8, true));
  WriteFileBytes(dir.file("b/x.swf"), SampleMovie(8));
  ProgramRun run = RunProgram({dir.file("case")}, config);
  EXPECT_EQ(run.status, 1);
  const std::string fla = dir.file("case/x_.fla");
  EXPECT_EQ(ReportedDocuments(run.output), Documents{fla});
  ExpectLine(run, Taken(dir.file("case/x.Swf"), fla, dir.file("case/x.SWF")));
  ExpectLine(run, Taken(dir.file("case/x.swf"), fla, dir.file("case/x.SWF")));
  EXPECT_EQ(PageHeadLevel(fla), 1);
  // The automatic road, where an input outside the base keeps its bare name.
  run = RunProgram({"--new-folder", dir.file("out"), "--base", dir.file("case"), dir.file("case"), dir.file("b/x.swf")},
                   config);
  EXPECT_EQ(run.status, 1);
  const std::string mirrored = dir.file("out/Fla_Recovery_Results/x.fla");
  EXPECT_EQ(ReportedDocuments(run.output), Documents{mirrored});
  ExpectLine(run, Taken(dir.file("case/x.swf"), mirrored, dir.file("case/x.SWF")));
  ExpectLine(run, Taken(dir.file("b/x.swf"), mirrored, dir.file("case/x.SWF")));
  EXPECT_EQ(PageHeadLevel(mirrored), 1);

  // One movie given twice: by its path, in its folder, through a linked
  // folder (its documents then are one file). It is converted once.
  fs::create_directory_symlink(dir.file("b"), dir.file("b2"));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{dir.file("b/x.swf"), dir.file("b/x.swf")},
        std::vector<std::string>{dir.file("b"), dir.file("b/../b/x.swf")},
        std::vector<std::string>{dir.file("b/x.swf"), dir.file("b2/x.swf")},
        std::vector<std::string>{"--new-folder", dir.file("twice"), dir.file("b/x.swf"), dir.file("b")}}) {
    run = RunProgram(args, config);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReportedDocuments(run.output).size(), 1u) << run.output;
  }
}

// What a folder search or a name passes over is named with its cause; the
// movies found still convert. Where the tests run as root, what root reads
// anyway is refused through the search's open function in its own test.
TEST(ProgramInputs, WhatIsPassedOverIsNamedWithItsCause) {
  TempDir dir;
  const std::string in = dir.file("in");
  fs::create_directories(in + "/sub");
  for (const char* name : {"ok.swf", "sub/b.swf"}) WriteFileBytes(in + "/" + name, SampleMovie());
  WriteFileBytes(in + "/notes.txt", {'h', 'i'});
  std::vector<uint8_t> lzma = SampleMovie();
  lzma[0] = 'Z';
  WriteFileBytes(in + "/z.swf", lzma);
  fs::create_symlink(in + "/gone.swf", in + "/broken.swf");
  ASSERT_EQ(::mkfifo(dir.file("pipe.swf").c_str(), 0600), 0);
  fs::create_symlink(dir.file("loop2"), dir.file("loop1"));
  fs::create_symlink(dir.file("loop1"), dir.file("loop2"));
  const bool root = ::geteuid() == 0;
  if (!root) {
    WriteFileBytes(in + "/unread.swf", SampleMovie());
    fs::create_directories(in + "/closed");
    for (const char* name : {"/unread.swf", "/closed"}) fs::permissions(in + name, fs::perms::none);
  }
  // A FIFO without a writer answers at once: it is never opened.
  const ProgramRun run = RunProgram({in, dir.file("pipe.swf"), "/dev/null", dir.file("loop1/x.swf"),
                                     in + "/unread.swf"},
                                    dir.file("config"), "timeout -s KILL 60 env ");
  if (!root) fs::permissions(in + "/closed", fs::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReportedDocuments(run.output), (Documents{in + "/ok_.fla", in + "/sub/b_.fla"}));
  ExpectLine(run, in + "/broken.swf: the link cannot be followed (No such file or directory)");
  ExpectLine(run, in + "/z.swf: LZMA-compressed movies (signature \"ZWS\") are not supported; passed over");
  ExpectLine(run, dir.file("pipe.swf") + ": not a plain file but a FIFO");
  ExpectLine(run, "/dev/null: not a plain file but a character device");
  ExpectLine(run, dir.file("loop1/x.swf") + ": cannot be reached (Too many levels of symbolic links)");
  if (!root) {
    ExpectLine(run, in + "/unread.swf: cannot be opened (Permission denied)");
    ExpectLine(run, in + "/closed: the folder cannot be read (Permission denied)");
    ExpectLine(run, in + "/unread.swf: cannot be read (Permission denied)");
  } else {
    ExpectLine(run, in + "/unread.swf: no such file or folder");
  }
  EXPECT_EQ(run.output.find("could not be copied"), std::string::npos) << run.output;
}

// Every folder and file below `dir`, by its path there, with the sha256 of
// each plain file's bytes, sorted. Python walks by folder descriptors, so
// no depth stops it.
std::string TreeDigest(const std::string& dir) {
  static const char kScript[] = R"(
import hashlib, os, stat, sys
sys.setrecursionlimit(100000)
top = sys.argv[1]
out = []
for root, dirs, files, fd in os.fwalk(top):
    rel = root[len(top):]
    out += ['folder ' + rel + '/' + d for d in dirs]
    for f in files:
        if stat.S_ISREG(os.stat(f, dir_fd=fd, follow_symlinks=False).st_mode):
            with open(os.open(f, os.O_RDONLY, dir_fd=fd), 'rb') as data:
                out.append(hashlib.sha256(data.read()).hexdigest() + ' ' + rel + '/' + f)
        else:
            out.append('other ' + rel + '/' + f)
print('\n'.join(sorted(out)))
)";
  std::string digest;
  EXPECT_EQ(RunCommand("/usr/bin/python3 -c " + ShellQuote(kScript) + ' ' + ShellQuote(dir), digest), 0) << digest;
  return digest;
}

// A shape and a static text, so that each import option has its movies.
std::vector<uint8_t> ShapeAndTextMovie() {
  SwfWriter w(8);
  w.tag(2, SquareShape(1, 0, 400, 0xFF0000)).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data());
  w.tag(48, DefineFont2(2, 0, "Arial", {'a', 'b'}));
  SwfBytes text;
  text.u16(3).rect(0, 2000, 0, 400).matrix(0, 0).u8(8).u8(12).u8(0x8B).u16(2).u16(20).u16(300).u16(240).u8(2);
  w.tag(11, text.ubits(0, 8).sbits(200, 12).ubits(1, 8).sbits(200, 12).align().u8(0).data());
  w.tag(26, SwfBytes().u8(0x06).u16(2).u16(3).matrix(0, 0).data());
  return w.showFrame().end().build();
}

// The program's own import movies are no inputs: a second run over the same
// folder converts the one movie again and leaves the tree as the first run
// left it, with either import option, both or none; moved, it still does.
TEST(ProgramInputs, ARerunLeavesTheTreeAsItWas) {
  const std::string shapes = "Shape / Morph Shape: Convert Using JSFL Import=on";
  const std::string texts = "Static Text: Convert Using JSFL Import=on";
  using Options = std::vector<std::string>;
  for (const Options& options : {Options{}, Options{"--set", shapes}, Options{"--set", texts},
                                 Options{"--set", shapes, "--set", texts}}) {
    TempDir dir;
    const std::string in = dir.file("in");
    fs::create_directories(in);
    WriteFileBytes(in + "/x.swf", ShapeAndTextMovie());
    Options args = options;
    args.push_back(in);
    ProgramRun run = RunProgram(args, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string first = TreeDigest(in);
    EXPECT_EQ(first.find("/Shapes_x_.fla/Symbol 1.swf") != std::string::npos,
              std::find(options.begin(), options.end(), shapes) != options.end())
        << first;
    EXPECT_EQ(first.find("/StaticText_x_.fla/Symbol 2.swf") != std::string::npos,
              std::find(options.begin(), options.end(), texts) != options.end())
        << first;
    run = RunProgram(args, dir.file("config"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReportedDocuments(run.output), Documents{in + "/x_.fla"});
    EXPECT_EQ(TreeDigest(in), first);
    if (options.size() < 4) continue;
    // The script's paths change with the folder; what the tree holds does not.
    const auto names = [](const std::string& digest) {
      std::set<std::string> paths;
      std::istringstream lines(digest);
      for (std::string line; std::getline(lines, line);) paths.insert(line.substr(line.find(' ') + 1));
      return paths;
    };
    fs::rename(in, dir.file("moved"));
    args.back() = dir.file("moved");
    run = RunProgram(args, dir.file("config"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReportedDocuments(run.output), Documents{dir.file("moved/x_.fla")});
    EXPECT_EQ(names(TreeDigest(dir.file("moved"))), names(first));
  }
}

// A folder the search cannot look into and a movie deeper than a path can
// reach are named, exit 1; the walk holds few descriptors at any depth, and
// the movies it can reach still convert.
TEST(ProgramInputs, WhatTheSearchCannotReachIsNamed) {
  TempDir dir;
  const std::string in = dir.file("in");
  fs::create_directories(in);
  WriteFileBytes(in + "/top.swf", SampleMovie());
  const DeepFolders deep(in, 1000, "d1234567");
  const std::string far = deep.Write("deep.swf", SampleMovie());
  ASSERT_GT(far.size(), 9000u);
  // Permission bits do not stop root: its search is tested through the
  // search's own functions.
  const bool root = ::geteuid() == 0;
  if (!root) {
    fs::create_directories(in + "/noexec/sub");
    WriteFileBytes(in + "/noexec/sub/d.swf", SampleMovie());
    fs::permissions(in + "/noexec", fs::perms::owner_read | fs::perms::group_read);
  }
  const std::string before = TreeDigest(in);
  const ProgramRun run = RunProgram({in}, dir.file("config"), "ulimit -n 64; ");
  if (!root) fs::permissions(in + "/noexec", fs::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReportedDocuments(run.output), Documents{in + "/top_.fla"});
  // Not printed on failure: the deep path runs to pages.
  EXPECT_NE(run.output.find("tovrani: " + far + ": its path is longer than the 4095 bytes the system takes; "
                            "passed over\n"),
            std::string::npos);
  if (!root) ExpectLine(run, in + "/noexec: the folder's entries cannot be looked at (Permission denied)");
  std::string after = TreeDigest(in);
  for (const char* made : {" /top_.fla\n", " /top_.fla.jsfl\n"}) {
    const size_t at = after.find(made);
    ASSERT_NE(at, std::string::npos) << made;
    after.erase(after.rfind('\n', at) + 1, at + std::strlen(made) - after.rfind('\n', at) - 1);
  }
  EXPECT_TRUE(after == before);
}

TEST(ProgramInputs, ShapeIdListsAreReadWholeOrRefused) {
  TempDir dir;
  WriteFileBytes(dir.file("m.swf"), SampleMovie());
  ProgramRun run = RunProgram({"--shape-ids", "1-", dir.file("m.swf")}, dir.file("config"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("tovrani: --shape-ids takes ids from 1 to 65535"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(dir.file("m_.fla")));
  run = RunProgram({"--shape-ids", " 1 , 5 - 3,65535", dir.file("m.swf")}, dir.file("config"));
  EXPECT_EQ(ReportedDocuments(run.output), Documents{dir.file("m_.fla")});
}

}  // namespace
}  // namespace tovrani::test
