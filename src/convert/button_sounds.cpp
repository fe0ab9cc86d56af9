#include "convert/button_sounds.h"

#include <string>

#include "convert/converter_context.h"
#include "convert/sound_tags.h"
#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "swf/swf_reader.h"

namespace tovrani {
namespace {

// One sound layer: its keyframes over the button's four frames.
class SoundLayerWriter {
 public:
  SoundLayerWriter(std::FILE* page, uint8_t level) : f_(page), level_(level), new_(IsNewFlaFormat(level)) {}

  void Write(const ButtonSoundSlot (&slots)[4], const ConverterContext& ctx) {
    const uint8_t lead[] = {0x01, 0x03, 0x80, FlaVersionByte(level_), 0x00, 0x05, 0x80};
    PutBytes(f_, lead, sizeof lead);
    OpenFrame(false);
    for (int k = 0; k < 4; ++k) {
      const ButtonSoundSlot& s = slots[k];
      const bool sound = s.soundId != 0 && ctx.m_soundItemIds.count(s.soundId);
      if (sound) {
        if (prevSound_ || !frameOpen_) {
          OpenFrame(true);
        } else if (emptyPending_) {
          CloseFrame();
          OpenFrame(true);
          emptyPending_ = false;
        }
        const uint32_t sync = (s.flags & kSyncStopFlag) ? 2 : (s.flags & kSyncNoMultipleFlag) ? 1 : 0;
        WriteSoundBlock(f_, s.soundId, s.envelope, s.loopCount, sync);
        new_ ? FinishLastFrameNew(f_) : FinishLastFrameOld(f_);
        frameOpen_ = false;
      } else {
        if (prevSound_ || !frameOpen_) {
          OpenFrame(true);
        } else if (k > 0) {
          PatchFrameDuration(f_, durationPos_, ++duration_);
        }
        emptyPending_ = true;
        if (k == 3) CloseFrame();
      }
      prevSound_ = sound;
    }
    if (new_)
      WriteLayerTailNew(f_, "Sound", true, false, false, 0, 0);
    else
      WriteLayerTailOld(f_, "Sound", true, false, false, 0, 0);
  }

 private:
  // A keyframe head of duration 1, after the joint 05 80 when asked.
  void OpenFrame(bool joint) {
    if (joint) PutBytes(f_, "\x05\x80", 2);
    durationPos_ = new_ ? WriteFrameHeadNew(f_) : WriteFrameHeadOld(f_);
    duration_ = 1;
    frameOpen_ = true;
  }
  void CloseFrame() { new_ ? WriteLastFrameTailNew(f_) : WriteLastFrameTailOld(f_); }

  std::FILE* f_;
  uint8_t level_;
  bool new_;
  bool frameOpen_ = false, prevSound_ = false, emptyPending_ = false;
  PatchPos durationPos_ = 0;
  uint32_t duration_ = 1;
};

}  // namespace

void ReadButtonSoundSlots(std::span<const uint8_t> data, ButtonSoundSlot (&slots)[4]) {
  SwfReader r(data);
  for (ButtonSoundSlot& slot : slots) slot = ButtonSoundSlot{};
  for (ButtonSoundSlot& slot : slots) {
    ButtonSoundSlot s;
    s.soundId = r.u16();
    if (r.ok() && s.soundId != 0) {
      s.flags = r.u8();
      if (s.flags & 1) r.skip(4);  // in point
      if (s.flags & 2) r.skip(4);  // out point
      if (s.flags & 4) s.loopCount = r.u16();
      if (s.flags & 8) {
        s.envelope.present = true;
        s.envelope.count = r.u8();
        s.envelope.points = r.take(uint64_t(s.envelope.count) * 8);
      }
    }
    if (!r.ok()) return;
    slot = s;
  }
}

uint32_t WriteButtonSoundLayers(ConverterContext& ctx, std::FILE* page) {
  // Each button looks its sounds up instead of scanning the whole table.
  if (ctx.m_nButtonSoundsIndexed != ctx.m_pButtonSounds.size()) {
    ctx.m_buttonSoundRows.clear();
    for (uint32_t i = 0; i < ctx.m_pButtonSounds.size(); ++i)
      ctx.m_buttonSoundRows[ctx.m_pButtonSounds[i].buttonId].push_back(i);
    ctx.m_nButtonSoundsIndexed = ctx.m_pButtonSounds.size();
  }
  const uint16_t button = ctx.m_pStreamItemNo.at(ctx.m_nStreams);
  const auto rows = ctx.m_buttonSoundRows.find(button);
  if (rows == ctx.m_buttonSoundRows.end()) return 0;
  uint32_t layers = 0;
  for (const uint32_t i : rows->second) {
    const ButtonSoundRecord& rec = ctx.m_pButtonSounds[i];
    // Every definition of the button gets every sound tag of its id: a
    // movie that defines one button over and over with many sound tags
    // must not write them all into every page.
    if (!ctx.m_budget.soundLayers.Take(1)) {
      if (ctx.m_budget.soundLayers.FirstRefusal() && ctx.m_pShell)
        ctx.m_pShell->ShowMessage("BRASKELON Tovrani Sound",
                                  "DefineButtonSound of button " + std::to_string(button) +
                                      ": the movie asks for more sound layers than its size allows; the sound "
                                      "was skipped.");
      continue;
    }
    if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding button sound...");
    ButtonSoundSlot slots[4];
    ReadButtonSoundSlots(rec.data, slots);
    SoundLayerWriter(page, ctx.m_nFlaFormat).Write(slots, ctx);
    ++layers;
  }
  return layers;
}

}  // namespace tovrani
