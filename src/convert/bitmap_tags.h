// The tag loop's handler of the bitmap tags: JPEGTables, DefineBits,
// DefineBitsJPEG2, DefineBitsJPEG3, DefineBitsLossless and
// DefineBitsLossless2. Each bitmap becomes one media stream and one library
// record (item number = character id); a bitmap that cannot be converted is
// skipped with a message naming the tag and its character id.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tovrani {

struct ConverterContext;

enum class BitmapOutcome {
  kDone,      // converted, or skipped for a fault of its data
  kTooLarge,  // skipped for its size: above the caps or the movie's budget
};

// Codes 6, 8, 20, 21, 35 and 36; `body` is the whole tag body. Lossless
// bitmaps and DefineBitsJPEG3 are charged their pixels to the movie's budget
// before they are decoded, and a DefineBits the JPEGTables it takes; one
// that would overdraw it is skipped, and only the first such bitmap of a
// movie is named (the engine's closing line counts the others).
BitmapOutcome HandleBitmapTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body);

// SWF JPEG data made one plain stream: a leading FF D9 FF D8 dropped, a
// doubled start and end (FF D8 FF D8 ... FF D9 FF D9) made single, a
// tables/image pair joined, `tables` (without their own start and end
// markers) put after the start marker, and an end marker added when the data
// lacks one.
std::vector<uint8_t> PlainJpeg(std::span<const uint8_t> data, std::span<const uint8_t> tables);

}  // namespace tovrani
