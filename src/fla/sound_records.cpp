#include "fla/sound_records.h"

#include <cstdlib>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"

namespace tovrani {

namespace {

bool Put(std::FILE* f, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes)
    if (std::fputc(b, f) == EOF) return false;
  return true;
}

bool Put16(std::FILE* f, uint32_t v) { return Put(f, {uint8_t(v), uint8_t(v >> 8)}); }
bool Put32(std::FILE* f, uint32_t v) {
  return Put(f, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

}  // namespace

bool WriteSoundBlock(std::FILE* f, uint16_t soundId, const SoundEnvelope& envelope,
                     uint16_t loopCount, uint32_t sync) {
  bool ok = Put16(f, soundId);
  if (envelope.present) {
    ok = ok && Put16(f, envelope.count);
    ok = ok && (envelope.points.empty() ||
                std::fwrite(envelope.points.data(), 1, envelope.points.size(), f) ==
                    envelope.points.size());
  } else {
    ok = ok && Put32(f, 1) && Put32(f, 0x80000000u) && Put16(f, 0x8000);
  }
  return ok && Put16(f, loopCount) && Put32(f, sync) && Put(f, {0});
}

std::vector<uint8_t> StartSoundLayerRecord(uint8_t level, uint16_t frame, uint16_t soundId,
                                           const SoundEnvelope& envelope) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* f = open_memstream(&buffer, &size);
  if (!f) return {};
  const bool next = IsNewFlaFormat(level);
  const uint8_t savedLead = g_shortLayerEndLead;
  Put(f, {0x01, 0x03, 0x80, FlaVersionByte(level), 0x00, 0x05, 0x80});
  if (frame > 0) next ? WriteEmptyFrameNew(f, frame) : WriteEmptyFrameOld(f, frame);
  next ? WriteFrameHeadNew(f) : WriteFrameHeadOld(f);
  WriteSoundBlock(f, soundId, envelope, 0, 0);
  next ? FinishLastFrameNew(f) : FinishLastFrameOld(f);
  if (next)
    WriteLayerTailNew(f, "EventSound", true, false, false, 0, 0);
  else
    WriteLayerTailOld(f, "EventSound", true, false, false, 0, 0);
  g_shortLayerEndLead = savedLead;
  const bool ok = !std::ferror(f);
  std::fclose(f);
  std::vector<uint8_t> record;
  if (ok) record.assign(buffer, buffer + size);
  std::free(buffer);
  return record;
}

}  // namespace tovrani
