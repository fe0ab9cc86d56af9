#include "swf/id_range_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tovrani {
namespace {

std::vector<std::pair<uint16_t, uint16_t>> Ranges(const std::string& text) {
  IdRangeList list;
  AddIdRangesFromText(text, list);
  std::vector<std::pair<uint16_t, uint16_t>> out;
  for (int32_t k = 0; k < list.count(); ++k) out.push_back({list.low(k), list.high(k)});
  return out;
}

using R = std::vector<std::pair<uint16_t, uint16_t>>;

TEST(IdRangeList, TypedItems) {
  EXPECT_EQ(Ranges("5"), (R{{5, 5}}));
  EXPECT_EQ(Ranges("3-9"), (R{{3, 9}}));
  EXPECT_EQ(Ranges("40-7"), (R{{7, 40}}));
  EXPECT_EQ(Ranges("0"), R{});
  EXPECT_EQ(Ranges("0-4"), (R{{0, 4}}));
  EXPECT_EQ(Ranges("12,20-25,"), (R{{12, 12}, {20, 25}}));
  EXPECT_EQ(Ranges("1, 2 ,3"), (R{{1, 1}, {2, 2}, {3, 3}}));
}

TEST(IdRangeList, LongDigitRunsStopAndClamp) {
  // Digits extend a value only while it is below 10000.
  EXPECT_EQ(Ranges("123456"), (R{{12345, 12345}}));
  EXPECT_EQ(Ranges("10000"), (R{{10000, 10000}}));
  EXPECT_EQ(Ranges("65535"), (R{{65535, 65535}}));
  // 65536 and 99999 would wrap in 16 bits; they are clamped instead.
  EXPECT_EQ(Ranges("65536"), (R{{65535, 65535}}));
  EXPECT_EQ(Ranges("99999999"), (R{{65535, 65535}}));
  EXPECT_EQ(Ranges("70000-3"), (R{{3, 65535}}));
}

TEST(IdRangeList, EmptyAndGarbageText) {
  EXPECT_EQ(Ranges(""), R{});
  EXPECT_EQ(Ranges(",,,"), R{});
  EXPECT_EQ(Ranges("abc"), R{});
  EXPECT_EQ(Ranges("-"), R{});
  EXPECT_EQ(Ranges("5-"), (R{{5, 5}}));
  EXPECT_EQ(Ranges("-8"), (R{{8, 8}}));
  EXPECT_EQ(Ranges("x7y,--2"), (R{{7, 7}, {2, 2}}));
}

TEST(IdRangeList, ContainsAndClear) {
  IdRangeList list;
  EXPECT_FALSE(list.Contains(0));
  EXPECT_FALSE(list.Contains(65535));
  list.AddRange(40, 7);
  list.AddRange(40, 7);
  list.AddRange(65535, 65535);
  EXPECT_EQ(list.count(), 3);
  EXPECT_TRUE(list.Contains(7));
  EXPECT_TRUE(list.Contains(40));
  EXPECT_FALSE(list.Contains(41));
  EXPECT_TRUE(list.Contains(65535));
  list.Clear();
  EXPECT_EQ(list.count(), 0);
  EXPECT_FALSE(list.Contains(7));
  list.Clear();
  list.AddRange(1, 1);
  EXPECT_TRUE(list.Contains(1));
}

}  // namespace
}  // namespace tovrani
