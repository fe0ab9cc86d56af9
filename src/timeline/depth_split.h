// The depth-range split of the mask repairs: the entries of a mask's range
// are divided into what the repair marked (it stays at its depths, right
// above the mask) and the rest (moved above the range), and every entry
// beyond the range moves up by the same amount, so depth order stays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "timeline/character_sources.h"
#include "timeline/depth_table.h"
#include "timeline/display_events.h"

namespace tovrani {

// Rebuilds the table from entry `first` on: the marked spans of the entries
// up to depth `limit` keep their depths, the unmarked ones go to new entries
// at depth + `shift`, entries past `limit` move up by `shift`. The table ends
// with one entry more for every range entry that was only partly marked.
// Where an object's placement leaves a marked span for an unmarked one, the
// events get their hand-off marks. Marks are cleared afterwards.
void SplitDepthRange(DepthTable& table, size_t first, uint32_t limit, uint32_t shift,
                     std::vector<DisplayEvent>& events, const CharacterSources& sources,
                     PassBudget& budget);

}  // namespace tovrani
