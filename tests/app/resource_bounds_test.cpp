// The bounds on processor time and memory, through the program's road with
// the bounds lowered for one conversion: a movie past either fails with a
// result of its own, naming the bound and its file's size, leaves the
// previous document set as it was and is taken for no cancel; the next
// movie of the batch converts under the usual bounds. Work files go to disk
// before they come near the memory bound, and a bitmap of each kind at the
// 64-Mpixel cap converts within it.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/converted_movie.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "platform/resource_bound.h"
#include "support/bitmap_data.h"
#include "support/document_frames.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/work_budget.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A previous set (out.fla and its script); past.swf converts to out.fla,
// each further movie to a document of its own.
struct BoundRun {
  TempDir dir;
  RecordingShell shell;
  ConverterContext ctx;
  EngineServices services = DefaultEngineServices();
  const Bytes oldFla{1, 2, 3}, oldScript{'/', '/', '\n'};

  BoundRun() {
    ctx.m_pShell = &shell;
    WriteFileBytes(dir.file("out.fla"), oldFla);
    WriteFileBytes(dir.file("out.fla.jsfl"), oldScript);
  }
  // `past` under `rates`, then `next` under the usual ones, in one batch.
  std::vector<FileOutcome> Batch(const Bytes& past, const ResourceRates& rates, const Bytes& next = {}) {
    std::vector<std::string> sources = {dir.file("past.swf"), dir.file("next.swf")};
    WriteFileBytes(sources[0], past);
    WriteFileBytes(sources[1], next);
    if (next.empty()) sources.pop_back();
    SwfFileRequest request;
    request.services = &services;
    request.saveDialog = [this](const std::string& offered, std::string& chosen) {
      chosen = offered == dir.file("past_.fla") ? dir.file("out.fla") : offered;
      return true;
    };
    SetNextResourceRates(rates);
    return ConvertSwfFiles(ctx, sources, 0, 0, request);
  }
  // Failed with `result` and `detail`, taken for no cancel; out.fla's name
  // holds the previous set alone.
  void ExpectFailed(const FileOutcome& o, uint32_t result, const std::string& detail) {
    EXPECT_EQ(o.result, result);
    EXPECT_EQ(o.detail, detail);
    EXPECT_EQ(o.cancelled, CancelOutcome::kNone);
    EXPECT_FALSE(ctx.m_bCancel);
    EXPECT_EQ(ReadFileBytes(dir.file("out.fla")), oldFla);
    EXPECT_EQ(ReadFileBytes(dir.file("out.fla.jsfl")), oldScript);
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      EXPECT_TRUE(e.path().filename().string().rfind("out.fla", 0) != 0 || e.path() == dir.file("out.fla") ||
                  e.path() == dir.file("out.fla.jsfl"))
          << e.path();
  }
  void ExpectConverted(const FileOutcome& o, const Bytes& movie) {
    ASSERT_EQ(o.result, 0u) << o.detail;
    EXPECT_TRUE(DocumentShowsMovie(movie, ExpectReadableDocument(o.output)));
  }
};

std::string FileOf(const Bytes& movie) { return " for a file of " + std::to_string(movie.size()) + " bytes ("; }

ResourceRates Rates(uint64_t timeFixedNs, uint64_t timePerByteNs, uint64_t heapFixed, uint64_t heapPerByte,
                    uint64_t builderPerByteNs = 0) {
  return {timeFixedNs, timePerByteNs, builderPerByteNs, heapFixed, heapPerByte};
}

