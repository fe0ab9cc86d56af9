// The program's inputs: one document per movie of a run, what a folder
// search passes over, inputs that cannot be read and shape-id lists. Every
// run leaves each document it reports, and names each movie it does not
// convert with the cause.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "app/program_runner.h"
#include "support/document_frames.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

// The documents a run reports ("movie -> document.fla"), each checked by the
// independent readers.
std::set<std::string> ReportedDocuments(const std::string& output) {
  std::set<std::string> documents;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const size_t arrow = line.find(" -> ");
    if (arrow != std::string::npos && line.ends_with(".fla")) documents.insert(line.substr(arrow + 4));
  }
  for (const std::string& fla : documents) ExpectReadableDocument(fla);
  return documents;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The format level a document was written for: 1 for SWF 7, 4 for SWF 8.
int PageHeadLevel(const std::string& fla) { return ExpectReadableDocument(fla).at("Page 1").at(15); }

TEST(ProgramInputs, ADocumentIsWrittenForOneMovieOfARun) {
  TempDir dir;
  const std::string config = dir.file("config");
  fs::create_directories(dir.file("case"));
  // Bytewise, x.SWF comes first: it is the one converted.
  WriteFileBytes(dir.file("case/x.SWF"), SampleMovie(7));
  WriteFileBytes(dir.file("case/x.Swf"), SampleMovie(8));
  WriteFileBytes(dir.file("case/x.swf"), SampleMovie(8, true));
  auto expectTaken = [](const ProgramRun& run, const std::string& source, const std::string& fla,
                        const std::string& first) {
    EXPECT_NE(run.output.find("tovrani: " + source + ": its document " + fla + " is also that of " + first +
                              "; not converted (result 50)"),
              std::string::npos)
        << run.output;
  };
  ProgramRun run = RunProgram({dir.file("case")}, config);
  EXPECT_EQ(run.status, 1) << run.output;
  const std::string fla = dir.file("case/x_.fla");
  EXPECT_EQ(ReportedDocuments(run.output), std::set<std::string>{fla});
  expectTaken(run, dir.file("case/x.Swf"), fla, dir.file("case/x.SWF"));
  expectTaken(run, dir.file("case/x.swf"), fla, dir.file("case/x.SWF"));
  EXPECT_EQ(PageHeadLevel(fla), 1);

  // The automatic road: the three give one name there too.
  run = RunProgram({"--new-folder", dir.file("dest"), dir.file("case")}, config);
  EXPECT_EQ(run.status, 1) << run.output;
  const std::string mirrored = dir.file("dest/Fla_Recovery_Results/x.fla");
  EXPECT_EQ(ReportedDocuments(run.output), std::set<std::string>{mirrored});
  expectTaken(run, dir.file("case/x.swf"), mirrored, dir.file("case/x.SWF"));
  EXPECT_EQ(PageHeadLevel(mirrored), 1);

  // An input outside the base keeps its bare name, which the first took.
  fs::create_directories(dir.file("a"));
  fs::create_directories(dir.file("b"));
  WriteFileBytes(dir.file("a/x.swf"), SampleMovie(8));
  WriteFileBytes(dir.file("b/x.swf"), SampleMovie(7));
  run = RunProgram({"--new-folder", dir.file("out"), "--base", dir.file("a"), dir.file("a/x.swf"), dir.file("b/x.swf")},
                   config);
  EXPECT_EQ(run.status, 1) << run.output;
  const std::string outside = dir.file("out/Fla_Recovery_Results/x.fla");
  EXPECT_EQ(ReportedDocuments(run.output), std::set<std::string>{outside});
  expectTaken(run, dir.file("b/x.swf"), outside, dir.file("a/x.swf"));
  EXPECT_EQ(PageHeadLevel(outside), 4);

  // One movie through a linked folder: its documents are one file, and the
  // movie is converted once.
  fs::create_directory_symlink(dir.file("b"), dir.file("b2"));
  WriteFileBytes(dir.file("b/y.swf"), SampleMovie(8));
  run = RunProgram({dir.file("b/y.swf"), dir.file("b2/y.swf")}, config);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReportedDocuments(run.output), std::set<std::string>{dir.file("b/y_.fla")});
  EXPECT_EQ(Count(run.output, "_.fla\n"), 1u) << run.output;

  // The same movie given twice, by its path and in its folder: converted once.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{dir.file("a/x.swf"), dir.file("a/x.swf")},
        std::vector<std::string>{dir.file("a"), dir.file("a/../a/x.swf")},
        std::vector<std::string>{"--new-folder", dir.file("twice"), dir.file("a/x.swf"), dir.file("a")}}) {
    run = RunProgram(args, config);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReportedDocuments(run.output).size(), 1u) << run.output;
    EXPECT_EQ(Count(run.output, ".fla\n"), 1u) << run.output;
  }
}

