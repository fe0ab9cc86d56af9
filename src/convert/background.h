// SetBackgroundColor: the stage's colour, carried into the document's
// properties.
#pragma once

#include <cstdint>
#include <span>

namespace tovrani {

struct ConverterContext;

// The colour a document gets when its movie sets none.
constexpr uint32_t kDefaultBackground = 0xFFFFFF;

// Tag 9: m_rgbBackground = R | G << 8 | B << 16. A body shorter than the
// three colour bytes is skipped.
void HandleSetBackgroundColor(ConverterContext& ctx, std::span<const uint8_t> body);

}  // namespace tovrani
