#include "timeline/symbol_timeline.h"

#include <algorithm>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "timeline/timeline_context.h"
#include "timeline/frame_labels.h"
#include "timeline/keyframe_completion.h"
#include "timeline/layer_start.h"
#include "timeline/symbol_instance.h"

namespace tovrani {

EaseTable BuildEaseTable() {
  EaseTable t{};
  // floor(16384 + 163.84 i + 0.86), in integers so that no rounding of the
  // product moves a value across an integer.
  for (uint32_t i = 0; i < t.size(); ++i) t[i] = uint16_t(16384 + (16384 * i + 86) / 100);
  return t;
}

int16_t LookupEaseValue(const EaseTable& t, uint16_t ratio) {
  int32_t e = 100;
  for (int32_t c = -100; c <= 100; ++c) {
    if (t[size_t(c + 100)] > ratio) {
      e = c;
      if (c > -100 && (t[size_t(c + 99)] == ratio || c < 0)) --e;
      break;
    }
  }
  return int16_t(-e);
}

namespace {

class SymbolTimelineBuilder {
 public:
  SymbolTimelineBuilder(TimelineContext& ctx, std::vector<DepthTrack>& tracks, int32_t lastTrack,
                        uint16_t timelineFrames, PageClassState& page, uint16_t groupTrack,
                        int32_t groupEntry, uint16_t* groupRange, uint32_t layerLimit)
      : ctx_(ctx),
        page_(ctx.m_pPageStream),
        level_(ctx.m_nFlaFormat),
        tracks_(tracks),
        lastTrack_(lastTrack < 0 ? -1 : int32_t(std::min<size_t>(size_t(lastTrack), tracks.size() - 1))),
        timelineFrames_(timelineFrames),
        state_(page),
        groupTrack_(groupTrack),
        groupEntry_(groupEntry),
        groupRange_(groupRange),
        maxLayers_(layerLimit ? layerLimit - 1 : 0xFFFFFF),
        order_(tracks, lastTrack_) {
    if (tracks.empty()) lastTrack_ = -1;
  }

  void run();

 private:
  bool nested() const { return groupEntry_ > -1; }
  void computeGroupRange();
  void writeEmptyTimeline();
  void markMaskedTracks();
  int32_t selectTrack();
  void writeLayer(int32_t cur);
  void startMaskLayer(int32_t cur);
  void startOtherLayer(int32_t cur);
  void writeEntryElement(const PlacementEntry& e);

