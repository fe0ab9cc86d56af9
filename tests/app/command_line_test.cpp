#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>

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

}  // namespace
}  // namespace tovrani::test
