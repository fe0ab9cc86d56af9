#include "swf/tag_statistics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "support/swf_writer.h"
#include "swf/character_ids.h"
#include "convert/converter_context.h"

namespace tovrani {
namespace {

using test::SwfBytes;
using test::SwfWriter;
using Bytes = std::vector<uint8_t>;

Bytes Place2(uint16_t depth, uint8_t flags) { return {flags, uint8_t(depth), uint8_t(depth >> 8), 7, 0}; }
Bytes Place1(uint16_t depth) { return {7, 0, uint8_t(depth), uint8_t(depth >> 8), 0x00}; }
Bytes Place3(uint16_t depth) { return {0x01, 0x00, uint8_t(depth), uint8_t(depth >> 8)}; }
const Bytes kLabel = {'a', 0};

// Depth 1 three times (place, move only, PlaceObject3), depth 2 once,
// depth 40000 once in the long form, two labels, and placements too short to
// hold their depth.
void AddCommonTags(SwfWriter& w) {
  w.tag(26, Place2(1, 0x02)).tag(43, kLabel).showFrame();
  w.tag(26, Place2(1, 0x01)).tag(4, Place1(2)).tag(43, kLabel);
  w.tag(70, Place3(1)).tag(26, Place2(40000, 0x01), true);
  w.tag(26, {0x02, 0x05}).tag(4, {7, 0, 3}).tag(70, {0, 0, 5}).showFrame();
}

// The tags in a file after 7 bytes of something else, positioned at them.
struct MovieFile {
  explicit MovieFile(const Bytes& tags) : data(7, 0xEE) {
    data.insert(data.end(), tags.begin(), tags.end());
    f = fmemopen(data.data(), data.size(), "rb");
    std::fseek(f, 7, SEEK_SET);
    ctx.m_pSwfFile = f;
    ctx.m_nSwfEnd = data.size();
  }
  ~MovieFile() { std::fclose(f); }
  Bytes data;
  std::FILE* f;
  ConverterContext ctx;
};

Bytes SpriteBody(const Bytes& tags) {
  Bytes body = {5, 0, 2, 0};  // sprite id 5, two frames
  body.reserve(body.size() + tags.size());
  body.insert(body.end(), tags.begin(), tags.end());
  return body;
}

TEST(TagStatistics, MainMovieUpToEndAndTagsPastTheEnd) {
  SwfWriter w, empty;
  AddCommonTags(w);
  w.end().tag(26, Place2(5, 0x02)).tag(43, kLabel);  // after End: not counted
  empty.showFrame().end();
  MovieFile m(w.tags()), e(empty.tags());
  uint32_t labels = 3, slots = 0, highest = 0;
  ASSERT_TRUE(CountPlacementsInFile(m.ctx, labels, slots, highest));
  EXPECT_EQ(labels, 5u);
  EXPECT_EQ(slots, 3u + 5u);
  EXPECT_EQ(highest, 3u);
  EXPECT_EQ(std::ftell(m.f), 7);
  ASSERT_TRUE(CountPlacementsInFile(e.ctx, labels, slots, highest));
  EXPECT_EQ(slots, 5u);
  EXPECT_EQ(highest, 1u);

  // A body cut by the file's end, and one crossing the movie's declared end.
  Bytes cutTag = SwfWriter::TagBytes(26, Bytes(100, 0)), tags = empty.tags();
  tags.insert(tags.begin(), cutTag.begin(), cutTag.begin() + 10);
  MovieFile cut(tags), shortEnd(w.tags());
  shortEnd.ctx.m_nSwfEnd = 7 + 8;
  for (MovieFile* f : {&cut, &shortEnd}) {
    EXPECT_FALSE(CountPlacementsInFile(f->ctx, labels, slots, highest));
    EXPECT_EQ(std::ftell(f->f), 7);
  }
}

TEST(TagStatistics, SpriteBodyRebuildsStatisticsInDepthOrder) {
  SwfWriter w;
  w.tag(26, Place2(9, 0x02)).tag(26, Place2(9, 0x01));
  AddCommonTags(w);
  w.end();
  ConverterContext ctx;
  ctx.m_pPlacementStats.push_back({123, 4});
  uint32_t labels = 1, depths = 1;
  EXPECT_EQ(CountPlacements(ctx, SpriteBody(w.tags()), labels, depths), 4u);
  EXPECT_EQ(labels, 3u);
  EXPECT_EQ(depths, 1u + 4u);
  std::vector<std::pair<uint16_t, uint32_t>> got;
  for (const PlacementStat& s : ctx.m_pPlacementStats) got.push_back({s.depth, s.count});
  EXPECT_EQ(got, (std::vector<std::pair<uint16_t, uint32_t>>{{1, 3}, {2, 1}, {9, 2}, {40000, 1}}));

  labels = depths = 0;
  EXPECT_EQ(CountPlacements(ctx, SpriteBody(SwfWriter().end().tags()), labels, depths), 1u);
  EXPECT_TRUE(ctx.m_pPlacementStats.empty());

  // The last tag runs past the body: its depth still counts, the walk ends.
  Bytes body = SpriteBody(SwfWriter::TagBytes(26, Place2(3, 0x02)));
  Bytes cut = SwfWriter::TagBytes(26, {0x01, 0x04, 0x00, 0, 0, 0, 0, 0, 0, 0});
  body.insert(body.end(), cut.begin(), cut.begin() + 5);
  EXPECT_EQ(CountPlacements(ctx, body, labels, depths), 2u);
  EXPECT_EQ(depths, 2u);
}

// The ids tags define and name, in the movie and in a sprite: a
// PlaceObject3's character after its class name, the sounds of a
// DefineButtonSound after the information of each.
TEST(TagStatistics, CharacterIdsDefinedAndNamed) {
  SwfWriter sprite, w;
  sprite.tag(15, SwfBytes().u16(406).u8(0).data()).tag(2, {0x2C, 0x01}).tag(26, Place2(1, 0x02)).end();
  w.tag(2, {10, 0, 0}).tag(70, SwfBytes().u8(0x02).u8(0x08).u16(1).str("Cls").u16(400).data());
  w.tag(17, SwfBytes().u16(20).u16(0).u16(403).u8(0x0C).u16(2).u8(1).u32(0).u32(0).u16(404).u8(0).u16(0).data());
  w.tag(39, SwfBytes().u16(30).u16(1).bytes(sprite.tags()).data()).end();
  MovieFile m(w.tags());
  uint32_t labels = 0, slots = 0, highest = 0;
  CharacterIds ids;
  ASSERT_TRUE(CountPlacementsInFile(m.ctx, labels, slots, highest, &ids));
  EXPECT_EQ(ids.highestDefined, 300);
  std::vector<uint16_t> used;
  for (uint32_t id = 0; id < 65536; ++id)
    if (ids.used.test(id)) used.push_back(uint16_t(id));
  EXPECT_EQ(used, (std::vector<uint16_t>{7, 10, 20, 30, 300, 400, 403, 404, 406}));  // Place2 names 7
}

TEST(TagStatistics, EveryDepthAndCountsAbove65535) {
  SwfWriter w;
  for (uint32_t d = 0; d < 0x10000; ++d) w.tag(26, Place2(uint16_t(d), 0x01));
  for (int i = 0; i < 70000; ++i) w.tag(26, Place2(1, 0x01));
  MovieFile m(w.tags());
  uint32_t labels = 0, slots = 0, highest = 0, depths = 0;
  ASSERT_TRUE(CountPlacementsInFile(m.ctx, labels, slots, highest));
  EXPECT_EQ(slots, 0x10000u + 5u);
  EXPECT_EQ(highest, 70001u);
  EXPECT_EQ(CountPlacements(m.ctx, SpriteBody(w.tags()), labels, depths), 70002u);
  EXPECT_EQ(depths, 0x10000u);
}

}  // namespace
}  // namespace tovrani