  TimelineContext& ctx_;
  std::FILE* page_;
  uint8_t level_;
  std::vector<DepthTrack>& tracks_;
  int32_t lastTrack_;
  uint16_t timelineFrames_;
  PageClassState& state_;
  uint16_t groupTrack_;
  int32_t groupEntry_;
  uint16_t* groupRange_;
  uint32_t maxLayers_;
  TrackOrder order_;
  uint16_t pageFirst_ = 0, pageLast_ = 0;
  uint32_t iter_ = 0;
  uint32_t groupBaseKey_ = 0;
  uint16_t groupDepths_ = 0;
  LayerState layer_;
};

void SymbolTimelineBuilder::run() {
  pageFirst_ = 0;
  pageLast_ = timelineFrames_;
  if (nested()) computeGroupRange();
  if (lastTrack_ < 0 || maxLayers_ == 0) {
    writeEmptyTimeline();
  } else {
    if (!nested()) markMaskedTracks();
    while (++iter_ <= maxLayers_) {
      layer_.clearFlags();
      g_omitLayerLink = 0;
      int32_t cur = selectTrack();
      if (cur < 0) break;
      if (ctx_.m_pShell) ctx_.m_pShell->PumpMessages();
      DepthTrack& t = tracks_[size_t(cur)];
      const bool maskOrGroup = t.isMask || t.isGroup;
      if (!maskOrGroup) {
        startOtherLayer(cur);
      } else if (t.maskDone) {
        startMaskLayer(cur);
      } else if (nested() && t.isGroup && !t.isMask && t.key != groupBaseKey_ &&
                 !t.entries.empty() && t.entries[0].groupDepths != 0) {
        // A group inside the group: its own groups are built elsewhere; it
        // is written as an ordinary layer once it is no longer a group, so
        // the flag is cleared here and this dispatch cannot repeat.
        t.isGroup = 0;
        startOtherLayer(cur);
      } else {
        // The masked layers of a mask come first: the lowest unwritten one
        // in its range is written now, the mask itself when none is left.
        t.maskDone = 1;
        int32_t masked = -1;
        if (t.key < kTrackWritten) {
          const int32_t j = order_.firstFrom(t.key + 1);
          if (j >= 0) {
            const DepthTrack& cand = tracks_[size_t(j)];
            if (nested()) {
              if (uint64_t(cand.key) < uint64_t(t.key) + groupDepths_) masked = j;
            } else if (cand.key <= t.maskDepth && cand.isMasked) {
              masked = j;
            }
          }
        }
        if (masked >= 0) {
          layer_.asMasked = 1;
          cur = masked;
        } else {
          g_omitLayerLink = 1;
          startMaskLayer(cur);
        }
      }
      writeLayer(cur);
    }
    // Tracks that cannot be chosen leave the page head's layer without
    // frames; a top-level page then holds the empty timeline (a group's
    // caller gives its empty page a layer of its own).
    if (!nested() && layer_.firstLayer) writeEmptyTimeline();
  }
  if (!nested() && !tracks_.empty())
    WriteFrameLabelLayers(page_, tracks_[0].labels, timelineFrames_, state_, level_);
}

void SymbolTimelineBuilder::computeGroupRange() {
  // The head entry's own span, continued by the move entries that follow
  // it frame to frame; indexes past the track's entries give no range.
  if (groupTrack_ >= tracks_.size()) return;
  const DepthTrack& head = tracks_[groupTrack_];
  const int64_t last = std::min<int64_t>(head.lastEntry, int64_t(head.entries.size()) - 1);
  if (groupEntry_ > last) return;
  const PlacementEntry& e = head.entries[size_t(groupEntry_)];
  groupBaseKey_ = head.key;
  groupDepths_ = e.groupDepths;
  pageFirst_ = e.startFrame;
  pageLast_ = e.endFrame == kNeverRemoved ? timelineFrames_ : e.endFrame;
  for (int64_t k = groupEntry_ + 1; k <= last; ++k) {
    const PlacementEntry& prev = head.entries[size_t(k - 1)];
    const PlacementEntry& next = head.entries[size_t(k)];
    if (prev.endFrame != next.startFrame || !next.isMoveEntry) break;
    pageLast_ = next.endFrame == kNeverRemoved ? timelineFrames_ : next.endFrame;
  }
  if (groupRange_) {
    groupRange_[0] = pageFirst_;
    groupRange_[1] = pageLast_;
  }
}

void SymbolTimelineBuilder::writeEmptyTimeline() {
  // One layer "Layer 1" with one empty keyframe; a keyframe lasts at least
  // one frame, also on a page of no frames.
  const uint32_t frames = std::max<uint32_t>(timelineFrames_, 1);
  if (IsNewFlaFormat(level_)) {
    WriteLastEmptyFrameNew(page_, frames);
    WriteLayerTailNew(page_, "Layer 1", true, false, false, 0, 0);
  } else {
    WriteLastEmptyFrameOld(page_, frames);
    WriteLayerTailOld(page_, "Layer 1", true, false, false, 0, 0);
  }
}

void SymbolTimelineBuilder::markMaskedTracks() {
  // Every track above a mask up to and including its clip depth is masked:
  // ranges are added over the tracks in key order, so the marking takes
  // one pass whatever the masks cover.
  std::vector<int32_t> sorted;
  std::vector<int32_t> delta;
  std::vector<uint32_t> keys;
  for (int32_t p = order_.firstFrom(0); p >= 0; p = order_.nextAfter(p)) sorted.push_back(p);
  keys.reserve(sorted.size());
  for (int32_t p : sorted) keys.push_back(tracks_[size_t(p)].key);
  delta.assign(sorted.size() + 1, 0);
  for (int32_t i = 0; i <= lastTrack_; ++i) {
    DepthTrack& t = tracks_[size_t(i)];
    t.maskDone = 0;
    if (!t.isMask || t.maskDepth <= t.key) continue;
    const size_t lo = size_t(std::upper_bound(keys.begin(), keys.end(), t.key) - keys.begin());
    const size_t hi = size_t(std::upper_bound(keys.begin(), keys.end(), uint32_t(t.maskDepth)) - keys.begin());
    if (lo < hi) {
      ++delta[lo];
      --delta[hi];
    }
  }
  int32_t run = 0;
  for (size_t p = 0; p < sorted.size(); ++p) {
    run += delta[p];
    if (run > 0) tracks_[size_t(sorted[p])].isMasked = 1;
  }
}

int32_t SymbolTimelineBuilder::selectTrack() {
  if (!nested()) return order_.firstFrom(0);
  if (iter_ == 1) {
    if (groupTrack_ > lastTrack_ || tracks_[groupTrack_].key >= kTrackUnselectable) return -1;
    return groupTrack_;
  }
  const int32_t j = order_.firstFrom(groupBaseKey_);
  if (j < 0 || uint64_t(tracks_[size_t(j)].key) >= uint64_t(groupBaseKey_) + groupDepths_) return -1;
  return j;
}

void SymbolTimelineBuilder::startMaskLayer(int32_t cur) {
  const DepthTrack& t = tracks_[size_t(cur)];
  layer_.asMask = 1;
  if (t.isGroup && t.maskDepth == 0) {
    const uint16_t depths = nested() ? groupDepths_ : HeadGroupDepths(t);
    layer_.maskBound = depths ? uint32_t(t.key + depths - 1) : t.key;
  } else {
    layer_.maskBound = t.maskDepth;
  }
  layer_.maskRef = NextObjectIndex(state_);
  const int32_t except = t.isGroup ? cur : -1;
  layer_.refFlag = HasUnwrittenMasked(order_, tracks_, t.key, layer_.maskBound, except) ? 0 : 1;
}

void SymbolTimelineBuilder::startOtherLayer(int32_t cur) {
  const DepthTrack& t = tracks_[size_t(cur)];
  if (!t.isMasked) return;
  layer_.maskedFollower = 1;
  layer_.refFlag = HasUnwrittenMasked(order_, tracks_, t.key, layer_.maskBound) ? 0 : 1;
}

void SymbolTimelineBuilder::writeEntryElement(const PlacementEntry& e) {
  switch (e.kind) {
    case 3:  // edit text
    case 4:  // static text
    case 5:  // morph shape
    case 6:  // video
      // Elements with writers of their own; without one the keyframe stays
      // empty and keeps the placement's frames.
      break;
    default:
      // A character no handler registered (not converted, its option off, or
      // its conversion failed) has no library item to name: the keyframe
      // stays empty and keeps the placement's frames.
      if (e.streamIndex != kNoCharacterRow) WriteSymbolInstance(ctx_, e, state_);
      break;
  }
}

void SymbolTimelineBuilder::writeLayer(int32_t cur) {
  DepthTrack& t = tracks_[size_t(cur)];
  WriteLayerHead(page_, state_, level_, layer_.firstLayer);
  const EntryRange range = PageEntryRange(t, nested(), pageFirst_, pageLast_);
  LayerWindow w;
  w.last = range.last;
  w.pageLast = pageLast_;
  w.timelineFrames = timelineFrames_;
  w.lastLayer = int64_t(iter_) > lastTrack_;
  // An entry with no frame on the page (placed and removed in one frame,
  // taken over in its own frame, or placed after the last frame) is left
  // out like an absorbed one: it would push every later keyframe back.
  std::vector<int32_t> nextLive(range.last >= 0 ? size_t(range.last) + 1 : 0, -1);
  std::vector<uint32_t> lasts(nextLive.size(), 0);
  for (int32_t k = range.last, next = -1; k >= range.first; --k) {
    nextLive[size_t(k)] = next;
    const PlacementEntry& e = t.entries[size_t(k)];
    if (e.streamIndex == kAbsorbedEntry) continue;
    const uint32_t nextStart = next >= 0 ? t.entries[size_t(next)].startFrame : 0x10000;
    lasts[size_t(k)] = EntryDuration(e, pageLast_, nextStart, ctx_.m_pVideos);
    if (lasts[size_t(k)] == 0 && e.kind != kGroupPlacementKind) continue;
    if (w.lastLive < 0) w.lastLive = k;
    next = k;
  }
  if (w.lastLive >= 0) w.last = w.lastLive;
  w.nextLive = &nextLive;
  bool wrote = false;
  uint32_t base = pageFirst_;
  for (int32_t k = range.first; k <= w.last; ++k) {
    const PlacementEntry& e = t.entries[size_t(k)];
    if (e.streamIndex == kAbsorbedEntry || (lasts[size_t(k)] == 0 && e.kind != kGroupPlacementKind)) continue;
    WriteEntryGap(page_, e, base, state_, level_);
    OpenEntryKeyframe(page_, level_);
    writeEntryElement(e);
    wrote = true;
    // The next gap is measured from where the layer really is.
    const bool group = e.kind == kGroupPlacementKind;
    if (!group) base = w.reached = std::max<uint32_t>(e.startFrame, base) + lasts[size_t(k)];
    const bool done = CompleteKeyframe(page_, t, k, w, ctx_.m_pVideos, state_, level_);
    if (group) base = t.entries[size_t(k)].endFrame;
    if (done) break;
  }
  if (!wrote) {
    // A layer with nothing on this page still needs its opened keyframe.
    const uint32_t frames = std::max<uint32_t>(pageLast_ > pageFirst_ ? pageLast_ - pageFirst_ : 0, 1);
    if (IsNewFlaFormat(level_)) WriteLastEmptyFrameNew(page_, frames);
    else WriteLastEmptyFrameOld(page_, frames);
  }
  CloseLayer(page_, t, layer_, level_);
  order_.markWritten(cur);
}

}  // namespace

uint32_t BuildSymbolTimeline(TimelineContext& ctx, uint32_t /*mode*/, std::vector<DepthTrack>& tracks,
                             int32_t lastTrack, uint16_t /*fontCount*/, uint16_t timelineFrames,
                             PageClassState& page, uint16_t groupTrack, int32_t groupEntry,
                             uint16_t* groupRange, uint32_t layerLimit, uint32_t /*nestedMark*/,
                             std::string /*pageFile*/) {
  if (!ctx.m_pPageStream) return 0;
  SymbolTimelineBuilder builder(ctx, tracks, lastTrack, timelineFrames, page, groupTrack, groupEntry,
                                groupRange, layerLimit);
  builder.run();
  return 0;
}

void BuildSceneTimeline(TimelineContext& ctx, uint32_t mode, uint16_t frames) {
  // The scene page holds nothing but its head before its layers.
  ctx.m_sceneClassState = PageClassState{};
  DepthLayerTable& layers = ctx.m_movieLayers;
  BuildSymbolTimeline(ctx, mode, layers.records(), layers.lastInUse(), 0, frames,
                      ctx.m_sceneClassState);
}

}  // namespace tovrani
