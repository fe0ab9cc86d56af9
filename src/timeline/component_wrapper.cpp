#include "timeline/component_wrapper.h"

#include <algorithm>

#include "fla/archive.h"
#include "fla/item_names.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "timeline/inner_symbol_page.h"
#include "timeline/symbol_instance.h"
#include "timeline/timeline_context.h"

namespace tovrani {

void TrackCharacterIndex::build(const DepthTrack& t) {
  byCharacter_.clear();
  built_ = true;
  const int64_t last = std::min<int64_t>(t.lastEntry, int64_t(t.entries.size()) - 1);
  for (int32_t n = 0; n <= last; ++n)
    if (!t.entries[size_t(n)].retargeted) byCharacter_[t.entries[size_t(n)].characterId].push_back(n);
}

void TrackCharacterIndex::clear() {
  byCharacter_.clear();
  built_ = false;
}

const std::vector<int32_t>* TrackCharacterIndex::entriesOf(uint16_t characterId) const {
  const auto it = byCharacter_.find(characterId);
  return it == byCharacter_.end() ? nullptr : &it->second;
}

namespace {

// The CPicSprite record of the wrapper page: the clip at the origin, neutral
// colour, looping, with E's name and parameters.
void WriteWrappedSprite(const TimelineContext& ctx, std::FILE* f, const PlacementEntry& e) {
  const uint8_t level = ctx.m_nFlaFormat;
  const bool isNew = IsNewFlaFormat(level);
  WriteNewClassTag(f, "CPicSprite");
  PutU8(f, FlaVersionByte(level));
  PutU24(f, 0);
  PutU32(f, 0);
  PutU32(f, 0);
  if (isNew) {
    PutU8(f, 0);
    PutU8(f, (e.flags & 0x400) ? 1 : 0);
    PutU8(f, 0x13);
  } else {
    PutU8(f, 0x0A);
  }
  for (uint32_t v : {0x10000u, 0u, 0u, 0x10000u, 0u, 0u}) PutU32(f, v);
  PutU16(f, 0);
  PutU16(f, 2);
  PutU8(f, 1);
  for (int i = 0; i < 4; ++i) {
    PutU16(f, 256);
    PutU16(f, 0);
  }
  PutU16(f, 3);
  PutU16(f, 100);
  PutU32(f, 0xFFFFFFFF);
  WriteFlaString(f, std::string_view{}, level);
  PutU16(f, e.characterId);
  PutU16(f, 0);
  if (isNew) {
    PutU24(f, 0);
    if (!e.effectBlock.empty()) {
      PutU8(f, 1);
      PutBytes(f, e.effectBlock.data(), e.effectBlock.size());
    } else {
      PutU8(f, 0);
    }
    PutU8(f, e.displayByte);
    PutU16(f, 0);
    PutU8(f, 0x08);
    for (uint32_t v : {4u, 1u, 0u, 0u}) PutU32(f, v);
    WriteFlaStringNew(f, std::string_view{});
    const uint8_t marker[3] = {0xFF, 0xFE, 0xFF};
    PutBytes(f, marker, 3);
  } else {
    PutU8(f, 0x06);
    for (uint32_t v : {1u, 0u, 0u, 0u, 0u, 2u, 13u, 0u, 1u, 14u}) PutU32(f, v);
  }
  PutStringBody(f, e.instanceName, level);
  PutU8(f, 2);
  WriteInstanceParams(ctx, f, e, level);
  if (isNew) {
    for (uint32_t v : {0u, 0u, 1u}) PutU32(f, v);
    PutU8(f, 1);
    PutU32(f, 1);
    WriteFlaStringNew(f, std::string_view{});
  } else {
    for (uint32_t v : {1u, 0u, 1u}) PutU32(f, v);
  }
  PutU8(f, 0);
}

}  // namespace

bool WriteComponentWrapper(TimelineContext& ctx, DepthTrack& t, int32_t i, uint16_t timelineFrames,
                           TrackCharacterIndex& index) {
  const int64_t lastEntry = std::min<int64_t>(t.lastEntry, int64_t(t.entries.size()) - 1);
  PlacementEntry& e = t.entries[size_t(i)];
  // A clip nobody registered has no library item for the wrapper to hold.
  if (e.kind != kElementMovieClip || i >= lastEntry || e.streamIndex == kNoCharacterRow) return false;
  if (e.params.empty() && !FindInitAction(ctx, e.characterId)) return false;
  const PlacementEntry& after = t.entries[size_t(i) + 1];
  if (after.characterId != e.characterId || !(after.flags & 1)) return false;

  // L: the last move of the same clip on the track.
  if (!index.built()) index.build(t);
  const uint16_t clip = e.characterId;
  const std::vector<int32_t>* same = index.entriesOf(clip);
  if (!same) return false;
  int32_t last = i + 1;
  for (auto n = same->rbegin(); n != same->rend() && *n > i; ++n) {
    const PlacementEntry& x = t.entries[size_t(*n)];
    if ((x.flags & 1) && !x.retargeted && x.characterId == clip) {
      last = *n;
      break;
    }
  }

  const uint8_t level = ctx.m_nFlaFormat;
  uint16_t item = 0;
  uint32_t row = 0;
  {
    InnerSymbolPage inner(ctx, InnerSymbolPage::Kind::kOneElement);
    if (!inner.ok()) return false;
    std::FILE* f = inner.file();
    WriteWrappedSprite(ctx, f, e);
    const PatchPos duration = IsNewFlaFormat(level) ? WriteSingleFrameNew(f) : WriteSingleFrameOld(f);
    const PlacementEntry& l = t.entries[size_t(last)];
    const uint32_t end = l.endFrame == kNeverRemoved ? uint32_t(timelineFrames) + 1 : l.endFrame;
    // An end before the start keeps the keyframe's own frame.
    if (end > uint32_t(e.startFrame) + 1) PatchFrameDuration(f, duration, end - e.startFrame);
    const std::string name = MakeLevelName(uint16_t(t.key));
    if (IsNewFlaFormat(level)) WriteLayerTailNew(f, name, true, false, false, 0, 0);
    else WriteLayerTailOld(f, name, true, false, false, 0, 0);
    if (!inner.commit(3)) return false;
    item = inner.itemNo();
    row = inner.row();
  }

  // E and the later placements of the same clip up to L place the wrapper;
  // the later moves' own parameters go with them unwritten.
  const uint16_t start = e.startFrame;
  for (auto n = std::lower_bound(same->begin(), same->end(), i); n != same->end() && *n <= last; ++n) {
    PlacementEntry& x = t.entries[size_t(*n)];
    if (x.retargeted || x.characterId != clip) continue;
    x.characterId = item;
    x.kind = kElementSymbol;
    x.streamIndex = row;
    x.frameOffset = uint16_t(x.startFrame - start);
    x.retargeted = 1;
    if (*n != i) x.params.clear();
  }
  return true;
}

}  // namespace tovrani
