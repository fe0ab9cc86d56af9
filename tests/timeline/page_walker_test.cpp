// The walker must catch the faults it exists for: a tag naming an index
// that is no class, a class defined twice.
#include "support/page_walker.h"

#include <gtest/gtest.h>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using namespace test;

std::vector<uint8_t> Head() {
  ByteSink s;
  WritePageHeadTags(s, 0);
  return s.bytes();
}

TEST(PageWalker, ResolvesTheHeadAndLaterObjects) {
  std::vector<uint8_t> page = Head();
  // A new class (7) with its object (8), a second object of it (9), and a
  // new frame object (10).
  ByteSink s;
  WriteNewClassTag(s, "CPicSymbol");
  Append(page, s.bytes());
  Append(page, Bytes({1, 0, 0, 0, 0x07, 0x80, 1, 0, 0, 0, 0x05, 0x80, 1, 0, 0}));
  const PageWalk w = WalkPage(page);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_TRUE(PageWalksClean(page));
  EXPECT_TRUE(w.resolves(8, "CPicSymbol"));
  EXPECT_TRUE(w.resolves(9, "CPicSymbol"));
  EXPECT_TRUE(w.resolves(10, "CPicFrame"));
  EXPECT_FALSE(w.resolves(7, "CPicSymbol"));  // a class, not an object
  EXPECT_EQ(w.nextIndex, 11u);
}

TEST(PageWalker, FailsOnATagOfNoClass) {
  std::vector<uint8_t> page = Head();
  // 0x8004 names the head's layer object, which is no class.
  Append(page, Bytes({0, 0, 0x04, 0x80, 1, 0, 0}));
  EXPECT_FALSE(WalkPage(page).ok);
  EXPECT_FALSE(PageWalksClean(page));
}

TEST(PageWalker, FailsOnAClassDefinedTwice) {
  std::vector<uint8_t> page = Head();
  ByteSink s;
  WriteNewClassTag(s, "CPicShape");
  PutU16(s, 0x0001);
  WriteNewClassTag(s, "CPicShape");
  PutU16(s, 0x0001);
  Append(page, s.bytes());
  EXPECT_FALSE(WalkPage(page).ok);
}

TEST(PageWalker, FailsWithoutThePageLead) {
  std::vector<uint8_t> page = Head();
  page[0] = 0;
  EXPECT_FALSE(WalkPage(page).ok);
  EXPECT_FALSE(WalkPage({}).ok);
}

}  // namespace
}  // namespace tovrani
