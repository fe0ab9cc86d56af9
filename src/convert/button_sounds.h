// The sounds a DefineButtonSound tag gives a button's state changes: one
// layer per tag on the button's page, after the layers of its records, with
// a keyframe per state that plays a sound and empty keyframes between.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "fla/sound_records.h"

namespace tovrani {

struct ConverterContext;

// One of the four slots (Up, Over, Down, Hit) of a DefineButtonSound body.
struct ButtonSoundSlot {
  uint16_t soundId = 0;  // 0: silent
  uint8_t flags = 0;     // the SOUNDINFO flags
  uint16_t loopCount = 0;
  SoundEnvelope envelope;
};

// The four slots of a body after its button id. A slot cut short by the end
// of the body, and every slot after it, is silent.
void ReadButtonSoundSlots(std::span<const uint8_t> data, ButtonSoundSlot (&slots)[4]);

// Writes a sound layer into `page` for every DefineButtonSound of the button
// whose stream row is about to be placed (the item number of row
// m_nStreams), in tag order, each charged to the movie's allowance of sound
// layers (one refused is skipped). A slot whose sound is no library item is
// silent. Returns the number of layers written.
uint32_t WriteButtonSoundLayers(ConverterContext& ctx, std::FILE* page);

}  // namespace tovrani
