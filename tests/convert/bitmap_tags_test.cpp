// The bitmap tags as media streams: the records byte for byte, their pixels,
// the JPEG streams, the placement and numbering, and the bitmaps skipped.
#include "convert/bitmap_tags.h"

#include <gtest/gtest.h>

#include "fla/bitmap_media.h"
#include "fla/work_files.h"
#include "media/jpeg_import.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/bitmap_data.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct MediaEntry {
  std::string name;
  Bytes bytes;
};

// The media streams placed so far, read back through their directory entries.
std::vector<MediaEntry> MediaStreams(WorkFiles& w) {
  const Bytes dir = WorkFiles::Contents(w.ctx.m_pMediaDirFile);
  const Bytes big = WorkFiles::Contents(w.ctx.m_pBigSectorFile);
  const Bytes mini = WorkFiles::Contents(w.ctx.m_pMiniStreamFile);
  std::vector<MediaEntry> out;
  for (size_t at = 0; at + 128 <= dir.size(); at += 128) {
    MediaEntry e;
    for (size_t i = 0; i < 64 && dir[at + i]; i += 2) e.name += char(dir[at + i]);
    const uint32_t start = Le32(dir, at + 116), size = Le32(dir, at + 120);
    const Bytes& file = size >= 4096 ? big : mini;
    const size_t from = size_t(start) * (size >= 4096 ? 512 : 64);
    EXPECT_LE(from + size, file.size()) << e.name;
    if (from + size <= file.size()) e.bytes.assign(file.begin() + from, file.begin() + from + size);
    out.push_back(e);
  }
  return out;
}

struct LosslessCase {
  const char* what;
  uint16_t code;
  uint8_t format;
  uint16_t w, h;
  uint32_t colours;  // entries in the tag's table
  int level;         // of the tag's zlib data
};

TEST(BitmapTags, LosslessRecordsByteForByte) {
  const LosslessCase cases[] = {
      {"ARGB 2x2, header 78 DA", 36, 5, 2, 2, 0, 9},
      {"ARGB 2x2, header 78 9C", 36, 5, 2, 2, 0, 6},
      {"palette of 2", 20, 3, 3, 2, 2, 9},
      {"palette of 121 (count byte 0x78)", 20, 3, 5, 3, 121, 9},
      {"palette of 219 (count byte 0xDA)", 20, 3, 1, 1, 219, 6},
      {"RGBA palette", 36, 3, 3, 1, 3, 9},
      {"15-bit", 20, 4, 3, 2, 0, 9},
      {"XRGB without colour table, header 78 01", 20, 5, 2, 2, 0, 1},
  };
  for (const LosslessCase& c : cases) {
    SCOPED_TRACE(c.what);
    const bool alpha = c.code == 36;
    const size_t row = c.format == 3 ? (c.w + 3u) / 4 * 4 : c.format == 4 ? (c.w * 2u + 3) / 4 * 4 : c.w * 4u;
    const Bytes table = Pattern(c.colours * (alpha ? 4 : 3), 11), pixels = Pattern(row * c.h, 3);
    Bytes data = table;
    data.insert(data.end(), pixels.begin(), pixels.end());
    SwfBytes body;
    body.u16(7).u8(c.format).u16(c.w).u16(c.h);
    if (c.format == 3) body.u8(c.colours - 1);
    body.bytes(Zlib(data, c.level));

    WorkFiles w;
    RecordingShell shell;
    w.ctx.m_pShell = &shell;
    HandleBitmapTag(w.ctx, c.code, body.data());
    EXPECT_TRUE(shell.messages.empty());
    Bytes argb;
    for (uint32_t i = 0; i < c.colours; ++i) {
      const uint8_t* p = &table[i * (alpha ? 4 : 3)];
      argb.insert(argb.end(), {alpha ? p[3] : uint8_t(0xFF), p[0], p[1], p[2]});
    }
    // 15-bit pixels are stored as opaque 32-bit ones, each 5-bit value
    // widened to 8 bits by repeating its top bits.
    Bytes stored = pixels;
    if (c.format == 4) {
      stored.clear();
      for (uint32_t y = 0; y < c.h; ++y)
        for (uint32_t x = 0; x < c.w; ++x) {
          const uint32_t p = uint32_t(pixels[y * row + x * 2]) << 8 | pixels[y * row + x * 2 + 1];
          for (uint32_t v : {255u, p >> 10 & 31, p >> 5 & 31, p & 31})
            stored.push_back(uint8_t(v == 255 ? 255 : v << 3 | v >> 2));
        }
    }
    Bytes expected = RecordHead(c.format == 4 ? 5 : c.format, c.w, c.h, c.colours || alpha ? 1 : 0, argb);
    const size_t head = expected.size();
    const Bytes chunks = Chunked(RawDeflate1(stored));
    expected.insert(expected.end(), chunks.begin(), chunks.end());

    const auto media = MediaStreams(w);
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0].name, "Media 1");
    EXPECT_EQ(media[0].bytes, expected);
    Bytes inflated;
    ASSERT_TRUE(RecordPixels(media[0].bytes, head, inflated));
    EXPECT_EQ(inflated, stored);
    const auto& lib = w.ctx.m_library.bitmaps;
    ASSERT_EQ(lib.size(), 1u);
    EXPECT_EQ(std::tuple(lib[0].mediaNo, lib[0].itemNo, lib[0].propFlag, lib[0].hasValue),
              std::tuple(uint16_t(1), uint16_t(7), true, false));
  }
}

