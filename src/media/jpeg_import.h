// JPEG import: the plain JPEG inside a Photoshop file, and JPEG decoding to
// rows of R, G, B through libjpeg.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/resource_bound.h"

namespace tovrani {

// Decoded images (and bitmaps taken in) stay within these.
constexpr uint32_t kMaxImageSide = 65535;
constexpr uint64_t kMaxImagePixels = uint64_t(64) << 20;

// Results of RecodeJpeg.
constexpr int kRecodeDone = 1;
constexpr int kRecodeOpenFailed = -7;    // no data
constexpr int kRecodeLibraryError = -8;  // libjpeg gave up on the data
constexpr int kRecodeLimits = -9;        // too large
constexpr int kRecodeWriteFailed = -10;  // no memory for the image
// The quality that asks for decoding only.
constexpr int kDecodeOnlyQuality = 101;

// Each scan walks every block of its components again, so a file of a few
// bytes a scan can ask for any amount of work. The first kPrepaidScans come
// with the image (a usual colour progression has ten); each further one is
// asked for before it is decoded, and none is read past kMaxScans.
constexpr uint32_t kPrepaidScans = 10;
constexpr uint32_t kMaxScans = 1000;
// Asked before each scan past the prepaid ones; false ends the image before
// that scan. Called from inside libjpeg, so it must not throw.
using ScanCharge = std::function<bool()>;

// Why an image ended before its data did.
enum class ScanCut { kNone, kRefused, kTooMany };

// An image as the bitmap converters read it: rows top first, each pixel R, G,
// B, no padding.
struct DecodedImage {
  struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  uint32_t width = 0, height = 0;
  bool damaged = false;  // libjpeg read past damage in the data
  ScanCut cut = ScanCut::kNone;
  uint32_t scansKept = 0;  // the scans decoded, where `cut` says it was ended
  std::unique_ptr<uint8_t[], Free> rgb;  // width x height x 3 bytes
  HeapToken heap;                         // counts `rgb` (malloc'd) while it lives
  const uint8_t* row(uint32_t y) const { return rgb.get() + size_t(y) * width * 3; }
};

// A file that does not start FF D8 but holds FF D8 FF later (a Photoshop
// wrapper) gives the bytes from there on in `plain` and a non-zero result;
// anything else gives 0 and leaves `plain` alone. Data that starts FF D8 is
// never touched: it may hold a thumbnail JPEG of its own.
int StripPhotoshopWrapper(std::span<const uint8_t> file, std::vector<uint8_t>& plain);

// Decodes a JPEG (quality kDecodeOnlyQuality; there is no re-encoding mode,
// any other quality fails with 0). CMYK and YCCK images are converted to RGB,
// inverted when an Adobe marker says so. Frames above the caps are refused
// before the image is allocated. Scans past the prepaid ones go through
// `chargeScan` (none given: all are taken, up to kMaxScans); an image ended
// before a scan keeps what the scans before it decoded. Returns kRecodeDone
// with `out` filled, or one of the failures above with `out` empty. Damaged
// scan data decodes as far as libjpeg can take it.
int RecodeJpeg(std::span<const uint8_t> jpeg, int quality, DecodedImage& out, const ScanCharge& chargeScan = {});

}  // namespace tovrani
