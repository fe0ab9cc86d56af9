#include "convert/sound_tags.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/keyframe_records.h"
#include "fla/sound_records.h"
#include "fla/stream_placement.h"
#include "media/adpcm_sound.h"
#include "media/mp3_sound.h"
#include "media/mpeg_frames.h"
#include "media/pcm_output.h"
#include "media/sound_peaks.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/sound_layers.h"
#include "fla/work_folder.h"
#include "platform/movie_messages.h"

namespace tovrani {

namespace {

constexpr const char* kMediaWorkName = "extrSOU.tmp";
constexpr const char* kMp3WorkName = "tmp.mp3";
constexpr const char* kWaveWorkName = "tmp.wav";
constexpr const char* kCaption = "BRASKELON Tovrani Sound";
constexpr const char* kCutSound = "sounds cut short";
// The format recorded for decoded sound: 44,100 Hz, 16-bit, stereo.
constexpr uint8_t kDecodedFormat = 0x0F;

bool On(const uint8_t* option) { return option && *option; }

// `kind`: the kind of message (movie_messages.h); kAlwaysShown for the
// first refusal of an allowance.
void Tell(ConverterContext& ctx, const char* kind, const std::string& text) { ShowWarning(ctx, kind, kCaption, text); }

void RemoveWork(ConverterContext& ctx, const char* name) {
  if (ctx.m_pWorkFolder) ctx.m_pWorkFolder->removeFile(name);
}

void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// What a sound's data can decode to is charged to the movie's budget before
// it is decoded, and each sound takes one of the movie's sound items: a
// sound either refuses is skipped, the first such sound named.
bool ChargeSound(ConverterContext& ctx, uint64_t bytes, const std::string& what, const std::string& declared) {
  if (ctx.m_budget.sound.Take(bytes)) return true;
  if (ctx.m_budget.sound.FirstRefusal())
    Tell(ctx, kAlwaysShown,
         what + ": " + MoreThanTheMovieHolds(ctx.m_budget, "sound data") + " (" + declared + "); the sound was skipped.");
  return false;
}

bool TakeSoundItem(ConverterContext& ctx, const std::string& what) {
  if (ctx.m_budget.soundItems.Take(1)) return true;
  if (ctx.m_budget.soundItems.FirstRefusal())
    Tell(ctx, kAlwaysShown, what + ": the movie holds more sounds than its size allows; the sound was skipped.");
  return false;
}

std::string Samples(uint64_t n, const char* per = "") {
  return std::to_string(n) + (n == 1 ? " sample" : " samples") + per;
}

bool PatchU16(std::FILE* f, int64_t pos, uint32_t value) {
  if (!f || pos < 0) return false;
  const uint16_t v = uint16_t(std::min<uint32_t>(value, 0xFFFF));
  const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  return !std::fseek(f, long(pos), SEEK_SET) && std::fwrite(b, 1, 2, f) == 2 &&
         !std::fseek(f, 0, SEEK_END);
}

// The media stream placed under the next media number and the library
// record added (the sound item closed).
bool PlaceSound(ConverterContext& ctx, uint16_t itemNo, uint8_t format, std::FILE* file,
                std::span<const uint8_t> bytes, uint64_t size,
                const std::optional<std::array<uint8_t, 21>>& mp3Record) {
  if (!LibraryTakes(ctx, LibraryObject::kSound)) return false;
  StreamPlacement where;
  const bool placed = file ? AppendStreamFromFile(ctx, file, size, where)
                           : AppendStreamData(ctx, bytes, where);
  uint16_t mediaNo = 0;
  if (!placed || !TakeMediaNo(ctx, mediaNo)) return false;
  if (!WriteStreamDirEntry(ctx, mediaNo, uint32_t(size), where.start)) return false;
  const uint32_t index = uint32_t(ctx.m_library.sounds.size());
  ctx.m_pBigStreamList[ctx.m_nBigStreamList++] = where.regular ? index + kSoundStreamTag : 0;
  DocumentLibrary::Sound s;
  s.mediaNo = mediaNo;
  s.itemNo = itemNo;
  s.format = format;
  s.sampleCount = uint32_t(size);
  s.mp3Data = mp3Record;
  ctx.m_library.sounds.push_back(s);
  ctx.m_soundItemIds.insert(itemNo);
  return true;
}

// Takes a sound item and charges `decodedBytes`: false when either is
// refused.
bool AdmitSound(ConverterContext& ctx, uint64_t decodedBytes, const std::string& what, const std::string& declared) {
  return TakeSoundItem(ctx, what) && ChargeSound(ctx, decodedBytes, what, declared);
}

// An MP3's frames and its peak points. Each point sums up 32 bytes of
// decoded sound: the decoding stops once they are all taken, and that much
// is what is charged.
struct Mp3Peaks {
  uint32_t samples = 0, count = 0;
  uint64_t decodeLimit() const { return uint64_t(count) * kPeakStep; }
};

Mp3Peaks CountMp3Peaks(std::span<const uint8_t> data, uint8_t format) {
  Mp3Peaks p;
  p.samples = CountMp3Samples(data);
  // The peaks keep the media stream below 2 GiB.
  const uint64_t room = (kMaxSoundStreamBytes - data.size() - 1) / ((format & 1) ? 2 : 1);
  p.count = uint32_t(std::min<uint64_t>(PeakCountFor(p.samples, format), room));
  return p;
}

// MP3 route: the data, a byte 1 and the peaks; the record that tells the
// frames' samples (`counted`, of data that holds a frame).
bool PlaceMp3Sound(ConverterContext& ctx, uint16_t itemNo, uint8_t format, std::span<const uint8_t> data,
                   const Mp3Peaks& counted) {
  const uint32_t samples = counted.samples, peakCount = counted.count;
  PeakCollector peaks(peakCount, format & 1);
  if (ctx.m_pWorkFolder) {
    const std::string mp3 = ctx.m_pWorkFolder->file(kMp3WorkName);
    const std::string wav = ctx.m_pWorkFolder->file(kWaveWorkName);
    FileHandle f(mp3, "wb");
    bool written = f && WriteBytes(f.get(), data.data(), data.size()) && f.close();
    if (written && WrapMp3AsWave(mp3, wav)) {
      if (auto sound = RenderSoundToAvi(wav)) {
        // The peaks' sub-task runs over the decoded sound: 16-bit stereo at
        // 44.1 kHz, from the rate the format's bits 3-2 give.
        const uint64_t decoded = uint64_t(samples) * 4 * (8u >> ((format >> 2) & 3));
        uint64_t done = 0;
        if (ctx.m_pShell) ctx.m_pShell->BeginSubTask(0, uint32_t(std::min<uint64_t>(decoded, UINT32_MAX)));
        ConvertAviSound(
            *sound, nullptr,
            [&](std::span<const uint8_t> p) {
              peaks.piece(p);
              done += p.size();
              if (ctx.m_pShell) ctx.m_pShell->StepSubProgressBytes(uint32_t(std::min<uint64_t>(done, UINT32_MAX)));
            },
            counted.decodeLimit());
      }
    }
    RemoveWork(ctx, kMp3WorkName);
    RemoveWork(ctx, kWaveWorkName);
  }
  std::vector<uint8_t> media(data.begin(), data.end());
  media.push_back(1);
  const std::vector<uint8_t> points = peaks.finish();
  media.insert(media.end(), points.begin(), points.end());
  std::array<uint8_t, 21> rec{};
  rec[0] = format;
  Put32(&rec[2], samples);
  rec[6] = 1;
  rec[8] = 7;
  Put32(&rec[10], uint32_t(data.size()));
  rec[14] = 1;
  rec[15] = format & 1;
  Put32(&rec[17], peakCount);
  return PlaceSound(ctx, itemNo, format, nullptr, media, media.size(), rec);
}

// ADPCM and PCM routes: the decoded sound in "extrSOU.tmp".
class DecodedSound {
 public:
  explicit DecodedSound(ConverterContext& ctx)
      : ctx_(ctx),
        file_(ctx.m_pWorkFolder ? FileHandle(ctx.m_pWorkFolder->file(kMediaWorkName), "wb+")
                                : FileHandle(std::tmpfile())),
        out_(file_.get()) {}
  ~DecodedSound() {
    out_.flush();
    file_.reset();
    RemoveWork(ctx_, kMediaWorkName);
  }
  PcmOutput& out() { return out_; }
  bool place(uint16_t itemNo) {
    if (!out_.flush() || out_.failed()) return false;
    if (out_.written() == 0) return false;
    return PlaceSound(ctx_, itemNo, kDecodedFormat, file_.get(), {}, out_.written(), std::nullopt);
  }

