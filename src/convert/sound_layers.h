// The sound layers of a timeline (the scene's "m.g15" and "m.g14", a
// sprite's own pair): the two layer work files, the positions of their
// current keyframes' durations, the frame marks the frame handling and the
// sound handlers share, and the layers' closing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace tovrani {

struct SoundLayerState {
  std::FILE* eventFile = nullptr;
  std::FILE* streamFile = nullptr;
  // File positions of the u16 durations of the layers' current keyframes.
  int64_t eventFramePos = -1, streamFramePos = -1;
  // The last keyframe of a layer is open (its head written, its tail not):
  // no 05 80 may follow it until it is closed.
  bool eventKeyframeOpen = true, streamKeyframeOpen = true;
  bool startedNow = false, startedBefore = false;  // an event sound in this / the last frame
  bool eventsSeen = false, streamSeen = false;
  uint16_t frame = 0;  // the timeline's current frame, from 0
  // The stream: where its last scan stopped (the first frame without a
  // block; no head before it is scanned again), and a position from which a
  // scan is known to find no block before End.
  uint64_t streamEnd = 0;
  uint64_t noBlockFrom = UINT64_MAX;
  // The stream's head (its first eight bytes at most), for the stretches
  // that follow its first, and the frame after its last stretch.
  std::vector<uint8_t> streamHead;
  uint32_t streamEndFrame = 0;
  // Layers of further StartSounds in one frame, in the order they came;
  // they go in front of the event layer when it is closed.
  std::vector<std::vector<uint8_t>> extraEventLayers;
  // The event layer as it was before the current frame's first StartSound,
  // so that sounds of a frame that is never shown can be taken back.
  struct FrameMark {
    int64_t fileEnd = -1, framePos = -1;
    bool keyframeOpen = true;
    size_t extraLayers = 0;
  } frameMark;

  // A fresh state on the two files, whose lead and first keyframe head the
  // caller has written (durations at the positions given).
  void start(std::FILE* event, std::FILE* stream, int64_t eventPos, int64_t streamPos);
};

// ShowFrame: the stream layer's first keyframe grows while no stream has
// come; a frame after one with an event sound begins a new event keyframe,
// other frames grow the current one (from the second frame on). Then the
// frame marks move on. The caller advances `frame`.
void SoundLayersShowFrame(SoundLayerState& s, uint8_t level);

// Takes back the event sounds of the current frame (a frame after the
// last one shown), so that the layer ends with the timeline.
bool DropUnshownFrameSounds(SoundLayerState& s);

// Closing, after the timeline's last frame:
// - the event layer's open keyframe closed (the frame list ended);
void CloseEventSoundFrames(SoundLayerState& s, uint8_t level);
// - the event layer's tail "EventSound", with the further StartSounds'
//   layers put in front of the layer;
bool CloseEventSoundLayer(SoundLayerState& s, uint8_t level);
// - the stream layer's open keyframe closed, its tail "StreamSound" and a
//   layer end of `endValue`;
void CloseStreamSoundLayer(SoundLayerState& s, uint8_t level, uint32_t endValue);
// - a layer end of `value` on the event layer.
void EndEventSoundLayer(SoundLayerState& s, uint8_t level, uint32_t value);

}  // namespace tovrani
