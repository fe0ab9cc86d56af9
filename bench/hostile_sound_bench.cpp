// Sounds that declare far more than their data holds, sounds by the
// thousand, and the places that once did their work over and over: stream
// heads rescanning the same blocks, StartSounds of one frame, a button's
// sounds on every definition of the button.
#include "convert/engine.h"
#include "hostile_movies.h"

namespace tovrani::bench {

namespace {

using test::SwfBytes;
using test::SwfWriter;

constexpr size_t kKiB = 1024, kMiB = 1024 * kKiB;

Bytes DefineSound(uint16_t id, uint8_t format, uint32_t samples, const Bytes& data) {
  return SwfBytes().u16(id).u8(format).u32(samples).bytes(data).data();
}

// `count` MP3 frames of MPEG-2, 8 kbit/s, 24 kHz, mono: 24 bytes and 576
// samples each, the most samples a byte of MP3 holds.
Bytes Mp3Frames(size_t count) {
  Bytes frame(24, 0);
  frame[0] = 0xFF, frame[1] = 0xF3, frame[2] = 0x14, frame[3] = 0xC0;
  Bytes frames;
  frames.reserve(count * frame.size());
  for (size_t i = 0; i < count; ++i) frames.insert(frames.end(), frame.begin(), frame.end());
  return frames;
}

// An MP3 DefineSound whose format byte asks for peaks as for 5.5 kHz stereo.
Bytes Mp3Sound(uint16_t id, const Bytes& frames) {
  return DefineSound(id, 0x21, 0xFFFFFFFF, SwfBytes().u16(0).bytes(frames).data());
}

// ADPCM of 2-bit codes at 5.5 kHz (128 bytes of document a byte), declaring
// 2^32 - 1 samples.
Bytes AdpcmZeros(uint16_t id, size_t bytes) { return DefineSound(id, 0x10, 0xFFFFFFFF, Bytes(bytes, 0)); }

void NoOptions(ConverterContext&) {}

Bytes StartSound(uint16_t id) { return SwfBytes().u16(id).u8(0).data(); }

Bytes StreamHead(uint8_t format, uint16_t samplesPerFrame) {
  return SwfBytes().u8(format).u8(format).u16(samplesPerFrame).data();
}

// A stream of `frames` frames, each with one block `block`, after the head.
Bytes StreamMovie(uint8_t format, const Bytes& block, int frames, bool compressed) {
  SwfWriter w(8);
  w.tag(18, StreamHead(format, 65535));
  for (int i = 0; i < frames; ++i) w.tag(19, block, true).showFrame();
  return w.end().build(compressed);
}

std::vector<Hostile> Movies() {
  const auto oneSound = [](Bytes body, bool compressed) {
    return [body, compressed] {
      SwfWriter w(8);
      w.tag(14, body, true).showFrame();
      return w.end().build(compressed);
    };
  };
  Bytes adpcmBlock(4 * kKiB, 0);
  Bytes mp3Block = SwfBytes().u32(0).bytes(Mp3Frames(4 * kKiB / 24)).data();
  return {
      // One sound of zeros in a compressed file of a few kilobytes, which
      // may not inflate that far: refused before inflating.
      {"adpcm_zeros_cws/4MiB", oneSound(AdpcmZeros(1, 4 * kMiB), true), NoOptions, kResultInflatedTooShort},
      {"adpcm_zeros_cws/16MiB", oneSound(AdpcmZeros(1, 16 * kMiB + 512 * kKiB), true), NoOptions,
       kResultInflatedTooShort},
      {"mp3_24_byte_frames_cws/16MiB", oneSound(Mp3Sound(1, Mp3Frames(16 * kMiB / 24)), true), NoOptions,
       kResultInflatedTooShort},
      // Many such sounds: refused alike.
      {"adpcm_zeros_cws_many/200",
       [] {
         return RepeatedTagMovie(200, [](SwfWriter& w, uint16_t id) { w.tag(14, AdpcmZeros(id, 64 * kKiB), true); },
                                 true);
       },
       NoOptions, kResultInflatedTooShort},
      {"mp3_frames_cws_many/200",
       [] {
         const Bytes frames = Mp3Frames(64 * kKiB / 24);
         return RepeatedTagMovie(200, [&](SwfWriter& w, uint16_t id) { w.tag(14, Mp3Sound(id, frames), true); }, true);
       },
       NoOptions, kResultInflatedTooShort},
      // Sounds by the thousand: one sample, or one MP3 header, each.
      {"adpcm_one_sample/30000",
       [] { return RepeatedTagMovie(30000, [](SwfWriter& w, uint16_t id) { w.tag(14, AdpcmZeros(id, 3)); }); }},
      {"mp3_header_only/30000", [] {
         return RepeatedTagMovie(30000, [](SwfWriter& w, uint16_t id) {
           w.tag(14, DefineSound(id, 0x21, 0, {0, 0, 0xFF, 0xFB, 0x14, 0xC0}));
         });
       }},
      // Streams: blocks of zeros in a compressed file (refused before
      // inflating), and stretches of one frame each a sound of its own.
      {"stream_adpcm_zeros_cws/4000", [adpcmBlock] { return StreamMovie(0x10, adpcmBlock, 4000, true); }, NoOptions,
       kResultInflatedTooShort},
      {"stream_mp3_frames_cws/4000", [mp3Block] { return StreamMovie(0x20, mp3Block, 4000, true); }, NoOptions,
       kResultInflatedTooShort},
      {"stream_stretches/20000", [] {
         SwfWriter w(8);
         w.tag(18, StreamHead(0x10, 65535));
         for (int i = 0; i < 20000; ++i) w.tag(19, Bytes(6, 1)).showFrame().showFrame();
         return w.end().build();
       }},
      // Heads whose stretch cannot be placed, each once rescanning every
      // block after it.
      {"stream_heads_unreadable_cws/10000", [] {
         SwfWriter w(8);
         for (int i = 0; i < 10000; ++i) w.tag(18, StreamHead(0x10, 0));
         for (int i = 0; i < 10000; ++i) w.tag(19, {1}).showFrame();
         return w.end().build(true);
       }},
      // StartSounds of one frame, each a layer of its own.
      {"start_sounds_one_frame/100000", [] {
         SwfWriter w(8);
         w.tag(14, AdpcmZeros(1, 3));
         for (int i = 0; i < 100000; ++i) w.tag(15, StartSound(1));
         return w.showFrame().end().build();
       }},
      // One button defined 1,000 times, with 1,000 DefineButtonSounds.
      {"button_defined_again_with_sounds_cws/1000", [] {
         const Bytes button = SwfBytes().u16(2).u8(0).u16(0).u8(0x01).u16(1).u16(1).u8(0).u8(0).u8(0).data();
         SwfBytes slots;
         slots.u16(2);
         for (int k = 0; k < 4; ++k) slots.u16(1).u8(0);
         SwfWriter w(8);
         w.tag(14, AdpcmZeros(1, 3));
         for (int i = 0; i < 1000; ++i) w.tag(34, button);
         for (int i = 0; i < 1000; ++i) w.tag(17, slots.data());
         return w.showFrame().end().build(true);
       }},
  };
}

const int kRegistered = RegisterHostileMovies("sound", Movies());

}  // namespace

}  // namespace tovrani::bench
