#include "swf/display_list.h"

#include <algorithm>

namespace tovrani {

DisplayListEntry& DepthLayerRecord::currentEntry() {
  if (lastEntry < 0) lastEntry = 0;
  if (entries.size() <= size_t(lastEntry)) entries.resize(size_t(lastEntry) + 1);
  return entries[size_t(lastEntry)];
}

DisplayListEntry& DepthLayerRecord::advanceEntry() {
  ++lastEntry;
  return currentEntry();
}

int32_t DepthLayerTable::openLayer(uint32_t depth) {
  int32_t index = ++lastInUse_;
  if (size_t(index) >= records_.size()) records_.emplace_back();
  DepthLayerRecord& r = records_[size_t(index)];
  r.entries.assign(1, DisplayListEntry{});
  r.lastEntry = 0;
  r.key = depth;
  byKey_[depth].push_back(index);  // indexes only grow, so the list stays sorted
  return index;
}

void DepthLayerTable::setKey(int32_t index, uint32_t key) {
  if (index < 0 || size_t(index) >= records_.size()) return;
  DepthLayerRecord& r = records_[size_t(index)];
  if (index <= lastInUse_ && r.key != key) {
    auto& old = byKey_[r.key];
    old.erase(std::find(old.begin(), old.end(), index));
    auto& now = byKey_[key];
    now.insert(std::lower_bound(now.begin(), now.end(), index), index);
  }
  r.key = key;
}

std::span<const int32_t> DepthLayerTable::layersWithKey(uint32_t key) const {
  auto it = byKey_.find(key);
  if (it == byKey_.end()) return {};
  return it->second;
}

int32_t DepthLayerTable::findLast(uint32_t key) const {
  auto list = layersWithKey(key);
  return list.empty() ? -1 : list.back();
}

void DepthIdCache::push(uint16_t depth, uint16_t id) {
  byDepth_[depth].push_back(id);
  ++count_;
}

bool DepthIdCache::removeLast(uint16_t depth) {
  auto it = byDepth_.find(depth);
  if (it == byDepth_.end() || it->second.empty()) return false;
  it->second.pop_back();
  --count_;
  return true;
}

bool DepthIdCache::lookup(uint16_t depth, uint16_t& id) const {
  auto it = byDepth_.find(depth);
  if (it == byDepth_.end() || it->second.empty()) return false;
  id = it->second.back();
  return true;
}

void DepthIdCache::clear() {
  byDepth_.clear();
  count_ = 0;
}

DisplayEventIndex::DisplayEventIndex(std::span<const DisplayEvent> events,
                                     std::span<const CharacterRestore> restores)
    : events_(events), restores_(restores), previousSameOrig_(events.size(), -1) {
  std::unordered_map<uint16_t, int64_t> lastByOrig;
  for (size_t i = 0; i < events.size(); ++i) {
    const DisplayEvent& e = events[i];
    if (e.isRemove) continue;
    firstByDepthFrame_.try_emplace((uint32_t(e.depth) << 16) | e.frame, uint32_t(i));
    auto [it, fresh] = lastByOrig.try_emplace(e.origDepth, int64_t(i));
    if (!fresh) {
      previousSameOrig_[i] = it->second;
      it->second = int64_t(i);
    }
  }
  for (size_t i = 0; i < restores.size(); ++i) restoresByDepth_[restores[i].depth].push_back(uint32_t(i));
}

int64_t DisplayEventIndex::firstPlacement(uint16_t depth, uint16_t frame) const {
  auto it = firstByDepthFrame_.find((uint32_t(depth) << 16) | frame);
  return it == firstByDepthFrame_.end() ? -1 : int64_t(it->second);
}

int64_t DisplayEventIndex::previousPlacementSameOrigDepth(int64_t i) const {
  if (i < 0 || size_t(i) >= previousSameOrig_.size()) return -1;
  return previousSameOrig_[size_t(i)];
}

std::span<const uint32_t> DisplayEventIndex::restoresAt(uint16_t depth) const {
  auto it = restoresByDepth_.find(depth);
  if (it == restoresByDepth_.end()) return {};
  return it->second;
}

void SetDisplayEntry(DepthLayerRecord& layer, uint16_t character, uint16_t startFrame,
                     uint32_t streamIndex, const SwfCxform& colour, const SwfMatrix& matrix) {
  DisplayListEntry& e = layer.currentEntry();
  e.characterId = character;
  e.matrix = matrix;
  e.colorTransform = colour;
  e.startFrame = startFrame;
  e.endFrame = kNeverRemoved;
  e.streamIndex = streamIndex;
  e.markByte = 0;
  e.params.clear();
}

namespace {

// The entry a layer passes on: its current entry, or the one before it when
// the layer is the one being filled.
const DisplayListEntry* SourceEntry(const DepthLayerTable& layers, int32_t k, int32_t currentLayer) {
  const DepthLayerRecord& r = layers[size_t(k)];
  int32_t i = k == currentLayer ? r.lastEntry - 1 : r.lastEntry;
  if (i < 0 || size_t(i) >= r.entries.size()) return nullptr;
  return &r.entries[size_t(i)];
}

// Takes over the attributes whose flag bit is clear.
void TakeOver(const DisplayListEntry& src, bool withCharacter, uint16_t flags, DisplayListEntry* target,
              InheritOutputs& out) {
  if (withCharacter && !(flags & kInheritCharacterFlag)) out.character = src.characterId;
  if (!(flags & kInheritMatrixFlag)) out.matrix = src.matrix;
  if (!(flags & kInheritColorFlag)) out.colour = src.colorTransform;
  if (!(flags & kInheritNameFlag)) {
    out.name = src.instanceName;
    if (target) target->instanceName = out.name;
    out.nameSet = 1;
  }
}

// Applies the last layer with this key that has a source entry; applying every
// match in order ends with the same state.
bool TakeOverFromKey(DepthLayerTable& layers, uint32_t key, int32_t currentLayer, bool withCharacter,
                     uint16_t flags, DisplayListEntry* target, InheritOutputs& out) {
  auto list = layers.layersWithKey(key);
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (const DisplayListEntry* src = SourceEntry(layers, *it, currentLayer)) {
      TakeOver(*src, withCharacter, flags, target, out);
      return true;
    }
  }
  return false;
}

}  // namespace

