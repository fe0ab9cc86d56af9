#include "convert/stream_helpers.h"

#include <algorithm>
#include <vector>

#include "fla/contents_stream.h"
#include "fla/file_helpers.h"
#include "fla/publish_properties.h"
#include "convert/converter_context.h"

namespace tovrani {

bool AppendStreamFile(std::FILE* source, std::FILE* destination, bool skipFirst) {
  if (!source || !destination) return false;
  long size = std::ftell(source);
  if (size < 0) return false;
  long from = skipFirst ? 1 : 0;
  if (size <= from) return true;
  if (std::fseek(source, from, SEEK_SET) != 0) return false;
  // In pieces, so a long layer file needs no buffer of its size.
  uint8_t buf[8192];
  for (long left = size - from; left > 0;) {
    const size_t n = size_t(std::min<long>(left, long(sizeof buf)));
    if (std::fread(buf, 1, n, source) != n || std::fwrite(buf, 1, n, destination) != n) return false;
    left -= long(n);
  }
  return true;
}

int32_t IntPower(uint16_t base, int32_t exponent) {
  if (exponent <= 1) return base;
  // Squaring gives the same wrapped product as repeated multiplication
  // without a loop as long as the exponent.
  uint32_t result = 1, b = base;
  for (uint32_t e = uint32_t(exponent); e; e >>= 1) {
    if (e & 1) result *= b;
    b *= b;
  }
  return static_cast<int32_t>(result);
}

void PublishGroupOrCleanup(ConverterContext& ctx, bool publish) {
  if (!publish) {
    ctx.m_pInitActions.clear();
    ctx.m_pInitActions.shrink_to_fit();
    return;
  }
  static constexpr PublishPropertyPair kPairs[] = {
      {"PublishGifProperties::TransparentAlpha", "128"},
      {"PublishGifProperties::Animated", "0"},
      {"PublishRNWKProperties::mediaAuthor", ""},
      {"PublishRNWKProperties::speedCorporateLAN", "0"},
      {"PublishRNWKProperties::showBitrateDlog", "1"},
  };
  WritePublishPropertyGroup(g_contents, ctx.m_nFlaFormat, kPairs);
}

}  // namespace tovrani
