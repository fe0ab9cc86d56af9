// What no allowance names is bounded too, through the program: how far a
// compressed movie may inflate and how much its conversion may write, each
// in proportion to the movie's file. A movie past either fails naming the
// bound and its file's size, and the document set it would replace (FLA,
// script and import movies) stays as it was; a movie just under converts.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/program_runner.h"
#include "support/document_frames.h"
#include "support/swf_writer.h"
#include "swf/movie_budget.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

uint64_t Declared(const Bytes& movie) {
  return movie[4] | movie[5] << 8 | movie[6] << 16 | uint64_t(movie[7]) << 24;
}

// A red square placed after `zeros` bytes of DefineBinaryData, compressed:
// zlib packs the zeros a thousandfold.
Bytes PaddedMovie(size_t zeros) {
  SwfWriter w(8);
  w.tag(87, SwfBytes().u16(100).u32(0).bytes(Bytes(zeros, 0)).data(), true);
  w.tag(2, SquareShape(1, 0, 400, 0xFF0000)).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data());
  return w.showFrame().end().build(true);
}

// An empty sprite placed with an instance name of 32,000 characters, then
// moved in each of `frames` frames: each keyframe writes the name again.
Bytes NamedSpriteMovie(uint16_t frames) {
  SwfWriter w(8);
  w.tag(39, SwfBytes().u16(1).u16(1).u16(0).data());
  w.tag(26, SwfBytes().u8(0x22).u16(1).u16(1).str(std::string(32000, 'n')).data()).showFrame();
  for (uint16_t i = 0; i < frames; ++i) w.tag(26, SwfBytes().u8(0x05).u16(1).matrix(20 * (i % 2), 0).data()).showFrame();
  return w.end().build(true);
}

// 600 squares, then an ImportAssets whose URL of 60,000 characters becomes
// the linkage of each: the library in the Contents stream outgrows the bound.
Bytes LinkedShapesMovie() {
  SwfWriter w(8);
  SwfBytes names = SwfBytes().str(std::string(60000, 'u')).u16(600);
  for (uint16_t id = 1; id <= 600; ++id) {
    w.tag(2, SquareShape(id, 0, 200, 0x00FF00));
    names.u16(id).u8(0);
  }
  return w.tag(57, names.data(), true).showFrame().end().build(true);
}

// An edit text of 20 characters, then a button of 130,000 records showing
// it in all four states, compressed: its page would take some 520,000 text
// objects, far past the bound.
Bytes TextButtonMovie() {
  SwfWriter w(8);
  w.tag(37, SwfBytes().u16(1).rect(0, 2000, 0, 400).u8(0x88).u8(0).str("").str(std::string(20, 't')).data());
  SwfBytes button;
  button.u16(2);
  for (int i = 0; i < 130000; ++i) button.u8(0x0F).u16(1).u16(1).matrix(0, 0);
  button.u8(0).u8(0);
  return w.tag(7, button.data(), true).showFrame().end().build(true);
}

class OutputBounds : public ::testing::Test {
 protected:
  // A previous set in out/: the document, its script and a shape's movie.
  void SetUp() override {
    fs::create_directories(dir.file("out"));
    ASSERT_EQ(Convert(PaddedMovie(0)).status, 0);
    previous = FolderSnapshot(dir.file("out"));
    ASSERT_TRUE(previous.count("Shapes_doc.fla/Symbol 1.swf")) << previous.size();
  }
  ProgramRun Convert(const Bytes& movie) {
    WriteFileBytes(dir.file("m.swf"), movie);
    return RunProgram({"-q", "--set", "Shape / Morph Shape: Convert Using JSFL Import=on", dir.file("m.swf"), "-o",
                       dir.file("out/doc.fla")},
                      dir.file("config"));
  }
  // Fails saying `said` (naming `bound` and the file's size), leaving the
  // previous set as it was.
  ProgramRun ExpectRefused(const Bytes& movie, const std::string& said, uint64_t bound) {
    const ProgramRun run = Convert(movie);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(said + std::to_string(bound) + " bytes for a file of " + std::to_string(movie.size())),
              std::string::npos)
        << run.output;
    EXPECT_EQ(FolderSnapshot(dir.file("out")), previous);
    return run;
  }
  // The bytes the set holds after a conversion.
  uint64_t ExpectConverted(const Bytes& movie) {
    EXPECT_EQ(Convert(movie).status, 0);
    ExpectReadableDocument(dir.file("out/doc.fla"));
    uint64_t bytes = 0;
    for (const auto& [name, data] : FolderSnapshot(dir.file("out"))) bytes += data.size();
    return bytes;
  }
  TempDir dir;
  std::map<std::string, Bytes> previous;
};

TEST_F(OutputBounds, ACompressedMovieInflatesOnlySoFarPastItsFile) {
  // The padding that declares the bound (the file grows a byte per
  // thousand zeros, the bound 64 bytes with it), then a kilobyte past it
  // and a kilobyte under it.
  size_t at = 1 << 20;
  for (int i = 0; i < 3; ++i) {
    const Bytes m = PaddedMovie(at);
    at = MaxDeclaredInflatedBytes(m.size()) - (Declared(m) - at);
  }
  const Bytes past = PaddedMovie(at + 1024), under = PaddedMovie(at - 1024);
  ASSERT_GT(Declared(past), MaxDeclaredInflatedBytes(past.size()));
  ASSERT_LE(Declared(under), MaxDeclaredInflatedBytes(under.size()));
  ExpectRefused(past, "the compressed movie declares " + std::to_string(Declared(past)) + " bytes, past the limit of ",
                MaxDeclaredInflatedBytes(past.size()));
  ExpectConverted(under);
}

TEST_F(OutputBounds, AConversionWritesOnlySoMuchPerByteOfItsMovie) {
  // Past it in the pages of the timelines, and in the library.
  for (const Bytes& past : {NamedSpriteMovie(1200), LinkedShapesMovie()})
    ExpectRefused(past, "the document would take more than the movie's size allows: more than ",
                  MaxWrittenBytes(past.size()));
  // A button's page is given up where it reaches the bound: the texts of
  // its later records are never written, so they charge nothing to what
  // the movie may place of its texts, which they would overdraw.
  const Bytes button = TextButtonMovie();
  const ProgramRun run = ExpectRefused(button, "the document would take more than the movie's size allows: more than ",
                                      MaxWrittenBytes(button.size()));
  EXPECT_EQ(run.output.find("places its texts more often"), std::string::npos) << run.output;
  // Just under it, the document is written whole.
  const Bytes under = NamedSpriteMovie(900);
  const uint64_t written = ExpectConverted(under);
  EXPECT_GT(written, MaxWrittenBytes(under.size()) * 3 / 4);
  EXPECT_LT(written, MaxWrittenBytes(under.size()));
}

}  // namespace
}  // namespace tovrani::test
