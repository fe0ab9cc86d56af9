#include "convert/background.h"

#include "convert/converter_context.h"
#include "swf/swf_reader.h"

namespace tovrani {

void HandleSetBackgroundColor(ConverterContext& ctx, std::span<const uint8_t> body) {
  SwfReader r(body);
  const uint8_t red = r.u8(), green = r.u8(), blue = r.u8();
  if (!r.ok()) return;
  ctx.m_rgbBackground = red | uint32_t{green} << 8 | uint32_t{blue} << 16;
}

}  // namespace tovrani
