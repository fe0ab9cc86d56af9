#include "platform/id_range_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tovrani {
namespace {

using R = std::vector<std::pair<uint16_t, uint16_t>>;

TEST(IdRangeList, TypedText) {
  const std::pair<std::string, R> cases[] = {
      {"5", {{5, 5}}}, {"3-9", {{3, 9}}}, {"40-7", {{7, 40}}}, {"0", {}}, {"0-4", {{0, 4}}},
      {"12,20-25,", {{12, 12}, {20, 25}}}, {"1, 2 ,3", {{1, 1}, {2, 2}, {3, 3}}},
      // A digit extends a value only while it is below 10000; values past
      // 65535 are clamped, never wrapped.
      {"123456", {{12345, 12345}}}, {"65535", {{65535, 65535}}}, {"65536", {{65535, 65535}}},
      {"99999999", {{65535, 65535}}}, {"70000-3", {{3, 65535}}},
      {"", {}}, {",,,", {}}, {"abc", {}}, {"-", {}}, {"5-", {{5, 5}}}, {"x7y,--2", {{7, 7}, {2, 2}}},
  };
  for (const auto& [text, want] : cases) {
    IdRangeList list;
    AddIdRangesFromText(text, list);
    R got;
    for (int32_t k = 0; k < list.count(); ++k) got.push_back({list.low(k), list.high(k)});
    EXPECT_EQ(got, want) << '"' << text << '"';
  }
}

TEST(IdRangeList, ContainsAndClear) {
  IdRangeList list;
  EXPECT_FALSE(list.Contains(0) || list.Contains(65535));
  list.AddRange(40, 7);
  list.AddRange(65535, 65535);
  EXPECT_TRUE(list.Contains(7) && list.Contains(40) && list.Contains(65535));
  EXPECT_FALSE(list.Contains(41));
  list.Clear();
  EXPECT_FALSE(list.Contains(7));
}

}  // namespace
}  // namespace tovrani
