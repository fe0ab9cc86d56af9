// The bitmaps and fonts the small movies for the script copy, through the
// program: a movie's bytes allow so many copies (16 MB, and 20 bytes a byte
// of the movie); a shape, morph shape or static text whose movie would copy
// more takes the road it takes without its movie, and the user learns why.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "app/program_runner.h"
#include "convert/text_test_support.h"
#include "support/bitmap_data.h"
#include "support/document_frames.h"
#include "swf/movie_budget.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

// DefineShape2 `id`: a square filled with bitmap 1.
Bytes BitmapSquare(uint16_t id) {
  SwfBytes b;
  b.u16(id).rect(0, 400, 0, 400).u8(1).u8(0x41).u16(1).matrix(0, 0, true, 20 << 16, 20 << 16).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt).Straight(400, 0).Straight(0, 400).Straight(-400, 0).End();
  return b.data();
}

// DefineText `id`: glyphs 0 and 1 of font `font`.
Bytes TwoGlyphText(uint16_t id, uint16_t font) {
  SwfBytes b;
  b.u16(id).rect(0, 2000, 0, 400).matrix(0, 0).u8(8).u8(12).u8(0x8B).u16(font).u16(20).u16(300).u16(240).u8(2);
  return b.ubits(0, 8).sbits(200, 12).ubits(1, 8).sbits(200, 12).align().u8(0).data();
}

Bytes Place(uint16_t id, bool ratio = false) {
  SwfBytes b;
  b.u8(ratio ? 0x16 : 0x06).u16(id).u16(id).matrix(0, 0);
  return ratio ? b.u16(0).data() : b.data();
}

// Converts the movie with the import options on (a limit of 16 MB on each
// file written), checks the document, and gives what the program said and
// the sizes of the shapes' and the texts' movies, largest first.
std::string Convert(const Bytes& movie, std::vector<uint64_t>& shapes, std::vector<uint64_t>& texts) {
  TempDir dir;
  WriteFileBytes(dir.file("m.swf"), movie);
  const ProgramRun run =
      RunProgram({"--set", "Shape / Morph Shape: Convert Using JSFL Import=on", "--set",
                  "Static Text: Convert Using JSFL Import=on", dir.file("m.swf"), "-o", dir.file("m.fla")},
                 dir.file("config"), "ulimit -f 32768; ");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(DocumentShowsMovie(movie, ExpectReadableDocument(dir.file("m.fla"))));
  for (auto [folder, sizes] : {std::pair("Shapes_m.fla", &shapes), std::pair("StaticText_m.fla", &texts)}) {
    if (!fs::is_directory(dir.file(folder))) continue;
    for (const auto& entry : fs::directory_iterator(dir.file(folder))) sizes->push_back(entry.file_size());
    std::sort(sizes->rbegin(), sizes->rend());
  }
  EXPECT_EQ(run.output.find("could not be written"), std::string::npos) << run.output;
  return run.output;
}

// A compressed movie whose tags of `copied` bytes (some 1.5 MB) are copied
// into the movie of each of the `copying` elements after them, the first
// numbered `firstId`: those the allowance pays for carry them, the next is
// named and the others counted; elements that copy nothing still get their
// movies.
void ExpectCopiesStop(SwfWriter& w, uint64_t copied, bool shapes, const std::string& tag, uint16_t firstId,
                      size_t copying, size_t plain) {
  const uint64_t bytes = std::min<uint64_t>(w.build().size() - 8, 4 * w.build(true).size());
  const size_t fit = size_t((kImportCopyAllowance + kImportCopyBytesPerMovieByte * bytes) / copied);
  ASSERT_TRUE(fit >= 3 && fit + 2 < copying) << fit;
  std::vector<uint64_t> movies[2];
  const std::string said = Convert(w.build(true), movies[0], movies[1]);
  const std::vector<uint64_t>& sizes = movies[shapes ? 0 : 1];
  ASSERT_EQ(sizes.size(), fit + plain);
  EXPECT_GT(sizes[fit - 1], copied);
  if (plain) {
    EXPECT_LT(sizes[fit], 4096u);
  }
  EXPECT_NE(said.find("BRASKELON Tovrani: " + tag + " " + std::to_string(firstId + fit) +
                      ": the movie's bytes allow no more copies of its bitmaps and fonts "
                      "for the script (its movie would copy " +
                      std::to_string(copied) + " bytes); it is converted"),
            std::string::npos)
      << said;
  EXPECT_NE(
      said.find("BRASKELON Tovrani: " + std::to_string(copying - fit - 1) +
                " more shapes and texts were converted "
                "without movies for the script: the movie's bytes allow no more copies of its bitmaps and fonts.\n"),
      std::string::npos)
      << said;
}

