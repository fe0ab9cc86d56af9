// Fully transparent colours of shape tag bodies made barely visible: every
// RGBA colour whose alpha is 0 gets alpha 1; nothing else changes. Both walk
// the body by its SWF layout into a private copy that goes back over the
// body at every exit, so an early end keeps the corrections made so far.
// The JSFL-import road runs them over the shape bodies of the movies it
// writes for the authoring tool to import.
#pragma once

#include <cstdint>
#include <span>

namespace tovrani {

// A DefineShape3 body after its character id. Always false.
bool FixZeroAlpha(std::span<uint8_t> body);
// A DefineMorphShape body after its character id. True when both edge
// lists were walked to their end; false when the end-edges offset points
// past the body or a shape record brings new style arrays.
bool FixMorphZeroAlpha(std::span<uint8_t> body);

}  // namespace tovrani