TEST(ProgramInputs, AFolderSearchNamesWhatItPassesOver) {
  TempDir dir;
  const std::string in = dir.file("in");
  fs::create_directories(in + "/sub");
  WriteFileBytes(in + "/ok.swf", SampleMovie());
  WriteFileBytes(in + "/sub/b.swf", SampleMovie(7));
  WriteFileBytes(in + "/notes.txt", {'h', 'i'});
  std::vector<uint8_t> lzma = SampleMovie();
  lzma[0] = 'Z';
  WriteFileBytes(in + "/z.swf", lzma);
  fs::create_symlink(in + "/gone.swf", in + "/broken.swf");
  const bool root = ::geteuid() == 0;
  if (!root) {
    // Root reads these anyway: the search's own test refuses them through
    // its open function.
    WriteFileBytes(in + "/unread.swf", SampleMovie());
    fs::permissions(in + "/unread.swf", fs::perms::none);
    fs::create_directories(in + "/closed");
    WriteFileBytes(in + "/closed/c.swf", SampleMovie());
    fs::permissions(in + "/closed", fs::perms::none);
  }
  const ProgramRun run = RunProgram({in}, dir.file("config"));
  if (!root) fs::permissions(in + "/closed", fs::perms::owner_all);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_EQ(ReportedDocuments(run.output), (std::set<std::string>{in + "/ok_.fla", in + "/sub/b_.fla"}));
  EXPECT_NE(run.output.find("tovrani: " + in + "/broken.swf: the link cannot be followed (No such file or directory)"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("tovrani: " + in + "/z.swf: LZMA-compressed movies (signature \"ZWS\") are not supported"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("notes.txt"), std::string::npos) << run.output;
  if (!root) {
    EXPECT_NE(run.output.find(in + "/unread.swf: cannot be opened (Permission denied)"), std::string::npos);
    EXPECT_NE(run.output.find(in + "/closed: the folder cannot be read (Permission denied)"), std::string::npos);
  }
}

TEST(ProgramInputs, InputsThatCannotBeReadAreNamedWithTheirCause) {
  TempDir dir;
  const std::string config = dir.file("config");
  WriteFileBytes(dir.file("good.swf"), SampleMovie());
  ASSERT_EQ(::mkfifo(dir.file("pipe.swf").c_str(), 0600), 0);
  fs::create_symlink(dir.file("loop2"), dir.file("loop1"));
  fs::create_symlink(dir.file("loop1"), dir.file("loop2"));
  // A FIFO without a writer answers at once: it is never opened.
  std::vector<std::string> args = {dir.file("pipe.swf"), "/dev/null", dir.file("loop1/x.swf"), dir.file("good.swf")};
  const bool root = ::geteuid() == 0;
  if (!root) {
    WriteFileBytes(dir.file("unread.swf"), SampleMovie());
    fs::permissions(dir.file("unread.swf"), fs::perms::none);
    args.push_back(dir.file("unread.swf"));
  }
  const ProgramRun run = RunProgram(args, config, "timeout -s KILL 60 env ");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_EQ(ReportedDocuments(run.output), std::set<std::string>{dir.file("good_.fla")});
  for (const std::string& line :
       {dir.file("pipe.swf") + ": not a plain file but a FIFO", std::string("/dev/null: not a plain file but a character device"),
        dir.file("loop1/x.swf") + ": cannot be reached (Too many levels of symbolic links)"})
    EXPECT_NE(run.output.find("tovrani: " + line + "\n"), std::string::npos) << line << "\n" << run.output;
  if (!root) {
    EXPECT_NE(run.output.find(dir.file("unread.swf") + ": cannot be read (Permission denied)"), std::string::npos);
  }
  EXPECT_EQ(run.output.find("could not be copied"), std::string::npos) << run.output;
}

TEST(ProgramInputs, ShapeIdListsAreReadWholeOrRefused) {
  TempDir dir;
  const std::string config = dir.file("config");
  WriteFileBytes(dir.file("m.swf"), SampleMovie());
  for (const char* list : {"abc", ",,,", "-", "1-", "123456", "1-100000", ""}) {
    const ProgramRun run = RunProgram({"--shape-ids", list, dir.file("m.swf")}, config);
    EXPECT_EQ(run.status, 2) << list;
    EXPECT_NE(run.output.find("tovrani: --shape-ids takes ids from 1 to 65535"), std::string::npos) << run.output;
  }
  EXPECT_FALSE(fs::exists(dir.file("m_.fla")));
  const ProgramRun run = RunProgram({"--shape-ids", " 1 , 5 - 3,65535", dir.file("m.swf")}, config);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReportedDocuments(run.output), std::set<std::string>{dir.file("m_.fla")});
}

}  // namespace
}  // namespace tovrani::test
