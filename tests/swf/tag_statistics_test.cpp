#include "swf/tag_statistics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "support/swf_writer.h"
#include "swf/converter_context.h"

namespace tovrani {
namespace {

using test::SwfWriter;

std::vector<uint8_t> Place2(uint16_t depth, bool move, bool withCharacter) {
  std::vector<uint8_t> b = {uint8_t((move ? 1 : 0) | (withCharacter ? 2 : 0)), uint8_t(depth),
                            uint8_t(depth >> 8)};
  if (withCharacter) {
    b.push_back(7);
    b.push_back(0);
  }
  return b;
}
std::vector<uint8_t> Place1(uint16_t depth) { return {7, 0, uint8_t(depth), uint8_t(depth >> 8), 0x00}; }
std::vector<uint8_t> Place3(uint16_t depth) { return {0x01, 0x00, uint8_t(depth), uint8_t(depth >> 8)}; }
const std::vector<uint8_t> kLabel = {'a', 0};

// The tags every test timeline shares: depth 1 three times (place, move only,
// PlaceObject3), depth 2 once, depth 40000 once in the long form, two labels,
// and placements too short to hold their depth.
void AddCommonTags(SwfWriter& w) {
  w.tag(26, Place2(1, false, true)).tag(43, kLabel).showFrame();
  w.tag(26, Place2(1, true, false)).tag(4, Place1(2)).tag(43, kLabel);
  w.tag(70, Place3(1)).tag(26, Place2(40000, true, false), true);
  w.tag(26, {0x02}).tag(4, {7, 0, 3}).tag(70, {0, 0, 5}).showFrame();
}

struct MovieFile {
  explicit MovieFile(const std::vector<uint8_t>& tags) : data(7, 0xEE) {
    data.insert(data.end(), tags.begin(), tags.end());
    f = fmemopen(data.data(), data.size(), "rb");
    std::fseek(f, 7, SEEK_SET);
    ctx.m_pSwfFile = f;
    ctx.m_nSwfEnd = data.size();
  }
  ~MovieFile() { std::fclose(f); }
  std::vector<uint8_t> data;
  std::FILE* f;
  ConverterContext ctx;
};

TEST(TagStatistics, MainMovieCountsLabelsAndDepthsUpToEnd) {
  SwfWriter w;
  AddCommonTags(w);
  w.end().tag(26, Place2(5, false, true)).tag(43, kLabel);  // after End: not counted
  MovieFile m(w.tags());
  uint32_t labels = 3, slots = 0, highest = 0;
  ASSERT_TRUE(CountPlacementsInFile(m.ctx, labels, slots, highest));
  EXPECT_EQ(labels, 5u);
  EXPECT_EQ(slots, 3u + 5u);
  EXPECT_EQ(highest, 3u);
  EXPECT_EQ(std::ftell(m.f), 7);

  SwfWriter empty;
  empty.showFrame().end();
  MovieFile e(empty.tags());
  labels = 0;
  ASSERT_TRUE(CountPlacementsInFile(e.ctx, labels, slots, highest));
  EXPECT_EQ(slots, 5u);
  EXPECT_EQ(highest, 1u);
}

TEST(TagStatistics, MainMovieTagPastTheEndIsAnError) {
  SwfWriter w;
  w.tag(26, Place2(1, false, true)).showFrame();
  std::vector<uint8_t> tags = w.tags();
  auto cutTag = SwfWriter::TagBytes(26, std::vector<uint8_t>(100, 0));
  tags.insert(tags.end(), cutTag.begin(), cutTag.begin() + 10);
  MovieFile m(tags);
  uint32_t labels = 0, slots = 0, highest = 0;
  EXPECT_FALSE(CountPlacementsInFile(m.ctx, labels, slots, highest));
  EXPECT_EQ(std::ftell(m.f), 7);

  // Inside the file but past the movie's declared end.
  SwfWriter whole;
  whole.tag(26, Place2(1, false, true)).tag(43, kLabel).end();
  MovieFile n(whole.tags());
  n.ctx.m_nSwfEnd -= 3;
  EXPECT_FALSE(CountPlacementsInFile(n.ctx, labels, slots, highest));
  EXPECT_EQ(std::ftell(n.f), 7);
}

std::vector<uint8_t> SpriteBody(const SwfWriter& w) {
  std::vector<uint8_t> body(4 + w.tags().size());
  body[0] = 0x05;  // sprite id 5, two frames
  body[2] = 0x02;
  std::copy(w.tags().begin(), w.tags().end(), body.begin() + 4);
  return body;
}

TEST(TagStatistics, SpriteBodyRebuildsStatisticsInDepthOrder) {
  SwfWriter w;
  w.tag(26, Place2(9, false, true)).tag(26, Place2(9, true, false));
  AddCommonTags(w);
  w.end();
  ConverterContext ctx;
  ctx.m_pPlacementStats.push_back({123, 4});
  uint32_t labels = 1, depths = 1;
  auto body = SpriteBody(w);
  EXPECT_EQ(CountPlacements(ctx, body, labels, depths), 4u);
  EXPECT_EQ(labels, 3u);
  EXPECT_EQ(depths, 1u + 4u);
  ASSERT_EQ(ctx.m_pPlacementStats.size(), 4u);
  const uint16_t wantDepth[] = {1, 2, 9, 40000};
  const uint32_t wantCount[] = {3, 1, 2, 1};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(ctx.m_pPlacementStats[i].depth, wantDepth[i]);
    EXPECT_EQ(ctx.m_pPlacementStats[i].count, wantCount[i]);
  }