TEST(BitmapTags, LosslessDataCutShortKeepsWhatInflatedAndPadsWithZeros) {
  const Bytes pixels = Pattern(64 * 64 * 4, 5);
  Bytes z = Zlib(pixels, 9);
  z.resize(z.size() / 2);
  SwfBytes body;
  body.u16(3).u8(5).u16(64).u16(64).bytes(z);
  WorkFiles w;
  HandleBitmapTag(w.ctx, 36, body.data());
  const auto media = MediaStreams(w);
  ASSERT_EQ(media.size(), 1u);
  Bytes inflated;
  ASSERT_TRUE(RecordPixels(media[0].bytes, RecordHead(5, 64, 64, 1, {}).size(), inflated));
  ASSERT_EQ(inflated.size(), pixels.size());
  size_t same = 0;
  while (same < pixels.size() && inflated[same] == pixels[same]) ++same;
  EXPECT_GT(same, 0u);
  EXPECT_LT(same, pixels.size());
  EXPECT_EQ(std::count(inflated.begin() + same, inflated.end(), 0), std::ptrdiff_t(pixels.size() - same));
}

// A palette bitmap without data reads as zero: its record still holds a
// palette, of one black colour (transparent with alpha), as every palette
// record does.
TEST(BitmapTags, APaletteBitmapWithoutDataKeepsAPaletteOfOneColour) {
  for (const uint16_t code : {uint16_t(20), uint16_t(36)}) {
    SCOPED_TRACE(code);
    WorkFiles w;
    HandleBitmapTag(w.ctx, code, SwfBytes().u16(3).u8(3).u16(5).u16(2).u8(0).data());
    const auto media = MediaStreams(w);
    ASSERT_EQ(media.size(), 1u);
    const Bytes head = RecordHead(3, 5, 2, 1, {uint8_t(code == 36 ? 0 : 0xFF), 0, 0, 0});
    ASSERT_GE(media[0].bytes.size(), head.size());
    EXPECT_EQ(Bytes(media[0].bytes.begin(), media[0].bytes.begin() + long(head.size())), head);
    Bytes inflated;
    ASSERT_TRUE(RecordPixels(media[0].bytes, head.size(), inflated));
    EXPECT_EQ(inflated, Bytes(8 * 2, 0));
  }
}

Bytes Alpha(uint32_t size) {
  Bytes a;
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) a.push_back(x >= size / 2 && y >= size / 2 ? 0 : 0xFF);
  return a;
}

