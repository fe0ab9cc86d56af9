#include "fla/keyframe_records.h"

#include <gtest/gtest.h>

#include "fla/expected_records.h"

namespace tovrani::test {
namespace {

const std::vector<uint8_t> kJoint = {0x00, 0x05, 0x80};
const std::vector<uint8_t> kEnd = {0x00};

// The old or the new twin of a writer, as the level asks and every caller does.
#define TWIN(name) (isNew() ? name##New : name##Old)

class KeyframeAtLevel : public ::testing::TestWithParam<int> {
 protected:
  bool isNew() const { return IsNewFlaFormat(static_cast<uint8_t>(GetParam())); }
  std::vector<uint8_t> head(uint32_t d = 1) const { return ExpectedHead(isNew(), d); }
  std::vector<uint8_t> tail(const std::string& name = "", int flag = 0) const {
    return ExpectedTail(isNew(), name, flag);
  }
  size_t headSize() const { return isNew() ? 60 : 58; }
};

TEST_P(KeyframeAtLevel, FrameHeadDurationWordAndClamp) {
  PatchPos pos = 0;
  // A record rarely starts at offset 0.
  const auto b = Written([&](auto f) { std::fputc(0xEE, f), pos = TWIN(WriteFrameHead)(f); });
  EXPECT_BYTES(b, Concat({{0xEE}, head()}));
  ASSERT_EQ(pos, static_cast<PatchPos>(headSize() - 6 + 1));
  EXPECT_EQ(b[pos - 1], isNew() ? 0x18 : 0x16);
  EXPECT_EQ(b[pos], 1);
  // A wider duration stops at 65,535 and never spills into the tween-kind byte.
  const auto wide = Written([&](auto f) { TWIN(WriteEmptyFrame)(f, 0x12345); });
  EXPECT_BYTES(wide, Concat({head(0xFFFF), tail(), kJoint}));
}

TEST_P(KeyframeAtLevel, CompleteUnnamedKeyframes) {
  const auto last = Written([&](auto f) { TWIN(WriteLastEmptyFrame)(f, 7); });
  EXPECT_EQ(last.size(), isNew() ? 145u : 125u);
  EXPECT_BYTES(last, Concat({head(7), tail(), kEnd}));
  EXPECT_BYTES(Written([&](auto f) { TWIN(WriteEmptyFrame)(f, 7); }), Concat({head(7), tail(), kJoint}));
  // The extended writer ignores its last two values whatever they hold.
  EXPECT_BYTES(Written([&](auto f) { TWIN(WriteEmptyFrameEx)(f, 9, 0xFFFFFFFF, 0x12345678); }),
               Concat({head(9), tail(), kJoint}));
  EXPECT_BYTES(Written([&](auto f) { TWIN(WriteFrameHead)(f), TWIN(WriteLastFrameTail)(f); }),
               Concat({head(), tail(), kEnd}));
}

TEST_P(KeyframeAtLevel, PartialFramesLeaveTheRestToTheCaller) {
  PatchPos pos = 0;
  // The first frame stops inside its tail.
  const auto first = Written([&](auto f) { pos = TWIN(WriteFirstFrame)(f); });
  EXPECT_BYTES(first, isNew() ? Concat({head(), Slice(tail(), 0, 40)})
                              : Concat({head(), Slice(tail(), 0, 19), std::vector<uint8_t>(23, 0)}));
  EXPECT_EQ(pos, static_cast<PatchPos>(headSize() - 6));

  const auto next = Written([&](auto f) { TWIN(WriteFrameHead)(f), pos = TWIN(WriteNextFrame)(f); });
  EXPECT_BYTES(next, Concat({head(), tail(), kJoint, head()}));
  EXPECT_EQ(pos, static_cast<PatchPos>(next.size() - 6));

  // The single frame's first three bytes are the caller's.
  const auto single = Written([&](auto f) { std::fputs(isNew() ? "\4" : "\1", f), PutU16(f, 0);
                                            pos = TWIN(WriteSingleFrame)(f); });
  EXPECT_BYTES(single, Concat({head(), tail(), kEnd}));
  EXPECT_EQ(pos, static_cast<PatchPos>(headSize() - 6));
  EXPECT_BYTES(Written([&](auto f) { TWIN(FinishLastFrame)(f); }),
               Concat({Slice(tail(), 11, isNew() ? 84 : 66), kEnd}));
}

TEST_P(KeyframeAtLevel, LabelFrames) {
  // Empty label, no flag, no next frame: the last empty frame of length 1.
  EXPECT_BYTES(Written([&](auto f) { TWIN(WriteLabelFrame)(f, "", false, 0); }), Concat({head(), tail(), kEnd}));
  EXPECT_BYTES(Written([&](auto f) { TWIN(WriteLabelFrame)(f, "ab", true, 1); }),
               Concat({head(), tail("ab", 1), kJoint}));
  EXPECT_BYTES(Slice(tail("ab", 1), 15, isNew() ? 25 : 21),
               FromHex(isNew() ? "FFFF FFFEFF 02 6100 6200" : "FFFF 02 6162 01"));
  // A label past 254 characters keeps every character behind the long length.
  const std::string label(300, 'L');
  EXPECT_BYTES(Written([&](auto f) { TWIN(WriteLabelFrame)(f, label, false, 0); }),
               Concat({head(), tail(label), kEnd}));
}

INSTANTIATE_TEST_SUITE_P(Levels, KeyframeAtLevel, ::testing::Values(0, 1, 2, 3));

}  // namespace
}  // namespace tovrani::test
