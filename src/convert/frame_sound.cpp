#include "convert/frame_sound.h"

#include <utility>

#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "convert/sound_layers.h"
#include "convert/stream_helpers.h"

namespace tovrani {
namespace {

void Tail(std::FILE* f, const char* name, bool isNew) {
  if (isNew)
    WriteLayerTailNew(f, name, true, false, false, 0, 0);
  else
    WriteLayerTailOld(f, name, true, false, false, 0, 0);
}

void End(std::FILE* f, uint16_t value, bool isNew) {
  if (isNew)
    WriteLayerEndNew(f, value);
  else
    WriteLayerEndOld(f, value);
}

// False when no layer is present; `ok` false when a layer cannot be closed.
bool Close(const FrameSoundLayers& l, uint32_t actionMark, uint8_t level, bool& ok) {
  const bool isNew = IsNewFlaFormat(level);
  SoundLayerState* s = l.sounds;
  const bool events = s && s->eventsSeen, stream = s && s->streamSeen;
  if (events && !CloseEventSoundLayer(*s, level)) ok = false;
  if (l.hasActionLayer) {
    std::FILE* a = l.actionFile;
    long pos = std::ftell(a);
    WriteZeros(a, isNew && pos >= 0 && uint32_t(pos) != actionMark ? 20 : 21);
    static const uint8_t kOld[] = {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    static const uint8_t kNew[] = {0xFF, 0xFE, 0xFF, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                   0x01, 0, 0, 0, 0, 0, 0, 0};
    if (isNew)
      WriteBytes(a, kNew, sizeof kNew);
    else
      WriteBytes(a, kOld, sizeof kOld);
    Tail(a, "ActionScript", isNew);
    if (stream)
      CloseStreamSoundLayer(*s, level, 3);
    else if (events)
      EndEventSoundLayer(*s, level, 2);
    else
      End(a, 4, isNew);
  } else if (stream) {
    CloseStreamSoundLayer(*s, level, 2);
  } else if (events) {
    EndEventSoundLayer(*s, level, 4);
  } else {
    return false;
  }
  return true;
}

}  // namespace

uint8_t WriteFrameSound(const FrameSoundLayers& l, uint32_t actionMark, uint8_t format, uint8_t mode,
                        std::FILE* out, uint8_t dropFirstByte, bool* failed) {
  bool ok = true;
  SoundLayerState* s = l.sounds;
  std::FILE* eventFile = s && s->eventsSeen ? s->eventFile : nullptr;
  std::FILE* streamFile = s && s->streamSeen ? s->streamFile : nullptr;
  if (mode == kFrameSoundClose) {
    if (!Close(l, actionMark, format, ok)) return 1;
    for (std::FILE* f : {eventFile, l.hasActionLayer ? l.actionFile : nullptr, streamFile})
      if (f && std::ferror(f)) ok = false;
  } else if (mode == kFrameSoundJoin) {
    bool drop = dropFirstByte != 0;
    const std::pair<uint8_t, std::FILE*> files[] = {
        {l.hasActionLayer, l.actionFile}, {eventFile != nullptr, eventFile}, {streamFile != nullptr, streamFile}};
    for (const auto& [present, f] : files) {
      if (!present) continue;
      ok = ok && out && AppendStreamFile(f, out, drop);
      drop = false;
    }
  }
  if (!ok && failed) *failed = true;
  return 0;
}

}  // namespace tovrani