// DefineBinaryData of `size` random bytes: a compressed file large enough for
// its copies to inflate from.
Bytes Incompressible(size_t size) {
  Bytes noise(size);
  std::mt19937 random(5);
  for (uint8_t& b : noise) b = uint8_t(random());
  return SwfBytes().u16(100).u32(0).bytes(noise).data();
}

TEST(ImportCopyBudget, ShapesMorphsAndTextsStopAtTheMoviesAllowance) {
  Bytes bitmap = SwfBytes().u16(1).u8(5).u16(1).u16(1).bytes(Zlib({0xFF, 0x20, 0x40, 0x60}, 9)).data();
  bitmap.resize(1500000);
  // Random bytes enough for the copied tags to inflate from.
  SwfWriter shapes(8);
  shapes.tag(87, Incompressible(12000), true).tag(36, bitmap, true);
  for (uint16_t id = 2; id <= 19; ++id) shapes.tag(22, BitmapSquare(id)).tag(26, Place(id));
  SwfBytes styles;
  styles.u8(1).u8(0x41).u16(1).matrix(0, 0).matrix(0, 0).u8(0);
  const auto square = [](ShapeRecords& r) { r.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400); };
  const Bytes morph = MorphBody(
      46, styles.data(), [&](ShapeRecords& r) { square(r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt)); },
      square, 1, 0);
  shapes.tag(46, SwfBytes().u16(20).bytes(morph).data()).tag(26, Place(20, true));
  shapes.tag(2, SquareShape(21, 0, 400, 0xFF0000)).tag(26, Place(21)).showFrame().end();
  ExpectCopiesStop(shapes, SwfWriter::TagBytes(36, bitmap, true).size(), true, "DefineShape2", 2, 19, 1);

  const Bytes font = DefineFont2(1, 0, "Arial", {'a', 'b'});
  const Bytes zones = SwfBytes().u16(1).u8(0).bytes(Bytes(1500000, 0)).data();
  SwfWriter texts(8);
  texts.tag(87, Incompressible(12000), true).tag(48, font).tag(73, zones, true);
  for (uint16_t id = 10; id <= 27; ++id) texts.tag(11, TwoGlyphText(id, 1)).tag(26, Place(id));
  texts.showFrame().end();
  const uint64_t fonts = SwfWriter::TagBytes(48, font).size() + SwfWriter::TagBytes(73, zones, true).size();
  ExpectCopiesStop(texts, fonts, false, "DefineText", 10, 18, 0);
}

// A bitmap of 64 KB filling forty shapes and a font used by forty texts:
// every movie carries what it needs, and nothing is said.
TEST(ImportCopyBudget, ABitmapAndAFontCopiedIntoManyMoviesConvertWhole) {
  Bytes noise(128 * 128 * 4);
  std::mt19937 random(11);
  for (uint8_t& b : noise) b = uint8_t(random());
  SwfWriter w(8);
  w.tag(36, SwfBytes().u16(1).u8(5).u16(128).u16(128).bytes(Zlib(noise, 6)).data(), true);
  w.tag(48, DefineFont2(2, 0, "Arial", {'a', 'b'}));
  for (uint16_t id = 10; id < 50; ++id) w.tag(22, BitmapSquare(id)).tag(26, Place(id));
  for (uint16_t id = 100; id < 140; ++id) w.tag(11, TwoGlyphText(id, 2)).tag(26, Place(id));
  const Bytes movie = w.showFrame().end().build();
  std::vector<uint64_t> shapes, texts;
  const std::string said = Convert(movie, shapes, texts);
  EXPECT_EQ(said.find("for the script"), std::string::npos) << said;
  ASSERT_EQ(shapes.size(), 40u);
  EXPECT_GT(shapes.back(), noise.size());
  EXPECT_EQ(texts.size(), 40u);
}

}  // namespace
}  // namespace tovrani::test
