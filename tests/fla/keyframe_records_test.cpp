#include "fla/keyframe_records.h"

#include <gtest/gtest.h>

#include "fla/expected_records.h"
#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Append;
using test::ByteSink;
using test::Bytes;
using test::Concat;
using test::ExpectedHead;
using test::ExpectedTail;
using test::Slice;

const std::vector<uint8_t> kJoint = {0x00, 0x05, 0x80};
const std::vector<uint8_t> kEnd = {0x00};

// Runs the old or the new twin as the level asks, as every caller does.
class KeyframeAtLevel : public ::testing::TestWithParam<int> {
 protected:
  bool isNew() const { return IsNewFlaFormat(static_cast<uint8_t>(GetParam())); }
  PatchPos frameHead(std::FILE* f) { return isNew() ? WriteFrameHeadNew(f) : WriteFrameHeadOld(f); }
  PatchPos firstFrame(std::FILE* f) { return isNew() ? WriteFirstFrameNew(f) : WriteFirstFrameOld(f); }
  PatchPos nextFrame(std::FILE* f) { return isNew() ? WriteNextFrameNew(f) : WriteNextFrameOld(f); }
  PatchPos singleFrame(std::FILE* f) {
    return isNew() ? WriteSingleFrameNew(f) : WriteSingleFrameOld(f);
  }
  void lastFrameTail(std::FILE* f) { isNew() ? WriteLastFrameTailNew(f) : WriteLastFrameTailOld(f); }
  void finishLastFrame(std::FILE* f) { isNew() ? FinishLastFrameNew(f) : FinishLastFrameOld(f); }
  void emptyFrame(std::FILE* f, uint32_t d) {
    isNew() ? WriteEmptyFrameNew(f, d) : WriteEmptyFrameOld(f, d);
  }
  void emptyFrameEx(std::FILE* f, uint32_t d, uint32_t a, uint32_t b) {
    isNew() ? WriteEmptyFrameExNew(f, d, a, b) : WriteEmptyFrameExOld(f, d, a, b);
  }
  void lastEmptyFrame(std::FILE* f, uint32_t d) {
    isNew() ? WriteLastEmptyFrameNew(f, d) : WriteLastEmptyFrameOld(f, d);
  }
  void labelFrame(std::FILE* f, std::string_view label, bool hasNext, uint8_t flag) {
    isNew() ? WriteLabelFrameNew(f, label, hasNext, flag)
            : WriteLabelFrameOld(f, label, hasNext, flag);
  }
  size_t headSize() const { return isNew() ? 60 : 58; }
  uint8_t durationLow() const { return isNew() ? 0x18 : 0x16; }
};

TEST_P(KeyframeAtLevel, FrameHeadAndItsDurationPosition) {
  ByteSink out;
  std::fputc(0xEE, out);  // a record rarely starts at offset 0
  const PatchPos pos = frameHead(out);
  auto b = out.bytes();
  ASSERT_EQ(b.size(), 1 + headSize());
  EXPECT_BYTES(Slice(b, 1, b.size()), ExpectedHead(isNew(), 1));
  ASSERT_EQ(pos, static_cast<PatchPos>(headSize() - 7 + 1 + 1));
  EXPECT_EQ(b[pos - 1], durationLow());
  EXPECT_EQ(b[pos], 1);
}

TEST_P(KeyframeAtLevel, DurationWordAndItsPosition) {
  ByteSink out;
  emptyFrame(out, 3);
  auto b = out.bytes();
  const size_t word = headSize() - 7;
  EXPECT_BYTES(Slice(b, word, word + 4), Bytes({durationLow(), 3, 0, 0}));
}

TEST_P(KeyframeAtLevel, WideDurationIsClampedNotSpilled) {
  ByteSink out;
  emptyFrame(out, 0x12345);
  auto b = out.bytes();
  const size_t word = headSize() - 7;
  EXPECT_BYTES(Slice(b, word, word + 4), Bytes({durationLow(), 0xFF, 0xFF, 0x00}));
  EXPECT_EQ(b.size(), isNew() ? 147u : 127u);
}

