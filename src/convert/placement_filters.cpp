#include "convert/placement_filters.h"

#include <bit>
#include <cstring>
#include <initializer_list>

#include "convert/colour_matrix.h"

namespace tovrani {
namespace {

// SWF bytes of each filter after its id, where they do not depend on the data.
constexpr size_t kDropShadowSize = 23;
constexpr size_t kBlurSize = 9;
constexpr size_t kGlowSize = 15;
constexpr size_t kBevelSize = 27;
constexpr size_t kColorMatrixSize = 80;
// Gradient filters after their colour count byte: n colours and n ratios,
// then blur X, blur Y, angle, distance, strength and the flag byte.
constexpr size_t kGradientTailSize = 19;
// Convolution after its two dimension bytes: divisor, bias, the matrix,
// default colour and the flag byte.
constexpr size_t kConvolutionFixedSize = 13;

class BlockWriter {
 public:
  explicit BlockWriter(std::vector<uint8_t>& out) : out_(out) {}
  void u8(uint8_t v) { out_.push_back(v); }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(uint8_t(v >> (8 * i)));
  }
  void f32(float v) { u32(std::bit_cast<uint32_t>(v)); }
  void bytes(std::initializer_list<uint8_t> b) { out_.insert(out_.end(), b); }
  void bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }

 private:
  std::vector<uint8_t>& out_;
};

// The integer part of an unsigned 16.16 value (blur sizes); the fraction is
// dropped.
float BlurOf(uint32_t fixed) { return float(fixed >> 16); }
// The integer part of a signed 16.16 value: a shadow cast up or left keeps
// its negative distance.
float DistanceOf(uint32_t fixed) { return float(int32_t(fixed) / 65536); }
// Radians, as the tool stores angles.
float AngleOf(uint32_t fixed) { return float(double(int32_t(fixed)) * 3.1415927 / 205887.0); }
// An 8.8 strength as a whole percentage.
uint32_t StrengthOf(uint16_t fixed) { return uint32_t(fixed) * 100 / 256; }

struct FilterFlags {
  uint32_t inner, knockout, onTop, hideObject, quality;
};
FilterFlags FlagsOf(uint8_t b) {
  return {uint32_t((b & 0x80) != 0), uint32_t((b & 0x40) != 0), uint32_t((b & 0x10) != 0),
          uint32_t((b & 0x20) == 0), uint32_t(b & 3)};
}

// The fields that drop shadows, bevels and gradient filters share.
void WriteShadowFields(BlockWriter& w, uint32_t distance, uint32_t blurX, uint32_t blurY,
                       uint32_t angle, const FilterFlags& f, uint16_t strength) {
  w.f32(DistanceOf(distance));
  w.f32(BlurOf(blurX));
  w.f32(BlurOf(blurY));
  w.f32(AngleOf(angle));
  w.u32(f.inner);
  w.u32(f.knockout);
  w.u32(f.quality);
  w.u32(StrengthOf(strength));
}

void ConvertDropShadow(SwfReader& r, BlockWriter& w) {
  auto colour = r.take(4);
  uint32_t blurX = r.u32(), blurY = r.u32(), angle = r.u32(), distance = r.u32();
  uint16_t strength = r.u16();
  FilterFlags f = FlagsOf(r.u8());
  w.bytes({0x04, 0x01, 0x01, 0x00, 0x00, 0x00});
  w.bytes(colour);
  WriteShadowFields(w, distance, blurX, blurY, angle, f, strength);
  w.u32(f.hideObject);
}

