// The depth and mask-layer pass holds memory in proportion to what a
// timeline shows, through the program: a timeline without a mask pays for
// its own placements, not for every depth a tag may name, and a masked one
// holds one event for the moves of one depth within one frame.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/program_runner.h"
#include "support/document_frames.h"
#include "support/timeline_movies.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Measured {
  int status = -1;
  long peakKb = 0;       // the largest of this test's children so far
  long minorFaults = 0;  // the program's run alone
};

// Converts `movie` to `name`.fla in `dir`, `env` set for the program.
Measured Convert(const TempDir& dir, const std::string& name, const Bytes& movie, const std::string& env = "") {
  WriteFileBytes(dir.file(name + ".swf"), movie);
  rusage before{}, after{};
  ::getrusage(RUSAGE_CHILDREN, &before);
  const ProgramRun run = RunProgram({"-q", dir.file(name + ".swf"), "-o", dir.file(name + ".fla")},
                                    dir.file("config"), env + " TMPDIR=" + ShellQuote(dir.path().string()) + ' ');
  ::getrusage(RUSAGE_CHILDREN, &after);
  return {run.status, after.ru_maxrss, after.ru_minflt - before.ru_minflt};
}

// Sprites that each place one square, at depth 1 or at the deepest depth:
// a table of every depth for each of them touched its 64 to 128 pages
// afresh (each block of 64 KiB or more is mapped and unmapped by itself
// here, and the sanitizer's allocator keeps nothing freed), 130,000 to
// 300,000 page faults for 2,000 sprites. Counted from their own
// placements, the 1,980 sprites more cost under 8 pages each.
TEST(DepthPassMemory, TimelinesWithoutMasksTouchPagesForTheirOwnPlacements) {
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::string mapped = "GLIBC_TUNABLES=glibc.malloc.mmap_threshold=65536 ASAN_OPTIONS=" +
                             ShellQuote(std::string(sanitizer ? sanitizer : "") + ":quarantine_size_mb=0");
  for (const uint16_t depth : {1, 65535}) {
    SCOPED_TRACE(depth);
    TempDir dir;
    const Measured few = Convert(dir, "few", OneSquareSpritesMovie(20, depth, 0, false), mapped);
    const Measured many = Convert(dir, "many", OneSquareSpritesMovie(2000, depth, 0, false), mapped);
    ASSERT_EQ(few.status, 0);
    ASSERT_EQ(many.status, 0);
    EXPECT_LT(many.minorFaults - few.minorFaults, 1980 * 8);
  }
}

// One sprite: a mask whose clip depth 200,000 moves change within its one
// frame, over squares at the depths it reaches. Held as an event and a
// span each, with copies, they took some 210 bytes a move; folded into one
// event, the moves' tags cost their positions alone. Resident memory is
// held to that in a build without a sanitizer (whose allocator keeps what
// is freed), what the document shows everywhere.
TEST(DepthPassMemory, MovesOfOneDepthWithinAFrameHoldOneEvent) {
  TempDir dir;
  // The smaller first: the peak is the largest child's.
  const Bytes few = ClipMovesMovie(2000, 0, false), many = ClipMovesMovie(200000, 0, false);
  const Measured base = Convert(dir, "few", few), moved = Convert(dir, "many", many);
  ASSERT_EQ(base.status, 0);
  ASSERT_EQ(moved.status, 0);
#if !defined(__SANITIZE_ADDRESS__) && defined(NDEBUG)
  EXPECT_LT((moved.peakKb - base.peakKb) * 1024, 198000 * 48);
#endif
  EXPECT_TRUE(DocumentShowsMovie(few, ExpectReadableDocument(dir.file("few.fla"))));
  EXPECT_TRUE(DocumentShowsMovie(many, ExpectReadableDocument(dir.file("many.fla"))));
}

}  // namespace
}  // namespace tovrani::test
