// Where a placement's object came from: for every display-list event, the
// latest earlier event at the same depth as read from the tags, and the
// latest such one that carried a character. Depths read from the tags never
// change, so one index serves every split and the final stage.
#pragma once

#include <cstdint>
#include <vector>

#include "timeline/display_events.h"

namespace tovrani {

class CharacterSources {
 public:
  CharacterSources() = default;
  explicit CharacterSources(const std::vector<DisplayEvent>& events);
  // Latest earlier event of the same original depth, of any kind; kNoEvent
  // when none.
  uint32_t previous(uint32_t i) const { return i < prevAny_.size() ? prevAny_[i] : kNoEvent; }
  // Latest earlier event of the same original depth with HasCharacter.
  uint32_t source(uint32_t i) const { return i < prevChar_.size() ? prevChar_[i] : kNoEvent; }

 private:
  std::vector<uint32_t> prevAny_, prevChar_;
};

// Lets placement E bring the character of its source: restoreMark,
// characterId and linkedEvent. Returns false, changing nothing, when E has
// no source.
bool MarkCharacterRestore(std::vector<DisplayEvent>& events, const CharacterSources& sources,
                          uint32_t e);

}  // namespace tovrani