Bytes Jpeg3Body(uint16_t id, const Bytes& jpeg, const Bytes& alphaData) {
  SwfBytes b;
  b.u16(id).u32(uint32_t(jpeg.size())).bytes(jpeg).bytes(alphaData);
  return b.data();
}

// Pixel (x, y) of a 16 x 16 record of format 5: alpha, then the colour.
std::pair<uint8_t, Rgb> PixelAt(const Bytes& argb, uint32_t x, uint32_t y) {
  const uint8_t* p = &argb[(y * 16 + x) * 4];
  return {p[0], Rgb{p[1], p[2], p[3]}};
}

TEST(BitmapTags, JpegWithAlphaKeepsOrientationChannelsAndTransparency) {
  const Bytes rgb = QuadrantPixels();
  Bytes tables, image;
  EncodeJpegPair(rgb, 16, 16, tables, image);
  Bytes pair = tables;
  pair.insert(pair.end(), image.begin(), image.end());
  const std::pair<const char*, Bytes> jpegs[] = {
      {"RGB", EncodeJpeg(rgb, 16, 16)},
      {"CMYK", EncodeJpeg(rgb, 16, 16, JpegKind::kCmyk)},
      {"progressive", EncodeJpeg(rgb, 16, 16, JpegKind::kProgressive)},
      {"tables and image", pair},
  };
  for (const auto& [what, jpeg] : jpegs) {
    SCOPED_TRACE(what);
    WorkFiles w;
    RecordingShell shell;
    w.ctx.m_pShell = &shell;
    HandleBitmapTag(w.ctx, 35, Jpeg3Body(9, jpeg, Zlib(Alpha(16), 6)));
    EXPECT_TRUE(shell.messages.empty()) << shell.messages.front();
    const auto media = MediaStreams(w);
    ASSERT_EQ(media.size(), 1u);
    const Bytes head = RecordHead(5, 16, 16, 1, {});
    ASSERT_GT(media[0].bytes.size(), head.size());
    EXPECT_EQ(Bytes(media[0].bytes.begin(), media[0].bytes.begin() + head.size()), head);
    Bytes argb;
    ASSERT_TRUE(RecordPixels(media[0].bytes, head.size(), argb));
    ASSERT_EQ(argb.size(), 16u * 16 * 4);
    for (auto [x, y] : {std::pair{0u, 0u}, {15u, 0u}, {0u, 15u}}) {
      auto [a, c] = PixelAt(argb, x, y);
      EXPECT_EQ(a, 0xFF);
      EXPECT_TRUE(Near(c, QuadrantColour(x, y))) << x << "," << y << ": " << int(c.r) << " " << int(c.g) << " " << int(c.b);
    }
    EXPECT_EQ(Bytes(argb.end() - 4, argb.end()), Bytes(4, 0));  // alpha 0: four zero bytes
    const auto& lib = w.ctx.m_library.bitmaps;
    ASSERT_EQ(lib.size(), 1u);
    EXPECT_EQ(std::tuple(lib[0].itemNo, lib[0].propFlag, lib[0].hasValue, lib[0].value),
              std::tuple(uint16_t(9), false, true, uint32_t(media[0].bytes.size())));
  }
}

