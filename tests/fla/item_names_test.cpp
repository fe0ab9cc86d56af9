#include "fla/item_names.h"

#include <gtest/gtest.h>

namespace tovrani {
namespace {

TEST(ItemNames, NumberedNames) {
  const std::pair<std::string, const char*> rows[] = {
      {MakeSymbolName(0), "Symbol 0"},   {MakeSymbolName(65535), "Symbol 65535"},
      {MakeIdName(407), "ID 407"},       {MakeLevelName(10), "Level 10"},
      {MakeBNumberName(0), "b00000"},    {MakeBNumberName(42), "b00042"},
      {MakeBNumberName(65535), "b65535"},
      // Media names stay within nine characters.
      {MakeMediaName(999), "Media 999"}, {MakeMediaName(1000), "Media1000"},
      {MakeMediaName(9999), "Media9999"}, {MakeMediaName(10000), "Medx10000"},
  };
  for (const auto& [made, expected] : rows) EXPECT_EQ(made, expected);
  for (uint32_t n = 0; n <= 65535; n += 7) EXPECT_LE(MakeMediaName(n).size(), 9u) << n;
}

}  // namespace
}  // namespace tovrani
