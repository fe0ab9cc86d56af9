// Display-list records of a timeline.
//
// While the engine walks the placement tags of a timeline (the main movie or a
// sprite) it keeps one DepthLayerRecord per depth in use, each holding one
// DisplayListEntry per placement at that depth. The timeline builder reads the
// same records as its input (it calls them DepthTrack and PlacementEntry).
//
// The depth and mask-layer pass leaves DisplayEvent and CharacterRestore
// records for the same timeline; InheritDisplayAttributes reads them through
// a DisplayEventIndex built once per timeline, so every search it makes is a
// lookup instead of a scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "fla/shared_text.h"
#include "swf/place_object.h"
#include "swf/swf_values.h"
#include "timeline/depth_handoff.h"
#include "timeline/display_events.h"

namespace tovrani {

// Element kinds of a DisplayListEntry, as the timeline builder reads them.
enum : uint8_t {
  kElementSymbol = 0,
  kElementMovieClip = 1,
  kElementButton = 2,
  kElementEditText = 3,
  kElementStaticText = 4,
  kElementMorphShape = 5,
  kElementVideo = 6,
};

// The row of a character nobody registered (the builder reads it as "no
// stream").
inline constexpr uint32_t kNoCharacterRow = 0xFFFFFFFF;

inline constexpr uint16_t kNeverRemoved = 0xFFFF;

// One placement of a character at a depth.
struct DisplayListEntry {
  uint16_t characterId = 0;
  SwfMatrix matrix;
  SwfCxform colorTransform;
  uint16_t clearWord = 0;  // cleared when the entry is marked
  uint16_t startFrame = 0;
  uint16_t endFrame = kNeverRemoved;  // frame of the removal
  uint16_t frameOffset = 0;           // first frame shown inside the symbol
  uint16_t flags = 0;  // first flag byte low, PlaceObject3's second byte high
  uint8_t kind = 0;    // 0 symbol, 1 movie clip, 2 button, 3 edit text,
                       // 4 static text, 5 morph shape, 6 video
  uint8_t displayByte = 1;  // the blend mode
  uint16_t ratio = 0;
  uint16_t runLength = 0;
  uint16_t groupDepths = 0;
  uint32_t streamIndex = 0;
  uint8_t isMoveEntry = 0;
  uint8_t markByte = 0;  // continuing video instance
  uint8_t retargeted = 0;  // rewritten as the placement of a wrapper symbol
  uint8_t shapeTween = 0;  // a morph's instance: it shows one frame of its symbol
  std::vector<uint8_t> effectBlock;    // the filter block
  std::vector<ComponentParam> params;  // owned component parameters
  SharedText instanceName;  // may be empty; one string for every entry that continues the placement

  uint32_t effectLength() const { return uint32_t(effectBlock.size()); }
  uint32_t paramCount() const { return uint32_t(params.size()); }
};

struct FrameLabelEntry {
  uint16_t frame = 0;
  uint8_t anchor = 0;  // 1 for a named anchor
  std::string text;
};

// The entries of one depth.
struct DepthLayerRecord {
  uint32_t key = 0;  // the depth, as the depth pass renumbered it
  uint8_t isMask = 0;
  uint16_t maskDepth = 0;
  std::vector<DisplayListEntry> entries;  // 0 .. lastEntry are in use
  int32_t lastEntry = 0;                  // the entry placements fill
  std::vector<FrameLabelEntry> labels;    // held by record 0 only
  uint8_t stateByte = 1;
  uint8_t isGroup = 0;
  // Set by the timeline builder: the depth lies in a mask's range; the
  // mask's masked layers were searched.
  uint8_t isMasked = 0;
  uint8_t maskDone = 0;

  int32_t lastLabel() const { return int32_t(labels.size()) - 1; }
  // The entry at lastEntry, created when the array is still shorter.
  DisplayListEntry& currentEntry();
  // Moves to the next entry (a new placement at this depth) and returns it.
  DisplayListEntry& advanceEntry();
};

using DepthTrack = DepthLayerRecord;
using PlacementEntry = DisplayListEntry;

// The records of one timeline with an index from depth to the records in use.
// Record 0 always exists (it holds the frame labels); records 0 .. lastInUse()
// are in use. The index follows openLayer; a key changed by hand (the
// timeline builder marks the tracks it has written) is not seen by it.
class DepthLayerTable {
 public:
  DepthLayerTable() : records_(1) {}

  std::vector<DepthLayerRecord>& records() { return records_; }
  const std::vector<DepthLayerRecord>& records() const { return records_; }
  DepthLayerRecord& operator[](size_t i) { return records_[i]; }
  const DepthLayerRecord& operator[](size_t i) const { return records_[i]; }
  std::vector<FrameLabelEntry>& labels() { return records_[0].labels; }

  int32_t lastInUse() const { return lastInUse_; }
  int32_t layerCount() const { return lastInUse_ + 1; }

