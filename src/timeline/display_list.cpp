#include "timeline/display_list.h"

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
  byDepth_[depth].push_back(Item{id, 1, nullptr});
  ++count_;
}

void DepthIdCache::pushRun(uint16_t depth, IdRun ids) {
  if (!ids || ids->empty()) return;
  uint32_t n = uint32_t(ids->size());
  byDepth_[depth].push_back(Item{0, n, std::move(ids)});
  count_ += n;
}

bool DepthIdCache::removeLast(uint16_t depth) {
  auto it = byDepth_.find(depth);
  if (it == byDepth_.end() || it->second.empty()) return false;
  Item& top = it->second.back();
  if (top.run && top.used > 1)
    --top.used;
  else
    it->second.pop_back();
  --count_;
  return true;
}

bool DepthIdCache::lookup(uint16_t depth, uint16_t& id) const {
  auto it = byDepth_.find(depth);
  if (it == byDepth_.end() || it->second.empty()) return false;
  const Item& top = it->second.back();
  id = top.run ? (*top.run)[top.used - 1] : top.id;
  return true;
}

void DepthIdCache::clear() {
  byDepth_.clear();
  count_ = 0;
}

DisplayEventIndex::DisplayEventIndex(std::span<const DisplayEvent> events,
                                     std::span<const CharacterRestore> restores) {
  std::unordered_map<uint16_t, uint16_t> lastByOrig;  // depth of the last placement per tag depth
  for (const DisplayEvent& e : events) {
    if (e.isRemove) continue;
    const auto before = lastByOrig.find(e.origDepth);
    previousDepthOfFirst_.try_emplace((uint32_t(e.depth) << 16) | e.frame,
                                      before == lastByOrig.end() ? -1 : int32_t(before->second));
    lastByOrig[e.origDepth] = e.depth;
  }
  std::unordered_map<uint16_t, std::vector<uint16_t>> ids, sources;
  for (const CharacterRestore& r : restores) {
    // A record naming no character restores nothing; kept, it would send
    // every later placement at its depth through the restore step again.
    if (r.characterId == 0) continue;
    ids[r.depth].push_back(r.characterId);
    sources[r.depth].push_back(r.sourceDepth);
  }
  for (auto& [depth, list] : ids) {
    RestoreRun& run = restoresByDepth_[depth];
    run.ids = std::make_shared<const std::vector<uint16_t>>(std::move(list));
    std::vector<uint16_t>& src = sources[depth];
    std::unordered_map<uint16_t, bool> seen;
    for (auto it = src.rbegin(); it != src.rend(); ++it)
      if (seen.try_emplace(*it, true).second) run.sourcesLastFirst.push_back(*it);
  }
}

int32_t DisplayEventIndex::previousDepthOfFirstPlacement(uint16_t depth, uint16_t frame) const {
  auto it = previousDepthOfFirst_.find((uint32_t(depth) << 16) | frame);
  return it == previousDepthOfFirst_.end() ? -1 : it->second;
}

IdRun DisplayEventIndex::restoreIdsAt(uint16_t depth) const {
  auto it = restoresByDepth_.find(depth);
  return it == restoresByDepth_.end() ? nullptr : it->second.ids;
}

std::span<const uint16_t> DisplayEventIndex::restoreSourcesLastFirst(uint16_t depth) const {
  auto it = restoresByDepth_.find(depth);
  if (it == restoresByDepth_.end()) return {};
  return it->second.sourcesLastFirst;
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
  if (withCharacter && !(flags & kPlaceHasCharacter)) out.character = src.characterId;
  if (!(flags & kPlaceHasMatrix)) out.matrix = src.matrix;
  if (!(flags & kPlaceHasColor)) out.colour = src.colorTransform;
  if (!(flags & kPlaceHasName)) {
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
    if (!(flags & kPlaceMove) || frameIndex >= 0xFFFF) return;
    const int32_t from = events.previousDepthOfFirstPlacement(tagDepth, uint16_t(frameIndex + 1));
    if (from < 0) return;
    TakeOverFromKey(layers, uint32_t(from), currentLayer, true, flags, target, out);
  } else if (kind >= kResolveCharacterFirst && kind <= kResolveCharacterLast) {
    out.character = 0;
    uint16_t cached = 0;
    if (cache.lookup(tagDepth, cached)) out.character = cached;
    if (out.character == 0) {
      if (IdRun ids = events.restoreIdsAt(tagDepth)) {
        // Every record would push its pair and take over in turn; the pairs
        // go in as one run, and the last effective take-over is what remains
        // (whether one takes effect depends only on its source depth).
        out.flag = 0;
        out.character = ids->back();
        cache.pushRun(tagDepth, ids);
        for (uint16_t source : events.restoreSourcesLastFirst(tagDepth))
          if (TakeOverFromKey(layers, source, currentLayer, false, flags, target, out)) break;
      }
    }
    if (out.character == 0 && target && layers[size_t(currentLayer)].lastEntry > 0) {
      const DepthLayerRecord& r = layers[size_t(currentLayer)];
      out.character = r.entries[size_t(r.lastEntry - 1)].characterId;
    }
  } else if (kind >= kMarkEntryFirst && kind <= kMarkEntryLast) {
    if (!target) return;
    target->displayByte = 1;
    target->isMoveEntry = (flags & kPlaceMove) ? 1 : 0;
    target->flags = flags;
    target->clearWord = 0;
  } else if (kind == kClearNameKind) {
    if (out.nameSet || !target) return;
    target->instanceName.clear();
    out.name.clear();
  }
}

}  // namespace tovrani