void InheritDisplayAttributes(uint8_t kind, uint16_t flags, int32_t currentLayer, DepthLayerTable& layers,
                              uint16_t tagDepth, uint32_t frameIndex, InheritOutputs& out,
                              const DisplayEventIndex& events, DepthIdCache& cache) {
  bool haveCurrent = currentLayer >= 0 && currentLayer <= layers.lastInUse();
  DisplayListEntry* target = haveCurrent ? &layers[size_t(currentLayer)].currentEntry() : nullptr;

  if (kind >= kInheritMoveFirst && kind <= kInheritMoveLast) {
    if (!(flags & kInheritMoveFlag) || frameIndex >= 0xFFFF) return;
    int64_t i = events.firstPlacement(tagDepth, uint16_t(frameIndex + 1));
    if (i < 0) return;
    int64_t j = events.previousPlacementSameOrigDepth(i);
    if (j < 0) return;
    TakeOverFromKey(layers, events.events()[size_t(j)].depth, currentLayer, true, flags, target, out);
  } else if (kind >= kResolveCharacterFirst && kind <= kResolveCharacterLast) {
    out.character = 0;
    uint16_t cached = 0;
    if (cache.lookup(tagDepth, cached)) out.character = cached;
    if (out.character == 0) {
      auto list = events.restoresAt(tagDepth);
      if (!list.empty()) {
        // Every record would push its pair and take over in turn; the last
        // pair and the last effective take-over are what remain.
        out.flag = 0;
        for (uint32_t r : list) cache.push(tagDepth, events.restores()[r].characterId);
        out.character = events.restores()[list.back()].characterId;
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
          if (TakeOverFromKey(layers, events.restores()[*it].sourceDepth, currentLayer, false, flags, target, out))
            break;
        }
      }
    }
    if (out.character == 0 && target && layers[size_t(currentLayer)].lastEntry > 0) {
      const DepthLayerRecord& r = layers[size_t(currentLayer)];
      out.character = r.entries[size_t(r.lastEntry - 1)].characterId;
    }
  } else if (kind >= kMarkEntryFirst && kind <= kMarkEntryLast) {
    if (!target) return;
    target->displayByte = 1;
    target->isMoveEntry = (flags & kInheritMoveFlag) ? 1 : 0;
    target->flags = flags;
    target->clearWord = 0;
  } else if (kind == kClearNameKind) {
    if (out.nameSet || !target) return;
    target->instanceName.clear();
    out.name.clear();
  }
}

}  // namespace tovrani
