#include "convert/convert_swf_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/program_runner.h"
#include "fla/jsfl_script.h"
#include "fla/stream_placement.h"
#include "support/document_frames.h"
#include "support/recording_shell.h"
#include "convert/converter_context.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

TEST(OutputNames, DialogRoadSuggestsAndCompletesNames) {
  EXPECT_EQ(SuggestedFlaName("/d/movie.swf"), "/d/movie_.fla");
  EXPECT_EQ(SuggestedFlaName("movie.swf"), "movie_.fla");
  // Names of four characters or fewer keep every character.
  EXPECT_EQ(SuggestedFlaName("/d/x.sw"), "/d/x.sw_.fla");
  EXPECT_EQ(SuggestedFlaName("ab"), "ab_.fla");

  EXPECT_EQ(WithFlaExtension("/d/out"), "/d/out.fla");
  EXPECT_EQ(WithFlaExtension("/d/out."), "/d/out.fla");
  EXPECT_EQ(WithFlaExtension("/d/a.fla.bak"), "/d/a.fla.bak");
  EXPECT_EQ(WithFlaExtension("/d/A.FLA"), "/d/A.FLA");
}

TEST(OutputNames, AutomaticRoadMirrorsTheSelectedFolder) {
  const std::string out = "/e/Fla_Recovery_Results/";
  EXPECT_EQ(AutomaticFlaPath("/d/swf/sub/a.swf", "/d/swf", out), out + "sub/a.fla");
  EXPECT_EQ(AutomaticFlaPath("/d/swf/sub/a.swf", "/d/swf/", out), out + "sub/a.fla");
  EXPECT_EQ(AutomaticFlaPath("/d/swf/clip.swf2", "/d/swf", out), out + "clip.sfla");
  // Outside the folder, or a sibling that only shares its prefix: the name.
  EXPECT_EQ(AutomaticFlaPath("/other/b.swf", "/d/swf", out), out + "b.fla");
  EXPECT_EQ(AutomaticFlaPath("/d/swfx/b.swf", "/d/swf", out), out + "b.fla");
  EXPECT_EQ(AutomaticFlaPath("/d/swf/../up/c.swf", "/d/swf", out), out + "c.fla");
  // Too short to lose three characters.
  EXPECT_EQ(AutomaticFlaPath("/d/swf/ab", "/d/swf", out), out + "ab.fla");
}

TEST(OutputNames, DocumentFoldersAndScriptFollowTheDocument) {
  ConverterContext ctx;
  EXPECT_EQ(DeriveDocumentPaths(ctx, "/o d/movie.fla"), "/o d/movie.fla.jsfl");
  EXPECT_EQ(ctx.m_strShapesFolder, "/o d/Shapes_movie.fla");
  EXPECT_EQ(ctx.m_strStaticTextFolder, "/o d/StaticText_movie.fla");
  EXPECT_EQ(ctx.m_strVideosFolder, "/o d/Videos_movie.fla");
  // A path without a folder still gets them.
  EXPECT_EQ(DeriveDocumentPaths(ctx, "movie.fla"), "movie.fla.jsfl");
  EXPECT_EQ(ctx.m_strPicturesFolder, "Pictures_movie.fla");
}

struct Driver : ::testing::Test {
  Driver() {
    ctx.m_pShell = &shell;
    WriteFileBytes(dir.file("a.swf"), SampleMovie());
    WriteFileBytes(dir.file("b.swf"), SampleMovie(6, true));
  }
  TempDir dir;
  RecordingShell shell;
  ConverterContext ctx;
};

TEST_F(Driver, SetsTheToolsFontUnderExistingKeysAndOpensOnlyAWrittenScript) {
  shell.settings[kFlashSettingsKeys[1]]["other"] = "x";
  shell.settings[kFlashWarningKeys[0]];
  auto outcomes = ConvertSwfFile(ctx, dir.file("a.swf") + ",", 1, 0);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].result, 0u);
  EXPECT_EQ(shell.settings[kFlashSettingsKeys[1]]["System Default Font"], "Arial");
  EXPECT_FALSE(shell.settings.count(kFlashSettingsKeys[0]));
  EXPECT_EQ(outcomes[0].output, dir.file("a_.fla"));
  EXPECT_EQ(outcomes[0].script, dir.file("a_.fla.jsfl"));
  auto script = ReadFileBytes(outcomes[0].script);
  EXPECT_EQ(std::string(script.begin(), script.end()), JsflHeader());
  // No piece reached the script: the document alone, no warning change.
  EXPECT_EQ(shell.opened, std::vector<std::string>{dir.file("a_.fla")});
  EXPECT_FALSE(ctx.m_bFontWarningSet);
}

