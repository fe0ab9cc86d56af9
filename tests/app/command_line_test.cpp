#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/deep_folders.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"
#include "platform/id_range_list.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

const std::vector<uint8_t> kFws = {'F', 'W', 'S', 8};

TEST(CommandLine, ReadsBothFormsAndRefusesWhatItCannotDo) {
  CommandLine cl;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({"/o,/a/x.swf,/b/y.swf,", "-q"}, cl, error)) << error;
  EXPECT_EQ(cl.inputs, (Args{"/a/x.swf", "/b/y.swf"}));
  EXPECT_TRUE(cl.openAfter && cl.quiet);
  cl = {};
  // In the usual form a comma is part of a name.
  ASSERT_TRUE(ParseCommandLine({"--set", "Grid=on", "x,y.swf", "--set", "Use JSFL=OFF", "--approximation",
                                "0", "--shape-ids", "3,5-7", "--", "-odd.swf"},
                               cl, error))
      << error;
  EXPECT_EQ(cl.inputs, (Args{"x,y.swf", "-odd.swf"}));
  EXPECT_EQ(cl.settings, (std::vector<std::pair<std::string, bool>>{{"Grid", true}, {"Use JSFL", false}}));
  EXPECT_EQ(cl.approximation, 0);
  EXPECT_EQ(cl.shapeIds, "3,5-7");
  for (const Args& args : {Args{}, Args{"-o"}, Args{"a.swf", "b.swf", "-o", "x.fla"},
                           Args{"--set", "Grid", "a.swf"}, Args{"--set", "Grid=maybe", "a.swf"},
                           Args{"--approximation", "-1", "a.swf"}, Args{"--approximation", "101", "a.swf"},
                           Args{"--frobnicate", "a.swf"}}) {
    error.clear();
    EXPECT_FALSE(ParseCommandLine(args, cl = {}, error) || error.empty()) << args.size();
  }
}

// A list is taken whole, as the parser behind it reads it, or refused.
TEST(CommandLine, ShapeIdListsAreTakenWholeOrRefused) {
  CommandLine cl;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({"--shape-ids", " 3 , 25 - 20,65535,00042,1-65535", "a.swf"}, cl, error)) << error;
  IdRangeList list;
  AddIdRangesFromText(cl.shapeIds, list);
  std::vector<std::pair<uint16_t, uint16_t>> read;
  for (int32_t k = 0; k < list.count(); ++k) read.emplace_back(list.low(k), list.high(k));
  EXPECT_EQ(read, (std::vector<std::pair<uint16_t, uint16_t>>{{3, 3}, {20, 25}, {65535, 65535}, {42, 42}, {1, 65535}}));
  for (const char* text : {"", " ", "abc", ",,,", "-", "1-", "-5", "1,", "1,,2", "0", "3-0", "65536", "123456",
                           "1-100000", "1-2-3", "1 2", "1;2", "12a", "+3", "1\t,2"}) {
    error.clear();
    EXPECT_FALSE(ParseCommandLine({"--shape-ids", text, "a.swf"}, cl = {}, error)) << text;
    EXPECT_NE(error.find("--shape-ids"), std::string::npos) << text;
  }
}

TEST(CommandLine, SetsOptionsByTheirTexts) {
  OptionStates o;
  std::string error;
  EXPECT_TRUE(SetOptionByName(o, "snap to pixels", true, error));
  EXPECT_EQ(o.snapToPixels, 1);
  // The text of two groups needs its group; the item text alone is refused.
  EXPECT_FALSE(SetOptionByName(o, "Convert Using JSFL Import", true, error));
  EXPECT_FALSE(SetOptionByName(o, "Nonsense", true, error));
  EXPECT_TRUE(SetOptionByName(o, "Shape / Morph Shape: Convert Using JSFL Import", true, error));
  EXPECT_TRUE(o.shapeJsflImport == 1 && o.textJsflImport == 0);
  // The static-text group keeps one choice.
  EXPECT_TRUE(SetOptionByName(o, "Static Text: Convert Using JSFL Import", true, error));
  EXPECT_TRUE(SetOptionByName(o, "Convert All To Textfields", true, error));
  EXPECT_TRUE(o.textJsflImport == 0 && o.textToTextfields == 1);
  EXPECT_TRUE(SetOptionByName(o, "Convert All To Shapes", true, error));
  EXPECT_EQ(o.textToTextfields, 0);
}

