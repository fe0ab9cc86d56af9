// What a timeline shows, computed straight from the tags with a parser of
// its own, and a runner of the depth and mask-layer pass. Depth numbers are
// left out of a frame, so two tag streams that differ only in how they
// number depths give equal frames.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "convert/converter_context.h"
#include "timeline/depth_handoff.h"
#include "timeline/display_events.h"

namespace tovrani::test {

// A frame: the objects shown, bottom to top, each as its character and the
// bytes of the placements that set it (depth and clip depth left out, in
// hex), and per object the masks that cover it.
struct ShownFrame {
  std::vector<std::string> stacking;  // object keys in stacking order
  std::vector<std::string> coverage;  // "key<mask keys>" per object, sorted
  bool operator==(const ShownFrame&) const = default;
};

// What the pass left for a timeline, read the way the engine reads it: an
// object handed off at a frame leaves its depth, and a Move at a depth where
// nothing stands continues the handed-off object of the placement before it
// (same depth as read from the tags), with the character a restore record
// gives when the Move has none. A clip depth with bit 15 below depth 0x7F00
// is a disabled nested mask over its low 15 bits minus one depths.
struct PassRecords {
  const std::vector<DisplayEvent>* events = nullptr;
  const std::vector<DepthHandoff>* handoffs = nullptr;
  const std::vector<CharacterRestore>* restores = nullptr;
  uint64_t offset = 0;  // an event's position minus this is its index in the data
};
PassRecords MovieRecords(const ConverterContext& ctx);   // main movie (kLead)
PassRecords SpriteRecords(const ConverterContext& ctx);  // sprite body

// Calls fn(code, body offset, length) for each whole tag of data[begin, end).
void ForEachTag(const std::vector<uint8_t>& data, size_t begin, size_t end,
                const std::function<void(uint32_t, size_t, uint32_t)>& fn);
// The frames of the tags in data[begin, end): a main movie's when `begin`
// is 0, where a placement of a character first defined (or imported) after
// it is ignored, as players do; else a sprite body's (from offset 4), which
// resolves its characters when shown. Cut-short tags are ignored.
// With `pass`, the tags are read together with the pass's records.
std::vector<ShownFrame> ShownFrames(const std::vector<uint8_t>& data, size_t begin, size_t end,
                                    const PassRecords* pass = nullptr);

// How two runs of frames differ: frames that show other objects (character,
// matrix, colour); frames that show the same objects under other masks, or
// stacked otherwise (the pass moves objects above a mask's range on
// purpose).
struct FramesDiff {
  size_t changed = 0, masking = 0, restacked = 0;
  std::string first, firstMasking;  // the first such frame, both sides
};
FramesDiff CompareFrames(const std::vector<ShownFrame>& before, const std::vector<ShownFrame>& after);

// An object a frame shows: its character, its matrix (a, b, c, d in
// 16.16, tx, ty in twips) and colour terms after every placement that set
// them.
struct ShownObject {
  uint16_t character = 0;
  std::array<int32_t, 6> matrix{};
  uint32_t depth = 0;
  bool isMask = false;
  uint32_t clip = 0;  // a mask covers the depths after its own up to this
  // Multiply and add terms of alpha, red, green, blue (multiplies over 256).
  std::array<int16_t, 8> color{256, 0, 256, 0, 256, 0, 256, 0};
  std::string key;     // as in ShownFrame
  uint16_t ratio = 0;  // of a morph shape
};
// The same frames as objects, bottom first; with `pass`, a disabled nested
// mask (bit 15 of the clip depth) covers its group's depths, as the pass
// reads it, and without, a clip depth covers up to itself, as players read
// a movie.
std::vector<std::vector<ShownObject>> ShownObjects(const std::vector<uint8_t>& data, size_t begin,
                                                   size_t end, const PassRecords* pass = nullptr);

struct Place {
  uint16_t depth = 1;
  uint16_t character = 0;  // 0: none
  int32_t clip = -1;       // -1: no clip depth
  bool move = false;
  int32_t x = 0;          // a matrix with this translation when >= 0
  const char* name = "";  // with HasName when not empty
};
std::vector<uint8_t> PlaceObject2Tag(const Place& p);
std::vector<uint8_t> PlaceObject3Tag(const Place& p);
std::vector<uint8_t> RemoveObject2Tag(uint16_t depth);
std::vector<uint8_t> ShowFrameTag();
std::vector<uint8_t> Tags(std::initializer_list<std::vector<uint8_t>> parts);

constexpr uint64_t kLead = 21;  // bytes standing for the movie header before the tags

// The main movie: `tags` stand after kLead bytes in a work file; the pass
// runs from their start and `tags` receives what the file holds after it.
uint32_t RunMainPass(ConverterContext& ctx, std::vector<uint8_t>& tags);
// A sprite (id, frame count, tags); the pass changes `body` in place.
std::vector<uint8_t> SpriteBody(uint16_t id, const std::vector<uint8_t>& tags);
uint32_t RunSpritePass(ConverterContext& ctx, std::vector<uint8_t>& body);

// Runs the pass over `tags` as a main movie (or as a sprite) and compares
// what its frames show with the original tags, without asserting anything.
FramesDiff PassDiff(ConverterContext& ctx, const std::vector<uint8_t>& tags, bool sprite);
// The frames the pass leaves for `tags`, main movie or sprite; `objects`,
// when given, receives the same frames as objects.
std::vector<ShownFrame> PassFrames(ConverterContext& ctx, const std::vector<uint8_t>& tags, bool sprite,
                                   std::vector<std::vector<ShownObject>>* objects = nullptr);

// Runs the pass over `tags` as a main movie and as a sprite, each within
// `seconds`, and checks that neither changes the objects any frame shows,
// nor (unless `listed` is given to count them) their masks and stacking.
// Returns the main movie's tags.
std::vector<uint8_t> PassKeepsDisplay(ConverterContext& ctx, const std::vector<uint8_t>& tags,
                                      double seconds = 60, FramesDiff* listed = nullptr);

}  // namespace tovrani::test