TEST_F(Driver, OpensTheDocumentThenItsScriptAndSetsTheWarningOnce) {
  // A symbol that the script rebuilds, placed while the scene is built.
  EngineServices services = DefaultEngineServices();
  services.closeEventSoundFrames = [](ConverterContext& c) {
    uint16_t item = 0;
    ASSERT_TRUE(TakeItemNo(c, item));
    c.m_pStreamItemNo[c.m_nStreams] = item;
    std::vector<uint8_t> page(kFileHead.begin(), kFileHead.end());
    ASSERT_TRUE(PlaceSymbolStream(c, page, 0));
    c.m_pJsflShapeIds.push_back(item);
  };
  SwfFileRequest request;
  request.services = &services;
  shell.settings[kFlashWarningKeys[1]];
  ConvertSwfFile(ctx, dir.file("a.swf") + "," + dir.file("b.swf") + ",", 1, 0, request);

  EXPECT_EQ(shell.opened, (std::vector<std::string>{dir.file("a_.fla"), dir.file("a_.fla.jsfl"),
                                                    dir.file("b_.fla"), dir.file("b_.fla.jsfl")}));
  EXPECT_EQ(shell.settings[kFlashWarningKeys[1]]["Missing Font Warning"], "TRUE");
  EXPECT_FALSE(shell.settings.count(kFlashWarningKeys[0]));
  std::map<std::string, std::vector<uint8_t>> streams;
  ASSERT_TRUE(ReadCompoundFile(dir.file("b_.fla"), streams));
  // The movie's shape is Symbol 1; the symbol placed here comes after it.
  EXPECT_TRUE(streams.count("Symbol 2"));
  auto script = ReadFileBytes(dir.file("b_.fla.jsfl"));
  EXPECT_NE(std::string(script.begin(), script.end()).find("lib.selectItem('_Shapes_/Symbol 2');"),
            std::string::npos);
  EXPECT_TRUE(IsValidJavaScriptFile(dir.file("b_.fla.jsfl")));

  RestoreFontWarning(ctx);
  EXPECT_EQ(shell.settings[kFlashWarningKeys[1]]["Missing Font Warning"], "FALSE");
  EXPECT_FALSE(ctx.m_bFontWarningSet);
}

TEST_F(Driver, OneFileAsksEvenWithTheNewFolderOption) {
  ctx.options.saveInNewFolder = 1;
  ctx.m_strOutputFolder = dir.file("dest") + "/";
  SwfFileRequest request;
  request.selectedFolder = dir.path().string();
  int asked = 0;
  request.saveDialog = [&](const std::string& suggested, std::string&) {
    EXPECT_EQ(suggested, dir.file("a_.fla"));
    ++asked;
    return false;  // cancelled: the file is skipped
  };
  EXPECT_TRUE(ConvertSwfFile(ctx, dir.file("a.swf") + ",", 0, 0, request).empty());
  EXPECT_EQ(asked, 1);
}

// A locked output fails its own movie only: the run goes on, and the cause
// is the outcome's, with no dialog on top.
TEST_F(Driver, LockedOutputFailsItsMovieAndTheRunGoesOn) {
  fs::create_directories(dir.file("a_.fla"));  // a folder where the document should go
  AddIdRangesFromText("3-4", ctx.m_shapeIdRanges);
  auto outcomes = ConvertSwfFile(ctx, dir.file("a.swf") + "," + dir.file("b.swf") + ",", 0, 0);
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].result, uint32_t(kResultOutputLocked));
  EXPECT_EQ(outcomes[0].detail, "the FLA cannot be written: a folder has its name");
  EXPECT_EQ(outcomes[1].result, 0u);
  EXPECT_TRUE(shell.messages.empty());
  EXPECT_TRUE(fs::is_empty(dir.file("a_.fla")));
  EXPECT_FALSE(fs::exists(dir.file("a_.fla.jsfl")));
  ExpectReadableDocument(dir.file("b_.fla"));
  EXPECT_EQ(ctx.m_bInConversion, 0);
  EXPECT_EQ(ctx.m_shapeIdRanges.count(), 0);
}

// A name that reaches the file of a document written earlier in the run
// (here through a linked folder; on a case-folding file system, through
// another case) collides like the same name; the same movie to another
// document is converted again.
TEST_F(Driver, ADocumentOfTheRunIsWrittenForOneMovieOnly) {
  fs::create_directories(dir.file("out"));
  fs::create_directory_symlink(dir.file("out"), dir.file("alias"));
  std::vector<std::string> answers = {"out/d.fla", "alias/d.fla", "out/./d.fla", "out/e.fla"};
  SwfFileRequest request;
  request.saveDialog = [&, asked = size_t(0)](const std::string&, std::string& chosen) mutable {
    chosen = dir.file(answers[asked++]);
    return true;
  };
  const auto outcomes = ConvertSwfFiles(ctx, {dir.file("a.swf"), dir.file("b.swf"), dir.file("b.swf"), dir.file("a.swf")},
                                        0, 0, request);
  ASSERT_EQ(outcomes.size(), 4u);
  for (size_t k = 0; k < 4; ++k) EXPECT_EQ(outcomes[k].result, k == 1 || k == 2 ? 50u : 0u) << k;
  EXPECT_EQ(outcomes[1].detail, "its document " + dir.file("alias/d.fla") + " is the same file as the document of " +
                                    dir.file("a.swf") + "; not converted");
  EXPECT_EQ(outcomes[2].detail,
            "its document " + dir.file("out/./d.fla") + " is also that of " + dir.file("a.swf") + "; not converted");
  EXPECT_EQ(ReadFileBytes(dir.file("out/e.fla")), ReadFileBytes(dir.file("out/d.fla")));
}

TEST_F(Driver, ConversionsInARowStartFromAFreshDocument) {
  ConvertSwfFile(ctx, dir.file("a.swf") + ",", 0, 0);
  const auto first = ReadFileBytes(dir.file("a_.fla"));
  ConvertSwfFile(ctx, dir.file("b.swf") + "," + dir.file("a.swf") + ",", 0, 0);
  EXPECT_EQ(ReadFileBytes(dir.file("a_.fla")), first);
  // A cancel stops before the next file.
  ctx.m_bCancel = 1;
  EXPECT_TRUE(ConvertSwfFile(ctx, dir.file("a.swf") + ",", 0, 0).empty());
}

}  // namespace
}  // namespace tovrani::test
