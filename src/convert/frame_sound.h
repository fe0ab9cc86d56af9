// Closing and joining the three extra layers of a timeline: its event
// sounds ("EventSound"), frame actions ("ActionScript") and stream sound
// ("StreamSound"), each staged in a layer work file of its own.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tovrani {

inline constexpr uint8_t kFrameSoundClose = 0;
inline constexpr uint8_t kFrameSoundJoin = 3;

struct FrameSoundLayers {
  uint8_t hasEventLayer = 0, hasActionLayer = 0, hasStreamLayer = 0;
  uint8_t eventFramesClosed = 0;  // the event layer's frame list is already closed
  std::FILE* eventFile = nullptr;
  std::FILE* actionFile = nullptr;
  std::FILE* streamFile = nullptr;
};

// Close mode writes the layers' tails and the layer end that follows the
// last of them (value by the layers present) and returns 1 when none of the
// three is present. Join mode appends the present files, each from its start
// up to its position, to `out` in the order action, event, stream; with
// dropFirstByte the first file copied loses its first byte. `actionMark` is
// the action file's position after its first keyframe (less 4 below level 2).
// Other modes do nothing. A failed write sets `failed`.
uint8_t WriteFrameSound(const FrameSoundLayers& layers, uint32_t actionMark, uint8_t format,
                        uint8_t mode, std::FILE* out, uint8_t dropFirstByte, bool* failed = nullptr);

}  // namespace tovrani
