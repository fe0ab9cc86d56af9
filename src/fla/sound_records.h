// The sound fields of a keyframe, and the layer of a further event sound
// started in a frame that already has one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

namespace tovrani {

// A sound's envelope as the SWF gives it: count points of 8 bytes each.
// Without one (present false) the keyframe holds the default envelope.
struct SoundEnvelope {
  bool present = false;
  uint8_t count = 0;
  std::span<const uint8_t> points;  // count x 8 bytes
};

// The sound block that follows a keyframe head: u16 sound id; u16 n and n
// 8-byte points (the default is one point: u32 1, u32 0x80000000, u16
// 0x8000 in place of n and the points); u16 loop count; u32 sync; u8 0.
// It takes the place of the first 11 bytes of the keyframe's unnamed tail,
// which FinishLastFrameOld/New completes. Returns false when a write failed.
bool WriteSoundBlock(std::FILE* f, uint16_t soundId, const SoundEnvelope& envelope,
                     uint16_t loopCount, uint32_t sync);

// A layer of its own for a further StartSound in one frame: the layer lead;
// in a frame after the first, an empty keyframe as long as the frames before
// it; the sound keyframe (loop 0, sync 0); the tail "EventSound". The
// caller puts it in front of the event-sound layer. g_shortLayerEndLead is
// left as it was.
std::vector<uint8_t> StartSoundLayerRecord(uint8_t level, uint16_t frame, uint16_t soundId,
                                           const SoundEnvelope& envelope);

}  // namespace tovrani
