// The container's own tables count against what a conversion may write: a
// document that is mostly mini stream spends some 6 % of its bytes on its
// mini-FAT, FAT and directory. The bound's fixed part is lowered to reach
// it with a small movie; past it the previous set in out/ stays as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "convert/conversion_finish.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "fla/contents_stream.h"
#include "fla/write_bound.h"
#include "support/document_frames.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A square placed, then `sprites` sprites of 14 frames that place it and
// move it in each frame: pages of some 3.4 KB, each in the mini stream.
Bytes SpritesMovie(uint16_t sprites) {
  SwfWriter w(8);
  w.tag(2, SquareShape(1, 0, 200, 0x3366CC)).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data());
  for (uint16_t s = 2; s < 2 + sprites; ++s) {
    SwfWriter inner;
    for (int f = 0; f < 14; ++f) {
      SwfBytes place = SwfBytes().u8(f ? 0x05 : 0x06).u16(1);
      if (!f) place.u16(1);
      inner.tag(26, place.matrix(20 * f, 0).data()).showFrame();
    }
    w.tag(39, SwfBytes().u16(s).u16(14).bytes(inner.end().tags()).data());
  }
  return w.showFrame().end().build(true);
}

struct ContainerBound : ::testing::Test {
  // out/ holds the set of the square with its import movie; new/ the set of
  // 300 sprites, written under the program's bound.
  void SetUp() override {
    for (const char* folder : {"out", "new"}) std::filesystem::create_directories(dir.file(folder));
    ASSERT_EQ(Convert(SpritesMovie(0), "out").result, 0u);
    previous = FolderSnapshot(dir.file("out"));
    ASSERT_EQ(previous.count("Shapes_doc.fla/Symbol 1.swf"), 1u);
    ASSERT_EQ(Convert(movie, "new").result, 0u);
    written = SetBytes("new");
  }
  uint64_t SetBytes(const std::string& folder) {
    uint64_t n = 0;
    for (const auto& [name, bytes] : FolderSnapshot(dir.file(folder))) n += bytes.size();
    return n;
  }
  // Converts `swf` into `folder`/doc.fla with the shapes' import movies; a
  // `bound` lowers the fixed part of the write bound to give that.
  FileOutcome Convert(const Bytes& swf, const std::string& folder, uint64_t bound = 0,
                      const EngineServices* services = nullptr) {
    WriteFileBytes(dir.file("m.swf"), swf);
    ConverterContext ctx;
    ctx.m_pShell = &shell;
    ctx.options.shapeJsflImport = 1;
    if (bound) ctx.m_nWriteAllowance = bound - kWrittenBytesPerFileByte * swf.size();
    SwfFileRequest request;
    request.services = services;
    request.saveDialog = [&](const std::string&, std::string& chosen) {
      chosen = dir.file(folder + "/doc.fla");
      return true;
    };
    const std::vector<FileOutcome> outcomes = ConvertSwfFiles(ctx, {dir.file("m.swf")}, 0, 0, request);
    return outcomes.size() == 1 ? outcomes[0] : FileOutcome{};
  }
  void ExpectRefused(const FileOutcome& o, uint64_t bound) {
    EXPECT_EQ(o.result, uint32_t(kResultDocumentTooLarge));
    EXPECT_NE(o.detail.find("more than " + std::to_string(bound) + " bytes for a file of "), std::string::npos) << o.detail;
    EXPECT_EQ(FolderSnapshot(dir.file("out")), previous);
  }
  TempDir dir;
  RecordingShell shell;
  std::map<std::string, Bytes> previous;
  const Bytes movie = SpritesMovie(300);
  uint64_t written = 0;
};

TEST_F(ContainerBound, TablesCountWhereStreamsArePlacedAndTheWrittenSetIsMeasured) {
  ASSERT_GT(written, 1000000u);
  // 2 % under what the set takes: the tables reach the bound as the sprites
  // are placed.
  ExpectRefused(Convert(movie, "out", written - written / 50), written - written / 50);
  // A bound started again at the finish counts none of the sprites' pages:
  // only the measure of the set as written finds it a byte past.
  EngineServices services = DefaultEngineServices();
  services.finish = [&](ConverterContext& ctx) {
    WriteBoundOf(ctx)->Start(written - 1, &g_contents);
    return FinishConversion(ctx);
  };
  ExpectRefused(Convert(movie, "out", 0, &services), written - 1);
  // 4 KB over it, the set is written whole, within the bound.
  ASSERT_EQ(Convert(movie, "out", written + 4096).result, 0u);
  ExpectReadableDocument(dir.file("out/doc.fla"));
  EXPECT_EQ(SetBytes("out"), written);
}

}  // namespace
}  // namespace tovrani::test