TEST(CommandLine, FoldersAreSearchedForMovies) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "in/deep");
  // Folders give what probes as a movie, whatever its name; files given by name stay.
  for (const auto& [name, bytes] : {std::pair<std::string, std::vector<uint8_t>>{"in/b.swf", {'C', 'W', 'S', 8}},
                                    {"in/deep/a.bin", {'F', 'W', 'S', 5}}, {"in/deep/z.swf", {'Z', 'W', 'S'}},
                                    {"in/short", {'F', 'W'}}})
    WriteFileBytes(dir.file(name), bytes);
  std::vector<std::string> files, problems;
  // An LZMA movie is named as passed over.
  EXPECT_FALSE(CollectInputs({dir.file("in"), dir.file("in/short")}, files, problems));
  EXPECT_EQ(files, (Args{dir.file("in/b.swf"), dir.file("in/deep/a.bin"), dir.file("in/short")}));
  EXPECT_EQ(problems, (Args{dir.file("in/deep/z.swf") +
                            ": LZMA-compressed movies (signature \"ZWS\") are not supported; passed over"}));
  EXPECT_FALSE(CollectInputs({dir.file("none")}, files, problems));
  EXPECT_EQ(DeepestCommonFolder({"/a/b/c/x.swf", "/a/b/y.swf", "/a/b/d/z.swf"}), "/a/b");
  EXPECT_EQ(DeepestCommonFolder({"/a/x.swf", "/ab/y.swf"}), "/");
}

// open(2), failing with `error` for the paths whose names are listed.
OpenFunction Refusing(const std::map<std::string, int>& refused) {
  return [refused](int dirFd, const std::string& path, int flags) {
    if (auto it = refused.find(fs::path(path).filename().string()); it != refused.end()) {
      errno = it->second;
      return -1;
    }
    return ::openat(dirFd, path.c_str(), flags);
  };
}

