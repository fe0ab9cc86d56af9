// What a movie holds once and its document repeats, through the program: an
// instance name in every keyframe, an import's URL in every item it names,
// and the JPEGTables in the medium of every DefineBits, as far as the
// movie's bytes allow.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/converted_movie.h"
#include "support/bitmap_data.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

// How often `text`, in UTF-16, stands in the streams named from `prefix` on.
size_t Utf16Count(const ConvertedMovie& r, const std::string& prefix, const std::string& text) {
  std::string wide;
  for (char c : text) wide += {c, '\0'};
  size_t n = 0;
  for (const auto& [name, bytes] : r.streams)
    if (name.starts_with(prefix)) n += Occurrences(std::string(bytes.begin(), bytes.end()), wide);
  return n;
}

// A sprite and an edit text placed with names of 300 characters and moved
// in 40 frames; twenty shapes an ImportAssets names from a URL as long.
TEST(HeldOnce, NamesAndUrlsAreWrittenWhereverTheDocumentRepeatsThem) {
  const std::string sprite = "s" + std::string(300, 'n'), text = "t" + std::string(300, 'n');
  const std::string url = "http://host/" + std::string(300, 'u') + ".swf";
  SwfWriter w(8);
  w.tag(39, SwfBytes().u16(1).u16(1).bytes(SwfWriter::TagBytes(1, {})).bytes(SwfWriter::TagBytes(0, {})).data());
  w.tag(37, SwfBytes().u16(2).rect(0, 2000, 0, 400).u8(0x88).u8(0).str("").str("x").data());
  SwfBytes imports;
  imports.str(url).u16(20);
  for (uint16_t id = 3; id <= 22; ++id) {
    w.tag(2, SquareShape(id, 0, 200, 0x808080));
    imports.u16(id).str("item" + std::to_string(100 + id));
  }
  w.tag(57, imports.data());
  for (uint16_t depth : {1, 2})
    w.tag(26, SwfBytes().u8(0x26).u16(depth).u16(depth).matrix(0, 0).str(depth == 1 ? sprite : text).data());
  for (int i = 1; i <= 40; ++i) {
    w.showFrame();
    for (uint16_t depth : {1, 2}) w.tag(26, SwfBytes().u8(0x05).u16(depth).matrix(20 * i, 0).data());
  }
  ConvertedMovie r;
  ConvertOnce(r, w.showFrame().end().build(true));
  EXPECT_EQ(Utf16Count(r, "Page", sprite), 41u);
  EXPECT_EQ(Utf16Count(r, "Page", text), 41u);
  EXPECT_EQ(Utf16Count(r, "Contents", url), 20u);
  for (uint16_t id = 3; id <= 22; ++id) EXPECT_EQ(Utf16Count(r, "Contents", "item" + std::to_string(100 + id)), 1u);
}

// JPEGTables of 1 MB taken by twenty DefineBits, then a JPEG2, compressed:
// the movie's bytes (16 MB and 20 a byte) allow sixteen copies, whole; the
// seventeenth DefineBits is named, the others counted, and the JPEG2 kept.
TEST(HeldOnce, JpegTablesCopiesStopAtTheMoviesAllowance) {
  const Bytes pixels(16 * 16 * 3, 0x80), jpeg = EncodeJpeg(pixels, 16, 16);
  Bytes tables, image;
  EncodeJpegPair(pixels, 16, 16, tables, image);
  Bytes padded(tables.begin(), tables.begin() + 2);
  for (int i = 0; i < 16; ++i) {
    padded.insert(padded.end(), {0xFF, 0xFE, 0xFD, 0xEA});  // a comment of 65,000 bytes
    padded.resize(padded.size() + 65000);
  }
  padded.insert(padded.end(), tables.begin() + 2, tables.end());
  SwfWriter w(8);
  w.tag(8, padded);
  for (uint16_t id = 1; id <= 20; ++id) w.tag(6, SwfBytes().u16(id).bytes(image).data());
  w.tag(21, SwfBytes().u16(21).bytes(jpeg).data()).showFrame().end();
  const uint64_t movieBytes = std::min<uint64_t>(w.build().size() - 8, 4 * w.build(true).size());
  ASSERT_EQ(((16u << 20) + 20 * movieBytes) / (padded.size() - 4), 16u);
  ConvertedMovie r;
  ConvertOnce(r, w.build(true));
  Bytes withTables(padded.begin(), padded.end() - 2);
  withTables.insert(withTables.end(), image.begin() + 2, image.end());
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(r.streams["Media " + std::to_string(k)], JpegMedia(withTables, 16, 16));
  EXPECT_EQ(r.streams["Media 17"], JpegMedia(jpeg, 16, 16));
  EXPECT_EQ(r.streams.count("Media 18"), 0u);
  EXPECT_NE(r.run.output.find("DefineBits (character 17): the movie's bytes allow no more copies of its JPEG tables (" +
                              std::to_string(padded.size() - 4) + " bytes); the bitmap was skipped."),
            std::string::npos)
      << r.run.output;
  EXPECT_NE(r.run.output.find("3 more bitmaps were skipped: the movie's bytes allow no more copies of its JPEG tables."),
            std::string::npos)
      << r.run.output;
}

}  // namespace
}  // namespace tovrani::test