TEST(ResourceBounds, AMoviePastABoundFailsAloneAndOneUnderItConverts) {
  constexpr uint64_t kHuge = uint64_t(1) << 40;
  // A busy timeline past no time at all, under a second a byte; a bitmap
  // asking 16 MiB past 1 MiB of heap, under 4 MiB a byte.
  const Bytes busy = MovedSquaresMovie(20, 40);
  const Bytes bitmap =
      SwfWriter(8).tag(36, SwfBytes().u16(1).u8(5).u16(2048).u16(2048).data()).showFrame().end().build();
  const struct {
    Bytes movie;
    ResourceRates past, under;
    uint32_t result;
    std::string detail;
  } cases[] = {
      {busy, Rates(0, 0, kHuge, 0), Rates(0, 1000000000, kHuge, 0), kResultTooMuchTime,
       "the conversion took more processor time than the movie's size allows: more than 0 s" + FileOf(busy) +
           "0 s and 0 µs a byte of the file)"},
      {bitmap, Rates(kHuge, 0, 1 << 20, 0), Rates(kHuge, 0, 0, 4 << 20), kResultTooMuchMemory,
       "the conversion needed more memory than the movie's size allows: more than 1048576 bytes" + FileOf(bitmap) +
           "1 MiB and 0 bytes a byte of the file)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    BoundRun past, under;
    const auto outcomes = past.Batch(c.movie, c.past, SampleMovie());
    ASSERT_EQ(outcomes.size(), 2u);
    past.ExpectFailed(outcomes[0], c.result, c.detail);
    past.ExpectConverted(outcomes[1], SampleMovie());
    under.ExpectConverted(under.Batch(c.movie, c.under).at(0), c.movie);
  }
  // The builder's part of the time counts only where the builder may run.
  for (const uint8_t exact : {0, 1}) {
    BoundRun run;
    run.ctx.options.exactProblemSearch = exact;
    EXPECT_EQ(run.Batch(busy, Rates(0, 0, kHuge, 0, 1000000000)).at(0).result, exact ? 0u : kResultTooMuchTime);
  }
}

// Crossed once the movie's tags are read (in the scene's timeline writer,
// in the finish), the bound fails the conversion as in the tag loop: the
// frames read so far are not written.
TEST(ResourceBounds, CrossedWhileTheDocumentIsFinishedFailsTheConversion) {
  const Bytes movie = MovedSquaresMovie(10, 10);
  const std::string detail = "the conversion needed more memory than the movie's size allows: more than " +
                             std::to_string((uint64_t(768) << 20) + 64 * movie.size()) + " bytes" + FileOf(movie) +
                             "768 MiB and 64 bytes a byte of the file)";
  for (const bool inFinish : {false, true}) {
    BoundRun run;
    const auto finish = run.services.finish;
    const auto writer = run.services.buildSceneTimeline;
    if (inFinish)
      run.services.finish = [finish](ConverterContext& c) { return ReserveHeap(uint64_t(1) << 60) ? 1u : finish(c); };
    else
      run.services.buildSceneTimeline = [writer](ConverterContext& c, uint32_t mode, uint16_t frames) {
        if (!ReserveHeap(uint64_t(1) << 60)) writer(c, mode, frames);
      };
    run.ExpectFailed(run.Batch(movie, ResourceRates{}).at(0), kResultTooMuchMemory, detail);
  }
}

// `removals` RemoveObject2 tags of depth 1 on the main timeline or inside
// one sprite, the movie compressed and padded to `fileBytes`: its tags fill
// what it may inflate to, and recording them takes 12 bytes a byte of them.
Bytes RemovalsMovie(uint32_t removals, bool inSprite, size_t fileBytes) {
  SwfWriter removing(8);
  for (uint32_t i = 0; i < removals; ++i) removing.tag(28, SwfBytes().u16(1).data());
  removing.showFrame();
  SwfWriter w(8);
  if (inSprite)
    w.tag(39, SwfBytes().u16(1).u16(1).bytes(removing.end().tags()).data())
        .tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data())
        .showFrame();
  else
    w = removing;
  Bytes movie = w.end().build(true);
  EXPECT_LE(movie.size(), fileBytes);
  movie.resize(fileBytes, 0);
  return movie;
}

