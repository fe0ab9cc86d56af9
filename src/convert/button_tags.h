// DefineButton (7) and DefineButton2 (34): a button becomes one symbol page
// whose four frames are its states Up, Over, Down and Hit. Each depth of
// its records is a layer "B" holding every record in the frames of the
// states it shows; the button's sounds follow as layers of their own. The
// page is placed as a button symbol, so the timelines that place the button
// write button instances. Button actions are not converted.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "convert/placements.h"
#include "swf/swf_values.h"

namespace tovrani {

struct ConverterContext;

inline constexpr char kButtonPageName[] = "butt";

// One BUTTONRECORD as read.
struct ButtonRecord {
  uint8_t states = 0;  // bits 0-3 Up, Over, Down, Hit
  uint16_t characterId = 0;
  uint16_t depth = 0;
  SwfMatrix matrix;
  SwfCxform colorTransform;
  std::vector<uint8_t> filterBlock;  // empty without filters
  uint8_t blendMode = 1;
  PlacedCharacter character;  // what the id names; kind 0xFF when nothing
};

// The records of a button body (its id, and for DefineButton2 the
// TrackAsMenu byte and ActionOffset, included), matched against the
// characters converted so far. A record that cannot be read whole ends the
// list; what was read before it is kept. Records at depth 0 are moved above
// the others.
std::vector<ButtonRecord> ReadButtonRecords(const ConverterContext& ctx, uint16_t code,
                                            std::span<const uint8_t> body);

// The tag loop's handler of both tags (its own gate: length and the option
// "Button").
void ConvertButton(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body);

}  // namespace tovrani