  SwfWriter none;
  none.end();
  auto emptyBody = SpriteBody(none);
  labels = depths = 0;
  EXPECT_EQ(CountPlacements(ctx, emptyBody, labels, depths), 1u);
  EXPECT_TRUE(ctx.m_pPlacementStats.empty());
  EXPECT_EQ(CountPlacements(ctx, std::span<const uint8_t>(emptyBody.data(), 2), labels, depths), 1u);
}

TEST(TagStatistics, SpriteTagPastTheEndEndsTheWalk) {
  SwfWriter w;
  w.tag(26, Place2(3, false, true));
  auto body = SpriteBody(w);
  auto cut = SwfWriter::TagBytes(26, {0x01, 0x04, 0x00, 0, 0, 0, 0, 0, 0, 0});
  body.insert(body.end(), cut.begin(), cut.begin() + 5);  // header and depth only
  ConverterContext ctx;
  uint32_t labels = 0, depths = 0;
  EXPECT_EQ(CountPlacements(ctx, body, labels, depths), 2u);
  EXPECT_EQ(depths, 2u);
}

}  // namespace
}  // namespace tovrani

namespace tovrani {
namespace {

TEST(TagStatistics, EveryDepthAndCountsAbove65535) {
  SwfWriter w;
  for (uint32_t d = 0; d < 0x10000; ++d) w.tag(26, Place2(uint16_t(d), true, false));
  for (int i = 0; i < 70000; ++i) w.tag(26, Place2(1, true, false));
  MovieFile m(w.tags());
  uint32_t labels = 0, slots = 0, highest = 0;
  ASSERT_TRUE(CountPlacementsInFile(m.ctx, labels, slots, highest));
  EXPECT_EQ(slots, 0x10000u + 5u);
  EXPECT_EQ(highest, 70001u);

  auto body = SpriteBody(w);
  uint32_t depths = 0;
  EXPECT_EQ(CountPlacements(m.ctx, body, labels, depths), 70002u);
  EXPECT_EQ(depths, 0x10000u);
  EXPECT_EQ(m.ctx.m_pPlacementStats.back().depth, 0xFFFF);
}

}  // namespace
}  // namespace tovrani
