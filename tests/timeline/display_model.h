// A test-side model of what a timeline shows: the display list at every
// frame, computed straight from the tags with a parser of its own. Depth
// numbers are left out: each frame is the list of objects in stacking order,
// each with what it covers when it is a mask, so two tag streams that differ
// only in how they number depths give equal frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrani::test {

struct ShownItem {
  uint16_t character = 0;
  std::string attributes;  // the placement bytes that set it, depth and clip left out
  bool isMask = false;
  uint32_t covers = 0;  // objects after it in the list that it masks
  bool operator==(const ShownItem&) const = default;
};
using ShownFrame = std::vector<ShownItem>;

// The frames of the tags in data[begin, end). Tags after the last ShowFrame
// are not shown. Unknown and cut-short tags are ignored.
std::vector<ShownFrame> ShownFrames(const std::vector<uint8_t>& data, size_t begin, size_t end);

std::string Describe(const std::vector<ShownFrame>& frames);

// Tag builders for the timeline tests.
struct Place {
  uint16_t depth = 1;
  uint16_t character = 0;  // 0: none
  int32_t clip = -1;       // -1: no clip depth
  bool move = false;
  int32_t x = 0;           // a matrix with this translation when >= 0
  const char* name = "";   // with HasName when not empty
};
std::vector<uint8_t> PlaceObject2Tag(const Place& p, bool forceLong = false);
std::vector<uint8_t> PlaceObject3Tag(const Place& p);
std::vector<uint8_t> RemoveObject2Tag(uint16_t depth);
std::vector<uint8_t> RemoveObjectTag(uint16_t character, uint16_t depth);
std::vector<uint8_t> ShowFrameTag();

}  // namespace tovrani::test
