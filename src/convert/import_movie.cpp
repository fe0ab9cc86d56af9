#include "convert/import_movie.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/stream_placement.h"

namespace tovrani {

namespace {

constexpr size_t kLengthField = 4;

// Bit writer for the frame rectangle.
class Bits {
 public:
  explicit Bits(std::vector<uint8_t>& out) : out_(out) {}
  void put(uint32_t value, unsigned n) {
    for (unsigned i = n; i-- > 0;) {
      if (used_ == 0) out_.push_back(0);
      if ((value >> i) & 1) out_.back() |= uint8_t(0x80 >> used_);
      used_ = (used_ + 1) & 7;
    }
  }

 private:
  std::vector<uint8_t>& out_;
  unsigned used_ = 0;
};

// Bits a signed value needs, sign included.
unsigned SignedBits(int32_t v) {
  uint32_t m = v < 0 ? ~uint32_t(v) : uint32_t(v);
  unsigned n = 1;
  while (m) {
    ++n;
    m >>= 1;
  }
  return n;
}

void Append16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t v) {
  Append16(out, uint16_t(v));
  Append16(out, uint16_t(v >> 16));
}

}  // namespace

std::vector<uint8_t> ImportMovieHeader(uint8_t version, const SwfRect& frame, uint16_t frameRate) {
  std::vector<uint8_t> out = {'F', 'W', 'S', version};
  Append32(out, 0);
  // The field width is five bits: coordinates stay within 31 signed bits.
  constexpr int32_t kLimit = (1 << 30) - 1;
  const int32_t v[4] = {std::clamp(frame.xmin, -kLimit, kLimit), std::clamp(frame.xmax, -kLimit, kLimit),
                        std::clamp(frame.ymin, -kLimit, kLimit), std::clamp(frame.ymax, -kLimit, kLimit)};
  unsigned n = 1;
  for (int32_t x : v) n = std::max(n, SignedBits(x));
  Bits bits(out);
  bits.put(n, 5);
  for (int32_t x : v) bits.put(uint32_t(x) & ((1u << n) - 1u), n);
  Append16(out, frameRate);
  Append16(out, 1);
  return out;
}

std::optional<std::vector<uint8_t>> BuildImportMovie(std::span<const uint8_t> head, uint16_t code,
                                                     std::span<const uint8_t> body, uint16_t characterId,
                                                     std::optional<uint16_t> ratio) {
  if (body.size() > 0xFFFFFFFFu) return std::nullopt;
  return BuildImportMovie(head, code, body, characterId, uint32_t(body.size()), ratio);
}

std::optional<std::vector<uint8_t>> BuildImportMovie(std::span<const uint8_t> head, uint16_t code,
                                                     std::span<const uint8_t> body, uint16_t characterId,
                                                     uint32_t tagLength, std::optional<uint16_t> ratio) {
  if (head.size() < kLengthField + 4 || code > 0x3FF || body.size() > 0xFFFFFFFFu || tagLength > body.size())
    return std::nullopt;
  std::vector<uint8_t> movie(head.begin(), head.end());
  Append16(movie, uint16_t(code << 6 | 0x3F));
  Append32(movie, tagLength);
  movie.insert(movie.end(), body.begin(), body.end());
  // PlaceObject2 (short header, length 6 or 8): character and matrix, and
  // the ratio when given; depth 1, the empty matrix.
  constexpr uint16_t kPlaceObject2 = 26;
  Append16(movie, uint16_t(kPlaceObject2 << 6 | (ratio ? 8 : 6)));
  movie.push_back(ratio ? 0x16 : 0x06);
  Append16(movie, 1);
  Append16(movie, characterId);
  movie.push_back(0x00);
  if (ratio) Append16(movie, *ratio);
  movie.insert(movie.end(), {0x40, 0x00, 0x00, 0x00});  // ShowFrame, End
  if (movie.size() > 0xFFFFFFFFu) return std::nullopt;
  const uint32_t length = uint32_t(movie.size());
  for (size_t i = 0; i < 4; ++i) movie[kLengthField + i] = uint8_t(length >> (8 * i));
  return movie;
}

std::string RefusedCopiesText(const std::string& element, bool twoMovies, uint64_t bytes, std::string_view road) {
  return element + ": the movie's bytes allow no more copies of its bitmaps and fonts for the script (" +
         (twoMovies ? "its movies" : "its movie") + " would copy " + std::to_string(bytes) +
         " bytes); it is converted " + std::string(road) + ".";
}

bool WritePlaceholderPage(std::FILE* page, uint8_t level, std::string_view layerName, bool oldWriters) {
  const bool newForm = IsNewFlaFormat(level) && !oldWriters;
  std::array<uint8_t, kFileHead.size()> head = kFileHead;
  if (newForm) head[15] = head[32] = FlaVersionByte(level);
  if (std::fwrite(head.data(), 1, head.size(), page) != head.size()) return false;
  g_shortLayerEndLead = 0;
  if (newForm) {
    WriteLastEmptyFrameNew(page, 1);
    WriteLayerTailNew(page, layerName, true, false, false, 0, 0);
    WriteLayerEndNew(page, 2);
  } else {
    WriteLastEmptyFrameOld(page, 1);
    WriteLayerTailOld(page, layerName, true, false, false, 0, 0);
    WriteLayerEndOld(page, 2);
  }
  return std::ferror(page) == 0;
}

}  // namespace tovrani
