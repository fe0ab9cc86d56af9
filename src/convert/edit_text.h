// DefineEditText: the field decoded into an edit-text record of the
// converter, its initial text turned from SWF HTML into plain text with
// style runs and its first link taken out. Nothing is written here; the
// text-object writer writes the field where it is placed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "timeline/text_records.h"

namespace tovrani {

struct ConverterContext;

void HandleEditText(ConverterContext& ctx, std::span<const uint8_t> body);

// Runs of a text that RewriteHtmlTags has left with style markers: the
// markers are taken out of text and the runs, in byte positions of what is
// left, cover it exactly (none empty). Text before the first marker gets a
// run of default style.
std::vector<TextStyleRun> BuildStyleRuns(std::string& text);

}  // namespace tovrani
