#include "media/mp3_sound.h"

#include <mpg123.h>

#include <cstring>
#include <mutex>

#include "fla/file_helpers.h"
#include "fla/work_folder.h"
#include "media/mpeg_frames.h"
#include "media/pcm_output.h"
#include "media/sound_peaks.h"

namespace tovrani {

namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  FileHandle f(path, "rb");
  return f && ReadWholeFile(f.get(), out);
}

uint32_t LoadU32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// libmpg123 wants one process-wide initialisation.
bool InitDecoderLibrary() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = mpg123_init() == MPG123_OK; });
  return ok;
}

}  // namespace

bool WrapMp3AsWave(const std::string& mp3Path, const std::string& wavPath) {
  std::vector<uint8_t> mp3;
  if (!ReadFile(mp3Path, mp3)) return false;
  size_t length = mp3.size();
  if (length >= 128 && std::memcmp(mp3.data() + length - 128, "TAG", 3) == 0) length -= 128;
  // The first frame header tells channels and sampling frequency.
  uint32_t channels = 2, rate = 44100, bitrate = 128000;
  if (length >= 4 && mp3[0] == 0xFF && (mp3[1] & 0xE0) == 0xE0) {
    const uint32_t bits = (mp3[1] >> 3) & 3;
    const uint32_t version = bits == 3 ? 1 : bits == kMpegVersion2Code ? 2 : 25;
    if (uint32_t r = MpegSampleRate(version, (mp3[2] >> 2) & 3)) rate = r;
    if (uint32_t b = MpegBitrate(version, mp3[2] >> 4)) bitrate = b;
    channels = (mp3[3] >> 6) == 3 ? 1 : 2;
  }
  std::vector<uint8_t> head;
  PutTag(head, "RIFF");
  Put32(head, uint32_t(std::min<uint64_t>(4 + 8 + 30 + 8 + uint64_t(length), UINT32_MAX)));
  PutTag(head, "WAVE");
  PutTag(head, "fmt ");
  Put32(head, 30);
  Put16(head, 0x55);  // MPEG Layer III
  Put16(head, channels);
  Put32(head, rate);
  Put32(head, bitrate / 8);
  Put16(head, 1);   // block align
  Put16(head, 0);   // bits per sample
  Put16(head, 12);  // extra bytes
  Put16(head, 1);   // id
  Put32(head, 2);   // flags: no padding
  Put16(head, uint16_t(rate >= 32000 ? 144 * bitrate / rate : 72 * bitrate / rate));
  Put16(head, 1);     // frames per block
  Put16(head, 1393);  // codec delay
  PutTag(head, "data");
  Put32(head, uint32_t(length));
  FileHandle f(wavPath, "wb");
  if (!f) return false;
  bool ok = WriteBytes(f.get(), head.data(), head.size()) && WriteBytes(f.get(), mp3.data(), length);
  return f.close() && ok;
}

RenderedSound::RenderedSound() = default;

RenderedSound::~RenderedSound() {
  if (handle_) mpg123_delete(handle_);
}

std::unique_ptr<RenderedSound> RenderSoundToAvi(const std::string& wavPath) {
  std::vector<uint8_t> wav;
  if (!ReadFile(wavPath, wav) || wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) ||
      std::memcmp(wav.data() + 8, "WAVE", 4))
    return nullptr;
  // The data chunk, walked chunk by chunk within the file.
  size_t at = 12;
  std::span<const uint8_t> data;
  while (wav.size() - at >= 8) {
    const uint32_t size = LoadU32(wav.data() + at + 4);
    const size_t body = at + 8;
    const size_t available = std::min<uint64_t>(size, wav.size() - body);
    if (std::memcmp(wav.data() + at, "data", 4) == 0) {
      data = std::span<const uint8_t>(wav.data() + body, available);
      break;
    }
    if (available < size) break;
    at = body + size + (size & 1);
    if (at > wav.size()) break;
  }
  if (data.empty() || !InitDecoderLibrary()) return nullptr;
  auto sound = std::make_unique<RenderedSound>();
  sound->data_.assign(data.begin(), data.end());
  int err = 0;
  mpg123_handle* h = mpg123_new(nullptr, &err);
  if (!h) return nullptr;
  sound->handle_ = h;
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0);
  mpg123_param(h, MPG123_RESYNC_LIMIT, 2048, 0);
  mpg123_format_none(h);
  if (mpg123_format(h, kOutputRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
      mpg123_open_feed(h) != MPG123_OK)
    return nullptr;
  return sound;
}

int32_t ConvertAviSound(RenderedSound& sound, std::FILE* out,
                        const std::function<void(std::span<const uint8_t>)>& piece, uint64_t limit) {
  mpg123_handle* h = sound.handle_;
  if (!h) return 65535;
  std::vector<uint8_t> buf(kPeakPiece);
  size_t filled = 0;
  uint64_t total = 0;
  bool fed = false, any = false;
  int idle = 0;  // reads that gave nothing
  auto deliver = [&](size_t n) {
    if (!n) return;
    if (out) std::fwrite(buf.data(), 1, n, out);
    if (piece) piece(std::span<const uint8_t>(buf.data(), n));
    any = true;
  };
  for (;;) {
    size_t got = 0;
    int r = mpg123_read(h, buf.data() + filled, buf.size() - filled, &got);
    filled += got;
    total += got;
    if (filled == buf.size()) {
      deliver(filled);
      filled = 0;
    }
    if (total >= std::min(limit, kMaxSoundStreamBytes)) break;
    if (r == MPG123_NEED_MORE) {
      if (fed) break;
      mpg123_feed(h, sound.data_.data(), sound.data_.size());
      fed = true;
      continue;
    }
    if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;  // done or an error
    idle = got ? 0 : idle + 1;
    if (idle > 16) break;
  }
  deliver(filled);
  return any ? 0 : 65535;
}

}  // namespace tovrani
