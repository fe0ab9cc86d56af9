// MP3 sound: the frames wrapped as a WAVE file of format 0x55 (our own RIFF
// writer), and decoded through libmpg123 to 44,100 Hz 16-bit stereo PCM.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/pcm_output.h"

struct mpg123_handle_struct;

namespace tovrani {

// Writes the MP3 frames of `mp3Path` as a WAVE file (format tag 0x55) to
// `wavPath`; the data stops before an ID3v1 "TAG" block at its end. The
// channel count and sampling frequency come from the first frame header.
// False when a file cannot be read or written.
bool WrapMp3AsWave(const std::string& mp3Path, const std::string& wavPath);

// A sound being rendered: the WAVE's MP3 data open in the decoder.
class RenderedSound {
 public:
  RenderedSound();
  ~RenderedSound();
  RenderedSound(const RenderedSound&) = delete;
  RenderedSound& operator=(const RenderedSound&) = delete;
  bool ok() const { return handle_ != nullptr; }

 private:
  friend std::unique_ptr<RenderedSound> RenderSoundToAvi(const std::string& wavPath);
  friend int32_t ConvertAviSound(RenderedSound& sound, std::FILE* out,
                                 const std::function<void(std::span<const uint8_t>)>& piece, uint64_t limit);
  ::mpg123_handle_struct* handle_ = nullptr;
  std::vector<uint8_t> data_;
};

// Opens the MP3 data of the WAVE file `wavPath` for decoding at 44,100 Hz,
// 16-bit stereo. Null when the file is no such WAVE or the decoder cannot
// start. (The decoded sound is not kept in a file: ConvertAviSound pulls it
// piece by piece.)
std::unique_ptr<RenderedSound> RenderSoundToAvi(const std::string& wavPath);

// Decodes the whole sound in pieces of 32,768 bytes (the last may be
// shorter), appending each to `out` when it is given and handing it to
// `piece`. Decoding stops at the first frame the decoder cannot read, or
// once `limit` bytes are decoded (the piece that reaches it is handed on
// whole); what came before stays. Returns 0, or 65535 when nothing could be
// decoded.
int32_t ConvertAviSound(RenderedSound& sound, std::FILE* out,
                        const std::function<void(std::span<const uint8_t>)>& piece,
                        uint64_t limit = kMaxSoundStreamBytes);

}  // namespace tovrani