 private:
  ConverterContext& ctx_;
  FileHandle file_;
  PcmOutput out_;
};

void ConvertPcmBlock(std::span<const uint8_t> samples, uint8_t format, PcmOutput& out) {
  std::vector<uint8_t> buffer(5 + samples.size());
  buffer[0] = format;
  std::copy(samples.begin(), samples.end(), buffer.begin() + 5);
  ConvertPcmSound(buffer, out);
}

// The stream's routes: MP3, ADPCM, and PCM (big- or little-endian).
bool StreamRouteAccepted(uint8_t route) {
  return route == kSoundRouteMp3 || route == kSoundRouteAdpcm || route == kSoundRoutePcm ||
         route == kSoundRoutePcmLittleEndian;
}

// The scene's sound layers need the main timeline; a sprite's follow the
// option "Sound" alone.
bool LayersOn(const ConverterContext& ctx, const SoundLayerState& s) {
  return On(ctx.m_pOptSound) && (&s != &ctx.m_sceneSounds || On(ctx.m_pOptMainTimeline));
}

std::string CutText(const std::string& what) {
  return what + ": the sound reaches 2 GiB and is cut there.";
}

}  // namespace

namespace {
uint64_t PositionOf(std::FILE* f, uint64_t end) {
  const long p = std::ftell(f);
  return p < 0 ? end : uint64_t(p);
}
}  // namespace

FileTagSource::FileTagSource(std::FILE* f, uint64_t end) : f_(f), end_(end), in_(f, PositionOf(f, end), end) {}

FileTagSource::~FileTagSource() { std::fseek(f_, long(in_.pos()), SEEK_SET); }

bool FileTagSource::seek(uint64_t p) {
  if (p < in_.pos())
    in_ = ForwardFileReader(f_, p, end_);
  else
    in_.skipTo(p);
  return true;
}

bool FileTagSource::body(const TagHeader& h, std::vector<uint8_t>& out) {
  out.resize(h.length);
  return h.length == 0 || in_.read(out.data(), h.length);
}

bool BodyTagSource::seek(uint64_t p) {
  if (p > data_.size()) return false;
  pos_ = p;
  return true;
}

bool BodyTagSource::header(TagHeader& h) {
  SwfReader r(data_);
  if (!r.seek(pos_) || !r.tagHeader(h) || h.length > r.remaining()) return false;
  pos_ = h.bodyStart;
  return true;
}

bool BodyTagSource::body(const TagHeader& h, std::vector<uint8_t>& out) {
  if (h.bodyStart > data_.size() || h.length > data_.size() - h.bodyStart) return false;
  out.assign(data_.begin() + ptrdiff_t(h.bodyStart), data_.begin() + ptrdiff_t(h.bodyEnd()));
  pos_ = h.bodyEnd();
  return true;
}

void HandleDefineSound(ConverterContext& ctx, std::span<const uint8_t> body) {
  if (!On(ctx.m_pOptSound) || body.empty()) return;
  const uint8_t format = body.size() > 2 ? body[2] : 0;
  const uint8_t route = format & 0xF0;
  if (route != kSoundRouteMp3 && route != kSoundRouteAdpcm && route != kSoundRoutePcm &&
      route != kSoundRoutePcmLittleEndian)
    return;
  const std::string what =
      "DefineSound " + (body.size() >= 2 ? std::to_string(body[0] | (body[1] << 8)) : "?");
  if (body.size() < (route == kSoundRouteMp3 ? 9u : 7u)) {
    Tell(ctx, "sound tags too short", what + ": the tag is too short; the sound is skipped.");
    return;
  }
  const uint16_t id = uint16_t(body[0] | (body[1] << 8));
  if (ctx.m_soundItemIds.count(id)) return;  // the first definition stands
  const uint32_t sampleCount = body[3] | (body[4] << 8) | (uint32_t(body[5]) << 16) |
                               (uint32_t(body[6]) << 24);
  bool placed = false;
  if (route == kSoundRouteMp3) {
    const std::span<const uint8_t> data = body.subspan(9);
    const Mp3Peaks mp3 = CountMp3Peaks(data, format);
    if (mp3.samples > 0) {
      if (!AdmitSound(ctx, mp3.decodeLimit(), what, Samples(mp3.samples))) return;
      placed = PlaceMp3Sound(ctx, id, format, data, mp3);
    }
  } else {
    // ADPCM decodes the samples declared as far as its data holds them.
    const std::span<const uint8_t> data = body.subspan(7);
    const uint64_t frames = route == kSoundRouteAdpcm
                                ? std::min<uint64_t>(sampleCount, AdpcmSamplesHeld(data, format))
                                : PcmFramesHeld(data.size(), format);
    if (frames > 0 && !AdmitSound(ctx, OutputBytesFor(frames, format), what, Samples(sampleCount))) return;
    DecodedSound sound(ctx);
    if (route == kSoundRouteAdpcm)
      DecodeAdpcmSound(data, sound.out(), sampleCount, format);
    else
      ConvertPcmBlock(data, format, sound.out());
    if (sound.out().cut()) Tell(ctx, kCutSound, CutText(what));
    placed = sound.place(id);
  }
  if (!placed && !ctx.m_nWriterError)
    Tell(ctx, "sounds that cannot be read", what + ": the sound cannot be read and is skipped.");
}

void HandleStartSound(ConverterContext& ctx, SoundLayerState& s, std::span<const uint8_t> body) {
  if (!LayersOn(ctx, s) || body.empty()) return;
  SwfReader r(body);
  const uint16_t id = r.u16();
  const uint8_t flags = r.u8();
  if (flags & 1) r.skip(4);  // in point
  if (flags & 2) r.skip(4);  // out point
  const uint16_t loops = (flags & 4) ? r.u16() : 0;
  SoundEnvelope envelope;
  if (flags & 8) {
    envelope.present = true;
    envelope.count = r.u8();
    envelope.points = r.take(uint64_t(envelope.count) * 8);
  }
  if (!r.ok()) {
    Tell(ctx, "StartSounds whose fields run past their tag",
         "StartSound " + std::to_string(id) + ": the sound's fields run past the tag; skipped.");
    return;
  }
  if (!ctx.m_soundItemIds.count(id) || !s.eventFile) return;
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding start sound...");
  const uint32_t sync = (flags & kSyncStopFlag) ? 2 : (flags & kSyncNoMultipleFlag) ? 1 : 0;
  const uint8_t level = ctx.m_nFlaFormat;
  const bool next = IsNewFlaFormat(level);
  s.eventsSeen = true;
  if (s.startedNow) {
    // A further sound of the frame is a layer of its own.
    if (!ctx.m_budget.soundLayers.Take(1)) {
      if (ctx.m_budget.soundLayers.FirstRefusal())
        Tell(ctx, kAlwaysShown,
             "StartSound " + std::to_string(id) + " in frame " + std::to_string(s.frame + 1) +
                 ": the movie asks for more sound layers than its size allows; the sound was skipped.");
      return;
    }
    std::vector<uint8_t> layer = StartSoundLayerRecord(level, s.frame, id, envelope);
    if (layer.empty()) NoteWriterFailure(ctx, kResultOutputIncomplete);
    s.extraEventLayers.push_back(std::move(layer));
    return;
  }
  s.startedNow = true;
  std::FILE* f = s.eventFile;
  std::fseek(f, 0, SEEK_END);
  s.frameMark = {std::ftell(f), s.eventFramePos, s.eventKeyframeOpen, s.extraEventLayers.size()};
  // After the first frame the sound begins a keyframe of its own.
  if (s.frame > 0) {
    if (s.eventKeyframeOpen) next ? WriteLastFrameTailNew(f) : WriteLastFrameTailOld(f);
    std::fputc(0x05, f);
    std::fputc(0x80, f);
    s.eventFramePos = next ? WriteFrameHeadNew(f) : WriteFrameHeadOld(f);
  }
  WriteSoundBlock(f, id, envelope, loops, sync);
  next ? FinishLastFrameNew(f) : FinishLastFrameOld(f);
  s.eventKeyframeOpen = false;
  if (std::ferror(f)) NoteWriterFailure(ctx, kResultOutputIncomplete);
}

namespace {

// One stretch of a stream: the frames before its first block, the frames
// that have blocks, and the sound item its blocks became (0 when none).
struct StreamStretch {
  uint32_t framesBefore = 0, frames = 0;
  uint16_t itemNo = 0;
};

// Scans the blocks that follow in `source` from its position up to the
// first frame without a block (or End), and places them as one sound.
// The source is put back where it stood.
uint32_t CollectStretch(ConverterContext& ctx, SoundLayerState& s, std::span<const uint8_t> head,
                        TagSource& source, StreamStretch& out) {
  const uint8_t format = head[1];
  const uint8_t route = format & 0xF0;
  const uint64_t start = source.pos();
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding stream sound...");
  const uint32_t blockSamples = head.size() >= 4 ? uint32_t(head[2] | (head[3] << 8)) : 0;
  // The sub-task runs over the bytes from here to the movie's end.
  const uint64_t scanEnd = source.end();
  auto step = [&](uint64_t at) {
    if (ctx.m_pShell) ctx.m_pShell->StepSubProgressBytes(uint32_t(std::min<uint64_t>(at - start, UINT32_MAX)));
  };
  if (ctx.m_pShell) ctx.m_pShell->BeginSubTask(0, uint32_t(std::min<uint64_t>(scanEnd - start, UINT32_MAX)));

  const std::string what = "SoundStreamHead in frame " + std::to_string(s.frame + 1);
  const std::string declared = Samples(blockSamples, " a frame");
  std::vector<uint8_t> mp3;
  uint64_t mp3Bytes = 0;
  std::optional<DecodedSound> decoded;
  if (route != kSoundRouteMp3) decoded.emplace(ctx);
  // Without a sound item left the blocks are only walked; once the budget
  // refuses a block, the rest are too.
  bool decode = ctx.m_budget.soundItems.left() > 0, overBudget = false;
  bool started = false, frameHadBlock = false, ended = false;
  std::vector<uint8_t> block;
  while (!ended && source.pos() < source.end()) {
    TagHeader h;
    bool read = source.header(h);
    switch (read ? h.code : 0xFFFF) {
      case 0:
        ended = true;
        break;
      case 19:
        started = true;
        frameHadBlock = true;
        read = source.body(h, block);
        step(source.pos());
        if (!read || block.size() <= 5 || !decode) break;
        if (route == kSoundRouteMp3) {
          // Whole frames decode to more than 3 bytes a byte of their data:
          // data beyond a third of what the budget has left is refused
          // before it is kept.
          mp3Bytes += block.size() - 4;
          if (mp3Bytes > ctx.m_budget.sound.left() / 3) {
            ChargeSound(ctx, mp3Bytes * 3, what, declared);
            decode = false;
            overBudget = true;
          } else if (mp3.size() + block.size() < kMaxSoundStreamBytes) {
            mp3.insert(mp3.end(), block.begin() + 4, block.end());
          }
        } else {
          const uint64_t frames = route == kSoundRouteAdpcm
                                      ? std::min<uint64_t>(blockSamples, AdpcmSamplesHeld(block, format))
                                      : PcmFramesHeld(block.size(), format);
          if (!ChargeSound(ctx, OutputBytesFor(frames, format), what, declared)) {
            decode = false;
            overBudget = true;
          } else if (route == kSoundRouteAdpcm) {
            DecodeAdpcmSound(block, decoded->out(), blockSamples, format & 0x0F);
          } else {
            ConvertPcmBlock(block, format, decoded->out());
          }
        }
        break;
      case 1:
        if (!started) {
          ++out.framesBefore;
        } else if (!frameHadBlock) {
          ended = true;
        } else {
          ++out.frames;
          frameHadBlock = false;
        }
        break;
      default:
        break;
    }
    if (read && h.code != 19) read = source.seek(h.bodyEnd());
    if (!read) {
      source.seek(start);
      return kResultSoundStreamPastEnd;
    }
  }
  s.streamEnd = source.pos();
  source.seek(start);
  // No stream can start from here on: a later head would scan the same
  // tags again.
  if (!started || out.frames == 0) {
    s.noBlockFrom = start;
    return kResultDone;
  }

  // A stretch the budget refused is skipped before it takes an item
  // number; one that decodes to nothing is told as unreadable.
  if (overBudget) return kResultDone;
  if (!decode) {
    TakeSoundItem(ctx, what);  // none was left: refused
    return kResultDone;
  }
  Mp3Peaks peaks;
  bool readable;
  if (route == kSoundRouteMp3) {
    peaks = CountMp3Peaks(mp3, format);
    readable = peaks.samples > 0 && AdmitSound(ctx, peaks.decodeLimit(), what, Samples(peaks.samples));
    if (peaks.samples > 0 && !readable) return kResultDone;
  } else {
    readable = decoded->out().written() > 0;
    if (readable && !TakeSoundItem(ctx, what)) return kResultDone;
  }
  uint16_t itemNo = 0;
  if (!TakeItemNo(ctx, itemNo)) return kResultDone;
  bool placed = false;
  if (readable && route == kSoundRouteMp3) {
    placed = PlaceMp3Sound(ctx, itemNo, format, mp3, peaks);
  } else if (readable) {
    if (decoded->out().cut()) Tell(ctx, kCutSound, CutText(what));
    placed = decoded->place(itemNo);
  }
  if (!placed) {
    if (!ctx.m_nWriterError)
      Tell(ctx, "sound streams that cannot be read", what + ": the stream cannot be read and is skipped.");
    return kResultDone;
  }
  out.itemNo = itemNo;
  return kResultDone;
}

// The stretch's keyframe on the stream layer, whose current keyframe (the
// one at `streamFramePos`) is still empty: that keyframe keeps `before`
// frames and the sound's keyframe follows it, or, with none before, the
// sound goes into it.
void WriteStretchKeyframe(SoundLayerState& s, uint8_t level, uint32_t before, const StreamStretch& stretch) {
  std::FILE* f = s.streamFile;
  const bool next = IsNewFlaFormat(level);
  std::fseek(f, 0, SEEK_END);
  if (before > 0) {
    PatchU16(f, s.streamFramePos, before);
    s.streamFramePos = next ? WriteNextFrameNew(f) : WriteNextFrameOld(f);
  }
  WriteSoundBlock(f, stretch.itemNo, SoundEnvelope{}, 1, 3);
  next ? FinishLastFrameNew(f) : FinishLastFrameOld(f);
  s.streamKeyframeOpen = false;
  PatchU16(f, s.streamFramePos, stretch.frames);
}

}  // namespace

uint32_t HandleSoundStreamHead(ConverterContext& ctx, SoundLayerState& s,
                               std::span<const uint8_t> body, TagSource& source) {
  if (!On(ctx.m_pOptSound) || body.size() < 2 || s.streamSeen) return kResultDone;
  if (!StreamRouteAccepted(body[1] & 0xF0)) return kResultDone;
  // An earlier scan from before here found no block up to End; or the
  // head lies among the tags of a stretch already scanned that could not
  // be placed: from here it would find the same blocks again.
  if (source.pos() >= s.noBlockFrom || source.pos() < s.streamEnd) return kResultDone;
  StreamStretch stretch;
  if (uint32_t r = CollectStretch(ctx, s, body, source, stretch); r != kResultDone) return r;
  if (!stretch.itemNo) return kResultDone;

  // The stream's keyframe, after an empty one for the frames before it.
  // Without the layer's timeline the sound stays a library item only, and
  // no further stream is looked for.
  std::FILE* f = s.streamFile;
  if (!f || !LayersOn(ctx, s)) {
    s.noBlockFrom = 0;
    return kResultDone;
  }
  const uint32_t startFrame = uint32_t(s.frame) + stretch.framesBefore;
  WriteStretchKeyframe(s, ctx.m_nFlaFormat, startFrame, stretch);
  s.streamHead.assign(body.begin(), body.begin() + std::min<size_t>(body.size(), 8));
  s.streamEndFrame = startFrame + stretch.frames;
  s.streamSeen = true;
  if (std::ferror(f)) NoteWriterFailure(ctx, kResultOutputIncomplete);
  return kResultDone;
}

uint32_t HandleSoundStreamBlock(ConverterContext& ctx, SoundLayerState& s, std::span<const uint8_t> body,
                                TagSource& source, uint64_t headerPos) {
  // Only a block after the stream's last stretch, on a layer that shows it;
  // an all-zero block is silence and starts nothing.
  if (!LayersOn(ctx, s) || body.empty() || !s.streamSeen || !s.streamFile || headerPos < s.streamEnd)
    return kResultDone;
  if (std::all_of(body.begin(), body.end(), [](uint8_t b) { return b == 0; })) return kResultDone;
  const uint64_t resume = source.pos();
  if (!source.seek(headerPos)) return kResultDone;
  StreamStretch stretch;
  const uint32_t r = CollectStretch(ctx, s, s.streamHead, source, stretch);
  source.seek(resume);
  if (r != kResultDone || !stretch.itemNo) return r;

  // The frames since the last stretch ended make an empty keyframe, then
  // the new stretch's keyframe follows.
  std::FILE* f = s.streamFile;
  const bool next = IsNewFlaFormat(ctx.m_nFlaFormat);
  std::fseek(f, 0, SEEK_END);
  std::fputc(0x05, f);
  std::fputc(0x80, f);
  s.streamFramePos = next ? WriteFrameHeadNew(f) : WriteFrameHeadOld(f);
  const uint32_t gap = s.frame > s.streamEndFrame ? s.frame - s.streamEndFrame : 0;
  WriteStretchKeyframe(s, ctx.m_nFlaFormat, gap, stretch);
  s.streamEndFrame = uint32_t(s.frame) + stretch.frames;
  if (std::ferror(f)) NoteWriterFailure(ctx, kResultOutputIncomplete);
  return kResultDone;
}

}  // namespace tovrani
