#include "timeline/display_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tovrani {
namespace {

SwfMatrix Translate(int32_t tx) { SwfMatrix m; m.translateX = tx; return m; }
SwfCxform Tint(int16_t add) { SwfCxform c; c.rAdd = add; return c; }
DisplayEvent Place(uint16_t depth, uint16_t frame, uint16_t origDepth = 0) {
  DisplayEvent e;
  e.depth = depth;
  e.origDepth = origDepth ? origDepth : depth;
  e.frame = frame;
  return e;
}
DisplayEvent Remove(uint16_t depth, uint16_t frame) { DisplayEvent e = Place(depth, frame); e.isRemove = 1; return e; }

constexpr uint16_t kMove = kPlaceMove, kChar = kPlaceHasCharacter;

// Several layers share a key, several events a depth: each search must pick
// the last record that qualifies.
TEST(DisplayList, SearchesPickTheLastQualifyingRecord) {
  DepthLayerTable table;
  auto layer = [&](uint16_t key, uint16_t character, int32_t tx) {
    int32_t k = table.openLayer(key);
    SetDisplayEntry(table[size_t(k)], character, 0, 0, Tint(0), Translate(tx));
    table[size_t(k)].currentEntry().instanceName = std::string("n").append(std::to_string(character));
    return k;
  };
  layer(1, 1, 10);
  layer(2, 2, 20);
  layer(2, 3, 30);
  int32_t cur = layer(4, 4, 40);
  table[size_t(cur)].advanceEntry();
  // Depth 5 in frame 2 continues original depth 9, last shown at depth 2.
  std::vector<DisplayEvent> events = {Place(1, 1, 9), Place(2, 1, 9), Place(6, 1, 8), Remove(5, 2), Place(5, 2, 9),
                                      Place(5, 2, 8)};
  events[3].origDepth = 9;
  // Depth 7 is restored three times; the last source has no layer, so the
  // one before it supplies the attributes; a record of character 0 counts not.
  std::vector<CharacterRestore> restores = {{5, 7, 1}, {6, 7, 2}, {7, 7, 99}, {0, 7, 1}};
  DisplayEventIndex index(events, restores);
  DepthIdCache cache;

  InheritOutputs move;
  InheritDisplayAttributes(16, kMove, cur, table, 5, 1, move, index, cache);
  EXPECT_EQ(move.character, 3);
  EXPECT_EQ(move.matrix.translateX, 30);
  EXPECT_EQ(move.name, "n3");

  InheritOutputs restored;
  restored.flag = 1;
  InheritDisplayAttributes(26, kMove | kChar, cur, table, 7, 0, restored, index, cache);
  EXPECT_EQ(restored.character, 7);
  EXPECT_EQ(restored.flag, 0);
  EXPECT_EQ(restored.matrix.translateX, 30);
  EXPECT_EQ(table[size_t(cur)].currentEntry().instanceName, "n3");
  uint16_t id = 0;
  ASSERT_TRUE(cache.lookup(7, id));
  EXPECT_EQ(id, 7);
  EXPECT_TRUE(cache.removeLast(7));
  ASSERT_TRUE(cache.lookup(7, id));
  EXPECT_EQ(id, 6);

  // A cached pair answers first; without one, the layer's previous entry.
  cache.push(8, 11);
  InheritOutputs cached, previous;
  cached.flag = 1;
  InheritDisplayAttributes(27, 0, cur, table, 8, 0, cached, index, cache);
  InheritDisplayAttributes(26, 0, cur, table, 3, 0, previous, index, cache);
  EXPECT_EQ(cached.character, 11);
  EXPECT_EQ(cached.flag, 1);
  EXPECT_EQ(previous.character, 4);
}

TEST(DisplayList, CacheAnswersTheLastPairOfADepth) {
  std::mt19937 rng(12345);
  DepthIdCache cache;
  std::vector<std::pair<uint16_t, uint16_t>> model;
  for (int step = 0; step < 20000; ++step) {
    uint16_t d = uint16_t(rng() % 4), id = uint16_t(rng() % 9);
    if (rng() % 4 == 0) {
      cache.push(d, id);
      model.push_back({d, id});
    } else if (rng() % 3 == 0) {
      auto run = std::make_shared<const std::vector<uint16_t>>(std::vector<uint16_t>{id, uint16_t(id + 1), 0});
      cache.pushRun(d, run);
      for (uint16_t x : *run) model.push_back({d, x});
    } else {
      auto it = std::find_if(model.rbegin(), model.rend(), [&](auto& p) { return p.first == d; });
      ASSERT_EQ(cache.removeLast(d), it != model.rend());
      if (it != model.rend()) model.erase(std::next(it).base());
    }
    ASSERT_EQ(cache.count(), model.size());
    uint16_t got = 0xFFFF, want = 0xFFFF;
    cache.lookup(d, got);
    for (auto& [md, mid] : model)
      if (md == d) want = mid;
    ASSERT_EQ(got, want) << step;
  }
}

TEST(DisplayList, ManyRestoresAndPlacementsAtOneDepthStayFast) {
  // 100,000 restore records at one depth, each from another source depth,
  // and as many placements without a character there.
  std::vector<CharacterRestore> restores;
  for (uint32_t i = 0; i < 100000; ++i) restores.push_back({uint16_t(i % 3), 7, uint16_t(100 + i % 60000)});
  DisplayEventIndex index({}, restores);
  DepthLayerTable table;
  DepthIdCache cache;
  int32_t layer = table.openLayer(7);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100000; ++i) {
    InheritOutputs out;
    InheritDisplayAttributes(26, kPlaceMove, layer, table, 7, 0, out, index, cache);
    ASSERT_NE(out.character, 0);
    if (i % 2) cache.removeLast(7);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace tovrani
