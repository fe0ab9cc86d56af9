#include "convert/timeline_frame.h"

#include <algorithm>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "timeline/display_list.h"
#include "convert/engine.h"

namespace tovrani {

void OrderHandoffs(TimelineFrameState& st, const std::vector<DepthHandoff>& handoffs) {
  st.handoffOrder.resize(handoffs.size());
  for (uint32_t i = 0; i < handoffs.size(); ++i) st.handoffOrder[i] = i;
  std::stable_sort(st.handoffOrder.begin(), st.handoffOrder.end(),
                   [&](uint32_t a, uint32_t b) { return handoffs[a].frame < handoffs[b].frame; });
  st.nextHandoff = 0;
}

void EndHandedOffPlacements(TimelineFrameState& st, const std::vector<DepthHandoff>& handoffs,
                            DisplayTimeline tl) {
  const uint32_t coming = uint32_t(st.frame) + 1;
  const auto& order = st.handoffOrder;
  while (st.nextHandoff < order.size() && handoffs[order[st.nextHandoff]].frame < coming)
    ++st.nextHandoff;
  for (size_t i = st.nextHandoff; i < order.size() && handoffs[order[i]].frame == coming; ++i) {
    const uint16_t key = handoffs[order[i]].depth;
    tl.depthIds.removeLast(key);
    for (int32_t k : tl.layers.layersWithKey(key))
      if (k <= tl.layers.lastInUse()) tl.layers[size_t(k)].currentEntry().endFrame = st.frame;
  }
}

void AdvanceSoundFrames(TimelineFrameState& st, const TimelineLayerFiles& files, uint8_t level) {
  if (!files.streamSoundSeen) BumpU16At(files.streamSound, st.streamSoundFramePos);
  if (!st.soundStartedNow) {
    std::FILE* ev = files.eventSound;
    if (st.soundStartedBefore) {
      // The next-frame reference, then a new keyframe.
      if (ev && !std::fseek(ev, 0, SEEK_END)) {
        std::fputc(0x05, ev);
        std::fputc(0x80, ev);
        st.eventSoundFramePos = IsNewFlaFormat(level) ? WriteFrameHeadNew(ev) : WriteFrameHeadOld(ev);
      }
    } else if (st.frame >= 1) {
      BumpU16At(ev, st.eventSoundFramePos);
    }
  }
  st.soundStartedBefore = st.soundStartedNow;
  st.soundStartedNow = false;
}

bool AdvanceActionFrame(TimelineFrameState& st, const TimelineLayerFiles& files, uint16_t nextWord) {
  if (nextWord != 0 && !st.firstFrame) BumpU16At(files.action, st.actionFramePos);
  st.firstFrame = false;
  return ++st.frame == 0xFFFF;
}

}  // namespace tovrani
