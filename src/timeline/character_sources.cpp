#include "timeline/character_sources.h"

#include <algorithm>

#include "swf/place_object.h"

namespace tovrani {

CharacterSources::CharacterSources(const std::vector<DisplayEvent>& events)
    : prevAny_(events.size(), kNoEvent), prevChar_(events.size(), kNoEvent) {
  // Sized by the highest depth the events use, not by all 65,536.
  uint32_t highest = 0;
  for (const DisplayEvent& e : events) highest = std::max<uint32_t>(highest, e.origDepth);
  std::vector<uint32_t> lastAny(events.empty() ? 0 : highest + 1, kNoEvent), lastChar(lastAny);
  for (uint32_t i = 0; i < events.size(); ++i) {
    uint16_t d = events[i].origDepth;
    prevAny_[i] = lastAny[d];
    prevChar_[i] = lastChar[d];
    lastAny[d] = i;
    if (events[i].placeFlags & kPlaceHasCharacter) lastChar[d] = i;
  }
}

bool MarkCharacterRestore(std::vector<DisplayEvent>& events, const CharacterSources& sources,
                          uint32_t e) {
  uint32_t s = sources.source(e);
  if (s == kNoEvent) return false;
  events[e].restoreMark = 1;
  events[e].characterId = events[s].characterId;
  events[e].linkedEvent = s;
  return true;
}

}  // namespace tovrani
