// Closing and joining the three extra layers of a timeline: its event
// sounds ("EventSound"), frame actions ("ActionScript") and stream sound
// ("StreamSound"), each staged in a layer work file of its own.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tovrani {

inline constexpr uint8_t kFrameSoundClose = 0;
inline constexpr uint8_t kFrameSoundJoin = 3;

struct SoundLayerState;

// The sound layers are present when their sounds were seen (the state's
// eventsSeen and streamSeen); the action layer by its flag.
struct FrameSoundLayers {
  SoundLayerState* sounds = nullptr;
  uint8_t hasActionLayer = 0;
  std::FILE* actionFile = nullptr;
};

// Close mode closes the sound layers as the scene's closing does (their open
// keyframes, tails and the further StartSounds' layers), writes the action
// layer's tail and the layer end that follows the last layer (value by the
// layers present), and returns 1 when none of the three is present. Join mode appends the present files, each from its start
// up to its position, to `out` in the order action, event, stream; with
// dropFirstByte the first file copied loses its first byte. `actionMark` is
// the action file's position after its first keyframe (less 4 below level 2).
// Other modes do nothing. A failed write sets `failed`.
uint8_t WriteFrameSound(const FrameSoundLayers& layers, uint32_t actionMark, uint8_t format,
                        uint8_t mode, std::FILE* out, uint8_t dropFirstByte, bool* failed = nullptr);

}  // namespace tovrani
