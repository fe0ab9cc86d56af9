// The display-list tags of the main timeline: PlaceObject, PlaceObject2,
// PlaceObject3, RemoveObject, RemoveObject2 and FrameLabel.
//
// The handlers write no page. They keep the main timeline's display state in
// the converter (one DepthLayerRecord per depth with one DisplayListEntry per
// placement, the frame labels on record 0, the depth-id cache and the video
// progress per depth); the scene build turns it into layers and frames when
// the movie ends. Frames are the tag loop's: 0 for the first frame. Labels
// and instance names are kept as UTF-8, decoded by the movie's version.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>

#include "timeline/display_list.h"

namespace tovrani {

struct ConverterContext;
class DepthLayerTable;
class DepthIdCache;
class DisplayEventIndex;

// What a placement needs to know of a character: the element kind and the
// row of the table that describes it (the stream row for kinds 0-2, the edit
// text, static text, morph shape or video row otherwise).
struct PlacedCharacter {
  uint8_t kind = kElementSymbol;
  uint32_t row = kNoCharacterRow;
};
// The row of a sprite whose conversion waits for a later definition: its
// placements are resolved once the sprite's page exists.
inline constexpr uint32_t kDeferredRow = 0xFFFFFFFE;

// The last update of a video instance at a depth.
struct VideoDepthState {
  uint16_t frame = 0;
  uint16_t ratio = 0;
};

// The morph runs of a layer: the entry starting its last run, and the one
// that started the run before it (-1 for none), which is the last again
// when the entry starting the last run gives its place to a later one of
// its frame.
struct MorphRunHead {
  int32_t entry = -1;
  int32_t before = -1;
};
using MorphRunHeads = std::unordered_map<int32_t, MorphRunHead>;  // by layer index

// The display state of one timeline that the placement handlers keep: the
// main timeline's fields of the converter (MainTimeline) or a sprite's own.
struct DisplayTimeline {
  DepthLayerTable& layers;
  DepthIdCache& depthIds;
  const DisplayEventIndex& events;  // the depth pass's records of this timeline
  std::unordered_map<uint16_t, VideoDepthState>& videoStates;  // by depth
  MorphRunHeads& morphRunHeads;
};
DisplayTimeline MainTimeline(ConverterContext& ctx);

// The handler that defines a character calls this once it has its row. When
// an id is registered more than once, a morph shape wins over a symbol
// stream, which wins over an edit text, a static text and a video stream, in
// this order; among equals the last registration counts.
void RegisterPlacedCharacter(ConverterContext& ctx, uint16_t id, uint8_t kind, uint32_t row);
// The kind of a symbol stream from its two stream flags (sprite, button).
uint8_t SymbolStreamKind(uint8_t spriteFlag, uint8_t buttonFlag);

// Gives the entries that place a deferred sprite (row kDeferredRow) what the
// sprite's id names now; an id still without a row names nothing.
void ResolveDeferredEntries(const ConverterContext& ctx, DepthLayerTable& layers);

// One display-list tag of the main movie (codes 4, 5, 26, 28, 43, 70) with
// its body, in the tag loop's current frame. Each handler checks its own
// gate (the options "Main Timeline" and, for labels, "Frame Label") and skips
// a body too short for its fixed fields.
void HandleMainTimelineTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body,
                           uint16_t frame);

void HandleFrameLabel(ConverterContext& ctx, std::span<const uint8_t> body, uint16_t frame);
void HandleRemoveObject(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body,
                        uint16_t frame);
void HandlePlaceObject(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body,
                       uint16_t frame);

// The same handlers on any timeline, without the option gates: the caller
// checks them.
void AddFrameLabel(ConverterContext& ctx, DisplayTimeline tl, std::span<const uint8_t> body,
                   uint16_t frame);
void RemoveFromTimeline(DisplayTimeline tl, uint16_t code, std::span<const uint8_t> body,
                        uint16_t frame);
void PlaceOnTimeline(ConverterContext& ctx, DisplayTimeline tl, uint16_t code,
                     std::span<const uint8_t> body, uint16_t frame);

}  // namespace tovrani
