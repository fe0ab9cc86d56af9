// Display-list events: one record per placement or removal of a timeline, in
// tag order, as the depth and mask-layer pass reads them from the tags. The
// same walk of the main movie collects the init-action and button-sound
// tables.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#include "swf/forward_file_reader.h"
#include "timeline/component_param.h"

namespace tovrani {

class ShellServices;

inline constexpr uint32_t kNoEvent = 0xFFFFFFFF;

// One display-list tag of a timeline.
struct DisplayEvent {
  uint64_t depthPos = 0;   // position of the tag's Depth field (file or buffer)
  uint64_t clipPos = 0;    // position of its ClipDepth field, when it has one
  uint16_t depth = 0;      // renumbered depth
  uint16_t origDepth = 0;  // depth as read from the tag
  uint16_t characterId = 0;
  uint16_t clipDepth = 0;
  uint16_t frame = 0;  // 1-based
  uint16_t handoffFrame = 0;
  uint32_t linkedEvent = 0;
  uint16_t placeFlags = 0;  // PlaceObject3: first flag byte + 256 x second
  uint8_t isRemove = 0;
  uint8_t hasClip = 0;
  uint8_t clipInherited = 0;
  uint8_t isReplace = 0;  // Move together with HasCharacter
  uint8_t restoreMark = 0;
};

// A DoInitAction tag of the main movie.
struct InitActionRecord {
  uint16_t spriteId = 0;
  uint32_t ordinal = 0;         // 0, 1, 2 ... in tag order
  uint64_t actionPos = 0;       // file offset of the action bytes
  uint32_t actionLength = 0;
  uint32_t paramCount = 0;      // component parameters, filled later
  std::vector<ComponentParam> params;  // owned by the table
};

// A DefineButtonSound tag of the main movie: the body after the button id.
struct ButtonSoundRecord {
  uint16_t buttonId = 0;
  std::vector<uint8_t> data;
  uint32_t length() const { return uint32_t(data.size()); }
};

// Where the tags of one timeline lie and how the pass changes them in place:
// the main movie in the SWF work file, or a sprite body in memory.
class TimelineData {
 public:
  // Tags of the main movie from the file's current position up to `end`.
  TimelineData(std::FILE* file, uint64_t end);
  // A DefineSprite body (id, frame count, tags); tags start at offset 4.
  explicit TimelineData(std::span<uint8_t> spriteBody);

  bool fromFile() const { return file_ != nullptr; }
  uint64_t start() const { return start_; }
  uint64_t end() const { return end_; }

  struct Tag {
    uint16_t code = 0;
    uint64_t headerPos = 0;  // position of the u16 code/length word
    uint64_t bodyPos = 0;
    uint32_t length = 0;
  };
  // The tag at `pos`; false when its header or body runs past the end.
  bool ReadTag(uint64_t pos, Tag& out);
  // The body of a tag read by ReadTag.
  bool ReadBody(const Tag& tag, std::vector<uint8_t>& out);

  // An in-place change: a u16 little-endian, or one byte when `size` is 1.
  struct Patch {
    uint64_t pos = 0;
    uint16_t value = 0;
    uint8_t size = 2;
  };
  // Applies the changes (positions outside the timeline are skipped); the
  // file is read and written in large windows, not seeked to per change. A
  // failed read, write or flush of the file stops there and is kept in
  // writeFailed(): the tags and the events then disagree.
  void Apply(std::vector<Patch> patches);
  bool writeFailed() const { return writeFailed_; }
  // Puts the file back where it stood when this object was made.
  void RestorePosition();

 private:
  bool ReadAt(uint64_t pos, uint8_t* dst, size_t n);

  std::FILE* file_ = nullptr;
  // The walks read forward: through blocks, not a read (or seek) per tag.
  std::optional<ForwardFileReader> reader_;
  bool writeFailed_ = false;
  std::span<uint8_t> buf_;
  uint64_t start_ = 0;
  uint64_t end_ = 0;
};

// A Move folded into the event of its object, in the frame that event
// placed or last moved it: the frame shows only where the last move leaves
// the object, so one event stands for them all. Every write at the event's
// Depth or ClipDepth field is made at the same field of the move, so that
// the tags keep saying what the event says.
struct FoldedMove {
  uint64_t depthPos = 0;    // position of the move's Depth field
  uint32_t clipOffset = 0;  // its ClipDepth field's distance from it; 0 when
                            // it has none, or its field is the event's own
  uint32_t event = 0;
};

// What the recording walk leaves.
struct DisplayRecording {
  std::vector<DisplayEvent> events;
  std::vector<uint64_t> headerPos;  // per event: its tag's header position
  std::vector<FoldedMove> folded;   // in tag order
  std::vector<TimelineData::Patch> disabled;  // moves of nothing, made unreadable
  uint16_t maxDepth = 0;            // largest placed depth
  std::vector<InitActionRecord> initActions;
  std::vector<ButtonSoundRecord> buttonSounds;
  uint32_t displayTags = 0;  // display-list tags met by the first walk
};

// kBoundCrossed: a look found a bound of the conversion crossed, or the
// heap refused room for the events; the recording stopped there.
enum class RecordResult { kOk, kOverrun, kNothing, kOptionOff, kBoundCrossed };

// The two walks over one timeline. The first only checks that every tag lies
// inside the timeline and counts; the second records. `mainTimeline` is the
// "Main Timeline" option (the main movie records nothing when it is off).
// Every display-list tag whose depth lies inside its body becomes an event,
// in sprites too, whatever its kind, except the tags players ignore: a Move
// at a depth that shows nothing (never placed, or removed), a placement of
// no character, in the main movie a placement without the move flag of a
// character that the movie defines (or imports) only after it, and a second
// placement without the move flag on a depth in use. Those get no event and
// are disabled where they stand, in the main movie's file and in a sprite's
// body alike (0xFF over the second header byte, so no later reader handles
// them). A Move (or swap) at a depth whose event is of the same frame is
// folded into that event: it takes the move's clip depth and character.
RecordResult RecordDisplayEvents(TimelineData& data, bool mainTimeline, ShellServices* shell,
                                 uint8_t* cancel, DisplayRecording& out);

// Adds to `writes`, for every write at an event's Depth or ClipDepth field,
// the same write at that field of each move folded into the event.
void WriteFoldedMoves(std::vector<TimelineData::Patch>& writes, const std::vector<DisplayEvent>& events,
                      const std::vector<FoldedMove>& folded);

}  // namespace tovrani
