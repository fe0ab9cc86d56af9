#include "timeline/keyframe_completion.h"

#include <algorithm>

#include "fla/archive.h"
#include "fla/item_names.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "timeline/symbol_timeline.h"
#include "timeline/video_instance.h"

namespace tovrani {

uint32_t EntryDuration(const PlacementEntry& e, uint16_t pageFirst, uint16_t pageLast, uint32_t nextStart,
                       const std::vector<VideoStreamRecord>& videos) {
  // An open end lasts to the page's end; an entry the engine left open
  // while a later placement took its depth stops where that one starts.
  uint32_t end = e.endFrame == kNeverRemoved ? pageLast : e.endFrame;
  end = std::min<uint32_t>({end, pageLast, nextStart});
  const uint32_t start = std::max(e.startFrame, pageFirst);
  const uint32_t span = end > start ? end - start : 0;
  // A video ends with its frames; one of no frames still shows its object
  // for one frame, as a player shows it.
  if (e.kind == kElementVideo && e.streamIndex < videos.size() && !VideoNeedsWrapper(e))
    return std::min<uint32_t>(std::max<uint32_t>(videos[e.streamIndex].frameCount, 1), span);
  return span;
}

uint32_t GroupPlacementSkip(const PlacementEntry& e) {
  return e.kind == kGroupPlacementKind ? std::max<uint32_t>(e.runLength, 1) - 1 : 0;
}

bool CompleteKeyframe(std::FILE* page, const DepthTrack& track, int32_t& k, LayerWindow& w,
                      const std::vector<VideoStreamRecord>& videos, PageClassState& state,
                      uint8_t level) {
  const bool isNew = IsNewFlaFormat(level);
  const PlacementEntry& e = track.entries[size_t(k)];
  PutU8(page, 0);  // end of the keyframe's element list
  const PatchPos pos = isNew ? WriteSingleFrameNew(page) : WriteSingleFrameOld(page);
  const uint32_t skip = GroupPlacementSkip(e);
  uint32_t nextStart = 0x10000;
  const int64_t last = int64_t(k) + skip;
  if (w.nextLive && last < int64_t(w.nextLive->size()) && (*w.nextLive)[size_t(last)] >= 0)
    nextStart = track.entries[size_t((*w.nextLive)[size_t(last)])].startFrame;
  uint32_t d = EntryDuration(e, w.pageFirst, w.pageLast, nextStart, videos);
  if (w.tween && w.nextLive) {
    const uint32_t start = e.startFrame;
    if (const uint32_t tween = ApproximateMotionTween(page, pos, track, k, w.last, *w.nextLive, *w.tween)) {
      d = tween;
      w.reached = start + tween;
    }
  }
  if (d > 1) PatchFrameDuration(page, pos, d);

  if (k < w.last) {
    if (int64_t(k) + 1 + skip <= w.lastLive) {
      WriteKnownClassTag(page, kPicFrameClassIndex);
      ++state.frames;
    }
    k = int32_t(std::min<int64_t>(int64_t(k) + skip, w.last));
    return false;
  }
  k = int32_t(std::min<int64_t>(int64_t(k) + skip, int64_t(track.entries.size()) - 1));
  const PlacementEntry& tail = track.entries[size_t(k)];
  // The last layer written, mask or not, runs to the timeline's end so the
  // document is as long as the movie.
  const uint32_t reached = tail.kind == kGroupPlacementKind ? tail.endFrame : w.reached;
  if (w.lastLayer && reached < w.timelineFrames) {
    WriteKnownClassTag(page, kPicFrameClassIndex);
    const uint32_t rest = w.timelineFrames - reached;
    if (isNew) WriteLastEmptyFrameNew(page, rest);
    else WriteLastEmptyFrameOld(page, rest);
    ++state.frames;
  }
  return true;
}

void CloseLayer(std::FILE* page, DepthTrack& track, const LayerState& f, uint8_t level) {
  const std::string name = MakeLevelName(uint16_t(track.key));
  const bool plain = !(f.asMasked || f.refFlag || f.asMask || f.maskedFollower);
  if (IsNewFlaFormat(level))
    WriteLayerTailNew(page, name, plain, f.asMasked, f.asMask, f.maskRef, f.refFlag);
  else
    WriteLayerTailOld(page, name, plain, f.asMasked, f.asMask, f.maskRef, f.refFlag);
  track.key = kTrackWritten;
}

}  // namespace tovrani
