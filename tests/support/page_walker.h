// Walks a page stream by the archive's tag scheme and checks that every tag
// resolves:
//   FF FF, u16 schema, u16 length, name   a new class (one index), then its
//                                          first object (the next index)
//   u16 0x8000 | k                        a new object of class k
//   FF 7F, u32 0x80000000 | k             the same with a wide index
// The object layouts are not known here, so tags are found by a scan: a
// known-class tag counts when it is followed by its class's version byte and
// then 00 or 02 (or stands right after the previous object's head). A byte
// pair that looks like such a tag but names an index that is no class is a
// reference that does not resolve, and fails the walk.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tovrani::test {

struct PageObject {
  std::string className;
  size_t offset = 0;  // of the tag that made it
};

struct PageWalk {
  bool ok = true;
  std::string error;                          // the first failure
  std::map<uint32_t, std::string> classes;    // map index -> class name
  std::map<uint32_t, PageObject> objects;     // map index -> object
  uint32_t nextIndex = 1;                     // the index the next tag takes

  size_t count(std::string_view className) const;
  // An object reference: true when index names an object of className.
  bool resolves(uint32_t index, std::string_view className) const;
};

// Byte ranges [first, second) whose bytes are data the scan must not take
// for tags (the edge records of shape objects, say).
using ByteSpans = std::vector<std::pair<size_t, size_t>>;

PageWalk WalkPage(const std::vector<uint8_t>& page, const ByteSpans& opaque = {});

// For EXPECT_TRUE: the walk succeeded, with the page head's three classes
// where the archive puts them.
::testing::AssertionResult PageWalksClean(const std::vector<uint8_t>& page,
                                          const ByteSpans& opaque = {});

// What a page shows, read back from the walk's objects in page order: a
// CPicLayer opens a layer, a CPicFrame a keyframe of it (its duration is the
// word after the head's fixed fields), a CPicSymbol, CPicSprite or
// CPicButton an instance in it, a CPicText a text object, a CPicVideoStream
// a video.
struct PageInstance {
  uint16_t symbol = 0;  // the library item it names (a video's too); 0 for a text
  bool text = false;
  bool video = false;        // a CPicVideoStream
  int32_t box[4] = {};       // a text's box: left, right, top, bottom (twips)
  int32_t matrix[6] = {};  // a, b, c, d (16.16), tx, ty (twips)
  uint16_t frameOffset = 0;  // the first frame an instance shows of its symbol
  uint16_t playMode = 0;     // 0 loop, 1 play once, 2 single frame
  // Multiply and add terms (multiplies over 256) of alpha, red, green, blue.
  int16_t color[8] = {256, 0, 256, 0, 256, 0, 256, 0};
};
struct PageKeyframe {
  uint32_t start = 0, duration = 0;
  uint8_t tween = 0;  // 1: a motion tween runs to the next keyframe
  uint16_t sound = 0;  // the sound item the keyframe starts, 0 for none
  int16_t easing = 0;  // of a motion tween
  std::vector<PageInstance> instances;
};
struct PageLayer {
  std::vector<PageKeyframe> keyframes;
  uint32_t frames() const {
    return keyframes.empty() ? 0 : keyframes.back().start + keyframes.back().duration;
  }
};
std::vector<PageLayer> ReadPageLayers(const std::vector<uint8_t>& page, const PageWalk& walk);

// The kind byte of the symbol page record named `name` in a Contents stream,
// -1 when the library holds no such page of item `item`.
int SymbolPageKind(const std::vector<uint8_t>& contents, const std::string& name, uint16_t item);

// The page walks, every instance names one of `items` (when given) and,
// when `frames` is given, every layer's keyframes and gaps add up to at
// most `frames` and the longest to exactly that.
::testing::AssertionResult PageFitsDocument(const std::vector<uint8_t>& page,
                                            std::optional<uint32_t> frames,
                                            const std::set<uint16_t>* items);

}  // namespace tovrani::test
