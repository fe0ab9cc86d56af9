// Runs the depth and mask-layer pass the way the engine does, for tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "swf/converter_context.h"

namespace tovrani::test {

// Concatenated tags.
std::vector<uint8_t> Tags(std::initializer_list<std::vector<uint8_t>> parts);

// The main movie: `tags` stand after a few header bytes in a work file; the
// pass runs from their start and `tags` receives what the file holds after
// it. Fails the test when the file position moved.
uint32_t RunMainPass(ConverterContext& ctx, std::vector<uint8_t>& tags);

// A sprite: id, frame count and the tags; the pass changes `body` in place.
std::vector<uint8_t> SpriteBody(uint16_t id, const std::vector<uint8_t>& tags);
uint32_t RunSpritePass(ConverterContext& ctx, std::vector<uint8_t>& body);

}  // namespace tovrani::test
