#include "fla/item_names.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tovrani {
namespace {

TEST(ItemNames, NumberedNamesHaveNoLeadingZeros) {
  EXPECT_EQ(MakeSymbolName(0), "Symbol 0");
  EXPECT_EQ(MakeSymbolName(65535), "Symbol 65535");
  EXPECT_EQ(MakeSymbolName(65535).size(), 12u);
  EXPECT_EQ(MakeIdName(0), "ID 0");
  EXPECT_EQ(MakeIdName(407), "ID 407");
  EXPECT_EQ(MakeLevelName(10), "Level 10");
  EXPECT_EQ(std::strlen(MakeLevelName(10).c_str()), 8u);
}

TEST(ItemNames, MediaNamesStayWithinNineCharacters) {
  EXPECT_EQ(MakeMediaName(0), "Media 0");
  EXPECT_EQ(MakeMediaName(999), "Media 999");
  EXPECT_EQ(MakeMediaName(1000), "Media1000");
  EXPECT_EQ(MakeMediaName(9999), "Media9999");
  EXPECT_EQ(MakeMediaName(10000), "Medx10000");
  EXPECT_EQ(MakeMediaName(12345), "Medx12345");
  for (uint32_t n = 0; n <= 65535; n += 7) EXPECT_LE(MakeMediaName(n).size(), 9u) << n;
}

TEST(ItemNames, BNumberNamesAreFiveDigits) {
  const std::string zero = MakeBNumberName(0);
  EXPECT_EQ(zero, "b00000");
  EXPECT_EQ(zero.c_str()[6], '\0');
  EXPECT_EQ(MakeBNumberName(42), "b00042");
  EXPECT_EQ(MakeBNumberName(65535), "b65535");
}

}  // namespace
}  // namespace tovrani
