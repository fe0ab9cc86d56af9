// "Labels" layers: the frame labels of a top-level page as named keyframes,
// one label per frame on each layer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "fla/class_tags.h"
#include "timeline/display_list.h"

namespace tovrani {

// Writes the "Labels" layers after the page's other layers (none when there
// are no labels). The labels are read, not consumed.
void WriteFrameLabelLayers(std::FILE* page, const std::vector<FrameLabelEntry>& labels, uint16_t frames,
                           PageClassState& state, uint8_t level);

}  // namespace tovrani