void ConvertBlur(SwfReader& r, BlockWriter& w) {
  uint32_t blurX = r.u32(), blurY = r.u32();
  uint8_t passes = r.u8() & 0x18;  // low bits of the pass count in the top five bits
  uint8_t quality = passes == 0x18 ? 3 : passes == 0x10 ? 2 : 1;
  w.bytes({0x03, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xA0, 0x40});
  w.f32(BlurOf(blurX));
  w.f32(BlurOf(blurY));
  w.bytes({0xDB, 0x0F, 0x49, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  w.u8(quality);
  w.bytes({0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
}

void ConvertGlow(SwfReader& r, BlockWriter& w) {
  auto colour = r.take(4);
  uint32_t blurX = r.u32(), blurY = r.u32();
  uint16_t strength = r.u16();
  FilterFlags f = FlagsOf(r.u8());
  w.bytes({0x03, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00});
  w.bytes(colour);
  w.bytes({0x00, 0x00, 0xA0, 0x40});
  w.f32(BlurOf(blurX));
  w.f32(BlurOf(blurY));
  w.bytes({0xDB, 0x0F, 0x49, 0x3F});
  w.u32(f.inner);
  w.u32(f.knockout);
  w.u32(f.quality);
  w.u32(StrengthOf(strength));
  w.u32(0);
}

void ConvertBevel(SwfReader& r, BlockWriter& w) {
  auto first = r.take(4), second = r.take(4);
  uint32_t blurX = r.u32(), blurY = r.u32(), angle = r.u32(), distance = r.u32();
  uint16_t strength = r.u16();
  FilterFlags f = FlagsOf(r.u8());
  w.bytes({0x03, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00});
  w.bytes(second);
  WriteShadowFields(w, distance, blurX, blurY, angle, f, strength);
  w.u32(0);
  w.bytes(first);
  w.u32(f.onTop);
}

// The count byte has been read; the caller checked that n colours, n ratios
// and the tail are there.
void ConvertGradient(uint8_t id, uint8_t n, SwfReader& r, BlockWriter& w) {
  auto colours = r.take(4u * n);
  auto ratios = r.take(n);
  uint32_t blurX = r.u32(), blurY = r.u32(), angle = r.u32(), distance = r.u32();
  uint16_t strength = r.u16();
  FilterFlags f = FlagsOf(r.u8());
  if (id == kFilterGradientGlow)
    w.bytes({0x01, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF});
  else
    w.bytes({0x01, 0x01, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF});
  WriteShadowFields(w, distance, blurX, blurY, angle, f, strength);
  w.u32(0);
  w.u32(n);
  w.u32(0);
  w.u32(f.onTop);
  for (size_t i = 0; i < n; ++i) {
    w.u32(ratios[i]);
    w.bytes(colours.subspan(4 * i, 4));
  }
}

void ConvertColorMatrix(SwfReader& r, BlockWriter& w) {
  ColourMatrix m;
  for (float& v : m) v = std::bit_cast<float>(r.u32());
  ColourAdjustment a = RecoverColourAdjustment(m);
  w.bytes({0x01, 0x01, 0x01, 0x00, 0x00, 0x00});
  w.f32(a.brightness);
  w.f32(a.contrast);
  w.f32(a.saturation);
  w.f32(a.hue);
}

enum class Step { kWritten, kSkipped, kStop };

// Converts one filter whose id has been read, after checking that all of its
// bytes are there.
Step ConvertFilter(uint8_t id, SwfReader& r, BlockWriter& w) {
  switch (id) {
    case kFilterDropShadow:
      if (!r.has(kDropShadowSize)) return Step::kStop;
      ConvertDropShadow(r, w);
      return Step::kWritten;
    case kFilterBlur:
      if (!r.has(kBlurSize)) return Step::kStop;
      ConvertBlur(r, w);
      return Step::kWritten;
    case kFilterGlow:
      if (!r.has(kGlowSize)) return Step::kStop;
      ConvertGlow(r, w);
      return Step::kWritten;
    case kFilterBevel:
      if (!r.has(kBevelSize)) return Step::kStop;
      ConvertBevel(r, w);
      return Step::kWritten;
    case kFilterGradientGlow:
    case kFilterGradientBevel: {
      if (!r.has(1)) return Step::kStop;
      uint8_t n = r.data()[r.pos()];
      if (!r.has(1 + 5 * uint64_t(n) + kGradientTailSize)) return Step::kStop;
      r.u8();
      ConvertGradient(id, n, r, w);
      return Step::kWritten;
    }
    case kFilterConvolution: {
      if (!r.has(2)) return Step::kStop;
      uint64_t cells = uint64_t(r.data()[r.pos()]) * r.data()[r.pos() + 1];
      uint64_t size = 2 + kConvolutionFixedSize + 4 * cells;
      if (!r.has(size)) return Step::kStop;
      r.skip(size);  // the tool has no record for it
      return Step::kSkipped;
    }
    case kFilterColorMatrix:
      if (!r.has(kColorMatrixSize)) return Step::kStop;
      ConvertColorMatrix(r, w);
      return Step::kWritten;
    default:
      return Step::kStop;  // unknown size: nothing after it can be found
  }
}

}  // namespace

FilterListResult ConvertFilterList(SwfReader& r) {
  FilterListResult result;
  if (!r.has(1)) return result;
  uint32_t count = r.u8();
  if (count == 255) {
    if (!r.has(2)) return result;
    count = r.u16();
  }
  std::vector<uint8_t> block(4);
  BlockWriter w(block);
  uint32_t written = 0;
  bool complete = true;
  for (; count > 0; --count) {
    if (!r.has(1)) {
      complete = false;
      break;
    }
    size_t idAt = block.size();
    uint8_t id = r.u8();
    w.u8(id);
    Step step = ConvertFilter(id, r, w);
    if (step == Step::kWritten) {
      ++written;
      continue;
    }
    block.resize(idAt);  // no record: the id byte goes too
    if (step == Step::kStop) {
      complete = false;
      break;
    }
  }
  result.complete = complete;
  if (written > 0) {
    for (int i = 0; i < 4; ++i) block[i] = uint8_t(written >> (8 * i));
    result.block = std::move(block);
  }
  return result;
}

PlacementEffects ReadPlacementEffects(uint16_t flagWord, SwfReader& r) {
  PlacementEffects out;
  if (flagWord & kFlagWordFilterList) {
    FilterListResult list = ConvertFilterList(r);
    out.filterBlock = std::move(list.block);
    if (!list.complete) return out;
  }
  if ((flagWord & kFlagWordBlendMode) && r.has(1)) {
    out.blendMode = r.u8();
    out.hasBlendMode = true;
  }
  if ((flagWord & kFlagWordCacheAsBitmap) && r.has(1)) r.skip(1);
  return out;
}

void ConvertPlacementFilters(uint16_t flagWord, SwfReader& r, DisplayListEntry& entry) {
  PlacementEffects e = ReadPlacementEffects(flagWord, r);
  if (!e.filterBlock.empty()) entry.effectBlock = std::move(e.filterBlock);
  if (e.hasBlendMode) entry.displayByte = e.blendMode;
}

}  // namespace tovrani
