#include "convert/stream_helpers.h"

#include <algorithm>
#include <vector>

#include "fla/contents_stream.h"
#include "fla/file_helpers.h"
#include "fla/publish_properties.h"
#include "convert/converter_context.h"

namespace tovrani {

namespace {

bool PutU32(std::FILE* out, uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  return std::fwrite(b, 1, 4, out) == 4;
}

}  // namespace

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

int AppendWorkFile(std::FILE* destination, std::FILE* source) {
  return AppendFile(destination, source) ? 1 : 0;
}

bool WriteSectorRun(std::FILE* out, uint32_t count, uint32_t& next, uint32_t terminator) {
  std::vector<uint8_t> buf;
  buf.reserve(size_t(count) * 4 + 4);
  for (uint32_t i = 0; i < count; ++i, ++next) {
    for (int k = 0; k < 4; ++k) buf.push_back(uint8_t(next >> (8 * k)));
  }
  for (int k = 0; k < 4; ++k) buf.push_back(uint8_t(terminator >> (8 * k)));
  ++next;
  return std::fwrite(buf.data(), 1, buf.size(), out) == buf.size();
}

bool WriteFatMarkerPair(uint32_t, uint8_t flag, std::FILE* out) {
  if (flag != 0) return true;
  return PutU32(out, 0xFFFFFFFDu) && PutU32(out, 0xFFFFFFFEu);
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
