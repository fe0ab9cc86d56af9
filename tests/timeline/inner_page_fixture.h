// A page fixture with what inner symbol pages need: a work folder, the
// compound-file work files and fresh stream tables.
#pragma once

#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "fla/work_folder.h"
#include "timeline/timeline_page.h"

namespace tovrani::test {

class InnerPageFixture : public PageFixture {
 protected:
  void SetUp() override {
    PageFixture::SetUp();
    ASSERT_TRUE(folder.create());
    ctx.m_pWorkFolder = &folder;
    for (std::FILE** f : files()) *f = std::tmpfile();
    ResetStreamTables(ctx);
  }
  void TearDown() override {
    for (std::FILE** f : files()) {
      if (*f) std::fclose(*f);
      *f = nullptr;
    }
    folder.remove();
    PageFixture::TearDown();
  }

  // The committed bytes of the symbol stream in row `row`.
  std::vector<uint8_t> stream(uint32_t row) {
    const uint32_t size = ctx.m_pStreamSize.at(row);
    const bool regular = size >= kMiniStreamCutoff;
    std::FILE* f = regular ? ctx.m_pBigSectorFile : ctx.m_pMiniStreamFile;
    std::vector<uint8_t> all;
    if (!ReadWholeFile(f, all)) return {};
    std::fseek(f, 0, SEEK_END);
    const size_t at = size_t(ctx.m_pStreamStart.at(row)) * (regular ? kSectorSize : kMiniSectorSize);
    if (at + size > all.size()) return {};
    return Slice(all, at, at + size);
  }
  // The rows whose stream is a symbol page, checked by the page walker.
  void expectWalkableStreams() {
    for (uint32_t r = 0; r < ctx.m_nStreams; ++r) EXPECT_TRUE(PageWalksClean(stream(r))) << "row " << r;
  }

  WorkFolder folder;

 private:
  std::vector<std::FILE**> files() {
    return {&ctx.m_pBigSectorFile, &ctx.m_pMiniStreamFile, &ctx.m_pMediaDirFile, &ctx.m_pSymbolDirFile};
  }
};

}  // namespace tovrani::test
