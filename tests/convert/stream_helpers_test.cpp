// The finish's small helpers that no conversion step calls.
#include "convert/stream_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tovrani {
namespace {

TEST(StreamHelpers, IntPowerGivesTheBaseForSmallExponentsAndWraps) {
  EXPECT_EQ(IntPower(2, 10), 1024);
  EXPECT_EQ(IntPower(3, 5), 243);
  EXPECT_EQ(IntPower(10, 9), 1000000000);
  // An exponent of 1 or less gives the base, not 1 or a fraction.
  for (int32_t e : {1, 0, -1, INT32_MIN}) EXPECT_EQ(IntPower(7, e), 7) << e;
  EXPECT_EQ(IntPower(0, 5), 0);
  // The product wraps as 32 bits: 2^31 is the most negative value, 2^32 is 0,
  // 65535^3 keeps its low 32 bits; the largest exponent ends at once.
  EXPECT_EQ(IntPower(2, 31), INT32_MIN);
  EXPECT_EQ(IntPower(2, 32), 0);
  EXPECT_EQ(IntPower(65535, 3), 0x2FFFF);
  EXPECT_EQ(IntPower(1, INT32_MAX), 1);
  EXPECT_EQ(IntPower(65535, INT32_MAX), -65537);  // 0xFFFEFFFF
}

TEST(StreamHelpers, NextIndexWrapsAtTheTop) {
  EXPECT_EQ(NextIndex(0), 1u);
  EXPECT_EQ(NextIndex(41), 42u);
  EXPECT_EQ(NextIndex(UINT32_MAX), 0u);
}

}  // namespace
}  // namespace tovrani
