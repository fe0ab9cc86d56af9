#include "convert/sound_layers.h"

#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/memory_file.h"
#include "convert/engine.h"

namespace tovrani {

namespace {

void CloseOpenKeyframe(std::FILE* f, bool& open, uint8_t level) {
  if (!f || !open) return;
  std::fseek(f, 0, SEEK_END);
  IsNewFlaFormat(level) ? WriteLastFrameTailNew(f) : WriteLastFrameTailOld(f);
  open = false;
}

void WriteTail(std::FILE* f, const char* name, uint8_t level) {
  std::fseek(f, 0, SEEK_END);
  if (IsNewFlaFormat(level))
    WriteLayerTailNew(f, name, true, false, false, 0, 0);
  else
    WriteLayerTailOld(f, name, true, false, false, 0, 0);
}

void WriteEnd(std::FILE* f, uint8_t level, uint32_t value) {
  std::fseek(f, 0, SEEK_END);
  if (IsNewFlaFormat(level))
    WriteLayerEndNew(f, uint16_t(value));
  else
    WriteLayerEndOld(f, value);
}

}  // namespace

void SoundLayerState::start(std::FILE* event, std::FILE* stream, int64_t eventPos,
                            int64_t streamPos) {
  *this = SoundLayerState{};
  eventFile = event;
  streamFile = stream;
  eventFramePos = eventPos;
  streamFramePos = streamPos;
}

void SoundLayersShowFrame(SoundLayerState& s, uint8_t level) {
  if (!s.streamSeen) BumpU16At(s.streamFile, s.streamFramePos);
  if (!s.startedNow) {
    std::FILE* ev = s.eventFile;
    if (s.startedBefore) {
      // The next-frame reference, then a new keyframe.
      if (ev && !s.eventKeyframeOpen && !std::fseek(ev, 0, SEEK_END)) {
        std::fputc(0x05, ev);
        std::fputc(0x80, ev);
        s.eventFramePos = IsNewFlaFormat(level) ? WriteFrameHeadNew(ev) : WriteFrameHeadOld(ev);
        s.eventKeyframeOpen = true;
      }
    } else if (s.frame >= 1) {
      BumpU16At(ev, s.eventFramePos);
    }
  }
  s.startedBefore = s.startedNow;
  s.startedNow = false;
}

bool DropUnshownFrameSounds(SoundLayerState& s) {
  if (!s.startedNow || !s.eventFile || s.frameMark.fileEnd < 0) return true;
  if (std::fflush(s.eventFile) || !TruncateOpenFile(s.eventFile, uint64_t(s.frameMark.fileEnd)) ||
      std::fseek(s.eventFile, 0, SEEK_END))
    return false;
  s.eventFramePos = s.frameMark.framePos;
  s.eventKeyframeOpen = s.frameMark.keyframeOpen;
  s.extraEventLayers.resize(s.frameMark.extraLayers);
  s.startedNow = false;
  return true;
}

void CloseEventSoundFrames(SoundLayerState& s, uint8_t level) {
  CloseOpenKeyframe(s.eventFile, s.eventKeyframeOpen, level);
}

bool CloseEventSoundLayer(SoundLayerState& s, uint8_t level) {
  std::FILE* f = s.eventFile;
  if (!f) return false;
  CloseEventSoundFrames(s, level);
  WriteTail(f, "EventSound", level);
  if (s.extraEventLayers.empty()) return !std::ferror(f);
  // Written once, in front of the layer.
  std::vector<uint8_t> layer;
  if (!ReadWholeFile(f, layer) || std::fseek(f, 0, SEEK_SET)) return false;
  bool ok = true;
  // Each further StartSound's layer went in front of those before it.
  for (auto it = s.extraEventLayers.rbegin(); it != s.extraEventLayers.rend(); ++it)
    ok = ok && WriteBytes(f, it->data(), it->size());
  ok = ok && WriteBytes(f, layer.data(), layer.size());
  s.extraEventLayers.clear();
  return ok && std::fflush(f) == 0;
}

void CloseStreamSoundLayer(SoundLayerState& s, uint8_t level, uint32_t endValue) {
  std::FILE* f = s.streamFile;
  if (!f) return;
  CloseOpenKeyframe(f, s.streamKeyframeOpen, level);
  WriteTail(f, "StreamSound", level);
  WriteEnd(f, level, endValue);
}

void EndEventSoundLayer(SoundLayerState& s, uint8_t level, uint32_t value) {
  if (s.eventFile) WriteEnd(s.eventFile, level, value);
}

}  // namespace tovrani