TEST(BitmapTags, JpegStreamsAreOnePlainJpeg) {
  const Bytes rgb = QuadrantPixels();
  const Bytes jpeg = EncodeJpeg(rgb, 16, 16);
  Bytes tables, image, pair, prefixed = {0xFF, 0xD9, 0xFF, 0xD8}, doubled = {0xFF, 0xD8};
  EncodeJpegPair(rgb, 16, 16, tables, image);
  pair = tables;
  pair.insert(pair.end(), image.begin(), image.end());
  prefixed.insert(prefixed.end(), jpeg.begin(), jpeg.end());
  doubled.insert(doubled.end(), jpeg.begin(), jpeg.end());
  doubled.insert(doubled.end(), {0xFF, 0xD9});
  Bytes wrapped = {'8', 'B', 'P', 'S', 0, 0};
  wrapped.insert(wrapped.end(), jpeg.begin(), jpeg.end());
  const std::tuple<const char*, uint16_t, Bytes> tags[] = {
      {"Photoshop wrapper", 21, wrapped},
      {"plain", 21, jpeg}, {"FF D9 FF D8 first", 21, prefixed}, {"tables then image", 21, pair},
      {"doubled start and end", 21, doubled}, {"DefineBits with JPEGTables", 6, image}};
  for (const auto& [what, code, data] : tags) {
    SCOPED_TRACE(what);
    WorkFiles w;
    HandleBitmapTag(w.ctx, 8, tables);
    SwfBytes body;
    body.u16(4).bytes(data);
    HandleBitmapTag(w.ctx, code, body.data());
    const auto media = MediaStreams(w);
    ASSERT_EQ(media.size(), 1u);
    // The JPEG, then its bounds in twips.
    const Bytes s = JpegOfMedia(media[0].bytes);
    EXPECT_EQ(media[0].bytes, JpegMedia(s, 16, 16));
    ASSERT_GE(s.size(), 4u);
    EXPECT_EQ(Bytes(s.begin(), s.begin() + 2), Bytes({0xFF, 0xD8}));
    EXPECT_EQ(Bytes(s.end() - 2, s.end()), Bytes({0xFF, 0xD9}));
    size_t starts = 0;
    for (size_t i = 0; i + 1 < s.size(); ++i) starts += s[i] == 0xFF && s[i + 1] == 0xD8;
    EXPECT_EQ(starts, 1u);
    DecodedImage decoded;
    ASSERT_EQ(RecodeJpeg(s, kDecodeOnlyQuality, decoded), kRecodeDone);
    ASSERT_EQ(std::pair(decoded.width, decoded.height), std::pair(16u, 16u));
    for (uint32_t y : {0u, 15u})
      for (uint32_t x : {0u, 15u}) {
        const uint8_t* p = decoded.row(y) + x * 3;
        EXPECT_TRUE(Near({p[0], p[1], p[2]}, QuadrantColour(x, y))) << x << "," << y;
      }
    const auto& lib = w.ctx.m_library.bitmaps;
    ASSERT_EQ(lib.size(), 1u);
    EXPECT_EQ(std::tuple(lib[0].itemNo, lib[0].propFlag, lib[0].hasValue), std::tuple(uint16_t(4), false, false));
  }
}

TEST(BitmapTags, PlacementAndMediaNumbers) {
  WorkFiles w;
  ResetStreamTables(w.ctx);
  RecordingShell shell;
  w.ctx.m_pShell = &shell;
  DocumentLibrary::Bitmap entry;
  ASSERT_TRUE(CloseBitmapMediaStream(w.ctx, Pattern(4095, 1), entry));
  ASSERT_TRUE(CloseBitmapMediaStream(w.ctx, Pattern(4096, 2), entry));
  // A skipped bitmap (unknown format) takes no number and no library item.
  HandleBitmapTag(w.ctx, 20, Bytes{5, 0, 9, 1, 0, 1, 0, 0x78, 0xDA});
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_NE(shell.messages[0].find("DefineBitsLossless (character 5)"), std::string::npos) << shell.messages[0];
  HandleBitmapTag(w.ctx, 36, SwfBytes().u16(6).u8(5).u16(1).u16(1).bytes(Zlib({1, 2, 3, 4}, 9)).data());
  const auto media = MediaStreams(w);
  ASSERT_EQ(media.size(), 3u);
  EXPECT_EQ(media[0].name, "Media 1");
  EXPECT_EQ(media[0].bytes, Pattern(4095, 1));
  EXPECT_EQ(media[1].name, "Media 2");
  EXPECT_EQ(media[1].bytes, Pattern(4096, 2));
  EXPECT_EQ(media[2].name, "Media 3");
  EXPECT_EQ(WorkFiles::Contents(w.ctx.m_pBigSectorFile).size(), 4096u);
  EXPECT_EQ(WorkFiles::Contents(w.ctx.m_pMiniStreamFile).size(), 4096u + (media[2].bytes.size() + 63) / 64 * 64);
  EXPECT_EQ(w.ctx.m_nBigStreamList, 3u);
  EXPECT_EQ(std::tuple(w.ctx.m_pBigStreamList.at(0), w.ctx.m_pBigStreamList.at(1), w.ctx.m_pBigStreamList.at(2)),
            std::tuple(0u, kBitmapStreamTag + 1, 0u));
  const auto& lib = w.ctx.m_library.bitmaps;
  ASSERT_EQ(lib.size(), 3u);
  EXPECT_EQ(std::tuple(lib[0].mediaNo, lib[1].mediaNo, lib[2].mediaNo, lib[2].itemNo),
            std::tuple(1, 2, 3, 6));
  // The last number is refused rather than wrapped.
  w.ctx.m_wNextMediaNo = 0xFFFF;
  EXPECT_FALSE(CloseBitmapMediaStream(w.ctx, Pattern(10, 3), entry));
  EXPECT_EQ(w.ctx.m_nWriterError, kResultTooManyItems);
  EXPECT_EQ(lib.size(), 3u);
}

