// Morph shapes through the program: the roads the options choose, each
// giving a document the independent readers take.
#include <gtest/gtest.h>

#include "app/program_runner.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

std::vector<uint8_t> MorphTag(uint16_t id) {
  SwfBytes s;
  s.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000);
  s.u8(1).u16(20).u16(60).u32(0xFF000000).u32(0xFFFFFFFF);
  auto square = [](int side) {
    return [side](ShapeRecords& r) {
      r.Change(std::pair(0, 0), std::nullopt, 1u, 1u);
      r.Straight(side, 0).Straight(0, side).Curve(-side / 2, side / 2, -side / 2, -side / 2).Straight(0, -side);
    };
  };
  const auto body = test::MorphBody(46, s.data(), square(1000), [](ShapeRecords& r) {
    r.Straight(2000, 0).Straight(0, 2000).Straight(-2000, 0).Straight(0, -2000);
  });
  std::vector<uint8_t> out = SwfBytes().u16(id).data();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

class MorphMovie : public ::testing::TestWithParam<int> {};

TEST_P(MorphMovie, EveryRoadGivesADocumentTheReadersTake) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  test::SwfWriter w(version);
  w.tag(46, MorphTag(1));
  w.tag(26, SwfBytes().u8(0x16).u16(1).u16(1).matrix(0, 0).u16(0).data()).showFrame();
  w.tag(26, SwfBytes().u8(0x15).u16(1).matrix(0, 0).u16(30000).data()).showFrame().end();
  test::TempDir dir;
  const std::vector<uint8_t> movie = w.build();
  test::WriteFileBytes(dir.file("in.swf"), movie);
  test::ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});

  const struct {
    const char* name;
    std::vector<std::string> options;
    bool pages;
  } roads[] = {
      {"Decoded", {}, false},
      {"ExactBuilt", {"--set", "Exact Problem Search / Vectorization=on", "--set", "Heuristic Problem Search=off"}, true},
      {"ExactAnalysed", {"--set", "Exact Problem Search / Vectorization=on"}, true},
      {"JsflImport", {"--set", "Shape / Morph Shape: Convert Using JSFL Import=on"}, true},
  };
  for (const auto& road : roads) {
    SCOPED_TRACE(road.name);
    const std::string fla = dir.file(std::string(road.name) + ".fla");
    std::vector<std::string> args = {"-q", dir.file("in.swf"), "-o", fla};
    args.insert(args.end(), road.options.begin(), road.options.end());
    const test::ProgramRun run = test::RunProgram(args, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(test::ReadCompoundFile(fla, streams));
    EXPECT_TRUE(test::IsValidJavaScriptFile(fla + ".jsfl"));
    EXPECT_TRUE(test::DocumentShowsMovie(movie, streams));
    // The element pages come first; a symbol for the morph's placements
    // follows.
    EXPECT_EQ(streams.count("Symbol 1") + streams.count("Symbol 2") + streams.count("Symbol 3"),
              road.pages ? 3u : 1u);
    if (!road.pages) continue;
    // On the import road the element pages are the empty pages the script
    // fills by import, before its morph piece breaks them apart.
    const bool imported = std::string(road.name) == "JsflImport";
    const std::vector<uint8_t> raw = test::ReadFileBytes(fla + ".jsfl");
    const std::string script(raw.begin(), raw.end());
    const size_t morphPiece = script.find("lib.selectItem('_Morph_Shapes_/");
    for (const char* name : {"Symbol 1", "Symbol 2"}) {
      EXPECT_TRUE(test::PageWalksClean(streams[name])) << name;
      EXPECT_EQ(test::CheckShapePage(streams[name], level, 1), !imported) << name;
      const size_t piece = script.find(std::string("lib.selectItem('_Shapes_/") + name + "')");
      EXPECT_EQ(piece != std::string::npos, imported) << name;
      if (imported) { EXPECT_LT(piece, morphPiece) << name; }
    }
  }
}

