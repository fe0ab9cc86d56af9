#include "timeline/symbol_timeline.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/write_bound.h"
#include "platform/resource_bound.h"
#include "timeline/timeline_context.h"
#include "timeline/frame_labels.h"
#include "timeline/component_wrapper.h"
#include "timeline/inner_symbol_page.h"
#include "timeline/keyframe_completion.h"
#include "timeline/layer_start.h"
#include "timeline/morph_symbols.h"
#include "timeline/symbol_instance.h"
#include "timeline/text_object.h"
#include "timeline/text_wrapper.h"
#include "timeline/video_instance.h"

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

// Tracks whose key a builder changed, with the key they had.
using ChangedKeys = std::vector<std::pair<int32_t, uint32_t>>;

class SymbolTimelineBuilder {
 public:
  SymbolTimelineBuilder(TimelineContext& ctx, std::vector<DepthTrack>& tracks, int32_t lastTrack,
                        uint16_t fontCount, uint16_t timelineFrames, PageClassState& page,
                        int32_t groupTrack, int32_t groupEntry, uint16_t* groupRange,
                        uint32_t layerLimit, uint32_t groupLevel = 0, ChangedKeys* changed = nullptr)
      : ctx_(ctx),
        page_(ctx.m_pPageStream),
        level_(ctx.m_nFlaFormat),
        tracks_(tracks),
        lastTrack_(lastTrack < 0 ? -1 : int32_t(std::min<size_t>(size_t(lastTrack), tracks.size() - 1))),
        fontCount_(fontCount),
        timelineFrames_(timelineFrames),
        state_(page),
        groupTrack_(groupTrack),
        groupEntry_(groupEntry),
        groupRange_(groupRange),
        maxLayers_(layerLimit ? layerLimit - 1 : 0xFFFFFF),
        groupLevel_(groupLevel),
        changed_(changed),
        order_(tracks, lastTrack_),
        tween_(ReadMotionTweenSettings(ctx)) {
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
  // The last depth a mask (or the group head) on a group's page covers.
  uint32_t nestedMaskBound(int32_t cur) const;
  void buildGroupsInRange(uint32_t lo, uint64_t hi, bool maskedOnly);
  void buildGroups(int32_t head);
  void buildGroup(int32_t head, int32_t entry);
  // Charges the layers of entry `entry`'s group page to the movie's budget;
  // false (the first refusal named) when they would overdraw it.
  bool chargeGroupLayers(const DepthTrack& g, int32_t entry);
  int32_t absorbGroup(const ChangedKeys& changed, int32_t head, int32_t entry, uint16_t first,
                      uint16_t last);
  void writeEntryElement(DepthTrack& t, int32_t k);
  void writeText(DepthTrack& t, int32_t k);

  TimelineContext& ctx_;
  std::FILE* page_;
  uint8_t level_;
  std::vector<DepthTrack>& tracks_;
  int32_t lastTrack_;
  uint16_t fontCount_;
  uint16_t timelineFrames_;
  PageClassState& state_;
  int32_t groupTrack_;  // a track index: there may be more than 65,535 tracks
  int32_t groupEntry_;
  uint16_t* groupRange_;
  uint32_t maxLayers_;
  uint32_t groupLevel_;     // 0 on a top-level page, n on a group page n deep
  ChangedKeys* changed_;    // a group page reports the tracks it wrote
  TrackOrder order_;
  uint16_t pageFirst_ = 0, pageLast_ = 0;
  uint32_t iter_ = 0;
  uint32_t groupBaseKey_ = 0;
  uint16_t groupDepths_ = 0;
  LayerState layer_;
  // The text entries of the layer being written, by character id; made at
  // the layer's first text wrapper.
  std::unordered_map<uint16_t, std::vector<int32_t>> textEntries_;
  bool textEntriesMade_ = false;
  // The entries of the layer being written by character, for the
  // component wrappers; made at the layer's first one.
  TrackCharacterIndex clipEntries_;
  MotionTweenSettings tween_;
};

// Groups nest at most this deep; a head met deeper is an ordinary layer.
constexpr uint32_t kMaxGroupNesting = 64;

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
      // An abandoned document needs no more layers, nor one past the bound
      // of what the conversion may write.
      if (ReadCancelRequest(ctx_) || WriteBoundCrossed(ctx_)) break;
      DepthTrack& t = tracks_[size_t(cur)];
      const bool maskOrGroup = t.isMask || t.isGroup;
      if (!maskOrGroup) {
        startOtherLayer(cur);
      } else if (t.maskDone) {
        startMaskLayer(cur);
      } else if (nested() && t.isGroup && !t.isMask && t.key != groupBaseKey_ &&
                 !t.entries.empty() && t.entries[0].groupDepths != 0) {
        // A group inside the group: built now; the head, no longer a group,
        // is the ordinary layer that places it.
        buildGroups(cur);
        startOtherLayer(cur);
      } else {
        // The groups inside a mask's range are built first. Then the masked
        // layers of a mask come first: the lowest unwritten one in its range
        // is written now, the mask itself when none is left.
        t.maskDone = 1;
        if (!nested()) buildGroupsInRange(t.key, t.maskDepth, true);
        else if (cur == groupTrack_) buildGroupsInRange(t.key, uint64_t(t.key) + groupDepths_, false);
        int32_t masked = -1;
        if (t.key < kTrackWritten) {
          const int32_t j = order_.firstFrom(t.key + 1);
          if (j >= 0) {
            const DepthTrack& cand = tracks_[size_t(j)];
            if (nested()) {
              if (cand.key <= nestedMaskBound(cur)) masked = j;
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
  if (groupTrack_ < 0 || size_t(groupTrack_) >= tracks_.size()) return;
  const DepthTrack& head = tracks_[size_t(groupTrack_)];
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
    if (groupTrack_ < 0 || groupTrack_ > lastTrack_ || tracks_[size_t(groupTrack_)].key >= kTrackUnselectable)
      return -1;
    return groupTrack_;
  }
  const int32_t j = order_.firstFrom(groupBaseKey_);
  if (j < 0 || uint64_t(tracks_[size_t(j)].key) >= uint64_t(groupBaseKey_) + groupDepths_) return -1;
  return j;
}

void SymbolTimelineBuilder::startMaskLayer(int32_t cur) {
  const DepthTrack& t = tracks_[size_t(cur)];
  layer_.asMask = 1;
  if (nested()) {
    layer_.maskBound = nestedMaskBound(cur);
  } else if (t.isGroup && t.maskDepth == 0) {
    const uint16_t depths = HeadGroupDepths(t);
    layer_.maskBound = depths ? uint32_t(t.key + depths - 1) : t.key;
  } else {
    layer_.maskBound = t.maskDepth;
  }
  layer_.maskRef = NextObjectIndex(state_);
  const int32_t except = t.isGroup ? cur : -1;
  layer_.refFlag = HasUnwrittenMasked(order_, tracks_, t.key, layer_.maskBound, except) ? 0 : 1;
}

uint32_t SymbolTimelineBuilder::nestedMaskBound(int32_t cur) const {
  // On a group's page nothing past the group's last depth belongs to the
  // page; a mask inside the group covers no more than its own clip depth.
  const DepthTrack& t = tracks_[size_t(cur)];
  const uint64_t groupLast = uint64_t(groupBaseKey_) + groupDepths_ - (groupDepths_ ? 1 : 0);
  uint64_t bound = groupLast;
  if (cur != groupTrack_ && t.key != groupBaseKey_) {
    uint64_t own = t.maskDepth;
    if (t.isGroup && t.maskDepth == 0) {
      const uint16_t depths = HeadGroupDepths(t);
      own = depths ? uint64_t(t.key) + depths - 1 : t.key;
    }
    bound = std::min(bound, own);
  }
  return uint32_t(std::min<uint64_t>(bound, kTrackWritten - 1));
}

void SymbolTimelineBuilder::startOtherLayer(int32_t cur) {
  const DepthTrack& t = tracks_[size_t(cur)];
  if (!t.isMasked) return;
  layer_.maskedFollower = 1;
  layer_.refFlag = HasUnwrittenMasked(order_, tracks_, t.key, layer_.maskBound) ? 0 : 1;
}

void SymbolTimelineBuilder::buildGroupsInRange(uint32_t lo, uint64_t hi, bool maskedOnly) {
  // The group heads strictly between lo and hi, built in index order.
  std::vector<int32_t> heads = order_.groupHeads(lo + 1, hi);
  if (maskedOnly) std::erase_if(heads, [&](int32_t j) { return !tracks_[size_t(j)].isMasked; });
  std::sort(heads.begin(), heads.end());
  for (int32_t j : heads) {
    // A head taken into an earlier group of the list is left to that page.
    if (tracks_[size_t(j)].key < kTrackUnselectable && tracks_[size_t(j)].isGroup) buildGroups(j);
  }
}

void SymbolTimelineBuilder::buildGroups(int32_t head) {
  DepthTrack& g = tracks_[size_t(head)];
  for (int32_t e = 0; e <= std::min<int64_t>(g.lastEntry, int64_t(g.entries.size()) - 1); ++e) {
    const PlacementEntry& entry = g.entries[size_t(e)];
    if (entry.groupDepths == 0 || entry.streamIndex == kAbsorbedEntry) continue;
    buildGroup(head, e);
  }
  // Also when every group entry was absorbed: a head is dispatched as a
  // group only once.
  g.isGroup = 0;
}

bool SymbolTimelineBuilder::chargeGroupLayers(const DepthTrack& g, int32_t entry) {
  // The group's page writes a layer for each track in its depths (its head's
  // too), or one empty layer. It also walks those tracks' entries, cutting
  // the ones across its frames in two, and orders every track of the
  // timeline: 64 of those count as much as a layer.
  constexpr uint64_t kEntriesPerLayer = 64;
  const PlacementEntry& e = g.entries[size_t(entry)];
  const TrackOrder::RangeSize range = order_.sizeOf(g.key, uint64_t(g.key) + e.groupDepths);
  const uint64_t walked = range.entries + uint64_t(lastTrack_) + 1;
  const uint64_t layers = std::max<uint64_t>(range.tracks, 1) + (walked + kEntriesPerLayer - 1) / kEntriesPerLayer;
  Allowance& allowance = ctx_.m_budget.groupLayers;
  if (allowance.Take(layers)) return true;
  if (allowance.FirstRefusal() && ctx_.m_pShell)
    ctx_.m_pShell->ShowMessage("Rearranging mask layers",
                               "A group of nested masks (frame " + std::to_string(uint32_t(e.startFrame) + 1) +
                                   ") would write more layers than the movie holds; it was left on its "
                                   "timeline as ordinary layers.");
  return false;
}

void SymbolTimelineBuilder::buildGroup(int32_t head, int32_t entry) {
  DepthTrack& g = tracks_[size_t(head)];
  auto ordinary = [&] {
    g.entries[size_t(entry)].groupDepths = 0;
    g.isGroup = 0;
  };
  if (groupLevel_ + 1 > kMaxGroupNesting) return ordinary();
  if (!chargeGroupLayers(g, entry)) return ordinary();
  InnerSymbolPage inner(ctx_, InnerSymbolPage::Kind::kGroup);
  if (!inner.ok()) return ordinary();
  g.isGroup = 1;
  uint16_t range[2] = {0, 0};
  ChangedKeys changed;
  {
    SymbolTimelineBuilder nested(ctx_, tracks_, lastTrack_, fontCount_, timelineFrames_, inner.state(),
                                 head, entry, range, 0, groupLevel_ + 1, &changed);
    nested.run();
  }
  if (inner.empty()) {
    std::FILE* f = inner.file();
    if (IsNewFlaFormat(level_)) {
      WriteLastEmptyFrameNew(f, 1);
      WriteLayerTailNew(f, "Empty", true, false, false, 0, 0);
    } else {
      WriteLastEmptyFrameOld(f, 1);
      WriteLayerTailOld(f, "Empty", true, false, false, 0, 0);
    }
  }
  if (!inner.commit(3)) {
    // The conversion fails (the writer's error is set); the tracks stay
    // on this page.
    for (const auto& [i, key] : changed) tracks_[size_t(i)].key = key;
    return ordinary();
  }
  entry = absorbGroup(changed, head, entry, range[0], range[1]);

  // The head entry now places the group's symbol.
  PlacementEntry& e = g.entries[size_t(entry)];
  e.groupDepths = 0;
  e.colorTransform = SwfCxform{};
  e.matrix = SwfMatrix{};
  e.characterId = inner.itemNo();
  e.endFrame = range[1];
  g.isGroup = 0;
  if (e.kind == 5 && e.runLength > 1) {
    e.endFrame = uint16_t(std::min<uint32_t>(uint32_t(e.startFrame) + e.runLength, 0xFFFE));
    e.kind = kGroupPlacementKind;
  } else {
    // A morph run of one entry keeps the group's frames.
    e.kind = 0;
  }
  e.streamIndex = inner.row();
}

int32_t SymbolTimelineBuilder::absorbGroup(const ChangedKeys& changed, int32_t head, int32_t entry,
                                           uint16_t first, uint16_t last) {
  // What the group page shows leaves this page; the parts of a placement
  // before and after the group's frames stay. A placement across the group
  // is cut in two: its part after the group follows it, all such parts
  // going in at once.
  for (const auto& [i, oldKey] : changed) {
    DepthTrack& t = tracks_[size_t(i)];
    t.maskDone = 0;
    bool kept = false;
    const int64_t inUse = std::min<int64_t>(t.lastEntry, int64_t(t.entries.size()) - 1);
    std::vector<std::pair<size_t, PlacementEntry>> rests;  // each after the entry it was cut from
    for (int64_t k = 0; k <= inUse; ++k) {
      PlacementEntry& s = t.entries[size_t(k)];
      if (s.streamIndex == kAbsorbedEntry) continue;
      const uint32_t end = s.endFrame == kNeverRemoved ? timelineFrames_ : s.endFrame;
      if (end <= first || s.startFrame >= last) {
        kept = true;
        continue;
      }
      const bool before = s.startFrame < first, after = end > last;
      if (!before && !after) {
        s.streamIndex = kAbsorbedEntry;
        continue;
      }
      kept = true;
      if (before && after) {
        PlacementEntry rest = s;
        rest.startFrame = last;
        s.endFrame = first;
        rests.emplace_back(size_t(k), std::move(rest));
      } else if (before) {
        s.endFrame = first;
      } else {
        s.startFrame = last;
      }
    }
    if (!rests.empty()) {
      std::vector<PlacementEntry> entries;
      entries.reserve(t.entries.size() + rests.size());
      size_t r = 0;
      int32_t movedHead = entry;
      for (size_t k = 0; k < t.entries.size(); ++k) {
        if (i == head && k == size_t(entry)) movedHead = int32_t(entries.size());
        entries.push_back(std::move(t.entries[k]));
        if (r < rests.size() && rests[r].first == k) entries.push_back(std::move(rests[r++].second));
      }
      t.entries = std::move(entries);
      t.lastEntry += int32_t(rests.size());
      entry = movedHead;
      order_.recount(i);
    }
    if (i == head || kept) {
      t.key = oldKey;
    } else {
      order_.markWritten(i);
      if (changed_) changed_->emplace_back(i, oldKey);
    }
  }
  return entry;
}

void SymbolTimelineBuilder::writeText(DepthTrack& t, int32_t k) {
  PlacementEntry& e = t.entries[size_t(k)];
  // A text without its row leaves the keyframe empty.
  if (!HasTextRow(ctx_, e)) return;
  const SwfCxform& c = e.colorTransform;
  const bool neutral = c.rMult == 256 && c.rAdd == 0 && c.gMult == 256 && c.gAdd == 0 && c.bMult == 256 &&
                       c.bAdd == 0 && c.aMult == 256 && c.aAdd == 0;
  if (neutral) return WriteTextObject(ctx_, e, e.matrix, state_, fontCount_, TextPlacement::kDirect);

  // A colour transform needs an instance: the text goes into a symbol of
  // its own, which this and every later placement of the text show.
  uint16_t item = 0;
  uint32_t row = 0;
  if (!MakeTextWrapper(ctx_, e, fontCount_, item, row)) return;
  if (!textEntriesMade_) {
    textEntriesMade_ = true;
    for (int32_t n = 0; n <= std::min<int64_t>(t.lastEntry, int64_t(t.entries.size()) - 1); ++n) {
      const PlacementEntry& x = t.entries[size_t(n)];
      if ((x.kind == 3 || x.kind == 4) && !x.retargeted) textEntries_[x.characterId].push_back(n);
    }
  }
  auto retarget = [&](PlacementEntry& x) {
    x.characterId = item;
    x.kind = 0;
    x.streamIndex = row;
    x.retargeted = 1;
  };
  const auto it = textEntries_.find(e.characterId);
  if (it != textEntries_.end()) {
    const std::vector<int32_t>& later = it->second;
    for (auto n = std::upper_bound(later.begin(), later.end(), k); n != later.end(); ++n) {
      PlacementEntry& x = t.entries[size_t(*n)];
      if (!x.retargeted && x.characterId == e.characterId) retarget(x);
    }
  }
  retarget(e);
  WriteSymbolInstance(ctx_, e, state_);
}

void SymbolTimelineBuilder::writeEntryElement(DepthTrack& t, int32_t k) {
  PlacementEntry& e = t.entries[size_t(k)];
  if (e.kind == kElementMovieClip) WriteComponentWrapper(ctx_, t, k, timelineFrames_, clipEntries_);
  // A video without its row, or placed directly, is done here; a wrapped
  // one goes on as the wrapper's instance.
  if (e.kind == kElementVideo && WriteVideoElement(ctx_, e, state_) != VideoElement::kRetargeted) return;
  switch (e.kind) {
    case 3:  // edit text
    case 4:  // static text
      writeText(t, k);
      break;
    case 5:  // morph shape: an instance of a symbol made for it
      if (ConvertMorphPlacement(ctx_, t, k))
        WriteSymbolInstance(ctx_, t.entries[size_t(k)], state_, t.entries[size_t(k)].shapeTween);
      break;
    default:
      // A character no handler registered (not converted, its option off, or
      // its conversion failed) has no library item to name: the keyframe
      // stays empty and keeps the placement's frames.
      if (t.entries[size_t(k)].streamIndex != kNoCharacterRow)
        WriteSymbolInstance(ctx_, t.entries[size_t(k)], state_);
      break;
  }
}

void SymbolTimelineBuilder::writeLayer(int32_t cur) {
  DepthTrack& t = tracks_[size_t(cur)];
  WriteLayerHead(page_, state_, level_, layer_.firstLayer);
  textEntries_.clear();
  textEntriesMade_ = false;
  clipEntries_.clear();
  const EntryRange range = PageEntryRange(t, nested(), pageFirst_, pageLast_);
  LayerWindow w;
  w.last = range.last;
  w.pageFirst = pageFirst_;
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
    lasts[size_t(k)] = EntryDuration(e, pageFirst_, pageLast_, nextStart, ctx_.m_pVideos);
    if (lasts[size_t(k)] == 0 && e.kind != kGroupPlacementKind) continue;
    if (w.lastLive < 0) w.lastLive = k;
    next = k;
  }
  if (w.lastLive >= 0) w.last = w.lastLive;
  w.nextLive = &nextLive;
  if (tween_.on) w.tween = &tween_;
  bool wrote = false;
  uint32_t base = pageFirst_;
  for (int32_t k = range.first; k <= w.last; ++k) {
    const PlacementEntry& e = t.entries[size_t(k)];
    if (e.streamIndex == kAbsorbedEntry || (lasts[size_t(k)] == 0 && e.kind != kGroupPlacementKind)) continue;
    if (WriteBoundCrossed(ctx_) || ResourceLook()) break;
    WriteEntryGap(page_, e, base, state_, level_);
    OpenEntryKeyframe(page_, level_);
    writeEntryElement(t, k);
    wrote = true;
    // The next gap is measured from where the layer really is.
    const bool group = e.kind == kGroupPlacementKind;
    if (!group) base = w.reached = std::max<uint32_t>(e.startFrame, base) + lasts[size_t(k)];
    const bool done = CompleteKeyframe(page_, t, k, w, ctx_.m_pVideos, state_, level_);
    if (group) base = t.entries[size_t(k)].endFrame;
    else base = w.reached;  // a motion tween ends at its last entry
    if (done) break;
  }
  if (!wrote) {
    // A layer with nothing on this page still needs its opened keyframe.
    const uint32_t frames = std::max<uint32_t>(pageLast_ > pageFirst_ ? pageLast_ - pageFirst_ : 0, 1);
    if (IsNewFlaFormat(level_)) WriteLastEmptyFrameNew(page_, frames);
    else WriteLastEmptyFrameOld(page_, frames);
  }
  const uint32_t key = t.key;
  CloseLayer(page_, t, layer_, level_);
  order_.markWritten(cur);
  if (changed_) changed_->emplace_back(cur, key);
}

}  // namespace

uint32_t BuildSymbolTimeline(TimelineContext& ctx, uint32_t /*mode*/, std::vector<DepthTrack>& tracks,
                             int32_t lastTrack, uint16_t fontCount, uint16_t timelineFrames,
                             PageClassState& page, uint16_t groupTrack, int32_t groupEntry,
                             uint16_t* groupRange, uint32_t layerLimit, uint32_t /*nestedMark*/) {
  if (!ctx.m_pPageStream) return 0;
  SymbolTimelineBuilder builder(ctx, tracks, lastTrack, fontCount, timelineFrames, page, groupTrack,
                                groupEntry, groupRange, layerLimit);
  builder.run();
  return 0;
}

void BuildSceneTimeline(TimelineContext& ctx, uint32_t mode, uint16_t frames) {
  // The scene page holds nothing but its head before its layers.
  ctx.m_sceneClassState = PageClassState{};
  DepthLayerTable& layers = ctx.m_movieLayers;
  const uint16_t fonts = uint16_t(std::min<size_t>(ctx.m_library.fonts.size(), 0xFFFF));
  BuildSymbolTimeline(ctx, mode, layers.records(), layers.lastInUse(), fonts, frames,
                      ctx.m_sceneClassState);
}

}  // namespace tovrani
