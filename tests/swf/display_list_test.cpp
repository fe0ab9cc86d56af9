#include "swf/display_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tovrani {
namespace {

SwfMatrix Translate(int32_t tx) {
  SwfMatrix m;
  m.translateX = tx;
  return m;
}
SwfCxform Tint(int16_t add) {
  SwfCxform c;
  c.rAdd = add;
  return c;
}
DisplayEvent Place(uint16_t depth, uint16_t frame, uint16_t origDepth = 0) {
  DisplayEvent e;
  e.depth = depth;
  e.origDepth = origDepth ? origDepth : depth;
  e.frame = frame;
  return e;
}
DisplayEvent Remove(uint16_t depth, uint16_t frame) {
  DisplayEvent e = Place(depth, frame);
  e.isRemove = 1;
  return e;
}

constexpr uint16_t kMove = kPlaceMove, kChar = kPlaceHasCharacter, kMatrix = kPlaceHasMatrix;

TEST(DisplayList, PlacementMoveReplacementAndRemovalAtOneDepth) {
  const std::string longName(400, 'n');
  // Depth 3 placed in frame 1, moved in frame 2, removed and replaced in 3.
  std::vector<DisplayEvent> events = {Place(3, 1), Place(3, 2), Remove(3, 3), Place(3, 3)};
  DisplayEventIndex index(events, {});
  DepthLayerTable table;
  DepthIdCache cache;
  int32_t layer = table.openLayer(3);
  DepthLayerRecord& rec = table[size_t(layer)];
  SetDisplayEntry(rec, 7, 0, 11, Tint(40), Translate(100));
  rec.currentEntry().instanceName = longName;

  // Move with a new matrix: character, colour and name come from entry 0.
  rec.advanceEntry();
  InheritOutputs out;
  out.matrix = Translate(200);
  InheritDisplayAttributes(16, kMove | kMatrix, layer, table, 3, 1, out, index, cache);
  EXPECT_EQ(out.character, 7);
  EXPECT_EQ(out.colour.rAdd, 40);
  EXPECT_EQ(out.matrix.translateX, 200);
  EXPECT_EQ(out.name, longName);
  EXPECT_EQ(out.nameSet, 1);
  SetDisplayEntry(rec, out.character, 1, 11, out.colour, out.matrix);
  const DisplayListEntry& moved = rec.entries[1];
  EXPECT_EQ(moved.characterId, 7);
  EXPECT_EQ(moved.startFrame, 1);
  EXPECT_EQ(moved.endFrame, kNeverRemoved);
  EXPECT_EQ(moved.instanceName, longName);
  EXPECT_EQ(rec.entries[0].matrix.translateX, 100);

  // The removal event of frame 3 is passed over; the replacement keeps its
  // own character and takes the rest from the moved entry.
  rec.currentEntry().endFrame = 2;
  rec.advanceEntry();
  InheritOutputs rep;
  rep.character = 9;
  InheritDisplayAttributes(17, kMove | kChar, layer, table, 3, 2, rep, index, cache);
  EXPECT_EQ(rep.character, 9);
  EXPECT_EQ(rep.matrix.translateX, 200);
  EXPECT_EQ(rep.colour.rAdd, 40);
  EXPECT_EQ(rec.entries[2].instanceName, longName);
  EXPECT_EQ(rec.entries[1].endFrame, 2);

  // No event for (depth, frame), or no move flag: nothing changes.
  InheritOutputs none;
  none.character = 5;
  InheritDisplayAttributes(16, kMove, layer, table, 3, 8, none, index, cache);
  InheritDisplayAttributes(16, 0, layer, table, 3, 1, none, index, cache);
  EXPECT_EQ(none.character, 5);
  EXPECT_EQ(none.nameSet, 0);
}

// The searches as plain scans over every record, in the order the records
// are kept: the indexed routine must give the same results.
struct Reference {
  std::vector<DepthLayerRecord> layers;
  std::vector<std::pair<uint16_t, uint16_t>> cache;

