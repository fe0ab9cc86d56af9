// What a movie holds once and its document repeats, through the program: an
// instance name in every keyframe of its placement, an import's URL in the
// linkage of every item it names, and the JPEGTables in every DefineBits'
// medium, which the movie's bytes allow so many copies of.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/converted_movie.h"
#include "support/bitmap_data.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

// How often the UTF-16 form of `text` stands in the streams whose names
// start with `prefix`.
size_t Utf16Count(const ConvertedMovie& r, const std::string& prefix, const std::string& text) {
  std::string wide;
  for (char c : text) wide += {c, '\0'};
  size_t n = 0;
  for (const auto& [name, bytes] : r.streams)
    if (name.starts_with(prefix)) n += Occurrences(std::string(bytes.begin(), bytes.end()), wide);
  return n;
}

// A sprite and an edit text, each placed with a name of 300 characters
// (the long length form) and moved in each of 40 frames: every keyframe
// carries the name.
TEST(HeldOnce, AnInstanceNameIsWrittenInEveryKeyframe) {
  const std::string name = "hero" + std::string(300, 'n');
  for (const bool editText : {false, true}) {
    SCOPED_TRACE(editText);
    SwfWriter w(8);
    if (editText)
      w.tag(37, SwfBytes().u16(1).rect(0, 2000, 0, 400).u8(0x88).u8(0).str("").str("x").data());
    else
      w.tag(39, SwfBytes().u16(1).u16(1).bytes(SwfWriter::TagBytes(1, {})).bytes(SwfWriter::TagBytes(0, {})).data());
    w.tag(26, SwfBytes().u8(0x26).u16(1).u16(1).matrix(0, 0).str(name).data()).showFrame();
    for (int i = 1; i <= 40; ++i) w.tag(26, SwfBytes().u8(0x05).u16(1).matrix(20 * i, 0).data()).showFrame();
    ConvertedMovie r;
    ConvertOnce(r, w.end().build(true));
    EXPECT_EQ(Utf16Count(r, "Page", name), 41u);
  }
}

// Twenty shapes an ImportAssets names, from a URL of 300 characters: each
// item's linkage holds the URL and its own name.
TEST(HeldOnce, AnImportsUrlIsWrittenInEveryItemItNames) {
  const std::string url = "http://host/" + std::string(300, 'u') + ".swf";
  SwfWriter w(8);
  SwfBytes imports;
  imports.str(url).u16(20);
  for (uint16_t id = 1; id <= 20; ++id) {
    w.tag(2, SquareShape(id, 0, 200, 0x808080));
    imports.u16(id).str("item" + std::to_string(100 + id));
  }
  w.tag(57, imports.data()).showFrame();
  ConvertedMovie r;
  ConvertOnce(r, w.end().build());
  EXPECT_EQ(Utf16Count(r, "Contents", url), 20u);
  for (uint16_t id = 1; id <= 20; ++id) EXPECT_EQ(Utf16Count(r, "Contents", "item" + std::to_string(100 + id)), 1u);
}

// JPEGTables of 4 MB, eight DefineBits that take them, then a DefineBitsJPEG2
// of its own, compressed: the movie's bytes (16 MB and 20 a byte, counted
// at most four times the file) allow a few copies. Those bitmaps are whole,
// the next is named and the rest counted; the JPEG2 is kept.
TEST(HeldOnce, JpegTablesCopiesStopAtTheMoviesAllowance) {
  const Bytes pixels(16 * 16 * 3, 0x80);
  Bytes tables, image;
  EncodeJpegPair(pixels, 16, 16, tables, image);
  // Comment segments of 65,000 bytes after the start marker.
  Bytes padded(tables.begin(), tables.begin() + 2);
  for (int i = 0; i < 64; ++i) {
    padded.insert(padded.end(), {0xFF, 0xFE, 0xFD, 0xEA});
    padded.resize(padded.size() + 65000);
  }
  padded.insert(padded.end(), tables.begin() + 2, tables.end());
  tables = padded;
  const Bytes jpeg = EncodeJpeg(pixels, 16, 16);
  SwfWriter w(8);
  w.tag(8, tables);
  for (uint16_t id = 1; id <= 8; ++id) w.tag(6, SwfBytes().u16(id).bytes(image).data());
  w.tag(21, SwfBytes().u16(9).bytes(jpeg).data()).showFrame().end();
  const uint64_t movieBytes = std::min<uint64_t>(w.build().size() - 8, 4 * w.build(true).size());
  const size_t fit = ((16u << 20) + 20 * movieBytes) / (tables.size() - 4);
  ASSERT_EQ(fit, 4u);
  ConvertedMovie r;
  ConvertOnce(r, w.build(true));
  Bytes withTables(tables.begin(), tables.end() - 2);
  withTables.insert(withTables.end(), image.begin() + 2, image.end());
  for (size_t k = 1; k <= fit; ++k) EXPECT_EQ(r.streams["Media " + std::to_string(k)], JpegMedia(withTables, 16, 16));
  EXPECT_EQ(r.streams["Media 5"], JpegMedia(jpeg, 16, 16));
  EXPECT_EQ(r.streams.count("Media 6"), 0u);
  EXPECT_NE(r.run.output.find("DefineBits (character 5): the movie's bytes allow no more copies of its JPEG tables (" +
                              std::to_string(tables.size() - 4) + " bytes); the bitmap was skipped."),
            std::string::npos)
      << r.run.output;
  EXPECT_NE(r.run.output.find("3 more bitmaps were skipped: the movie's bytes allow no more copies of its JPEG tables."),
            std::string::npos)
      << r.run.output;
}

}  // namespace
}  // namespace tovrani::test