// A morph animated over ten frames from ratio 0 to the end shape under a
// mask, one placed at ratio 30000 and later at 100, one whose start shape
// ends in an empty run (shown as a lone placement at ratio 0 for three
// frames), and a sprite with a run of four frames and a morph at ratios.
TEST_P(MorphMovie, RunsAndRatiosBecomeSymbolsTheReadersTake) {
  const uint8_t version = uint8_t(GetParam());
  test::SwfWriter w(version);
  w.tag(46, MorphTag(1)).tag(46, MorphTag(2)).tag(2, test::SquareShape(9, 0, 4000, 0x00FF00));
  SwfBytes styles;
  styles.u8(2).u8(0).u32(0xFF0000FF).u32(0xFF00FF00).u8(0).u32(0xFF00FFFF).u32(0xFFFFFF00).u8(0);
  auto emptyEnd = test::MorphBody(46, styles.data(), [](ShapeRecords& r) {
    r.Change(std::pair(0, 0), 1u, std::nullopt, std::nullopt).Straight(500, 0).Straight(0, 500).Straight(-500, -500);
    r.Change(std::nullopt, 2u, std::nullopt, std::nullopt);
  }, [](ShapeRecords& r) { r.Straight(900, 0).Straight(0, 900).Straight(-900, -900); }, 2, 0);
  std::vector<uint8_t> third = SwfBytes().u16(3).data();
  third.insert(third.end(), emptyEnd.begin(), emptyEnd.end());
  w.tag(46, third);
  const auto place = [](uint16_t depth, uint16_t id, uint16_t ratio, int32_t x) {
    return SwfBytes().u8(0x16).u16(depth).u16(id).matrix(x, 0).u16(ratio).data();
  };
  const auto move = [](uint16_t depth, uint16_t ratio) { return SwfBytes().u8(0x11).u16(depth).u16(ratio).data(); };
  test::SwfWriter sprite;
  sprite.tag(26, place(1, 1, 0, 0)).tag(26, place(2, 2, 20000, 500)).showFrame();
  for (uint16_t f = 1; f < 4; ++f) {
    sprite.tag(26, move(1, uint16_t(f * 21845)));
    if (f == 2) sprite.tag(26, move(2, 40000));
    sprite.showFrame();
  }
  std::vector<uint8_t> spriteTag = SwfBytes().u16(20).u16(4).data();
  spriteTag.insert(spriteTag.end(), sprite.tags().begin(), sprite.tags().end());
  spriteTag.insert(spriteTag.end(), {0, 0});
  w.tag(39, spriteTag);
  w.tag(26, SwfBytes().u8(0x46).u16(1).u16(9).matrix(0, 0).u16(2).data());
  w.tag(26, place(2, 1, 0, 0)).tag(26, place(3, 2, 30000, 3000)).tag(26, place(4, 3, 0, 6000));
  w.tag(26, SwfBytes().u8(0x06).u16(5).u16(20).matrix(0, 3000).data()).showFrame();
  for (uint16_t f = 1; f < 10; ++f) {
    w.tag(26, move(2, uint16_t(f * 65535 / 9)));
    if (f == 3) w.tag(28, SwfBytes().u16(4).data());
    if (f == 5) w.tag(26, move(3, 100));
    w.showFrame();
  }
  w.end();
  test::TempDir dir;
  const std::vector<uint8_t> movie = w.build();
  test::WriteFileBytes(dir.file("in.swf"), movie);
  test::ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
  const std::string fla = dir.file("out.fla");
  const test::ProgramRun run = test::RunProgram({"-q", dir.file("in.swf"), "-o", fla}, dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  const auto streams = test::ExpectReadableDocument(fla);
  EXPECT_TRUE(test::DocumentShowsMovie(movie, streams));
  // Symbols whose layer is named "ID " and a morph's id, narrow or wide
  // (a shape's own page names its shape's id).
  size_t morphSymbols = 0;
  for (const auto& [name, bytes] : streams) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const char id : {'1', '2', '3'}) {
      const char wide[] = {'I', 0, 'D', 0, ' ', 0, id, 0};
      morphSymbols += name.starts_with("Symbol ") && (text.find(std::string("ID ") + id) != text.npos ||
                                                      text.find(std::string_view(wide, 8)) != text.npos);
    }
  }
  // The two runs' tweens, the ratio symbol, the lone tween.
  EXPECT_EQ(morphSymbols, 4u);
}

