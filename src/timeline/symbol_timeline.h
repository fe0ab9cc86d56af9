// The symbol timeline builder: writes one page of layers from the depth
// tracks of a timeline (a sprite's symbol page or the main scene page).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fla/class_tags.h"
#include "timeline/display_list.h"

namespace tovrani {

struct TimelineContext;

// A track whose layer is written carries this key; it is never chosen again.
inline constexpr uint32_t kTrackWritten = 0xFFFFFF;
// Keys from this value up are never chosen.
inline constexpr uint32_t kTrackUnselectable = 0xFFFFFE;
// streamIndex of an entry taken into an inner symbol: skipped on this page.
inline constexpr uint32_t kAbsorbedEntry = 0x10000000;
// kind of an entry rewritten as the placement of a group's inner symbol.
inline constexpr uint8_t kGroupPlacementKind = 8;

// Easing thresholds: index i stands for the easing value i - 100.
using EaseTable = std::array<uint16_t, 201>;
EaseTable BuildEaseTable();
// The easing value (-100 to 100) of a tween that has made `ratio` / 65536 of
// its change by its middle frame: 32768 (linear) gives 0.
int16_t LookupEaseValue(const EaseTable& table, uint16_t ratio);

// Writes the layers of one timeline into ctx.m_pPageStream.
//  mode            1 sprite page, 2 scene at its closing ShowFrame, 3 scene at End
//  tracks          the depth tracks (index 0 also holds the frame labels);
//                  consumed: written tracks get kTrackWritten
//  lastTrack       index of the last track, -1 when nothing is placed
//  timelineFrames  frames of the timeline
//  page            the page's archive state (class indexes, object counts)
//  groupTrack, groupEntry, groupRange
//                  a nested call for a group: the head track and entry and
//                  the group's frame range out; groupEntry -1 at the top level
//  layerLimit      0 no limit, n > 0 at most n - 1 layers
// Groups of disabled nested masks and texts with a colour transform become
// symbols of their own, committed while the page is written.
// Returns 0.
uint32_t BuildSymbolTimeline(TimelineContext& ctx, uint32_t mode, std::vector<DepthTrack>& tracks,
                             int32_t lastTrack, uint16_t fontCount, uint16_t timelineFrames,
                             PageClassState& page, uint16_t groupTrack = 0, int32_t groupEntry = -1,
                             uint16_t* groupRange = nullptr, uint32_t layerLimit = 0,
                             uint32_t nestedMark = 0);

// The scene build the engine calls (mode 2 or 3): the main timeline's
// display list into the page the engine has made current.
void BuildSceneTimeline(TimelineContext& ctx, uint32_t mode, uint16_t frames);

}  // namespace tovrani
