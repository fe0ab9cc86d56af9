#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "convert/converter_context.h"
#include "platform/id_range_list.h"

namespace tovrani::test {
namespace {

using Args = std::vector<std::string>;

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
  const std::pair<std::string, std::vector<std::pair<uint16_t, uint16_t>>> good[] = {
      {"12", {{12, 12}}},
      {" 3 , 5 - 7 ", {{3, 3}, {5, 7}}},
      {"65535,1-65535", {{65535, 65535}, {1, 65535}}},
      {"25-20,00042", {{20, 25}, {42, 42}}},
      {"12345", {{12345, 12345}}}};
  for (const auto& [text, ranges] : good) {
    CommandLine cl;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--shape-ids", text, "a.swf"}, cl, error)) << text << ": " << error;
    IdRangeList list;
    AddIdRangesFromText(cl.shapeIds, list);
    std::vector<std::pair<uint16_t, uint16_t>> read;
    for (int32_t k = 0; k < list.count(); ++k) read.emplace_back(list.low(k), list.high(k));
    EXPECT_EQ(read, ranges) << text;
  }
  for (const char* text : {"", " ", "abc", ",,,", "-", "1-", "-5", "1,", ",1", "1,,2", "0", "3-0", "65536",
                           "123456", "1-100000", "1-2-3", "1 2", "1;2", "12a", "+3", "1\t,2"}) {
    CommandLine cl;
    std::string error;
    EXPECT_FALSE(ParseCommandLine({"--shape-ids", text, "a.swf"}, cl, error)) << text;
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

}  // namespace
}  // namespace tovrani::test