// Placements the morph rows do not back (a morph cut short, a character
// never defined) next to ratios at 65535 and a run that ends on the end
// shape twice: a document the readers take, showing what the movie shows.
TEST_P(MorphMovie, HostileMorphPlacementsGiveADocumentTheReadersTake) {
  test::SwfWriter w{uint8_t(GetParam())};
  std::vector<uint8_t> cut = MorphTag(4);
  cut.resize(12);
  w.tag(46, MorphTag(1)).tag(46, cut);
  const auto place = [](uint16_t depth, uint16_t id, uint16_t ratio) {
    return SwfBytes().u8(0x16).u16(depth).u16(id).matrix(0, 0).u16(ratio).data();
  };
  const auto move = [](uint16_t depth, uint16_t ratio) { return SwfBytes().u8(0x11).u16(depth).u16(ratio).data(); };
  w.tag(26, place(1, 1, 0)).tag(26, place(2, 4, 0)).tag(26, place(3, 7, 0)).tag(26, place(4, 1, 65535)).showFrame();
  w.tag(26, move(1, 65535)).showFrame().tag(26, move(1, 65535)).showFrame().showFrame().end();
  test::TempDir dir;
  const std::vector<uint8_t> movie = w.build();
  test::WriteFileBytes(dir.file("in.swf"), movie);
  test::ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
  const std::string fla = dir.file("out.fla");
  const test::ProgramRun run = test::RunProgram({"-q", dir.file("in.swf"), "-o", fla}, dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(test::DocumentShowsMovie(movie, test::ExpectReadableDocument(fla)));
}

// With every problem search off the halves go to the builder: a start
// shape of two squares that partly cover each other is repaired to one,
// the end shape of two apart keeps both, and the morph records pair the
// halves' unequal counts.
TEST_P(MorphMovie, HalvesRepairedToUnequalCountsShowBothShapes) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  SwfBytes styles;
  styles.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000).u8(0);
  auto squares = [](int apart, bool withStyle) {
    return [apart, withStyle](ShapeRecords& r) {
      r.Change(std::pair(0, 0), std::nullopt, withStyle ? std::optional(1u) : std::nullopt,
               std::nullopt);
      r.Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(0, -1000);
      r.Change(std::pair(apart, apart), std::nullopt, std::nullopt, std::nullopt);
      r.Straight(1000, 0).Straight(0, 1000).Straight(-1000, 0).Straight(0, -1000);
    };
  };
  std::vector<uint8_t> tag = SwfBytes().u16(1).data();
  const auto body = test::MorphBody(46, styles.data(), squares(500, true), squares(1500, false), 1, 0);
  tag.insert(tag.end(), body.begin(), body.end());
  test::SwfWriter w(version);
  w.tag(46, tag);
  w.tag(26, SwfBytes().u8(0x16).u16(1).u16(1).matrix(0, 0).u16(0).data()).showFrame();
  w.tag(26, SwfBytes().u8(0x11).u16(1).u16(65535).data()).showFrame().end();
  test::TempDir dir;
  const std::vector<uint8_t> movie = w.build();
  test::WriteFileBytes(dir.file("in.swf"), movie);
  const std::string fla = dir.file("out.fla");
  const test::ProgramRun run =
      test::RunProgram({"-q", dir.file("in.swf"), "-o", fla, "--set", "Heuristic Problem Search=off"},
                       dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find("Vectorization"), std::string::npos) << run.output;
  const auto streams = test::ExpectReadableDocument(fla);
  EXPECT_TRUE(test::DocumentShowsMovie(movie, streams));
  for (const auto& [name, page] : streams)
    if (name == "Page 1" || name.rfind("Symbol ", 0) == 0) {
      EXPECT_TRUE(test::PageWalksClean(page, test::ShapeEdgeSpans(page, level))) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, MorphMovie, ::testing::Values(6, 8));

// With the shapes' import folder unwritable (a file has its name) the shapes
// and the morph take the roads they take without their movies, and each kind
// says so in one line, however many there are.
TEST(ShapeImportFallback, ShapesAndMorphsWhoseMoviesCannotBeWrittenSaySo) {
  test::SwfWriter w(8);
  for (uint16_t id = 1; id <= 3; ++id) w.tag(2, test::SquareShape(id, 0, 300 * id, 0x00FF00));
  w.tag(46, MorphTag(4));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data());
  w.tag(26, SwfBytes().u8(0x16).u16(2).u16(4).matrix(0, 0).u16(0).data()).showFrame().end();
  test::TempDir dir;
  const std::vector<uint8_t> movie = w.build();
  test::WriteFileBytes(dir.file("in.swf"), movie);
  test::WriteFileBytes(dir.file("Shapes_doc.fla"), {'x'});
  const test::ProgramRun run =
      test::RunProgram({"-q", "--set", "Shape / Morph Shape: Convert Using JSFL Import=on", dir.file("in.swf"), "-o",
                        dir.file("doc.fla")},
                       dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "BRASKELON Tovrani: 3 shapes (the first DefineShape 1): their movies for the script could not be written; "
            "they are converted as with \"Convert Using JSFL Import\" off.\n"
            "BRASKELON Tovrani: DefineMorphShape 4: its movies for the script could not be written; it is converted "
            "without them, the start and end shapes as shape symbols of their own.\n");
  const auto streams = test::ExpectReadableDocument(dir.file("doc.fla"));
  EXPECT_TRUE(test::DocumentShowsMovie(movie, streams));
}

}  // namespace
}  // namespace tovrani