TEST_P(KeyframeAtLevel, CompleteUnnamedKeyframes) {
  {
    ByteSink out;
    lastEmptyFrame(out, 7);
    EXPECT_EQ(out.bytes().size(), isNew() ? 145u : 125u);
    EXPECT_BYTES(out.bytes(), Concat({ExpectedHead(isNew(), 7), ExpectedTail(isNew()), kEnd}));
  }
  {
    ByteSink out;
    emptyFrame(out, 7);
    EXPECT_EQ(out.bytes().size(), isNew() ? 147u : 127u);
    EXPECT_BYTES(out.bytes(), Concat({ExpectedHead(isNew(), 7), ExpectedTail(isNew()), kJoint}));
  }
  {
    // The extended writer ignores its last two values whatever they hold.
    ByteSink plain, ex;
    emptyFrame(plain, 9);
    emptyFrameEx(ex, 9, 0xFFFFFFFF, 0x12345678);
    EXPECT_BYTES(ex.bytes(), plain.bytes());
  }
  {
    ByteSink pieces, whole;
    frameHead(pieces);
    lastFrameTail(pieces);
    lastEmptyFrame(whole, 1);
    EXPECT_BYTES(whole.bytes(), pieces.bytes());
  }
}

TEST_P(KeyframeAtLevel, FirstFrameStopsWhereTheCallerTakesOver) {
  ByteSink out;
  const PatchPos pos = firstFrame(out);
  auto b = out.bytes();
  ASSERT_EQ(b.size(), 100u);
  auto tail = ExpectedTail(isNew());
  std::vector<uint8_t> e = ExpectedHead(isNew(), 1);
  if (isNew()) {
    Append(e, Slice(tail, 0, 40));
    EXPECT_BYTES(Slice(b, 97, 100), Bytes({0xFF, 0xFE, 0xFF}));
  } else {
    Append(e, Slice(tail, 0, 19));
    Append(e, std::vector<uint8_t>(23, 0));
    EXPECT_BYTES(Slice(b, 15 + 58, 19 + 58), Bytes({0xFF, 0xFF, 0x00, 0x01}));
  }
  EXPECT_BYTES(b, e);
  EXPECT_EQ(pos, static_cast<PatchPos>(headSize() - 6));
}

TEST_P(KeyframeAtLevel, NextFrameJoinsTwoKeyframes) {
  ByteSink out;
  frameHead(out);
  const PatchPos pos = nextFrame(out);
  auto b = out.bytes();
  const auto tail = ExpectedTail(isNew());
  EXPECT_BYTES(b, Concat({ExpectedHead(isNew(), 1), tail, kJoint, ExpectedHead(isNew(), 1)}));
  EXPECT_EQ(pos, static_cast<PatchPos>(headSize() + tail.size() + 3 + headSize() - 6));
  EXPECT_EQ(b[pos], 1);
  EXPECT_EQ(b[pos - 1], durationLow());
}

TEST_P(KeyframeAtLevel, SingleAndFinishedFramesLeaveTheirStartToTheCaller) {
  {
    ByteSink out;
    const int v = isNew() ? 4 : 1;
    std::fputc(v, out), std::fputc(0, out), std::fputc(0, out);
    const PatchPos pos = singleFrame(out);
    EXPECT_BYTES(out.bytes(), Concat({ExpectedHead(isNew(), 1), ExpectedTail(isNew()), kEnd}));
    EXPECT_EQ(pos, static_cast<PatchPos>(headSize() - 6));
  }
  {
    ByteSink out;
    finishLastFrame(out);
    EXPECT_BYTES(out.bytes(), Concat({Slice(ExpectedTail(isNew()), 11, isNew() ? 84 : 66), kEnd}));
  }
}

TEST_P(KeyframeAtLevel, LabelFrames) {
  {
    // Empty label, no flag, no next frame: the last empty frame of length 1.
    ByteSink label, empty;
    labelFrame(label, "", false, 0);
    lastEmptyFrame(empty, 1);
    EXPECT_BYTES(label.bytes(), empty.bytes());
  }
  {
    ByteSink out;
    labelFrame(out, "ab", true, 1);
    auto tail = ExpectedTail(isNew(), "ab", 1);
    EXPECT_BYTES(out.bytes(), Concat({ExpectedHead(isNew(), 1), tail, kJoint}));
    // The name field itself.
    auto name = isNew() ? Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x02, 0x61, 0x00, 0x62, 0x00})
                        : Bytes({0xFF, 0xFF, 0x02, 0x61, 0x62, 0x01});
    EXPECT_BYTES(Slice(tail, 15, 15 + name.size()), name);
  }
  {
    // A label past 254 characters keeps every character behind the long length.
    const std::string label(300, 'L');
    ByteSink out;
    labelFrame(out, label, false, 0);
    EXPECT_BYTES(out.bytes(),
                 Concat({ExpectedHead(isNew(), 1), ExpectedTail(isNew(), label), kEnd}));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, KeyframeAtLevel, ::testing::Values(0, 1, 2, 3));

}  // namespace
}  // namespace tovrani
