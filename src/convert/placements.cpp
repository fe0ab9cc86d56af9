#include "convert/placements.h"

#include <cstring>
#include <string>

#include "fla/text_encoding.h"
#include "convert/converter_context.h"
#include "swf/place_object.h"
#include "convert/placement_filters.h"

namespace tovrani {
namespace {

constexpr uint8_t kTagFrameLabel = 43;
// Marking kind of InheritDisplayAttributes used for a new main-timeline entry.
constexpr uint8_t kMarkMainEntry = 21;
constexpr uint8_t kInheritMove = kInheritMoveFirst;
constexpr uint8_t kResolveCharacter = kResolveCharacterFirst;
// Group heads (disabled nested masks) are only recognised below this depth.
constexpr uint16_t kGroupDepthLimit = 0x7F00;

bool On(const uint8_t* option) { return option && *option; }

// Lower wins when one id is registered under several kinds.
int Rank(uint8_t kind) {
  switch (kind) {
    case kElementMorphShape: return 0;
    case kElementSymbol:
    case kElementMovieClip:
    case kElementButton: return 1;
    case kElementEditText: return 2;
    case kElementStaticText: return 3;
    default: return 4;
  }
}

// The start of a text for a message: at most 40 bytes, cut before a
// character rather than inside one.
std::string Excerpt(const std::string& text) {
  constexpr size_t kMost = 40;
  if (text.size() <= kMost) return text;
  size_t cut = kMost;
  while (cut > 0 && (uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
}

PlacedCharacter Classify(const ConverterContext& ctx, uint16_t id) {
  auto it = ctx.m_placedCharacters.find(id);
  return it == ctx.m_placedCharacters.end() ? PlacedCharacter{} : it->second;
}

// The character at a depth as the depth-id cache knows it, 0 when none.
uint16_t CharacterAtDepth(const DisplayTimeline& tl, uint16_t depth) {
  uint16_t id = 0;
  tl.depthIds.lookup(depth, id);
  return id;
}

// A video moved on by one ratio step in the frame after its last update
// continues the instance already recorded; such a placement adds no entry.
// Returns true when the placement was taken up that way or is to be ignored.
bool ContinueVideo(const ConverterContext& ctx, DisplayTimeline& tl, const DisplayListTag& tag, uint16_t flagWord,
                   uint16_t frame) {
  if (flagWord != (kPlaceMove | kPlaceHasRatio) && flagWord != (kPlaceMove | kPlaceHasRatio | kPlaceHasName))
    return false;
  uint16_t id = CharacterAtDepth(tl, tag.depth);
  if (id == 0 || Classify(ctx, id).kind != kElementVideo) return false;
  auto it = tl.videoStates.find(tag.depth);
  if (it == tl.videoStates.end()) return true;  // nothing to continue
  VideoDepthState& state = it->second;
  if (uint16_t(state.frame + 1) != frame) return false;
  state.frame = frame;
  if (!tag.hasRatio || tag.ratio != uint16_t(state.ratio + 1)) return false;
  state.ratio = tag.ratio;
  for (int32_t k : tl.layers.layersWithKey(tag.depth)) tl.layers[size_t(k)].currentEntry().markByte = 1;
  return true;
}

// A move continues the entry before it on the same layer: what the tag does
// not give is taken from there. The depth pass's events, when present, can
// still name another layer afterwards.
void ContinueOnLayer(const DepthLayerRecord& layer, const DisplayListTag& tag, uint16_t flagWord,
                     InheritOutputs& out, DisplayListEntry& entry, uint16_t& ratio) {
  if (!(flagWord & kPlaceMove) || layer.lastEntry < 1) return;
  const DisplayListEntry& prev = layer.entries[size_t(layer.lastEntry - 1)];
  if (!tag.hasCharacter) out.character = prev.characterId;
  if (!tag.hasMatrix) out.matrix = prev.matrix;
  if (!tag.hasCxform) out.colour = prev.colorTransform;
  if (!tag.hasName) {
    out.name = prev.instanceName;
    entry.instanceName = prev.instanceName;
    out.nameSet = 1;
  }
  if (!tag.hasRatio) ratio = prev.ratio;
}

// A placement removed in the frame that made it is never shown; the
// timeline builder gives its entry no keyframe. Two such entries in a row,
// in the frame still going on, say all that the builder reads of entries
// like them: a new placement (not a move, so nothing of the entry before it
// is taken over) takes the place of the second when that one moved nothing
// and heads no group. A movie that places and removes an object again and
// again in one frame so keeps two entries, not one per placement.
bool TakesPlaceOfHiddenEntry(const DepthLayerRecord& layer, uint16_t frame) {
  const int32_t last = layer.lastEntry;
  if (last < 1 || size_t(last) >= layer.entries.size()) return false;
  const auto hidden = [frame](const DisplayListEntry& e) { return e.startFrame == frame && e.endFrame == frame; };
  const DisplayListEntry& second = layer.entries[size_t(last)];
  return hidden(layer.entries[size_t(last - 1)]) && hidden(second) && !second.isMoveEntry &&
         second.groupDepths == 0;
}

// A placement on a depth whose object is shown and was placed (or last
// moved or replaced) in this very frame: a player shows the frame only as
// the last of them leaves it, so the entry the placement makes takes the
// place of that one rather than following it. A movie that moves an object
// again and again in one frame so keeps one entry for the frame.
bool SupersedesEntryOfItsFrame(const DepthLayerRecord& layer, uint16_t frame) {
  const int32_t last = layer.lastEntry;
  if (last < 0 || size_t(last) >= layer.entries.size()) return false;
  const DisplayListEntry& e = layer.entries[size_t(last)];
  return e.startFrame == frame && e.endFrame == kNeverRemoved;
}

// Whether entry b continues the morph run that entry a belongs to: the same
// morph moved on in the very next frame, its ratio not going back.
bool ContinuesMorph(const DisplayListEntry& a, const DisplayListEntry& b) {
  return a.kind == kElementMorphShape && b.kind == kElementMorphShape && b.isMoveEntry &&
         a.characterId == b.characterId && uint16_t(a.startFrame + 1) == b.startFrame &&
         a.endFrame == kNeverRemoved && b.ratio >= a.ratio;
}

// The run of the layer's new entry: a morph shape moved frame by frame
// joins the run of the entry that started it, which the timeline builder
// turns into one shape tween. The first entry of a run holds the number of
// its entries (1 for a lone morph placement), the others 0.
void TrackMorphRun(DisplayTimeline& tl, int32_t layerIndex) {
  DepthLayerRecord& layer = tl.layers[size_t(layerIndex)];
  int32_t cur = layer.lastEntry;
  DisplayListEntry& entry = layer.entries[size_t(cur)];
  MorphRunHead& head = tl.morphRunHeads[layerIndex];
  if (cur > 0 && head.entry >= 0 && ContinuesMorph(layer.entries[size_t(cur - 1)], entry)) {
    DisplayListEntry& first = layer.entries[size_t(head.entry)];
    if (first.runLength < 0xFFFF) {
      ++first.runLength;
      entry.runLength = 0;
      return;
    }
  }
  // An entry taken over in its own frame is tracked again in its place.
  if (head.entry != cur) head.before = head.entry;
  head.entry = cur;
  entry.runLength = entry.kind == kElementMorphShape ? 1 : 0;
}

// The layer's entry before its last gives its place to the last: what
// TrackMorphRun counted for it is taken back, so that the last one is
// tracked as if it had come alone.
void ForgetMorphRunOfSuperseded(DisplayTimeline& tl, int32_t layerIndex) {
  DepthLayerRecord& layer = tl.layers[size_t(layerIndex)];
  const int32_t gone = layer.lastEntry - 1;
  MorphRunHead& head = tl.morphRunHeads[layerIndex];
  if (gone < 0 || head.entry < 0) return;
  if (head.entry == gone) {
    head = MorphRunHead{head.before, -1};
  } else if (head.entry < gone && layer.entries[size_t(gone)].kind == kElementMorphShape) {
    // It continued the run.
    --layer.entries[size_t(head.entry)].runLength;
  }
}

}  // namespace

void RegisterPlacedCharacter(ConverterContext& ctx, uint16_t id, uint8_t kind, uint32_t row) {
  auto [it, fresh] = ctx.m_placedCharacters.try_emplace(id, PlacedCharacter{kind, row});
  if (!fresh && Rank(kind) <= Rank(it->second.kind)) it->second = PlacedCharacter{kind, row};
}

void ResolveDeferredEntries(const ConverterContext& ctx, DepthLayerTable& layers) {
  for (DepthLayerRecord& layer : layers.records())
    for (DisplayListEntry& e : layer.entries) {
      if (e.streamIndex != kDeferredRow) continue;
      const PlacedCharacter placed = Classify(ctx, e.characterId);
      e.kind = placed.kind;
      e.streamIndex = placed.row == kDeferredRow ? kNoCharacterRow : placed.row;
    }
}

uint8_t SymbolStreamKind(uint8_t spriteFlag, uint8_t buttonFlag) {
  if (buttonFlag) return kElementButton;
  return spriteFlag ? kElementMovieClip : kElementSymbol;
}

namespace {

// A Move the depth pass put on a depth of its own: the object it moves was
// placed at another depth (the same one in the movie) and is handed over to
// it here, so nothing stands at its depth yet.
bool ContinuesHandedOffObject(const DisplayEventIndex& events, uint16_t depth, uint16_t frame) {
  if (frame >= 0xFFFF) return false;
  const int32_t from = events.previousDepthOfFirstPlacement(depth, uint16_t(frame + 1));
  return from >= 0 && from != depth;
}

}  // namespace

DisplayTimeline MainTimeline(ConverterContext& ctx) {
  return {ctx.m_movieLayers, ctx.m_depthIdCache, ctx.m_movieEventIndex, ctx.m_videoDepthStates,
          ctx.m_morphRunHeads};
}

void HandleFrameLabel(ConverterContext& ctx, std::span<const uint8_t> body, uint16_t frame) {
  if (!On(ctx.m_pOptFrameLabel) || !On(ctx.m_pOptMainTimeline)) return;
  AddFrameLabel(ctx, MainTimeline(ctx), body, frame);
}

void HandleRemoveObject(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body, uint16_t frame) {
  if (!On(ctx.m_pOptMainTimeline)) return;
  RemoveFromTimeline(MainTimeline(ctx), code, body, frame);
}

void HandlePlaceObject(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body, uint16_t frame) {
  if (!On(ctx.m_pOptMainTimeline)) return;
  PlaceOnTimeline(ctx, MainTimeline(ctx), code, body, frame);
}

void AddFrameLabel(ConverterContext& ctx, DisplayTimeline tl, std::span<const uint8_t> body, uint16_t frame) {
  if (body.empty()) return;
  // The name ends at its terminator (or the body's end, when a hostile tag
  // has none); a non-zero byte after the terminator marks a named anchor.
  const auto* text = reinterpret_cast<const char*>(body.data());
  size_t length = strnlen(text, body.size());
  const std::string_view raw(text, length);
  std::vector<FrameLabelEntry>& labels = tl.layers.labels();
  // A further label of a frame takes a "Labels" layer of its own.
  if (!labels.empty() && labels.back().frame == frame && !ctx.m_budget.frameLabels.Take(1)) {
    if (ctx.m_budget.frameLabels.FirstRefusal() && ctx.m_pShell)
      ctx.m_pShell->ShowMessage("BRASKELON Tovrani Warning",
                                "FrameLabel \"" + Excerpt(DecodeSwfText(raw, ctx.m_nSwfVersion)) + "\" in frame " +
                                    std::to_string(frame + 1) +
                                    ": the movie puts more labels on its frames than its size allows; the "
                                    "label was left out.");
    return;
  }
  FrameLabelEntry label;
  label.frame = frame;
  label.anchor = length + 1 < body.size() && body.back() != 0 ? 1 : 0;
  label.text = DecodeSwfText(raw, ctx.m_nSwfVersion);
  labels.push_back(std::move(label));
}

void RemoveFromTimeline(DisplayTimeline tl, uint16_t code, std::span<const uint8_t> body, uint16_t frame) {
  DisplayListTag tag;
  if (!ParseDisplayListTag(code, body, tag) || !tag.isRemove) return;
  tl.depthIds.removeLast(tag.depth);
  for (int32_t k : tl.layers.layersWithKey(tag.depth)) {
    DisplayListEntry& e = tl.layers[size_t(k)].currentEntry();
    // Only what is still shown can leave; a second removal keeps the first frame.
    if (e.endFrame == kNeverRemoved) e.endFrame = frame;
  }
}

void PlaceOnTimeline(ConverterContext& ctx, DisplayTimeline tl, uint16_t code, std::span<const uint8_t> body,
                     uint16_t frame) {
  DisplayListTag tag;
  if (!ParseDisplayListTag(code, body, tag) || tag.isRemove) return;
  const uint16_t flagWord = uint16_t(tag.flags | (tag.flags2 << 8));
  if (ContinueVideo(ctx, tl, tag, flagWord, frame)) return;

  DepthLayerTable& layers = tl.layers;
  int32_t li = layers.findLast(tag.depth);
  // Players ignore a placement that names no character and moves nothing, a
  // move where nothing is shown (never placed, or removed), and a second
  // PlaceObject2/3 without the move flag on a depth that shows an object.
  const bool move = flagWord & kPlaceMove;
  const bool shown = li >= 0 && layers[size_t(li)].currentEntry().endFrame == kNeverRemoved;
  if (!move && !tag.hasCharacter) return;
  if (move && !shown && !ContinuesHandedOffObject(tl.events, tag.depth, frame)) return;
  if (!move && shown && code != kTagPlaceObject) return;
  bool supersedes = false;
  if (li < 0) {
    li = layers.openLayer(tag.depth);
  } else if (!move && TakesPlaceOfHiddenEntry(layers[size_t(li)], frame)) {
    layers[size_t(li)].currentEntry() = DisplayListEntry{};
  } else {
    // The new entry is made after the current one, from it, as for a later
    // frame; it then takes that one's place.
    supersedes = shown && SupersedesEntryOfItsFrame(layers[size_t(li)], frame);
    layers[size_t(li)].advanceEntry();
  }
  DisplayEventIndex noEvents;
  InheritOutputs out;
  InheritDisplayAttributes(kMarkMainEntry, flagWord, li, layers, tag.depth, frame, out, noEvents,
                           tl.depthIds);

  DepthLayerRecord& layer = layers[size_t(li)];
  DisplayListEntry& entry = layer.currentEntry();
  if (tag.hasMatrix) out.matrix = tag.matrix;
  if (tag.hasCxform) out.colour = tag.cxform;
  if (tag.hasName) {
    out.name = DecodeSwfText(tag.name, ctx.m_nSwfVersion);
    out.nameSet = 1;
    entry.instanceName = out.name;
  }
  uint16_t ratio = tag.hasRatio ? tag.ratio : 0;
  ContinueOnLayer(layer, tag, flagWord, out, entry, ratio);
  InheritDisplayAttributes(kInheritMove, flagWord, li, layers, tag.depth, frame, out, tl.events,
                           tl.depthIds);

  uint16_t character;
  if (tag.hasCharacter) {
    character = tag.characterId;
    tl.depthIds.push(tag.depth, character);
  } else {
    uint16_t inherited = out.character;
    InheritDisplayAttributes(kResolveCharacter, flagWord, li, layers, tag.depth, frame, out,
                             tl.events, tl.depthIds);
    character = out.character ? out.character : inherited;
  }
  PlacedCharacter placed = Classify(ctx, character);
  SetDisplayEntry(layer, character, frame, placed.row, out.colour, out.matrix);
  entry.kind = placed.kind;
  entry.ratio = ratio;
  entry.runLength = 0;
  entry.groupDepths = 0;
  InheritDisplayAttributes(kClearNameKind, flagWord, li, layers, tag.depth, frame, out, noEvents,
                           tl.depthIds);

  if (tag.hasClipDepth) {
    if ((tag.clipDepth & 0x8000) && tag.depth < kGroupDepthLimit) {
      layer.isGroup = 1;
      entry.groupDepths = tag.clipDepth & 0x7FFF;
    } else {
      layer.isMask = 1;
      layer.maskDepth = tag.clipDepth;
    }
  }
  if (placed.kind == kElementVideo && tag.hasCharacter)
    tl.videoStates[tag.depth] = VideoDepthState{frame, ratio};

  if (flagWord & (kFlagWordFilterList | kFlagWordBlendMode | kFlagWordCacheAsBitmap)) {
    SwfReader r(body);
    r.seek(tag.restOffset);
    ConvertPlacementFilters(flagWord, r, entry);
  }
  if (supersedes) {
    const int32_t gone = layer.lastEntry - 1;
    // A move keeps the group its object heads unless it gives a clip depth.
    if (move && !tag.hasClipDepth) entry.groupDepths = layer.entries[size_t(gone)].groupDepths;
    ForgetMorphRunOfSuperseded(tl, li);
    layer.entries.erase(layer.entries.begin() + gone);
    layer.lastEntry = gone;
  }
  TrackMorphRun(tl, li);
}

void HandleMainTimelineTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body, uint16_t frame) {
  switch (code) {
    case kTagFrameLabel:
      HandleFrameLabel(ctx, body, frame);
      break;
    case kTagRemoveObject:
    case kTagRemoveObject2:
      HandleRemoveObject(ctx, code, body, frame);
      break;
    case kTagPlaceObject:
    case kTagPlaceObject2:
    case kTagPlaceObject3:
      HandlePlaceObject(ctx, code, body, frame);
      break;
    default:
      break;
  }
}

}  // namespace tovrani
