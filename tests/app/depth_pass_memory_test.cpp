// The depth and mask-layer pass holds memory in proportion to what a
// timeline shows, through the program: a timeline without a mask pays for
// its own placements, not for every depth a tag may name, and a masked one
// holds one event for the moves of one depth within one frame. Each
// conversion runs in a child of its own, so that its page faults and peak
// are its alone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/document_frames.h"
#include "support/temp_dir.h"
#include "support/timeline_movies.h"

extern char** environ;

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Measured {
  int status = -1;
  long peakKb = 0;
  long minorFaults = 0;
};

// Converts `movie` to `name`.fla in `dir`, with `env` put first in the
// program's environment.
Measured Convert(const TempDir& dir, const std::string& name, const Bytes& movie,
                 const std::vector<std::string>& env = {}) {
  const std::string swf = dir.file(name + ".swf"), fla = dir.file(name + ".fla");
  WriteFileBytes(swf, movie);
  std::vector<std::string> vars = env;
  vars.insert(vars.end(), {"XDG_CONFIG_HOME=" + dir.file("config"), "TMPDIR=" + dir.path().string()});
  for (char** e = environ; *e; ++e) vars.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
    ::execle(TOVRANI_PROGRAM, TOVRANI_PROGRAM, "-q", swf.c_str(), "-o", fla.c_str(), nullptr, envp.data());
    ::_exit(127);
  }
  Measured m;
  rusage usage{};
  int status = 0;
  if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
    m.status = WEXITSTATUS(status);
    m.peakKb = usage.ru_maxrss;
    m.minorFaults = usage.ru_minflt;
  }
  return m;
}

// Sprites that each place one square, at depth 1 or at the deepest depth:
// a table of every depth for each of them touched its 64 to 128 pages
// afresh (each block of 64 KiB or more is mapped and unmapped by itself
// here, and the sanitizer's allocator keeps nothing freed), 130,000 to
// 300,000 page faults for 2,000 sprites. Counted from their own
// placements, the 1,980 sprites more cost under 8 pages each.
TEST(DepthPassMemory, TimelinesWithoutMasksTouchPagesForTheirOwnPlacements) {
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::vector<std::string> mapped = {
      "GLIBC_TUNABLES=glibc.malloc.mmap_threshold=65536",
      "ASAN_OPTIONS=" + std::string(sanitizer ? sanitizer : "") + ":quarantine_size_mb=0"};
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