  const DisplayListEntry* source(int32_t k, int32_t cur) const {
    const DepthLayerRecord& r = layers[size_t(k)];
    int32_t i = k == cur ? r.lastEntry - 1 : r.lastEntry;
    return i < 0 ? nullptr : &r.entries[size_t(i)];
  }
  void takeOver(const DisplayListEntry& s, bool withChar, uint16_t flags, DisplayListEntry& target,
                InheritOutputs& out) {
    if (withChar && !(flags & kPlaceHasCharacter)) out.character = s.characterId;
    if (!(flags & kPlaceHasMatrix)) out.matrix = s.matrix;
    if (!(flags & kPlaceHasColor)) out.colour = s.colorTransform;
    if (!(flags & kPlaceHasName)) {
      out.name = s.instanceName;
      target.instanceName = s.instanceName;
      out.nameSet = 1;
    }
  }
  void run(uint8_t kind, uint16_t flags, int32_t cur, uint16_t depth, uint32_t frameIndex,
           InheritOutputs& out, const std::vector<DisplayEvent>& ev, const std::vector<CharacterRestore>& rs) {
    DisplayListEntry& target = layers[size_t(cur)].entries[size_t(layers[size_t(cur)].lastEntry)];
    if (kind >= 16 && kind <= 19) {
      if (!(flags & kPlaceMove)) return;
      int64_t i = -1, j = -1;
      for (size_t n = 0; n < ev.size() && i < 0; ++n)
        if (!ev[n].isRemove && ev[n].depth == depth && ev[n].frame == frameIndex + 1) i = int64_t(n);
      if (i < 0) return;
      for (int64_t n = 0; n < i; ++n)
        if (!ev[size_t(n)].isRemove && ev[size_t(n)].origDepth == ev[size_t(i)].origDepth) j = n;
      if (j < 0) return;
      for (size_t k = 0; k < layers.size(); ++k)
        if (layers[k].key == ev[size_t(j)].depth)
          if (const DisplayListEntry* s = source(int32_t(k), cur)) takeOver(*s, true, flags, target, out);
    } else if (kind >= 26 && kind <= 27) {
      out.character = 0;
      for (auto& [d, id] : cache)
        if (d == depth) out.character = id;
      if (out.character == 0) {
        for (const CharacterRestore& r : rs) {
          if (r.depth != depth || r.characterId == 0) continue;  // no character: nothing to restore
          out.flag = 0;
          out.character = r.characterId;
          cache.push_back({depth, r.characterId});
          for (size_t k = 0; k < layers.size(); ++k)
            if (layers[k].key == r.sourceDepth)
              if (const DisplayListEntry* s = source(int32_t(k), cur)) takeOver(*s, false, flags, target, out);
        }
      }
      if (out.character == 0 && layers[size_t(cur)].lastEntry > 0)
        out.character = layers[size_t(cur)].entries[size_t(layers[size_t(cur)].lastEntry - 1)].characterId;
    }
  }
};

TEST(DisplayList, IndexedSearchesMatchPlainScans) {
  std::mt19937 rng(12345);
  auto pick = [&](int lo, int hi) { return int(rng() % unsigned(hi - lo + 1)) + lo; };
  const char* names[] = {"", "a", "bb"};
  for (int trial = 0; trial < 3000; ++trial) {
    DepthLayerTable table;
    Reference ref;
    DepthIdCache cache;
    int layerCount = pick(1, 6);
    for (int k = 0; k < layerCount; ++k) {
      DepthLayerRecord& r = table[size_t(table.openLayer(uint32_t(pick(1, 5))))];
      int entries = pick(1, 3);
      for (int e = 0; e < entries; ++e) {
        DisplayListEntry& x = e == 0 ? r.currentEntry() : r.advanceEntry();
        x.characterId = uint16_t(pick(0, 3));
        x.matrix = Translate(pick(-50, 50));
        x.colorTransform = Tint(int16_t(pick(-9, 9)));
        x.instanceName = names[pick(0, 2)];
      }
    }
    ref.layers.assign(table.records().begin(), table.records().begin() + layerCount);
    std::vector<DisplayEvent> events(size_t(pick(0, 30)));
    for (auto& e : events) {
      e = Place(uint16_t(pick(1, 5)), uint16_t(pick(1, 6)), uint16_t(pick(1, 5)));
      e.isRemove = pick(0, 4) == 0;
    }
    std::vector<CharacterRestore> restores(size_t(pick(0, 8)));
    for (auto& r : restores) r = {uint16_t(pick(0, 3)), uint16_t(pick(1, 5)), uint16_t(pick(1, 5))};
    for (int n = pick(0, 4); n > 0; --n) {
      uint16_t d = uint16_t(pick(1, 5)), id = uint16_t(pick(0, 3));
      cache.push(d, id);
      ref.cache.push_back({d, id});
    }
    DisplayEventIndex index(events, restores);

    const uint8_t kinds[] = {16, 17, 18, 19, 26, 27};
    uint8_t kind = kinds[pick(0, 5)];
    uint16_t flags = uint16_t(pick(0, 0x3F));
    int32_t cur = pick(0, layerCount - 1);
    uint16_t depth = uint16_t(pick(1, 5));
    uint32_t frameIndex = uint32_t(pick(0, 6));
    InheritOutputs a, b;
    a.name = b.name = "x";
    a.flag = b.flag = 1;
    InheritDisplayAttributes(kind, flags, cur, table, depth, frameIndex, a, index, cache);
    ref.run(kind, flags, cur, depth, frameIndex, b, events, restores);

    SCOPED_TRACE(trial);
    ASSERT_EQ(a.character, b.character);
    ASSERT_EQ(a.matrix.translateX, b.matrix.translateX);
    ASSERT_EQ(a.colour.rAdd, b.colour.rAdd);
    ASSERT_EQ(a.name, b.name);
    ASSERT_EQ(a.nameSet, b.nameSet);
    ASSERT_EQ(a.flag, b.flag);
    const auto& mine = table[size_t(cur)];
    ASSERT_EQ(mine.entries[size_t(mine.lastEntry)].instanceName,
              ref.layers[size_t(cur)].entries[size_t(mine.lastEntry)].instanceName);
    // The cache answers alike, also after removals of the last pairs.
    for (int round = 0; round < 3; ++round) {
      ASSERT_EQ(cache.count(), ref.cache.size());
      for (uint16_t d = 0; d <= 6; ++d) {
        uint16_t id = 0xFFFF, want = 0xFFFF;
        cache.lookup(d, id);
        for (auto& [cd, cid] : ref.cache)
          if (cd == d) want = cid;
        ASSERT_EQ(id, want);
      }
      uint16_t d = uint16_t(pick(1, 5));
      bool removed = false;
      for (size_t n = ref.cache.size(); n-- > 0;) {
        if (ref.cache[n].first == d) {
          ref.cache.erase(ref.cache.begin() + int64_t(n));
          removed = true;
          break;
        }
      }
      ASSERT_EQ(cache.removeLast(d), removed);
    }
  }
}

}  // namespace
}  // namespace tovrani

namespace tovrani {
namespace {

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
