// The walker must catch the faults it exists for: a tag naming an index
// that is no class, a class defined twice.
#include "support/page_walker.h"

#include <gtest/gtest.h>

#include "fla/archive.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using namespace test;

std::vector<uint8_t> PageWith(const std::vector<uint8_t>& after, const char* newClass = nullptr,
                              int times = 1) {
  ByteSink s;
  WritePageHeadTags(s, 0);
  for (int i = 0; newClass && i < times; ++i) WriteNewClassTag(s, newClass), PutU16(s, 0x0001);
  std::vector<uint8_t> page = s.bytes();
  Append(page, after);
  return page;
}

TEST(PageWalker, ResolvesTheHeadAndLaterObjects) {
  // A new class (7) with its object (8), a second object of it (9), and a
  // new frame object (10).
  const std::vector<uint8_t> page =
      PageWith(Bytes({0, 0, 0x07, 0x80, 1, 0, 0, 0, 0x05, 0x80, 1, 0, 0}), "CPicSymbol");
  const PageWalk w = WalkPage(page);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_TRUE(PageWalksClean(page));
  EXPECT_TRUE(w.resolves(8, "CPicSymbol"));
  EXPECT_TRUE(w.resolves(9, "CPicSymbol"));
  EXPECT_TRUE(w.resolves(10, "CPicFrame"));
  EXPECT_FALSE(w.resolves(7, "CPicSymbol"));  // a class, not an object
  EXPECT_EQ(w.nextIndex, 11u);
}

TEST(PageWalker, FailsOnBrokenPages) {
  // 0x8004 names the head's layer object, which is no class.
  EXPECT_FALSE(PageWalksClean(PageWith(Bytes({0, 0, 0x04, 0x80, 1, 0, 0}))));
  EXPECT_FALSE(PageWalksClean(PageWith({}, "CPicShape", 2)));  // a class defined twice
  std::vector<uint8_t> page = PageWith({});
  page[0] = 0;  // no lead byte
  EXPECT_FALSE(PageWalksClean(page));
  EXPECT_FALSE(PageWalksClean({}));
}

}  // namespace
}  // namespace tovrani