  // Takes the next record into use for a depth: its key is set, its entry
  // array holds one fresh entry and lastEntry is 0. Returns its index.
  int32_t openLayer(uint32_t depth);
  // Indexes of the records in use with this key, ascending.
  std::span<const int32_t> layersWithKey(uint32_t key) const;
  // The highest such index, -1 when none.
  int32_t findLast(uint32_t key) const;

 private:
  std::vector<DepthLayerRecord> records_;
  int32_t lastInUse_ = -1;
  std::unordered_map<uint32_t, std::vector<int32_t>> byKey_;
};

// Character ids in order, shared between the event index and the cache.
using IdRun = std::shared_ptr<const std::vector<uint16_t>>;

// Which character each occupied depth shows: a placement with a character
// pushes a pair, a removal drops the last pair of its depth, and a lookup
// answers the last pair of a depth.
class DepthIdCache {
 public:
  void push(uint16_t depth, uint16_t id);
  // Pushes every id of the run, in order, in constant time.
  void pushRun(uint16_t depth, IdRun ids);
  bool removeLast(uint16_t depth);
  // The id of the last pair of the depth; false when there is none.
  bool lookup(uint16_t depth, uint16_t& id) const;
  uint32_t count() const { return count_; }
  void clear();

 private:
  struct Item {
    uint16_t id = 0;
    uint32_t used = 1;  // with a run: its first `used` ids are present
    IdRun run;
  };
  std::unordered_map<uint16_t, std::vector<Item>> byDepth_;
  uint32_t count_ = 0;
};

// Lookups over the pass's records of one timeline. The index keeps what the
// lookups answer, not the records: the caller may free them once it is made.
class DisplayEventIndex {
 public:
  DisplayEventIndex() = default;
  DisplayEventIndex(std::span<const DisplayEvent> events, std::span<const CharacterRestore> restores);

  // The first placement (not a removal) at a renumbered depth in a 1-based
  // frame, and the last placement before it with the same depth as read
  // from the tag: the renumbered depth of that one; -1 when there is no
  // such pair.
  int32_t previousDepthOfFirstPlacement(uint16_t depth, uint16_t frame) const;
  // The character ids of the restore records of a depth, in table order;
  // null when there are none. Records naming character 0 are left out.
  IdRun restoreIdsAt(uint16_t depth) const;
  // Their source depths, each once, the one of the last record first.
  std::span<const uint16_t> restoreSourcesLastFirst(uint16_t depth) const;

 private:
  // By depth << 16 | frame, for the frames that place at a depth.
  std::unordered_map<uint32_t, int32_t> previousDepthOfFirst_;
  struct RestoreRun {
    IdRun ids;
    std::vector<uint16_t> sourcesLastFirst;
  };
  std::unordered_map<uint16_t, RestoreRun> restoresByDepth_;
};

// Placement flag bits as InheritDisplayAttributes reads them: the PlaceObject2
// flag byte of place_object.h (kPlaceMove, kPlaceHasCharacter, ...).
inline constexpr uint16_t kPlaceHasColor = kPlaceHasCxform;

// Kinds of InheritDisplayAttributes.
inline constexpr uint8_t kInheritMoveFirst = 16, kInheritMoveLast = 19;
inline constexpr uint8_t kMarkEntryFirst = 20, kMarkEntryLast = 24;
inline constexpr uint8_t kClearNameKind = 25;
inline constexpr uint8_t kResolveCharacterFirst = 26, kResolveCharacterLast = 27;

// Stores a placement's decoded values into the layer's entry at lastEntry:
// character, matrix, colour, start frame, stream index; the end frame becomes
// kNeverRemoved, markByte and the parameters are cleared. Name, flags and the
// record itself stay as they are.
void SetDisplayEntry(DepthLayerRecord& layer, uint16_t character, uint16_t startFrame,
                     uint32_t streamIndex, const SwfCxform& colour, const SwfMatrix& matrix);

// The state InheritDisplayAttributes completes.
struct InheritOutputs {
  uint16_t character = 0;
  SwfMatrix matrix;
  SwfCxform colour;
  SharedText name;    // the caller's name buffer
  uint8_t nameSet = 0;
  uint8_t flag = 0;   // cleared when a restore record supplies the character
};

// Completes a placement from state recorded earlier, by kind:
//  16-19 a move continues the layer where the same depth was shown before;
//  20-24 marks the current entry (blend mode 1, move flag, flags);
//  25    gives the current entry an empty name unless one was set;
//  26-27 resolves the character of a placement without one.
// An attribute is taken over only when its flag bit is clear. frameIndex is
// 0-based; the pass's frames are 1-based.
void InheritDisplayAttributes(uint8_t kind, uint16_t flags, int32_t currentLayer, DepthLayerTable& layers,
                              uint16_t tagDepth, uint32_t frameIndex, InheritOutputs& out,
                              const DisplayEventIndex& events, DepthIdCache& cache);

}  // namespace tovrani
