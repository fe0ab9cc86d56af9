// The end of every placement's keyframe (duration, link to the next
// keyframe, the empty keyframe that fills the last layer to the timeline's
// end) and the close of a placement layer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "fla/class_tags.h"
#include "timeline/display_list.h"
#include "timeline/layer_start.h"
#include "timeline/motion_tween.h"
#include "timeline/video_stream.h"

namespace tovrani {

// What the completion needs to know of the layer being written.
struct LayerWindow {
  int32_t last = -1;       // the last entry index the entry loop visits
  int32_t lastLive = -1;   // the last of them not absorbed, -1 none
  uint16_t pageFirst = 0;  // first frame of the page's range
  uint16_t pageLast = 0;   // last frame of the page's range
  uint16_t timelineFrames = 0;
  bool lastLayer = false;  // this layer gets the closing empty keyframe
  uint32_t reached = 0;    // the frame the layer reaches with this keyframe
  // For each entry index, the first later entry not absorbed (-1 none).
  const std::vector<int32_t>* nextLive = nullptr;
  // The motion-tween options; null: no tweens.
  const MotionTweenSettings* tween = nullptr;
};

// The frames entry E lasts on the page: its span from its start or the
// page's start, whichever is later, with the page's end for an open end; a
// video placed directly lasts at most its own frame count. It never runs
// past the page's end or into the next entry's start (nextStart, above
// 0xFFFF when none), and never wraps: 0 when nothing is left.
uint32_t EntryDuration(const PlacementEntry& e, uint16_t pageFirst, uint16_t pageLast, uint32_t nextStart,
                       const std::vector<VideoStreamRecord>& videos);

// Entries a group placement (kind 8) stands for beyond itself.
uint32_t GroupPlacementSkip(const PlacementEntry& e);

// Closes the keyframe of entry k after its element records. k may move on
// over the entries a group placement or a motion tween stands for; a tween
// moves w.reached to its end. Returns true when the entry loop ends for
// this layer.
bool CompleteKeyframe(std::FILE* page, const DepthTrack& track, int32_t& k, LayerWindow& w,
                      const std::vector<VideoStreamRecord>& videos, PageClassState& state,
                      uint8_t level);

// The layer's tail, named "Level " and the depth; the track is written.
void CloseLayer(std::FILE* page, DepthTrack& track, const LayerState& flags, uint8_t level);

}  // namespace tovrani
