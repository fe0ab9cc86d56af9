// JPEG import: the Photoshop wrapper, decoding results and the limits that
// keep hostile files from allocating or looping.
#include "media/jpeg_import.h"

#include <gtest/gtest.h>

#include "support/bitmap_data.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(JpegImport, PhotoshopWrapperIsStrippedOnlyAroundAJpeg) {
  const Bytes jpeg = EncodeJpeg(QuadrantPixels(), 16, 16);
  Bytes wrapped = {'8', 'B', 'P', 'S', 0, 1, 0xFF, 0xD8, 0x00};
  wrapped.insert(wrapped.end(), jpeg.begin(), jpeg.end());
  Bytes withThumbnail = jpeg;  // a JPEG holding another JPEG later on
  withThumbnail.insert(withThumbnail.end(), jpeg.begin(), jpeg.end());
  const std::tuple<const char*, Bytes, int> cases[] = {
      {"wrapped", wrapped, 1}, {"a JPEG with a thumbnail", withThumbnail, 0},
      {"no JPEG", {1, 2, 3, 0xFF, 0xD8}, 0}, {"empty", {}, 0}};
  for (const auto& [what, file, stripped] : cases) {
    SCOPED_TRACE(what);
    Bytes plain = {7};
    EXPECT_EQ(StripPhotoshopWrapper(file, plain) != 0, stripped != 0);
    EXPECT_EQ(plain, stripped ? jpeg : Bytes{7});
  }
}

TEST(JpegImport, DecodingResults) {
  const Bytes gray(16 * 16 * 3, 0x80);
  const Bytes huge = WithFrameSize(EncodeJpeg(gray, 16, 16), 65000, 65000);
  const std::tuple<const char*, Bytes, int, int> cases[] = {
      {"plain", EncodeJpeg(gray, 16, 16), kDecodeOnlyQuality, kRecodeDone},
      {"re-encoding asked", EncodeJpeg(gray, 16, 16), 90, 0},
      {"empty", {}, kDecodeOnlyQuality, kRecodeOpenFailed},
      {"not a JPEG", {0xFF, 0xD8, 1, 2, 3}, kDecodeOnlyQuality, kRecodeLibraryError},
      {"above the caps", huge, kDecodeOnlyQuality, kRecodeLimits},
  };
  for (const auto& [what, jpeg, quality, result] : cases) {
    SCOPED_TRACE(what);
    DecodedImage image;
    EXPECT_EQ(RecodeJpeg(jpeg, quality, image), result);
    EXPECT_EQ(image.rgb != nullptr, result == kRecodeDone);
    if (result == kRecodeDone) {
      ASSERT_EQ(std::pair(image.width, image.height), std::pair(16u, 16u));
      EXPECT_TRUE(Near({image.row(15)[45], image.row(15)[46], image.row(15)[47]}, {0x80, 0x80, 0x80}, 2));
    }
  }
}

Bytes Pixels(const DecodedImage& image) {
  return Bytes(image.rgb.get(), image.rgb.get() + size_t(image.width) * image.height * 3);
}

// Scans past the prepaid ones are charged one by one. A charge that pays
// them all gives what a decoder without one gives; one that refuses a scan
// ends the image before it, as a file ending there would, with no damage
// reported, whichever way the scans are coded. Past the last cap the image
// ends too, and is kept.
TEST(JpegImport, ScansPastThePrepaidOnesAreCharged) {
  for (const auto& [kind, paid] : {std::pair(JpegKind::kThirteenScans, 3u), std::pair(JpegKind::kThirteenScans, 1u),
                                   std::pair(JpegKind::kThirteenScans, 0u),
                                   std::pair(JpegKind::kThirteenArithmeticScans, 1u)}) {
    SCOPED_TRACE(testing::Message() << int(kind) << " " << paid);
    const Bytes jpeg = EncodeJpeg(QuadrantPixels(20), 20, 20, kind);
    uint32_t asked = 0;
    DecodedImage image, fileCut;
    ASSERT_EQ(RecodeJpeg(jpeg, kDecodeOnlyQuality, image, [&] { return ++asked <= paid; }), kRecodeDone);
    ASSERT_EQ(RecodeJpeg(FirstScans(jpeg, kPrepaidScans + paid), kDecodeOnlyQuality, fileCut), kRecodeDone);
    EXPECT_EQ(asked, std::min(paid + 1, 3u));
    EXPECT_EQ(std::tuple(image.cut, image.scansKept, image.damaged),
              std::tuple(paid == 3 ? ScanCut::kNone : ScanCut::kRefused, kPrepaidScans + paid, false));
    EXPECT_EQ(Pixels(image), Pixels(fileCut));
  }

  // A progressive file whose first scan repeats past the scan limit.
  const Bytes progressive = EncodeJpeg(QuadrantPixels(), 16, 16, JpegKind::kProgressive);
  size_t sos = 0, next = 0;
  while (!(progressive[sos] == 0xFF && progressive[sos + 1] == 0xDA)) ++sos;
  next = sos + 2;
  while (!(progressive[next] == 0xFF && progressive[next + 1] != 0 &&
           (progressive[next + 1] < 0xD0 || progressive[next + 1] > 0xD7)))
    ++next;
  Bytes endless(progressive.begin(), progressive.begin() + next);
  for (int i = 0; i < 1001; ++i) endless.insert(endless.end(), progressive.begin() + sos, progressive.begin() + next);
  endless.insert(endless.end(), {0xFF, 0xD9});

  DecodedImage image;
  ASSERT_EQ(RecodeJpeg(endless, kDecodeOnlyQuality, image, [] { return true; }), kRecodeDone);
  EXPECT_EQ(std::pair(image.cut, image.scansKept), std::pair(ScanCut::kTooMany, kMaxScans));
  EXPECT_TRUE(Near({image.row(0)[0], image.row(0)[1], image.row(0)[2]}, QuadrantColour(0, 0)));
}

}  // namespace
}  // namespace tovrani::test
