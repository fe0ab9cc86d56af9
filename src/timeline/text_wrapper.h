// The symbol a tinted text is shown through: a text object cannot carry a
// colour transform, an instance of a symbol holding it can.
#pragma once

#include <cstdint>

#include "timeline/display_list.h"

namespace tovrani {

struct TimelineContext;

// Makes a symbol of one layer "Text" whose one keyframe holds the text of
// entry e at the identity matrix, commits it as a further symbol stream and
// resumes the page being written. Gives the symbol's item number and stream
// row; false (nothing committed) when it could not be made.
bool MakeTextWrapper(TimelineContext& ctx, const PlacementEntry& e, uint16_t fontCount, uint16_t& item,
                     uint32_t& row);

}  // namespace tovrani
