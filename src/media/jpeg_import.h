// JPEG import: the plain JPEG inside a Photoshop file, and JPEG decoding to
// rows of R, G, B through libjpeg.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

namespace tovrani {

// Decoded images (and bitmaps taken in) stay within these.
constexpr uint32_t kMaxImageSide = 65535;
constexpr uint64_t kMaxImagePixels = uint64_t(64) << 20;

// Results of RecodeJpeg.
constexpr int kRecodeDone = 1;
constexpr int kRecodeOpenFailed = -7;    // no data
constexpr int kRecodeLibraryError = -8;  // libjpeg gave up on the data
constexpr int kRecodeLimits = -9;        // too large, or too many scans
constexpr int kRecodeWriteFailed = -10;  // no memory for the image
// The quality that asks for decoding only.
constexpr int kDecodeOnlyQuality = 101;

// An image as the bitmap converters read it: rows top first, each pixel R, G,
// B, no padding.
struct DecodedImage {
  struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  uint32_t width = 0, height = 0;
  bool damaged = false;  // libjpeg read past damage in the data
  std::unique_ptr<uint8_t[], Free> rgb;  // width x height x 3 bytes
  const uint8_t* row(uint32_t y) const { return rgb.get() + size_t(y) * width * 3; }
};

// A file that does not start FF D8 but holds FF D8 FF later (a Photoshop
// wrapper) gives the bytes from there on in `plain` and a non-zero result;
// anything else gives 0 and leaves `plain` alone. Data that starts FF D8 is
// never touched: it may hold a thumbnail JPEG of its own.
int StripPhotoshopWrapper(std::span<const uint8_t> file, std::vector<uint8_t>& plain);

// Decodes a JPEG (quality kDecodeOnlyQuality; there is no re-encoding mode,
// any other quality fails with 0). CMYK and YCCK images are converted to RGB,
// inverted when an Adobe marker says so. Frames above the caps and files of
// more than 1,000 scans are refused before the image is allocated. Returns
// kRecodeDone with `out` filled, or one of the failures above with `out`
// empty. Damaged scan data decodes as far as libjpeg can take it.
int RecodeJpeg(std::span<const uint8_t> jpeg, int quality, DecodedImage& out);

}  // namespace tovrani
