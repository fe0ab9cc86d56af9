#include "convert/conversion_finish.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "fla/contents_stream.h"
#include "fla/document_finaliser.h"
#include "fla/document_page.h"
#include "fla/stream_placement.h"
#include "support/work_budget.h"
#include "support/independent_readers.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/output_names.h"
#include "fla/work_folder.h"

namespace tovrani::test {
namespace {

// The state the engine hands to its finish: work folder, output, the scene
// page and the two sound layers.
struct Finish : ::testing::Test {
  Finish() {
    EXPECT_TRUE(work.create());
    ctx.m_pShell = &shell;
    ctx.m_pWorkFolder = &work;
    ctx.m_nFlaFormat = 2;
    WriteDocumentPage(g_contents, 2);
    page = FileHandle(work.file("m.g12"), "wb+");
    eventLayer = FileHandle(work.file("m.g15"), "wb+");
    streamLayer = FileHandle(work.file("m.g14"), "wb+");
    ctx.m_pPageWorkFile = page.get();
    ctx.m_sceneSounds.eventFile = eventLayer.get();
    ctx.m_sceneSounds.streamFile = streamLayer.get();
    for (auto [name, file] : {std::pair{"a.g12", &big}, {"b.g12", &mini}, {"b.g13", &mediaDir}, {"c.g12", &symbolDir}})
      *file = FileHandle(work.file(name), "wb+");
    ctx.m_pBigSectorFile = big.get();
    ctx.m_pMiniStreamFile = mini.get();
    ctx.m_pMediaDirFile = mediaDir.get();
    ctx.m_pSymbolDirFile = symbolDir.get();
    ResetMiniFat(ctx);
  }
  ~Finish() override { ctx.m_pWorkFolder = nullptr; }
  static void Put(FileHandle& f, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f.get()), bytes.size());
  }
  bool OpenOutput() {
    ctx.m_pOutput = &output;
    std::string why;
    ctx.m_outputRun = OpenDocumentOutput(dir.file("out.fla"), why);
    return ctx.m_outputRun &&
           output.open(dir.file("out.fla"), ctx.m_outputRun->folder.fd(),
                       TempName("out.fla", ::getpid(), ctx.m_outputRun->lock.random()));
  }

  TempDir dir;
  WorkFolder work;
  OutputTarget output;
  RecordingShell shell;
  ConverterContext ctx;
  FileHandle page, eventLayer, streamLayer, big, mini, mediaDir, symbolDir;
};

TEST_F(Finish, SceneTakesEventThenStreamSoundLayer) {
  std::vector<uint8_t> scene(5000, 0x11);  // big enough for regular sectors
  Put(page, scene);
  Put(eventLayer, {0xAA, 1, 2, 3});
  Put(streamLayer, {0xBB, 4, 5});
  ctx.m_sceneSounds.eventsSeen = ctx.m_sceneSounds.streamSeen = true;
  ctx.m_bSceneShortLead = 1;  // the first layer appended loses its first byte
  ASSERT_TRUE(OpenOutput());
  ASSERT_EQ(FinishConversion(ctx), 0u);

  std::map<std::string, std::vector<uint8_t>> streams;
  ASSERT_TRUE(ReadCompoundFile(dir.file("out.fla"), streams));
  scene.insert(scene.end(), {1, 2, 3, 0xBB, 4, 5});
  EXPECT_EQ(streams["Page 1"], scene);
  EXPECT_EQ(ctx.m_nScenePageSize, scene.size());
  EXPECT_EQ(shell.actions.back(), "idle...");
  EXPECT_FALSE(WorkFileThere(work, "m.g12"));
}

TEST_F(Finish, FailuresLeaveNoDocument) {
  Put(page, {1, 2, 3});
  // No output opened: the document cannot be created.
  EXPECT_EQ(FinishConversion(ctx), uint32_t(kResultOutputLocked));

  // A writer failure during the conversion: the output is dropped.
  WriteDocumentPage(g_contents, 2);
  ASSERT_TRUE(OpenOutput());
  ctx.m_nWriterError = kResultOutputIncomplete;
  EXPECT_EQ(FinishConversion(ctx), uint32_t(kResultOutputIncomplete));
  // The run's lock, its script's temporary, goes with the run.
  ctx.m_outputRun.reset();
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tovrani::test
