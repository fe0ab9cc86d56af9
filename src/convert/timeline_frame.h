// The frame bookkeeping that a ShowFrame does on a timeline, the scene's or
// a sprite's: placements handed to another layer end, the sound layers'
// keyframes grow or start anew, and the action layer's first keyframe grows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "convert/placements.h"
#include "timeline/depth_handoff.h"

namespace tovrani {

struct TimelineFrameState {
  uint16_t frame = 0;  // 0 for the first frame
  bool firstFrame = true;
  bool soundStartedNow = false, soundStartedBefore = false;
  // Duration positions of the open keyframes of the layer work files.
  int64_t actionFramePos = -1, streamSoundFramePos = -1, eventSoundFramePos = -1;
  // The depth pass's hand-offs (indexes into its table) in frame order, and
  // the first one not yet reached.
  std::vector<uint32_t> handoffOrder;
  size_t nextHandoff = 0;
};

// The layer work files of a timeline and whether a stream sound was met.
struct TimelineLayerFiles {
  std::FILE* action = nullptr;
  std::FILE* eventSound = nullptr;
  std::FILE* streamSound = nullptr;
  bool streamSoundSeen = false;
};

// Sorts the hand-offs by frame, so each frame finds its own in one step.
void OrderHandoffs(TimelineFrameState& st, const std::vector<DepthHandoff>& handoffs);

// Placements whose object the depth pass hands to another layer at the
// coming frame end at the current one.
void EndHandedOffPlacements(TimelineFrameState& st, const std::vector<DepthHandoff>& handoffs,
                            DisplayTimeline tl);

// The sound layers' side of a ShowFrame: the stream layer's keyframe grows
// until a stream sound is met; the event layer's keyframe grows, or a new
// one starts after a frame that started a sound.
void AdvanceSoundFrames(TimelineFrameState& st, const TimelineLayerFiles& files, uint8_t level);

// The action layer's side of a ShowFrame followed by `nextWord` (the next
// tag's header word; 0 is End), then the frame number moves on. True when
// one more frame would wrap the frame number.
bool AdvanceActionFrame(TimelineFrameState& st, const TimelineLayerFiles& files, uint16_t nextWord);

}  // namespace tovrani