// The walk goes on past what it names (permission bits do not stop root, so
// what it may not open is refused by the open function it is given); a folder given by name is followed
// through its link, one found inside is not.
TEST(InputSearch, NamesWhatItPassesOverAndGoesOn) {
  TempDir dir;
  const std::string in = dir.file("in");
  for (const char* name : {"in/ok.swf", "in/unread.swf", "in/sub/b.swf", "in/deep/er/c.swf", "elsewhere/d.swf"}) {
    fs::create_directories(fs::path(dir.file(name)).parent_path());
    WriteFileBytes(dir.file(name), kFws);
  }
  WriteFileBytes(in + "/Text.SWF", {'h', 'i', '!', '!'});
  WriteFileBytes(in + "/notes.txt", {'h', 'i'});  // no movie, not named as one: silent
  WriteFileBytes(in + "/locked.bin", kFws);      // cannot be opened, not named as one: silent
  WriteFileBytes(in + "/looping.swf", kFws);
  fs::create_symlink(dir.file("elsewhere"), in + "/link");
  fs::create_symlink(in + "/ok.swf", in + "/alias.bin");  // a link to a movie is one
  fs::create_directory_symlink(dir.file("elsewhere"), dir.file("open"));
  ASSERT_EQ(::mkfifo((in + "/pipe.swf").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((in + "/pipe").c_str(), 0600), 0);
  Args files, problems;
  EXPECT_FALSE(CollectInputs({in, in + "/unread.swf", dir.file("open"), in + "/sub"}, files, problems,
                             Refusing({{"unread.swf", EACCES}, {"sub", EACCES}, {"locked.bin", EACCES},
                                       {"looping.swf", ELOOP}})));
  EXPECT_EQ(files, (Args{in + "/alias.bin", in + "/deep/er/c.swf", in + "/ok.swf", dir.file("open/d.swf")}));
  EXPECT_EQ(problems,
            (Args{in + "/Text.SWF: not a movie (no \"FWS\", \"CWS\" or \"ZWS\" signature); passed over",
                   in + "/looping.swf: cannot be opened (Too many levels of symbolic links)",
                   in + "/pipe.swf: not a plain file but a FIFO", in + "/sub: the folder cannot be read (Permission denied)",
                   in + "/unread.swf: cannot be opened (Permission denied)",
                   in + "/unread.swf: cannot be read (Permission denied)",
                   in + "/sub: the folder cannot be read (Permission denied)"}));
}

// The folder `dirFd` is open as, through /proc.
std::string FolderOf(int dirFd) {
  std::error_code ec;
  return dirFd == AT_FDCWD ? "." : fs::read_symlink("/proc/self/fd/" + std::to_string(dirFd), ec).string();
}

// fstatat(2), failing as a folder without its search bit fails for the
// entries of the folders named in `unsearchable`, and with `error` for the
// names listed in `failing`.
StatFunction Looking(const std::set<std::string>& unsearchable, const std::map<std::string, int>& failing) {
  return [=](int dirFd, const std::string& name, struct stat* st, int flags) {
    const auto it = failing.find(name);
    errno = it != failing.end() ? it->second : EACCES;
    if (it != failing.end() || unsearchable.count(fs::path(FolderOf(dirFd)).filename().string())) return -1;
    return ::fstatat(dirFd, name.c_str(), st, flags);
  };
}

// A folder that lists but cannot be searched is named once, not entry by
// entry; an entry that cannot be looked at is named where its folder lists
// it as a folder (or a name says a movie), other files stay silent.
TEST(InputSearch, NamesEveryFolderItCannotLookInto) {
  TempDir dir;
  const std::string in = dir.file("in");
  for (const char* name : {"ok.swf", "noexec/sub/d.swf", "noexec/a.swf", "noexec/notes.txt", "mixed/fine.swf",
                           "mixed/gone.swf", "mixed/gone.bin", "mixed/gone/e.swf", "locked/f.swf"}) {
    fs::create_directories(fs::path(in + "/" + name).parent_path());
    WriteFileBytes(in + "/" + name, kFws);
  }
  Args files, problems;
  EXPECT_FALSE(CollectInputs({in}, files, problems, Refusing({{"locked", EACCES}}), nullptr,
                             Looking({"noexec"}, {{"gone", EIO}, {"gone.swf", EIO}, {"gone.bin", EIO}})));
  EXPECT_EQ(files, (Args{in + "/mixed/fine.swf", in + "/ok.swf"}));
  EXPECT_EQ(problems, (Args{in + "/locked: the folder cannot be read (Permission denied)",
                            in + "/mixed/gone.swf: cannot be looked at (Input/output error)",
                            in + "/mixed/gone: cannot be looked at (Input/output error)",
                            in + "/noexec: the folder's entries cannot be looked at (Permission denied)"}));

  // A folder closed while the walk was below it and not found again: what
  // was left of it is named.
  const std::string back = dir.file("back");
  for (const char* name : {"p/a/c/m.swf", "p/b/d/n.swf"}) {
    fs::create_directories(fs::path(back + "/" + name).parent_path());
    WriteFileBytes(back + "/" + name, kFws);
  }
  files.clear();
  problems.clear();
  EXPECT_FALSE(CollectInputs({back}, files, problems, Refusing({{"..", EACCES}})));
  EXPECT_EQ(files.size(), 1u);
  EXPECT_EQ(problems, (Args{back + "/p: the rest of the folder cannot be searched (Permission denied)"}));
}

// The program's own import movies of a document's set are passed over
// silently and are no inputs; every other movie stays one, in those folders
// too, and so does each of a folder without its document.
TEST(InputSearch, PassesOverTheProgramsOwnImportMovies) {
  TempDir dir;
  const std::string in = dir.file("in");
  const std::vector<uint8_t> compound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  for (const char* name : {"Shapes_x_.fla/Symbol 1.swf", "StaticText_x_.fla/Symbol 7.swf", "Shapes_x_.fla/extra.swf",
                           "Shapes_x_.fla/Symbol 01.swf", "Shapes_x_.fla/sub/Symbol 2.swf",
                           "Shapes_t_.fla/Symbol 1.swf", "Shapes_n_.fla/Symbol 1.swf", "Shapes_l_.fla/Symbol 1.swf",
                           "n_.fla"}) {
    fs::create_directories(fs::path(in + "/" + name).parent_path());
    WriteFileBytes(in + "/" + name, kFws);
  }
  WriteFileBytes(in + "/x_.fla", compound);
  WriteFileBytes(in + "/StaticText_x_.fla/Symbol 8.swf", {'Z', 'W', 'S', 13});
  WriteFileBytes(in + "/z.swf", {'Z', 'W', 'S', 13});
  fs::create_symlink("Symbol 1.swf", in + "/Shapes_x_.fla/Symbol 3.swf");
  fs::create_symlink("x_.fla", in + "/l_.fla");
  Args files, problems, others;
  // The folder given by name is searched as one found.
  EXPECT_FALSE(CollectInputs({in, in + "/Shapes_x_.fla/"}, files, problems, nullptr, &others));
  const Args kept = {in + "/Shapes_x_.fla/Symbol 01.swf", in + "/Shapes_x_.fla/Symbol 3.swf",
                     in + "/Shapes_x_.fla/extra.swf", in + "/Shapes_x_.fla/sub/Symbol 2.swf"};
  Args expected = {in + "/Shapes_l_.fla/Symbol 1.swf", in + "/Shapes_n_.fla/Symbol 1.swf",
                   in + "/Shapes_t_.fla/Symbol 1.swf"};
  expected.insert(expected.end(), kept.begin(), kept.end());
  expected.push_back(in + "/n_.fla");
  expected.insert(expected.end(), kept.begin(), kept.end());
  EXPECT_EQ(files, expected);
  EXPECT_EQ(problems, (Args{in + "/z.swf: LZMA-compressed movies (signature \"ZWS\") are not supported; passed over"}));
  EXPECT_EQ(others, (Args{in + "/z.swf"}));
}

// A movie whose path is longer than the system takes is named and is
// another input of the run, not handed over.
TEST(InputSearch, MoviesPastThePathLimitAreNamed) {
  TempDir dir;
  const std::string in = dir.file("in");
  fs::create_directories(in);
  WriteFileBytes(in + "/top.swf", kFws);
  // Paths of 4,095 and 4,096 bytes: the longest one taken, and one past it.
  const size_t levels = (4000 - in.size()) / 9;
  const DeepFolders edge(in, int(levels), "e1234567");
  const size_t name = 4095 - (in.size() + 9 * levels) - 1;
  const std::string longest = edge.Write(std::string(name - 4, 'a') + ".swf", kFws);
  const std::string past = edge.Write(std::string(name - 3, 'b') + ".swf", kFws);
  ASSERT_EQ(longest.size(), 4095u);
  Args files, problems, others;
  EXPECT_FALSE(CollectInputs({in}, files, problems, nullptr, &others));
  // Compared whole, not printed: the paths run to pages.
  EXPECT_TRUE(files == (Args{longest, in + "/top.swf"})) << files.size();
  EXPECT_TRUE(problems == (Args{past + ": its path is longer than the 4095 bytes the system takes; passed over"}));
  EXPECT_TRUE(others == (Args{past})) << others.size();
}

}  // namespace
}  // namespace tovrani::test
