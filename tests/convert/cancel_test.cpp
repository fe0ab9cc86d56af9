// A cancel read once the movie's tags are done abandons the document: the
// previous document and its script stay as they were, and the conversion
// stops within a few steps of the writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/program_runner.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

// The previous document set in a folder, the movie beside it, and a shell
// that answers cancel from the first pump after a chosen step begins.
struct AbandonRun {
  TempDir dir;
  RecordingShell shell;
  ConverterContext ctx;
  EngineServices services = DefaultEngineServices();
  int pumpsAtStart = -1;
  const std::vector<uint8_t> oldFla{1, 2, 3}, oldScript{'/', '/', '\n'};

  AbandonRun() {
    ctx.m_pShell = &shell;
    WriteFileBytes(dir.file("in.swf"), MovedSquaresMovie(100, 30));
    WriteFileBytes(dir.file("out.fla"), oldFla);
    WriteFileBytes(dir.file("out.fla.jsfl"), oldScript);
  }
  void CancelFromHere() {
    pumpsAtStart = shell.pumps;
    shell.cancelAfterPumps = shell.pumps;
  }
  std::vector<FileOutcome> Convert(std::function<void()> onFileStart = {}) {
    SwfFileRequest request;
    if (onFileStart) request.onFileStart = [=](const std::string&, const std::string&) { onFileStart(); };
    request.services = &services;
    request.saveDialog = [this](const std::string&, std::string& chosen) {
      chosen = dir.file("out.fla");
      return true;
    };
    return ConvertSwfFiles(ctx, {dir.file("in.swf")}, 0, 0, request);
  }
  void ExpectPreviousSetOnly() {
    EXPECT_EQ(ReadFileBytes(dir.file("out.fla")), oldFla);
    EXPECT_EQ(ReadFileBytes(dir.file("out.fla.jsfl")), oldScript);
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) {
      ++files;
      EXPECT_TRUE(e.path().filename() == "in.swf" || e.path().filename() == "out.fla" ||
                  e.path().filename() == "out.fla.jsfl")
          << e.path();
    }
    EXPECT_EQ(files, 3u);
  }
};

TEST(Cancel, AfterTheTagLoopAbandonsTheDocumentWithinAFewSteps) {
  // In the scene's timeline writer: 100 layers, one cancel read per layer.
  {
    AbandonRun run;
    const auto writer = run.services.buildSceneTimeline;
    run.services.buildSceneTimeline = [&](ConverterContext& c, uint32_t mode, uint16_t frames) {
      run.CancelFromHere();
      writer(c, mode, frames);
    };
    const auto outcomes = run.Convert();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, uint32_t(kResultCancelled));
    EXPECT_TRUE(run.ctx.m_bCancel);
    ASSERT_GE(run.pumpsAtStart, 0);
    EXPECT_LE(run.shell.pumps - run.pumpsAtStart, 3);
    run.ExpectPreviousSetOnly();
  }
  // In the finish, before anything of the document is committed.
  {
    AbandonRun run;
    const auto finish = run.services.finish;
    run.services.finish = [&](ConverterContext& c) {
      run.CancelFromHere();
      return finish(c);
    };
    const auto outcomes = run.Convert();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, uint32_t(kResultCancelled));
    EXPECT_LE(run.shell.pumps - run.pumpsAtStart, 3);
    run.ExpectPreviousSetOnly();
  }
  // A cancel already in force when the tags end keeps the frames done: the
  // writer goes on and the document is written.
  {
    AbandonRun run;
    const auto outcomes = run.Convert([&] { run.CancelFromHere(); });
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, uint32_t(kResultDone));
    EXPECT_NE(ReadFileBytes(run.dir.file("out.fla")), run.oldFla);
  }
}

// Through the program: a SIGTERM in the middle of a long timeline ends it
// with status 130 and leaves no temporary file. A hang check, not a speed
// test. (Only the program gets the signal: a second one ends it at once.)
TEST(Cancel, SigtermEndsALongConversion) {
  TempDir dir;
  WriteFileBytes(dir.file("long.swf"), MovedSquaresMovie(100, 4000));
  const ProgramRun run =
      RunProgram({"-q", dir.file("long.swf"), "-o", dir.file("long.fla")}, dir.file("config"),
                 "timeout --foreground --preserve-status -k 120 1 env ");
  EXPECT_EQ(run.status, 130) << run.output;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "long.swf" || name == "long.fla" || name == "long.fla.jsfl" || name == "config")
        << "left behind: " << name;
  }
}

}  // namespace
}  // namespace tovrani::test