TEST(BitmapTags, JpegTablesWithoutTheirMarkersAndNoneWhenTooShort) {
  WorkFiles w;
  HandleBitmapTag(w.ctx, 8, Bytes{0xFF, 0xD8, 0xAA, 0xFF, 0xD9});
  EXPECT_EQ(w.ctx.m_pJpegTables, Bytes({0xAA}));
  HandleBitmapTag(w.ctx, 8, Bytes{0xFF});
  EXPECT_TRUE(w.ctx.m_pJpegTables.empty());
}

TEST(BitmapTags, DamagedJpegWithAlphaKeepsItsSizeAndWhatDecoded) {
  const Bytes jpeg = EncodeJpeg(QuadrantPixels(), 16, 16);
  for (const auto& [what, data, why] : {std::tuple{"cut in its scan data", CutInScan(jpeg), "damaged"},
                                        std::tuple{"corrupt Huffman table", CorruptHuffman(jpeg), "black"}}) {
    SCOPED_TRACE(what);
    WorkFiles w;
    RecordingShell shell;
    w.ctx.m_pShell = &shell;
    HandleBitmapTag(w.ctx, 35, Jpeg3Body(2, data, Zlib(Alpha(16), 9)));
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_NE(shell.messages[0].find("DefineBitsJPEG3 (character 2)"), std::string::npos);
    EXPECT_NE(shell.messages[0].find(why), std::string::npos) << shell.messages[0];
    const auto media = MediaStreams(w);
    ASSERT_EQ(media.size(), 1u);
    const Bytes head = RecordHead(5, 16, 16, 1, {});
    Bytes argb;
    ASSERT_TRUE(RecordPixels(media[0].bytes, head.size(), argb));
    ASSERT_EQ(argb.size(), 16u * 16 * 4);
    if (std::string(why) == "black") {
      for (size_t i = 0; i < argb.size(); i += 4) ASSERT_EQ(Bytes(argb.begin() + i + 1, argb.begin() + i + 4), Bytes(3, 0)) << i;
    } else {
      EXPECT_TRUE(Near({argb[1], argb[2], argb[3]}, QuadrantColour(0, 0)));  // the rows before the cut
    }
  }
  // Alpha data missing altogether: every pixel opaque.
  WorkFiles w;
  HandleBitmapTag(w.ctx, 35, Jpeg3Body(2, jpeg, {}));
  const auto media = MediaStreams(w);
  ASSERT_EQ(media.size(), 1u);
  Bytes argb;
  ASSERT_TRUE(RecordPixels(media[0].bytes, RecordHead(5, 16, 16, 1, {}).size(), argb));
  ASSERT_EQ(argb.size(), 16u * 16 * 4);
  for (size_t i = 0; i < argb.size(); i += 4) ASSERT_EQ(argb[i], 0xFF) << i;
}

}  // namespace
}  // namespace tovrani::test