// Past the memory bound, whatever allocates, the heap the conversion
// counted stays within a tenth of the bound above it: on the main timeline
// and in a sprite.
TEST(ResourceBounds, AMoviePastTheHeapBoundStopsWithinATenthOfIt) {
  ASSERT_TRUE(HeapCountedAtAllocator());
  constexpr size_t kFile = 16 << 10;
  const ResourceRates rates = Rates(uint64_t(1) << 40, 0, 4 << 20, 64);
  const uint64_t bound = (4 << 20) + 64 * kFile;
  for (const bool inSprite : {false, true}) {
    SCOPED_TRACE(inSprite);
    const Bytes movie = RemovalsMovie(250000, inSprite, kFile);
    BoundRun run;
    run.ExpectFailed(run.Batch(movie, rates).at(0), kResultTooMuchMemory,
                     "the conversion needed more memory than the movie's size allows: more than " +
                         std::to_string(bound) + " bytes" + FileOf(movie) + "4 MiB and 64 bytes a byte of the file)");
    EXPECT_GT(LastHeapCount().peakBytes, 0u);
    EXPECT_LE(LastHeapCount().peakBytes, bound + bound / 10);
  }
}

// A long timeline's work files, with less than 64 MiB of room under the
// memory bound, go to disk rather than near it: the same document.
TEST(ResourceBounds, WorkFilesGoToDiskBeforeTheyComeNearTheMemoryBound) {
  const Bytes movie = MovedSquaresMovie(100, 300);
  std::vector<std::string> spilled;
  WorkBudgetScope scope(WorkFolder::kDefaultMemoryBudget, [&](const std::string& name) {
    spilled.push_back(name);
    return true;
  });
  BoundRun usual, near;
  usual.ExpectConverted(usual.Batch(movie, ResourceRates{}).at(0), movie);
  ASSERT_TRUE(spilled.empty());
  near.ExpectConverted(near.Batch(movie, Rates(30000000000, 0, (64 + 2) << 20, 0)).at(0), movie);
  EXPECT_FALSE(spilled.empty());
  const Bytes document = ReadFileBytes(usual.dir.file("out.fla"));
  EXPECT_GT(document.size(), 3u << 20);
  EXPECT_TRUE(ReadFileBytes(near.dir.file("out.fla")) == document);
}

// One bitmap at the 64-Mpixel cap through the program, the usual bounds,
// after 50 KB the converter passes over (what pays for its pixels): its
// record format and its size.
class CapBitmapProgram : public ::testing::TestWithParam<int> {};

TEST_P(CapBitmapProgram, ConvertsWithinTheMemoryBound) {
  constexpr uint16_t kSide = 8192;
  const auto lossless = [](uint16_t code, SwfBytes head, uint32_t rowBytes) {
    return std::pair(code, head.bytes(Zlib(Bytes(rowBytes, 0x40), 9)).data());
  };
  const auto jpeg3 = [](JpegKind kind) {
    const Bytes jpeg = WithFrameSize(EncodeJpeg(QuadrantPixels(8), 8, 8, kind), kSide, kSide);
    const Bytes alpha = Zlib(Bytes(kSide, 0xFF), 9);
    return std::pair(uint16_t(35), SwfBytes().u16(1).u32(uint32_t(jpeg.size())).bytes(jpeg).bytes(alpha).data());
  };
  const SwfBytes head = SwfBytes().u16(1);
  const std::pair<uint16_t, Bytes> tags[] = {
      lossless(20, SwfBytes(head).u8(3).u16(kSide).u16(kSide).u8(0), 3 + kSide),
      lossless(20, SwfBytes(head).u8(4).u16(kSide).u16(kSide), 2 * kSide),
      lossless(36, SwfBytes(head).u8(5).u16(kSide).u16(kSide), 4 * kSide),
      jpeg3(JpegKind::kRgb),
      jpeg3(JpegKind::kProgressive),
  };
  const auto& [code, body] = tags[GetParam()];
  SwfWriter w(8);
  w.tag(87, SwfBytes().u16(100).u32(0).bytes(Bytes(50000, 0)).data());
  ConvertedMovie r;
  ConvertOnce(r, w.tag(code, body, true).showFrame().end().build());
  const Bytes& record = r.streams["Media 1"];
  ASSERT_GE(record.size(), 8u);
  EXPECT_EQ(record[1], GetParam() == 0 ? 3 : 5);
  EXPECT_EQ(record[4] | record[5] << 8 | record[6] << 16 | record[7] << 24, kSide | kSide << 16);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CapBitmapProgram, ::testing::Range(0, 5));

}  // namespace
}  // namespace tovrani::test
